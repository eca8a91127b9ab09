// Titles drawn over a video in one pass: the video decoded, the titles of a schedule drawn over
// the frames of their spans, the result encoded with the input's audio. Shared by `overlay`
// (title files) and `captions --over` (cue titles held in memory).
#pragma once

#include <string>

#include "media/VideoInput.h"
#include "player/TitleSchedule.h"

namespace qeltitle {

class InterruptWatch;

struct OverlayJob {
    std::string command;  // "overlay", "captions": names the command in usage errors
    std::string video, output;
    std::string ffmpeg;
    VideoProbe probe;
    std::string codec;  // --codec, or empty: chosen by the extension
    int crf = -1;       // --crf, or -1: the codec's usual choice here
    bool timings = false;
    // Frames in the clip (as far as its probe tells) and the time each is shown at.
    int ClipFrames() const;
    double FrameSeconds(int index) const { return index / probe.fps; }
};

// Checks the video (readable, not the output) and the output (a video file), finds ffmpeg and
// probes the video into `job`. Returns an exit status: kExitOk to go on.
int PrepareOverlay(OverlayJob& job, const InterruptWatch& interrupt);
// Draws `schedule` (set up for the probed size) over the video and writes the output; an
// existing output is kept on failure or interruption. Returns the exit status.
int RunOverlayJob(const OverlayJob& job, TitleSchedule& schedule, const InterruptWatch& interrupt);

}  // namespace qeltitle
