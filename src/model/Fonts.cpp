// Font entries, font linking and character measurement over the platform's font engine.
#include "model/Fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FontEngine.h"
#include "platform/FontLinking.h"
#include "platform/Shaper.h"

namespace qel {

namespace {

constexpr uint8_t kSymbolCharSet = 2;
constexpr uint8_t kDefaultCharSet = 1;

bool SameLogFont(const LOGFONTW& a, const LOGFONTW& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool FontHas(const LOGFONTW& lf, char32_t code) {
    const FontFace font = FontFace::Open(lf);
    return font && font.GlyphIndex(code) != 0;
}

// Fonts are chosen per cluster, not per code unit: a mark, a joiner and what it joins, a selector
// or an emoji modifier stays in the font of its base when that font can show it (or when it never
// shows by itself); when only the mark's own font has both, the base moves to that font. So a
// base and its marks, or an emoji sequence, are shaped together.
void KeepClustersTogether(const char16_t* text, int32_t count, std::vector<LOGFONTW>& chosen) {
    int32_t base = -1;  // first unit of the current cluster
    char32_t baseCode = 0, previous = 0;
    for (int32_t d = 0; d < count; ++d) {
        char32_t code = text[d];
        const int32_t unit = d;
        if (d + 1 < count && IsHighSurrogate(code) && IsLowSurrogate(text[d + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (char32_t(text[d + 1]) - 0xDC00);
            ++d;
        }
        if (base < 0 || !ContinuesCluster(previous, code) || code <= 32) {
            base = unit;
            baseCode = code;
            previous = code;
            continue;
        }
        // Two regional indicators make a flag; a third starts the next one.
        previous = (code >= 0x1F1E6 && code <= 0x1F1FF && previous >= 0x1F1E6 && previous <= 0x1F1FF) ? 0 : code;
        if (SameLogFont(chosen[unit], chosen[base])) continue;
        if (IsDefaultIgnorable(code) || FontHas(chosen[base], code)) {
            for (int32_t k = unit; k <= d; ++k) chosen[k] = chosen[base];
        } else if (FontHas(chosen[unit], baseCode)) {
            for (int32_t k = base; k < unit; ++k) chosen[k] = chosen[unit];
        }
    }
}

}  // namespace

LOGFONTW LogFontFromSpec(int32_t designHeight, const FontSpec& spec) {
    LOGFONTW lf{};
    // The last unit stays NUL even when the request's name fills all 32.
    std::copy(spec.FaceName, spec.FaceName + 31, lf.lfFaceName);
    lf.lfCharSet = static_cast<uint8_t>(spec.CharSet);
    lf.lfHeight = -designHeight;
    lf.lfWeight = spec.Bold ? 700 : 400;
    lf.lfItalic = static_cast<uint8_t>(spec.Italic);
    return lf;
}

HRESULT MakeFont(int32_t designHeight, const FontSpec& spec, MetaFont* out) {
    const HRESULT status = BuildMetaFont(designHeight, spec.Size, LogFontFromSpec(designHeight, spec), out);
    if (out) out->Kerning = (spec.CharSet & kCharSetKerning) ? 1 : 0;
    return status;
}

HRESULT BuildMetaFont(int32_t designHeight, float size, const LOGFONTW& logFont, MetaFont* out) {
    if (!out) return E_POINTER;
    *out = MetaFont{};
    out->LogFont = logFont;
    if (designHeight <= 0) return E_INVALIDARG;

    HRESULT status = S_OK;
    // The negated comparison also sends a NaN to the clamp.
    if (!(size >= -kMaxFontSize && size <= kMaxFontSize)) {
        status = E_FAIL;
        out->SizeRatio = kMaxFontSize / static_cast<float>(designHeight);
    } else {
        out->SizeRatio = std::fabs(size) / static_cast<float>(designHeight);
    }

    OutlineMetrics m;
    const FontFace font = FontFace::Open(logFont);
    if (!font || !font.GetOutlineMetrics(&m)) return E_FAIL;  // metrics stay zero
    const float r = out->SizeRatio;
    out->Ascent = static_cast<float>(m.ascent) * r;
    out->Descent = static_cast<float>(m.descent) * r;
    out->IntLead = static_cast<float>(m.text.internalLeading) * r;
    out->ExtLead = static_cast<float>(m.text.externalLeading) * r;
    out->StrikeoutPos = static_cast<float>(m.strikeoutPosition) * r;
    out->StrikeoutSize = static_cast<float>(m.strikeoutSize) * r;
    out->UnderlinePos = static_cast<float>(m.underscorePosition) * r;
    out->UnderlineSize = static_cast<float>(m.underscoreSize) * r;
    return status;
}

HRESULT ResolveCharFonts(FontLinker& linker, const char16_t* text, int32_t count, int32_t designHeight,
                         const FontSpec& spec, MetaFont* out, const char* language) {
    if (!text || !out) return E_POINTER;
    if (!linker.Valid()) return E_FAIL;
    if (count <= 0) return E_INVALIDARG;

    const LOGFONTW base = LogFontFromSpec(designHeight, spec);
    std::vector<LOGFONTW> chosen(static_cast<size_t>(count), base);
    const FontFace baseFont = FontFace::Open(base);

    // Each character is its own run: the glyph lookup answers S_OK when the base font has it and
    // S_FALSE when not; a mapping attempt answers S_OK or E_FAIL. The last answer is the status.
    // A surrogate pair is one character: its code point is looked up and linked, and both units
    // take the font chosen for it.
    HRESULT status = S_OK;
    for (int32_t d = 0; d < count; ++d) {
        char32_t code = text[d];
        const bool pair = d + 1 < count && IsHighSurrogate(code) && IsLowSurrogate(text[d + 1]);
        if (pair) code = 0x10000 + ((code - 0xD800) << 10) + (char32_t(text[d + 1]) - 0xDC00);
        const int32_t unit = d;
        if (pair) ++d;
        const bool lacks = !baseFont || baseFont.GlyphIndex(code) == 0;
        status = lacks ? S_FALSE : S_OK;
        // Emoji take a colour face when one has them, even where the base font has a plain glyph.
        const char32_t next = d + 1 < count ? text[d + 1] : 0;
        char16_t colorFace[32];
        if (WantsColor(code, next) && !(baseFont && baseFont.IsColor()) &&
            MapColorFontForCode(linker, base, code, colorFace, language)) {
            LOGFONTW& lf = chosen[unit];
            std::copy(std::begin(colorFace), std::end(colorFace), lf.lfFaceName);
            lf.lfCharSet = kDefaultCharSet;
            chosen[d] = lf;
            status = S_OK;
            continue;
        }
        if (!lacks || code <= 32) continue;
        if (chosen[unit].lfCharSet == kSymbolCharSet && code <= 255) continue;

        char16_t face[32];
        if (MapFontForCode(linker, base, code, face, language)) {
            LOGFONTW& lf = chosen[unit];
            std::copy(std::begin(face), std::end(face), lf.lfFaceName);
            // The linked face is an ordinary Unicode face, whatever set the request named.
            lf.lfCharSet = kDefaultCharSet;
            chosen[d] = lf;  // a pair's tail shares its lead's font
            status = S_OK;
        } else {
            status = E_FAIL;
        }
    }

    KeepClustersTogether(text, count, chosen);

    // Neighbours with the same font share one entry's work.
    const uint32_t kerning = (spec.CharSet & kCharSetKerning) ? 1 : 0;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0 && SameLogFont(chosen[i], chosen[i - 1])) {
            out[i] = out[i - 1];
        } else {
            (void)BuildMetaFont(designHeight, spec.Size, chosen[i], &out[i]);
            out[i].Kerning = kerning;
            if (language) std::strncpy(out[i].Language, language, QEL_MAX_LANGUAGE);
        }
    }
    return status;
}

bool MeasureCodeUnit(const LOGFONTW& logFont, char32_t code, float* cx, float* cy) {
    int32_t width = 0, height = 0;
    const FontFace font = FontFace::Open(logFont);
    if (!font || !font.GetTextExtent(code, &width, &height)) {
        *cx = *cy = 0;
        return false;
    }
    *cx = static_cast<float>(width);
    *cy = static_cast<float>(height);
    return true;
}

void MeasureCharacter(MetaCharacter& ch, const MetaFont& font, bool vertical) {
    MeasureCodePoint(ch, ch.Value, font, vertical);
}

void MeasureCodePoint(MetaCharacter& ch, char32_t code, const MetaFont& font, bool vertical) {
    float cx = 0, cy = 0;
    (void)MeasureCodeUnit(font.LogFont, code, &cx, &cy);  // a failed measurement is 0 x 0
    const float r = font.SizeRatio;
    if (vertical && code < 128) {
        ch.Width = cy * r;
        ch.Height = cx * r;
    } else {
        ch.Width = cx * r;
        ch.Height = cy * r;
    }
}

void MeasureSurrogates(MetaString& s, size_t first, size_t last, bool vertical) {
    const size_t n = s.chars.size();
    if (n == 0) return;
    first = first > 0 ? first - 1 : 0;
    last = std::min(last + 1, n - 1);
    for (size_t i = first; i <= last; ++i) {
        MetaCharacter& ch = s.chars[i];
        if (!IsHighSurrogate(ch.Value) && !IsLowSurrogate(ch.Value)) continue;
        if (IsPairTail(s, i)) {
            ch.Width = ch.Height = 0;
        } else {
            MeasureCodePoint(ch, CodePointAt(s, i), FontOf(s, ch), vertical);
        }
    }
}

FontSpec ReportFont(const MetaFont& font) {
    FontSpec spec{};
    const LOGFONTW& lf = font.LogFont;
    std::copy(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), spec.FaceName);
    spec.CharSet = lf.lfCharSet | (font.Kerning ? kCharSetKerning : 0);
    // Negated as a float: a stored height may be INT32_MIN, which has no int32 negation.
    spec.Size = -static_cast<float>(lf.lfHeight) * font.SizeRatio;
    spec.Bold = lf.lfWeight > 400 ? 1 : 0;
    spec.Italic = lf.lfItalic;
    spec.Underline = lf.lfUnderline;
    spec.StrikeOut = lf.lfStrikeOut;
    return spec;
}

std::vector<std::u16string> EnumerateFaceNames() { return ListFamilyNames(); }

bool FaceNameKnown(const std::map<std::u16string, int32_t>& installed, const std::u16string& name) {
    if (installed.count(name)) return true;
    if (name.empty()) return false;
    if (IsGenericFamily(name)) return true;
    return std::any_of(installed.begin(), installed.end(),
                       [&](const auto& entry) { return SameFamilyName(entry.first, name); });
}

// The default GUI font: fontconfig's sans-serif face at the design height, regular, in the
// default character set (1): on this platform a face is chosen by name alone, so the set that
// suits every face is the one to hand to a request that falls back to it.
LOGFONTW DefaultGuiFont() {
    LOGFONTW lf{};
    const std::u16string family = DefaultSansFamily();
    std::copy(family.begin(), family.begin() + std::min<size_t>(family.size(), 31), lf.lfFaceName);
    lf.lfHeight = -kDesignHeight;
    lf.lfWeight = 400;
    lf.lfCharSet = kDefaultCharSet;
    return lf;
}

}  // namespace qel
