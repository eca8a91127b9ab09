// The parts that put titles on clips: times in seconds, key frames from seconds, the title's
// remembered length and frame, and the fit of a design frame into any output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <vector>
#include <fstream>

#include "authoring/KeyFrames.h"
#include "player/Placement.h"
#include "authoring/StyledString.h"
#include "player/TitleFiles.h"
#include "player/TitleMeta.h"
#include "player/Timing.h"
#include "player/TitlePlayer.h"

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
        const Expected<double> parsed = ParseSeconds(c.text, 86400);
        const double seconds = parsed ? *parsed : -1;
        const std::string& error = parsed.Message();
        EXPECT_EQ(static_cast<bool>(parsed), c.seconds >= 0) << c.text << ": " << error;
        if (c.seconds >= 0) {
            EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
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

// A title anchored to the output frame: on 16:9, 9:16 and 1:1 frames its bottom-left string keeps
// its margins of the frame's own corner and its text its size (the design frame's short side on
// the output's); fitted whole instead (titles without Fit), it is drawn in the middle band.
TEST(Fit, AnchoredTitleKeepsItsCornerOfAnyFrame) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    StringStyle style;
    style.size = 64;
    ParseAnchor("bottom-left", style.anchor);
    style.margin = Margin{80, 60};
    AddedString added;
    ASSERT_TRUE(AddStyledString(*host, u"Jane Doe", style, added, error)) << error;
    TitleMeta meta{std::nullopt, DesignFrame{1920, 1080}, FormatAnchors({{0, style.anchor, 80, 60}}), true};
    uint32_t bytes = 0;
    ASSERT_EQ(host->SaveTitleToBuffer(nullptr, &bytes), qel::S_OK);
    std::u16string document(bytes / 2, u'\0');
    ASSERT_EQ(host->SaveTitleToBuffer(document.data(), &bytes), qel::S_OK);
    ASSERT_TRUE(InsertTitleMeta(document, meta));
    std::string utf8;  // the document in UTF-8 for the player (its text is ASCII)
    for (char16_t c : document) utf8.push_back(char(c));
    utf8.replace(utf8.find("UTF-16"), 6, "UTF-8");
    const struct {
        int width, height;
        bool output;  // anchored to the output frame
        float scale;
    } cases[] = {{960, 540, true, 0.5f}, {540, 960, true, 0.5f}, {720, 720, true, 720 / 1080.0f},
                 {540, 960, false, 0.28125f}};
    std::optional<std::pair<float, float>> landscape;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (c.output ? " output" : " design"));
        std::string doc = utf8;
        if (!c.output) doc.replace(doc.find(" Fit=\"output\""), 13, "");
        Expected<TitlePlayer> player = TitlePlayer::FromDocument(doc, "lower third");
        ASSERT_TRUE(player) << player.Message();
        ASSERT_EQ(player->Meta().fitOutput, c.output);
        ASSERT_TRUE(player->Place(PlayerFrame{c.width, c.height, std::nullopt, true, 1}));
        Image frame;
        ASSERT_TRUE(player->Draw(Image(c.width, c.height), 1.0, frame));
        int left = c.width, top = c.height, bottom = -1;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (frame.At(x, y)[3] > 64) left = std::min(left, x), top = std::min(top, y), bottom = std::max(bottom, y);
        ASSERT_GE(bottom, 0);
        EXPECT_NEAR(bottom - top, (added.extent.bottom - added.extent.top) * c.scale, 0.35f * 64 * c.scale);
        if (c.output) {
            // The ink's distances from the left and bottom edges, in layout units, as on 16:9
            // (the margins hold the character boxes, whose descent lies below the ink).
            const float gapLeft = left / c.scale, gapBottom = (c.height - 1 - bottom) / c.scale;
            if (!landscape) landscape = std::pair{gapLeft, gapBottom};
            EXPECT_NEAR(gapLeft, landscape->first, 3 / c.scale);
            EXPECT_NEAR(gapBottom, landscape->second, 3 / c.scale);
            EXPECT_GE(gapLeft, 80 - 4 / c.scale);
            EXPECT_GE(gapBottom, 60 - 4 / c.scale);
        } else {
            EXPECT_LT(bottom, (c.height + 1080 * c.scale) / 2);  // inside the fitted band
        }
    }
}

// Each anchor puts the string's drawn extent at its place of the frame, the margin in from the
// edges it touches, through the library's own measurements.
TEST(Anchors, NineAnchorsPlaceTheDrawnExtent) {
    const struct {
        const char* name;
        float left, top, right, bottom;  // < 0: not checked (centred across that side)
    } cases[] = {
        {"top-left", 50, 30, -1, -1},     {"top", -1, 30, -1, -1},     {"top-right", -1, 30, 1870, -1},
        {"left", 50, -1, -1, -1},         {"center", -1, -1, -1, -1},  {"right", -1, -1, 1870, -1},
        {"bottom-left", 50, -1, -1, 1050}, {"bottom", -1, -1, -1, 1050}, {"bottom-right", -1, -1, 1870, 1050},
    };
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host) << error;
    for (const auto& c : cases) {
        StringStyle style;
        style.rotate = 10;  // the turned extent is what is placed
        ASSERT_TRUE(ParseAnchor(c.name, style.anchor));
        style.margin = Margin{50, 30};
        AddedString added;
        ASSERT_TRUE(AddStyledString(*host, u"Anchored", style, added, error)) << error;
        const Extent e = MeasureString(*host, added.row);
        const float expected[4] = {c.left, c.top, c.right, c.bottom}, got[4] = {e.left, e.top, e.right, e.bottom};
        for (int k = 0; k < 4; ++k)
            if (expected[k] >= 0) {
                EXPECT_NEAR(got[k], expected[k], 0.5f) << c.name << " side " << k;
            }
        if (c.left < 0 && c.right < 0) {
            EXPECT_NEAR(e.left + e.right, 1920, 1.0f) << c.name;
        }
        if (c.top < 0 && c.bottom < 0) {
            EXPECT_NEAR(e.top + e.bottom, 1080, 1.0f) << c.name;
        }
        EXPECT_FALSE(added.outside) << c.name;
    }
    EXPECT_FALSE(ParseAnchor("middle"));
    const Expected<Margin> margin = ParseMargin("60");
    EXPECT_TRUE(margin && margin->x == 60 && margin->y == 60);
    EXPECT_FALSE(ParseMargin("60,"));
}

// A string with a width that still reaches outside the frame is reported.
TEST(Anchors, WidthOverflowIsReported) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host) << error;
    StringStyle style;
    style.width = 500;
    AddedString added;
    const std::u16string text = u"A caption long enough to need three or four lines at this width.";
    ASSERT_TRUE(AddStyledString(*host, text, style, added, error)) << error;
    EXPECT_GE(added.wrappedLines, 2);
    EXPECT_LE(added.extent.right - added.extent.left, 500.5f);
    std::u16string stored(host->GetText(added.row, nullptr) + 1, u'\0');
    host->GetText(added.row, stored.data());
    stored.resize(stored.size() - 1);
    std::u16string unwrapped;
    for (size_t i = 0; i < stored.size(); ++i) {
        const bool pair = stored[i] == u'\r' && i + 1 < stored.size() && stored[i + 1] == u'\n';
        unwrapped += pair ? u' ' : stored[i];
        i += pair ? 1 : 0;
    }
    EXPECT_EQ(unwrapped, text);  // every break took the place of a space

    style = StringStyle{};
    style.at = std::make_pair(100.0f, 950.0f);
    ASSERT_TRUE(AddStyledString(*host, text + text, style, added, error)) << error;
    EXPECT_TRUE(added.outside);
}

// The length and frame ride in the root element: the library loads such a file as before, a save
// through the tool writes them, and values that are not valid are ignored with a warning.
TEST(TitleMeta, StoredBesideWhatTheLibraryReads) {
    const fs::path dir = fs::temp_directory_path() / ("qeltitle-meta-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string error, warning;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host) << error;
    AddedString added;
    ASSERT_TRUE(AddStyledString(*host, u"Meta", StringStyle{}, added, error)) << error;
    const std::string path = (dir / "t.xml").string();
    const TitleMeta meta{4.5, DesignFrame{1080, 1920}, {}};
    ASSERT_TRUE(SaveTitle(*host, path, &meta)) << SaveTitle(*host, path, &meta).Message();

    HostPtr again = std::move(*NewHost());
    TitleMeta read;
    ASSERT_TRUE(LoadTitle(*again, path, read, warning));
    EXPECT_EQ(again->GetCharCount(0), 4);
    EXPECT_EQ(read.length, 4.5);
    EXPECT_EQ(read.frame, (DesignFrame{1080, 1920}));
    EXPECT_TRUE(warning.empty()) << warning;

    // Written again, the attributes are replaced, not repeated; a title without them has neither.
    std::u16string document = u"<CTitle Version=\"2.0\" Length=\"9\" Frame=\"1x1\"><StringList/></CTitle>";
    ASSERT_TRUE(InsertTitleMeta(document, TitleMeta{2, std::nullopt, {}}));
    EXPECT_EQ(document, u"<CTitle Version=\"2.0\" Length=\"2\"><StringList/></CTitle>");
    ASSERT_TRUE(SaveTitle(*host, path));
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
