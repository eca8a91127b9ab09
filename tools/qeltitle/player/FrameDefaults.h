// The figures a drawn frame starts from when nothing else is asked, and the limits on what may be
// asked. The MLT producer draws its frames as `qeltitle render` does and takes them from here.
#pragma once

namespace qeltitle {

constexpr int kLayoutWidth = 1920, kLayoutHeight = 1080;  // the frame titles are laid out for, pixels
constexpr int kMaxFrameSide = 16384;                      // pixels a side
constexpr double kMinScale = 0.01, kMaxScale = 100;       // frame pixels per layout unit
constexpr double kDefaultSeconds = 4;                     // an animation's length when none is given
constexpr double kDefaultFps = 25;

}  // namespace qeltitle
