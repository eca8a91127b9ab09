// The fly family: characters travel along curved routes to their places.
//
//   MARCH          the string files in from the right at half size behind itself, turns round
//                  a U-turn left of the string and marches to its place at full size.
//   SPIRAL         a loop: a half circle on the left from above the place to below it, then a
//                  half circle of half the radius on the right back up to the place.
//   SWARM, ROLLERCOASTER
//                  flights along a chain of three cubic Bezier segments, the characters banking
//                  with the direction of travel, then a glide along the line into place.
//   WAVE           a drop from above that settles after two damped swings.
//   WINDSHIELD     an arc in from a top corner of the frame, growing from nothing.
//
// Routes are in frame pixels; the Bezier routes are laid out in frame-relative units (x times the
// frame width, y times the frame height) so they fill any frame. A character whose motion has
// ended is answered exactly at its box: a string at rest draws the same pixels as one without an
// effect.
#include <cmath>
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/MotionMath.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

using namespace motion;

class MarchEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        if (p == 1.0f) return AtBox(box, 255);
        const float left = stringLeft;
        const float radius = static_cast<float>(frameWidth) * 0.1f;  // of the U-turn
        const double turn = radius * kPi;                              // length of the half turn
        // The character's centre on the route, unrolled into a straight line: every character has
        // the same shift, so the file keeps its spacing.
        const double along = box.x + box.width * 0.5 - (1.5 * frameWidth + turn) * (1.0 - p);
        float centre;
        float scale;
        if (along >= left) {
            centre = static_cast<float>(along);  // the front lane, walking right
            scale = 1;
        } else {
            const auto v = static_cast<float>(along);
            if (v > left - turn) {
                const float a = (left - v) / radius;  // radians round the turn
                centre = static_cast<float>(left - radius * std::sin(a));
                scale = static_cast<float>((std::cos(a) + 1.0) * 0.25 + 0.5);
            } else {
                centre = static_cast<float>(left - (v - (left - turn)));  // the back lane, walking left
                scale = 0.5f;
            }
        }
        CharState state = AtBox(box, 255);
        state.x = centre - box.width * 0.5f;
        state.scaleX = state.scaleY = scale;
        return state;
    }
};

class SpiralEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        CharState state = AtBox(box, TruncAlpha(p * 255.0f));
        if (p <= 0.5f) {
            const auto r = static_cast<float>(frameHeight * 0.5);
            const double theta = 2.0 * kPi * p;
            state.x += static_cast<float>(-r * std::sin(theta));
            state.y += static_cast<float>(-r * std::cos(theta));
        } else if (p < 1.0f) {
            const auto r = static_cast<float>(frameHeight * 0.25);
            const double theta = 2.0 * kPi * (p - 0.5);
            state.x += static_cast<float>(r * std::sin(theta));
            state.y += static_cast<float>(r * (std::cos(theta) + 1.0));
        }
        return state;
    }
};

// Starts spread over the first 40 % of the path, each character taking the remaining 60 %.
constexpr float kArcStartSpread = 0.39999998f;
constexpr float kArcRate = 1.6666666f;

template <bool kFromRight>
class WindshieldEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const int32_t n = StaggerCount(charCount, chars.size());
        const float a = EaseOut(DelayedProgress(p, StartFraction(i, n) * kArcStartSpread, kArcRate));
        if (a >= 1.0f) return AtBox(box, 255);
        const auto w = static_cast<float>(frameWidth);
        const auto h = static_cast<float>(frameHeight);
        CharState state = AtBox(box, 255);
        state.scaleX = state.scaleY = a;
        state.y = a * (h + box.y) - h;  // from one frame height above the top edge
        state.x = kFromRight ? w + a * (box.x - w) : a * box.x;
        return state;
    }
};

// Starts spread over the first 30 % of the path, each character taking the remaining 70 %.
constexpr float kWaveStartSpread = 0.3f;
constexpr float kWaveRate = 1.4285715f;

class WaveEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t i, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const int32_t n = StaggerCount(charCount, chars.size());
        const float q = DelayedProgress(p, StartFraction(i, n) * kWaveStartSpread, kWaveRate);
        const float amplitude = 3.0f * chars.front().height;  // the same for every character
        // e^(-4q) cos(4 pi q) - e^(-4): 1 - e^(-4) at the start, exactly 0 at q = 1.
        const double swing = std::exp(-4.0 * q) * std::cos(4.0 * kPi * q) - std::exp(-4.0);
        CharState state = AtBox(box, TruncAlpha((1.0f - (1.0f - q) * (1.0f - q)) * 255.0f));
        state.y = static_cast<float>(box.y - amplitude * swing);
        return state;
    }
};

// A Bezier flight: ten control points in frame-relative units, of which the last two follow the
// string (computed per call), and the character's scale at the four segment boundaries.
struct FlightRoute {
    Point2 fixed[8];  // P0 .. P7
    float scales[4];  // at own time 0, 0.25, 0.5, 0.75
};

constexpr FlightRoute kSwarmLeft{
    {{1.1f, 1.1f}, {1, 0}, {0.3f, 0.05f}, {0.5f, 0.1f}, {0.7f, 0.15f}, {0.2f, 0.8f}, {0.4f, 0.8f}, {0.6f, 0.8f}},
    {1, 0.25f, 0.25f, 1}};
constexpr FlightRoute kSwarmRight{
    {{-0.1f, 1.1f}, {0, 0}, {0.7f, 0.05f}, {0.5f, 0.1f}, {0.3f, 0.15f}, {0.8f, 0.8f}, {0.6f, 0.8f}, {0.4f, 0.8f}},
    {1, 0.25f, 0.25f, 1}};
constexpr FlightRoute kRollerCoasterLeft{
    {{1.1f, 1.1f}, {1, 1}, {0.2f, 0.1f}, {0.5f, 0.1f}, {0.8f, 0.1f}, {0.2f, 0.9f}, {0.1f, 0.8f}, {0, 0.7f}},
    {1, 0.25f, 1, 1}};
constexpr FlightRoute kRollerCoasterRight{
    {{-0.1f, 1.1f}, {0, 1}, {0.8f, 0.1f}, {0.5f, 0.1f}, {0.2f, 0.1f}, {0.8f, 0.9f}, {0.9f, 0.8f}, {1, 0.7f}},
    {1, 0.25f, 1, 1}};

// The last segment arrives from this far right of the string's end (frame widths): 0.2 as the
// single-precision difference 1000.2 - 1000 (0.20001221), the value the routes are drawn with.
constexpr float kFlightLeadIn = 1000.2f - 1000.0f;
constexpr double kRadToDeg = 180.0 / kPi;

class FlightEffect final : public PathEffect {
public:
    explicit FlightEffect(const FlightRoute& route) : route_(route) {}

    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        // At rest whatever the character's own time: a box reaching past the string's right end
        // would otherwise still be on its curve.
        if (p == 1.0f) return AtBox(box, 255);
        // Characters further right start up to a quarter of the path later; a string without
        // width starts all of them together.
        const double place =
            stringWidth > 0 ? (box.width * 0.5 + box.x - stringLeft) / static_cast<double>(stringWidth) : 0.0;
        const double own = p - place * 0.25;
        if (own >= 0.75) {
            // The final glide along the line, from the string's right end to the place.
            CharState state = AtBox(box, 255);
            state.x = stringLeft + stringWidth - 4.0f * (static_cast<float>(own) - 0.75f) * stringWidth -
                      box.width * 0.5f;
            return state;
        }
        int k = 0;
        while (k < 3 && !(own > 0.25 * k && own <= 0.25 * (k + 1))) ++k;
        if (k == 3) return AtBox(box, 0);  // not started yet

        const auto w = static_cast<float>(frameWidth);
        const auto h = static_cast<float>(frameHeight);
        Point2 points[10];
        for (int j = 0; j < 8; ++j) points[j] = route_.fixed[j];
        points[9] = {w > 0 ? (stringLeft + stringWidth) / w : 0.0f, h > 0 ? stringTop / h : 0.0f};
        points[8] = {points[9].x + kFlightLeadIn, points[9].y};

        const auto t = static_cast<float>((own - 0.25 * k) / 0.25);
        const Point2 segment[4] = {points[3 * k], points[3 * k + 1], points[3 * k + 2], points[3 * k + 3]};
        const BezierSample b = CubicBezier(segment, t);
        CharState state;
        state.x = w * b.at.x - box.width * 0.5f;
        state.y = box.y - stringTop + h * b.at.y;  // the line keeps its offset below the top
        state.scaleX = state.scaleY = (1.0f - t) * route_.scales[k] + t * route_.scales[k + 1];
        // Banked along the direction of travel: upright when flying left.
        state.angle = static_cast<float>(-(std::atan2(b.direction.x, b.direction.y) * kRadToDeg + 90.0));
        state.alpha = 255;
        return state;
    }

private:
    const FlightRoute& route_;
};

}  // namespace

std::unique_ptr<PathEffect> NewMarch() { return std::make_unique<MarchEffect>(); }
std::unique_ptr<PathEffect> NewSpiral() { return std::make_unique<SpiralEffect>(); }
std::unique_ptr<PathEffect> NewSwarmLeft() { return std::make_unique<FlightEffect>(kSwarmLeft); }
std::unique_ptr<PathEffect> NewSwarmRight() { return std::make_unique<FlightEffect>(kSwarmRight); }
std::unique_ptr<PathEffect> NewRollerCoasterLeft() { return std::make_unique<FlightEffect>(kRollerCoasterLeft); }
std::unique_ptr<PathEffect> NewRollerCoasterRight() { return std::make_unique<FlightEffect>(kRollerCoasterRight); }
std::unique_ptr<PathEffect> NewWave() { return std::make_unique<WaveEffect>(); }
std::unique_ptr<PathEffect> NewWindshieldLeft() { return std::make_unique<WindshieldEffect<true>>(); }
std::unique_ptr<PathEffect> NewWindshieldRight() { return std::make_unique<WindshieldEffect<false>>(); }

}  // namespace qel
