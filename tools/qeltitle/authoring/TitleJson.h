// Titles written as JSON: `build` makes a title from a JSON document with the library's editing
// operations, `export` writes a title's JSON from the library's queries.
//
// The JSON holds what a person sets, not what layout computes: strings with their text (a line
// break starts a paragraph), position ("at") or anchor and margin in the design frame, width
// for wrapping, rotation, vertical, key frames, and styled spans. Styles cascade: the title's
// "style", then a string's "style", then a span's own fields; each level names only what differs,
// so a plain title is a few lines. Layout (character, line and paragraph boxes, font metrics) is
// made again by the library, which lays a string out the same whatever order it was edited in:
// exporting a title and building the JSON gives back the same title document. Style tables come
// out in the order the characters first use their entries, which is the order editing gives them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/Args.h"
#include "player/Placement.h"
#include "authoring/JsonInput.h"
#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace qeltitle {

// The looks of a run of characters: the library's records for it.
struct CharStyle {
    qel::FontSpec font{};
    qel::MetaFace face{};
    qel::MetaBorder border{};
    qel::MetaShadow shadow{};
    qel::CharSpacing spacing{};
    std::string language;  // a span's own language (BCP 47) over the string's; empty: none
};
bool SameStyle(const CharStyle& a, const CharStyle& b);

// What a JSON title starts from before its "style": the library's default face at 72 units, white,
// no border or shadow, centred paragraphs, strings at rest.
struct JsonDefaults {
    CharStyle chars;
    qel::ParagraphAttrs paragraph{};
    qel::StringAttrs string{};
};
JsonDefaults DefaultsForJson(qel::ITitleHost& host);

// The style fields a "style" object may hold.
inline constexpr std::string_view kCharStyleKeys[] = {"font", "size", "bold", "italic", "underline", "strikeout",
                                                      "charset", "kerning", "color", "gradient", "alpha", "blur", "fill",
                                                      "border", "shadow", "spacing", "widthScale"};
inline constexpr std::string_view kParagraphKeys[] = {"align", "lineSpace", "before", "after", "leftIndent",
                                                      "rightIndent"};
// Applies the character style fields present in `object` (other members are left alone).
void ReadCharStyle(const JsonField& object, CharStyle& style);
void ReadParagraphStyle(const JsonField& object, qel::ParagraphAttrs& paragraph);
// A "style" member (an object of character and paragraph fields, any other name refused) applied
// over `style` and `paragraph`; nothing happens when `owner` has no "style".
void ReadStyleMember(const JsonField& owner, CharStyle& style, qel::ParagraphAttrs& paragraph);
// The fields that turn `base` into `style` when read with ReadCharStyle (an empty object when equal).
Json CharStyleDiff(const CharStyle& style, const CharStyle& base);
Json ParagraphDiff(const qel::ParagraphAttrs& paragraph, const qel::ParagraphAttrs& base);
// "#RRGGBB" or "#RRGGBBAA" to a model colour (0x00BBGGRR) and alpha (255 without AA).
bool ParseJsonColor(std::string_view text, uint32_t& modelColor, std::optional<uint32_t>& alpha);

// Sets the library's defaults for new text to `style` (font, face, border, shadow, spacing).
// Returns true when the font's face is not installed and the library substituted another.
bool SetDefaultStyle(qel::ITitleHost& host, const CharStyle& style);

// Moves string `row` so that the union of its character boxes lies at `anchor` inside `frame`
// (layout units) kept `marginX`, `marginY` from the edges; positions are rounded to whole units.
bool PlaceString(qel::ITitleHost& host, int row, Anchor anchor, float marginX, float marginY, FrameSize frame,
                 std::string& error);

// The width limit of a string whose lines are not wrapped.
constexpr float kNoWrapWidth = 1e9f;

// One string as the JSON describes it, ready to be added with the library's editing operations.
struct StringContent {
    std::u16string text;                           // CR LF between paragraphs
    std::vector<std::pair<int, CharStyle>> spans;  // first character, style; at least one
    std::vector<qel::ParagraphAttrs> paragraphs;   // one per paragraph (at least one)
    qel::StringAttrs attrs{};
    bool hasAt = false;
    std::optional<Anchor> anchor;  // placed by it after layout when set
    float marginX = 0, marginY = 0;
    struct Key {
        float key;
        qel::PathValue value;
    };
    std::vector<Key> keys;
    std::string language;  // BCP 47 tag for line breaking and shaping; empty: none given
    bool evenLines = false;  // lines as thick as the main face makes them
    // Plates behind the text; a plate of a span (its index, -1 for none) covers that span's
    // characters wherever wrapping moves them.
    struct Plate {
        int span = -1;
        QelPlate plate{};
    };
    std::vector<Plate> plates;
    uint32_t across = QEL_ACROSS_OWN;  // what the faces' gradients span
};
// Adds the string; `where` prefixes messages; `row`, when given, receives its row. A width limit
// wraps each paragraph where the line breaking rules allow (LineBreak.h): a line break is put into
// the text there, and the library's limit then breaks only pieces longer than a line.
bool AddStringContent(qel::ITitleHost& host, const StringContent& content, const FrameSize& frame,
                      std::vector<std::string>& warnings, const std::string& where, std::string& error,
                      int* row = nullptr);

// A string placed by anchor and margin (`text --anchor`, a JSON "anchor" or a centred string).
// The title file keeps the list beside its length and frame, so that export can write the
// placement again instead of the position it gave.

// What a title carries beside its strings.
struct TitleExtras {
    std::optional<double> length;     // seconds; key frame times are written in seconds when set
    std::optional<FrameSize> frame;   // the frame the title is laid out for
    std::vector<AnchoredString> anchors;
    bool fitOutput = false;  // "fit": "output": laid onto an output frame of another shape (TitleMeta)
};

// Builds the title of the JSON `text` into `host` (emptied first). `source` names the input in
// messages ("title.json:12:9: strings[0].size: expected ..."). Warnings (substituted fonts) are
// added to `warnings`.
// `failed`, when given, receives the JSON pointer and bare message of a value that was refused
// (left empty for other failures), for callers that filled values in and name their origin.
struct JsonValueFailure {
    std::string pointer;
    std::string message;
};
bool BuildTitleFromJson(qel::ITitleHost& host, std::string_view text, const std::string& source, TitleExtras& extras,
                        std::vector<std::string>& warnings, std::string& error, JsonValueFailure* failed = nullptr);
// The JSON text of the title in `host`. A string that `extras.anchors` names, and that still
// stands where its anchor and margin put it in the frame, is written with them; others with "at".
bool ExportTitleToJson(qel::ITitleHost& host, const TitleExtras& extras, std::string& text, std::string& error);

}  // namespace qeltitle
