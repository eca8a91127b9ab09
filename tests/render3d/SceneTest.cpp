#include <gtest/gtest.h>

#include <vector>

#include "render3d/Scene3D.h"

namespace qel {
namespace {

Mesh OneTriangle(float zA, float zB, float zC) {
    Mesh m;
    MeshTriangle t;
    t.v[0] = {0, 0, zA, 0, 0};
    t.v[1] = {1, 0, zB, 0, 0};
    t.v[2] = {0, 1, zC, 0, 0};
    m.triangles.push_back(t);
    return m;
}

TEST(Scene3D, ObjectsTexturesAndRefusals) {
    Scene3D scene;
    ASSERT_TRUE(scene.Init(64, 48, false));
    std::vector<uint32_t> image(16 * 16, 0xFF00FF00u);
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<Mesh> box = Scene3D::CreateBoxMesh(0.25f, -0.25f, -1, 1, 1, -1, 120, 120, 120);
        ASSERT_TRUE(box);
        ASSERT_EQ(box->triangles.size(), 12u);
        Scene3D::SetFaceTexture(*box, reinterpret_cast<const uint8_t*>(image.data()), 16, 16, 0, 0, 1, 0, 0, 1, 1, 1);
        EXPECT_EQ(scene.AddMesh(*box), i + 1);
    }
    // The same pixels and size share one device texture.
    EXPECT_EQ(scene.TextureCount(), 1);
    EXPECT_EQ(scene.Object(1).triangles[0].textureId, scene.Object(2).triangles[1].textureId);
    EXPECT_NE(scene.Object(1).triangles[0].textureId, 0);
    EXPECT_EQ(scene.Object(1).triangles[2].textureId, 0);

    const Mesh small = OneTriangle(0, 0, 0);
    while (scene.ObjectCount() < Scene3D::kMaxObjects) ASSERT_NE(scene.AddMesh(small), 0);
    EXPECT_EQ(scene.AddMesh(small), 0);  // the 401st
    EXPECT_EQ(scene.AddMesh(Mesh{}), 0);

    scene.Release();
    EXPECT_FALSE(scene.Initialised());
    EXPECT_EQ(scene.AddMesh(small), 0);

    // Sizes that are empty or, doubled, beyond what the device draws are refused.
    EXPECT_FALSE(scene.Init(0, 48, false));
    EXPECT_FALSE(scene.Init(20000, 100, true));
    EXPECT_TRUE(scene.Init(20000, 100, false));
}

TEST(Scene3D, SortsFarToNear) {
    struct Case {
        float aMin, aMax, bMin, bMax;
        int order;  // CompareDepth(a, b)
    } cases[] = {
        {2, 3, 0, 1, 1},    // a entirely nearer: after
        {0, 1, 1, 2, -1},   // touching ranges: a farther
        {0, 4, 1, 2, 1},    // overlapping: centres 2 and 1.5
        {1, 2, 0, 4, -1},
        {0, 2, 0.5f, 1.5f, 0},  // overlapping, equal centres
    };
    for (const Case& c : cases) {
        SceneTriangle a{}, b{};
        a.depthMin = c.aMin, a.depthMax = c.aMax, b.depthMin = c.bMin, b.depthMax = c.bMax;
        EXPECT_EQ(Scene3D::CompareDepth(a, b), c.order) << c.aMin << ".." << c.aMax << " vs " << c.bMin << ".." << c.bMax;
    }

    Scene3D scene;
    ASSERT_TRUE(scene.Init(32, 32, false));
    scene.AddMesh(OneTriangle(0, 1, 0.5f));    // centre 0.5
    scene.AddMesh(OneTriangle(0.5f, 3, 1));    // overlaps the first, centre 1.75
    scene.AddMesh(OneTriangle(-5, -4, -4.5f));  // far behind
    scene.AddMesh(OneTriangle(2, 2, 2));       // flat, overlaps the second
    scene.TransformObjects();
    scene.CollectTriangles();
    scene.SortTriangles();
    const auto& list = scene.DrawList();
    ASSERT_EQ(list.size(), 4u);
    const float expectedMin[] = {-5, 0, 0.5f, 2};
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i]->depthMin, expectedMin[i]) << i;
}

// The tilted grey box drawn with supersampling: pixels it does not cover keep the target's
// colour exactly, and it covers some.
TEST(Scene3D, SupersamplingKeepsUncoveredPixels) {
    const int32_t w = 64, h = 48;
    std::vector<uint32_t> target(size_t(w * h), 0x11223344u);
    Scene3D scene;
    ASSERT_TRUE(scene.Init(w, h, true));
    std::unique_ptr<Mesh> box = Scene3D::CreateBoxMesh(0.25f, -0.25f, -0.5f, 0.5f, 0.5f, -0.5f, 120, 120, 120);
    ASSERT_EQ(scene.AddMesh(*box), 1);
    scene.SetTarget(reinterpret_cast<uint8_t*>(target.data()), w, h);
    scene.ResetObject(1);
    scene.RotateObject(1, 0.5f, 1, 0, 0);
    scene.TransformObjects();
    scene.CollectTriangles();
    scene.SortTriangles();
    scene.Draw();
    int changed = 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = target[size_t(y * w + x)];
            // The box spans about a quarter of the frame width around the centre.
            if (x < 16 || x >= 48 || y < 8 || y >= 40) {
                EXPECT_EQ(p, 0x11223344u) << x << "," << y;
            }
            changed += p != 0x11223344u;
        }
    }
    EXPECT_GT(changed, 100);

    // A target of another size than the scene's is not drawn into.
    std::vector<uint32_t> other(size_t(w * (h - 1)), 0x11223344u);
    scene.SetTarget(reinterpret_cast<uint8_t*>(other.data()), w, h - 1);
    scene.Draw();
    for (uint32_t p : other) ASSERT_EQ(p, 0x11223344u);
}

}  // namespace
}  // namespace qel
