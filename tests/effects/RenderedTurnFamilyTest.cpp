// The rotate, roll and crawl and special paths drawn through Render, as a host sees them: the
// paths that bring characters to rest draw exactly the title at rest at their end, the rolls and
// crawls have carried the string out of the frame, and the random order of icicles is the same
// in every frame and with any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {
namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 240;

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

struct Frame {
    std::vector<uint8_t> pixels;
    RECT dirty{};
    bool Blank() const {
        return std::all_of(pixels.begin(), pixels.end(), [](uint8_t b) { return b == 0; });
    }
};

struct Look {
    float rotate = 0;    // degrees, the whole string
    float scale = 1;     // frame pixels per layout unit
    bool shadow = true;  // the default shadow (offset 3, 3, blurred)
    int32_t threads = 1;
};

// Two lines of DejaVu Sans 40 with a border at (160.3, 60.7), running `path` over the title time.
class Title {
public:
    Title(const char* path, const Look& look) : host_(GetTitleHost()) {
        RenderSettings rs{};
        host_->GetRenderSettings(&rs);
        rs.Width = kWidth;
        rs.Height = kHeight;
        rs.ScaleX = rs.ScaleY = look.scale;
        rs.ClipRect = {0, 0, kWidth, kHeight};
        rs.MaxThreads = look.threads;
        host_->SetRenderSettings(&rs);
        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = 1;
        font.Size = 40;
        host_->SetDefaultFont(&font);
        const MetaBorder border{1, 2, 0x2040A0, 0x2040A0, 0, 255, 0};
        host_->SetDefaultBorder(&border);
        const MetaShadow none{};
        if (!look.shadow) host_->SetDefaultShadow(&none);
        StringAttrs attrs{};
        host_->GetStringAttrs(-1, &attrs);
        attrs.Left = 160.3f;
        attrs.Top = 60.7f;
        attrs.RotateDegree = look.rotate;
        host_->SetDefaultString(&attrs);
        const int32_t row = host_->AddString();
        host_->InsertText(row, 0, u"Wavy Jig\r\nof Type");
        PathValue key{};
        std::strcpy(key.PathID, path);
        host_->SetKeyFrame(row, 0.0f, &key);
        key.PathProgress = 1;
        host_->SetKeyFrame(row, 1.0f, &key);
    }

    Frame Draw(float time) {
        Frame f{std::vector<uint8_t>(size_t(kWidth) * kHeight * 4, 0), {}};
        EXPECT_EQ(host_->Render(f.pixels.data(), time), S_OK);
        host_->GetDirtyRect(&f.dirty);
        return f;
    }

private:
    std::unique_ptr<ITitleHost, HostDeleter> host_;
};

bool Same(const Frame& a, const Frame& b) {
    return a.pixels == b.pixels && std::memcmp(&a.dirty, &b.dirty, sizeof(RECT)) == 0;
}

TEST(RenderedTurnFamily, PathsEndingAtRestDrawTheTitleAtRest) {
    const char* const paths[] = {
        "PATH_ROLLINGLEFT", "PATH_ROLLINGRIGHT", "PATH_ROTATECCW", "PATH_ROTATECW", "PATH_TRANCECCW",
        "PATH_TRANCECW", "PATH_SWIRL", "PATH_ROTATEINWARDS", "PATH_ROTATEOUTWARDS", "PATH_FLOCKING",
        "PATH_ICICLES", "PATH_TRANCECENTER", "PATH_UNITE", "PATH_FLIP",
    };
    // Turned, and scaled so that layout positions are not short binary fractions.
    for (const Look& look : {Look{}, Look{12.5f, 0.6667f}}) {
        const Frame rest = Title("PATH_NOEFFECT", look).Draw(1);
        ASSERT_FALSE(rest.Blank());
        for (const char* path : paths) {
            SCOPED_TRACE(testing::Message() << path << " turned " << look.rotate);
            Title title(path, look);
            const Frame start = title.Draw(0);
            EXPECT_TRUE(start.Blank()) << "every character starts invisible";
            const Frame middle = title.Draw(0.4f);
            EXPECT_FALSE(Same(middle, rest)) << "the path moves";
            EXPECT_TRUE(Same(title.Draw(1), rest));
        }
    }
}

TEST(RenderedTurnFamily, ScrollsEnterAtTheirEdgeAndHaveLeftAtTheEnd) {
    const struct {
        const char* path;
        int edge;  // the edge the string enters at: 0 left, 1 top, 2 right, 3 bottom
    } scrolls[] = {
        {"PATH_SCROLLRIGHT", 0}, {"PATH_SCROLLDOWN", 1}, {"PATH_SCROLLLEFT", 2}, {"PATH_SCROLLUP", 3}};
    Look look;
    look.shadow = false;  // a shadow reaches past the string's box, which is what leaves the frame
    for (const auto& s : scrolls) {
        SCOPED_TRACE(s.path);
        Title title(s.path, look);
        const Frame entering = title.Draw(0.1f);
        ASSERT_FALSE(entering.Blank());
        const RECT& r = entering.dirty;
        const int32_t reach[4] = {r.right, r.bottom, kWidth - r.left, kHeight - r.top};
        const int32_t touches[4] = {r.left, r.top, kWidth - r.right, kHeight - r.bottom};
        EXPECT_EQ(touches[s.edge], 0) << "drawn from the entering edge";
        EXPECT_LT(reach[s.edge], (s.edge % 2 ? kHeight : kWidth) / 3) << "and only near it";
        EXPECT_TRUE(title.Draw(1).Blank()) << "nothing drawn at the end";
    }
    // The roll that resizes has no drawing passes: nothing at any time.
    Title resize("PATH_SCROLLNRESIZE", look);
    for (float t : {0.0f, 0.5f, 1.0f}) EXPECT_TRUE(resize.Draw(t).Blank()) << t;
}

TEST(RenderedTurnFamily, IciclesDrawTheSameRandomOrderEveryTimeAndOnAnyThreads) {
    Look threaded;
    threaded.threads = 2;
    Title one("PATH_ICICLES", Look{});
    Title two("PATH_ICICLES", threaded);
    for (float t : {0.3f, 0.6f}) {
        SCOPED_TRACE(t);
        const Frame first = one.Draw(t);
        ASSERT_FALSE(first.Blank());
        EXPECT_TRUE(Same(one.Draw(t), first));
        EXPECT_TRUE(Same(two.Draw(t), first));
    }
}

}  // namespace
}  // namespace qel
