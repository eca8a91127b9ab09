// demo: the built-in demo title, made with the library's editing operations, animated to a
// video, with a still at rest and the effect gallery beside it.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "media/FrameLoop.h"
#include "media/Output.h"
#include "player/TitlePlayer.h"
#include "commands/Interrupt.h"
#include "authoring/KeyFrames.h"
#include "authoring/StyledString.h"
#include "authoring/Text.h"
#include "player/TitleFiles.h"
#include "media/Png.h"

namespace qeltitle {

using namespace qel;

namespace {

constexpr int kWidth = 1280, kHeight = 720;                   // pixels, layout units at scale 1
constexpr uint32_t kSkyTop = 0x1A2250, kSkyBottom = 0x05060E;  // background gradient, 0x00RRGGBB

struct DemoString {
    const char* text;
    StringStyle style;
    std::vector<KeyFrame> keys;
};

StringStyle Style(float size, uint32_t c1, uint32_t c2, bool bold = false) {
    StringStyle s;
    s.size = size;
    s.color1 = c1;
    s.color2 = c2;
    s.gradient = c1 != c2 ? 1 : 0;
    s.bold = bold;
    s.frame = {kWidth, kHeight};
    return s;
}

// The demo's strings. Times are title times (0 to 1 over the whole clip); every string waits
// invisible at progress 0 of its first effect until its entrance.
std::vector<DemoString> DemoStrings() {
    std::vector<DemoString> strings;

    StringStyle title = Style(150, 0xFFE27A, 0xFF7A00, true);
    title.border = BorderOption{6, 0x3A1800, 255};
    title.shadow = ShadowOption{8, 8, 6, false, 0x000000, std::nullopt};
    title.at = std::make_pair(0.0f, 0.0f);  // centred horizontally below
    strings.push_back({"QEL Title", title, EffectSchedule("PATH_SLIDEDOWN", 0.0f, 0.25f)});

    StringStyle subtitle = Style(40, 0xFFFFFF, 0x9CC8FF);
    subtitle.border = BorderOption{3, 0x0A1020, 255};
    subtitle.shadow = ShadowOption{3, 3, 2, false, 0x000000, std::nullopt};
    subtitle.frame = {kWidth, 800};  // centred a little below the middle, clear of the headline's shadow
    strings.push_back({"gradients \xC2\xB7 borders \xC2\xB7 shadows \xC2\xB7 key frames", subtitle,
                       EffectSchedule("PATH_WIPERIGHT", 0.15f, 0.45f)});

    StringStyle rotated = Style(56, 0x7CFFB2, 0x20C070, true);
    rotated.border = BorderOption{4, 0x003018, 255};
    rotated.rotate = 12;
    rotated.at = std::make_pair(110.0f, 520.0f);
    strings.push_back({"rotated", rotated, EffectSchedule("PATH_FADE", 0.3f, 0.55f)});

    // Text in several scripts: Hindi with its conjunct, joined Arabic, Hebrew with its digits
    // left to right, colour emoji (one glyph per sequence).
    StringStyle scripts = Style(44, 0xFFFFFF, 0xFFE27A);
    scripts.kerning = true;
    scripts.border = BorderOption{3, 0x101830, 255};
    scripts.shadow = ShadowOption{3, 3, 2, false, 0x000000, std::nullopt};
    scripts.frame = {kWidth, 150};  // centred across the top
    strings.push_back({"\u0928\u092E\u0938\u094D\u0924\u0947 \u00B7 \u0645\u0631\u062D\u0628\u0627 \u00B7 "
                       "\u05E9\u05DC\u05D5\u05DD 2024 \u00B7 \U0001F600 \U0001F44B\U0001F3FD \U0001F1EF\U0001F1F5",
                       scripts, EffectSchedule("PATH_FADE", 0.1f, 0.35f)});

    StringStyle extruded = Style(64, 0xFF6A8A, 0xFF2050, true);
    extruded.shadow = ShadowOption{5, 5, 0, true, 0x4A0018, std::nullopt};
    extruded.at = std::make_pair(820.0f, 560.0f);
    strings.push_back({"extruded", extruded, EffectSchedule("PATH_SLIDELEFT", 0.35f, 0.6f)});

    // Three words take turns in the same place: each comes in, rests and leaves through its key
    // frames, the last one stays.
    StringStyle word = Style(60, 0xFFFFFF, 0xFFFFFF, true);
    word.border = BorderOption{4, 0x202040, 255};
    word.shadow = ShadowOption{4, 4, 3, false, 0x000000, std::nullopt};
    word.frame = {kWidth, 960};  // centred at two thirds of the frame height
    strings.push_back({"Slide", word, EffectSchedule("PATH_SLIDEUP", 0.05f, 0.2f, "PATH_FADE", 0.3f, 0.38f)});
    strings.push_back({"Wipe", word, EffectSchedule("PATH_WIPERIGHT", 0.4f, 0.55f, "PATH_WIPELEFT", 0.62f, 0.7f)});
    strings.push_back({"Fade", word, EffectSchedule("PATH_FADE", 0.72f, 0.85f)});

    // Lines rolling up a plane tilted away from the viewer, into the distance, over the second
    // half; they fade as they near the horizon.
    StringStyle crawl = Style(46, 0xFFE27A, 0xFFB020, true);
    crawl.border = BorderOption{2, 0x3A1800, 255};
    strings.push_back({"A title engine\ndrawn in software\nline by line\nrolls into the distance", crawl,
                       EffectSchedule("PATH_PERSPECTIVESCROLL", 0.5f, 1.0f)});

    // "Vertical writing, ramen" and a Latin word: ideographs stand upright in the column, the long
    // vowel mark and the brackets take the font's vertical forms, Latin letters are turned
    // clockwise, so the whole column reads from top to bottom. Added last: its face becomes the
    // default for strings added after it.
    StringStyle vertical = Style(52, 0xFFFFFF, 0xFFB0D0, true);
    vertical.font = "IPAGothic";
    vertical.vertical = true;
    vertical.border = BorderOption{3, 0x300018, 255};
    vertical.shadow = ShadowOption{3, 3, 2, false, 0x000000, std::nullopt};
    vertical.at = std::make_pair(1190.0f, 80.0f);
    strings.push_back({"\u7E26\u66F8\u304D\u300C\u30E9\u30FC\u300DQEL", vertical, EffectSchedule("PATH_HIDEUP", 0.2f, 0.5f)});
    return strings;
}

bool BuildDemo(ITitleHost& host, std::string& error) {
    for (DemoString& s : DemoStrings()) {
        AddedString added;
        if (!AddStyledString(host, ExpandTitleText(s.text), s.style, added, error)) return false;
        if (s.style.at && s.style.at->first == 0.0f && s.style.at->second == 0.0f) {
            // The title: centred across, its top at a third of the frame height less its size.
            RectF box{};
            host.GetStringRect(added.row, &box);
            StringAttrs attrs{};
            host.GetStringAttrs(added.row, &attrs);
            attrs.Left = std::round((kWidth - box.width) * 0.5f);
            attrs.Top = std::round(kHeight * 0.36f - box.height * 0.5f);
            host.SetDefaultString(&attrs);
            host.ApplyString(added.row);
        }
        if (!SetKeyFrames(host, added.row, s.keys, error)) return false;
    }
    return true;
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
    ArgParser parser("demo [-o DIR]",
                     "Renders the built-in demo title (1280x720): DIR/demo.mp4, a still DIR/demo.png at\n"
                     "rest, the title itself as DIR/demo.xml and the effect gallery DIR/gallery.png.");
    parser.Option("-o, --output", "DIR", "output directory (default out)");
    parser.Option("--duration", "S", "length in seconds (default 4)");
    parser.Option("--fps", "F", "frames per second: 25, 29.97 (30000/1001) or N/D (default 25)");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("demo", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (!parser.Positionals().empty()) return UsageError("demo", "unexpected argument " + parser.Positionals()[0]);
    double duration = 4;
    FrameRate fps;
    if (auto v = parser.Value("fps"); v && !ParseFrameRate(*v, 1, 240, fps, error))
        return UsageError("demo", "--fps: " + error);
    if (auto v = parser.Value("duration"); v && !ParseNumber(*v, 0.1, 600, duration, error))
        return UsageError("demo", "--duration: " + error);

    const std::string dir = parser.Value("output").value_or("out");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return Fail("cannot create " + dir + ": " + ec.message());

    Expected<HostPtr> host = NewHost();
    if (!host) return Fail(host.Message());
    if (!BuildDemo(**host, error)) return Fail("cannot build the demo title: " + error);
    std::vector<std::string> written;
    if (Status saved = SaveTitle(**host, dir + "/demo.xml"); !saved) return Fail(saved.Message());
    written.push_back(dir + "/demo.xml");

    // Laid out in frame pixels: one layout unit a pixel.
    TitlePlayer player(std::move(*host), dir + "/demo.xml");
    if (Status placed = player.Place(PlayerFrame{kWidth, kHeight, 1.0f, false, 0}); !placed)
        return Fail(placed.Message());
    Image base(kWidth, kHeight);
    FillVerticalGradient(base, kSkyTop, kSkyBottom);

    Image still;
    if (Status drawn = player.Draw(base, 1.0, still); !drawn) return Fail(drawn.Message());
    if (Status saved = WritePng(dir + "/demo.png", still, false, PngKind::Still); !saved)
        return Fail("cannot write demo.png: " + saved.Message());
    written.push_back(dir + "/demo.png");

    const std::string video = dir + "/demo.mp4";
    const InterruptWatch interrupt;
    Expected<std::unique_ptr<FrameSink>> opened = OpenFrameSink(video, kWidth, kHeight, fps, false);
    if (!opened) return Fail(opened.Message());
    std::unique_ptr<FrameSink> sink = std::move(*opened);
    const int count = std::max(1, static_cast<int>(std::lround(duration * fps.Value())));
    Progress progress(count, stderr, isatty(fileno(stderr)) != 0);
    const Status run = RunFrames(
        count, kWidth, kHeight,
        [&](int i, Image& frame) {
            if (interrupt.Received()) return Status(Failure("interrupted"));
            // As `animate` draws a title: from time 0 on the first frame to 1 on the last.
            return player.Draw(base, AnimationFrameTime(i, count), frame);
        },
        *sink, &progress);
    if (interrupt.Received()) {
        sink.reset();  // stops the encoder and removes its partial file
        std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", video.c_str());
        return interrupt.ExitStatus();
    }
    if (!run) return Fail(run.Message());
    written.push_back(sink->Describe());

    if (Status saved = WriteGallery(dir + "/gallery.png", "Title", 1, "", false); !saved) return Fail(saved.Message());
    written.push_back(dir + "/gallery.png");

    std::printf("demo written:\n");
    for (const std::string& w : written) std::printf("  %s\n", w.c_str());
    return kExitOk;
}

}  // namespace qeltitle
