// Image filters: Gaussian and box blur, vertical three-row smoothing and the luma/chroma colour
// conversion. Images are 4 bytes per pixel, three colour bytes then straight alpha; a pixel whose
// alpha is 0 has no colour, so colours are averaged over showing pixels only while alpha is
// averaged over the whole window.
#pragma once

#include <cstdint>

#include "qel/QEL_Title2.h"

namespace qel {

// Every filter answers S_OK when done (a blur of radius <= 0 does nothing); E_INVALIDARG for an
// image that is missing, empty or smaller than the radius; E_OUTOFMEMORY when its work memory
// cannot be had. On failure the image is unchanged.
// Radii above kMaxGaussTapsRadius pixels are blurred by GaussianBlurRunning instead of taps.
[[nodiscard]] HRESULT GaussianBlur(uint8_t* pixels, int32_t width, int32_t height, float radius);
// The Gaussian of a radius as three box passes of running sums per direction: a close
// approximation whose cost does not grow with the radius.
[[nodiscard]] HRESULT GaussianBlurRunning(uint8_t* pixels, int32_t width, int32_t height, float radius);
constexpr float kMaxGaussTapsRadius = 256;  // frame pixels
// GaussianBlur of an image of one colour, given as its alpha plane (width x height bytes): pixels
// (width x height x 4) receive exactly what GaussianBlur leaves in the image whose pixels are
// colour (0x00RRGGBB as a little-endian word's low three bytes) with that alpha where the alpha
// is not 0, and all zero where it is; the result also says the same (a failure for a blur refused,
// the image then sharp). The work is that of one channel instead of four.
[[nodiscard]] HRESULT GaussianBlurOneColour(uint8_t* pixels, const uint8_t* alpha, int32_t width, int32_t height,
                                            float radius, uint32_t colour);
[[nodiscard]] HRESULT BoxBlur(uint8_t* pixels, int32_t width, int32_t height, float radius);
// The box blur from src into dst; E_INVALIDARG for radius < 1 or null images.
[[nodiscard]] HRESULT BoxBlurCopy(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height,
                                  int32_t dstStride, int32_t srcStride, int32_t radius);
[[nodiscard]] HRESULT SmoothVertical(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
[[nodiscard]] HRESULT SmoothVertical(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect);

// BT.601 limited range in 12-bit fixed point.
void RgbToYcc(int r, int g, int b, int* y, int* cb, int* cr);

}  // namespace qel
