// The writing side of the video pipeline and of the encoded outputs of `animate` and `captions`:
// a muxer writing a temporary file beside the output, one video encoder chosen by the output's
// extension (or by the caller), streams copied from an input or encoded again, and the temporary
// renamed over the output only when the trailer is written.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/Libav.h"
#include "media/VideoPipeline.h"
#include "player/SafeFile.h"

namespace qeltitle {

// The pictures an encoder is given: size, pixel format and colour tags, and the time base of their
// timestamps.
struct PictureFormat {
    int width = 0, height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    AVRational aspect{0, 1};
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVChromaLocation chroma = AVCHROMA_LOC_UNSPECIFIED;
    AVRational timeBase{1, 25};
    AVRational frameRate{25, 1};
};

// The encoder the output's extension chooses when --codec is not given, and its settings: libx264
// (preset medium, CRF 18) for the H.264 containers, VP9 (CRF 30) for .webm, ProRes 4444 for a
// .mov with alpha, the GIF encoder for .gif; empty for any other extension (the container's own).
struct DefaultEncoder {
    std::string codec;
    int crf = -1;
    std::string preset;
};
DefaultEncoder DefaultEncoderFor(const std::string& output, bool alpha);

class VideoWriter {
public:
    VideoWriter() = default;
    ~VideoWriter();  // an unfinished output is abandoned: its temporary removed, the old file kept
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Reserves the temporary beside `output` and chooses the container by its name.
    Status Open(const std::string& output);
    AVFormatContext* Container() { return out_; }

    // Opens the video encoder for pictures of `in`; gives the pixel format it takes them in (the
    // caller converts when it differs from in.format). A format the encoder cannot keep, or a
    // depth it lowers, is told in `warnings`. `alphaWanted`: frames carry alpha that the output
    // should keep.
    Expected<AVPixelFormat> AddVideo(const PictureFormat& in, const EncodeSettings& settings, bool alphaWanted,
                                     std::vector<std::string>& warnings);
    const AVCodecContext* Encoder() const { return encoder_.get(); }
    // A stream of the output for packets copied from `in` (parameters, tags, metadata, disposition).
    Expected<AVStream*> AddCopy(const AVStream* in);
    // A stream of the output whose packets `encoder` makes (already opened).
    Expected<AVStream*> AddEncoded(const AVCodecContext* encoder);

    // Opens the temporary file and writes the header.
    Status Start();
    // Encodes a frame (nullptr: the last one was given; the encoder is drained).
    Status Encode(AVFrame* frame);
    // Writes a packet whose timestamps count in `timeBase` to `stream`.
    Status Write(AVPacket* packet, AVRational timeBase, AVStream* stream);
    // Drains the encoder, writes the trailer and replaces the output with the temporary.
    Status Finish();

    int FramesEncoded() const { return frames_; }

private:
    // Opens encoder_ for pictures of `in` given to it in `format`, with the extension's `usual`
    // settings when `usualCodec`: libavcodec's status, or kBadSetting with the message in
    // settingError_ when --crf, --preset or --bitrate is refused.
    int OpenVideoEncoder(const AVCodec* codec, const PictureFormat& in, AVPixelFormat format,
                         const EncodeSettings& settings, const DefaultEncoder& usual, bool usualCodec);
    static constexpr int kBadSetting = 1;
    Status Drain();
    void Close();

    std::string output_;
    SafeFile file_;
    AVFormatContext* out_ = nullptr;
    CodecPtr encoder_;
    AVStream* video_ = nullptr;
    PacketPtr packet_ = NewPacket();
    bool started_ = false;
    int frames_ = 0;
    std::string settingError_;
};

// An audio stream encoded again for an output whose container does not take its codec: decoded,
// resampled to what `codecName` takes, encoded and written through the writer.
class AudioTranscoder {
public:
    Status Open(const AVStream* in, const char* codecName, VideoWriter& writer);
    // One packet of the input stream; nullptr drains everything to the writer.
    Status Push(const AVPacket* packet, VideoWriter& writer);
    const char* CodecName() const { return encoder_ ? encoder_->codec->name : ""; }

private:
    Status Filter(AVFrame* frame, VideoWriter& writer);
    Status Send(AVFrame* frame, VideoWriter& writer);

    CodecPtr decoder_, encoder_;
    GraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVStream* stream_ = nullptr;
    AVRational inTimeBase_{1, 1};
    FramePtr frame_ = NewFrame(), filtered_ = NewFrame();
    PacketPtr packet_ = NewPacket();
};

}  // namespace qeltitle
