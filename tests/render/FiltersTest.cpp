// The filters against direct evaluations of their windows, on known single pixels and on the
// images every filter must leave alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "render/Filters.h"

namespace qel {
namespace {

struct Image {
    int32_t width, height;
    std::vector<uint8_t> pixels;
    uint8_t* At(int32_t x, int32_t y) { return pixels.data() + (static_cast<size_t>(y) * width + x) * 4; }
    const uint8_t* At(int32_t x, int32_t y) const {
        return pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
    }
};

Image Filled(int32_t w, int32_t h, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    Image img{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (size_t i = 0; i < img.pixels.size(); i += 4)
        img.pixels[i] = b, img.pixels[i + 1] = g, img.pixels[i + 2] = r, img.pixels[i + 3] = a;
    return img;
}

// Shapes with soft edges and holes, and colour left in transparent pixels, which must not leak.
Image RandomImage(std::mt19937& rng, int32_t w, int32_t h) {
    Image img{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 4);
    for (size_t i = 0; i < img.pixels.size(); i += 4) {
        const int kind = pick(rng);
        for (int c = 0; c < 3; ++c) img.pixels[i + c] = static_cast<uint8_t>(byte(rng));
        img.pixels[i + 3] = kind < 2 ? 0 : kind == 2 ? 255 : static_cast<uint8_t>(byte(rng));
    }
    return img;
}

// The box blur by summing every window directly.
Image BoxDirect(const Image& in, int32_t b) {
    Image out{in.width, in.height, std::vector<uint8_t>(in.pixels.size())};
    for (int32_t y = 0; y < in.height; ++y) {
        for (int32_t x = 0; x < in.width; ++x) {
            uint32_t c[3] = {0, 0, 0}, alpha = 0, area = 0, showing = 0;
            for (int32_t v = std::max(0, y - b); v <= std::min(in.height - 1, y + b); ++v) {
                for (int32_t u = std::max(0, x - b); u <= std::min(in.width - 1, x + b); ++u) {
                    const uint8_t* p = in.At(u, v);
                    ++area;
                    alpha += p[3];
                    if (p[3] == 0) continue;
                    ++showing;
                    for (int k = 0; k < 3; ++k) c[k] += p[k];
                }
            }
            uint8_t* o = out.At(x, y);
            if (showing == 0) continue;
            for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>(c[k] / showing);
            o[3] = static_cast<uint8_t>(alpha / area);
        }
    }
    return out;
}

// The Gaussian blur as two plain passes over whole images.
Image GaussDirect(const Image& in, float radius) {
    int32_t n = static_cast<int32_t>(std::ceil(radius));
    const int32_t shorter = std::min(in.width, in.height);
    if (shorter < 2 * n + 1) n = (shorter - 1) / 2;
    const double sigma = std::sqrt((radius + 1.0) * (radius + 1.0) * 0.12146653);
    const double w0 = 1.0 / (sigma * std::sqrt(2 * std::numbers::pi));
    std::vector<double> f(n + 1);
    double s = 0;
    for (int32_t i = 0; i <= n; ++i) {
        f[i] = w0 * std::exp(-double(i) * i / (2 * sigma * sigma));
        s += i ? 2 * f[i] : f[i];
    }
    std::vector<uint32_t> g(2 * n + 1);
    uint32_t total = 0;
    for (int32_t i = -n; i <= n; ++i) total += g[i + n] = static_cast<uint32_t>(f[std::abs(i)] / s * 32768 + 0.5);
    auto pass = [&](const Image& src, int dx, int dy) {
        Image out{src.width, src.height, std::vector<uint8_t>(src.pixels.size())};
        for (int32_t y = 0; y < src.height; ++y) {
            for (int32_t x = 0; x < src.width; ++x) {
                uint32_t c[3] = {0, 0, 0}, alpha = 0, wc = 0;
                for (int32_t i = -n; i <= n; ++i) {
                    const int32_t u = x + i * dx, v = y + i * dy;
                    if (u < 0 || v < 0 || u >= src.width || v >= src.height) continue;
                    const uint8_t* p = src.At(u, v);
                    if (p[3] == 0) continue;
                    wc += g[i + n];
                    alpha += g[i + n] * p[3];
                    for (int k = 0; k < 3; ++k) c[k] += g[i + n] * p[k];
                }
                if (wc < 1) continue;
                uint8_t* o = out.At(x, y);
                for (int k = 0; k < 3; ++k) o[k] = static_cast<uint8_t>(c[k] / wc);
                o[3] = static_cast<uint8_t>(alpha / total);
            }
        }
        return out;
    };
    return pass(pass(in, 1, 0), 0, 1);
}

TEST(BoxBlur, MatchesDirectWindowSums) {
    std::mt19937 rng(5);
    const int32_t sizes[][2] = {{1, 1}, {2, 7}, {7, 2}, {5, 5}, {13, 9}, {40, 23}, {3, 64}};
    for (const auto& size : sizes) {
        for (int32_t radius : {1, 2, 3, 6}) {
            const Image src = RandomImage(rng, size[0], size[1]);
            int32_t b = radius;
            if (std::min(size[0], size[1]) < 2 * b + 1) b = (std::min(size[0], size[1]) - 1) / 2;
            const Image expected = BoxDirect(src, b);

            Image copy{src.width, src.height, std::vector<uint8_t>(src.pixels.size(), 0xCD)};
            EXPECT_EQ(S_OK, BoxBlurCopy(copy.pixels.data(), src.pixels.data(), src.width, src.height, src.width * 4,
                                     src.width * 4, radius));
            EXPECT_EQ(expected.pixels, copy.pixels) << size[0] << "x" << size[1] << " radius " << radius;

            if (src.width >= radius && src.height >= radius) {
                Image inPlace = src;
                EXPECT_EQ(S_OK,
                          BoxBlur(inPlace.pixels.data(), src.width, src.height, static_cast<float>(radius) - 0.5f));
                EXPECT_EQ(expected.pixels, inPlace.pixels) << size[0] << "x" << size[1] << " radius " << radius;
            }
        }
    }
}

TEST(BoxBlur, CopyHandlesStridesAndSharedMemory) {
    std::mt19937 rng(8);
    const Image src = RandomImage(rng, 9, 7);
    const Image expected = BoxDirect(src, 2);

    // Rows with padding on both sides; the padding is never written.
    const int32_t srcStride = 9 * 4 + 12, dstStride = 9 * 4 + 8;
    std::vector<uint8_t> paddedSrc(static_cast<size_t>(srcStride) * 7, 0x11), dst(static_cast<size_t>(dstStride) * 7, 0x22);
    for (int32_t y = 0; y < 7; ++y) std::copy_n(src.At(0, y), 9 * 4, paddedSrc.data() + y * srcStride);
    ASSERT_EQ(S_OK, BoxBlurCopy(dst.data(), paddedSrc.data(), 9, 7, dstStride, srcStride, 2));
    for (int32_t y = 0; y < 7; ++y) {
        EXPECT_TRUE(std::equal(expected.At(0, y), expected.At(0, y) + 9 * 4, dst.data() + y * dstStride)) << y;
        EXPECT_TRUE(std::all_of(dst.data() + y * dstStride + 9 * 4, dst.data() + (y + 1) * dstStride,
                                [](uint8_t v) { return v == 0x22; }));
    }

    // The same memory as source and destination blurs as if from a copy.
    Image same = src;
    ASSERT_EQ(S_OK, BoxBlurCopy(same.pixels.data(), same.pixels.data(), 9, 7, 36, 36, 2));
    EXPECT_EQ(expected.pixels, same.pixels);
}

TEST(BoxBlur, SinglePixelSpreadsToANinth) {
    Image img = Filled(9, 9, 0, 0, 0, 0);
    std::fill_n(img.At(4, 4), 4, 255);
    ASSERT_EQ(S_OK, BoxBlur(img.pixels.data(), 9, 9, 1.0f));
    for (int32_t y = 0; y < 9; ++y) {
        for (int32_t x = 0; x < 9; ++x) {
            const bool near = std::abs(x - 4) <= 1 && std::abs(y - 4) <= 1;
            const uint8_t* p = img.At(x, y);
            EXPECT_EQ(near ? 28 : 0, p[3]) << x << "," << y;
            EXPECT_EQ(near ? 255 : 0, p[0]) << x << "," << y;
        }
    }
}

TEST(GaussianBlur, MatchesTwoPlainPasses) {
    std::mt19937 rng(11);
    const int32_t sizes[][2] = {{1, 1}, {2, 2}, {3, 8}, {8, 3}, {16, 16}, {37, 21}};
    for (const auto& size : sizes) {
        for (float radius : {0.4f, 1.0f, 1.2f, 2.5f, 3.0f, 7.0f}) {
            if (size[0] < radius || size[1] < radius) continue;
            Image img = RandomImage(rng, size[0], size[1]);
            const Image expected = GaussDirect(img, radius);
            ASSERT_EQ(S_OK, GaussianBlur(img.pixels.data(), img.width, img.height, radius));
            EXPECT_EQ(expected.pixels, img.pixels) << size[0] << "x" << size[1] << " radius " << radius;
        }
    }
}

// Radius 1.2 reaches two pixels (five taps): a lone pixel spreads to a 5 x 5 square.
TEST(GaussianBlur, RadiusOnePointTwoUsesFiveTaps) {
    Image img = Filled(11, 11, 0, 0, 0, 0);
    std::fill_n(img.At(5, 5), 4, 255);
    ASSERT_EQ(S_OK, GaussianBlur(img.pixels.data(), 11, 11, 1.2f));
    EXPECT_GT(img.At(7, 5)[3], 0);
    EXPECT_GT(img.At(5, 3)[3], 0);
    EXPECT_EQ(0, img.At(8, 5)[3]);
    EXPECT_EQ(0, img.At(5, 2)[3]);
    EXPECT_EQ(255, img.At(7, 7)[1]);  // the colour of the only showing pixel, undimmed
}

// Beyond the taps' radius the blur runs on box passes; close to the bound both apply, and the
// running sums must stay close to the taps on a glyph-like shape (a solid disc of one colour,
// which keeps its colour) and keep its ink. Tolerances: 6 alpha levels of 255 against the taps;
// 3 % of the disc's ink (the taps themselves lose more than that to truncation at radius 250).
TEST(GaussianBlur, RunningSumsFollowTheTapsForWideRadii) {
    for (float radius : {30.0f, 120.0f, 250.0f}) {
        const int32_t m = static_cast<int32_t>(std::ceil(radius)), side = 2 * m + 61;
        Image taps = Filled(side, side, 0, 0, 0, 0);
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x)
                if ((x - side / 2) * (x - side / 2) + (y - side / 2) * (y - side / 2) <= 30 * 30) {
                    uint8_t* p = taps.At(x, y);
                    p[0] = 40, p[1] = 90, p[2] = 200, p[3] = 255;
                }
        Image running = taps;
        int64_t inkDisc = 0;
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x) inkDisc += taps.At(x, y)[3];
        ASSERT_EQ(S_OK, GaussianBlur(taps.pixels.data(), side, side, radius));
        ASSERT_EQ(S_OK, GaussianBlurRunning(running.pixels.data(), side, side, radius));
        int worst = 0;
        int64_t inkRunning = 0;
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x) {
                worst = std::max(worst, std::abs(int(taps.At(x, y)[3]) - int(running.At(x, y)[3])));
                inkRunning += running.At(x, y)[3];
                if (running.At(x, y)[3] != 0) {
                    ASSERT_EQ(running.At(x, y)[2], 200) << x << "," << y;
                }
            }
        EXPECT_LE(worst, 6) << "radius " << radius;
        EXPECT_NEAR(double(inkRunning), double(inkDisc), 0.03 * double(inkDisc)) << "radius " << radius;
    }
}

TEST(Filters, LeaveTransparentAndSolidImagesAlone) {
    struct Filter {
        const char* name;
        HRESULT (*run)(Image&);
        bool edgesKeepAlpha;
    };
    const Filter filters[] = {
        {"gaussian", [](Image& i) { return GaussianBlur(i.pixels.data(), i.width, i.height, 3.0f); }, false},
        {"box", [](Image& i) { return BoxBlur(i.pixels.data(), i.width, i.height, 3.0f); }, true},
        {"smooth", [](Image& i) { return SmoothVertical(i.pixels.data(), i.width, i.height, i.width * 4); }, true},
    };
    for (const Filter& f : filters) {
        Image clear = Filled(12, 10, 0, 0, 0, 0);
        EXPECT_EQ(S_OK, f.run(clear)) << f.name;
        EXPECT_EQ(Filled(12, 10, 0, 0, 0, 0).pixels, clear.pixels) << f.name;

        Image solid = Filled(12, 10, 10, 120, 230, 255);
        EXPECT_EQ(S_OK, f.run(solid)) << f.name;
        bool edgeDimmed = false;
        for (int32_t y = 0; y < 10; ++y) {
            for (int32_t x = 0; x < 12; ++x) {
                const uint8_t* p = solid.At(x, y);
                ASSERT_EQ(10, p[0]) << f.name << " " << x << "," << y;
                ASSERT_EQ(120, p[1]) << f.name;
                ASSERT_EQ(230, p[2]) << f.name;
                const bool interior = x >= 3 && x < 9 && y >= 3 && y < 7;
                if (interior || f.edgesKeepAlpha) {
                    EXPECT_EQ(255, p[3]) << f.name << " " << x << "," << y;
                }
                edgeDimmed |= p[3] < 255;
            }
        }
        EXPECT_EQ(!f.edgesKeepAlpha, edgeDimmed) << f.name;
    }
}

TEST(Filters, ResultsForArgumentsTheyCannotUse) {
    Image img = Filled(4, 4, 1, 2, 3, 4);
    const Image original = img;
    uint8_t* p = img.pixels.data();
    EXPECT_EQ(S_OK, GaussianBlur(p, 4, 4, 0.0f));
    EXPECT_EQ(S_OK, BoxBlur(p, 4, 4, -2.0f));
    EXPECT_EQ(E_INVALIDARG, GaussianBlur(p, 4, 4, 4.5f));  // larger than the image
    EXPECT_EQ(E_INVALIDARG, BoxBlur(p, 4, 3, 3.5f));
    EXPECT_EQ(E_INVALIDARG, GaussianBlur(nullptr, 4, 4, 1.0f));
    EXPECT_EQ(E_INVALIDARG, BoxBlur(p, 0, 4, 1.0f));
    EXPECT_EQ(E_INVALIDARG, BoxBlurCopy(p, original.pixels.data(), 4, 4, 16, 16, 0));
    EXPECT_EQ(E_INVALIDARG, BoxBlurCopy(p, nullptr, 4, 4, 16, 16, 1));
    EXPECT_EQ(E_INVALIDARG, BoxBlurCopy(p, original.pixels.data(), 4, 4, 8, 16, 1));  // rows would overlap
    EXPECT_EQ(E_INVALIDARG, SmoothVertical(nullptr, 4, 4, 16));
    EXPECT_EQ(original.pixels, img.pixels);
}

TEST(SmoothVertical, ThreeRowsAndShortImages) {
    // Top row opaque, the rest transparent: alphas 255/2, 255/3, 0; the middle takes the top colour.
    Image three = Filled(2, 3, 0, 0, 0, 0);
    for (int32_t x = 0; x < 2; ++x) std::copy_n(std::vector<uint8_t>{30, 60, 90, 255}.data(), 4, three.At(x, 0));
    ASSERT_EQ(S_OK, SmoothVertical(three.pixels.data(), 2, 3, 8));
    EXPECT_EQ((std::vector<uint8_t>{30, 60, 90, 127}), std::vector<uint8_t>(three.At(0, 0), three.At(0, 0) + 4));
    EXPECT_EQ((std::vector<uint8_t>{30, 60, 90, 85}), std::vector<uint8_t>(three.At(1, 1), three.At(1, 1) + 4));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), std::vector<uint8_t>(three.At(0, 2), three.At(0, 2) + 4));

    // One row keeps its alpha; two rows average each pair over two.
    Image one = Filled(3, 1, 5, 6, 7, 200);
    one.At(2, 0)[3] = 0;
    ASSERT_EQ(S_OK, SmoothVertical(one.pixels.data(), 3, 1, 12));
    EXPECT_EQ((std::vector<uint8_t>{5, 6, 7, 200, 5, 6, 7, 200, 0, 0, 0, 0}), one.pixels);
    Image two = Filled(1, 2, 100, 100, 100, 255);
    two.At(0, 1)[0] = 50, two.At(0, 1)[3] = 100;
    ASSERT_EQ(S_OK, SmoothVertical(two.pixels.data(), 1, 2, 4));
    EXPECT_EQ((std::vector<uint8_t>{75, 100, 100, 177, 75, 100, 100, 177}), two.pixels);
}

TEST(SmoothVertical, RectangleFormStaysInsideTheRectangle) {
    Image frame = Filled(6, 6, 0, 0, 0, 0);
    for (int32_t x = 0; x < 6; ++x) frame.At(x, 0)[3] = 255, frame.At(x, 0)[0] = 9;
    Image expected = frame;
    // Rows 0..2 of columns 2..3 become 127, 85, 0; the rest of the frame is untouched, and the part
    // of the rectangle outside the frame is ignored.
    for (int32_t x = 2; x < 4; ++x) expected.At(x, 0)[3] = 127, expected.At(x, 1)[3] = 85, expected.At(x, 1)[0] = 9;
    ASSERT_EQ(S_OK, SmoothVertical(frame.pixels.data(), 6, 6, RECT{2, -4, 4, 3}));
    EXPECT_EQ(expected.pixels, frame.pixels);
    EXPECT_EQ(S_OK, SmoothVertical(frame.pixels.data(), 6, 6, RECT{7, 0, 9, 3}));
    EXPECT_EQ(expected.pixels, frame.pixels);
}

TEST(RgbToYcc, LimitsOfTheRange) {
    struct Case {
        int r, g, b, y, cb, cr;
    };
    const Case cases[] = {{255, 255, 255, 235, 128, 128}, {0, 0, 0, 16, 128, 128}, {255, 0, 0, 82, 90, 240},
                          {0, 0, 255, 41, 240, 110}};
    for (const Case& c : cases) {
        int y = -1, cb = -1, cr = -1;
        RgbToYcc(c.r, c.g, c.b, &y, &cb, &cr);
        EXPECT_EQ(c.y, y) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(c.cb, cb) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(c.cr, cr) << c.r << "," << c.g << "," << c.b;
    }
}

}  // namespace
}  // namespace qel
