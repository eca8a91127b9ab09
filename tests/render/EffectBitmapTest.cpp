#include <gtest/gtest.h>

#include <vector>

#include "render/EffectBitmap.h"
#include "render/Filters.h"

namespace qel {
namespace {

TEST(EffectBitmap, CopyFromNeedsTheSameShape) {
    EffectBitmap a(4, 3), b(4, 3), wider(5, 3);
    std::vector<uint8_t> three(4 * 3 * 3, 7);
    EffectBitmap threeBytes(three.data(), 4, 3, 12, 3);
    EffectBitmap empty;
    a.Pixels()[0] = 42;
    EXPECT_EQ(S_OK, b.CopyFrom(a));
    EXPECT_EQ(42, b.Pixels()[0]);
    EXPECT_EQ(E_INVALIDARG, wider.CopyFrom(a));
    EXPECT_EQ(E_INVALIDARG, a.CopyFrom(threeBytes));  // its rows are shorter than a's
    EXPECT_EQ(E_INVALIDARG, a.CopyFrom(empty));
    EXPECT_EQ(E_INVALIDARG, empty.CopyFrom(a));
}

TEST(EffectBitmap, OwnershipAndViews) {
    EffectBitmap owner(3, 2, 20, 4);
    ASSERT_NE(nullptr, owner.Pixels());
    EXPECT_EQ(8, owner.RowPadding());
    EXPECT_EQ(nullptr, EffectBitmap(3, 2, 8, 4).Pixels());  // stride shorter than a row
    EXPECT_EQ(nullptr, EffectBitmap(0, 2).Pixels());

    std::vector<uint8_t> memory(6 * 4, 1);
    owner.Attach(memory.data(), 3, 2, 12);  // frees its own pixels first
    EXPECT_EQ(memory.data(), owner.Pixels());
    EXPECT_EQ(4, owner.BytesPerPixel());
    EXPECT_EQ(0, owner.RowPadding());
}

TEST(EffectBitmap, BlurIsTheBoxBlurOfItself) {
    std::vector<uint8_t> pixels(8 * 6 * 4, 0), expected;
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 % 251 * (i % 3 != 0));
    expected.resize(pixels.size());
    ASSERT_EQ(S_OK, BoxBlurCopy(expected.data(), pixels.data(), 8, 6, 32, 32, 2));
    EffectBitmap view(pixels.data(), 8, 6, 32, 4);
    ASSERT_EQ(S_OK, view.Blur(2));
    EXPECT_EQ(expected, pixels);

    const std::vector<uint8_t> before = pixels;
    EXPECT_EQ(S_OK, view.Blur(0));
    EXPECT_EQ(before, pixels);
}

}  // namespace
}  // namespace qel
