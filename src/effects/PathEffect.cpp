#include "effects/PathEffect.h"

#include <algorithm>
#include <cmath>

namespace qel {

namespace {

// Per thread, so that effects evaluated on different threads never disturb each other's sequence.
thread_local uint32_t randomState = 1;

// A 4-byte-per-pixel view the copy loops can trust: positive size and rows that hold the width.
bool ValidImage(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    return pixels && width > 0 && height > 0 && stride / 4 >= width;
}

}  // namespace

void SeedEffectRandom(uint32_t seed) { randomState = seed; }

int32_t EffectRandom() {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFF);
}

void PathEffect::SetFrameSize(int32_t width, int32_t height) {
    frameWidth = width;
    frameHeight = height;
}

// The frame's corners turned about the string's top-left corner, so that effects which bring a
// turned string in from outside the frame start it just outside what is visible.
int PathEffect::SetStringBounds(const float rect[4], float angleDegrees) {
    if (!rect) return 0;
    stringLeft = rect[0];
    stringTop = rect[1];
    stringWidth = rect[2];
    stringHeight = rect[3];
    angle = angleDegrees;

    const float w = static_cast<float>(frameWidth);
    const float h = static_cast<float>(frameHeight);
    if (angleDegrees == 0) {
        frameMinX = 0;
        frameMaxX = w;
        frameMinY = 0;
        frameMaxY = h;
        return 1;
    }
    const double theta = angleDegrees * kDegToRad;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double px = stringLeft;
    const double py = stringTop;
    const float corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
    for (int k = 0; k < 4; ++k) {
        const double dx = corners[k][0] - px;
        const double dy = corners[k][1] - py;
        const float x = static_cast<float>(px + dx * c + dy * s);
        const float y = static_cast<float>(py + dy * c - dx * s);
        frameMinX = k == 0 ? x : std::min(frameMinX, x);
        frameMaxX = k == 0 ? x : std::max(frameMaxX, x);
        frameMinY = k == 0 ? y : std::min(frameMinY, y);
        frameMaxY = k == 0 ? y : std::max(frameMaxY, y);
    }
    return 1;
}

int PathEffect::SetCharCount(int32_t n) {
    charCount = n;
    return 1;
}

// Inserting past the end of the boxes would leave a hole of unset boxes, so such an index is
// refused like one beyond the character count.
int PathEffect::SetCharBox(int32_t i, const CharBox& box) {
    if (i < 0 || i >= charCount || static_cast<size_t>(i) > chars.size()) return 0;
    chars.insert(chars.begin() + i, box);
    return 1;
}

int PathEffect::GetCharState(int32_t pass, int32_t i, float progress, CharState* out) {
    if (!out) return 0;
    const CharBox* box = BoxAt(i);
    *out = box ? CharAt(pass, i, *box, progress) : CharState{0, 0, 1, 1, 0, 0};
    return 1;
}

CharState PathEffect::CharAt(int32_t, int32_t, const CharBox& box, float) { return AtBox(box, 255); }

int PathEffect::SetSourceImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    if (!ValidImage(pixels, width, height, stride)) {
        sourceImage.Attach(nullptr, 0, 0, 0);
        return E_INVALIDARG;
    }
    sourceImage.Attach(pixels, width, height, stride);
    return 0;
}

int PathEffect::SetTargetImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    if (!ValidImage(pixels, width, height, stride)) {
        targetImage.Attach(nullptr, 0, 0, 0);
        return E_INVALIDARG;
    }
    targetImage.Attach(pixels, width, height, stride);
    return 0;
}

int PathEffect::SetImageParam(int32_t format) {
    pixelFormat = format;
    return 0;
}

int PathEffect::ProcessImage(float) {
    if (!targetImage.SameSize(sourceImage)) return E_FAIL;
    if (!sourceImage.Pixels()) return 0;  // both empty: nothing to copy
    return targetImage.CopyFrom(sourceImage) ? 0 : E_FAIL;
}

int PathEffect::GetImageRect(RECT* out, const RECT*) {
    if (!out) return E_POINTER;
    *out = {0, 0, sourceImage.Width(), sourceImage.Height()};
    return 0;
}

}  // namespace qel
