// Titles over a video, in the process: the input is decoded with libavcodec, each frame is offered
// to a FramePainter, and the frames are encoded again into the output with the input's colour tags,
// while its audio, subtitle and data streams, chapters and metadata are carried over.
//
// Frames are drawn on in their own pixel format: the painter's layers are blended into the
// decoded frame's samples (media/LayerBlend), with the input's matrix and range; only formats it
// cannot blend in (RGB, paletted, ...) have the covered rectangle converted to BGRA and back. A
// frame the painter leaves alone reaches the encoder exactly as decoded, and a drawn one is
// copied only when the decoder still holds it. Decoding, drawing and encoding run on three
// threads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "player/Image.h"  // PixelRect, LayerView
#include "player/Result.h"

namespace qeltitle {

// What is drawn over the video, asked frame by frame on one thread, in presentation order.
class FramePainter {
public:
    virtual ~FramePainter() = default;
    // Draws the frame shown at `seconds` (from its timestamp, 0 for the clip's first frame; frames
    // of a variable-rate clip come at uneven times), `index` frames after the first, as layers:
    // gives the part of the frame they cover, empty when nothing is drawn.
    virtual Expected<PixelRect> Prepare(double seconds, int index) = 0;
    // The layers the last Prepare drew, bottom first, each where it lies in the frame.
    virtual const std::vector<LayerView>& Layers() const = 0;
};

// What a video holds, as far as the tool needs to know before drawing.
struct VideoInfo {
    int width = 0, height = 0;  // pixels of the upright frames (a rotation of 90 or 270 degrees swaps them)
    int rateNum = 0, rateDen = 1;  // frames per second as a fraction: 25/1, 30000/1001
    double fps = 0;
    int frames = 0;             // the frame count the container states, else duration x rate: for progress
    double seconds = 0;         // the container's duration
    int aspectNum = 0, aspectDen = 0;  // sample (pixel) aspect; 0: square or unknown
    std::string pixelFormat;    // "yuv420p", "yuv420p10le"
    std::string colour;         // "bt709, tv range": what the frames are tagged with, for messages
    std::vector<std::string> audioCodecs;  // one per audio stream, in order
    std::string Rate() const;   // "25/1"
};

// Opens `path` and reads what it holds. Fails with the reason ("cannot read video PATH: ...")
// when it cannot be read, holds no video stream or no decoder takes it.
Expected<VideoInfo> ProbeVideo(const std::string& path);

// The video encoder. Empty fields keep the choice the output's extension makes: libx264 at
// preset medium and CRF 18 for .mp4, .mov, .mkv and .m4v; VP9 at CRF 30 for .webm; the
// container's usual encoder otherwise.
struct EncodeSettings {
    std::string codec;    // an encoder libavcodec knows: libx264, libx265, h264_nvenc, ...
    int crf = -1;         // quality; -1: the codec's default here
    std::string preset;   // the encoder's speed preset
    std::string bitrate;  // "6M", "800k": a target bit rate instead of a quality
};

struct VideoJob {
    std::string input, output;
    EncodeSettings encode;
    FramePainter* painter = nullptr;
    // Each frame written (its count so far); false stops the run (interrupted).
    std::function<bool(int)> progress;
    // Warnings found on the way (an encoder that cannot keep the input's depth, a stream the
    // output's container cannot hold).
    std::function<void(const std::string&)> warn;
};

struct VideoResult {
    int frames = 0;
    std::string audio;  // "audio copied", "audio encoded as AAC (...)", "no audio"
    bool stopped = false;  // the progress callback asked to stop
    // Seconds the drawing thread spent waiting for decoded frames and for the encoder to take
    // frames, and the processor time it spent drawing (copies and blending included), of which
    // the painter's Prepare (drawing the titles themselves).
    double waitDecode = 0, waitEncode = 0;
    double draw = 0, prepare = 0;
};

// Decodes `job.input`, draws with `job.painter` and writes `job.output` through a temporary file
// beside it, which replaces the output only when every frame and packet has been written. On any
// failure (a broken or truncated input, an encoder that refuses, a full disk, an interruption)
// the output is left as it was and the failure says why.
Status RunVideo(const VideoJob& job, VideoResult& result);

}  // namespace qeltitle
