// End-to-end checks of the qeltitle executable: each case runs the built tool in its own
// directory and looks at its exit status, its messages and the files it wrote.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Image.h"
#include "Output.h"

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

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(QELTITLE_WORK_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    // Runs `qeltitle ARGS` in the test's directory; `prefix` goes before it (environment settings).
    Result Run(const std::string& args, const std::string& prefix = "") const {
        const std::string command = "cd '" + dir_.string() + "' && " + prefix + " '" QELTITLE_EXE "' " + args +
                                    " >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir_ / "stdout.txt");
        r.err = ReadFile(dir_ / "stderr.txt");
        return r;
    }

    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }

    fs::path dir_;
};

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
    ASSERT_EQ(Run("text 'Hello' -o t.xml --at 100,100 --size 80 --color '#FFFFFF'").status, 0);
    const Result r = Run("render t.xml -o f.png --size 640x360 --background '#203040'");
    ASSERT_EQ(r.status, 0) << r.err;
    Image image;
    std::string error;
    ASSERT_TRUE(ReadPng((dir_ / "f.png").string(), image, error)) << error;
    ASSERT_EQ(image.width, 640);
    ASSERT_EQ(image.height, 360);
    const uint8_t background[3] = {0x40, 0x30, 0x20};
    // "Hello" at 80 units: about 200 wide and 95 tall from (100, 100).
    EXPECT_GT(ChangedPixels(image, 100, 100, 320, 200, background), 500);
    EXPECT_EQ(ChangedPixels(image, 0, 0, 90, 360, background), 0);
    EXPECT_EQ(ChangedPixels(image, 400, 0, 640, 360, background), 0);
    EXPECT_EQ(ChangedPixels(image, 0, 240, 640, 360, background), 0);
}

TEST_F(Cli, RenderWithoutATimeShowsAStringThatLeavesAtTheEnd) {
    ASSERT_EQ(Run("text 'Bye' -o t.xml --at 40,40 --size 80 --effect PATH_SLIDEUP --then PATH_FADE").status, 0);
    const uint8_t black[3] = {0, 0, 0};
    Image image;
    std::string error;
    // At time 1 the fade has taken the string away; the default still shows it at rest.
    ASSERT_EQ(Run("render t.xml -o end.png --size 320x180 --time 1").status, 0);
    ASSERT_TRUE(ReadPng((dir_ / "end.png").string(), image, error)) << error;
    EXPECT_EQ(ChangedPixels(image, 0, 0, 320, 180, black), 0);
    const Result r = Run("render t.xml -o rest.png --size 320x180");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("at rest"), std::string::npos) << r.out;
    ASSERT_TRUE(ReadPng((dir_ / "rest.png").string(), image, error)) << error;
    EXPECT_GT(ChangedPixels(image, 40, 40, 240, 140, black), 500);
    // The title file itself keeps its key frames.
    EXPECT_NE(Run("info t.xml").out.find("4 key frames"), std::string::npos);
}

TEST_F(Cli, TransparentBackgroundKeepsAlphaOutsideTheText) {
    ASSERT_EQ(Run("text 'Hi' -o t.xml --at 20,20 --size 60").status, 0);
    ASSERT_EQ(Run("render t.xml -o f.png --size 200x120 --background transparent").status, 0);
    Image image;
    std::string error;
    ASSERT_TRUE(ReadPng((dir_ / "f.png").string(), image, error)) << error;
    int opaque = 0;
    for (int y = 20; y < 90; ++y)
        for (int x = 20; x < 100; ++x) opaque += image.At(x, y)[3] > 200;
    EXPECT_GT(opaque, 100);
    for (int y = 0; y < 120; ++y) EXPECT_EQ(image.At(190, y)[3], 0) << "row " << y;
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
        {"text Hi -o no/such/dir/x.xml", "cannot save title: no/such/dir/x.xml", 1},
        {"animate t.xml -o frames.png --frames 2", "needs a frame-number pattern", 1},
        {"animate t.xml -o 'f/%d%d.png' --frames 2", "bad frame pattern", 1},
        {"text Hi -o sub", "cannot save title: sub: is a directory", 1},
        {"effects --strings sub", "cannot load effect strings: sub: is a directory", 1},
        {"effects --strings other.xml", "other.xml: not a string table (its root element is <Other>", 1},
        {"gallery -o g.png --strings broken.xml", "cannot load effect strings: broken.xml: not well-formed", 1},
        {"effects --level 0", "out of range", 2},
        {"frobnicate", "unknown command 'frobnicate'", 2},
    };
    // A valid title for the cases that get past loading.
    ASSERT_EQ(Run("text Hi -o t.xml").status, 0);
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\nstderr: " << r.err;
    }
}

TEST_F(Cli, VideoWithoutFfmpegNamesTheMissingProgram) {
    ASSERT_EQ(Run("text Hi -o t.xml").status, 0);
    const Result r = Run("animate t.xml -o clip.mp4 --frames 2", "PATH=/nonexistent");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ffmpeg is not installed"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "clip.mp4"));
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
    EXPECT_NE(r.out.find("clip.gif (4 frames)"), std::string::npos) << r.out;
}

TEST_F(Cli, InfoAndDumpDescribeTheTitle) {
    ASSERT_EQ(Run("text 'Ab\\nC' -o t.xml --effect PATH_WIPERIGHT --border 3:#102030").status, 0);
    const Result info = Run("info t.xml");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("1 string"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"Ab\\nC\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("5 characters"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("2 paragraphs"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("2 key frames: 0 PATH_WIPERIGHT 0, 1 PATH_WIPERIGHT 1"), std::string::npos)
        << info.out;
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
    std::string error;
    ASSERT_TRUE(ReadPng((dir_ / "g.png").string(), image, error)) << error;
    EXPECT_EQ(image.height, 44 + 26 * (96 + 6) + 6);  // header, 26 rows of the second level

    // No label runs into the cells: the last columns before the first cell show only the sheet,
    // even beside "PATH_ROLLERCOASTERRIGHT  CLASS_FLY".
    const int labelWidth = image.width - 4 * (256 + 6) - 6;
    ASSERT_GE(labelWidth, 300);
    const uint8_t sheet[3] = {0x18, 0x12, 0x12};
    EXPECT_EQ(ChangedPixels(image, labelWidth - 8, 44, labelWidth + 6, image.height, sheet), 0);
}

}  // namespace
}  // namespace qeltitle
