// Advanced SubStation Alpha (.ass) and SubStation Alpha (.ssa) scripts: read into styles and
// events with their override tags resolved into runs of text of one look, and written again.
//
// The reader takes what players take: a byte-order mark, CR LF or LF, sections and keys in any
// case, fields found by the section's Format line (or in the usual order without one), both the
// ASS and the older SSA style sections (whose alignment numbers differ). What has no clear reading
// is refused with the file, the line and the reason, and nothing is drawn or written: a file
// without [Script Info] or [Events], an event that names a style the file does not define, a time
// or a colour that does not read. Override tags that captions cannot draw (clips, drawings,
// transforms, 3D turns, ...) are counted and named in one warning per tag.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/Result.h"

namespace qeltitle {

// A colour as ASS writes it (&HAABBGGRR): `bgr` is 0x00BBGGRR (the title model's order), `alpha`
// 0 opaque to 255 transparent.
struct AssColor {
    uint32_t bgr = 0xFFFFFF;
    uint8_t alpha = 0;
    bool operator==(const AssColor&) const = default;
};

struct AssStyle {
    std::string name = "Default";
    std::string font = "Arial";
    double size = 20;
    // Primary (fill), secondary (karaoke's not yet sung), outline, back (shadow and box).
    std::array<AssColor, 4> colors{AssColor{0xFFFFFF, 0}, AssColor{0x0000FF, 0}, AssColor{0, 0}, AssColor{0, 0}};
    int bold = 0;  // 0 regular, 1 (or -1) bold, or a weight (700)
    bool italic = false, underline = false, strikeOut = false;
    double scaleX = 100, scaleY = 100;  // per cent
    double spacing = 0;                 // script pixels between characters
    double angle = 0;                   // degrees, counter-clockwise
    int borderStyle = 1;                // 1 outline and shadow, 3 an opaque box
    double outline = 2, shadow = 2;     // script pixels
    int alignment = 2;                  // numpad: 1 bottom left ... 9 top right
    int marginL = 10, marginR = 10, marginV = 10;
    int encoding = 1;
    int line = 0;  // where the file defines it; 0 when made up
};

// What one run of an event's text looks like: its style with the event's overrides applied.
struct AssLook {
    AssStyle style;          // font, size, colours, bold, ..., outline, shadow, scale, spacing, angle
    double shadowX = 0, shadowY = 0;  // script pixels (\shad sets both, \xshad and \yshad one)
    double blur = 0;         // \blur: Gaussian radius, script pixels; \be counts as its strength
    // Karaoke: the syllable's kind (0 none, 'k' switch, 'f' sweep, 'o' outline), start and length
    // in seconds from the event's start.
    char karaoke = 0;
    double karaokeStart = 0, karaokeLength = 0;
};

struct AssRun {
    std::string text;  // UTF-8; '\n' breaks the line (\N, or \n in wrap style 2)
    AssLook look;
};

struct AssEvent {
    int layer = 0;
    double start = 0, end = 0;  // seconds
    int style = 0;              // index into AssScript::styles
    std::string name, effect;
    int marginL = 0, marginR = 0, marginV = 0;  // 0: the style's
    std::string text;                           // as written, override blocks and all
    int line = 0;
    // The text read: runs, and what holds for the whole event.
    std::vector<AssRun> runs;
    int alignment = 0;                         // numpad from \an or \a; 0: the style's
    std::optional<std::array<double, 2>> pos;  // \pos(x, y)
    std::optional<std::array<double, 6>> move; // \move(x1, y1, x2, y2[, t1, t2]) (ms; 0, 0: whole event)
    // \fad(in, out) as \fade(255, 0, 255, 0, in, end - out, end): alpha a1 a2 a3, times t1..t4 in ms.
    std::optional<std::array<double, 7>> fade;
    int wrapStyle = -1;  // \q; -1: the script's
    std::string Plain() const;  // the runs' text
};

struct AssScript {
    bool ssa = false;  // [V4 Styles]: SubStation Alpha
    int playResX = 0, playResY = 0;  // after defaults: both set
    int wrapStyle = 0;
    bool scaledBorderAndShadow = false;  // players take "no" when the script does not say
    bool kerning = false;  // players kern only when the script says Kerning: yes
    std::vector<std::pair<std::string, std::string>> info;  // [Script Info] as read, for writing again
    std::vector<AssStyle> styles;
    std::vector<AssEvent> events;  // Dialogue lines in file order (Comment lines skipped)
};

// True when `bytes` look like a SubStation script (its first line, after a byte-order mark and
// blank lines, is [Script Info]).
bool LooksLikeAss(std::string_view bytes);

// Reads the script `bytes` of the file `name`. Refusals name "NAME:LINE: reason"; warnings name
// the tags that are not drawn, with their count and first line.
Expected<AssScript> ReadAss(std::string_view bytes, const std::string& name, std::vector<std::string>& warnings);

// "H:MM:SS.cc" to seconds, and back (centiseconds, rounded).
bool ParseAssTime(std::string_view text, double& seconds);
std::string FormatAssTime(double seconds);
// "&HAABBGGRR&", "&HBBGGRR", "H..." or a decimal number, as players read them.
bool ParseAssColor(std::string_view text, AssColor& out);
std::string FormatAssColor(const AssColor& color);

// The script as an .ass file: [Script Info], [V4+ Styles] with every field, [Events].
std::string WriteAss(const AssScript& script);

}  // namespace qeltitle
