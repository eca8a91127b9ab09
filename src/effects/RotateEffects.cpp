// The rotate family: characters turn on their way to their places. Angles handed to the
// compositor are degrees; it turns each character's glyph by them.
//
//   ROLLING  each character rolls along the line like a wheel whose diameter is its height,
//            from the far side of the frame, one shortly after another.
//   ROTATE   the whole string swings in about its centre by a quarter turn while fading in.
//   TRANCE   two passes: the string swings in from a half turn away fading in, then stands
//            while a ghost swings on and fades out.
//   SWIRL    every character is pushed out along its ray from the string centre and turned
//            back by up to half a turn plus the extra distance, unwinding into place.
//   INWARDS/OUTWARDS  every character spins four turns about the string centre while shrinking
//            from ten times its size (inwards) or growing from a tenth (outwards).
//
// All of them end with every character at its place, which AtRest answers exactly. The string
// centre is cx = stringLeft + stringWidth / 2 (single precision), cy the same downwards.
#include <algorithm>
#include <cmath>
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"
#include "effects/TurnMath.h"

namespace qel {

namespace {

enum class Side { Left, Right };

class RotateFamilyEffect : public PathEffect {
protected:
    float CentreX() const { return stringLeft + stringWidth * 0.5f; }
    double CentreY() const { return double(stringTop) + double(stringHeight) * 0.5; }
    // Characters counted for staggering: at least one past the asked index, so a count set
    // lower than the boxes (or to 0) never divides by zero.
    int32_t StaggerCount(int32_t i) const { return std::max(charCount, i + 1); }
};

// Rolling in from one side, each character with its own start: the LEFT path brings the string
// in from the right edge with the first character leading, the RIGHT path from the left edge
// with the last character leading. A character needs 0.9 of the path and the last one starts at
// 0.1, so every character is in place at p = 1.
template <Side kSide>
class RollingEffect final : public RotateFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        if (turn::AtRest(p)) return AtBox(box, 255);
        const float along = float(i) / float(StaggerCount(i));
        const float start = (kSide == Side::Left ? along : 1.0f - along) * 0.100000024f;
        const float a = EaseOut(turn::StaggeredProgress(p, start, 1.1111112f));
        // The rolling left edge, from one frame bound (in string space) to the box.
        const float travel = frameMaxX - frameMinX;
        const float d = kSide == Side::Left ? box.x + travel * (1.0f - a) : box.x - travel * (1.0f - a);
        // Degrees rolled: a wheel of diameter h turns 360 / (pi h) degrees per pixel. A box
        // without height turns a quarter of that per pixel of a unit wheel.
        const double f = box.height > 0 ? double((d - box.x) / box.height) * 360.0 / turn::kPi
                                        : double(d - box.x) * 90.0 / turn::kPi;
        // Placed so that the box's centre rides along the line while the compositor turns the
        // glyph about its baseline origin (exactly so for an ascent of 5/6 of the box height).
        const double phi = -f * kDegToRad;
        const float g = box.width * 0.5f;
        const float b = box.height * 0.33333334f;
        const float c = static_cast<float>(std::cos(phi));
        const double s = std::sin(phi);
        CharState state;
        state.x = static_cast<float>(double(d) + g - (double(g) * c - double(b) * s));
        state.y = static_cast<float>(double(box.y) - b + double(b) * c + double(g) * s);
        state.scaleX = state.scaleY = 1.0f;
        state.angle = static_cast<float>(f);
        state.alpha = 255;
        return state;
    }
};

// A quarter turn about the string centre, counter-clockwise (theta from pi/2 down to 0) or
// clockwise (from -pi/2 up to 0), fading in.
template <bool kClockwise>
class RotateEffect final : public RotateFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (turn::AtRest(p)) return AtBox(box, 255);
        const double rest = kClockwise ? double(p) - 1.0 : 1.0 - double(p);
        return turn::SwingAbout(box, CentreX(), CentreY(), rest * (turn::kPi / 2), TruncAlpha(p * 255.0f));
    }
};

// Pass 0 swings from a half turn away through the place at p = 0.5 and on; pass 1, drawn over
// it, switches the character on at its place for the second half.
template <bool kClockwise>
class TranceTurnEffect final : public RotateFamilyEffect {
public:
    CharState CharAt(int32_t pass, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (pass != 0) return AtBox(box, p <= 0.5f ? 0 : 255);
        const double half = kClockwise ? double(p) - 0.5 : 0.5 - double(p);
        const uint8_t alpha = p <= 0.5f ? TruncAlpha(p * 510.0f) : TruncAlpha((1.0f - p) * 382.5f);
        return turn::SwingAbout(box, CentreX(), CentreY(), half * turn::kPi, alpha);
    }
};

class SwirlEffect final : public RotateFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (turn::AtRest(p)) return AtBox(box, 255);
        // The box's top-left corner relative to the string centre, and its distance l from it.
        const float hh = stringHeight * 0.5f;
        const float hw = stringWidth * 0.5f;
        const float e = box.y - stringTop - hh;
        const float g = box.x - stringLeft - hw;
        const float l = std::sqrt(e * e + g * g);
        const float m = box.width * 0.5f;
        const float q = 1.0f - p;
        // Half the string's diagonal less half the box: how far the push reaches at the start.
        const float reach = std::sqrt(stringHeight * 0.5f * hh + hw * hw) - m;
        // Corners near the centre (within half their width) are pushed out by the reach itself,
        // farther ones in proportion to their distance. A box without width has no proportion to
        // take (the push would divide by zero), so it is pushed like one at the centre.
        const float o = (l < m || !(m > 0)) ? l + q * q * reach : l * (1.0f + q * q * reach / m);
        // Turned back by up to half a turn, plus four radians per frame width pushed out (a frame
        // is at least one pixel wide).
        const double a = double((o - l) / float(std::max(frameWidth, 1)) * 4.0f) + double(q) * turn::kPi;
        float rx = 0, ry = 0;
        if (l > 0) {
            const float t = static_cast<float>(std::cos(a));
            const float u = static_cast<float>(std::sin(a));
            const float k = 1.0f / l;
            rx = o * k * (g * t - e * u);
            ry = o * k * (e * t + g * u);
        }
        CharState state;
        state.x = stringLeft + hw + rx;
        state.y = stringTop + hh + ry;
        state.scaleX = state.scaleY = 1.0f;
        state.angle = static_cast<float>(-a * turn::kRadToDeg);
        state.alpha = TruncAlpha(p * 255.0f);
        return state;
    }
};

// Four turns about the string centre over the path, on q = p^2 so the spin slows into place. The
// baseline point under the character's left edge is what turns, so glyphs (which the compositor
// turns about that point) stay on their circle.
template <bool kInwards>
class SpinEffect final : public RotateFamilyEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        const float q = turn::AtRest(p) ? 1.0f : p * p;
        const float a = q * 25.132742f;  // 8 pi, single precision: four turns at the end
        const float degrees = static_cast<float>(double(a) * turn::kRadToDeg);
        if (turn::AtRest(p)) {
            CharState state = AtBox(box, 255);
            state.angle = degrees;  // whole turns: the glyph is drawn as it stands
            return state;
        }
        const float cx = CentreX();
        const float cy = stringTop + stringHeight * 0.5f;
        const float depth = box.baseY - box.y;  // baseline below the box's top
        const float t = box.baseX - cx;
        const float u = box.baseY - cy;
        const float k = kInwards ? 1.0f + 9.0f * (1.0f - q) : 0.1f + 0.9f * q;
        const float c = static_cast<float>(std::cos(double(a)));
        const float s = static_cast<float>(std::sin(double(a)));
        CharState state;
        state.x = cx + k * (t * c - u * s);
        state.y = cy + k * (u * c + t * s) - depth;
        state.scaleX = state.scaleY = k;
        state.angle = degrees;
        state.alpha = TruncAlpha(q * 255.0f);
        return state;
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewRollingLeft() { return std::make_unique<RollingEffect<Side::Left>>(); }
std::unique_ptr<PathEffect> NewRollingRight() { return std::make_unique<RollingEffect<Side::Right>>(); }
std::unique_ptr<PathEffect> NewRotateCCW() { return std::make_unique<RotateEffect<false>>(); }
std::unique_ptr<PathEffect> NewRotateCW() { return std::make_unique<RotateEffect<true>>(); }
std::unique_ptr<PathEffect> NewTranceCCW() { return std::make_unique<TranceTurnEffect<false>>(); }
std::unique_ptr<PathEffect> NewTranceCW() { return std::make_unique<TranceTurnEffect<true>>(); }
std::unique_ptr<PathEffect> NewSwirl() { return std::make_unique<SwirlEffect>(); }
std::unique_ptr<PathEffect> NewRotateInwards() { return std::make_unique<SpinEffect<true>>(); }
std::unique_ptr<PathEffect> NewRotateOutwards() { return std::make_unique<SpinEffect<false>>(); }

}  // namespace qel
