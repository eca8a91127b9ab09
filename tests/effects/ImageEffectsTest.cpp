// The whole-image paths: through Render as a host sees them, and the perspective plane on an
// image of known content.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effects/EffectFactories.h"
#include "effects/PathEffect.h"
#include "qel/QEL_Title2.h"

namespace qel {
namespace {

constexpr int32_t kWidth = 480;
constexpr int32_t kHeight = 270;

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

// Three lines of text key-framed with one path from progress 0 at time 0 to 1 at time 1, or
// without key frames at rest.
class Title {
public:
    explicit Title(const char* path, int32_t threads = 1, int32_t colorMode = 0)
        : host_(GetTitleHost()), frame_(size_t(kWidth) * kHeight * 4) {
        RenderSettings rs{};
        host_->GetRenderSettings(&rs);
        rs.Width = kWidth;
        rs.Height = kHeight;
        rs.ClipRect = {0, 0, kWidth, kHeight};
        rs.MaxThreads = threads;
        rs.ColorMode = colorMode;
        host_->SetRenderSettings(&rs);
        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = 1;
        font.Size = 40;
        host_->SetDefaultFont(&font);
        StringAttrs attrs{};
        host_->GetStringAttrs(-1, &attrs);
        attrs.Left = 120;
        attrs.Top = 60;
        host_->SetDefaultString(&attrs);
        row_ = host_->AddString();
        host_->InsertText(row_, 0, u"MMMMMMMM\r\nMMMMMMMM\r\nMMMMMMMM");
        if (!path) return;
        PathValue start{}, end{};
        std::strcpy(start.PathID, path);
        std::strcpy(end.PathID, path);
        end.PathProgress = 1;
        host_->SetKeyFrame(row_, 0.0f, &start);
        host_->SetKeyFrame(row_, 1.0f, &end);
    }

    const std::vector<uint8_t>& Draw(float time) {
        std::fill(frame_.begin(), frame_.end(), uint8_t{0});
        EXPECT_EQ(host_->Render(frame_.data(), time), S_OK);
        return frame_;
    }
    RectF StringBox() {
        RectF box{};
        host_->GetStringRect(row_, &box);
        return box;
    }

private:
    std::unique_ptr<ITitleHost, HostDeleter> host_;
    std::vector<uint8_t> frame_;
    int32_t row_ = 0;
};

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

bool Blank(const std::vector<uint8_t>& frame) {
    return std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0; });
}

// At the end of their sweep the paths show the string as it stands at rest, at the start
// nothing. The whole-image pass turns the string's image to straight alpha and back, which may
// move a channel of a faint edge pixel by two.
TEST(ImageEffects, PathsEndAtTheStringAtRest) {
    Title rest(nullptr);
    const std::vector<uint8_t> still = rest.Draw(0.5f);
    ASSERT_FALSE(Blank(still));
    struct Case {
        const char* path;
        float time;
        bool blank;
    } cases[] = {
        {"PATH_GLOW", 1, false},      {"PATH_GLOW", 0, true},      {"PATH_BLURLEFT", 1, false},
        {"PATH_BLURLEFT", 0, true},   {"PATH_BLURRIGHT", 1, false}, {"PATH_BLURRIGHT", 0, true},
    };
    for (const Case& c : cases) {
        Title title(c.path);
        const std::vector<uint8_t>& frame = title.Draw(c.time);
        if (c.blank) {
            EXPECT_TRUE(Blank(frame)) << c.path << " at " << c.time;
        } else {
            EXPECT_LE(MaxDifference(frame, still), 2) << c.path << " at " << c.time;
        }
    }
}

// Half-way the edge stands near the middle of the text: the hidden side repeats the edge's
// column along every row, the other side shows the letters.
TEST(ImageEffects, BlurSweepsSmearTheEdgeColumn) {
    for (const char* path : {"PATH_BLURLEFT", "PATH_BLURRIGHT"}) {
        const bool left = std::string(path) == "PATH_BLURLEFT";
        Title title(path);
        const RectF box = title.StringBox();
        const std::vector<uint8_t>& frame = title.Draw(0.5f);
        const int32_t quarter = int32_t(box.width / 4);
        const int32_t hiddenFrom = left ? 0 : int32_t(box.x + box.width) - quarter;
        const int32_t hiddenTo = left ? int32_t(box.x) + quarter : kWidth;
        int varying = 0;
        for (int32_t y = int32_t(box.y); y < int32_t(box.y + box.height); ++y) {
            const uint8_t* row = frame.data() + size_t(y) * kWidth * 4;
            for (int32_t x = hiddenFrom; x < hiddenTo; ++x) {
                ASSERT_EQ(std::memcmp(row + x * 4, row + hiddenFrom * 4, 4), 0) << path << " at " << x << "," << y;
            }
            const int32_t shownFrom = left ? int32_t(box.x + box.width) - quarter : int32_t(box.x);
            for (int32_t x = shownFrom; x < shownFrom + quarter; ++x) {
                varying += std::memcmp(row + x * 4, row + shownFrom * 4, 4) != 0;
            }
        }
        EXPECT_GT(varying, 100) << path;
    }
}

TEST(ImageEffects, GlowRectangleAndThreadedFrames) {
    std::unique_ptr<PathEffect> glow = NewGlow();
    std::vector<uint8_t> image(720 * 100 * 4);
    ASSERT_EQ(glow->SetSourceImage(image.data(), 720, 100, 720 * 4), 0);
    RECT out{};
    const RECT drawn{300, 40, 400, 60};
    ASSERT_EQ(glow->GetImageRect(&out, &drawn), 0);
    EXPECT_EQ(out.left, 156);
    EXPECT_EQ(out.right, 544);
    EXPECT_EQ(out.top, 0);
    EXPECT_EQ(out.bottom, 100);

    // Every whole-image path draws the same frame on one thread and on four, in both layouts.
    for (const char* path : {"PATH_GLOW", "PATH_BLURLEFT", "PATH_PERSPECTIVESCROLL"}) {
        for (int32_t mode : {0, 1}) {
            Title one(path, 1, mode), four(path, 4, mode);
            EXPECT_EQ(one.Draw(0.4f), four.Draw(0.4f)) << path << " mode " << mode;
        }
    }
}

// Through Render: the lines of the rolling string stand narrower the farther up the plane they
// are.
TEST(ImageEffects, PerspectiveScrollDrawsFartherLinesNarrower) {
    Title title("PATH_PERSPECTIVESCROLL");
    const std::vector<uint8_t>& frame = title.Draw(0.5f);
    std::vector<int> widths;  // of each band of rows that hold text
    bool inBand = false;
    for (int32_t y = 0; y < kHeight; ++y) {
        int32_t left = kWidth, right = -1;
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint8_t* p = &frame[(size_t(y) * kWidth + x) * 4];
            if (p[0] | p[1] | p[2]) left = std::min(left, x), right = x;
        }
        if (right < 0) {
            inBand = false;
            continue;
        }
        if (!inBand) widths.push_back(0);
        inBand = true;
        widths.back() = std::max(widths.back(), int(right - left));
    }
    ASSERT_GE(widths.size(), 2u);
    for (size_t i = 1; i < widths.size(); ++i) EXPECT_LT(widths[i - 1], widths[i]) << "band " << i;
}

// The string's image on the tilted plane: an opaque image fills the plane's front face, which
// is narrower at its top than at its bottom; pixels the plane leaves hold black in the frame's
// layout.
TEST(ImageEffects, PerspectivePlaneNarrowsTowardsTheTop) {
    const int32_t w = 320, h = 180;
    const uint32_t colour = 0xFF3070B0u;
    std::vector<uint32_t> source(size_t(w * h), colour), target(size_t(w * h), 0x12345678u);
    for (int32_t mode : {0, 1}) {
        std::unique_ptr<PathEffect> effect = NewPerspectiveScroll();
        ASSERT_EQ(effect->SetSourceImage(reinterpret_cast<uint8_t*>(source.data()), w, h, w * 4), 0);
        ASSERT_EQ(effect->SetTargetImage(reinterpret_cast<uint8_t*>(target.data()), w, h, w * 4), 0);
        ASSERT_EQ(effect->SetImageParam(mode), 0);
        ASSERT_EQ(effect->ProcessImage(0.5f), 0);
        const uint32_t black = mode == 1 ? 0x00108080u : 0;
        int top = -1, topWidth = 0, bottomWidth = 0;
        for (int32_t y = 0; y < h; ++y) {
            int width = 0;
            for (int32_t x = 0; x < w; ++x) width += target[size_t(y * w + x)] == colour;
            if (width == 0) continue;
            if (top < 0) top = y, topWidth = width;
            bottomWidth = width;
        }
        ASSERT_GE(top, 0) << mode;
        EXPECT_GT(top, 5) << "the far edge stands below the frame's top";
        EXPECT_LT(topWidth, bottomWidth * 3 / 4) << mode;
        EXPECT_EQ(target[0], black) << mode;
        EXPECT_EQ(target[size_t(w - 1)], black) << mode;
        EXPECT_EQ(target[size_t(top * w)], black) << mode;
        // A source of another size is refused and the target left alone.
        std::vector<uint32_t> small(size_t(w * (h - 1)));
        effect->SetSourceImage(reinterpret_cast<uint8_t*>(small.data()), w, h - 1, w * 4);
        const std::vector<uint32_t> before = target;
        EXPECT_EQ(effect->ProcessImage(0.5f), E_FAIL);
        EXPECT_EQ(target, before);
    }
}

}  // namespace
}  // namespace qel
