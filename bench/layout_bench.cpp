// Editing and layout: typing into a long string, and the font refresh after a load done once per
// string against the reference of one font application per character.
#include <benchmark/benchmark.h>

#include <memory>

#include "host/TitleHost.h"

namespace {

using qel::TitleHost;

struct Released {
    void operator()(qel::ITitleHost* h) const { ReleaseTitleHost(h); }
};

std::unique_ptr<qel::ITitleHost, Released> MakeHost(int paragraphs) {
    std::unique_ptr<qel::ITitleHost, Released> host(GetTitleHost());
    qel::StringAttrs attrs{};
    host->GetStringAttrs(-1, &attrs);
    attrs.WidthLimit = 300;
    host->SetDefaultString(&attrs);
    host->AddString();
    for (int p = 0; p < paragraphs; ++p) host->InsertText(0, host->GetCharCount(0), u"The quick brown fox 漢字\r\n");
    return host;
}

// One character typed in the middle of a string of `range` paragraphs, then removed again.
void BM_TypeAndDelete(benchmark::State& state) {
    auto host = MakeHost(static_cast<int>(state.range(0)));
    const int32_t middle = host->GetCharCount(0) / 2;
    for (auto _ : state) {
        host->InsertText(0, middle, u"x");
        host->DeleteText(0, middle, 1);
    }
}
BENCHMARK(BM_TypeAndDelete)->Arg(4)->Arg(64);

void BM_RefreshFontsAfterLoad(benchmark::State& state) {
    auto host = MakeHost(static_cast<int>(state.range(0)));
    auto* t = static_cast<TitleHost*>(host.get());
    for (auto _ : state) t->Engine().AdoptLoadedStrings(t->Engine().Strings());
}
BENCHMARK(BM_RefreshFontsAfterLoad)->Arg(4)->Arg(16);

// The reference: every character's font applied on its own, re-breaking and laying out each time.
void BM_RefreshOneByOne(benchmark::State& state) {
    auto host = MakeHost(static_cast<int>(state.range(0)));
    auto* t = static_cast<TitleHost*>(host.get());
    for (auto _ : state) {
        const qel::FontSpec remembered = t->Engine().DefaultFont();
        const qel::MetaString& s = t->Engine().Strings()[0];
        for (int32_t c = 0; c < static_cast<int32_t>(s.chars.size()); ++c) {
            qel::FontSpec spec = remembered;
            t->SetDefaultFont(&spec);
            t->ApplyFont(0, c, 1);
        }
        t->SetDefaultFont(&remembered);
    }
}
BENCHMARK(BM_RefreshOneByOne)->Arg(4)->Arg(16);

}  // namespace
