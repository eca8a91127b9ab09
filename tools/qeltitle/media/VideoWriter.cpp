#include "media/VideoWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "media/Output.h"

namespace qeltitle {
namespace {

bool H264Container(const std::string& ext) { return ext == ".mp4" || ext == ".mov" || ext == ".mkv" || ext == ".m4v"; }

int Depth(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d ? d->comp[0].depth : 0;
}

const char* FormatName(AVPixelFormat format) {
    const char* name = av_get_pix_fmt_name(format);
    return name ? name : "an unknown format";
}

// Sets an encoder option; `what` names the command-line option in the message.
Status SetOption(AVCodecContext* encoder, const char* key, const std::string& value, const char* what) {
    const int status = av_opt_set(encoder, key, value.c_str(), AV_OPT_SEARCH_CHILDREN);
    if (status >= 0) return {};
    return Failure(std::string(what) + ": " + encoder->codec->name +
                   (status == AVERROR_OPTION_NOT_FOUND ? std::string(" has no such setting")
                                                       : " does not take " + value + " (" + AvErrorText(status) + ")"));
}

// The format of the encoder's list nearest to `format` that does not subsample the chroma along a
// side of odd length, or none when `format` subsamples along no odd side or the list has none.
AVPixelFormat FormatForOddSize(const AVCodec* codec, AVPixelFormat format, int width, int height, bool alpha) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    const auto subsampledAlongOdd = [&](const AVPixFmtDescriptor* f) {
        return (width % 2 && f->log2_chroma_w > 0) || (height % 2 && f->log2_chroma_h > 0);
    };
    if (!d || !codec->pix_fmts || !subsampledAlongOdd(d)) return AV_PIX_FMT_NONE;
    std::vector<AVPixelFormat> whole;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (const AVPixFmtDescriptor* fd = av_pix_fmt_desc_get(*f); fd && !subsampledAlongOdd(fd)) whole.push_back(*f);
    if (whole.empty()) return AV_PIX_FMT_NONE;
    whole.push_back(AV_PIX_FMT_NONE);
    return avcodec_find_best_pix_fmt_of_list(whole.data(), format, alpha, nullptr);
}

}  // namespace

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void QuietLibav() { av_log_set_level(AV_LOG_FATAL); }

DefaultEncoder DefaultEncoderFor(const std::string& output, bool alpha) {
    const std::string ext = Extension(output);
    if (ext == ".mov" && alpha) return {"prores_ks", -1, ""};
    if (H264Container(ext)) return {"libx264", 18, "medium"};
    if (ext == ".webm") return {"libvpx-vp9", 30, ""};
    if (ext == ".gif") return {"gif", -1, ""};
    return {};
}

VideoWriter::~VideoWriter() { Close(); }

void VideoWriter::Close() {
    encoder_.reset();
    if (out_) {
        if (out_->pb && !(out_->oformat->flags & AVFMT_NOFILE)) avio_closep(&out_->pb);
        avformat_free_context(out_);
        out_ = nullptr;
    }
}

Status VideoWriter::Open(const std::string& output) {
    output_ = output;
    if (std::string error; !file_.Reserve(output, error)) return Failure("cannot write " + output + ": " + error);
    // The container follows the output's own name; the temporary keeps its extension anyway.
    const int status = avformat_alloc_output_context2(&out_, nullptr, nullptr, output.c_str());
    if (status < 0 || !out_)
        return Failure("cannot write " + output + ": no container is known for this name (" + AvErrorText(status) +
                       "); name it .mp4, .mkv, .mov or .webm");
    return {};
}

Expected<AVPixelFormat> VideoWriter::AddVideo(const PictureFormat& in, const EncodeSettings& settings, bool alphaWanted,
                                              std::vector<std::string>& warnings) {
    const DefaultEncoder usual = DefaultEncoderFor(output_, alphaWanted);
    const std::string name = !settings.codec.empty() ? settings.codec : usual.codec;
    const AVCodec* codec = name.empty() ? avcodec_find_encoder(out_->oformat->video_codec)
                                        : avcodec_find_encoder_by_name(name.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
        return Failure(name.empty() ? "cannot write " + output_ + ": its container has no video encoder"
                                    : "--codec " + name + ": no such video encoder in this ffmpeg (see 'ffmpeg -encoders')");

    // Keep the pictures' own format where the encoder takes it; else its nearest, with a warning
    // when that loses depth, chroma or alpha.
    AVPixelFormat encoderFormat = in.format;
    if (codec->pix_fmts) {
        bool taken = false;
        for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) taken |= *f == in.format;
        if (!taken) {
            encoderFormat = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, in.format, alphaWanted, nullptr);
            // yuvj formats are full-range tags the encoders list only for old players.
            const bool sameButTag = (in.format == AV_PIX_FMT_YUV420P && encoderFormat == AV_PIX_FMT_YUVJ420P);
            if (!alphaWanted && !sameButTag && Depth(encoderFormat) < Depth(in.format))
                warnings.push_back(std::string(codec->name) + " cannot keep " + FormatName(in.format) + " (" +
                                   std::to_string(Depth(in.format)) + "-bit): the video is written as " +
                                   FormatName(encoderFormat) + " (" + std::to_string(Depth(encoderFormat)) + "-bit)");
            else if (!alphaWanted)
                warnings.push_back(std::string(codec->name) + " cannot keep " + FormatName(in.format) +
                                   ": the video is written as " + FormatName(encoderFormat));
        }
    }
    // H.264 and H.265 cannot store a side of odd length whose chroma is subsampled along it (a
    // clip cut to 721x405 in 4:2:0, as VP9 and FFV1 hold it): rather than a frame cut or padded,
    // the size is kept and the chroma is written without subsampling along that side. Those two
    // are known to refuse, so they are not asked first (a refused libx264 also leaks what it was
    // given); another encoder is asked again only once it has refused.
    const AVPixelFormat whole = FormatForOddSize(codec, encoderFormat, in.width, in.height, alphaWanted);
    const auto writeWhole = [&] {
        warnings.push_back(std::string(codec->name) + " cannot keep " + FormatName(encoderFormat) + " at the odd size " +
                           std::to_string(in.width) + "x" + std::to_string(in.height) + ": the video is written as " +
                           FormatName(whole) + " (players taking 4:2:0 alone may refuse it)");
        encoderFormat = whole;
    };
    const bool evenSidesOnly = codec->id == AV_CODEC_ID_H264 || codec->id == AV_CODEC_ID_HEVC;
    if (evenSidesOnly && whole != AV_PIX_FMT_NONE) writeWhole();
    int status = OpenVideoEncoder(codec, in, encoderFormat, settings, usual, name == usual.codec);
    if (status < 0 && !evenSidesOnly && whole != AV_PIX_FMT_NONE &&
        OpenVideoEncoder(codec, in, whole, settings, usual, name == usual.codec) >= 0) {
        writeWhole();
        status = 0;
    }
    if (status == kBadSetting) return Failure(settingError_);
    if (status < 0)
        return Failure("cannot open the " + std::string(codec->name) + " encoder for " + std::to_string(in.width) + "x" +
                       std::to_string(in.height) + " " + FormatName(encoderFormat) + ": " + AvErrorText(status));
    Expected<AVStream*> stream = AddEncoded(encoder_.get());
    if (!stream) return Failure(stream.Message());
    video_ = *stream;
    return encoderFormat;
}

int VideoWriter::OpenVideoEncoder(const AVCodec* codec, const PictureFormat& in, AVPixelFormat format,
                                  const EncodeSettings& settings, const DefaultEncoder& usual, bool usualCodec) {
    encoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* e = encoder_.get();
    if (!e) return AVERROR(ENOMEM);
    e->width = in.width;
    e->height = in.height;
    e->pix_fmt = format;
    e->sample_aspect_ratio = in.aspect.num > 0 ? in.aspect : AVRational{0, 1};
    e->time_base = in.timeBase;
    e->framerate = in.frameRate;
    e->color_range = in.range;
    e->colorspace = in.space;
    e->color_primaries = in.primaries;
    e->color_trc = in.transfer;
    e->chroma_sample_location = in.chroma;
    e->thread_count = 0;  // one per processor, as the encoder likes to split its work
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // The extension's usual settings apply to its usual encoder only; --crf, --preset and
    // --bitrate go to whichever encoder runs.
    const std::string name = codec->name;
    const int crf = settings.crf >= 0 ? settings.crf : usualCodec && settings.bitrate.empty() ? usual.crf : -1;
    const std::string preset = !settings.preset.empty() ? settings.preset : usualCodec ? usual.preset : "";
    Status set;
    if (!preset.empty()) set = SetOption(e, "preset", preset, "--preset");
    if (set && crf >= 0) {
        set = SetOption(e, "crf", std::to_string(crf), "--crf");
        if (!set) set = Status(Failure(set.Message() + "; give --bitrate instead"));
    }
    if (set && !settings.bitrate.empty()) set = SetOption(e, "b", settings.bitrate, "--bitrate");
    if (!set) {
        settingError_ = set.Message();
        return kBadSetting;
    }
    if (usualCodec && name == "libvpx-vp9") {
        if (settings.bitrate.empty()) e->bit_rate = 0;  // constant quality
        av_opt_set_int(e->priv_data, "row-mt", 1, 0);
    }
    if (usualCodec && name == "prores_ks") av_opt_set(e->priv_data, "profile", "4444", 0);
    return avcodec_open2(e, codec, nullptr);
}

Expected<AVStream*> VideoWriter::AddEncoded(const AVCodecContext* encoder) {
    AVStream* s = avformat_new_stream(out_, nullptr);
    const int status = s ? avcodec_parameters_from_context(s->codecpar, encoder) : AVERROR(ENOMEM);
    if (status < 0) return Failure("cannot write " + output_ + ": " + AvErrorText(status));
    s->time_base = encoder->time_base;
    s->sample_aspect_ratio = encoder->sample_aspect_ratio;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) s->avg_frame_rate = encoder->framerate;
    return s;
}

Expected<AVStream*> VideoWriter::AddCopy(const AVStream* in) {
    AVStream* s = avformat_new_stream(out_, nullptr);
    const int status = s ? avcodec_parameters_copy(s->codecpar, in->codecpar) : AVERROR(ENOMEM);
    if (status < 0) return Failure("cannot write " + output_ + ": " + AvErrorText(status));
    s->codecpar->codec_tag = 0;  // the output's container names the codec its own way
    s->time_base = in->time_base;
    s->disposition = in->disposition;
    av_dict_copy(&s->metadata, in->metadata, 0);
    return s;
}

Status VideoWriter::Start() {
    int status = 0;
    // The muxer reopens its file by this name (an MP4 moving its index to the front).
    av_freep(&out_->url);
    out_->url = av_strdup(file_.WritePath().c_str());
    if (!(out_->oformat->flags & AVFMT_NOFILE)) status = avio_open(&out_->pb, file_.WritePath().c_str(), AVIO_FLAG_WRITE);
    AVDictionary* options = nullptr;
    const std::string ext = Extension(output_);
    // The index first, so that a player can start before the whole file has arrived.
    if (ext == ".mp4" || ext == ".m4v" || ext == ".mov") av_dict_set(&options, "movflags", "+faststart", 0);
    if (status >= 0) status = avformat_write_header(out_, &options);
    av_dict_free(&options);
    if (status < 0) return Failure("cannot write " + output_ + ": " + AvErrorText(status));
    started_ = true;
    return {};
}

Status VideoWriter::Encode(AVFrame* frame) {
    const int status = avcodec_send_frame(encoder_.get(), frame);
    if (status < 0) return Failure("the " + std::string(encoder_->codec->name) + " encoder failed: " + AvErrorText(status));
    if (frame) ++frames_;
    return Drain();
}

Status VideoWriter::Drain() {
    for (;;) {
        const int status = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return {};
        if (status < 0) return Failure("the " + std::string(encoder_->codec->name) + " encoder failed: " + AvErrorText(status));
        if (Status written = Write(packet_.get(), encoder_->time_base, video_); !written) return written;
    }
}

Status VideoWriter::Write(AVPacket* packet, AVRational timeBase, AVStream* stream) {
    av_packet_rescale_ts(packet, timeBase, stream->time_base);
    packet->stream_index = stream->index;
    packet->pos = -1;
    const int status = av_interleaved_write_frame(out_, packet);  // takes the packet's data
    if (status < 0) return Failure("cannot write " + output_ + ": " + AvErrorText(status));
    return {};
}

Status VideoWriter::Finish() {
    if (encoder_)
        if (Status drained = Encode(nullptr); !drained) return drained;
    int status = av_write_trailer(out_);
    if (status >= 0 && out_->pb && !(out_->oformat->flags & AVFMT_NOFILE)) {
        status = out_->pb->error;
        const int closed = avio_closep(&out_->pb);
        if (status >= 0) status = closed;
    }
    if (status < 0) return Failure("cannot write " + output_ + ": " + AvErrorText(status));
    if (std::string error; !file_.Commit(error)) return Failure("cannot write " + output_ + ": " + error);
    return {};
}

Status AudioTranscoder::Open(const AVStream* in, const char* codecName, VideoWriter& writer) {
    const AVCodec* decoder = avcodec_find_decoder(in->codecpar->codec_id);
    const AVCodec* encoder = avcodec_find_encoder_by_name(codecName);
    if (!decoder || !encoder)
        return Failure(std::string("cannot encode the audio: ") + (decoder ? codecName : "its codec") + " is not available");
    decoder_.reset(avcodec_alloc_context3(decoder));
    int status = avcodec_parameters_to_context(decoder_.get(), in->codecpar);
    decoder_->pkt_timebase = in->time_base;
    if (status >= 0) status = avcodec_open2(decoder_.get(), decoder, nullptr);
    if (status < 0) return Failure("cannot decode the audio: " + AvErrorText(status));
    inTimeBase_ = in->time_base;
    encoder_.reset(avcodec_alloc_context3(encoder));
    AVCodecContext* e = encoder_.get();
    // The input's rate where the encoder takes it, else the encoder's nearest above it.
    int rate = decoder_->sample_rate;
    if (encoder->supported_samplerates) {
        int best = 0;
        for (const int* r = encoder->supported_samplerates; *r; ++r)
            if (*r == rate || (best != rate && (best == 0 || (*r >= rate && (best < rate || *r < best))))) best = *r;
        rate = best;
    }
    e->sample_rate = rate;
    e->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : decoder_->sample_fmt;
    if (av_channel_layout_copy(&e->ch_layout, &decoder_->ch_layout) < 0 || e->ch_layout.nb_channels == 0)
        av_channel_layout_default(&e->ch_layout, 2);
    if (e->ch_layout.order != AV_CHANNEL_ORDER_NATIVE) av_channel_layout_default(&e->ch_layout, e->ch_layout.nb_channels);
    e->time_base = AVRational{1, rate};
    if (writer.Container()->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((status = avcodec_open2(e, encoder, nullptr)) < 0)
        return Failure("cannot open the " + std::string(codecName) + " audio encoder: " + AvErrorText(status));

    // Resampling and the encoder's frame size by a filter graph: abuffer, aformat, abuffersink.
    char layout[128] = {}, channels[128] = {};
    av_channel_layout_describe(&decoder_->ch_layout, layout, sizeof layout);
    av_channel_layout_describe(&e->ch_layout, channels, sizeof channels);
    char args[512];
    std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", in->time_base.num,
                  in->time_base.den, decoder_->sample_rate, av_get_sample_fmt_name(decoder_->sample_fmt), layout);
    graph_.reset(avfilter_graph_alloc());
    status = avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", args, nullptr, graph_.get());
    if (status >= 0)
        status = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph_.get());
    char chain[512];
    std::snprintf(chain, sizeof chain, "aresample=%d,aformat=sample_fmts=%s:sample_rates=%d:channel_layouts=%s", rate,
                  av_get_sample_fmt_name(e->sample_fmt), rate, channels);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    outputs->name = av_strdup("in"), outputs->filter_ctx = source_;
    inputs->name = av_strdup("out"), inputs->filter_ctx = sink_;
    if (status >= 0) status = avfilter_graph_parse_ptr(graph_.get(), chain, &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (status >= 0) status = avfilter_graph_config(graph_.get(), nullptr);
    if (status < 0) return Failure("cannot resample the audio for " + std::string(codecName) + ": " + AvErrorText(status));
    if (!(encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) av_buffersink_set_frame_size(sink_, e->frame_size);
    Expected<AVStream*> stream = writer.AddEncoded(e);
    if (!stream) return stream.ToStatus();
    stream_ = *stream;
    av_dict_copy(&stream_->metadata, in->metadata, 0), stream_->disposition = in->disposition;
    return {};
}

Status AudioTranscoder::Push(const AVPacket* packet, VideoWriter& writer) {
    int status = avcodec_send_packet(decoder_.get(), packet);
    if (status < 0 && status != AVERROR_EOF) return Failure("cannot decode the audio: " + AvErrorText(status));
    for (;;) {
        status = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (status == AVERROR(EAGAIN)) return {};
        if (status == AVERROR_EOF) return Filter(nullptr, writer);
        if (status < 0) return Failure("cannot decode the audio: " + AvErrorText(status));
        frame_->pts = frame_->best_effort_timestamp;
        Status filtered = Filter(frame_.get(), writer);
        av_frame_unref(frame_.get());
        if (!filtered) return filtered;
    }
}

Status AudioTranscoder::Filter(AVFrame* frame, VideoWriter& writer) {
    int status = av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (status < 0) return Failure("cannot resample the audio: " + AvErrorText(status));
    for (;;) {
        status = av_buffersink_get_frame(sink_, filtered_.get());
        if (status == AVERROR(EAGAIN)) return {};
        if (status == AVERROR_EOF) return Send(nullptr, writer);
        if (status < 0) return Failure("cannot resample the audio: " + AvErrorText(status));
        filtered_->pts = av_rescale_q(filtered_->pts, av_buffersink_get_time_base(sink_), encoder_->time_base);
        Status sent = Send(filtered_.get(), writer);
        av_frame_unref(filtered_.get());
        if (!sent) return sent;
    }
}

Status AudioTranscoder::Send(AVFrame* frame, VideoWriter& writer) {
    int status = avcodec_send_frame(encoder_.get(), frame);
    if (status < 0 && status != AVERROR_EOF) return Failure("cannot encode the audio: " + AvErrorText(status));
    for (;;) {
        status = avcodec_receive_packet(encoder_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return {};
        if (status < 0) return Failure("cannot encode the audio: " + AvErrorText(status));
        if (Status written = writer.Write(packet_.get(), encoder_->time_base, stream_); !written) return written;
    }
}

}  // namespace qeltitle
