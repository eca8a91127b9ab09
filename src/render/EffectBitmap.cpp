#include "render/EffectBitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/AllocationGate.h"

namespace qel {

EffectBitmap::EffectBitmap(uint8_t* pixels, int32_t width, int32_t height, int32_t stride,
                           int32_t bytesPerPixel)
    : pixels_(pixels), width_(width), height_(height), stride_(stride), bytesPerPixel_(bytesPerPixel) {}

EffectBitmap::EffectBitmap(int32_t width, int32_t height, int32_t stride, int32_t bytesPerPixel)
    : width_(width), height_(height), stride_(stride), bytesPerPixel_(bytesPerPixel) {
    // A stride shorter than a row would make rows overlap, and CopyFrom write past the end.
    if (width > 0 && height > 0 && bytesPerPixel > 0 && width <= stride / bytesPerPixel) {
        pixels_ = static_cast<uint8_t*>(GatedCalloc(static_cast<size_t>(height), static_cast<size_t>(stride)));
        ownsPixels_ = pixels_ != nullptr;
    }
}

EffectBitmap::EffectBitmap(int32_t width, int32_t height)
    : EffectBitmap(width, height, width > 0 && width <= INT32_MAX / 4 ? width * 4 : 0, 4) {}

EffectBitmap::~EffectBitmap() { FreeOwned(); }

void EffectBitmap::FreeOwned() {
    if (ownsPixels_) std::free(pixels_);
    pixels_ = nullptr;
    ownsPixels_ = 0;
}

void EffectBitmap::Attach(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    FreeOwned();
    pixels_ = pixels;
    width_ = width;
    height_ = height;
    stride_ = stride;
    bytesPerPixel_ = 4;
}

HRESULT EffectBitmap::CopyFrom(const EffectBitmap& other) {
    // Rows of different pixel sizes would be read past their end.
    if (!pixels_ || !other.pixels_ || !SameSize(other) || bytesPerPixel_ != other.bytesPerPixel_) return E_INVALIDARG;
    const size_t rowBytes = static_cast<size_t>(width_) * static_cast<size_t>(bytesPerPixel_);
    for (int32_t y = 0; y < height_; ++y) {
        std::memcpy(pixels_ + static_cast<ptrdiff_t>(y) * stride_,
                    other.pixels_ + static_cast<ptrdiff_t>(y) * other.stride_, rowBytes);
    }
    return S_OK;
}

}  // namespace qel

#include "render/Filters.h"

namespace qel {

HRESULT EffectBitmap::Blur(int32_t radius) {
    if (!pixels_ || radius == 0 || bytesPerPixel_ != 4) return S_OK;  // the blur works on 4-byte pixels
    EffectBitmap copy(width_, height_);
    if (!copy.pixels_) return E_OUTOFMEMORY;
    if (const HRESULT hr = copy.CopyFrom(*this); hr != S_OK) return hr;
    return BoxBlurCopy(pixels_, copy.pixels_, width_, height_, stride_, copy.stride_, radius);
}

}  // namespace qel
