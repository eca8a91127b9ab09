// Text conversion, frame-number patterns, ffmpeg arguments, PNG files and the frame loop of
// qeltitle.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "commands/DebugLines.h"
#include "media/FrameLoop.h"
#include "player/TitlePlayer.h"
#include "player/Image.h"
#include "media/Output.h"
#include "authoring/Text.h"
#include "media/Png.h"

namespace qeltitle {
namespace {

namespace fs = std::filesystem;

TEST(ToolText, Utf8ToUtf16) {
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"Hello", u"Hello"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xE7\xB8\xA6", u"\u7E26"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},             // surrogate pair
        {"a\x80" "b", u"a\uFFFDb"},                     // stray continuation byte
        {"\xC3", u"\uFFFD"},                            // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                  // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD"},                      // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"},                  // above U+10FFFF
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
}

TEST(ToolText, Utf16ToUtf8RoundTripsAndReplacesLoneSurrogates) {
    for (const char* text : {"plain", "caf\xC3\xA9", "\xE7\xB8\xA6\xE6\x9B\xB8", "\xF0\x9F\x98\x80!"})
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(ToolText, TitleTextMakesParagraphBreaks) {
    const struct {
        const char* in;
        std::u16string out;
    } cases[] = {
        {"a\\nb", u"a\r\nb"},   {"a\nb", u"a\r\nb"},      {"a\r\nb", u"a\r\nb"}, {"a\rb", u"a\r\nb"},
        {"a\\\\nb", u"a\\nb"},  {"a\\tb", u"a\\tb"},      {"end\\", u"end\\"},   {"\\n\\n", u"\r\n\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandTitleText(c.in), c.out) << c.in;
    EXPECT_EQ(PrintableText(u"a\r\nb\tc\r"), "a\\nb\\x09c\\x0D");
}

TEST(FramePattern, AcceptsOneIntegerConversionOnly) {
    const struct {
        const char* pattern;
        bool ok;
        const char* frame7;
    } cases[] = {
        {"f/%04d.png", true, "f/0007.png"}, {"%d.png", true, "7.png"},   {"%3d.png", true, "  7.png"},
        {"100%%-%02d.png", true, "100%-07.png"},
        {"%s.png", false, ""},             {"%d%d.png", false, ""},     {"%n.png", false, ""},
        {"%x.png", false, ""},             {"%%.png", false, ""},       {"%-4d.png", false, ""},
        {"%10d.png", false, ""},           {"%", false, ""},            {"plain.png", false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bool(CheckFramePattern(c.pattern)), c.ok) << c.pattern;
        EXPECT_EQ(IsFramePattern(c.pattern), c.ok) << c.pattern;
        if (c.ok) {
            EXPECT_EQ(FormatFramePattern(c.pattern, 7), c.frame7);
        }
    }
    EXPECT_EQ(FormatFramePattern("%04d", 12345), "12345");
}

TEST(Ffmpeg, FindProgramSearchesPath) {
    EXPECT_FALSE(FindProgram("sh").empty());
    EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");
    EXPECT_TRUE(FindProgram("no-such-program-qel").empty());
    EXPECT_TRUE(FindProgram("/no/such/program").empty());
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qeltitle-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

Image Pattern(int w, int h) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.At(x, y);
            p[0] = static_cast<uint8_t>(x * 7), p[1] = static_cast<uint8_t>(y * 13);
            p[2] = static_cast<uint8_t>(x ^ y), p[3] = static_cast<uint8_t>(x * 31 + y);
        }
    return image;
}

using PngFile = TempDir;

TEST_F(PngFile, RoundTripsWithAndWithoutAlpha) {
    const Image image = Pattern(37, 11);
    std::string error;
    const std::string path = (dir_ / "a.png").string();
    for (bool alpha : {true, false}) {
        Status written = WritePng(path, image, alpha, alpha ? PngKind::SequenceFrame : PngKind::Still);
        ASSERT_TRUE(written) << written.Message();
        EXPECT_FALSE(fs::exists(path + ".partial"));
        Expected<Image> read = ReadPng(path);
        ASSERT_TRUE(read) << read.Message();
        const Image& back = *read;
        ASSERT_EQ(back.width, 37);
        ASSERT_EQ(back.height, 11);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            const uint8_t expected = (i % 4 == 3 && !alpha) ? 255 : image.pixels[i];
            ASSERT_EQ(back.pixels[i], expected) << "byte " << i << (alpha ? " with alpha" : " opaque");
        }
    }
}

TEST_F(PngFile, ReportsWhyItCannotReadOrWrite) {
    Expected<Image> missing = ReadPng((dir_ / "missing.png").string());
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.Message().empty());
    std::ofstream(dir_ / "text.png") << "not a png at all";
    Expected<Image> text = ReadPng((dir_ / "text.png").string());
    EXPECT_FALSE(text);
    EXPECT_FALSE(text.Message().empty());
    Status underFile = WritePng((dir_ / "text.png/a.png").string(), Pattern(2, 2), true, PngKind::Still);
    EXPECT_FALSE(underFile);
    EXPECT_FALSE(underFile.Message().empty());
}

TEST(ImageOps, GradientResizeAndBlit) {
    Image gradient(3, 5);
    FillVerticalGradient(gradient, 0x000000, 0xFF8040);
    EXPECT_EQ(gradient.At(2, 0)[2], 0);
    EXPECT_EQ(gradient.At(2, 4)[2], 0xFF);  // red, last row exactly the bottom colour
    EXPECT_EQ(gradient.At(0, 4)[1], 0x80);
    EXPECT_EQ(gradient.At(0, 4)[0], 0x40);
    EXPECT_EQ(gradient.At(1, 2)[2], 128);   // halfway
    EXPECT_EQ(gradient.At(1, 2)[3], 255);

    Image one(1, 1);
    FillSolid(one, 0x102030);
    const Image big = Resized(one, 4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(big.At(x, y)[0], 0x30);
    const Image same = Resized(Pattern(6, 4), 6, 4);
    EXPECT_EQ(same.pixels, Pattern(6, 4).pixels);

    Image target(4, 4);
    Blit(target, big, 2, -1);  // cut on the right and the top
    EXPECT_EQ(target.At(1, 0)[0], 0);
    EXPECT_EQ(target.At(2, 0)[0], 0x30);
    EXPECT_EQ(target.At(3, 1)[0], 0x30);
    EXPECT_EQ(target.At(3, 2)[0], 0);
    Blit(target, big, -10, -10);  // entirely outside: nothing happens
    Blit(target, big, 10, 0);
}

// Records what reaches it; can fail at a chosen frame.
class RecordingSink : public FrameSink {
public:
    explicit RecordingSink(int failAt = -1) : failAt_(failAt) {}
    Status Write(int index, const Image& frame) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (index == failAt_) return Failure("disk full");
        indices.push_back(index);
        firstBytes.push_back(frame.pixels[0]);
        return {};
    }
    Status Finish() override {
        finished = true;
        return {};
    }
    std::string Describe(const std::string&) const override { return "recording"; }

    std::vector<int> indices;
    std::vector<uint8_t> firstBytes;
    bool finished = false;

private:
    std::mutex lock_;
    int failAt_;
};

TEST(FrameLoop, HandsEveryFrameInOrder) {
    RecordingSink sink;
    const auto draw = [](int i, Image& frame) {
        frame.pixels[0] = static_cast<uint8_t>(i * 3);
        return Status::Ok();
    };
    const Status run = RunFrames(20, 8, 4, draw, sink, nullptr);
    ASSERT_TRUE(run) << run.Message();
    ASSERT_EQ(sink.indices.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(sink.indices[i], i);
        EXPECT_EQ(sink.firstBytes[i], i * 3) << "frame " << i << " was overwritten before it was written";
    }
    EXPECT_TRUE(sink.finished);
}

TEST(FrameLoop, StopsAtTheFirstFailure) {
    RecordingSink failingSink(3);
    int drawn = 0;
    const auto draw = [&](int, Image&) { return ++drawn, Status::Ok(); };
    Status run = RunFrames(100, 4, 4, draw, failingSink, nullptr);
    EXPECT_FALSE(run);
    EXPECT_EQ(run.Message(), "disk full");
    EXPECT_LT(drawn, 10);
    EXPECT_FALSE(failingSink.finished);

    RecordingSink sink;
    const auto failingDraw = [](int i, Image&) { return i == 5 ? Status(Failure("no memory")) : Status::Ok(); };
    run = RunFrames(10, 4, 4, failingDraw, sink, nullptr);
    EXPECT_FALSE(run);
    EXPECT_EQ(run.Message(), "no memory");
    EXPECT_EQ(sink.indices, (std::vector<int>{0, 1, 2, 3, 4}));

    // An exception while drawing must not leave the writer thread running (that would abort).
    RecordingSink quietSink;
    const auto throwingDraw = [](int i, Image&) {
        if (i == 2) throw std::bad_alloc();
        return Status::Ok();
    };
    run = RunFrames(10, 4, 4, throwingDraw, quietSink, nullptr);
    EXPECT_FALSE(run);
    EXPECT_EQ(run.Message().rfind("cannot draw frame", 0), 0u) << run.Message();
    EXPECT_EQ(quietSink.indices, (std::vector<int>{0, 1}));
}

TEST(FrameLoop, RangesStayInsideTheAnimationAndKeepTheirNumbers) {
    const struct {
        const char* text;
        int count;
        bool ok;
        int first, last;
    } cases[] = {
        {"0:9", 10, true, 0, 9},   {"3:3", 10, true, 3, 3},     {"4:9", 10, true, 4, 9},
        {"0:10", 10, false, 0, 0}, {"5:4", 10, false, 0, 0},    {"-1:3", 10, false, 0, 0},
        {"3", 10, false, 0, 0},    {"1:2:3", 10, false, 0, 0},  {":3", 10, false, 0, 0},
        {"a:b", 10, false, 0, 0},  {"0:0", 1, true, 0, 0},
    };
    for (const auto& c : cases) {
        const Expected<FrameRange> range = ParseFrameRange(c.text, c.count);
        EXPECT_EQ(bool(range), c.ok) << c.text;
        if (c.ok) EXPECT_EQ(range->first * 1000 + range->last, c.first * 1000 + c.last) << c.text;
        else EXPECT_FALSE(range.Message().empty()) << c.text;
    }

    // Frames of a range are drawn and handed over with their numbers in the whole animation.
    RecordingSink sink;
    std::vector<int> drawn;
    const auto draw = [&](int i, Image&) { return drawn.push_back(i), Status::Ok(); };
    const Status run = RunFrames(FrameRange{4, 7}, 4, 4, draw, sink, nullptr);
    ASSERT_TRUE(run) << run.Message();
    EXPECT_EQ(drawn, (std::vector<int>{4, 5, 6, 7}));
    EXPECT_EQ(sink.indices, (std::vector<int>{4, 5, 6, 7}));
}

TEST(DebugLines, FailureReportsAreDroppedTheDumpIsOutput) {
    EXPECT_EQ(RouteOfDebugLine("QEL_Title2: Failed to load title from file a.xml!"), DebugRoute::Drop);
    EXPECT_EQ(RouteOfDebugLine("QEL_Title2: Failed to save title to buffer!"), DebugRoute::Drop);
    EXPECT_EQ(RouteOfDebugLine("[String 0] Char 4: ch = 67"), DebugRoute::StandardOutput);
    EXPECT_EQ(RouteOfDebugLine("==[Time: 5] Begin==="), DebugRoute::StandardOutput);
}

// animate spreads a title over its frames end to end; spans timed in seconds never reach 1.
TEST(FrameLoop, TitleTimesOfFrames) {
    const struct {
        int index, count;
        double animation, span;
    } kCases[] = {{0, 5, 0.0, 0.0}, {2, 5, 0.5, 0.4}, {4, 5, 1.0, 0.8}, {0, 1, 1.0, 0.0}, {1, 2, 1.0, 0.5}};
    for (const auto& c : kCases) {
        EXPECT_EQ(AnimationFrameTime(c.index, c.count), c.animation) << c.index << " of " << c.count;
        EXPECT_EQ(SpanFrameTime(c.index, c.count), c.span) << c.index << " of " << c.count;
    }
    // The frame shown 1.5 s into a cue from 0 to 2 s, and times outside the span held at its ends.
    EXPECT_EQ(TitleTimeAt(1.5, 0, 2), 0.75);
    EXPECT_EQ(TitleTimeAt(0.5, 1, 2), 0.0);
    EXPECT_EQ(TitleTimeAt(9, 1, 2), 1.0);
    EXPECT_EQ(FormatProgress(5, 10, 12.5, 61, 10), "[#####.....] 5/10 frames  12.5 fps  1:01 left");
    EXPECT_EQ(FormatProgress(0, 0, 0, -3, 4), "[####] 0/0 frames  0.0 fps  0:00 left");
}

}  // namespace
}  // namespace qeltitle
