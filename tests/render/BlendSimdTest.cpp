// Every SIMD row kernel against its scalar reference: random rows rich in the alpha values that
// take special paths, every width from 1 to 67, every byte misalignment of each pointer, and
// guard bytes after each buffer; the results must be equal byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "render/Blend.h"
#include "render/SimdKernels.h"

namespace qel {
namespace {

constexpr int32_t kMaxWidth = 67;
constexpr size_t kGuardBytes = 64;
constexpr uint8_t kGuard = 0xA5;

std::vector<SimdLevel> SimdLevels() {
    std::vector<SimdLevel> levels;
    const SimdLevel best = DetectSimdLevel(nullptr);
    if (best >= SimdLevel::Sse2) levels.push_back(SimdLevel::Sse2);
    if (best >= SimdLevel::Avx2) levels.push_back(SimdLevel::Avx2);
    return levels;
}

// Alphas that take their own paths (0, 255) and their neighbours, colours equal to alpha or
// above it (not premultiplied, reaching the saturation), and runs of one alpha so whole vector
// groups take the transparent and opaque shortcuts.
void FillPixels(std::mt19937& rng, uint8_t* p, int32_t count) {
    static constexpr uint8_t kAlphas[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> pick(0, 15);
    const int mode = pick(rng) % 4;  // 0 mixed, 1 mostly clear, 2 mostly opaque, 3 premultiplied
    for (int32_t i = 0; i < count; ++i, p += 4) {
        uint8_t a;
        const int r = pick(rng);
        if (mode == 1 && r < 12) a = 0;
        else if (mode == 2 && r < 12) a = 255;
        else a = r < 9 ? kAlphas[r] : static_cast<uint8_t>(byte(rng));
        for (int c = 0; c < 3; ++c) {
            const int kind = pick(rng);
            uint8_t v = static_cast<uint8_t>(byte(rng));
            if (kind == 0) v = a;
            else if (kind == 1) v = 0;
            else if (kind == 2) v = 255;
            else if (mode == 3) v = static_cast<uint8_t>(v * a / 255);
            p[c] = v;
        }
        p[3] = a;
    }
}

// A row inside a guarded allocation, its first byte `misalign` bytes past a 64-byte boundary.
struct GuardedRow {
    GuardedRow(int32_t pixels, size_t misalign)
        : storage(64 + misalign + static_cast<size_t>(pixels) * 4 + kGuardBytes + 64, kGuard) {
        const auto base = reinterpret_cast<uintptr_t>(storage.data());
        data = storage.data() + ((64 - base % 64) % 64) + misalign;
    }
    std::vector<uint8_t> storage;
    uint8_t* data;
};

class SimdKernelTest : public ::testing::TestWithParam<SimdLevel> {};

TEST_P(SimdKernelTest, PixelRowsMatchTheReference) {
    const BlendKernels& fast = BlendKernelsFor(GetParam());
    const BlendKernels& ref = ScalarBlendKernels();
    struct TwoImage {
        const char* name;
        BlendRowFn fast, ref;
    };
    const TwoImage blends[] = {{"BlendOverKeepAlpha", fast.blendOverKeepAlpha, ref.blendOverKeepAlpha},
                               {"BlendOverOpaque", fast.blendOverOpaque, ref.blendOverOpaque},
                               {"BlendStraightOpaque", fast.blendStraightOpaque, ref.blendStraightOpaque}};
    std::mt19937 rng(1234);
    for (int32_t width = 1; width <= kMaxWidth; ++width) {
        for (size_t misalign = 0; misalign < 8; ++misalign) {
            for (int round = 0; round < 4; ++round) {
                GuardedRow src(width, (misalign * 5) % 8), dst(width, misalign);
                FillPixels(rng, src.data, width);
                FillPixels(rng, dst.data, width);
                for (const TwoImage& k : blends) {
                    std::vector<uint8_t> expected = dst.storage;
                    std::vector<uint8_t> actual = dst.storage;
                    const ptrdiff_t at = dst.data - dst.storage.data();
                    k.ref(expected.data() + at, src.data, width);
                    k.fast(actual.data() + at, src.data, width);
                    ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size()))
                        << k.name << " width " << width << " misalign " << misalign;
                }
                std::vector<uint8_t> expected = src.storage;
                std::vector<uint8_t> actual = src.storage;
                const ptrdiff_t at = src.data - src.storage.data();
                ref.premultiply(expected.data() + at, width);
                fast.premultiply(actual.data() + at, width);
                ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size()))
                    << "Premultiply width " << width << " misalign " << misalign;
            }
        }
    }
}

TEST_P(SimdKernelTest, PlaceRowMatchesTheReference) {
    const BlendKernels& fast = BlendKernelsFor(GetParam());
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> fraction(0.0f, 1.0f);
    std::uniform_int_distribution<int> opacity(1, 255);
    const float edges[] = {0.0f, 0.5f, 0.25f, 0.999f};
    for (int32_t width = 1; width <= kMaxWidth; ++width) {
        for (size_t misalign = 0; misalign < 8; ++misalign) {
            for (int round = 0; round < 4; ++round) {
                // Weights as PlaceLayer makes them, including whole-number and half positions.
                const float fx = round < 2 ? edges[(width + round) % 4] : fraction(rng);
                const float fy = round < 2 ? edges[(misalign + round) % 4] : fraction(rng);
                PlaceRowParams params;
                params.w00 = static_cast<uint32_t>(fx * fy * 65536.0f);
                params.w10 = static_cast<uint32_t>((1.0f - fx) * fy * 65536.0f);
                params.w01 = static_cast<uint32_t>(fx * (1.0f - fy) * 65536.0f);
                params.w11 = static_cast<uint32_t>((1.0f - fx) * (1.0f - fy) * 65536.0f);
                params.opacity = round == 0 ? 255 : static_cast<uint32_t>(opacity(rng));

                GuardedRow upper(width + 1, misalign), lower(width + 1, (misalign + 3) % 8), dst(width, misalign);
                FillPixels(rng, upper.data, width + 1);
                FillPixels(rng, lower.data, width + 1);
                FillPixels(rng, dst.data, width);
                std::vector<uint8_t> expected = dst.storage;
                std::vector<uint8_t> actual = dst.storage;
                const ptrdiff_t at = dst.data - dst.storage.data();
                scalar::PlaceRow(expected.data() + at, upper.data, lower.data, width, params);
                fast.placeRow(actual.data() + at, upper.data, lower.data, width, params);
                ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size()))
                    << "width " << width << " misalign " << misalign << " fx " << fx << " fy " << fy
                    << " opacity " << params.opacity;

                // On whole pixels onto an empty row, the kernels from a prepared image (these two
                // rows) give what the general one gives.
                PlaceRowParams whole;
                whole.w11 = 65536;
                whole.opacity = params.opacity;
                const size_t rowBytes = size_t(width + 1) * 4;
                std::vector<uint8_t> image(2 * rowBytes), prepared(2 * rowBytes);
                std::memcpy(image.data(), upper.data, rowBytes);
                std::memcpy(image.data() + rowBytes, lower.data, rowBytes);
                PrepareWholePlacement(image.data(), width + 1, 2, prepared.data());
                const std::vector<uint8_t> empty(dst.storage.size(), 0);
                expected = empty;
                scalar::PlaceRow(expected.data() + at, upper.data, lower.data, width, whole);
                for (PlaceWholeRowFn placeWhole : {scalar::PlaceWholeRow, fast.placeWholeRow}) {
                    actual = empty;
                    placeWhole(actual.data() + at, prepared.data() + rowBytes + 4, width, whole.opacity);
                    ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size()))
                        << "whole pixels, width " << width << " opacity " << whole.opacity;
                }

                // Samples of one colour wherever they show (the colour under alpha 0 stays random):
                // both one-colour kernels give what the general one gives.
                params.colour = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
                for (uint8_t* row : {upper.data, lower.data}) {
                    for (int32_t k = 0; k <= width; ++k) {
                        if (row[4 * k + 3] != 0) std::memcpy(row + 4 * k, &params.colour, 3);
                    }
                }
                expected = dst.storage;
                scalar::PlaceRow(expected.data() + at, upper.data, lower.data, width, params);
                for (PlaceRowFn oneColour : {scalar::PlaceRowOneColour, fast.placeRowOneColour}) {
                    actual = dst.storage;
                    oneColour(actual.data() + at, upper.data, lower.data, width, params);
                    ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size()))
                        << "one colour, width " << width << " misalign " << misalign;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, SimdKernelTest, ::testing::ValuesIn(SimdLevels()),
                         [](const auto& level) { return std::string(SimdLevelName(level.param)); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SimdKernelTest);

TEST(SimdDispatch, ForceScalarSwitch) {
    EXPECT_EQ(SimdLevel::Scalar, DetectSimdLevel("1"));
    EXPECT_EQ(SimdLevel::Scalar, DetectSimdLevel("yes"));
    const SimdLevel best = DetectSimdLevel(nullptr);
    EXPECT_EQ(best, DetectSimdLevel(""));
    EXPECT_EQ(best, DetectSimdLevel("0"));
#if defined(__x86_64__)
    EXPECT_GE(best, SimdLevel::Sse2);  // part of the architecture
#endif
    const char* forced = std::getenv("QEL_FORCE_SCALAR");
    if (forced && forced[0] != '\0' && forced[0] != '0') {
        EXPECT_STREQ("scalar", ActiveBlendKernels().name);
    }
}

}  // namespace
}  // namespace qel
