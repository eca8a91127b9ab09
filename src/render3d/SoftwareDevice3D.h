// The software 3D device: lit, optionally textured triangles drawn into a 32-bit image (bytes B,
// G, R, A) entirely in software. State calls validate their arguments and report faults through
// the last error; a rejected call changes nothing. Triangles are collected in batches of up to
// 256 and drawn at End, when the batch is full, or by DrawBatch.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "render3d/Device3D.h"
#include "render3d/Matrix4.h"

namespace qel {

// Largest viewport side in pixels: twice the largest frame side, so that a supersampled frame
// fits, and small enough that pixel positions stay exact in 16.16 fixed point.
constexpr int32_t kMaxViewportSide = 32768;

struct DeviceTexture {
    const uint8_t* pixels = nullptr;  // the caller's memory, width x height x 4 bytes, not owned
    int32_t width = 0, height = 0;    // texels
};

struct DeviceVertex {
    Vec3 position;  // object space
    Vec3 eye;       // eye space with z negated (depth grows away from the viewer), set when drawn
    Vec3 normal;    // the current normal with z negated
    float s = 0, t = 0;
};

struct DeviceTriangle {
    uint8_t base[3];  // colour bytes B, G, R
    uint8_t lit[3];   // the colour after flat lighting, B, G, R
    bool back;
    DeviceVertex v[3];
    float zMin, zMax;                // eye-space depth range
    const DeviceTexture* texture;    // bound when the triangle was completed, or null
};

struct ScreenVertex;  // a projected polygon corner (DeviceRaster.cpp)

struct DeviceLight {
    bool enabled = false;
    int32_t ambient[3] = {0, 0, 0};  // B, G, R as 16.16 fractions of 1
    int32_t diffuse[3] = {0, 0, 0};  // B, G, R as 16.16 fractions of 1
    uint8_t specular[3] = {0, 0, 0};  // B, G, R
    Vec3 direction{0, 0, 1};          // unit vector, z negated like the normals
};

class SoftwareDevice3D final : public Device3D {
public:
    static constexpr int32_t kBatchTriangles = 256;
    static constexpr int32_t kTextureSlots = 64;
    static constexpr int32_t kLights = 8;

    SoftwareDevice3D();
    ~SoftwareDevice3D() override;

    void ClearColor(double r, double g, double b, double a) override;
    void ShadeModel(int32_t mode) override;
    void Enable(int32_t cap) override;
    void Disable(int32_t cap) override;
    void Viewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void GetIntegerv(int32_t name, int32_t* out) override;
    void Lightfv(int32_t light, int32_t name, const float* values) override;
    void GenTextures(int32_t n, int32_t* ids) override;
    void DeleteTextures(int32_t n, const int32_t* ids) override;
    void BindTexture(int32_t target, int32_t id) override;
    void TexImage2D(int32_t target, int32_t level, int32_t internal, int32_t width, int32_t height, int32_t border,
                    int32_t format, int32_t type, const uint8_t* pixels) override;
    void Clear(int32_t mask) override;
    void FrontFace(int32_t mode) override;
    void MatrixMode(int32_t mode) override;
    void LoadIdentity() override;
    void Translated(double x, double y, double z) override;
    void Rotated(double angle, double x, double y, double z) override;
    void MultMatrixf(const float* m) override;
    void MultMatrixd(const double* m) override;
    void LookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ, double upX,
                double upY, double upZ) override;
    void Color3ub(uint8_t r, uint8_t g, uint8_t b) override;
    void Color3d(double r, double g, double b) override;
    void Color3f(float r, float g, float b) override;
    void Color4ub(uint8_t r, uint8_t g, uint8_t b, uint8_t a) override;
    void Color4d(double r, double g, double b, double a) override;
    void Color4f(float r, float g, float b, float a) override;
    void Color3fv(const float* c) override;
    void Color3dv(const double* c) override;
    void Color3ubv(const uint8_t* c) override;
    void Color4fv(const float* c) override;
    void Color4dv(const double* c) override;
    void Color4ubv(const uint8_t* c) override;
    void TexCoord2d(double s, double t) override;
    void Begin(int32_t mode) override;
    void Normal3fv(const float* n) override;
    void Normal3dv(const double* n) override;
    void Vertex3fv(const float* v) override;
    void Vertex3dv(const double* v) override;
    void End() override;
    void Flush() override;
    void ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t format, int32_t type,
                    uint8_t* out) override;
    void Frustum(double left, double right, double bottom, double top, double nearZ, double farZ) override;
    void Ortho(double left, double right, double bottom, double top, double nearZ, double farZ) override;
    int32_t GetError() override;
    void SetColorBuffer(uint8_t* pixels) override;
    void SetYuvOutput(int32_t flag) override;
    void DrawBatch() override;

    // Read access for tests and the scene.
    uint32_t ClearColorValue() const { return clearColor_; }  // A, R, G, B from high byte to low
    const Matrix4& Modelview() const { return modelview_; }
    int32_t BatchSize() const { return static_cast<int32_t>(batch_.size()); }
    int32_t BatchesDrawn() const { return batchesDrawn_; }
    // The pixels [left, right) of row y that drawing wrote since the last ResetTouched (left >=
    // right when none), so that a caller can limit work on the colour buffer to what changed.
    void TouchedSpan(int32_t y, int32_t* left, int32_t* right) const {
        const bool known = y >= 0 && size_t(y) < touchedLeft_.size();
        *left = known ? touchedLeft_[size_t(y)] : 0;
        *right = known ? touchedRight_[size_t(y)] : 0;
    }
    void ResetTouched();
    // While set, drawing only records the spans it would write and leaves the pixels alone.
    void SetMeasureOnly(bool on) { measureOnly_ = on; }
    // Draws only rows [top, end) of the viewport, the colour buffer then holding just those rows
    // (row y at y - top), so that a frame can be drawn band by band through a buffer that stays
    // in the cache. Every pixel comes out as it would without the window. Ignored unless
    // 0 <= top < end <= viewport height; ClearRowWindow returns to the whole viewport.
    void SetRowWindow(int32_t top, int32_t end);
    void ClearRowWindow() { windowTop_ = 0, windowEnd_ = -1; }

private:
    // The projection the rasterizer was last built for: bounds changed outside projection mode
    // take effect at the next Viewport.
    struct Projection {
        bool perspective = false;
        double scale = 0;              // pixels per eye unit (at depth near in perspective)
        double centreX = 0, centreY = 0;  // pixels
        double nearZ = 1, farZ = 10;
    };
    struct PolygonStyle;

    // Clears the last error; inside Begin/End reports an invalid operation and returns false.
    bool Enter();
    void Fail(int32_t code) { lastError_ = code; }
    void SetCap(int32_t cap, bool on);
    void SetColor(uint32_t argb);
    void MultiplyModelview(const Matrix4& n);
    void SetProjection(bool perspective, double left, double right, double bottom, double top, double nearZ,
                       double farZ);
    void RebuildRasterizer();
    uint32_t* Colour() const { return callerColour_ ? callerColour_ : ownedColour_.empty() ? nullptr : ownedColour_.data(); }

    // Drawing (DeviceRaster.cpp).
    void LightColour(const uint8_t material[3], const Vec3& normal, uint8_t out[3]) const;
    void DrawTriangle(DeviceTriangle& tri);
    void FillPolygon(const ScreenVertex* v, int n, const PolygonStyle& style);

    int32_t lastError_ = DEV_NO_ERROR;
    // Projection bounds as given, and whether the next rebuild makes it perspective.
    double left_ = -1, right_ = 1, bottom_ = -1, top_ = 1, near_ = 1, far_ = 10;
    bool perspective_ = false;
    Projection projection_;
    int32_t viewportWidth_ = 256, viewportHeight_ = 256;
    Vec3 normal_{0, 0, 1};
    float s_ = 0, t_ = 0;
    uint32_t colour_ = 0xFFFFFFFFu;  // A, R, G, B from high byte to low
    uint32_t clearColor_ = 0;
    int32_t matrixMode_ = DEV_MODELVIEW;
    Matrix4 modelview_;
    bool inBegin_ = false;
    bool depthTest_ = false, cullFace_ = false, alphaTest_ = false, alphaBlend_ = false, texturing_ = false,
         lighting_ = false;
    int32_t shadeModel_ = 0;  // 0 flat, 1 smooth
    int32_t frontFace_ = DEV_FRONT_POSITIVE;
    std::array<std::unique_ptr<DeviceTexture>, kTextureSlots> textures_;
    int32_t boundTexture_ = 0;
    std::vector<DeviceTriangle> batch_;
    DeviceVertex pending_[3];
    int32_t pendingCount_ = 0;
    int32_t batchesDrawn_ = 0;
    mutable std::vector<uint32_t> ownedColour_;
    uint32_t* callerColour_ = nullptr;
    std::vector<int32_t> depth_;  // allocated on the first depth-tested draw; 0 after Clear
    std::vector<int32_t> rowLeft_, rowRight_;  // the edge buffer: covered pixels per row
    std::vector<int32_t> touchedLeft_, touchedRight_;  // written pixels per row since ResetTouched
    std::array<DeviceLight, kLights> lights_;
    bool yuvOutput_ = false;
    bool measureOnly_ = false;
    int32_t windowTop_ = 0, windowEnd_ = -1;  // rows drawn, when windowEnd_ > windowTop_
};

}  // namespace qel
