// qeltitle's title helpers against the real library: key-frame schedules as the library evaluates
// them, centring of styled strings, the catalogue walk and the reasons given for bad files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "authoring/Effects.h"
#include "authoring/KeyFrames.h"
#include "authoring/StyledString.h"
#include "authoring/Text.h"
#include "player/TitleFiles.h"

namespace qeltitle {
namespace {

namespace fs = std::filesystem;
using namespace qel;

struct Moment {
    float time;
    const char* pathId;
    float progress;
};

// The string's path and progress after the library evaluated its key frames at `time`.
std::pair<std::string, float> At(ITitleHost& host, int row, float time) {
    EXPECT_EQ(host.SetTime(row, time), S_OK);
    StringAttrs attrs{};
    host.GetStringAttrs(row, &attrs);
    return {attrs.PathID, attrs.PathProgress};
}

void ExpectSchedule(const std::vector<KeyFrame>& frames, const std::vector<Moment>& moments) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host) << error;
    const int row = host->AddString();
    ASSERT_TRUE(SetKeyFrames(*host, row, frames, error)) << error;
    for (const Moment& m : moments) {
        const auto [id, progress] = At(*host, row, m.time);
        EXPECT_EQ(id, m.pathId) << "time " << m.time;
        EXPECT_NEAR(progress, m.progress, 1e-5) << "time " << m.time;
    }
    // Whatever the time, the string has a path: an empty one would not be drawn at all.
    for (int i = 0; i <= 200; ++i) EXPECT_FALSE(At(*host, row, i / 200.0f).first.empty()) << "time " << i / 200.0;
}

TEST(Schedule, OneEffectComesInOverTheWholeTime) {
    ExpectSchedule(TextCommandSchedule("PATH_SLIDEUP", ""),
                   {{0, "PATH_SLIDEUP", 0}, {0.25f, "PATH_SLIDEUP", 0.25f}, {1, "PATH_SLIDEUP", 1}});
}

TEST(Schedule, TwoEffectsComeInRestAndGoOut) {
    ExpectSchedule(TextCommandSchedule("PATH_SLIDEUP", "PATH_FADE"),
                   {{0, "PATH_SLIDEUP", 0},
                    {0.2f, "PATH_SLIDEUP", 0.5f},
                    {0.4f, "PATH_SLIDEUP", 1},
                    {0.5f, "PATH_SLIDEUP", 1},
                    {0.6f, "PATH_FADE", 1},
                    {0.8f, "PATH_FADE", 0.5f},
                    {1, "PATH_FADE", 0}});
}

TEST(Schedule, LateEntranceWaitsAtTheStartAndLateExitEndsGone) {
    ExpectSchedule(EffectSchedule("PATH_WIPERIGHT", 0.4f, 0.6f, "PATH_WIPELEFT", 0.7f, 0.8f),
                   {{0, "PATH_WIPERIGHT", 0},
                    {0.3f, "PATH_WIPERIGHT", 0},
                    {0.5f, "PATH_WIPERIGHT", 0.5f},
                    {0.65f, "PATH_WIPERIGHT", 1},
                    {0.75f, "PATH_WIPELEFT", 0.5f},
                    {0.9f, "PATH_WIPELEFT", 0},
                    {1, "PATH_WIPELEFT", 0}});
    ExpectSchedule(EffectSchedule("PATH_FADE", 0.0f, 0.5f), {{0.25f, "PATH_FADE", 0.5f}, {0.9f, "PATH_FADE", 1}});
}

// Middle of the bounding box of every character's quad, in frame units.
std::pair<float, float> InkCentre(ITitleHost& host, int row) {
    float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
    for (int i = 0; i < host.GetCharCount(row); ++i) {
        QuadF q{};
        if (host.GetCharQuad(row, i, &q, 0) != S_OK) continue;
        minX = std::min({minX, q.x0, q.x1, q.x2, q.x3}), maxX = std::max({maxX, q.x0, q.x1, q.x2, q.x3});
        minY = std::min({minY, q.y0, q.y1, q.y2, q.y3}), maxY = std::max({maxY, q.y0, q.y1, q.y2, q.y3});
    }
    return {(minX + maxX) / 2, (minY + maxY) / 2};
}

TEST(StyledString, CentredInTheFrameWhateverItsShape) {
    const struct {
        const char* name;
        bool vertical;
        float rotate;
        const char* text;
    } cases[] = {
        {"plain", false, 0, "Centre"},
        {"two paragraphs", false, 0, "Wide first line\\nshort"},
        {"rotated", false, 30, "Turned"},
        {"vertical", true, 0, "Down"},
        {"vertical rotated", true, -45, "Both\\nways"},
    };
    for (const auto& c : cases) {
        std::string error;
        HostPtr host = std::move(*NewHost());
        ASSERT_TRUE(host) << error;
        StringStyle style;
        style.size = 50;
        style.vertical = c.vertical;
        style.rotate = c.rotate;
        style.frame = {800, 600};
        AddedString added;
        ASSERT_TRUE(AddStyledString(*host, ExpandTitleText(c.text), style, added, error)) << c.name << ": " << error;
        const auto [x, y] = InkCentre(*host, added.row);
        EXPECT_NEAR(x, 400, 1.5) << c.name;  // corners are rounded to whole units
        EXPECT_NEAR(y, 300, 1.5) << c.name;
        StringAttrs attrs{};
        host->GetStringAttrs(added.row, &attrs);
        EXPECT_EQ(attrs.Vertical != 0, c.vertical) << c.name;
        EXPECT_EQ(attrs.RotateDegree, c.rotate) << c.name;
    }
}

TEST(StyledString, StyleReachesTheCharacters) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    StringStyle style;
    style.font = "No Such Font Family";
    style.size = 40;
    style.bold = true;
    style.color1 = 0xFF0000;
    style.color2 = 0x0000FF;
    style.gradient = 3;
    style.border = BorderOption{5, 0x00FF00};
    style.shadow = ShadowOption{2, -3, 4, true, 0x102030, std::nullopt};
    style.at = std::make_pair(12.0f, 34.0f);
    AddedString added;
    ASSERT_TRUE(AddStyledString(*host, u"Ab", style, added, error)) << error;
    EXPECT_TRUE(added.fontSubstituted);
    EXPECT_FALSE(added.fontUsed.empty());

    FontSpec font{};
    ASSERT_EQ(host->GetCharFont(added.row, 1, &font), S_OK);
    EXPECT_EQ(font.Size, 40.0f);
    EXPECT_NE(font.Bold, 0);
    MetaFace face{};
    ASSERT_EQ(host->GetCharFace(added.row, 0, &face), S_OK);
    EXPECT_EQ(face.Color1, 0x0000FFu);  // red, model order
    EXPECT_EQ(face.Color2, 0xFF0000u);  // blue
    EXPECT_EQ(face.GradType, 3);
    MetaBorder border{};
    ASSERT_EQ(host->GetCharBorder(added.row, 0, &border), S_OK);
    EXPECT_EQ(border.Enable & 0xFF, 1u);
    EXPECT_EQ(border.Size, 5);
    EXPECT_EQ(border.Color1, 0x00FF00u);
    MetaShadow shadow{};
    ASSERT_EQ(host->GetCharShadow(added.row, 0, &shadow), S_OK);
    EXPECT_EQ(shadow.OffsetX, 2.0f);
    EXPECT_EQ(shadow.OffsetY, -3.0f);
    EXPECT_EQ(shadow.BlurRadius, 4);
    EXPECT_NE(shadow.Height, 0u);
    EXPECT_EQ(shadow.Color1, 0x302010u);
    StringAttrs attrs{};
    host->GetStringAttrs(added.row, &attrs);
    EXPECT_EQ(attrs.Left, 12.0f);
    EXPECT_EQ(attrs.Top, 34.0f);
    EXPECT_STREQ(attrs.PathID, "PATH_NOEFFECT");
}

TEST(OfferedEffects, OfferedEffectsCarryGroupsAndDisplayKeys) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    const auto all = OfferedEffects(*host, 1);
    ASSERT_EQ(all.size(), 65u);
    EXPECT_EQ(all.front().pathId, "PATH_AMPLIFYH");
    EXPECT_EQ(all.front().group, "CLASS_WIPE");
    EXPECT_EQ(all.front().name, "AmplifyH");
    EXPECT_EQ(all.back().pathId, "PATH_GLOW");
    EXPECT_EQ(OfferedEffects(*host, 2).size(), 26u);
    EXPECT_TRUE(OfferedEffects(*host, 3).empty());

    EXPECT_EQ(DisplayKeyOf("IDS_DSP_Ti_SlideUp_Name"), "SlideUp");
    EXPECT_EQ(DisplayKeyOf("Slide up"), "Slide up");
    EXPECT_EQ(DisplayKeyOf("IDS_DSP_Ti__Name"), "IDS_DSP_Ti__Name");
    EXPECT_EQ(DisplayKeyOf("IDS_DSP_Ti_SlideUp_Desc"), "IDS_DSP_Ti_SlideUp_Desc");
}

class TitleFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qeltitle-files-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
        return (dir_ / name).string();
    }
    fs::path dir_;
};

TEST_F(TitleFiles, LoadFailuresSayWhy) {
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(dir_ / "missing.xml").string(), "No such file or directory"},
        {dir_.string(), "is a directory"},
        {Write("empty.xml", ""), "not a title document (no XML in it)"},
        {Write("junk.xml", "<CTitle><StringList>"), "not well-formed XML"},
        {Write("root.xml", "<Title/>"), "its root element is <Title>, not <CTitle>"},
        {Write("nolist.xml", "<CTitle Version=\"2.0\"><Header/></CTitle>"), "<CTitle> has no <StringList>"},
    };
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    for (const auto& c : cases) {
        const Status loaded = LoadTitle(*host, c.path);
        error = loaded.Message();
        EXPECT_FALSE(loaded) << c.path;
        EXPECT_EQ(error.rfind("cannot load title: " + c.path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST_F(TitleFiles, SavedTitleLoadsBack) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    AddedString added;
    ASSERT_TRUE(AddStyledString(*host, u"Saved", StringStyle{}, added, error)) << error;
    ASSERT_TRUE(SetKeyFrames(*host, added.row, TextCommandSchedule("PATH_FADE", ""), error));
    const std::string path = (dir_ / "t.xml").string();
    ASSERT_TRUE(SaveTitle(*host, path));
    const Status underFile = SaveTitle(*host, (dir_ / "t.xml/t.xml").string());
    EXPECT_FALSE(underFile);
    EXPECT_NE(underFile.Message().find("cannot save title"), std::string::npos);

    HostPtr again = std::move(*NewHost());
    ASSERT_TRUE(LoadTitle(*again, path));
    EXPECT_EQ(again->GetStringCount(), 1);
    EXPECT_EQ(again->GetCharCount(0), 5);
    EXPECT_EQ(again->GetKeyFrameCount(0), 2);
}

}  // namespace
}  // namespace qeltitle
