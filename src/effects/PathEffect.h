// The effect protocol: an effect turns one string's laid-out characters into their state at one
// point of the string's path. Coordinates are frame pixels in the string's unrotated frame; the
// compositor turns positions by the string's angle afterwards. Progress 0 is the start of the
// path, 1 the state at rest. Angles are degrees. Alpha conversions truncate.
#pragma once

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
    int SetStringBounds(const float rect[4], float angleDegrees);  // rect: left, top, width, height
    int SetCharCount(int32_t n);
    int SetCharBox(int32_t i, const CharBox& box);

    virtual int GetCharState(int32_t pass, int32_t i, float progress, CharState* out);
    virtual int SetSourceImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    virtual int SetTargetImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    virtual int SetImageParam(int32_t pixelFormat);
    virtual int ProcessImage(float progress);
    virtual int GetImageRect(RECT* out, const RECT* drawn);

    // Read access for the compositor and tests.
    int32_t CharCount() const { return charCount; }
    const std::vector<CharBox>& Chars() const { return chars; }

protected:
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
