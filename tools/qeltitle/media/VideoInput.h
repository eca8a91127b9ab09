// Reading a video through ffmpeg: what ffprobe says of it (size, rate, frame count, pixel aspect,
// audio), and its frames decoded to raw BGRA on a pipe, one at a time.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "player/Image.h"

namespace qeltitle {

struct VideoProbe {
    int width = 0, height = 0;  // pixels of the decoded frames (a rotation of 90 or 270 degrees applied)
    std::string rate;           // frames per second as ffprobe gives it: "25/1", "30000/1001"
    double fps = 0;
    int frames = 0;             // video packets (one a frame): an estimate for the progress
    double seconds = 0;         // the container's duration
    std::string aspect;         // sample (pixel) aspect "N:D"; empty when square or unknown
    std::vector<std::string> audioCodecs;  // one per audio stream, in order
};

// ffprobe (QELTITLE_FFPROBE, or ffprobe beside the ffmpeg in use, or on PATH) on `path`. False
// with the reason when the file cannot be read or holds no video stream.
bool ProbeVideo(const std::string& ffmpeg, const std::string& path, VideoProbe& out, std::string& error);

// ffmpeg decoding the first video stream of a file to BGRA frames of its own size on a pipe,
// every frame as decoded (no frames dropped or repeated for a rate).
class VideoDecoder {
public:
    VideoDecoder() = default;
    ~VideoDecoder();  // stops a decoder that is still running
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    bool Start(const std::string& ffmpeg, const std::string& path, int width, int height, std::string& error);
    enum class Read { Frame, End, Failed };
    // The next frame into `frame` (width x height); End after the last one, once ffmpeg has
    // exited with status 0; Failed with the reason otherwise.
    Read Next(Image& frame, std::string& error);
    // Ends the decoder early (interrupted or failed elsewhere).
    void Stop();

private:
    bool Wait(std::string& error);

    pid_t pid_ = -1;
    int fd_ = -1;
    int width_ = 0, height_ = 0;
};

}  // namespace qeltitle
