// The slide, wipe and no-effect paths at the start, in the middle and at rest. The scenes are
// a 320x240 frame with a row (or a column) of equal boxes filling the string's rectangle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
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
    bool column = false;  // boxes stacked downwards instead of side by side
    float angle = 0;

    float Width() const { return column ? boxW : boxW * static_cast<float>(n); }
    float Height() const { return column ? boxH * static_cast<float>(n) : boxH; }
    CharBox BoxOf(int i) const {
        const float x = column ? left : left + boxW * static_cast<float>(i);
        const float y = column ? top + boxH * static_cast<float>(i) : top;
        return {x, y, boxW, boxH, x, y + boxH * 0.8f};
    }
};

Scene Column() {
    Scene s;
    s.column = true;
    return s;
}

class Effects : public ::testing::Test {
protected:
    // Set up as the rebuild step does.
    PathEffect* Make(const char* id, const Scene& scene = {}) {
        PathEffect* e = Keep(EffectCatalog::CreateEffect(id));
        if (!e) return nullptr;
        EffectSetup setup{320, 240, scene.left, scene.top, scene.Width(), scene.Height(), scene.angle, scene.n, {}, {}, {}};
        for (int i = 0; i < scene.n; ++i) setup.chars.push_back(scene.BoxOf(i));
        e->SetUp(setup);
        return e;
    }

    // One generator for the whole test, as one drawing pass draws from one.
    static CharState State(PathEffect* e, int pass, int i, float p) {
        static EffectRandom random(1);
        CharState s{-1, -1, -1, -1, -1, 77};
        EXPECT_EQ(e->GetCharState(pass, i, p, random, &s), S_OK);
        return s;
    }

    static std::vector<int> Alphas(PathEffect* e, int n, float p, int pass = 0) {
        std::vector<int> a;
        for (int i = 0; i < n; ++i) a.push_back(State(e, pass, i, p).alpha);
        return a;
    }

    // Keeps an effect alive for the rest of the test.
    PathEffect* Keep(std::unique_ptr<PathEffect> effect) {
        made.push_back(std::move(effect));
        return made.back().get();
    }

    std::vector<std::unique_ptr<PathEffect>> made;
};

// The paths built so far, with the scene that suits their axis.
const struct {
    const char* id;
    bool vertical;
} kPaths[] = {
    {"PATH_SLIDEDOWN", true},   {"PATH_SLIDEUP", true},     {"PATH_SLIDELEFT", false},   {"PATH_SLIDERIGHT", false},
    {"PATH_HIDEDOWN", true},    {"PATH_HIDEUP", true},      {"PATH_HIDELEFT", false},    {"PATH_HIDERIGHT", false},
    {"PATH_SOLODOWN", true},    {"PATH_SOLOUP", true},      {"PATH_SOLOLEFT", false},    {"PATH_SOLORIGHT", false},
    {"PATH_TRANCEDOWN", true},  {"PATH_TRANCEUP", true},    {"PATH_TRANCELEFT", false},  {"PATH_TRANCERIGHT", false},
    {"PATH_ASSEMBLY", false},   {"PATH_WIPEDOWN", true},    {"PATH_WIPEUP", true},       {"PATH_WIPELEFT", false},
    {"PATH_WIPERIGHT", false},  {"PATH_AMPLIFYH", false},   {"PATH_AMPLIFYV", true},     {"PATH_FADE", false},
    {"PATH_NOEFFECT", false},
};

TEST_F(Effects, EveryPathStartsInvisibleAndEndsAtRest) {
    for (const auto& path : kPaths) {
        SCOPED_TRACE(path.id);
        const Scene scene = path.vertical ? Column() : Scene{};
        PathEffect* e = Make(path.id, scene);
        ASSERT_NE(e, nullptr);
        const int passes = EffectCatalog::GetPassCount(path.id);
        for (int pass = 0; pass < passes; ++pass) {
            EXPECT_EQ(Alphas(e, scene.n, 0), std::vector<int>(4, 0)) << "pass " << pass;
        }
        // At rest the last pass draws every character at its box; an earlier pass is a ghost.
        for (int i = 0; i < scene.n; ++i) {
            const CharState s = State(e, passes - 1, i, 1);
            EXPECT_EQ(s.x, scene.BoxOf(i).x) << i;
            EXPECT_EQ(s.y, scene.BoxOf(i).y) << i;
            EXPECT_EQ(s.scaleX, 1);
            EXPECT_EQ(s.scaleY, 1);
            EXPECT_EQ(s.angle, 0);
            EXPECT_EQ(s.alpha, 255);
            if (passes == 2) {
                EXPECT_EQ(State(e, 0, i, 1).alpha, 0);
            }
        }
    }
}

TEST_F(Effects, EveryPathAnswersIndicesWithoutABoxAndAnyProgressSafely) {
    const float odd[] = {-1e30f, -1, 1.5f, 1e30f, std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    for (const auto& path : kPaths) {
        SCOPED_TRACE(path.id);
        PathEffect* e = Make(path.id);
        for (int i : {-1, 4, 1 << 30}) EXPECT_EQ(State(e, 1, i, 1).alpha, 0) << i;
        EffectRandom random(1);
        EXPECT_EQ(e->GetCharState(0, 0, 0.5f, random, nullptr), E_POINTER);
        for (float p : odd) State(e, 0, 3, p);  // no trap, no undefined conversion
        // A string without extent and boxes without size.
        Scene flat;
        flat.boxW = flat.boxH = 0;
        PathEffect* f = Make(path.id, flat);
        for (float p : {0.0f, 0.3f, 0.5f, 1.0f}) {
            const CharState s = State(f, 0, 1, p);
            EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.scaleX)) << p;
        }
    }
}

TEST_F(Effects, SlidesStartJustOutsideTheFrameAndEaseIn) {
    // String (40, 100, 160 x 30); at p = 0.5 a quarter of the start offset is left.
    const struct {
        const char* id;
        float angle;
        float dx, dy;
    } cases[] = {
        {"PATH_SLIDELEFT", 0, 0.25f * (320 - 40), 0},
        {"PATH_SLIDERIGHT", 0, -0.25f * (40 + 160), 0},
        {"PATH_SLIDEDOWN", 0, 0, -0.25f * (100 + 30)},
        {"PATH_SLIDEUP", 0, 0, 0.25f * (240 - 100)},
        {"PATH_SLIDELEFT", 90, 0.25f * (180 - 40), 0},  // turned: the frame seen from the string
        {"PATH_SLIDEUP", 90, 0, 0.25f * (140 - 100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " at " << c.angle);
        Scene scene;
        scene.angle = c.angle;
        PathEffect* e = Make(c.id, scene);
        for (int i = 0; i < scene.n; ++i) {
            const CharState s = State(e, 0, i, 0.5f);
            EXPECT_NEAR(s.x, scene.BoxOf(i).x + c.dx, 1e-3);
            EXPECT_NEAR(s.y, scene.BoxOf(i).y + c.dy, 1e-3);
            EXPECT_EQ(s.alpha, 255);
        }
        // Just after the start the string sits on the frame's edge, all of it visible-to-be.
        const CharState first = State(e, 0, 0, 1e-7f);
        EXPECT_NEAR(first.x - scene.BoxOf(0).x, c.dx * 4, 1e-2);
        EXPECT_NEAR(first.y - scene.BoxOf(0).y, c.dy * 4, 1e-2);
    }
}

TEST_F(Effects, HidesTravelFromTheFrameEdgesAndStopAtTheirPlaces) {
    const struct {
        const char* id;
        bool column;
        bool alongX;
        float start;  // the moving coordinate at p = 0
    } cases[] = {
        {"PATH_HIDEDOWN", true, false, 0},   {"PATH_HIDEUP", true, false, 240},
        {"PATH_HIDERIGHT", false, true, 0},  {"PATH_HIDELEFT", false, true, 320},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const Scene scene = c.column ? Column() : Scene{};
        PathEffect* e = Make(c.id, scene);
        for (int i = 0; i < scene.n; ++i) {
            const CharState s = State(e, 0, i, 0);
            EXPECT_EQ(c.alongX ? s.x : s.y, c.start);
            EXPECT_EQ(c.alongX ? s.y : s.x, c.alongX ? scene.BoxOf(i).y : scene.BoxOf(i).x);
        }
        // Halfway the travelling front has passed the nearer boxes, which wait at their places.
        const float front = c.alongX ? (c.start == 0 ? (40 + 160 - 40) * 0.5f : 320 + (40 - 320) * 0.5f)
                                     : (c.start == 0 ? (100 + 120 - 30) * 0.5f : 240 + (100 - 240) * 0.5f);
        for (int i = 0; i < scene.n; ++i) {
            const CharState s = State(e, 0, i, 0.5f);
            const float place = c.alongX ? scene.BoxOf(i).x : scene.BoxOf(i).y;
            const float expected = c.start == 0 ? std::min(front, place) : std::max(front, place);
            EXPECT_FLOAT_EQ(c.alongX ? s.x : s.y, expected) << i;
            EXPECT_EQ(s.alpha, 127);
        }
    }
}

TEST_F(Effects, SoloCharactersFollowTheShuffledStartTimes) {
    Scene scene;
    scene.n = 40;
    scene.boxW = 4;
    PathEffect* e = Make("PATH_SOLODOWN", scene);
    const float d = -(100 + 30);  // the string's bottom edge on the frame's top edge
    // Index 0 has offset 3: s = 62.5, q = 0.625, (1 - q)^2 = 0.140625.
    EXPECT_NEAR(State(e, 0, 0, 0.5f).y, 100 + d * 0.140625f, 1e-4);
    // Index 2 has offset 26: s = 39.5, q = 0.395.
    EXPECT_NEAR(State(e, 0, 2, 0.5f).y, 100 + d * (0.605f * 0.605f), 1e-3);
    EXPECT_EQ(State(e, 0, 2, 0.5f).alpha, 255);
    // Early on only the earliest starters are out: offsets 3 and 8 at s = 13.1 - offset.
    EXPECT_EQ((std::vector<int>{State(e, 0, 0, 0.1f).alpha, State(e, 0, 1, 0.1f).alpha, State(e, 0, 2, 0.1f).alpha,
                                State(e, 0, 20, 0.1f).alpha}),
              (std::vector<int>{255, 255, 0, 255}));
    // Characters 32 apart share their start time.
    for (float p : {0.1f, 0.3f, 0.7f}) {
        EXPECT_EQ(State(e, 0, 33, p).y, State(e, 0, 1, p).y) << p;
        EXPECT_EQ(State(e, 0, 33, p).alpha, State(e, 0, 1, p).alpha) << p;
    }
    // Offset 31 (index 13) arrives exactly at the end; just before it is still moving.
    EXPECT_EQ(State(e, 0, 13, 1).y, 100);
    EXPECT_LT(State(e, 0, 13, 0.999f).y, 100);

    PathEffect* left = Make("PATH_SOLOLEFT", scene);
    for (int i = 0; i < scene.n; ++i) EXPECT_EQ(State(left, 0, i, 1).x, scene.BoxOf(i).x) << i;
    EXPECT_NEAR(State(left, 0, 0, 0.5f).x, scene.BoxOf(0).x + (320 - 40) * 0.140625f, 1e-3);
}

TEST_F(Effects, TranceArrivesInPassOneAndLeavesAGhostInPassZero) {
    const struct {
        const char* id;
        bool column;
        float p;
        int pass;
        float dx, dy;
        int alpha;
    } cases[] = {
        {"PATH_TRANCEDOWN", true, 0.5f, 1, 0, 0, 255},   {"PATH_TRANCEDOWN", true, 0.5f, 0, 0, 0, 0},
        {"PATH_TRANCEDOWN", true, 0.25f, 1, 0, -30, 127}, {"PATH_TRANCEDOWN", true, 0.25f, 0, 0, 0, 0},
        {"PATH_TRANCEDOWN", true, 0.75f, 0, 0, 30, 95},   {"PATH_TRANCEDOWN", true, 0.75f, 1, 0, 0, 255},
        {"PATH_TRANCEUP", true, 0.25f, 1, 0, 30, 127},    {"PATH_TRANCEUP", true, 0.75f, 0, 0, -30, 95},
        {"PATH_TRANCERIGHT", false, 0.25f, 1, -100, 0, 127}, {"PATH_TRANCERIGHT", false, 0.75f, 0, 100, 0, 95},
        {"PATH_TRANCELEFT", false, 0.25f, 1, 100, 0, 127}, {"PATH_TRANCELEFT", false, 0.75f, 0, -100, 0, 95},
        {"PATH_TRANCELEFT", false, 0, 1, 200, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " p " << c.p << " pass " << c.pass);
        const Scene scene = c.column ? Column() : Scene{};
        PathEffect* e = Make(c.id, scene);
        const CharState s = State(e, c.pass, 1, c.p);
        EXPECT_FLOAT_EQ(s.x, scene.BoxOf(1).x + c.dx);
        EXPECT_FLOAT_EQ(s.y, scene.BoxOf(1).y + c.dy);
        EXPECT_EQ(s.alpha, c.alpha);
    }
}

// The trance offset rounds to float once, after the whole product: rounding after each factor
// lands one step away for these sizes.
TEST_F(Effects, TranceOffsetRoundsOnce) {
    const struct {
        const char* id;
        bool column;
        float p, boxSize;
        float offset;
    } cases[] = {
        {"PATH_TRANCERIGHT", false, 0.1f, 3.3f, -13.2f},     {"PATH_TRANCELEFT", false, 0.2f, 13.7f, 41.1f},
        {"PATH_TRANCEDOWN", true, 0.1f, 3.3f, -5.2799997f}, {"PATH_TRANCEUP", true, 0.2f, 9.9f, 11.879999f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Scene scene = c.column ? Column() : Scene{};
        scene.left = 0;
        scene.top = 0;
        scene.boxW = scene.boxH = c.boxSize;
        const CharState s = State(Make(c.id, scene), 1, 0, c.p);
        EXPECT_EQ(c.column ? s.y : s.x, c.offset);
        EXPECT_EQ(c.column ? s.x : s.y, 0.0f);
    }
}

TEST_F(Effects, AssemblyEmergesFromTheRightEdgeShrinkingAndFadingIn) {
    // Four boxes of 40 from x = 40: W = 160, first width 40; at p = 0.5 the shift is 100.
    PathEffect* e = Make("PATH_ASSEMBLY");
    const struct {
        float x, scale;
        int alpha;
    } expected[] = {{140, 1, 255}, {180, 1, 255}, {200, 1.65f, 127}, {200, 2.3f, 0}};
    for (int i = 0; i < 4; ++i) {
        const CharState s = State(e, 0, i, 0.5f);
        EXPECT_FLOAT_EQ(s.x, expected[i].x) << i;
        EXPECT_EQ(s.y, 100);
        EXPECT_FLOAT_EQ(s.scaleX, expected[i].scale) << i;
        EXPECT_EQ(s.scaleY, s.scaleX);
        EXPECT_EQ(s.alpha, expected[i].alpha) << i;
    }
    // A zero-width character past the edge counts as wholly out.
    PathEffect* z = Keep(EffectCatalog::CreateEffect("PATH_ASSEMBLY"));
    z->SetUp({320, 240, 40, 100, 160, 30, 0, 2, {{40, 100, 40, 30, 40, 124}, {200, 100, 0, 30, 200, 124}}, {}, {}});
    const CharState s = State(z, 0, 1, 0.01f);
    EXPECT_EQ(s.x, 200);
    EXPECT_EQ(s.alpha, 0);
    EXPECT_FLOAT_EQ(s.scaleX, 2.3f);
}

TEST_F(Effects, WipesRevealCharactersAsTheEdgePasses) {
    const struct {
        const char* id;
        bool column;
        float p;
        std::vector<int> alphas;
    } cases[] = {
        {"PATH_WIPERIGHT", false, 0.5f, {255, 255, 0, 0}},
        {"PATH_WIPERIGHT", false, 0.375f, {255, 127, 0, 0}},
        {"PATH_WIPELEFT", false, 0.5f, {0, 0, 255, 255}},
        {"PATH_WIPELEFT", false, 0.375f, {0, 0, 127, 255}},
        {"PATH_WIPEDOWN", true, 0.375f, {255, 127, 0, 0}},
        {"PATH_WIPEUP", true, 0.375f, {0, 0, 127, 255}},
        {"PATH_AMPLIFYH", false, 0.5f, {0, 255, 255, 0}},
        {"PATH_AMPLIFYH", false, 0.75f, {127, 255, 255, 127}},
        {"PATH_AMPLIFYV", true, 0.75f, {127, 255, 255, 127}},
        {"PATH_FADE", false, 0.5f, {127, 127, 127, 127}},
        {"PATH_FADE", false, 0.25f, {63, 63, 63, 63}},
        {"PATH_NOEFFECT", false, 0.5f, {0, 0, 0, 0}},
        {"PATH_NOEFFECT", false, 0.51f, {255, 255, 255, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " p " << c.p);
        Scene scene = c.column ? Column() : Scene{};
        if (c.column) scene.boxH = 40;
        PathEffect* e = Make(c.id, scene);
        EXPECT_EQ(Alphas(e, 4, c.p), c.alphas);
        for (int i = 0; i < 4; ++i) {
            const CharState s = State(e, 0, i, c.p);
            EXPECT_EQ(s.x, scene.BoxOf(i).x);
            EXPECT_EQ(s.y, scene.BoxOf(i).y);
        }
    }
}

TEST_F(Effects, AmplifyRampsACharacterAcrossTheCentreLineOverItsWidth) {
    Scene three;
    three.n = 3;  // the middle box straddles the centre line
    PathEffect* e = Make("PATH_AMPLIFYH", three);
    EXPECT_EQ(Alphas(e, 3, 0.25f), (std::vector<int>{0, 191, 0}));
}

TEST_F(Effects, WipeCoverageOfBoxesWithoutWidthIsClampedNotWrapped) {
    PathEffect* e = Keep(EffectCatalog::CreateEffect("PATH_WIPERIGHT"));
    const float tiny = std::numeric_limits<float>::denorm_min();
    const CharBox boxes[] = {
        {10, 0, 0, 20, 10, 16},      // undivided coverage 40: fully in
        {70, 0, 0, 20, 70, 16},      // -20: fully out
        {49.75f, 0, 0, 20, 0, 16},   // 0.25 undivided: partly in
        {30, 0, tiny, 20, 30, 16},   // 20 / tiny overflows: fully in, never wrapped round
        {60, 0, tiny, 20, 60, 16},   // fully out
    };
    e->SetUp({320, 240, 0, 0, 100, 20, 0, 5, {std::begin(boxes), std::end(boxes)}, {}, {}});
    EXPECT_EQ(Alphas(e, 5, 0.5f), (std::vector<int>{255, 0, 63, 255, 0}));
}

}  // namespace
}  // namespace qel
