// A scene of textured boxes drawn in perspective through the software 3D device: an effect
// builds a box mesh, puts an image on its front face, adds it, turns it, and has the scene draw
// it over a frame image. Triangles are drawn from far to near (the device's depth test stays off)
// and the frame can be drawn at twice its width and height and averaged down, band by band.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "render3d/Matrix4.h"
#include "render3d/SoftwareDevice3D.h"

namespace qel {

struct MeshVertex {
    float x, y, z;  // object space
    float s, t;     // texture coordinates, 0 .. 1 across the image
};

struct MeshTriangle {
    MeshVertex v[3];
    bool textured = false;
    int32_t textureWidth = 0, textureHeight = 0;  // texels
    const uint8_t* texturePixels = nullptr;       // 32-bit B, G, R, A, stride width x 4, not owned
    int32_t r = 0, g = 0, b = 0;                  // 0 .. 255
};

struct Mesh {
    std::vector<MeshTriangle> triangles;
};

struct SceneVertex {
    Vec3 position;     // object space
    Vec3 transformed;  // by the object's matrix, per frame
    float s, t;        // texture coordinates as handed to the device
};

struct SceneTriangle {
    uint8_t colour[3];  // B, G, R
    int32_t textureId;  // device texture, 0 for none
    int32_t vertex[3];  // into the object's vertices
    float depthMin, depthMax;  // transformed z, per frame
    Vec3 normal;               // unit face normal in object space
};

struct SceneObject {
    Matrix4 matrix;
    std::vector<SceneTriangle> triangles;
    std::vector<SceneVertex> vertices;
};

class Scene3D {
public:
    static constexpr int32_t kMaxObjects = 400;

    Scene3D();
    ~Scene3D();
    Scene3D(const Scene3D&) = delete;
    Scene3D& operator=(const Scene3D&) = delete;

    // Sets the scene up for frames of width x height pixels, drawn at twice the size and averaged
    // down when supersample is set. An initialised scene is emptied first. False when the device
    // cannot be made or the frame (doubled when supersampling) is empty or beyond the device's
    // largest viewport.
    bool Init(int32_t width, int32_t height, bool supersample);

    // 12 untextured triangles of colour (r, g, b), two per face of the box x0..x1, y0..y1,
    // z0..z1; the first two form the face z = z0. Null when memory runs out.
    static std::unique_ptr<Mesh> CreateBoxMesh(float z0, float z1, float y0, float y1, float x0, float x1,
                                               int32_t r, int32_t g, int32_t b);
    // Textures the front face (the first two triangles) of a 12-triangle box with the image;
    // (s0, t0) goes to the corner (x1, y0), (s1, t1) to (x0, y0), (s2, t2) to (x1, y1) and
    // (s3, t3) to (x0, y1).
    static void SetFaceTexture(Mesh& mesh, const uint8_t* pixels, int32_t width, int32_t height, float s0, float t0,
                               float s1, float t1, float s2, float t2, float s3, float t3);
    // The new object's number (from 1), or 0 when the scene is full, not initialised, the mesh
    // empty or memory short. Images seen before (same pixels and size) reuse their texture.
    int32_t AddMesh(const Mesh& mesh);

    // Prepares a frame drawn over pixels (width x height, stride width x 4, the size given to
    // Init; another size draws nothing).
    void SetTarget(uint8_t* pixels, int32_t width, int32_t height);
    // Object n (from 1; other n are ignored): identity, or turned by angle radians about (x, y, z).
    void ResetObject(int32_t n);
    void RotateObject(int32_t n, float angle, float x, float y, float z);
    // The frame, in this order.
    void TransformObjects();
    void CollectTriangles();
    void SortTriangles();
    void Draw();

    // Empties the scene: textures deleted, objects and the draw list freed, cache emptied, not
    // initialised.
    void Release();

    // Sorting rule: negative when a draws before b (it is farther), positive when after, 0 when
    // neither. Larger z is nearer.
    static int CompareDepth(const SceneTriangle& a, const SceneTriangle& b);

    Device3D* Device() { return device_.get(); }
    bool Initialised() const { return initialised_; }
    int32_t ObjectCount() const { return static_cast<int32_t>(objects_.size()); }
    const SceneObject& Object(int32_t n) const { return objects_[static_cast<size_t>(n - 1)]; }
    // The draw list in drawing order after SortTriangles.
    const std::vector<const SceneTriangle*>& DrawList() const { return drawList_; }
    int32_t TextureCount() const { return static_cast<int32_t>(textureCache_.size()); }

private:
    struct DrawEntry {
        const SceneObject* object;
        const SceneTriangle* triangle;
    };
    void Submit();
    bool WrittenBlocks(size_t y, size_t* from, size_t* to) const;
    void Enlarge(int32_t top, int32_t rows);
    void Reduce(int32_t top, int32_t rows) const;

    std::vector<SceneObject> objects_;
    std::map<std::tuple<const uint8_t*, int32_t, int32_t>, int32_t> textureCache_;
    std::unique_ptr<SoftwareDevice3D> device_;
    bool initialised_ = false;
    bool supersample_ = false;
    // Target rows drawn at a time when supersampling: their doubled rows (2 x 2 x width x 32
    // pixels, 960 KiB for a 1920-pixel frame) stay in the cache from enlarging to reducing.
    static constexpr int32_t kBandRows = 32;
    std::vector<uint32_t> supersampleBuffer_;  // 2 x width x 2 x kBandRows pixels
    uint8_t* target_ = nullptr;
    int32_t width_ = 0, height_ = 0;
    std::vector<DrawEntry> drawEntries_;
    std::vector<const SceneTriangle*> drawList_;
    int32_t triangleCount_ = 0;
};

}  // namespace qel
