// Fuzzes the speech recognisers' word-list reader on arbitrary bytes. A refusal must say why; a
// list that is read must give words with text and finite times, each ending at or after it starts;
// the words grouped into captions and written as WebVTT must read back as the same number of cues
// with their start times (to the millisecond).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "authoring/Captions.h"
#include "authoring/WordLists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qeltitle;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Expected<WordList> list = ReadWordList(bytes, "fuzz.json");
    if (!list) {
        if (list.Message().empty()) std::abort();
        return 0;
    }
    if (list->words.empty()) std::abort();
    for (const Cue& word : list->words)
        if (!std::isfinite(word.start) || !(word.end >= word.start) || word.pieces.size() != 1 ||
            word.pieces[0].text.find_first_not_of(" \t\r\n") == std::string::npos)
            std::abort();
    CaptionStyle style;
    style.phraseChars = 20;
    for (WordSpacing spacing : {WordSpacing::Own, WordSpacing::ByScript}) {
        const std::vector<Cue> captions = GroupWordCues(list->words, style, spacing);
        for (const Cue& c : captions)
            for (const CuePiece& p : c.pieces)
                if (p.time < c.start || p.time > c.end) std::abort();
        Expected<SubtitleFile> back = ReadSubtitleFile(WriteWebVtt(captions, {}), "fuzz.vtt", SubtitleFormat::WebVtt);
        if (!back || back->cues.size() != captions.size()) std::abort();
        std::vector<double> written, read;
        for (size_t i = 0; i < captions.size(); ++i) written.push_back(captions[i].start), read.push_back(back->cues[i].start);
        std::sort(written.begin(), written.end());
        for (size_t i = 0; i < written.size(); ++i)
            if (std::fabs(written[i] - read[i]) > 0.0015) std::abort();
    }
    return 0;
}
