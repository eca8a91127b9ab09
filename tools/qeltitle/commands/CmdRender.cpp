// render and animate: draw a title file over a background, one frame or a sequence.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "media/FrameLoop.h"
#include "player/Frame.h"
#include "commands/Interrupt.h"
#include "authoring/KeyFrames.h"
#include "media/Output.h"
#include "authoring/StyleLimits.h"
#include "authoring/StyledString.h"
#include "player/TitleFiles.h"
#include "player/Timing.h"
#include "media/Png.h"

namespace qeltitle {

namespace {

void AddFrameOptions(ArgParser& parser) {
    parser.Option("--size", "WxH", "frame size in pixels (default 1920x1080)");
    parser.Option("--background", "BG", "#RRGGBB, a PNG picture (scaled to the frame) or 'transparent' "
                                         "(default #000000)");
    parser.Option("--scale", "S", "frame pixels per layout unit, the title's frame at the top-left (default: the\n"
                                  "title's design frame fitted to the frame, centred; 1 for a title without one)");
    parser.Option("--threads", "N", "drawing threads (default: one per processor)");
}

// A loaded title ready to draw, and the frame it starts from.
struct Scene {
    HostPtr host;
    TitleMeta meta;
    FrameSetup setup;
    Image base;
    Image scratch;  // the fitted area of the frame, when it is not the whole frame
    bool Draw(double time, Image& frame, std::string& error) {
        return DrawTitle(*host, base, time, setup.Area(), frame, scratch, error);
    }
};

int PrepareScene(const std::string& command, const ArgParser& parser, Scene& scene) {
    std::string error;
    if (parser.Positionals().size() != 1) return UsageError(command, "expected one title file");
    if (!parser.Has("output")) return UsageError(command, "missing -o OUTPUT");
    if (auto size = parser.Value("size")) {
        FrameSize frame;
        if (!ParseFrameSize(*size, frame, error)) return UsageError(command, error);
        scene.setup.width = frame.width;
        scene.setup.height = frame.height;
    }
    // A video size the encoder refuses is refused now, not after drawing the first frames.
    if (command == "animate" && !CheckEncodableSize(*parser.Value("output"), scene.setup.width, scene.setup.height, error))
        return Fail(error);
    if (auto scale = parser.Value("scale")) {
        double value = 1;
        if (!ParseNumber(*scale, kMinScale, kMaxScale, value, error)) return UsageError(command, "--scale: " + error);
        scene.setup.scale = static_cast<float>(value);
    }
    if (auto threads = parser.Value("threads")) {
        long value = 0;
        if (!ParseInteger(*threads, 1, 256, value, error)) return UsageError(command, "--threads: " + error);
        scene.setup.threads = static_cast<int>(value);
    }
    Background background;
    if (!ParseBackground(parser.Value("background").value_or("#000000"), background, error))
        return background.kind == Background::Kind::Picture ? Fail(error) : UsageError(command, error);
    scene.setup.keepAlpha = background.kind == Background::Kind::Transparent;

    scene.host = NewHost(error);
    if (!scene.host) return Fail(error);
    const std::string& title = parser.Positionals()[0];
    std::string warning;
    if (!LoadTitle(*scene.host, title, scene.meta, warning, error)) return Fail(error);
    if (!warning.empty()) Warn(warning);
    // A title that knows its frame is fitted to the output; one that does not is drawn at scale 1
    // from the top-left, as titles always were.
    if (!parser.Has("scale") && scene.meta.frame) {
        scene.setup.fit = FitDesignFrame(*scene.meta.frame, scene.setup.width, scene.setup.height);
    } else if (!parser.Has("scale") && (scene.setup.width != 1920 || scene.setup.height != 1080)) {
        char scale[32];
        std::snprintf(scale, sizeof scale, "%.4g", std::min(scene.setup.width / 1920.0, scene.setup.height / 1080.0));
        Warn(title + " does not say which frame it was laid out for; drawn at scale 1 (give --scale, e.g. " +
             scale + " for a 1920x1080 title)");
    }
    if (!ConfigureFrame(*scene.host, scene.setup, error)) return Fail(error);
    if (const std::optional<Extent> away = TitleOutsideArea(*scene.host, scene.setup.Area())) {
        char where[200];
        std::snprintf(where, sizeof where, "%.0f,%.0f to %.0f,%.0f", away->left, away->top, away->right, away->bottom);
        Warn(title + " draws nothing inside the " + std::to_string(scene.setup.width) + "x" +
             std::to_string(scene.setup.height) + " frame: its strings lie at " + where +
             " in frame pixels (see --size and --scale)");
    }
    for (const std::string& w : StyleLimitWarnings(*scene.host, -1, scene.setup.Area().scale)) Warn(w);
    scene.base = BackgroundFrame(background, scene.setup.width, scene.setup.height);
    return kExitOk;
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
    ArgParser parser("render TITLE.xml -o FRAME.png [options]",
                     "Draws the title at one moment of its animation and writes the frame as a PNG.\n"
                     "Over a transparent background the PNG keeps the title's own (straight) alpha.");
    parser.Option("-o, --output", "FILE", "the PNG to write (replaced if it exists)");
    parser.Option("--time", "T", "title time from 0 to 1 (default: every string at rest, whatever its key frames)");
    AddFrameOptions(parser);
    parser.Epilog("example (a title laid out for 1920x1080, drawn at 1280x720):\n"
                  "  qeltitle render title.xml -o still.png --time 0.5 --size 1280x720 --scale 0.6667 "
                  "--background '#202040'");
    std::string error;
    if (!parser.Parse(args, error)) return UsageError("render", error);
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;

    double time = 1.0;
    if (auto t = parser.Value("time"); t && !ParseNumber(*t, 0, 1, time, error))
        return UsageError("render", "--time: " + error);
    if (auto o = parser.Value("output"); o && !CheckStillOutput(*o, error)) return Fail(error);
    Scene scene;
    if (const int status = PrepareScene("render", parser, scene); status != kExitOk) return status;

    // Without a time the still shows the finished title: at time 1 a string that an effect takes
    // away would be gone.
    const bool atRest = !parser.Has("time");
    if (atRest && !PoseAtRest(*scene.host, error)) return Fail(error);
    Image frame;
    if (!scene.Draw(time, frame, error)) return Fail(error);
    const std::string output = *parser.Value("output");
    if (!WritePng(output, frame, scene.setup.keepAlpha, PngKind::Still, error))
        return Fail("cannot write " + output + ": " + error);
    if (atRest)
        std::printf("wrote %s (%dx%d, at rest)\n", output.c_str(), frame.width, frame.height);
    else
        std::printf("wrote %s (%dx%d, time %g)\n", output.c_str(), frame.width, frame.height, time);
    return kExitOk;
}

int RunAnimate(const std::vector<std::string>& args) {
    ArgParser parser("animate TITLE.xml -o OUTPUT [options]",
                     "Draws the title from time 0 to time 1 over evenly spaced frames (the first at 0,\n"
                     "the last at 1). OUTPUT is a PNG pattern such as frames/%04d.png (frames numbered\n"
                     "from 0; its directory is created) or a video or GIF file (.mp4, .mov, .mkv, .webm,\n"
                     ".gif, ...) encoded by ffmpeg, which must then be installed.");
    parser.Option("-o, --output", "OUT", "frames/%04d.png, title.mp4, title.gif, ...");
    parser.Option("--duration", "S", "length in seconds or [hh:]mm:ss[.fff] (default: the title's length, else 4)");
    parser.Option("--fps", "F", "frames per second: 25, 29.97 (stored as 30000/1001), 24000/1001 (default 25)");
    parser.Option("--frames", "N", "number of frames, instead of --duration");
    parser.Option("--range", "FIRST:LAST", "only these frames of the whole animation, numbered as in it "
                                           "(PNG patterns; for render farms)");
    AddFrameOptions(parser);
    parser.Epilog("examples:\n  qeltitle animate title.xml -o frames/%04d.png --frames 50\n"
                  "  qeltitle animate title.xml -o title.mp4 --duration 3 --fps 30 --size 1280x720 --scale 0.6667\n"
                  "  qeltitle animate title.xml -o frames/%04d.png --frames 500 --range 250:499   (second half)\n\n"
                  "A video is encoded into a temporary file beside OUT that replaces OUT only when ffmpeg\n"
                  "succeeded; on failure or Ctrl-C an existing OUT is left as it was. H.264 files (.mp4,\n"
                  ".mov, .mkv) of odd width or height get a black column or row (with a warning).");
    std::string error;
    if (!parser.Parse(args, error)) return UsageError("animate", error);
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;

    double duration = kDefaultSeconds;
    FrameRate fps{static_cast<long>(kDefaultFps), 1};
    long frames = 0;
    if (auto f = parser.Value("fps"); f && !ParseFrameRate(*f, 0.1, 1000, fps, error))
        return UsageError("animate", "--fps: " + error);
    if (parser.Has("frames") && parser.Has("duration"))
        return UsageError("animate", "give either --frames or --duration, not both");
    if (auto n = parser.Value("frames")) {
        if (!ParseInteger(*n, 1, 1000000, frames, error)) return UsageError("animate", "--frames: " + error);
    } else if (auto d = parser.Value("duration")) {
        if (!ParseSeconds(*d, 86400, duration, error) || duration < 0.001)
            return UsageError("animate", "--duration: " + (error.empty() ? "must be at least 0.001" : error));
    }
    const std::string output = parser.Value("output").value_or("");
    const auto range = parser.Value("range");
    // Pieces of a video would each be a clip of their own with its own encoder state; pieces of a
    // PNG sequence are the very files of the whole run.
    if (range && !IsFramePattern(output))
        return UsageError("animate", "--range needs a PNG frame pattern such as frames/%04d.png "
                                     "(render the pieces as frames, then encode them once)");
    Scene scene;
    if (const int status = PrepareScene("animate", parser, scene); status != kExitOk) return status;
    // The title's own length when none is asked for.
    if (!parser.Has("frames") && !parser.Has("duration") && scene.meta.length) duration = *scene.meta.length;
    if (!parser.Has("frames")) frames = std::max(1L, std::lround(duration * fps.Value()));
    const int count = static_cast<int>(frames);
    FrameRange frameRange{0, count - 1};
    if (range && !ParseFrameRange(*range, count, frameRange, error)) return UsageError("animate", "--range: " + error);

    if (scene.setup.keepAlpha) {
        std::string warning;
        if (!CheckAlphaOutput(output, warning, error)) return Fail(error);
        if (!warning.empty()) Warn(warning);
    }
    const InterruptWatch interrupt;
    auto sink = OpenFrameSink(output, scene.setup.width, scene.setup.height, fps, scene.setup.keepAlpha, error);
    if (!sink) return Fail(error);
    if (const std::string note = PaddedVideoNote(output, scene.setup.width, scene.setup.height);
        !note.empty() && !scene.setup.keepAlpha)
        Warn(note);
    Progress progress(frameRange.Count(), stderr, isatty(fileno(stderr)) != 0);
    const bool ok = RunFrames(
        frameRange, scene.setup.width, scene.setup.height,
        [&](int i, Image& frame, std::string& message) {
            if (interrupt.Received()) {
                message = "interrupted";
                return false;
            }
            return scene.Draw(FrameTime(i, count), frame, message);
        },
        *sink, &progress, error);
    if (interrupt.Received()) {
        sink.reset();  // stops the encoder and removes its partial file
        if (IsFramePattern(output))
            std::fprintf(stderr, "qeltitle: interrupted; the frames written so far are complete\n");
        else
            std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    }
    if (!ok) return Fail(error);
    // The size of what was written: an H.264 video of odd sides is padded (the warning above).
    const FrameSize written = EncodedSize(output, scene.setup.width, scene.setup.height);
    const std::string details =
        std::to_string(written.width) + "x" + std::to_string(written.height) + ", " + fps.Text() + " fps";
    std::printf("wrote %s\n", sink->Describe(details).c_str());
    if (IsFramePattern(output)) {
        if (const int stale = CountLaterFrames(output, count); stale > 0)
            Warn(FormatFramePattern(output, count) + (stale > 1 ? " and " + std::to_string(stale - 1) + " more" : "") +
                 " beside these frames come from an earlier, longer run (this animation has " +
                 std::to_string(count) + " frames); remove them before joining the frames");
    }
    return kExitOk;
}

}  // namespace qeltitle
