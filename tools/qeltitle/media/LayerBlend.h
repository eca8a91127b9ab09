// Titles blended over video frames in the frames' own pixel format, without converting the
// picture to BGRA and back.
//
// A title layer holds straight-alpha BGRA. Its colour is converted once to the frame's Y'CbCr
// (the frame's matrix, range and depth), and each sample is blended there:
//   Y' = Y + a (Ly - Y)                                       for every pixel with a > 0
//   C' = C + sum(a_i (Lc_i - C)) / n                          for a chroma sample shared by n pixels
// Y'CbCr is an affine function of R'G'B', so blending in it gives what blending in R'G'B' gives;
// a chroma sample takes the mean of what its pixels would each have become, as converting the
// blended pixels back with area averaging does. Samples under transparent pixels (a chroma
// sample: all of its pixels) are not written, so a frame keeps its bytes wherever no title drew.
#pragma once

#include <cstdint>
#include <vector>

#include "media/Libav.h"
#include "player/Image.h"

namespace qeltitle {

class LayerBlender {
public:
    // Whether frames in `format` are blended in their own format (planar, semi-planar and packed
    // Y'CbCr and grey, 8 to 16 bits little-endian); others are drawn on as BGRA.
    static bool Blends(AVPixelFormat format);
    // Blends `layer` over `frame` (writable, in a format Blends() takes), with the frame's colour
    // tags: matrix (BT.601 when untagged, as swscale takes it) and range.
    void Blend(AVFrame& frame, const LayerView& layer);

private:
    struct Target;
    template <class Sample, int Step>
    void BlendSamples(const Target& target, const LayerView& layer, const PixelRect& clip);

    // The frame's Y', Cb, Cr of a straight BGR colour: (sum of table[c][channel][value] + offset[c]) >> 12.
    struct Tables {
        bool built = false;
        AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
        bool full = false;
        int depth = 8;
        int32_t table[3][3][256] = {};  // [Y', Cb, Cr][B, G, R][0 to 255]
        int32_t offset[3] = {};
        int limit = 255;               // the largest sample value
        void Build(AVColorSpace matrix, bool fullRange, int bits);
    };
    Tables tables_;
    // Per chroma column of the row of chroma samples being blended: sum(a_i (Lc_i - C)) for Cb
    // and Cr (at most 255 x 65535 x 16: the 16 pixels of a 4:1:0 sample at 16 bits).
    std::vector<int32_t> sums_;
};

// Blends `layer` over `pixels` (opaque BGRA holding the part `at` of the frame, rows `stride` bytes
// apart), rounded: v / 255 as (v + v / 256) / 256.
void BlendLayerBgra(const LayerView& layer, const PixelRect& at, uint8_t* pixels, int stride);

}  // namespace qeltitle
