// Animated titles through the public interface, as a host plays them: a title file is loaded
// and Render draws 1920 x 1080 frames spread evenly over title time 0 to 1, round and round.
// Every character is turned and scaled in most frames, so each frame rasterises them afresh.
//
//   Title_Swirl40, Title_RotateInwards40    two lines of 20 characters
//   Title_Swirl200, Title_RotateInwards200  five lines of 40 characters
//
// Frame k is drawn at the fractional part of k times the golden ratio, so however many frames
// the benchmark draws, their times spread evenly over the path.
// DejaVu Sans 72, border 3, shadow offset 3, 3 blurred by 3, centred; /threads:N is the render
// settings' MaxThreads, /cache_mb:N the image cache's budget (-1: the library's default; counters:
// what it holds at the end and the share of characters it found). Times are per frame (ms). The
// titles in bench/data were written by
//   qeltitle text 'LINE\nLINE' -o bench/data/Swirl40.xml --font 'DejaVu Sans' --size 72
//       --border 3 --shadow 3,3:3 --effect PATH_SWIRL
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace {

constexpr int32_t kW = 1920, kH = 1080;

struct HostDeleter {
    void operator()(qel::ITitleHost* h) const { ReleaseTitleHost(h); }
};

void Title(benchmark::State& state, const char* file) {
    std::unique_ptr<qel::ITitleHost, HostDeleter> host(GetTitleHost());
    const std::string path = std::string(QEL_BENCH_DATA_DIR) + "/" + file;
    if (host->LoadTitleFromFile(std::u16string(path.begin(), path.end()).c_str()) != qel::S_OK) {
        state.SkipWithError(("cannot load " + path).c_str());
        return;
    }
    qel::RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = kW;
    rs.Height = kH;
    rs.ScaleX = rs.ScaleY = 1;
    rs.ClipRect = {0, 0, kW, kH};
    rs.MaxThreads = int32_t(state.range(0));
    host->SetRenderSettings(&rs);
    if (state.range(1) >= 0) {
        const auto* cache = static_cast<const QelCacheV1*>(QelGetExtension(QEL_CACHE_EXTENSION, 1));
        if (cache) cache->SetImageCacheBudget(host.get(), uint64_t(state.range(1)) << 20);
    }

    std::vector<uint8_t> frame(size_t(kW) * kH * 4, 0x40);
    double time = 0;
    for (auto _ : state) {
        host->Render(frame.data(), float(time));
        benchmark::ClobberMemory();
        time += 0.6180339887498949;
        time -= time >= 1 ? 1 : 0;
    }
    // What the image cache holds at the end and how often it answered.
    QelCacheStats stats{};
    const auto* cache = static_cast<const QelCacheV1*>(QelGetExtension(QEL_CACHE_EXTENSION, 1));
    if (cache && cache->GetImageCacheStats(host.get(), &stats) == qel::S_OK) {
        state.counters["cache_MB"] = double(stats.UsedBytes) / (1 << 20);
        const double asked = double(stats.Hits + stats.Misses);
        state.counters["hit_%"] = asked > 0 ? 100.0 * double(stats.Hits) / asked : 0;
    }
}

void Cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"threads", "cache_mb"})->Args({1, -1})->Args({2, -1})->Args({1, 0});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_CAPTURE(Title, Swirl40, "Swirl40.xml")->Name("Title_Swirl40")->Apply(Cases);
BENCHMARK_CAPTURE(Title, Swirl200, "Swirl200.xml")->Name("Title_Swirl200")->Apply(Cases);
BENCHMARK_CAPTURE(Title, RotateInwards40, "RotateInwards40.xml")->Name("Title_RotateInwards40")->Apply(Cases);
BENCHMARK_CAPTURE(Title, RotateInwards200, "RotateInwards200.xml")->Name("Title_RotateInwards200")->Apply(Cases);

}  // namespace
