// Paths over one and two vertical columns, which stand left of their layout box, and over a line:
// every path that comes to rest draws the string at rest at time 1, slides start outside the
// frame, and rolls and crawls start outside it and carry all the string draws out of it.
#include <gtest/gtest.h>

#include "effects/EffectCatalog.h"
#include "render/CompositorFixture.h"

namespace qel {
namespace {

using namespace qel::testing;

TEST(VerticalEffects, PathsEndAtRestAndEnterAndLeaveOutsideTheFrame) {
    constexpr int32_t kW = 640, kH = 400;
    const std::vector<uint8_t> empty = Background(kW, kH);
    using Case = std::tuple<const char16_t*, int32_t, uint32_t>;  // text, vertical, extruded shadow
    for (const auto& [text, vertical, extruded] :
         {Case{u"Title 2026", 1, 0}, Case{u"Title\r\n2026", 1, 1}, Case{u"Title 2026", 0, 0}}) {
        auto host = MakeHost(kW, kH);
        MetaBorder border{1, 20, 0xFF, 0xFF, 0, 255, 3};  // wide and blurred; the shadow blurred or extruded
        MetaShadow shadow{1, 1, 0, 0, 0, 200, extruded ? 0 : 6, 24, 24, extruded};
        StringAttrs attrs = host->Engine().DefaultString();
        attrs.Vertical = vertical;
        host->SetDefaultBorder(&border), host->SetDefaultShadow(&shadow), host->SetDefaultString(&attrs);
        SetFont(*host, u"DejaVu Sans", 48), AddText(*host, text, 300, 60);
        auto frame = [&](const char* path) {
            PathValue from{}, to{};
            std::strcpy(from.PathID, path), std::strcpy(to.PathID, path), to.PathProgress = 1;
            host->ClearKeyFrames(0), host->SetKeyFrame(0, 0, &from), host->SetKeyFrame(0, 1, &to);
            std::vector<uint8_t> pixels = Background(kW, kH);
            EXPECT_EQ(host->Render(pixels.data(), 1), S_OK);
            return pixels;
        };
        const std::vector<uint8_t> rest = frame("PATH_NOEFFECT");
        ASSERT_TRUE(rest != empty);
        for (int k = 0; k < EffectCatalog::BuiltInRowCount(); ++k) {
            const EffectTableRow& row = EffectCatalog::BuiltInRow(k);
            const bool leaves = std::strcmp(row.groupId, "CLASS_ROLLNCRAWL") == 0;
            if (row.wholeImage) continue;  // pictures of their own, also at 1
            EXPECT_TRUE(frame(row.pathId) == (leaves ? empty : rest)) << row.pathId;
            if (!leaves && std::strncmp(row.pathId, "PATH_SLIDE", 10) != 0) continue;
            const PathEffect* effect = host->Renderer().EffectFor(host->Engine(), 0);
            EffectRandom random(1);
            for (int32_t i = 0; i < effect->CharCount(); ++i) {  // just after 0, every box is outside
                CharState s{};
                const CharBox& b = effect->Chars()[size_t(i)];
                (void)effect->GetCharState(0, i, 1e-6f, random, &s);
                EXPECT_TRUE(text[i] < ' ' || s.x >= kW - 0.5f || s.y >= kH - 0.5f || s.x + b.width <= 0.5f ||
                            s.y + b.height <= 0.5f) << row.pathId << " " << i;
            }
        }
    }
}

}  // namespace
}  // namespace qel
