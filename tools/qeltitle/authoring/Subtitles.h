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
// WebVTT's cue settings, regions and the `::cue` rules of its STYLE blocks are read into the cue's
// placement and the file's style; settings a player would ignore are ignored with a warning.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/Result.h"

namespace qeltitle {

// A run of cue text with one style and one spoken time.
struct CuePiece {
    std::string text;  // UTF-8; '\n' separates the cue's lines
    bool italic = false;
    bool bold = false;
    double time = 0;   // seconds: when this text is spoken (the cue's start without inline times)
};

// A box of the frame that holds the last few lines of the cues that name it, new lines entering
// at its bottom. Percentages of its own size and of the frame.
struct CueRegion {
    std::string id;
    double width = 100;                     // percent of the frame's width
    int lines = 3;                          // its height in lines
    double anchorX = 0, anchorY = 100;      // this point of the region (percent of its box) ...
    double viewportX = 0, viewportY = 100;  // ... lies at this point of the frame (percent)
    bool scrollUp = false;
    bool operator==(const CueRegion&) const = default;
};

enum class CueWriting : uint8_t { Horizontal, VerticalRl, VerticalLr };  // rl: columns right to left
enum class CueAlign : uint8_t { Start, Center, End, Left, Right };      // the text in its lines
enum class CueLineAlign : uint8_t { Start, Center, End };               // the box at its line
enum class CuePositionAlign : uint8_t { Auto, LineLeft, Center, LineRight };  // the box at its position

// Where a cue stands, as a WebVTT cue's settings say; a setting left out leaves that axis to the
// caption style. "Line" is across the lines (vertical in horizontal writing), "position" along
// them; both count from the frame's top or left, in percent, or in lines for a line number.
struct CuePlacement {
    CueWriting writing = CueWriting::Horizontal;
    std::optional<double> line;  // a line number (snapToLines; -1 is the last line) or a percentage
    bool snapToLines = true;
    CueLineAlign lineAlign = CueLineAlign::Start;
    std::optional<double> position;  // percent
    CuePositionAlign positionAlign = CuePositionAlign::Auto;
    std::optional<double> size;  // percent of the frame the lines may take; none: the style's width
    CueAlign align = CueAlign::Center;
    std::optional<CueRegion> region;
    bool operator==(const CuePlacement&) const = default;
};

struct Cue {
    double start = 0;  // seconds
    double end = 0;    // seconds, > start
    std::vector<CuePiece> pieces;
    bool timedWords = false;  // the text carries inline timestamps
    int line = 0;             // line of the cue's times in the file, for messages
    int number = 0;           // 1 for the first cue read from the file, 2 for the next, ...
    std::string id;           // WebVTT's cue identifier, if any
    CuePlacement placement;
    std::string Text() const;
};

// What the `::cue` rules of a WebVTT file's STYLE blocks set that captions have an equivalent for.
struct CueCss {
    std::optional<uint32_t> color, background;  // 0xRRGGBBAA
    std::optional<std::string> fontFamily;      // the first family named
    std::optional<double> fontSize;             // layout units (px, or vh of a 1080-unit frame)
    std::optional<double> fontScale;            // a percentage or em size, as a factor
    std::optional<bool> bold, italic, underline, strikeOut;
    bool Empty() const;
};

enum class SubtitleFormat { Auto, SubRip, WebVtt };

// A subtitle file read: its cues ordered by start time, its style, and the warnings about what was
// skipped or ignored ("NAME:LINE: ...").
struct SubtitleFile {
    std::vector<Cue> cues;
    CueCss css;
    std::vector<std::string> warnings;
};
// Reads `bytes` (the contents of the file `name`) as ReadSubtitles does.
Expected<SubtitleFile> ReadSubtitleFile(std::string_view bytes, const std::string& name, SubtitleFormat format);

// Reads `bytes` (the contents of the file `name`). Auto takes WebVTT when the text starts with
// "WEBVTT", else SubRip. Cues come out ordered by start time. Refusals set `error` to
// "NAME:LINE: reason"; warnings name the line too (an empty cue skipped, ...).
bool ReadSubtitles(std::string_view bytes, const std::string& name, SubtitleFormat format, std::vector<Cue>& cues,
                   std::vector<std::string>& warnings, std::string& error);

// The cues as a WebVTT file: the style's `::cue` rule, the regions the cues use, each cue with its
// identifier, settings and text (italic and bold as <i> and <b>; with word times, each word after
// the first as an inline timestamp and a <c> span).
std::string WriteWebVtt(const std::vector<Cue>& cues, const CueCss& css);
// A cue's settings as WebVTT writes them ("line:0 position:10%,line-left"), those at their
// defaults left out.
std::string FormatCueSettings(const CuePlacement& placement);

// "[hh:]mm:ss[.,]fff" to seconds; false for anything else (minutes and seconds below 60).
bool ParseCueTime(std::string_view text, double& seconds);

}  // namespace qeltitle
