// Layers blended in the frame's own format against swscale as the oracle: the frame converted to
// BGRA (its matrix and range), the layer blended there and both pictures converted to 4:4:4: a
// sample changes by the mean change of its pixels (so that colours the BGRA picture clips count
// for nothing). Samples under transparent pixels keep their bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "media/LayerBlend.h"
#include "media/Libav.h"

namespace qeltitle {
namespace {

constexpr int kW = 36, kH = 22;

FramePtr MakeFrame(AVPixelFormat format, AVColorSpace space, AVColorRange range) {
    FramePtr f = NewFrame();
    f->format = format, f->width = kW, f->height = kH, f->colorspace = space, f->color_range = range;
    EXPECT_GE(av_frame_get_buffer(f.get(), 0), 0);
    return f;
}

// Converts between `from` and `to` with the frames' matrix and range (as the pipeline does).
void Convert(const AVFrame& from, AVFrame& to, int flags) {
    SwsPtr sws(sws_getContext(kW, kH, AVPixelFormat(from.format), kW, kH, AVPixelFormat(to.format), flags | SWS_ACCURATE_RND,
                              nullptr, nullptr, nullptr));
    ASSERT_TRUE(sws);
    const AVFrame& yuv = from.format == AV_PIX_FMT_BGRA ? to : from;
    const int* m = sws_getCoefficients(yuv.colorspace);
    const int full = yuv.color_range == AVCOL_RANGE_JPEG;
    sws_setColorspaceDetails(sws.get(), m, from.format == AV_PIX_FMT_BGRA ? 1 : full, m, to.format == AV_PIX_FMT_BGRA ? 1 : full,
                             0, 1 << 16, 1 << 16);
    sws_scale(sws.get(), from.data, from.linesize, 0, kH, to.data, to.linesize);
}

TEST(LayerBlend, MatchesBlendingInBgra) {
    const struct {
        AVPixelFormat format;
        AVColorSpace space;
        AVColorRange range;
        int tolerance;  // in the format's levels (the BGRA picture holds 8 bits)
    } cases[] = {
        {AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 3},  {AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, AVCOL_RANGE_JPEG, 3},
        {AV_PIX_FMT_YUV444P, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG, 3}, {AV_PIX_FMT_YUV422P, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_MPEG, 3},
        {AV_PIX_FMT_NV12, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 3},     {AV_PIX_FMT_YUYV422, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 3},
        {AV_PIX_FMT_YUV420P10LE, AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG, 12}, {AV_PIX_FMT_P010LE, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 12},
        {AV_PIX_FMT_GRAY8, AVCOL_SPC_BT709, AVCOL_RANGE_JPEG, 3},
    };
    // The picture: smooth colours (inside every gamut); the layer: four colours in runs, alpha
    // from 0 to 255 across, a transparent band on the left and at the top.
    FramePtr rgb = MakeFrame(AV_PIX_FMT_BGRA, AVCOL_SPC_RGB, AVCOL_RANGE_JPEG);
    std::vector<uint8_t> layer(static_cast<size_t>(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = rgb->data[0] + y * rgb->linesize[0] + x * 4;
            p[0] = uint8_t(40 + 4 * x), p[1] = uint8_t(60 + 5 * y), p[2] = uint8_t(200 - 3 * x), p[3] = 255;
            uint8_t* l = &layer[(static_cast<size_t>(y) * kW + x) * 4];
            static const uint8_t colours[4][3] = {{255, 255, 255}, {0, 0, 0}, {0, 128, 255}, {200, 30, 90}};
            std::copy(colours[(x / 5 + y / 4) % 4], colours[(x / 5 + y / 4) % 4] + 3, l);
            l[3] = x < 6 || y < 3 ? 0 : uint8_t(std::min(255, (x - 6) * 9 + (y % 3 == 0 ? 255 : 0)));
        }
    const LayerView view{layer.data(), kW * 4, {0, 0, kW, kH}};
    for (const auto& c : cases) {
        const char* name = av_get_pix_fmt_name(c.format);
        ASSERT_TRUE(LayerBlender::Blends(c.format)) << name;
        FramePtr before = MakeFrame(c.format, c.space, c.range), ours = MakeFrame(c.format, c.space, c.range);
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(c.format);
        const AVPixelFormat full = d->comp[0].depth > 8 ? AV_PIX_FMT_YUV444P10LE : AV_PIX_FMT_YUV444P;
        FramePtr want = MakeFrame(full, c.space, c.range), unblended = MakeFrame(full, c.space, c.range);
        FramePtr bgra = MakeFrame(AV_PIX_FMT_BGRA, c.space, c.range);
        Convert(*rgb, *before, SWS_POINT);
        ASSERT_GE(av_frame_copy(ours.get(), before.get()), 0);
        LayerBlender().Blend(*ours, view);
        Convert(*before, *bgra, SWS_POINT);
        Convert(*bgra, *unblended, SWS_POINT);
        BlendLayerBgra(view, view.rect, bgra->data[0], bgra->linesize[0]);
        Convert(*bgra, *want, SWS_POINT);
        // Every sample of every component, read as the format stores it (the frame's row y).
        const auto read = [](const AVFrame& f, int comp, int y, int count) {
            std::vector<uint16_t> out(static_cast<size_t>(count));
            av_read_image_line2(out.data(), const_cast<const uint8_t**>(f.data), f.linesize, av_pix_fmt_desc_get(AVPixelFormat(f.format)),
                                0, y, comp, count, 0, 2);
            return out;
        };
        for (int comp = 0; comp < std::min(3, int(d->nb_components)); ++comp) {
            const int sx = comp ? d->log2_chroma_w : 0, sy = comp ? d->log2_chroma_h : 0;
            for (int y = 0; y < kH; y += 1 << sy) {
                const std::vector<uint16_t> got = read(*ours, comp, y >> sy, -((-kW) >> sx)),
                                            original = read(*before, comp, y >> sy, -((-kW) >> sx));
                for (int x = 0; x < kW; x += 1 << sx) {
                    bool drawn = false;  // some pixel of the sample has a title on it
                    double change = 0;
                    int pixels = 0;
                    for (int j = y; j < std::min(kH, y + (1 << sy)); ++j) {
                        const std::vector<uint16_t> to = read(*want, comp, j, kW), from = read(*unblended, comp, j, kW);
                        for (int i = x; i < std::min(kW, x + (1 << sx)); ++i, ++pixels)
                            drawn |= layer[(static_cast<size_t>(j) * kW + i) * 4 + 3] != 0, change += to[i] - from[i];
                    }
                    const int s = x >> sx;
                    if (!drawn) EXPECT_EQ(got[s], original[s]) << name << " component " << comp << " at " << x << "," << y;
                    else EXPECT_NEAR(got[s], original[s] + change / pixels, c.tolerance) << name << " component " << comp << " at " << x << "," << y;
                }
            }
        }
    }
    EXPECT_FALSE(LayerBlender::Blends(AV_PIX_FMT_RGB24));
    EXPECT_FALSE(LayerBlender::Blends(AV_PIX_FMT_PAL8));
}

}  // namespace
}  // namespace qeltitle
