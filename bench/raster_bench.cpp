// Filters and compositing primitives on a full HD frame of title-like content: mostly
// transparent, with bands of glyph-sized shapes that are opaque inside and anti-aliased at their
// edges. Blends are measured per kernel table against memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "render/Blend.h"
#include "render/FilterKernels.h"
#include "render/Filters.h"
#include "render/OutlineKernel.h"
#include "render/SimdKernels.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 4;

// Two lines of text: 28 x 44 glyph boxes in 40 x 64 cells, with a 3-pixel alpha ramp at the edges.
std::vector<uint8_t> TitleLayer(bool premultiplied) {
    std::vector<uint8_t> image(kFrameBytes, 0);
    for (int32_t line : {700, 800}) {
        for (int32_t y = line; y < line + 64; ++y) {
            for (int32_t x = 160; x < kWidth - 160; ++x) {
                const int32_t cx = (x - 160) % 40, cy = y - line;
                const int32_t edge = std::min({cx, 28 - cx, cy, 44 - cy});
                if (edge < 0) continue;
                const uint8_t a = edge >= 3 ? 255 : static_cast<uint8_t>(64 * (edge + 1));
                uint8_t* p = image.data() + (size_t(y) * kWidth + x) * 4;
                const uint8_t colour = static_cast<uint8_t>(200 + x % 50);
                p[0] = p[1] = p[2] = premultiplied ? static_cast<uint8_t>(colour * a / 255) : colour;
                p[3] = a;
            }
        }
    }
    return image;
}

std::vector<uint8_t> OpaqueFrame() {
    std::vector<uint8_t> frame(kFrameBytes);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(i * 7);
    return frame;
}

bool Available(qel::SimdLevel level) { return level <= qel::DetectSimdLevel(nullptr); }

void BM_Memcpy(benchmark::State& state) {
    const std::vector<uint8_t> src = TitleLayer(true);
    std::vector<uint8_t> dst = OpaqueFrame();
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kFrameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_Memcpy);

template <qel::BlendRowFn qel::BlendKernels::*kKernel>
void BM_Blend(benchmark::State& state) {
    const auto level = static_cast<qel::SimdLevel>(state.range(0));
    if (!Available(level)) return state.SkipWithError("not supported here");
    const qel::BlendRowFn kernel = qel::BlendKernelsFor(level).*kKernel;
    const std::vector<uint8_t> src = TitleLayer(true);
    std::vector<uint8_t> dst = OpaqueFrame();
    for (auto _ : state) {
        for (int32_t y = 0; y < kHeight; ++y) kernel(dst.data() + size_t(y) * kWidth * 4, src.data() + size_t(y) * kWidth * 4, kWidth);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
    state.SetLabel(qel::SimdLevelName(level));
}
BENCHMARK_TEMPLATE(BM_Blend, &qel::BlendKernels::blendOverOpaque)->Name("BM_BlendOverOpaque")->DenseRange(0, 2);
BENCHMARK_TEMPLATE(BM_Blend, &qel::BlendKernels::blendOverKeepAlpha)->Name("BM_BlendOverKeepAlpha")->DenseRange(0, 2);
BENCHMARK_TEMPLATE(BM_Blend, &qel::BlendKernels::blendStraightOpaque)->Name("BM_BlendStraightOpaque")->DenseRange(0, 2);

void BM_Premultiply(benchmark::State& state) {
    const auto level = static_cast<qel::SimdLevel>(state.range(0));
    if (!Available(level)) return state.SkipWithError("not supported here");
    const qel::PremultiplyRowFn kernel = qel::BlendKernelsFor(level).premultiply;
    const std::vector<uint8_t> src = TitleLayer(false);
    std::vector<uint8_t> image(kFrameBytes);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image.data(), src.data(), kFrameBytes);
        state.ResumeTiming();
        for (int32_t y = 0; y < kHeight; ++y) kernel(image.data() + size_t(y) * kWidth * 4, kWidth);
        benchmark::ClobberMemory();
    }
    state.SetLabel(qel::SimdLevelName(level));
}
BENCHMARK(BM_Premultiply)->DenseRange(0, 2);

void BM_BoxBlur(benchmark::State& state) {
    const std::vector<uint8_t> src = TitleLayer(false);
    std::vector<uint8_t> dst(kFrameBytes);
    const auto radius = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        (void)qel::BoxBlurCopy(dst.data(), src.data(), kWidth, kHeight, kWidth * 4, kWidth * 4, radius);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BoxBlur)->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_GaussianBlur(benchmark::State& state) {
    const std::vector<uint8_t> src = TitleLayer(false);
    std::vector<uint8_t> image(kFrameBytes);
    const auto radius = static_cast<float>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(image.data(), src.data(), kFrameBytes);
        state.ResumeTiming();
        (void)qel::GaussianBlur(image.data(), kWidth, kHeight, radius);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GaussianBlur)->Arg(3)->Arg(10)->Unit(benchmark::kMillisecond);

// One character's shadow image: an 80 x 90 ring with soft edges inside a transparent blur margin,
// blurred in place as the layer builders do for every transformed character.
std::vector<uint8_t> GlyphImage() {
    std::vector<uint8_t> image(80 * 90 * 4, 0);
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 80; ++x) {
            const int32_t d = (x - 40) * (x - 40) + (y - 45) * (y - 45);
            const int32_t edge = std::min(d - 400, 1225 - d);  // between radii 20 and 35
            if (edge <= 0) continue;
            uint8_t* p = image.data() + (y * 80 + x) * 4;
            p[0] = 20, p[1] = 40, p[2] = 60;
            p[3] = edge >= 100 ? 255 : static_cast<uint8_t>(edge * 255 / 100);
        }
    return image;
}

void BM_GaussianBlurGlyph(benchmark::State& state) {
    const std::vector<uint8_t> src = GlyphImage();
    std::vector<uint8_t> image(src.size());
    const auto radius = static_cast<float>(state.range(0));
    for (auto _ : state) {
        std::memcpy(image.data(), src.data(), src.size());
        (void)qel::GaussianBlur(image.data(), 80, 90, radius);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GaussianBlurGlyph)->Arg(3)->Arg(10);

// A character's outline: a ring mask with soft edges, 80 x 90 (range(2) 1) or 160 x 180 (2), grown
// by an elliptical kernel of radius range(1) / 10, by the row path with every kernel row on its
// own (range(0) 0), with mirrored rows shared (1), by the wide path (2) or by chords (3), with the active
// table, as the border builder grows every transformed character.
void BM_DilateOutline(benchmark::State& state) {
    const int32_t scale = int32_t(state.range(2));
    const int32_t sw = 80 * scale, sh = 90 * scale;
    std::vector<uint8_t> mask(size_t(sw) * sh, 0);
    for (int32_t y = 0; y < sh; ++y)
        for (int32_t x = 0; x < sw; ++x) {
            const int32_t d = ((x - 40 * scale) * (x - 40 * scale) + (y - 45 * scale) * (y - 45 * scale)) / (scale * scale);
            const int32_t edge = std::min(d - 400, 1225 - d);  // between radii 20 and 35 (times scale)
            if (edge > 0) mask[size_t(y) * sw + x] = edge >= 100 ? 255 : static_cast<uint8_t>(edge * 255 / 100);
        }
    qel::OutlineKernelRef k;
    const float radius = float(state.range(1)) / 10.0f;
    if (qel::GetOutlineKernel(radius, radius, &k) != qel::S_OK) return state.SkipWithError("no kernel");
    const int32_t dw = sw + 2 * k->halfW, dh = sh + 2 * k->halfH;
    std::vector<uint8_t> out(size_t(dw) * dh);
    const qel::FilterKernels& table = qel::ActiveFilterKernels();
    for (auto _ : state) {
        qel::HRESULT hr = qel::S_OK;
        switch (state.range(0)) {
            case 0: hr = qel::DilateMaskRowsWith(table, mask.data(), sw, sh, sw, out.data(), dw, dh, dw, k->cells.get(), k->halfW, k->halfH, false); break;
            case 1: hr = qel::DilateMaskRowsWith(table, mask.data(), sw, sh, sw, out.data(), dw, dh, dw, k->cells.get(), k->halfW, k->halfH, true); break;
            case 3: hr = qel::DilateMaskChordsWith(table, mask.data(), sw, sh, sw, out.data(), dw, dh, dw, k->cells.get(), k->halfW, k->halfH); break;
            default: hr = qel::DilateMaskWide(mask.data(), sw, sh, sw, out.data(), dw, dh, dw, k->cells.get(), k->halfW, k->halfH); break;
        }
        benchmark::DoNotOptimize(hr);
        benchmark::ClobberMemory();
    }
    static const char* const kLabels[] = {"rows", "mirrored", "wide", "chords"};
    state.SetLabel(kLabels[state.range(0)]);
}
BENCHMARK(BM_DilateOutline)->ArgsProduct({{0, 1, 2, 3}, {15, 30, 45, 59, 80, 120, 200, 250, 300}, {1, 2}});

// A 100 x 100 glyph image at a fractional position; the layer is cleared between runs, as the
// compositor clears it every frame.
void BM_PlaceLayer(benchmark::State& state) {
    const auto level = static_cast<qel::SimdLevel>(state.range(0));
    if (!Available(level)) return state.SkipWithError("not supported here");
    std::vector<uint8_t> glyph(100 * 100 * 4, 0);
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 100; ++x) {
            const int32_t d = (x - 50) * (x - 50) + (y - 50) * (y - 50);
            uint8_t* p = glyph.data() + (y * 100 + x) * 4;
            const uint8_t a = d < 1600 ? 255 : d < 2025 ? static_cast<uint8_t>((2025 - d) * 255 / 425) : 0;
            p[0] = 30, p[1] = 160, p[2] = 220, p[3] = a;
        }
    std::vector<uint8_t> layer(size_t{256} * 256 * 4, 0);
    const qel::BlendKernels& kernels = qel::BlendKernelsFor(level);
    const int32_t rows = 101, count = 101;
    std::vector<uint8_t> upper((100 + 2) * 4, 0), lower((100 + 2) * 4, 0);
    qel::PlaceRowParams params;
    const float fx = 0.37f, fy = 0.61f;
    params.w00 = uint32_t(fx * fy * 65536.0f), params.w10 = uint32_t((1 - fx) * fy * 65536.0f);
    params.w01 = uint32_t(fx * (1 - fy) * 65536.0f), params.w11 = uint32_t((1 - fx) * (1 - fy) * 65536.0f);
    for (auto _ : state) {
        // The row loop of PlaceLayer, run through the given table.
        for (int32_t r = 0; r < rows; ++r) {
            std::swap(upper, lower);
            if (r < 100) std::memcpy(lower.data() + 4, glyph.data() + r * 400, 400);
            else std::fill(lower.begin(), lower.end(), 0);
            kernels.placeRow(layer.data() + (size_t(r + 10) * 256 + 10) * 4, upper.data(), lower.data(), count, params);
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(qel::SimdLevelName(level));
}
BENCHMARK(BM_PlaceLayer)->DenseRange(0, 2);

void BM_PlaceLayerPublic(benchmark::State& state) {
    std::vector<uint8_t> glyph(100 * 100 * 4, 0);
    for (size_t i = 0; i < glyph.size(); i += 4) glyph[i] = 30, glyph[i + 3] = static_cast<uint8_t>(i * 13 % 7 ? 255 : i % 256);
    std::vector<uint8_t> layer(size_t{kWidth} * kHeight * 4, 0);
    const qel::RECT clip{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        (void)qel::PlaceLayer(layer.data(), kWidth, kHeight, clip, glyph.data(), 100, 100, 500.37f, 300.61f, 255);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlaceLayerPublic);

}  // namespace
