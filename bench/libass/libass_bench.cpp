// libass drawing the same turning text as the Title_Swirl cases, for a comparison measured in
// the same run (built only where Debian's libass-dev is installed; a benchmark, never a test).
//
//   Libass_Turning/40    the two lines of Swirl40.xml, 20 characters each
//   Libass_Turning/200   the five lines of Swirl200.xml, 40 characters each
//
// Every character is its own event, turning about its own place ({\frz} animated by \t) from a
// start angle of 9 degrees per character, 3.6 degrees per millisecond of script time; frame k is
// drawn at the fractional part of k times the golden ratio of 100 s, and libass's bitmap cache
// is kept small (below), so its bitmaps are made afresh every frame. What is timed is
// ass_render_frame, which rasterises, strokes and blurs every glyph and hands back its bitmaps:
// libass does no compositing, so the title engine's figure (a whole Render into a frame)
// includes more work.
//
// The style is the titles': DejaVu Sans with an em of 72 pixels (libass sizes a font by its
// ascent plus descent, 2384/2048 of the em for DejaVu Sans: 83.81), a border of 2.7 pixels
// (3/80 em), a shadow offset by 3 pixels, and \blur1.52, whose Gaussian sigma (0.849 per unit)
// equals the 1.29 pixels of the engine's shadow blur of 2.7 pixels. 1920 x 1080, one thread.
// Run with FONTCONFIG_FILE=build/test-fonts.conf so that the fonts are the tests' fonts.
#include <benchmark/benchmark.h>

extern "C" {
#include <ass/ass.h>
}

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kLines[] = {
    "The quick brown fox jumps over lazy dogs", "Pack my box with five dozen liquor jugs!",
    "Sphinx of black quartz, judge my vow now", "How vexingly quick daft zebras jump, ok?",
    "Bright vixens jump; dozy fowl quack. Yes"};
const char* const kShortLines[] = {"The quick brown fox.", "Jumps over the lazy."};

std::string Script(int32_t characters) {
    std::string s =
        "[Script Info]\nScriptType: v4.00+\nPlayResX: 1920\nPlayResY: 1080\nScaledBorderAndShadow: yes\n"
        "WrapStyle: 2\n\n[V4+ Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, "
        "Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, "
        "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
        "Style: T,DejaVu Sans,83.81,&H00FFFFFF,&H00FFFFFF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,"
        "2.7,3,5,0,0,0,1\n\n[Events]\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    const bool wide = characters > 40;
    const int32_t lines = wide ? 5 : 2;
    const int32_t perLine = characters / lines;
    int32_t index = 0;
    for (int32_t line = 0; line < lines; ++line) {
        const char* text = wide ? kLines[line] : kShortLines[line];
        for (int32_t i = 0; i < perLine && text[i]; ++i, ++index) {
            if (text[i] == ' ') continue;  // nothing to draw, as in the titles
            const int32_t start = 9 * index;
            char event[256];
            std::snprintf(event, sizeof event,
                          "Dialogue: 0,0:00:00.00,0:01:40.00,T,,0,0,0,,{\\an5\\pos(%d,%d)\\blur1.52"
                          "\\frz%d\\t(0,100000,\\frz%d)}%c\n",
                          160 + 40 * i, 300 + 110 * line, start, start + 360000, text[i]);
            s += event;
        }
    }
    return s;
}

void Libass_Turning(benchmark::State& state) {
    ASS_Library* library = ass_library_init();
    if (library) ass_set_message_cb(library, [](int, const char*, va_list, void*) {}, nullptr);
    ASS_Renderer* renderer = library ? ass_renderer_init(library) : nullptr;
    if (!renderer) {
        state.SkipWithError("libass could not start");
        if (library) ass_library_done(library);
        return;
    }
    ass_set_frame_size(renderer, 1920, 1080);
    ass_set_storage_size(renderer, 1920, 1080);
    ass_set_fonts(renderer, nullptr, "DejaVu Sans", ASS_FONTPROVIDER_AUTODETECT, nullptr, 1);
    // libass keeps turned bitmaps by their angle rounded to about a tenth of a degree, so a run of
    // thousands of frames would come back to angles it holds. A bitmap cache of 1 MB keeps about
    // one frame's, so every frame's glyphs are drawn afresh, as the title engine draws them.
    ass_set_cache_limits(renderer, 0, 1);
    std::string script = Script(int32_t(state.range(0)));
    std::vector<char> buffer(script.begin(), script.end());
    ASS_Track* track = ass_read_memory(library, buffer.data(), buffer.size(), nullptr);
    if (!track) {
        state.SkipWithError("libass could not read the script");
        ass_renderer_done(renderer);
        ass_library_done(library);
        return;
    }
    double time = 0;
    int64_t images = 0;
    for (auto _ : state) {
        int changed = 0;
        for (ASS_Image* image = ass_render_frame(renderer, track, static_cast<long long>(time * 100000.0), &changed);
             image; image = image->next) {
            ++images;
        }
        benchmark::ClobberMemory();
        time += 0.6180339887498949;
        time -= time >= 1 ? 1 : 0;
    }
    state.counters["images"] = benchmark::Counter(double(images), benchmark::Counter::kAvgIterations);
    ass_free_track(track);
    ass_renderer_done(renderer);
    ass_library_done(library);
}
BENCHMARK(Libass_Turning)->Arg(40)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
