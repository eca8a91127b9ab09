// SubRip (.srt) and WebVTT (.vtt) subtitle files read into cues.
//
// Both are read as players read them where the writer's intent is clear: a byte-order mark, CR LF
// or lone CR line ends, a missing cue number, a missing blank line before the next cue, cue
// settings after the times, a comma or a point before the milliseconds, hours left out, and
// unknown tags. What has no clear reading is refused with the file, the line and the reason: a time
// that is not one, a cue that ends before it starts, text where a cue's times belong, bytes that
// are not UTF-8. <i> and <b> become italic and bold runs; <u>, <font>, <c>, <v>, <lang>, <ruby>
// and SubRip's {\...} overrides are dropped with their text kept. WebVTT's inline timestamps
// (<00:00:01.500>) time the text after them: the words that follow are spoken from then on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qeltitle {

// A run of cue text with one style and one spoken time.
struct CuePiece {
    std::string text;  // UTF-8; '\n' separates the cue's lines
    bool italic = false;
    bool bold = false;
    double time = 0;   // seconds: when this text is spoken (the cue's start without inline times)
};

struct Cue {
    double start = 0;  // seconds
    double end = 0;    // seconds, > start
    std::vector<CuePiece> pieces;
    bool timedWords = false;  // the text carries inline timestamps
    int line = 0;             // line of the cue's times in the file, for messages
    int number = 0;           // 1 for the first cue read from the file, 2 for the next, ...
    std::string Text() const;
};

enum class SubtitleFormat { Auto, SubRip, WebVtt };

// Reads `bytes` (the contents of the file `name`). Auto takes WebVTT when the text starts with
// "WEBVTT", else SubRip. Cues come out ordered by start time. Refusals set `error` to
// "NAME:LINE: reason"; warnings name the line too (an empty cue skipped, ...).
bool ReadSubtitles(std::string_view bytes, const std::string& name, SubtitleFormat format, std::vector<Cue>& cues,
                   std::vector<std::string>& warnings, std::string& error);

// "[hh:]mm:ss[.,]fff" to seconds; false for anything else (minutes and seconds below 60).
bool ParseCueTime(std::string_view text, double& seconds);

}  // namespace qeltitle
