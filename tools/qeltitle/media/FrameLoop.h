// The frame loop of `animate` and `demo`: frames are drawn one after another on the calling
// thread (a TitleHost takes one call at a time) while a writer thread compresses or pipes the
// previous ones, so encoding overlaps drawing. Progress goes to standard error.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "player/Image.h"
#include "media/Output.h"
#include "player/Result.h"

namespace qeltitle {

// One progress line: a bar of `barWidth` cells, frames done, frames per second, time left (or
// other units: "rows", "rows/s").
std::string FormatProgress(int done, int total, double fps, double secondsLeft, int barWidth,
                           std::string_view unit = "frames", std::string_view rate = "fps");

// Reports frames done: a redrawn bar on a terminal, otherwise a plain line about every tenth.
class Progress {
public:
    Progress(int total, std::FILE* stream, bool interactive);
    void Update(int done);
    void Finish();

private:
    int total_;
    std::FILE* stream_;
    bool interactive_;
    int lastTenth_ = -1;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Frames `first` to `last` (inclusive) of an animation, numbered as in the whole of it.
struct FrameRange {
    int first = 0;
    int last = -1;
    int Count() const { return last - first + 1; }
};
// "FIRST:LAST" within the `count` frames of the whole animation (0 <= FIRST <= LAST < count).
Expected<FrameRange> ParseFrameRange(std::string_view text, int count);

// Draws the frames of `range` with `draw` (given the frame's number in the whole animation; it
// fills the frame it is given, and a failure stops the loop) and hands them in order to `sink`.
// Gives the first failure.
using DrawFrame = std::function<Status(int, Image&)>;
Status RunFrames(FrameRange range, int width, int height, const DrawFrame& draw, FrameSink& sink, Progress* progress);
// For a source whose length shows only when it ends (frames read from a decoder): `next` draws
// frame i, reports that there is none (End: the run ends there and succeeds), or fails.
enum class FrameResult { Drawn, End };
using NextFrame = std::function<Expected<FrameResult>(int, Image&)>;
// Frames from `first` until `next` reports the end: how many were written.
Expected<int> RunFramesToEnd(int first, int width, int height, const NextFrame& next, FrameSink& sink,
                             Progress* progress);
// Frames 0 to count - 1.
inline Status RunFrames(int count, int width, int height, const DrawFrame& draw, FrameSink& sink, Progress* progress) {
    return RunFrames(FrameRange{0, count - 1}, width, height, draw, sink, progress);
}

}  // namespace qeltitle
