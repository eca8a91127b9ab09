// Plate images by signed distance.
//
// Every pixel centre is taken back into the box's own frame (turned back, then scaled back about
// the centre), where the signed distance d to the rounded box is exact: with q = |p| - (half size
// - r), d = length(max(q, 0)) + min(max(q.x, q.y), 0) - r (negative inside). Coverage is d measured
// in frame pixels through a one-pixel ramp, which anti-aliases edges and round corners alike
// whatever the turn. The outline is the ramp at the edge less the ramp one outline width further
// in; a wipe multiplies the same kind of ramp at the clip rectangle's edges. The shadow is the
// same coverage sampled at the offset, blurred as one colour, and the plate goes over it.
#include "render/PlateImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "render/Filters.h"
#include "render/Gradient.h"

namespace qel {
namespace {

constexpr double kPi = 3.14159265358979323846;

float Ramp(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Coverage of the plate at a pixel centre (ox, oy) from the box's centre, in frame pixels.
class PlateCoverage {
public:
    explicit PlateCoverage(const PlateShape& s) : s_(s) {
        const double a = -double(s.angle) * kPi / 180.0;
        c_ = float(std::cos(a));
        sn_ = float(std::sin(a));
        hw_ = s.width * 0.5f;
        hh_ = s.height * 0.5f;
        r_ = std::clamp(s.radius, 0.0f, std::min(hw_, hh_));
        k_ = std::min(std::fabs(s.scaleX), std::fabs(s.scaleY));
    }

    // The box point (u, v) from its top-left corner, unscaled, of the pixel centre (ox, oy).
    void BoxPoint(float ox, float oy, float* u, float* v) const {
        const float tu = c_ * ox - sn_ * oy, tv = sn_ * ox + c_ * oy;
        *u = tu / s_.scaleX + hw_;
        *v = tv / s_.scaleY + hh_;
    }

    // Outer coverage (edge) and inner coverage (inside the outline), clipped.
    void At(float ox, float oy, float* outer, float* inner, float* u, float* v) const {
        BoxPoint(ox, oy, u, v);
        const float qx = std::fabs(*u - hw_) - (hw_ - r_), qy = std::fabs(*v - hh_) - (hh_ - r_);
        const float mx = std::max(qx, 0.0f), my = std::max(qy, 0.0f);
        const float d = (std::sqrt(mx * mx + my * my) + std::min(std::max(qx, qy), 0.0f) - r_) * k_;
        const float clip = Ramp((*u - s_.clipLeft) * k_ + 0.5f) * Ramp((s_.clipRight - *u) * k_ + 0.5f) *
                           Ramp((*v - s_.clipTop) * k_ + 0.5f) * Ramp((s_.clipBottom - *v) * k_ + 0.5f);
        *outer = Ramp(0.5f - d) * clip;
        *inner = s_.border > 0 ? Ramp(0.5f - d - s_.border * k_) * clip : *outer;
    }

    // Half the extent of the turned, scaled box across and down.
    float ExtentX() const { return std::fabs(c_) * hw_ * std::fabs(s_.scaleX) + std::fabs(sn_) * hh_ * std::fabs(s_.scaleY); }
    float ExtentY() const { return std::fabs(sn_) * hw_ * std::fabs(s_.scaleX) + std::fabs(c_) * hh_ * std::fabs(s_.scaleY); }

private:
    const PlateShape& s_;
    float c_ = 1, sn_ = 0, hw_ = 0, hh_ = 0, r_ = 0, k_ = 1;
};

bool Finite(const PlateShape& s) {
    for (float v : {s.width, s.height, s.radius, s.border, s.shadowX, s.shadowY, s.shadowBlur, s.clipLeft, s.clipTop,
                    s.clipRight, s.clipBottom, s.scaleX, s.scaleY, s.angle, s.fracX, s.fracY}) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// The pixel word's colour bytes of a packed colour (byte 0 from bits 16-23, as the builders write).
uint32_t PixelWord(uint32_t packed) {
    return ((packed >> 16) & 0xFF) | (packed & 0xFF00) | ((packed & 0xFF) << 16);
}

// The fade's factor (0 to 1) at box point (u, v); 1 without a fade.
float FadeAt(const PlateFade* fade, float u, float v) {
    if (!fade || fade->across.empty() || fade->down.empty() || fade->peak == 0) return 1.0f;
    auto at = [](const std::vector<uint8_t>& table, float x) {
        const float i = std::clamp(std::floor(x), 0.0f, float(table.size() - 1));
        return float(table[size_t(i)]);
    };
    return at(fade->across, u) / 255.0f * at(fade->down, v) / float(fade->peak);
}

}  // namespace

HRESULT BuildPlateImage(LayerImage* out, const PlateShape& s, const PlateFade* fade) noexcept {
    out->Reset();
    if (!Finite(s) || s.width < 0 || s.height < 0 || s.scaleX <= 0 || s.scaleY <= 0 || s.border < 0 ||
        s.shadowBlur < 0) {
        return E_INVALIDARG;
    }
    if (s.width <= 0 || s.height <= 0 || s.clipRight <= s.clipLeft || s.clipBottom <= s.clipTop) return S_OK;
    const PlateCoverage cov(s);
    const bool shadow = s.shadowAlpha > 0;
    const float ex = cov.ExtentX() + 1, ey = cov.ExtentY() + 1;
    const float margin = shadow ? std::ceil(s.shadowBlur) + 1 : 0;
    double left = s.fracX - ex, right = s.fracX + ex, top = s.fracY - ey, bottom = s.fracY + ey;
    if (shadow) {
        left = std::min(left, double(s.fracX + s.shadowX - ex - margin));
        right = std::max(right, double(s.fracX + s.shadowX + ex + margin));
        top = std::min(top, double(s.fracY + s.shadowY - ey - margin));
        bottom = std::max(bottom, double(s.fracY + s.shadowY + ey + margin));
    }
    const double l = std::floor(left), t = std::floor(top);
    const double w = std::ceil(right) - l, h = std::ceil(bottom) - t;
    if (!(w <= double(kMaxImageSide)) || !(h <= double(kMaxImageSide)) || !ImageSizeAllowed(int64_t(w), int64_t(h))) {
        return E_INVALIDARG;
    }
    const int32_t width = int32_t(w), height = int32_t(h);
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[size_t(width) * size_t(height) * 4]());
    if (!pixels) return E_OUTOFMEMORY;
    const float x0 = float(l) - s.fracX, y0 = float(t) - s.fracY;  // image corner from the centre

    if (shadow) {
        std::unique_ptr<uint8_t[]> alpha(new (std::nothrow) uint8_t[size_t(width) * size_t(height)]());
        if (!alpha) return E_OUTOFMEMORY;
        for (int32_t j = 0; j < height; ++j) {
            for (int32_t i = 0; i < width; ++i) {
                float outer, inner, u, v;
                cov.At(x0 + float(i) + 0.5f - s.shadowX, y0 + float(j) + 0.5f - s.shadowY, &outer, &inner, &u, &v);
                alpha[size_t(j) * size_t(width) + size_t(i)] =
                    uint8_t(std::lround(outer * FadeAt(fade, u, v) * float(s.shadowAlpha)));
            }
        }
        const uint32_t word = PixelWord(s.shadowColour);
        if (s.shadowBlur <= 0 ||
            GaussianBlurOneColour(pixels.get(), alpha.get(), width, height, s.shadowBlur, word) != S_OK) {
            for (size_t k = 0; k < size_t(width) * size_t(height); ++k) {
                if (alpha[k] == 0) continue;
                const uint32_t p = word | uint32_t(alpha[k]) << 24;
                std::memcpy(pixels.get() + k * 4, &p, 4);
            }
        }
    }

    // The plate over the shadow: premultiplied fill and outline, then straight alpha again.
    const float fillA = float(s.fillAlpha) / 255.0f, borderA = float(s.borderAlpha) / 255.0f;
    const float bc[3] = {float((s.borderColour >> 16) & 0xFF), float((s.borderColour >> 8) & 0xFF),
                         float(s.borderColour & 0xFF)};
    const bool flat = s.fill[0] == s.fill[1] && s.fill[0] == s.fill[2] && s.fill[0] == s.fill[3];
    const float iw = s.width > 0 ? 1.0f / s.width : 0, ih = s.height > 0 ? 1.0f / s.height : 0;
    for (int32_t j = 0; j < height; ++j) {
        uint8_t* p = pixels.get() + size_t(j) * size_t(width) * 4;
        for (int32_t i = 0; i < width; ++i, p += 4) {
            float outer, inner, u, v;
            cov.At(x0 + float(i) + 0.5f, y0 + float(j) + 0.5f, &outer, &inner, &u, &v);
            if (outer <= 0) continue;
            if (fade) {
                const float f = FadeAt(fade, u, v);
                outer *= f;
                inner *= f;
            }
            const uint32_t fc = flat ? s.fill[0] : ColourAt(s.fill, u * iw, v * ih);
            const float fa = fillA * inner, ba = borderA * (outer - inner);
            const float a = fa + ba;
            if (a <= 0) continue;
            const float under = float(p[3]) / 255.0f * (1.0f - a);
            const float total = a + under;
            for (int c = 0; c < 3; ++c) {
                const float fillC = float((fc >> (16 - 8 * c)) & 0xFF);
                const float premul = fillC * fa + bc[c] * ba + float(p[c]) * under;
                p[c] = uint8_t(std::lround(std::clamp(premul / total, 0.0f, 255.0f)));
            }
            p[3] = uint8_t(std::lround(std::clamp(total * 255.0f, 0.0f, 255.0f)));
        }
    }
    out->pixels = std::move(pixels);
    out->width = width;
    out->height = height;
    out->x = x0;
    out->y = y0;
    return S_OK;
}

}  // namespace qel
