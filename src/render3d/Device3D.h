// The interface of the software 3D device: an immediate-mode triangle renderer in the manner of
// a fixed-function graphics library, with its own small enumeration values and error codes.
// Faults are reported only through the last error; no operation throws. The order of the
// operations below is the device's operation table and must not change.
#pragma once

#include <cstdint>

namespace qel {

// Enumeration values.
enum : int32_t {
    DEV_DEPTH_TEST = 2,       // Enable/Disable: depth test and write
    DEV_CULL_FACE = 3,        // Enable/Disable: drop triangles facing away
    DEV_ALPHA_TEST = 4,       // Enable/Disable: texels drawn only when alpha >= 128
    DEV_ALPHA_BLEND = 5,      // Enable/Disable: texels blended by their alpha (wins over the test)
    DEV_VIEWPORT = 6,         // GetIntegerv: x, y, width, height
    DEV_MAX_LIGHTS = 7,       // GetIntegerv: 8
    DEV_LIGHTING = 8,         // Enable/Disable
    DEV_LIGHT0 = 9,           // to DEV_LIGHT7 = 16: Enable/Disable, Lightfv
    DEV_LIGHT7 = 16,
    DEV_AMBIENT = 17,         // Lightfv: r, g, b in 0..1
    DEV_DIFFUSE = 18,         // Lightfv: r, g, b in 0..1
    DEV_SPECULAR = 19,        // Lightfv: r, g, b in 0..1
    DEV_POSITION = 20,        // Lightfv: direction x, y, z (w ignored)
    DEV_TEXTURE_2D = 21,      // Enable/Disable, BindTexture and TexImage2D target
    DEV_TEX_INTERNAL = 22,    // TexImage2D internal format
    DEV_PIXEL_FORMAT = 23,    // 32-bit pixels, bytes B, G, R, A
    DEV_PIXEL_TYPE = 24,      // unsigned bytes
    DEV_MODELVIEW = 25,       // MatrixMode
    DEV_PROJECTION = 26,      // MatrixMode
    DEV_TRIANGLES = 28,       // Begin: the only primitive
    DEV_FRONT_NEGATIVE = 29,  // FrontFace: front faces have a negative facing value
    DEV_FRONT_POSITIVE = 30,  // FrontFace: front faces have a non-negative facing value
    DEV_DEPTH_BIT = 0x100,    // Clear mask
    DEV_COLOR_BIT = 0x4000,   // Clear mask
};

// Error codes: the last error, read by GetError.
enum : int32_t {
    DEV_NO_ERROR = 31,
    DEV_INVALID_OPERATION = 32,  // a state call inside Begin/End, a texture id of 64 or more
    DEV_INVALID_ENUM = 33,
    DEV_INVALID_VALUE = 34,
};

// The defaults do nothing; their parameters name the arguments of each operation.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
class Device3D {
public:
    virtual ~Device3D() = 0;
    virtual void ClearColor(double r, double g, double b, double a) {}
    virtual void ShadeModel(int32_t mode) {}
    virtual void Enable(int32_t cap) {}
    virtual void Disable(int32_t cap) {}
    virtual void Viewport(int32_t x, int32_t y, int32_t width, int32_t height) {}
    virtual void GetIntegerv(int32_t name, int32_t* out) {}
    virtual void Lightfv(int32_t light, int32_t name, const float* values) {}
    virtual void GenTextures(int32_t n, int32_t* ids) {}
    virtual void DeleteTextures(int32_t n, const int32_t* ids) {}
    virtual void BindTexture(int32_t target, int32_t id) {}
    virtual void TexImage2D(int32_t target, int32_t level, int32_t internal, int32_t width, int32_t height,
                            int32_t border, int32_t format, int32_t type, const uint8_t* pixels) {}
    virtual void Clear(int32_t mask) {}
    virtual void FrontFace(int32_t mode) {}
    virtual void MatrixMode(int32_t mode) {}
    virtual void LoadIdentity() {}
    virtual void Translated(double x, double y, double z) {}
    virtual void Rotated(double angle, double x, double y, double z) {}
    virtual void MultMatrixf(const float* m) {}
    virtual void MultMatrixd(const double* m) {}
    virtual void LookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
                        double upX, double upY, double upZ) {}
    virtual void Color3ub(uint8_t r, uint8_t g, uint8_t b) {}
    virtual void Color3d(double r, double g, double b) {}
    virtual void Color3f(float r, float g, float b) {}
    virtual void Color4ub(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {}
    virtual void Color4d(double r, double g, double b, double a) {}
    virtual void Color4f(float r, float g, float b, float a) {}
    virtual void Color3fv(const float* c) {}
    virtual void Color3dv(const double* c) {}
    virtual void Color3ubv(const uint8_t* c) {}
    virtual void Color4fv(const float* c) {}
    virtual void Color4dv(const double* c) {}
    virtual void Color4ubv(const uint8_t* c) {}
    virtual void TexCoord2d(double s, double t) {}
    virtual void Begin(int32_t mode) {}
    virtual void Normal3fv(const float* n) {}
    virtual void Normal3dv(const double* n) {}
    virtual void Vertex3fv(const float* v) {}
    virtual void Vertex3dv(const double* v) {}
    virtual void End() {}
    virtual void Flush() {}
    virtual void ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t format, int32_t type,
                            uint8_t* out) {}
    virtual void Frustum(double left, double right, double bottom, double top, double nearZ, double farZ) {}
    virtual void Ortho(double left, double right, double bottom, double top, double nearZ, double farZ) {}
    virtual int32_t GetError() { return DEV_NO_ERROR; }
    // Draws from now on into the caller's width x height 32-bit pixels (stride width x 4).
    virtual void SetColorBuffer(uint8_t* pixels) {}
    // Non-zero: flat untextured spans drawn without the depth test are written as Cr, Cb, Y.
    virtual void SetYuvOutput(int32_t flag) {}
    // Draws and empties the triangle batch.
    virtual void DrawBatch() {}
};
#pragma GCC diagnostic pop

inline Device3D::~Device3D() = default;

}  // namespace qel
