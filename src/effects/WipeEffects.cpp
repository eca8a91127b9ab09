// The wipe family: characters stay at their places, scale 1, angle 0; only opacity changes.
//
//   WIPE    a soft edge sweeps across the string; each character ramps in over its own extent
//           along the wipe axis as the edge crosses it.
//   AMPLIFY the visible band opens from the string's centre line outwards.
//   FADE    the whole string fades in.
//
// Coverage is a fraction of the character's extent already passed by the edge: alpha is
// trunc(coverage * 255) saturated to 0 .. 255. A box without extent keeps its undivided
// coverage, which the saturation turns into fully in or fully out.
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

enum class Sweep { Down, Up, Left, Right };

template <Sweep kSweep>
class WipeEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        float v = 0;
        float extent = 0;
        switch (kSweep) {
        case Sweep::Right:
            v = p * stringWidth - (box.x - stringLeft);
            extent = box.width;
            break;
        case Sweep::Left:
            v = box.width + (box.x - stringLeft) - (1.0f - p) * stringWidth;
            extent = box.width;
            break;
        case Sweep::Down:
            v = p * stringHeight - (box.y - stringTop);
            extent = box.height;
            break;
        case Sweep::Up:
            v = box.height + (box.y - stringTop) - (1.0f - p) * stringHeight;
            extent = box.height;
            break;
        }
        if (extent > 0) v /= extent;
        return AtBox(box, CoverageAlpha(v));
    }
};

// Opens from the string's centre line along one axis: the band within half * p of the line is
// visible, each character ramping in over its own extent.
template <bool kHorizontal>
class AmplifyEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const float size = kHorizontal ? stringWidth : stringHeight;
        const float d = kHorizontal ? box.x - stringLeft : box.y - stringTop;
        const float half = size * 0.5f;
        const float w = kHorizontal ? box.width : box.height;
        float v;
        if (d >= half) {
            v = half * (p + 1.0f) - d;  // beyond the centre line
        } else if (half >= d + w) {
            v = d + w - half * (1.0f - p);  // before the centre line
        } else {
            v = p * size;  // straddles it
        }
        if (w > 0) v /= w;
        return AtBox(box, CoverageAlpha(v));
    }
};

class FadeEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        return AtBox(box, TruncAlpha(p * 255.0f));
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewWipeDown() { return std::make_unique<WipeEffect<Sweep::Down>>(); }
std::unique_ptr<PathEffect> NewWipeUp() { return std::make_unique<WipeEffect<Sweep::Up>>(); }
std::unique_ptr<PathEffect> NewWipeLeft() { return std::make_unique<WipeEffect<Sweep::Left>>(); }
std::unique_ptr<PathEffect> NewWipeRight() { return std::make_unique<WipeEffect<Sweep::Right>>(); }
std::unique_ptr<PathEffect> NewAmplifyH() { return std::make_unique<AmplifyEffect<true>>(); }
std::unique_ptr<PathEffect> NewAmplifyV() { return std::make_unique<AmplifyEffect<false>>(); }
std::unique_ptr<PathEffect> NewFade() { return std::make_unique<FadeEffect>(); }

}  // namespace qel
