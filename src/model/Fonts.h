// Font resolution and metrics: every font is created at the design height (an em of 2048
// pixels) and its lengths are scaled by SizeRatio = |Size| / 2048 into layout units. Characters
// that the requested font cannot show get a substitute font through font linking.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/TitleModel.h"
#include "platform/FontLinking.h"
#include "qel/QEL_Title2.h"

namespace qel {

constexpr int32_t kDesignHeight = 2048;
constexpr float kMaxFontSize = 1638.0f;  // largest usable |Size| in layout units

// The LOGFONTW of a request: face, character set, height -designHeight, weight 700/400, italic.
LOGFONTW LogFontFromSpec(int32_t designHeight, const FontSpec& spec);

// MakeFont = BuildMetaFont(LogFontFromSpec(spec)). Both always fill *out; the status is E_FAIL
// for a size beyond +-1638 (or NaN; SizeRatio is then 1638/2048) or a font without outline metrics.
HRESULT MakeFont(int32_t designHeight, const FontSpec& spec, MetaFont* out);
HRESULT BuildMetaFont(int32_t designHeight, float size, const LOGFONTW& logFont, MetaFont* out);

// One font per code unit of text[0..count): the base font of spec, or a linked font for a code
// unit the base font lacks (never for code units <= 32, nor for 33..255 in a symbol-set font).
// With a language (a BCP 47 tag, or null), faces are linked for it and every entry carries it.
HRESULT ResolveCharFonts(FontLinker& linker, const char16_t* text, int32_t count,
                         int32_t designHeight, const FontSpec& spec, MetaFont* out, const char* language = nullptr);

// Extent (cx, cy) of one character (a code point) at the design height: advance and
// ascent + descent.
bool MeasureCodeUnit(const LOGFONTW& logFont, char32_t code, float* cx, float* cy);

// Sets ch.Width/ch.Height from its font: swapped for vertical text and code units below 128.
// MeasureCharacter measures the code unit ch.Value, MeasureCodePoint the given code point.
void MeasureCharacter(MetaCharacter& ch, const MetaFont& font, bool vertical);
void MeasureCodePoint(MetaCharacter& ch, char32_t code, const MetaFont& font, bool vertical);

// After an edit of characters [first, last]: measures every surrogate among them and their two
// neighbours as what it is now (a pair's lead as the whole code point, its tail as 0 x 0, a lone
// one as its missing glyph) and marks its images for rebuilding. An edit can make or break a
// pair at either end of its range, so its neighbours are included.
void MeasureSurrogates(MetaString& s, size_t first, size_t last, bool vertical);

// A font entry reported back as a request (GetCharFont).
FontSpec ReportFont(const MetaFont& font);

// Whether a requested face name can be used as it is: an installed family (installed holds the
// names fontconfig lists) in any case, as face names are matched without regard to case, or a
// generic family (serif, sans-serif, monospace) that fontconfig resolves.
bool FaceNameKnown(const std::map<std::u16string, int32_t>& installed, const std::u16string& name);

// Every family name fontconfig lists.
std::vector<std::u16string> EnumerateFaceNames();

// The default GUI font (fontconfig's match for sans-serif) as a LOGFONTW.
LOGFONTW DefaultGuiFont();

}  // namespace qel
