#include "media/LayerBlend.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qeltitle {
namespace {

// Luma weights of R' and B' for a matrix tag, as swscale reads the tags (sws_getCoefficients):
// untagged and unknown matrices are BT.601.
struct Weights {
    double kr, kb;
};
Weights WeightsOf(AVColorSpace space) {
    switch (space) {
        case AVCOL_SPC_BT709: return {0.2126, 0.0722};
        case AVCOL_SPC_FCC: return {0.30, 0.11};
        case AVCOL_SPC_SMPTE240M: return {0.212, 0.087};
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL: return {0.2627, 0.0593};
        default: return {0.299, 0.114};
    }
}

bool FullRange(const AVFrame& frame) {
    switch (frame.format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P: return true;
        default: return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

constexpr int kFraction = 12;  // fractional bits of the colour tables

// Rounded num / den (den > 0), halves away from zero.
int64_t RoundedDivide(int64_t num, int64_t den) { return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den); }

}  // namespace

// Where the components of the frame lie.
struct LayerBlender::Target {
    int width = 0, height = 0;
    int shiftX = 0, shiftY = 0;  // chroma subsampling, log2
    bool chroma = false;         // Y'CbCr (else grey: luma alone)
    uint8_t* base[3] = {};       // the component's first sample (plane start plus its offset)
    int stride[3] = {}, step[3] = {}, shift[3] = {};
};

// The frame's Y', Cb and Cr of a straight BGR colour, as sums of one table entry per channel
// (kFraction fractional bits: 16-bit samples still fit), so that a pixel costs three look-ups
// per component.
void LayerBlender::Tables::Build(AVColorSpace matrix, bool fullRange, int bits) {
    if (built && space == matrix && full == fullRange && depth == bits) return;
    built = true, space = matrix, full = fullRange, depth = bits;
    const Weights w = WeightsOf(matrix);
    const double kg = 1.0 - w.kr - w.kb;
    const double maxValue = std::ldexp(1.0, bits) - 1, unit = std::ldexp(1.0, bits - 8);
    // Scale of E'y (0 to 1) and of E'cb, E'cr (-0.5 to 0.5), and the levels of black and of no colour.
    const double scaleY = full ? maxValue : 219 * unit, scaleC = full ? maxValue : 224 * unit;
    const double black = full ? 0 : 16 * unit, grey = std::ldexp(1.0, bits - 1);
    const double weights[3][3] = {  // [component][B, G, R] per unit of the channel
        {w.kb, kg, w.kr},
        {(1 - w.kb) / (2 * (1 - w.kb)), -kg / (2 * (1 - w.kb)), -w.kr / (2 * (1 - w.kb))},
        {-w.kb / (2 * (1 - w.kr)), -kg / (2 * (1 - w.kr)), (1 - w.kr) / (2 * (1 - w.kr))},
    };
    for (int c = 0; c < 3; ++c) {
        const double scale = (c == 0 ? scaleY : scaleC) * (1 << kFraction) / 255.0;
        for (int channel = 0; channel < 3; ++channel)
            for (int v = 0; v < 256; ++v) table[c][channel][v] = static_cast<int32_t>(std::lround(weights[c][channel] * v * scale));
        offset[c] = static_cast<int32_t>(std::lround((c == 0 ? black : grey) * (1 << kFraction))) + (1 << (kFraction - 1));  // rounds
    }
    limit = static_cast<int>(maxValue);
}

bool LayerBlender::Blends(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d || format == AV_PIX_FMT_UYYVYY411 || format == AV_PIX_FMT_XYZ12LE || format == AV_PIX_FMT_XYZ12BE) return false;
    if (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                    AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER))
        return false;
    const int colours = d->nb_components >= 3 ? 3 : 1;
    for (int c = 0; c < colours; ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        const int bytes = comp.depth + comp.shift > 8 ? 2 : 1;
        if (comp.depth < 8 || comp.depth != d->comp[0].depth || comp.depth + comp.shift > 16 || comp.step % bytes)
            return false;
    }
    return true;
}

void LayerBlender::Blend(AVFrame& frame, const LayerView& layer) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    const int x0 = std::max(0, layer.rect.x), x1 = std::min(frame.width, layer.rect.x + layer.rect.width);
    const int y0 = std::max(0, layer.rect.y), y1 = std::min(frame.height, layer.rect.y + layer.rect.height);
    if (!d || x1 <= x0 || y1 <= y0) return;
    Target t;
    t.width = frame.width, t.height = frame.height;
    t.chroma = d->nb_components >= 3;
    t.shiftX = t.chroma ? d->log2_chroma_w : 0, t.shiftY = t.chroma ? d->log2_chroma_h : 0;
    for (int c = 0; c < (t.chroma ? 3 : 1); ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        t.base[c] = frame.data[comp.plane] + comp.offset;
        t.stride[c] = frame.linesize[comp.plane], t.step[c] = comp.step, t.shift[c] = comp.shift;
    }
    tables_.Build(frame.colorspace, FullRange(frame), d->comp[0].depth);
    const PixelRect clip{x0, y0, x1 - x0, y1 - y0};
    // Planar formats (each component in a plane of its own, sample after sample) have the steps
    // known to the compiler.
    const auto planar = [&](int size) {
        return t.step[0] == size && (!t.chroma || (t.step[1] == size && t.step[2] == size));
    };
    if (d->comp[0].depth + d->comp[0].shift > 8) {
        if (planar(2)) BlendSamples<uint16_t, 2>(t, layer, clip);
        else BlendSamples<uint16_t, 0>(t, layer, clip);
    } else {
        if (planar(1)) BlendSamples<uint8_t, 1>(t, layer, clip);
        else BlendSamples<uint8_t, 0>(t, layer, clip);
    }
}

// Row by row of chroma samples: the luma of their pixels blended at once, the chroma after the
// sums over all of their pixels. Step: bytes from sample to sample in every component (0: as
// the target says).
template <class Sample, int Step>
void LayerBlender::BlendSamples(const Target& t, const LayerView& layer, const PixelRect& clip) {
    // Everything the loops read is held in locals: the samples written alias any memory.
    const int stepY = Step ? Step : t.step[0], stepU = Step ? Step : t.step[1], stepV = Step ? Step : t.step[2];
    const int shiftY = t.shift[0], shiftU = t.shift[1], shiftV = t.shift[2];
    const bool chroma = t.chroma;
    const int sx = t.shiftX, sy = t.shiftY, limit = tables_.limit;
    const Tables& k = tables_;
    const auto level = [&](int c, int b, int g, int r) {
        return std::clamp((k.table[c][0][b] + k.table[c][1][g] + k.table[c][2][r] + k.offset[c]) >> kFraction, 0, limit);
    };
    uint32_t lastBgr = 0xFFFFFFFFu;  // no colour: bytes of B, G, R
    int ly = 0, lu = 0, lv = 0;
    const int firstColumn = clip.x >> sx, columns = ((clip.x + clip.width - 1) >> sx) - firstColumn + 1;
    if (chroma) sums_.assign(static_cast<size_t>(columns) * 2, 0);
    int32_t* const sums = sums_.data();  // U and V of each column
    const int end = clip.x + clip.width;
    for (int cy = clip.y >> sy; (cy << sy) < clip.y + clip.height; ++cy) {
        const int rowBegin = std::max(clip.y, cy << sy), rowEnd = std::min(clip.y + clip.height, (cy + 1) << sy);
        uint8_t* const rowU = chroma ? t.base[1] + static_cast<ptrdiff_t>(cy) * t.stride[1] : nullptr;
        uint8_t* const rowV = chroma ? t.base[2] + static_cast<ptrdiff_t>(cy) * t.stride[2] : nullptr;
        bool any = false;
        for (int y = rowBegin; y < rowEnd; ++y) {
            const uint8_t* from = layer.At(clip.x, y);
            uint8_t* const rowY = t.base[0] + static_cast<ptrdiff_t>(y) * t.stride[0];
            for (int x = clip.x; x < end; ++x, from += 4) {
                // Titles leave most of their rectangle transparent: four such pixels at a time.
                if (x + 4 <= end) {
                    uint32_t four[4];
                    std::memcpy(four, from, sizeof four);
                    if (((four[0] | four[1] | four[2] | four[3]) >> 24) == 0) {
                        x += 3, from += 12;
                        continue;
                    }
                }
                const int a = from[3];
                if (a == 0) continue;
                // The colour in the frame's terms, worked out again only where it changes (titles
                // are drawn in runs of a few colours).
                const uint32_t bgr = static_cast<uint32_t>(from[0] | from[1] << 8 | from[2] << 16);
                if (bgr != lastBgr) {
                    lastBgr = bgr;
                    ly = level(0, from[0], from[1], from[2]);
                    if (chroma) lu = level(1, from[0], from[1], from[2]), lv = level(2, from[0], from[1], from[2]);
                }
                // Y' = Y + a (Ly - Y), rounded.
                Sample* const luma = reinterpret_cast<Sample*>(rowY + static_cast<ptrdiff_t>(x) * stepY);
                const int v = a == 255 ? ly : ((*luma >> shiftY) * (255 - a) + ly * a + 127) / 255;
                *luma = static_cast<Sample>(v << shiftY);
                if (!chroma) continue;
                const int cx = x >> sx;
                int32_t* const sum = sums + static_cast<ptrdiff_t>(cx - firstColumn) * 2;
                sum[0] += a * (lu - (*reinterpret_cast<const Sample*>(rowU + static_cast<ptrdiff_t>(cx) * stepU) >> shiftU));
                sum[1] += a * (lv - (*reinterpret_cast<const Sample*>(rowV + static_cast<ptrdiff_t>(cx) * stepV) >> shiftV));
                any = true;
            }
        }
        if (!any) continue;
        // C' = C + sum(a_i (Lc_i - C)) / n over the n pixels of the sample's block inside the frame
        // (fewer at a right or bottom edge of odd size). A zero sum leaves the sample as it is.
        const int blockRows = std::min(t.height, (cy + 1) << sy) - (cy << sy);
        for (int i = 0; i < columns; ++i) {
            int32_t* const sum = sums + static_cast<ptrdiff_t>(i) * 2;
            if ((sum[0] | sum[1]) == 0) continue;
            const int cx = firstColumn + i;
            const int64_t weight = 255LL * (std::min(t.width, (cx + 1) << sx) - (cx << sx)) * blockRows;
            Sample* const u = reinterpret_cast<Sample*>(rowU + static_cast<ptrdiff_t>(cx) * stepU);
            Sample* const w = reinterpret_cast<Sample*>(rowV + static_cast<ptrdiff_t>(cx) * stepV);
            *u = static_cast<Sample>(std::clamp<int64_t>((*u >> shiftU) + RoundedDivide(sum[0], weight), 0, limit) << shiftU);
            *w = static_cast<Sample>(std::clamp<int64_t>((*w >> shiftV) + RoundedDivide(sum[1], weight), 0, limit) << shiftV);
            sum[0] = sum[1] = 0;
        }
    }
}

void BlendLayerBgra(const LayerView& layer, const PixelRect& at, uint8_t* pixels, int stride) {
    const int x0 = std::max(at.x, layer.rect.x), x1 = std::min(at.x + at.width, layer.rect.x + layer.rect.width);
    const int y0 = std::max(at.y, layer.rect.y), y1 = std::min(at.y + at.height, layer.rect.y + layer.rect.height);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* from = layer.At(x0, y);
        uint8_t* to = pixels + static_cast<ptrdiff_t>(y - at.y) * stride + static_cast<ptrdiff_t>(x0 - at.x) * 4;
        for (int x = x0; x < x1; ++x, from += 4, to += 4) {
            const unsigned a = from[3];
            if (a == 0) continue;
            // Straight alpha over an opaque picture: Dc' = Sc.Sa + Dc.(1 - Sa).
            for (int c = 0; c < 3; ++c) {
                const unsigned v = from[c] * a + to[c] * (255 - a) + 128;
                to[c] = static_cast<uint8_t>((v + (v >> 8)) >> 8);
            }
        }
    }
}

}  // namespace qeltitle
