#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
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
        const float rect[4] = {c.left, c.top, 100, 20};
        ASSERT_EQ(effect.SetStringBounds(rect, c.angle), 1);
        SCOPED_TRACE(testing::Message() << "pivot " << c.left << "," << c.top << " angle " << c.angle);
        EXPECT_NEAR(effect.FrameMinX(), c.minX, 1e-3);
        EXPECT_NEAR(effect.FrameMaxX(), c.maxX, 1e-3);
        EXPECT_NEAR(effect.FrameMinY(), c.minY, 1e-3);
        EXPECT_NEAR(effect.FrameMaxY(), c.maxY, 1e-3);
    }
}

TEST(FrameBounds, FollowTheFrameSizeAndRefuseANullRect) {
    PathEffect effect;
    effect.SetFrameSize(720, 576);
    const float rect[4] = {10, 20, 30, 40};
    effect.SetStringBounds(rect, 0);
    EXPECT_EQ(effect.FrameMaxX(), 720);
    EXPECT_EQ(effect.FrameMaxY(), 576);
    EXPECT_EQ(effect.SetStringBounds(nullptr, 0), 0);
    EXPECT_EQ(effect.FrameMaxX(), 720);
}

CharBox Box(float x) { return {x, 0, 10, 20, x, 16}; }

TEST(CharBoxes, InsertBeforeTheIndexAndRefuseIndicesWithoutACharacter) {
    PathEffect effect;
    EXPECT_EQ(effect.SetCharBox(0, Box(0)), 0);  // no characters yet
    effect.SetCharCount(3);
    EXPECT_EQ(effect.SetCharBox(0, Box(1)), 1);
    EXPECT_EQ(effect.SetCharBox(0, Box(2)), 1);  // before the first: [2, 1]
    EXPECT_EQ(effect.SetCharBox(3, Box(9)), 0);  // at the count
    EXPECT_EQ(effect.SetCharBox(-1, Box(9)), 0);
    effect.SetCharCount(10);
    EXPECT_EQ(effect.SetCharBox(5, Box(9)), 0);  // would leave a hole
    EXPECT_EQ(effect.SetCharBox(2, Box(3)), 1);
    std::vector<float> xs;
    for (const CharBox& b : effect.Chars()) xs.push_back(b.x);
    EXPECT_EQ(xs, (std::vector<float>{2, 1, 3}));
}

TEST(DefaultCharState, EveryCharacterAtItsBoxAndNoneBeyond) {
    PathEffect effect;
    effect.SetCharCount(2);
    effect.SetCharBox(0, {5, 6, 7, 8, 5, 12});
    effect.SetCharBox(1, {15, 6, 7, 8, 15, 12});
    CharState s{};
    for (float p : {0.0f, 0.5f, 1.0f}) {
        ASSERT_EQ(effect.GetCharState(0, 1, p, &s), 1);
        EXPECT_EQ(s.x, 15);
        EXPECT_EQ(s.y, 6);
        EXPECT_EQ(s.scaleX, 1);
        EXPECT_EQ(s.scaleY, 1);
        EXPECT_EQ(s.angle, 0);
        EXPECT_EQ(s.alpha, 255);
    }
    for (int i : {2, -1, 1 << 30}) {
        s.alpha = 99;
        EXPECT_EQ(effect.GetCharState(0, i, 1, &s), 1);
        EXPECT_EQ(s.alpha, 0) << i;
    }
    EXPECT_EQ(effect.GetCharState(0, 0, 1, nullptr), 0);
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

std::vector<int32_t> Draw(int count) {
    std::vector<int32_t> values;
    for (int k = 0; k < count; ++k) values.push_back(EffectRandom());
    return values;
}

TEST(EffectRandom, RepeatsItsSequenceAfterSeedingAndKeepsOnePerThread) {
    const std::vector<int32_t> fromOne{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    SeedEffectRandom(1);
    EXPECT_EQ(Draw(8), fromOne);
    SeedEffectRandom(1);
    EXPECT_EQ(Draw(3), std::vector<int32_t>(fromOne.begin(), fromOne.begin() + 3));

    // Another thread starts from its own state and does not move this one.
    std::vector<int32_t> other;
    std::thread([&] { other = Draw(8); }).join();
    EXPECT_EQ(other, fromOne);  // a fresh thread's state is 1 as well
    EXPECT_EQ(Draw(5), std::vector<int32_t>(fromOne.begin() + 3, fromOne.end()));

    SeedEffectRandom(0xFFFFFFFFu);
    for (int32_t v : Draw(1000)) ASSERT_TRUE(v >= 0 && v <= 32767);
}

}  // namespace
}  // namespace qel
