// Fuzzes the ASS/SSA reader on arbitrary bytes. A script that is read must have events that end
// at or after they start, at finite times, with styles that exist, and must read again the same
// after it is written; a refusal must name the file.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "authoring/Ass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> warnings;
    qeltitle::Expected<qeltitle::AssScript> script = qeltitle::ReadAss(bytes, "fuzz", warnings);
    if (!script) {
        if (script.Message().rfind("fuzz", 0) != 0) std::abort();
        return 0;
    }
    if (script->playResX <= 0 || script->playResY <= 0) std::abort();
    for (const qeltitle::AssEvent& e : script->events) {
        if (!std::isfinite(e.start) || !std::isfinite(e.end) || e.end < e.start) std::abort();
        if (e.style < 0 || e.style >= static_cast<int>(script->styles.size())) std::abort();
    }
    std::vector<std::string> again;
    if (!qeltitle::ReadAss(qeltitle::WriteAss(*script), "again", again)) std::abort();
    return 0;
}
