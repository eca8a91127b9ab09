// Line breaking: lines filled from the break opportunities, checked against ICU's own line break
// iterator (every break is one of its boundaries, every line fits, and the next boundary would
// not have), Thai words kept whole, CJK closing marks never starting a line, and JSON strings
// with a width wrapped the same way.
#include <gtest/gtest.h>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

#include "authoring/Language.h"
#include "authoring/LineBreak.h"
#include "authoring/Text.h"
#include "authoring/TitleJson.h"
#include "player/TitleFiles.h"

namespace qeltitle {
namespace {

// Advances of a monospaced face: 2 for wide (CJK) characters, 0 for combining marks, else 1.
std::vector<float> Advances(std::u16string_view text) {
    std::vector<float> a(text.size(), 1.0f);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if ((c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF)) a[i] = 2;
        if ((c >= 0x0E31 && c <= 0x0E3A && c != 0x0E32 && c != 0x0E33) || (c >= 0x0E47 && c <= 0x0E4E)) a[i] = 0;
    }
    return a;
}

std::vector<std::u16string> Lines(std::u16string_view text, const std::vector<size_t>& starts) {
    std::vector<std::u16string> lines;
    size_t from = 0;
    for (size_t at : starts) lines.emplace_back(text.substr(from, at - from)), from = at;
    lines.emplace_back(text.substr(from));
    return lines;
}

TEST(LineBreak, FilledLinesBreakWhereIcuAllowsAndAreFull) {
    const struct {
        const char* language;
        const char* text;
    } cases[] = {
        {"th", "ภาษาไทยไม่มีช่องว่างระหว่างคำ แต่ต้องตัดบรรทัดให้ถูกต้องตามพยางค์และคำ"},
        {"lo", "ພາສາລາວບໍ່ມີການຍະຫວ່າງລະຫວ່າງຄຳສັບ ແຕ່ຕ້ອງຕັດແຖວໃຫ້ຖືກຕ້ອງ"},
        {"km", "ភាសាខ្មែរមិនមានដកឃ្លារវាងពាក្យទេ ប៉ុន្តែត្រូវកាត់បន្ទាត់ឱ្យត្រឹមត្រូវ"},
        {"my", "မြန်မာဘာသာစကားသည်စကားလုံးများကြားတွင်နေရာလွတ်မရှိပါ"},
        {"ja", "日本語の文章は単語の間に空白がありません。句読点は行の先頭に来てはいけません、これは禁則処理です。"},
        {"zh-Hans", "中文句子之间没有空格，但是标点符号不能出现在行首。这是一个测试（括号内容）！"},
        {"", "Mixed English, ภาษาไทย and 日本語のテキスト in one line, with a URL-like-token-that-is-long."},
    };
    for (const auto& c : cases) {
        const std::u16string text = Utf8ToUtf16(c.text);
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> oracle(icu::BreakIterator::createLineInstance(
            *c.language ? icu::Locale::forLanguageTag(c.language, status) : icu::Locale::getRoot(), status));
        ASSERT_TRUE(U_SUCCESS(status));
        const icu::UnicodeString u(false, text.data(), static_cast<int32_t>(text.size()));
        oracle->setText(u);
        const std::vector<float> advances = Advances(text);
        const std::vector<BreakOpportunity> breaks = LineBreakOpportunities(text, c.language);
        for (float width : {12.0f, 20.0f, 31.0f}) {
            SCOPED_TRACE(std::string(c.text) + " at " + std::to_string(width));
            const std::vector<size_t> starts = FillLines(text, advances, width, breaks);
            EXPECT_FALSE(starts.empty());
            size_t from = 0;
            for (size_t k = 0; k <= starts.size(); ++k) {
                const size_t end = k < starts.size() ? starts[k] : text.size();
                if (k < starts.size()) {
                    EXPECT_TRUE(oracle->isBoundary(static_cast<int32_t>(end))) << end;
                }
                float w = 0;
                size_t trimmed = end;
                while (trimmed > from && IsBreakSpace(text[trimmed - 1])) --trimmed;
                for (size_t i = from; i < trimmed; ++i) w += advances[i];
                const int32_t previous = oracle->preceding(static_cast<int32_t>(end));
                // A line is wider than the width only when it is one unbreakable piece.
                if (w > width) {
                    EXPECT_LE(previous, static_cast<int32_t>(from)) << "line " << k;
                }
                if (k < starts.size()) {
                    // Greedy: the line could not have taken the next piece.
                    const int32_t next = oracle->following(static_cast<int32_t>(end));
                    size_t nextTrimmed = static_cast<size_t>(next);
                    while (nextTrimmed > from && IsBreakSpace(text[nextTrimmed - 1])) --nextTrimmed;
                    float longer = 0;
                    for (size_t i = from; i < nextTrimmed; ++i) longer += advances[i];
                    EXPECT_GT(longer, width) << "line " << k;
                }
                from = end;
            }
        }
    }
}

TEST(LineBreak, ThaiWordsStayWholeAndCjkMarksNeverStartALine) {
    const std::u16string thai = Utf8ToUtf16("ภาษาไทยไม่มีช่องว่างระหว่างคำ แต่ต้องตัดบรรทัดให้ถูกต้องตามพยางค์และคำ");
    for (float width = 6; width <= 30; width += 1) {
        for (const std::u16string& line : Lines(thai, FillLines(thai, Advances(thai), width, LineBreakOpportunities(thai, "th"))))
            for (const char* broken : {"ระห", "ถูกต้", "พยา"}) {
                const std::u16string part = Utf8ToUtf16(broken);
                EXPECT_FALSE(line.size() >= part.size() && line.compare(line.size() - part.size(), part.size(), part) == 0)
                    << Utf16ToUtf8(line) << " at " << width;
            }
    }
    const std::u16string cjk = Utf8ToUtf16("これは「テスト」です。句読点、括弧（かっこ）の位置を確認します！終わり。中文，测试。");
    for (const char* language : {"ja", "zh-Hans", ""})
        for (float width = 4; width <= 24; width += 2)
            for (const std::u16string& line :
                 Lines(cjk, FillLines(cjk, Advances(cjk), width, LineBreakOpportunities(cjk, language)))) {
                EXPECT_EQ(std::u16string(u"。、，）」！").find(line.front()), std::u16string::npos)
                    << Utf16ToUtf8(line) << " at " << width << " (" << language << ")";
                EXPECT_EQ(std::u16string(u"（「").find(line.back()), std::u16string::npos) << Utf16ToUtf8(line);
            }
}

TEST(LineBreak, JsonWidthWrapsAtBreaksAndKeepsParagraphSpacing) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host) << error;
    TitleExtras extras;
    std::vector<std::string> warnings;
    ASSERT_TRUE(BuildTitleFromJson(*host, R"({"strings": [{"text": "日本語の文章は単語の間に空白がありません。句読点は行の先頭に来てはいけません。\nSecond paragraph of words",
        "width": 430, "style": {"size": 60, "before": 30, "after": 40}}]})", "t.json", extras, warnings, error))
        << error;
    std::u16string text(static_cast<size_t>(host->GetCharCount(0)) + 1, u'\0');
    text.resize(static_cast<size_t>(host->GetText(0, text.data())));
    EXPECT_EQ(text.find(u"\r\n。"), std::u16string::npos) << Utf16ToUtf8(text);
    EXPECT_EQ(text.find(u" \r\n"), std::u16string::npos) << Utf16ToUtf8(text);
    EXPECT_NE(text.find(u"Second\r\nparagraph"), std::u16string::npos) << Utf16ToUtf8(text);
    // Only the first line of a wrapped paragraph has its space before, only the last its space after.
    const std::vector<size_t> lines = [&] {
        std::vector<size_t> starts{0};
        for (size_t i = 1; i < text.size(); ++i)
            if (text[i] == u'\n') starts.push_back(i);
        return starts;
    }();
    ASSERT_GE(lines.size(), 4u);
    for (size_t l = 0; l < lines.size(); ++l) {
        qel::ParagraphAttrs p{};
        ASSERT_EQ(host->GetCharParagraph(0, static_cast<int32_t>(lines[l]), &p), qel::S_OK);
        const bool firstOfPara = l == 0 || text.compare(lines[l] + 1, 6, u"Second") == 0;
        const bool lastOfPara = l + 1 == lines.size() || text.compare(lines[l + 1] + 1, 6, u"Second") == 0;
        EXPECT_EQ(p.BeforeSpace, firstOfPara ? 30.0f : 0.0f) << l;
        EXPECT_EQ(p.AfterSpace, lastOfPara ? 40.0f : 0.0f) << l;
    }
}

}  // namespace
}  // namespace qeltitle

namespace qeltitle {
namespace {

// Languages: Korean breaks only between its words; tags are checked; the face for a language
// covers it; a subtitle file says its language in WebVTT's header or its name.
TEST(Language, KoreanWordsTagsFacesAndSubtitleFiles) {
    const std::u16string korean = Utf8ToUtf16("한국어 자막도 화면 안에 들어가야 합니다. 띄어쓰기가 있어서");
    for (const BreakOpportunity& b : LineBreakOpportunities(korean, "ko"))
        EXPECT_TRUE(b.at == korean.size() || korean[b.at - 1] == u' ') << b.at;
    for (const char* good : {"ja", "zh-Hans", "zh-Hant", "ko", "th", "ar", "pt-BR", "sr-Latn-RS"})
        EXPECT_TRUE(IsLanguageTag(good)) << good;
    for (const char* bad : {"", "xx", "ja--", "english", "-ja", "zh_Hant", "1234"}) EXPECT_FALSE(IsLanguageTag(bad)) << bad;
    // The test fonts: Thai is written in Noto Sans Thai, the rest of these languages in none.
    EXPECT_EQ(FaceForLanguage("th"), "Noto Sans Thai");
    EXPECT_EQ(FaceForLanguage("xx"), "");
    const struct {
        const char* bytes;
        const char* path;
        const char* language;
    } files[] = {
        {"WEBVTT\nLanguage: ja\n\n00:01.000 --> 00:02.000\nはい\n", "talk.vtt", "ja"},
        {"\xEF\xBB\xBFWEBVTT\r\nKind: captions\r\nLanguage:  zh-Hant \r\n\r\n", "talk.en.vtt", "zh-Hant"},
        {"WEBVTT\n\n00:01.000 --> 00:02.000\nLanguage: fr\n", "dir.v2/talk.vtt", ""},
        {"1\n00:00:01,000 --> 00:00:02,000\nx\n", "/tmp/talk.ja.srt", "ja"},
        {"1\n00:00:01,000 --> 00:00:02,000\nx\n", "talk.zh-Hans.srt", "zh-Hans"},
        {"1\n00:00:01,000 --> 00:00:02,000\nx\n", "talk.final.srt", ""},
        {"1\n00:00:01,000 --> 00:00:02,000\nx\n", ".ja.srt", "ja"},
    };
    for (const auto& f : files) EXPECT_EQ(SubtitleLanguage(f.bytes, f.path), f.language) << f.path;
}

}  // namespace
}  // namespace qeltitle
