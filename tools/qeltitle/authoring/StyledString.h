// A new string of one style, added with the library's editing operations: the defaults for new
// text are set from the style, the text inserted, and the string centred in its frame unless a
// corner is given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "commands/Args.h"
#include "player/Placement.h"
#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace qeltitle {

// How a new string looks and where it goes. Colours are 0x00RRGGBB.
struct StringStyle {
    std::string font;  // face name; empty keeps the library's default face
    float size = 72;   // em height, layout units
    bool bold = false;
    bool italic = false;
    uint32_t color1 = 0xFFFFFF, color2 = 0xFFFFFF;
    int gradient = 0;  // gradient type 0..7
    int alpha = 255;
    std::optional<BorderOption> border;
    std::optional<ShadowOption> shadow;
    uint32_t align = 6;  // paragraph alignment code (centre)
    bool vertical = false;
    bool kerning = false;  // kerning pairs of the font (the library's kerning bit of the character set)
    float rotate = 0;  // degrees
    // Top-left corner in layout units; without it the string's drawn extent goes to `anchor` of
    // `frame`, `margin` in from the edges it touches (centred by default).
    std::optional<std::pair<float, float>> at;
    Anchor anchor;  // centre
    Margin margin;
    FrameSize frame{1920, 1080};
    // Line length in layout units (the string's width limit): lines break at the last place the
    // line breaking rules allow that fits, and a piece longer than a line where the line is full.
    std::optional<float> width;
    // BCP 47 tag: line breaking, and the face (through fontconfig) when `font` is empty; empty: none.
    std::string language;
    // Lines as thick as the main face makes them, whatever fallback faces fill in (new titles).
    bool evenLines = false;
    // A plate behind the text (the library's "qel.plates"), and what the face's gradient spans.
    std::optional<QelPlate> plate;
    uint32_t gradientAcross = QEL_ACROSS_OWN;
};
struct AddedString {
    int row = -1;
    std::string fontUsed;  // the face the library resolved
    bool fontSubstituted = false;
    Extent extent;         // what the string draws, layout units, where it ended up
    bool outside = false;  // part of it lies outside `frame`
    int wrappedLines = 0;  // line breaks --width added
};
bool AddStyledString(qel::ITitleHost& host, std::u16string_view text, const StringStyle& style,
                     AddedString& out, std::string& error);
// When the title has strings and not one of them reaches into `area` of the frame (the engine
// set up for it), the box of all of them in frame pixels; otherwise nothing.
std::optional<Extent> TitleOutsideArea(qel::ITitleHost& host, const FrameFit& area);

}  // namespace qeltitle
