// Text of 200 characters in DejaVu Sans 36 over a 1920 x 1080 frame, per script:
//   Text_LayoutAndDraw/<script>  the text typed into an empty string (fonts, shaping, breaking,
//                                layout) and one frame drawn at rest
//   Text_AnimatedFrame/<script>  one frame of the same string waving (PATH_WAVE); layout and
//                                shaping are kept with the string and not redone per frame
// Scripts: 0 Latin as stored titles have it (no kerning), 1 Latin kerned, 2 Arabic (shaped, right
// to left). Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qel/QEL_Title2.h"

namespace {

struct Released {
    void operator()(qel::ITitleHost* h) const { ReleaseTitleHost(h); }
};
using HostPtr = std::unique_ptr<qel::ITitleHost, Released>;

constexpr int32_t kW = 1920, kH = 1080;

std::u16string Text(int script) {
    const std::u16string word = script == 2 ? u"مرحبا بالعالم الجميل " : u"The quick brown fox ";
    std::u16string text;
    while (text.size() < 200) text += word;
    text.resize(200);
    return text;
}

HostPtr Host(int script) {
    HostPtr host(GetTitleHost());
    qel::RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = kW, rs.Height = kH, rs.ClipRect = {0, 0, kW, kH};
    rs.MaxThreads = 1;
    host->SetRenderSettings(&rs);
    qel::FontSpec font{};
    std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
    font.CharSet = script == 1 ? 0x101 : 1;  // bit 8: kerning
    font.Size = 36;
    host->SetDefaultFont(&font);
    qel::StringAttrs attrs{};
    host->GetStringAttrs(-1, &attrs);
    attrs.Left = 40, attrs.Top = 100, attrs.WidthLimit = 1800;
    host->SetDefaultString(&attrs);
    host->AddString();
    return host;
}

void Text_LayoutAndDraw(benchmark::State& state) {
    const int script = int(state.range(0));
    HostPtr host = Host(script);
    const std::u16string text = Text(script);
    std::vector<uint8_t> frame(size_t(kW) * kH * 4);
    for (auto _ : state) {
        host->DeleteText(0, 0, host->GetCharCount(0));
        host->InsertText(0, 0, text.c_str());
        host->Render(frame.data(), 1.0f);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Text_LayoutAndDraw)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void Text_AnimatedFrame(benchmark::State& state) {
    const int script = int(state.range(0));
    HostPtr host = Host(script);
    host->InsertText(0, 0, Text(script).c_str());
    qel::PathValue start{}, end{};
    std::strcpy(start.PathID, "PATH_WAVE");
    std::strcpy(end.PathID, "PATH_WAVE");
    end.PathProgress = 1;
    host->SetKeyFrame(0, 0, &start);
    host->SetKeyFrame(0, 1, &end);
    std::vector<uint8_t> frame(size_t(kW) * kH * 4);
    float t = 0;
    for (auto _ : state) {
        host->Render(frame.data(), t);
        t = t >= 0.9f ? 0.0f : t + 0.01f;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Text_AnimatedFrame)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
