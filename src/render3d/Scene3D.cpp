#include "render3d/Scene3D.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace qel {

Scene3D::Scene3D() = default;

Scene3D::~Scene3D() { Release(); }

bool Scene3D::Init(int32_t width, int32_t height, bool supersample) {
    width_ = width;
    height_ = height;
    if (!device_) {
        device_.reset(new (std::nothrow) SoftwareDevice3D);
        if (!device_) {
            Release();
            return false;
        }
    }
    if (initialised_) Release();
    // Both sides are checked before any size is multiplied, so that a doubled frame can neither
    // overflow nor exceed what the device draws.
    const int32_t factor = supersample ? 2 : 1;
    if (width <= 0 || height <= 0 || width > kMaxViewportSide / factor || height > kMaxViewportSide / factor) {
        return false;
    }
    initialised_ = true;
    supersample_ = supersample;
    objects_.clear();
    drawList_.clear();
    drawEntries_.clear();
    triangleCount_ = 0;
    supersampleBuffer_.clear();
    supersampleBuffer_.shrink_to_fit();
    device_->Viewport(0, 0, width * factor, height * factor);
    if (device_->GetError() != DEV_NO_ERROR) {
        initialised_ = false;
        return false;
    }
    if (supersample) {
        try {
            supersampleBuffer_.assign(size_t(width) * 2 * size_t(std::min(height, kBandRows)) * 2, 0);
        } catch (const std::bad_alloc&) {
            initialised_ = false;
            return false;
        }
    }
    Device3D& d = *device_;
    d.Enable(DEV_TEXTURE_2D);
    d.Enable(DEV_CULL_FACE);
    d.FrontFace(DEV_FRONT_NEGATIVE);
    d.Disable(DEV_DEPTH_TEST);
    d.ShadeModel(0);
    d.Enable(DEV_LIGHTING);
    d.Enable(DEV_LIGHT0);
    const float ambient[4] = {0.1f, 0.1f, 0.1f, 1}, diffuse[4] = {1, 1, 1, 1}, specular[4] = {0, 0, 0, 1},
                direction[4] = {0, -0.5f, 1, 0};
    d.Lightfv(DEV_LIGHT0, DEV_AMBIENT, ambient);
    d.Lightfv(DEV_LIGHT0, DEV_DIFFUSE, diffuse);
    d.Lightfv(DEV_LIGHT0, DEV_SPECULAR, specular);
    d.Lightfv(DEV_LIGHT0, DEV_POSITION, direction);
    return true;
}

std::unique_ptr<Mesh> Scene3D::CreateBoxMesh(float z0, float z1, float y0, float y1, float x0, float x1, int32_t r,
                                             int32_t g, int32_t b) {
    std::unique_ptr<Mesh> mesh(new (std::nothrow) Mesh);
    if (!mesh) return nullptr;
    const float corners[12][3][3] = {
        {{x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}}, {{x0, y1, z0}, {x0, y0, z0}, {x1, y0, z0}},
        {{x0, y0, z1}, {x0, y1, z1}, {x1, y1, z1}}, {{x1, y1, z1}, {x1, y0, z1}, {x0, y0, z1}},
        {{x1, y0, z1}, {x1, y0, z0}, {x0, y0, z0}}, {{x0, y0, z0}, {x0, y0, z1}, {x1, y0, z1}},
        {{x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}}, {{x0, y1, z1}, {x0, y1, z0}, {x1, y1, z0}},
        {{x1, y0, z1}, {x1, y1, z1}, {x1, y1, z0}}, {{x1, y1, z0}, {x1, y0, z0}, {x1, y0, z1}},
        {{x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}}, {{x0, y1, z1}, {x0, y0, z1}, {x0, y0, z0}},
    };
    try {
        mesh->triangles.resize(12);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (size_t i = 0; i < 12; ++i) {
        MeshTriangle& t = mesh->triangles[i];
        for (int k = 0; k < 3; ++k) t.v[k] = {corners[i][k][0], corners[i][k][1], corners[i][k][2], 0, 0};
        t.r = r, t.g = g, t.b = b;
    }
    return mesh;
}

void Scene3D::SetFaceTexture(Mesh& mesh, const uint8_t* pixels, int32_t width, int32_t height, float s0, float t0,
                             float s1, float t1, float s2, float t2, float s3, float t3) {
    if (mesh.triangles.size() != 12) return;
    // The front face's corners in the order CreateBoxMesh lists them: (x1, y0), (x1, y1), (x0, y1)
    // and (x0, y1), (x0, y0), (x1, y0).
    const float st[2][3][2] = {{{s0, t0}, {s2, t2}, {s3, t3}}, {{s3, t3}, {s1, t1}, {s0, t0}}};
    for (int i = 0; i < 2; ++i) {
        MeshTriangle& t = mesh.triangles[size_t(i)];
        t.textured = true;
        t.texturePixels = pixels;
        t.textureWidth = width;
        t.textureHeight = height;
        for (int k = 0; k < 3; ++k) t.v[k].s = st[i][k][0], t.v[k].t = st[i][k][1];
    }
}

int32_t Scene3D::AddMesh(const Mesh& mesh) {
    if (!initialised_ || !device_ || objects_.size() >= size_t(kMaxObjects) || mesh.triangles.empty()) return 0;
    try {
        objects_.reserve(size_t(kMaxObjects));  // object addresses stay put for the draw list
        SceneObject object;
        object.triangles.resize(mesh.triangles.size());
        object.vertices.resize(mesh.triangles.size() * 3);
        for (size_t i = 0; i < mesh.triangles.size(); ++i) {
            const MeshTriangle& m = mesh.triangles[i];
            SceneTriangle& t = object.triangles[i];
            t.colour[0] = uint8_t(m.b), t.colour[1] = uint8_t(m.g), t.colour[2] = uint8_t(m.r);
            t.textureId = 0;
            const bool textured = m.textured && m.texturePixels && m.textureWidth > 0 && m.textureHeight > 0;
            if (textured) {
                const auto key = std::make_tuple(m.texturePixels, m.textureWidth, m.textureHeight);
                const auto found = textureCache_.find(key);
                if (found != textureCache_.end()) {
                    t.textureId = found->second;
                } else {
                    int32_t id = 0;
                    device_->GenTextures(1, &id);
                    // With every texture slot in use the triangle is drawn in its colour.
                    if (device_->GetError() == DEV_NO_ERROR) {
                        device_->BindTexture(DEV_TEXTURE_2D, id);
                        device_->TexImage2D(DEV_TEXTURE_2D, 0, DEV_TEX_INTERNAL, m.textureWidth, m.textureHeight, 0,
                                            DEV_PIXEL_FORMAT, DEV_PIXEL_TYPE, m.texturePixels);
                        textureCache_.emplace(key, id);
                        t.textureId = id;
                    }
                }
            }
            // Texture coordinates are pulled in by one texel so that 1 lands on the last one.
            const float ss = textured ? float(m.textureWidth - 1) / float(m.textureWidth) : 0;
            const float ts = textured ? float(m.textureHeight - 1) / float(m.textureHeight) : 0;
            for (int k = 0; k < 3; ++k) {
                SceneVertex& v = object.vertices[i * 3 + size_t(k)];
                v.position = {m.v[k].x, m.v[k].y, m.v[k].z};
                v.transformed = v.position;
                v.s = textured ? m.v[k].s * ss : 0;
                v.t = textured ? m.v[k].t * ts : 0;
                t.vertex[k] = int32_t(i * 3) + k;
            }
            const Vec3 p = object.vertices[i * 3].position, q = object.vertices[i * 3 + 1].position,
                       r = object.vertices[i * 3 + 2].position;
            const Vec3 a{q.x - p.x, q.y - p.y, q.z - p.z}, b{r.x - q.x, r.y - q.y, r.z - q.z};
            const Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
            const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            t.normal = len > 0.0001f ? Vec3{n.x / len, n.y / len, n.z / len} : Vec3{0, 0, 1};
        }
        objects_.push_back(std::move(object));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    triangleCount_ += static_cast<int32_t>(mesh.triangles.size());
    return static_cast<int32_t>(objects_.size());
}

void Scene3D::SetTarget(uint8_t* pixels, int32_t width, int32_t height) {
    if (!initialised_ || !device_) return;
    // The device draws width_ x height_ (doubled) pixels: any other target would be written
    // beyond its end.
    target_ = width == width_ && height == height_ ? pixels : nullptr;
    device_->SetColorBuffer(supersample_ ? reinterpret_cast<uint8_t*>(supersampleBuffer_.data()) : target_);
    device_->MatrixMode(DEV_PROJECTION);
    device_->LoadIdentity();
    const double aspect = double(height_) / double(width_);
    device_->Frustum(-0.5, 0.5, -0.5 * aspect, 0.5 * aspect, 1, 500);
}

void Scene3D::ResetObject(int32_t n) {
    if (n < 1 || n > ObjectCount()) return;
    objects_[size_t(n - 1)].matrix.SetIdentity();
}

void Scene3D::RotateObject(int32_t n, float angle, float x, float y, float z) {
    if (n < 1 || n > ObjectCount()) return;
    Matrix4& m = objects_[size_t(n - 1)].matrix;
    Matrix4 rotation, product;
    rotation.SetRotation(angle, x, y, z);
    Matrix4::Multiply(product, m, rotation);
    m.CopyFrom(product);
}

void Scene3D::TransformObjects() {
    for (SceneObject& o : objects_) {
        for (SceneVertex& v : o.vertices) v.transformed = o.matrix.TransformPoint(v.position);
    }
}

void Scene3D::CollectTriangles() {
    drawEntries_.clear();
    drawList_.clear();
    try {
        drawEntries_.reserve(size_t(triangleCount_));
        drawList_.reserve(size_t(triangleCount_));
    } catch (const std::bad_alloc&) {
        return;  // the frame is skipped
    }
    for (SceneObject& o : objects_) {
        for (SceneTriangle& t : o.triangles) {
            t.depthMin = 1e6f;
            t.depthMax = -1e6f;
            for (int32_t k : t.vertex) {
                const float z = std::min(o.vertices[size_t(k)].transformed.z, 1e6f);
                t.depthMin = std::min(t.depthMin, z);
                t.depthMax = std::max(t.depthMax, z);
            }
            drawEntries_.push_back({&o, &t});
        }
    }
}

int Scene3D::CompareDepth(const SceneTriangle& a, const SceneTriangle& b) {
    if (a.depthMin >= b.depthMax) return 1;
    if (a.depthMax <= b.depthMin) return -1;
    const float sa = a.depthMin + a.depthMax, sb = b.depthMin + b.depthMax;
    return sa > sb ? 1 : sa < sb ? -1 : 0;
}

// A merge sort: the depth rule is not a strict weak ordering (two triangles of zero depth range
// at the same depth each come after the other), and a merge of runs stays within the list and
// terminates whatever the rule answers, which a library sort does not promise.
void Scene3D::SortTriangles() {
    std::vector<DrawEntry>& list = drawEntries_;
    std::vector<DrawEntry> buffer;
    try {
        buffer.resize(list.size());
    } catch (const std::bad_alloc&) {
        return;
    }
    for (size_t width = 1; width < list.size(); width *= 2) {
        for (size_t lo = 0; lo < list.size(); lo += 2 * width) {
            const size_t mid = std::min(lo + width, list.size()), hi = std::min(lo + 2 * width, list.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) {
                buffer[k++] = CompareDepth(*list[j].triangle, *list[i].triangle) < 0 ? list[j++] : list[i++];
            }
            while (i < mid) buffer[k++] = list[i++];
            while (j < hi) buffer[k++] = list[j++];
        }
        list.swap(buffer);
    }
    drawList_.clear();
    for (const DrawEntry& e : list) drawList_.push_back(e.triangle);
}

void Scene3D::Draw() {
    if (!initialised_ || !device_ || !target_) return;
    device_->ResetTouched();
    if (!supersample_) {
        Submit();
        return;
    }
    for (int32_t top = 0; top < height_; top += kBandRows) {
        const int32_t rows = std::min(kBandRows, height_ - top);
        device_->SetRowWindow(2 * top, 2 * (top + rows));
        device_->ResetTouched();
        // Only the blocks that drawing writes are enlarged and reduced: the others would come
        // back as they are. A first pass finds them without writing.
        device_->SetMeasureOnly(true);
        Submit();
        device_->SetMeasureOnly(false);
        Enlarge(top, rows);
        Submit();
        Reduce(top, rows);
    }
    device_->ClearRowWindow();
}

void Scene3D::Submit() {
    Device3D& d = *device_;
    d.MatrixMode(DEV_MODELVIEW);
    d.LoadIdentity();
    d.Translated(0, 0, -4);
    int32_t bound = 0;
    d.BindTexture(DEV_TEXTURE_2D, 0);
    d.Begin(DEV_TRIANGLES);
    for (const DrawEntry& e : drawEntries_) {
        const SceneTriangle& t = *e.triangle;
        if (t.textureId != bound) {
            d.End();
            bound = t.textureId;
            d.BindTexture(DEV_TEXTURE_2D, bound);
            d.Begin(DEV_TRIANGLES);
        }
        d.Color3ub(t.colour[2], t.colour[1], t.colour[0]);
        const float normal[3] = {t.normal.x, t.normal.y, t.normal.z};
        d.Normal3fv(normal);
        for (int32_t k : t.vertex) {
            const SceneVertex& v = e.object->vertices[size_t(k)];
            d.TexCoord2d(v.s, v.t);
            const float p[3] = {v.transformed.x, v.transformed.y, v.transformed.z};
            d.Vertex3fv(p);
        }
    }
    d.End();
}

// The target pixels under the blocks a row pair of the supersample buffer has written.
bool Scene3D::WrittenBlocks(size_t y, size_t* from, size_t* to) const {
    int32_t l0, r0, l1, r1;
    device_->TouchedSpan(int32_t(2 * y), &l0, &r0);
    device_->TouchedSpan(int32_t(2 * y + 1), &l1, &r1);
    const int32_t left = std::min(l0, l1), right = std::max(r0, r1);
    if (left >= right) return false;
    *from = size_t(left / 2);
    *to = std::min(size_t(width_), size_t(right + 1) / 2);
    return true;
}

// Each target pixel of rows [top, top + rows) under a written block becomes a 2 x 2 block of the
// band buffer, stored as two pixel pairs.
void Scene3D::Enlarge(int32_t top, int32_t rows) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(target_);
    uint32_t* dst = supersampleBuffer_.data();
    const size_t w = size_t(width_), w2 = 2 * w;
    for (size_t y = size_t(top); y < size_t(top + rows); ++y) {
        size_t from, to;
        if (!WrittenBlocks(y, &from, &to)) continue;
        const uint32_t* s = src + y * w;
        uint32_t* d0 = dst + 2 * (y - size_t(top)) * w2;
        uint32_t* d1 = d0 + w2;
        for (size_t x = from; x < to; ++x) {
            const uint64_t pair = uint64_t(s[x]) * 0x100000001ull;
            std::memcpy(d0 + 2 * x, &pair, 8);
            std::memcpy(d1 + 2 * x, &pair, 8);
        }
    }
}

// Each target byte is the average of its 2 x 2 block's bytes, truncated. Bytes 0 and 2, and 1
// and 3, are summed side by side in 16-bit lanes (four bytes sum to at most 1020). Blocks the
// device did not write would average back to their target pixel and are left out.
void Scene3D::Reduce(int32_t top, int32_t rows) const {
    uint32_t* dst = reinterpret_cast<uint32_t*>(target_);
    const uint32_t* src = supersampleBuffer_.data();
    const size_t w = size_t(width_), w2 = 2 * w;
    for (size_t y = size_t(top); y < size_t(top + rows); ++y) {
        size_t from, to;
        if (!WrittenBlocks(y, &from, &to)) continue;
        const uint32_t* r0 = src + 2 * (y - size_t(top)) * w2;
        const uint32_t* r1 = r0 + w2;
        uint32_t* d = dst + y * w;
        for (size_t x = from; x < to; ++x) {
            // A pixel pair of each row as one word: lanes hold bytes 0 and 2 (even) or 1 and 3
            // (odd) of the left pixel, then of the right one; adding the high half to the low
            // one completes the block's four-byte sums.
            uint64_t upper, lower;
            std::memcpy(&upper, r0 + 2 * x, 8);
            std::memcpy(&lower, r1 + 2 * x, 8);
            constexpr uint64_t kLanes = 0x00FF00FF00FF00FFull;
            uint64_t even = (upper & kLanes) + (lower & kLanes);
            uint64_t odd = (upper >> 8 & kLanes) + (lower >> 8 & kLanes);
            even += even >> 32;
            odd += odd >> 32;
            d[x] = uint32_t((even >> 2 & 0x00FF00FFu) | (odd >> 2 & 0x00FF00FFu) << 8);
        }
    }
}

void Scene3D::Release() {
    if (device_) {
        for (const SceneObject& o : objects_) {
            for (const SceneTriangle& t : o.triangles) {
                if (t.textureId != 0) device_->DeleteTextures(1, &t.textureId);
            }
        }
    }
    objects_.clear();
    objects_.shrink_to_fit();
    drawEntries_.clear();
    drawList_.clear();
    textureCache_.clear();
    triangleCount_ = 0;
    target_ = nullptr;
    initialised_ = false;
}

}  // namespace qel
