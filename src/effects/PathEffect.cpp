#include "effects/PathEffect.h"

#include <algorithm>
#include <cmath>

namespace qel {

namespace {

// A 4-byte-per-pixel view the copy loops can trust: positive size and rows that hold the width.
bool ValidImage(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    return pixels && width > 0 && height > 0 && stride / 4 >= width;
}

}  // namespace

// The frame's corners turned back about the point the string turns about, so that effects which
// bring a turned string in from outside the frame start it just outside what is visible.
void PathEffect::SetUp(const EffectSetup& setup) {
    frameWidth = setup.frameWidth;
    frameHeight = setup.frameHeight;
    stringLeft = setup.stringLeft;
    stringTop = setup.stringTop;
    stringWidth = setup.stringWidth;
    stringHeight = setup.stringHeight;
    angle = setup.angle;
    charCount = setup.charCount;
    chars = setup.chars;
    drawnAtRest = setup.drawn.value_or(EffectRect{stringLeft, stringTop, stringWidth, stringHeight});

    const float w = static_cast<float>(frameWidth);
    const float h = static_cast<float>(frameHeight);
    if (angle == 0) {
        frameMinX = 0;
        frameMaxX = w;
        frameMinY = 0;
        frameMaxY = h;
        return;
    }
    const double theta = angle * kDegToRad;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const std::array<float, 2> pivot = setup.pivot.value_or(std::array<float, 2>{stringLeft, stringTop});
    const double px = pivot[0];
    const double py = pivot[1];
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
}

HRESULT PathEffect::GetCharState(int32_t pass, int32_t i, float progress, EffectRandom& random,
                                 CharState* out) const {
    if (!out) return E_POINTER;
    const CharBox* box = BoxAt(i);
    *out = box ? CharAt(pass, i, *box, progress, random) : CharState{0, 0, 1, 1, 0, 0};
    return S_OK;
}

CharState PathEffect::CharAt(int32_t, int32_t, const CharBox& box, float, EffectRandom&) const {
    return AtBox(box, 255);
}

HRESULT PathEffect::SetSourceImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    if (!ValidImage(pixels, width, height, stride)) {
        sourceImage.Attach(nullptr, 0, 0, 0);
        return E_INVALIDARG;
    }
    sourceImage.Attach(pixels, width, height, stride);
    return S_OK;
}

HRESULT PathEffect::SetTargetImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    if (!ValidImage(pixels, width, height, stride)) {
        targetImage.Attach(nullptr, 0, 0, 0);
        return E_INVALIDARG;
    }
    targetImage.Attach(pixels, width, height, stride);
    return S_OK;
}

HRESULT PathEffect::SetImageParam(int32_t format) {
    pixelFormat = format;
    return S_OK;
}

HRESULT PathEffect::ProcessImage(float) {
    if (!targetImage.SameSize(sourceImage)) return E_FAIL;
    if (!sourceImage.Pixels()) return S_OK;  // both empty: nothing to copy
    return targetImage.CopyFrom(sourceImage);
}

HRESULT PathEffect::GetImageRect(RECT* out, const RECT*) {
    if (!out) return E_POINTER;
    *out = {0, 0, sourceImage.Width(), sourceImage.Height()};
    return S_OK;
}

}  // namespace qel
