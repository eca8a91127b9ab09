// Cues made into caption titles: the lines each cue's string gets, the frames it is shown on, and
// overlapping cues stacked upwards.
#include <gtest/gtest.h>

#include <cstdio>

#include "authoring/Captions.h"
#include "authoring/Text.h"
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
