// Line breaking and geometry through the rectangle and quad slots.
#include <cmath>
#include <cstring>

#include "TestHost.h"
#include "model/Layout.h"
#include "qel/qel_extensions.h"

namespace qel::test {
namespace {

// Widths of characters in the default font, from a string without a limit.
float WidthOf(TitleHost& h, const char16_t* text) {
    const int32_t row = h.AddString();
    h.InsertText(row, 0, text);
    return h.Engine().Strings()[static_cast<size_t>(row)].Width;
}

std::vector<std::pair<int32_t, int32_t>> LineRanges(const MetaString& s) {
    std::vector<std::pair<int32_t, int32_t>> ranges;
    for (const MetaLine& l : s.lines) ranges.emplace_back(l.CharStart, l.CharEnd);
    return ranges;
}

using Ranges = std::vector<std::pair<int32_t, int32_t>>;

TEST(Layout, BreaksAtAnyCharacter) {
    Host h;
    const float a = WidthOf(*h, u"A"), ab = WidthOf(*h, u"AB"), abc = WidthOf(*h, u"ABC");
    struct Case {
        float limit;
        Ranges lines;
    };
    const Case cases[] = {
        {a * 0.5f, {{0, 0}, {1, 1}, {2, 2}}},  // a character always fits on an empty line
        {(ab + abc) / 2, {{0, 1}, {2, 2}}},
        {abc, {{0, 2}}},  // exactly at the limit still fits
    };
    for (const Case& c : cases) {
        SetLimit(*h, c.limit);
        const int32_t row = h->AddString();
        h->InsertText(row, 0, u"ABC");
        EXPECT_EQ(LineRanges(h.String(row)), c.lines) << c.limit;
        EXPECT_EQ(h->GetParagraphCount(row), 1);
    }
}

TEST(Layout, AlignmentUsesBitsOneAndTwo) {
    Host h;
    const float wide = WidthOf(*h, u"WWW"), narrow = WidthOf(*h, u"i");
    struct Case {
        uint32_t align;
        float left;
    };
    const Case cases[] = {{0, 0}, {2, wide - narrow}, {4, 0}, {6, (wide - narrow) * 0.5f}, {8 | 2, wide - narrow},
                          {1, 0}};
    for (const Case& c : cases) {
        const int32_t row = h->AddString();
        h->InsertText(row, 0, u"WWW\r\ni");
        ParagraphAttrs p = Paragraph(c.align);
        h->SetDefaultParagraph(&p);
        h->ApplyParagraph(row, 0, 6);
        RectF line{};
        ASSERT_EQ(h->GetLineRect(row, 1, &line), S_OK);
        EXPECT_FLOAT_EQ(line.x - 100.0f, c.left) << c.align;
        EXPECT_FLOAT_EQ(CharRect(*h, row, 5).x, line.x) << c.align;
    }
}

TEST(Layout, IndentsNarrowTheLineButDoNotMoveTheParagraph) {
    Host h;
    const float w = WidthOf(*h, u"W");
    SetLimit(*h, 3.5f * w + 15.0f);
    ParagraphAttrs indented = Paragraph(0, 0, 0, 0, 10, 5);
    h->SetDefaultParagraph(&indented);
    const int32_t row = h->AddString();
    h->InsertText(row, 0, u"WWWWWWW");
    EXPECT_EQ(LineRanges(h.String(row)), (Ranges{{0, 2}, {3, 5}, {6, 6}}));
    RectF para{}, str{};
    h->GetParagraphRect(row, 0, &para);
    h->GetStringRect(row, &str);
    EXPECT_FLOAT_EQ(str.width, para.width + 15.0f);
    EXPECT_EQ(para.x, 100.0f);
    EXPECT_EQ(CharRect(*h, row, 0).x, 100.0f);

    // Centred, the lines sit in the span between the indents.
    ParagraphAttrs centred = Paragraph(6, 0, 0, 0, 10, 5);
    h->SetDefaultParagraph(&centred);
    h->ApplyParagraph(row, 0, 1);
    RectF last{};
    h->GetLineRect(row, 2, &last);
    EXPECT_FLOAT_EQ(last.x - 100.0f, (str.width - 15.0f - last.width) * 0.5f);
}

TEST(Layout, SpacesStackLinesAndParagraphs) {
    Host h;
    ParagraphAttrs spaced = Paragraph(0, 4, 7, 11);
    h->SetDefaultParagraph(&spaced);
    const int32_t row = h->AddString();
    h->InsertText(row, 0, u"A\r\nB");
    const MetaString& s = h.String(row);
    const float line = s.lines[0].Height;
    EXPECT_FLOAT_EQ(s.paragraphs[0].Height, line + 4);  // the line space follows the last line too
    EXPECT_FLOAT_EQ(s.paragraphs[0].Top, 7);
    EXPECT_FLOAT_EQ(s.paragraphs[1].Top, 7 + line + 4 + 11 + 7);
    EXPECT_FLOAT_EQ(s.Height, 2 * (7 + line + 4 + 11));
    EXPECT_FLOAT_EQ(CharRect(*h, row, 3).y - CharRect(*h, row, 0).y, s.paragraphs[1].Top - 7);
}

TEST(Layout, VerticalColumnsRunDownAndToTheLeft) {
    Host h;
    const int32_t across = h->AddString();
    h->InsertText(across, 0, u"A漢");
    SetLimit(*h, 1.0e9f, 1);
    const int32_t row = h->AddString();
    h->InsertText(row, 0, u"A漢\r\nC");
    const MetaString& flat = h.String(across);
    const MetaString& s = h.String(row);

    // Latin letters lie on their side in a column; ideographs stand upright.
    EXPECT_EQ(s.chars[0].Width, flat.chars[0].Height);
    EXPECT_EQ(s.chars[0].Height, flat.chars[0].Width);
    EXPECT_EQ(s.chars[1].Width, flat.chars[1].Width);
    EXPECT_EQ(s.chars[1].Height, flat.chars[1].Height);

    EXPECT_FLOAT_EQ(CharRect(*h, row, 1).y - CharRect(*h, row, 0).y, s.chars[0].Height);
    RectF first{}, second{};
    h->GetParagraphRect(row, 0, &first);
    h->GetParagraphRect(row, 1, &second);
    EXPECT_EQ(first.x, 100.0f);
    EXPECT_FLOAT_EQ(second.x, 100.0f - first.width);
    EXPECT_LT(CharRect(*h, row, 4).x, CharRect(*h, row, 0).x);
    EXPECT_FLOAT_EQ(s.Width, first.width + second.width);
}

TEST(Layout, BreakingReadsTheDefaultDirection) {
    Host h;
    const float a = WidthOf(*h, u"A");  // a Latin letter's advance down a column
    SetLimit(*h, 2.5f * a, 1);
    const int32_t row = h->AddString();
    h->InsertText(row, 0, u"AAAA");
    EXPECT_EQ(h->GetLineCount(row), 2);
    // With a horizontal default, the pass measures advances across: the letter's column width.
    SetLimit(*h, 2.5f * a, 0);
    h->InsertText(row, 4, u"A");
    EXPECT_EQ(h->GetLineCount(row), 5);
}

TEST(Layout, EmptyVerticalStringIsASpaceOnItsSide) {
    Host h;
    const int32_t across = h->AddString();
    SetLimit(*h, 1.0e9f, 1);
    const int32_t down = h->AddString();
    EXPECT_FLOAT_EQ(h.String(down).Width, h.String(across).Height);
    EXPECT_FLOAT_EQ(h.String(down).Height, h.String(across).Width);
}

TEST(Layout, BreakCharactersAreReportedOnlyWhenAskedFor) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"A\r\nB\r");
    const float a = h.String(0).chars[0].Width;
    struct Case {
        int32_t col, flag;
        HRESULT status;
    };
    const Case cases[] = {{1, 0, E_INVALIDARG}, {1, 1, S_OK}, {2, 0, E_INVALIDARG}, {2, 7, S_OK},
                          {4, 0, S_OK},  // a CR at the end has no LF: an ordinary character
                          {0, 0, S_OK}};
    for (const Case& c : cases) {
        RectF r{1, 1, 1, 1};
        QuadF q;
        std::memset(&q, 0x7f, sizeof q);
        EXPECT_EQ(h->GetCharRect(0, c.col, &r, c.flag), c.status) << c.col;
        EXPECT_EQ(h->GetCharQuad(0, c.col, &q, c.flag), c.status) << c.col;
        if (c.status != S_OK) {
            EXPECT_EQ(r.x + r.y + r.width + r.height, 0.0f);
            EXPECT_EQ(q.x2 + q.y2, 0.0f);
        }
    }
    RectF cr{};
    h->GetCharRect(0, 1, &cr, 1);
    EXPECT_FLOAT_EQ(cr.x, 100.0f + a);
    EXPECT_EQ(cr.width, h.String(0).chars[1].Width);
}

TEST(Layout, QuadsTurnAboutTheStringsOrigin) {
    Host h;
    StringAttrs attrs{};
    h->GetStringAttrs(-1, &attrs);
    attrs.RotateDegree = 90;
    h->SetDefaultString(&attrs);
    h->AddString();
    h->InsertText(0, 0, u"AB\r\nC");
    RectF box{};
    h->GetStringRect(0, &box);

    // Turned by 90 degrees the box's top edge runs down from the origin (100, 100).
    // The record is four points, each x then y: hosts read it as an array of points.
    QuadF q{};
    ASSERT_EQ(h->GetStringQuad(0, &q), S_OK);
    const float expect[8] = {100, 100, 100, 100 + box.width, 100 - box.height, 100 + box.width,
                             100 - box.height, 100};
    float points[8];
    static_assert(sizeof points == sizeof q);
    std::memcpy(points, &q, sizeof q);
    for (int k = 0; k < 8; ++k) EXPECT_NEAR(points[k], expect[k], 1e-3f) << k;

    // Every quad is its rectangle turned the same way.
    RectF r{};
    ASSERT_EQ(h->GetLineRect(0, 1, &r), S_OK);
    ASSERT_EQ(h->GetLineQuad(0, 1, &q), S_OK);
    EXPECT_NEAR(q.x0, 100 - (r.y - 100), 1e-3f);
    EXPECT_NEAR(q.y0, 100 + (r.x - 100), 1e-3f);
    ASSERT_EQ(h->GetParagraphRect(0, 1, &r), S_OK);
    ASSERT_EQ(h->GetParagraphQuad(0, 1, &q), S_OK);
    EXPECT_NEAR(q.x2, 100 - (r.y + r.height - 100), 1e-3f);
    EXPECT_NEAR(q.y2, 100 + (r.x + r.width - 100), 1e-3f);
}

// Lays out hand-made records: letters in a small font, break characters in a tall one, so each
// line's thickness shows which break characters took part in it.
TEST(Layout, BreakCharactersTakePartInLineMetricsByOrientation) {
    struct Case {
        const char* what;
        std::u16string text;
        Ranges lines;
        Ranges paragraphs;  // line ranges
        std::vector<float> across, down;  // line Height of a horizontal string, Width of a vertical one
    };
    // Letters: ascent 10, leadings 1 and 2, extent 20 -> 23. Breaks: 50, 5 and 7, extent 100 -> 112.
    const Case cases[] = {
        {"text lines ignore their breaks, the empty middle line takes them", u"A\r\n\r\nB",
         {{0, 1}, {2, 3}, {4, 5}}, {{0, 0}, {1, 1}, {2, 2}}, {23, 112, 23}, {23, 112, 23}},
        {"a line feed that ends the string", u"A\r\n", {{0, 1}, {2, 2}}, {{0, 0}, {1, 1}}, {23, 112}, {23, 112}},
        {"a carriage return alone on a line counts only across", u"W\r\nB",
         {{0, 0}, {1, 1}, {2, 3}}, {{0, 1}, {2, 2}}, {23, 112, 23}, {23, 0, 23}},
    };
    for (const Case& c : cases) {
        for (const int32_t vertical : {0, 1}) {
            Host h;
            const int32_t row = h->AddString();
            MetaString& s = h.String(row);
            s.Vertical = vertical;
            s.fonts.resize(2);
            s.fonts[0].Ascent = 10, s.fonts[0].IntLead = 1, s.fonts[0].ExtLead = 2;
            s.fonts[1].Ascent = 50, s.fonts[1].IntLead = 5, s.fonts[1].ExtLead = 7;
            for (const char16_t ch : c.text) {
                const bool brk = ch == 13 || ch == 10;
                MetaCharacter mc;
                mc.Value = ch;
                mc.Width = mc.Height = brk ? 100.0f : 20.0f;
                mc.FontIndex = brk ? 1 : 0;
                s.chars.push_back(mc);
            }
            for (size_t l = 0; l < c.lines.size(); ++l) {
                MetaLine line;
                line.CharStart = c.lines[l].first;
                line.CharEnd = c.lines[l].second;
                for (int32_t i = line.CharStart; i <= line.CharEnd; ++i) {
                    s.chars[static_cast<size_t>(i)].LineIndex = static_cast<int32_t>(l);
                }
                s.lines.push_back(line);
            }
            for (size_t p = 0; p < c.paragraphs.size(); ++p) {
                MetaParagraph para;
                para.LineStart = c.paragraphs[p].first;
                para.LineEnd = c.paragraphs[p].second;
                for (int32_t l = para.LineStart; l <= para.LineEnd; ++l) {
                    s.lines[static_cast<size_t>(l)].ParagraphIndex = static_cast<int32_t>(p);
                }
                s.paragraphs.push_back(para);
            }
            ASSERT_TRUE(StructureValid(s)) << c.what;
            LayoutString(s, h->Engine().DefaultString().Vertical != 0, h->Engine().DefaultParagraph(),
                         h->Engine().DefaultFont());

            const std::vector<float>& expected = vertical ? c.down : c.across;
            for (size_t l = 0; l < expected.size(); ++l) {
                EXPECT_FLOAT_EQ(vertical ? s.lines[l].Width : s.lines[l].Height, expected[l])
                    << c.what << ", vertical " << vertical << ", line " << l;
            }
            // A carriage return that ends a text line still sits on that line's baseline.
            if (c.lines[0].second == 1) {
                const MetaCharacter& cr = s.chars[1];
                EXPECT_FLOAT_EQ(vertical ? cr.Left : cr.Top, vertical ? 50.0f - 1 - 10 : 10.0f + 1 - 50)
                    << c.what << ", vertical " << vertical;
            }
        }
    }
}

// Even lines: every line of a paragraph as thick as its main face makes it, whatever fallback face
// a line holds, the glyphs on one baseline; Thai no longer two ems apart. Switched per string,
// kept by save and load with the language, and absent from titles that do not use it.
TEST(Layout, EvenLinesTakeTheMainFacesHeight) {
    const auto* ext = static_cast<const QelTextV1*>(QelGetExtension(QEL_TEXT_EXTENSION, 1));
    ASSERT_NE(ext, nullptr);
    struct Case {
        const char* what;
        const char16_t* face;
        std::u16string text;
        float limit;      // width limit, in ems
        float mostEms;    // the even line's thickness at most, in ems
    };
    const Case cases[] = {
        // The third line holds ideographs that DejaVu Sans lacks (Droid Sans Fallback draws them).
        {"Latin with a fallback face", u"DejaVu Sans", u"Word word 漢字字 word", 4.5f, 1.3f},
        {"Thai", u"Noto Sans Thai", u"ภาษาไทย ภาษาไทย ภาษาไทย", 4.5f, 1.6f},
    };
    constexpr float kSize = 72;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Host h;
        FontSpec font{};
        std::memcpy(font.FaceName, c.face, std::char_traits<char16_t>::length(c.face) * 2);
        font.CharSet = 1;
        font.Size = kSize;
        h->SetDefaultFont(&font);
        SetLimit(*h, c.limit * kSize);
        h->AddString();
        h->InsertText(0, 0, c.text.c_str());
        const MetaString& s = h->Engine().Strings()[0];
        ASSERT_GE(s.lines.size(), 2u);
        float unevenThickest = 0;
        for (const MetaLine& l : s.lines) unevenThickest = std::max(unevenThickest, l.Height);

        ASSERT_EQ(ext->SetEvenLines(&*h, 0, 1), S_OK);
        const float thickness = s.lines[0].Height;
        EXPECT_LE(thickness, c.mostEms * kSize);
        EXPECT_GE(thickness, 1.0f * kSize);
        EXPECT_LT(thickness, unevenThickest);
        for (const MetaLine& l : s.lines) {
            EXPECT_FLOAT_EQ(l.Height, thickness);
            // Every glyph's baseline (its box's top plus its font's ascent) on the line's own.
            const MetaCharacter& first = s.chars[size_t(l.CharStart)];
            const float baseline = first.Top + FontOf(s, first).Ascent;
            for (int32_t i = l.CharStart; i <= l.CharEnd; ++i) {
                const MetaCharacter& ch = s.chars[size_t(i)];
                EXPECT_NEAR(ch.Top + FontOf(s, ch).Ascent, baseline, 0.01f);
            }
        }
    }

    // Stored: only when set.
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"ab");
    auto saved = [](TitleHost& host) {
        uint32_t size = 0;
        EXPECT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
        std::u16string text(size / 2, u'\0');
        EXPECT_EQ(host.SaveTitleToBuffer(text.data(), &size), S_OK);
        return text;
    };
    const std::u16string plain = saved(*h);
    EXPECT_EQ(plain.find(u"Language"), std::u16string::npos);
    EXPECT_EQ(plain.find(u"EvenLines"), std::u16string::npos);
    EXPECT_EQ(ext->SetLanguage(&*h, 0, "zh-Hant"), S_OK);
    EXPECT_EQ(ext->SetEvenLines(&*h, 0, 1), S_OK);
    for (const char* bad : {"a b", "-ja", "ja-", "1ab", "abcdefghijklmnopqrstuvwxyzabcdefghijk"}) {
        EXPECT_EQ(ext->SetLanguage(&*h, 0, bad), E_INVALIDARG) << bad;
    }
    EXPECT_EQ(ext->SetLanguage(&*h, 1, "ja"), E_INVALIDARG);
    // A run in its own language: the second character.
    const auto* runs = static_cast<const QelTextV2*>(QelGetExtension(QEL_TEXT_EXTENSION, 2));
    ASSERT_NE(runs, nullptr);
    ASSERT_EQ(runs->SetDefaultLanguage(&*h, "sr"), S_OK);
    ASSERT_EQ(h->ApplyFont(0, 1, 1), S_OK);
    Host loaded;
    ASSERT_EQ(loaded->LoadTitleFromBuffer(saved(*h).c_str()), S_OK);
    char tag[QEL_MAX_LANGUAGE + 1];
    uint32_t even = 0;
    EXPECT_EQ(ext->GetLanguage(&*loaded, 0, tag, sizeof tag), S_OK);
    EXPECT_STREQ(tag, "zh-Hant");
    EXPECT_EQ(ext->GetLanguage(&*loaded, 0, tag, 7), E_INVALIDARG);  // no room for the terminator
    EXPECT_EQ(ext->GetEvenLines(&*loaded, 0, &even), S_OK);
    EXPECT_EQ(even, 1u);
    EXPECT_EQ(runs->GetCharLanguage(&*loaded, 0, 1, tag, sizeof tag), S_OK);
    EXPECT_STREQ(tag, "sr");
    EXPECT_EQ(runs->GetCharLanguage(&*loaded, 0, 0, tag, sizeof tag), S_OK);
    EXPECT_STREQ(tag, "");
}

TEST(Layout, BadBoxIndicesGiveZeros) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"AB");
    const int32_t bad[] = {-1, 1, 2, INT32_MIN, INT32_MAX};
    for (int32_t i : bad) {
        RectF r{1, 1, 1, 1};
        QuadF q{};
        q.x0 = 1;
        EXPECT_EQ(h->GetLineRect(0, i, &r), E_INVALIDARG);
        EXPECT_EQ(r.width, 0.0f);
        EXPECT_EQ(h->GetParagraphQuad(0, i, &q), E_INVALIDARG);
        EXPECT_EQ(q.x0, 0.0f);
        EXPECT_EQ(h->GetStringRect(i, &r), i == 0 ? S_OK : E_INVALIDARG);
    }
    EXPECT_EQ(h->GetCharRect(0, 2, nullptr, 1), E_POINTER);
    EXPECT_EQ(h->GetStringQuad(0, nullptr), E_POINTER);
}

}  // namespace
}  // namespace qel::test
