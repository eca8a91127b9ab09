#include "media/VideoInput.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>
#include <sstream>

#include "media/Output.h"
#include "media/Process.h"


namespace qeltitle {
namespace {

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::string ExitText(const std::string& program, int status) {
    return WIFEXITED(status) ? program + " failed with exit status " + std::to_string(WEXITSTATUS(status))
                             : program + " was killed by signal " + std::to_string(WTERMSIG(status));
}

std::string FindProbe(const std::string& ffmpeg) {
    if (const char* custom = std::getenv("QELTITLE_FFPROBE"); custom && *custom) return FindProgram(custom);
    const size_t slash = ffmpeg.rfind('/');
    if (slash != std::string::npos) {
        const std::string beside = ffmpeg.substr(0, slash + 1) + "ffprobe";
        if (access(beside.c_str(), X_OK) == 0) return beside;
    }
    return FindProgram("ffprobe");
}

}  // namespace

bool ProbeVideo(const std::string& ffmpeg, const std::string& path, VideoProbe& out, std::string& error) {
    out = VideoProbe{};
    const std::string probe = FindProbe(ffmpeg);
    if (probe.empty()) {
        const char* custom = std::getenv("QELTITLE_FFPROBE");
        error = custom && *custom ? std::string("QELTITLE_FFPROBE names ") + custom +
                                        ", which is not a program that can be run (set it to an ffprobe, or unset it)"
                                  : "ffprobe is not installed: none beside " + ffmpeg +
                                        " nor on PATH (it comes with ffmpeg; install it, e.g. 'apt-get install ffmpeg')";
        return false;
    }
    pid_t pid = -1;
    int fd = -1;
    const std::vector<std::string> args = {probe, "-v", "error", "-count_packets", "-show_entries",
                                           "stream=codec_type,codec_name,width,height,r_frame_rate,"
                                           "sample_aspect_ratio,nb_read_packets:stream_side_data=rotation:"
                                           "format=duration",
                                           "-of", "default", "--", path};
    if (!SpawnPiped(args, ChildPipe::kStdout, pid, fd, error)) return false;
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    const int status = WaitFor(pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "cannot read video " + path + ": ffmpeg cannot read it as a video";
        return false;
    }
    // Blocks of key=value lines: [STREAM] ... [/STREAM] per stream, then [FORMAT] ... [/FORMAT].
    std::istringstream lines(text);
    std::map<std::string, std::string> block;
    bool haveVideo = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == "[/STREAM]") {
            if (block["codec_type"] == "video" && !haveVideo) {
                haveVideo = true;
                out.width = std::atoi(block["width"].c_str());
                out.height = std::atoi(block["height"].c_str());
                out.rate = block["r_frame_rate"];
                out.frames = std::atoi(block["nb_read_packets"].c_str());
                const std::string& sar = block["sample_aspect_ratio"];
                if (!sar.empty() && sar != "N/A" && sar != "1:1" && sar != "0:1") out.aspect = sar;
                // A clip filmed upright on a phone is stored on its side with a rotation that the
                // decoder applies: its frames come out turned, the sides swapped.
                const int turn = ((std::atoi(block["rotation"].c_str()) % 360) + 360) % 360;
                if (turn == 90 || turn == 270) {
                    std::swap(out.width, out.height);
                    if (const size_t colon = out.aspect.find(':'); colon != std::string::npos)
                        out.aspect = out.aspect.substr(colon + 1) + ":" + out.aspect.substr(0, colon);
                }
            } else if (block["codec_type"] == "audio") {
                out.audioCodecs.push_back(block["codec_name"]);
            }
            block.clear();
        } else if (line == "[/FORMAT]") {
            out.seconds = std::atof(block["duration"].c_str());
            block.clear();
        } else if (const size_t eq = line.find('='); eq != std::string::npos) {
            block[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    int num = 0, den = 0;
    const bool rated = std::sscanf(out.rate.c_str(), "%d/%d", &num, &den) == 2 && num > 0 && den > 0;
    if (!haveVideo || out.width <= 0 || out.height <= 0 || !rated) {
        error = "cannot read video " + path + ": " + (haveVideo ? "its video stream has no size or frame rate"
                                                                : "it holds no video stream");
        return false;
    }
    out.fps = static_cast<double>(num) / den;
    if (out.seconds <= 0) out.seconds = out.frames / out.fps;
    return true;
}

VideoDecoder::~VideoDecoder() { Stop(); }

bool VideoDecoder::Start(const std::string& ffmpeg, const std::string& path, int width, int height,
                         std::string& error) {
    width_ = width, height_ = height;
    const std::vector<std::string> args = {ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-i", path,
                                           "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo",
                                           "-pix_fmt", "bgra", "-"};
    return SpawnPiped(args, ChildPipe::kStdout, pid_, fd_, error);
}

VideoDecoder::Read VideoDecoder::Next(Image& frame, std::string& error) {
    if (frame.width != width_ || frame.height != height_) frame = Image(width_, height_);
    uint8_t* data = frame.pixels.data();
    const size_t bytes = frame.pixels.size();
    size_t got = 0;
    while (got < bytes && fd_ >= 0) {
        const ssize_t n = read(fd_, data + got, bytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("cannot read decoded frames: ") + std::strerror(errno);
            Stop();
            return Read::Failed;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got == bytes) return Read::Frame;
    const bool clean = Wait(error);
    if (got == 0 && clean) return Read::End;
    if (clean) error = "the decoder ended within a frame";
    error = "cannot decode the video: " + error;
    return Read::Failed;
}

bool VideoDecoder::Wait(std::string& error) {
    if (fd_ >= 0) close(fd_), fd_ = -1;
    if (pid_ <= 0) return true;
    const int status = WaitFor(pid_);
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error = ExitText("ffmpeg", status);
    return false;
}

void VideoDecoder::Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    std::string ignored;
    Wait(ignored);
}

}  // namespace qeltitle
