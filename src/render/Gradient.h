// Two-colour gradients over the colour bytes of a character image.
#pragma once

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

}  // namespace qel
