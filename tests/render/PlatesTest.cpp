// Plates drawn under text and gradients across a string, checked on rendered frames.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "render/CompositorFixture.h"
#include "qel/qel_extensions.h"

namespace qel::testing {
namespace {

constexpr int32_t kW = 480, kH = 200;
constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000;  // model colours 0x00BBGGRR

const QelPlatesV1& Plates() {
    static const auto* table = static_cast<const QelPlatesV1*>(QelGetExtension(QEL_PLATES_EXTENSION, 1));
    return *table;
}

// "HIH" in white, without border or shadow, at (100, 60) on a 480 x 200 frame.
HostPtr PlainTitle(const std::u16string& text = u"HIH") {
    HostPtr host = MakeHost(kW, kH);
    SetFont(*host, u"DejaVu Sans", 60);
    const MetaBorder noBorder{0, 0, 0, 0, 0, 0, 0};
    const MetaShadow noShadow{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    host->SetDefaultBorder(&noBorder);
    host->SetDefaultShadow(&noShadow);
    AddText(*host, text, 100, 60);
    return host;
}

QelPlate RedPlate(float radius = 0) {
    QelPlate p{};
    p.PadX = 20;
    p.PadY = 10;
    p.Radius = radius;
    p.Color1 = p.Color2 = kRed;
    p.Alpha = 255;
    return p;
}

struct Frame {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(kW) * kH * 4, 0);
    const uint8_t* At(int32_t x, int32_t y) const { return &px[(size_t(y) * kW + size_t(x)) * 4]; }
    // The bounding box of the pixels that match.
    RECT Where(const std::function<bool(const uint8_t*)>& match) const {
        RECT r{kW, kH, 0, 0};
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x)
                if (match(At(x, y))) r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1), std::max(r.bottom, y + 1)};
        return r;
    }
};

bool IsRed(const uint8_t* p) { return p[2] > 200 && p[1] < 40 && p[0] < 40; }
bool IsWhite(const uint8_t* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }

// Black opaque frame (B, G, R, A), the title drawn at title time t.
Frame Draw(TitleHost& host, float t = 1.0f) {
    Frame f;
    for (size_t i = 3; i < f.px.size(); i += 4) f.px[i] = 255;
    EXPECT_EQ(host.Render(f.px.data(), t), S_OK);
    return f;
}

RectF CharRectOf(TitleHost& host, int32_t col) {
    RectF r{};
    host.GetCharRect(0, col, &r, 1);
    return r;
}

void SetPath(TitleHost& host, const char* path, float progress) {
    StringAttrs attrs{};
    host.GetStringAttrs(0, &attrs);
    std::strncpy(attrs.PathID, path, sizeof attrs.PathID - 1);
    attrs.PathProgress = progress;
    host.SetDefaultString(&attrs);
    ASSERT_EQ(host.ApplyString(0), S_OK);
}

TEST(PlatesRendered, FillPaddingCornersMotionAndReveal) {
    HostPtr host = PlainTitle();
    // The characters' boxes: the plate is made from them (the string's box also holds the
    // line's leading above them).
    const RectF first = CharRectOf(*host, 0), last = CharRectOf(*host, 2);
    const RectF text{first.x, first.y, last.x + last.width - first.x, first.height};
    const QelPlate red = RedPlate();
    ASSERT_EQ(Plates().SetPlate(host.get(), 0, 0, &red), S_OK);
    const Frame rest = Draw(*host);
    const RECT plate = rest.Where(IsRed), glyphs = rest.Where(IsWhite);
    // The plate's colour fills its padding around the characters' boxes, outside the glyphs.
    EXPECT_NEAR(plate.left, text.x - 20, 1);
    EXPECT_NEAR(plate.right, text.x + text.width + 20, 1);
    EXPECT_NEAR(plate.top, text.y - 10, 1);
    EXPECT_TRUE(IsRed(rest.At(int32_t(text.x) - 10, int32_t(text.y + text.height / 2))));
    EXPECT_TRUE(IsRed(rest.At((glyphs.left + glyphs.right) / 2, glyphs.top - 3)));  // above the letters
    // The text is drawn over the plate.
    EXPECT_GT(glyphs.right - glyphs.left, 60);

    struct Case {
        const char* name;
        std::function<void(TitleHost&)> setUp;
        float time;
        std::function<void(const Frame&)> check;
    };
    const Case cases[] = {
        {"transparent rounded corners",
         [](TitleHost& h) {
             const QelPlate round = RedPlate(24);
             ASSERT_EQ(Plates().SetPlate(&h, 0, 0, &round), S_OK);
         },
         1.0f,
         [&](const Frame& f) {
             EXPECT_EQ(f.At(plate.left, plate.top)[2], 0);                 // the corner shows the frame
             EXPECT_EQ(f.At(plate.right - 1, plate.bottom - 1)[2], 0);
             EXPECT_TRUE(IsRed(f.At((plate.left + plate.right) / 2, plate.top)));  // the edge between
             EXPECT_TRUE(IsRed(f.At(plate.left, (plate.top + plate.bottom) / 2)));
         }},
        {"moves with PATH_SLIDELEFT", [](TitleHost& h) { SetPath(h, "PATH_SLIDELEFT", 0.6f); }, -1.0f,
         [&](const Frame& f) {
             const RECT moved = f.Where(IsRed), letters = f.Where(IsWhite);
             ASSERT_LT(moved.left, moved.right);
             const int32_t shift = letters.left - glyphs.left;
             EXPECT_NE(shift, 0);
             EXPECT_NEAR(moved.left - plate.left, shift, 1);
             EXPECT_NEAR(moved.right - plate.right, shift, 1);
         }},
        {"fades with PATH_FADE", [](TitleHost& h) { SetPath(h, "PATH_FADE", 0.5f); }, -1.0f,
         [&](const Frame& f) {
             const uint8_t* p = f.At(int32_t(text.x) - 10, int32_t(text.y + text.height / 2));
             EXPECT_NEAR(p[2], 128, 20);
             EXPECT_LT(p[1], 10);
         }},
        {"a reveal of its own comes ahead of the text",
         [](TitleHost& h) {
             QelPlate p = RedPlate();
             p.Reveal = QEL_REVEAL_WIPE;
             p.RevealFrom = QEL_FROM_LEFT;
             p.RevealLength = 0.4f;
             ASSERT_EQ(Plates().SetPlate(&h, 0, 0, &p), S_OK);
             PathValue hidden{"PATH_FADE", 0.0f}, shown{"PATH_FADE", 1.0f};
             h.SetKeyFrame(0, 0.0f, &hidden);
             h.SetKeyFrame(0, 0.5f, &hidden);
             h.SetKeyFrame(0, 1.0f, &shown);
         },
         0.2f,
         [&](const Frame& f) {
             const RECT half = f.Where(IsRed);
             EXPECT_EQ(f.Where(IsWhite).right, 0);  // no text yet
             EXPECT_NEAR(half.left, plate.left, 1);
             EXPECT_NEAR(half.right - half.left, (plate.right - plate.left) / 2, 2);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostPtr h = PlainTitle();
        ASSERT_EQ(Plates().SetPlate(h.get(), 0, 0, &red), S_OK);
        c.setUp(*h);
        c.check(Draw(*h, c.time));
    }
}

TEST(PlatesRendered, GradientAcrossTheStringRunsFromTheFirstLetterToTheLast) {
    HostPtr host = PlainTitle(u"HHHHHH");
    const MetaFace redToBlue{1, kRed, kBlue, 3, 255, 0};  // horizontal, Color1 at the left
    host->SetDefaultFace(&redToBlue);
    ASSERT_EQ(host->ApplyFace(0, 0, 6), S_OK);
    // The mean red and blue of the letter's well covered pixels.
    auto letterColours = [&](const Frame& f, int32_t col) {
        const RectF c = CharRectOf(*host, col);
        int64_t red = 0, blue = 0, n = 0;
        for (int32_t y = int32_t(c.y); y < int32_t(c.y + c.height); ++y)
            for (int32_t x = int32_t(c.x); x < int32_t(c.x + c.width); ++x) {
                const uint8_t* p = f.At(x, y);
                if (p[0] + p[2] < 200) continue;
                red += p[2], blue += p[0], ++n;
            }
        return std::pair<int, int>{int(red / std::max<int64_t>(n, 1)), int(blue / std::max<int64_t>(n, 1))};
    };
    const Frame own = Draw(*host);
    ASSERT_EQ(Plates().SetGradientAcross(host.get(), 0, QEL_ACROSS_STRING), S_OK);
    const Frame across = Draw(*host);
    const auto [firstRed, firstBlue] = letterColours(across, 0);
    const auto [lastRed, lastBlue] = letterColours(across, 5);
    EXPECT_GT(firstRed, 200);
    EXPECT_LT(firstBlue, 60);
    EXPECT_LT(lastRed, 60);
    EXPECT_GT(lastBlue, 200);
    // Each letter's own gradient runs from red to blue again.
    EXPECT_GT(letterColours(own, 5).first, 100);
}

}  // namespace
}  // namespace qel::testing
