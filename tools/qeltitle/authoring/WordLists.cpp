#include "authoring/WordLists.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "authoring/JsonInput.h"

namespace qeltitle {
namespace {

// A word as read, before words without times take them from their neighbours.
struct Spoken {
    std::string text;
    std::optional<double> start, end;
    std::string pointer;  // of the word's object, for its line
};

// A time in seconds: a number from 0 to a day and more (a week).
std::optional<double> Seconds(const JsonField& owner, std::string_view key, bool optional) {
    if (!owner.Has(key) || (optional && owner.Member(key).Value().is_null())) {
        if (optional) return std::nullopt;
        owner.Fail("the word has no \"" + std::string(key) + "\" time");
    }
    const JsonField f = owner.Member(key);
    if (!f.IsNumber()) f.Fail("expected a time in seconds (a number)");
    return f.Number(0, 7 * 86400);
}

void ReadWordObject(const JsonField& w, std::string_view textKey, bool timesOptional, std::vector<Spoken>& out) {
    if (!w.IsObject()) w.Fail("expected a word: {\"word\": ..., \"start\": ..., \"end\": ...}");
    const std::string_view key = w.Has(textKey) ? textKey : w.Has("text") ? "text" : textKey;
    if (!w.Has(key)) w.Fail("the word has no \"" + std::string(textKey) + "\"");
    Spoken s{w.Member(key).String(), Seconds(w, "start", timesOptional), Seconds(w, "end", timesOptional), w.Pointer()};
    if (s.start && s.end && *s.end < *s.start) w.Member("end").Fail("the word ends before it starts");
    out.push_back(std::move(s));
}

void ReadWordArray(const JsonField& list, bool timesOptional, std::vector<Spoken>& out) {
    if (!list.IsArray()) list.Fail("expected an array of words");
    for (size_t i = 0; i < list.Size(); ++i) ReadWordObject(list.Element(i), "word", timesOptional, out);
}

// whisper.cpp's special tokens: [_BEG_], [_TT_150], [_SOT_], <|endoftext|>, ...
bool SpecialToken(std::string_view t) {
    return (t.starts_with("[_") && t.ends_with("]")) || (t.starts_with("<|") && t.ends_with("|>"));
}

void ReadWhisperCpp(const JsonField& transcription, std::vector<Spoken>& out) {
    if (!transcription.IsArray()) transcription.Fail("expected an array of segments");
    for (size_t i = 0; i < transcription.Size(); ++i) {
        const JsonField segment = transcription.Element(i);
        if (!segment.Has("tokens"))
            segment.Fail("a segment without tokens: write the full JSON with whisper.cpp's -ojf");
        const JsonField tokens = segment.Member("tokens");
        if (!tokens.IsArray()) tokens.Fail("expected an array of tokens");
        bool first = true;
        for (size_t k = 0; k < tokens.Size(); ++k) {
            const JsonField token = tokens.Element(k);
            if (!token.IsObject() || !token.Has("text")) token.Fail("expected a token with \"text\"");
            const std::string text = token.Member("text").String();
            if (SpecialToken(text) || text.empty()) continue;
            double from = 0, to = 0;
            if (token.Has("offsets")) {
                const JsonField offsets = token.Member("offsets");
                if (!offsets.Has("from") || !offsets.Has("to")) offsets.Fail("expected {\"from\": ms, \"to\": ms}");
                from = offsets.Member("from").Number(0, 7 * 86400e3) / 1000;
                to = offsets.Member("to").Number(0, 7 * 86400e3) / 1000;
            } else if (token.Has("timestamps")) {
                const JsonField stamps = token.Member("timestamps");
                for (auto [key, value] : {std::pair<const char*, double*>{"from", &from}, {"to", &to}}) {
                    if (!stamps.Has(key)) stamps.Fail("expected {\"from\": \"00:00:01,000\", \"to\": ...}");
                    const JsonField f = stamps.Member(key);
                    if (!ParseCueTime(f.String(), *value)) f.Fail("bad time '" + f.String() + "' (expected HH:MM:SS,mmm)");
                }
            } else {
                token.Fail("the token has no \"offsets\" or \"timestamps\"");
            }
            if (to < from) token.Fail("the token ends before it starts");
            // A token that does not start with a space continues the word before it.
            const bool startsWord = first || text.front() == ' ' || out.empty();
            first = false;
            if (startsWord) {
                out.push_back(Spoken{text, from, to, token.Pointer()});
            } else {
                out.back().text += text;
                out.back().end = std::max(*out.back().end, to);
            }
        }
    }
}

// Times for the words whisperX could not align: from the end of the word before to the start of
// the word after.
void FillMissingTimes(std::vector<Spoken>& words, const JsonField& root) {
    for (size_t i = 0; i < words.size(); ++i) {
        Spoken& w = words[i];
        if (w.start && w.end) continue;
        std::optional<double> before, after;
        for (size_t k = i; k-- > 0 && !before;) before = words[k].end ? words[k].end : words[k].start;
        for (size_t k = i + 1; k < words.size() && !after; ++k) after = words[k].start ? words[k].start : words[k].end;
        if (!w.start) w.start = before ? before : after;
        if (!w.end) w.end = after ? std::max(*after, *w.start) : w.start;
        if (!w.start) JsonField(root.Value(), w.pointer).Fail("no word in the list has times");
        if (*w.end < *w.start) w.end = w.start;
    }
}

}  // namespace

bool LooksLikeJson(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    const size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && (bytes[first] == '{' || bytes[first] == '[');
}

const char* WordListFormatName(WordListFormat format) {
    switch (format) {
        case WordListFormat::Whisper: return "Whisper";
        case WordListFormat::WhisperX: return "whisperX";
        case WordListFormat::WhisperCpp: return "whisper.cpp";
        default: return "a word list";
    }
}

Expected<WordList> ReadWordList(std::string_view bytes, const std::string& name) {
    Json doc;
    std::string error;
    if (!ParseJsonText(bytes, name, doc, error)) return Failure(error);
    WordList list;
    std::vector<Spoken> words;
    try {
        const JsonField root(doc, "");
        if (root.IsArray()) {
            list.format = WordListFormat::Plain;
            ReadWordArray(root, false, words);
        } else if (root.Has("transcription")) {
            list.format = WordListFormat::WhisperCpp;
            ReadWhisperCpp(root.Member("transcription"), words);
        } else if (root.Has("word_segments")) {
            list.format = WordListFormat::WhisperX;
            ReadWordArray(root.Member("word_segments"), true, words);
        } else if (root.Has("segments")) {
            list.format = WordListFormat::Whisper;
            const JsonField segments = root.Member("segments");
            if (!segments.IsArray()) segments.Fail("expected an array of segments");
            for (size_t i = 0; i < segments.Size(); ++i) {
                const JsonField segment = segments.Element(i);
                if (!segment.Has("words"))
                    segment.Fail("a segment without word times: run Whisper with --word_timestamps True");
                ReadWordArray(segment.Member("words"), true, words);
            }
        } else {
            root.Fail("not a word list: expected an array of {\"word\", \"start\", \"end\"}, or the JSON of Whisper "
                      "(segments[].words), whisperX (word_segments) or whisper.cpp (-ojf: transcription[].tokens)");
        }
        FillMissingTimes(words, root);
    } catch (const JsonFieldError& e) {
        return Failure(DescribeFieldError(e, bytes, name));
    }
    // Each word a cue of its own, named in messages by its line in the file.
    std::optional<JsonPositions> positions;
    for (const Spoken& s : words) {
        if (s.text.find_first_not_of(" \t\r\n") == std::string::npos) continue;
        if (!positions) positions.emplace(bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes);
        Cue cue;
        cue.start = *s.start;
        cue.end = std::max(*s.end, *s.start);
        cue.timedWords = true;
        cue.pieces.push_back(CuePiece{s.text, false, false, cue.start});
        cue.line = std::atoi(positions->Where(s.pointer).c_str());
        cue.number = static_cast<int>(list.words.size() + 1);
        list.words.push_back(std::move(cue));
    }
    if (list.words.empty()) return Failure(name + ": the word list holds no words");
    return list;
}

}  // namespace qeltitle
