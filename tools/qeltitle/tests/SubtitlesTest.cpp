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

// Cue settings as read and written again: the written text is the oracle, every setting that
// reads comes back in its plain spelling, and what a player would ignore gives a warning.
TEST(Subtitles, CueSettingsReadAndWriteBack) {
    const struct {
        const char* settings;
        const char* written;
        size_t warnings;
    } cases[] = {
        {"line:0", "line:0", 0},
        {"line:-1,end", "line:-1,end", 0},
        {"line:12.5%,middle position:10%,line-left", "line:12.5%,center position:10%,line-left", 0},
        {"position:90%,end size:40% align:right", "position:90%,line-right size:40% align:right", 0},
        {"vertical:rl line:2", "vertical:rl line:2", 0},
        {"vertical:lr align:start", "vertical:lr align:start", 0},
        {"region:fred align:left", "align:left region:fred", 0},
        {"region:fred line:3", "line:3", 1},  // a cue placed by line leaves its region
        {"region:nobody", "", 1},
        {"line:101% position:-5% size:abc vertical:up align:justify bogus", "", 6},
        {"line:2,sideways", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::string file = std::string("WEBVTT\n\nREGION\nid:fred width:40% lines:2 regionanchor:0%,100%\n"
                                             "viewportanchor:10%,90% scroll:up\n\n00:01.000 --> 00:02.000 ") +
                                 c.settings + "\nText\n";
        Expected<SubtitleFile> read = ReadSubtitleFile(file, "s.vtt", SubtitleFormat::Auto);
        ASSERT_TRUE(read) << read.Message();
        ASSERT_EQ(read->cues.size(), 1u);
        EXPECT_EQ(FormatCueSettings(read->cues[0].placement), c.written);
        EXPECT_EQ(read->warnings.size(), c.warnings);
        if (read->cues[0].placement.region) {
            const CueRegion& r = *read->cues[0].placement.region;
            EXPECT_EQ(r, (CueRegion{"fred", 40, 2, 0, 100, 10, 90, true}));
        }
    }
}

TEST(Subtitles, StyleBlocksGiveTheCueRule) {
    Expected<SubtitleFile> read = ReadSubtitleFile(
        "WEBVTT\n\nSTYLE\n/* the house look */\n::cue {\n  color: rgba(255, 255, 0, 0.5); background: #000c;\n"
        "  font-family: 'DejaVu Serif', serif; font-size: 5vh; font-weight: 700 !important;\n"
        "  font-style: italic; text-decoration: underline; text-shadow: 1px 1px black }\n"
        "::cue(.loud) { color: red }\n\n00:01.000 --> 00:02.000\nText\n",
        "s.vtt", SubtitleFormat::Auto);
    ASSERT_TRUE(read) << read.Message();
    const CueCss& css = read->css;
    EXPECT_EQ(css.color, 0xFFFF0080u);
    EXPECT_EQ(css.background, 0x000000CCu);
    EXPECT_EQ(css.fontFamily, "DejaVu Serif");
    EXPECT_EQ(css.fontSize, 54.0);
    EXPECT_EQ(css.bold, true);
    EXPECT_EQ(css.italic, true);
    EXPECT_EQ(css.underline, true);
    EXPECT_EQ(read->warnings.size(), 2u);  // text-shadow, and the rule for a class
}

// Style and region blocks come before the cues: later ones are ignored, as players do, so a region
// redefined between two cues cannot give them different boxes under one name.
TEST(Subtitles, BlocksAfterTheFirstCueAreIgnored) {
    Expected<SubtitleFile> read = ReadSubtitleFile(
        "WEBVTT\n\nREGION\nid:r width:40%\n\n00:01.000 --> 00:02.000 region:r\nOne\n\n"
        "REGION\nid:r width:90%\n\nSTYLE\n::cue { color: red }\n\n00:03.000 --> 00:04.000 region:r\nTwo\n",
        "s.vtt", SubtitleFormat::Auto);
    ASSERT_TRUE(read) << read.Message();
    ASSERT_EQ(read->cues.size(), 2u);
    EXPECT_EQ(read->cues[1].placement.region->width, 40);
    EXPECT_TRUE(read->css.Empty());
    EXPECT_EQ(read->warnings.size(), 2u);
}

// A line of spaces inside a cue would end it when read again: the writer leaves it out.
TEST(Subtitles, WebVttWriterKeepsEachCueWhole) {
    Cue cue;
    cue.start = 1;
    cue.end = 2;
    cue.pieces = {{"One\n  \n", false, false, 1}, {"Two", true, false, 1}};
    Expected<SubtitleFile> back = ReadSubtitleFile(WriteWebVtt({cue, cue}, {}), "w.vtt", SubtitleFormat::WebVtt);
    ASSERT_TRUE(back) << back.Message();
    ASSERT_EQ(back->cues.size(), 2u);
    EXPECT_EQ(back->cues[0].Text(), "One\nTwo");
}

// A file written and read again keeps its cues, times, settings, styles and word times.
TEST(Subtitles, WebVttRoundTrip) {
    const std::string file =
        "WEBVTT\n\nSTYLE\n::cue {\n  color: #FFFF00FF;\n  font-weight: bold;\n}\n\n"
        "REGION\nid:r1 width:50% lines:2 regionanchor:0%,100% viewportanchor:25%,90% scroll:up\n\n"
        "intro\n00:00:01.000 --> 00:00:02.500 line:0 position:10%,line-left\n<i>Tom</i> &amp; <b>Jerry</b>\nsecond line\n\n"
        "00:00:03.000 --> 01:00:04.000 align:left region:r1\nOne <00:00:03.500><c>two </c><00:00:03.750><c>three</c>\n\n";
    Expected<SubtitleFile> first = ReadSubtitleFile(file, "a.vtt", SubtitleFormat::Auto);
    ASSERT_TRUE(first) << first.Message();
    const std::string written = WriteWebVtt(first->cues, first->css);
    EXPECT_EQ(written, file);
    Expected<SubtitleFile> second = ReadSubtitleFile(written, "b.vtt", SubtitleFormat::Auto);
    ASSERT_TRUE(second) << second.Message();
    ASSERT_EQ(second->cues.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Describe(second->cues[i]), Describe(first->cues[i]));
        EXPECT_EQ(second->cues[i].placement, first->cues[i].placement);
    }
    EXPECT_DOUBLE_EQ(second->cues[1].pieces[2].time, 3.75);
}

}  // namespace
}  // namespace qeltitle
