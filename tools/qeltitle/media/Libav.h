// The ffmpeg libraries (libavformat, libavcodec, libavfilter, libswscale, libavutil) as the tool
// uses them: owning pointers that free what the libraries allocate, and their error codes as text.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace qeltitle {

struct AvInputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct AvCodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct AvGraphFree {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using InputPtr = std::unique_ptr<AVFormatContext, AvInputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, AvCodecFree>;
using FramePtr = std::unique_ptr<AVFrame, AvFrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;
using GraphPtr = std::unique_ptr<AVFilterGraph, AvGraphFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;

inline FramePtr NewFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr NewPacket() { return PacketPtr(av_packet_alloc()); }

// "Invalid data found when processing input", for an AVERROR code.
std::string AvErrorText(int code);

// The libraries' own messages are left out (only fatal ones reach standard error): the tool
// reports every failure itself, in its own words.
void QuietLibav();

}  // namespace qeltitle
