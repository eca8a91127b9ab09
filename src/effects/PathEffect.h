// The effect protocol: an effect turns one string's laid-out characters into their state at one
// point of the string's path. Coordinates are frame pixels in the string's unrotated frame; the
// compositor turns positions by the string's angle afterwards. Progress 0 is the start of the
// path, 1 the state at rest. Angles are degrees. Alpha conversions truncate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qel/QEL_Title2.h"
#include "render/EffectBitmap.h"

namespace qel {

// What an effect knows of one character (frame pixels).
struct CharBox {
    float x, y, width, height;
    float baseX;  // = x
    float baseY;  // = y + ScaleY * ascent of the character's font: the baseline under its left edge
};

// The effect's answer for one character.
struct CharState {
    float x, y;  // top-left where the character is drawn
    float scaleX, scaleY;
    float angle;  // degrees
    uint8_t alpha;  // 0: not drawn
};

constexpr double kDegToRad = 0.017453292519943295;

// The generator of scattering effects: state per calling thread, re-seeded to 1 by the
// compositor before every pass of every string, so every frame is repeatable.
// next state = state * 214013 + 2531011 (mod 2^32); result = (state >> 16) & 0x7FFF.
void SeedEffectRandom(uint32_t seed);
int32_t EffectRandom();  // 0 .. 32767

class PathEffect {
public:
    PathEffect() = default;
    virtual ~PathEffect() = default;
    PathEffect(const PathEffect&) = delete;
    PathEffect& operator=(const PathEffect&) = delete;

    // Set-up, called by the rebuild step in this order.
    void SetFrameSize(int32_t width, int32_t height);
    // rect: left, top, width, height of the string's layout rectangle; 0 for a null rect.
    int SetStringBounds(const float rect[4], float angleDegrees);
    int SetCharCount(int32_t n);
    // Inserts the box before position i when 0 <= i < charCount and i <= the boxes already set;
    // otherwise ignored (returns 0).
    int SetCharBox(int32_t i, const CharBox& box);

    // The state of character i on drawing pass `pass` at `progress`: fills all six fields and
    // returns 1; a character without a box is answered invisible (alpha 0). Returns 0 only for a
    // null out. Families supply only CharAt.
    int GetCharState(int32_t pass, int32_t i, float progress, CharState* out);
    // Views of memory the compositor owns (4 bytes per pixel, stride >= width * 4).
    virtual int SetSourceImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    virtual int SetTargetImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    virtual int SetImageParam(int32_t pixelFormat);
    virtual int ProcessImage(float progress);
    virtual int GetImageRect(RECT* out, const RECT* drawn);

    // Read access for the compositor and tests.
    int32_t CharCount() const { return charCount; }
    const std::vector<CharBox>& Chars() const { return chars; }
    float FrameMinX() const { return frameMinX; }
    float FrameMaxX() const { return frameMaxX; }
    float FrameMinY() const { return frameMinY; }
    float FrameMaxY() const { return frameMaxY; }

protected:
    // A family's motion: the state of character i, whose box is `box`, on `pass` at `progress`.
    // The base answers every character at its place, opaque.
    virtual CharState CharAt(int32_t pass, int32_t i, const CharBox& box, float progress);

    // The box of character i, or null when no box was set up for i.
    const CharBox* BoxAt(int32_t i) const {
        return i >= 0 && static_cast<size_t>(i) < chars.size() ? &chars[static_cast<size_t>(i)] : nullptr;
    }
    // The character at its laid-out place: scales 1, angle 0.
    static CharState AtBox(const CharBox& box, uint8_t alpha) { return {box.x, box.y, 1, 1, 0, alpha}; }

    int32_t frameWidth = 320;
    int32_t frameHeight = 240;
    int32_t charCount = 0;
    float stringLeft = 0, stringTop = 0, stringWidth = 0, stringHeight = 0;
    std::vector<CharBox> chars;
    float angle = 0;
    EffectBitmap sourceImage;
    EffectBitmap targetImage;
    int32_t pixelFormat = 0;
    // The frame rectangle expressed in the string's unrotated frame.
    float frameMinX = 0, frameMaxX = 0, frameMinY = 0, frameMaxY = 0;
};

}  // namespace qel
