// Cost of asking an effect for every character of a string, per path: the compositor does this
// once per pass per string per frame. The default effect is the floor to compare against.
#include <benchmark/benchmark.h>

#include <memory>

#include "effects/EffectCatalog.h"
#include "effects/PathEffect.h"

namespace {

constexpr int kChars = 1000;  // a long crawl's worth of characters

// pathId null: the default effect.
void CharStates(benchmark::State& state, const char* pathId) {
    const std::unique_ptr<qel::PathEffect> effect =
        pathId ? qel::EffectCatalog::CreateEffect(pathId) : std::make_unique<qel::PathEffect>();
    qel::EffectSetup setup{1920, 1080, 100, 500, kChars * 12.0f, 40, 15, kChars, {}, {}, {}};
    for (int i = 0; i < kChars; ++i) {
        const float x = 100 + 12.0f * static_cast<float>(i);
        setup.chars.push_back({x, 500, 12, 40, x, 532});
    }
    effect->SetUp(setup);
    const int passes = pathId ? qel::EffectCatalog::GetPassCount(pathId) : 1;
    float progress = 0;
    for (auto _ : state) {
        progress = progress >= 1 ? 0 : progress + 0.01f;
        for (int pass = 0; pass < passes; ++pass) {
            qel::EffectRandom random(1);
            for (int i = 0; i < kChars; ++i) {
                qel::CharState s;
                effect->GetCharState(pass, i, progress, random, &s);
                benchmark::DoNotOptimize(s);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kChars * passes);
}

BENCHMARK_CAPTURE(CharStates, Default, nullptr);
BENCHMARK_CAPTURE(CharStates, SlideLeft, "PATH_SLIDELEFT");
BENCHMARK_CAPTURE(CharStates, HideDown, "PATH_HIDEDOWN");
BENCHMARK_CAPTURE(CharStates, SoloUp, "PATH_SOLOUP");
BENCHMARK_CAPTURE(CharStates, TranceRight, "PATH_TRANCERIGHT");
BENCHMARK_CAPTURE(CharStates, Assembly, "PATH_ASSEMBLY");
BENCHMARK_CAPTURE(CharStates, WipeRight, "PATH_WIPERIGHT");
BENCHMARK_CAPTURE(CharStates, AmplifyH, "PATH_AMPLIFYH");
BENCHMARK_CAPTURE(CharStates, Fade, "PATH_FADE");

// Creating and releasing an effect happens whenever a string's path changes.
void CreateRelease(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<qel::PathEffect> effect = qel::EffectCatalog::CreateEffect("PATH_GLOW");  // the last row
        benchmark::DoNotOptimize(effect.get());
    }
}
BENCHMARK(CreateRelease);

}  // namespace
