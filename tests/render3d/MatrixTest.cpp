#include <gtest/gtest.h>

#include <cmath>

#include "render3d/Matrix4.h"

namespace qel {
namespace {

constexpr float kPi = 3.14159265f;

TEST(Matrix4, MultiplyShortcutsKeepTheIdentityFlag) {
    Matrix4 a, b, r;
    r.SetTranslation(5, 6, 7);
    Matrix4::Multiply(r, a, b);
    EXPECT_TRUE(r.IsIdentity());
    const Vec3 p = r.TransformPoint({1, 2, 3});
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.z, 3);

    // Only one side identity: the other is copied, flag and all.
    b.SetTranslation(1, 2, 3);
    Matrix4::Multiply(r, a, b);
    EXPECT_FALSE(r.IsIdentity());
    EXPECT_EQ(r[7], 2);
}

TEST(Matrix4, TransformsMapPointsAsComposed) {
    struct Case {
        const char* name;
        float angle, ax, ay, az;
        Vec3 in, out;
    } cases[] = {
        {"quarter turn about z", kPi / 2, 0, 0, 1, {1, 0, 0}, {0, 1, 0}},
        {"quarter turn about x", kPi / 2, 1, 0, 0, {0, 1, 0}, {0, 0, 1}},
        {"quarter turn about y", kPi / 2, 0, 1, 0, {0, 0, 1}, {1, 0, 0}},
        // The general formula: a third of a turn about the diagonal cycles the axes.
        {"third turn about (1,1,1)", 2 * kPi / 3, 1, 1, 1, {1, 0, 0}, {0, 1, 0}},
        {"unnormalised z axis", kPi / 2, 0, 0, 2, {1, 0, 0}, {0, 1, 0}},
        // No direction, no rotation (and no NaN).
        {"zero axis", 1, 0, 0, 0, {1, 2, 3}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        Matrix4 m;
        m.SetRotation(c.angle, c.ax, c.ay, c.az);
        const Vec3 p = m.TransformPoint(c.in);
        EXPECT_NEAR(p.x, c.out.x, 1e-5) << c.name;
        EXPECT_NEAR(p.y, c.out.y, 1e-5) << c.name;
        EXPECT_NEAR(p.z, c.out.z, 1e-5) << c.name;
    }

    Matrix4 t;
    t.SetTranslation(1, 2, 3);
    const Vec3 origin = t.TransformPoint({0, 0, 0});
    EXPECT_EQ(origin.x, 1);
    EXPECT_EQ(origin.y, 2);
    EXPECT_EQ(origin.z, 3);

    // The transform given last acts first: T x R turns, then moves.
    Matrix4 r, tr;
    r.SetRotation(kPi / 2, 0, 0, 1);
    Matrix4::Multiply(tr, t, r);
    const Vec3 p = tr.TransformPoint({1, 0, 0});
    EXPECT_NEAR(p.x, 1, 1e-6);
    EXPECT_NEAR(p.y, 3, 1e-6);
    EXPECT_NEAR(p.z, 3, 1e-6);

    tr.Transpose();
    EXPECT_EQ(tr[12], 1);
    EXPECT_EQ(tr[3], 0);
}

TEST(Matrix4, InvSqrtIsAccurate) {
    for (float x : {1e-6f, 0.25f, 1.0f, 2.0f, 3.0f, 1e6f}) {
        EXPECT_NEAR(InvSqrt(x) * std::sqrt(x), 1.0f, 1e-6f) << x;
    }
}

}  // namespace
}  // namespace qel
