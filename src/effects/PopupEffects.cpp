// The pop-up family: characters appear one after another in place.
//
//   POPUP1       fades in.
//   POPUP2       grows from nothing (about its top-left corner) while fading in.
//   POPUP3       grows out of the string's centre to its place.
//   MAGNETS1     shrinks from 2.3 times its size while fading in.
//   MAGNETS2     as MAGNETS1, coming in from 2.3 times its distance to the string's centre.
//   DOUBLEVISION two passes: two copies, three quarters of the box apart, close on the place.
//   GLITTER      pulses in size, started in order of x position.
//   TWINKLE      as GLITTER in a random start order.
//
// Each character runs its own progress q over a window of the path, the windows staggered by
// character index (StaggeredProgress). A character that has arrived is answered exactly at its
// box, so the string at rest draws the same pixels as a string without an effect.
#include <algorithm>
#include <cmath>
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/MotionMath.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

using namespace motion;

class PopupFamilyEffect : public PathEffect {
protected:
    int32_t Count() const { return StaggerCount(charCount, chars.size()); }
    float CentreX() const { return stringLeft + stringWidth / 2.0f; }
    float CentreY() const { return stringTop + stringHeight / 2.0f; }
};

enum class Pop { Fade, Grow, GrowFromCentre, Shrink, ShrinkToCentre };

template <Pop kPop>
class PopupEffect final : public PopupFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const int32_t n = Count();
        // Each character takes 1.4 / n of the path, so about 1.4 characters are on their way at
        // any moment.
        const float window = std::min(1.4f / static_cast<float>(n), 1.0f);
        const float q = StaggeredProgress(p, StartFraction(i, n), window);
        CharState state = AtBox(box, CoverageAlpha(q));
        if (q >= 1.0f) return state;
        switch (kPop) {
        case Pop::Fade: break;
        case Pop::Grow: state.scaleX = state.scaleY = q; break;
        case Pop::GrowFromCentre:
            state.scaleX = state.scaleY = q;
            state.x = CentreX() + q * (box.x - CentreX());
            state.y = CentreY() + q * (box.y - CentreY());
            break;
        case Pop::Shrink:
        case Pop::ShrinkToCentre: {
            const double g = 1.0 + 1.3 * (1.0 - q);  // 2.3 at the start, 1 on arrival
            state.scaleX = state.scaleY = static_cast<float>(g);
            if (kPop == Pop::ShrinkToCentre) {
                state.x = static_cast<float>(CentreX() + g * (box.x - CentreX()));
                state.y = static_cast<float>(CentreY() + g * (box.y - CentreY()));
            }
            break;
        }
        }
        return state;
    }
};

// Pass 0 is the copy that stays, pass 1 the one that merges into it and then goes.
template <bool kVertical>
class DoubleVisionEffect final : public PopupFamilyEffect {
public:
    CharState CharAt(int32_t pass, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const int32_t n = Count();
        const float count = static_cast<float>(n);
        // Two characters at a time: each takes 2 / n of the path (all of it for one or two).
        const float window = std::min(count, 2.0f) / count;
        const float d = StaggeredProgress(p, StartFraction(i, n), window);
        const float spread = (1.0f - d) * (kVertical ? box.height : box.width) * 0.75f;
        CharState state = AtBox(box, CoverageAlpha(d));
        float& along = kVertical ? state.y : state.x;
        if (pass == 0) {
            along += spread * 0.5f;
        } else {
            along -= (spread + 1.0f) * 0.5f;
            if (d >= 1.0f) state.alpha = 0;
        }
        return state;
    }
};

// Size and opacity over a character's own progress b: sin((3b - 0.5) pi) pulses up, down to
// nothing at b = 2/3 and up again, under an envelope 1 - (1 - b)^2 that rises to 1 at b = 1.
inline float Pulse(float b) {
    const auto s = static_cast<float>(std::sin((3.0 * b - 0.5) * kPi));
    const float d = (s + 1.0f) * (1.0f - (1.0f - b) * (1.0f - b)) * 0.5f;
    return d < 0.0f ? 0.0f : d;
}

// Starts spread over the first 40 % of the path, each character taking the remaining 60 %.
constexpr float kPulseStartSpread = 0.39999998f;
constexpr float kPulseRate = 1.6666666f;

template <bool kRandomOrder>
class GlitterEffect final : public PopupFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom& random) const override {
        if (p <= 0) return AtBox(box, 0);
        float start;
        if (kRandomOrder) {
            // One draw per character asked: the compositor seeds a generator for every pass and
            // asks in character order, so each character gets the same start in every frame and
            // with any number of threads.
            const int32_t n = Count();
            start = StartFraction(random.Next() % n, n);
        } else {
            // A string without width has every character at its left edge.
            start = stringWidth > 0 ? (box.x - stringLeft) / stringWidth : 0.0f;
        }
        const float b = DelayedProgress(p, start * kPulseStartSpread, kPulseRate);
        if (b >= 1.0f) return AtBox(box, 255);
        const float d = Pulse(b);
        CharState state = AtBox(box, CoverageAlpha(d));
        state.scaleX = state.scaleY = d;
        return state;
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewPopup1() { return std::make_unique<PopupEffect<Pop::Fade>>(); }
std::unique_ptr<PathEffect> NewPopup2() { return std::make_unique<PopupEffect<Pop::Grow>>(); }
std::unique_ptr<PathEffect> NewPopup3() { return std::make_unique<PopupEffect<Pop::GrowFromCentre>>(); }
std::unique_ptr<PathEffect> NewMagnets1() { return std::make_unique<PopupEffect<Pop::Shrink>>(); }
std::unique_ptr<PathEffect> NewMagnets2() { return std::make_unique<PopupEffect<Pop::ShrinkToCentre>>(); }
std::unique_ptr<PathEffect> NewDoubleVisionH() { return std::make_unique<DoubleVisionEffect<false>>(); }
std::unique_ptr<PathEffect> NewDoubleVisionV() { return std::make_unique<DoubleVisionEffect<true>>(); }
std::unique_ptr<PathEffect> NewGlitter() { return std::make_unique<GlitterEffect<false>>(); }
std::unique_ptr<PathEffect> NewTwinkle() { return std::make_unique<GlitterEffect<true>>(); }

}  // namespace qel
