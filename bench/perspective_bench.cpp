// The perspective scroll over a 1920 x 1080 frame: the scene draws the string's image on its
// tilted plane at 3840 x 2160 and averages it down.
//   Effect_PerspectiveScroll   the effect's image work alone (clear, enlarge, draw, reduce) over
//                              an image of text-like stripes
//   Render_PerspectiveScroll   a whole frame through Render: three lines of DejaVu Sans 72
//                              rolling up, one thread
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "../tests/render/CompositorFixture.h"
#include "effects/EffectFactories.h"

namespace qel {
namespace {

using namespace qel::testing;

constexpr int32_t kW = 1920, kH = 1080;

void Effect_PerspectiveScroll(benchmark::State& state) {
    // Opaque blocks of glyph size on transparent ground, in the middle third of the frame.
    std::vector<uint32_t> source(size_t(kW) * kH, 0), target(size_t(kW) * kH, 0);
    for (int32_t y = kH / 3; y < 2 * kH / 3; ++y) {
        for (int32_t x = kW / 6; x < 5 * kW / 6; ++x) {
            if ((x / 40 + y / 60) % 2 && x % 40 < 30 && y % 60 < 50) source[size_t(y) * kW + x] = 0xFFF0E0C0u;
        }
    }
    std::unique_ptr<PathEffect> effect = NewPerspectiveScroll();
    (void)effect->SetSourceImage(reinterpret_cast<uint8_t*>(source.data()), kW, kH, kW * 4);
    (void)effect->SetTargetImage(reinterpret_cast<uint8_t*>(target.data()), kW, kH, kW * 4);
    (void)effect->SetImageParam(0);
    (void)effect->ProcessImage(0.5f);  // builds the scene
    for (auto _ : state) {
        (void)effect->ProcessImage(0.5f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Effect_PerspectiveScroll)->Unit(benchmark::kMillisecond);

void Render_PerspectiveScroll(benchmark::State& state) {
    HostPtr host = MakeHost(kW, kH);
    ChangeSettings(*host, [&](RenderSettings& rs) { rs.MaxThreads = 1; });
    SetFont(*host, u"DejaVu Sans", 72);
    const int32_t row = AddText(*host, u"A title engine\r\ndrawn in software\r\nrolls into the distance", 500, 400);
    PathValue start{}, end{};
    std::strcpy(start.PathID, "PATH_PERSPECTIVESCROLL");
    std::strcpy(end.PathID, "PATH_PERSPECTIVESCROLL");
    end.PathProgress = 1;
    host->SetKeyFrame(row, 0.0f, &start);
    host->SetKeyFrame(row, 1.0f, &end);
    std::vector<uint8_t> frame = Background(kW, kH);
    host->Render(frame.data(), 0.5f);
    for (auto _ : state) {
        host->Render(frame.data(), 0.5f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Render_PerspectiveScroll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qel
