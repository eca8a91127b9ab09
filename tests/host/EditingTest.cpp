// Editing through the operation table: strings, text, paragraphs, style entries, dirty bits and
// the composed-frame cache.
#include <cstring>
#include <functional>

#include "TestHost.h"
#include "model/Fonts.h"

namespace qel::test {
namespace {

MetaFace Face(uint32_t color) { return {1, color, color, 0, 255, 0}; }

TEST(Editing, AddStringLaysOutAsOneSpaceOfTheDefaultFont) {
    Host h;
    EXPECT_EQ(h->AddString(), 0);
    EXPECT_EQ(h->AddString(), 1);
    EXPECT_EQ(h->InsertText(1, 0, u" "), 1);

    RectF empty{}, space{}, line{};
    ASSERT_EQ(h->GetStringRect(0, &empty), S_OK);
    ASSERT_EQ(h->GetCharRect(1, 0, &space, 0), S_OK);
    ASSERT_EQ(h->GetLineRect(1, 0, &line), S_OK);
    EXPECT_EQ(empty.x, 100.0f);
    EXPECT_EQ(empty.y, 100.0f);
    EXPECT_GT(space.width, 0.0f);
    EXPECT_FLOAT_EQ(empty.width, space.width);
    EXPECT_FLOAT_EQ(empty.height, line.height);
    EXPECT_EQ(h->GetLineCount(0), 0);
    EXPECT_EQ(h->GetParagraphCount(0), 0);
}

TEST(Editing, InsertTextAtTheEdges) {
    Host h;
    h->AddString();
    EXPECT_EQ(h->InsertText(0, 0, u""), 0);
    EXPECT_EQ(h->InsertText(0, 0, nullptr), 0);
    EXPECT_EQ(h->GetLineCount(0), 0);
    EXPECT_EQ(h->InsertText(0, 0, u"BD"), 2);
    EXPECT_EQ(h->InsertText(0, 2, u"E"), 3);  // col == count appends
    EXPECT_EQ(h->InsertText(0, 1, u"C"), 4);
    EXPECT_EQ(h->InsertText(0, 0, u"A"), 5);
    EXPECT_EQ(h->InsertText(0, 6, u"X"), 5);   // beyond the end: unchanged count
    EXPECT_EQ(h->InsertText(0, -1, u"X"), 5);
    EXPECT_EQ(Text(*h, 0), u"ABCDE");
    EXPECT_EQ(h.Images(0).glyphs.size(), 5u);
}

TEST(Editing, ThreeParagraphsWithAnEmptyMiddleLine) {
    Host h;
    h->AddString();
    ASSERT_EQ(h->InsertText(0, 0, u"A\r\n\r\nB"), 6);
    ASSERT_EQ(h->GetParagraphCount(0), 3);
    ASSERT_EQ(h->GetLineCount(0), 3);
    const MetaString& s = h.String(0);
    EXPECT_EQ(s.lines[1].CharStart, 2);  // the 10 of the first pair ...
    EXPECT_EQ(s.lines[1].CharEnd, 3);    // ... and the 13 of the second
    const float textLine = s.lines[0].Height;
    EXPECT_FLOAT_EQ(s.lines[1].Height, textLine);

    // A larger font on the two break characters of the middle line makes that line taller; on the
    // CR that ends the first line it changes nothing, since a text line ignores its breaks.
    FontSpec big{};
    h->GetDefaultFont(&big);
    big.Size = 48;
    h->SetDefaultFont(&big);
    ASSERT_EQ(h->ApplyFont(0, 2, 2), S_OK);
    ASSERT_EQ(h->ApplyFont(0, 1, 1), S_OK);
    EXPECT_FLOAT_EQ(s.lines[0].Height, textLine);
    EXPECT_FLOAT_EQ(s.lines[1].Height, 2 * textLine);
    EXPECT_FLOAT_EQ(s.lines[2].Height, textLine);
}

TEST(Editing, LoneBreaksAreOrdinaryCharacters) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"\nA\rB\n");
    EXPECT_EQ(h->GetParagraphCount(0), 1);
    EXPECT_EQ(h->GetLineCount(0), 1);
    RectF lf{};
    EXPECT_EQ(h->GetCharRect(0, 0, &lf, 0), S_OK);
    EXPECT_EQ(lf.x, 100.0f);
    EXPECT_EQ(CharRect(*h, 0, 1).x, 100.0f + h.String(0).chars[0].Width);  // the 10 advances
}

TEST(Editing, BreakPairsFormAndDissolveAsTextArrives) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"A\rB");
    ParagraphAttrs right = Paragraph(2, 1, 2, 3, 4, 5);
    h->SetDefaultParagraph(&right);
    h->ApplyParagraph(0, 0, 1);
    h->InsertText(0, 2, u"\n");  // completes a pair: the new paragraph splits the old one
    ASSERT_EQ(h->GetParagraphCount(0), 2);
    ParagraphAttrs got{};
    h->GetCharParagraph(0, 3, &got);
    EXPECT_EQ(std::memcmp(&got, &right, sizeof got), 0);

    h->InsertText(0, 2, u"X");  // between CR and LF: no pair any more
    EXPECT_EQ(Text(*h, 0), u"A\rX\nB");
    EXPECT_EQ(h->GetParagraphCount(0), 1);
    EXPECT_EQ(h->GetLineCount(0), 1);
    h->DeleteText(0, 2, 1);  // and back
    EXPECT_EQ(h->GetParagraphCount(0), 2);
}

TEST(Editing, DeletingAPairKeepsTheSecondParagraphsAttributes) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"AB\r\nCD\r\nEF");
    const ParagraphAttrs attrs[3] = {Paragraph(0, 1), Paragraph(2, 2, 3, 4, 5, 6), Paragraph(6, 7)};
    for (int p = 0; p < 3; ++p) {
        h->SetDefaultParagraph(&attrs[p]);
        h->ApplyParagraph(0, 4 * p, 1);
    }
    struct Case {
        int32_t col, count;
        const char16_t* text;
        int paragraphs;
    };
    // Removing the pair itself, only its CR, or only its LF merges the two paragraphs.
    const Case cases[] = {{2, 2, u"ABCD\r\nEF", 2}, {2, 1, u"AB\nCD\r\nEF", 2}, {3, 1, u"AB\rCD\r\nEF", 2},
                          {1, 4, u"AD\r\nEF", 2}};
    for (const Case& c : cases) {
        Host fresh;
        fresh->AddString();
        fresh->InsertText(0, 0, u"AB\r\nCD\r\nEF");
        for (int p = 0; p < 3; ++p) {
            fresh->SetDefaultParagraph(&attrs[p]);
            fresh->ApplyParagraph(0, 4 * p, 1);
        }
        EXPECT_EQ(fresh->DeleteText(0, c.col, c.count), 10 - c.count);
        EXPECT_EQ(Text(*fresh, 0), c.text);
        ASSERT_EQ(fresh->GetParagraphCount(0), c.paragraphs);
        ParagraphAttrs first{}, last{};
        fresh->GetCharParagraph(0, 0, &first);
        fresh->GetCharParagraph(0, 10 - c.count - 1, &last);
        EXPECT_EQ(std::memcmp(&first, &attrs[1], sizeof first), 0) << c.col << "," << c.count;
        EXPECT_EQ(std::memcmp(&last, &attrs[2], sizeof last), 0) << c.col << "," << c.count;
        EXPECT_TRUE(StructureValid(fresh.String(0)));
    }
}

TEST(Editing, DeletingEverythingLeavesAnEmptyString) {
    Host h;
    h->AddString();
    RectF emptyBox{};
    h->GetStringRect(0, &emptyBox);
    h->InsertText(0, 0, u"Hello\r\nworld");
    EXPECT_EQ(h->DeleteText(0, 0, 12), 0);
    const MetaString& s = h.String(0);
    EXPECT_TRUE(s.chars.empty() && s.lines.empty() && s.paragraphs.empty() && h.Images(0).glyphs.empty());
    EXPECT_TRUE(s.fonts.empty() && s.faces.empty() && s.borders.empty() && s.shadows.empty());
    RectF box{};
    h->GetStringRect(0, &box);
    EXPECT_EQ(std::memcmp(&box, &emptyBox, sizeof box), 0);
}

TEST(Editing, DeletingASoftBrokenTailDropsItsLine) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"W");
    const float w = h.String(0).chars[0].Width;
    SetLimit(*h, 2.5f * w);
    h->AddString();
    h->InsertText(1, 0, u"WWWWW");
    ASSERT_EQ(h->GetLineCount(1), 3);
    EXPECT_EQ(h->DeleteText(1, 4, 1), 4);
    EXPECT_EQ(h->GetLineCount(1), 2);
    EXPECT_TRUE(StructureValid(h.String(1)));
    // What moved back onto an earlier line does so as soon as it fits there.
    EXPECT_EQ(h->DeleteText(1, 0, 1), 3);
    EXPECT_EQ(h.String(1).lines[0].CharEnd, 1);
}

TEST(Editing, FaceEntriesAreErasedAndRenumbered) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"ABC");
    for (int32_t c = 0; c < 3; ++c) {
        MetaFace f = Face(0x10 + static_cast<uint32_t>(c));
        h->SetDefaultFace(&f);
        ASSERT_EQ(h->ApplyFace(0, c, 1), S_OK);
    }
    const MetaString& s = h.String(0);
    ASSERT_EQ(s.faces.size(), 3u);

    MetaFace other = Face(0x99);
    h->SetDefaultFace(&other);
    h->ApplyFace(0, 0, 1);  // A's entry had no other user: erased, B and C move down
    ASSERT_EQ(s.faces.size(), 3u);
    EXPECT_EQ(s.chars[1].FaceIndex, 0);
    EXPECT_EQ(s.chars[2].FaceIndex, 1);
    EXPECT_EQ(s.chars[0].FaceIndex, 2);
    const uint32_t expected[3] = {0x99, 0x11, 0x12};
    for (int32_t c = 0; c < 3; ++c) {
        MetaFace got{};
        EXPECT_EQ(h->GetCharFace(0, c, &got), S_OK);
        EXPECT_EQ(got.Color1, expected[c]);
    }

    h->ApplyFace(0, 1, 2);  // every character on one face: one entry left
    EXPECT_EQ(s.faces.size(), 1u);
    for (const MetaCharacter& c : s.chars) EXPECT_EQ(c.FaceIndex, 0);
}

TEST(Editing, StyleEntriesAreSharedWithinAStringOnly) {
    Host h;
    h->AddString();
    h->AddString();
    h->InsertText(0, 0, u"AB");
    h->InsertText(1, 0, u"CD");
    const MetaString& a = h.String(0);
    const MetaString& b = h.String(1);
    EXPECT_EQ(a.faces.size(), 1u);
    EXPECT_EQ(a.borders.size(), 1u);
    EXPECT_EQ(a.shadows.size(), 1u);
    EXPECT_EQ(a.fonts.size(), 1u);

    MetaFace f = Face(0x123456);
    h->SetDefaultFace(&f);
    h->ApplyFace(0, 0, 1);
    h->ApplyFace(0, 1, 1);
    h->ApplyFace(1, 0, 1);
    EXPECT_EQ(a.faces.size(), 1u);  // both characters share the one entry
    EXPECT_EQ(b.faces.size(), 2u);  // the other string has its own
    EXPECT_EQ(b.faces[1].Color1, 0x123456u);
}

TEST(Editing, EmptyStyleRangeAddsNoEntry) {
    // New defaults applied to no character at all must not leave an entry nobody uses.
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"AB");
    MetaFace face = Face(0x42);
    MetaBorder border{1, 5, 0x42, 0x42, 0, 255, 0};
    MetaShadow shadow{1, 1, 0x42, 0x42, 0, 64, 1, 2.0f, 2.0f, 0};
    h->SetDefaultFace(&face);
    h->SetDefaultBorder(&border);
    h->SetDefaultShadow(&shadow);
    const MetaString& s = h.String(0);
    EXPECT_EQ(h->ApplyFace(0, 1, 0), S_OK);
    EXPECT_EQ(h->ApplyBorder(0, 1, 0), S_OK);
    EXPECT_EQ(h->ApplyShadow(0, 1, 0), S_OK);
    EXPECT_EQ(s.faces.size(), 1u);
    EXPECT_EQ(s.borders.size(), 1u);
    EXPECT_EQ(s.shadows.size(), 1u);
}

// A character's images are rebuilt when what they are made of changes, and only those images: the
// border's ring also casts the shadow. Applying what a character already has rebuilds nothing.
TEST(Editing, ApplyRebuildsTheImagesOfWhatChanged) {
    struct Case {
        const char* what;
        std::function<HRESULT(TitleHost&)> apply;
        uint8_t bits;
    };
    const Case cases[] = {
        {"face", [](TitleHost& t) {
             MetaFace f = t.Engine().DefaultFace();
             f.Color1 ^= 0xFF;
             t.SetDefaultFace(&f);
             return t.ApplyFace(0, 1, 1);
         }, kDirtyFace},
        {"border", [](TitleHost& t) {
             MetaBorder b = t.Engine().DefaultBorder();
             b.Size += 1;
             t.SetDefaultBorder(&b);
             return t.ApplyBorder(0, 1, 1);
         }, kDirtyBorder | kDirtyShadow},
        {"shadow", [](TitleHost& t) {
             MetaShadow s = t.Engine().DefaultShadow();
             s.OffsetX += 1;
             t.SetDefaultShadow(&s);
             return t.ApplyShadow(0, 1, 1);
         }, kDirtyShadow},
        {"width scale", [](TitleHost& t) {
             const CharSpacing wide{1.5f, 0.0f};
             t.SetDefaultSpacing(&wide);
             return t.ApplySpacing(0, 1, 1);
         }, kDirtyAll},
        {"font", [](TitleHost& t) {
             FontSpec f = t.Engine().DefaultFont();
             f.Size += 10;
             t.SetDefaultFont(&f);
             return t.ApplyFont(0, 1, 1);
         }, kDirtyAll},
        {"the same face", [](TitleHost& t) { return t.ApplyFace(0, 1, 1); }, 0},
        {"spacing alone", [](TitleHost& t) {
             const CharSpacing spaced{1.0f, 7.0f};
             t.SetDefaultSpacing(&spaced);
             return t.ApplySpacing(0, 1, 1);
         }, 0},
    };
    for (const Case& c : cases) {
        Host h;
        h->AddString();
        h->InsertText(0, 0, u"ABC");
        for (PreparedGlyph& g : h.Images(0).glyphs) g.DirtyBits = 0;
        EXPECT_EQ(c.apply(*h), S_OK) << c.what;
        const std::vector<PreparedGlyph>& glyphs = h.Images(0).glyphs;
        EXPECT_EQ(glyphs[0].DirtyBits, 0) << c.what;
        EXPECT_EQ(glyphs[1].DirtyBits, c.bits) << c.what;
        EXPECT_EQ(glyphs[2].DirtyBits, 0) << c.what;
    }
}

// Every edit moves the title's revision on, which retires a cached still frame; reading, evaluating
// time and rejected edits leave it.
TEST(Editing, RevisionMovesOnWithEditsOnly) {
    struct Case {
        const char* what;
        std::function<void(TitleHost&)> op;
        bool clears;
    };
    PathValue fade{};
    std::strcpy(fade.PathID, "PATH_FADE");
    const Case cases[] = {
        {"AddString", [](TitleHost& t) { t.AddString(); }, true},
        {"ClearString", [](TitleHost& t) { t.ClearString(0); }, true},
        {"InsertText", [](TitleHost& t) { t.InsertText(0, 1, u"x"); }, true},
        {"DeleteText", [](TitleHost& t) { t.DeleteText(0, 0, 1); }, true},
        {"ApplyFont", [](TitleHost& t) { t.ApplyFont(0, 0, 1); }, true},
        {"ApplyFace", [](TitleHost& t) { t.ApplyFace(0, 0, 1); }, true},
        {"ApplyBorder", [](TitleHost& t) { t.ApplyBorder(0, 0, 1); }, true},
        {"ApplyShadow", [](TitleHost& t) { t.ApplyShadow(0, 0, 1); }, true},
        {"ApplySpacing", [](TitleHost& t) { t.ApplySpacing(0, 0, 1); }, true},
        {"ApplyParagraph", [](TitleHost& t) { t.ApplyParagraph(0, 0, 1); }, true},
        {"ApplyString", [](TitleHost& t) { t.ApplyString(0); }, true},
        {"SetKeyFrame", [&](TitleHost& t) { t.SetKeyFrame(0, 0.5f, &fade); }, true},
        {"RemoveKeyFrame", [](TitleHost& t) { t.RemoveKeyFrame(0, 0.5f); }, true},
        {"ClearKeyFrames", [](TitleHost& t) { t.ClearKeyFrames(0); }, true},
        {"RemeasureAll", [](TitleHost& t) { t.Engine().RequestRemeasure(); t.RemeasureAll(); }, true},
        {"RemeasureAll, nothing pending", [](TitleHost& t) { t.RemeasureAll(); }, false},
        {"SetTime", [](TitleHost& t) { t.SetTime(0, 0.5f); }, false},
        {"queries", [](TitleHost& t) { RectF r; t.GetStringRect(0, &r); t.GetText(0, nullptr); }, false},
        {"rejected insert", [](TitleHost& t) { t.InsertText(0, 99, u"x"); }, false},
        {"rejected delete", [](TitleHost& t) { t.DeleteText(0, 1, 5); }, false},
        {"rejected apply", [](TitleHost& t) { t.ApplyFace(0, 2, 1); t.ApplyFont(0, -1, 1); }, false},
        {"empty apply", [](TitleHost& t) { t.ApplyBorder(0, 0, 0); t.ApplyParagraph(0, 1, 0); }, false},
        {"rejected key frame", [&](TitleHost& t) { t.SetKeyFrame(0, 2.0f, &fade); t.RemoveKeyFrame(0, -1); }, false},
    };
    for (const Case& c : cases) {
        Host h;
        h->AddString();
        h->InsertText(0, 0, u"AB");
        h->SetKeyFrame(0, 0.5f, &fade);
        const uint64_t before = h->Engine().Revision();
        c.op(*h);
        EXPECT_EQ(h->Engine().Revision() != before, c.clears) << c.what;
    }
}

TEST(Editing, ClearStringEmptiesButKeepsTheString) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"AB\r\nC");
    PathValue v{};
    h->SetKeyFrame(0, 0.5f, &v);
    EXPECT_EQ(h->ClearString(0), S_OK);
    EXPECT_EQ(h->GetStringCount(), 1);
    EXPECT_EQ(h->GetCharCount(0), 0);
    EXPECT_EQ(h->GetKeyFrameCount(0), 0);
    EXPECT_TRUE(h.String(0).fonts.empty());
    EXPECT_TRUE(h.Images(0).glyphs.empty());
    EXPECT_EQ(h->ClearString(1), E_INVALIDARG);
    EXPECT_EQ(h->RemoveAllStrings(), 0);
    EXPECT_EQ(h->GetStringCount(), 0);
}

TEST(Editing, ApplyStringTakesTheDefaultsWithoutBreakingLines) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"WWWW");
    for (PreparedGlyph& g : h.Images(0).glyphs) g.DirtyBits = 0;
    const float w = h.String(0).chars[0].Width;

    RenderSettings rs{};
    h->GetRenderSettings(&rs);
    rs.ScaleX = 2;
    rs.ScaleY = 3;
    h->SetRenderSettings(&rs);
    StringAttrs attrs{};
    h->GetStringAttrs(0, &attrs);
    attrs.Left = 10;
    attrs.Top = 20;
    attrs.WidthLimit = 1.5f * w;
    attrs.RotateDegree = 30;
    std::strcpy(attrs.MaskFile, "mask.png");
    h->SetDefaultString(&attrs);
    ASSERT_EQ(h->ApplyString(0), S_OK);

    const MetaString& s = h.String(0);
    EXPECT_EQ(h->GetLineCount(0), 1);  // a new limit waits for the next edit that breaks lines
    EXPECT_EQ(s.RotOriginX, 20.0f);
    EXPECT_EQ(s.RotOriginY, 60.0f);
    EXPECT_NEAR(s.RotSin, -0.5f, 1e-6f);
    EXPECT_EQ(h.Images(0).glyphs[2].DirtyBits, kDirtyAll);
    StringAttrs got{};
    h->GetStringAttrs(0, &got);
    EXPECT_STREQ(got.MaskFile, "mask.png");

    h->InsertText(0, 4, u"W");
    EXPECT_EQ(h->GetLineCount(0), 5);
}

TEST(Editing, RemeasureAllRunsOnlyWhenPending) {
    Host h;
    h->AddString();
    h->InsertText(0, 0, u"AB\r\nC");
    const float width = h.String(0).Width;
    RenderSettings rs{};
    h->GetRenderSettings(&rs);
    rs.ClipRect = {1, 2, 3, 4};
    h->SetRenderSettings(&rs);
    EXPECT_FALSE(h->Engine().RemeasurePending());
    rs.Width = 640;
    h->SetRenderSettings(&rs);
    ASSERT_TRUE(h->Engine().RemeasurePending());

    const uint64_t before = h->Engine().Revision();
    EXPECT_EQ(h->RemeasureAll(), S_OK);
    EXPECT_FALSE(h->Engine().RemeasurePending());
    EXPECT_NE(h->Engine().Revision(), before);
    EXPECT_EQ(h->Engine().Strings()[0].Width, width);

    const uint64_t after = h->Engine().Revision();
    EXPECT_EQ(h->RemeasureAll(), S_OK);  // nothing pending: nothing touched
    EXPECT_EQ(h->Engine().Revision(), after);
}

TEST(Editing, RemeasureKeepsEachStringInItsOwnDirection) {
    Host h;
    SetLimit(*h, 1.0e9f, 1);
    h->AddString();
    h->InsertText(0, 0, u"Side");
    SetLimit(*h, 1.0e9f, 0);  // the host's defaults turn horizontal afterwards
    const RectF before = CharRect(*h, 0, 1);
    const float height = h.String(0).Height;
    RenderSettings rs{};
    h->GetRenderSettings(&rs);
    rs.Width = 640;
    h->SetRenderSettings(&rs);
    ASSERT_EQ(h->RemeasureAll(), S_OK);
    const RectF after = CharRect(*h, 0, 1);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(h.String(0).Height, height);
    EXPECT_EQ(h->Engine().DefaultString().Vertical, 0) << "the defaults stay as the host set them";
}

TEST(Editing, RefreshAfterLoadMatchesApplyingEachFontInTurn) {
    Host a, b;
    for (Host* h : {&a, &b}) {
        (*h)->AddString();
        SetLimit(**h, 90);
        (*h)->AddString();
        (*h)->InsertText(1, 0, u"Ab漢 W\r\nxyz字");
        FontSpec f{};
        (*h)->GetDefaultFont(&f);
        f.Size = 40;
        f.Bold = 1;
        (*h)->SetDefaultFont(&f);
        (*h)->ApplyFont(1, 2, 4);
        std::memcpy(f.FaceName, u"Missing Face", 26);
        f.Size = 30;
        (*h)->SetDefaultFont(&f);
        (*h)->ApplyFont(1, 7, 2);
        for (MetaFont& font : h->String(1).fonts) font.LogFont.lfFaceName[0] = u'Q';  // as if from elsewhere
    }
    a->Engine().AdoptLoadedStrings(a->Engine().Strings());
    // The reference: each character's font applied on its own, as a load would do it one by one.
    const FontSpec remembered = [&] { FontSpec f{}; b->GetDefaultFont(&f); return f; }();
    for (int32_t c = 0; c < b->GetCharCount(1); ++c) {
        const MetaString& s = b.String(1);
        FontSpec spec = ReportFont(s.fonts[static_cast<size_t>(s.chars[static_cast<size_t>(c)].FontIndex)]);
        spec.Bold = s.fonts[static_cast<size_t>(s.chars[static_cast<size_t>(c)].FontIndex)].LogFont.lfWeight == 700;
        b->SetDefaultFont(&spec);
        b->ApplyFont(1, c, 1);
    }
    b->SetDefaultFont(&remembered);

    const MetaString& x = a.String(1);
    const MetaString& y = b.String(1);
    ASSERT_EQ(x.fonts.size(), y.fonts.size());
    EXPECT_EQ(std::memcmp(x.fonts.data(), y.fonts.data(), x.fonts.size() * sizeof(MetaFont)), 0);
    ASSERT_EQ(x.lines.size(), y.lines.size());
    EXPECT_EQ(std::memcmp(x.lines.data(), y.lines.data(), x.lines.size() * sizeof(MetaLine)), 0);
    EXPECT_EQ(std::memcmp(x.chars.data(), y.chars.data(), x.chars.size() * sizeof(MetaCharacter)), 0);
    FontSpec now{};
    a->GetDefaultFont(&now);
    FontSpec before{};
    b->GetDefaultFont(&before);
    EXPECT_EQ(std::memcmp(&now, &before, sizeof now), 0);
}

}  // namespace
}  // namespace qel::test
