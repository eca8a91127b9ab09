#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "effects/PathEffect.h"

namespace qel {
namespace {

TEST(FrameBounds, CornersTurnedAboutTheStringsTopLeft) {
    const struct {
        float left, top, angle;
        float minX, maxX, minY, maxY;
    } cases[] = {
        {0, 0, 0, 0, 320, 0, 240},          // unturned: the frame itself
        {55, -7, 0, 0, 320, 0, 240},        // the pivot does not matter unturned
        {0, 0, 90, 0, 240, -320, 0},        // (320, 0) -> (0, -320); (0, 240) -> (240, 0)
        {40, 100, 90, -60, 180, -180, 140},
        {0, 0, 180, -320, 0, -240, 0},
        {0, 0, -90, -240, 0, 0, 320},
    };
    for (const auto& c : cases) {
        PathEffect effect;
        effect.SetUp({320, 240, c.left, c.top, 100, 20, c.angle, 0, {}, {}, {}});
        SCOPED_TRACE(testing::Message() << "pivot " << c.left << "," << c.top << " angle " << c.angle);
        EXPECT_NEAR(effect.FrameMinX(), c.minX, 1e-3);
        EXPECT_NEAR(effect.FrameMaxX(), c.maxX, 1e-3);
        EXPECT_NEAR(effect.FrameMinY(), c.minY, 1e-3);
        EXPECT_NEAR(effect.FrameMaxY(), c.maxY, 1e-3);
    }
}

TEST(FrameBounds, FollowTheFrameSize) {
    PathEffect effect;
    effect.SetUp({720, 576, 10, 20, 30, 40, 0, 0, {}, {}, {}});
    EXPECT_EQ(effect.FrameMaxX(), 720);
    EXPECT_EQ(effect.FrameMaxY(), 576);
}

CharBox Box(float x) { return {x, 0, 10, 20, x, 16}; }

// The set-up is one record: a second one replaces everything the first gave.
TEST(CharBoxes, ASecondSetUpReplacesTheFirst) {
    PathEffect effect;
    effect.SetUp({320, 240, 0, 0, 30, 20, 0, 3, {Box(2), Box(1), Box(3)}, {}, {}});
    effect.SetUp({320, 240, 0, 0, 10, 20, 0, 1, {Box(7)}, {}, {}});
    ASSERT_EQ(effect.Chars().size(), 1u);
    EXPECT_EQ(effect.Chars()[0].x, 7);
    EXPECT_EQ(effect.CharCount(), 1);
    EffectRandom random(1);
    CharState s{};
    ASSERT_EQ(effect.GetCharState(0, 2, 1, random, &s), S_OK);
    EXPECT_EQ(s.alpha, 0);
}

TEST(DefaultCharState, EveryCharacterAtItsBoxAndNoneBeyond) {
    PathEffect effect;
    effect.SetUp({320, 240, 5, 6, 17, 8, 0, 2, {{5, 6, 7, 8, 5, 12}, {15, 6, 7, 8, 15, 12}}, {}, {}});
    EffectRandom random(1);
    CharState s{};
    for (float p : {0.0f, 0.5f, 1.0f}) {
        ASSERT_EQ(effect.GetCharState(0, 1, p, random, &s), S_OK);
        EXPECT_EQ(s.x, 15);
        EXPECT_EQ(s.y, 6);
        EXPECT_EQ(s.scaleX, 1);
        EXPECT_EQ(s.scaleY, 1);
        EXPECT_EQ(s.angle, 0);
        EXPECT_EQ(s.alpha, 255);
    }
    for (int i : {2, -1, 1 << 30}) {
        s.alpha = 99;
        EXPECT_EQ(effect.GetCharState(0, i, 1, random, &s), S_OK);
        EXPECT_EQ(s.alpha, 0) << i;
    }
    EXPECT_EQ(effect.GetCharState(0, 0, 1, random, nullptr), E_POINTER);
}

TEST(DefaultImageWork, CopiesRowsBetweenStridesAndRefusesDifferentSizes) {
    PathEffect effect;
    std::vector<uint8_t> source(3 * 12), target(3 * 16, 0xEE);  // 2x3 pixels, strides 12 and 16
    for (size_t k = 0; k < source.size(); ++k) source[k] = static_cast<uint8_t>(k);
    ASSERT_EQ(effect.SetSourceImage(source.data(), 2, 3, 12), 0);
    ASSERT_EQ(effect.SetTargetImage(target.data(), 2, 3, 16), 0);
    EXPECT_EQ(effect.SetImageParam(1), 0);
    ASSERT_EQ(effect.ProcessImage(0.5f), 0);
    for (int y = 0; y < 3; ++y) {
        for (int b = 0; b < 16; ++b) {
            const uint8_t expected = b < 8 ? source[static_cast<size_t>(y * 12 + b)] : 0xEE;
            EXPECT_EQ(target[static_cast<size_t>(y * 16 + b)], expected) << "row " << y << " byte " << b;
        }
    }
    RECT r{};
    const RECT drawn{1, 1, 2, 2};
    EXPECT_EQ(effect.GetImageRect(&r, &drawn), 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 2);
    EXPECT_EQ(r.bottom, 3);
    EXPECT_EQ(effect.GetImageRect(nullptr, &drawn), E_POINTER);

    std::vector<uint8_t> small(2 * 8, 0x11);
    effect.SetTargetImage(small.data(), 2, 2, 8);
    EXPECT_EQ(effect.ProcessImage(0.5f), E_FAIL);
    EXPECT_EQ(small, std::vector<uint8_t>(16, 0x11));
}

TEST(DefaultImageWork, RefusesImagesWhoseRowsCannotHoldTheirWidth) {
    PathEffect effect;
    std::vector<uint8_t> pixels(64, 0x22);
    const struct {
        uint8_t* pixels;
        int32_t width, height, stride;
    } bad[] = {{nullptr, 2, 2, 8}, {pixels.data(), 4, 2, 8}, {pixels.data(), -1, 2, 8}, {pixels.data(), 2, 0, 8}};
    for (const auto& b : bad) {
        EXPECT_EQ(effect.SetTargetImage(b.pixels, b.width, b.height, b.stride), E_INVALIDARG);
        EXPECT_EQ(effect.SetSourceImage(b.pixels, b.width, b.height, b.stride), E_INVALIDARG);
        EXPECT_EQ(effect.ProcessImage(1), 0);  // both empty: nothing to do, nothing written
    }
    EXPECT_EQ(pixels, std::vector<uint8_t>(64, 0x22));
}

std::vector<int32_t> Draw(EffectRandom& random, int count) {
    std::vector<int32_t> values;
    for (int k = 0; k < count; ++k) values.push_back(random.Next());
    return values;
}

TEST(EffectRandom, RepeatsItsSequenceFromItsSeedAndGeneratorsAreIndependent) {
    const std::vector<int32_t> fromOne{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    EffectRandom a(1), b(1);
    EXPECT_EQ(Draw(a, 3), std::vector<int32_t>(fromOne.begin(), fromOne.begin() + 3));
    EXPECT_EQ(Draw(b, 8), fromOne);  // drawing from a did not move b
    EXPECT_EQ(Draw(a, 5), std::vector<int32_t>(fromOne.begin() + 3, fromOne.end()));

    EffectRandom c(0xFFFFFFFFu);
    for (int32_t v : Draw(c, 1000)) ASSERT_TRUE(v >= 0 && v <= 32767);
}

}  // namespace
}  // namespace qel
