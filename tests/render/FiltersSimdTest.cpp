// Every Gaussian row kernel and the whole blur through every table against the scalar ones, bit
// for bit, on shapes that reach each fast path: transparent and opaque stretches, soft edges,
// alpha with many zeros, colour left in transparent pixels, and images narrower than the radius.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "render/FilterKernels.h"
#include "render/Filters.h"

namespace qel {
namespace {

std::vector<SimdLevel> AvailableLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2})
        if (level <= DetectSimdLevel(nullptr)) levels.push_back(level);
    return levels;
}

enum class Fill { Transparent, Opaque, Random, SparseAlpha, Blobs };

std::vector<uint8_t> MakeImage(std::mt19937& rng, int32_t w, int32_t h, Fill fill) {
    std::vector<uint8_t> image(static_cast<size_t>(w) * h * 4);
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 9);
    const double cx = w / 2.0, cy = h / 2.0, r = std::min(w, h) / 2.5;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = image.data() + (static_cast<size_t>(y) * w + x) * 4;
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(byte(rng));  // also under alpha 0
            switch (fill) {
                case Fill::Transparent: p[3] = 0; break;
                case Fill::Opaque: p[3] = 255; break;
                case Fill::Random: p[3] = static_cast<uint8_t>(byte(rng)); break;
                case Fill::SparseAlpha: p[3] = pick(rng) < 7 ? 0 : static_cast<uint8_t>(1 + byte(rng) % 3); break;
                case Fill::Blobs: {
                    const double d = std::hypot(x - cx, y - cy) - r;
                    p[3] = d > 1 ? 0 : d < -2 ? 255 : static_cast<uint8_t>(byte(rng));
                    break;
                }
            }
        }
    }
    return image;
}

TEST(GaussRowKernels, MatchScalarOverWidthsTapsAndOffsets) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<uint32_t> weight(0, 32767);
    for (SimdLevel level : AvailableLevels()) {
        const GaussRowFn kernel = FilterKernelsFor(level).gaussRow;
        for (int32_t width = 1; width <= 67; ++width) {
            for (int32_t count : {1, 2, 3, 8, 21}) {
                for (Fill fill : {Fill::Random, Fill::SparseAlpha, Fill::Opaque}) {
                    std::vector<std::vector<uint8_t>> rows;
                    std::vector<const uint8_t*> taps;
                    std::vector<uint32_t> weights;
                    uint32_t total = 0;
                    for (int32_t k = 0; k < count; ++k) {
                        // One spare byte in front shifts every row off its alignment.
                        std::vector<uint8_t> row = MakeImage(rng, width + 1, 1, fill);
                        rows.push_back(std::move(row));
                        weights.push_back(std::min(weight(rng), 65535 / uint32_t(count)));
                        total += weights.back();
                    }
                    for (const auto& row : rows) taps.push_back(row.data() + 1);
                    total += rng() % 7;  // a cut-off window weighs less than the total
                    total = std::max<uint32_t>(total, 1);
                    const int32_t begin = static_cast<int32_t>(rng() % 3 == 0 ? rng() % width : 0);
                    // Guard words after the row: the kernels write exactly [begin, width).
                    std::vector<uint8_t> expected(static_cast<size_t>(width) * 4 + 16, 0xA5), actual = expected;
                    scalar::GaussRow(expected.data(), taps.data(), weights.data(), count, begin, width, total);
                    kernel(actual.data(), taps.data(), weights.data(), count, begin, width, total);
                    ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size()))
                        << SimdLevelName(level) << " width " << width << " taps " << count << " from " << begin;
                }
            }
        }
    }
}

// The float division with its one-step correction, for every quotient and divisors over the
// whole range the SIMD path accepts.
TEST(GaussRowKernels, DivisionExactAtEveryQuotientEdge) {
    for (SimdLevel level : AvailableLevels()) {
        const GaussRowFn kernel = FilterKernelsFor(level).gaussRow;
        // One showing tap of weight d and colour q makes the colour sum exactly q * d, where a
        // reciprocal rounded low falls short by one; alpha over a total of d + 1 or 2d - 1 makes
        // remainders up to the divisor minus one.
        constexpr int32_t kWidth = 256;  // one pixel per quotient
        std::vector<uint8_t> row(kWidth * 4), out(kWidth * 4);
        for (int32_t q = 0; q < kWidth; ++q) {
            uint8_t* p = row.data() + q * 4;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(q);
            p[3] = static_cast<uint8_t>(std::max(q, 1));
        }
        const uint8_t* taps[1] = {row.data()};
        std::vector<uint8_t> plane(kWidth);
        for (int32_t q = 0; q < kWidth; ++q) plane[size_t(q)] = static_cast<uint8_t>(q);
        const uint8_t* planeTaps[1] = {plane.data()};
        std::vector<uint8_t> expected(out.size());
        for (uint32_t d = 1; d <= 32767; d += (d < 600 ? 1 : 7)) {
            for (uint32_t total : {d, d + 1, 2 * d - 1 > 65535 ? 65535u : 2 * d - 1}) {
                const uint32_t w[1] = {d};
                kernel(out.data(), taps, w, 1, 0, kWidth, total);
                scalar::GaussRow(expected.data(), taps, w, 1, 0, kWidth, total);
                ASSERT_EQ(expected, out) << SimdLevelName(level) << " d " << d << " total " << total;
                // The alpha-plane kernel on the same quotients (the plane is the pixels' first bytes).
                FilterKernelsFor(level).gaussAlphaRow(out.data(), planeTaps, w, 1, 0, kWidth, total);
                scalar::GaussAlphaRow(expected.data(), planeTaps, w, 1, 0, kWidth, total);
                ASSERT_EQ(expected, out) << SimdLevelName(level) << " plane d " << d << " total " << total;
            }
        }
    }
}

TEST(GaussianBlurTables, MatchScalarBlurBitForBit) {
    std::mt19937 rng(3);
    const float radii[] = {0.5f, 1.2f, 3.0f, 10.0f, 25.0f};
    for (SimdLevel level : AvailableLevels()) {
        const FilterKernels& kernels = FilterKernelsFor(level);
        for (int32_t w = 1; w <= 40; w += (w < 12 ? 1 : 5)) {
            for (int32_t h = 1; h <= 40; h += (h < 6 ? 1 : 7)) {
                for (float radius : radii) {
                    for (Fill fill : {Fill::Transparent, Fill::Opaque, Fill::Random, Fill::SparseAlpha, Fill::Blobs}) {
                        const std::vector<uint8_t> src = MakeImage(rng, w, h, fill);
                        std::vector<uint8_t> expected = src, actual = src;
                        const HRESULT ok = GaussianBlurWith(ScalarFilterKernels(), expected.data(), w, h, radius);
                        ASSERT_EQ(ok, GaussianBlurWith(kernels, actual.data(), w, h, radius));
                        ASSERT_EQ(expected, actual) << SimdLevelName(level) << " " << w << "x" << h << " radius "
                                                    << radius << " fill " << int(fill);
                    }
                }
            }
        }
    }
}

// A glyph-sized image and a wide one, as the layer builders and the whole-frame blur use them.
TEST(GaussianBlurTables, MatchScalarOnLargeImages) {
    std::mt19937 rng(4);
    const int32_t sizes[][2] = {{80, 90}, {301, 47}};
    for (SimdLevel level : AvailableLevels()) {
        for (const auto& size : sizes) {
            for (float radius : {3.0f, 10.0f}) {
                const std::vector<uint8_t> src = MakeImage(rng, size[0], size[1], Fill::Blobs);
                std::vector<uint8_t> expected = src, actual = src;
                ASSERT_EQ(S_OK, GaussianBlurWith(ScalarFilterKernels(), expected.data(), size[0], size[1], radius));
                ASSERT_EQ(S_OK, GaussianBlurWith(FilterKernelsFor(level), actual.data(), size[0], size[1], radius));
                EXPECT_EQ(expected, actual) << SimdLevelName(level) << " " << size[0] << "x" << size[1];
            }
        }
    }
}

// The alpha-plane and tinted pass kernels against their scalar forms: widths 1..67 from offsets
// 0..3 of their rows (so no load is aligned), with guard bytes after the output row; every other
// window's weights symmetric (folded taps), some at the largest weights the kernels take.
TEST(GaussAlphaKernels, MatchScalarOverWidthsTapsAndOffsets) {
    std::mt19937 rng(12);
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 9);
    for (SimdLevel level : AvailableLevels()) {
        const FilterKernels& kernels = FilterKernelsFor(level);
        for (int32_t width = 1; width <= 67; ++width) {
            for (int32_t count : {1, 2, 3, 5, 7, 9, 21}) {
                const int32_t offset = width % 4;
                std::vector<std::vector<uint8_t>> rows;
                std::vector<const uint8_t*> taps;
                std::vector<uint32_t> weights;
                uint32_t total = 0;
                for (int32_t k = 0; k < count; ++k) {
                    std::vector<uint8_t> row(size_t(width + offset));
                    for (uint8_t& v : row) v = pick(rng) < 4 ? 0 : pick(rng) < 2 ? 255 : uint8_t(byte(rng));
                    rows.push_back(std::move(row));
                    weights.push_back(k == 0 ? 0 : std::min<uint32_t>(rng() % 32768, 65535 / count));
                    total += weights.back();
                }
                for (const auto& row : rows) taps.push_back(row.data() + offset);
                if ((width + count) % 2 == 0) {
                    const bool heaviest = width % 4 == 0;  // every tap 32767, or as many as fit
                    total = 0;
                    for (int32_t k = 0; k < count; ++k) {
                        if (heaviest) weights[k] = std::min<uint32_t>(32767, 65531 / count);
                        if (k > count / 2) weights[k] = weights[count - 1 - k];
                        total += weights[k];
                    }
                }
                total = std::max<uint32_t>(total + rng() % 5, 1);
                if (count == 1 && width % 2 == 1) {  // an opacity over 256, which divides by a shift
                    weights[0] = 1 + uint32_t(rng() % 256);
                    total = 256;
                }
                const int32_t begin = int32_t(rng() % 3 == 0 ? rng() % width : 0);
                std::vector<uint8_t> expected(size_t(width) * 4 + 16, 0xA5), actual = expected;
                scalar::GaussAlphaRow(expected.data(), taps.data(), weights.data(), count, begin, width, total);
                kernels.gaussAlphaRow(actual.data(), taps.data(), weights.data(), count, begin, width, total);
                ASSERT_EQ(expected, actual) << SimdLevelName(level) << " alpha width " << width << " taps " << count;
                scalar::GaussTintRow(expected.data(), taps.data(), weights.data(), count, begin, width, total, 0x123456);
                kernels.gaussTintRow(actual.data(), taps.data(), weights.data(), count, begin, width, total, 0x123456);
                ASSERT_EQ(expected, actual) << SimdLevelName(level) << " tint width " << width << " taps " << count;
            }
        }
    }
}

// The one-colour blur against colouring the image and blurring its four channels, for every
// table: the same bytes for every size, radius (including those refused or cut to the image)
// and shape, with colour left under transparent pixels of the four-channel input removed as the
// layer builders remove it.
TEST(GaussianBlurOneColour, EqualsTheFourChannelBlurOfTheColouredImage) {
    std::mt19937 rng(5);
    const float radii[] = {0.0f, 0.5f, 1.2f, 2.7f, 3.0f, 10.0f, 25.0f};
    std::vector<const FilterKernels*> tables = {&ScalarFilterKernels()};
    for (SimdLevel level : AvailableLevels()) tables.push_back(&FilterKernelsFor(level));
    const uint32_t colour = 0x00C08040;
    for (const FilterKernels* kernels : tables) {
        for (int32_t w = 1; w <= 70; w += (w < 12 ? 1 : 9)) {
            for (int32_t h = 1; h <= 50; h += (h < 6 ? 1 : 11)) {
                for (float radius : radii) {
                    for (Fill fill : {Fill::Transparent, Fill::Opaque, Fill::Random, Fill::SparseAlpha, Fill::Blobs}) {
                        std::vector<uint8_t> image = MakeImage(rng, w, h, fill), plane(size_t(w) * h);
                        for (size_t i = 0; i < plane.size(); ++i) {
                            plane[i] = image[4 * i + 3];
                            const uint32_t word = plane[i] == 0 ? 0 : colour | uint32_t(plane[i]) << 24;
                            std::memcpy(&image[4 * i], &word, 4);
                        }
                        std::vector<uint8_t> actual(image.size(), 0xA5);
                        const HRESULT expectedOk = GaussianBlurWith(*kernels, image.data(), w, h, radius);
                        ASSERT_EQ(expectedOk,
                                  GaussianBlurOneColourWith(*kernels, actual.data(), plane.data(), w, h, radius, colour));
                        ASSERT_EQ(image, actual) << kernels->name << " " << w << "x" << h << " radius " << radius
                                                 << " fill " << int(fill);
                    }
                }
            }
        }
    }
}

// The dilation row kernel against its scalar form: destination spans of 1..67 columns at every
// misalignment, the kernel rows of a real outline kernel and random ones, guard bytes around.
TEST(DilateRowKernels, MatchScalarOverWidthsAndOffsets) {
    std::mt19937 rng(13);
    std::uniform_int_distribution<int> value(-255, 255);
    for (SimdLevel level : AvailableLevels()) {
        const DilateRowFn kernel = FilterKernelsFor(level).dilateRow;
        for (int32_t width = 1; width <= 67; ++width) {
            for (int32_t cells : {1, 3, 7, 13}) {
                const int32_t lo = int32_t(rng() % 8), hi = lo + width;
                std::vector<int16_t> kernelRow(static_cast<size_t>(cells)), source(static_cast<size_t>(hi + 2 * cells + 64));
                for (int16_t& c : kernelRow) c = int16_t(rng() % 3 == 0 ? 255 : value(rng));
                for (int16_t& v : source) v = int16_t(rng() % 3 == 0 ? -255 : int32_t(rng() % 256));
                const int16_t* p = source.data() + cells + 1;  // p[lo - cells + 1 .. hi + 31] readable
                const int32_t begin = int32_t(rng() % size_t(cells)), end = cells;
                std::vector<uint8_t> expected(size_t(hi) + 16), actual;
                for (uint8_t& d : expected) d = uint8_t(rng());
                actual = expected;
                scalar::DilateRow(expected.data(), p, kernelRow.data(), begin, end, lo, hi);
                kernel(actual.data(), p, kernelRow.data(), begin, end, lo, hi);
                ASSERT_EQ(expected, actual) << SimdLevelName(level) << " width " << width << " from " << lo;
            }
        }
    }
}

}  // namespace
}  // namespace qel
