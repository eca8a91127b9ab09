// The 32-bit image type shared by effects and the software 3D device: either a view of memory
// owned elsewhere or an owner of its own pixels.
#pragma once

#include <cstdint>

#include "qel/QEL_Title2.h"

namespace qel {

class EffectBitmap {
public:
    EffectBitmap() = default;
    // A view: never frees the pixels.
    EffectBitmap(uint8_t* pixels, int32_t width, int32_t height, int32_t stride, int32_t bytesPerPixel);
    // An owner of height * stride bytes (zero-filled). On allocation failure it has no pixels.
    EffectBitmap(int32_t width, int32_t height, int32_t stride, int32_t bytesPerPixel);
    // An owner of 4-byte pixels with stride width * 4.
    EffectBitmap(int32_t width, int32_t height);
    virtual ~EffectBitmap();
    EffectBitmap(const EffectBitmap&) = delete;
    EffectBitmap& operator=(const EffectBitmap&) = delete;

    // Frees owned pixels, then becomes a 4-byte-per-pixel view of the given memory.
    void Attach(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
    bool SameSize(const EffectBitmap& other) const {
        return width_ == other.width_ && height_ == other.height_;
    }
    // Copies every row when both have pixels, the same size and the same pixel size (S_OK);
    // E_INVALIDARG otherwise.
    [[nodiscard]] HRESULT CopyFrom(const EffectBitmap& other);
    // Box blur of itself (through an owning copy); S_OK without doing anything for radius 0, no
    // pixels or pixels of other than 4 bytes; E_OUTOFMEMORY without the copy.
    [[nodiscard]] HRESULT Blur(int32_t radius);

    uint8_t* Pixels() const { return pixels_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Stride() const { return stride_; }
    int32_t BytesPerPixel() const { return bytesPerPixel_; }
    int32_t RowPadding() const { return stride_ - width_ * 4; }

private:
    void FreeOwned();

    uint8_t* pixels_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
    int32_t bytesPerPixel_ = 0;
    int32_t ownsPixels_ = 0;
};

}  // namespace qel
