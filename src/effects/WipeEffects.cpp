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
#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

enum class Sweep { Down, Up, Left, Right };

template <Sweep kSweep>
class WipeEffect final : public PathEffect {
public:
    int GetCharState(int32_t, int32_t i, float p, CharState* out) override {
        const CharBox* box = BoxAt(i);
        if (!box || !out) return Unanswered(out);
        if (p <= 0) {
            *out = AtBox(*box, 0);
            return 1;
        }
        float v = 0;
        float extent = 0;
        switch (kSweep) {
        case Sweep::Right:
            v = p * stringWidth - (box->x - stringLeft);
            extent = box->width;
            break;
        case Sweep::Left:
            v = box->width + (box->x - stringLeft) - (1.0f - p) * stringWidth;
            extent = box->width;
            break;
        case Sweep::Down:
            v = p * stringHeight - (box->y - stringTop);
            extent = box->height;
            break;
        case Sweep::Up:
            v = box->height + (box->y - stringTop) - (1.0f - p) * stringHeight;
            extent = box->height;
            break;
        }
        if (extent > 0) v /= extent;
        *out = AtBox(*box, CoverageAlpha(v));
        return 1;
    }
};

// Opens from the string's centre line along one axis: the band within half * p of the line is
// visible, each character ramping in over its own extent.
template <bool kHorizontal>
class AmplifyEffect final : public PathEffect {
public:
    int GetCharState(int32_t, int32_t i, float p, CharState* out) override {
        const CharBox* box = BoxAt(i);
        if (!box || !out) return Unanswered(out);
        if (p <= 0) {
            *out = AtBox(*box, 0);
            return 1;
        }
        const float size = kHorizontal ? stringWidth : stringHeight;
        const float d = kHorizontal ? box->x - stringLeft : box->y - stringTop;
        const float half = size * 0.5f;
        const float w = kHorizontal ? box->width : box->height;
        float v;
        if (d >= half) {
            v = half * (p + 1.0f) - d;  // beyond the centre line
        } else if (half >= d + w) {
            v = d + w - half * (1.0f - p);  // before the centre line
        } else {
            v = p * size;  // straddles it
        }
        if (w > 0) v /= w;
        *out = AtBox(*box, CoverageAlpha(v));
        return 1;
    }
};

class FadeEffect final : public PathEffect {
public:
    int GetCharState(int32_t, int32_t i, float p, CharState* out) override {
        const CharBox* box = BoxAt(i);
        if (!box || !out) return Unanswered(out);
        *out = AtBox(*box, TruncAlpha(p * 255.0f));
        return 1;
    }
};

}  // namespace

PathEffect* NewWipeDown() { return new WipeEffect<Sweep::Down>(); }
PathEffect* NewWipeUp() { return new WipeEffect<Sweep::Up>(); }
PathEffect* NewWipeLeft() { return new WipeEffect<Sweep::Left>(); }
PathEffect* NewWipeRight() { return new WipeEffect<Sweep::Right>(); }
PathEffect* NewAmplifyH() { return new AmplifyEffect<true>(); }
PathEffect* NewAmplifyV() { return new AmplifyEffect<false>(); }
PathEffect* NewFade() { return new FadeEffect(); }

}  // namespace qel
