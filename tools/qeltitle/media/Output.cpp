#include "media/Output.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "player/FrameDefaults.h"
#include "media/VideoWriter.h"
#include "player/SafeFile.h"
#include "media/Png.h"


namespace qeltitle {
namespace {

namespace fs = std::filesystem;

// Finds the one conversion of a pattern: its offset, length and zero-padded width.
struct Conversion {
    size_t at = 0, length = 0;
    int width = 0;
    bool zeroPad = false;
};

Expected<Conversion> FindConversion(std::string_view pattern) {
    Conversion found;
    int count = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        Conversion c;
        c.at = i;
        size_t k = i + 1;
        if (k < pattern.size() && pattern[k] == '0') c.zeroPad = true, ++k;
        if (k < pattern.size() && pattern[k] >= '1' && pattern[k] <= '9') c.width = pattern[k++] - '0';
        if (k >= pattern.size() || pattern[k] != 'd')
            return Failure("bad frame pattern '" + std::string(pattern) + "': only %d, %Nd and %0Nd are allowed");
        c.length = k + 1 - i;
        found = c;
        ++count;
        i = k;
    }
    if (count != 1) return Failure("bad frame pattern '" + std::string(pattern) + "': it needs exactly one %d");
    return found;
}

// Picture formats that hold one frame: ffmpeg would write one picture or fail.
constexpr const char* kStillExtensions[] = {".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".ppm", ".pgm", ".tga"};

class PngSequence final : public FrameSink {
public:
    PngSequence(std::string pattern, bool withAlpha) : pattern_(std::move(pattern)), alpha_(withAlpha) {}
    Status Write(int index, const Image& frame) override {
        const std::string path = FormatFramePattern(pattern_, index);
        if (Status written = WritePng(path, frame, alpha_, PngKind::SequenceFrame); !written)
            return std::move(written).Context("cannot write frame: " + path + ": ");
        ++written_;
        return {};
    }
    // The frames reach the disk together: one sync of their file system instead of one per frame.
    Status Finish() override {
        std::string dir = fs::path(FormatFramePattern(pattern_, 0)).parent_path().string();
        if (dir.empty()) dir = ".";
        if (std::string error; written_ > 0 && !SyncFileSystem(dir, error))
            return Failure("cannot write frames " + pattern_ + ": " + error);
        return {};
    }
    std::string Describe(const std::string& details) const override {
        return CountOf(written_, "PNG frame") + " " + pattern_ + (details.empty() ? "" : " (" + details + ")");
    }

private:
    std::string pattern_;
    bool alpha_;
    int written_ = 0;
};

// Frames encoded in the process into a temporary file beside the output, which replaces it only
// when the trailer is written; a failure or an interruption leaves the old output as it was and
// removes the partial file. The BGRA frames reach the encoder's format through a filter graph:
// padded to even sides for H.264, converted with the BT.709 matrix (and tagged so), or given a
// palette made from the whole animation for a GIF.
class EncodedVideo final : public FrameSink {
public:
    explicit EncodedVideo(std::string output) : output_(std::move(output)) {}

    Status Start(int width, int height, const FrameRate& fps, bool withAlpha) {
        QuietLibav();
        if (Status opened = writer_.Open(output_); !opened) return opened;
        const std::string ext = Extension(output_);
        const FrameSize size = EncodedSize(output_, width, height);
        PictureFormat picture;
        picture.width = size.width;
        picture.height = size.height;
        picture.timeBase = AVRational{static_cast<int>(fps.den), static_cast<int>(fps.num)};
        picture.frameRate = AVRational{static_cast<int>(fps.num), static_cast<int>(fps.den)};
        picture.aspect = AVRational{1, 1};
        const bool gif = ext == ".gif";
        picture.format = gif                             ? AV_PIX_FMT_PAL8
                         : ext == ".mov" && withAlpha    ? AV_PIX_FMT_YUVA444P10LE
                         : PadsToEvenSize(output_)       ? AV_PIX_FMT_YUV420P
                         : ext == ".webm"                ? (withAlpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P)
                                                         : AV_PIX_FMT_BGRA;
        std::vector<std::string> warnings;
        const auto yuv = [](AVPixelFormat f) {
            const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
            return d && !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && d->nb_components >= 3;
        };
        // Pick the encoder's format first: the tags depend on it.
        {
            VideoWriter probe;
            if (probe.Open(output_))
                if (Expected<AVPixelFormat> taken = probe.AddVideo(picture, EncodeSettings{}, withAlpha, warnings)) picture.format = *taken;
            warnings.clear();
        }
        if (yuv(picture.format)) {
            picture.space = AVCOL_SPC_BT709, picture.primaries = AVCOL_PRI_BT709, picture.transfer = AVCOL_TRC_BT709;
            picture.range = AVCOL_RANGE_MPEG;
        }
        Expected<AVPixelFormat> encoderFormat = writer_.AddVideo(picture, EncodeSettings{}, withAlpha, warnings);
        if (!encoderFormat) return Failure("cannot write " + output_ + ": " + encoderFormat.Message());
        const AVPixelFormat format = *encoderFormat;
        std::string chain;
        if (size.width != width || size.height != height) chain = "pad=ceil(iw/2)*2:ceil(ih/2)*2,";
        if (gif)
            chain += std::string("split[a][b];[a]palettegen=reserve_transparent=") + (withAlpha ? "1" : "0") +
                     "[p];[b][p]paletteuse";
        else if (yuv(format))
            chain += std::string("scale=out_color_matrix=bt709:out_range=tv,format=") + av_get_pix_fmt_name(format);
        else
            chain += std::string("format=") + av_get_pix_fmt_name(format);
        if (Status opened = OpenGraph(width, height, picture.timeBase, chain); !opened) return opened;
        width_ = width, height_ = height;
        return writer_.Start();
    }

    Status Write(int, const Image& frame) override {
        FramePtr in = NewFrame();
        in->format = AV_PIX_FMT_BGRA;
        in->width = width_;
        in->height = height_;
        if (av_frame_get_buffer(in.get(), 0) < 0) return Failure("out of memory");
        for (int y = 0; y < height_; ++y)
            std::memcpy(in->data[0] + static_cast<ptrdiff_t>(y) * in->linesize[0], frame.Row(y), static_cast<size_t>(width_) * 4);
        in->pts = written_;
        if (Status filtered = Filter(in.get()); !filtered) return filtered;
        ++written_;
        return {};
    }

    Status Finish() override {
        if (Status filtered = Filter(nullptr); !filtered) return filtered;
        return writer_.Finish();
    }

    std::string Describe(const std::string& details) const override {
        return output_ + " (" + CountOf(written_, "frame") + (details.empty() ? "" : ", " + details) + ")";
    }

private:
    Status OpenGraph(int width, int height, AVRational timeBase, const std::string& chain) {
        char args[256];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1", width, height,
                      AV_PIX_FMT_BGRA, timeBase.num, timeBase.den);
        graph_.reset(avfilter_graph_alloc());
        int status = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", args, nullptr, graph_.get());
        if (status >= 0)
            status = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_.get());
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        outputs->name = av_strdup("in"), outputs->filter_ctx = source_;
        inputs->name = av_strdup("out"), inputs->filter_ctx = sink_;
        if (status >= 0) status = avfilter_graph_parse_ptr(graph_.get(), chain.c_str(), &inputs, &outputs, nullptr);
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        if (status >= 0) status = avfilter_graph_config(graph_.get(), nullptr);
        if (status < 0)
            return Failure("cannot write " + output_ + ": cannot convert the frames for its encoder (" + AvErrorText(status) + ")");
        return {};
    }

    // Hands a frame (nullptr: the end) to the graph and encodes what comes out.
    Status Filter(AVFrame* frame) {
        int status = av_buffersrc_add_frame(source_, frame);
        while (status >= 0) {
            status = av_buffersink_get_frame(sink_, filtered_.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return {};
            if (status < 0) break;
            filtered_->pict_type = AV_PICTURE_TYPE_NONE;
            Status encoded = writer_.Encode(filtered_.get());
            av_frame_unref(filtered_.get());
            if (!encoded) return std::move(encoded).Context("cannot write " + output_ + ": ");
        }
        return Failure("cannot write " + output_ + ": " + AvErrorText(status));
    }

    std::string output_;
    VideoWriter writer_;
    GraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    FramePtr filtered_ = NewFrame();
    int width_ = 0, height_ = 0;
    int written_ = 0;
};

}  // namespace

bool IsFramePattern(std::string_view text) {
    return text.find('%') != std::string_view::npos && FindConversion(text);
}

Status CheckFramePattern(std::string_view pattern) { return FindConversion(pattern).ToStatus(); }

std::string FormatFramePattern(std::string_view pattern, int number) {
    const Expected<Conversion> found = FindConversion(pattern);
    if (!found) return std::string(pattern);
    const Conversion& c = *found;
    std::string digits = std::to_string(number < 0 ? -number : number);
    const size_t signWidth = number < 0 ? 1 : 0;
    if (digits.size() + signWidth < static_cast<size_t>(c.width)) {
        const size_t pad = c.width - digits.size() - signWidth;
        digits = c.zeroPad ? std::string(pad, '0') + digits : digits;
        if (number < 0) digits = "-" + digits;
        if (!c.zeroPad) digits = std::string(pad, ' ') + digits;
    } else if (number < 0) {
        digits = "-" + digits;
    }
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (i == c.at) {
            out += digits;
            i += c.length - 1;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string FindProgram(std::string_view name) {
    if (name.find('/') != std::string_view::npos)
        return access(std::string(name).c_str(), X_OK) == 0 ? std::string(name) : std::string();
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "";
    while (!dirs.empty()) {
        const size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + std::string(name);
        if (access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate)) return candidate;
    }
    return {};
}

std::string CountOf(long count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

Status CheckEncodableSize(const std::string& output, int width, int height) {
    if (IsFramePattern(output) || Extension(output) == ".png") return {};
    const FrameSize encoded = EncodedSize(output, width, height);
    constexpr int64_t kMaxPicture = INT32_MAX;  // ffmpeg's picture check, in bytes of 8 per pixel
    if (encoded.width <= kMaxFrameSide && encoded.height <= kMaxFrameSide &&
        8 * (int64_t{encoded.width} + 128) * (encoded.height + 128) < kMaxPicture)
        return {};
    int64_t tallest = std::min<int64_t>((kMaxPicture - 1) / (8 * (int64_t{encoded.width} + 128)) - 128, kMaxFrameSide);
    if (PadsToEvenSize(output)) tallest -= tallest % 2;
    return Failure(output + ": ffmpeg cannot encode " + std::to_string(width) + "x" + std::to_string(height) +
                   " frames (it takes no picture where (width + 128) x (height + 128) reaches 268435456: at this "
                   "width the frames may be " + std::to_string(tallest) +
                   " high); give a smaller --size, or write PNG frames (frames/%04d.png)");
}

FrameSize EncodedSize(const std::string& output, int width, int height) {
    if (!PadsToEvenSize(output)) return {width, height};
    return {width + width % 2, height + height % 2};
}

bool PadsToEvenSize(const std::string& output) {
    const std::string ext = Extension(output);
    return ext == ".mp4" || ext == ".mov" || ext == ".mkv" || ext == ".m4v";
}

Status CheckOutputExtension(const std::string& path, std::string_view extension, std::string_view what,
                            std::string_view failure) {
    OutputTarget target;
    std::string reason;
    if (!ResolveOutput(path, target, reason)) return Failure(std::string(failure) + path + ": " + reason);
    // Through a link the file written is the link's target, whose name counts as well.
    if (target.kind == OutputTarget::Kind::Stream || Extension(path) == extension || Extension(target.path) == extension)
        return {};
    return Failure(path + ": only " + std::string(what) + " are written; name the output " + std::string(extension));
}

Status CheckStillOutput(const std::string& path) {
    return CheckOutputExtension(path, ".png", "PNG pictures", "cannot write ");
}

int CountLaterFrames(std::string_view pattern, int from) {
    int count = 0;
    std::error_code ec;
    while (count < 1000000 && fs::exists(FormatFramePattern(pattern, from + count), ec)) ++count;
    return count;
}

Expected<std::string> CheckAlphaOutput(const std::string& output) {
    const std::string ext = Extension(output);
    if (IsFramePattern(output) || ext == ".webm" || ext == ".mov") return std::string();
    if (PadsToEvenSize(output))
        return Failure(output + ": H.264 has no alpha channel, so a transparent background would come out black; "
                       "write .webm (VP9 with alpha), .mov (ProRes 4444) or PNG frames (frames/%04d.png)");
    if (ext == ".gif")
        return output + ": GIF keeps one level of transparency: soft edges become opaque; .webm (VP9) and "
               ".mov (ProRes 4444) keep the whole alpha";
    return output + ": ffmpeg chooses the encoder for " + (ext.empty() ? "this name" : ext) +
           " and may drop the alpha; .webm (VP9) and .mov (ProRes 4444) keep it";
}

std::string PaddedVideoNote(const std::string& output, int width, int height) {
    if (!PadsToEvenSize(output) || (width % 2 == 0 && height % 2 == 0)) return {};
    return output + ": H.264 needs an even width and height; the " + std::to_string(width) + "x" +
           std::to_string(height) + " frames get a black " +
           (width % 2 && height % 2 ? "column and row" : width % 2 ? "column" : "row") + " added (" +
           std::to_string(width + width % 2) + "x" + std::to_string(height + height % 2) +
           "); give --size even sides to avoid it";
}

Expected<std::unique_ptr<FrameSink>> OpenFrameSink(const std::string& output, int width, int height,
                                                   const FrameRate& fps, bool withAlpha) {
    if (output.find('%') != std::string::npos) {
        if (Status checked = CheckFramePattern(output); !checked) return Failure(checked.Message());
        if (Extension(output) != ".png")
            return Failure("bad frame pattern '" + output + "': frames are written as PNG; end the pattern in .png");
        if (Status made = CreateParentFolders(FormatFramePattern(output, 0)); !made) return Failure(made.Message());
        return std::unique_ptr<FrameSink>(std::make_unique<PngSequence>(output, withAlpha));
    }
    const std::string ext = Extension(output);
    if (ext == ".png") return Failure(output + ": a PNG output needs a frame-number pattern, such as frames/%04d.png");
    for (const char* still : kStillExtensions) {
        if (ext != still) continue;
        return Failure(output + ": " + ext.substr(1) + " holds one picture; write PNG frames with a pattern such as "
                       "frames/%04d.png, or a video (.mp4, .webm, .gif, ...)");
    }
    if (Status encodable = CheckEncodableSize(output, width, height); !encodable) return Failure(encodable.Message());
    if (Status made = CreateParentFolders(output); !made) return Failure(made.Message());
    auto video = std::make_unique<EncodedVideo>(output);
    if (Status started = video->Start(width, height, fps, withAlpha); !started) return Failure(started.Message());
    return std::unique_ptr<FrameSink>(std::move(video));
}

std::string Extension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace qeltitle
