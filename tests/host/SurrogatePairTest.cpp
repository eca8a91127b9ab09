// Characters beyond U+FFFF: a surrogate pair stays two characters of the model, but is measured,
// linked and drawn as one glyph on its first unit; edits never split it; lone halves draw the
// missing glyph. U+1D538 (double-struck A) is in DejaVu Sans and not in Liberation Sans.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {
namespace {

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};
using HostPtr = std::unique_ptr<ITitleHost, HostDeleter>;

const std::u16string kPair = u"\U0001D538";  // \xD835 \xDD38

HostPtr HostWith(const char16_t* face, const std::u16string& text) {
    HostPtr host(GetTitleHost());
    FontSpec font{};
    std::u16string(face).copy(font.FaceName, 31);
    font.Size = 60;
    host->SetDefaultFont(&font);
    EXPECT_EQ(host->AddString(), 0);
    EXPECT_EQ(host->InsertText(0, 0, text.c_str()), int32_t(text.size()));
    return host;
}

RectF CharRect(ITitleHost& host, int32_t col) {
    RectF r{};
    EXPECT_EQ(host.GetCharRect(0, col, &r, 0), S_OK);
    return r;
}

std::u16string FaceOf(ITitleHost& host, int32_t col) {
    FontSpec f{};
    EXPECT_EQ(host.GetCharFont(0, col, &f), S_OK);
    return f.FaceName;
}

TEST(SurrogatePairs, MeasuredAndLinkedAsOneCharacter) {
    const float missing = CharRect(*HostWith(u"DejaVu Sans", u"\xD835"), 0).width;
    for (const char16_t* face : {u"DejaVu Sans", u"Liberation Sans"}) {
        SCOPED_TRACE(std::string(face, face + std::char_traits<char16_t>::length(face)));
        HostPtr host = HostWith(face, u"a" + kPair + u"b");
        ASSERT_EQ(host->GetCharCount(0), 4);
        const RectF lead = CharRect(*host, 1), tail = CharRect(*host, 2), next = CharRect(*host, 3);
        EXPECT_GT(lead.width, 0);
        EXPECT_NE(lead.width, missing);  // the glyph's own advance, not the missing glyph's
        EXPECT_EQ(tail.width, 0);
        EXPECT_FLOAT_EQ(next.x, lead.x + lead.width);
        // One face for the whole character: the requested one when it has the glyph, else a linked one.
        EXPECT_EQ(FaceOf(*host, 1), FaceOf(*host, 2));
        EXPECT_EQ(FaceOf(*host, 1) == face, std::u16string(face) == u"DejaVu Sans");
        EXPECT_EQ(FaceOf(*host, 0), face);
    }
}

TEST(SurrogatePairs, EditsNeverSplitAPair) {
    struct Case {
        const char* name;
        int32_t (*edit)(ITitleHost&);
        int32_t count;  // characters left
    } cases[] = {
        {"delete the tail", [](ITitleHost& h) { return h.DeleteText(0, 2, 1); }, 2},
        {"delete the lead", [](ITitleHost& h) { return h.DeleteText(0, 1, 1); }, 2},
        {"delete from a into the lead", [](ITitleHost& h) { return h.DeleteText(0, 0, 2); }, 1},
        {"insert between the halves", [](ITitleHost& h) { return h.InsertText(0, 2, u"x"); }, 4},
        {"insert before the pair", [](ITitleHost& h) { return h.InsertText(0, 1, u"x"); }, 5},
    };
    for (const Case& c : cases) {
        HostPtr host = HostWith(u"DejaVu Sans", u"a" + kPair + u"b");
        EXPECT_EQ(c.edit(*host), c.count) << c.name;
        std::u16string text(size_t(host->GetCharCount(0)) + 1, u'\0');
        (void)host->GetText(0, text.data());
        // What is left has no half of a pair.
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            const bool high = text[i] >= 0xD800 && text[i] < 0xDC00;
            const bool low = text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
            EXPECT_EQ(high, low) << c.name << " at " << i;
        }
    }

    // A style applied to the tail alone takes the whole pair.
    HostPtr host = HostWith(u"DejaVu Sans", u"a" + kPair + u"b");
    MetaFace red{};
    ASSERT_EQ(host->GetCharFace(0, 0, &red), S_OK);
    red.Color1 = red.Color2 = 0x0000FF;
    host->SetDefaultFace(&red);
    ASSERT_EQ(host->ApplyFace(0, 2, 1), S_OK);
    MetaFace lead{};
    ASSERT_EQ(host->GetCharFace(0, 1, &lead), S_OK);
    EXPECT_EQ(lead.Color1, 0x0000FFu);

    // Typing a pair unit by unit makes one character once both halves are there.
    HostPtr typed = HostWith(u"DejaVu Sans", u"a\xD835" u"b");
    ASSERT_EQ(typed->InsertText(0, 2, u"\xDD38"), 4);
    EXPECT_EQ(CharRect(*typed, 1).width, CharRect(*host, 1).width);
    EXPECT_EQ(CharRect(*typed, 2).width, 0);
}

// Drawn: the pair is one glyph inside its lead's box; two lone halves draw two missing glyphs.
TEST(SurrogatePairs, DrawOneGlyphAndLoneHalvesTheMissingGlyph) {
    constexpr int32_t kWidth = 240, kHeight = 600;  // tall: the linked face may have a very tall line
    auto draw = [&](const std::u16string& text, std::vector<RectF>* boxes) {
        HostPtr host = HostWith(u"Liberation Sans", text);
        RenderSettings rs{};
        host->GetRenderSettings(&rs);
        rs.Width = kWidth, rs.Height = kHeight, rs.ClipRect = {0, 0, kWidth, kHeight};
        host->SetRenderSettings(&rs);
        StringAttrs attrs{};
        host->GetStringAttrs(0, &attrs);
        attrs.Left = 20, attrs.Top = 20;
        host->SetDefaultString(&attrs);
        host->ApplyString(0);
        for (int32_t i = 0; i < host->GetCharCount(0); ++i) boxes->push_back(CharRect(*host, i));
        std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0);
        EXPECT_EQ(host->Render(frame.data(), 0.5f), S_OK);
        return frame;
    };
    auto inkIn = [&](const std::vector<uint8_t>& frame, const RectF& r) {
        int ink = 0;
        for (int32_t y = std::max(0, int32_t(r.y)); y < std::min(kHeight, int32_t(r.y + r.height)); ++y)
            for (int32_t x = std::max(0, int32_t(r.x)); x < std::min(kWidth, int32_t(r.x + r.width + 1)); ++x)
                ink += frame[(size_t(y) * kWidth + x) * 4 + 3] >= 128;
        return ink;
    };
    std::vector<RectF> boxes;
    const std::vector<uint8_t> pair = draw(kPair, &boxes);
    ASSERT_EQ(boxes.size(), 2u);
    int total = 0;
    for (size_t i = 0; i < pair.size(); i += 4) total += pair[i + 3] >= 128;
    EXPECT_GT(total, 50);
    // All of it around the lead's box: a glyph may overhang its advance a little (this one by
    // a tenth of it), but two glyphs would take twice the room.
    const float overhang = boxes[0].width * 0.2f;
    const RectF around{boxes[0].x - overhang, boxes[0].y, boxes[0].width + 2 * overhang, boxes[0].height};
    EXPECT_EQ(inkIn(pair, around), total);

    boxes.clear();
    const std::vector<uint8_t> lone = draw(u"\xDD38\xD835", &boxes);
    ASSERT_EQ(boxes.size(), 2u);
    for (const RectF& box : boxes) {
        EXPECT_GT(box.width, 0);
        EXPECT_GT(inkIn(lone, box), 20);  // the missing-glyph box
    }
}

}  // namespace
}  // namespace qel
