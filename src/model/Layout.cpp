// Line breaking and layout of one string.
//
// BreakLines assigns characters to lines and lines to paragraphs; LayoutString then computes all
// geometry from that assignment. Both work in layout units.
//
// Breaking is greedy at any character (there is no word-boundary rule): a character goes on the
// current line when it fits in WidthLimit minus the paragraph's indents, or when the line is still
// empty; otherwise a soft break starts a new line before it. The line feed of a CR LF pair starts a
// new paragraph. A pass always re-breaks the whole paragraph that holds the edited point, from its
// first line, and then every later paragraph: so the result is the same as breaking the final text
// from scratch, whatever edits led to it.
//
// Paragraph records carry the host's attributes, so a pass must keep each record with the text it
// belongs to. Before the pass, every character's LineIndex still names the line, and through it the
// paragraph, that it had before the edit. A line feed that already began a paragraph takes that
// paragraph's record again (records of breaks that disappeared in between are erased); a line feed
// that did not is a new break, and its paragraph copies the attributes of the one it splits.
//
// Horizontal strings advance along x and stack lines downwards; vertical strings advance down a
// column and place columns from right to left, towards negative x.
//
// Line thickness. A line is as thick as the tallest font among its characters makes it, with the
// internal leading counted twice (in the character's height and once more above it): a line that
// falls back to a taller face for one character grows, and faces with tall stacked marks (Thai)
// stand two ems apart. A string with EvenLines takes the thickness from its paragraph's main face
// instead (the font most of its characters use): that face's line height (ascent, descent and
// external leading from its text metrics) at the line's largest size, the baseline an ascent
// below the line's top, so every line of a paragraph is equally thick whatever faces fill it in.
#include <algorithm>
#include <limits>
#include <map>

#include "model/Layout.h"

#include "model/Fonts.h"
#include "model/Shaping.h"
#include "platform/FontEngine.h"

namespace qel {
namespace {

// Line and paragraph assignment of the characters from `first` (the first character of paragraph
// `para`, whose first line is `line`) to the end of the string.
void BreakFrom(MetaString& s, size_t first, int32_t line, int32_t para, bool vertical) {
    const size_t n = s.chars.size();

    // Paragraph of every line before this pass; the records themselves are rewritten as it goes.
    std::vector<int32_t> oldParagraphOfLine(s.lines.size());
    for (size_t l = 0; l < s.lines.size(); ++l) oldParagraphOfLine[l] = s.lines[l].ParagraphIndex;
    auto oldParagraph = [&](size_t c) -> int64_t {
        const int32_t l = s.chars[c].LineIndex;
        if (l < 0 || static_cast<size_t>(l) >= oldParagraphOfLine.size()) return -1;
        return oldParagraphOfLine[static_cast<size_t>(l)];
    };
    // New index minus old index of the paragraph records not yet reached by the pass.
    int64_t shift = 0;
    int64_t previousOld = first > 0 ? oldParagraph(first - 1) : -1;

    int32_t L = line, P = para;
    auto startLine = [&](size_t i) {
        if (static_cast<size_t>(L) >= s.lines.size()) InsertLine(s, L);
        MetaLine& rec = s.lines[static_cast<size_t>(L)];
        rec.CharStart = rec.CharEnd = static_cast<int32_t>(i);
        rec.ParagraphIndex = P;
    };

    startLine(first);
    s.paragraphs[static_cast<size_t>(P)].LineStart = L;
    float x = 0;
    for (size_t i = first; i < n; ++i) {
        const float d = Advance(s, i, vertical);
        const int64_t old = oldParagraph(i);
        MetaCharacter& ch = s.chars[i];

        if (i > first && IsPairLF(s, i)) {
            s.paragraphs[static_cast<size_t>(P)].LineEnd = L;
            ++L;
            ++P;
            const int64_t current = old + shift;  // where that record is now
            if (old >= 0 && old != previousOld && current >= P &&
                current < static_cast<int64_t>(s.paragraphs.size())) {
                s.paragraphs.erase(s.paragraphs.begin() + P, s.paragraphs.begin() + current);
                shift -= current - P;
            } else {
                InsertParagraph(s, P, s.paragraphs[static_cast<size_t>(P) - 1].Attrs());
                ++shift;
            }
            startLine(i);
            s.paragraphs[static_cast<size_t>(P)].LineStart = L;
            x = d;
        } else {
            const MetaParagraph& p = s.paragraphs[static_cast<size_t>(P)];
            // The tail of a surrogate pair stays with its lead, and the rest of a shaped cluster
            // with its first character, even on a line the lead overfills.
            if (x <= 0 || IsPairTail(s, i) || IsClusterTail(s, i) ||
                x + d <= s.WidthLimit - p.LeftIndent - p.RightIndent) {
                s.lines[static_cast<size_t>(L)].CharEnd = static_cast<int32_t>(i);
                x += d;
            } else {
                ++L;
                startLine(i);
                x = d;
            }
        }
        ch.LineIndex = L;
        previousOld = old;
    }

    s.paragraphs[static_cast<size_t>(P)].LineEnd = L;
    s.lines.resize(static_cast<size_t>(L) + 1);
    s.paragraphs.resize(static_cast<size_t>(P) + 1);
}

// Whether a break character counts towards its line's ascent and leadings (and, across a
// horizontal line, its height): text lines ignore their break characters, an empty line takes its
// height from them.
bool TakesPartInLine(const MetaString& s, const MetaLine& line, size_t c) {
    const bool single = line.CharStart == line.CharEnd;
    if (IsPairCR(s, c)) return single || (c > 0 && s.chars[c - 1].Value == 10);
    if (IsPairLF(s, c)) return single || (c + 1 < s.chars.size() && s.chars[c + 1].Value == 13);
    return true;
}

// The break characters that count towards a column's width.
bool TakesPartInColumn(const MetaString& s, size_t c) {
    if (IsPairLF(s, c)) return c + 1 == s.chars.size() || s.chars[c + 1].Value == 13;
    if (IsPairCR(s, c)) return c == 0 || s.chars[c - 1].Value == 10;
    return true;
}

// The line height of an even line's main face at the design height: ascent, then descent and
// external leading below it.
struct MainFace {
    bool valid = false;
    float ascent = 0, height = 0;  // design pixels
};

// The main face of each paragraph: the font entry most of its characters use (break characters
// and blanks left out unless the paragraph has nothing else; the first of equals).
std::vector<MainFace> MainFaces(const MetaString& s) {
    std::vector<MainFace> out(s.paragraphs.size());
    std::map<std::u16string, MainFace> opened;  // by face name, weight and italic
    for (size_t p = 0; p < s.paragraphs.size(); ++p) {
        const size_t c0 = static_cast<size_t>(s.lines[static_cast<size_t>(s.paragraphs[p].LineStart)].CharStart);
        const size_t c1 = static_cast<size_t>(s.lines[static_cast<size_t>(s.paragraphs[p].LineEnd)].CharEnd);
        std::map<int32_t, size_t> count;
        int32_t best = s.chars[c0].FontIndex;
        size_t most = 0;
        for (size_t c = c0; c <= c1; ++c) {
            const uint16_t v = s.chars[c].Value;
            if (v == 13 || v == 10 || v == u' ' || v == u'\t' || v == 0x3000) continue;
            const size_t n = ++count[s.chars[c].FontIndex];
            if (n > most) most = n, best = s.chars[c].FontIndex;
        }
        const LOGFONTW& lf = FontOf(s, s.chars[c0]).LogFont;
        const LOGFONTW& main = best >= 0 && static_cast<size_t>(best) < s.fonts.size()
                                   ? s.fonts[static_cast<size_t>(best)].LogFont : lf;
        std::u16string key(main.lfFaceName, std::char_traits<char16_t>::length(main.lfFaceName));
        key += char16_t(main.lfWeight);
        key += char16_t(main.lfItalic);
        auto found = opened.find(key);
        if (found == opened.end()) {
            MainFace face;
            TextMetrics m;
            const FontFace font = FontFace::Open(main);
            if (font && font.GetTextMetrics(&m) && m.height > 0) {
                face.valid = true;
                face.ascent = static_cast<float>(m.ascent);
                face.height = static_cast<float>(m.height + std::max(0, m.externalLeading));
            }
            found = opened.emplace(key, face).first;
        }
        out[p] = found->second;
    }
    return out;
}

// An even line: the main face's line height at the largest size among the line's characters,
// every glyph on the baseline an ascent of that face below the line's top.
void EvenLine(MetaString& s, MetaLine& line, const MainFace& face, bool vertical) {
    const size_t c0 = static_cast<size_t>(line.CharStart), c1 = static_cast<size_t>(line.CharEnd);
    float ratio = 0;
    for (size_t c = c0; c <= c1; ++c) {
        if (vertical ? TakesPartInColumn(s, c) : TakesPartInLine(s, line, c))
            ratio = std::max(ratio, FontOf(s, s.chars[c]).SizeRatio);
    }
    const float baseline = face.ascent * ratio;
    for (size_t c = c0; c <= c1; ++c) {
        MetaCharacter& ch = s.chars[c];
        const float ascent = FontOf(s, ch).Ascent;
        (vertical ? ch.Left : ch.Top) = vertical ? ascent - baseline : baseline - ascent;
    }
    (vertical ? line.Width : line.Height) = face.height * ratio;
}

// Geometry of a string whose structure is valid and which has characters.
void LayoutGeometry(MetaString& s) {
    const bool vertical = s.Vertical != 0;
    auto lineRange = [&](const MetaParagraph& p) {
        return std::pair<size_t, size_t>(static_cast<size_t>(p.LineStart), static_cast<size_t>(p.LineEnd));
    };

    // Line lengths along the text direction, and each character's position along its line: lines
    // are broken in logical order and laid out in display order.
    std::vector<size_t> order;
    for (const MetaParagraph& p : s.paragraphs) {
        const float avail = s.WidthLimit - p.LeftIndent - p.RightIndent;
        const auto [l0, l1] = lineRange(p);
        for (size_t l = l0; l <= l1; ++l) {
            MetaLine& line = s.lines[l];
            float pen = 0;
            VisualOrder(s, static_cast<size_t>(line.CharStart), static_cast<size_t>(line.CharEnd), order);
            for (size_t c : order) {
                (vertical ? s.chars[c].Top : s.chars[c].Left) = pen;
                pen += Advance(s, c, vertical);
            }
            (vertical ? line.Height : line.Width) = std::min(pen, avail);
        }
    }

    // Line thickness and the shared baseline.
    const std::vector<MainFace> mainFaces = s.EvenLines ? MainFaces(s) : std::vector<MainFace>{};
    for (MetaLine& line : s.lines) {
        const size_t c0 = static_cast<size_t>(line.CharStart), c1 = static_cast<size_t>(line.CharEnd);
        const size_t para = static_cast<size_t>(line.ParagraphIndex);
        if (para < mainFaces.size() && mainFaces[para].valid) {
            EvenLine(s, line, mainFaces[para], vertical);
            continue;
        }
        float a = 0, i = 0, e = 0;
        for (size_t c = c0; c <= c1; ++c) {
            if (!TakesPartInLine(s, line, c)) continue;
            const MetaFont& f = FontOf(s, s.chars[c]);
            a = std::max(a, f.Ascent);
            i = std::max(i, f.IntLead);
            e = std::max(e, f.ExtLead);
        }
        float thickness = 0;
        for (size_t c = c0; c <= c1; ++c) {
            MetaCharacter& ch = s.chars[c];
            const MetaFont& f = FontOf(s, ch);
            if (vertical) {
                if (TakesPartInColumn(s, c)) thickness = std::max(thickness, e + ch.Width + i);
                ch.Left = f.Ascent - i - a;
            } else {
                if (TakesPartInLine(s, line, c)) thickness = std::max(thickness, e + ch.Height + i);
                ch.Top = a + i - f.Ascent;
            }
        }
        (vertical ? line.Width : line.Height) = thickness;
    }

    // Paragraph extents: lines stacked across the text direction, LineSpace after every line.
    for (MetaParagraph& p : s.paragraphs) {
        const auto [l0, l1] = lineRange(p);
        float longest = -std::numeric_limits<float>::infinity();
        float y = 0;
        for (size_t l = l0; l <= l1; ++l) {
            MetaLine& line = s.lines[l];
            if (vertical) {
                longest = std::max(longest, line.Height);
                line.Left = -y;
                y += p.LineSpace + line.Width;
            } else {
                longest = std::max(longest, line.Width);
                line.Top = y;
                y += p.LineSpace + line.Height;
            }
        }
        if (vertical) {
            p.Height = longest;
            p.Width = y;
        } else {
            p.Width = longest;
            p.Height = y;
        }
    }

    // The string's extent along the lines counts both indents of every paragraph.
    float extent = 0;
    for (const MetaParagraph& p : s.paragraphs) {
        extent = std::max(extent, p.RightIndent + p.LeftIndent + (vertical ? p.Height : p.Width));
    }
    (vertical ? s.Height : s.Width) = extent;

    // Paragraphs stacked across the lines; each sits at 0 along them (indents do not move it).
    float y = 0;
    for (MetaParagraph& p : s.paragraphs) {
        y += p.BeforeSpace;
        if (vertical) {
            p.Left = -y;
            p.Top = 0;
            y += p.AfterSpace + p.Width;
        } else {
            p.Top = y;
            p.Left = 0;
            y += p.AfterSpace + p.Height;
        }
    }
    (vertical ? s.Width : s.Height) = y;

    // Alignment of each line in the span between its paragraph's indents. Start and end follow
    // the paragraph's direction: a right-to-left paragraph starts at the right.
    for (const MetaParagraph& p : s.paragraphs) {
        const float span = (vertical ? s.Height : s.Width) - p.LeftIndent - p.RightIndent;
        const auto [l0, l1] = lineRange(p);
        uint32_t align = p.Align & 6;
        if (ParagraphRightToLeft(s, static_cast<size_t>(s.lines[l0].CharStart))) {
            if (align == 0) align = 2;
            else if (align == 2) align = 0;
        }
        for (size_t l = l0; l <= l1; ++l) {
            MetaLine& line = s.lines[l];
            const float lineExtent = vertical ? line.Height : line.Width;
            float offset = 0;
            if (align == 2) offset = span - lineExtent;
            if (align == 6) offset = (span - lineExtent) * 0.5f;
            (vertical ? line.Top : line.Left) = offset;
        }
    }
}

}  // namespace

int BreakLines(MetaString& s, int32_t start, int32_t count, bool vertical, const ParagraphAttrs& fill) {
    const int64_t n = static_cast<int64_t>(s.chars.size());
    if (start < 0 || start >= n || count < 0 || int64_t{start} + count > n) return 0;
    ShapeString(s);

    // The pass reads only the records in front of it: the line of `start`, its paragraph and that
    // paragraph's first line, which an edit leaves in place. (After an insertion the records
    // behind `start` still describe the old text; the pass rewrites them.)
    const int32_t startLine = s.chars[static_cast<size_t>(start)].LineIndex;
    const MetaLine* l = startLine >= 0 && static_cast<size_t>(startLine) < s.lines.size()
                            ? &s.lines[static_cast<size_t>(startLine)] : nullptr;
    const int32_t para = l ? l->ParagraphIndex : -1;
    const MetaParagraph* p = para >= 0 && static_cast<size_t>(para) < s.paragraphs.size()
                                 ? &s.paragraphs[static_cast<size_t>(para)] : nullptr;
    const int32_t line = p ? p->LineStart : -1;
    if (!p || line < 0 || line > startLine || s.lines[static_cast<size_t>(line)].CharStart < 0 ||
        s.lines[static_cast<size_t>(line)].CharStart > start) {
        RebuildStructure(s, fill);
        BreakFrom(s, 0, 0, 0, vertical);
        return 1;
    }
    BreakFrom(s, static_cast<size_t>(s.lines[static_cast<size_t>(line)].CharStart), line, para, vertical);
    return 1;
}

void LayoutString(MetaString& s, bool breakVertical, const ParagraphAttrs& fill, const FontSpec& emptyFont) {
    if (s.chars.empty()) {
        // An empty string is as large as one space of the font new text would get.
        s.lines.clear();
        s.paragraphs.clear();
        s.Shaping = ShapedText{};
        MetaFont font;
        (void)MakeFont(kDesignHeight, emptyFont, &font);
        float cx = 0, cy = 0;
        (void)MeasureCodeUnit(font.LogFont, u' ', &cx, &cy);
        const float r = font.SizeRatio;
        if (s.Vertical) {
            s.Width = cy * r + font.ExtLead + font.IntLead;
            s.Height = cx * r;
        } else {
            s.Width = cx * r;
            s.Height = cy * r + font.ExtLead + font.IntLead;
        }
        return;
    }

    if (!StructureValid(s)) {
        // Only a title loaded with inconsistent records gets here: rebuild rather than read
        // outside the vectors.
        RebuildStructure(s, fill);
        ShapeString(s);
        BreakFrom(s, 0, 0, 0, breakVertical);
    }
    ShapeString(s);
    LayoutGeometry(s);
}

}  // namespace qel
