#include <gtest/gtest.h>

#include <cstdlib>
#include <array>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "render/Filters.h"
#include "render3d/SoftwareDevice3D.h"

namespace qel {
namespace {

// A device drawing into w x h pixels where eye (x, y) lands on pixel (x, y) and depth is 5.
struct Canvas {
    SoftwareDevice3D d;
    std::vector<uint32_t> px;
    int32_t w, h;

    Canvas(int32_t width, int32_t height, bool perspective = false) : px(size_t(width * height)), w(width), h(height) {
        d.Viewport(0, 0, w, h);
        d.SetColorBuffer(reinterpret_cast<uint8_t*>(px.data()));
        d.MatrixMode(DEV_PROJECTION);
        if (perspective) {
            d.Frustum(-1, 1, -1, 1, 1, 10);
        } else {
            d.Ortho(0, w, h, 0, 1, 10);
        }
        d.MatrixMode(DEV_MODELVIEW);
        if (!perspective) d.Translated(0, 0, -5);
    }
    void Triangle(std::initializer_list<std::array<float, 5>> vertices) {  // x, y, z, s, t
        d.Begin(DEV_TRIANGLES);
        for (const auto& v : vertices) {
            d.TexCoord2d(v[3], v[4]);
            d.Vertex3fv(v.data());
        }
        d.End();
    }
    void Quad(float s1, float t1) {
        Triangle({{0, 0, 0, 0, 0}, {float(w), 0, 0, s1, 0}, {float(w), float(h), 0, s1, t1}});
        Triangle({{float(w), float(h), 0, s1, t1}, {0, float(h), 0, 0, t1}, {0, 0, 0, 0, 0}});
    }
    uint32_t At(int32_t x, int32_t y) const { return px[size_t(y * w + x)]; }
    int Covered() const {
        int n = 0;
        for (uint32_t p : px) n += p != 0;
        return n;
    }
};

TEST(SoftwareDevice3D, ErrorsAndRefusedCallsChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(SoftwareDevice3D&)> call;
        int32_t error;
    } cases[] = {
        {"vertex outside Begin", [](SoftwareDevice3D& d) { const float v[3] = {}; d.Vertex3fv(v); },
         DEV_INVALID_OPERATION},
        {"End outside Begin", [](SoftwareDevice3D& d) { d.End(); }, DEV_INVALID_OPERATION},
        {"texture id 64", [](SoftwareDevice3D& d) { d.BindTexture(DEV_TEXTURE_2D, 64); }, DEV_INVALID_OPERATION},
        {"texture target 20", [](SoftwareDevice3D& d) { d.BindTexture(20, 1); }, DEV_INVALID_ENUM},
        {"unknown capability", [](SoftwareDevice3D& d) { d.Enable(1); }, DEV_INVALID_ENUM},
        {"shade model 2", [](SoftwareDevice3D& d) { d.ShadeModel(2); }, DEV_INVALID_ENUM},
        {"viewport at x 1", [](SoftwareDevice3D& d) { d.Viewport(1, 0, 320, 240); }, DEV_INVALID_VALUE},
        {"viewport beyond 16.16", [](SoftwareDevice3D& d) { d.Viewport(0, 0, 40000, 8); }, DEV_INVALID_VALUE},
        {"state call inside Begin", [](SoftwareDevice3D& d) { d.Begin(DEV_TRIANGLES); d.Enable(DEV_LIGHTING); },
         DEV_INVALID_OPERATION},
        {"Begin with another primitive", [](SoftwareDevice3D& d) { d.Begin(27); }, DEV_INVALID_ENUM},
        {"texture image without a bound id", [](SoftwareDevice3D& d) {
             const uint8_t p[4] = {};
             d.TexImage2D(DEV_TEXTURE_2D, 0, DEV_TEX_INTERNAL, 1, 1, 0, DEV_PIXEL_FORMAT, DEV_PIXEL_TYPE, p);
         }, DEV_INVALID_OPERATION},
        {"read at another size", [](SoftwareDevice3D& d) { uint8_t p[16]; d.ReadPixels(0, 0, 2, 2, 23, 24, p); },
         DEV_INVALID_VALUE},
        // Bounds that would divide by zero.
        {"frustum of zero width", [](SoftwareDevice3D& d) { d.Frustum(1, 1, -1, 1, 1, 10); }, DEV_INVALID_VALUE},
        {"frustum at the eye", [](SoftwareDevice3D& d) { d.Frustum(-1, 1, -1, 1, 0, 10); }, DEV_INVALID_VALUE},
        {"ortho of zero depth", [](SoftwareDevice3D& d) { d.Ortho(-1, 1, -1, 1, 2, 2); }, DEV_INVALID_VALUE},
        {"look at the eye", [](SoftwareDevice3D& d) { d.LookAt(1, 2, 3, 1, 2, 3, 0, 1, 0); }, DEV_INVALID_VALUE},
        {"light without direction", [](SoftwareDevice3D& d) {
             const float v[4] = {}; d.Lightfv(DEV_LIGHT0, DEV_POSITION, v);
         }, DEV_INVALID_VALUE},
        {"more textures than slots", [](SoftwareDevice3D& d) { int32_t ids[64]; d.GenTextures(64, ids); },
         DEV_INVALID_VALUE},
    };
    for (const Case& c : cases) {
        SoftwareDevice3D d;
        c.call(d);
        EXPECT_EQ(d.GetError(), c.error) << c.name;
        int32_t viewport[4] = {};
        d.End();  // leaves a Begin the case may have entered
        d.GetIntegerv(DEV_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], 256) << c.name;
        EXPECT_EQ(viewport[3], 256) << c.name;
        EXPECT_TRUE(d.Modelview().IsIdentity()) << c.name;
        EXPECT_EQ(d.BatchSize(), 0) << c.name;
    }

    // Ids stay free until an image is given.
    SoftwareDevice3D d;
    int32_t a = 0, b = 0;
    d.GenTextures(1, &a);
    d.GenTextures(1, &b);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(a, b);
    int32_t maxLights = 0;
    d.GetIntegerv(DEV_MAX_LIGHTS, &maxLights);
    EXPECT_EQ(maxLights, 8);
}

TEST(SoftwareDevice3D, BatchesHoldAtMost256Triangles) {
    Canvas c(4, 4);
    c.d.Begin(DEV_TRIANGLES);
    const float v[3] = {0, 0, 0};
    for (int i = 0; i < 300 * 3; ++i) {
        c.d.Vertex3fv(v);
        if (i == 256 * 3 - 1) {
            EXPECT_EQ(c.d.BatchSize(), 256);
        }
        if (i == 256 * 3) {
            EXPECT_EQ(c.d.BatchSize(), 0);
        }
    }
    EXPECT_EQ(c.d.BatchSize(), 44);
    EXPECT_EQ(c.d.BatchesDrawn(), 1);
    c.d.End();
    EXPECT_EQ(c.d.BatchesDrawn(), 2);
    EXPECT_EQ(c.d.GetError(), DEV_NO_ERROR);
}

// The right-angled triangle (0,0) (8,0) (0,8) covers the pixels whose centre lies left of the
// hypotenuse: x + y < 7, 28 pixels.
TEST(SoftwareDevice3D, FlatTrianglesCoverTheirPixelsAndCull) {
    struct Case {
        const char* name;
        bool reversed, cull;
        int32_t frontFace;
        bool yuv;
        bool drawn;
    } cases[] = {
        {"counter-clockwise", false, false, DEV_FRONT_POSITIVE, false, true},
        {"clockwise, no culling", true, false, DEV_FRONT_POSITIVE, false, true},
        {"front kept", false, true, DEV_FRONT_POSITIVE, false, true},
        {"reversed culled", true, true, DEV_FRONT_POSITIVE, false, false},
        {"front culled under negative", false, true, DEV_FRONT_NEGATIVE, false, false},
        {"reversed kept under negative", true, true, DEV_FRONT_NEGATIVE, false, true},
        {"luma/chroma output", false, false, DEV_FRONT_POSITIVE, true, true},
    };
    for (const Case& k : cases) {
        Canvas c(8, 8);
        if (k.cull) c.d.Enable(DEV_CULL_FACE);
        c.d.FrontFace(k.frontFace);
        c.d.SetYuvOutput(k.yuv);
        c.d.Color3ub(30, 20, 10);
        if (k.reversed) {
            c.Triangle({{0, 0, 0, 0, 0}, {0, 8, 0, 0, 0}, {8, 0, 0, 0, 0}});
        } else {
            c.Triangle({{0, 0, 0, 0, 0}, {8, 0, 0, 0, 0}, {0, 8, 0, 0, 0}});
        }
        uint32_t expected = 0x1E140A;  // B, G, R, alpha 0
        if (k.yuv) {
            int y, cb, cr;
            RgbToYcc(30, 20, 10, &y, &cb, &cr);
            expected = uint32_t(cr | cb << 8 | y << 16);
        }
        for (int32_t y = 0; y < 8; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                EXPECT_EQ(c.At(x, y), k.drawn && x + y < 7 ? expected : 0u) << k.name << " at " << x << "," << y;
            }
        }
    }

    // Clear ignores the clear colour.
    Canvas c(8, 8);
    c.d.ClearColor(1, 0.5, 0.25, 1);
    c.Triangle({{0, 0, 0, 0, 0}, {8, 0, 0, 0, 0}, {0, 8, 0, 0, 0}});
    c.d.Clear(DEV_COLOR_BIT);
    EXPECT_EQ(c.Covered(), 0);
    EXPECT_EQ(c.d.ClearColorValue(), 0xFFFF7F3Fu);
}

TEST(SoftwareDevice3D, DepthTestKeepsTheNearerTriangleInEitherOrder) {
    for (bool nearFirst : {false, true}) {
        Canvas c(8, 8);
        c.d.Enable(DEV_DEPTH_TEST);
        c.d.Clear(DEV_DEPTH_BIT);
        for (int pass = 0; pass < 2; ++pass) {
            const bool nearOne = (pass == 0) == nearFirst;
            c.d.Color3ub(nearOne ? 255 : 0, 0, nearOne ? 0 : 255);
            const float z = nearOne ? 1 : -1;  // eye depth 4 or 6
            c.Triangle({{0, 0, z, 0, 0}, {8, 0, z, 0, 0}, {0, 8, z, 0, 0}});
        }
        EXPECT_EQ(c.At(0, 0), 0xFF0000u) << nearFirst;
        EXPECT_EQ(c.At(6, 0), 0xFF0000u) << nearFirst;
    }
}

// A white triangle lit by one light along the view: the vertex facing it is white, the two
// turned side-on are black, and smooth shading interpolates between them.
TEST(SoftwareDevice3D, SmoothShadingInterpolatesLitVertexColours) {
    Canvas c(8, 8);
    c.d.ShadeModel(1);
    c.d.Enable(DEV_LIGHTING);
    c.d.Enable(DEV_LIGHT0);
    const float noSpecular[4] = {0, 0, 0, 1};
    c.d.Lightfv(DEV_LIGHT0, DEV_SPECULAR, noSpecular);
    c.d.Color3ub(255, 255, 255);
    const float facing[3] = {0, 0, 1}, sideways[3] = {1, 0, 0};
    const float v0[3] = {0, 0, 0}, v1[3] = {8, 0, 0}, v2[3] = {0, 8, 0};
    c.d.Begin(DEV_TRIANGLES);
    c.d.Normal3fv(facing);
    c.d.Vertex3fv(v0);
    c.d.Normal3fv(sideways);
    c.d.Vertex3fv(v1);
    c.d.Vertex3fv(v2);
    c.d.End();
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x + y < 7; ++x) {
            const double weight = 1 - (x + 0.5) / 8 - (y + 0.5) / 8;
            const int expected = int(255 * weight);
            const uint32_t p = c.At(x, y);
            for (int shift : {0, 8, 16}) EXPECT_NEAR(int(p >> shift & 0xFF), expected, 1) << x << "," << y;
        }
    }
}

TEST(SoftwareDevice3D, TexturesAreSampledNearestWithWrapAndAlpha) {
    struct Case {
        const char* name;
        int32_t tw, th, w, h;  // texture, then canvas
        float s1, t1;          // texture coordinates at the far corner
        int32_t cap;           // 0, DEV_ALPHA_TEST or DEV_ALPHA_BLEND
    } cases[] = {
        {"power of two at scale 1", 8, 8, 8, 8, 1, 1, 0},
        // Sides that are no power of two sample over their whole size, not as one texel.
        {"100 x 64 at scale 1", 100, 64, 100, 64, 1, 1, 0},
        {"wrapped twice", 8, 4, 16, 8, 2, 2, 0},
        {"odd size wrapped twice", 6, 5, 12, 10, 2, 2, 0},
        {"alpha test", 8, 8, 8, 8, 1, 1, DEV_ALPHA_TEST},
        {"alpha blend", 8, 8, 8, 8, 1, 1, DEV_ALPHA_BLEND},
    };
    for (const Case& k : cases) {
        std::vector<uint32_t> texels(size_t(k.tw * k.th));
        srand(7);
        for (uint32_t& t : texels) t = uint32_t(rand()) << 16 ^ uint32_t(rand());
        Canvas c(k.w, k.h);
        const uint32_t background = 0x80402010u;
        std::fill(c.px.begin(), c.px.end(), background);
        int32_t id = 0;
        c.d.GenTextures(1, &id);
        c.d.BindTexture(DEV_TEXTURE_2D, id);
        c.d.TexImage2D(DEV_TEXTURE_2D, 0, DEV_TEX_INTERNAL, k.tw, k.th, 0, DEV_PIXEL_FORMAT, DEV_PIXEL_TYPE,
                       reinterpret_cast<const uint8_t*>(texels.data()));
        c.d.Enable(DEV_TEXTURE_2D);
        if (k.cap) c.d.Enable(k.cap);
        c.Quad(k.s1, k.t1);
        ASSERT_EQ(c.d.GetError(), DEV_NO_ERROR) << k.name;
        for (int32_t y = 0; y < k.h; ++y) {
            for (int32_t x = 0; x < k.w; ++x) {
                const uint32_t t = texels[size_t((y % k.th) * k.tw + x % k.tw)];
                uint32_t expected = t;
                if (k.cap == DEV_ALPHA_TEST && (t >> 24) < 128) expected = background;
                if (k.cap == DEV_ALPHA_BLEND) {
                    const int a = int(t >> 24);
                    expected = background;
                    if (a > 1) {
                        expected = 0;
                        for (int sh = 0; sh < 32; sh += 8) {
                            const int d = int(background >> sh & 0xFF), s = int(t >> sh & 0xFF);
                            expected |= uint32_t(d + (((s - d) * (a >> 1)) >> 7)) << sh;
                        }
                    }
                }
                ASSERT_EQ(c.At(x, y), expected) << k.name << " at " << x << "," << y;
            }
        }
    }
}

// Non-finite and extreme input draws nothing or something, but stays inside the buffer and the
// arithmetic's range (run under the sanitizers to see the difference).
TEST(SoftwareDevice3D, HostileGeometryStaysInBounds) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::array<float, 5> cases[][3] = {
        {{nan, 0, 0, 0, 0}, {8, 0, 0, 0, 0}, {0, 8, 0, 0, 0}},
        {{0, 0, 0, nan, nan}, {8, 0, 0, inf, 0}, {0, 8, 0, 0, -inf}},
        {{-1e30f, -1e30f, 0, 0, 0}, {1e30f, 0, 0, 1e9f, 0}, {0, 1e30f, 0, 0, 1e9f}},
        {{0, 0, 0, 0, 0}, {8, 1e-6f, 0, 1, 0}, {16, 2e-6f, 0, 0, 1}},  // a sliver
    };
    for (bool perspective : {false, true}) {
        for (const auto& tri : cases) {
            for (bool textured : {false, true}) {
                Canvas c(16, 16, perspective);
                uint32_t texel = 0xFF112233u;
                int32_t id = 0;
                c.d.GenTextures(1, &id);
                c.d.BindTexture(DEV_TEXTURE_2D, id);
                c.d.TexImage2D(DEV_TEXTURE_2D, 0, DEV_TEX_INTERNAL, 1, 1, 0, DEV_PIXEL_FORMAT, DEV_PIXEL_TYPE,
                               reinterpret_cast<const uint8_t*>(&texel));
                if (textured) c.d.Enable(DEV_TEXTURE_2D);
                c.d.ShadeModel(textured ? 0 : 1);
                c.d.Enable(DEV_DEPTH_TEST);
                c.d.Enable(DEV_LIGHTING);
                c.d.Enable(DEV_LIGHT0);
                const float normal[3] = {inf, nan, 1};
                c.d.Normal3fv(normal);
                c.Triangle({tri[0], tri[1], tri[2]});
                EXPECT_EQ(c.d.GetError(), DEV_NO_ERROR);
            }
        }
    }
}

// Frustum(-1, 1, -1, 1, 1, 10) on 64 x 64: a point at height 1 and depth z lands on row
// 32 + 32 / z.
TEST(SoftwareDevice3D, NearPlaneDropsOrClipsTriangles) {
    {
        Canvas c(64, 64, true);
        c.d.Color3ub(255, 255, 255);
        c.Triangle({{-1, 1, -0.5f, 0, 0}, {1, 1, -0.9f, 0, 0}, {0, 1, -0.2f, 0, 0}});  // all nearer than 1
        EXPECT_EQ(c.Covered(), 0);
    }
    Canvas c(64, 64, true);
    c.d.Color3ub(255, 255, 255);
    // A floor from depth 0.5 to 4: what is drawn starts at depth 1 (row 64, the bottom) and ends
    // at depth 4 (row 40).
    c.Triangle({{-4, 1, -0.5f, 0, 0}, {4, 1, -0.5f, 0, 0}, {0, 1, -4, 0, 0}});
    int top = 64, bottom = -1;
    for (int32_t y = 0; y < 64; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            if (c.At(x, y)) top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    EXPECT_NEAR(top, 40, 1);
    EXPECT_EQ(bottom, 63);
    // Clipped to a quadrilateral: the bottom row is cut straight across, wider than the tip.
    int bottomRow = 0, topRow = 0;
    for (int32_t x = 0; x < 64; ++x) bottomRow += c.At(x, 63) != 0, topRow += c.At(x, top) != 0;
    EXPECT_GT(bottomRow, 16);
    EXPECT_LT(topRow, 8);
}

}  // namespace
}  // namespace qel
