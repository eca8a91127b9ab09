// Subtitle files read into cues: one table of inputs with the text and times they give, one of
// refused inputs with the line and reason named.
#include <gtest/gtest.h>

#include "authoring/Subtitles.h"

namespace qeltitle {
namespace {

// A cue as the table writes it: "start-end|text", styled runs marked *italic* and #bold#.
std::string Describe(const Cue& cue) {
    char times[64];
    std::snprintf(times, sizeof times, "%.3f-%.3f|", cue.start, cue.end);
    std::string text = times;
    for (const CuePiece& p : cue.pieces) text += (p.italic ? "*" : "") + std::string(p.bold ? "#" : "") + p.text +
                                                 (p.bold ? "#" : "") + (p.italic ? "*" : "");
    return text;
}

TEST(Subtitles, InputsGiveTheirCues) {
    const struct {
        const char* name;
        std::string file;
        std::vector<std::string> cues;
    } cases[] = {
        {"SubRip LF", "1\n00:00:01,000 --> 00:00:02,500\nHello\n\n2\n00:00:03,000 --> 00:00:04,000\nBye\n",
         {"1.000-2.500|Hello", "3.000-4.000|Bye"}},
        {"SubRip CRLF with BOM", "\xEF\xBB\xBF" "1\r\n00:00:01,000 --> 00:00:02,000\r\nOne\r\ntwo\r\n\r\n",
         {"1.000-2.000|One\ntwo"}},
        {"lone CR line ends", "1\r00:00:01,000 --> 00:00:02,000\rOne\r", {"1.000-2.000|One"}},
        {"no cue numbers, point before milliseconds, no hours", "00:01.5 --> 00:02.25\nShort\n",
         {"1.500-2.250|Short"}},
        {"missing blank line before the next cue",
         "1\n00:00:01,000 --> 00:00:02,000\nFirst\n2\n00:00:02,000 --> 00:00:03,000\nSecond\n",
         {"1.000-2.000|First", "2.000-3.000|Second"}},
        {"position box ignored, tags to styles",
         "1\n00:00:01,000 --> 00:00:02,000 X1:10 X2:20 Y1:5 Y2:9\n<i>So</i> <b>bold</b> <font color=\"red\">red</font>{\\an8}\n",
         {"1.000-2.000|*So* #bold# red"}},
        {"cues sorted by start", "00:00:05,000 --> 00:00:06,000\nLate\n\n00:00:01,000 --> 00:00:02,000\nEarly\n",
         {"1.000-2.000|Early", "5.000-6.000|Late"}},
        {"WebVTT with settings, identifiers, notes and entities",
         "WEBVTT - a header\nKind: captions\n\nNOTE a note\nover two lines\n\nSTYLE\n::cue { color: red }\n\n"
         "intro\n00:01.000 --> 00:02.000 align:start line:10%\n<v Anna>Tom &amp; Jerry &lt;3</v>\n\n"
         "01:00:00.000 --> 01:00:01.000\n<c.loud>Later</c>\n",
         {"1.000-2.000|Tom & Jerry <3", "3600.000-3601.000|Later"}},
        {"WebVTT CRLF and BOM", "\xEF\xBB\xBFWEBVTT\r\n\r\n00:00.500 --> 00:01.000\r\n<i>Hi</i>\r\n",
         {"0.500-1.000|*Hi*"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Cue> cues;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(ReadSubtitles(c.file, "in", SubtitleFormat::Auto, cues, warnings, error)) << error;
        std::vector<std::string> got;
        for (const Cue& cue : cues) got.push_back(Describe(cue));
        EXPECT_EQ(got, c.cues);
    }
}

TEST(Subtitles, InlineTimestampsTimeTheWordsAfterThem) {
    std::vector<Cue> cues;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadSubtitles("WEBVTT\n\n00:01.000 --> 00:03.000\nOne <00:00:01.500>two <00:00:09.000>three\n", "w.vtt",
                              SubtitleFormat::Auto, cues, warnings, error));
    ASSERT_EQ(cues.size(), 1u);
    EXPECT_TRUE(cues[0].timedWords);
    ASSERT_EQ(cues[0].pieces.size(), 3u);
    EXPECT_EQ(cues[0].pieces[1].text, "two ");
    EXPECT_DOUBLE_EQ(cues[0].pieces[0].time, 1.0);
    EXPECT_DOUBLE_EQ(cues[0].pieces[1].time, 1.5);
    EXPECT_DOUBLE_EQ(cues[0].pieces[2].time, 3.0);  // a time past the cue is held to its end
}

TEST(Subtitles, MalformedFilesAreRefusedWithLineAndReason) {
    const struct {
        const char* file;
        SubtitleFormat format;
        const char* error;
    } cases[] = {
        {"1\n00:00:01,000 --> 00:00:0x,000\nText\n", SubtitleFormat::SubRip, "s:2: bad end time '00:00:0x,000'"},
        {"1\n00:00:61,000 --> 00:01:02,000\nText\n", SubtitleFormat::SubRip, "s:2: bad start time '00:00:61,000'"},
        {"1\n00:00:05,000 --> 00:00:04,000\nText\n", SubtitleFormat::SubRip, "s:2: the cue ends before it starts"},
        {"Just some text\nand more\n", SubtitleFormat::SubRip, "s:1: expected a cue number or the cue's times"},
        {"1\n00:00:01,000 --> 00:00:02,000\ncaf\xE9\n", SubtitleFormat::SubRip, "s:3: not UTF-8 text (byte 0xE9)"},
        {"\xFF\xFE" "1\0", SubtitleFormat::Auto, "s:1: the file is UTF-16"},
        {"00:00.000 --> 00:01.000\nNo header\n", SubtitleFormat::WebVtt, "s:1: a WebVTT file starts with the line WEBVTT"},
        {"WEBVTT\n00:00.000 --> 00:01.000\nText\n", SubtitleFormat::WebVtt, "s:2: a blank line must end the WEBVTT header"},
        {"WEBVTT\n\nan id\nnot times\n", SubtitleFormat::WebVtt, "s:3: expected the cue's times"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<Cue> cues;
        std::vector<std::string> warnings;
        std::string error;
        EXPECT_FALSE(ReadSubtitles(c.file, "s", c.format, cues, warnings, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_TRUE(cues.empty());
    }
}

}  // namespace
}  // namespace qeltitle
