// Two-colour gradients over the colour bytes of a character image.
#pragma once

#include <array>
#include <cstdint>

#include "qel/QEL_Title2.h"

namespace qel {

// Fills the three colour bytes of every pixel of a width x height image (stride width * 4) with
// the gradient of gradType between color1 and color2; alpha bytes are left alone. Colours are
// packed for the frame: bits 16-23 go to byte 0, bits 8-15 to byte 1, bits 0-7 to byte 2.
//   gradType  top-left  top-right  bottom-left  bottom-right
//   0, other  c2        c2         c1           c1            vertical, color2 at the top
//   1         c1        c1         c2           c2            vertical, color1 at the top
//   2         c2        c1         c2           c1            horizontal, color2 at the left
//   3         c1        c2         c1           c2            horizontal, color1 at the left
//   4         c2        avg        avg          c1            diagonal, color2 at the top-left
//   5         avg       c2         c1           avg           diagonal, color2 at the top-right
//   6         avg       c1         c2           avg           diagonal, color1 at the top-right
//   7         c1        avg        avg          c2            diagonal, color1 at the top-left
// (avg = per channel (c1 + c2) >> 1.) S_OK, or E_INVALIDARG for a null image or a non-positive
// size.
HRESULT FillGradient(uint8_t* pixels, int32_t width, int32_t height, uint32_t color1, uint32_t color2,
                     int32_t gradType);

// The corner colours top-left, top-right, bottom-left, bottom-right of the gradient of gradType
// (the table above), packed like the colours given.
std::array<uint32_t, 4> GradientCorners(uint32_t color1, uint32_t color2, int32_t gradType);
// The colour at (u, v) of the bilinear field over four corners, u across and v down, 0 to 1 each
// (clamped); channels rounded to nearest.
uint32_t ColourAt(const std::array<uint32_t, 4>& corners, float u, float v);

// One gradient laid over a box that an image is a piece of: a whole line or string of characters,
// or a row of plates. Lengths are frame pixels relative to a reference point (a character's or a
// plate's drawing position); the image may be turned about that point by the angle whose cosine
// and sine are cosA, sinA (the turn x' = c x + s y, y' = c y - s x that turned strings use).
struct GradientBox {
    std::array<uint32_t, 4> corners{};  // packed colours, top-left, top-right, bottom-left, bottom-right
    float x = 0, y = 0, width = 1, height = 1;  // the box, unturned
    float cosA = 1, sinA = 0;
};
// Fills the colour bytes of a width x height image (stride width * 4) whose top-left corner lies at
// (imageX, imageY) from the reference point, each pixel with the box's colour at its centre;
// alpha bytes are left alone.
void FillGradientOver(uint8_t* pixels, int32_t width, int32_t height, float imageX, float imageY,
                      const GradientBox& box);

}  // namespace qel
