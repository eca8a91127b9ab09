// End-to-end checks of the qeltitle executable: each case runs the built tool in its own
// directory and looks at its exit status, its messages and the files it wrote.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "player/Image.h"
#include "media/Output.h"
#include "media/Png.h"

namespace qeltitle {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every child a test starts ends within this (absolute, so a test that empties PATH still has it):
// the signal goes to the whole process group, ffmpeg and helpers included.
constexpr const char* kTimeLimit = "/usr/bin/timeout -k 10 240";

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(QELTITLE_WORK_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    // Runs `qeltitle ARGS` in the test's directory; `prefix` goes before it (environment settings).
    // The run is limited in time, so a tool or ffmpeg that hangs fails its test instead of the suite.
    Result Run(const std::string& args, const std::string& prefix = "") const {
        const std::string command = "cd '" + dir_.string() + "' && " + prefix + " " + kTimeLimit + " '" QELTITLE_EXE "' " +
                                    args + " >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir_ / "stdout.txt");
        r.err = ReadFile(dir_ / "stderr.txt");
        return r;
    }

    // Runs a shell script in the test's directory, limited in time as a whole (the limit ends every
    // process the script started); EXE in it stands for the tool.
    int Shell(std::string script) const {
        for (size_t at; (at = script.find("EXE")) != std::string::npos;) script.replace(at, 3, "'" QELTITLE_EXE "'");
        std::string quoted = "'";
        for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
        const int raw = std::system(("cd '" + dir_.string() + "' && " + kTimeLimit + " sh -c " + quoted).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // Every name in the test's directory other than the captured output: a partial or temporary
    // file left behind shows here.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            const std::string name = entry.path().lexically_relative(dir_).string();
            if (name != "stdout.txt" && name != "stderr.txt") names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // A stand-in for ffmpeg that runs `body` with the output name (its last argument) in $out.
    void FakeFfmpeg(const std::string& body) const {
        Write("ffmpeg", "#!/bin/sh\nfor out; do :; done\n" + body + "\n");
        fs::permissions(dir_ / "ffmpeg", fs::perms::owner_all);
    }

    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }

    fs::path dir_;
};

// Reads a PNG the tool wrote into `image`; a failure names the file and the reason.
::testing::AssertionResult LoadPng(const fs::path& path, Image& image) {
    Expected<Image> read = ReadPng(path.string());
    if (!read) return ::testing::AssertionFailure() << path.string() << ": " << read.Message();
    image = std::move(*read);
    return ::testing::AssertionSuccess();
}

// Counts pixels inside [x0, x1) x [y0, y1) whose colour differs from the background by more than
// a small tolerance (anti-aliased edges of a glyph are enough).
int ChangedPixels(const Image& image, int x0, int y0, int x1, int y1, const uint8_t bgr[3]) {
    int changed = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = image.At(x, y);
            if (std::abs(p[0] - bgr[0]) + std::abs(p[1] - bgr[1]) + std::abs(p[2] - bgr[2]) > 24) ++changed;
        }
    return changed;
}

TEST_F(Cli, TextRendersWhereTheTextIs) {
    ASSERT_EQ(Run("text 'Hello' -o t.xml --at 100,100 --size 80 --color '#FFFFFF' --frame 640x360").status, 0);
    const Result r = Run("render t.xml -o f.png --size 640x360 --background '#203040'");
    ASSERT_EQ(r.status, 0) << r.err;
    Image image;
    ASSERT_TRUE(LoadPng(dir_ / "f.png", image));
    ASSERT_EQ(image.width, 640);
    ASSERT_EQ(image.height, 360);
    const uint8_t background[3] = {0x40, 0x30, 0x20};
    // "Hello" at 80 units: about 200 wide and 95 tall from (100, 100).
    EXPECT_GT(ChangedPixels(image, 100, 100, 320, 200, background), 500);
    EXPECT_EQ(ChangedPixels(image, 0, 0, 90, 360, background), 0);
    EXPECT_EQ(ChangedPixels(image, 400, 0, 640, 360, background), 0);
    EXPECT_EQ(ChangedPixels(image, 0, 240, 640, 360, background), 0);
}

// A second column stands left of a vertical string's box: info names where the text itself is,
// and nothing is drawn outside that rectangle.
TEST_F(Cli, InfoSaysWhereAVerticalStringsTextStands) {
    ASSERT_EQ(Run("text $'Title\\n2026' --vertical -o v.xml --frame 640x360 --size 40").status, 0);
    const Result info = Run("info v.xml");
    float x = 0, y = 0, w = 0, h = 0;
    const size_t at = info.out.find("  text ");
    ASSERT_NE(at, std::string::npos) << info.out;
    ASSERT_EQ(std::sscanf(info.out.c_str() + at, "  text %f,%f size %fx%f", &x, &y, &w, &h), 4) << info.out;
    ASSERT_EQ(Run("render v.xml -o v.png --size 640x360").status, 0);
    Image image;
    ASSERT_TRUE(LoadPng(dir_ / "v.png", image));
    const uint8_t black[3] = {0, 0, 0};
    const int changed = ChangedPixels(image, 0, 0, 640, 360, black);
    EXPECT_GT(changed, 200);
    EXPECT_EQ(ChangedPixels(image, int(x), int(y), int(std::ceil(x + w)), int(std::ceil(y + h)), black), changed);
}

TEST_F(Cli, RenderWithoutATimeShowsAStringThatLeavesAtTheEnd) {
    ASSERT_EQ(Run("text 'Bye' -o t.xml --at 40,40 --size 80 --effect PATH_SLIDEUP --then PATH_FADE --frame 320x180").status, 0);
    const uint8_t black[3] = {0, 0, 0};
    Image image;
    // At time 1 the fade has taken the string away; the default still shows it at rest.
    ASSERT_EQ(Run("render t.xml -o end.png --size 320x180 --time 1").status, 0);
    ASSERT_TRUE(LoadPng(dir_ / "end.png", image));
    EXPECT_EQ(ChangedPixels(image, 0, 0, 320, 180, black), 0);
    const Result r = Run("render t.xml -o rest.png --size 320x180");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("at rest"), std::string::npos) << r.out;
    ASSERT_TRUE(LoadPng(dir_ / "rest.png", image));
    EXPECT_GT(ChangedPixels(image, 40, 40, 240, 140, black), 500);
    // The title file itself keeps its key frames.
    EXPECT_NE(Run("info t.xml").out.find("4 key frames"), std::string::npos);
}

TEST_F(Cli, TransparentBackgroundKeepsAlphaOutsideTheText) {
    ASSERT_EQ(Run("text 'Hi' -o t.xml --at 20,20 --size 60 --frame 200x120").status, 0);
    ASSERT_EQ(Run("render t.xml -o f.png --size 200x120 --background transparent").status, 0);
    Image image;
    ASSERT_TRUE(LoadPng(dir_ / "f.png", image));
    int opaque = 0;
    for (int y = 20; y < 90; ++y)
        for (int x = 20; x < 100; ++x) opaque += image.At(x, y)[3] > 200;
    EXPECT_GT(opaque, 100);
    for (int y = 0; y < 120; ++y) EXPECT_EQ(image.At(190, y)[3], 0) << "row " << y;
}

// A title remembers its length and frame: animate takes the length, render fits the frame to any
// output (a portrait frame shows the landscape title in a band across its middle), and an append
// keeps both or refuses to change them.
TEST_F(Cli, TitleRemembersItsLengthAndFrame) {
    ASSERT_EQ(Run("text 'Lower third' -o t.xml --length 0:02 --in 0.5 --out 0.25 --effect PATH_SLIDEUP "
                  "--then PATH_FADE --size 120").status, 0);
    EXPECT_NE(Run("info t.xml").out.find("0 PATH_SLIDEUP 0, 0.25 PATH_SLIDEUP 1, 0.875 PATH_FADE 1, 1 PATH_FADE 0"),
              std::string::npos) << Run("info t.xml").out;
    EXPECT_NE(Run("info t.xml").out.find("t.xml: 1 string, 0:02 long, laid out for 1920x1080"), std::string::npos);
    Result r = Run("animate t.xml -o 'f/%02d.png' --fps 5 --size 192x108");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir_ / "f/09.png") && !fs::exists(dir_ / "f/10.png"));  // 2 s at 5 fps

    r = Run("render t.xml -o portrait.png --size 1080x1920");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Run("render t.xml -o band.png --size 1080x608").status, 0);
    Image portrait, band, crop(1080, 608);
    ASSERT_TRUE(LoadPng(dir_ / "portrait.png", portrait));
    ASSERT_TRUE(LoadPng(dir_ / "band.png", band));
    for (int y = 0; y < 608; ++y) std::copy_n(portrait.At(0, 656 + y), 1080 * 4, crop.At(0, y));
    EXPECT_TRUE(crop.pixels == band.pixels);
    const uint8_t black[3] = {0, 0, 0};
    EXPECT_EQ(ChangedPixels(portrait, 0, 0, 1080, 656, black) + ChangedPixels(portrait, 0, 1264, 1080, 1920, black), 0);
    EXPECT_GT(ChangedPixels(band, 0, 0, 1080, 608, black), 1000);

    r = Run("text 'More' -o t.xml --append --length 3");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("t.xml is a title of 0:02; --length cannot change it"), std::string::npos) << r.err;
    r = Run("text 'More' -o t.xml --append --frame 1080x1920");
    EXPECT_NE(r.err.find("t.xml is laid out for 1920x1080"), std::string::npos) << r.err;
    ASSERT_EQ(Run("text 'More' -o t.xml --append --effect PATH_FADE --out 0.5").status, 0);
    EXPECT_NE(Run("info t.xml").out.find("0.75 PATH_FADE 1, 1 PATH_FADE 0"), std::string::npos);
    EXPECT_NE(ReadFile(dir_ / "t.xml").find(std::string("L\0e\0n\0g\0t\0h\0=\0\"\0002\0\"", 20)),
              std::string::npos);
}

// A string placed partly outside its frame is drawn and warned about; a transparent background is
// refused for a video without alpha before anything is written, and kept in ProRes 4444.
TEST_F(Cli, OutputsTellWhatTheyCannotShow) {
    Result r = Run("text 'A caption far too long for the frame it is placed in, at the bottom' -o t.xml --at 100,950");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: string 0 reaches outside the 1920x1080 frame"), std::string::npos) << r.err;
    EXPECT_EQ(Run("text 'Fits' -o u.xml --anchor bottom-right --margin 40").err, "");

    r = Run("animate u.xml -o t.mp4 --frames 2 --size 64x36 --background transparent");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("t.mp4: H.264 has no alpha channel"), std::string::npos) << r.err;
    EXPECT_EQ(Names(), (std::vector<std::string>{"t.xml", "u.xml"}));
}

TEST_F(Cli, AnimateToPatternWritesEveryFrame) {
    ASSERT_EQ(Run("text 'Go' -o t.xml --effect PATH_SLIDEUP --then PATH_FADE").status, 0);
    const Result r = Run("animate t.xml -o 'frames/%03d.png' --frames 7 --size 160x90");
    ASSERT_EQ(r.status, 0) << r.err;
    for (int i = 0; i < 7; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/%03d.png", i);
        EXPECT_TRUE(fs::exists(dir_ / name)) << name;
    }
    EXPECT_FALSE(fs::exists(dir_ / "frames/007.png"));
    EXPECT_NE(r.err.find("7/7 frames"), std::string::npos) << r.err;
}

TEST_F(Cli, FailuresExitNonZeroWithAReason) {
    Write("other.xml", "<Other/>");
    Write("broken.xml", "<CTitle><StringList>");
    Write("t.xml", "");
    fs::create_directories(dir_ / "sub");
    struct Case {
        std::string args;
        std::string message;
        int status;
    };
    const Case cases[] = {
        {"render missing.xml -o f.png", "cannot load title: missing.xml: No such file", 1},
        {"render other.xml -o f.png", "cannot load title: other.xml: not a title document", 1},
        {"render broken.xml -o f.png", "cannot load title: broken.xml: not well-formed XML", 1},
        {"render t.xml -o f.png --size 0x100", "bad size '0x100'", 2},
        {"render t.xml -o f.png --size 640", "bad size '640'", 2},
        {"render t.xml -o f.png --size 640x360x2", "bad size", 2},
        {"render t.xml -o f.png --time 1.5", "out of range", 2},
        {"render t.xml -o f.png --background red", "cannot read background: red", 1},
        {"render t.xml", "missing -o", 2},
        {"render t.xml -o f.png --bogus", "unknown option --bogus", 2},
        {"text Hi -o x.xml --effect PATH_NOPE", "unknown effect 'PATH_NOPE'", 2},
        {"text Hi -o x.xml --effect slideup", "did you mean PATH_SLIDEUP?", 2},
        {"text Hi -o x.xml --effect PATH_FADE --then PATH_GONE", "unknown effect 'PATH_GONE'", 2},
        {"text Hi -o x.xml --then PATH_FADE", "--then needs --effect", 2},
        {"text Hi -o x.xml --color red", "bad colour 'red'", 2},
        {"text Hi -o x.xml --gradient 9", "out of range", 2},
        {"text Hi -o t.xml/x.xml", "cannot save title: t.xml/x.xml: Not a directory", 1},
        {"animate t.xml -o frames.png --frames 2", "needs a frame-number pattern", 1},
        {"animate t.xml -o 'f/%d%d.png' --frames 2", "bad frame pattern", 1},
        {"text Hi -o sub", "cannot save title: sub: is a directory", 1},
        {"effects --strings sub", "cannot load effect strings: sub: is a directory", 1},
        {"effects --strings other.xml", "other.xml: not a string table (its root element is <Other>", 1},
        {"gallery -o g.png --strings broken.xml", "cannot load effect strings: broken.xml: not well-formed", 1},
        {"effects --level 0", "out of range", 2},
        {"frobnicate", "unknown command 'frobnicate'", 2},
        // Outputs whose format the tool cannot write are refused rather than given PNG bytes.
        {"render t.xml -o f.jpg", "f.jpg: only PNG pictures are written", 1},
        {"gallery -o g.JPEG", "g.JPEG: only PNG pictures are written", 1},
        {"animate t.xml -o 'f/%d.jpg' --frames 2", "end the pattern in .png", 1},
        {"animate t.xml -o clip.jpg --frames 2", "clip.jpg: jpg holds one picture", 1},
        {"animate t.xml -o 'f/%d.png' --frames 5 --range 3:1", "bad range '3:1'", 2},
        {"animate t.xml -o 'f/%d.png' --frames 5 --range 0:5", "the animation has 5 frames, 0 to 4", 2},
        {"animate t.xml -o clip.mp4 --frames 5 --range 0:1", "--range needs a PNG frame pattern", 2},
        {"render t.xml -o sub", "cannot write sub: is a directory", 1},
    };
    // A valid title for the cases that get past loading.
    ASSERT_EQ(Run("text Hi -o t.xml").status, 0);
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\nstderr: " << r.err;
    }
}

// One behaviour across commands: outputs named for another format are refused, missing folders
// are created, bad levels and option pairs are usage errors, and messages name what they mean.
TEST_F(Cli, CommandsAgreeOnOutputsLevelsAndMessages) {
    ASSERT_EQ(Run("text Hi -o t.xml").status, 0);
    ASSERT_EQ(Run("text 'a\\\\nb\\nc' -o keyed.xml --effect PATH_FADE").status, 0);
    // The title with its second character's font index past its one font (the line of that element).
    std::string title = ReadFile(dir_ / "t.xml");
    const auto utf16 = [](const std::string& ascii) {
        std::string wide;
        for (char c : ascii) wide += std::string{c, '\0'};
        return wide;
    };
    const size_t first = title.find(utf16("FontIndex=\"0\""));
    title.replace(title.find(utf16("FontIndex=\"0\""), first + 1), utf16("FontIndex=\"0\"").size(), utf16("FontIndex=\"7\""));
    Write("bad.xml", title);
    Write("cues.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n");
    // Video is encoded in the process: no ffmpeg program is needed.
    const std::string fake = "PATH=/nonexistent";
    const std::string indent = "\n" + std::string(30, ' ');  // a continuation line of an option's help
    const struct {
        std::string env, args;
        int status;
        std::string text;  // in standard output or error
        std::string file;  // must exist after a success, must not after a failure
    } cases[] = {
        {"", "text X -o t1.png", 1, "t1.png: only titles (XML) are written; name the output .xml", "t1.png"},
        {"", "export t.xml -o t.txt", 1, "name the output .json", "t.txt"},
        {"", "build missing.json -o b.png", 1, "name the output .xml", "b.png"},
        {"", "effects --keys --strings t.xml", 2, "give either --strings", ""},
        {"", "effects --level 3", 2, "level 3 offers no effect; the levels are 1 (65 effects), 2 (26 effects)", ""},
        {"", "gallery -o g.png --level 3", 2, "the levels are 1 (65 effects), 2 (26 effects)", "g.png"},
        {"", "render t.xml -o new/x.png --size 64x36", 0, "wrote new/x.png", "new/x.png"},
        {"", "gallery -o new2/g.png --level 2", 0, "wrote new2/g.png", "new2/g.png"},
        {"", "text X -o new3/t.xml", 0, "(string 0: 1 character,", "new3/t.xml"},
        {"", "export t.xml -o new4/t.json", 0, "(1 string)", "new4/t.json"},
        {fake, "animate t.xml -o new5/v.mp4 --frames 1 --size 64x36", 0, "(1 frame, ", "new5/v.mp4"},
        {"", "render bad.xml -o f.png", 1,
         "bad.xml: line 10: string 0, character 1: FontIndex=\"7\" is outside the string's FontList (1 entry)", "f.png"},
        {"", "animate t.xml -o huge.mp4 --size 16384x16384", 1, "ffmpeg cannot encode 16384x16384 frames", "huge.mp4"},
        {"", "animate t.xml -o huge.mkv --size 16384x16129", 1, "the frames may be 16128 high", "huge.mkv"},
        {"", "captions cues.srt -o c.webm --size 16384x16384", 1, "ffmpeg cannot encode", "c.webm"},
        {fake, "animate t.xml -o odd.mp4 --size 65x37 --frames 1", 0, "wrote odd.mp4 (1 frame, 66x38, 25 fps)", "odd.mp4"},
        {fake, "animate t.xml -o r.mp4 --size 64x36 --frames 2 --fps 29.97", 0, "(2 frames, 64x36, 30000/1001 fps)", "r.mp4"},
        {"", "animate t.xml -o 'f/%05d.png' --size 64x36 --frames 1 --fps 24000/1001", 0, "24000/1001 fps", "f/00000.png"},
        {"", "effects --help", 0, indent, ""},
        {"", "gallery --help", 0, indent, ""},
        {"", "info keyed.xml", 0, "\"a\\\\nb\\nc\"\n  7 characters", ""},
        // Borders past what the library draws are drawn at its limit, with a warning.
        {"", "text Big -o big.xml --size 200 --border 1000", 0, "border 1000 is 2500 px wide at scale 1, more than the 2048 px", ""},
        {"", "text Big -o big.xml --at 0,0 --size 200 --border 500:#FF0000", 0, "wrote big.xml", "big.xml"},
        {"", "render big.xml -o big.png --size 320x180 --scale 2", 0,
         "border 500 is 2500 px wide at scale 2, more than the 2048 px the library draws: drawn 2048 px wide", "big.png"},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.args, c.env);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(c.text), std::string::npos) << c.args << "\n" << r.out << r.err;
        if (!c.file.empty()) {
            EXPECT_EQ(fs::exists(dir_ / c.file), c.status == 0) << c.args << ": " << c.file;
        }
    }
    Image big;
    ASSERT_TRUE(LoadPng(dir_ / "big.png", big));
    const uint8_t red[3] = {0, 0, 255};  // blue, green, red
    EXPECT_GT(big.width * big.height - ChangedPixels(big, 0, 0, big.width, big.height, red), 1000);
}

TEST_F(Cli, EffectsListsTheCatalogue) {
    const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    const Result all = Run("effects --keys");
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(lines(all.out), 65);
    EXPECT_EQ(all.out.rfind("PATH_AMPLIFYH", 0), 0u);
    EXPECT_NE(all.out.find("PATH_SLIDEUP"), std::string::npos);
    EXPECT_NE(all.out.find("CLASS_SLIDE"), std::string::npos);
    EXPECT_NE(all.out.find("SlideUp"), std::string::npos);
    EXPECT_EQ(lines(Run("effects --level 2").out), 26);

    // By default the English table beside the library names and describes every effect: no line
    // falls back to a text key.
    const Result english = Run("effects --describe");
    ASSERT_EQ(english.status, 0) << english.err;
    EXPECT_EQ(lines(english.out), 65);
    EXPECT_EQ(english.out.find("IDS_DSP_Ti_"), std::string::npos) << english.out;
    EXPECT_NE(english.out.find("CLASS_SLIDE       Slide up  The whole string slides up"), std::string::npos)
        << english.out;

    Write("strings.xml",
          "<QelDspInfo><StringTable><StringGroup name='g'>"
          "<StringItem stringID='IDS_DSP_Ti_SlideUp_Name' stringCaption='Slide up'/>"
          "<StringItem stringID='IDS_DSP_Ti_SlideUp_Desc' stringCaption='From below.'/>"
          "</StringGroup></StringTable></QelDspInfo>");
    const Result named = Run("effects --strings strings.xml --describe");
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_NE(named.out.find("CLASS_SLIDE       Slide up  From below."), std::string::npos) << named.out;
    EXPECT_NE(Run("effects --strings missing.xml").err.find("cannot load effect strings: missing.xml"),
              std::string::npos);
}

TEST_F(Cli, VideoGoesThroughFfmpeg) {
    if (FindProgram("ffmpeg").empty()) GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_EQ(Run("text Hi -o t.xml --effect PATH_FADE").status, 0);
    const Result r = Run("animate t.xml -o clip.gif --frames 4 --size 81x47");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir_ / "clip.gif").substr(0, 4), "GIF8");
    EXPECT_NE(r.out.find("clip.gif (4 frames, "), std::string::npos) << r.out;
}

TEST_F(Cli, InfoAndDumpDescribeTheTitle) {
    ASSERT_EQ(Run("text 'Ab\\nC' -o t.xml --effect PATH_WIPERIGHT --border 3:#102030").status, 0);
    const Result info = Run("info t.xml");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("1 string"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"Ab\\nC\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("5 characters"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("2 paragraphs"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("2 key frames (they set the effect): 0 PATH_WIPERIGHT 0, 1 PATH_WIPERIGHT 1"), std::string::npos)
        << info.out;
    EXPECT_EQ(info.out.find("effect PATH_NOEFFECT"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("#102030"), std::string::npos) << info.out;

    const Result dump = Run("dump t.xml");
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("[String 0] Char 4: ch = 67"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("[String 0] Paragraph 1"), std::string::npos) << dump.out;
}

TEST_F(Cli, AppendAddsAStringToAnExistingTitle) {
    ASSERT_EQ(Run("text One -o t.xml").status, 0);
    ASSERT_EQ(Run("text Two -o t.xml --append --vertical --rotate 30").status, 0);
    const Result info = Run("info t.xml");
    EXPECT_NE(info.out.find("2 strings"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("vertical, rotated 30"), std::string::npos) << info.out;
}

TEST_F(Cli, GalleryHasOneRowPerEffect) {
    const Result r = Run("gallery -o g.png --level 2 --text Ab");
    ASSERT_EQ(r.status, 0) << r.err;
    Image image;
    ASSERT_TRUE(LoadPng(dir_ / "g.png", image));
    EXPECT_EQ(image.height, 44 + 26 * (96 + 6) + 6);  // header, 26 rows of the second level

    // No label runs into the cells: the last columns before the first cell show only the sheet,
    // even beside "PATH_ROLLERCOASTERRIGHT  CLASS_FLY".
    const int labelWidth = image.width - 4 * (256 + 6) - 6;
    ASSERT_GE(labelWidth, 300);
    const uint8_t sheet[3] = {0x18, 0x12, 0x12};
    EXPECT_EQ(ChangedPixels(image, labelWidth - 8, 44, labelWidth + 6, image.height, sheet), 0);
}

TEST_F(Cli, SavesNeverDestroyWhatWasThere) {
    ASSERT_EQ(Run("text One -o t.xml").status, 0);
    ASSERT_EQ(Run("render t.xml -o f.png --size 64x36").status, 0);
    const std::string title = ReadFile(dir_ / "t.xml"), picture = ReadFile(dir_ / "f.png");
    const std::string limit = "prlimit --fsize=" + std::to_string(title.size()) + " ";
    struct Case {
        std::string args, prefix, message;
    };
    const Case cases[] = {
        // The appended title is larger than the old one: the limit cuts it part-way.
        {"text Two -o t.xml --append", limit, "cannot save title: t.xml: File too large"},
        {"render t.xml -o f.png --size 640x360", "prlimit --fsize=64 ", "cannot write f.png: File too large"},
        {"text Two -o /dev/full", "", "cannot save title: /dev/full: No space left on device"},
        {"render t.xml -o /dev/full --size 64x36", "", "cannot write /dev/full: No space left on device"},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args, c.prefix);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\nstderr: " << r.err;
        EXPECT_EQ(r.out.find("wrote"), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_EQ(ReadFile(dir_ / "t.xml"), title);
    EXPECT_EQ(ReadFile(dir_ / "f.png"), picture);
    EXPECT_EQ(Names(), (std::vector<std::string>{"f.png", "t.xml"}));
}

// What a new user meets first: JSON as strict and as convenient as `text`, presets named in any
// case, and warnings that say what went wrong. Each case: a command, its status, and a text its
// standard output or error must hold; a refused build writes nothing.
TEST_F(Cli, JsonPresetsAndEmptyFramesAreToldPlainly) {
    Write("bad-effect.json", R"({"strings": [{"text": "Hi", "effect": "PATH_SLIDE_RIGHT"}]})");
    Write("bad-key.json", "{\"strings\": [{\"text\": \"Hi\",\n \"keys\": [{\"time\": 0, \"effect\": \"ALSO_NOPE\"}]}]}");
    Write("moving.json", R"({"strings": [{"text": "Hi", "effect": "PATH_FADE"}]})");
    Write("still.json", R"({"strings": [{"text": "Hi", "effect": "PATH_FADE", "progress": 0.5}]})");
    Write("frameless.json", R"({"frame": null, "strings": [{"text": "Hi", "at": [80, 900]}]})");
    Write("talk.srt", "1\n00:00:00,000 --> 00:00:00,200\nHello\n");
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"build bad-effect.json -o out.xml", 1,
         "bad-effect.json:1:39: strings[0].effect: unknown effect 'PATH_SLIDE_RIGHT' (did you mean PATH_SLIDERIGHT?); "
         "'qeltitle effects' lists them"},
        {"build bad-key.json -o out.xml", 1, "bad-key.json:2:33: strings[0].keys[0].effect: unknown effect 'ALSO_NOPE'"},
        // An effect alone animates over the whole time, as `text --effect`; with a progress it is a pose.
        {"build moving.json -o moving.xml && EXE info moving.xml", 0,
         "2 key frames (they set the effect): 0 PATH_FADE 0, 1 PATH_FADE 1"},
        {"build still.json -o still.xml && EXE info still.xml", 0, "effect PATH_FADE at progress 0.5"},
        {"build moving.json -o moving.xml && EXE info moving.xml", 0, "laid out for 1920x1080"},
        {"build frameless.json -o frameless.xml && EXE export frameless.xml -o -", 0, "\"frame\": null"},
        {"build frameless.json -o frameless.xml && EXE render frameless.xml -o f.png --size 1920x400 --scale 1", 0,
         "frameless.xml draws nothing inside the 1920x400 frame: its strings lie at 80,"},
        // The preset is checked first, and named in any case.
        {"captions talk.srt --preset Nope", 2, "no preset 'Nope'; installed: clean, karaoke, news, social"},
        {"captions talk.srt --preset Clean -o 'c/%d.png' --size 64x36", 0, "wrote 5 PNG frames"},
        {"--version", 0, "libQEL_Title2 2."},
        // export writes a string placed by anchor with its anchor and margin again.
        {"text Jane -o n.xml --anchor bottom-left --margin 80 && EXE export n.xml -o -", 0,
         "\"anchor\": \"bottom-left\", \"margin\": 80"},
    };
    for (const Case& c : cases) {
        const int status = Shell("EXE " + c.args + " >out.txt 2>&1");
        const std::string said = ReadFile(dir_ / "out.txt");
        EXPECT_EQ(status, c.status) << c.args << "\n" << said;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.args << "\n" << said;
    }
    EXPECT_FALSE(fs::exists(dir_ / "out.xml"));
}

TEST_F(Cli, OutputsThroughLinksAndIntoFifos) {
    ASSERT_EQ(Run("text Hi -o t.xml --size 30").status, 0);
    ASSERT_EQ(Run("render t.xml -o plain.png --size 64x36").status, 0);
    const std::string expected = ReadFile(dir_ / "plain.png");
    fs::create_directories(dir_ / "real");
    Write("real/old.png", "old");
    fs::create_symlink("real/old.png", dir_ / "link.png");
    const Result r = Run("render t.xml -o link.png --size 64x36");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
    EXPECT_EQ(ReadFile(dir_ / "real/old.png"), expected);

    // A title saved through a link: the link stays, the file it names holds the title.
    fs::create_symlink("real/t2.xml", dir_ / "t2.xml");
    ASSERT_EQ(Run("text Hi -o t2.xml --size 30").status, 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "t2.xml"));
    EXPECT_EQ(ReadFile(dir_ / "real/t2.xml").substr(0, 2), "\xFF\xFE");

    // A FIFO is written into, not replaced by a file.
    const int status = Shell("mkfifo p.png && { cat p.png > got.png & reader=$!; "
                             "EXE render t.xml -o p.png --size 64x36 >stdout.txt 2>stderr.txt; "
                             "s=$?; wait $reader; exit $s; }");
    EXPECT_EQ(status, 0) << ReadFile(dir_ / "stderr.txt");
    EXPECT_TRUE(fs::is_fifo(dir_ / "p.png"));
    EXPECT_EQ(ReadFile(dir_ / "got.png"), expected);
}

TEST_F(Cli, VideoReplacesTheOutputOnlyWhenComplete) {
    ASSERT_EQ(Run("text Hi -o t.xml --effect PATH_FADE").status, 0);
    Write("clip.mp4", "good old video");
    const auto expectOldVideoOnly = [&](const std::string& what) {
        EXPECT_EQ(ReadFile(dir_ / "clip.mp4"), "good old video") << what;
        EXPECT_EQ(Names(), (std::vector<std::string>{"clip.mp4", "t.xml"})) << what;
    };

    // Interrupted part-way (once its progress shows that frames are written): the partial file is
    // removed and the old video kept.
    const int status = Shell("EXE animate t.xml -o clip.mp4 --frames 1000000 --size 16x16 "
                             ">stdout.txt 2>stderr.txt & tool=$!; "
                             "n=0; while [ ! -s stderr.txt ] && [ $n -lt 600 ]; do sleep 0.05; n=$((n+1)); done; "
                             "sleep 0.2; kill -INT $tool; wait $tool");
    EXPECT_EQ(status, 130) << ReadFile(dir_ / "stderr.txt");
    EXPECT_NE(ReadFile(dir_ / "stderr.txt").find("interrupted; clip.mp4 left as it was"), std::string::npos)
        << ReadFile(dir_ / "stderr.txt");
    expectOldVideoOnly("interrupted");

    // A device that takes nothing: the failure is reported, not a success.
    Result r = Run("animate t.xml -o /dev/full --frames 3 --size 32x16");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out.find("wrote"), std::string::npos) << r.out;

    // Success, at an odd size: padded to even sides for H.264, and the padding announced.
    r = Run("animate t.xml -o clip.mp4 --frames 3 --size 33x17");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("33x17 frames get a black column and row added (34x18)"), std::string::npos) << r.err;
    ASSERT_EQ(Shell("timeout 60 ffprobe -v error -count_frames -show_entries stream=width,height,nb_read_frames,"
                    "color_space -of csv=p=0 clip.mp4 >stdout.txt"), 0);
    EXPECT_EQ(ReadFile(dir_ / "stdout.txt"), "34,18,bt709,3\n");
}

TEST_F(Cli, RangePiecesJoinIntoTheFramesOfOneRun) {
    ASSERT_EQ(Run("text 'Go far' -o t.xml --size 40 --effect PATH_SLIDEUP --then PATH_WIPELEFT").status, 0);
    const std::string common = "animate t.xml --frames 7 --size 96x54 ";
    ASSERT_EQ(Run(common + "-o 'whole/%02d.png'").status, 0);
    const Result first = Run(common + "-o 'pieces/%02d.png' --range 0:2");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("3/3 frames"), std::string::npos) << first.err;
    EXPECT_FALSE(fs::exists(dir_ / "pieces/03.png"));
    ASSERT_EQ(Run(common + "-o 'pieces/%02d.png' --range 3:5").status, 0);
    ASSERT_EQ(Run(common + "-o 'pieces/%02d.png' --range 6:6").status, 0);
    for (int i = 0; i < 7; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%02d.png", i);
        EXPECT_EQ(ReadFile(dir_ / "pieces" / name), ReadFile(dir_ / "whole" / name)) << name;
    }
    // A shorter run into the same directory warns of the frames it did not replace.
    const Result shorter = Run("animate t.xml --frames 5 --size 96x54 -o 'whole/%02d.png'");
    ASSERT_EQ(shorter.status, 0) << shorter.err;
    EXPECT_NE(shorter.err.find("whole/05.png and 1 more beside these frames come from an earlier, longer run"),
              std::string::npos)
        << shorter.err;
    EXPECT_EQ(Run(common + "-o 'whole/%02d.png' --range 0:0").err.find("earlier"), std::string::npos);
}

}  // namespace
}  // namespace qeltitle
