// The effect protocol: an effect turns one string's laid-out characters into their state at one
// point of the string's path. Coordinates are frame pixels in the string's unrotated frame; the
// compositor turns positions by the string's angle afterwards. Progress 0 is the start of the
// path, 1 the state at rest. Angles are degrees. Alpha conversions truncate.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
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

// A rectangle in frame pixels.
struct EffectRect {
    float left, top, width, height;
};

// Everything an effect knows of the frame and of its string, handed over in one call.
struct EffectSetup {
    int32_t frameWidth = 320, frameHeight = 240;  // pixels
    // The rectangle the string's characters stand in (frame pixels): every box lies inside it.
    float stringLeft = 0, stringTop = 0, stringWidth = 0, stringHeight = 0;
    float angle = 0;             // the string's rotation, degrees
    int32_t charCount = 0;       // the string's characters
    std::vector<CharBox> chars;  // the boxes of its first chars.size() characters
    // The point the string is turned about (frame pixels); unset: (stringLeft, stringTop).
    std::optional<std::array<float, 2>> pivot;
    // What the string draws at rest in its unrotated frame: faces, borders and shadows with their
    // blur and extrusion (frame pixels). Unset: the string rectangle.
    std::optional<EffectRect> drawn;
};

// The generator of scattering effects. The compositor makes one per string and drawing pass,
// seeded with 1, so a frame draws the same picture on any thread and in any order.
// next state = state * 214013 + 2531011 (mod 2^32); result = (state >> 16) & 0x7FFF.
class EffectRandom {
public:
    explicit EffectRandom(uint32_t seed) : state_(seed) {}
    int32_t Next() {  // 0 .. 32767
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int32_t>((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_;
};

class PathEffect {
public:
    PathEffect() = default;
    virtual ~PathEffect() = default;
    PathEffect(const PathEffect&) = delete;
    PathEffect& operator=(const PathEffect&) = delete;

    // Sets the effect up for one string; the only call that changes what CharAt reads.
    void SetUp(const EffectSetup& setup);

    // The state of character i on drawing pass `pass` at `progress`: fills all six fields and
    // returns S_OK; a character without a box is answered invisible (alpha 0). E_POINTER for a
    // null out. Scattering families draw from `random`. Families supply only CharAt.
    HRESULT GetCharState(int32_t pass, int32_t i, float progress, EffectRandom& random, CharState* out) const;
    // Views of memory the compositor owns (4 bytes per pixel, stride >= width * 4).
    virtual HRESULT SetSourceImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    virtual HRESULT SetTargetImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    virtual HRESULT SetImageParam(int32_t pixelFormat);
    virtual HRESULT ProcessImage(float progress);
    virtual HRESULT GetImageRect(RECT* out, const RECT* drawn);

    // Read access for the compositor and tests.
    int32_t CharCount() const { return charCount; }
    const std::vector<CharBox>& Chars() const { return chars; }
    float FrameMinX() const { return frameMinX; }
    float FrameMaxX() const { return frameMaxX; }
    float FrameMinY() const { return frameMinY; }
    float FrameMaxY() const { return frameMaxY; }

protected:
    // A family's motion: the state of character i, whose box is `box`, on `pass` at `progress`.
    // The base answers every character at its place, opaque. It reads the set-up state only.
    virtual CharState CharAt(int32_t pass, int32_t i, const CharBox& box, float progress, EffectRandom& random) const;

    // The box of character i, or null when no box was set up for i.
    const CharBox* BoxAt(int32_t i) const {
        return i >= 0 && static_cast<size_t>(i) < chars.size() ? &chars[static_cast<size_t>(i)] : nullptr;
    }
    // The character at its laid-out place: scales 1, angle 0.
    static CharState AtBox(const CharBox& box, uint8_t alpha) { return {box.x, box.y, 1, 1, 0, alpha}; }

    // Set by SetUp (the images by the image calls of each frame), read-only while drawing.
    int32_t frameWidth = 320;
    int32_t frameHeight = 240;
    int32_t charCount = 0;
    float stringLeft = 0, stringTop = 0, stringWidth = 0, stringHeight = 0;
    std::vector<CharBox> chars;
    float angle = 0;
    // What the string draws at rest (EffectSetup::drawn): the paths that carry the whole string
    // out of the frame measure by it, so that no border or shadow stays behind.
    EffectRect drawnAtRest{0, 0, 0, 0};
    EffectBitmap sourceImage;
    EffectBitmap targetImage;
    int32_t pixelFormat = 0;
    // The frame rectangle expressed in the string's unrotated frame.
    float frameMinX = 0, frameMaxX = 0, frameMinY = 0, frameMaxY = 0;
};

}  // namespace qel
