// The pop-up and fly paths at the start, at the values their motions are worked through with,
// and at rest. The scene is a 320x240 frame with a row of four 40x30 boxes from (40, 100).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "effects/EffectCatalog.h"
#include "effects/PathEffect.h"

namespace qel {
namespace {

struct Row {
    int n = 4;
    float boxW = 40, boxH = 30;
    float left = 40, top = 100;
    CharBox BoxOf(int i) const {
        const float x = left + boxW * static_cast<float>(i);
        return {x, top, boxW, boxH, x, top + boxH * 0.8f};
    }
};

// Places that float sums do not hit exactly: (x - c) + c differs from x in the last bit here.
const Row kUneven{5, 33.3f, 41.7f, 40.3f, 100.7f};

class Motion : public ::testing::Test {
protected:
    // Set up as the rebuild step does.
    PathEffect* Make(const char* id, const Row& row = {}) {
        made.push_back(EffectCatalog::CreateEffect(id));
        PathEffect* e = made.back().get();
        if (!e) return nullptr;
        e->SetFrameSize(320, 240);
        const float rect[4] = {row.left, row.top, row.boxW * static_cast<float>(row.n), row.boxH};
        e->SetStringBounds(rect, 0);
        e->SetCharCount(row.n);
        for (int i = 0; i < row.n; ++i) e->SetCharBox(i, row.BoxOf(i));
        return e;
    }

    static CharState State(PathEffect* e, int pass, int i, float p) {
        CharState s{-1, -1, -1, -1, -1, 77};
        EXPECT_EQ(e->GetCharState(pass, i, p, &s), 1);
        return s;
    }

    std::vector<std::unique_ptr<PathEffect>> made;
};

// Every path of both families. At rest pass 0 holds the character; a second pass is then empty.
const char* const kPaths[] = {
    "PATH_POPUP1",     "PATH_POPUP2",       "PATH_POPUP3",          "PATH_MAGNETS1",          "PATH_MAGNETS2",
    "PATH_DOUBLEVISIONH", "PATH_DOUBLEVISIONV", "PATH_GLITTER",     "PATH_TWINKLE",           "PATH_MARCH",
    "PATH_SPIRAL",     "PATH_SWARMLEFT",    "PATH_SWARMRIGHT",      "PATH_ROLLERCOASTERLEFT", "PATH_ROLLERCOASTERRIGHT",
    "PATH_WAVE",       "PATH_WINDSHIELDLEFT", "PATH_WINDSHIELDRIGHT",
};

TEST_F(Motion, EveryPathStartsInvisibleEndsExactlyAtRestAndSurvivesOddInput) {
    const float odd[] = {-1e30f, -1, 1.5f, 1e30f, std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    for (const char* id : kPaths) {
        SCOPED_TRACE(id);
        const int passes = EffectCatalog::GetPassCount(id);
        for (const Row row : {Row{}, Row{1}, kUneven}) {
            PathEffect* e = Make(id, row);
            ASSERT_NE(e, nullptr);
            for (int pass = 0; pass < passes; ++pass) {
                for (int i = 0; i < row.n; ++i) {
                    EXPECT_EQ(State(e, pass, i, 0).alpha, 0) << "n " << row.n << " pass " << pass << " i " << i;
                    const CharState s = State(e, pass, i, 1);
                    if (pass != 0) {
                        EXPECT_EQ(s.alpha, 0);
                        continue;
                    }
                    // Bit for bit the box: the frame at rest equals the frame without an effect.
                    EXPECT_EQ(s.x, row.BoxOf(i).x) << i;
                    EXPECT_EQ(s.y, row.BoxOf(i).y) << i;
                    EXPECT_EQ(s.scaleX, 1);
                    EXPECT_EQ(s.scaleY, 1);
                    EXPECT_EQ(s.angle, 0);
                    EXPECT_EQ(s.alpha, 255);
                }
            }
            for (float p : odd) State(e, passes - 1, 3, p);  // no trap, no undefined conversion
        }
        // A string without extent, and a count dropped to 0 after the boxes were set up: nothing
        // may divide by zero (the random start takes a remainder by the count).
        Row flat;
        flat.boxW = flat.boxH = 0;
        PathEffect* f = Make(id, flat);
        Row recounted;
        PathEffect* g = Make(id, recounted);
        g->SetCharCount(0);
        for (float p : {0.1f, 0.3f, 0.5f, 0.8f}) {
            for (PathEffect* e : {f, g}) {
                const CharState s = State(e, 0, 1, p);
                EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.scaleX) &&
                            std::isfinite(s.angle))
                    << p;
            }
        }
    }
}

TEST_F(Motion, PopupsStaggerTheirCharactersAsWorkedThrough) {
    const float cy = 100 + 15;  // the string's centre line
    Row fourteen;
    fourteen.n = 14;
    fourteen.boxW = 10;
    const float cx14 = 40 + 70;  // its centre
    // Window 0.1 for 14 characters: at p = 0.1 character 1 has q = (0.1 - 0.9 / 14) / 0.1.
    const float q = (0.1f - 0.9f / 14) / 0.1f;
    const float g = 1 + 1.3f * (1 - q);
    const struct {
        const char* id;
        Row row;
        int pass, i;
        float p;
        float x, y, scale;
        int alpha;
    } cases[] = {
        {"PATH_POPUP1", fourteen, 0, 0, 0.1f, 40, 100, 1, 255},
        {"PATH_POPUP1", fourteen, 0, 1, 0.1f, 50, 100, 1, 91},
        {"PATH_POPUP1", fourteen, 0, 2, 0.1f, 60, 100, 1, 0},
        {"PATH_POPUP1", Row{1}, 0, 0, 0.3f, 40, 100, 1, 76},  // one character: q = p
        {"PATH_POPUP2", fourteen, 0, 1, 0.1f, 50, 100, q, 91},
        {"PATH_POPUP3", fourteen, 0, 1, 0.1f, cx14 + q * (50 - cx14), cy + q * (100 - cy), q, 91},
        {"PATH_MAGNETS1", fourteen, 0, 1, 0.1f, 50, 100, g, 91},
        {"PATH_MAGNETS2", fourteen, 0, 1, 0.1f, cx14 + g * (50 - cx14), cy + g * (100 - cy), g, 91},
        {"PATH_MAGNETS2", fourteen, 0, 5, 0.1f, cx14 + 2.3f * (90 - cx14), cy + 2.3f * (100 - cy), 2.3f, 0},
        // Two at a time: window 0.5, character 0 halfway, the copies 15 apart closing in.
        {"PATH_DOUBLEVISIONH", Row{}, 0, 0, 0.25f, 40 + 7.5f, 100, 1, 127},
        {"PATH_DOUBLEVISIONH", Row{}, 1, 0, 0.25f, 40 - 8, 100, 1, 127},
        {"PATH_DOUBLEVISIONH", Row{}, 1, 1, 0.25f, 80 - (22.5f + 1) * 0.5f, 100, 1, 63},
        {"PATH_DOUBLEVISIONV", Row{}, 0, 0, 0.25f, 40, 100 + 5.625f, 1, 127},
        {"PATH_DOUBLEVISIONV", Row{}, 1, 0, 0.25f, 40, 100 - 6.125f, 1, 127},
        {"PATH_DOUBLEVISIONH", Row{}, 0, 0, 0.6f, 40, 100, 1, 255},  // arrived: one copy
        {"PATH_DOUBLEVISIONH", Row{}, 1, 0, 0.6f, 39.5f, 100, 1, 0},
        // In order of x: own time 0.5, 1/3, 1/6 and 0 at p = 0.3.
        {"PATH_GLITTER", Row{}, 0, 0, 0.3f, 40, 100, 0.375f, 95},
        {"PATH_GLITTER", Row{}, 0, 1, 0.3f, 80, 100, 5 / 9.0f, 141},
        {"PATH_GLITTER", Row{}, 0, 2, 0.3f, 120, 100, 0.15277778f, 38},
        {"PATH_GLITTER", Row{}, 0, 3, 0.3f, 160, 100, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " n " << c.row.n << " pass " << c.pass << " i " << c.i << " p " << c.p);
        const CharState s = State(Make(c.id, c.row), c.pass, c.i, c.p);
        EXPECT_NEAR(s.x, c.x, 1e-3);
        EXPECT_NEAR(s.y, c.y, 1e-3);
        EXPECT_NEAR(s.scaleX, c.scale, 1e-5);
        EXPECT_EQ(s.scaleY, s.scaleX);
        EXPECT_EQ(s.angle, 0);
        EXPECT_EQ(s.alpha, c.alpha);
    }
}

TEST_F(Motion, TwinkleTakesItsStartsFromTheReseededGenerator) {
    PathEffect* twinkle = Make("PATH_TWINKLE");
    PathEffect* glitter = Make("PATH_GLITTER");
    // From state 1 the first draws are 41, 18467, 6334, 26500: starts 1, 3, 2 and 0 quarters,
    // which GLITTER gives the characters at x offsets 40, 120, 80 and 0.
    const int glitterOf[4] = {1, 3, 2, 0};
    for (float p : {0.2f, 0.45f, 0.7f}) {
        for (int frame = 0; frame < 2; ++frame) {
            SeedEffectRandom(1);
            for (int k = 0; k < 4; ++k) State(twinkle, 0, k, 0);  // draws nothing at p = 0
            for (int k = 0; k < 4; ++k) {
                const CharState s = State(twinkle, 0, k, p);
                const CharState expected = State(glitter, 0, glitterOf[k], p);
                EXPECT_EQ(s.scaleX, expected.scaleX) << "p " << p << " k " << k;
                EXPECT_EQ(s.alpha, expected.alpha) << "p " << p << " k " << k;
                EXPECT_EQ(s.x, 40 + 40 * k);
            }
        }
    }
}

TEST_F(Motion, FlightsFollowTheirRoutesAsWorkedThrough) {
    const struct {
        const char* id;
        int i;
        float p;
        float x, y, scale, angle;
        int alpha;
    } cases[] = {
        // The march: back lane at half size, the U-turn, the front lane.
        {"PATH_MARCH", 3, 0.5f, 69.734518f, 100, 0.5f, 0, 255},
        {"PATH_MARCH", 0, 0.8f, 15.589315f, 100, 0.50238616f, 0, 255},
        {"PATH_MARCH", 3, 0.9f, 101.946904f, 100, 1, 0, 255},
        // The loop: R = 120 on the left, then 60 on the right.
        {"PATH_SPIRAL", 1, 0, 80, -20, 1, 0, 0},
        {"PATH_SPIRAL", 1, 0.25f, -40, 100, 1, 0, 63},
        {"PATH_SPIRAL", 1, 0.5f, 80, 220, 1, 0, 127},
        {"PATH_SPIRAL", 1, 0.75f, 140, 160, 1, 0, 191},
        // Own progress 0.5, eased to 0.75, for character 0 at p = 0.3.
        {"PATH_WINDSHIELDRIGHT", 0, 0.3f, 30, 15, 0.75f, 0, 255},
        {"PATH_WINDSHIELDLEFT", 0, 0.3f, 110, 15, 0.75f, 0, 255},
        {"PATH_WINDSHIELDLEFT", 3, 0.1f, 320, -240, 0, 0, 255},  // not started: a point at the corner
        // Own progress 0.5: amplitude 90, e^-2 cos 2pi - e^-4 above the box.
        {"PATH_WAVE", 0, 0.35f, 40, 89.468232f, 1, 0, 191},
        // Own time 0.125 for character 0: segment 0 at t = 0.5.
        {"PATH_SWARMLEFT", 0, 0.15625f, 200, 40.5f, 0.625f, 36.158185f, 255},
        {"PATH_SWARMLEFT", 0, 0.9f, 104, 100, 1, 0, 255},   // gliding along the line
        {"PATH_SWARMLEFT", 3, 0.2f, 160, 100, 1, 0, 0},     // own time below 0: not yet out
        // Segment ends (own time 0.25 and 0.5): the end point, banked along the last leg.
        {"PATH_SWARMRIGHT", 0, 0.28125f, 320 * 0.5f - 20, 240 * 0.1f, 0.25f, -14.036243f, 255},
        {"PATH_ROLLERCOASTERLEFT", 0, 0.53125f, 320 * 0.1f - 20, 240 * 0.8f, 1, 45, 255},
        {"PATH_SWARMLEFT", 0, 0.53125f, 320 * 0.4f - 20, 240 * 0.8f, 0.25f, -180, 255},  // flying right
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " i " << c.i << " p " << c.p);
        const CharState s = State(Make(c.id), 0, c.i, c.p);
        EXPECT_NEAR(s.x, c.x, 1e-3);
        EXPECT_NEAR(s.y, c.y, 1e-3);
        EXPECT_NEAR(s.scaleX, c.scale, 1e-5);
        EXPECT_EQ(s.scaleY, s.scaleX);
        EXPECT_NEAR(s.angle, c.angle, 1e-3);
        EXPECT_EQ(s.alpha, c.alpha);
    }
}

// The curves end where the glide begins, at the string's right end on its top line, flying left.
TEST_F(Motion, FlightsJoinTheGlideWithoutAJump) {
    for (const char* id : {"PATH_SWARMLEFT", "PATH_SWARMRIGHT", "PATH_ROLLERCOASTERLEFT", "PATH_ROLLERCOASTERRIGHT"}) {
        SCOPED_TRACE(id);
        PathEffect* e = Make(id);
        const float p = 0.75f + 0.625f * 0.25f;  // character 2's own time 0.75
        const CharState before = State(e, 0, 2, p - 1e-4f);
        const CharState after = State(e, 0, 2, p);
        EXPECT_NEAR(before.x, after.x, 0.5);
        EXPECT_NEAR(before.y, after.y, 0.5);
        EXPECT_NEAR(before.scaleX, 1, 1e-3);
        EXPECT_NEAR(before.angle, 0, 0.5);
        EXPECT_NEAR(after.x, 200 - 20, 1e-3);
    }
}

}  // namespace
}  // namespace qel
