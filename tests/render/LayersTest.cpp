// Outline kernels, dilation, gradients, stamping and the three character layer builders.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "render/Gradient.h"
#include "render/Layers.h"
#include "render/FilterKernels.h"
#include "render/Filters.h"
#include "render/OutlineKernel.h"

namespace qel {
namespace {

TEST(OutlineKernel, OneAndAHalfIsFiveByFiveWithSolidCentreAndEmptyCorners) {
    OutlineKernelRef k;
    ASSERT_EQ(GetOutlineKernel(1.5f, 1.5f, &k), S_OK);
    ASSERT_EQ(k->Columns(), 5);
    ASSERT_EQ(k->Rows(), 5);
    const int16_t* c = k->cells.get();
    EXPECT_EQ(c[2 * 5 + 2], 255);
    for (int corner : {0, 4, 20, 24}) EXPECT_EQ(c[corner], -255) << corner;
    // Mirrored into all four quadrants.
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(c[j * 5 + i], c[j * 5 + (4 - i)]);
            EXPECT_EQ(c[j * 5 + i], c[(4 - j) * 5 + i]);
        }
    // Half a pixel inside the ellipse along an axis: g = 0.5.
    EXPECT_EQ(c[2 * 5 + 3], 127);
}

TEST(OutlineKernel, RejectsBadRadiiAndHandlesFlatEllipses) {
    OutlineKernelRef k;
    EXPECT_EQ(GetOutlineKernel(-1.0f, 1.0f, &k), E_INVALIDARG);
    EXPECT_EQ(GetOutlineKernel(1.0f, std::numeric_limits<float>::quiet_NaN(), &k), E_INVALIDARG);
    EXPECT_EQ(GetOutlineKernel(1.0f, std::numeric_limits<float>::infinity(), &k), E_INVALIDARG);
    EXPECT_FALSE(k);

    ASSERT_EQ(GetOutlineKernel(0.0f, 0.0f, &k), S_OK);
    EXPECT_EQ(k->Columns(), 1);
    EXPECT_EQ(k->cells[0], 255);

    // rx = 0: a vertical segment; no division by zero, every cell defined.
    ASSERT_EQ(GetOutlineKernel(0.0f, 2.0f, &k), S_OK);
    ASSERT_EQ(k->Columns(), 1);
    ASSERT_EQ(k->Rows(), 5);
    EXPECT_EQ(k->cells[2], 255);
    EXPECT_EQ(k->cells[1], 255);  // g = 1 exactly: 255
    EXPECT_EQ(k->cells[0], 0);    // on the boundary
}

TEST(OutlineKernelCache, SharesKernelsAndStaysBounded) {
    OutlineKernelCache& cache = OutlineKernelCache::Instance();
    cache.Clear();
    OutlineKernelRef a, b;
    ASSERT_EQ(GetOutlineKernel(2.25f, 1.75f, &a), S_OK);
    ASSERT_EQ(GetOutlineKernel(2.25f, 1.75f, &b), S_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(cache.Count(), 1u);

    // A border width that changes every frame must not grow the cache without limit.
    for (int i = 0; i < int(OutlineKernelCache::kMaxKernels) + 100; ++i) {
        OutlineKernelRef k;
        ASSERT_EQ(GetOutlineKernel(1.0f + float(i) / 1000.0f, 1.0f, &k), S_OK);
    }
    EXPECT_LE(cache.Count(), OutlineKernelCache::kMaxKernels);
    EXPECT_LE(cache.Bytes(), OutlineKernelCache::kMaxBytes);
    // The oldest went first, and a kernel a caller still holds stays valid.
    OutlineKernelRef again;
    ASSERT_EQ(GetOutlineKernel(2.25f, 1.75f, &again), S_OK);
    EXPECT_NE(again.get(), a.get());
    EXPECT_EQ(a->cells[size_t(a->Rows() / 2) * a->Columns() + a->halfW], 255);

    // Large kernels count against the byte budget.
    for (int i = 0; i < 40; ++i) {
        OutlineKernelRef k;
        ASSERT_EQ(GetOutlineKernel(600.0f + float(i), 600.0f, &k), S_OK);
    }
    EXPECT_LE(cache.Bytes(), OutlineKernelCache::kMaxBytes);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);
    EXPECT_EQ(cache.Bytes(), 0u);
}

TEST(DilateMask, OnePixelGrowsIntoTheRaisedKernel) {
    OutlineKernelRef k;
    ASSERT_EQ(GetOutlineKernel(1.5f, 1.5f, &k), S_OK);
    for (int v : {255, 100}) {
        const uint8_t src[1] = {uint8_t(v)};
        uint8_t dst[25];
        std::memset(dst, 7, sizeof dst);
        ASSERT_EQ(DilateMask(src, 1, 1, 1, dst, 5, 5, 5, k->cells.get(), 2, 2), S_OK);
        for (int i = 0; i < 25; ++i) {
            EXPECT_EQ(dst[i], std::clamp(k->cells[i] + v, 0, 255)) << "v " << v << " cell " << i;
        }
    }
}

// The vector paths against the plain stamping, bit for bit: random glyph-like masks (solid runs,
// grey edges, holes) of widths 1..40, radii from flat to wide (a fixed set, then random ones up
// to the widest the chords take), and destinations both of the full size and cut short, with
// guard bytes after every row.
TEST(DilateMask, VectorPathMatchesStampingBitForBit) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::vector<std::array<float, 2>> radii = {{0.4f, 0.4f}, {1.5f, 1.5f}, {2.7f, 2.7f}, {3.0f, 3.0f},
                                               {0.0f, 2.0f}, {3.2f, 0.6f}, {5.5f, 4.25f}, {7.5f, 7.5f},
                                               {3.0f, 9.6f}, {15.2f, 12.4f}, {31.0f, 4.5f}};
    for (int i = 0; i < 16; ++i) radii.push_back({float(next() % 2000) / 100.0f, float(next() % 2000) / 100.0f});
    for (const auto& radius : radii) {
        OutlineKernelRef k;
        ASSERT_EQ(GetOutlineKernel(radius[0], radius[1], &k), S_OK);
        for (int trial = 0; trial < (radius[0] > 16 || radius[1] > 16 ? 12 : 40); ++trial) {
            const int32_t sw = 1 + int32_t(next() % 40), sh = 1 + int32_t(next() % 30);
            std::vector<uint8_t> src(size_t(sw) * sh);
            for (uint8_t& v : src) {
                const uint32_t r = next() % 8;
                v = r < 3 ? 0 : r < 6 ? 255 : uint8_t(next());
            }
            const bool cut = trial % 3 == 0;
            const int32_t dw = sw + 2 * k->halfW - (cut ? int32_t(next() % (sw + 1)) : 0);
            const int32_t dh = sh + 2 * k->halfH - (cut ? int32_t(next() % (sh + 1)) : 0);
            if (dw <= 0 || dh <= 0) continue;
            const int32_t stride = dw + 7;
            std::vector<uint8_t> plain(size_t(stride) * dh, 0xA5);
            ASSERT_EQ(DilateMaskScalar(src.data(), sw, sh, sw, plain.data(), dw, dh, stride, k->cells.get(),
                                       k->halfW, k->halfH), S_OK);
            // The active path, and through every table the processor has the row path with and
            // without shared mirrored rows and the chords.
            for (int level = -1; level <= int(DetectSimdLevel(nullptr)); ++level) {
                for (const char* method : {"shared", "unshared", "chords"}) {
                    std::vector<uint8_t> fast(plain.size(), 0xA5);
                    const FilterKernels& table = FilterKernelsFor(SimdLevel(std::max(level, 0)));
                    const HRESULT hr =
                        level < 0 ? DilateMask(src.data(), sw, sh, sw, fast.data(), dw, dh, stride, k->cells.get(),
                                               k->halfW, k->halfH)
                        : method[0] == 'c'
                            ? DilateMaskChordsWith(table, src.data(), sw, sh, sw, fast.data(), dw, dh, stride,
                                                   k->cells.get(), k->halfW, k->halfH)
                            : DilateMaskRowsWith(table, src.data(), sw, sh, sw, fast.data(), dw, dh, stride,
                                                 k->cells.get(), k->halfW, k->halfH, method[0] == 's');
                    ASSERT_EQ(hr, S_OK);
                    ASSERT_TRUE(fast == plain) << "table " << level << " " << method << " radii " << radius[0]
                                               << "," << radius[1] << " size " << sw << "x" << sh << " into " << dw
                                               << "x" << dh;
                }
            }
        }
    }
}

TEST(DilateMask, SingleCellCopiesAndBadArgumentsAreRefused) {
    const int16_t one = 255;
    const uint8_t src[6] = {0, 10, 20, 30, 40, 50};
    uint8_t dst[6] = {};
    ASSERT_EQ(DilateMask(src, 3, 2, 3, dst, 3, 2, 3, &one, 0, 0), S_OK);
    EXPECT_EQ(std::memcmp(src, dst, 6), 0);
    EXPECT_EQ(DilateMask(nullptr, 3, 2, 3, dst, 3, 2, 3, &one, 0, 0), E_INVALIDARG);
    EXPECT_EQ(DilateMask(src, 3, 2, 3, nullptr, 3, 2, 3, &one, 0, 0), E_INVALIDARG);
    EXPECT_EQ(DilateMask(src, 0, 2, 3, dst, 3, 2, 3, &one, 0, 0), E_INVALIDARG);
    EXPECT_EQ(DilateMask(src, 3, 2, 3, dst, 3, 2, 3, &one, -1, 0), E_INVALIDARG);
}

// A solid 6 x 6 glyph with a half-covered edge column.
std::vector<uint8_t> SolidGlyph() {
    std::vector<uint8_t> g(36, 255);
    for (int y = 0; y < 6; ++y) g[y * 6 + 5] = 128;
    return g;
}

TEST(OutlineMasks, RingSurroundsTheGlyphAndFullCoversBoth) {
    const std::vector<uint8_t> glyph = SolidGlyph();
    OutlineMasks m;
    ASSERT_EQ(BuildOutlineMasks(glyph.data(), 6, 6, 2.5f, 1.5f, &m), S_OK);
    EXPECT_EQ(m.marginX, 3);
    EXPECT_EQ(m.marginY, 2);
    ASSERT_EQ(m.width, 12);
    ASSERT_EQ(m.height, 10);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const size_t at = size_t(y + 2) * 12 + size_t(x + 3);
            EXPECT_EQ(int(m.ring[at]) + glyph[size_t(y) * 6 + x], 255) << x << "," << y;
            EXPECT_EQ(m.full[at], 255);
        }
    // Just outside the glyph the ring is solid; in the far corner it is empty.
    EXPECT_EQ(m.ring[size_t(5) * 12 + 2], 255);
    EXPECT_EQ(m.ring[0], 0);
    EXPECT_EQ(m.ring[size_t(12 * 10 - 1)], 0);
}

// A border far wider than the glyph (700 frame pixels around a 6 x 6 square) is drawn: the ring
// reaches out to the border width on every side and not beyond.
TEST(OutlineMasks, WideBorderIsDrawnToItsFullWidth) {
    const std::vector<uint8_t> glyph(36, 255);
    OutlineMasks m;
    ASSERT_EQ(BuildOutlineMasks(glyph.data(), 6, 6, 700.0f, 350.0f, &m), S_OK);
    ASSERT_EQ(m.width, 6 + 1400);
    ASSERT_EQ(m.height, 6 + 700);
    auto ring = [&](int x, int y) { return m.ring[size_t(y) * m.width + x]; };
    const int cx = 700 + 3, cy = 350 + 3;
    EXPECT_EQ(ring(cx + 695, cy), 255);
    EXPECT_EQ(ring(cx - 695, cy), 255);
    EXPECT_EQ(ring(cx, cy - 345), 255);
    EXPECT_EQ(ring(0, 0), 0);  // the corner lies outside the ellipse
    EXPECT_EQ(ring(cx, cy), 0);  // the glyph itself is not ring
    EXPECT_EQ(m.full[size_t(cy) * m.width + cx], 255);
}

TEST(OutlineMasks, NoBorderLeavesAnEmptyRingAndTheGlyph) {
    const std::vector<uint8_t> glyph = SolidGlyph();
    OutlineMasks m;
    ASSERT_EQ(BuildOutlineMasks(glyph.data(), 6, 6, 0.0f, 0.0f, &m), S_OK);
    ASSERT_EQ(m.width, 6);
    ASSERT_EQ(m.height, 6);
    EXPECT_EQ(std::memcmp(m.full.get(), glyph.data(), 36), 0);
    for (int i = 0; i < 36; ++i) EXPECT_EQ(m.ring[size_t(i)], 0);

    EXPECT_EQ(BuildOutlineMasks(glyph.data(), 6, 6, -1.0f, 1.0f, &m), E_INVALIDARG);
    EXPECT_FALSE(m.full);
    EXPECT_EQ(BuildOutlineMasks(glyph.data(), 6, 6, 1e9f, 1.0f, &m), E_INVALIDARG);
}

TEST(StampMaxAlpha, KeepsTheMaximumAndClipsAtTheEdges) {
    std::vector<uint8_t> image(4 * 4 * 4, 0);
    image[(1 * 4 + 1) * 4 + 3] = 200;
    const uint8_t mask[4] = {255, 255, 255, 100};
    // (-0.7, 0.9) truncates to (0, 0).
    ASSERT_EQ(StampMaxAlpha(image.data(), 4, 4, mask, 2, 2, -0.7f, 0.9f, 127), S_OK);
    EXPECT_EQ(image[3], 127);                    // (128 * 255) >> 8
    EXPECT_EQ(image[(1 * 4 + 1) * 4 + 3], 200);  // 50 < 200 keeps 200
    EXPECT_EQ(image[(1 * 4 + 0) * 4 + 3], 127);
    EXPECT_EQ(image[0], 0);  // colour bytes untouched
    // Partly outside the image: only the inside cells are written, nothing outside.
    ASSERT_EQ(StampMaxAlpha(image.data(), 4, 4, mask, 2, 2, 3.0f, 3.0f, 255), S_OK);
    EXPECT_EQ(image[(3 * 4 + 3) * 4 + 3], 255);
    ASSERT_EQ(StampMaxAlpha(image.data(), 4, 4, mask, 2, 2, -5.0f, 1e30f, 255), S_OK);
    EXPECT_EQ(StampMaxAlpha(nullptr, 4, 4, mask, 2, 2, 0, 0, 255), E_INVALIDARG);
}

struct GradientCase {
    int32_t type;
    // Expected corners TL, TR, BL, BR as 'a' (color1), 'b' (color2) or 'm' (average).
    const char* corners;
};

TEST(FillGradient, CornersOfEveryType) {
    const uint32_t c1 = 0x0010C8F0, c2 = 0x00F02010;  // packed bytes: (0x10, 0xC8, 0xF0), ...
    auto bytesOf = [](uint32_t c) {
        return std::array<int, 3>{int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
    };
    const auto a = bytesOf(c1), b = bytesOf(c2);
    const std::array<int, 3> avg{(a[0] + b[0]) >> 1, (a[1] + b[1]) >> 1, (a[2] + b[2]) >> 1};
    const GradientCase cases[] = {{0, "bbaa"}, {1, "aabb"}, {2, "baba"}, {3, "abab"}, {4, "bmma"},
                                  {5, "mbam"}, {6, "mabm"}, {7, "ammb"}, {9, "bbaa"}, {-3, "bbaa"}};
    // Steps are truncated to 12 fractional bits, so the far corners are exact only where
    // (end - start) * 4096 divides by n - 1: true for every channel with widths 5 and heights 3.
    const int w = 5, h = 3;
    for (const GradientCase& c : cases) {
        std::vector<uint8_t> img(size_t(w) * h * 4, 0x5A);
        ASSERT_EQ(FillGradient(img.data(), w, h, c1, c2, c.type), S_OK);
        const int at[4] = {0, w - 1, (h - 1) * w, h * w - 1};
        for (int k = 0; k < 4; ++k) {
            const auto& want = c.corners[k] == 'a' ? a : c.corners[k] == 'b' ? b : avg;
            for (int ch = 0; ch < 3; ++ch) {
                EXPECT_EQ(img[size_t(at[k]) * 4 + ch], want[ch]) << "type " << c.type << " corner " << k;
            }
        }
        for (size_t p = 0; p < img.size(); p += 4) ASSERT_EQ(img[p + 3], 0x5A) << "alpha written";
    }
}

TEST(FillGradient, TruncatedStepsFallShortByAtMostOne) {
    // 16 -> 240 over 7 pixels: step = 224 * 4096 / 6 = 152917 (truncated), and 6 * 152917 >> 12
    // is 223, one short of the end.
    std::vector<uint8_t> row(7 * 4, 0);
    ASSERT_EQ(FillGradient(row.data(), 7, 1, 0x00100000, 0x00F00000, 3), S_OK);
    EXPECT_EQ(row[0], 16);
    EXPECT_EQ(row[6 * 4], 239);
}

TEST(FillGradient, MidpointsAndSingleRowOrColumn) {
    // Vertical black (bottom) to white (top) over 3 rows: 255, 127, 0 (arithmetic shift floors).
    std::vector<uint8_t> img(3 * 4, 0);
    ASSERT_EQ(FillGradient(img.data(), 1, 3, 0x000000, 0xFFFFFF, 0), S_OK);
    EXPECT_EQ(img[0], 255);
    EXPECT_EQ(img[4], 127);
    EXPECT_EQ(img[8], 0);
    // One row: the ends are the top corners (horizontal type 3: color1 at the left).
    std::vector<uint8_t> row(3 * 4, 0);
    ASSERT_EQ(FillGradient(row.data(), 3, 1, 0x000000, 0xFFFFFF, 3), S_OK);
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[4], 127);
    EXPECT_EQ(row[8], 255);
    // One pixel: the top-left corner.
    uint8_t one[4] = {};
    ASSERT_EQ(FillGradient(one, 1, 1, 0x000000, 0xFFFFFF, 0), S_OK);
    EXPECT_EQ(one[0], 255);
    EXPECT_EQ(FillGradient(nullptr, 1, 1, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(FillGradient(one, 0, 1, 0, 0, 0), E_INVALIDARG);
}

// A 3 x 2 mask with one empty pixel.
const uint8_t kMask[6] = {255, 0, 128, 64, 255, 255};

TEST(FaceLayer, OneColourOnlyWhereCoveredWithScaledAlpha) {
    LayerImage img;
    const MetaFace face{1, 0x00332211, 0x00332211, 0, 127, 0};
    ASSERT_EQ(BuildFaceLayer(&img, {kMask, 3, 2}, 4.5f, -2.0f, face, 1.0f, {}), S_OK);
    ASSERT_TRUE(img.pixels);
    EXPECT_EQ(img.width, 3);  // no blur: no margin
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.x, 4.5f);
    EXPECT_EQ(img.y, -2.0f);
    for (int i = 0; i < 6; ++i) {
        const uint8_t* p = img.pixels.get() + i * 4;
        if (kMask[i] == 0) {
            EXPECT_EQ(p[0] | p[1] | p[2] | p[3], 0);
        } else {
            EXPECT_EQ(p[0], 0x33);
            EXPECT_EQ(p[1], 0x22);
            EXPECT_EQ(p[2], 0x11);
            EXPECT_EQ(p[3], (kMask[i] * 128) >> 8);
        }
    }
    const MetaFace off{0, 0xFF, 0xFF, 0, 255, 0};
    ASSERT_EQ(BuildFaceLayer(&img, {kMask, 3, 2}, 0, 0, off, 1.0f, {}), S_OK);
    EXPECT_FALSE(img.pixels);
    EXPECT_EQ(img.width, 0);
}

TEST(FaceLayer, GradientColoursEveryPixelAndBlurAddsAMargin) {
    LayerImage img;
    const MetaFace face{1, 0x000000, 0xFFFFFF, 0, 255, 0};
    ASSERT_EQ(BuildFaceLayer(&img, {kMask, 3, 2}, 0, 0, face, 1.0f, {}), S_OK);
    EXPECT_EQ(img.pixels[4 * 1 + 3], 0);    // uncovered: alpha 0 ...
    EXPECT_EQ(img.pixels[4 * 1 + 0], 255);  // ... but coloured (top row is color2)
    // Blur 1 at size ratio 1/25.6: r = 1.00001, margin 2 on every side.
    const MetaFace blurred{1, 0xFF, 0xFF, 0, 255, 1};
    ASSERT_EQ(BuildFaceLayer(&img, {kMask, 3, 2}, 10, 10, blurred, 1.0f / 25.6f, {}), S_OK);
    EXPECT_EQ(img.width, 3 + 4);
    EXPECT_EQ(img.height, 2 + 4);
    EXPECT_EQ(img.x, 8.0f);
    // Absurd blur radii are blurred at the widest radius drawn instead of overflowing.
    const MetaFace huge{1, 0xFF, 0xFF, 0, 255, 0x7FFFFFFF};
    EXPECT_EQ(BuildFaceLayer(&img, {kMask, 3, 2}, 0, 0, huge, 0.8f, {10.0f, 10.0f, 1, 0}), S_OK);
    EXPECT_EQ(img.width, 3 + 2 * kMaxStylePixels);
}

TEST(FaceLayer, LumaChromaWhiteLandsAsCrCbY) {
    EXPECT_EQ(FrameColor(0x00FFFFFF, 0), 0x00FFFFFFu);
    LayerImage img;
    const MetaFace face{1, 0xFFFFFF, 0xFFFFFF, 0, 255, 0};
    LayerSettings yuv;
    yuv.colorMode = 1;
    ASSERT_EQ(BuildFaceLayer(&img, {kMask, 3, 2}, 0, 0, face, 1.0f, yuv), S_OK);
    EXPECT_EQ(img.pixels[0], 128);  // Cr
    EXPECT_EQ(img.pixels[1], 128);  // Cb
    EXPECT_EQ(img.pixels[2], 235);  // Y
}

TEST(BorderLayer, SizeBelowOneOrDisabledMakesNoImage) {
    const uint8_t ring[6] = {0, 0, 0, 0, 0, 0};
    LayerImage img;
    for (const MetaBorder& b : {MetaBorder{1, 0, 0xFF, 0xFF, 0, 255, 0}, MetaBorder{1, -4, 0xFF, 0xFF, 0, 255, 0},
                                MetaBorder{0, 3, 0xFF, 0xFF, 0, 255, 0}}) {
        ASSERT_EQ(BuildBorderLayer(&img, {ring, 3, 2}, 0, 0, b, 1.0f, {}), S_OK);
        EXPECT_FALSE(img.pixels);
    }
    ASSERT_EQ(BuildBorderLayer(&img, {kMask, 3, 2}, 1, 2, MetaBorder{1, 3, 0xFF, 0xFF, 0, 255, 0}, 1.0f, {}), S_OK);
    EXPECT_TRUE(img.pixels);
}

int AlphaSum(const LayerImage& img) {
    int sum = 0;
    for (int i = 0; i < img.width * img.height; ++i) sum += img.pixels[size_t(i) * 4 + 3];
    return sum;
}

TEST(ShadowLayer, FlatShadowSitsAtItsOffset) {
    LayerImage img;
    const MetaShadow s{1, 0, 0x00445566, 0x00445566, 0, 255, 0, 3.0f, -2.0f, 0};
    ASSERT_EQ(BuildShadowLayer(&img, {kMask, 3, 2}, {}, {}, 10, 20, s, 1.0f, {2.0f, 1.0f, 1, 0}), S_OK);
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.x, 16.0f);  // 10 + 3 * ScaleX 2
    EXPECT_EQ(img.y, 18.0f);
    EXPECT_EQ(img.pixels[0], 0x44);
    EXPECT_EQ(img.pixels[3], 255);
    EXPECT_EQ(img.pixels[4 * 1 + 0], 0);  // colour only where alpha shows
}

TEST(ShadowLayer, MaskChoiceAndEmptyShadows) {
    LayerImage img;
    // Border only, but the character has no outline: nothing.
    const MetaShadow borderOnly{0, 1, 0, 0, 0, 255, 0, 1.0f, 1.0f, 0};
    ASSERT_EQ(BuildShadowLayer(&img, {kMask, 3, 2}, {}, {}, 0, 0, borderOnly, 1.0f, {}), S_OK);
    EXPECT_FALSE(img.pixels);
    // Neither face nor border.
    const MetaShadow none{0, 0, 0, 0, 0, 255, 0, 1.0f, 1.0f, 0};
    ASSERT_EQ(BuildShadowLayer(&img, {kMask, 3, 2}, {}, {}, 0, 0, none, 1.0f, {}), S_OK);
    EXPECT_FALSE(img.pixels);
    // Face and border with an outline: the full mask.
    const uint8_t full[20] = {};
    const MetaShadow both{1, 1, 0, 0, 0, 255, 0, 0.0f, 0.0f, 0};
    ASSERT_EQ(BuildShadowLayer(&img, {kMask, 3, 2}, {full, 5, 4}, {full, 5, 4}, 0, 0, both, 1.0f, {}), S_OK);
    EXPECT_EQ(img.width, 5);
    // Non-finite offsets are refused.
    const MetaShadow nan{1, 0, 0, 0, 0, 255, 0, std::numeric_limits<float>::quiet_NaN(), 0.0f, 1};
    EXPECT_EQ(BuildShadowLayer(&img, {kMask, 3, 2}, {}, {}, 0, 0, nan, 1.0f, {}), E_INVALIDARG);
    EXPECT_FALSE(img.pixels);
}

TEST(ShadowLayer, ExtrudedSlabStepsTowardsTheOffset) {
    const uint8_t dot[1] = {255};
    LayerImage img;
    // Under one pixel along the main axis: a transparent image, nothing stamped.
    const MetaShadow half{1, 0, 0xFF, 0xFF, 0, 255, 0, 0.5f, 0.0f, 1};
    ASSERT_EQ(BuildShadowLayer(&img, {kMask, 3, 2}, {}, {}, 0, 0, half, 1.0f, {}), S_OK);
    ASSERT_TRUE(img.pixels);
    EXPECT_EQ(AlphaSum(img), 0);

    struct Case {
        float dx, dy;
        int width, height;
        float x, y;
        std::vector<int> stamped;  // pixel indices with alpha 255
    };
    const Case cases[] = {
        {3.0f, 0.0f, 4, 1, 5.0f, 7.0f, {1, 2, 3}},   // right: the character's own cell stays empty
        {-3.0f, 0.0f, 4, 1, 2.0f, 7.0f, {0, 1, 2}},  // left: the slab lies left of the character
        {0.0f, 2.0f, 1, 3, 5.0f, 7.0f, {1, 2}},      // down
        {0.0f, -2.0f, 1, 3, 5.0f, 5.0f, {0, 1}},     // up
        {2.0f, 2.0f, 3, 3, 5.0f, 7.0f, {4, 8}},      // diagonal, |dy| >= |dx|: steps along y
    };
    for (const Case& c : cases) {
        const MetaShadow s{1, 0, 0xFF, 0xFF, 0, 255, 0, c.dx, c.dy, 1};
        ASSERT_EQ(BuildShadowLayer(&img, {dot, 1, 1}, {}, {}, 5, 7, s, 1.0f, {}), S_OK);
        ASSERT_EQ(img.width, c.width) << c.dx << "," << c.dy;
        ASSERT_EQ(img.height, c.height);
        EXPECT_EQ(img.x, c.x);
        EXPECT_EQ(img.y, c.y);
        std::vector<int> got;
        for (int i = 0; i < img.width * img.height; ++i)
            if (img.pixels[size_t(i) * 4 + 3] == 255) got.push_back(i);
        EXPECT_EQ(got, c.stamped) << c.dx << "," << c.dy;
        EXPECT_EQ(AlphaSum(img), 255 * int(c.stamped.size()));
    }
}

}  // namespace
}  // namespace qel

namespace qel {
namespace {

// A glyph-like mask: solid middle, grey edges, a hole.
std::vector<uint8_t> BlobMask(int32_t w, int32_t h, uint32_t seed) {
    std::vector<uint8_t> mask(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int32_t edge = std::min({x, y, w - 1 - x, h - 1 - y});
            mask[size_t(y) * w + x] = edge == 0 ? uint8_t(seed >> 24) : (x == w / 2 && y == h / 2) ? 0 : 255;
        }
    }
    return mask;
}

// A shadow of one colour is blurred from its alpha plane: the same bytes as stamping it into a
// four-byte image, colouring what shows and blurring all four channels; and every image a builder
// marks as one colour shows only that colour, for every quality and blur.
TEST(OneColourImages, ShadowEqualsTheFourChannelPathAndMarksHoldTheirPromise) {
    const std::vector<uint8_t> mask = BlobMask(23, 17, 7);
    const MaskView view{mask.data(), 23, 17};
    constexpr float kRatio = 0.05f;  // blurs of 3.8 and 51 pixels
    for (int32_t quality = 0; quality <= 3; ++quality) {
        for (int32_t blur : {0, 3, 40}) {
            const LayerSettings settings{1.0f, 1.0f, quality, 0};
            const MetaShadow shadow{1, 0, 0x00336699, 0x00336699, 0, 200, blur, 2.0f, 1.0f, 0};
            LayerImage img;
            ASSERT_EQ(BuildShadowLayer(&img, view, {}, {}, 0, 0, shadow, kRatio, settings), S_OK);
            const int32_t m = (img.width - view.width) / 2;
            std::vector<uint8_t> expected(size_t(img.width) * img.height * 4, 0);
            ASSERT_EQ(StampMaxAlpha(expected.data(), img.width, img.height, mask.data(), 23, 17, float(m), float(m), 200), S_OK);
            for (size_t i = 0; i < expected.size(); i += 4) {
                if (expected[i + 3] != 0) expected[i] = 0x33, expected[i + 1] = 0x66, expected[i + 2] = 0x99;  // B, G, R
            }
            if (blur > 0 && quality <= 1) {
                (void)GaussianBlur(expected.data(), img.width, img.height, float(StyleDistance(blur, kRatio, 1.0f)));
                ASSERT_EQ(0, std::memcmp(expected.data(), img.pixels.get(), expected.size())) << "quality " << quality
                                                                                               << " blur " << blur;
            }
            const MetaFace face{1, 0x00102030, 0x00102030, 0, 180, blur};
            const MetaBorder border{1, 2, 0x00405060, 0x00405060, 0, 255, blur};
            LayerImage faceImg, borderImg;
            ASSERT_EQ(BuildFaceLayer(&faceImg, view, 0, 0, face, kRatio, settings), S_OK);
            ASSERT_EQ(BuildBorderLayer(&borderImg, view, 0, 0, border, kRatio, settings), S_OK);
            for (const LayerImage* image : {&img, &faceImg, &borderImg}) {
                if (!image->oneColour) continue;
                for (int32_t i = 0; i < image->width * image->height; ++i) {
                    const uint8_t* p = image->pixels.get() + size_t(i) * 4;
                    uint32_t word;
                    std::memcpy(&word, p, 4);
                    if (p[3] != 0) {
                        ASSERT_EQ(word & 0x00FFFFFFu, image->colour) << "quality " << quality << " blur " << blur;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qel
