#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "TestFonts.h"
#include "platform/FontEngine.h"

namespace qel {
namespace {

using test::FaceOf;
using test::LogFont;
using test::Spec;

constexpr char kDejaVuSansFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

TEST(BuildMetaFont, SizeRatioAndStatus) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float size;
        float ratio;
        HRESULT status;
    } cases[] = {
        {24, 24 / 2048.f, S_OK},       {-24, 24 / 2048.f, S_OK},     {0, 0, S_OK},
        {1638, 1638 / 2048.f, S_OK},   {-1638, 1638 / 2048.f, S_OK}, {1638.01f, 1638 / 2048.f, E_FAIL},
        {2000, 1638 / 2048.f, E_FAIL}, {-2000, 1638 / 2048.f, E_FAIL}, {nan, 1638 / 2048.f, E_FAIL},
        {inf, 1638 / 2048.f, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        MetaFont font;
        const FontSpec spec = Spec(u"DejaVu Sans", c.size);
        EXPECT_EQ(MakeFont(kDesignHeight, spec, &font), c.status);
        EXPECT_EQ(font.SizeRatio, c.ratio);
        // The entry is filled whatever the status.
        const LOGFONTW expected = LogFontFromSpec(kDesignHeight, spec);
        EXPECT_EQ(std::memcmp(&font.LogFont, &expected, sizeof expected), 0);
        EXPECT_EQ(font.Ascent > 0, c.ratio > 0);
    }
}

TEST(LogFontFromSpec, FillsOnlyTheRequestFieldsAndTerminatesTheName) {
    FontSpec spec = Spec(u"DejaVu Sans", 24, true, true, 2);
    std::fill(std::begin(spec.FaceName), std::end(spec.FaceName), u'x');  // no terminator
    const LOGFONTW lf = LogFontFromSpec(kDesignHeight, spec);
    EXPECT_EQ(lf.lfHeight, -2048);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_EQ(lf.lfCharSet, 2);
    EXPECT_EQ(lf.lfWidth | lf.lfEscapement | lf.lfOrientation, 0);
    EXPECT_EQ(lf.lfUnderline | lf.lfStrikeOut | lf.lfOutPrecision | lf.lfQuality, 0);
    EXPECT_EQ(lf.lfFaceName[30], u'x');
    EXPECT_EQ(lf.lfFaceName[31], u'\0');
}

// The metrics of DejaVu Sans, compared with values computed here from the file's own tables.
TEST(FontEngine, DejaVuSansMetricsMeanWhatTheScreenEngineMeans) {
    FT_Library lib;
    ASSERT_EQ(FT_Init_FreeType(&lib), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(lib, kDejaVuSansFile, 0, &face), 0);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
    ASSERT_TRUE(os2 && hhea && post);
    const double s = 2048.0 / face->units_per_EM;
    auto px = [s](double units) { return static_cast<int32_t>(std::lround(units * s)); };
    const int32_t winAscent = px(os2->usWinAscent), winDescent = px(os2->usWinDescent);
    const long extUnits = std::max(0L, long(hhea->Line_Gap) - ((long(os2->usWinAscent) + os2->usWinDescent) -
                                                               (long(hhea->Ascender) - hhea->Descender)));
    FT_Set_Pixel_Sizes(face, 0, 2048);
    ASSERT_EQ(FT_Load_Char(face, 'W', FT_LOAD_NO_HINTING), 0);
    const int32_t advanceW = static_cast<int32_t>(std::lround(face->glyph->linearHoriAdvance / 65536.0));

    const FontFace font = FontFace::Open(LogFont(u"DejaVu Sans"));
    ASSERT_TRUE(font);
    OutlineMetrics m;
    ASSERT_TRUE(font.GetOutlineMetrics(&m));
    EXPECT_EQ(m.text.ascent, winAscent);
    EXPECT_EQ(m.text.descent, winDescent);
    EXPECT_EQ(m.text.height, winAscent + winDescent);
    EXPECT_EQ(m.text.internalLeading, winAscent + winDescent - 2048);
    EXPECT_EQ(m.text.externalLeading, px(extUnits));
    EXPECT_EQ(m.ascent, px(os2->sTypoAscender));
    EXPECT_EQ(m.descent, px(os2->sTypoDescender));
    EXPECT_EQ(m.strikeoutPosition, px(os2->yStrikeoutPosition));
    EXPECT_EQ(m.strikeoutSize, uint32_t(px(os2->yStrikeoutSize)));
    EXPECT_EQ(m.underscorePosition, px(post->underlinePosition));
    EXPECT_EQ(m.underscoreSize, px(post->underlineThickness));

    int32_t cx = 0, cy = 0;
    ASSERT_TRUE(font.GetTextExtent(u'W', &cx, &cy));
    EXPECT_EQ(cx, advanceW);
    EXPECT_EQ(cy, winAscent + winDescent);

    // The entry carries the same values times SizeRatio (0.5: exact in floats).
    MetaFont entry;
    ASSERT_EQ(MakeFont(kDesignHeight, Spec(u"DejaVu Sans", 1024), &entry), S_OK);
    EXPECT_EQ(entry.Ascent, px(os2->sTypoAscender) * 0.5f);
    EXPECT_EQ(entry.Descent, px(os2->sTypoDescender) * 0.5f);
    EXPECT_EQ(entry.IntLead, (winAscent + winDescent - 2048) * 0.5f);
    EXPECT_EQ(entry.ExtLead, px(extUnits) * 0.5f);
    EXPECT_EQ(entry.UnderlinePos, px(post->underlinePosition) * 0.5f);

    FT_Done_Face(face);
    FT_Done_FreeType(lib);
}

TEST(FontEngine, BoldOfAFaceWithoutABoldStyleIsSynthesised) {
    int32_t regular = 0, bold = 0, cy = 0;
    ASSERT_TRUE(FontFace::Open(LogFont(u"Droid Sans Fallback")).GetTextExtent(u'\u4E2D', &regular, &cy));
    ASSERT_TRUE(FontFace::Open(LogFont(u"Droid Sans Fallback", true)).GetTextExtent(u'\u4E2D', &bold, &cy));
    EXPECT_GT(bold, regular);
}

TEST(ResolveCharFonts, LinksOnlyWhatTheBaseFaceLacks) {
    const std::u16string text = u"Ab \u4E2D\x01\tc\u00E9";
    FontLinker linker;
    ASSERT_TRUE(linker.Valid());
    std::vector<MetaFont> fonts(text.size());
    ResolveCharFonts(linker, text.data(), int32_t(text.size()), kDesignHeight, Spec(u"DejaVu Sans"), fonts.data());
    for (size_t i = 0; i < text.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(FaceOf(fonts[i].LogFont), text[i] == u'\u4E2D' ? u"Droid Sans Fallback" : u"DejaVu Sans");
        EXPECT_EQ(fonts[i].SizeRatio, 24 / 2048.f);
        EXPECT_GT(fonts[i].Ascent, 0);
    }
}

TEST(ResolveCharFonts, SymbolSetKeepsCodesUpTo255) {
    // DejaVu Math TeX Gyre lacks superscript two (U+00B2) and C with circumflex (U+0108); other
    // faces have both.
    const std::u16string text = u"\u00B2\u0108";
    FontLinker linker;
    std::vector<MetaFont> fonts(text.size());
    struct Case {
        uint32_t charSet;
        bool superscriptLinked;
    } cases[] = {{1, true}, {2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charSet);
        ResolveCharFonts(linker, text.data(), 2, kDesignHeight, Spec(u"DejaVu Math TeX Gyre", 24, false, false, c.charSet),
                         fonts.data());
        EXPECT_EQ(FaceOf(fonts[0].LogFont) != u"DejaVu Math TeX Gyre", c.superscriptLinked);
        EXPECT_EQ(fonts[0].LogFont.lfCharSet, c.superscriptLinked ? 1 : c.charSet);
        EXPECT_NE(FaceOf(fonts[1].LogFont), u"DejaVu Math TeX Gyre");  // above 255: always linked
    }
}

TEST(ResolveCharFonts, BadArgumentsLeaveTheOutputAlone) {
    FontLinker linker;
    MetaFont font;
    font.Ascent = 7;
    const FontSpec spec = Spec(u"DejaVu Sans");
    EXPECT_EQ(ResolveCharFonts(linker, nullptr, 1, kDesignHeight, spec, &font), E_POINTER);
    EXPECT_EQ(ResolveCharFonts(linker, u"A", 1, kDesignHeight, spec, nullptr), E_POINTER);
    EXPECT_EQ(ResolveCharFonts(linker, u"A", 0, kDesignHeight, spec, &font), E_INVALIDARG);
    EXPECT_EQ(font.Ascent, 7);
}

TEST(ResolveCharFonts, LoneSurrogatesKeepTheBaseFaceAndMeasure) {
    const std::u16string text = u"\xD83D\xDE00\xDC00";
    FontLinker linker;
    std::vector<MetaFont> fonts(text.size());
    ResolveCharFonts(linker, text.data(), int32_t(text.size()), kDesignHeight, Spec(u"DejaVu Sans"), fonts.data());
    for (size_t i = 0; i < text.size(); ++i) {
        // The pair is an emoji, which takes the colour face; the lone half keeps the base face.
        EXPECT_EQ(FaceOf(fonts[i].LogFont), i < 2 ? u"Noto Color Emoji" : u"DejaVu Sans");
        MetaCharacter ch;
        ch.Value = text[i];
        MeasureCharacter(ch, fonts[i], false);
        EXPECT_GT(ch.Width, 0);  // the face's missing glyph
    }
}

TEST(MeasureCharacter, VerticalTextTurnsOnlyCodesBelow128) {
    struct Case {
        char16_t code;
        const char16_t* face;
    } cases[] = {{u'A', u"DejaVu Sans"}, {u'\u4E2D', u"Droid Sans Fallback"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.code));
        MetaFont font;
        ASSERT_EQ(MakeFont(kDesignHeight, Spec(c.face), &font), S_OK);
        MetaCharacter across, down;
        across.Value = down.Value = c.code;
        MeasureCharacter(across, font, false);
        MeasureCharacter(down, font, true);
        EXPECT_GT(across.Width, 0);
        EXPECT_NE(across.Width, across.Height);
        if (c.code < 128) {
            EXPECT_EQ(down.Width, across.Height);
            EXPECT_EQ(down.Height, across.Width);
        } else {
            EXPECT_EQ(down.Width, across.Width);
            EXPECT_EQ(down.Height, across.Height);
        }
    }
}

TEST(ReportFont, GivesTheRequestBack) {
    MetaFont font;
    ASSERT_EQ(MakeFont(kDesignHeight, Spec(u"Liberation Serif", -36, true, true), &font), S_OK);
    font.LogFont.lfUnderline = 1;
    const FontSpec spec = ReportFont(font);
    EXPECT_EQ(std::u16string(spec.FaceName), u"Liberation Serif");
    EXPECT_EQ(spec.Size, 36);
    EXPECT_EQ(spec.Bold, 1);
    EXPECT_EQ(spec.Italic, 1u);
    EXPECT_EQ(spec.Underline, 1u);
    EXPECT_EQ(spec.StrikeOut, 0u);
    EXPECT_EQ(spec.CharSet, 1u);
}

TEST(FaceNames, ListsTheTestFontsAndTheDefaultGuiFace) {
    const auto names = EnumerateFaceNames();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    for (const char16_t* face : {u"DejaVu Sans", u"Liberation Sans", u"Droid Sans Fallback"})
        EXPECT_NE(std::find(names.begin(), names.end(), face), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), u"Arial"), names.end());

    const LOGFONTW gui = DefaultGuiFont();
    EXPECT_EQ(FaceOf(gui), u"DejaVu Sans");
    EXPECT_EQ(gui.lfCharSet, 1);
    MetaFont font;
    EXPECT_EQ(BuildMetaFont(kDesignHeight, 24, gui, &font), S_OK);
}

}  // namespace
}  // namespace qel
