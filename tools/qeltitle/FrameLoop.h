// The frame loop of `animate` and `demo`: frames are drawn one after another on the calling
// thread (a TitleHost takes one call at a time) while a writer thread compresses or pipes the
// previous ones, so encoding overlaps drawing. Progress goes to standard error.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "Image.h"
#include "Output.h"

namespace qeltitle {

// One progress line: a bar of `barWidth` cells, frames done, frames per second, time left.
std::string FormatProgress(int done, int total, double fps, double secondsLeft, int barWidth);

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

// The title time of frame i of n: 0 for the first frame, 1 for the last (1 when n is 1).
double FrameTime(int index, int count);

// Draws `count` frames with `draw` (which fills the frame it is given; false stops the loop with
// `error` set) and hands them in order to `sink`. Returns false on the first failure.
bool RunFrames(int count, int width, int height, const std::function<bool(int, Image&, std::string&)>& draw,
               FrameSink& sink, Progress* progress, std::string& error);

}  // namespace qeltitle
