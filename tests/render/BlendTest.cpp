// The compositing primitives on single pixels with known answers, their rectangle forms at the
// frame's edges, and PlaceLayer against a direct per-pixel evaluation of its definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "render/Blend.h"

namespace qel {
namespace {

using Pixel = std::array<uint8_t, 4>;  // three colour bytes, then alpha

Pixel Grey(uint8_t c, uint8_t a) { return {c, c, c, a}; }

using OneImageOp = void (*)(uint8_t*, int32_t, int32_t, int32_t);
using TwoImageOp = void (*)(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t);

TEST(Premultiplication, SinglePixels) {
    struct Case {
        const char* what;
        OneImageOp op;
        Pixel in, out;
    };
    const Case cases[] = {
        {"premultiply keeps opaque", Premultiply, {100, 200, 255, 255}, {100, 200, 255, 255}},
        {"premultiply clears transparent", Premultiply, {100, 200, 255, 0}, {0, 0, 0, 0}},
        {"premultiply half", Premultiply, {255, 0, 100, 128}, {128, 0, 50, 128}},
        {"unpremultiply opaque 100", Unpremultiply, Grey(100, 255), Grey(99, 255)},
        {"unpremultiply opaque 255", Unpremultiply, Grey(255, 255), Grey(255, 255)},
        {"unpremultiply keeps transparent", Unpremultiply, {7, 8, 9, 0}, {7, 8, 9, 0}},
        {"unpremultiply colour equal to alpha", Unpremultiply, Grey(64, 64), Grey(255, 64)},
        {"unpremultiply zero stays zero", Unpremultiply, Grey(0, 64), Grey(0, 64)},
        {"unpremultiply saturates a colour above alpha", Unpremultiply, {255, 3, 2, 2}, {255, 255, 255, 2}},
    };
    for (const Case& c : cases) {
        Pixel p = c.in;
        c.op(p.data(), 1, 1, 4);
        EXPECT_EQ(c.out, p) << c.what;
    }
}

// The divisions of Unpremultiply and MergeFaceOverBorder, checked against true integer division
// for every alpha and every premultiplied colour.
TEST(Premultiplication, DivisionsAreExactForEveryAlpha) {
    for (int a = 1; a < 256; ++a) {
        for (int c = 0; c <= a; ++c) {
            Pixel p = Grey(static_cast<uint8_t>(c), static_cast<uint8_t>(a));
            Unpremultiply(p.data(), 1, 1, 4);
            ASSERT_EQ(std::max(0, c * 256 / a - 1), p[0]) << "c " << c << " a " << a;
        }
    }
    for (int fa = 1; fa < 255; fa += 3) {
        for (int ba = 1; ba < 256; ++ba) {
            const int u = std::min(255, fa + ba);
            for (int bc = 0; bc <= ba; ++bc) {
                Pixel b = Grey(static_cast<uint8_t>(bc), static_cast<uint8_t>(ba));
                const Pixel f = Grey(static_cast<uint8_t>(fa / 2), static_cast<uint8_t>(fa));
                MergeFaceOverBorder(b.data(), f.data(), 1, 1, 4);
                ASSERT_EQ((u * ((256 - fa) * bc / ba + fa / 2)) >> 8, b[0]) << fa << " " << ba << " " << bc;
            }
        }
    }
}

TEST(Blends, SinglePixels) {
    struct Case {
        const char* what;
        TwoImageOp op;
        Pixel dst, src, out;
    };
    const Case cases[] = {
        {"over opaque: half over 200", BlendOverOpaque, Grey(200, 255), Grey(100, 128), Grey(200, 255)},
        {"over opaque: transparent source", BlendOverOpaque, Grey(200, 17), {9, 9, 9, 0}, Grey(200, 17)},
        {"over opaque: opaque source", BlendOverOpaque, Grey(200, 255), {1, 2, 3, 255}, {1, 2, 3, 255}},
        {"over opaque: saturates", BlendOverOpaque, Grey(255, 255), Grey(200, 100), Grey(255, 255)},
        {"straight: black half over white", BlendStraightOpaque, Grey(255, 255), Grey(0, 128), Grey(127, 255)},
        {"straight: white half over black", BlendStraightOpaque, Grey(0, 255), Grey(255, 128), Grey(127, 255)},
        {"straight: opaque source", BlendStraightOpaque, Grey(0, 0), {10, 20, 30, 255}, {10, 20, 30, 255}},
        {"straight: transparent source", BlendStraightOpaque, Grey(50, 60), Grey(255, 0), Grey(50, 60)},
        {"keep alpha: into empty", BlendOverKeepAlpha, {0, 0, 0, 0}, Grey(30, 40), Grey(30, 40)},
        {"keep alpha: transparent source", BlendOverKeepAlpha, Grey(30, 40), Grey(0, 0), Grey(30, 40)},
        {"keep alpha: opaque source", BlendOverKeepAlpha, Grey(30, 40), {1, 2, 3, 255}, {1, 2, 3, 255}},
        // t = (127 * 155) >> 8 = 76; colour 64 + ((100 * 127) >> 8) = 113.
        {"keep alpha: half over partial", BlendOverKeepAlpha, Grey(100, 100), Grey(64, 128), Grey(113, 179)},
        {"merge: 100 over 200 adds to 255", MergeFaceOverBorder, Grey(200, 200), Grey(100, 100), Grey(255, 255)},
        {"merge: opaque face", MergeFaceOverBorder, Grey(200, 200), {1, 2, 3, 255}, {1, 2, 3, 255}},
        {"merge: empty border", MergeFaceOverBorder, {0, 0, 0, 0}, Grey(5, 6), Grey(5, 6)},
        {"merge: transparent face", MergeFaceOverBorder, Grey(50, 60), Grey(0, 0), Grey(50, 60)},
        // u = 150; (206 * 50) / 100 = 103; (150 * (103 + 20)) >> 8 = 72.
        {"merge: partial", MergeFaceOverBorder, Grey(50, 100), Grey(20, 50), Grey(72, 150)},
        {"merge: saturates colours above alpha", MergeFaceOverBorder, Grey(255, 10), Grey(255, 10), Grey(255, 20)},
    };
    for (const Case& c : cases) {
        Pixel d = c.dst;
        c.op(d.data(), c.src.data(), 1, 1, 4);
        EXPECT_EQ(c.out, d) << c.what;
    }
}

// The rectangle forms touch exactly the pixels of the rectangle that lie inside the frame.
TEST(Blends, RectangleFormsClipToTheFrame) {
    constexpr int32_t kW = 7, kH = 5;
    const RECT rects[] = {{2, 1, 5, 4}, {-3, -2, 2, 2}, {5, 3, 12, 9}, {-10, -10, 20, 20}, {3, 3, 3, 4}, {8, 0, 9, 5}};
    for (const RECT& r : rects) {
        std::vector<uint8_t> src(kW * kH * 4), dst(kW * kH * 4, 0);
        for (size_t i = 0; i < src.size(); i += 4) src[i] = 10, src[i + 1] = 20, src[i + 2] = 30, src[i + 3] = 255;
        BlendOverOpaque(dst.data(), src.data(), kW, kH, r);
        for (int32_t y = 0; y < kH; ++y) {
            for (int32_t x = 0; x < kW; ++x) {
                const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                ASSERT_EQ(inside ? 255 : 0, dst[(y * kW + x) * 4 + 3])
                    << "rect " << r.left << "," << r.top << "," << r.right << "," << r.bottom << " at " << x << "," << y;
            }
        }
        Premultiply(nullptr, kW, kH, r);
        Unpremultiply(dst.data(), 0, kH, r);  // an empty frame holds no rectangle
    }
}

// The merge tests four pixels at a time for empty runs: rows of every width 1..67, with empty,
// face-only, border-only and mixed pixels, must equal the same pixels merged one at a time (a width
// of 1 takes only the per-pixel rule).
TEST(Blends, MergeRunsEqualPixelByPixel) {
    std::mt19937 rng(5);
    for (int32_t width = 1; width <= 67; ++width) {
        for (int round = 0; round < 8; ++round) {
            std::vector<uint8_t> face(size_t(width) * 4 + 8), border(face.size());
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t kind = rng() % 5;  // 0, 1: empty; 2: face only; 3: border only; 4: both
                for (auto [layer, shows] : {std::pair{&face, kind == 2 || kind == 4}, std::pair{&border, kind >= 3}}) {
                    const uint8_t a = shows ? uint8_t(rng() % 256) : 0;
                    uint8_t* p = &(*layer)[size_t(x) * 4];
                    for (int c = 0; c < 3; ++c) p[c] = a ? uint8_t(rng() % (a + 1)) : uint8_t(round == 7 ? rng() % 4 : 0);
                    p[3] = a;
                }
            }
            std::vector<uint8_t> whole = border, single = border;
            MergeFaceOverBorder(whole.data(), face.data(), width, 1, width * 4);
            for (int32_t x = 0; x < width; ++x)
                MergeFaceOverBorder(&single[size_t(x) * 4], &face[size_t(x) * 4], 1, 1, 4);
            ASSERT_EQ(whole, single) << "width " << width << " round " << round;
        }
    }
}

// ----------------------------------------------------------------------------------------------
// PlaceLayer

struct Image {
    int32_t width, height;
    std::vector<uint8_t> pixels;
    const uint8_t* At(int32_t x, int32_t y) const {
        static const uint8_t kClear[4] = {0, 0, 0, 0};
        if (x < 0 || y < 0 || x >= width || y >= height) return kClear;
        return pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
    }
};

// PlaceLayer's definition evaluated pixel by pixel, without row buffers or kernels.
void PlaceDirect(std::vector<uint8_t>& layer, int32_t lw, int32_t lh, const RECT& clip, const Image& img, float x,
                 float y, uint8_t opacity) {
    const int32_t ix = static_cast<int32_t>(x) - (x < 0 && x != std::trunc(x) ? 1 : 0);
    const int32_t iy = static_cast<int32_t>(y) - (y < 0 && y != std::trunc(y) ? 1 : 0);
    const float fx = x - ix, fy = y - iy;
    const uint32_t w[4] = {static_cast<uint32_t>(fx * fy * 65536.0f), static_cast<uint32_t>((1 - fx) * fy * 65536.0f),
                           static_cast<uint32_t>(fx * (1 - fy) * 65536.0f),
                           static_cast<uint32_t>((1 - fx) * (1 - fy) * 65536.0f)};
    const int32_t left = std::max({ix, clip.left, 0}), top = std::max({iy, clip.top, 0});
    const int32_t right = std::min({ix + img.width + (fx != 0), clip.right, lw});
    const int32_t bottom = std::min({iy + img.height + (fy != 0), clip.bottom, lh});
    for (int32_t Y = top; Y < bottom; ++Y) {
        for (int32_t X = left; X < right; ++X) {
            const int32_t sx = X - ix, sy = Y - iy;
            const uint8_t* s[4] = {img.At(sx - 1, sy - 1), img.At(sx, sy - 1), img.At(sx - 1, sy), img.At(sx, sy)};
            uint32_t a = 0;
            for (int k = 0; k < 4; ++k) a += s[k][3] * w[k];
            a = ((a >> 16) * (opacity + 1u)) >> 8;
            if (a == 0) continue;
            uint32_t p[3] = {0, 0, 0}, n = 0;
            for (const uint8_t* q : s) {
                if (q[3] == 0) continue;
                ++n;
                for (int c = 0; c < 3; ++c) p[c] += q[c];
            }
            for (int c = 0; c < 3; ++c) p[c] = ((n == 4 ? p[c] >> 2 : p[c] / n) * (a + 1)) >> 8;
            uint8_t* d = layer.data() + (static_cast<size_t>(Y) * lw + X) * 4;
            if (a != 255 && d[3] != 0) {
                const uint32_t t = ((255u - d[3]) * (256 - a)) >> 8;
                d[3] = static_cast<uint8_t>(255 - t);
                if (t != 255)
                    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(std::min(255u, p[c] + ((d[c] * (256 - a)) >> 8)));
            } else {
                for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(p[c]);
                d[3] = static_cast<uint8_t>(a);
            }
        }
    }
}

Image RandomImage(std::mt19937& rng, int32_t w, int32_t h) {
    Image img{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    std::uniform_int_distribution<int> byte(0, 255), pick(0, 3);
    for (size_t i = 0; i < img.pixels.size(); i += 4) {
        const int kind = pick(rng);
        const uint8_t a = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<uint8_t>(byte(rng));
        for (int c = 0; c < 3; ++c) img.pixels[i + c] = static_cast<uint8_t>(byte(rng));
        img.pixels[i + 3] = a;
    }
    return img;
}

TEST(PlaceLayer, MatchesItsDefinitionAtManyPositions) {
    std::mt19937 rng(7);
    constexpr int32_t kLw = 40, kLh = 30;
    const float positions[][2] = {{3, 4},     {-2, -3},    {0.5f, 0.5f}, {-1.25f, 2.75f}, {37.5f, 28.1f},
                                  {10.3f, -4.6f}, {-20, -20}, {39.99f, 0},  {5.0001f, 6.9999f}};
    const RECT clips[] = {{0, 0, kLw, kLh}, {5, 3, 20, 25}, {-5, -5, 100, 100}};
    for (const auto& pos : positions) {
        for (const RECT& clip : clips) {
            for (int32_t size : {1, 3, 11, 37}) {
                const Image img = RandomImage(rng, size, size / 2 + 1);
                Image base = RandomImage(rng, kLw, kLh);
                std::vector<uint8_t> expected = base.pixels, actual = base.pixels;
                const uint8_t opacity = static_cast<uint8_t>(size * 7 % 255 + 1);
                PlaceDirect(expected, kLw, kLh, clip, img, pos[0], pos[1], opacity);
                EXPECT_EQ(S_OK, PlaceLayer(actual.data(), kLw, kLh, clip, img.pixels.data(), img.width, img.height,
                                        pos[0], pos[1], opacity));
                ASSERT_EQ(expected, actual) << "at " << pos[0] << "," << pos[1] << " size " << size << " clip "
                                            << clip.left << "," << clip.top;
            }
        }
    }
}

// A layer that covers only a window of the frame (its first pixel at an origin) must receive
// exactly that window of a placement into a frame-sized layer, and nothing outside it.
TEST(PlaceLayer, WindowLayerMatchesTheFrameSizedLayer) {
    std::mt19937 rng(11);
    constexpr int32_t kFw = 48, kFh = 36;
    const RECT windows[] = {{0, 0, kFw, kFh}, {7, 5, 30, 21}, {1, 33, 47, 36}, {20, 0, 21, 36}};
    const float positions[][2] = {{6.5f, 4.25f}, {-3.75f, 30.5f}, {25, 10}, {19.9f, -1.1f}, {44.01f, 33.99f}};
    for (const RECT& w : windows) {
        const int32_t ww = w.right - w.left, wh = w.bottom - w.top;
        for (const auto& pos : positions) {
            for (const RECT& clip : {RECT{0, 0, kFw, kFh}, RECT{10, 8, 26, 30}}) {
                const Image img = RandomImage(rng, 9, 7);
                Image base = RandomImage(rng, kFw, kFh);
                std::vector<uint8_t> frame = base.pixels;
                std::vector<uint8_t> window(size_t(ww) * wh * 4);
                for (int32_t y = 0; y < wh; ++y)
                    std::copy_n(&frame[(size_t(w.top + y) * kFw + w.left) * 4], size_t(ww) * 4, &window[size_t(y) * ww * 4]);
                ASSERT_EQ(S_OK, PlaceLayer(frame.data(), kFw, kFh, clip, img.pixels.data(), 9, 7, pos[0], pos[1], 201));
                ASSERT_EQ(S_OK, PlaceLayer(window.data(), w.left, w.top, ww, wh, clip, img.pixels.data(), 9, 7, pos[0],
                                        pos[1], 201));
                for (int32_t y = 0; y < wh; ++y)
                    ASSERT_TRUE(std::equal(&window[size_t(y) * ww * 4], &window[size_t(y + 1) * ww * 4],
                                           &frame[(size_t(w.top + y) * kFw + w.left) * 4]))
                        << "window " << w.left << "," << w.top << " row " << y << " at " << pos[0] << "," << pos[1];
            }
        }
    }
}

// How many layer pixels a placement touches, and where.
RECT TouchedBox(const std::vector<uint8_t>& layer, int32_t lw, int32_t lh, int* count) {
    RECT box{lw, lh, 0, 0};
    *count = 0;
    for (int32_t y = 0; y < lh; ++y)
        for (int32_t x = 0; x < lw; ++x)
            if (layer[(static_cast<size_t>(y) * lw + x) * 4 + 3] != 0) {
                ++*count;
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
            }
    return box;
}

TEST(PlaceLayer, WholeAndHalfPositions) {
    constexpr int32_t kLw = 20, kLh = 20;
    const RECT all{0, 0, kLw, kLh};
    Image img{4, 3, std::vector<uint8_t>(4 * 3 * 4)};
    for (size_t i = 0; i < img.pixels.size(); i += 4) img.pixels[i] = 200, img.pixels[i + 3] = 200;
    struct Case {
        float x, y;
        RECT box;
    };
    const Case cases[] = {
        {5, 6, {5, 6, 9, 9}},          // whole: width x height pixels, no shift
        {-2, -1, {0, 0, 2, 2}},        // negative whole: no extra column, cut by the layer
        {5.5f, 6, {5, 6, 10, 9}},      // one column wider
        {5, 6.5f, {5, 6, 9, 10}},      // one row taller
        {-0.5f, -0.5f, {0, 0, 4, 3}},  // floor(-0.5) = -1
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> layer(kLw * kLh * 4, 0);
        EXPECT_EQ(S_OK,
                  PlaceLayer(layer.data(), kLw, kLh, all, img.pixels.data(), img.width, img.height, c.x, c.y, 255));
        int touched = 0;
        const RECT box = TouchedBox(layer, kLw, kLh, &touched);
        EXPECT_EQ(c.box.left, box.left) << c.x << "," << c.y;
        EXPECT_EQ(c.box.top, box.top) << c.x << "," << c.y;
        EXPECT_EQ(c.box.right, box.right) << c.x << "," << c.y;
        EXPECT_EQ(c.box.bottom, box.bottom) << c.x << "," << c.y;
        EXPECT_EQ((c.box.right - c.box.left) * (c.box.bottom - c.box.top), touched) << c.x << "," << c.y;
    }

    // At a whole position each pixel takes (alpha (opacity + 1)) >> 8 of the pixel under it, and
    // its colour premultiplied by that alpha.
    std::vector<uint8_t> layer(kLw * kLh * 4, 0);
    ASSERT_EQ(S_OK, PlaceLayer(layer.data(), kLw, kLh, all, img.pixels.data(), img.width, img.height, 2, 2, 127));
    const uint8_t* p = layer.data() + (3 * kLw + 3) * 4;
    EXPECT_EQ((200 * 128) >> 8, p[3]);
    EXPECT_EQ((200 * ((200 * 128 >> 8) + 1)) >> 8, p[0]);
}

TEST(PlaceLayer, RefusesWhatItCannotDraw) {
    std::vector<uint8_t> layer(16 * 16 * 4, 0);
    const std::vector<uint8_t> empty = layer;
    const std::vector<uint8_t> img(4 * 4 * 4, 255);
    const RECT all{0, 0, 16, 16};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(E_INVALIDARG, PlaceLayer(nullptr, 16, 16, all, img.data(), 4, 4, 1, 1, 255));
    EXPECT_EQ(E_INVALIDARG, PlaceLayer(layer.data(), 16, 16, all, nullptr, 4, 4, 1, 1, 255));
    EXPECT_EQ(E_INVALIDARG, PlaceLayer(layer.data(), 0, 16, all, img.data(), 4, 4, 1, 1, 255));
    EXPECT_EQ(E_INVALIDARG, PlaceLayer(layer.data(), 16, 16, all, img.data(), 4, -1, 1, 1, 255));
    EXPECT_EQ(S_OK, PlaceLayer(layer.data(), 16, 16, all, img.data(), 4, 4, 1, 1, 0));  // draws nothing
    EXPECT_EQ(E_INVALIDARG, PlaceLayer(layer.data(), 16, 16, all, img.data(), 4, 4, nan, 1, 255));
    EXPECT_EQ(S_OK, PlaceLayer(layer.data(), 16, 16, all, img.data(), 4, 4, 3e9f, -3e9f, 255));
    EXPECT_EQ(S_OK, PlaceLayer(layer.data(), 16, 16, RECT{8, 8, 4, 4}, img.data(), 4, 4, 6, 6, 255));
    EXPECT_EQ(empty, layer);
}

}  // namespace
}  // namespace qel
