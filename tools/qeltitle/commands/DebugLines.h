// Where the library's debug lines go. The library hands every line to QelDebugOutput, a plain
// function without a context argument, so the route is decided from the line alone and no state
// is kept: the library's load and save failure reports are dropped, because the tool checks every
// status and prints its own message naming the file and the reason; everything else the library
// writes is the layout dump that `dump` asks for, which is that command's output.
#pragma once

#include <string_view>

namespace qeltitle {

enum class DebugRoute { Drop, StandardOutput };

DebugRoute RouteOfDebugLine(std::string_view line);
// Writes the line where RouteOfDebugLine sends it.
void DeliverDebugLine(const char* line);

}  // namespace qeltitle
