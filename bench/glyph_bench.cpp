// Glyph coverage per glyph: a 72-pixel glyph turned 30 degrees, at each anti-aliasing depth,
// and the same glyph unturned for comparison. Needs DejaVu Sans (the machine's own fonts, or the
// test set through FONTCONFIG_FILE=build/test-fonts.conf).
#include <benchmark/benchmark.h>

#include <string_view>

#include "model/Fonts.h"
#include "glyph/GlyphCoverage.h"

namespace {

using namespace qel;

const MetaFont& Font72() {
    static const MetaFont font = [] {
        FontSpec spec{};
        std::u16string_view(u"DejaVu Sans").copy(spec.FaceName, 31);
        spec.CharSet = 1;
        spec.Size = 72;
        MetaFont f;
        (void)MakeFont(kDesignHeight, spec, &f);
        return f;
    }();
    return font;
}

void Coverage(benchmark::State& state, float angle) {
    const MetaFont& font = Font72();
    GlyphRequest request;
    request.qualityMode = static_cast<int32_t>(state.range(0));
    const char16_t text[] = u"AgQ&W@";
    size_t i = 0;
    for (auto _ : state) {
        GlyphCoverage g;
        const int bytes = GetGlyphCoverage(text[i++ % 6], font, 1, 1, angle, request, &g);
        if (bytes == 0) state.SkipWithError("no coverage");
        benchmark::DoNotOptimize(g.mask.get());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_GlyphCoverageTurned30(benchmark::State& state) { Coverage(state, 30); }
void BM_GlyphCoverageUpright(benchmark::State& state) { Coverage(state, 0); }

// Quality modes: 0 = 65 levels, 1 = 17, 2 = 5, 3 = monochrome.
BENCHMARK(BM_GlyphCoverageTurned30)->Arg(0)->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(BM_GlyphCoverageUpright)->Arg(1);

void BM_MeasureCodeUnit(benchmark::State& state) {
    const MetaFont& font = Font72();
    float cx = 0, cy = 0;
    char16_t code = u'A';
    for (auto _ : state) {
        benchmark::DoNotOptimize(MeasureCodeUnit(font.LogFont, code, &cx, &cy));
        code = code == u'z' ? u'A' : static_cast<char16_t>(code + 1);
    }
}
BENCHMARK(BM_MeasureCodeUnit);

}  // namespace
