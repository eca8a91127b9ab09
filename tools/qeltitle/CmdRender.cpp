// render and animate: draw a title file over a background, one frame or a sequence.
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "Args.h"
#include "Commands.h"
#include "FrameLoop.h"
#include "Frame.h"
#include "Interrupt.h"
#include "KeyFrames.h"
#include "Output.h"
#include "TitleFiles.h"

namespace qeltitle {

namespace {

void AddFrameOptions(ArgParser& parser) {
    parser.Option("--size", "WxH", "frame size in pixels (default 1920x1080)");
    parser.Option("--background", "BG", "#RRGGBB, a PNG picture (scaled to the frame) or 'transparent' "
                                         "(default #000000)");
    parser.Option("--scale", "S", "frame pixels per layout unit (default 1; 0.6667 fits a 1920x1080 title to 1280x720)");
    parser.Option("--threads", "N", "drawing threads (default: one per processor)");
}

// A loaded title ready to draw, and the frame it starts from.
struct Scene {
    HostPtr host;
    FrameSetup setup;
    Image base;
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
    if (!LoadTitle(*scene.host, parser.Positionals()[0], error)) return Fail(error);
    if (!ConfigureFrame(*scene.host, scene.setup, error)) return Fail(error);
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
    if (!DrawTitle(*scene.host, scene.base, time, frame, error)) return Fail(error);
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
    parser.Option("--duration", "S", "length in seconds (default 4)");
    parser.Option("--fps", "F", "frames per second (default 25)");
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

    double fps = kDefaultFps, duration = kDefaultSeconds;
    long frames = 0;
    if (auto f = parser.Value("fps"); f && !ParseNumber(*f, 0.1, 1000, fps, error))
        return UsageError("animate", "--fps: " + error);
    if (parser.Has("frames") && parser.Has("duration"))
        return UsageError("animate", "give either --frames or --duration, not both");
    if (auto n = parser.Value("frames")) {
        if (!ParseInteger(*n, 1, 1000000, frames, error)) return UsageError("animate", "--frames: " + error);
    } else {
        if (auto d = parser.Value("duration"); d && !ParseNumber(*d, 0.001, 86400, duration, error))
            return UsageError("animate", "--duration: " + error);
        frames = std::max(1L, std::lround(duration * fps));
    }
    const int count = static_cast<int>(frames);
    FrameRange range{0, count - 1};
    const std::string output = parser.Value("output").value_or("");
    if (auto r = parser.Value("range")) {
        if (!ParseFrameRange(*r, count, range, error)) return UsageError("animate", "--range: " + error);
        // Pieces of a video would each be a clip of their own with its own encoder state; pieces
        // of a PNG sequence are the very files of the whole run.
        if (!IsFramePattern(output))
            return UsageError("animate", "--range needs a PNG frame pattern such as frames/%04d.png "
                                         "(render the pieces as frames, then encode them once)");
    }
    Scene scene;
    if (const int status = PrepareScene("animate", parser, scene); status != kExitOk) return status;

    const InterruptWatch interrupt;
    auto sink = OpenFrameSink(output, scene.setup.width, scene.setup.height, fps, scene.setup.keepAlpha, error);
    if (!sink) return Fail(error);
    if (const std::string note = PaddedVideoNote(output, scene.setup.width, scene.setup.height); !note.empty())
        Warn(note);
    Progress progress(range.Count(), stderr, isatty(fileno(stderr)) != 0);
    const bool ok = RunFrames(
        range, scene.setup.width, scene.setup.height,
        [&](int i, Image& frame, std::string& message) {
            if (interrupt.Received()) {
                message = "interrupted";
                return false;
            }
            return DrawTitle(*scene.host, scene.base, FrameTime(i, count), frame, message);
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
    std::printf("wrote %s (%dx%d, %g fps)\n", sink->Describe().c_str(), scene.setup.width, scene.setup.height, fps);
    if (IsFramePattern(output)) {
        if (const int stale = CountLaterFrames(output, count); stale > 0)
            Warn(FormatFramePattern(output, count) + (stale > 1 ? " and " + std::to_string(stale - 1) + " more" : "") +
                 " beside these frames come from an earlier, longer run (this animation has " +
                 std::to_string(count) + " frames); remove them before joining the frames");
    }
    return kExitOk;
}

}  // namespace qeltitle
