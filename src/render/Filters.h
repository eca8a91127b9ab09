// Image filters: Gaussian and box blur, vertical three-row smoothing and the luma/chroma colour
// conversion. Images are 4 bytes per pixel, three colour bytes then straight alpha; a pixel whose
// alpha is 0 has no colour, so colours are averaged over showing pixels only while alpha is
// averaged over the whole window.
#pragma once

#include <cstdint>

#include "qel/QEL_Title2.h"

namespace qel {

// 1 when done (also radius <= 0, which does nothing); 0 when the image is missing, empty or
// smaller than the radius, or memory runs out (the image is then unchanged).
// Radii above kMaxGaussTapsRadius pixels are blurred by GaussianBlurRunning instead of taps.
int GaussianBlur(uint8_t* pixels, int32_t width, int32_t height, float radius);
// The Gaussian of a radius as three box passes of running sums per direction: a close
// approximation whose cost does not grow with the radius.
int GaussianBlurRunning(uint8_t* pixels, int32_t width, int32_t height, float radius);
constexpr float kMaxGaussTapsRadius = 256;  // frame pixels
// GaussianBlur of an image of one colour, given as its alpha plane (width x height bytes): pixels
// (width x height x 4) receive exactly what GaussianBlur leaves in the image whose pixels are
// colour (0x00RRGGBB as a little-endian word's low three bytes) with that alpha where the alpha
// is not 0, and all zero where it is; the result also says the same (0 for a blur refused, the
// image then sharp). The work is that of one channel instead of four.
int GaussianBlurOneColour(uint8_t* pixels, const uint8_t* alpha, int32_t width, int32_t height, float radius,
                          uint32_t colour);
int BoxBlur(uint8_t* pixels, int32_t width, int32_t height, float radius);
// The box blur from src into dst; 0 for radius < 1 or null images.
int BoxBlurCopy(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstStride,
                int32_t srcStride, int32_t radius);
int SmoothVertical(uint8_t* pixels, int32_t width, int32_t height, int32_t stride);
int SmoothVertical(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect);

// BT.601 limited range in 12-bit fixed point.
void RgbToYcc(int r, int g, int b, int* y, int* cb, int* cr);

}  // namespace qel
