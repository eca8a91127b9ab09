// Vertical text drawn: Latin letters turned a quarter turn clockwise so that the column reads from
// top to bottom, each inside its own character box, on the column's centre line like the CJK
// characters beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render/CompositorFixture.h"

namespace qel {
namespace {

using testing::AddText;
using testing::MakeHost;
using testing::SetFont;

constexpr int32_t kWidth = 360, kHeight = 900;

struct Ink {
    int32_t left = kWidth, top = kHeight, right = -1, bottom = -1;  // right and bottom inclusive
    double sumX = 0, sumY = 0, weight = 0;
    bool Empty() const { return right < 0; }
    double CentreX() const { return (left + right) / 2.0; }
    double CentreY() const { return (top + bottom) / 2.0; }
};

// The frame of one vertical string in white on transparent black.
std::vector<uint8_t> DrawVertical(TitleHost& host, const std::u16string& text, int32_t* row) {
    MetaBorder border = host.Engine().DefaultBorder();
    border.Enable = 0;
    host.SetDefaultBorder(&border);
    MetaShadow shadow = host.Engine().DefaultShadow();
    shadow.EnableFace = shadow.EnableBorder = 0;
    host.SetDefaultShadow(&shadow);
    StringAttrs attrs = host.Engine().DefaultString();
    attrs.Vertical = 1;
    host.SetDefaultString(&attrs);
    *row = AddText(host, text, 200, 20);
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0);
    EXPECT_EQ(host.Render(frame.data(), 0.5f), S_OK);
    return frame;
}

// The ink (alpha >= 128) inside a rectangle of the frame.
Ink InkIn(const std::vector<uint8_t>& frame, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Ink ink;
    for (int32_t y = std::max(0, y0); y < std::min(kHeight, y1); ++y)
        for (int32_t x = std::max(0, x0); x < std::min(kWidth, x1); ++x)
            if (frame[(size_t(y) * kWidth + x) * 4 + 3] >= 128) {
                ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

RectF CharRect(TitleHost& host, int32_t row, int32_t col) {
    RectF r{};
    EXPECT_EQ(host.GetCharRect(row, col, &r, 0), S_OK);
    return r;
}

TEST(VerticalText, LatinTurnsClockwiseInsideItsBoxesOnTheColumnsCentreLine) {
    auto host = MakeHost(kWidth, kHeight);
    SetFont(*host, u"DejaVu Sans", 60);
    int32_t row = 0;
    // A, L, an ideograph and B, spaced so that each one's surroundings are empty.
    const std::vector<uint8_t> frame = DrawVertical(*host, u"A L \u7E26 B", &row);

    std::vector<Ink> inks;
    for (int32_t col : {0, 2, 4, 6}) {
        const RectF box = CharRect(*host, row, col);
        // Everything drawn at this character's height, across the whole frame and a few pixels
        // beyond its box along the column, lies in its box: one pixel of anti-aliasing aside, and
        // two above for the ideograph, whose upright glyph may rise above the ascent.
        const Ink ink = InkIn(frame, 0, int32_t(box.y) - 6, kWidth, int32_t(box.y + box.height) + 6);
        ASSERT_FALSE(ink.Empty()) << col;
        EXPECT_GE(ink.left, int32_t(box.x) - 1) << col;
        EXPECT_LE(ink.right, int32_t(box.x + box.width) + 1) << col;
        EXPECT_GE(ink.top, int32_t(box.y) - (col == 4 ? 3 : 1)) << col;
        EXPECT_LE(ink.bottom, int32_t(box.y + box.height) + 1) << col;
        inks.push_back(ink);
    }
    // Reading order: each below the one before.
    for (size_t i = 1; i < inks.size(); ++i) EXPECT_GT(inks[i].top, inks[i - 1].bottom) << i;

    // Turned clockwise, the long stroke of L lies across the top of its ink, the short one runs
    // down its left side.
    const Ink& l = inks[1];
    auto rowWidth = [&](int32_t y) {
        const Ink r = InkIn(frame, l.left, y, l.right + 1, y + 1);
        return r.Empty() ? 0 : r.right - r.left + 1;
    };
    const int32_t width = l.right - l.left + 1;
    EXPECT_GE(rowWidth(l.top + 2), width * 9 / 10);
    EXPECT_LE(rowWidth(l.bottom - 2), width / 3);
    EXPECT_EQ(InkIn(frame, l.left, l.bottom - 2, l.right + 1, l.bottom - 1).left, l.left);

    // Latin capitals and the ideograph share the column's centre line.
    for (size_t i : {size_t(0), size_t(1), size_t(3)})
        EXPECT_NEAR(inks[i].CentreX(), inks[2].CentreX(), 2.0) << i;
}

}  // namespace
}  // namespace qel
