// Captions: subtitle cues made into titles, one title per cue, each played over its cue's time.
//
// A cue's words are wrapped to the style's width in at most its number of lines, breaking where
// the Unicode line breaking rules allow (LineBreak.h) and balancing the lines (the fewest lines
// that fit, then the smallest longest line); lines the author broke are kept when they fit. The
// string is placed by the style's anchor and margin in a design frame shaped like the output
// (CaptionScale), never nearer an edge than the frame's safe area (CaptionSafeArea). A cue that
// does not fit its lines there is set smaller, down to the style's least size, and past that split
// in time into captions that fit, cut after a phrase or between words; each such cue is named in
// a warning by its number and line. Cues that are on screen together stack away from the anchor's edge (up from
// the bottom) instead of covering each other. The cue enters and leaves with the style's effects
// over short spans inside its time. With word timings each word is a string of its own that
// enters at its time with the style's word effect, and a copy in the highlight style shows while
// the word is spoken.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/Subtitles.h"
#include "authoring/TitleJson.h"
#include "qel/QEL_Title2.h"

namespace qeltitle {

struct CaptionEffect {
    std::string effect;  // PATH_...; empty: none (the text simply shows)
    double seconds = 0;  // how long it runs, inside the cue
};

struct CaptionStyle {
    CharStyle text;
    qel::ParagraphAttrs paragraph{};
    std::optional<CharStyle> highlight;  // the spoken word's looks
    // A plate behind each caption (its "per" says: the whole caption, each line or each word),
    // and one behind the spoken word (with word timings and a highlight).
    std::optional<QelPlate> plate, highlightPlate;
    bool stayLit = false;                // a word keeps the highlight once spoken (karaoke)
    // A spoken word's looks (WebVTT's :past); unset: the highlight with stayLit, else the text's.
    std::optional<CharStyle> past;
    // The highlight fills the word over its time in reading direction (left to right, right to
    // left in right-to-left words, down a column) instead of showing at once.
    bool sweep = false;
    Anchor anchor{1, 2};
    float marginX = 0, marginY = 60;  // layout units
    float width = 1500;               // wrapping width, layout units
    int lines = 2;
    float minSize = 0;                // the least size a cue shrinks to; 0: three quarters of the size
    std::string language;             // BCP 47 tag: line breaking; empty: none given
    bool evenLines = true;            // lines as thick as the main face makes them (--even-lines)
    float gap = 10;                   // between stacked cues, layout units
    int frameWidth = 1920;            // layout units across the output frame
    CaptionEffect in{"PATH_FADE", 0.15}, out{"PATH_FADE", 0.15};
    CaptionEffect word;               // with word timings; empty: words show with the cue
    double phraseGap = 0.6;           // --words: a pause this long (seconds) starts a new caption
    int phraseWords = 7;              // --words: at most this many words per caption
    int phraseChars = 0;              // --words: at most this many characters per caption; 0: any
};

// The plate `--box` gives a style without one: a translucent black box behind each line.
QelPlate CaptionBox();

// The defaults above over the library's default face, and a JSON style file read over them.
CaptionStyle DefaultCaptionStyle(qel::ITitleHost& host);
bool ReadCaptionStyle(qel::ITitleHost& host, std::string_view text, const std::string& source, CaptionStyle& style,
                      std::string& error);
// A WebVTT file's `::cue` rule applied to `style` (and its highlight, but for its colour), its
// background as a plate behind each line; what the style has no equivalent for is named in
// `warnings`.
void ApplyCueCss(const CueCss& css, CaptionStyle& style, std::vector<std::string>& warnings);
// The `::cue` rule that gives players the style's colour, face, weight and slant, and its plate's
// colour as the background.
CueCss CssOfStyle(const CaptionStyle& style);
// Sets the captions' language (BCP 47): it breaks their lines and, when the style keeps the
// library's default face, chooses the face that writes it (FaceForLanguage).
void SetCaptionLanguage(qel::ITitleHost& host, CaptionStyle& style, const std::string& tag);
// The directory of the installed presets, and the path of one ("clean" or "Clean" ->
// .../clean.json: names are matched without regard to case), or empty.
std::string PresetDirectory();
std::string PresetPath(const std::string& name);
// The names of the installed presets, sorted.
std::vector<std::string> InstalledPresets();

// --words and word lists: cues that each hold one word become captions of several timed words: a
// new caption starts after a pause of phraseGap, after phraseWords words, before the caption would
// pass phraseChars characters, or after a word that ends a sentence. How words are parted:
enum class WordSpacing {
    Spaced,     // by a space
    Own,        // by the space a word's text starts with (Whisper's words: " Hello")
    ByScript,   // by a space, but for words of scripts written without spaces (Han, kana, Thai, ...)
};
std::vector<Cue> GroupWordCues(const std::vector<Cue>& cues, const CaptionStyle& style,
                               WordSpacing spacing = WordSpacing::Spaced);

// One cue's title, shown from frame `first` to `last` (inclusive) with title time 0 to 1 over them.
struct CaptionTitle {
    std::string document;  // the title file's bytes
    double start = 0, end = 0;
    int first = 0, last = 0;
    int cueLine = 0;    // line of the cue's times in the subtitle file
    int cueNumber = 0;  // the cue's place among the file's cues, from 1
};

// Frames at `fps` during which a cue from `start` to `end` seconds is shown: from the first frame
// that starts at or after `start` to the last that starts before `end`. False when none does.
bool CueFrames(double start, double end, double fps, int& first, int& last);

// Layout units per output pixel for captions on an output of `width` x `height`: the style's
// frame width across a landscape frame at least as wide as 16:9; narrower frames (square,
// portrait) get the text size of a 16:9 frame as tall as their short side.
float CaptionScale(const CaptionStyle& style, int width, int height);

// The insets of the part of a frame (layout units) captions stay in, whatever the language.
struct SafeArea {
    float left = 0, top = 0, right = 0, bottom = 0;
};
SafeArea CaptionSafeArea(int frameWidth, int frameHeight);

// Makes the titles of `cues` for an output frame of `width` x `height` pixels at `fps`.
bool MakeCaptionTitles(const std::vector<Cue>& cues, const CaptionStyle& style, int width, int height, double fps,
                       std::vector<CaptionTitle>& out, std::vector<std::string>& warnings, std::string& error);

}  // namespace qeltitle
