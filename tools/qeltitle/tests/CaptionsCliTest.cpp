// captions, build and export through the built tool: captions drawn over a generated clip and
// read back with the real ffmpeg, refusals that write nothing, and JSON titles through pipes.
// Every program runs under `timeout`, so a hung child fails its test instead of stalling the run.
#include "ToolTest.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Captions : public qeltitle_test::ToolTest {
protected:
    // Frame `index` of a video as RGB bytes, decoded by ffmpeg.
    std::string Frame(const std::string& video, int index) const {
        const std::string raw = "frame" + std::to_string(index) + ".rgb";
        EXPECT_EQ(Shell("timeout 60 ffmpeg -v error -y -i " + video + " -vf 'select=eq(n\\," + std::to_string(index) +
                        ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 " + raw),
                  0);
        return Read(raw);
    }
    // Light pixels (every channel above 200) of a 640x360 RGB frame within x0 <= x < x1, y0 <= y < y1:
    // caption text over the clip's dark blue.
    static int Light(const std::string& rgb, int x0, int x1, int y0, int y1) {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const size_t at = (static_cast<size_t>(y) * 640 + x) * 3;
                if (at + 2 < rgb.size() && static_cast<uint8_t>(rgb[at]) > 200 && static_cast<uint8_t>(rgb[at + 1]) > 200 &&
                    static_cast<uint8_t>(rgb[at + 2]) > 200)
                    ++count;
            }
        return count;
    }
};

TEST_F(Captions, DrawnOverAClipAtTheirTimes) {
    // Four seconds of dark blue at 25 fps with a tone; a cue from 0.5 to 1.5 s, none until 2.5 s,
    // then one whose second word is spoken from 3.2 s.
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -y -f lavfi -i color=c=0x203050:s=640x360:r=25:d=4 -f lavfi "
                    "-i sine=d=4 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest clip.mp4"),
              0);
    Write("talk.vtt", "WEBVTT\n\n00:00.500 --> 00:01.500\nThe first cue\n\n"
                      "00:02.500 --> 00:04.000\nHi <00:00:03.200>EVERYBODYWAVES\n");
    Write("style.json", R"({"style": {"align": "left"}, "anchor": "bottom-left", "margin": [40, 60],
                            "word": {"effect": "PATH_FADE", "duration": 0.1}})");
    ASSERT_EQ(Shell("EXE captions talk.vtt --over clip.mp4 -o out.mkv --style style.json >/dev/null"), 0) << Read("stderr.txt");
    ASSERT_EQ(Shell("test \"$(timeout 60 ffprobe -v error -show_entries stream=codec_type,nb_frames -of csv=p=0 "
                    "out.mkv | tr '\\n' ' ')\" != ''"),
              0);
    const std::string cueMiddle = Frame("out.mkv", 25), between = Frame("out.mkv", 50);
    const std::string beforeWord = Frame("out.mkv", 75), afterWord = Frame("out.mkv", 90);
    EXPECT_GT(Light(cueMiddle, 0, 640, 270, 360), 200) << "the cue is drawn in the bottom band at its middle";
    EXPECT_EQ(Light(cueMiddle, 0, 640, 0, 270), 0) << "and nowhere else";
    EXPECT_EQ(Light(between, 0, 640, 0, 360), 0) << "nothing is drawn between cues";
    // The second word lies right of the first: its part of the band is empty before its time.
    EXPECT_GT(Light(beforeWord, 0, 120, 270, 360), 20);
    EXPECT_EQ(Light(beforeWord, 150, 640, 270, 360), 0);
    EXPECT_GT(Light(afterWord, 150, 640, 270, 360), 200);
}

TEST_F(Captions, MalformedSubtitlesAreRefusedAndNothingIsWritten) {
    Write("bad.srt", "1\n00:00:01,000 --> 00:00:02,000\nfine\n\n2\n00:00:03,000 -> 00:00:04,000\nbroken\n");
    for (const char* out : {"frames/%04d.png", "out.webm", "out.mlt"}) {
        SCOPED_TRACE(out);
        EXPECT_EQ(Shell(std::string("EXE captions bad.srt -o ") + out), 1);
        EXPECT_NE(Read("stderr.txt").find("bad.srt:5: expected a cue number or the cue's times"), std::string::npos)
            << Read("stderr.txt");
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bad.srt", "stderr.txt"}));
}

TEST_F(Captions, EveryPresetDraws) {
    Write("w.vtt", "WEBVTT\n\n00:00.000 --> 00:01.000\nOne <00:00:00.500>two\n");
    for (const char* preset : {"clean", "social", "news", "karaoke"}) {
        SCOPED_TRACE(preset);
        ASSERT_EQ(Shell(std::string("EXE captions w.vtt -o ") + preset + "/%02d.png --size 320x180 --preset " + preset +
                        " >/dev/null"),
                  0)
            << Read("stderr.txt");
        EXPECT_TRUE(fs::exists(dir_ / preset / "24.png"));
    }
    EXPECT_EQ(Shell("EXE captions w.vtt -o x/%02d.png --preset nosuch"), 2);
}

TEST_F(Captions, JsonTitlesThroughPipes) {
    ASSERT_EQ(Shell("EXE text 'Two\\nlines' -o t.xml --size 90 --color '#FF8000:#FFFF00' --border 4 --shadow 3,3:2 "
                    "--effect PATH_FADE --then PATH_WIPELEFT >/dev/null"),
              0);
    ASSERT_EQ(Shell("EXE export t.xml -o - | EXE build - -o - > back.xml"), 0) << Read("stderr.txt");
    EXPECT_TRUE(Read("back.xml") == Read("t.xml"));
    // A refused document names its place and writes nothing.
    Write("bad.json", "{\"strings\": [{\"text\": \"a\", \"size\": 12}]}");
    EXPECT_EQ(Shell("EXE build bad.json -o out.xml"), 1);
    EXPECT_NE(Read("stderr.txt").find("bad.json:1:36: strings[0].size: unknown field"), std::string::npos)
        << Read("stderr.txt");
    EXPECT_FALSE(fs::exists(dir_ / "out.xml"));
}

TEST_F(Captions, EvenLinesSwitchReachesTitlesThatLackThem) {
    // A title whose string lacks even lines gets them on every string with --append --even-lines.
    const std::string count = " | iconv -f UTF-16 -t UTF-8 | grep -o 'EvenLines=\"true\"' | wc -l > n.txt";
    ASSERT_EQ(Shell("EXE text One -o t.xml --even-lines off >/dev/null && cat t.xml" + count), 0) << Read("stderr.txt");
    EXPECT_EQ(Read("n.txt"), "0\n");
    ASSERT_EQ(Shell("EXE text Two -o t.xml --append --even-lines on >/dev/null && cat t.xml" + count), 0);
    EXPECT_EQ(Read("n.txt"), "2\n");
    // Captions take it for their style; a script drawn in its own styles refuses it.
    Write("s.ass", "[Script Info]\nPlayResX: 384\nPlayResY: 288\n\n[V4+ Styles]\nFormat: Name, Fontsize\nStyle: Default,20\n\n"
                   "[Events]\nFormat: Layer, Start, End, Style, Text\nDialogue: 0,0:00:00.00,0:00:01.00,Default,Hi\n");
    EXPECT_EQ(Shell("EXE captions s.ass -o y/%02d.png --even-lines on"), 2);
    EXPECT_NE(Read("stderr.txt").find("--even-lines: an ASS script is drawn in its own styles"), std::string::npos)
        << Read("stderr.txt");
}

TEST_F(Captions, WordListsBecomeWebVttAndBadOnesWriteNothing) {
    Write("talk.json", R"([{"word": "Hello", "start": 0.5, "end": 0.9}, {"word": "there.", "start": 1.0, "end": 1.4},
                           {"word": "Bye", "start": 3.0, "end": 3.5}])");
    ASSERT_EQ(Shell("EXE captions talk.json -o out.vtt >/dev/null"), 0) << Read("stderr.txt");
    EXPECT_EQ(Read("out.vtt"), "WEBVTT\n\n00:00:00.500 --> 00:00:01.400\nHello<00:00:01.000><c> there.</c>\n\n"
                               "00:00:03.000 --> 00:00:03.500\nBye\n\n");
    // A list with a broken time is named at its place, and the file written before is kept.
    Write("bad.json", "[\n  {\"word\": \"a\", \"start\": \"soon\", \"end\": 1}]");
    EXPECT_EQ(Shell("EXE captions bad.json -o out.vtt"), 1);
    EXPECT_NE(Read("stderr.txt").find("bad.json:2:26: [0].start: expected a time in seconds"), std::string::npos)
        << Read("stderr.txt");
    EXPECT_EQ(Read("out.vtt").substr(0, 6), "WEBVTT");
    EXPECT_NE(Read("out.vtt").find("Bye"), std::string::npos);
}

TEST_F(Captions, CueBackgroundIsABoxBehindEachLine) {
    // Blue pixels of frame 3 of the captions drawn over black, for each ::cue background.
    const auto blue = [&](const std::string& css) {
        Write("t.vtt", "WEBVTT\n\nSTYLE\n::cue { " + css + " }\n\n00:00.000 --> 00:01.000\nBoxed\n");
        fs::remove_all(dir_ / "f");
        EXPECT_EQ(Shell("EXE captions t.vtt -o f/%04d.png --size 640x360 --fps 5 >/dev/null && timeout 60 ffmpeg -v error -y "
                        "-f lavfi -i color=c=black:s=640x360 -i f/0003.png -filter_complex overlay -frames:v 1 "
                        "-f rawvideo -pix_fmt rgb24 f.rgb"),
                  0)
            << Read("stderr.txt");
        const std::string rgb = Read("f.rgb");
        int count = 0;
        for (size_t at = 0; at + 2 < rgb.size(); at += 3)
            count += static_cast<uint8_t>(rgb[at]) < 40 && static_cast<uint8_t>(rgb[at + 2]) > 200;
        return count;
    };
    EXPECT_GT(blue("background: #0000ff;"), 400);
    EXPECT_EQ(blue("background-color: transparent; color: white;"), 0);
    // Written again, in a style with a plate, the plate's colour is the background.
    Write("plate.json", R"({"plate": {"color": "#0000ff", "alpha": 255}})");
    ASSERT_EQ(Shell("EXE captions t.vtt --style plate.json -o out.vtt >/dev/null"), 0) << Read("stderr.txt");
    EXPECT_NE(Read("out.vtt").find("background-color: #0000FFFF;"), std::string::npos) << Read("out.vtt");
}

}  // namespace
