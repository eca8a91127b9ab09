// The pop-up and fly paths: the values their motions are worked through with, start and rest,
// and as drawn through Render. Effect scenes: a 320x240 frame, a row of n boxes w x 30.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "effects/EffectCatalog.h"
#include "effects/PathEffect.h"

namespace qel {
namespace {

const char* const kPaths[] = {
    "PATH_POPUP1", "PATH_POPUP2",    "PATH_POPUP3",     "PATH_MAGNETS1",          "PATH_MAGNETS2",
    "PATH_DOUBLEVISIONH", "PATH_DOUBLEVISIONV", "PATH_GLITTER", "PATH_TWINKLE",   "PATH_MARCH",
    "PATH_SPIRAL", "PATH_SWARMLEFT", "PATH_SWARMRIGHT", "PATH_ROLLERCOASTERLEFT", "PATH_ROLLERCOASTERRIGHT",
    "PATH_WAVE",   "PATH_WINDSHIELDLEFT", "PATH_WINDSHIELDRIGHT",
};

struct Row {
    int n = 4;
    float w = 40, x0 = 40, y0 = 100;
};

// Set up as the rebuild step does.
// count: the character count the effect is told, when it is not the boxes'.
std::unique_ptr<PathEffect> Make(const char* id, const Row& r = {}, int count = -1) {
    std::unique_ptr<PathEffect> e = EffectCatalog::CreateEffect(id);
    EffectSetup setup{320, 240, r.x0, r.y0, r.w * float(r.n), 30, 0, count < 0 ? r.n : count, {}, {}, {}};
    for (int i = 0; i < r.n; ++i) setup.chars.push_back({r.x0 + r.w * float(i), r.y0, r.w, 30, r.x0 + r.w * float(i), r.y0 + 24});
    e->SetUp(setup);
    return e;
}

// The test's generator: one sequence, as one drawing pass draws from one.
EffectRandom gRandom(1);

CharState At(PathEffect& e, int pass, int i, float p) {
    CharState s{-1, -1, -1, -1, -1, 77};
    EXPECT_EQ(e.GetCharState(pass, i, p, gRandom, &s), S_OK);
    return s;
}

TEST(PopupFly, EveryPathStartsInvisibleRestsExactlyOnItsBoxAndSurvivesOddInput) {
    // The uneven row has places where (x - c) + c misses x in the last bit.
    const Row rows[] = {{}, {1}, {5, 33.3f, 40.3f, 100.7f}};
    for (const char* id : kPaths) {
        SCOPED_TRACE(id);
        for (const Row& r : rows) {
            auto e = Make(id, r);
            for (int pass = 0; pass < EffectCatalog::GetPassCount(id); ++pass) {
                for (int i = 0; i < r.n; ++i) {
                    EXPECT_EQ(At(*e, pass, i, 0).alpha, 0) << "n " << r.n << " pass " << pass;
                    // Pass 0 holds the character at rest, a second pass is then empty.
                    const CharState s = At(*e, pass, i, 1);
                    EXPECT_TRUE(pass ? s.alpha == 0
                                     : s.x == r.x0 + r.w * float(i) && s.y == r.y0 && s.scaleX == 1 && s.scaleY == 1 &&
                                           s.angle == 0 && s.alpha == 255)
                        << "n " << r.n << " pass " << pass << " i " << i << ": " << s.x << ", " << s.y;
                }
            }
            for (float p : {-1e30f, 1.5f, std::numeric_limits<float>::infinity(), std::nanf("")}) At(*e, 0, 0, p);
        }
        // No division by a string without width, nor by a count dropped to 0 after the boxes.
        auto flat = Make(id, {4, 0});
        auto recounted = Make(id, {}, 0);
        for (PathEffect* e : {flat.get(), recounted.get()}) {
            const CharState s = At(*e, 0, 1, 0.3f);
            EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.scaleX) && std::isfinite(s.angle));
        }
    }
}

struct Expected {
    const char* id;
    Row row;
    int pass, i;
    float p;
    float x, y, scale, angle;
    int alpha;
};

void ExpectStates(const Expected* cases, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const Expected& c = cases[k];
        SCOPED_TRACE(testing::Message() << c.id << " pass " << c.pass << " i " << c.i << " p " << c.p);
        const CharState s = At(*Make(c.id, c.row), c.pass, c.i, c.p);
        EXPECT_NEAR(s.x, c.x, 1e-3);
        EXPECT_NEAR(s.y, c.y, 1e-3);
        EXPECT_NEAR(s.scaleX, c.scale, 1e-5);
        EXPECT_EQ(s.scaleY, s.scaleX);
        EXPECT_NEAR(s.angle, c.angle, 1e-3);
        EXPECT_EQ(s.alpha, c.alpha);
    }
}

TEST(PopupFly, PopupsStaggerTheirCharacters) {
    const Row r14{14, 10};  // window 0.1; at p = 0.1 character 1 has q = (0.1 - 0.9 / 14) / 0.1
    const float q = (0.1f - 0.9f / 14) / 0.1f, g = 1 + 1.3f * (1 - q), cx = 110, cy = 115;
    const Expected cases[] = {
        {"PATH_POPUP1", r14, 0, 0, 0.1f, 40, 100, 1, 0, 255},
        {"PATH_POPUP1", r14, 0, 1, 0.1f, 50, 100, 1, 0, 91},
        {"PATH_POPUP1", {1}, 0, 0, 0.3f, 40, 100, 1, 0, 76},  // one character: q = p
        {"PATH_POPUP2", r14, 0, 1, 0.1f, 50, 100, q, 0, 91},
        {"PATH_POPUP3", r14, 0, 1, 0.1f, cx + q * (50 - cx), cy + q * (100 - cy), q, 0, 91},
        {"PATH_MAGNETS1", r14, 0, 1, 0.1f, 50, 100, g, 0, 91},
        {"PATH_MAGNETS2", r14, 0, 1, 0.1f, cx + g * (50 - cx), cy + g * (100 - cy), g, 0, 91},
        // Two at a time (window 0.5): the copies of a character halfway are 15 apart.
        {"PATH_DOUBLEVISIONH", {}, 0, 0, 0.25f, 47.5f, 100, 1, 0, 127},
        {"PATH_DOUBLEVISIONV", {}, 1, 1, 0.25f, 80, 100 - (16.875f + 1) * 0.5f, 1, 0, 63},
        {"PATH_DOUBLEVISIONH", {}, 1, 0, 0.6f, 39.5f, 100, 1, 0, 0},  // arrived: one copy left
        // In order of x: own progress 0.5 and 1/3 at p = 0.3.
        {"PATH_GLITTER", {}, 0, 0, 0.3f, 40, 100, 0.375f, 0, 95},
        {"PATH_GLITTER", {}, 0, 1, 0.3f, 80, 100, 5 / 9.0f, 0, 141},
    };
    ExpectStates(cases, std::size(cases));

    // From state 1 the generator gives 41, 18467, 6334, 26500: TWINKLE starts the characters at
    // 1, 3, 2 and 0 quarters, as GLITTER starts those at x offsets 40, 120, 80 and 0.
    auto twinkle = Make("PATH_TWINKLE"), glitter = Make("PATH_GLITTER");
    const int sameStart[4] = {1, 3, 2, 0};
    for (float p : {0.2f, 0.45f, 0.7f}) {
        gRandom = EffectRandom(1);
        for (int k = 0; k < 4; ++k) At(*twinkle, 0, k, 0);  // draws no number
        for (int k = 0; k < 4; ++k) {
            const CharState s = At(*twinkle, 0, k, p), expected = At(*glitter, 0, sameStart[k], p);
            EXPECT_TRUE(s.scaleX == expected.scaleX && s.alpha == expected.alpha && s.x == 40 + 40 * k) << p << " " << k;
        }
    }
}

TEST(PopupFly, FlightsFollowTheirRoutes) {
    const Expected cases[] = {
        // The march: back lane at half size, the U-turn, the front lane.
        {"PATH_MARCH", {}, 0, 3, 0.5f, 69.734518f, 100, 0.5f, 0, 255},
        {"PATH_MARCH", {}, 0, 0, 0.8f, 15.589315f, 100, 0.50238616f, 0, 255},
        {"PATH_MARCH", {}, 0, 3, 0.9f, 101.946904f, 100, 1, 0, 255},
        // The loop: from 120 below the place (radius 120 on the left) round 60 on the right.
        {"PATH_SPIRAL", {}, 0, 1, 0.5f, 80, 220, 1, 0, 127},
        {"PATH_SPIRAL", {}, 0, 1, 0.75f, 140, 160, 1, 0, 191},
        // Own progress 0.5, eased to 0.75; not started: a point at the corner.
        {"PATH_WINDSHIELDRIGHT", {}, 0, 0, 0.3f, 30, 15, 0.75f, 0, 255},
        {"PATH_WINDSHIELDLEFT", {}, 0, 3, 0.1f, 320, -240, 0, 0, 255},
        {"PATH_WAVE", {}, 0, 0, 0.35f, 40, 89.468232f, 1, 0, 191},  // own progress 0.5, amplitude 90
        // Own time 0.125: segment 0 at t = 0.5; then the glide; then not yet out.
        {"PATH_SWARMLEFT", {}, 0, 0, 0.15625f, 200, 40.5f, 0.625f, 36.158185f, 255},
        {"PATH_SWARMLEFT", {}, 0, 0, 0.9f, 104, 100, 1, 0, 255},
        {"PATH_SWARMLEFT", {}, 0, 3, 0.2f, 160, 100, 1, 0, 0},
        // Segment ends (own time 0.5): the end point, banked along the last leg; flying right is upside down.
        {"PATH_ROLLERCOASTERLEFT", {}, 0, 0, 0.53125f, 12, 192, 1, 45, 255},
        {"PATH_SWARMLEFT", {}, 0, 0, 0.53125f, 108, 192, 0.25f, -180, 255},
        {"PATH_ROLLERCOASTERRIGHT", {}, 0, 2, 0.90625f, 180, 100, 1, 0, 255},  // own time 0.75: the glide starts
    };
    ExpectStates(cases, std::size(cases));
    // Just before, the curves have arrived there too, flying left: no jump into the glide.
    for (const char* id : {"PATH_SWARMLEFT", "PATH_SWARMRIGHT", "PATH_ROLLERCOASTERLEFT", "PATH_ROLLERCOASTERRIGHT"}) {
        const CharState s = At(*Make(id), 0, 2, 0.90624f);
        EXPECT_TRUE(std::fabs(s.x - 180) < 0.05f && std::fabs(s.y - 100) < 0.05f && std::fabs(s.angle) < 0.05f) << id;
    }
}

// Drawn through Render: two lines with border and shadow, at a scale whose places are uneven.
class DrawnTitle {
public:
    DrawnTitle(const char* path, int32_t threads) : host_(GetTitleHost()) {
        RenderSettings rs{};
        host_->GetRenderSettings(&rs);
        rs.Width = 480, rs.Height = 200, rs.ClipRect = {0, 0, 480, 200}, rs.MaxThreads = threads;
        rs.ScaleX = rs.ScaleY = 0.7f;
        host_->SetRenderSettings(&rs);
        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = 1, font.Size = 40;
        host_->SetDefaultFont(&font);
        const MetaBorder border{1, 3, 0x2040C0, 0x2040C0, 0, 255, 0};
        const MetaShadow shadow{1, 1, 0, 0, 0, 160, 0, 4, 4, 0};
        host_->SetDefaultBorder(&border), host_->SetDefaultShadow(&shadow);
        StringAttrs attrs{};
        host_->GetStringAttrs(-1, &attrs);
        attrs.Left = 210.3f, attrs.Top = 70.9f;
        host_->SetDefaultString(&attrs);
        const int32_t row = host_->AddString();
        host_->InsertText(row, 0, u"Pop\r\nFly");
        PathValue start{}, end{};
        std::strcpy(start.PathID, path), std::strcpy(end.PathID, path);
        end.PathProgress = 1;
        host_->SetKeyFrame(row, 0.0f, &start);
        host_->SetKeyFrame(row, 1.0f, &end);
    }

    // The frame drawn over a pattern, with the dirty rectangle appended as four more "pixels".
    std::vector<int32_t> Draw(float time) {
        std::vector<uint8_t> frame = Pattern();
        EXPECT_EQ(host_->Render(frame.data(), time), S_OK);
        RECT dirty{};
        host_->GetDirtyRect(&dirty);
        std::vector<int32_t> out(frame.begin(), frame.end());
        out.insert(out.end(), {dirty.left, dirty.top, dirty.right, dirty.bottom});
        return out;
    }
    static std::vector<uint8_t> Pattern() {
        std::vector<uint8_t> pixels(480 * 200 * 4);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7 + i / 1931);
        return pixels;
    }

private:
    struct Release {
        void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
    };
    std::unique_ptr<ITitleHost, Release> host_;
};

TEST(PopupFlyDrawn, EveryPathEndsOnTheFrameWithoutAnEffectAndStartsWithNothing) {
    const std::vector<int32_t> still = DrawnTitle("PATH_NOEFFECT", 1).Draw(1);
    const std::vector<uint8_t> pattern = DrawnTitle::Pattern();
    std::vector<int32_t> untouched(pattern.begin(), pattern.end());
    untouched.insert(untouched.end(), 4, 0);  // and an empty dirty rectangle
    for (const char* path : kPaths) {
        DrawnTitle title(path, 2);
        EXPECT_TRUE(title.Draw(0) == untouched) << path << " draws at progress 0";
        EXPECT_FALSE(title.Draw(0.5f) == still) << path << " is at rest halfway";
        EXPECT_TRUE(title.Draw(1) == still) << path << " at rest differs from no effect";
    }
}

TEST(PopupFlyDrawn, TwinkleDrawsTheSameFrameEveryTimeOnAnyThreadCount) {
    for (float time : {0.3f, 0.55f}) {
        DrawnTitle one("PATH_TWINKLE", 1), two("PATH_TWINKLE", 2);
        const std::vector<int32_t> first = one.Draw(time);
        one.Draw(0.9f);  // another progress in between does not move the order
        EXPECT_TRUE(first == one.Draw(time)) << time;
        EXPECT_TRUE(first == two.Draw(time)) << time;
    }
}

}  // namespace
}  // namespace qel
