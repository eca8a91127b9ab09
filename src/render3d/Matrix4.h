// 4 x 4 single-precision transforms for the software 3D device and the scene.
// Storage is row-major (element (row i, column j) at index 4i + j); points are column vectors
// multiplied on the right (p' = M p), so translation sits in elements 3, 7 and 11 and the bottom
// row of every matrix built here is (0, 0, 0, 1). Composition appends on the right: applying N
// to K gives K x N, so the transform given last acts first on a point.
#pragma once

#include <array>
#include <cstddef>

namespace qel {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// Reciprocal square root of a positive float: a bit-pattern estimate refined by three
// Newton-Raphson steps. Kept bit-exact because rotation axes are normalised with it.
float InvSqrt(float x);

class Matrix4 {
public:
    // The identity, flagged as such.
    Matrix4();

    // Nothing happens when the flag is already set.
    void SetIdentity();
    // Copies elements and flag; nothing is copied when both are flagged identity.
    void CopyFrom(const Matrix4& other);
    // result = a x b. result must be a third matrix, distinct from both inputs.
    static void Multiply(Matrix4& result, const Matrix4& a, const Matrix4& b);
    void SetTranslation(float x, float y, float z);
    // Right-handed rotation by angle radians about (x, y, z). The three unit axes are built
    // exactly; any other axis is normalised. A zero or non-finite axis gives no rotation (the
    // identity elements), since it names no direction.
    void SetRotation(float angle, float x, float y, float z);
    // M p without a division by a fourth coordinate.
    Vec3 TransformPoint(const Vec3& p) const;
    void Transpose();

    // Loads 16 row-major elements; the identity flag is cleared.
    void SetElements(const float (&values)[16]);

    bool IsIdentity() const { return identity_; }
    float operator[](int i) const { return m_[static_cast<size_t>(i)]; }
    const float* Data() const { return m_.data(); }

private:
    std::array<float, 16> m_{};
    bool identity_ = false;
};

}  // namespace qel
