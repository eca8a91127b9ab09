// A seeded random run of edits (insertions with CR LF pairs, lone breaks, CJK and unpaired
// surrogates, and edits that join them into pairs; deletions; font, spacing, paragraph and face
// changes). After every edit the string must keep its structural invariants and break exactly as
// a greedy fill of the final text would; now and then, and at the end, its whole layout must equal
// the same text and styles typed afresh.
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

#include "TestHost.h"
#include "model/Fonts.h"
#include "model/Layout.h"

namespace qel::test {
namespace {

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

template <class T>
std::string TableProblem(const char* name, const std::vector<T>& table, const MetaString& s,
                         int32_t MetaCharacter::*field) {
    std::vector<int> uses(table.size());
    for (const MetaCharacter& c : s.chars) {
        const int32_t e = c.*field;
        if (e < 0 || static_cast<size_t>(e) >= table.size()) return std::string(name) + " index out of range";
        ++uses[static_cast<size_t>(e)];
    }
    for (size_t i = 0; i < table.size(); ++i) {
        if (!uses[i]) return std::string(name) + " entry unused";
        for (size_t j = 0; j < i; ++j) {
            if (std::memcmp(&table[i], &table[j], sizeof(T)) == 0) return std::string(name) + " entry duplicated";
        }
    }
    return {};
}

// The first broken invariant, or an empty text.
std::string Problem(const MetaString& s) {
    const size_t n = s.chars.size();
    if (n == 0) return s.lines.empty() && s.paragraphs.empty() ? "" : "records left in an empty string";
    if (!StructureValid(s)) return "lines or paragraphs do not cover the text";
    size_t pairs = 0;
    for (size_t i = 0; i < n; ++i) pairs += IsPairLF(s, i);
    if (s.paragraphs.size() != pairs + 1) return "paragraph count differs from the number of breaks";
    for (size_t p = 0; p < s.paragraphs.size(); ++p) {
        const size_t first = static_cast<size_t>(s.lines[static_cast<size_t>(s.paragraphs[p].LineStart)].CharStart);
        const size_t last = static_cast<size_t>(s.lines[static_cast<size_t>(s.paragraphs[p].LineEnd)].CharEnd);
        if (p > 0 && !IsPairLF(s, first)) return "paragraph does not start with a pair LF";
        if (p + 1 < s.paragraphs.size() && !IsPairCR(s, last)) return "paragraph does not end with a pair CR";
    }
    for (const std::string& t : {TableProblem("font", s.fonts, s, &MetaCharacter::FontIndex),
                                 TableProblem("face", s.faces, s, &MetaCharacter::FaceIndex),
                                 TableProblem("border", s.borders, s, &MetaCharacter::BorderIndex),
                                 TableProblem("shadow", s.shadows, s, &MetaCharacter::ShadowIndex)}) {
        if (!t.empty()) return t;
    }
    return {};
}

// Greedy fill, written out plainly: a character joins the line when the line is empty or it fits.
Ranges GreedyLines(const MetaString& s) {
    Ranges lines;
    const size_t n = s.chars.size();
    size_t p = 0, lineStart = 0;
    float x = 0;
    for (size_t i = 0; i < n; ++i) {
        const MetaCharacter& c = s.chars[i];
        const bool none = IsPairCR(s, i) || IsPairLF(s, i) || IsPairTail(s, i);  // no advance
        const float d = none ? 0.0f : (c.Width + c.Spacing) * c.WidthScale;
        if (IsPairLF(s, i)) {
            lines.emplace_back(lineStart, i - 1);
            ++p;
            lineStart = i;
            x = d;
            continue;
        }
        const MetaParagraph& para = s.paragraphs[p];
        // A surrogate pair's tail stays on its lead's line.
        if (x <= 0 || IsPairTail(s, i) || x + d <= s.WidthLimit - para.LeftIndent - para.RightIndent) {
            x += d;
        } else {
            lines.emplace_back(lineStart, i - 1);
            lineStart = i;
            x = d;
        }
    }
    if (n) lines.emplace_back(lineStart, n - 1);
    return lines;
}

Ranges LineRanges(const MetaString& s) {
    Ranges r;
    for (const MetaLine& l : s.lines) r.emplace_back(l.CharStart, l.CharEnd);
    return r;
}

// The same text typed afresh into `row`, character by character (a surrogate pair whole) with
// that character's font and spacing as the defaults, then each paragraph given its attributes.
void TypeAfresh(TitleHost& h, const MetaString& from, int32_t row) {
    h.ClearString(row);
    for (size_t i = 0; i < from.chars.size(); i += IsPairLead(from, i) ? 2 : 1) {
        const MetaCharacter& c = from.chars[i];
        const FontSpec font = ReportFont(FontOf(from, c));
        const CharSpacing spacing{c.WidthScale, c.Spacing};
        h.SetDefaultFont(&font);
        h.SetDefaultSpacing(&spacing);
        const char16_t unit[3] = {char16_t(c.Value), IsPairLead(from, i) ? char16_t(from.chars[i + 1].Value) : u'\0'};
        h.InsertText(row, int32_t(i), unit);
    }
    for (const MetaParagraph& p : from.paragraphs) {
        const ParagraphAttrs attrs = p.Attrs();
        h.SetDefaultParagraph(&attrs);
        h.ApplyParagraph(row, from.lines[size_t(p.LineStart)].CharStart, 1);
    }
}

template <class T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Same characters, fonts (as entries, not indices), geometry, lines and paragraphs.
bool SameLayout(const MetaString& a, const MetaString& b) {
    auto same = [&](const MetaCharacter& x, const MetaCharacter& y) {
        return std::memcmp(&FontOf(a, x), &FontOf(b, y), sizeof(MetaFont)) == 0 &&
               std::tie(x.Value, x.Left, x.Top, x.Width, x.Height, x.LineIndex) ==
                   std::tie(y.Value, y.Left, y.Top, y.Width, y.Height, y.LineIndex);
    };
    return std::equal(a.chars.begin(), a.chars.end(), b.chars.begin(), b.chars.end(), same) &&
           SameBytes(a.lines, b.lines) && SameBytes(a.paragraphs, b.paragraphs) && a.Width == b.Width &&
           a.Height == b.Height;
}

// Lone halves brought together by an edit in another font stand as the pair typed whole (the
// tail kept its own font, and a taller one put its line's characters below the line's box).
TEST(EditProperty, JoiningLoneSurrogatesEqualsThePairTypedWhole) {
    struct {
        const char16_t *text, *piece;  // text at size 12, then piece at size 40 at col
        int32_t col, erase;            // then the character at erase deleted, unless -1
    } rows[] = {{u"iiiiW\xD800WWW\u00FCx\r\ny", u"\xDC00", 6, -1}, {u"\xD800", u"\xDC00", 1, -1},
                {u"x\xDC00\ny\xDC00", u"\xD800", 4, -1}, {u"a\xD835x", u"\xDD38" u"b", 3, 2}};
    for (const auto& r : rows) {
        Host h;
        FontSpec font{};
        h->GetDefaultFont(&font);
        for (float size : {12.0f, 40.0f}) {
            font.Size = size;
            h->SetDefaultFont(&font);
            h->AddString() ? h->InsertText(0, r.col, r.piece) : h->InsertText(0, 0, r.text);
        }
        if (r.erase >= 0) h->DeleteText(0, r.erase, 1);
        TypeAfresh(*h, h.String(0), 1);
        EXPECT_TRUE(SameLayout(h.String(0), h.String(1))) << r.col;
    }
}

TEST(EditProperty, RandomEditsKeepInvariantsAndMatchAFreshLayout) {
    Host h;
    SetLimit(*h, 140.0f);
    const int32_t row = h->AddString();
    const int32_t fresh = h->AddString();

    const char16_t* pieces[] = {u"A", u"W", u"i", u" ", u"\r\n", u"\r", u"\n", u"漢字", u"ab", u"\xD800",
                                u"\xDC00x", u"Hello ", u"\r\n\r\n", u"x\ry\nz", u"\xDC00", u"x\xD835",
                                u"\xDD38", u"\U0001D538"};
    const float sizes[] = {14, 24, 40};
    const ParagraphAttrs paragraphs[] = {Paragraph(0), Paragraph(2, 3, 1, 2, 10, 5), Paragraph(6, 0, 0, 0, 30, 40)};
    const CharSpacing spacings[] = {{1, 0}, {1.5f, 2}, {0.5f, -1}};

    std::mt19937 rng(0x7e57ed17);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    constexpr int kSteps = 10000;
    std::ostringstream log;
    size_t mostLines = 0, mostParagraphs = 0, longest = 0;
    for (int step = 0; step < kSteps; ++step) {
        const int32_t n = h->GetCharCount(row);
        const int op = n > 150 ? 5 : static_cast<int>(pick(10));
        int32_t first = n ? static_cast<int32_t>(pick(static_cast<size_t>(n))) : 0;
        int32_t count = n ? 1 + static_cast<int32_t>(pick(static_cast<size_t>(std::min(n - first, 8)))) : 0;
        log.str("");
        if (op < 5 || n == 0) {
            const int32_t col = static_cast<int32_t>(pick(static_cast<size_t>(n) + 1));
            const char16_t* piece = pieces[pick(std::size(pieces))];
            log << "insert at " << col;
            // Inserting between the halves of a surrogate pair is refused.
            const bool splits = col > 0 && IsPairLead(h.String(row), size_t(col) - 1);
            ASSERT_EQ(h->InsertText(row, col, piece),
                      n + (splits ? 0 : static_cast<int32_t>(std::char_traits<char16_t>::length(piece))));
        } else if (op < 7) {
            log << "delete " << first << "+" << count;
            // A range that would split a surrogate pair takes the whole pair.
            const MetaString& before = h.String(row);
            const int32_t widened = count + (IsPairTail(before, size_t(first)) ? 1 : 0) +
                                    (IsPairLead(before, size_t(first + count - 1)) ? 1 : 0);
            ASSERT_EQ(h->DeleteText(row, first, count), n - widened);
        } else if (op == 7) {
            FontSpec f{};
            h->GetDefaultFont(&f);
            f.Size = sizes[pick(3)];
            h->SetDefaultFont(&f);
            log << "font " << first << "+" << count;
            ASSERT_EQ(h->ApplyFont(row, first, count), S_OK);
        } else if (op == 8) {
            h->SetDefaultSpacing(&spacings[pick(3)]);
            log << "spacing " << first << "+" << count;
            ASSERT_EQ(h->ApplySpacing(row, first, count), S_OK);
        } else {
            h->SetDefaultParagraph(&paragraphs[pick(3)]);
            MetaFace face{1, static_cast<uint32_t>(pick(3)), 0, 0, 255, 0};
            h->SetDefaultFace(&face);
            log << "paragraph and face " << first << "+" << count;
            ASSERT_EQ(h->ApplyParagraph(row, first, count), S_OK);
            ASSERT_EQ(h->ApplyFace(row, first, count), S_OK);
        }

        const MetaString& s = h.String(row);
        ASSERT_EQ(Problem(s), "") << "step " << step << ": " << log.str();
        ASSERT_EQ(LineRanges(s), GreedyLines(s)) << "step " << step << ": " << log.str();
        mostLines = std::max(mostLines, s.lines.size() - s.paragraphs.size());
        mostParagraphs = std::max(mostParagraphs, s.paragraphs.size());
        longest = std::max(longest, s.chars.size());

        if (step % 100 == 99 || step == kSteps - 1) {
            TypeAfresh(*h, s, fresh);
            ASSERT_TRUE(SameLayout(s, h.String(fresh))) << "step " << step << ": " << log.str();
        }
    }
    // The run reached long texts with many soft breaks and paragraphs.
    EXPECT_GT(longest, 100u);
    EXPECT_GT(mostLines, 10u);
    EXPECT_GT(mostParagraphs, 10u);
    std::printf("longest %zu, soft lines %zu, paragraphs %zu\n", longest, mostLines, mostParagraphs);
}

}  // namespace
}  // namespace qel::test
