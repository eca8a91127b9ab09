// One picture of a video: the frame shown at a given time, decoded with ffmpeg's libraries into
// the frame layout (player/Image.h), for a host that shows a title over a still of its clip.
#pragma once

#include <string>

#include "player/Image.h"

namespace qeltitle {

// The frame shown `seconds` after the clip's first frame (the last frame when the clip is
// shorter), as opaque BGRA at the clip's stored size. False with the reason when the file holds
// no video or cannot be decoded.
bool GrabVideoFrame(const std::string& path, double seconds, Image& out, std::string& error);

}  // namespace qeltitle
