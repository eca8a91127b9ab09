// Shaping of a string's paragraphs over the platform's shaper.
//
// A shaped paragraph is split into runs of one font, one script and one embedding level; each
// run is shaped with the whole paragraph as context, so letters join across a change of font or
// direction as the text asks. HarfBuzz numbers its clusters by UTF-16 offset, which maps each
// cluster straight onto the characters of the model: the cluster's first character takes the
// glyphs (placed from the cluster's left end) and the whole advance, the rest take nothing.
#include "model/Shaping.h"

#include <algorithm>
#include <cstring>

#include "model/Fonts.h"
#include "platform/FontEngine.h"
#include "platform/Shaper.h"

namespace qel {
namespace {

bool SameInputs(const MetaString& s) {
    const ShapedText& t = s.Shaping;
    if (t.vertical != s.Vertical || t.language != s.Language || t.values.size() != s.chars.size() || t.fonts.size() != s.fonts.size())
        return false;
    for (size_t i = 0; i < s.chars.size(); ++i) {
        if (t.values[i] != s.chars[i].Value || t.fontIndices[i] != s.chars[i].FontIndex) return false;
    }
    return s.fonts.empty() || std::memcmp(t.fonts.data(), s.fonts.data(), s.fonts.size() * sizeof(MetaFont)) == 0;
}

void KeepInputs(MetaString& s) {
    ShapedText& t = s.Shaping;
    t.vertical = s.Vertical;
    t.language = s.Language;
    t.values.resize(s.chars.size());
    t.fontIndices.resize(s.chars.size());
    for (size_t i = 0; i < s.chars.size(); ++i) {
        t.values[i] = s.chars[i].Value;
        t.fontIndices[i] = s.chars[i].FontIndex;
    }
    t.fonts = s.fonts;
}

// The language a run in `font` is shaped in: the font entry's own, else the string's.
const char* LanguageOf(const MetaString& s, const MetaFont& font) {
    return font.Language[0] ? font.Language : s.Language.c_str();
}

// The per-character measurement that unshaped text has (a pair's tail takes no room).
void MeasureAlone(MetaString& s, size_t first, size_t end) {
    for (size_t i = first; i < end; ++i) {
        MetaCharacter& ch = s.chars[i];
        if (IsPairTail(s, i)) {
            ch.Width = ch.Height = 0;
        } else {
            MeasureCodePoint(ch, CodePointAt(s, i), FontOf(s, ch), s.Vertical != 0);
        }
    }
}

bool ParagraphNeedsShaping(const MetaString& s, size_t first, size_t end) {
    // Text in a named language takes the forms the font has for it, which only shaping finds.
    if (!s.Language.empty()) return true;
    int32_t lastFont = -1;
    for (size_t i = first; i < end; ++i) {
        const MetaFont& font = FontOf(s, s.chars[i]);
        if (font.Kerning || font.Language[0]) return true;
        // A colour face (emoji) draws only the glyphs shaping gives it.
        if (s.chars[i].FontIndex != lastFont) {
            lastFont = s.chars[i].FontIndex;
            const FontFace face = FontFace::Open(font.LogFont);
            if (face && face.IsColor()) return true;
        }
        const char32_t code = CodePointAt(s, i);
        if (code != 0 && !StandsAlone(code)) return true;
    }
    return false;
}

// A paragraph as shaping reads it: its UTF-16 units and the embedding level of each.
struct ParagraphText {
    size_t first = 0;  // the paragraph's first character in the string
    std::u16string text;
    std::vector<uint8_t> levels;
    uint8_t level = 0;  // the paragraph's own
};

// Characters [first, end) of s, one paragraph without its break characters. A column runs left to
// right (top to bottom) whatever its text: only runs of right-to-left text in it turn round.
ParagraphText ReadParagraph(const MetaString& s, size_t first, size_t end, bool column) {
    ParagraphText p;
    p.first = first;
    const size_t n = end - first;
    p.text.assign(n, u'\0');
    for (size_t i = 0; i < n; ++i) p.text[i] = static_cast<char16_t>(s.chars[first + i].Value);
    p.levels.assign(n, 0);
    p.level = ResolveBidiLevels(p.text.data(), n, p.levels.data(), column);
    return p;
}

// The script of units [a, b) of a paragraph: marks and common characters (spaces, digits,
// punctuation) take the script of the text before them, or after them at the span's start.
std::vector<uint32_t> SpanScripts(const MetaString& s, const ParagraphText& p, size_t a, size_t b) {
    std::vector<uint32_t> scripts(b - a, kScriptCommon);
    auto weak = [](uint32_t script) { return script == kScriptCommon || script == kScriptInherited; };
    for (size_t i = 0; i < scripts.size(); ++i) {
        const char32_t code = CodePointAt(s, p.first + a + i);
        scripts[i] = code == 0 && i > 0 ? scripts[i - 1] : ScriptOf(code);
        if (weak(scripts[i]) && i > 0) scripts[i] = scripts[i - 1];
    }
    for (size_t i = scripts.size(); i-- > 1;) {
        if (weak(scripts[i - 1])) scripts[i - 1] = scripts[i];
    }
    return scripts;
}

// The thickness of a turned cluster across its column: its font's line, as a Latin letter turned
// in a column measures.
float SidewaysThickness(const MetaString& s, size_t i) {
    float cx = 0, cy = 0;
    const MetaFont& font = FontOf(s, s.chars[i]);
    (void)MeasureCodeUnit(font.LogFont, CodePointAt(s, i), &cx, &cy);
    return cy * font.SizeRatio;
}

// Shapes units [a, b) of paragraph p in runs of one font, one script and one embedding level,
// with the whole paragraph as context, so that letters join across a change of font or
// direction. A sideways span lies on its side in a column: a cluster's advance runs down the
// column (its Height) and it is as thick as its font's line across it.
void ShapeSpan(MetaString& s, const ParagraphText& p, size_t a, size_t b, bool sideways) {
    ShapedText& t = s.Shaping;
    const size_t first = p.first, n = p.text.size();
    const std::vector<uint32_t> scripts = SpanScripts(s, p, a, b);
    auto scriptAt = [&](size_t i) { return scripts[i - a]; };

    std::vector<ShapedGlyph> glyphs;
    std::vector<uint32_t> clusters;
    size_t runStart = a;
    while (runStart < b) {
        const MetaCharacter& head = s.chars[first + runStart];
        size_t runEnd = runStart + 1;
        while (runEnd < b && s.chars[first + runEnd].FontIndex == head.FontIndex &&
               p.levels[runEnd] == p.levels[runStart] && scriptAt(runEnd) == scriptAt(runStart)) {
            ++runEnd;
        }
        const MetaFont& font = FontOf(s, head);
        ShapeRequest request;
        request.rightToLeft = (p.levels[runStart] & 1) != 0;
        request.script = scriptAt(runStart) == kScriptCommon || scriptAt(runStart) == kScriptInherited
                             ? 0 : scriptAt(runStart);
        request.kerning = font.Kerning != 0;
        request.language = LanguageOf(s, font);
        if (!ShapeRun(font.LogFont, p.text.data(), n, runStart, runEnd - runStart, request, &glyphs)) glyphs.clear();

        // Cluster boundaries in logical order; each cluster's characters run up to the next one.
        clusters.clear();
        for (const ShapedGlyph& g : glyphs) clusters.push_back(g.cluster);
        std::sort(clusters.begin(), clusters.end());
        clusters.erase(std::unique(clusters.begin(), clusters.end()), clusters.end());

        for (size_t i = runStart; i < runEnd; ++i) {
            ShapedUnit& u = t.units[first + i];
            u = ShapedUnit{};
            u.shaped = true;
            u.sideways = sideways;
            u.level = p.levels[i];
            u.paragraphLevel = p.level;
            u.glyphStart = static_cast<uint32_t>(t.glyphs.size());
        }
        if (clusters.empty()) {
            // Nothing came back (no face): the characters keep their own measurement and glyphs.
            for (size_t i = runStart; i < runEnd; ++i) t.units[first + i].shaped = t.units[first + i].sideways = false;
            MeasureAlone(s, first + runStart, first + runEnd);
            runStart = runEnd;
            continue;
        }

        // Each cluster's glyphs lie together in visual order; its left end is the pen position
        // at its first glyph there.
        const float ratio = font.SizeRatio;
        float pen = 0;
        size_t g = 0;
        while (g < glyphs.size()) {
            const uint32_t cluster = glyphs[g].cluster;
            const size_t unit = first + cluster;
            ShapedUnit& u = t.units[unit];
            u.glyphStart = static_cast<uint32_t>(t.glyphs.size());
            const float left = pen;
            for (; g < glyphs.size() && glyphs[g].cluster == cluster; ++g) {
                t.glyphs.push_back({glyphs[g].index, pen - left + glyphs[g].x, glyphs[g].y});
                pen += glyphs[g].advance;
            }
            u.glyphCount = static_cast<uint16_t>(std::min<size_t>(t.glyphs.size() - u.glyphStart, 0xFFFF));
            u.width = (pen - left) * ratio;
        }
        for (size_t i = runStart; i < runEnd; ++i) {
            ShapedUnit& u = t.units[first + i];
            MetaCharacter& ch = s.chars[first + i];
            if (u.glyphCount == 0) u.width = 0;
            if (sideways) {
                u.height = u.width;
                u.width = u.glyphCount != 0 ? SidewaysThickness(s, first + i) : 0;
                ch.Height = u.height;
            }
            ch.Width = u.width;
        }
        t.any = true;
        runStart = runEnd;
    }
}

// Shapes characters [first, end) of s, one horizontal paragraph without its break characters.
void ShapeParagraph(MetaString& s, size_t first, size_t end) {
    const ParagraphText p = ReadParagraph(s, first, end, false);
    ShapeSpan(s, p, 0, p.text.size(), false);
}

// The end of the run of characters from i on that lie on their side in a column (a cluster's marks
// and joiners, and a pair's tail, go with it); i itself when it stands upright. *plain is cleared
// when the run holds a character beyond ASCII.
size_t SidewaysEnd(const MetaString& s, size_t i, size_t end, bool* plain) {
    size_t k = i;
    *plain = true;
    while (k < end) {
        const char32_t code = CodePointAt(s, k);
        const bool joins = k > i && (IsPairTail(s, k) || ContinuesCluster(CodePointAt(s, k - 1), code));
        if (!joins && !TurnsSideways(code)) break;
        if (s.chars[k].Value >= 128) *plain = false;
        ++k;
    }
    return k;
}

// Runs of scripts that lie on their side in a column (Arabic, Hebrew, Devanagari, Thai, Latin
// words beyond ASCII) are shaped as a line, in their direction and with their joining, and drawn
// turned a quarter turn clockwise, so that a right-to-left run reads from the bottom up. A run of
// ASCII alone keeps the per-character measurement and quarter turn it always had. Returns whether
// such a run was shaped.
bool ShapeSideways(MetaString& s, size_t first, size_t end) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = first; i < end;) {
        bool plain = true;
        const size_t runEnd = SidewaysEnd(s, i, end, &plain);
        if (runEnd == i) {
            ++i;
            continue;
        }
        if (!plain) runs.emplace_back(i - first, runEnd - first);
        i = runEnd;
    }
    if (runs.empty()) return false;
    const ParagraphText p = ReadParagraph(s, first, end, true);
    for (const auto& [a, b] : runs) ShapeSpan(s, p, a, b, true);
    return true;
}

// A column: runs that lie on their side are shaped as lines (ShapeSideways). Each upright cluster
// keeps its measured box, but takes the glyph the font has for it in vertical text (the vert and
// vrt2 forms: the long vowel mark, brackets, the ideographic comma and full stop, small kana), and
// a sequence (emoji) becomes its one glyph. Latin letters below 128 keep their quarter turn and
// are left alone.
void ShapeColumn(MetaString& s, size_t first, size_t end) {
    (void)ShapeSideways(s, first, end);
    ShapedText& t = s.Shaping;
    std::u16string text;
    std::vector<ShapedGlyph> glyphs;
    for (size_t i = first; i < end;) {
        size_t next = i + (IsPairLead(s, i) ? 2 : 1);
        const char32_t code = CodePointAt(s, i);
        while (next < end && s.chars[next].FontIndex == s.chars[i].FontIndex &&
               ContinuesCluster(CodePointAt(s, next - (IsPairTail(s, next - 1) ? 2 : 1)), CodePointAt(s, next))) {
            next += IsPairLead(s, next) ? 2 : 1;
        }
        if (code < 0x2000 || t.units[i].sideways) {
            i = next;
            continue;
        }
        const MetaFont& font = FontOf(s, s.chars[i]);
        text.clear();
        for (size_t k = i; k < next; ++k) text.push_back(static_cast<char16_t>(s.chars[k].Value));
        ShapeRequest request;
        request.vertical = true;
        request.language = LanguageOf(s, font);
        const FontFace face = FontFace::Open(font.LogFont);
        if (face && ShapeRun(font.LogFont, text.data(), text.size(), 0, text.size(), request, &glyphs) &&
            glyphs.size() == 1 && (next - i > (code > 0xFFFF ? 2u : 1u) || face.IsColor() ||
                                   glyphs[0].index != face.GlyphIndex(code))) {
            for (size_t k = i; k < next; ++k) {
                ShapedUnit& u = t.units[k];
                u = ShapedUnit{};
                u.shaped = true;
                u.glyphStart = static_cast<uint32_t>(t.glyphs.size());
                if (k > i) s.chars[k].Width = s.chars[k].Height = 0;
                u.width = s.chars[k].Width;
                u.height = s.chars[k].Height;
            }
            t.units[i].glyphCount = 1;
            t.glyphs.push_back({glyphs[0].index, 0, 0});
            t.any = true;
        }
        i = next;
    }
}

}  // namespace

void ShapeString(MetaString& s) {
    ShapedText& t = s.Shaping;
    if (SameInputs(s)) {
        // The characters may have been measured alone since (a re-measure pass): shaped widths
        // go back.
        for (size_t i = 0; i < t.units.size() && i < s.chars.size(); ++i) {
            if (!t.units[i].shaped) continue;
            s.chars[i].Width = t.units[i].width;
            if (s.Vertical) s.chars[i].Height = t.units[i].height;
        }
        return;
    }
    const bool wasShaped = t.any;
    KeepInputs(s);
    t.units.assign(s.chars.size(), ShapedUnit{});
    t.glyphs.clear();
    t.any = false;

    const size_t n = s.chars.size();
    size_t first = 0;
    while (first <= n && n > 0) {
        // A paragraph ends at the CR of a CR LF pair; its LF begins the next one.
        size_t end = first;
        while (end < n && !IsPairCR(s, end)) ++end;
        const size_t contentFirst = IsPairLF(s, first) ? first + 1 : first;
        if (s.Vertical != 0) {
            if (wasShaped) MeasureAlone(s, first, end);
            ShapeColumn(s, contentFirst, end);
        } else if (contentFirst < end && ParagraphNeedsShaping(s, contentFirst, end)) {
            ShapeParagraph(s, contentFirst, end);
            const uint8_t level = t.units[contentFirst].paragraphLevel;
            for (size_t i = first; i < std::min(end + 1, n); ++i) t.units[i].paragraphLevel = level;
        } else if (wasShaped) {
            MeasureAlone(s, first, end);
        }
        if (end >= n) break;
        first = end + 1;  // the LF
    }
    if (!t.any) t.units.clear();
}

void VisualOrder(const MetaString& s, size_t first, size_t last, std::vector<size_t>& order) {
    order.clear();
    for (size_t i = first; i <= last; ++i) order.push_back(i);
    const ShapedText& t = s.Shaping;
    if (!t.any || last >= t.units.size()) return;

    std::vector<uint8_t> levels(order.size());
    uint8_t highest = 0, lowestOdd = 0xFF;
    for (size_t k = 0; k < order.size(); ++k) levels[k] = t.units[first + k].level;
    // Blanks and breaks at the line's end stand at the paragraph's level.
    for (size_t k = order.size(); k-- > 0;) {
        const uint16_t v = s.chars[first + k].Value;
        if (v != u' ' && v != u'\t' && v != 13 && v != 10) break;
        levels[k] = t.units[first + k].paragraphLevel;
    }
    for (uint8_t l : levels) {
        highest = std::max(highest, l);
        if (l & 1) lowestOdd = std::min(lowestOdd, l);
    }
    if (lowestOdd == 0xFF) return;
    for (int level = highest; level >= lowestOdd; --level) {
        for (size_t k = 0; k < order.size();) {
            if (levels[k] < level) {
                ++k;
                continue;
            }
            size_t e = k;
            while (e < order.size() && levels[e] >= level) ++e;
            std::reverse(order.begin() + static_cast<ptrdiff_t>(k), order.begin() + static_cast<ptrdiff_t>(e));
            std::reverse(levels.begin() + static_cast<ptrdiff_t>(k), levels.begin() + static_cast<ptrdiff_t>(e));
            k = e;
        }
    }
}

}  // namespace qel
