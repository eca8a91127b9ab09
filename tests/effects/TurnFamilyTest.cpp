// The rotate, roll and crawl and special paths against worked values. The scene is a 320x240
// frame with a string at (40, 100) of four 40x30 boxes side by side, baselines 24 below their
// tops: string centre (120, 115).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "effects/EffectCatalog.h"
#include "effects/PathEffect.h"

namespace qel {
namespace {

struct Scene {
    float left = 40, top = 100, boxW = 40, boxH = 30, angle = 0;
    int n = 4;
};

// count: the character count the effect is told, when it is not the boxes'.
std::unique_ptr<PathEffect> Make(const char* id, const Scene& s, int count = -1) {
    std::unique_ptr<PathEffect> e = EffectCatalog::CreateEffect(id);
    EffectSetup setup{320, 240, s.left, s.top, s.boxW * float(s.n), s.boxH, s.angle, count < 0 ? s.n : count, {}, {}, {}};
    for (int i = 0; i < s.n; ++i) {
        const float x = s.left + s.boxW * float(i);
        setup.chars.push_back({x, s.top, s.boxW, s.boxH, x, s.top + 24});
    }
    e->SetUp(setup);
    return e;
}

struct Case {
    const char* id;
    int pass, i;
    float p;
    float x, y, angle, scale;
    int alpha;
    Scene scene = {};
};

void Check(const Case& c) {
    SCOPED_TRACE(testing::Message() << c.id << " pass " << c.pass << " char " << c.i << " p " << c.p);
    std::unique_ptr<PathEffect> e = Make(c.id, c.scene);
    EffectRandom random(1);
    CharState s{};
    // Earlier characters draw their random numbers first, as in a drawing pass.
    for (int k = 0; k <= c.i; ++k) ASSERT_EQ(e->GetCharState(c.pass, k, c.p, random, &s), S_OK);
    EXPECT_NEAR(s.x, c.x, 1e-3);
    EXPECT_NEAR(s.y, c.y, 1e-3);
    EXPECT_NEAR(s.angle, c.angle, 1e-3);
    EXPECT_NEAR(s.scaleY, c.scale, 1e-5);
    EXPECT_EQ(s.scaleX, std::strcmp(c.id, "PATH_ICICLES") == 0 ? 1.0f : s.scaleY);  // icicles stretch only
    EXPECT_EQ(s.alpha, c.alpha);
}

TEST(TurnFamily, RotatePathsFollowTheWorkedValues) {
    Scene flat;
    flat.boxH = 0;
    Scene pair = flat;
    pair.n = 2;  // box 1's corner lies on the string centre (80, 100)
    const Case cases[] = {
        // A quarter turn about the centre: box 0's bottom-left corner (40, 130) turns to (105, 35).
        {"PATH_ROTATECCW", 0, 0, 0, 105, 5, 90, 1, 0},
        // Halfway both trances stand at the box: the swinging pass opaque, the resting one off.
        {"PATH_TRANCECW", 0, 1, 0.5f, 80, 100, 0, 1, 255},
        {"PATH_TRANCECW", 1, 1, 0.5f, 80, 100, 0, 1, 0},
        // Box 0 halfway along (a' = 0.75): a quarter frame to the right, rolled 80 / (30 pi) turns.
        {"PATH_ROLLINGLEFT", 0, 0, 0.45f, 136.49722f, 112.08463f, 305.57751f, 1, 255},
        {"PATH_ROLLINGLEFT", 0, 0, 0.45f, 153.33876f, 85.09774f, 2291.8313f, 1, 255, flat},  // no height
        // Rolling right the last character leads (it starts at 0.1 / n); the first still waits a
        // frame width to the left.
        {"PATH_ROLLINGRIGHT", 0, 3, 0.05f, -117.85366f, 111.87915f, -1155.347f, 1, 255},
        {"PATH_ROLLINGRIGHT", 0, 0, 0.05f, -238.05951f, 94.314476f, -1222.31f, 1, 255},
        {"PATH_SWIRL", 0, 1, 0.5f, 172.48412f, 60.71976f, -113.48015f, 1, 127},
        {"PATH_SWIRL", 0, 1, 0.3f, 80, 100, -133.01872f, 1, 76, pair},
        // Four turns on p^2: halfway one turn at 7.75 (or 0.325) times the size; at rest 1440.
        {"PATH_ROTATEINWARDS", 0, 0, 0.5f, -500, 160.74988f, 360, 7.75f, 63},
        {"PATH_ROTATEINWARDS", 0, 0, 1, 40, 100, 1440, 1, 255},
        {"PATH_ROTATEOUTWARDS", 0, 0, 0.5f, 94, 93.924995f, 360, 0.325f, 63},
    };
    for (const Case& c : cases) Check(c);
}

TEST(TurnFamily, ScrollsEnterAndLeaveJustOutsideTheFrame) {
    Scene turned;
    turned.angle = 90;  // the frame seen from the string: y from -180 to 140
    Scene wide;
    wide.left = 0;
    wide.boxW = 80;  // exactly as wide as the frame
    Scene high;
    high.top = -30;  // the string's bottom edge on the frame's top edge
    const Case cases[] = {
        {"PATH_SCROLLUP", 0, 1, 1e-7f, 80, 240, 0, 1, 255},  // top on the bottom edge
        {"PATH_SCROLLUP", 0, 1, 1, 80, -30, 0, 1, 255},      // bottom on the top edge
        {"PATH_SCROLLUP", 0, 1, 1e-7f, 80, 140, 0, 1, 255, turned},
        {"PATH_SCROLLUP", 0, 1, 1, 80, -210, 0, 1, 255, turned},
        {"PATH_SCROLLLEFT", 0, 3, 0.5f, 240, 100, 0, 1, 255, wide},
        {"PATH_SCROLLRIGHT", 0, 0, 1, 320, 100, 0, 1, 255},
        // Halfway the resizing roll has risen 65 past the top edge: half size, fading out.
        {"PATH_SCROLLNRESIZE", 0, 0, 0, 40, 100, 0, 1, 0},
        {"PATH_SCROLLNRESIZE", 0, 0, 0.5f, 100, 35, 0, 0.5f, 127},
        {"PATH_SCROLLNRESIZE", 0, 0, 0.5f, 40, -30, 0, 1, 0, high},  // nothing to roll
    };
    for (const Case& c : cases) Check(c);
    EXPECT_EQ(EffectCatalog::GetPassCount("PATH_SCROLLNRESIZE"), 0);
}

TEST(TurnFamily, SpecialPathsFollowTheWorkedValues) {
    Scene one;
    one.n = 1;
    Scene centred = one;
    centred.left = 100;  // the only character centred on the centre line
    Scene flat;
    flat.boxW = 0;  // a string without width
    const Case cases[] = {
        // Character 0 starts a frame diagonal (400) to the right, character 1 at 13/16 pi.
        {"PATH_FLOCKING", 0, 0, 0.5f, 140, 100, 0, 1, 255},
        {"PATH_FLOCKING", 0, 1, 0.5f, -3, 155.5f, 0, 1, 255},
        // Random starts (r mod 4 = 1, 3, 2, 0 after seeding): at 0.3 the fourth leads, the
        // second has not started and is stretched to the frame's height.
        {"PATH_ICICLES", 0, 0, 0.3f, 40, 145.5f, 0, 5.55f, 89},
        {"PATH_ICICLES", 0, 1, 0.3f, 80, 170, 0, 8, 0},
        {"PATH_ICICLES", 0, 3, 0.3f, 160, 128, 0, 3.8f, 153},
        {"PATH_ICICLES", 0, 0, 0.5f, 40, 135, 0, 4.5f, 127, one},  // follows the path
        // Character 0 has overshot (f = 4/3) and fades; character 1 still grows (f = 0.4).
        {"PATH_TRANCECENTER", 0, 0, 0.25f, 20, 110, 0, 1.3333334f, 84},
        {"PATH_TRANCECENTER", 1, 0, 0.25f, 40, 100, 0, 1, 255},
        {"PATH_TRANCECENTER", 0, 1, 0.25f, 92, 82, 0, 0.4f, 102},
        {"PATH_TRANCECENTER", 0, 3, 1, 196, 118, 0, 1.6f, 0},
        {"PATH_UNITE", 0, 0, 0, -224, 100, 0, 1, 0},
        // Flip: on the centre line (nearer) at 0, out to its place, in, over to the mirror image.
        {"PATH_FLIP", 0, 0, 0, 100, 100, 0, 1.45f, 0},
        {"PATH_FLIP", 0, 0, 0.5f, 145, 100, 0, 0.70235288f, 127},
        {"PATH_FLIP", 0, 0, 0.3f, 100, 100, 0, 1, 76, centred},
        {"PATH_FLIP", 0, 2, 0.3f, 40, 100, 0, 1, 76, flat},
    };
    for (const Case& c : cases) Check(c);
}

// Odd progress, indices without a box, boxes and strings without size, a count set below the
// boxes: no trap, and finite answers for finite input.
TEST(TurnFamily, EveryPathAnswersOddInputSafely) {
    const char* const ids[] = {
        "PATH_ROLLINGLEFT", "PATH_ROLLINGRIGHT", "PATH_ROTATECCW", "PATH_ROTATECW", "PATH_TRANCECCW",
        "PATH_TRANCECW", "PATH_SWIRL", "PATH_ROTATEINWARDS", "PATH_ROTATEOUTWARDS", "PATH_SCROLLUP",
        "PATH_SCROLLDOWN", "PATH_SCROLLLEFT", "PATH_SCROLLRIGHT", "PATH_SCROLLNRESIZE", "PATH_FLOCKING",
        "PATH_ICICLES", "PATH_TRANCECENTER", "PATH_UNITE", "PATH_FLIP",
    };
    const float odd[] = {-1e30f, -1, 1.5f, 1e30f, std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    Scene empty;
    empty.top = 0;
    empty.boxW = empty.boxH = 0;
    for (const char* id : ids) {
        SCOPED_TRACE(id);
        std::unique_ptr<PathEffect> e = Make(id, Scene{});
        EffectRandom random(1);
        CharState s{};
        for (int i : {-1, 4, 1 << 30}) {
            ASSERT_EQ(e->GetCharState(1, i, 0.5f, random, &s), S_OK);
            EXPECT_EQ(s.alpha, 0) << i;
        }
        for (float p : odd) e->GetCharState(0, 3, p, random, &s);
        e = Make(id, Scene{}, 0);  // the boxes, a count of 0: staggering must not divide by it
        std::unique_ptr<PathEffect> f = Make(id, empty);
        for (float p : {0.0f, 0.3f, 0.5f, 0.99f, 1.0f}) {
            for (PathEffect* effect : {e.get(), f.get()}) {
                effect->GetCharState(0, 3, p, random, &s);
                EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.scaleX) &&
                            std::isfinite(s.scaleY) && std::isfinite(s.angle))
                    << p << (effect == f.get() ? " without size" : " count 0");
            }
        }
    }
}

}  // namespace
}  // namespace qel
