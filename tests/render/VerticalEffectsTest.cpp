// Paths over vertical strings, whose columns stand left of their layout box: every path that
// comes to rest draws the string at rest at time 1, slides start outside the frame, and rolls and
// crawls start outside it and carry all the string draws (border, blurred or extruded shadow) out.
#include <gtest/gtest.h>

#include "effects/EffectCatalog.h"
#include "render/CompositorFixture.h"

namespace qel {
namespace {

using namespace qel::testing;
constexpr int32_t kW = 640, kH = 400;

std::vector<uint8_t> Frame(TitleHost& host, const char* path, float time) {
    PathValue from{}, to{};
    std::strcpy(from.PathID, path), std::strcpy(to.PathID, path), to.PathProgress = 1;
    host.ClearKeyFrames(0), host.SetKeyFrame(0, 0, &from), host.SetKeyFrame(0, 1, &to);
    std::vector<uint8_t> frame = Background(kW, kH);
    EXPECT_EQ(host.Render(frame.data(), time), S_OK);
    return frame;
}

TEST(VerticalEffects, PathsEndAtRestAndEnterAndLeaveOutsideTheFrame) {
    // One column, two, and a line across (the same holds for horizontal strings).
    for (const std::u16string text : {u"Title 2026", u"Title\r\n2026", u"Title 2026 "}) {
        auto host = MakeHost(kW, kH);
        SetFont(*host, u"DejaVu Sans", 48);
        const bool two = text[5] == '\r';
        MetaBorder border{1, 20, 0xFF, 0xFF, 0, 255, 3};
        MetaShadow shadow{1, 1, 0, 0, 0, 200, two ? 0 : 6, 24, 24, two};
        StringAttrs attrs = host->Engine().DefaultString();
        attrs.Vertical = text.size() == 10 || two;
        host->SetDefaultBorder(&border), host->SetDefaultShadow(&shadow), host->SetDefaultString(&attrs);
        AddText(*host, text, 300, 60);
        const std::vector<uint8_t> rest = Frame(*host, "PATH_NOEFFECT", 1), empty = Background(kW, kH);
        ASSERT_TRUE(rest != empty);
        for (int k = 0; k < EffectCatalog::BuiltInRowCount(); ++k) {
            const EffectTableRow& row = EffectCatalog::BuiltInRow(k);
            const bool leaves = std::strcmp(row.groupId, "CLASS_ROLLNCRAWL") == 0;
            if (row.wholeImage) continue;  // pictures of their own, also at 1
            EXPECT_TRUE(Frame(*host, row.pathId, 1) == (leaves ? empty : rest)) << row.pathId;
            if (!leaves && std::strncmp(row.pathId, "PATH_SLIDE", 10) != 0) continue;
            const PathEffect* effect = host->Renderer().EffectFor(host->Engine(), 0);
            EffectRandom random(1);
            for (int32_t i = 0; i < effect->CharCount(); ++i) {  // just after 0, every box is outside
                CharState s{};
                const CharBox& b = effect->Chars()[size_t(i)];
                (void)effect->GetCharState(0, i, 1e-6f, random, &s);
                EXPECT_TRUE(text[size_t(i)] < ' ' || s.x >= kW - 0.5f || s.y >= kH - 0.5f || s.x + b.width <= 0.5f ||
                            s.y + b.height <= 0.5f) << row.pathId << " " << i;
            }
        }
    }
}

}  // namespace
}  // namespace qel
