// The rotate, roll and crawl and special paths against worked values. The scene is a 320x240
// frame with a string at (40, 100) of four 40x30 boxes side by side, baselines 24 below their
// tops: string centre (120, 115).
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

struct Scene {
    float left = 40, top = 100;
    int n = 4;
    float boxW = 40, boxH = 30;
    float angle = 0;
    CharBox BoxOf(int i) const {
        const float x = left + boxW * float(i);
        return {x, top, boxW, boxH, x, top + 24};
    }
};

std::unique_ptr<PathEffect> Make(const char* id, const Scene& scene = {}) {
    std::unique_ptr<PathEffect> e = EffectCatalog::CreateEffect(id);
    if (!e) return e;
    e->SetFrameSize(320, 240);
    const float rect[4] = {scene.left, scene.top, scene.boxW * float(scene.n), scene.boxH};
    e->SetStringBounds(rect, scene.angle);
    e->SetCharCount(scene.n);
    for (int i = 0; i < scene.n; ++i) e->SetCharBox(i, scene.BoxOf(i));
    return e;
}

// One expected answer; an x, y or angle of kAny is not checked.
struct Case {
    const char* id;
    int pass, i;
    float p;
    float x, y, angle, scale;
    int alpha;
};

constexpr float kAny = std::numeric_limits<float>::quiet_NaN();

void Check(const Case& c, const Scene& scene = {}) {
    SCOPED_TRACE(testing::Message() << c.id << " pass " << c.pass << " char " << c.i << " p " << c.p);
    std::unique_ptr<PathEffect> e = Make(c.id, scene);
    ASSERT_NE(e, nullptr);
    SeedEffectRandom(1);
    CharState s{};
    // Earlier characters draw their random numbers first, as in a drawing pass.
    for (int k = 0; k <= c.i; ++k) ASSERT_EQ(e->GetCharState(c.pass, k, c.p, &s), 1);
    if (!std::isnan(c.x)) {
        EXPECT_NEAR(s.x, c.x, 1e-3);
    }
    if (!std::isnan(c.y)) {
        EXPECT_NEAR(s.y, c.y, 1e-3);
    }
    if (!std::isnan(c.angle)) {
        EXPECT_NEAR(s.angle, c.angle, 1e-3);
    }
    EXPECT_NEAR(s.scaleY, c.scale, 1e-5);
    EXPECT_EQ(s.scaleX, std::strcmp(c.id, "PATH_ICICLES") == 0 ? 1.0f : s.scaleY);  // icicles stretch only
    EXPECT_EQ(s.alpha, c.alpha);
}

TEST(TurnFamily, RotatePathsFollowTheWorkedValues) {
    const Case cases[] = {
        // A quarter turn about the centre: box 0's bottom-left corner (40, 130) turns to (105, 35).
        {"PATH_ROTATECCW", 0, 0, 0, 105, 5, 90, 1, 0},
        {"PATH_ROTATECCW", 0, 2, 1, 120, 100, 0, 1, 255},
        {"PATH_ROTATECW", 0, 0, 0.5f, 74.038063f, 152.17514f, -45, 1, 127},
        // Halfway both trances stand at the box: the swinging pass opaque, the resting one off.
        {"PATH_TRANCECW", 0, 1, 0.5f, 80, 100, 0, 1, 255},
        {"PATH_TRANCECW", 1, 1, 0.5f, 80, 100, 0, 1, 0},
        {"PATH_TRANCECCW", 0, 1, 0.75f, 102.32233f, 123.89087f, -45, 1, 95},
        {"PATH_TRANCECCW", 1, 1, 0.75f, 80, 100, 0, 1, 255},
        {"PATH_TRANCECCW", 0, 1, 1, kAny, kAny, kAny, 1, 0},
        // Box 0 halfway along: a' = 0.75, so its left edge is a quarter frame to the right.
        {"PATH_ROLLINGLEFT", 0, 0, 0.45f, 136.49722f, 112.08463f, 305.57751f, 1, 255},
        {"PATH_ROLLINGLEFT", 0, 3, 1, 160, 100, 0, 1, 255},
        {"PATH_ROLLINGLEFT", 0, 3, 0, 160, 100, 0, 1, 0},
        // Rolling right the last character leads (it starts at 0.1 / n); the first still waits a
        // frame width to the left.
        {"PATH_ROLLINGRIGHT", 0, 3, 0.05f, -117.85366f, 111.87915f, -1155.347f, 1, 255},
        {"PATH_ROLLINGRIGHT", 0, 0, 0.05f, -238.05951f, 94.314476f, -1222.31f, 1, 255},
        {"PATH_SWIRL", 0, 1, 0.5f, 172.48412f, 60.71976f, -113.48015f, 1, 127},
        {"PATH_SWIRL", 0, 3, 0, kAny, kAny, kAny, 1, 0},
        {"PATH_SWIRL", 0, 3, 1, 160, 100, 0, 1, 255},
        // Four turns on p^2: halfway one turn, ten times the size shrinking; at rest 1440 degrees.
        {"PATH_ROTATEINWARDS", 0, 0, 0.5f, -500, 160.74988f, 360, 7.75f, 63},
        {"PATH_ROTATEINWARDS", 0, 0, 1, 40, 100, 1440, 1, 255},
        {"PATH_ROTATEOUTWARDS", 0, 0, 0.5f, 94, 93.924995f, 360, 0.325f, 63},
        {"PATH_ROTATEOUTWARDS", 0, 2, 1, 120, 100, 1440, 1, 255},
    };
    for (const Case& c : cases) Check(c);
}

TEST(TurnFamily, RotatePathsHandleDegenerateBoxes) {
    // A box without height rolls as a unit wheel instead of dividing by zero.
    Scene flat;
    flat.boxH = 0;
    Check({"PATH_ROLLINGLEFT", 0, 0, 0.45f, 153.33876f, 85.09774f, 2291.8313f, 1, 255}, flat);
    // A box whose corner lies on the string centre stays on it while it turns.
    std::unique_ptr<PathEffect> e = Make("PATH_SWIRL");
    ASSERT_EQ(e->SetCharCount(5), 1);
    ASSERT_EQ(e->SetCharBox(4, {120, 115, 40, 30, 120, 139}), 1);
    CharState s{};
    e->GetCharState(0, 4, 0.3f, &s);
    EXPECT_EQ(s.x, 120);
    EXPECT_EQ(s.y, 115);
    EXPECT_NEAR(s.angle, -147.54544f, 1e-3);
    // A box without width is pushed like one at the centre: finite on the way, in place at rest.
    Scene thin;
    thin.boxW = 0;
    e = Make("PATH_SWIRL", thin);
    for (float p : {0.0f, 0.5f, 0.99f}) {
        e->GetCharState(0, 0, p, &s);
        EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.angle)) << p;
    }
    e->GetCharState(0, 0, 1, &s);
    EXPECT_EQ(s.x, 40);
    EXPECT_EQ(s.y, 100);
}

TEST(TurnFamily, ScrollsEnterAndLeaveJustOutsideTheFrame) {
    Scene turned;
    turned.angle = 90;  // the frame seen from the string: y from -180 to 140
    Scene wide;
    wide.left = 0;
    wide.boxW = 80;  // exactly as wide as the frame
    const struct {
        Case c;
        Scene scene;
    } cases[] = {
        {{"PATH_SCROLLUP", 0, 1, 0, 80, 100, 0, 1, 0}, {}},
        {{"PATH_SCROLLUP", 0, 1, 1e-7f, 80, 240, 0, 1, 255}, {}},  // top on the bottom edge
        {{"PATH_SCROLLUP", 0, 1, 1, 80, -30, 0, 1, 255}, {}},      // bottom on the top edge
        {{"PATH_SCROLLUP", 0, 1, 1e-7f, 80, 140, 0, 1, 255}, turned},
        {{"PATH_SCROLLUP", 0, 1, 1, 80, -210, 0, 1, 255}, turned},
        {{"PATH_SCROLLDOWN", 0, 2, 0.5f, 120, 105, 0, 1, 255}, {}},
        {{"PATH_SCROLLDOWN", 0, 2, 1, 120, 240, 0, 1, 255}, {}},
        {{"PATH_SCROLLLEFT", 0, 3, 0.5f, 240, 100, 0, 1, 255}, wide},
        {{"PATH_SCROLLLEFT", 0, 0, 1e-7f, 320, 100, 0, 1, 255}, {}},
        {{"PATH_SCROLLRIGHT", 0, 0, 1, 320, 100, 0, 1, 255}, {}},
        // The roll that resizes: halfway the line has risen 65 past the top edge, half size.
        {{"PATH_SCROLLNRESIZE", 0, 0, 0, 40, 100, 0, 1, 0}, {}},
        {{"PATH_SCROLLNRESIZE", 0, 0, 0.5f, 100, 35, 0, 0.5f, 127}, {}},
    };
    for (const auto& c : cases) Check(c.c, c.scene);
    EXPECT_EQ(EffectCatalog::GetPassCount("PATH_SCROLLNRESIZE"), 0);
    // A string whose bottom edge is the frame's top edge has no roll to divide by.
    Scene top;
    top.top = -30;
    Check({"PATH_SCROLLNRESIZE", 0, 0, 0.5f, 40, -30, 0, 1, 0}, top);
}

TEST(TurnFamily, SpecialPathsFollowTheWorkedValues) {
    const Case cases[] = {
        // Character 0 starts a frame diagonal (400) to the right, character 1 at 13/16 pi.
        {"PATH_FLOCKING", 0, 0, 0.5f, 140, 100, 0, 1, 255},
        {"PATH_FLOCKING", 0, 1, 0.5f, -3, 155.5f, 0, 1, 255},
        {"PATH_FLOCKING", 0, 1, 1, 80, 100, 0, 1, 255},
        {"PATH_FLOCKING", 0, 1, 0, 80, 100, 0, 1, 0},
        // Random starts (r mod 4 = 1, 3, 2, 0 after seeding): at 0.3 the fourth leads, the
        // second has not started and is stretched to the frame's height.
        {"PATH_ICICLES", 0, 0, 0.3f, 40, 145.5f, 0, 5.55f, 89},
        {"PATH_ICICLES", 0, 1, 0.3f, 80, 170, 0, 8, 0},
        {"PATH_ICICLES", 0, 3, 0.3f, 160, 128, 0, 3.8f, 153},
        {"PATH_ICICLES", 0, 3, 1, 160, 100, 0, 1, 255},
        // Character 0 has overshot (f = 4/3) and fades; character 1 is still growing (f = 0.4).
        {"PATH_TRANCECENTER", 0, 0, 0.25f, 20, 110, 0, 1.3333334f, 84},
        {"PATH_TRANCECENTER", 1, 0, 0.25f, 40, 100, 0, 1, 255},
        {"PATH_TRANCECENTER", 0, 1, 0.25f, 92, 82, 0, 0.4f, 102},
        {"PATH_TRANCECENTER", 1, 1, 0.25f, 80, 100, 0, 1, 0},
        {"PATH_TRANCECENTER", 0, 3, 1, kAny, kAny, 0, 1.6f, 0},
        {"PATH_TRANCECENTER", 1, 3, 1, 160, 100, 0, 1, 255},
        {"PATH_UNITE", 0, 0, 0, -224, 100, 0, 1, 0},
        {"PATH_UNITE", 0, 0, 1, 40, 100, 0, 1, 255},
        // Flip: on the centre line (nearer) at 0, out, in, over to the mirrored side...
        {"PATH_FLIP", 0, 0, 0, 100, 100, 0, 1.45f, 0},
        {"PATH_FLIP", 0, 0, 0.1f, 55, 100, 0, 1.297647f, 25},
        {"PATH_FLIP", 0, 0, 0.5f, 145, 100, 0, 0.70235288f, 127},
        {"PATH_FLIP", 0, 3, 0.5f, 55, 100, 0, 1.2976471f, 127},
        {"PATH_FLIP", 0, 0, 1, 40, 100, 0, 1, 255},
    };
    for (const Case& c : cases) Check(c);

    // A single icicle follows the path's own progress.
    Scene one;
    one.n = 1;
    Check({"PATH_ICICLES", 0, 0, 0.5f, 40, 135, 0, 4.5f, 127}, one);
    // A character centred on the centre line stays there unscaled; a string without width
    // keeps every character unscaled rather than dividing by its width.
    Scene centred;
    centred.left = 100;
    centred.n = 1;
    Check({"PATH_FLIP", 0, 0, 0.3f, 100, 100, 0, 1, 76}, centred);
    Scene flat;
    flat.boxW = 0;
    Check({"PATH_FLIP", 0, 2, 0.3f, 40, 100, 0, 1, 76}, flat);
}

// Progress outside 0 .. 1, NaN and infinities, indices without a box, counts set below the
// boxes: no trap, no undefined conversion, and no index past the boxes.
TEST(TurnFamily, EveryPathAnswersOddInputSafely) {
    const char* const ids[] = {
        "PATH_ROLLINGLEFT", "PATH_ROLLINGRIGHT", "PATH_ROTATECCW", "PATH_ROTATECW", "PATH_TRANCECCW",
        "PATH_TRANCECW", "PATH_SWIRL", "PATH_ROTATEINWARDS", "PATH_ROTATEOUTWARDS", "PATH_SCROLLUP",
        "PATH_SCROLLDOWN", "PATH_SCROLLLEFT", "PATH_SCROLLRIGHT", "PATH_SCROLLNRESIZE", "PATH_FLOCKING",
        "PATH_ICICLES", "PATH_TRANCECENTER", "PATH_UNITE", "PATH_FLIP",
    };
    const float odd[] = {-1e30f, -1, 1.5f, 1e30f, std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    for (const char* id : ids) {
        SCOPED_TRACE(id);
        std::unique_ptr<PathEffect> e = Make(id);
        CharState s{};
        for (int i : {-1, 4, 1 << 30}) {
            ASSERT_EQ(e->GetCharState(1, i, 0.5f, &s), 1);
            EXPECT_EQ(s.alpha, 0) << i;
        }
        for (float p : odd) e->GetCharState(0, 3, p, &s);
        e->SetCharCount(0);  // boxes stay; staggering must not divide by the count
        e->GetCharState(0, 3, 0.5f, &s);
        EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.scaleX)) << "count 0";
    }
}

}  // namespace
}  // namespace qel
