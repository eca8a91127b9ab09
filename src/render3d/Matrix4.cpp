#include "render3d/Matrix4.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

namespace qel {

namespace {

constexpr std::array<float, 16> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

}  // namespace

float InvSqrt(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    float y = std::bit_cast<float>((0xbe6eb508u - bits) >> 1);
    // x / 2 by lowering the exponent by one.
    const float half = std::bit_cast<float>(bits - 0x00800000u);
    for (int step = 0; step < 3; ++step) y = y * (1.5f - half * y * y);
    return y;
}

Matrix4::Matrix4() : m_(kIdentity), identity_(true) {}

void Matrix4::SetIdentity() {
    if (identity_) return;
    m_ = kIdentity;
    identity_ = true;
}

void Matrix4::CopyFrom(const Matrix4& other) {
    if (identity_ && other.identity_) return;
    m_ = other.m_;
    identity_ = other.identity_;
}

void Matrix4::Multiply(Matrix4& result, const Matrix4& a, const Matrix4& b) {
    if (a.identity_ && b.identity_) {
        result.SetIdentity();
        return;
    }
    if (a.identity_) {
        result.CopyFrom(b);
        return;
    }
    if (b.identity_) {
        result.CopyFrom(a);
        return;
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m_[4 * i + k] * b.m_[4 * k + j];
            result.m_[4 * i + j] = sum;
        }
    }
    result.identity_ = false;
}

void Matrix4::SetTranslation(float x, float y, float z) {
    m_ = kIdentity;
    m_[3] = x;
    m_[7] = y;
    m_[11] = z;
    identity_ = false;
}

void Matrix4::SetRotation(float angle, float x, float y, float z) {
    m_ = kIdentity;
    identity_ = false;
    const float cs = std::cos(angle);
    const float sn = std::sin(angle);
    if (x == 1 && y == 0 && z == 0) {
        m_[5] = cs, m_[6] = -sn, m_[9] = sn, m_[10] = cs;
        return;
    }
    if (x == 0 && y == 1 && z == 0) {
        m_[0] = cs, m_[2] = sn, m_[8] = -sn, m_[10] = cs;
        return;
    }
    if (x == 0 && y == 0 && z == 1) {
        m_[0] = cs, m_[1] = -sn, m_[4] = sn, m_[5] = cs;
        return;
    }
    const float len2 = x * x + y * y + z * z;
    // A zero axis would divide by zero, an infinite one give NaN: neither names a direction.
    if (!(len2 > 0) || !std::isfinite(len2)) return;
    const float len = len2 * InvSqrt(len2);
    const float u[3] = {x / len, y / len, z / len};
    const float e[3][3] = {{0, -u[2], u[1]}, {u[2], 0, -u[0]}, {-u[1], u[0], 0}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m_[4 * i + j] = (i == j ? cs : 0.0f) + (1 - cs) * u[i] * u[j] + sn * e[i][j];
        }
    }
}

Vec3 Matrix4::TransformPoint(const Vec3& p) const {
    return {m_[0] * p.x + m_[1] * p.y + m_[2] * p.z + m_[3], m_[4] * p.x + m_[5] * p.y + m_[6] * p.z + m_[7],
            m_[8] * p.x + m_[9] * p.y + m_[10] * p.z + m_[11]};
}

void Matrix4::Transpose() {
    for (int r = 0; r < 4; ++r) {
        for (int c = r + 1; c < 4; ++c) std::swap(m_[4 * r + c], m_[4 * c + r]);
    }
}

void Matrix4::SetElements(const float (&values)[16]) {
    for (int i = 0; i < 16; ++i) m_[i] = values[i];
    identity_ = false;
}

}  // namespace qel
