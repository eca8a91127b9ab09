// Fuzzes the SubRip and WebVTT readers on arbitrary bytes: the first byte picks the format
// (SubRip, WebVTT, or found from the text), the rest is the file. Every cue that is read must have
// an end after its start and times that are finite; a refusal must leave no cues. Written as WebVTT
// again, the cues must read back, as many and with the same settings.
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
    // Written as WebVTT, the cues read back with their settings.
    qeltitle::Expected<qeltitle::SubtitleFile> first = qeltitle::ReadSubtitleFile(bytes, "fuzz", formats[data[0] % 3]);
    if (!first) std::abort();
    qeltitle::Expected<qeltitle::SubtitleFile> back =
        qeltitle::ReadSubtitleFile(qeltitle::WriteWebVtt(first->cues, first->css), "back", SubtitleFormat::WebVtt);
    if (!back || back->cues.size() != first->cues.size()) std::abort();
    for (size_t i = 0; i < back->cues.size(); ++i)
        if (!(back->cues[i].placement == first->cues[i].placement)) std::abort();
    return 0;
}
