// Fuzzes the SubRip and WebVTT readers on arbitrary bytes: the first byte picks the format
// (SubRip, WebVTT, or found from the text), the rest is the file. Every cue that is read must have
// an end after its start and times that are finite; a refusal must leave no cues.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "authoring/Subtitles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    using qeltitle::SubtitleFormat;
    const SubtitleFormat formats[] = {SubtitleFormat::SubRip, SubtitleFormat::WebVtt, SubtitleFormat::Auto};
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<qeltitle::Cue> cues;
    std::vector<std::string> warnings;
    std::string error;
    if (!qeltitle::ReadSubtitles(bytes, "fuzz", formats[data[0] % 3], cues, warnings, error)) {
        if (!cues.empty() || error.empty()) std::abort();
        return 0;
    }
    for (const qeltitle::Cue& cue : cues) {
        if (!(cue.end > cue.start) || !std::isfinite(cue.start) || !std::isfinite(cue.end)) std::abort();
        for (const qeltitle::CuePiece& piece : cue.pieces)
            if (piece.time < cue.start || piece.time > cue.end) std::abort();
    }
    return 0;
}
