// The special family: per-character paths with a motion of their own.
//
//   NOEFFECT     the string simply switches on halfway (key frames give this path progress 1).
//   FLOCKING     characters fly in from a frame diagonal away, each from its own direction.
//   ICICLES      characters drop in stretched to the frame's height and contract to their own
//                height while fading in, in a random order that is the same in every frame.
//   TRANCECENTER two passes: each character grows out of the string centre, reaches its place
//                (where a copy at rest switches on) and overshoots while fading out.
//   UNITE        the line closes up from 4.3 times its spread about the centre line.
//   FLIP         characters swing about the string's vertical centre line as if the line of
//                text turned in space: nearer (larger) on one half of a turn, farther on the other.
//
// W, H are the frame's size; the string centre is cx = stringLeft + stringWidth / 2, cy likewise.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"
#include "effects/TurnMath.h"

namespace qel {

namespace {

// Characters counted for staggering and random order: at least one past the asked index, so a
// count set lower than the boxes (or to 0) never divides by zero.
int32_t OrderCount(int32_t charCount, int32_t i) { return std::max(charCount, i + 1); }

class NoEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        return AtBox(box, p > 0.5f ? 255 : 0);
    }
};

class FlockingEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        if (turn::AtRest(p)) return AtBox(box, 255);
        // Start a frame diagonal away (whole pixels) in the direction i * 13/16 pi, so that
        // neighbours come from far-apart directions.
        const int64_t w = frameWidth, h = frameHeight;
        const double reach = std::sqrt(double(w * w + h * h));
        const double direction = double(i) * 2.552544031041707;
        const float sx = static_cast<float>(std::trunc(reach * std::cos(direction)) + box.x);
        const float sy = static_cast<float>(std::trunc(reach * std::sin(direction)) + box.y);
        const float e = static_cast<float>(double(p) * (2.0 - double(p)));
        CharState state = AtBox(box, 255);
        state.x = sx + (box.x - sx) * e;
        state.y = sy + e * (box.y - sy);
        return state;
    }
};

// One random number per asked character: with a generator seeded for every pass, the order is
// the same in every frame. A character starts at (r mod n) / n of the path's first
// 1 - b and takes b of it, b = 2/n (all of it for a single character).
class IciclesEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom& random) const override {
        if (p <= 0) return AtBox(box, 0);
        const int32_t n = OrderCount(charCount, i);
        const int32_t r = random.Next();
        const float b = static_cast<float>(double(std::min(n, 2)) / double(n));
        const float start = float(r % n) / float(n) * (1.0f - b);
        const float own = (p - start) / b;
        const float e = own > 0.0f ? std::min(own, 1.0f) : 0.0f;  // NaN gives 0
        const float fh = static_cast<float>(frameHeight);
        const float g = box.height > 0 ? fh / box.height : fh;  // stretched to the frame's height
        const float stretch = (g - 1.0f) * (1.0f - e) + 1.0f;
        CharState state = AtBox(box, TruncAlpha(e * 255.0f));
        state.y = box.y + box.height * (stretch - 1.0f) * 0.33333334f;
        state.scaleY = stretch;
        return state;
    }
};

// Own progress f from 0 to 1.6, the character starting at i / n * 0.7 and taking 0.3 of the path.
// Pass 0 grows out of the centre to the place (f = 1) and on to 1.6 times size and distance,
// fading out past the place; pass 1 switches on at the place once pass 0 has passed it.
class TranceCenterEffect final : public PathEffect {
public:
    CharState CharAt(int32_t pass, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        const float start = float(i) / float(OrderCount(charCount, i)) * 0.7f;
        const float f = turn::StaggeredProgress(p, start, 3.3333333f) * 1.6f;
        if (pass != 0) return AtBox(box, f > 1.0f ? 255 : 0);
        const float mx = static_cast<float>(double(stringWidth) * 0.5 + stringLeft);
        const float my = static_cast<float>(double(stringHeight) * 0.5 + stringTop);
        const double halfW = double(box.width) * 0.5;
        const double below = double(box.height) * 1.5;
        CharState state;
        state.x = static_cast<float>(mx + f * (halfW + box.x - mx) - halfW);
        state.y = static_cast<float>(my + f * (double(box.y) - my + below) - below);
        state.scaleX = state.scaleY = f;
        state.angle = 0;
        state.alpha = f <= 1.0f ? TruncAlpha(f * 255.0f) : TruncAlpha((1.6f - f) * 318.75f);
        return state;
    }
};

class UniteEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (turn::AtRest(p)) return AtBox(box, 255);
        const float cx = stringLeft + stringWidth * 0.5f;
        CharState state = AtBox(box, TruncAlpha(p * 255.0f));
        state.x = cx + ((1.0f - p) * 3.3000002f + 1.0f) * (box.x - cx);
        return state;
    }
};

// Five phases of a fifth of the path. In each the character's centre moves between its place
// (or its mirror image across the centre line) and the centre line with constant acceleration;
// its depth z is where it would be on a circle about the centre line, which scales it.
class FlipEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (turn::AtRest(p)) return AtBox(box, 255);
        const float e0 = box.x + box.width * 0.5f;  // the character's centre
        const float g = static_cast<float>(double(stringLeft) + double(stringWidth) * 0.5);
        const float far = std::fabs(g - e0);
        const float span = 2.0f * far;
        const float side = e0 < g ? 1.0f : -1.0f;

        // The phase; a progress outside 0 .. 1 continues the nearest phase.
        const float phases = p * 5.0f;
        const int32_t k = phases > 0.0f ? std::min(int32_t(phases), 5) : 0;
        const float t0 = float(k) * 0.2f;
        const float t1 = t0 + 0.2f;
        const float remaining = static_cast<float>(double(span) * 25.0 * Square(double(t1) - p) * 0.5);
        const float elapsed = static_cast<float>(double(span) * 25.0 * Square(double(p) - t0) * 0.5);
        const float depthRemaining = Depth(far, remaining);
        const float depthElapsed = Depth(far, elapsed);

        float centre = e0, z = 0;
        switch (k % 4) {
        case 0:  // from the centre line back out to its place
            centre = e0 + side * remaining;
            z = -side * depthRemaining;
            break;
        case 1:  // from its place in to the centre line
            centre = e0 + side * elapsed;
            z = side * depthElapsed;
            break;
        case 2:  // from the centre line out to the mirrored place
            centre = e0 + side * (span - remaining);
            z = side * depthRemaining;
            break;
        case 3:  // from the mirrored place back to the centre line
            centre = e0 + side * (span - elapsed);
            z = -side * depthElapsed;
            break;
        }
        CharState state = AtBox(box, TruncAlpha(p * 255.0f));
        // A string without width has no depth to scale by.
        const float scale = stringWidth > 0 ? static_cast<float>(1.0 - double(z) / stringWidth * 1.2) : 1.0f;
        state.x = centre - box.width * 0.5f;
        state.scaleX = state.scaleY = scale;
        return state;
    }

private:
    static double Square(double v) { return v * v; }
    // How far out of the text's plane a point travelled `moved` of the radius `radius` from the
    // rim lies; never negative under the root, also for a progress outside 0 .. 1.
    static float Depth(float radius, float moved) {
        const float inner = radius - moved;
        return std::sqrt(std::max(radius * radius - inner * inner, 0.0f));
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewNoEffect() { return std::make_unique<NoEffect>(); }
std::unique_ptr<PathEffect> NewFlocking() { return std::make_unique<FlockingEffect>(); }
std::unique_ptr<PathEffect> NewIcicles() { return std::make_unique<IciclesEffect>(); }
std::unique_ptr<PathEffect> NewTranceCenter() { return std::make_unique<TranceCenterEffect>(); }
std::unique_ptr<PathEffect> NewUnite() { return std::make_unique<UniteEffect>(); }
std::unique_ptr<PathEffect> NewFlip() { return std::make_unique<FlipEffect>(); }

}  // namespace qel
