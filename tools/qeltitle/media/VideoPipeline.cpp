#include "media/VideoPipeline.h"

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "media/LayerBlend.h"
#include "media/Libav.h"
#include "media/Output.h"
#include "media/VideoWriter.h"

namespace qeltitle {
namespace {

// ---- Reading -------------------------------------------------------------------------------

// The video stream of a file: the first one that is not a cover picture.
int FindVideoStream(const AVFormatContext* in) {
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* s = in->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

// Degrees clockwise that a player turns the stored frames to show them upright: 0, 90, 180, 270.
int UprightTurn(const AVStream* stream) {
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) return 0;
    const double rotation = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(rotation)) return 0;
    const int turn = static_cast<int>(std::lround(-rotation / 90.0)) * 90;
    return ((turn % 360) + 360) % 360;
}

// Opens `path` into `input`; gives the index of its video stream.
Expected<int> OpenInput(const std::string& path, InputPtr& input) {
    AVFormatContext* raw = nullptr;
    int status = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (status < 0)
        return Failure("cannot read video " + path + ": " +
                       (status == AVERROR(ENOENT) || status == AVERROR(EACCES)
                            ? AvErrorText(status)
                            : "not a video ffmpeg's libraries can read (" + AvErrorText(status) + ")"));
    input.reset(raw);
    if ((status = avformat_find_stream_info(raw, nullptr)) < 0) return Failure("cannot read video " + path + ": " + AvErrorText(status));
    const int videoIndex = FindVideoStream(raw);
    if (videoIndex < 0) return Failure("cannot read video " + path + ": it holds no video stream");
    const AVCodecParameters* par = raw->streams[videoIndex]->codecpar;
    if (!avcodec_find_decoder(par->codec_id))
        return Failure("cannot read video " + path + ": no decoder for its " + avcodec_get_name(par->codec_id) + " video");
    if (par->width <= 0 || par->height <= 0) return Failure("cannot read video " + path + ": its video stream has no size");
    return videoIndex;
}

AVRational StreamRate(const AVStream* s) {
    if (s->r_frame_rate.num > 0 && s->r_frame_rate.den > 0) return s->r_frame_rate;
    if (s->avg_frame_rate.num > 0 && s->avg_frame_rate.den > 0) return s->avg_frame_rate;
    return AVRational{25, 1};
}

std::string ColourText(const AVCodecParameters* par) {
    const char* space = av_color_space_name(par->color_space);
    const char* range = par->color_range == AVCOL_RANGE_JPEG ? "full range" : par->color_range == AVCOL_RANGE_MPEG ? "tv range" : "range unknown";
    return std::string(space && par->color_space != AVCOL_SPC_UNSPECIFIED ? space : "matrix unknown") + ", " + range;
}

// Processor time of the calling thread, in seconds: what drawing costs, whatever else the
// machine runs meanwhile.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A thread's work ended because another one failed or stopped the run: that one says why.
Status Stopped() { return Failure(""); }

// ---- Queues between the threads ----------------------------------------------------------

// What travels from the reader to the drawing thread and on to the writer: a decoded video frame,
// or a packet of another stream of the input.
struct Item {
    FramePtr frame;
    PacketPtr packet;
};

class Channel {
public:
    explicit Channel(size_t capacity) : capacity_(capacity) {}
    bool Push(Item item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return items_.size() < capacity_ || aborted_; });
        if (aborted_) return false;
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }
    enum class Got { Item, End, Aborted };
    Got Pop(Item& item, double* waited = nullptr) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !items_.empty() || closed_ || aborted_; });
        if (waited) *waited += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (aborted_) return Got::Aborted;
        if (items_.empty()) return Got::End;
        item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return Got::Item;
    }
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    void Abort() {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    size_t capacity_;
    bool closed_ = false, aborted_ = false;
};

// ---- Drawing in the frame's own format ---------------------------------------------------

// How the planes of a pixel format are laid out, for finding a rectangle in them.
struct Layout {
    const AVPixFmtDescriptor* desc = nullptr;
    int planes = 0;
    int step[4] = {};       // bytes from one sample of a plane to the next
    int shiftX[4] = {}, shiftY[4] = {};
    bool cutColumns = false;  // a rectangle may start at any aligned column (else whole rows)
};

Layout LayoutOf(AVPixelFormat format) {
    Layout l;
    l.desc = av_pix_fmt_desc_get(format);
    if (!l.desc) return l;
    l.planes = av_pix_fmt_count_planes(format);
    l.cutColumns = !(l.desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM));
    for (int c = 0; c < l.desc->nb_components; ++c) {
        const AVComponentDescriptor& comp = l.desc->comp[c];
        // Packed formats whose components step differently (yuyv422) are cut in whole rows.
        if (l.step[comp.plane] && l.step[comp.plane] != comp.step) l.cutColumns = false;
        l.step[comp.plane] = comp.step;
    }
    const bool rgb = l.desc->flags & AV_PIX_FMT_FLAG_RGB;
    for (int p = 0; p < l.planes; ++p) {
        const bool chroma = !rgb && (p == 1 || p == 2);
        l.shiftX[p] = chroma ? l.desc->log2_chroma_w : 0;
        l.shiftY[p] = chroma ? l.desc->log2_chroma_h : 0;
    }
    return l;
}

// Grows `r` (clipped to the frame) to whole chroma samples, or to whole rows.
PixelRect Align(PixelRect r, const Layout& l, int width, int height) {
    const int ax = 1 << l.desc->log2_chroma_w, ay = 1 << l.desc->log2_chroma_h;
    int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
    int x1 = std::min(width, r.x + r.width), y1 = std::min(height, r.y + r.height);
    if (x1 <= x0 || y1 <= y0) return {};
    x0 -= x0 % ax, y0 -= y0 % ay;
    x1 = std::min(width, (x1 + ax - 1) / ax * ax), y1 = std::min(height, (y1 + ay - 1) / ay * ay);
    if (!l.cutColumns) x0 = 0, x1 = width;
    return {x0, y0, x1 - x0, y1 - y0};
}

// Draws a painter's layers on decoded frames: blended in the frames' own format where
// LayerBlender takes it, else through BGRA (below).
class FramePaint {
public:
    Status Paint(AVFrame* frame, const PixelRect& wanted, const std::vector<LayerView>& layers) {
        const AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
        if (format != format_) layout_ = LayoutOf(format), format_ = format, direct_ = LayerBlender::Blends(format);
        if (!layout_.desc || (layout_.desc->flags & AV_PIX_FMT_FLAG_HWACCEL))
            return Failure(std::string("cannot draw on frames in ") + (layout_.desc ? layout_.desc->name : "an unknown format"));
        const PixelRect r = Align(wanted, layout_, frame->width, frame->height);
        if (r.Empty()) return {};
        // Copies the picture only when the decoder still refers to it (a reference frame).
        if (const int status = av_frame_make_writable(frame); status < 0)
            return Failure("cannot draw on a frame: " + AvErrorText(status));
        if (direct_) {
            for (const LayerView& layer : layers) blender_.Blend(*frame, layer);
            return {};
        }
        if (format == AV_PIX_FMT_BGRA) {  // drawn where it lies
            for (const LayerView& layer : layers)
                BlendLayerBgra(layer, r, frame->data[0] + static_cast<ptrdiff_t>(r.y) * frame->linesize[0] + r.x * 4,
                               frame->linesize[0]);
            return {};
        }
        return PaintThroughBgra(frame, r, layers);
    }

private:
    // The rectangle converted to BGRA with the frame's matrix and range, the layers blended over
    // it, and converted back; only the samples whose pixels changed are written, so that the rest
    // of the rectangle stays exactly as decoded.
    Status PaintThroughBgra(AVFrame* frame, const PixelRect& r, const std::vector<LayerView>& layers) {
        const AVPixelFormat format = format_;
        uint8_t* src[4] = {};
        int srcStride[4] = {};
        for (int p = 0; p < layout_.planes; ++p) {
            src[p] = frame->data[p] + static_cast<ptrdiff_t>(r.y >> layout_.shiftY[p]) * frame->linesize[p] +
                     (r.x >> layout_.shiftX[p]) * layout_.step[p];
            srcStride[p] = frame->linesize[p];
        }
        const int stride = r.width * 4;
        before_.resize(static_cast<size_t>(stride) * r.height);
        bgra_.resize(before_.size());
        uint8_t* bgra[4] = {bgra_.data()};
        int bgraStride[4] = {stride};
        const bool full = frame->color_range == AVCOL_RANGE_JPEG;
        const int* matrix = sws_getCoefficients(frame->colorspace);
        // Chroma is repeated over its pixels on the way in and averaged on the way back, so a
        // picture that comes back unchanged has its samples as they were.
        toBgra_.reset(sws_getCachedContext(toBgra_.release(), r.width, r.height, format, r.width, r.height,
                                           AV_PIX_FMT_BGRA, SWS_POINT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
        fromBgra_.reset(sws_getCachedContext(fromBgra_.release(), r.width, r.height, AV_PIX_FMT_BGRA, r.width, r.height,
                                             format, SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
        if (!toBgra_ || !fromBgra_) return Failure(std::string("cannot convert frames in ") + layout_.desc->name + " for drawing");
        sws_setColorspaceDetails(toBgra_.get(), matrix, full, matrix, 1, 0, 1 << 16, 1 << 16);
        sws_setColorspaceDetails(fromBgra_.get(), matrix, 1, matrix, full, 0, 1 << 16, 1 << 16);
        sws_scale(toBgra_.get(), src, srcStride, 0, r.height, bgra, bgraStride);
        std::memcpy(before_.data(), bgra_.data(), bgra_.size());
        for (const LayerView& layer : layers) BlendLayerBgra(layer, r, bgra_.data(), stride);

        // The rectangle in the frame's format, then the changed samples copied into the frame.
        if (r.width != scratchWidth_ || r.height != scratchHeight_) {
            scratch_.reset();
            uint8_t* planes[4] = {};
            int strides[4] = {};
            if (av_image_alloc(planes, strides, r.width, r.height, format, 64) < 0) return Failure("out of memory");
            scratch_.reset(planes[0]);
            std::copy(planes, planes + 4, scratchPlanes_);
            std::copy(strides, strides + 4, scratchStrides_);
            scratchWidth_ = r.width, scratchHeight_ = r.height;
        }
        const uint8_t* painted[4] = {bgra_.data()};
        sws_scale(fromBgra_.get(), painted, bgraStride, 0, r.height, scratchPlanes_, scratchStrides_);
        changed_.assign(static_cast<size_t>(r.width) * r.height, 0);
        for (size_t i = 0; i < changed_.size(); ++i)
            changed_[i] = std::memcmp(&before_[i * 4], &bgra_[i * 4], 3) != 0;
        for (int p = 0; p < layout_.planes; ++p) CopyChanged(p, r, src[p], srcStride[p]);
        return {};
    }

    void CopyChanged(int p, const PixelRect& r, uint8_t* to, int toStride) {
        const int sx = layout_.shiftX[p], sy = layout_.shiftY[p], step = layout_.step[p];
        const int cols = -((-r.width) >> sx), rows = -((-r.height) >> sy);
        for (int j = 0; j < rows; ++j) {
            uint8_t* out = to + static_cast<ptrdiff_t>(j) * toStride;
            const uint8_t* in = scratchPlanes_[p] + static_cast<ptrdiff_t>(j) * scratchStrides_[p];
            const int y0 = j << sy, y1 = std::min(r.height, (j + 1) << sy);
            for (int i = 0; i < cols; ++i) {
                const int x0 = i << sx, x1 = std::min(r.width, (i + 1) << sx);
                bool any = false;
                for (int y = y0; y < y1 && !any; ++y)
                    for (int x = x0; x < x1 && !any; ++x) any = changed_[static_cast<size_t>(y) * r.width + x];
                if (any) std::memcpy(out + i * step, in + i * step, static_cast<size_t>(step));
            }
        }
    }

    struct FreeImage {
        void operator()(uint8_t* p) const { av_free(p); }
    };
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    Layout layout_;
    bool direct_ = false;  // blended in the frames' own format
    LayerBlender blender_;
    SwsPtr toBgra_, fromBgra_;
    std::vector<uint8_t> before_, bgra_, changed_;
    std::unique_ptr<uint8_t, FreeImage> scratch_;
    uint8_t* scratchPlanes_[4] = {};
    int scratchStrides_[4] = {};
    int scratchWidth_ = 0, scratchHeight_ = 0;
};

// ---- The run -----------------------------------------------------------------------------

// What happens to each stream of the input.
struct Route {
    enum class Kind { Drop, Video, Copy, Encode } kind = Kind::Drop;
    AVStream* out = nullptr;
    std::unique_ptr<AudioTranscoder> transcoder;
};

// Audio is copied when the output's container takes its codec, else encoded for it: Opus for
// WebM, AAC for the MP4 family, the container's own audio codec elsewhere.
const char* AudioEncoderFor(const std::string& ext, const AVOutputFormat* format, AVCodecID codec) {
    const auto any = [&](std::initializer_list<AVCodecID> ids) { return std::find(ids.begin(), ids.end(), codec) != ids.end(); };
    if (ext == ".webm") return any({AV_CODEC_ID_OPUS, AV_CODEC_ID_VORBIS}) ? nullptr : "libopus";
    if (ext == ".mp4" || ext == ".m4v" || ext == ".mov")
        return any({AV_CODEC_ID_AAC, AV_CODEC_ID_MP3, AV_CODEC_ID_AC3, AV_CODEC_ID_EAC3, AV_CODEC_ID_ALAC}) ? nullptr : "aac";
    if (avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) != 0) return nullptr;
    const AVCodec* own = avcodec_find_encoder(format->audio_codec);
    return own ? own->name : "aac";
}

class VideoRun {
public:
    VideoRun(const VideoJob& job, VideoResult& result) : job_(job), result_(result) {}
    Status Run();

private:
    Status OpenDecoder();
    Status OpenRotation();
    Status OpenOutput();
    Status ReadAll();
    Status CheckLength() const;
    Status Decoded(AVFrame* frame);
    Status DrawAll();
    Status WriteAll();
    Status Encode(AVFrame* frame);
    void Warn(const std::string& text) const {
        if (job_.warn) job_.warn(text);
    }

    const VideoJob& job_;
    VideoResult& result_;
    InputPtr input_;
    int videoIndex_ = -1;
    AVStream* video_ = nullptr;
    CodecPtr decoder_;
    GraphPtr rotation_;
    AVFilterContext* rotationIn_ = nullptr;
    AVFilterContext* rotationOut_ = nullptr;
    int turn_ = 0;
    VideoWriter writer_;
    std::vector<Route> routes_;
    PictureFormat picture_;
    AVPixelFormat encoderFormat_ = AV_PIX_FMT_NONE;
    SwsPtr toEncoder_;
    FramePtr converted_;
    int64_t firstPts_ = AV_NOPTS_VALUE, lastPts_ = AV_NOPTS_VALUE;
    Channel decoded_{4}, drawn_{4};  // frames in flight between the threads: each holds a decoded picture
    int decodedFrames_ = 0;
    int64_t readFirstPts_ = AV_NOPTS_VALUE, readLastPts_ = INT64_MIN;  // of the decoded frames, before turning
};

Status VideoRun::OpenDecoder() {
    video_ = input_->streams[videoIndex_];
    const AVCodec* codec = avcodec_find_decoder(video_->codecpar->codec_id);
    decoder_.reset(avcodec_alloc_context3(codec));
    int status = avcodec_parameters_to_context(decoder_.get(), video_->codecpar);
    decoder_->pkt_timebase = video_->time_base;
    decoder_->thread_count = 0;
    decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (status >= 0) status = avcodec_open2(decoder_.get(), codec, nullptr);
    if (status < 0) return Failure("cannot decode " + job_.input + ": " + AvErrorText(status));
    turn_ = UprightTurn(video_);
    return {};
}

// A clip filmed upright on a phone is stored on its side with a rotation that players apply: its
// frames are turned upright (transposed, without any colour conversion) before drawing.
Status VideoRun::OpenRotation() {
    if (turn_ == 0) return {};
    const AVCodecParameters* par = video_->codecpar;
    const AVRational sar = par->sample_aspect_ratio.num > 0 ? par->sample_aspect_ratio : AVRational{1, 1};
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", par->width,
                  par->height, par->format, video_->time_base.num, video_->time_base.den, sar.num, sar.den);
    rotation_.reset(avfilter_graph_alloc());
    int status = avfilter_graph_create_filter(&rotationIn_, avfilter_get_by_name("buffer"), "in", args, nullptr, rotation_.get());
    if (status >= 0)
        status = avfilter_graph_create_filter(&rotationOut_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                              rotation_.get());
    const char* turn = turn_ == 90 ? "transpose=clock" : turn_ == 270 ? "transpose=cclock" : "hflip,vflip";
    const std::string chain = std::string(turn) + ",format=" + av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    outputs->name = av_strdup("in"), outputs->filter_ctx = rotationIn_;
    inputs->name = av_strdup("out"), inputs->filter_ctx = rotationOut_;
    if (status >= 0) status = avfilter_graph_parse_ptr(rotation_.get(), chain.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    rotation_->nb_threads = 1;
    if (status >= 0) status = avfilter_graph_config(rotation_.get(), nullptr);
    if (status < 0) return Failure("cannot turn the frames of " + job_.input + " upright: " + AvErrorText(status));
    return {};
}

Status VideoRun::OpenOutput() {
    if (Status opened = writer_.Open(job_.output); !opened) return opened;
    AVFormatContext* out = writer_.Container();
    const AVCodecParameters* par = video_->codecpar;
    picture_.width = turn_ % 180 ? par->height : par->width;
    picture_.height = turn_ % 180 ? par->width : par->height;
    picture_.format = static_cast<AVPixelFormat>(par->format);
    AVRational sar = av_guess_sample_aspect_ratio(input_.get(), video_, nullptr);
    if (turn_ % 180 && sar.num > 0) std::swap(sar.num, sar.den);
    picture_.aspect = sar;
    picture_.range = par->color_range;
    picture_.space = par->color_space;
    picture_.primaries = par->color_primaries;
    picture_.transfer = par->color_trc;
    picture_.chroma = par->chroma_location;
    picture_.timeBase = video_->time_base;
    picture_.frameRate = StreamRate(video_);
    std::vector<std::string> warnings;
    Expected<AVPixelFormat> encoderFormat = writer_.AddVideo(picture_, job_.encode, false, warnings);
    if (!encoderFormat) return encoderFormat.ToStatus();
    encoderFormat_ = *encoderFormat;
    for (const std::string& w : warnings) Warn(w);
    av_dict_copy(&out->metadata, input_->metadata, 0);
    av_dict_copy(&out->streams[0]->metadata, video_->metadata, 0);
    av_dict_set(&out->streams[0]->metadata, "rotate", nullptr, 0);  // the frames are upright now
    out->streams[0]->disposition = video_->disposition;

    const std::string ext = Extension(job_.output);
    routes_.resize(input_->nb_streams);
    std::vector<std::string> audio;
    int dropped = 0;
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        AVStream* s = input_->streams[i];
        Route& route = routes_[i];
        if (static_cast<int>(i) == videoIndex_) {
            route.kind = Route::Kind::Video;
            continue;
        }
        const AVMediaType type = s->codecpar->codec_type;
        const AVCodecID id = s->codecpar->codec_id;
        if (type == AVMEDIA_TYPE_AUDIO) {
            if (const char* encoder = AudioEncoderFor(ext, out->oformat, id)) {
                route.kind = Route::Kind::Encode;
                route.transcoder = std::make_unique<AudioTranscoder>();
                if (Status opened = route.transcoder->Open(s, encoder, writer_); !opened) return opened;
                audio.push_back(std::string("audio encoded as ") + (std::strcmp(encoder, "aac") == 0 ? "AAC" : std::strcmp(encoder, "libopus") == 0 ? "Opus" : encoder) +
                                " (" + ext.substr(1) + " takes no " + avcodec_get_name(id) + ")");
                continue;
            }
            audio.push_back("audio copied");
        } else if (avformat_query_codec(out->oformat, id, FF_COMPLIANCE_NORMAL) != 1 &&
                   !(type == AVMEDIA_TYPE_ATTACHMENT && ext == ".mkv")) {
            // Subtitles, data and attachments only where the container is known to hold them.
            ++dropped;
            Warn(job_.output + ": " + ext.substr(1) + " cannot hold the " + avcodec_get_name(id) + " " +
                 (av_get_media_type_string(type) ? av_get_media_type_string(type) : "data") + " stream " +
                 std::to_string(i) + " of " + job_.input + "; it is left out");
            continue;
        }
        route.kind = Route::Kind::Copy;
        Expected<AVStream*> copy = writer_.AddCopy(s);
        if (!copy) return copy.ToStatus();
        route.out = *copy;
    }
    result_.audio = audio.empty() ? "no audio" : audio.front();
    for (size_t i = 1; i < audio.size(); ++i)
        if (audio[i] != audio[0]) result_.audio += ", " + audio[i];

    // Chapters, as the input has them.
    if (input_->nb_chapters > 0) {
        out->chapters = static_cast<AVChapter**>(av_calloc(input_->nb_chapters, sizeof(AVChapter*)));
        for (unsigned i = 0; out->chapters && i < input_->nb_chapters; ++i) {
            const AVChapter* from = input_->chapters[i];
            AVChapter* to = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (!to) break;
            to->id = from->id, to->time_base = from->time_base, to->start = from->start, to->end = from->end;
            av_dict_copy(&to->metadata, from->metadata, 0);
            out->chapters[out->nb_chapters++] = to;
        }
    }
    return writer_.Start();
}

// The reader: demuxes, decodes the video (turning it upright) and passes frames and the other
// streams' packets on in file order.
Status VideoRun::ReadAll() {
    PacketPtr packet = NewPacket();
    FramePtr frame = NewFrame();
    const auto failed = [&](const char* what, int status) {
        return Failure(std::string(what) + job_.input + " after " + std::to_string(decodedFrames_) + " frames: " + AvErrorText(status));
    };
    const auto receive = [&]() -> Status {
        for (;;) {
            const int status = avcodec_receive_frame(decoder_.get(), frame.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return {};
            if (status < 0) return failed("cannot decode ", status);
            if (Status passed = Decoded(frame.get()); !passed) return passed;
        }
    };
    for (;;) {
        int status = av_read_frame(input_.get(), packet.get());
        if (status == AVERROR_EOF) break;
        if (status < 0) return failed("cannot read ", status);
        const Route& route = routes_[static_cast<size_t>(packet->stream_index)];
        if (route.kind == Route::Kind::Video) {
            status = avcodec_send_packet(decoder_.get(), packet.get());
            av_packet_unref(packet.get());
            if (status < 0 && status != AVERROR(EAGAIN)) return failed("cannot decode ", status);
            if (Status received = receive(); !received) return received;
        } else if (route.kind != Route::Kind::Drop) {
            Item item;
            item.packet = NewPacket();
            av_packet_move_ref(item.packet.get(), packet.get());
            if (!decoded_.Push(std::move(item))) return Stopped();
        } else {
            av_packet_unref(packet.get());
        }
    }
    if (input_->pb && input_->pb->error < 0) return Failure("cannot read " + job_.input + ": " + AvErrorText(input_->pb->error));
    avcodec_send_packet(decoder_.get(), nullptr);
    if (Status received = receive(); !received) return received;
    if (rotation_) {
        // The frames still in the turning graph: its end, without counting a frame.
        int status = av_buffersrc_add_frame(rotationIn_, nullptr);
        FramePtr turned = NewFrame();
        while (status >= 0 && (status = av_buffersink_get_frame(rotationOut_, turned.get())) >= 0) {
            Item item;
            item.frame = NewFrame();
            av_frame_move_ref(item.frame.get(), turned.get());
            if (!decoded_.Push(std::move(item))) return Stopped();
        }
    }
    if (decodedFrames_ == 0) return Failure("cannot read video " + job_.input + ": its video stream holds no frames");
    return CheckLength();
}

// A file cut short still reads to its end without an error in most containers: its frames end
// well before the length its header states.
Status VideoRun::CheckLength() const {
    const AVRational tb = video_->time_base;
    double stated = video_->duration > 0 ? static_cast<double>(video_->duration) * av_q2d(tb) : 0;
    bool otherStreams = false;
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        otherStreams |= static_cast<int>(i) != videoIndex_ && input_->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT;
    // The container's length counts every stream: only a video alone is held to it.
    if (stated <= 0 && !otherStreams && input_->duration > 0) stated = static_cast<double>(input_->duration) / AV_TIME_BASE;
    if (stated <= 0 || readFirstPts_ == AV_NOPTS_VALUE) return {};
    const double start = video_->start_time != AV_NOPTS_VALUE ? static_cast<double>(video_->start_time) * av_q2d(tb) : 0;
    const double read = static_cast<double>(readLastPts_) * av_q2d(tb) - start + 1.0 / av_q2d(StreamRate(video_));
    if (read >= stated - std::max(0.5, stated * 0.05)) return {};
    char text[160];
    std::snprintf(text, sizeof text, ": its frames end at %.2f s of the %.2f s it states (the file is truncated or broken)",
                  read, stated);
    return Failure("cannot read video " + job_.input + text);
}

Status VideoRun::Decoded(AVFrame* frame) {
    if (frame) {
        frame->pts = frame->best_effort_timestamp;
        ++decodedFrames_;
        if (frame->pts != AV_NOPTS_VALUE) {
            if (readFirstPts_ == AV_NOPTS_VALUE) readFirstPts_ = frame->pts;
            readLastPts_ = std::max(readLastPts_, frame->pts);
        }
    }
    const auto pass = [&](AVFrame* f) {
        Item item;
        item.frame = NewFrame();
        av_frame_move_ref(item.frame.get(), f);
        return decoded_.Push(std::move(item));
    };
    if (!rotation_) return pass(frame) ? Status() : Stopped();
    int status = av_buffersrc_add_frame(rotationIn_, frame);
    FramePtr turned = NewFrame();
    while (status >= 0) {
        status = av_buffersink_get_frame(rotationOut_, turned.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return {};
        if (status >= 0 && !pass(turned.get())) return Stopped();
    }
    return Failure("cannot turn the frames of " + job_.input + " upright: " + AvErrorText(status));
}

// The drawing thread (the caller's): asks the painter about each frame and draws where it says.
Status VideoRun::DrawAll() {
    FramePaint paint;
    const AVRational frameTime = av_inv_q(picture_.frameRate);
    const int64_t step = std::max<int64_t>(1, av_rescale_q(1, frameTime, picture_.timeBase));
    int index = 0;
    for (Item item;;) {
        const Channel::Got got = decoded_.Pop(item, &result_.waitDecode);
        if (got == Channel::Got::Aborted) return Stopped();
        if (got == Channel::Got::End) return {};
        if (AVFrame* frame = item.frame.get()) {
            const double start = ThreadSeconds();
            // Frames without a timestamp follow the one before at the stream's rate; one stamped at
            // or before the one before (a muxer's rounding) a tick after it, as encoders and MP4
            // take only rising timestamps.
            if (frame->pts == AV_NOPTS_VALUE) frame->pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + step;
            else if (lastPts_ != AV_NOPTS_VALUE && frame->pts <= lastPts_) frame->pts = lastPts_ + 1;
            if (firstPts_ == AV_NOPTS_VALUE)
                firstPts_ = video_->start_time != AV_NOPTS_VALUE ? std::min(video_->start_time, frame->pts) : frame->pts;
            lastPts_ = frame->pts;
            const double seconds = static_cast<double>(frame->pts - firstPts_) * av_q2d(picture_.timeBase);
            Expected<PixelRect> area = job_.painter->Prepare(seconds, index);
            if (!area) return area.ToStatus();
            result_.prepare += ThreadSeconds() - start;
            if (!area->Empty()) {
                if (Status painted = paint.Paint(frame, *area, job_.painter->Layers()); !painted) return painted;
            }
            frame->pict_type = AV_PICTURE_TYPE_NONE;  // the encoder chooses its own key frames
            result_.draw += ThreadSeconds() - start;
            ++index;
            if (job_.progress && !job_.progress(index)) {
                result_.stopped = true;
                return Failure("interrupted");
            }
        }
        const auto start = std::chrono::steady_clock::now();
        if (!drawn_.Push(std::move(item))) return Stopped();
        result_.waitEncode += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
}

Status VideoRun::Encode(AVFrame* frame) {
    if (encoderFormat_ == picture_.format) return writer_.Encode(frame);
    // The encoder takes another format: the whole frame converted, with its matrix and range.
    if (!converted_) {
        converted_ = NewFrame();
        converted_->format = encoderFormat_;
        converted_->width = frame->width;
        converted_->height = frame->height;
        if (av_frame_get_buffer(converted_.get(), 0) < 0) return Failure("out of memory");
    }
    if (av_frame_make_writable(converted_.get()) < 0) return Failure("out of memory");
    toEncoder_.reset(sws_getCachedContext(toEncoder_.release(), frame->width, frame->height,
                                          static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                                          encoderFormat_, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!toEncoder_) return Failure(std::string("cannot convert frames to ") + av_get_pix_fmt_name(encoderFormat_));
    const bool full = frame->color_range == AVCOL_RANGE_JPEG;
    const int* matrix = sws_getCoefficients(frame->colorspace);
    sws_setColorspaceDetails(toEncoder_.get(), matrix, full, matrix, full, 0, 1 << 16, 1 << 16);
    sws_scale(toEncoder_.get(), frame->data, frame->linesize, 0, frame->height, converted_->data, converted_->linesize);
    av_frame_copy_props(converted_.get(), frame);
    return writer_.Encode(converted_.get());
}

// The writer thread: encodes the frames and writes every packet, in the order they come.
Status VideoRun::WriteAll() {
    for (Item item;;) {
        const Channel::Got got = drawn_.Pop(item);
        if (got == Channel::Got::Aborted) return Stopped();
        if (got == Channel::Got::End) break;
        Status written;
        if (item.frame) {
            written = Encode(item.frame.get());
        } else {
            const int from = item.packet->stream_index;
            Route& route = routes_[static_cast<size_t>(from)];
            if (route.kind == Route::Kind::Copy) written = writer_.Write(item.packet.get(), input_->streams[from]->time_base, route.out);
            else if (route.kind == Route::Kind::Encode) written = route.transcoder->Push(item.packet.get(), writer_);
        }
        if (!written) return written;
    }
    for (Route& route : routes_)
        if (route.transcoder)
            if (Status drained = route.transcoder->Push(nullptr, writer_); !drained) return drained;
    result_.frames = writer_.FramesEncoded();
    return writer_.Finish();
}

Status VideoRun::Run() {
    QuietLibav();
    // Frames of several megabytes are allocated and freed all the time (decoder pools, copies to
    // draw on): kept in the heap rather than mapped afresh, they cost no page faults each time.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    Expected<int> videoIndex = OpenInput(job_.input, input_);
    if (!videoIndex) return videoIndex.ToStatus();
    videoIndex_ = *videoIndex;
    for (Status (VideoRun::*open)() : {&VideoRun::OpenDecoder, &VideoRun::OpenRotation, &VideoRun::OpenOutput})
        if (Status opened = (this->*open)(); !opened) return opened;
    Status read, written;
    std::thread reader([&] {
        read = ReadAll();
        if (read) decoded_.Close();
        else decoded_.Abort(), drawn_.Abort();
    });
    std::thread writer([&] {
        written = WriteAll();
        if (!written) decoded_.Abort(), drawn_.Abort();
    });
    const Status drawn = DrawAll();
    if (drawn) drawn_.Close();
    else decoded_.Abort(), drawn_.Abort();
    reader.join();
    writer.join();
    // The first failure is the cause; the others stopped because of it (Stopped: no message).
    const Status* endings[] = {&drawn, &read, &written};
    for (const Status* status : endings)
        if (!*status && !status->Message().empty()) return *status;
    if (!drawn || !read || !written) return Failure("the video could not be written");
    return {};
}

}  // namespace

std::string VideoInfo::Rate() const { return std::to_string(rateNum) + "/" + std::to_string(rateDen); }

Expected<VideoInfo> ProbeVideo(const std::string& path) {
    QuietLibav();
    VideoInfo info;
    InputPtr input;
    Expected<int> index = OpenInput(path, input);
    if (!index) return Failure(index.Message());
    const AVStream* s = input->streams[*index];
    const AVCodecParameters* par = s->codecpar;
    const int turn = UprightTurn(s);
    info.width = turn % 180 ? par->height : par->width;
    info.height = turn % 180 ? par->width : par->height;
    const AVRational rate = StreamRate(s);
    info.rateNum = rate.num, info.rateDen = rate.den;
    info.fps = av_q2d(rate);
    if (input->duration > 0) info.seconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    else if (s->duration > 0) info.seconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
    info.frames = s->nb_frames > 0 ? static_cast<int>(s->nb_frames) : static_cast<int>(std::lround(info.seconds * info.fps));
    if (info.seconds <= 0) info.seconds = info.frames / info.fps;
    AVRational sar = av_guess_sample_aspect_ratio(input.get(), const_cast<AVStream*>(s), nullptr);
    if (sar.num > 0 && sar.num != sar.den) {
        if (turn % 180) std::swap(sar.num, sar.den);
        info.aspectNum = sar.num, info.aspectDen = sar.den;
    }
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    info.pixelFormat = format ? format : "";
    info.colour = ColourText(par);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            info.audioCodecs.push_back(avcodec_get_name(input->streams[i]->codecpar->codec_id));
    return info;
}

Status RunVideo(const VideoJob& job, VideoResult& result) {
    result = VideoResult{};
    VideoRun run(job, result);
    return run.Run();
}

}  // namespace qeltitle
