// The parts that put titles on clips: times in seconds, key frames from seconds, the title's
// remembered length and frame, and the fit of a design frame into any output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "KeyFrames.h"
#include "Placement.h"
#include "StyledString.h"
#include "TitleFiles.h"
#include "TitleMeta.h"
#include "Timing.h"

namespace qeltitle {
namespace {

namespace fs = std::filesystem;

TEST(Timing, SecondsAndClockTimes) {
    const struct {
        const char* text;
        double seconds;  // < 0: refused
    } cases[] = {
        {"4", 4},         {"2.5", 2.5},         {"0", 0},        {"1:05", 65},      {"1:05.250", 65.25},
        {"90:00", 5400},  {"01:02:03.5", 3723.5}, {"-1", -1},    {"1:60", -1},      {"1:2:3:4", -1},
        {"", -1},         {"1.5:00", -1},         {"abc", -1},   {"1:", -1},        {"+3", -1},
        {"86401", -1},
    };
    for (const auto& c : cases) {
        double seconds = -1;
        std::string error;
        EXPECT_EQ(ParseSeconds(c.text, 86400, seconds, error), c.seconds >= 0) << c.text << ": " << error;
        if (c.seconds >= 0) EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
        else EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
    EXPECT_EQ(FormatSeconds(65.25), "1:05.250");
    EXPECT_EQ(FormatSeconds(3723), "1:02:03");
}

TEST(Schedule, KeyFramesFromSeconds) {
    const struct {
        double length, in, out;
        const char* exit;
        std::vector<KeyFrame> keys;
    } cases[] = {
        {4, 1, 1, "F", {{0, "E", 0}, {0.25f, "E", 1}, {0.75f, "F", 1}, {1, "F", 0}}},
        {4, 0.5, 0, "", {{0, "E", 0}, {0.125f, "E", 1}, {1, "E", 1}}},
        {10, 0, 2, "F", {{0, "E", 1}, {0.8f, "F", 1}, {1, "F", 0}}},
        {2, 1, 1, "F", {{0, "E", 0}, {0.5f, "E", 1}, {std::nextafter(0.5f, 1.0f), "F", 1}, {1, "F", 0}}},
        {3, 3, 0, "", {{0, "E", 0}, {1, "E", 1}}},
    };
    for (const auto& c : cases) {
        const std::vector<KeyFrame> keys = TimedSchedule("E", c.exit, c.length, c.in, c.out);
        ASSERT_EQ(keys.size(), c.keys.size()) << "length " << c.length << " in " << c.in << " out " << c.out;
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_FLOAT_EQ(keys[i].key, c.keys[i].key) << "length " << c.length << " key " << i;
            EXPECT_EQ(keys[i].pathId, c.keys[i].pathId) << "length " << c.length << " key " << i;
            EXPECT_EQ(keys[i].progress, c.keys[i].progress) << "length " << c.length << " key " << i;
        }
    }
}

TEST(Fit, UniformScaleCentredInAnyFrame) {
    const struct {
        DesignFrame design;
        int width, height;
        FrameFit fit;
    } cases[] = {
        {{1920, 1080}, 1920, 1080, {1.0f, 0, 0, 1920, 1080}},
        {{1920, 1080}, 1280, 720, {1280 / 1920.0f, 0, 0, 1280, 720}},
        {{1920, 1080}, 1080, 1920, {0.5625f, 0, 656, 1080, 608}},   // portrait: a band across the middle
        {{1920, 1080}, 1000, 1000, {1000 / 1920.0f, 0, 218, 1000, 563}},  // square
        {{1080, 1920}, 1920, 1080, {0.5625f, 656, 0, 608, 1080}},   // a portrait title on landscape
        {{1080, 1920}, 720, 1280, {720 / 1080.0f, 0, 0, 720, 1280}},
    };
    for (const auto& c : cases) {
        const FrameFit fit = FitDesignFrame(c.design, c.width, c.height);
        SCOPED_TRACE(FormatDesignFrame(c.design) + " in " + std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_FLOAT_EQ(fit.scale, c.fit.scale);
        EXPECT_EQ(fit.x, c.fit.x);
        EXPECT_EQ(fit.y, c.fit.y);
        EXPECT_EQ(fit.width, c.fit.width);
        EXPECT_EQ(fit.height, c.fit.height);
    }
}

// The length and frame ride in the root element: the library loads such a file as before, a save
// through the tool writes them, and values that are not valid are ignored with a warning.
TEST(TitleMeta, StoredBesideWhatTheLibraryReads) {
    const fs::path dir = fs::temp_directory_path() / ("qeltitle-meta-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string error, warning;
    HostPtr host = NewHost(error);
    ASSERT_TRUE(host) << error;
    AddedString added;
    ASSERT_TRUE(AddStyledString(*host, u"Meta", StringStyle{}, added, error)) << error;
    const std::string path = (dir / "t.xml").string();
    const TitleMeta meta{4.5, DesignFrame{1080, 1920}};
    ASSERT_TRUE(SaveTitle(*host, path, error, &meta)) << error;

    HostPtr again = NewHost(error);
    TitleMeta read;
    ASSERT_TRUE(LoadTitle(*again, path, read, warning, error)) << error;
    EXPECT_EQ(again->GetCharCount(0), 4);
    EXPECT_EQ(read.length, 4.5);
    EXPECT_EQ(read.frame, (DesignFrame{1080, 1920}));
    EXPECT_TRUE(warning.empty()) << warning;

    // Written again, the attributes are replaced, not repeated; a title without them has neither.
    std::u16string document = u"<CTitle Version=\"2.0\" Length=\"9\" Frame=\"1x1\"><StringList/></CTitle>";
    ASSERT_TRUE(InsertTitleMeta(document, TitleMeta{2, std::nullopt}));
    EXPECT_EQ(document, u"<CTitle Version=\"2.0\" Length=\"2\"><StringList/></CTitle>");
    ASSERT_TRUE(SaveTitle(*host, path, error)) << error;
    ASSERT_TRUE(ReadTitleMeta(path, read, warning));
    EXPECT_FALSE(read.length || read.frame);

    for (const char* bad : {"Length=\"-2\"", "Length=\"soon\"", "Frame=\"0x100\"", "Frame=\"wide\""}) {
        std::ofstream(dir / "bad.xml") << "<CTitle Version=\"2.0\" " << bad << "><StringList/></CTitle>";
        ASSERT_TRUE(ReadTitleMeta((dir / "bad.xml").string(), read, warning));
        EXPECT_FALSE(read.length || read.frame) << bad;
        EXPECT_NE(warning.find("ignoring"), std::string::npos) << bad;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace qeltitle
