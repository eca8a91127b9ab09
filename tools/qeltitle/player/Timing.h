// Times on the command line, in seconds: "12", "4.5", "1:05", "1:05.250", "01:02:03.5"
// ([hh:]mm:ss[.fff], or plain seconds). Shared by the commands that place titles on a clip.
#pragma once

#include <string>
#include <string_view>

#include "player/Result.h"

namespace qeltitle {

// Seconds from 0 to `most`. Minutes and seconds after a colon stay below 60; a leading field may
// be any size ("90:00" is an hour and a half). Negative times are refused.
Expected<double> ParseSeconds(std::string_view text, double most);

// "1:05.250" for 65.25 (minutes always, hours when there are any, milliseconds when not whole).
std::string FormatSeconds(double seconds);

}  // namespace qeltitle
