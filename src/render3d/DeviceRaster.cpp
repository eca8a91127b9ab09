// Drawing a batch of the software 3D device.
//
// Method. Each triangle's vertices go through the modelview into eye space (z negated, so depth
// grows away from the viewer), are tested for facing, clipped against the near plane into a
// polygon of up to four vertices, projected, and clipped to the viewport rectangle. Everything
// that varies across the polygon is then an affine function of the screen position: 1/z, s/z and
// t/z in perspective (s, t and 1 in orthographic projection), the depth key and, in smooth
// shading, the lit colour. Their gradients come once per polygon from its largest fan triangle.
// Rows are found through the edge buffer (the first and last covered pixel of every row, a pixel
// being covered when its centre lies in the polygon, left edges inclusive), and each span is
// filled in 16.16 fixed point: colour and depth step linearly, texture coordinates are divided
// out once per group of kTexGroup pixels with linear steps between (perspective-correct at the
// group ends). Texels are sampled nearest with wrap-around at the texture's own width and height,
// whatever they are: the images put on planes are frame-sized and rarely powers of two, and
// reading them as one texel column would lose them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/Filters.h"
#include "render3d/SoftwareDevice3D.h"

namespace qel {

namespace {

constexpr int kTexGroup = 16;  // pixels per perspective division
constexpr double kDepthOne = 1073741824.0;  // 2^30: the depth key of the near plane

// (i / 65536)^10 in 16.16, i = 0 .. 65536: the specular falloff.
const int32_t* SpecularTable() {
    static const std::vector<int32_t> table = [] {
        std::vector<int32_t> t(65537);
        for (size_t i = 0; i < t.size(); ++i) t[i] = int32_t(std::pow(double(i) / 65536.0, 10.0) * 65536.0);
        return t;
    }();
    return table.data();
}

enum Attr { kQ, kSQ, kTQ, kDepth, kR, kG, kB, kAttrs };

struct EyeVertex {
    double x, y, z, s, t, r, g, b;
};

}  // namespace

struct ScreenVertex {
    double x, y;
    double a[kAttrs];
};

struct SoftwareDevice3D::PolygonStyle {
    enum Kind { kFlat, kSmooth, kTextured } kind;
    uint32_t flatPixel;  // kFlat: the 32-bit value written
    const DeviceTexture* texture;
};

namespace {

EyeVertex Lerp(const EyeVertex& p, const EyeVertex& q, double f) {
    return {p.x + (q.x - p.x) * f, p.y + (q.y - p.y) * f, p.z + (q.z - p.z) * f, p.s + (q.s - p.s) * f,
            p.t + (q.t - p.t) * f, p.r + (q.r - p.r) * f, p.g + (q.g - p.g) * f, p.b + (q.b - p.b) * f};
}

ScreenVertex Lerp(const ScreenVertex& p, const ScreenVertex& q, double f) {
    ScreenVertex r;
    r.x = p.x + (q.x - p.x) * f;
    r.y = p.y + (q.y - p.y) * f;
    for (int k = 0; k < kAttrs; ++k) r.a[k] = p.a[k] + (q.a[k] - p.a[k]) * f;
    return r;
}

// One Sutherland-Hodgman pass keeping the side where value(v) >= limit (or <= when !keepAbove).
template <typename V, typename F>
int ClipPass(const V* in, int n, V* out, F value, double limit, bool keepAbove) {
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const V& p = in[i];
        const V& q = in[(i + 1) % n];
        const double vp = value(p) - limit, vq = value(q) - limit;
        const bool pin = keepAbove ? vp >= 0 : vp <= 0;
        const bool qin = keepAbove ? vq >= 0 : vq <= 0;
        if (pin) out[m++] = p;
        if (pin != qin) out[m++] = Lerp(p, q, vp / (vp - vq));
    }
    return m;
}

// Wraps a texel coordinate into 0 .. size - 1.
inline int64_t Wrap(int64_t c, int64_t size) {
    c %= size;
    return c < 0 ? c + size : c;
}

inline uint8_t Channel(int64_t v16) { return uint8_t(std::clamp<int64_t>(v16 >> 16, 0, 255)); }

}  // namespace

void SoftwareDevice3D::LightColour(const uint8_t material[3], const Vec3& n, uint8_t out[3]) const {
    const int32_t* specular = SpecularTable();
    int32_t acc[3] = {0, 0, 0};  // 16.16
    for (const DeviceLight& l : lights_) {
        if (!l.enabled) continue;
        const float nl = n.x * l.direction.x + n.y * l.direction.y + n.z * l.direction.z;
        // Written so that a NaN from a non-finite normal gives no light instead of an undefined
        // conversion.
        const float d = -nl > 0 ? std::min(-nl, 1.0f) : 0.0f;
        const int32_t d16 = int32_t(d * 65536.0f);
        int32_t index = 0;
        if (d > 0) {
            // The light reflected off the surface, and how much of it travels towards the viewer
            // (who looks along +z in this space).
            const float rz = l.direction.z - 2 * nl * n.z;
            index = -rz > 0 ? int32_t(std::min(-rz, 1.0f) * 65536.0f) : 0;
        }
        for (int c = 0; c < 3; ++c) {
            int64_t v = int64_t(material[c]) * (l.ambient[c] + ((int64_t(l.diffuse[c]) * d16) >> 16));
            if (d > 0) v += int64_t(l.specular[c]) * specular[index];
            acc[c] = int32_t(std::min<int64_t>(int64_t(acc[c]) + v, 0xff0000));
        }
    }
    for (int c = 0; c < 3; ++c) out[c] = uint8_t(acc[c] >> 16);
}

void SoftwareDevice3D::DrawBatch() {
    ++batchesDrawn_;
    for (DeviceTriangle& tri : batch_) {
        for (DeviceVertex& v : tri.v) {
            const Vec3 e = modelview_.TransformPoint(v.position);
            v.eye = {e.x, e.y, -e.z};
        }
        DrawTriangle(tri);
    }
    batch_.clear();
}

void SoftwareDevice3D::DrawTriangle(DeviceTriangle& tri) {
    uint32_t* colour = Colour();
    if (!colour || rowLeft_.empty() || viewportWidth_ == 0 || viewportHeight_ == 0) return;
    const Projection& pr = projection_;
    const Vec3& p0 = tri.v[0].eye;
    const Vec3& p1 = tri.v[1].eye;
    const Vec3& p2 = tri.v[2].eye;
    double facing;
    if (pr.perspective) {
        facing = double(p0.x) * (double(p1.y) * p2.z - double(p1.z) * p2.y) +
                 double(p0.y) * (double(p1.z) * p2.x - double(p1.x) * p2.z) +
                 double(p0.z) * (double(p1.x) * p2.y - double(p1.y) * p2.x);
    } else {
        facing = (double(p1.x) - p0.x) * (double(p2.y) - p0.y) - (double(p2.x) - p0.x) * (double(p1.y) - p0.y);
    }
    tri.back = !(facing >= 0);
    if (cullFace_ && (frontFace_ == DEV_FRONT_POSITIVE ? tri.back : !tri.back)) return;

    tri.zMin = 1e6f;
    tri.zMax = -1e6f;
    for (const DeviceVertex& v : tri.v) {
        tri.zMin = std::min(tri.zMin, std::min(v.eye.z, 1e6f));
        tri.zMax = std::max(tri.zMax, std::min(v.eye.z, 1e6f));
    }
    // A perspective divide needs a plane in front of the eye.
    const double nearZ = pr.perspective ? std::max(pr.nearZ, 1e-6) : pr.nearZ;
    if (!(tri.zMax > nearZ)) return;

    const bool textured = texturing_ && tri.texture;
    const bool smooth = !textured && shadeModel_ == 1;
    EyeVertex poly[4], in[3];
    for (int k = 0; k < 3; ++k) {
        const DeviceVertex& v = tri.v[k];
        in[k] = {v.eye.x, v.eye.y, v.eye.z, v.s, v.t, 0, 0, 0};
        if (smooth) {
            Vec3 n = v.normal;
            if (tri.back) n = {-n.x, -n.y, -n.z};
            uint8_t lit[3];
            LightColour(tri.base, n, lit);
            in[k].b = lit[0], in[k].g = lit[1], in[k].r = lit[2];
        }
    }
    const int n = ClipPass(in, 3, poly, [](const EyeVertex& v) { return v.z; }, nearZ, true);
    if (n < 3) return;

    PolygonStyle style{PolygonStyle::kFlat, 0, nullptr};
    if (textured) {
        style.kind = PolygonStyle::kTextured;
        style.texture = tri.texture;
    } else if (smooth) {
        style.kind = PolygonStyle::kSmooth;
    } else {
        if (lighting_) {
            Vec3 nrm = tri.v[0].normal;
            if (tri.back) nrm = {-nrm.x, -nrm.y, -nrm.z};
            LightColour(tri.base, nrm, tri.lit);
        }
        const int b = tri.lit[0], g = tri.lit[1], r = tri.lit[2];
        if (yuvOutput_ && !depthTest_) {
            int y, cb, cr;
            RgbToYcc(r, g, b, &y, &cb, &cr);
            style.flatPixel = uint32_t(cr & 0xFF) | uint32_t(cb & 0xFF) << 8 | uint32_t(y & 0xFF) << 16;
        } else {
            style.flatPixel = uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
        }
    }

    // Projection; the depth key grows towards the viewer.
    ScreenVertex sv[12], tmp[12];
    for (int k = 0; k < n; ++k) {
        const EyeVertex& e = poly[k];
        ScreenVertex& s = sv[k];
        double q = 1;
        if (pr.perspective) {
            q = 1 / e.z;
            s.x = pr.centreX + pr.scale * e.x * q;
            s.y = pr.centreY + pr.scale * e.y * q;
            s.a[kDepth] = q * nearZ * kDepthOne;
        } else {
            s.x = pr.centreX + pr.scale * e.x;
            s.y = pr.centreY + pr.scale * e.y;
            s.a[kDepth] = kDepthOne * 0.5 * (1 + (pr.farZ - e.z) / (pr.farZ - pr.nearZ));
        }
        if (!std::isfinite(s.x) || !std::isfinite(s.y)) return;
        s.a[kQ] = q;
        s.a[kSQ] = e.s * q;
        s.a[kTQ] = e.t * q;
        s.a[kR] = e.r, s.a[kG] = e.g, s.a[kB] = e.b;
    }
    // The viewport rectangle, one side at a time.
    int m = n;
    const double w = viewportWidth_, h = viewportHeight_;
    m = ClipPass(sv, m, tmp, [](const ScreenVertex& v) { return v.x; }, 0.0, true);
    m = ClipPass(tmp, m, sv, [](const ScreenVertex& v) { return v.x; }, w, false);
    m = ClipPass(sv, m, tmp, [](const ScreenVertex& v) { return v.y; }, 0.0, true);
    m = ClipPass(tmp, m, sv, [](const ScreenVertex& v) { return v.y; }, h, false);
    if (m < 3) return;
    FillPolygon(sv, m, style);
}

void SoftwareDevice3D::FillPolygon(const ScreenVertex* v, int n, const PolygonStyle& style) {
    // Gradients from the fan triangle of largest area.
    int best = 1;
    double bestDet = 0;
    for (int k = 1; k + 1 < n; ++k) {
        const double det = (v[k].x - v[0].x) * (v[k + 1].y - v[0].y) - (v[k + 1].x - v[0].x) * (v[k].y - v[0].y);
        if (std::abs(det) > std::abs(bestDet)) bestDet = det, best = k;
    }
    if (std::abs(bestDet) < 1e-9) return;  // no area
    const ScreenVertex& a = v[0];
    const ScreenVertex& p1 = v[best];
    const ScreenVertex& p2 = v[best + 1];
    const double d1x = p1.x - a.x, d1y = p1.y - a.y, d2x = p2.x - a.x, d2y = p2.y - a.y;
    double ddx[kAttrs], ddy[kAttrs];
    for (int k = 0; k < kAttrs; ++k) {
        const double da1 = p1.a[k] - a.a[k], da2 = p2.a[k] - a.a[k];
        // A sliver barely wider than nothing has enormous gradients; held to a bound, they keep
        // the fixed-point steps over a whole row within 64 bits (such a sliver covers at most a
        // few pixels).
        ddx[k] = std::clamp((da1 * d2y - da2 * d1y) / bestDet, -1e12, 1e12);
        ddy[k] = std::clamp((da2 * d1x - da1 * d2x) / bestDet, -1e12, 1e12);
    }

    // Edge buffer: for each row, the covered pixels [rowLeft, rowRight).
    const int32_t width = viewportWidth_, height = viewportHeight_;
    double yMin = v[0].y, yMax = v[0].y;
    for (int k = 1; k < n; ++k) yMin = std::min(yMin, v[k].y), yMax = std::max(yMax, v[k].y);
    const bool windowed = windowEnd_ > windowTop_;
    const int32_t firstRow = windowed ? windowTop_ : 0, lastRow = windowed ? windowEnd_ : height;
    const int32_t rowTop = std::clamp(int32_t(std::ceil(yMin - 0.5)), firstRow, lastRow);
    const int32_t rowEnd = std::clamp(int32_t(std::ceil(yMax - 0.5)), firstRow, lastRow);
    if (rowTop >= rowEnd) return;
    for (int32_t y = rowTop; y < rowEnd; ++y) rowLeft_[size_t(y)] = width, rowRight_[size_t(y)] = 0;
    for (int k = 0; k < n; ++k) {
        const ScreenVertex* p = &v[k];
        const ScreenVertex* q = &v[(k + 1) % n];
        if (p->y == q->y) continue;
        if (p->y > q->y) std::swap(p, q);
        const int32_t y0 = std::clamp(int32_t(std::ceil(p->y - 0.5)), rowTop, rowEnd);
        const int32_t y1 = std::clamp(int32_t(std::ceil(q->y - 0.5)), rowTop, rowEnd);
        const double dxdy = (q->x - p->x) / (q->y - p->y);
        for (int32_t y = y0; y < y1; ++y) {
            const double x = p->x + (y + 0.5 - p->y) * dxdy;
            const int32_t xi = std::clamp(int32_t(std::ceil(x - 0.5)), 0, width);
            rowLeft_[size_t(y)] = std::min(rowLeft_[size_t(y)], xi);
            rowRight_[size_t(y)] = std::max(rowRight_[size_t(y)], xi);
        }
    }

    if (depthTest_ && depth_.size() != size_t(width) * size_t(height)) {
        try {
            depth_.assign(size_t(width) * size_t(height), 0);
        } catch (const std::bad_alloc&) {
            depth_.clear();
            return;
        }
    }
    uint32_t* colour = Colour();
    const bool depthTest = depthTest_;
    const int64_t dDepth = std::llround(ddx[kDepth]);
    const DeviceTexture* tex = style.texture;
    for (int32_t y = rowTop; y < rowEnd; ++y) {
        const int32_t xs = rowLeft_[size_t(y)], xe = rowRight_[size_t(y)];
        if (xs >= xe) continue;
        touchedLeft_[size_t(y)] = std::min(touchedLeft_[size_t(y)], xs);
        touchedRight_[size_t(y)] = std::max(touchedRight_[size_t(y)], xe);
        if (measureOnly_) continue;
        const double px = xs + 0.5 - a.x, py = y + 0.5 - a.y;
        auto at = [&](int k) { return a.a[k] + ddx[k] * px + ddy[k] * py; };
        uint32_t* row = colour + size_t(y - firstRow) * size_t(width);
        int32_t* depthRow = depthTest ? depth_.data() + size_t(y) * size_t(width) : nullptr;
        int64_t depth = std::llround(std::clamp(at(kDepth), -1e17, 1e17));
        // Depth test: write where the key is greater than the stored one, and store it.
        auto passDepth = [&](int32_t x) {
            if (!depthTest) return true;
            const int32_t key = int32_t(std::clamp<int64_t>(depth, 0, INT32_MAX));
            if (key <= depthRow[x]) return false;
            depthRow[x] = key;
            return true;
        };
        if (style.kind == PolygonStyle::kFlat) {
            if (!depthTest) {
                std::fill(row + xs, row + xe, style.flatPixel);
                continue;
            }
            for (int32_t x = xs; x < xe; ++x, depth += dDepth) {
                if (passDepth(x)) row[x] = style.flatPixel;
            }
        } else if (style.kind == PolygonStyle::kSmooth) {
            // Colour channels in 16.16; values far outside 0..255 only saturate.
            auto fixed = [](double c) { return std::llround(std::clamp(c, -1e6, 1e6) * 65536); };
            int64_t r = fixed(at(kR)), g = fixed(at(kG)), b = fixed(at(kB));
            const int64_t dr = fixed(ddx[kR]), dg = fixed(ddx[kG]), db = fixed(ddx[kB]);
            for (int32_t x = xs; x < xe; ++x, depth += dDepth, r += dr, g += dg, b += db) {
                if (!passDepth(x)) continue;
                row[x] = (row[x] & 0xFF000000u) | uint32_t(Channel(r)) << 16 | uint32_t(Channel(g)) << 8 |
                         Channel(b);
            }
        } else {
            const int64_t tw = tex->width, th = tex->height;
            const bool pow2 = (tw & (tw - 1)) == 0 && (th & (th - 1)) == 0;
            const uint32_t* texels = reinterpret_cast<const uint32_t*>(tex->pixels);
            const bool plainCopy = !depthTest && !alphaBlend_ && !alphaTest_;
            double q = at(kQ), sq = at(kSQ), tq = at(kTQ);
            // Texel coordinates of the pixel centre at (x + 0.5) in 16.16.
            auto texel = [&](double qq, double ss, double tt, int64_t* u, int64_t* vv) {
                const double inv = qq != 0 ? 1 / qq : 0;
                // Non-finite texture coordinates sample the first texel.
                const double uRaw = ss * inv * double(tw), vRaw = tt * inv * double(th);
                const double uf = std::isfinite(uRaw) ? std::clamp(uRaw, -1e12, 1e12) : 0.0;
                const double vf = std::isfinite(vRaw) ? std::clamp(vRaw, -1e12, 1e12) : 0.0;
                *u = int64_t(std::floor(uf * 65536));
                *vv = int64_t(std::floor(vf * 65536));
            };
            int64_t u0, v0;
            texel(q, sq, tq, &u0, &v0);
            // Where 1/z hardly changes along the span (a plane turned about the x axis only, or
            // orthographic projection), the coordinates are affine in x: one group spans it all.
            const bool affine = std::abs(ddx[kQ] * (xe - xs)) <= 1e-7 * std::abs(q);
            const int32_t group = affine ? xe - xs : kTexGroup;
            for (int32_t gx = xs; gx < xe; gx += group) {
                const int32_t count = std::min(group, xe - gx);
                q += ddx[kQ] * count, sq += ddx[kSQ] * count, tq += ddx[kTQ] * count;
                int64_t u1, v1;
                texel(q, sq, tq, &u1, &v1);
                const int64_t du = (u1 - u0) / count, dv = (v1 - v0) / count;
                // Start the group inside the texture so most pixels need no wrap.
                int64_t u = (Wrap(u0 >> 16, tw) << 16) | (u0 & 0xFFFF);
                int64_t vv = (Wrap(v0 >> 16, th) << 16) | (v0 & 0xFFFF);
                u0 = u1, v0 = v1;
                if (plainCopy) {
                    // Texels written as they are: the common case, kept free of per-pixel tests.
                    // Coordinates are linear in the group, so when its first and last pixel fall
                    // inside the texture every pixel does, and none needs the wrap.
                    const int64_t uLast = (u + du * (count - 1)) >> 16, vLast = (vv + dv * (count - 1)) >> 16;
                    if (uLast >= 0 && uLast < tw && vLast >= 0 && vLast < th) {
                        for (int32_t x = gx; x < gx + count; ++x, u += du, vv += dv) {
                            row[x] = texels[size_t(vv >> 16) * size_t(tw) + size_t(u >> 16)];
                        }
                        continue;
                    }
                    for (int32_t x = gx; x < gx + count; ++x, u += du, vv += dv) {
                        int64_t col = u >> 16, line = vv >> 16;
                        if (uint64_t(col) >= uint64_t(tw)) col = Wrap(col, tw);
                        if (uint64_t(line) >= uint64_t(th)) line = Wrap(line, th);
                        row[x] = texels[size_t(line) * size_t(tw) + size_t(col)];
                    }
                    continue;
                }
                for (int32_t x = gx; x < gx + count; ++x, u += du, vv += dv, depth += dDepth) {
                    int64_t col = u >> 16, line = vv >> 16;
                    if (pow2) {
                        col &= tw - 1;
                        line &= th - 1;
                    } else {
                        if (uint64_t(col) >= uint64_t(tw)) col = Wrap(col, tw);
                        if (uint64_t(line) >= uint64_t(th)) line = Wrap(line, th);
                    }
                    if (!passDepth(x)) continue;
                    const uint32_t t = texels[size_t(line) * size_t(tw) + size_t(col)];
                    if (alphaBlend_) {
                        const int32_t alpha = int32_t(t >> 24);
                        if (alpha <= 1) continue;
                        // d' = d + (t - d) * (alpha / 2) / 128, per byte, alpha included
                        const uint32_t d = row[x];
                        uint32_t out = 0;
                        for (int sh = 0; sh < 32; sh += 8) {
                            const int32_t db = int32_t(d >> sh & 0xFF), tb = int32_t(t >> sh & 0xFF);
                            out |= uint32_t(db + (((tb - db) * (alpha >> 1)) >> 7)) << sh;
                        }
                        row[x] = out;
                    } else if (!alphaTest_ || (t >> 24) >= 128) {
                        row[x] = t;
                    }
                }
            }
        }
    }
}

}  // namespace qel
