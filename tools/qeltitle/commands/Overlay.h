// Titles drawn over a video in one pass, in the process (media/VideoPipeline): the titles of a
// schedule are drawn over the frames of their spans, each frame converted only where they drew.
// Shared by `overlay` (title files) and `captions --over` (cue titles held in memory).
#pragma once

#include <string>

#include "media/VideoPipeline.h"
#include "player/TitleSchedule.h"

namespace qeltitle {

class InterruptWatch;

struct OverlayJob {
    std::string command;  // "overlay", "captions": names the command in usage errors
    std::string video, output;
    VideoInfo probe;
    EncodeSettings encode;
    bool timings = false;
    // Frames in the clip, as far as the container tells.
    int ClipFrames() const;
};

// Checks the video (readable, not the output) and the output (a video file) and reads what the
// video holds into `job.probe`. Returns an exit status: kExitOk to go on.
int PrepareOverlay(OverlayJob& job, const InterruptWatch& interrupt);
// Draws `schedule` (set up for the probed size, with keepAlpha: titles are drawn as layers and
// blended over the frames) over the video and writes the output; an existing output is kept on
// failure or interruption. Returns the exit status.
int RunOverlayJob(const OverlayJob& job, TitleSchedule& schedule, const InterruptWatch& interrupt);

}  // namespace qeltitle
