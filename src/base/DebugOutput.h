// The library's one debug-output sink. Every diagnostic line (load and save failures, the layout
// dump) goes through DebugOutput. By default lines go to standard error; a host replaces the sink
// by defining QelDebugOutput in its executable (see the public header), and tests replace it with
// SetDebugSink.
#pragma once

#include <functional>
#include <string_view>

namespace qel {

// Writes one line (without its newline).
void DebugOutput(std::string_view line);

// printf-style line formatted into a buffer of 260 characters, as the layout dump requires.
void DebugOutputF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Replaces the sink for the whole process; an empty function restores the default. Returns the
// previous sink.
using DebugSink = std::function<void(std::string_view)>;
DebugSink SetDebugSink(DebugSink sink);

}  // namespace qel
