// ASS scripts through the built tool, with libass (ffmpeg's `ass` filter) as the oracle: the same
// script drawn by both on black, each event's drawing compared; and a script read and written
// again. Every program runs under `timeout`.
#include "ToolTest.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Ass : public qeltitle_test::ToolTest {};

// What an event draws over black on a `width` x `height` frame: the box of its bright pixels, the
// brightest value of each channel (its fill colour, times its opacity), and the right end of
// its white (a karaoke sweep's edge).
struct Drawn {
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1, white = -1;
    int peak[3] = {0, 0, 0};
};
Drawn Measure(const std::string& rgba, size_t frame, int width, int height) {
    Drawn d;
    const size_t base = frame * width * height * 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = base + (static_cast<size_t>(y) * width + x) * 4;
            if (at + 3 >= rgba.size()) return d;
            int c[3];
            for (int k = 0; k < 3; ++k)  // over black
                c[k] = static_cast<uint8_t>(rgba[at + k]) * static_cast<uint8_t>(rgba[at + 3]) / 255;
            if (std::max({c[0], c[1], c[2]}) <= 100) continue;
            d.x0 = std::min(d.x0, x), d.x1 = std::max(d.x1, x), d.y0 = std::min(d.y0, y), d.y1 = std::max(d.y1, y);
            if (std::min({c[0], c[1], c[2]}) > 200) d.white = std::max(d.white, x);
            for (int k = 0; k < 3; ++k) d.peak[k] = std::max(d.peak[k], c[k]);
        }
    return d;
}

// A 384x288 script drawn on a 4:3 frame, and on a wider one (positions stretched, the text not).
class AssOnFrame : public Ass, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(AssOnFrame, EventsAreDrawnWhereLibassDrawsThem) {
    if (Shell("timeout 30 ffmpeg -hide_banner -filters | grep -qw ass") != 0) GTEST_SKIP() << "ffmpeg has no ass filter";
    const auto [width, height] = GetParam();
    // Each event alone in its second, compared at its middle.
    struct Case {
        const char* what;
        const char* margins;  // MarginL, MarginR, MarginV of the event
        const char* text;
        const char* alongside = nullptr;  // a second event at the same time
        const char* style = "Default";
    };
    const Case cases[] = {
        {"bottom centre, outline and shadow", "0,0,0", "Outline red"},
        {"\\an1", "0,0,0", "{\\an1\\bord0\\shad0}Left bottom"},
        {"\\an3 green", "0,0,0", "{\\an3\\bord0\\shad0\\c&H00FF00&}Right bottom"},
        {"\\an4", "0,0,0", "{\\an4\\bord0\\shad0}Mid left"},
        {"\\an5", "0,0,0", "{\\an5\\bord0\\shad0}Middle"},
        {"\\an6", "0,0,0", "{\\an6\\bord0\\shad0}Mid right"},
        {"\\an7", "0,0,0", "{\\an7\\bord0\\shad0}Top left"},
        {"\\an8", "0,0,0", "{\\an8\\bord0\\shad0}Top"},
        {"\\an9", "0,0,0", "{\\an9\\bord0\\shad0}Right top"},
        {"event margins", "60,0,30", "{\\bord0\\shad0}Margins"},
        {"\\pos", "0,0,0", "{\\bord0\\shad0\\an1\\pos(40,100)}At a place"},
        {"\\move, halfway", "0,0,0", "{\\bord0\\shad0\\move(50,50,250,200)}Move"},
        {"\\1a half", "0,0,0", "{\\bord0\\shad0\\1a&H80&}Half"},
        {"\\fad, halfway in", "0,0,0", "{\\bord0\\shad0\\fad(960,0)}Fading"},
        {"\\frz", "0,0,0", "{\\bord0\\shad0\\frz30\\an5\\pos(192,144)}Turned text"},
        {"\\fscx \\fsp", "0,0,0", "{\\bord0\\shad0\\fscx150\\fsp3}Wide"},
        {"\\fs \\b \\i \\fn", "0,0,0", "{\\bord0\\shad0\\fs30\\b1\\i1\\fnLiberation Sans}Faces"},
        {"two lines", "0,0,0", "{\\bord0\\shad0}Two\\Nlines"},
        {"wrapped, evened out", "0,0,0", "{\\bord0\\shad0}This is a rather long line of subtitle text that wraps"},
        {"wrapped where it fills (\\q1)", "0,0,0", "{\\q1\\bord0\\shad0}This is a rather long line of subtitle text that wraps"},
        {"karaoke: first syllable sung", "0,0,0", "{\\bord0\\shad0\\k50}Ka{\\k50}ra{\\k50}oke"},
        {"\\ko, \\kf", "0,0,0", "{\\shad0\\k40}One {\\ko20}two {\\kf60}three"},
        {"\\kf halfway", "0,0,0", "{\\bord0\\shad0\\kf10}A {\\kf76}sweeping {\\kf50}word"},
        {"two at once, bottom", "0,0,0", "{\\bord0\\shad0}First", "{\\bord0\\shad0}Second"},
        {"two at once, top", "0,0,0", "{\\an8\\bord0\\shad0}First", "{\\an8\\bord0\\shad0}Second"},
        {"opaque box", "0,0,0", "Boxed text", nullptr, "Box"},
        {"opaque box, two lines, turned", "0,0,0", "{\\frz20\\an5\\pos(192,144)}Turned\\Nbox", nullptr, "Box"},
    };
    std::string script =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\nScaledBorderAndShadow: yes\n\n"
        "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, "
        "Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
        "MarginR, MarginV, Encoding\n"
        "Style: Default,DejaVu Sans,24,&H00FFFFFF,&H000000FF,&H000000FF,&H00FF0000,0,0,0,0,100,100,0,0,1,2,2,2,15,25,12,1\n"
        "Style: Box,DejaVu Sans,24,&H00FFFFFF,&H000000FF,&H00808080,&H00FF0000,0,0,0,0,100,100,0,0,3,2,0,2,15,25,12,1\n\n"
        "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    const int n = static_cast<int>(std::size(cases));
    std::string select;
    for (int i = 0; i < n; ++i) {
        char times[64];
        std::snprintf(times, sizeof times, "0:00:%02d.00,0:00:%02d.00", i, i + 1);
        script += std::string("Dialogue: 0,") + times + "," + cases[i].style + ",," + cases[i].margins + ",," + cases[i].text + "\n";
        if (cases[i].alongside) script += std::string("Dialogue: 0,") + times + ",Default,,0,0,0,," + cases[i].alongside + "\n";
        select += (i ? "+" : "") + std::string("eq(n\\,") + std::to_string(i * 25 + 12) + ")";
    }
    Write("s.ass", script);
    const auto frames = [&](const std::string& first) {
        return " -vf \"" + first + "select=" + select + "\" -fps_mode passthrough -f rawvideo -pix_fmt rgba ";
    };
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    ASSERT_EQ(Shell("timeout 120 ffmpeg -v error -y -f lavfi -i color=c=black:s=" + size + ":r=25:d=" + std::to_string(n) +
                    frames("format=rgba,ass=s.ass,") + "ref.rgba"),
              0)
        << Read("stderr.txt");
    ASSERT_EQ(Shell("EXE captions s.ass -o ours/%04d.png --size " + size + " --fps 25 >/dev/null && "
                    "timeout 60 ffmpeg -v error -y -i ours/%04d.png" + frames("") + "ours.rgba"),
              0)
        << Read("stderr.txt");
    const std::string ref = Read("ref.rgba"), ours = Read("ours.rgba");
    // Tolerance: each edge of the drawn box within 2 pixels, each channel's peak within 12 of 255;
    // the end of the white within 12 pixels (the library sweeps a character in over its width,
    // libass with a sharp edge).
    for (int i = 0; i < n; ++i) {
        const Drawn a = Measure(ref, i, width, height), b = Measure(ours, i, width, height);
        ASSERT_GE(a.x1, 0) << cases[i].what << ": libass drew nothing";
        EXPECT_NEAR(b.x0, a.x0, 2) << cases[i].what;
        EXPECT_NEAR(b.x1, a.x1, 2) << cases[i].what;
        EXPECT_NEAR(b.y0, a.y0, 2) << cases[i].what;
        EXPECT_NEAR(b.y1, a.y1, 2) << cases[i].what;
        EXPECT_NEAR(b.white, a.white, 12) << cases[i].what;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(b.peak[k], a.peak[k], 12) << cases[i].what << ", channel " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Ass, AssOnFrame, ::testing::Values(std::pair{768, 576}, std::pair{1024, 576}),
                         [](const auto& frame) { return std::to_string(frame.param.first) + "x" + std::to_string(frame.param.second); });

TEST_F(Ass, ReadAndWrittenAgainKeepsStylesAndTimes) {
    Write("in.ass", "\xEF\xBB\xBF[Script Info]\r\nTitle: round\r\nPlayResX: 1280\r\nPlayResY: 720\r\n\r\n"
                    "[V4+ Styles]\r\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
                    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, "
                    "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
                    "Style: Sign,DejaVu Serif,41.5,&H3300FFFF,&H000000FF,&H80102030,&H00000000,-1,-1,0,0,90,110,1.5,5,3,"
                    "2.5,1,8,11,12,13,0\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                    "Effect, Text\r\nComment: 0,0:00:00.00,0:00:01.00,Sign,,0,0,0,,not shown\r\n"
                    "Dialogue: 2,0:00:01.25,0:01:02.50,Sign,Ann,1,2,3,,{\\k20}Sung {\\k35}words\\Nnext\r\n");
    ASSERT_EQ(Shell("EXE captions in.ass -o out.ass >/dev/null && EXE captions out.ass -o again.ass >/dev/null"), 0)
        << Read("stderr.txt");
    const std::string out = Read("out.ass");
    EXPECT_EQ(out, Read("again.ass"));
    EXPECT_NE(out.find("Title: round\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Style: Sign,DejaVu Serif,41.5,&H3300FFFF,&H000000FF,&H80102030,&H00000000,-1,-1,0,0,90,110,1.5,5,3,"
                       "2.5,1,8,11,12,13,0\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Dialogue: 2,0:00:01.25,0:01:02.50,Sign,Ann,1,2,3,,{\\k20}Sung {\\k35}words\\Nnext\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("not shown"), std::string::npos);
}

TEST_F(Ass, PlacesAreKeptAsCueSettingsAndInACaptionStyle) {
    const struct {
        const char* text;
        const char* settings;  // as WebVTT writes them
    } cases[] = {
        {"{\\an7}Top left", " line:5% position:2.5%,line-left align:left"},
        {"{\\an5}Middle", " line:50%,center"},
        {"{\\an3}Bottom right", " position:97.5%,line-right align:right"},
        {"{\\an1\\pos(160,270)}At a place", " line:75%,end position:25%,line-left align:left"},
        {"{\\an9\\move(600,36,100,36)}Moving", " line:10% position:93.75%,line-right align:right"},
        {"Plain", ""},
    };
    std::string script = "[Script Info]\nPlayResX: 640\nPlayResY: 360\n\n[V4+ Styles]\nStyle: Default,DejaVu Sans,20,"
                         "&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,16,16,18,1\n\n"
                         "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        script += "Dialogue: 0,0:00:0" + std::to_string(i) + ".00,0:00:0" + std::to_string(i + 1) + ".00,Default,,0,0,0,," +
                  cases[i].text + "\n";
    Write("s.ass", script);
    ASSERT_EQ(Shell("EXE captions s.ass -o out.vtt >/dev/null && EXE captions out.vtt -o again.vtt >/dev/null"), 0)
        << Read("stderr.txt");
    const std::string vtt = Read("out.vtt");
    EXPECT_EQ(vtt, Read("again.vtt"));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string times = "00:00:0" + std::to_string(i) + ".000 --> 00:00:0" + std::to_string(i + 1) + ".000";
        EXPECT_NE(vtt.find(times + cases[i].settings + "\n"), std::string::npos) << cases[i].text << "\n" << vtt;
    }
    // In a caption style the top-left event stays in the top-left quarter of the frame.
    ASSERT_EQ(Shell("EXE captions s.ass --preset clean -o f/%04d.png --size 640x360 --fps 5 >/dev/null && "
                    "timeout 60 ffmpeg -v error -y -i f/0003.png -f rawvideo -pix_fmt rgba top.rgba"),
              0)
        << Read("stderr.txt");
    const Drawn top = Measure(Read("top.rgba"), 0, 640, 360);
    EXPECT_LT(top.x1, 320);
    EXPECT_LT(top.y1, 180);
}

TEST_F(Ass, BadScriptsAreRefusedWithLineAndReasonAndNothingIsWritten) {
    const std::string info = "[Script Info]\nPlayResX: 640\nPlayResY: 360\n\n";
    const std::string styles = "[V4+ Styles]\nStyle: Default,DejaVu Sans,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,"
                               "0,0,0,0,100,100,0,0,1,2,2,2,10,10,10,1\n\n";
    const std::string events = "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    const std::string good = "Dialogue: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,Hello\n";
    const struct {
        std::string script, message;
    } cases[] = {
        {styles + events + good, "s.ass:1: not a SubStation script: it must start with [Script Info]"},
        {info + styles + good, "s.ass:9: no [Events] section"},
        {info + events + good, "s.ass:7: the event's style 'Default' is not defined (the file has no [V4+ Styles] section)"},
        {info + styles + events + "Dialogue: 0,0:00:00.00,0:00:01.00,Sign,,0,0,0,,Hi\n", "s.ass:10: the event's style 'Sign' is not defined"},
        {info + styles + events + "Dialogue: 0,0:00:0x.00,0:00:01.00,Default,,0,0,0,,Hi\n", "s.ass:10: bad start time '0:00:0x.00'"},
        {info + styles + events + "Dialogue: 0,0:00:02.00,0:00:01.00,Default,,0,0,0,,Hi\n", "s.ass:10: the event ends before it starts"},
        {info + "[V4+ Styles]\nStyle: Default,DejaVu Sans,20,&HZZ,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,2,"
                "10,10,10,1\n\n" + events + good,
         "s.ass:6: style 'Default': bad colour '&HZZ'"},
        {info + styles + events + "Dialogue: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,{\\c&HGREEN&}Hi\n",
         "s.ass:10: bad colour '&HGREEN&' in \\c"},
        {"[Script Info]\nPlayResX: wide\n" + styles + events + good, "s.ass:2: bad PlayResX 'wide'"},
    };
    for (const auto& c : cases) {
        Write("s.ass", c.script);
        Write("out.ass", "kept");
        fs::remove(dir_ / "stderr.txt");
        EXPECT_EQ(Shell("EXE captions s.ass -o out.ass"), 1) << c.message;
        EXPECT_NE(Read("stderr.txt").find(c.message), std::string::npos) << Read("stderr.txt");
        EXPECT_EQ(Read("out.ass"), "kept") << c.message;
        EXPECT_EQ(Shell("EXE captions s.ass -o f/%04d.png --size 64x36 --fps 5"), 1) << c.message;
        EXPECT_FALSE(fs::exists(dir_ / "f")) << c.message;
    }
    // What cannot be drawn is named once per tag, with its count and first line.
    Write("s.ass", info + styles + events + good + "Dialogue: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,{\\clip(0,0,9,9)\\t(\\fs9)}A\n" +
                       "Comment: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,{\\clip(1,1,2,2)}skipped\n" +
                       "Dialogue: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,{\\clip(1,1,2,2)\\p1}m 0 0 l 9 9{\\p0}B\n");
    fs::remove(dir_ / "stderr.txt");
    ASSERT_EQ(Shell("EXE captions s.ass -o f/%04d.png --size 64x36 --fps 5 >/dev/null"), 0) << Read("stderr.txt");
    const std::string err = Read("stderr.txt");
    EXPECT_NE(err.find("s.ass:11: \\clip: clipping is not drawn; the text is drawn whole (2 times, first on this line)"),
              std::string::npos) << err;
    EXPECT_NE(err.find("s.ass:11: \\t: animated transforms are not drawn"), std::string::npos) << err;
    EXPECT_NE(err.find("s.ass:13: \\p: drawings are not drawn (1 time"), std::string::npos) << err;
}

}  // namespace
