// Cues made into caption titles: the lines each cue's string gets, the frames it is shown on,
// overlapping cues stacked upwards, and every caption inside the safe area whatever its language,
// preset and frame shape.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "authoring/Captions.h"
#include "authoring/PlateJson.h"
#include "authoring/Text.h"
#include "player/TitlePlayer.h"
#include "player/TitleFiles.h"

namespace qeltitle {
namespace {

std::vector<Cue> Read(const std::string& srt) {
    std::vector<Cue> cues;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_TRUE(ReadSubtitles(srt, "t.srt", SubtitleFormat::SubRip, cues, warnings, error)) << error;
    return cues;
}

TEST(Captions, CuesGiveWrappedStringsOnTheirFrames) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    CaptionStyle style = DefaultCaptionStyle(*host);
    style.width = 900;
    const struct {
        const char* name;
        std::string srt;
        std::string text;  // the caption string, "|" between lines
        int first, last;   // frames at 25 fps
    } cases[] = {
        {"one line", "00:00:01,000 --> 00:00:02,000\nShort words\n", "Short words", 25, 49},
        {"balanced lines", "00:00:00,500 --> 00:00:01,000\nthis caption is much too long for a single line of nine hundred\n",
         "this caption is much too long|for a single line of nine hundred", 13, 24},
        {"the author's lines kept", "00:00:00,000 --> 00:00:01,000\n- Who?\n- Me.\n", "- Who?|- Me.", 0, 24},
        {"three author lines rewrapped", "00:00:00,000 --> 00:00:01,000\na\nb\nc\n", "a b c", 0, 24},
        {"italic stays in place", "00:00:00,000 --> 00:00:00,100\n<i>just</i> one\n", "just one", 0, 2},
        // Measured by advances: in a right-to-left line the logical ends are not the visual ends.
        {"right to left balanced", "00:00:00,000 --> 00:00:01,000\nשלום לכולם וזה כיתוב ארוך מדי בשביל שורה אחת של תשע מאות\n",
         "שלום לכולם וזה כיתוב ארוך מדי|בשביל שורה אחת של תשע מאות", 0, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CaptionTitle> titles;
        std::vector<std::string> warnings;
        ASSERT_TRUE(MakeCaptionTitles(Read(c.srt), style, 1920, 1080, 25, titles, warnings, error)) << error;
        ASSERT_EQ(titles.size(), 1u);
        EXPECT_EQ(titles[0].first, c.first);
        EXPECT_EQ(titles[0].last, c.last);
        ASSERT_TRUE(LoadTitleText(*host, titles[0].document, "caption"));
        std::u16string text(host->GetCharCount(0) + 1, u'\0');
        host->GetText(0, text.data());
        text.pop_back();
        std::string shown = Utf16ToUtf8(text);
        for (size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.replace(at, 2, "|");
        EXPECT_EQ(shown, c.text);
    }
}

TEST(Captions, OverlappingCuesStackUpwards) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    const CaptionStyle style = DefaultCaptionStyle(*host);
    std::vector<CaptionTitle> titles;
    std::vector<std::string> warnings;
    ASSERT_TRUE(MakeCaptionTitles(Read("00:00:00,000 --> 00:00:03,000\nFirst\n\n00:00:01,000 --> 00:00:02,000\nSecond\n\n"
                                       "00:00:04,000 --> 00:00:05,000\nThird\n"),
                                  style, 1920, 1080, 25, titles, warnings, error));
    ASSERT_EQ(titles.size(), 3u);
    qel::RectF box[3]{};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(LoadTitleText(*host, titles[i].document, "caption"));
        host->GetStringRect(0, &box[i]);
    }
    EXPECT_LE(box[1].y + box[1].height, box[0].y + 1) << "the second cue sits above the first";
    EXPECT_FLOAT_EQ(box[2].y, box[0].y) << "a cue alone takes the anchored place again";
}

}  // namespace
}  // namespace qeltitle

namespace qeltitle {
namespace {

// --words: a cue per word becomes captions of timed words, split at pauses, sentence ends and a
// number of words.
TEST(Captions, WordCuesGroupIntoTimedCaptions) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    CaptionStyle style = DefaultCaptionStyle(*host);
    style.phraseGap = 0.5;
    style.phraseWords = 3;
    std::string srt;
    const struct {
        double start;
        const char* word;
    } words[] = {{0.0, "One"}, {0.3, "two."}, {0.6, "Three"}, {2.0, "after"}, {2.3, "a"}, {2.6, "pause"}, {2.9, "then"}};
    const auto time = [](double s) {
        const int ms = static_cast<int>(s * 1000 + 0.5);
        char text[32];
        std::snprintf(text, sizeof text, "00:00:%02d,%03d", ms / 1000, ms % 1000);
        return std::string(text);
    };
    for (const auto& w : words) srt += time(w.start) + " --> " + time(w.start + 0.3) + "\n" + w.word + "\n\n";
    const std::vector<Cue> captions = GroupWordCues(Read(srt), style);
    std::vector<std::string> texts;
    for (const Cue& c : captions) texts.push_back(c.Text());
    EXPECT_EQ(texts, (std::vector<std::string>{"One two.", "Three", "after a pause", "then"}));
    ASSERT_EQ(captions.size(), 4u);
    EXPECT_TRUE(captions[2].timedWords);
    EXPECT_DOUBLE_EQ(captions[2].start, 2.0);
    EXPECT_DOUBLE_EQ(captions[2].end, 2.9);
    EXPECT_DOUBLE_EQ(captions[2].pieces.back().time, 2.6);  // "pause" is spoken from its own cue's start
}

}  // namespace
}  // namespace qeltitle

namespace qeltitle {
namespace {

std::string ReadPreset(const std::string& name) {
    std::ifstream in(std::string(QEL_PRESET_DIR) + "/" + name + ".json");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Long cues in several scripts, under every preset on landscape, portrait and square frames: each
// caption drawn at rest lies inside the frame's safe area, and each cue that had to shrink or be
// split is named once, by number and line.
TEST(Captions, EveryCueStaysInTheSafeAreaInEveryLanguagePresetAndShape) {
    const std::string srt =
        "1\n00:00:00,000 --> 00:00:06,000\nThis is a rather long English caption with twenty-six words in it, which is far "
        "too many for two lines of text on a phone screen today.\n\n"
        "2\n00:00:06,000 --> 00:00:12,000\n日本語の字幕はスペースがないので、これまでは一行のまま画面の外にはみ出していました。"
        "今は正しく折り返されます。\n\n"
        "3\n00:00:12,000 --> 00:00:18,000\n中文字幕没有空格，以前总是一整行超出画面的两边。现在应该按照规则正确换行。\n\n"
        "4\n00:00:18,000 --> 00:00:24,000\nภาษาไทยไม่มีช่องว่างระหว่างคำ แต่ต้องตัดบรรทัดให้ถูกต้องตามพยางค์และคำ\n\n"
        "5\n00:00:24,000 --> 00:00:30,000\nهذه جملة عربية طويلة إلى حد ما يجب أن تلتف داخل الإطار دون أن تخرج منه أبدا\n\n"
        "6\n00:00:30,000 --> 00:00:36,000\nזהו משפט עברי ארוך למדי עם מספרים כמו 2024 ו-15 שצריך להישאר בתוך המסגרת\n\n"
        "7\n00:00:36,000 --> 00:00:42,000\nShort one.\n";
    const std::vector<Cue> cues = Read(srt);
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    for (const char* preset : {"clean", "social", "news", "karaoke"}) {
        CaptionStyle style = DefaultCaptionStyle(*host);
        ASSERT_TRUE(ReadCaptionStyle(*host, ReadPreset(preset), preset, style, error)) << error;
        for (const auto& [w, h] : {std::pair{960, 540}, std::pair{540, 960}, std::pair{720, 720}}) {
            SCOPED_TRACE(std::string(preset) + " " + std::to_string(w) + "x" + std::to_string(h));
            std::vector<CaptionTitle> titles;
            std::vector<std::string> warnings;
            ASSERT_TRUE(MakeCaptionTitles(cues, style, w, h, 5, titles, warnings, error)) << error;
            const float scale = CaptionScale(style, w, h);
            const SafeArea safe = CaptionSafeArea(static_cast<int>(std::lround(w / scale)),
                                                  static_cast<int>(std::lround(h / scale)));
            std::set<int> drawn;
            for (const CaptionTitle& t : titles) {
                drawn.insert(t.cueLine);
                Expected<TitlePlayer> player = TitlePlayer::FromDocument(t.document, "caption");
                ASSERT_TRUE(player) << player.Message();
                ASSERT_TRUE(player->Place(PlayerFrame{w, h, scale, true, 0}));
                Image frame;
                ASSERT_TRUE(player->Draw(Image(w, h), 0.5, frame));
                int left = w, top = h, right = -1, bottom = -1;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (frame.At(x, y)[3] > 16)
                            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                            bottom = std::max(bottom, y);
                ASSERT_GE(right, 0) << "cue at line " << t.cueLine << " draws nothing";
                EXPECT_GE(left, std::floor(safe.left * scale) - 1) << "line " << t.cueLine;
                EXPECT_LE(right, w - std::floor(safe.right * scale)) << "line " << t.cueLine;
                EXPECT_GE(top, std::floor(safe.top * scale) - 1) << "line " << t.cueLine;
                EXPECT_LE(bottom, h - std::floor(safe.bottom * scale)) << "line " << t.cueLine;
            }
            EXPECT_EQ(drawn.size(), cues.size()) << "every cue is shown";
            // One warning per cue that shrank or split, naming it; the short cue is never named.
            std::map<std::string, int> named;
            for (const std::string& warning : warnings) {
                const size_t paren = warning.find(')');
                ASSERT_EQ(warning.rfind("cue ", 0), 0u) << warning;
                ++named[warning.substr(0, paren + 1)];
                float set = 0, asked = 0;
                if (const size_t at = warning.find("set at size "); at != std::string::npos) {
                    ASSERT_EQ(std::sscanf(warning.c_str() + at, "set at size %f instead of %f", &set, &asked), 2);
                    EXPECT_LT(set, asked) << warning;
                }
            }
            for (const auto& [cue, count] : named) EXPECT_EQ(count, 1) << cue;
            EXPECT_EQ(named.count("cue 7 (line 26)"), 0u);
            if (w < h) {
                EXPECT_EQ(named.count("cue 1 (line 2)"), 1u) << "the long English cue does not fit a phone";
            }
        }
    }
}

}  // namespace
}  // namespace qeltitle

namespace qeltitle {
namespace {

// Karaoke, drawn: the highlight sweeps across the sung word in reading direction (left to right,
// right to left in Hebrew), a sung word stays lit with stayLit or takes its past looks, and moves
// on without. Measured as the share of the lit colour in each half of the first word, halfway
// through its time (1 s) and after it (3 s).
TEST(Captions, KaraokeSweepsInReadingDirectionAndSungWordsStayLit) {
    enum Looks { kText, kLit, kPast };
    const struct {
        const char* what;
        const char* text;
        bool sweep, stayLit, past;
        Looks firstHalf, secondHalf;  // in reading order, at 1 s
        Looks after;                  // the whole word at 3 s
    } cases[] = {
        {"sweep", "Morning <00:02.000>light", true, true, false, kLit, kText, kLit},
        {"right to left", "בוקר <00:02.000>טוב", true, true, false, kLit, kText, kLit},
        {"at once, moving on", "Morning <00:02.000>light", false, false, false, kLit, kLit, kText},
        {"past looks", "Morning <00:02.000>light", true, true, true, kLit, kText, kPast},
    };
    HostPtr host = std::move(*NewHost());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Cue> cues;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(ReadSubtitles(std::string("WEBVTT\n\n00:00.000 --> 00:04.000\n") + c.text + "\n", "k.vtt",
                                  SubtitleFormat::WebVtt, cues, warnings, error))
            << error;
        CaptionStyle style = DefaultCaptionStyle(*host);
        style.in = style.out = CaptionEffect{};
        style.text.face.Color1 = style.text.face.Color2 = 0xFFFFFF;     // white
        style.highlight = style.text;
        style.highlight->face.Color1 = style.highlight->face.Color2 = 0x0000FF;  // red (0x00BBGGRR)
        if (c.past) {
            style.past = style.text;
            style.past->face.Color1 = style.past->face.Color2 = 0xFF0000;  // blue
        }
        style.sweep = c.sweep;
        style.stayLit = c.stayLit;
        std::vector<CaptionTitle> titles;
        ASSERT_TRUE(MakeCaptionTitles(cues, style, 960, 540, 25, titles, warnings, error)) << error;
        ASSERT_EQ(titles.size(), 1u);
        Expected<TitlePlayer> player = TitlePlayer::FromDocument(titles[0].document, "karaoke");
        ASSERT_TRUE(player) << player.Message();
        ASSERT_TRUE(player->Place(PlayerFrame{960, 540, 0.5f, true, 1}));
        // The first word's box: string 0 is the caption, its first word before the space.
        qel::ITitleHost& title = player->Host();
        std::u16string text(size_t(title.GetCharCount(0)) + 1, u'\0');
        title.GetText(0, text.data());
        qel::RectF box{}, next{};
        title.GetCharRect(0, 0, &box, 0);
        for (size_t i = 1; i < text.size() && text[i] != u' ' && title.GetCharRect(0, int(i), &next, 0) == qel::S_OK; ++i) {
            const float right = std::max(box.x + box.width, next.x + next.width);
            box.x = std::min(box.x, next.x);
            box.width = right - box.x;
        }
        const bool rtl = c.text[0] & 0x80;
        // The looks of the word's halves in reading order, by the colour most of their ink has.
        auto halves = [&](double seconds) {
            Image frame;
            EXPECT_TRUE(player->Draw(Image(960, 540), seconds / 4, frame));
            int counts[2][3] = {};
            for (int y = int(box.y); y < int(box.y + box.height); ++y)
                for (int x = int(box.x); x < int(box.x + box.width); ++x) {
                    const uint8_t* p = frame.At(x, y);
                    if (p[3] < 250) continue;
                    const int half = (x < box.x + box.width / 2) != rtl ? 0 : 1;
                    if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++counts[half][kText];
                    else if (p[2] > 200 && p[0] < 60 && p[1] < 60) ++counts[half][kLit];
                    else if (p[0] > 200 && p[1] < 60 && p[2] < 60) ++counts[half][kPast];
                }
            std::pair<Looks, Looks> out;
            for (int h = 0; h < 2; ++h) {
                const int* n = counts[h];
                const Looks most = n[kLit] > n[kText] && n[kLit] > n[kPast] ? kLit : n[kPast] > n[kText] ? kPast : kText;
                (h == 0 ? out.first : out.second) = most;
            }
            return out;
        };
        const auto during = halves(1.0), after = halves(3.0);
        EXPECT_EQ(during.first, c.firstHalf);
        EXPECT_EQ(during.second, c.secondHalf);
        EXPECT_EQ(after.first, c.after);
        EXPECT_EQ(after.second, c.after);
    }
}


}  // namespace
}  // namespace qeltitle

namespace qeltitle {
namespace {

// Presets with plates: news keeps a word-timed caption one string (kerned, and wiped away whole)
// on one band per line; social gives the spoken word's lit copy a pill; --box puts clean on a box
// per line.
TEST(Captions, PresetsDrawTheirPlates) {
    std::vector<Cue> cues;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadSubtitles("WEBVTT\n\n00:00.000 --> 00:04.000\nOne <00:01.000>two <00:02.000>three\n", "p.vtt",
                              SubtitleFormat::WebVtt, cues, warnings, error));
    HostPtr host = std::move(*NewHost());
    const QelPlatesV1* plates = PlatesExtension();
    ASSERT_NE(plates, nullptr);
    struct Case {
        const char* preset;
        bool box;
        int strings;
        std::vector<int> platesPerString;
    };
    const Case cases[] = {{"news", false, 1, {1}},
                          {"social", false, 6, {0, 1, 0, 1, 0, 1}},
                          {"clean", true, 1, {1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        CaptionStyle style = DefaultCaptionStyle(*host);
        ASSERT_TRUE(ReadCaptionStyle(*host, ReadPreset(c.preset), c.preset, style, error)) << error;
        if (c.box) style.plate = CaptionBox();
        std::vector<CaptionTitle> titles;
        ASSERT_TRUE(MakeCaptionTitles(cues, style, 1920, 1080, 25, titles, warnings, error)) << error;
        ASSERT_EQ(titles.size(), 1u);
        ASSERT_TRUE(LoadTitleText(*host, titles[0].document, "caption"));
        ASSERT_EQ(host->GetStringCount(), c.strings);
        for (int row = 0; row < c.strings; ++row) {
            EXPECT_EQ(plates->GetPlateCount(host.get(), row), c.platesPerString[size_t(row)]) << row;
            QelPlate p{};
            if (plates->GetPlate(host.get(), row, 0, &p) == qel::S_OK && c.strings == 1) {
                EXPECT_EQ(p.Per, QEL_PLATE_PER_LINE);
            }
        }
    }
}

// WebVTT cue settings drawn: the box of each caption's ink on a 960x540 frame, as fractions of it.
TEST(Captions, CueSettingsPlaceTheCaption) {
    struct Box {
        double left, top, right, bottom;
    };
    const struct {
        const char* settings;
        const char* text;
        bool (*where)(const Box&);
    } cases[] = {
        {"", "Plain", [](const Box& b) { return b.bottom > 0.85 && std::fabs(b.left + b.right - 1) < 0.02; }},
        {"line:0", "At the top", [](const Box& b) { return b.top < 0.08 && std::fabs(b.left + b.right - 1) < 0.02; }},
        {"line:-1", "At the bottom", [](const Box& b) { return b.bottom > 0.88; }},
        {"line:1", "One line down", [](const Box& b) { return b.top > 0.1 && b.top < 0.16; }},
        {"line:50%,center", "Middle", [](const Box& b) { return std::fabs(b.top + b.bottom - 1) < 0.03; }},
        {"position:10%,line-left", "At the left", [](const Box& b) { return b.left > 0.09 && b.left < 0.115; }},
        {"position:90%,line-right", "At the right", [](const Box& b) { return b.right > 0.885 && b.right < 0.91; }},
        {"align:left", "Left", [](const Box& b) { return b.left < 0.07; }},
        {"vertical:rl", "縦書きの字幕", [](const Box& b) { return b.bottom - b.top > 5 * (b.right - b.left) && b.right > 0.9; }},
        {"vertical:lr", "縦書きの字幕", [](const Box& b) { return b.bottom - b.top > 5 * (b.right - b.left) && b.left < 0.1; }},
        {"size:20%", "a caption wrapped to a fifth of the frame",
         [](const Box& b) { return b.right - b.left < 0.21 && b.bottom - b.top > 0.08; }},  // more than one line
    };
    HostPtr host = std::move(*NewHost());
    const CaptionStyle style = DefaultCaptionStyle(*host);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        Expected<SubtitleFile> file = ReadSubtitleFile(
            std::string("WEBVTT\n\n00:00.000 --> 00:01.000 ") + c.settings + "\n" + c.text + "\n", "p.vtt", SubtitleFormat::Auto);
        ASSERT_TRUE(file) << file.Message();
        std::vector<CaptionTitle> titles;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(MakeCaptionTitles(file->cues, style, 960, 540, 25, titles, warnings, error)) << error;
        Expected<TitlePlayer> player = TitlePlayer::FromDocument(titles.at(0).document, "caption");
        ASSERT_TRUE(player && player->Place(PlayerFrame{960, 540, CaptionScale(style, 960, 540), true, 0}));
        Image frame;
        ASSERT_TRUE(player->Draw(Image(960, 540), 0.5, frame));
        Box box{1, 1, 0, 0};
        for (int y = 0; y < 540; ++y)
            for (int x = 0; x < 960; ++x)
                if (frame.At(x, y)[3] > 128)
                    box = {std::min(box.left, x / 960.0), std::min(box.top, y / 540.0), std::max(box.right, x / 960.0),
                           std::max(box.bottom, y / 540.0)};
        EXPECT_TRUE(c.where(box)) << "ink from " << box.left << "," << box.top << " to " << box.right << "," << box.bottom;
    }
}

}  // namespace
}  // namespace qeltitle
