// Key-frame schedules on the title time (0 to 1) and setting them on a string.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qeltitle {

struct KeyFrame {
    float key = 0;  // title time, 0 to 1
    std::string pathId;
    float progress = 0;
};

// Key frames that bring a string in with `in` over [inStart, inEnd], hold it at rest, and when
// `out` is given take it away over [outStart, outEnd] by running `out` backwards (progress 1 to 0).
// Before inStart the string waits at progress 0 of `in` (invisible for the effects that come in).
std::vector<KeyFrame> EffectSchedule(std::string_view in, float inStart, float inEnd,
                                     std::string_view out = {}, float outStart = 0, float outEnd = 1);
// The `text` command's schedule: `first` alone comes in over the whole time; with `then`, `first`
// comes in over [0, 0.4], the string rests until 0.6 and `then` takes it out over [0.6, 1].
std::vector<KeyFrame> TextCommandSchedule(std::string_view first, std::string_view then);
// A schedule in seconds for a title of `length` seconds: `in` brings the string in over the first
// `inSeconds`, it rests, and `out` (when given) takes it away over the last `outSeconds`. A zero
// entrance shows the string at rest from the start; a zero exit leaves it up to the end.
// Precondition: inSeconds + outSeconds <= length, all >= 0, length > 0.
std::vector<KeyFrame> TimedSchedule(std::string_view in, std::string_view out, double length, double inSeconds,
                                    double outSeconds);
bool SetKeyFrames(qel::ITitleHost& host, int row, const std::vector<KeyFrame>& frames, std::string& error);
// Drops every string's key frames in memory and sets it to PATH_NOEFFECT at progress 1, so any
// time draws the whole title at rest (a string that an effect takes away at time 1 included);
// plates with a reveal of their own follow their strings, so they are shown whole too.
bool PoseAtRest(qel::ITitleHost& host, std::string& error);

}  // namespace qeltitle
