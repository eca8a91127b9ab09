// The glyph cache's rule: the key is the only input. Every key field changes the images it names
// (and only those), and the same key made from different titles gives the same bytes.
#include "glyph/GlyphCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "render/CompositorFixture.h"

namespace qel {
namespace {

using namespace qel::testing;

// "xA" in DejaVu Sans 60 with a border and a shadow cast by face and border.
HostPtr StyledHost(float left, float top) {
    HostPtr host = MakeHost(640, 360);
    SetFont(*host, u"DejaVu Sans", 60);
    MetaBorder border = host->Engine().DefaultBorder();
    border.Enable = 1;
    border.Size = 3;
    host->SetDefaultBorder(&border);
    MetaShadow shadow = host->Engine().DefaultShadow();
    shadow.EnableFace = shadow.EnableBorder = 1;
    shadow.OffsetX = shadow.OffsetY = 4;
    host->SetDefaultShadow(&shadow);
    AddText(*host, u"xA", left, top);
    return host;
}

GlyphKey KeyOfA(const TitleHost& host) {
    return GlyphKeyAt(*host.Engine().StringAt(0), 1, LayerSettings::From(host.Engine().Settings()));
}

PreparedGlyph Made(const GlyphKey& key) {
    PreparedGlyph g;
    EXPECT_EQ(MakeGlyphImages(key, &g), S_OK);
    return g;
}

bool Same(const LayerImage& a, const LayerImage& b) {
    if (a.width != b.width || a.height != b.height || a.x != b.x || a.y != b.y) return false;
    if (!a.pixels || !b.pixels) return !a.pixels && !b.pixels;
    return std::memcmp(a.pixels.get(), b.pixels.get(), size_t(a.width) * a.height * 4) == 0;
}

TEST(GlyphCache, EachKeyFieldRebuildsTheImagesItNames) {
    const HostPtr host = StyledHost(40, 40);
    const GlyphKey base = KeyOfA(*host);
    const PreparedGlyph before = Made(base);
    ASSERT_TRUE(before.Face.pixels && before.Border.pixels && before.Shadow.pixels);
    const struct {
        const char* field;
        std::function<void(GlyphKey&)> change;
        uint8_t stale;
    } cases[] = {
        {"font", [](GlyphKey& k) { k.font.SizeRatio *= 1.25f; }, kDirtyAll},
        {"face", [](GlyphKey& k) { k.face.Color1 ^= 0x00FF00; }, kDirtyFace},
        {"border", [](GlyphKey& k) { k.border.Size = 6; }, kDirtyBorder | kDirtyShadow},
        {"shadow", [](GlyphKey& k) { k.shadow.OffsetX = -4; }, kDirtyShadow},
        {"frame scale", [](GlyphKey& k) { k.frame.scaleX = 0.5f; }, kDirtyAll},
        {"quality", [](GlyphKey& k) { k.frame.qualityMode = 3; }, kDirtyAll},
        {"colour mode", [](GlyphKey& k) { k.frame.colorMode = 1; }, kDirtyAll},
        {"width scale", [](GlyphKey& k) { k.widthScale = 1.5f; }, kDirtyAll},
        {"effect scale x", [](GlyphKey& k) { k.scaleX = 2; }, kDirtyAll},
        {"effect scale y", [](GlyphKey& k) { k.scaleY = 2; }, kDirtyAll},
        {"angle", [](GlyphKey& k) { k.angle = 30; }, kDirtyAll},
        {"string rotation", [](GlyphKey& k) { k.rotCos = 0.5f, k.rotSin = 0.8660254f; }, kDirtyAll},
        {"vertical", [](GlyphKey& k) { k.vertical = 1; }, kDirtyAll},
        {"character", [](GlyphKey& k) { k.value = 'B'; }, kDirtyAll},
    };
    for (const auto& c : cases) {
        GlyphKey key = base;
        c.change(key);
        EXPECT_EQ(StaleImages(base, key), c.stale) << c.field;
        const PreparedGlyph after = Made(key);
        EXPECT_EQ(!Same(before.Face, after.Face), (c.stale & kDirtyFace) != 0) << c.field;
        EXPECT_EQ(!Same(before.Border, after.Border), (c.stale & kDirtyBorder) != 0) << c.field;
        EXPECT_EQ(!Same(before.Shadow, after.Shadow), (c.stale & kDirtyShadow) != 0) << c.field;
    }
}

// Position, neighbours, paragraph and animation are not in the key: another title that holds the
// same character in the same style elsewhere has the same key, and its images are the same bytes.
TEST(GlyphCache, WhatIsOutsideTheKeyCannotChangeTheImages) {
    const HostPtr a = StyledHost(40, 40);
    const HostPtr b = StyledHost(300, 200);
    b->InsertText(0, 0, u"Wide\r\n");
    ParagraphAttrs right = b->Engine().DefaultParagraph();
    right.Align = 2;
    b->SetDefaultParagraph(&right);
    ASSERT_EQ(b->ApplyParagraph(0, 1, 1), S_OK);
    PathValue path{};
    std::strcpy(path.PathID, "PATH_FADE");
    ASSERT_EQ(b->SetKeyFrame(0, 0.5f, &path), S_OK);
    const GlyphKey keyA = KeyOfA(*a);
    const GlyphKey keyB = GlyphKeyAt(*b->Engine().StringAt(0), 7, LayerSettings::From(b->Engine().Settings()));
    EXPECT_EQ(std::memcmp(&keyA, &keyB, sizeof keyA), 0);
    const PreparedGlyph fromA = Made(keyA), fromB = Made(keyB);
    EXPECT_TRUE(Same(fromA.Face, fromB.Face) && Same(fromA.Border, fromB.Border) && Same(fromA.Shadow, fromB.Shadow));
}

}  // namespace
}  // namespace qel
