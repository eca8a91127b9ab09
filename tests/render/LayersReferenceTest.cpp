// Dilation and gradients against straightforward per-pixel formulations of the same rules, over
// many random masks, radii, sizes and colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "render/Gradient.h"
#include "render/Layers.h"
#include "render/OutlineKernel.h"

namespace qel {
namespace {

// Every source pixel v > 0 stamps min(k + v, 255) where that is larger, except an interior pixel
// whose four neighbours are each >= v, which only sets its own centre to 255.
std::vector<uint8_t> NaiveDilate(const std::vector<uint8_t>& src, int sw, int sh, const OutlineKernel& k) {
    const int e = k.halfW, f = k.halfH, dw = sw + 2 * e, dh = sh + 2 * f;
    std::vector<uint8_t> dst(size_t(dw) * dh, 0);
    auto at = [&](int x, int y) { return int(src[size_t(y) * sw + x]); };
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            const int v = at(x, y);
            if (v == 0) continue;
            const bool edge = x == 0 || y == 0 || x == sw - 1 || y == sh - 1;
            if (!edge && at(x - 1, y) >= v && at(x + 1, y) >= v && at(x, y - 1) >= v && at(x, y + 1) >= v) {
                dst[size_t(y + f) * dw + x + e] = 255;
                continue;
            }
            for (int j = 0; j < k.Rows(); ++j)
                for (int i = 0; i < k.Columns(); ++i) {
                    uint8_t& d = dst[size_t(y + j) * dw + x + i];
                    const int raised = k.cells[size_t(j) * k.Columns() + i] + v;
                    if (d != 255 && d < raised) d = uint8_t(std::min(raised, 255));
                }
        }
    return dst;
}

TEST(DilateMaskReference, MatchesPerPixelStampingOnRandomMasks) {
    std::mt19937 rng(7);
    const std::array<std::pair<float, float>, 5> radii{{{1.0f, 1.0f}, {1.5f, 2.25f}, {3.7f, 0.4f}, {0.2f, 5.0f}, {6.0f, 6.0f}}};
    for (const auto& [rx, ry] : radii) {
        OutlineKernelRef kernel;
        ASSERT_EQ(GetOutlineKernel(rx, ry, &kernel), S_OK);
        for (int trial = 0; trial < 6; ++trial) {
            const int sw = 1 + int(rng() % 40), sh = 1 + int(rng() % 30);
            std::vector<uint8_t> src(size_t(sw) * sh);
            for (uint8_t& v : src) v = rng() % 3 == 0 ? 0 : (rng() % 2 ? 255 : uint8_t(rng()));
            const int dw = sw + 2 * kernel->halfW, dh = sh + 2 * kernel->halfH;
            std::vector<uint8_t> got(size_t(dw) * dh, 0xAB);
            ASSERT_EQ(DilateMask(src.data(), sw, sh, sw, got.data(), dw, dh, dw, kernel->cells.get(),
                                 kernel->halfW, kernel->halfH),
                      S_OK);
            EXPECT_EQ(got, NaiveDilate(src, sw, sh, *kernel)) << rx << "," << ry << " " << sw << "x" << sh;
        }
    }
}

// The wide path (interior rows laid down as intervals) against plain stamping, bit for bit, up to
// the widest kernel plain stamping was ever used for; masks are small so that stamping a kernel
// of 256 stays quick. Destinations are full size or cut short, with guard bytes after each row.
TEST(DilateMaskReference, WidePathMatchesStampingBitForBit) {
    std::mt19937 rng(21);
    const std::array<std::pair<float, float>, 7> radii{
        {{1.5f, 1.5f}, {0.0f, 3.0f}, {24.0f, 24.0f}, {31.3f, 7.6f}, {5.0f, 60.2f}, {100.5f, 99.25f}, {256.0f, 256.0f}}};
    for (const auto& [rx, ry] : radii) {
        OutlineKernelRef k;
        ASSERT_EQ(GetOutlineKernel(rx, ry, &k), S_OK);
        const int trials = rx > 100 ? 3 : 12;
        for (int trial = 0; trial < trials; ++trial) {
            const int sw = 1 + int(rng() % 24), sh = 1 + int(rng() % 18);
            std::vector<uint8_t> src(size_t(sw) * sh);
            for (uint8_t& v : src) v = rng() % 3 == 0 ? 0 : (rng() % 2 ? 255 : uint8_t(rng()));
            const bool cut = trial % 3 == 2;
            const int dw = sw + 2 * k->halfW - (cut ? int(rng() % (k->halfW + 1)) : 0);
            const int dh = sh + 2 * k->halfH - (cut ? int(rng() % (k->halfH + 1)) : 0);
            const int stride = dw + 5;
            std::vector<uint8_t> wide(size_t(stride) * dh, 0xA5), plain(size_t(stride) * dh, 0xA5);
            ASSERT_EQ(DilateMaskWide(src.data(), sw, sh, sw, wide.data(), dw, dh, stride, k->cells.get(), k->halfW,
                                     k->halfH), S_OK);
            ASSERT_EQ(DilateMaskScalar(src.data(), sw, sh, sw, plain.data(), dw, dh, stride, k->cells.get(),
                                       k->halfW, k->halfH), S_OK);
            ASSERT_TRUE(wide == plain) << rx << "," << ry << " " << sw << "x" << sh << " into " << dw << "x" << dh;
        }
    }
}

// Quarter kernel from the ray distance to the ellipse, mirrored into four quadrants.
TEST(OutlineKernelReference, EveryCellFollowsTheRayDistance) {
    for (const auto& [rx, ry] : std::array<std::pair<float, float>, 4>{{{1.5f, 1.5f}, {2.3f, 4.9f}, {7.0f, 3.0f}, {0.6f, 0.6f}}}) {
        OutlineKernelRef k;
        ASSERT_EQ(GetOutlineKernel(rx, ry, &k), S_OK);
        const int e = int(std::ceil(rx)), f = int(std::ceil(ry));
        ASSERT_EQ(k->halfW, e);
        ASSERT_EQ(k->halfH, f);
        for (int j = -f; j <= f; ++j)
            for (int i = -e; i <= e; ++i) {
                const double a = std::abs(j), b = std::abs(i), d2 = a * a + b * b;
                int expected = 255;
                if (d2 > 0) {
                    const double g = double(rx) * ry * std::sqrt(d2 / (double(rx) * rx * a * a + double(ry) * ry * b * b)) - std::sqrt(d2);
                    expected = g > 1 ? 255 : g < -1 ? -255 : int(g * 255);
                }
                EXPECT_EQ(k->cells[size_t(j + f) * k->Columns() + (i + e)], expected) << rx << "," << ry << " " << i << "," << j;
            }
    }
}

// Columns first (top to bottom on each side), then each row from left to right, 12-bit steps.
std::vector<uint8_t> NaiveGradient(int w, int h, uint32_t c1, uint32_t c2, int type) {
    auto ch = [](uint32_t c, int b) { return int((c >> (16 - 8 * b)) & 0xFF); };
    std::vector<uint8_t> out(size_t(w) * h * 4, 0);
    for (int b = 0; b < 3; ++b) {
        const int a = ch(c1, b), z = ch(c2, b), avg = (a + z) >> 1;
        int tl, tr, bl, br;
        switch (type) {
            case 1: tl = a, tr = a, bl = z, br = z; break;
            case 2: tl = z, tr = a, bl = z, br = a; break;
            case 3: tl = a, tr = z, bl = a, br = z; break;
            case 4: tl = z, tr = avg, bl = avg, br = a; break;
            case 5: tl = avg, tr = z, bl = a, br = avg; break;
            case 6: tl = avg, tr = a, bl = z, br = avg; break;
            case 7: tl = a, tr = avg, bl = avg, br = z; break;
            default: tl = z, tr = z, bl = a, br = a; break;
        }
        auto run = [](int s, int t, int n, int k) {
            if (n == 1) return s;
            const int step = ((t - s) * 4096) / (n - 1);
            int sum = 0;
            for (int q = 0; q < k; ++q) sum += step;
            return s + (sum >> 12);
        };
        for (int y = 0; y < h; ++y) {
            const int left = run(tl, bl, h, y), right = run(tr, br, h, y);
            for (int x = 0; x < w; ++x) out[(size_t(y) * w + x) * 4 + b] = uint8_t(run(left, right, w, x));
        }
    }
    return out;
}

TEST(FillGradientReference, EveryTypeAndSizeMatchesRunningSums) {
    std::mt19937 rng(3);
    for (int type = -1; type <= 9; ++type)
        for (const auto& [w, h] : std::array<std::pair<int, int>, 5>{{{1, 1}, {1, 7}, {9, 1}, {13, 5}, {4, 31}}}) {
            const uint32_t c1 = rng() & 0xFFFFFF, c2 = rng() & 0xFFFFFF;
            std::vector<uint8_t> got(size_t(w) * h * 4, 0);
            ASSERT_EQ(FillGradient(got.data(), w, h, c1, c2, type), S_OK);
            EXPECT_EQ(got, NaiveGradient(w, h, c1, c2, type)) << type << " " << w << "x" << h;
        }
}

// The slab of an extruded shadow: stamps stepping one pixel at a time along the longer offset,
// starting one step away from the character, from the side of the image the slab starts on.
std::vector<uint8_t> NaiveSlabAlpha(const uint8_t* mask, int mw, int mh, float dx, float dy, int W, int H) {
    std::vector<uint8_t> alpha(size_t(W) * H, 0);
    auto stamp = [&](float x, float y) {
        const int left = int(x), top = int(y);
        for (int r = 0; r < mh; ++r)
            for (int c = 0; c < mw; ++c) {
                const int X = left + c, Y = top + r;
                if (X < 0 || Y < 0 || X >= W || Y >= H) continue;
                uint8_t& a = alpha[size_t(Y) * W + X];
                a = std::max<uint8_t>(a, uint8_t((256 * mask[r * mw + c]) >> 8));
            }
    };
    if (std::fabs(dy) < std::fabs(dx)) {
        if (dx >= 1)
            for (float i = 1; i <= dx; i += 1) {
                const float t = (1 / dx) * i * dy;
                stamp(i, t + (t < 0 ? float(H - mh) : 0.0f));
            }
        if (dx <= -1)
            for (float i = dx; i <= -1; i += 1) {
                const float t = (1 / dx) * i * dy;
                stamp(float(W + i - mw), t + (t < 0 ? float(H - mh) : 0.0f));
            }
    } else {
        if (dy >= 1)
            for (float j = 1; j <= dy; j += 1) {
                const float t = (1 / dy) * j * dx;
                stamp(t + (t < 0 ? float(W - mw) : 0.0f), j);
            }
        if (dy <= -1)
            for (float j = dy; j <= -1; j += 1) {
                const float t = (1 / dy) * j * dx;
                stamp(t + (t < 0 ? float(W - mw) : 0.0f), float(H + j - mh));
            }
    }
    return alpha;
}

TEST(ShadowLayerReference, ExtrudedSlabsFollowTheSteppingRule) {
    std::mt19937 rng(11);
    const uint8_t mask[6] = {255, 90, 0, 40, 255, 180};
    for (int trial = 0; trial < 200; ++trial) {
        const float dx = float(int(rng() % 241) - 120) / 10.0f, dy = float(int(rng() % 241) - 120) / 10.0f;
        if (dx == 0 && dy == 0) continue;
        const MetaShadow s{1, 0, 0x102030, 0x102030, 0, 255, 0, dx, dy, 1};
        LayerImage img;
        ASSERT_EQ(BuildShadowLayer(&img, {mask, 3, 2}, {}, {}, 4, 6, s, 1.0f, {}), S_OK);
        ASSERT_EQ(img.width, int(std::fabs(dx) + 3));
        ASSERT_EQ(img.height, int(std::fabs(dy) + 2));
        EXPECT_EQ(img.x, 4 + std::min(dx, 0.0f));
        EXPECT_EQ(img.y, 6 + std::min(dy, 0.0f));
        const std::vector<uint8_t> expected = NaiveSlabAlpha(mask, 3, 2, dx, dy, img.width, img.height);
        for (size_t p = 0; p < expected.size(); ++p) {
            ASSERT_EQ(img.pixels[p * 4 + 3], expected[p]) << dx << "," << dy << " pixel " << p;
            // One colour: exactly the pixels with alpha are coloured (0x102030 lands as 30 20 10).
            ASSERT_EQ(img.pixels[p * 4], expected[p] ? 0x10 : 0);
            ASSERT_EQ(img.pixels[p * 4 + 2], expected[p] ? 0x30 : 0);
        }
    }
}

}  // namespace
}  // namespace qel
