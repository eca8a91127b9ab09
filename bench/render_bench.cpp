// Frames of a 1920 x 1080 title: one string of 40 characters in DejaVu Sans 72 with a border of 3
// and a shadow offset by 3 and blurred by 3. Each case compares with one full-frame blend.
//   Render_StillFromCache/threads  every string at rest, served from the still-frame cache
//   Render_StillUncached        at rest, but the cache was just invalidated (as after an edit)
//   Render_Transformed/threads  every character scaled and turned, differently in every frame
//   Render_Turning/chars/threads  40 or 200 characters turning at scale 1 (a swirl's workload)
//   Blend_FullFrame             one BlendOverOpaque of the whole frame
//   Blend_DirtyRect             one BlendOverOpaque of the title's dirty rectangle
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "BenchStyle.h"
#include "render/Blend.h"

namespace qel {
namespace {

using namespace qel::testing;

constexpr int32_t kW = bench::kFrameWidth, kH = bench::kFrameHeight;

HostPtr BenchTitle(int32_t maxThreads) {
    HostPtr host = bench::StyledHost(maxThreads);
    AddText(*host, u"The quick brown fox jumps over the lazy.", 40, 480);  // 40 characters
    return host;
}

void Render_StillFromCache(benchmark::State& state) {
    HostPtr host = BenchTitle(int32_t(state.range(0)));
    std::vector<uint8_t> frame = Background(kW, kH);
    host->Render(frame.data(), 1.0f);
    for (auto _ : state) {
        host->Render(frame.data(), 1.0f);
        benchmark::ClobberMemory();
    }
    RECT dirty{};
    host->GetDirtyRect(&dirty);
    state.counters["dirty_px"] = double(dirty.right - dirty.left) * double(dirty.bottom - dirty.top);
}
BENCHMARK(Render_StillFromCache)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

void Render_StillUncached(benchmark::State& state) {
    HostPtr host = BenchTitle(int32_t(state.range(0)));
    std::vector<uint8_t> frame = Background(kW, kH);
    host->Render(frame.data(), 1.0f);
    for (auto _ : state) {
        host->Renderer().DropStillFrame();
        host->Render(frame.data(), 1.0f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Render_StillUncached)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

void Render_Transformed(benchmark::State& state) {
    HostPtr host = BenchTitle(int32_t(state.range(0)));
    std::vector<uint8_t> frame = Background(kW, kH);
    float t = 0;
    // The same effect object throughout; its answers depend on a frame counter it reads.
    int frameNumber = 0;
    InstallEffect(*host, 0, [&frameNumber](int32_t, int32_t i, const CharBox& b) {
        const float phase = float(frameNumber) * 0.05f + float(i) * 0.3f;
        return CharState{b.x, b.y, 1.0f + 0.2f * std::sin(phase), 1.0f + 0.2f * std::cos(phase),
                         10.0f * std::sin(phase), 255};
    });
    for (auto _ : state) {
        ++frameNumber;
        host->Renderer().DropStillFrame();  // a moving title is never served from the still-frame cache
        host->Render(frame.data(), t);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Render_Transformed)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Characters turning through a full turn at scale 1, differently in every frame, as in a swirl:
// 40 characters (one line) or 200 (five lines of 40), same style as above.
void Render_Turning(benchmark::State& state) {
    const int32_t lines = int32_t(state.range(0)) / 40;
    HostPtr host = BenchTitle(int32_t(state.range(1)));
    for (int32_t k = 1; k < lines; ++k) AddText(*host, u"The quick brown fox jumps over the lazy.", 40, float(80 + 200 * k));
    std::vector<uint8_t> frame = Background(kW, kH);
    int frameNumber = 0;
    for (int32_t row = 0; row < lines; ++row) {
        InstallEffect(*host, row, [&frameNumber, row](int32_t, int32_t i, const CharBox& b) {
            const float turn = std::fmod(float(frameNumber) * 7.0f + float(i + 40 * row) * 9.0f, 360.0f);
            return CharState{b.x, b.y, 1.0f, 1.0f, turn, 255};
        });
    }
    for (auto _ : state) {
        ++frameNumber;
        host->Renderer().DropStillFrame();
        host->Render(frame.data(), 0.5f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Render_Turning)->ArgsProduct({{40, 200}, {1, 2}})->Unit(benchmark::kMicrosecond)->UseRealTime();

void Blend_FullFrame(benchmark::State& state) {
    std::vector<uint8_t> frame = Background(kW, kH);
    std::vector<uint8_t> layer = Background(kW, kH, 128);
    Premultiply(layer.data(), kW, kH, kW * 4);
    for (auto _ : state) {
        BlendOverOpaque(frame.data(), layer.data(), kW, kH, RECT{0, 0, kW, kH});
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Blend_FullFrame)->Unit(benchmark::kMicrosecond);

// The still title's own dirty rectangle, with its real layer content.
void Blend_DirtyRect(benchmark::State& state) {
    HostPtr host = BenchTitle(1);
    std::vector<uint8_t> frame = Background(kW, kH);
    host->Render(frame.data(), 1.0f);
    RECT dirty{};
    host->GetDirtyRect(&dirty);
    // The string's image laid into a frame-sized buffer, as the rectangle form wants it.
    const StringLayers& string = host->Renderer().StateOf(0)->layers;
    std::vector<uint8_t> image(size_t(kW) * kH * 4);
    const int32_t rowBytes = (dirty.right - dirty.left) * 4;
    for (int32_t y = dirty.top; y < dirty.bottom; ++y) {
        std::memcpy(&image[(size_t(y) * kW + dirty.left) * 4], string.At(string.memory.ShadowLayer, dirty.left, y),
                    size_t(rowBytes));
    }
    for (auto _ : state) {
        BlendOverOpaque(frame.data(), image.data(), kW, kH, dirty);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Blend_DirtyRect)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qel
