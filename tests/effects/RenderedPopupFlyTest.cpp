// The pop-up and fly paths drawn through Render, as a host sees them: at rest exactly the frame
// of a string without an effect, at the start nothing at all, and the random order of TWINKLE
// the same in every frame and on any number of threads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {
namespace {

constexpr int32_t kWidth = 480;
constexpr int32_t kHeight = 200;

const char* const kPaths[] = {
    "PATH_POPUP1",     "PATH_POPUP2",         "PATH_POPUP3",          "PATH_MAGNETS1",          "PATH_MAGNETS2",
    "PATH_DOUBLEVISIONH", "PATH_DOUBLEVISIONV", "PATH_GLITTER",       "PATH_TWINKLE",           "PATH_MARCH",
    "PATH_SPIRAL",     "PATH_SWARMLEFT",      "PATH_SWARMRIGHT",      "PATH_ROLLERCOASTERLEFT", "PATH_ROLLERCOASTERRIGHT",
    "PATH_WAVE",       "PATH_WINDSHIELDLEFT", "PATH_WINDSHIELDRIGHT",
};

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

struct Frame {
    std::vector<uint8_t> pixels;
    RECT dirty{};
};

// Two lines with a border and a shadow, so all three layers and a line offset take part.
class Title {
public:
    Title(const char* path, int32_t threads) : host_(GetTitleHost()) {
        RenderSettings rs{};
        host_->GetRenderSettings(&rs);
        rs.Width = kWidth;
        rs.Height = kHeight;
        rs.ClipRect = {0, 0, kWidth, kHeight};
        rs.MaxThreads = threads;
        rs.ScaleX = rs.ScaleY = 0.7f;  // places in frame pixels that float sums do not hit exactly
        host_->SetRenderSettings(&rs);

        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = 1;
        font.Size = 40;
        host_->SetDefaultFont(&font);
        MetaBorder border{};
        host_->GetCharBorder(-1, 0, &border);
        border.Enable = 1;
        border.Size = 3;
        border.Color1 = border.Color2 = 0x2040C0;
        border.Alpha = 255;
        host_->SetDefaultBorder(&border);
        MetaShadow shadow{};
        host_->GetCharShadow(-1, 0, &shadow);
        shadow.EnableFace = shadow.EnableBorder = 1;
        shadow.Alpha = 160;
        shadow.OffsetX = shadow.OffsetY = 4;
        host_->SetDefaultShadow(&shadow);
        StringAttrs attrs{};
        host_->GetStringAttrs(-1, &attrs);
        attrs.Left = 210.3f;
        attrs.Top = 70.9f;
        host_->SetDefaultString(&attrs);
        const int32_t row = host_->AddString();
        host_->InsertText(row, 0, u"Pop\r\nFly");

        PathValue start{}, end{};
        std::strcpy(start.PathID, path);
        std::strcpy(end.PathID, path);
        start.PathProgress = 0;
        end.PathProgress = 1;
        host_->SetKeyFrame(row, 0.0f, &start);
        host_->SetKeyFrame(row, 1.0f, &end);
    }

    // Draws over a patterned frame, so that a drawn-over pixel never goes unnoticed.
    Frame Draw(float time) {
        Frame f{Background(), {}};
        EXPECT_EQ(host_->Render(f.pixels.data(), time), S_OK);
        host_->GetDirtyRect(&f.dirty);
        return f;
    }

    static std::vector<uint8_t> Background() {
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t((i * 7 + i / 1931) & 0xFF);
        return pixels;
    }

private:
    std::unique_ptr<ITitleHost, HostDeleter> host_;
};

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(RenderedPopupFly, EveryPathEndsOnTheFrameWithoutAnEffectAndStartsWithNothing) {
    const Frame still = Title("PATH_NOEFFECT", 1).Draw(1.0f);
    ASSERT_LT(still.dirty.left, still.dirty.right);
    const std::vector<uint8_t> untouched = Title::Background();
    for (const char* path : kPaths) {
        SCOPED_TRACE(path);
        Title title(path, 2);
        const Frame start = title.Draw(0.0f);
        EXPECT_TRUE(start.pixels == untouched) << "drawn at progress 0";
        EXPECT_FALSE(start.dirty.left < start.dirty.right && start.dirty.top < start.dirty.bottom);
        const Frame moving = title.Draw(0.5f);
        EXPECT_FALSE(moving.pixels == still.pixels) << "at rest halfway";
        const Frame rest = title.Draw(1.0f);
        EXPECT_TRUE(rest.pixels == still.pixels) << "not the frame without an effect";
        EXPECT_TRUE(SameRect(rest.dirty, still.dirty))
            << rest.dirty.left << "," << rest.dirty.top << "," << rest.dirty.right << "," << rest.dirty.bottom;
    }
}

TEST(RenderedPopupFly, TwinkleDrawsTheSameFrameEveryTimeOnAnyThreadCount) {
    for (float time : {0.3f, 0.55f}) {
        SCOPED_TRACE(time);
        Title one("PATH_TWINKLE", 1), two("PATH_TWINKLE", 2);
        const Frame first = one.Draw(time);
        one.Draw(0.9f);  // another progress in between must not shift the order
        const Frame again = one.Draw(time);
        const Frame threaded = two.Draw(time);
        EXPECT_FALSE(first.pixels == Title::Background()) << "nothing drawn";
        EXPECT_TRUE(first.pixels == again.pixels);
        EXPECT_TRUE(SameRect(first.dirty, again.dirty));
        EXPECT_TRUE(first.pixels == threaded.pixels);
        EXPECT_TRUE(SameRect(first.dirty, threaded.dirty));
    }
}

}  // namespace
}  // namespace qel
