// The slide family: characters move along one axis into their laid-out places.
//
//   SLIDE  the whole string comes in from just outside the frame and decelerates to rest.
//   HIDE   all characters travel together from a frame edge; each stops on reaching its place.
//   SOLO   characters slide in one by one, in a fixed shuffled order of 32 start times.
//   TRANCE two passes: the character arrives fading in, then a ghost leaves on the far side.
//   ASSEMBLY characters emerge one after another from the string's right edge.
//
// SLIDE and SOLO start from the frame bounds in string space, so a turned string still starts
// just outside the visible area; HIDE uses the frame edges as they are.
#include <algorithm>

#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

enum class Direction { Down, Up, Left, Right };

constexpr bool IsVertical(Direction d) { return d == Direction::Down || d == Direction::Up; }

class SlideFamilyEffect : public PathEffect {
protected:
    // How far the string starts outside the frame along d's axis (frame pixels): DOWN puts the
    // string's bottom edge on the frame's top edge, UP its top edge on the bottom edge, LEFT its
    // left edge on the right edge, RIGHT its right edge on the left edge.
    float StartOffset(Direction d) const {
        switch (d) {
        case Direction::Down: return -(stringTop + stringHeight - frameMinY);
        case Direction::Up: return frameMaxY - stringTop;
        case Direction::Left: return frameMaxX - stringLeft;
        case Direction::Right: return -(stringLeft + stringWidth - frameMinX);
        }
        return 0;
    }

    // The character at its place moved by offset along d's axis.
    static CharState Shifted(const CharBox& box, Direction d, float offset, uint8_t alpha) {
        CharState state = AtBox(box, alpha);
        (IsVertical(d) ? state.y : state.x) += offset;
        return state;
    }
};

template <Direction kDir>
class SlideEffect final : public SlideFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        return Shifted(box, kDir, StartOffset(kDir) * (1.0f - EaseOut(p)), 255);
    }
};

template <Direction kDir>
class HideEffect final : public SlideFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        CharState state = AtBox(box, TruncAlpha(p * 255.0f));
        const float w = static_cast<float>(frameWidth);
        const float h = static_cast<float>(frameHeight);
        switch (kDir) {
        case Direction::Down:
            state.y = std::min((stringTop + stringHeight - box.height) * p, box.y);
            break;
        case Direction::Up:
            state.y = std::max(h + (stringTop - h) * p, box.y);
            break;
        case Direction::Right:
            state.x = std::min((stringLeft + stringWidth - box.width) * p, box.x);
            break;
        case Direction::Left:
            state.x = std::max(w + (stringLeft - w) * p, box.x);
            break;
        }
        return state;
    }
};

// Start offsets of SOLO in hundredths of the path, by character index mod 32: a permutation of
// 0 .. 31, so 32 neighbours never start together.
constexpr int kSoloOffsets[32] = {3,  8,  26, 15, 1,  18, 7,  20, 12, 9, 21, 6,  23, 31, 28, 19,
                                  22, 4,  30, 11, 0,  13, 29, 27, 10, 16, 5, 25, 17, 2,  24, 14};

template <Direction kDir>
class SoloEffect final : public SlideFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        // Own progress in hundredths: each character needs 100/131 of the path, so the one with
        // offset 31 arrives exactly at p = 1. Double precision keeps that arrival exact.
        const double own = static_cast<double>(p) * 131.0 - kSoloOffsets[i % 32];
        if (own >= 100.0) return AtBox(box, 255);
        const float s = static_cast<float>(own);
        if (s < 0) return AtBox(box, 0);
        const float q = s * 0.01f;
        return Shifted(box, kDir, StartOffset(kDir) * (1.0f - EaseOut(q)), 255);
    }
};

template <Direction kDir>
class TranceEffect final : public SlideFamilyEffect {
public:
    // Pass 0 is the ghost of the second half, pass 1 (drawn over it) the arriving character.
    CharState CharAt(int32_t pass, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        // Worked out in double and rounded to float once at the end, not after every factor.
        const double toward = 2.0 * p - 1.0;  // -1 at the start, 0 halfway, 1 at the end
        double along = 0;
        switch (kDir) {
        case Direction::Down: along = toward * box.height * 2.0; break;
        case Direction::Up: along = -toward * box.height * 2.0; break;
        case Direction::Right: along = toward * box.width * 5.0; break;
        case Direction::Left: along = -toward * box.width * 5.0; break;
        }
        const float offset = static_cast<float>(along);
        if (pass == 0) return p > 0.5f ? Shifted(box, kDir, offset, TruncAlpha((1.0f - p) * 382.5f)) : AtBox(box, 0);
        return p <= 0.5f ? Shifted(box, kDir, offset, TruncAlpha(p * 510.0f)) : AtBox(box, 255);
    }
};

class AssemblyEffect final : public SlideFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const float stringW = stringWidth;
        // A shift to the right common to all characters: the first box's width plus the string's.
        const float shift = (chars.front().width + stringW) * (1.0f - p);
        const float fromLeft = box.x + shift - stringLeft;
        CharState state = AtBox(box, 255);
        if (fromLeft <= stringW) {
            state.x = box.x + shift;
        } else {
            // Past the right edge: waits there, larger and fainter the further it still has to go.
            // A zero-width box is wholly past the edge.
            float m = box.width != 0 ? (fromLeft - stringW) / box.width : 1.0f;
            m = m < 1.0f ? std::max(m, 0.0f) : 1.0f;
            state.x = stringLeft + stringW;
            state.scaleX = state.scaleY = 1.0f + 1.3f * m;
            state.alpha = TruncAlpha((1.0f - m) * 255.0f);
        }
        return state;
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewSlideDown() { return std::make_unique<SlideEffect<Direction::Down>>(); }
std::unique_ptr<PathEffect> NewSlideUp() { return std::make_unique<SlideEffect<Direction::Up>>(); }
std::unique_ptr<PathEffect> NewSlideLeft() { return std::make_unique<SlideEffect<Direction::Left>>(); }
std::unique_ptr<PathEffect> NewSlideRight() { return std::make_unique<SlideEffect<Direction::Right>>(); }
std::unique_ptr<PathEffect> NewHideDown() { return std::make_unique<HideEffect<Direction::Down>>(); }
std::unique_ptr<PathEffect> NewHideUp() { return std::make_unique<HideEffect<Direction::Up>>(); }
std::unique_ptr<PathEffect> NewHideLeft() { return std::make_unique<HideEffect<Direction::Left>>(); }
std::unique_ptr<PathEffect> NewHideRight() { return std::make_unique<HideEffect<Direction::Right>>(); }
std::unique_ptr<PathEffect> NewSoloDown() { return std::make_unique<SoloEffect<Direction::Down>>(); }
std::unique_ptr<PathEffect> NewSoloUp() { return std::make_unique<SoloEffect<Direction::Up>>(); }
std::unique_ptr<PathEffect> NewSoloLeft() { return std::make_unique<SoloEffect<Direction::Left>>(); }
std::unique_ptr<PathEffect> NewSoloRight() { return std::make_unique<SoloEffect<Direction::Right>>(); }
std::unique_ptr<PathEffect> NewTranceDown() { return std::make_unique<TranceEffect<Direction::Down>>(); }
std::unique_ptr<PathEffect> NewTranceUp() { return std::make_unique<TranceEffect<Direction::Up>>(); }
std::unique_ptr<PathEffect> NewTranceLeft() { return std::make_unique<TranceEffect<Direction::Left>>(); }
std::unique_ptr<PathEffect> NewTranceRight() { return std::make_unique<TranceEffect<Direction::Right>>(); }
std::unique_ptr<PathEffect> NewAssembly() { return std::make_unique<AssemblyEffect>(); }

}  // namespace qel
