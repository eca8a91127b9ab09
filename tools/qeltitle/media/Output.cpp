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
#include "media/Process.h"
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

bool FindConversion(std::string_view pattern, Conversion& found, std::string& error) {
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
        if (k >= pattern.size() || pattern[k] != 'd') {
            error = "bad frame pattern '" + std::string(pattern) + "': only %d, %Nd and %0Nd are allowed";
            return false;
        }
        c.length = k + 1 - i;
        found = c;
        ++count;
        i = k;
    }
    if (count != 1) {
        error = "bad frame pattern '" + std::string(pattern) + "': it needs exactly one %d";
        return false;
    }
    return true;
}

// Picture formats that hold one frame: ffmpeg would write one picture or fail.
constexpr const char* kStillExtensions[] = {".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".ppm", ".pgm", ".tga"};

std::string Extension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

class PngSequence final : public FrameSink {
public:
    PngSequence(std::string pattern, bool withAlpha) : pattern_(std::move(pattern)), alpha_(withAlpha) {}
    bool Write(int index, const Image& frame, std::string& error) override {
        const std::string path = FormatFramePattern(pattern_, index);
        if (!WritePng(path, frame, alpha_, PngKind::SequenceFrame, error)) {
            error = "cannot write frame: " + path + ": " + error;
            return false;
        }
        ++written_;
        return true;
    }
    // The frames reach the disk together: one sync of their file system instead of one per frame.
    bool Finish(std::string& error) override {
        std::string dir = fs::path(FormatFramePattern(pattern_, 0)).parent_path().string();
        if (dir.empty()) dir = ".";
        if (written_ > 0 && !SyncFileSystem(dir, error)) {
            error = "cannot write frames " + pattern_ + ": " + error;
            return false;
        }
        return true;
    }
    std::string Describe(const std::string& details) const override {
        return CountOf(written_, "PNG frame") + " " + pattern_ + (details.empty() ? "" : " (" + details + ")");
    }

private:
    std::string pattern_;
    bool alpha_;
    int written_ = 0;
};

// ffmpeg encodes into a temporary name beside the output (SafeFile::Reserve); the output is
// replaced only when ffmpeg exits with status 0 and every frame was handed over. A failed,
// killed or interrupted encoder leaves the old output as it was and its partial file removed.
class FfmpegPipe final : public FrameSink {
public:
    FfmpegPipe(std::string output, size_t frameBytes) : output_(std::move(output)), frameBytes_(frameBytes) {}
    ~FfmpegPipe() override {
        std::string ignored;
        StopEncoder(ignored);  // the reserved file is removed by its own destructor
    }

    bool Start(const std::string& program, int width, int height, const FrameRate& fps, bool withAlpha,
               std::string& error) {
        return Start(
            [&](const std::string& writePath) {
                return FfmpegArguments(program, writePath, width, height, fps, withAlpha);
            },
            error);
    }

    bool Start(const FfmpegCommand& command, std::string& error) {
        if (!file_.Reserve(output_, error)) {
            error = "cannot write " + output_ + ": " + error;
            return false;
        }
        const std::vector<std::string> args = command(file_.WritePath());
        return SpawnPiped(args, ChildPipe::kStdin, pid_, fd_, error);
    }

    bool Write(int, const Image& frame, std::string& error) override {
        const uint8_t* data = frame.pixels.data();
        size_t left = frameBytes_;
        while (left > 0) {
            // SIGPIPE is ignored (main): an encoder that died shows here as EPIPE.
            const ssize_t n = ::write(fd_, data, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                std::string status;
                StopEncoder(status);
                error = "ffmpeg stopped reading frames for " + output_ + (status.empty() ? "" : ": " + status);
                return false;
            }
            data += n;
            left -= static_cast<size_t>(n);
        }
        ++written_;
        return true;
    }

    bool Finish(std::string& error) override {
        if (!StopEncoder(error)) {
            error = "cannot write " + output_ + ": " + error;
            return false;
        }
        if (!file_.Commit(error)) {
            error = "cannot write " + output_ + ": " + error;
            return false;
        }
        return true;
    }

    std::string Describe(const std::string& details) const override {
        return output_ + " (" + CountOf(written_, "frame") + (details.empty() ? "" : ", " + details) + ")";
    }

private:
    // Closes the pipe and waits for ffmpeg; true when it exited with status 0.
    bool StopEncoder(std::string& error) {
        if (fd_ >= 0) close(fd_), fd_ = -1;
        if (pid_ <= 0) return encoded_;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        encoded_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!encoded_)
            error = WIFEXITED(status) ? "ffmpeg failed with exit status " + std::to_string(WEXITSTATUS(status))
                                      : "ffmpeg was killed by signal " + std::to_string(WTERMSIG(status));
        return encoded_;
    }

    std::string output_;
    size_t frameBytes_;
    SafeFile file_;
    pid_t pid_ = -1;
    int fd_ = -1;
    int written_ = 0;
    bool encoded_ = false;
};

}  // namespace

bool IsFramePattern(std::string_view text) {
    Conversion ignored;
    std::string error;
    return text.find('%') != std::string_view::npos && FindConversion(text, ignored, error);
}

bool CheckFramePattern(std::string_view pattern, std::string& error) {
    Conversion ignored;
    return FindConversion(pattern, ignored, error);
}

std::string FormatFramePattern(std::string_view pattern, int number) {
    Conversion c;
    std::string error;
    if (!FindConversion(pattern, c, error)) return std::string(pattern);
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

bool FindFfmpeg(std::string& program, std::string& error) {
    const char* custom = std::getenv("QELTITLE_FFMPEG");
    if (custom && *custom) {
        program = FindProgram(custom);
        if (program.empty())
            error = std::string("QELTITLE_FFMPEG names ") + custom + ", which is not a program that can be run" +
                    " (set it to an ffmpeg, or unset it to use the ffmpeg on PATH)";
        return !program.empty();
    }
    program = FindProgram("ffmpeg");
    if (program.empty())
        error = "ffmpeg is not installed: no ffmpeg on PATH (install it, e.g. 'apt-get install ffmpeg', or "
                "name one with QELTITLE_FFMPEG)";
    return !program.empty();
}

std::string CountOf(long count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

bool CheckEncodableSize(const std::string& output, int width, int height, std::string& error) {
    if (IsFramePattern(output) || Extension(output) == ".png") return true;
    const FrameSize encoded = EncodedSize(output, width, height);
    constexpr int64_t kMaxPicture = INT32_MAX;  // ffmpeg's picture check, in bytes of 8 per pixel
    if (encoded.width <= kMaxFrameSide && encoded.height <= kMaxFrameSide &&
        8 * (int64_t{encoded.width} + 128) * (encoded.height + 128) < kMaxPicture)
        return true;
    int64_t tallest = std::min<int64_t>((kMaxPicture - 1) / (8 * (int64_t{encoded.width} + 128)) - 128, kMaxFrameSide);
    if (PadsToEvenSize(output)) tallest -= tallest % 2;
    error = output + ": ffmpeg cannot encode " + std::to_string(width) + "x" + std::to_string(height) +
            " frames (it takes no picture where (width + 128) x (height + 128) reaches 268435456: at this "
            "width the frames may be " + std::to_string(tallest) + " high); give a smaller --size, or write PNG frames (frames/%04d.png)";
    return false;
}

FrameSize EncodedSize(const std::string& output, int width, int height) {
    if (!PadsToEvenSize(output)) return {width, height};
    return {width + width % 2, height + height % 2};
}

bool PadsToEvenSize(const std::string& output) {
    const std::string ext = Extension(output);
    return ext == ".mp4" || ext == ".mov" || ext == ".mkv" || ext == ".m4v";
}

std::vector<std::string> FfmpegArguments(const std::string& program, const std::string& output,
                                         int width, int height, const FrameRate& fps, bool withAlpha) {
    const std::string rate = fps.Text();
    std::vector<std::string> args = {program, "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "bgra",
                                     "-s", std::to_string(width) + "x" + std::to_string(height),
                                     "-r", rate, "-i", "-"};
    const std::string ext = Extension(output);
    if (ext == ".mov" && withAlpha) {
        // ProRes 4444 keeps the alpha channel (10-bit 4:4:4 with alpha); frames of any size.
        args.insert(args.end(), {"-c:v", "prores_ks", "-profile:v", "4444", "-pix_fmt", "yuva444p10le"});
    } else if (PadsToEvenSize(output)) {
        // yuv420p halves chroma in both directions: odd sizes get one padding row or column.
        args.insert(args.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-preset",
                                 "medium", "-crf", "18", "-pix_fmt", "yuv420p"});
        if (ext != ".mkv") args.insert(args.end(), {"-movflags", "+faststart"});
    } else if (ext == ".webm") {
        args.insert(args.end(), {"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "30", "-pix_fmt",
                                 withAlpha ? "yuva420p" : "yuv420p"});
    } else if (ext == ".gif") {
        args.insert(args.end(), {"-vf", "split[a][b];[a]palettegen=reserve_transparent=" +
                                            std::string(withAlpha ? "1" : "0") + "[p];[b][p]paletteuse"});
    }
    args.push_back(output);
    return args;
}

std::unique_ptr<FrameSink> OpenFfmpegSink(const std::string& output, size_t frameBytes, const FfmpegCommand& command,
                                          std::string& error) {
    if (Status made = CreateParentFolders(output); !made) return error = made.Message(), nullptr;
    auto pipe = std::make_unique<FfmpegPipe>(output, frameBytes);
    if (!pipe->Start(command, error)) return nullptr;
    return pipe;
}

bool CheckOutputExtension(const std::string& path, std::string_view extension, std::string_view what,
                          std::string_view failure, std::string& error) {
    OutputTarget target;
    std::string reason;
    if (!ResolveOutput(path, target, reason)) {
        error = std::string(failure) + path + ": " + reason;
        return false;
    }
    // Through a link the file written is the link's target, whose name counts as well.
    if (target.kind == OutputTarget::Kind::Stream || Extension(path) == extension || Extension(target.path) == extension)
        return true;
    error = path + ": only " + std::string(what) + " are written; name the output " + std::string(extension);
    return false;
}

bool CheckStillOutput(const std::string& path, std::string& error) {
    return CheckOutputExtension(path, ".png", "PNG pictures", "cannot write ", error);
}

int CountLaterFrames(std::string_view pattern, int from) {
    int count = 0;
    std::error_code ec;
    while (count < 1000000 && fs::exists(FormatFramePattern(pattern, from + count), ec)) ++count;
    return count;
}

bool CheckAlphaOutput(const std::string& output, std::string& warning, std::string& error) {
    warning.clear();
    const std::string ext = Extension(output);
    if (IsFramePattern(output) || ext == ".webm" || ext == ".mov") return true;
    if (PadsToEvenSize(output)) {
        error = output + ": H.264 has no alpha channel, so a transparent background would come out black; "
                "write .webm (VP9 with alpha), .mov (ProRes 4444) or PNG frames (frames/%04d.png)";
        return false;
    }
    if (ext == ".gif")
        warning = output + ": GIF keeps one level of transparency: soft edges become opaque; .webm (VP9) and "
                  ".mov (ProRes 4444) keep the whole alpha";
    else
        warning = output + ": ffmpeg chooses the encoder for " + (ext.empty() ? "this name" : ext) +
                  " and may drop the alpha; .webm (VP9) and .mov (ProRes 4444) keep it";
    return true;
}

std::string PaddedVideoNote(const std::string& output, int width, int height) {
    if (!PadsToEvenSize(output) || (width % 2 == 0 && height % 2 == 0)) return {};
    return output + ": H.264 needs an even width and height; the " + std::to_string(width) + "x" +
           std::to_string(height) + " frames get a black " +
           (width % 2 && height % 2 ? "column and row" : width % 2 ? "column" : "row") + " added (" +
           std::to_string(width + width % 2) + "x" + std::to_string(height + height % 2) +
           "); give --size even sides to avoid it";
}

std::unique_ptr<FrameSink> OpenFrameSink(const std::string& output, int width, int height, const FrameRate& fps,
                                         bool withAlpha, std::string& error) {
    if (output.find('%') != std::string::npos) {
        if (!CheckFramePattern(output, error)) return nullptr;
        if (Extension(output) != ".png") {
            error = "bad frame pattern '" + output + "': frames are written as PNG; end the pattern in .png";
            return nullptr;
        }
        if (Status made = CreateParentFolders(FormatFramePattern(output, 0)); !made)
            return error = made.Message(), nullptr;
        return std::make_unique<PngSequence>(output, withAlpha);
    }
    const std::string ext = Extension(output);
    if (ext == ".png") {
        error = output + ": a PNG output needs a frame-number pattern, such as frames/%04d.png";
        return nullptr;
    }
    for (const char* still : kStillExtensions) {
        if (ext != still) continue;
        error = output + ": " + ext.substr(1) + " holds one picture; write PNG frames with a pattern such as "
                "frames/%04d.png, or a video (.mp4, .webm, .gif, ...)";
        return nullptr;
    }
    if (!CheckEncodableSize(output, width, height, error)) return nullptr;
    std::string program;
    if (!FindFfmpeg(program, error)) {
        error = "cannot write " + output + ": " + error +
                "; ffmpeg encodes video and GIF files: PNG frames (frames/%04d.png) need none";
        return nullptr;
    }
    if (Status made = CreateParentFolders(output); !made) return error = made.Message(), nullptr;
    auto pipe = std::make_unique<FfmpegPipe>(output, static_cast<size_t>(width) * height * 4);
    if (!pipe->Start(program, width, height, fps, withAlpha, error)) return nullptr;
    return pipe;
}

}  // namespace qeltitle
