#include "commands/DebugLines.h"

#include <cstdio>

namespace qeltitle {

DebugRoute RouteOfDebugLine(std::string_view line) {
    // "QEL_Title2: Failed to load title from file ...!" and its save and buffer variants.
    return line.starts_with("QEL_Title2: Failed to ") ? DebugRoute::Drop : DebugRoute::StandardOutput;
}

void DeliverDebugLine(const char* line) {
    const std::string_view text = line ? line : "";
    if (RouteOfDebugLine(text) == DebugRoute::StandardOutput)
        std::printf("%.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace qeltitle
