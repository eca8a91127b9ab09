// One rendered check per effect family: a title key-framed with the family's paths animates when
// drawn through Render, as a host sees it in the frame and its dirty rectangle.
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

class AnimatedTitle {
public:
    explicit AnimatedTitle(const char* path) : host_(GetTitleHost()), frame_(size_t(kWidth) * kHeight * 4) {
        RenderSettings rs{};
        host_->GetRenderSettings(&rs);
        rs.Width = kWidth;
        rs.Height = kHeight;
        rs.ClipRect = {0, 0, kWidth, kHeight};
        host_->SetRenderSettings(&rs);

        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = 1;
        font.Size = 48;
        host_->SetDefaultFont(&font);
        StringAttrs attrs{};
        host_->GetStringAttrs(-1, &attrs);  // a failing getter reports the defaults
        attrs.Left = 200;
        attrs.Top = 90;
        host_->SetDefaultString(&attrs);
        row_ = host_->AddString();
        host_->InsertText(row_, 0, u"WXYZ");

        PathValue start{}, end{};
        std::strcpy(start.PathID, path);
        std::strcpy(end.PathID, path);
        start.PathProgress = 0;
        end.PathProgress = 1;
        host_->SetKeyFrame(row_, 0.0f, &start);
        host_->SetKeyFrame(row_, 1.0f, &end);
    }

    // Draws the title at `time` over a black frame; returns the dirty rectangle.
    RECT Draw(float time) {
        std::fill(frame_.begin(), frame_.end(), uint8_t{0});
        EXPECT_EQ(host_->Render(frame_.data(), time), S_OK);
        RECT dirty{};
        host_->GetDirtyRect(&dirty);
        return dirty;
    }

    // The brightest green byte in the frame (the default face is white).
    int Brightest() const {
        int best = 0;
        for (size_t i = 1; i < frame_.size(); i += 4) best = std::max(best, int(frame_[i]));
        return best;
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

TEST(RenderedFamily, SlideMovesTheDirtyRectangleAcrossTheFrame) {
    AnimatedTitle title("PATH_SLIDELEFT");
    EXPECT_EQ(title.Draw(0.0f).right, 0) << "at progress 0 nothing is drawn";
    std::vector<int32_t> lefts;
    for (float t : {0.25f, 0.5f, 0.75f, 1.0f}) {
        const RECT dirty = title.Draw(t);
        ASSERT_LT(dirty.left, dirty.right) << "t = " << t;
        lefts.push_back(dirty.left);
    }
    for (size_t i = 1; i < lefts.size(); ++i) EXPECT_LT(lefts[i], lefts[i - 1]) << "step " << i;
    // At rest the string sits at its layout box (less the shadow and edge margins).
    EXPECT_NEAR(lefts.back(), title.StringBox().x, 8);
}

TEST(RenderedFamily, WipeRevealsTheStringFromItsLeftEdge) {
    AnimatedTitle title("PATH_WIPERIGHT");
    std::vector<int32_t> rights;
    for (float t : {0.3f, 0.6f, 1.0f}) {
        const RECT dirty = title.Draw(t);
        ASSERT_LT(dirty.left, dirty.right) << "t = " << t;
        EXPECT_NEAR(dirty.left, title.StringBox().x, 8) << "the left edge is revealed first";
        rights.push_back(dirty.right);
    }
    EXPECT_LT(rights[0], rights[1]);
    EXPECT_LT(rights[1], rights[2]);
}

TEST(RenderedFamily, FadeBrightensInPlace) {
    AnimatedTitle title("PATH_FADE");
    title.Draw(0.25f);
    const int quarter = title.Brightest();
    const RECT half = title.Draw(0.5f);
    const int middle = title.Brightest();
    const RECT full = title.Draw(1.0f);
    EXPECT_LT(quarter, middle);
    EXPECT_LT(middle, title.Brightest());
    EXPECT_EQ(half.left, full.left) << "a fade does not move the string";
    EXPECT_EQ(half.right, full.right);
}

}  // namespace
}  // namespace qel
