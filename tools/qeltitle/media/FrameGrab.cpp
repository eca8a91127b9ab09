#include "media/FrameGrab.h"

#include <cmath>

#include "media/Libav.h"

namespace qeltitle {

namespace {

// The decoded frame as BGRA of its own size.
bool ToBgra(const AVFrame& frame, Image& out, std::string& error) {
    SwsPtr sws(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
                              frame.height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws) {
        error = "cannot convert its pixel format";
        return false;
    }
    out = Image(frame.width, frame.height);
    uint8_t* planes[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {out.width * 4, 0, 0, 0};
    sws_scale(sws.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    for (size_t i = 3; i < out.pixels.size(); i += 4) out.pixels[i] = 255;
    return true;
}

}  // namespace

bool GrabVideoFrame(const std::string& path, double seconds, Image& out, std::string& error) {
    QuietLibav();
    const auto fail = [&](const std::string& why) {
        error = "cannot read video " + path + ": " + why;
        return false;
    };
    AVFormatContext* opened = nullptr;
    if (const int code = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); code < 0)
        return fail(AvErrorText(code));
    InputPtr input(opened);
    if (const int code = avformat_find_stream_info(input.get(), nullptr); code < 0) return fail(AvErrorText(code));
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return fail("it holds no video stream that can be decoded");
    const AVStream* stream = input->streams[index];
    CodecPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return fail("its decoder cannot be opened");

    // Times from the first frame, as the overlay pipeline counts them.
    const double base = av_q2d(stream->time_base);
    const int64_t first = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const int64_t target = first + static_cast<int64_t>(std::llround(std::max(0.0, seconds) / base));
    av_seek_frame(input.get(), index, target, AVSEEK_FLAG_BACKWARD);  // a failed seek decodes from the start

    PacketPtr packet = NewPacket();
    FramePtr frame = NewFrame(), kept = NewFrame();
    bool have = false, ended = false;
    while (!ended) {
        int code = av_read_frame(input.get(), packet.get());
        if (code < 0) {
            ended = true;
            avcodec_send_packet(decoder.get(), nullptr);  // drains the frames still held
        } else {
            if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
        }
        while ((code = avcodec_receive_frame(decoder.get(), frame.get())) == 0) {
            const int64_t pts = frame->best_effort_timestamp;
            // The frame shown at the target is the last one starting at or before it.
            if (have && pts != AV_NOPTS_VALUE && pts > target) return ToBgra(*kept, out, error);
            av_frame_unref(kept.get());
            av_frame_move_ref(kept.get(), frame.get());
            have = true;
            if (pts == target) return ToBgra(*kept, out, error);
        }
        if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) return fail(AvErrorText(code));
    }
    if (!have) return fail("no frame could be decoded");
    return ToBgra(*kept, out, error);
}

}  // namespace qeltitle
