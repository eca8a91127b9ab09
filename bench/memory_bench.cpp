// What a title costs in memory and in its first frame, against what it draws: a 3840 x 2160 frame
// with one short string ("String 0") and with twenty ("String 0" ... "String 19"), DejaVu Sans 72,
// one thread, each iteration a fresh host.
//   Memory_FirstFrame/strings   time of the first Render; counters:
//     peak_MB    the process's peak resident memory during that Render (VmHWM, reset first;
//                it includes the 32 MiB frame and the fonts)
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tests/render/CompositorFixture.h"

namespace qel {
namespace {

using namespace qel::testing;

constexpr int32_t kW = 3840, kH = 2160;

// A field of /proc/self/status in MiB (its unit is kB); 0 when it cannot be read.
double StatusMiB(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
            kb = std::strtod(line + n + 1, nullptr);
            break;
        }
    }
    std::fclose(f);
    return kb / 1024.0;
}

// Lets VmHWM start again from the current resident size.
void ResetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

HostPtr StringsTitle(int32_t count) {
    HostPtr host = MakeHost(kW, kH);
    ChangeSettings(*host, [](RenderSettings& rs) { rs.MaxThreads = 1; });
    SetFont(*host, u"DejaVu Sans", 72);
    for (int32_t k = 0; k < count; ++k) {
        const std::string text = "String " + std::to_string(k);
        AddText(*host, std::u16string(text.begin(), text.end()), float(200 + (k % 2) * 1800), float(40 + k * 100));
    }
    return host;
}

void Memory_FirstFrame(benchmark::State& state) {
    std::vector<uint8_t> frame = Background(kW, kH);
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HostPtr host = StringsTitle(int32_t(state.range(0)));
        ResetPeak();
        state.ResumeTiming();
        host->Render(frame.data(), 1.0f);
        benchmark::ClobberMemory();
        state.PauseTiming();
        peak = std::max(peak, StatusMiB("VmHWM"));
        host.reset();
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(Memory_FirstFrame)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qel
