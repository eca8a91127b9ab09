// Hostile arguments: every slot that takes indices survives any integers, null pointers and odd
// text, rejects what is not valid and changes nothing when it does.
#include <climits>
#include <cstring>
#include <functional>

#include "TestHost.h"
#include "model/Layout.h"

namespace qel::test {
namespace {

// A title with two strings; the first holds text over two paragraphs.
void Populate(TitleHost& h) {
    h.AddString();
    h.AddString();
    h.InsertText(0, 0, u"AB\r\nCD");
}

std::vector<uint8_t> Snapshot(const TitleHost& h) {
    std::vector<uint8_t> bytes;
    auto add = [&](const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    };
    for (const MetaString& s : h.Engine().Strings()) {
        add(s.chars.data(), s.chars.size() * sizeof(MetaCharacter));
        add(s.lines.data(), s.lines.size() * sizeof(MetaLine));
        add(s.paragraphs.data(), s.paragraphs.size() * sizeof(MetaParagraph));
        add(s.fonts.data(), s.fonts.size() * sizeof(MetaFont));
        add(s.faces.data(), s.faces.size() * sizeof(MetaFace));
        add(&s.Width, sizeof s.Width);
        add(&s.Height, sizeof s.Height);
        bytes.push_back(static_cast<uint8_t>(s.KeyFrames.size()));
    }
    return bytes;
}

TEST(BadInput, RangesAndIndicesAreRejectedWithoutChange) {
    const int32_t rows[] = {-1, 2, INT_MIN, INT_MAX};
    const std::pair<int32_t, int32_t> ranges[] = {{-1, 1},      {6, 1},       {0, 7},        {5, 2},
                                                  {1, INT_MAX}, {INT_MAX, 1}, {INT_MIN, 1}, {0, INT_MIN},
                                                  {3, -1},      {INT_MAX, INT_MAX}};
    using Status = std::function<HRESULT(TitleHost&, int32_t, int32_t, int32_t)>;
    const std::pair<const char*, Status> ranged[] = {
        {"ApplyFont", [](TitleHost& t, int32_t r, int32_t f, int32_t c) { return t.ApplyFont(r, f, c); }},
        {"ApplyFace", [](TitleHost& t, int32_t r, int32_t f, int32_t c) { return t.ApplyFace(r, f, c); }},
        {"ApplyBorder", [](TitleHost& t, int32_t r, int32_t f, int32_t c) { return t.ApplyBorder(r, f, c); }},
        {"ApplyShadow", [](TitleHost& t, int32_t r, int32_t f, int32_t c) { return t.ApplyShadow(r, f, c); }},
        {"ApplySpacing", [](TitleHost& t, int32_t r, int32_t f, int32_t c) { return t.ApplySpacing(r, f, c); }},
        {"ApplyParagraph", [](TitleHost& t, int32_t r, int32_t f, int32_t c) { return t.ApplyParagraph(r, f, c); }},
    };

    Host h;
    Populate(*h);
    const std::vector<uint8_t> before = Snapshot(*h);
    for (const auto& [name, op] : ranged) {
        for (const auto& [first, count] : ranges) {
            EXPECT_EQ(op(*h, 0, first, count), E_INVALIDARG) << name << " " << first << "+" << count;
        }
        for (int32_t row : rows) EXPECT_EQ(op(*h, row, 0, 1), E_INVALIDARG) << name << " row " << row;
    }
    for (const auto& [first, count] : ranges) EXPECT_EQ(h->DeleteText(0, first, count), 0) << first << "+" << count;
    for (int32_t col : {-1, 7, INT_MIN, INT_MAX}) EXPECT_EQ(h->InsertText(0, col, u"x"), 6) << col;
    for (int32_t row : rows) {
        EXPECT_EQ(h->InsertText(row, 0, u"x"), 0);
        EXPECT_EQ(h->DeleteText(row, 0, 1), 0);
        EXPECT_EQ(h->ClearString(row), E_INVALIDARG);
        EXPECT_EQ(h->ApplyString(row), E_INVALIDARG);
        EXPECT_EQ(h->GetCharCount(row), 0);
        EXPECT_EQ(h->GetLineCount(row), 0);
        EXPECT_EQ(h->GetParagraphCount(row), 0);
        EXPECT_EQ(h->GetKeyFrameCount(row), 0);
        EXPECT_EQ(h->GetText(row, nullptr), 0);
        EXPECT_EQ(h->ClearKeyFrames(row), E_INVALIDARG);
        EXPECT_EQ(h->SetTime(row, 0.5f), E_INVALIDARG);
    }
    EXPECT_EQ(h->InsertText(0, 0, nullptr), 6);
    EXPECT_EQ(h->InsertText(1, 0, u""), 0);
    EXPECT_EQ(Snapshot(*h), before);
}

TEST(BadInput, FailingGettersReportTheDefaults) {
    Host h;
    Populate(*h);
    MetaFace face{};
    MetaBorder border{};
    MetaShadow shadow{};
    CharSpacing spacing{};
    ParagraphAttrs para{};
    StringAttrs attrs{};
    FontSpec font{};
    for (int32_t col : {-1, 6, INT_MAX}) {
        EXPECT_EQ(h->GetCharFace(0, col, &face), E_INVALIDARG);
        EXPECT_EQ(std::memcmp(&face, &h->Engine().DefaultFace(), sizeof face), 0);
        EXPECT_EQ(h->GetCharBorder(0, col, &border), E_INVALIDARG);
        EXPECT_EQ(std::memcmp(&border, &h->Engine().DefaultBorder(), sizeof border), 0);
        EXPECT_EQ(h->GetCharShadow(0, col, &shadow), E_INVALIDARG);
        EXPECT_EQ(std::memcmp(&shadow, &h->Engine().DefaultShadow(), sizeof shadow), 0);
        EXPECT_EQ(h->GetCharSpacing(0, col, &spacing), E_INVALIDARG);
        EXPECT_EQ(spacing.WidthScale, 1.0f);
        EXPECT_EQ(h->GetCharParagraph(0, col, &para), E_INVALIDARG);
        EXPECT_EQ(std::memcmp(&para, &h->Engine().DefaultParagraph(), sizeof para), 0);
        EXPECT_EQ(h->GetCharFont(1, col, &font), E_INVALIDARG);
        EXPECT_EQ(std::u16string(font.FaceName), u"DejaVu Sans");
        EXPECT_EQ(font.Size, 24.0f);
    }
    EXPECT_EQ(h->GetStringAttrs(5, &attrs), E_INVALIDARG);
    EXPECT_STREQ(attrs.PathID, "PATH_NOEFFECT");

    EXPECT_EQ(h->GetCharFont(0, 3, &font), S_OK);  // a break character has a font like any other
    EXPECT_EQ(h->GetCharFace(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(h->GetCharFont(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(h->GetCharParagraph(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(h->GetStringAttrs(0, nullptr), E_POINTER);
    EXPECT_EQ(h->GetCharSpacing(0, 0, nullptr), E_POINTER);
}

TEST(BadInput, GetTextWritesExactlyTheTextAndItsTerminator) {
    Host h;
    Populate(*h);
    char16_t buffer[10];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(h->GetText(0, buffer), 6);
    EXPECT_EQ(std::u16string(buffer), u"AB\r\nCD");
    EXPECT_EQ(buffer[7], u'#');
    EXPECT_EQ(h->GetText(1, buffer), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'B');
}

TEST(BadInput, OddCodeUnitsAreOrdinaryCharacters) {
    Host h;
    Populate(*h);
    const char16_t odd[] = {0xD800, u'x', 0xDC00, 0xFFFF, 0x0001, u'\r', 0};
    EXPECT_EQ(h->InsertText(1, 0, odd), 6);
    EXPECT_EQ(h->GetLineCount(1), 1);
    EXPECT_EQ(h->InsertText(1, 6, u"\n"), 7);  // the trailing CR now pairs
    EXPECT_EQ(h->GetParagraphCount(1), 2);
    char16_t back[8];
    h->GetText(1, back);
    EXPECT_EQ(std::memcmp(back, odd, 5 * sizeof(char16_t)), 0);
}

TEST(BadInput, DamagedStructureIsRebuiltBeforeUse) {
    Host h;
    Populate(*h);
    MetaString& s = h.String(0);
    s.chars[4].LineIndex = 77;  // as a damaged file might leave it
    s.lines[1].ParagraphIndex = -3;
    RectF r{};
    EXPECT_EQ(h->GetCharRect(0, 4, &r, 1), S_OK);  // reads nothing out of range
    EXPECT_EQ(h->InsertText(0, 5, u"E"), 7);
    EXPECT_TRUE(StructureValid(s));
    EXPECT_EQ(h.Images(0).glyphs.size(), 7u);
    EXPECT_EQ(h->GetParagraphCount(0), 2);

    s.paragraphs.clear();
    LayoutString(s, false, h->Engine().DefaultParagraph(), h->Engine().DefaultFont());
    EXPECT_TRUE(StructureValid(s));
    EXPECT_EQ(h->DeleteText(0, 1, 2), 5);
    EXPECT_TRUE(StructureValid(s));
}

TEST(BadInput, ReflowKeepsEveryParagraphsAttributes) {
    // A font change that adds soft lines to the first paragraph must not shift the attributes of
    // the paragraphs after it.
    Host h;
    SetLimit(*h, 130);
    h->AddString();
    h->InsertText(0, 0, u"漢漢漢\r\nB\r\nC");
    for (uint32_t p = 0; p < 3; ++p) {
        ParagraphAttrs a = Paragraph(2 * p, static_cast<float>(p));
        h->SetDefaultParagraph(&a);
        h->ApplyParagraph(0, static_cast<int32_t>(3 * p + (p ? 2 : 0)), 1);
    }
    FontSpec big{};
    h->GetDefaultFont(&big);
    big.Size = 60;
    h->SetDefaultFont(&big);
    ASSERT_EQ(h->ApplyFont(0, 0, 3), S_OK);
    ASSERT_EQ(h->GetLineCount(0), 4);  // two ideographs per line now
    for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(h.String(0).paragraphs[p].Align, 2 * p);

    // With a wider limit the whole string re-breaks with new line numbers.
    SetLimit(*h, 1.0e9f, 0);
    h->ApplyString(0);
    h->Engine().RequestRemeasure();
    h->RemeasureAll();
    ASSERT_NE(h->GetLineCount(0), 4);
    for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(h.String(0).paragraphs[p].Align, 2 * p);
    SetLimit(*h, 130, 0);
    h->ApplyString(0);
    h->Engine().RequestRemeasure();
    h->RemeasureAll();

    // A break that appears outside the edited text splits its paragraph; both halves keep it.
    h->InsertText(0, 0, u"x\ny");
    h->InsertText(0, 1, u"\r");
    ASSERT_EQ(h->GetParagraphCount(0), 4);
    const uint32_t aligns[] = {0, 0, 2, 4};
    for (uint32_t p = 0; p < 4; ++p) EXPECT_EQ(h.String(0).paragraphs[p].Align, aligns[p]);
}

}  // namespace
}  // namespace qel::test
