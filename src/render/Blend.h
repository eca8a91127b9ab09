// Compositing primitives on 32-bit pixels (three colour bytes, then alpha) in 8-bit integer
// arithmetic with fixed roundings. Character images and the host frame hold straight alpha;
// string layers hold premultiplied colour.
//
// Every operation but PlaceLayer has a core form (first pixel, width, height, row stride in
// bytes) and a rectangle form (frame base, frame width, frame height, RECT) that calls the core
// on the pixels inside the rectangle. Cores do nothing for a non-positive width or height; the
// two-image forms also do nothing for a null pointer. The two images of a two-image form share
// one stride (both are frame-sized, or both layers of one string).
#pragma once

#include <cstdint>

#include "qel/QEL_Title2.h"

namespace qel {

void Premultiply(uint8_t* image, int32_t width, int32_t height, int32_t stride);
void Premultiply(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect);
void Unpremultiply(uint8_t* image, int32_t width, int32_t height, int32_t stride);
void Unpremultiply(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect);

// Premultiplied source over premultiplied destination, alphas combined.
void BlendOverKeepAlpha(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t stride);
void BlendOverKeepAlpha(uint8_t* dst, const uint8_t* src, int32_t frameWidth, int32_t frameHeight,
                        const RECT& rect);
// Premultiplied source over an opaque frame.
void BlendOverOpaque(uint8_t* frame, const uint8_t* src, int32_t width, int32_t height, int32_t stride);
void BlendOverOpaque(uint8_t* frame, const uint8_t* src, int32_t frameWidth, int32_t frameHeight,
                     const RECT& rect);
// Straight source over an opaque frame.
void BlendStraightOpaque(uint8_t* frame, const uint8_t* src, int32_t width, int32_t height, int32_t stride);
void BlendStraightOpaque(uint8_t* frame, const uint8_t* src, int32_t frameWidth, int32_t frameHeight,
                         const RECT& rect);
// Face layer into border layer, alphas added (both premultiplied).
void MergeFaceOverBorder(uint8_t* border, const uint8_t* face, int32_t width, int32_t height, int32_t stride);
void MergeFaceOverBorder(uint8_t* border, const uint8_t* face, int32_t frameWidth, int32_t frameHeight,
                         const RECT& rect);

// Bilinear placement of a straight character image (stride width * 4) at a fractional position
// into a premultiplied layer (stride layerWidth * 4), inside clip. E_INVALIDARG without drawing
// for null pointers, non-positive sizes or a position that is not a number; E_OUTOFMEMORY when the
// row buffers of a wide image cannot be had; else S_OK (also for opacity 0, which draws nothing).
[[nodiscard]] HRESULT PlaceLayer(uint8_t* layer, int32_t layerWidth, int32_t layerHeight, const RECT& clip,
                                 const uint8_t* image, int32_t width, int32_t height, float x, float y,
                                 uint8_t opacity);
// The same into a layer whose first pixel is frame pixel (originX, originY): clip, x and y stay in
// frame pixels, so the sampling (which depends on the fractions of x and y) is that of a
// frame-sized layer, and only the pixels inside the layer are written. oneColour, when given,
// promises that every image pixel whose alpha is not 0 has that colour (a pixel word's low three
// bytes), which lets the placement interpolate alpha alone, with the same result.
[[nodiscard]] HRESULT PlaceLayer(uint8_t* layer, int32_t originX, int32_t originY, int32_t layerWidth,
                                 int32_t layerHeight, const RECT& clip, const uint8_t* image, int32_t width,
                                 int32_t height, float x, float y, uint8_t opacity,
                                 const uint32_t* oneColour = nullptr);

// One image placed by PlaceLayer at a whole-pixel position onto empty (all-zero) layer pixels, at
// many opacities. PrepareWholePlacement makes `prepared` (width * height pixels) once: per pixel,
// what PlaceLayer takes from the image there (the plain average colour of the pixel and those of
// its left, upper and upper-left neighbours that show, and the pixel's alpha). PlaceWholeOnEmpty
// then writes `count` pixels from a row of it exactly as PlaceLayer writes them.
void PrepareWholePlacement(const uint8_t* image, int32_t width, int32_t height, uint8_t* prepared);
void PlaceWholeOnEmpty(uint8_t* dst, const uint8_t* prepared, int32_t count, uint8_t opacity);

}  // namespace qel
