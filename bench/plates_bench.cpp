// What a plate adds to a frame: a two-line lower third (DejaVu Sans 72, border 3, shadow 3 blurred
// by 3) on a 1920 x 1080 frame, drawn without and with a plate per line (padding 24, 8, radius 12,
// a gradient fill, an outline and a blurred shadow). Arguments: plate (0 or 1), then the motion:
//   0 at rest, drawn afresh every frame (the still-frame cache dropped, as after an edit)
//   1 sliding with PATH_SLIDELEFT: plates at rest moved between pixels
//   2 wiped in with PATH_WIPELEFT: plates at rest faded in strips as the characters are
//   3 text at rest, each plate wiped in by its own reveal (from the left, title time 0.3 to 0.9)
// The ratio of the two plate arguments of one motion is the plate's cost.
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <cstring>

#include "BenchStyle.h"
#include "qel/qel_extensions.h"

namespace qel {
namespace {

using namespace qel::testing;

constexpr int32_t kW = bench::kFrameWidth, kH = bench::kFrameHeight;

HostPtr LowerThird(bool plate, const char* path, bool reveal) {
    HostPtr host = bench::StyledHost();
    ParagraphAttrs left{0, 0, 0, 0, 0, 0};
    host->SetDefaultParagraph(&left);
    StringAttrs attrs = host->Engine().DefaultString();
    std::strncpy(attrs.PathID, path, sizeof attrs.PathID - 1);
    host->SetDefaultString(&attrs);
    AddText(*host, u"Jane Doe\r\nSenior Engineer, Platform", 120, 800);
    if (plate) {
        QelPlate p{};
        p.Per = QEL_PLATE_PER_LINE;
        p.PadX = 24;
        p.PadY = 8;
        p.Radius = 12;
        p.Color1 = 0x6B2F0E;
        p.Color2 = 0xA05020;
        p.GradType = 3;
        p.Alpha = 230;
        p.BorderSize = 2;
        p.BorderColor = 0xFFFFFF;
        p.BorderAlpha = 255;
        p.ShadowX = p.ShadowY = 6;
        p.ShadowBlur = 6;
        p.ShadowAlpha = 128;
        if (reveal) {
            p.Reveal = QEL_REVEAL_WIPE;
            p.RevealFrom = QEL_FROM_LEFT;
            p.RevealStart = 0.3f;
            p.RevealLength = 0.6f;
        }
        const auto* plates = static_cast<const QelPlatesV1*>(QelGetExtension(QEL_PLATES_EXTENSION, 1));
        (void)plates->SetPlate(host.get(), 0, 0, &p);
    }
    return host;
}

void Plates_Frame(benchmark::State& state) {
    const bool plate = state.range(0) != 0;
    const int64_t motion = state.range(1);
    const char* path = motion == 1 ? "PATH_SLIDELEFT" : motion == 2 ? "PATH_WIPELEFT" : "PATH_NOEFFECT";
    HostPtr host = LowerThird(plate, path, motion == 3);
    PathValue start{}, end{};
    std::strncpy(start.PathID, path, sizeof start.PathID - 1);
    std::memcpy(end.PathID, start.PathID, sizeof end.PathID);
    start.PathProgress = motion == 0 || motion == 3 ? 1.0f : 0.0f;
    end.PathProgress = 1.0f;
    host->SetKeyFrame(0, 0.0f, &start);
    host->SetKeyFrame(0, 1.0f, &end);
    std::vector<uint8_t> frame = Background(kW, kH);
    int n = 0;
    for (auto _ : state) {
        // Times between 0.3 and 0.9: the string part way in.
        const float t = 0.3f + 0.6f * float(n++ % 97) / 97.0f;
        host->Renderer().DropStillFrame();
        host->Render(frame.data(), t);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Plates_Frame)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"plate", "motion"})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace qel
