// Title format throughput: writing a title to UTF-16 text and reading it back, per character.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "persist/TitleXml.h"

namespace {

using namespace qel;

// One string of n characters, 40 per line and 10 lines per paragraph, two entries per style list.
std::vector<MetaString> MakeTitle(int n) {
    std::vector<MetaString> title(1);
    MetaString& s = title[0];
    std::strcpy(s.PathID, "PATH_FADE");
    s.fonts.resize(2);
    s.faces.resize(2);
    s.borders.resize(1);
    s.shadows.resize(2);
    for (int i = 0; i < n; ++i) {
        MetaCharacter c;
        c.Value = static_cast<uint16_t>('A' + i % 26);
        c.Left = 12.5f * static_cast<float>(i % 40);
        c.Width = 12.5f;
        c.Height = 28.0f;
        c.LineIndex = i / 40;
        c.FontIndex = i % 2;
        c.FaceIndex = (i / 3) % 2;
        c.ShadowIndex = (i / 5) % 2;
        s.chars.push_back(c);
    }
    for (int line = 0; line * 40 < n; ++line) {
        s.lines.push_back({0, 30.0f * static_cast<float>(line % 10), 500, 30, line * 40,
                           std::min(n, line * 40 + 40) - 1, line / 10});
    }
    for (int p = 0; p * 10 < static_cast<int>(s.lines.size()); ++p) {
        MetaParagraph para;
        para.LineStart = p * 10;
        para.LineEnd = std::min(static_cast<int>(s.lines.size()), p * 10 + 10) - 1;
        s.paragraphs.push_back(para);
    }
    s.KeyFrames[0.0f] = PathValue{"PATH_FADE", 0.0f};
    s.KeyFrames[1.0f] = PathValue{"PATH_FADE", 1.0f};
    return title;
}

std::u16string Save(std::vector<MetaString>& title) {
    TitleXmlSerializer writer(title);
    (void)writer.BuildDocument();
    std::vector<uint8_t> bytes;
    (void)writer.Dom().SaveToMemory(bytes);
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

void BM_SaveTitle(benchmark::State& state) {
    std::vector<MetaString> title = MakeTitle(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Save(title));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveTitle)->Arg(100)->Arg(2000);

void BM_LoadTitle(benchmark::State& state) {
    std::vector<MetaString> title = MakeTitle(static_cast<int>(state.range(0)));
    const std::u16string text = Save(title);
    for (auto _ : state) {
        std::vector<MetaString> loaded;
        TitleXmlSerializer reader(loaded);
        (void)reader.Dom().LoadText(text.c_str());
        (void)reader.ReadDocument();
        benchmark::DoNotOptimize(IsUsableTitle(loaded));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(BM_LoadTitle)->Arg(100)->Arg(2000);

}  // namespace
