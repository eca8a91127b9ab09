// State operations of the software 3D device. Drawing is in DeviceRaster.cpp.
#include "render3d/SoftwareDevice3D.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace qel {

namespace {

// Float to int the way the device converts colour components: truncation, with values that no
// int holds (NaN, infinities, huge numbers) taken as 0 instead of undefined behaviour.
int32_t Trunc(double v) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return static_cast<int32_t>(v);
}

uint8_t ComponentByte(double v) { return static_cast<uint8_t>(Trunc(v * 255) & 0xFF); }

uint32_t Argb(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

bool Finite3(double x, double y, double z) { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

}  // namespace

SoftwareDevice3D::SoftwareDevice3D() {
    lights_[0].diffuse[0] = lights_[0].diffuse[1] = lights_[0].diffuse[2] = 65536;
    lights_[0].specular[0] = lights_[0].specular[1] = lights_[0].specular[2] = 255;
    batch_.reserve(kBatchTriangles);
    RebuildRasterizer();
}

SoftwareDevice3D::~SoftwareDevice3D() = default;

bool SoftwareDevice3D::Enter() {
    lastError_ = DEV_NO_ERROR;
    if (inBegin_) {
        lastError_ = DEV_INVALID_OPERATION;
        return false;
    }
    return true;
}

void SoftwareDevice3D::ClearColor(double r, double g, double b, double a) {
    if (!Enter()) return;
    auto byte = [](double v) {
        v = std::isnan(v) ? 0 : std::clamp(v, 0.0, 1.0);
        return static_cast<uint8_t>(v * 255);
    };
    clearColor_ = Argb(byte(r), byte(g), byte(b), byte(a));
}

void SoftwareDevice3D::ShadeModel(int32_t mode) {
    if (!Enter()) return;
    if (mode != 0 && mode != 1) return Fail(DEV_INVALID_ENUM);
    shadeModel_ = mode;
}

void SoftwareDevice3D::SetCap(int32_t cap, bool on) {
    if (!Enter()) return;
    switch (cap) {
        case DEV_DEPTH_TEST: depthTest_ = on; return;
        case DEV_CULL_FACE: cullFace_ = on; return;
        case DEV_ALPHA_TEST: alphaTest_ = on; return;
        case DEV_ALPHA_BLEND: alphaBlend_ = on; return;
        case DEV_LIGHTING: lighting_ = on; return;
        case DEV_TEXTURE_2D: texturing_ = on; return;
        default: break;
    }
    if (cap >= DEV_LIGHT0 && cap <= DEV_LIGHT7) {
        lights_[static_cast<size_t>(cap - DEV_LIGHT0)].enabled = on;
        return;
    }
    Fail(DEV_INVALID_ENUM);
}

void SoftwareDevice3D::Enable(int32_t cap) { SetCap(cap, true); }
void SoftwareDevice3D::Disable(int32_t cap) { SetCap(cap, false); }

void SoftwareDevice3D::Viewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!Enter()) return;
    if (x != 0 || y != 0 || width < 0 || height < 0 || width > kMaxViewportSide || height > kMaxViewportSide) {
        return Fail(DEV_INVALID_VALUE);
    }
    viewportWidth_ = width;
    viewportHeight_ = height;
    ClearRowWindow();
    callerColour_ = nullptr;
    ownedColour_.clear();
    ownedColour_.shrink_to_fit();
    try {
        ownedColour_.assign(size_t(width) * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        // Nothing is drawn until a colour buffer exists.
    }
    RebuildRasterizer();
}

// The edge buffer and the projection constants for the current viewport. Allocation failure
// leaves the edge buffer empty, and nothing is drawn.
void SoftwareDevice3D::RebuildRasterizer() {
    const double w = viewportWidth_, h = viewportHeight_;
    projection_.perspective = perspective_;
    projection_.scale = perspective_ ? w * near_ / (right_ - left_) : w / (right_ - left_);
    projection_.centreX = std::trunc(-left_ / (right_ - left_) * w);
    projection_.centreY = std::trunc(top_ / (top_ - bottom_) * h);
    projection_.nearZ = near_;
    projection_.farZ = far_;
    depth_.clear();
    depth_.shrink_to_fit();
    try {
        rowLeft_.assign(size_t(viewportHeight_) + 1, 0);
        rowRight_.assign(size_t(viewportHeight_) + 1, 0);
        touchedLeft_.resize(size_t(viewportHeight_) + 1);
        touchedRight_.resize(size_t(viewportHeight_) + 1);
    } catch (const std::bad_alloc&) {
        rowLeft_.clear();
        rowRight_.clear();
        touchedLeft_.clear();
        touchedRight_.clear();
    }
    ResetTouched();
}

void SoftwareDevice3D::SetRowWindow(int32_t top, int32_t end) {
    if (top < 0 || top >= end || end > viewportHeight_) return;
    windowTop_ = top;
    windowEnd_ = end;
}

void SoftwareDevice3D::ResetTouched() {
    std::fill(touchedLeft_.begin(), touchedLeft_.end(), viewportWidth_);
    std::fill(touchedRight_.begin(), touchedRight_.end(), 0);
}

void SoftwareDevice3D::GetIntegerv(int32_t name, int32_t* out) {
    if (!Enter()) return;
    if (name != DEV_VIEWPORT && name != DEV_MAX_LIGHTS) return Fail(DEV_INVALID_ENUM);
    if (!out) return Fail(DEV_INVALID_VALUE);
    if (name == DEV_MAX_LIGHTS) {
        *out = kLights;
        return;
    }
    out[0] = 0;
    out[1] = 0;
    out[2] = viewportWidth_;
    out[3] = viewportHeight_;
}

void SoftwareDevice3D::Lightfv(int32_t light, int32_t name, const float* values) {
    if (!Enter()) return;
    if (light < DEV_LIGHT0 || light > DEV_LIGHT7) return Fail(DEV_INVALID_ENUM);
    if (name < DEV_AMBIENT || name > DEV_POSITION) return Fail(DEV_INVALID_ENUM);
    if (!values) return Fail(DEV_INVALID_VALUE);
    DeviceLight& l = lights_[static_cast<size_t>(light - DEV_LIGHT0)];
    if (name == DEV_POSITION) {
        const double x = values[0], y = values[1], z = -double(values[2]);
        const double len = std::sqrt(x * x + y * y + z * z);
        // A zero or non-finite direction has no unit vector.
        if (!(len > 0) || !std::isfinite(len)) return Fail(DEV_INVALID_VALUE);
        l.direction = {float(x / len), float(y / len), float(z / len)};
        return;
    }
    for (int c = 0; c < 3; ++c) {
        // values are r, g, b; the light keeps B, G, R like the colour buffer.
        const int32_t byte = Trunc(double(values[2 - c]) * 255) & 0xFF;
        if (name == DEV_AMBIENT) l.ambient[c] = byte * 65536 / 255;
        if (name == DEV_DIFFUSE) l.diffuse[c] = byte * 65536 / 255;
        if (name == DEV_SPECULAR) l.specular[c] = static_cast<uint8_t>(byte);
    }
}

void SoftwareDevice3D::GenTextures(int32_t n, int32_t* ids) {
    if (!Enter()) return;
    if (n < 0 || (n > 0 && !ids)) return Fail(DEV_INVALID_VALUE);
    int32_t found[kTextureSlots];
    int32_t count = 0;
    for (int32_t id = 1; id < kTextureSlots && count < n; ++id) {
        if (!textures_[size_t(id)]) found[count++] = id;
    }
    if (count < n) return Fail(DEV_INVALID_VALUE);
    std::copy(found, found + count, ids);
}

void SoftwareDevice3D::DeleteTextures(int32_t n, const int32_t* ids) {
    if (!Enter()) return;
    if (n < 0 || (n > 0 && !ids)) return Fail(DEV_INVALID_VALUE);
    for (int32_t i = 0; i < n; ++i) {
        if (ids[i] >= 0 && ids[i] < kTextureSlots) textures_[size_t(ids[i])].reset();
    }
}

void SoftwareDevice3D::BindTexture(int32_t target, int32_t id) {
    if (!Enter()) return;
    if (target != DEV_TEXTURE_2D) return Fail(DEV_INVALID_ENUM);
    if (id < 0 || id >= kTextureSlots) return Fail(DEV_INVALID_OPERATION);
    boundTexture_ = id;
}

void SoftwareDevice3D::TexImage2D(int32_t target, int32_t, int32_t internal, int32_t width, int32_t height,
                                  int32_t, int32_t format, int32_t type, const uint8_t* pixels) {
    if (!Enter()) return;
    if (target != DEV_TEXTURE_2D || internal != DEV_TEX_INTERNAL || format != DEV_PIXEL_FORMAT ||
        type != DEV_PIXEL_TYPE) {
        return Fail(DEV_INVALID_ENUM);
    }
    // Slot 0 stands for "no texture" and never holds one.
    if (boundTexture_ == 0) return Fail(DEV_INVALID_OPERATION);
    if (pixels && (width <= 0 || height <= 0)) return Fail(DEV_INVALID_VALUE);
    std::unique_ptr<DeviceTexture>& slot = textures_[size_t(boundTexture_)];
    if (!pixels) {
        slot.reset();
        return;
    }
    auto texture = std::unique_ptr<DeviceTexture>(new (std::nothrow) DeviceTexture{pixels, width, height});
    if (!texture) return;
    slot = std::move(texture);
}

void SoftwareDevice3D::Clear(int32_t mask) {
    if (!Enter()) return;
    if (mask & DEV_DEPTH_BIT) std::fill(depth_.begin(), depth_.end(), 0);
    uint32_t* colour = Colour();
    if ((mask & DEV_COLOR_BIT) && colour) {
        const int32_t rows = windowEnd_ > windowTop_ ? windowEnd_ - windowTop_ : viewportHeight_;
        std::memset(colour, 0, size_t(viewportWidth_) * size_t(rows) * 4);
    }
}

void SoftwareDevice3D::FrontFace(int32_t mode) {
    if (!Enter()) return;
    if (mode != DEV_FRONT_NEGATIVE && mode != DEV_FRONT_POSITIVE) return Fail(DEV_INVALID_ENUM);
    frontFace_ = mode;
}

void SoftwareDevice3D::MatrixMode(int32_t mode) {
    if (!Enter()) return;
    if (mode != DEV_MODELVIEW && mode != DEV_PROJECTION) return Fail(DEV_INVALID_ENUM);
    matrixMode_ = mode;
}

void SoftwareDevice3D::LoadIdentity() {
    if (!Enter()) return;
    if (matrixMode_ == DEV_MODELVIEW) modelview_.SetIdentity();
}

void SoftwareDevice3D::MultiplyModelview(const Matrix4& n) {
    Matrix4 product;
    Matrix4::Multiply(product, modelview_, n);
    modelview_.CopyFrom(product);
}

void SoftwareDevice3D::Translated(double x, double y, double z) {
    if (!Enter() || matrixMode_ != DEV_MODELVIEW) return;
    Matrix4 t;
    t.SetTranslation(float(x), float(y), float(z));
    MultiplyModelview(t);
}

// The angle unit is pi/90 radians, half a turn per 90: callers of this device rely on it.
void SoftwareDevice3D::Rotated(double angle, double x, double y, double z) {
    if (!Enter() || matrixMode_ != DEV_MODELVIEW) return;
    Matrix4 r;
    r.SetRotation(float(angle * 0.034906585), float(x), float(y), float(z));
    MultiplyModelview(r);
}

void SoftwareDevice3D::MultMatrixf(const float* m) {
    if (!Enter() || matrixMode_ != DEV_MODELVIEW) return;
    if (!m) return Fail(DEV_INVALID_VALUE);
    float values[16];
    std::copy(m, m + 16, values);
    Matrix4 n;
    n.SetElements(values);
    n.Transpose();  // given column by column
    MultiplyModelview(n);
}

void SoftwareDevice3D::MultMatrixd(const double* m) {
    if (!Enter() || matrixMode_ != DEV_MODELVIEW) return;
    if (!m) return Fail(DEV_INVALID_VALUE);
    float values[16];
    for (int i = 0; i < 16; ++i) values[i] = float(m[i]);
    Matrix4 n;
    n.SetElements(values);
    n.Transpose();
    MultiplyModelview(n);
}

void SoftwareDevice3D::LookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
                              double upX, double upY, double upZ) {
    if (!Enter() || matrixMode_ != DEV_MODELVIEW) return;
    double f[3] = {centreX - eyeX, centreY - eyeY, centreZ - eyeZ};
    double u[3] = {upX, upY, upZ};
    const double fLen = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    const double uLen = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    // An eye on its centre or a zero up vector gives no direction to look along.
    if (!(fLen > 0) || !(uLen > 0) || !std::isfinite(fLen) || !std::isfinite(uLen) || !Finite3(eyeX, eyeY, eyeZ)) {
        return Fail(DEV_INVALID_VALUE);
    }
    for (int i = 0; i < 3; ++i) f[i] /= fLen, u[i] /= uLen;
    const double s[3] = {f[1] * u[2] - f[2] * u[1], f[2] * u[0] - f[0] * u[2], f[0] * u[1] - f[1] * u[0]};
    const double v[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    const float rows[16] = {float(s[0]), float(s[1]), float(s[2]), 0,     float(v[0]), float(v[1]),
                            float(v[2]), 0,           float(-f[0]), float(-f[1]), float(-f[2]), 0,
                            0,           0,           0,           1};
    Matrix4 n;
    n.SetElements(rows);
    MultiplyModelview(n);
    Matrix4 t;
    t.SetTranslation(float(-eyeX), float(-eyeY), float(-eyeZ));
    MultiplyModelview(t);
}

void SoftwareDevice3D::SetColor(uint32_t argb) {
    lastError_ = DEV_NO_ERROR;
    colour_ = argb;
}

void SoftwareDevice3D::Color3ub(uint8_t r, uint8_t g, uint8_t b) { SetColor(Argb(r, g, b, 255)); }
void SoftwareDevice3D::Color4ub(uint8_t r, uint8_t g, uint8_t b, uint8_t a) { SetColor(Argb(r, g, b, a)); }
void SoftwareDevice3D::Color3d(double r, double g, double b) {
    SetColor(Argb(ComponentByte(r), ComponentByte(g), ComponentByte(b), 255));
}
void SoftwareDevice3D::Color3f(float r, float g, float b) { Color3d(r, g, b); }
void SoftwareDevice3D::Color4d(double r, double g, double b, double a) {
    SetColor(Argb(ComponentByte(r), ComponentByte(g), ComponentByte(b), ComponentByte(a)));
}
void SoftwareDevice3D::Color4f(float r, float g, float b, float a) { Color4d(r, g, b, a); }
void SoftwareDevice3D::Color3fv(const float* c) {
    if (!c) return Fail(DEV_INVALID_VALUE);
    Color3d(c[0], c[1], c[2]);
}
void SoftwareDevice3D::Color3dv(const double* c) {
    if (!c) return Fail(DEV_INVALID_VALUE);
    Color3d(c[0], c[1], c[2]);
}
void SoftwareDevice3D::Color3ubv(const uint8_t* c) {
    if (!c) return Fail(DEV_INVALID_VALUE);
    Color3ub(c[0], c[1], c[2]);
}
void SoftwareDevice3D::Color4fv(const float* c) {
    if (!c) return Fail(DEV_INVALID_VALUE);
    Color4d(c[0], c[1], c[2], c[3]);
}
void SoftwareDevice3D::Color4dv(const double* c) {
    if (!c) return Fail(DEV_INVALID_VALUE);
    Color4d(c[0], c[1], c[2], c[3]);
}
void SoftwareDevice3D::Color4ubv(const uint8_t* c) {
    if (!c) return Fail(DEV_INVALID_VALUE);
    Color4ub(c[0], c[1], c[2], c[3]);
}

void SoftwareDevice3D::TexCoord2d(double s, double t) {
    lastError_ = DEV_NO_ERROR;
    s_ = float(s);
    t_ = float(t);
}

void SoftwareDevice3D::Begin(int32_t mode) {
    if (!Enter()) return;
    if (mode != DEV_TRIANGLES) return Fail(DEV_INVALID_ENUM);
    inBegin_ = true;
    pendingCount_ = 0;
}

void SoftwareDevice3D::Normal3fv(const float* n) {
    lastError_ = DEV_NO_ERROR;
    if (!n) return Fail(DEV_INVALID_VALUE);
    normal_ = {n[0], n[1], n[2]};
}

void SoftwareDevice3D::Normal3dv(const double* n) {
    lastError_ = DEV_NO_ERROR;
    if (!n) return Fail(DEV_INVALID_VALUE);
    normal_ = {float(n[0]), float(n[1]), float(n[2])};
}

void SoftwareDevice3D::Vertex3fv(const float* v) {
    lastError_ = DEV_NO_ERROR;
    if (!inBegin_) return Fail(DEV_INVALID_OPERATION);
    if (!v) return Fail(DEV_INVALID_VALUE);
    if (pendingCount_ == 0 && static_cast<int32_t>(batch_.size()) >= kBatchTriangles) DrawBatch();
    DeviceVertex& vertex = pending_[pendingCount_++];
    vertex.position = {v[0], v[1], v[2]};
    vertex.normal = {normal_.x, normal_.y, -normal_.z};
    vertex.s = s_;
    vertex.t = t_;
    if (pendingCount_ < 3) return;
    pendingCount_ = 0;
    DeviceTriangle tri{};
    tri.base[0] = tri.lit[0] = uint8_t(colour_);
    tri.base[1] = tri.lit[1] = uint8_t(colour_ >> 8);
    tri.base[2] = tri.lit[2] = uint8_t(colour_ >> 16);
    std::copy(pending_, pending_ + 3, tri.v);
    tri.texture = textures_[size_t(boundTexture_)].get();
    batch_.push_back(tri);  // capacity reserved for the whole batch
}

void SoftwareDevice3D::Vertex3dv(const double* v) {
    if (!v) {
        lastError_ = inBegin_ ? DEV_INVALID_VALUE : DEV_INVALID_OPERATION;
        return;
    }
    const float f[3] = {float(v[0]), float(v[1]), float(v[2])};
    Vertex3fv(f);
}

void SoftwareDevice3D::End() {
    lastError_ = DEV_NO_ERROR;
    if (!inBegin_) return Fail(DEV_INVALID_OPERATION);
    DrawBatch();
    inBegin_ = false;
    pendingCount_ = 0;
}

void SoftwareDevice3D::Flush() { lastError_ = inBegin_ ? DEV_INVALID_OPERATION : DEV_NO_ERROR; }

void SoftwareDevice3D::ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t format,
                                  int32_t type, uint8_t* out) {
    if (!Enter()) return;
    if (format != DEV_PIXEL_FORMAT || type != DEV_PIXEL_TYPE) return Fail(DEV_INVALID_ENUM);
    // A windowed colour buffer holds only some rows.
    if (windowEnd_ > windowTop_) return Fail(DEV_INVALID_OPERATION);
    if (x != 0 || y != 0 || width != viewportWidth_ || height != viewportHeight_ || !out) {
        return Fail(DEV_INVALID_VALUE);
    }
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (const uint32_t* colour = Colour()) {
        std::memcpy(out, colour, bytes);
    } else {
        std::memset(out, 0, bytes);
    }
}

void SoftwareDevice3D::SetProjection(bool perspective, double left, double right, double bottom, double top,
                                     double nearZ, double farZ) {
    if (!Enter()) return;
    // Equal bounds would divide by zero; a perspective eye needs its near plane in front.
    const bool finite = Finite3(left, right, bottom) && Finite3(top, nearZ, farZ);
    if (!finite || left == right || bottom == top || nearZ == farZ || (perspective && !(nearZ > 0))) {
        return Fail(DEV_INVALID_VALUE);
    }
    left_ = left, right_ = right, bottom_ = bottom, top_ = top, near_ = nearZ, far_ = farZ;
    if (matrixMode_ != DEV_PROJECTION) return;
    perspective_ = perspective;
    RebuildRasterizer();
}

void SoftwareDevice3D::Frustum(double left, double right, double bottom, double top, double nearZ, double farZ) {
    SetProjection(true, left, right, bottom, top, nearZ, farZ);
}

void SoftwareDevice3D::Ortho(double left, double right, double bottom, double top, double nearZ, double farZ) {
    SetProjection(false, left, right, bottom, top, nearZ, farZ);
}

int32_t SoftwareDevice3D::GetError() { return inBegin_ ? DEV_INVALID_OPERATION : lastError_; }

void SoftwareDevice3D::SetColorBuffer(uint8_t* pixels) {
    if (!Enter()) return;
    ownedColour_.clear();
    ownedColour_.shrink_to_fit();
    callerColour_ = reinterpret_cast<uint32_t*>(pixels);
}

void SoftwareDevice3D::SetYuvOutput(int32_t flag) {
    if (!Enter()) return;
    yuvOutput_ = flag != 0;
}

}  // namespace qel
