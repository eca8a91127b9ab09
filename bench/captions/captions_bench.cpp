// Caption layout: a subtitle file of 100 cues made into caption titles (words cut where lines may
// break, measured, balanced into lines, placed, and each title written), per file:
//   Captions_Layout/0  Latin cues of 10 to 16 words, two lines of 1500 units
//   Captions_Layout/1  Japanese cues of 30 to 45 characters (no spaces)
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "authoring/Ass.h"
#include "authoring/Captions.h"
#include "player/TitleFiles.h"

namespace {

std::string Subtitles(int script) {
    const std::vector<std::string> words =
        script == 0 ? std::vector<std::string>{"the", "quick", "brown", "fox", "jumps", "over", "a", "lazy", "dog,",
                                               "while", "seven", "wizards", "quietly", "hex", "jumbo", "boxes."}
                    : std::vector<std::string>{"日本語", "の", "字幕", "は", "スペース", "が", "ない", "ので、", "行",
                                               "を", "正しく", "折り返す", "必要", "が", "あります。"};
    std::string srt;
    for (int cue = 0; cue < 100; ++cue) {
        char times[64];
        std::snprintf(times, sizeof times, "%d\n00:%02d:%02d,000 --> 00:%02d:%02d,500\n", cue + 1, cue * 3 / 60,
                      cue * 3 % 60, cue * 3 / 60, cue * 3 % 60 + 2);
        srt += times;
        const int count = 10 + cue % 7;
        for (int w = 0; w < count; ++w) {
            if (w > 0 && script == 0) srt += ' ';
            srt += words[(cue * 5 + w) % words.size()];
        }
        srt += "\n\n";
    }
    return srt;
}

void Captions_Layout(benchmark::State& state) {
    std::string error;
    qeltitle::HostPtr host = std::move(*qeltitle::NewHost());
    const qeltitle::CaptionStyle style = qeltitle::DefaultCaptionStyle(*host);
    std::vector<qeltitle::Cue> cues;
    std::vector<std::string> warnings;
    if (!qeltitle::ReadSubtitles(Subtitles(static_cast<int>(state.range(0))), "bench.srt",
                                 qeltitle::SubtitleFormat::SubRip, cues, warnings, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        std::vector<qeltitle::CaptionTitle> titles;
        warnings.clear();
        if (!qeltitle::MakeCaptionTitles(cues, style, 1920, 1080, 25, titles, warnings, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(titles.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cues.size()));
}
BENCHMARK(Captions_Layout)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// An ASS script of 10,000 events read (sections, styles, events, override tags into runs), per
// file: Ass_Read/0 plain lines, /1 lines with karaoke, colour and position tags.
std::string AssScript(bool tagged) {
    std::string script =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 1920\nPlayResY: 1080\n\n[V4+ Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
        "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, "
        "MarginV, Encoding\n"
        "Style: Default,DejaVu Sans,48,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,40,40,40,1\n"
        "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (int e = 0; e < 10000; ++e) {
        char times[64];
        std::snprintf(times, sizeof times, "%d:%02d:%02d.%02d,%d:%02d:%02d.%02d", e / 3600, e / 60 % 60, e % 60, 0,
                      e / 3600, e / 60 % 60, e % 60, 90);
        script += std::string("Dialogue: 0,") + times + ",Default,,0,0,0,,";
        script += tagged ? "{\\an8\\pos(960,100)\\c&H00FFFF&\\k20}The {\\k25}quick {\\k30}brown {\\k20\\i1}fox\\Njumps "
                           "{\\k40\\b1}over {\\k20\\fad(100,100)}the lazy dog\n"
                         : "The quick brown fox\\Njumps over the lazy dog\n";
    }
    return script;
}

void Ass_Read(benchmark::State& state) {
    const std::string script = AssScript(state.range(0) != 0);
    for (auto _ : state) {
        std::vector<std::string> warnings;
        qeltitle::Expected<qeltitle::AssScript> read = qeltitle::ReadAss(script, "bench.ass", warnings);
        if (!read) {
            state.SkipWithError(read.Message().c_str());
            return;
        }
        benchmark::DoNotOptimize(read->events.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(script.size()));
}
BENCHMARK(Ass_Read)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
