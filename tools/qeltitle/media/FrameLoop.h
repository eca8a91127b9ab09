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
// fills the frame it is given, and false stops the loop with `error` set) and hands them in order
// to `sink`. Returns false on the first failure.
using DrawFrame = std::function<bool(int, Image&, std::string&)>;
bool RunFrames(FrameRange range, int width, int height, const DrawFrame& draw, FrameSink& sink,
               Progress* progress, std::string& error);
// For a source whose length shows only when it ends (frames read from a decoder): `next` draws
// frame i, reports that there is none (End: the run ends there and succeeds), or fails.
enum class FrameResult { Drawn, End, Failed };
using NextFrame = std::function<FrameResult(int, Image&, std::string&)>;
// Frames from `first` until `next` reports the end; `count` returns how many were written.
bool RunFramesToEnd(int first, int width, int height, const NextFrame& next, FrameSink& sink, Progress* progress,
                    int& count, std::string& error);
// Frames 0 to count - 1.
inline bool RunFrames(int count, int width, int height, const DrawFrame& draw, FrameSink& sink,
                      Progress* progress, std::string& error) {
    return RunFrames(FrameRange{0, count - 1}, width, height, draw, sink, progress, error);
}

}  // namespace qeltitle
