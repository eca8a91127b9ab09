// Shaped text against HarfBuzz's own hb-shape on the same font files: the same glyphs, placed the
// same way within rounding, cluster by cluster; and a few drawn checks of what shaping is for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <png.h>

#include "TestHost.h"
#include "base/Unicode.h"
#include "model/Shaping.h"
#include "qel/qel_extensions.h"

namespace qel::test {
namespace {

constexpr float kSize = 1024;  // half the design em: layout units are half of hb-shape's 2048 units
constexpr float kRatio = kSize / 2048;

// The test fonts (tests/fontconfig/fonts.conf.in) and the faces the title asks for.
const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kDevanagari = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";
const std::string kThai = "/usr/share/fonts/truetype/noto/NotoSansThai-Regular.ttf";
const std::string kEmoji = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf";

struct Glyph {
    uint32_t index;
    float x, y;  // from the cluster's left end, design pixels
};
// Per logical cluster (its first UTF-16 unit in the whole text): its glyphs, advance and left end
// relative to the first cluster of its piece.
struct Cluster {
    std::vector<Glyph> glyphs;
    float advance = 0, left = 0;
};

// hb-shape's clusters of one piece of the text, with glyph indices and positions in 2048 units.
std::map<size_t, Cluster> HbShape(const std::string& font, const std::u16string& text, bool rtl,
                                  const std::string& features, size_t offset, const std::string& language = "") {
    std::map<size_t, Cluster> out;
    const std::string utf8 = Utf16ToUtf8(text);
    const std::string command = "timeout 20 hb-shape --no-glyph-names --font-size=2048 --output-format=json" +
                                std::string(rtl ? " --direction=rtl" : " --direction=ltr") +
                                (features.empty() ? "" : " --features=" + features) +
                                (language.empty() ? "" : " --language=" + language) + " '" + font + "' '" +
                                utf8 + "'";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (!pipe) return out;
    std::string json;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) json.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    // Code point index -> UTF-16 offset.
    std::vector<size_t> unitOf;
    for (size_t i = 0; i < text.size(); ++i) {
        unitOf.push_back(i);
        if (text[i] >= 0xD800 && text[i] < 0xDC00) ++i;
    }
    const double k = 1;  // --font-size=2048: positions in pixels at the design height
    double pen = 0;
    size_t at = 0;
    while ((at = json.find("{\"g\":", at)) != std::string::npos) {
        unsigned g = 0;
        int cl = 0;
        double ax = 0, ay = 0, dx = 0, dy = 0;
        EXPECT_EQ(std::sscanf(json.c_str() + at, "{\"g\":%u,\"cl\":%d,\"dx\":%lf,\"dy\":%lf,\"ax\":%lf,\"ay\":%lf", &g,
                              &cl, &dx, &dy, &ax, &ay),
                  6)
            << json.substr(at, 80);
        Cluster& c = out[offset + unitOf.at(size_t(cl))];
        if (c.glyphs.empty()) c.left = float(pen * k);
        c.glyphs.push_back({g, float((pen + dx) * k) - c.left, float(dy * k)});
        c.advance += float(std::lround(ax * k));
        pen += ax;
        ++at;
    }
    return out;
}

// The title's clusters, from the string's shaping and its character boxes.
std::map<size_t, Cluster> Shaped(Host& host) {
    std::map<size_t, Cluster> out;
    const MetaString& s = host.String(0);
    for (size_t i = 0; i < s.chars.size(); ++i) {
        if (!s.Shaping.Shaped(i) || IsClusterTail(s, i)) continue;
        const ShapedUnit& u = s.Shaping.units[i];
        Cluster& c = out[i];
        c.left = s.chars[i].Left / kRatio;
        c.advance = s.chars[i].Width / kRatio;
        for (uint32_t g = 0; g < u.glyphCount; ++g) {
            const ClusterGlyph& glyph = s.Shaping.glyphs[u.glyphStart + g];
            c.glyphs.push_back({glyph.index, glyph.x, glyph.y});
        }
    }
    return out;
}

struct Piece {
    std::u16string text;
    bool rtl;
    const char* language = nullptr;  // a run language over the string's (qel.text version 2)
};
struct Case {
    const char* name;
    std::u16string face;  // asked of the title; characters it lacks are linked
    std::string file;     // the font file hb-shape reads
    bool kerning;
    std::vector<Piece> pieces;  // runs of one direction, in logical order
    const char* language = "";  // the string's language (the qel.text extension)
};

// Latin is shaped without its standard ligatures, and without kerning unless the font asks.
std::string Features(const Piece& piece, bool kerning) {
    const bool latin = std::all_of(piece.text.begin(), piece.text.end(), [](char16_t c) { return c < 0x590; });
    if (!latin) return "";
    return kerning ? "-liga,-clig" : "-liga,-clig,-kern";
}

TEST(Shaping, GlyphsAndPlacesAreHarfBuzzs) {
    const Case cases[] = {
        {"Arabic with lam-alef", u"DejaVu Sans", kDejaVu, false, {{u"السلام عليكم", true}}},
        {"Hebrew with digits and mirrored brackets", u"DejaVu Sans", kDejaVu, false,
         {{u"שלום (עולם) ", true}, {u"2024", false}}},
        {"Devanagari", u"Noto Sans Devanagari", kDevanagari, false, {{u"नमस्ते दुनिया", false}}},
        {"Thai", u"Noto Sans Thai", kThai, false, {{u"สวัสดีครับ น้ำ", false}}},
        {"Vietnamese, combining marks", u"DejaVu Sans", kDejaVu, false,
         {{u"Tie\u0302\u0301ng Vie\u0323\u0302t", false}}},
        {"English and Arabic", u"DejaVu Sans", kDejaVu, false,
         {{u"Hello ", false}, {u"مرحبا", true}, {u" world", false}}},
        {"kerned Latin pairs", u"DejaVu Sans", kDejaVu, true, {{u"AV To Wa Yo", false}}},
        // The font's Serbian forms of б (and Cyrillic shaped at all, which it is not unnamed).
        {"Serbian Cyrillic", u"DejaVu Sans", kDejaVu, false, {{u"бгдпт обе", false}}, "sr"},
        {"Russian Cyrillic", u"DejaVu Sans", kDejaVu, false, {{u"бгдпт обе", false}}, "ru"},
        // A run in its own language: a Serbian run in a Russian string.
        {"Serbian run in Russian", u"DejaVu Sans", kDejaVu, false, {{u"бгд ", false}, {u"пбт", false, "sr"}}, "ru"},
        // A ZWJ family, two flags, a keycap and a skin tone: one glyph each, from the colour face.
        {"emoji sequences", u"DejaVu Sans", kEmoji, false,
         {{u"\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F1EF\U0001F1F5\U0001F1EB\U0001F1F71\uFE0F\u20E3"
           u"\U0001F44B\U0001F3FD", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Host host;
        FontSpec font{};
        std::copy(c.face.begin(), c.face.end(), font.FaceName);
        font.CharSet = 1 | (c.kerning ? kCharSetKerning : 0);
        font.Size = kSize;
        host->SetDefaultFont(&font);
        ASSERT_EQ(host->AddString(), 0);
        const auto* text16 = static_cast<const QelTextV1*>(QelGetExtension(QEL_TEXT_EXTENSION, 1));
        ASSERT_NE(text16, nullptr);
        ASSERT_EQ(text16->SetLanguage(&*host, 0, c.language), S_OK);
        std::u16string text;
        std::map<size_t, Cluster> expected;
        for (const Piece& p : c.pieces) {
            const auto piece = HbShape(c.file, p.text, p.rtl, Features(p, c.kerning), text.size(),
                                       p.language ? p.language : c.language);
            // Left ends relative to the piece's own first cluster in display order.
            expected.insert(piece.begin(), piece.end());
            text += p.text;
        }
        host->InsertText(0, 0, text.c_str());
        const auto* runs = static_cast<const QelTextV2*>(QelGetExtension(QEL_TEXT_EXTENSION, 2));
        ASSERT_NE(runs, nullptr);
        size_t at = 0;
        for (const Piece& p : c.pieces) {
            if (p.language) {
                ASSERT_EQ(runs->SetDefaultLanguage(&*host, p.language), S_OK);
                ASSERT_EQ(host->ApplyFont(0, int32_t(at), int32_t(p.text.size())), S_OK);
            }
            at += p.text.size();
        }
        const std::map<size_t, Cluster> actual = Shaped(host);
        ASSERT_GE(expected.size(), 5u);
        ASSERT_EQ(actual.size(), expected.size());

        // Left ends are compared within each piece, from its leftmost cluster: advances are
        // rounded per glyph, so they may drift by half a unit per glyph.
        size_t pieceStart = 0;
        for (const Piece& p : c.pieces) {
            const size_t pieceEnd = pieceStart + p.text.size();
            float minActual = 1e9f, minExpected = 1e9f;
            for (auto& [unit, cl] : actual)
                if (unit >= pieceStart && unit < pieceEnd) minActual = std::min(minActual, cl.left);
            for (auto& [unit, cl] : expected)
                if (unit >= pieceStart && unit < pieceEnd) minExpected = std::min(minExpected, cl.left);
            float drift = 1;
            for (auto& [unit, want] : expected) {
                if (unit < pieceStart || unit >= pieceEnd) continue;
                SCOPED_TRACE("cluster at unit " + std::to_string(unit));
                const Cluster& got = actual.at(unit);
                ASSERT_EQ(got.glyphs.size(), want.glyphs.size());
                for (size_t g = 0; g < want.glyphs.size(); ++g) {
                    EXPECT_EQ(got.glyphs[g].index, want.glyphs[g].index);
                    EXPECT_NEAR(got.glyphs[g].x, want.glyphs[g].x, 1.0);
                    EXPECT_NEAR(got.glyphs[g].y, want.glyphs[g].y, 1.0);
                }
                EXPECT_NEAR(got.advance, want.advance, 1.0);
                drift += 0.5f * float(want.glyphs.size());
                EXPECT_NEAR(got.left - minActual, want.left - minExpected, drift);
            }
            pieceStart = pieceEnd;
        }
    }
}

// Frames of one string at rest: its ink's horizontal extent in pixels.
struct Ink {
    int32_t left = 1 << 30, right = -1;
    int32_t Width() const { return right - left + 1; }
};
Ink Draw(const std::u16string& text, uint32_t align = 0) {
    constexpr int32_t kWidth = 900, kHeight = 200;
    Host host;
    FontSpec font{};
    std::u16string face = u"DejaVu Sans";
    std::copy(face.begin(), face.end(), font.FaceName);
    font.CharSet = 1;
    font.Size = 72;
    host->SetDefaultFont(&font);
    const ParagraphAttrs para = Paragraph(align);
    host->SetDefaultParagraph(&para);
    RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = kWidth, rs.Height = kHeight, rs.ClipRect = {0, 0, kWidth, kHeight};
    host->SetRenderSettings(&rs);
    host->AddString();
    host->InsertText(0, 0, text.c_str());
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0);
    EXPECT_EQ(host->Render(frame.data(), 0.5f), S_OK);
    Ink ink;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            if (frame[(size_t(y) * kWidth + x) * 4 + 2] >= 128) ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
    return ink;
}

TEST(Shaping, DrawnArabicJoinsAndRightToLeftStartsAtTheRight) {
    // Beh between behs takes its narrow joining forms: three joined are narrower than three alone.
    const Ink joined = Draw(u"ببب");
    const Ink alone = Draw(u"ب");
    ASSERT_GT(alone.Width(), 20);
    EXPECT_LT(joined.Width(), 3 * alone.Width() * 3 / 4);

    // A right-to-left paragraph's first character stands at its right end, and start alignment
    // puts the line at the string's right edge.
    Host host;
    host->AddString();
    host->InsertText(0, 0, u"אבג\r\nabc abc");
    const RectF first = CharRect(*host, 0, 0), last = CharRect(*host, 0, 2);
    EXPECT_GT(first.x, last.x);
    RectF line0{}, line1{};
    ASSERT_EQ(host->GetLineRect(0, 0, &line0), S_OK);
    ASSERT_EQ(host->GetLineRect(0, 1, &line1), S_OK);
    RectF whole{};
    ASSERT_EQ(host->GetStringRect(0, &whole), S_OK);
    EXPECT_NEAR(line0.x + line0.width, whole.x + whole.width, 0.01);  // starts at the right
    EXPECT_NEAR(line1.x, whole.x, 0.01);                               // the Latin one at the left

    // An explicit right-to-left override turns Latin letters around; an isolate keeps them.
    Host marks;
    marks->AddString();
    marks->InsertText(0, 0, u"\u202Eabc\u202C \u2067abc\u2069");
    EXPECT_GT(CharRect(*marks, 0, 1).x, CharRect(*marks, 0, 3).x);
    EXPECT_LT(CharRect(*marks, 0, 7).x, CharRect(*marks, 0, 9).x);
}

TEST(Shaping, KerningIsKeptBySaveAndLoadAndSwitchedPerRange) {
    Host host;
    FontSpec font{};
    std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
    font.CharSet = 1 | kCharSetKerning;
    font.Size = 100;
    host->SetDefaultFont(&font);
    host->AddString();
    host->InsertText(0, 0, u"AVAV");
    const float kerned = CharRect(*host, 0, 0).width;

    uint32_t size = 0;
    ASSERT_EQ(host->SaveTitleToBuffer(nullptr, &size), S_OK);
    std::u16string saved(size / 2, u'\0');
    ASSERT_EQ(host->SaveTitleToBuffer(saved.data(), &size), S_OK);
    Host loaded;
    ASSERT_EQ(loaded->LoadTitleFromBuffer(saved.c_str()), S_OK);
    FontSpec back{};
    ASSERT_EQ(loaded->GetCharFont(0, 0, &back), S_OK);
    EXPECT_EQ(back.CharSet, 1 | kCharSetKerning);
    EXPECT_EQ(CharRect(*loaded, 0, 0).width, kerned);

    // Kerning off for the first pair only: A takes its full advance again there.
    font.CharSet = 1;
    loaded->SetDefaultFont(&font);
    ASSERT_EQ(loaded->ApplyFont(0, 0, 2), S_OK);
    EXPECT_GT(CharRect(*loaded, 0, 0).width, kerned);
    EXPECT_EQ(CharRect(*loaded, 0, 2).width, kerned);
}

TEST(Shaping, DrawnVerticalLongVowelMarkStandsUpright) {
    // In a column the long vowel mark takes the font's vertical form: taller than wide, where
    // across a line it is a horizontal bar.
    for (int32_t vertical : {0, 1}) {
        constexpr int32_t kSide = 300;
        Host host;
        FontSpec font{};
        const std::u16string face = u"IPAGothic";
        std::copy(face.begin(), face.end(), font.FaceName);
        font.CharSet = 1;
        font.Size = 100;
        host->SetDefaultFont(&font);
        SetLimit(*host, 1e9f, vertical);
        RenderSettings rs{};
        host->GetRenderSettings(&rs);
        rs.Width = rs.Height = kSide, rs.ClipRect = {0, 0, kSide, kSide};
        host->SetRenderSettings(&rs);
        host->AddString();
        host->InsertText(0, 0, u"\u30FC");
        std::vector<uint8_t> frame(size_t(kSide) * kSide * 4, 0);
        ASSERT_EQ(host->Render(frame.data(), 0.5f), S_OK);
        int32_t left = kSide, right = -1, top = kSide, bottom = -1;
        for (int32_t y = 0; y < kSide; ++y)
            for (int32_t x = 0; x < kSide; ++x)
                if (frame[(size_t(y) * kSide + x) * 4 + 2] >= 128)
                    left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
        ASSERT_GE(right, left);
        if (vertical) {
            EXPECT_GT(bottom - top, 3 * (right - left));
        } else {
            EXPECT_GT(right - left, 3 * (bottom - top));
        }
    }
}

// Coverage (0..255) of a grey picture, rows top to bottom, and its ink box at half coverage.
struct Coverage {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
    int32_t left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool Ink(int32_t x, int32_t y) const {
        return x < width && y < height && pixels[size_t(y) * size_t(width) + size_t(x)] >= 128;
    }
    void FindInk() {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                if (Ink(x, y)) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
};

// hb-view's line of text (white on black, no margin) turned a quarter turn clockwise.
Coverage HbViewTurned(const std::string& font, const std::u16string& text, int size) {
    const std::string path = testing::TempDir() + "/hb-view-line.png", features = Features({text, false}, false);
    const std::string command = "timeout 20 hb-view --margin=0 --background=000000 --foreground=FFFFFF -O png --font-size=" +
                                std::to_string(size) + (features.empty() ? "" : " --features=" + features) + " -o '" +
                                path + "' '" + font + "' '" + Utf16ToUtf8(text) + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Coverage turned;
    std::vector<uint8_t> rgb;
    if (png_image_begin_read_from_file(&image, path.c_str()) && (image.format = PNG_FORMAT_RGB, true) &&
        (rgb.resize(PNG_IMAGE_SIZE(image)), png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))) {
        turned.width = int32_t(image.height), turned.height = int32_t(image.width);
        for (int32_t y = 0; y < turned.height; ++y)
            for (int32_t x = 0; x < turned.width; ++x)
                turned.pixels.push_back(rgb[(size_t(turned.width - 1 - x) * image.width + size_t(y)) * 3 + 1]);
    }
    turned.FindInk();
    return turned;
}

TEST(Shaping, DrawnSidewaysRunsInAColumnAreHbViewsLineTurned) {
    // A run of a script without upright forms lies on its side in a column: joined and ordered as
    // its line is (Arabic and Hebrew read from the bottom up), turned a quarter turn clockwise.
    const struct {
        std::u16string face;
        std::string file;
        std::u16string text;
    } cases[] = {
        {u"DejaVu Sans", kDejaVu, u"مرحبا بالعالم"},
        {u"DejaVu Sans", kDejaVu, u"שלום עולם"},
        {u"Noto Sans Devanagari", kDevanagari, u"नमस्ते दुनिया"},
        {u"Noto Sans Thai", kThai, u"สวัสดีครับ"},
        {u"DejaVu Sans", kDejaVu, u"Crème brûlée"},  // Latin beyond ASCII
    };
    constexpr int32_t kLetters = 64, kWidth = 300, kHeight = 900;
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.text));
        Host host;
        FontSpec font{};
        std::copy(c.face.begin(), c.face.end(), font.FaceName);
        font.CharSet = 1, font.Size = kLetters;
        host->SetDefaultFont(&font);
        SetLimit(*host, 1e9f, 1);
        RenderSettings rs{};
        host->GetRenderSettings(&rs);
        rs.Width = kWidth, rs.Height = kHeight, rs.ClipRect = {0, 0, kWidth, kHeight};
        host->SetRenderSettings(&rs);
        host->AddString();
        host->InsertText(0, 0, c.text.c_str());
        std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0);
        ASSERT_EQ(host->Render(frame.data(), 0.5f), S_OK);
        Coverage drawn{kWidth, kHeight};
        // Green: the white face alone (the default border is red, the shadow black).
        for (size_t p = 0; p < size_t(kWidth) * kHeight; ++p) drawn.pixels.push_back(frame[p * 4 + 1]);
        drawn.FindInk();
        const Coverage want = HbViewTurned(c.file, c.text, kLetters);
        // The ink laid over each other from the boxes' top-left corners: what either covers, both do.
        int64_t both = 0, either = 0;
        for (int32_t y = 0; y <= std::max(drawn.bottom - drawn.top, want.bottom - want.top); ++y) {
            for (int32_t x = 0; x <= std::max(drawn.right - drawn.left, want.right - want.left); ++x) {
                const bool a = drawn.Ink(drawn.left + x, drawn.top + y), b = want.Ink(want.left + x, want.top + y);
                both += a && b;
                either += a || b;
            }
        }
        EXPECT_GT(double(both) / double(std::max<int64_t>(either, 1)), 0.8);
    }
}

TEST(Shaping, DrawnEmojiHasItsOwnColoursAndOneGlyphPerSequence) {
    constexpr int32_t kWidth = 400, kHeight = 200;
    Host host;
    RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = kWidth, rs.Height = kHeight, rs.ClipRect = {0, 0, kWidth, kHeight};
    host->SetRenderSettings(&rs);
    const MetaFace white{1, 0xFFFFFF, 0xFFFFFF, 0, 255, 0};
    host->SetDefaultFace(&white);
    host->AddString();
    host->InsertText(0, 0, u"\U0001F600\U0001F468\u200D\U0001F469\u200D\U0001F467");
    // The family is one cluster: one box with the advance, the rest of the sequence none.
    EXPECT_GT(CharRect(*host, 0, 2).width, 0);
    for (int32_t i = 3; i < host->GetCharCount(0); ++i) EXPECT_EQ(CharRect(*host, 0, i).width, 0) << i;
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0);
    ASSERT_EQ(host->Render(frame.data(), 0.5f), S_OK);
    // A white face draws grey levels only; the smiling face is yellow (red well above blue).
    int coloured = 0;
    for (size_t i = 0; i < frame.size(); i += 4) coloured += frame[i + 2] > frame[i] + 80;
    EXPECT_GT(coloured, 200);
}

}  // namespace
}  // namespace qel::test
