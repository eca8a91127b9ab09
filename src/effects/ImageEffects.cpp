// Whole-image effects: after a string's characters are drawn into its own image, these rework
// that image as a whole. PATH_BLURLEFT and PATH_BLURRIGHT sweep an edge across the opaque columns
// and smear the edge's column over the part still hidden; PATH_GLOW shows an over-bright blurred
// copy that sharpens into the text; PATH_PERSPECTIVESCROLL rolls the text up and shows the result
// on a plane tilted away from the viewer, drawn by the 3D scene.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"
#include "render3d/Scene3D.h"

namespace qel {

namespace {

// The least and greatest column holding a pixel with non-zero alpha; (width - 1, 0) when none.
void OpaqueColumns(const EffectBitmap& image, int32_t* minX, int32_t* maxX) {
    *minX = image.Width() - 1;
    *maxX = 0;
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.Pixels() + ptrdiff_t(y) * image.Stride();
        for (int32_t x = 0; x < image.Width(); ++x) {
            if (row[x * 4 + 3] != 0) *minX = std::min(*minX, x), *maxX = std::max(*maxX, x);
        }
    }
}

void ClearImage(const EffectBitmap& image) {
    for (int32_t y = 0; y < image.Height(); ++y) {
        std::memset(image.Pixels() + ptrdiff_t(y) * image.Stride(), 0, size_t(image.Width()) * 4);
    }
}

// Columns [from, to) of every target row receive the source pixel at column `column`.
void SmearColumn(const EffectBitmap& target, const EffectBitmap& source, int32_t column, int32_t from, int32_t to) {
    for (int32_t y = 0; y < target.Height(); ++y) {
        uint32_t pixel;
        std::memcpy(&pixel, source.Pixels() + ptrdiff_t(y) * source.Stride() + column * 4, 4);
        uint8_t* row = target.Pixels() + ptrdiff_t(y) * target.Stride();
        for (int32_t x = from; x < to; ++x) std::memcpy(row + x * 4, &pixel, 4);
    }
}

// Columns [from, to) copied from the source.
void CopyColumns(const EffectBitmap& target, const EffectBitmap& source, int32_t from, int32_t to) {
    if (from >= to) return;
    for (int32_t y = 0; y < target.Height(); ++y) {
        std::memcpy(target.Pixels() + ptrdiff_t(y) * target.Stride() + from * 4,
                    source.Pixels() + ptrdiff_t(y) * source.Stride() + from * 4, size_t(to - from) * 4);
    }
}

// Key frames may carry any progress; the image formulas scale and convert it to integers, so it is
// held to 0 .. 1 (NaN to 0) before that.
float ImageProgress(float p) { return p > 0 ? std::min(p, 1.0f) : 0.0f; }

// Both images present and of one size: the sweeps index the source with the target's columns.
bool Usable(const EffectBitmap& source, const EffectBitmap& target) {
    return source.Pixels() && target.Pixels() && source.SameSize(target);
}

class BlurLeft final : public PathEffect {
public:
    HRESULT GetImageRect(RECT* out, const RECT* drawn) override {
        if (!out || !drawn) return E_POINTER;
        *out = {0, drawn->top, drawn->right, drawn->bottom};
        return S_OK;
    }
    // The edge moves right to left from one column beyond the opaque ones to one before them:
    // right of it the string shows, left of it the edge's column is repeated.
    HRESULT ProcessImage(float progress) override {
        if (!Usable(sourceImage, targetImage)) return E_FAIL;
        const float p = ImageProgress(progress);
        const int32_t w = targetImage.Width();
        int32_t minX, maxX;
        OpaqueColumns(sourceImage, &minX, &maxX);
        const int32_t left = minX - 1, right = maxX + 1;
        const int32_t cut = right - int32_t(float(right - left + 1) * p);
        if (cut < 0) return targetImage.CopyFrom(sourceImage);
        if (cut >= w) {
            ClearImage(targetImage);
            return S_OK;
        }
        SmearColumn(targetImage, sourceImage, cut, 0, cut);
        CopyColumns(targetImage, sourceImage, cut, w);
        return S_OK;
    }
};

class BlurRight final : public PathEffect {
public:
    HRESULT GetImageRect(RECT* out, const RECT* drawn) override {
        if (!out || !drawn) return E_POINTER;
        *out = {drawn->left, drawn->top, sourceImage.Width(), drawn->bottom};
        return S_OK;
    }
    // The mirror of BlurLeft, the edge moving left to right. The smear reaches the last column
    // too, which would otherwise keep whatever the target held before.
    HRESULT ProcessImage(float progress) override {
        if (!Usable(sourceImage, targetImage)) return E_FAIL;
        const float p = ImageProgress(progress);
        const int32_t w = targetImage.Width();
        int32_t minX, maxX;
        OpaqueColumns(sourceImage, &minX, &maxX);
        const int32_t left = minX - 1, right = maxX + 1;
        const int32_t edge = left + int32_t(float(right - left + 1) * p);
        if (edge < 0) {
            ClearImage(targetImage);
            return S_OK;
        }
        if (edge >= w) return targetImage.CopyFrom(sourceImage);
        CopyColumns(targetImage, sourceImage, 0, edge);
        SmearColumn(targetImage, sourceImage, edge, edge, w);
        return S_OK;
    }
};

class Glow final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        return AtBox(box, p > 0.5f ? 255 : TruncAlpha(p * 510));
    }
    HRESULT GetImageRect(RECT* out, const RECT* drawn) override {
        if (!out || !drawn) return E_POINTER;
        const int32_t d = int32_t(sourceImage.Width() * 0.1 * 2);
        *out = {std::max(drawn->left - d, 0), std::max(drawn->top - d, 0),
                std::min(drawn->right + d, sourceImage.Width()), std::min(drawn->bottom + d, sourceImage.Height())};
        if (out->left >= out->right || out->top >= out->bottom) *out = {0, 0, 0, 0};
        return S_OK;
    }
    // The target becomes the source blurred (twice, by a tenth of the width times 1 - p) and
    // brightened by the factor 1 + k, k = (1 - p) * 10, every byte saturating: the glow narrows
    // and dims until at p = 1 the target equals the source.
    HRESULT ProcessImage(float progress) override {
        // A scratch image of another frame's size would keep an old picture.
        if (!Usable(sourceImage, targetImage)) return E_FAIL;
        const float p = ImageProgress(progress);
        if (!scratch || !scratch->SameSize(targetImage)) {
            scratch = std::make_unique<EffectBitmap>(targetImage.Width(), targetImage.Height());
        }
        if (!scratch->Pixels()) return E_OUTOFMEMORY;
        HRESULT hr = scratch->CopyFrom(sourceImage);
        const int32_t radius = int32_t(sourceImage.Width() * 0.1 * (1 - p));
        if (hr == S_OK) hr = scratch->Blur(radius);
        if (hr == S_OK) hr = scratch->Blur(radius);
        if (hr == S_OK) hr = targetImage.CopyFrom(*scratch);
        if (hr != S_OK) return hr;
        const float k = (1 - p) * 10;
        const int32_t scale = int32_t(k * 65536);
        if (scale == 0) return S_OK;
        for (int32_t y = 0; y < targetImage.Height(); ++y) {
            uint8_t* t = targetImage.Pixels() + ptrdiff_t(y) * targetImage.Stride();
            const uint8_t* s = scratch->Pixels() + ptrdiff_t(y) * scratch->Stride();
            // t' = min(255, t + (K * s) >> 16), alpha included
            for (int32_t x = 0; x < targetImage.Width() * 4; ++x) {
                t[x] = uint8_t(std::min(255, t[x] + ((scale * s[x]) >> 16)));
            }
        }
        return S_OK;
    }

private:
    std::unique_ptr<EffectBitmap> scratch;  // target-sized, created on first use
};

class PerspectiveScroll final : public PathEffect {
public:
    ~PerspectiveScroll() override { ReleaseScene(); }

    // Rolls up like PATH_SCROLLUP and fades over the top 30 % of the frame.
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        const float y = frameMaxY - stringTop + box.y - p * (frameMaxY - frameMinY + stringHeight);
        // A frame without height has no fade band (and nothing to divide by).
        const float fade = float(frameHeight) * 0.3f;
        uint8_t alpha = 255;
        if (y < fade) alpha = fade > 0 ? TruncAlpha(255 - (fade - y) / fade * 255) : 0;
        return {box.x, y, 1, 1, 0, alpha};
    }
    // The scene's texture is the source's memory and its buffers are the target's size: a new
    // source or target size makes it again.
    HRESULT SetSourceImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) override {
        if (pixels != sourceImage.Pixels()) ReleaseScene();
        return PathEffect::SetSourceImage(pixels, width, height, stride);
    }
    HRESULT SetTargetImage(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) override {
        if (width != targetImage.Width() || height != targetImage.Height()) ReleaseScene();
        return PathEffect::SetTargetImage(pixels, width, height, stride);
    }
    HRESULT ProcessImage(float) override {
        if (!Usable(sourceImage, targetImage)) return E_FAIL;
        const int32_t w = targetImage.Width(), h = targetImage.Height();
        // The device reads and writes rows of exactly w pixels.
        if (sourceImage.Stride() != w * 4 || targetImage.Stride() != w * 4) return E_FAIL;
        if (!scene && !BuildScene(w, h)) return E_FAIL;
        scene->SetTarget(targetImage.Pixels(), w, h);
        scene->Device()->SetYuvOutput(pixelFormat == 1);
        // Black in the frame's layout: Cr 128, Cb 128, Y 16 for luma/chroma, else all zero.
        const uint32_t black = pixelFormat == 1 ? 0x00108080u : 0;
        uint32_t* px = reinterpret_cast<uint32_t*>(targetImage.Pixels());
        std::fill(px, px + size_t(w) * size_t(h), black);
        scene->ResetObject(1);
        scene->RotateObject(1, 1.0681414604187012f, 1, 0, 0);  // the plane's tilt, radians
        scene->TransformObjects();
        scene->CollectTriangles();
        scene->SortTriangles();
        scene->Draw();
        return S_OK;
    }

private:
    // A grey box 3 units wide, 8 / aspect high and 0.5 deep with the string's image on its front
    // face (z = 0.25), texture (0, 0) at its top-left corner.
    bool BuildScene(int32_t w, int32_t h) {
        std::unique_ptr<Scene3D> made(new (std::nothrow) Scene3D);
        if (!made || !made->Init(w, h, true)) return false;
        const float aspect = float(w) / float(h);
        std::unique_ptr<Mesh> box = Scene3D::CreateBoxMesh(0.25f, -0.25f, -4 / aspect, 4 / aspect, 1.5f, -1.5f,
                                                           120, 120, 120);
        if (!box) return false;
        Scene3D::SetFaceTexture(*box, sourceImage.Pixels(), w, h, 0, 0, 1, 0, 0, 1, 1, 1);
        if (made->AddMesh(*box) != 1) return false;
        scene = std::move(made);
        return true;
    }
    void ReleaseScene() {
        if (scene) scene->Release();
        scene.reset();
    }

    std::unique_ptr<Scene3D> scene;  // created on first use
};

}  // namespace

std::unique_ptr<PathEffect> NewBlurLeft() { return std::make_unique<BlurLeft>(); }
std::unique_ptr<PathEffect> NewBlurRight() { return std::make_unique<BlurRight>(); }
std::unique_ptr<PathEffect> NewGlow() { return std::make_unique<Glow>(); }
std::unique_ptr<PathEffect> NewPerspectiveScroll() { return std::make_unique<PerspectiveScroll>(); }

}  // namespace qel
