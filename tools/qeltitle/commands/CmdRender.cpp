// render and animate: draw a title file over a background, one frame or a sequence.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "commands/Interrupt.h"
#include "commands/Options.h"
#include "authoring/KeyFrames.h"
#include "authoring/StyledString.h"
#include "media/FrameLoop.h"
#include "media/Output.h"
#include "media/Png.h"
#include "player/TitlePlayer.h"

namespace qeltitle {

namespace {

void AddFrameOptions(ArgParser& parser) {
    DeclareSize(parser);
    DeclareBackground(parser);
    DeclareScale(parser, "frame pixels per layout unit, the title's frame at the top-left (default: the\n"
                         "title's design frame, or 1920x1080 when it names none, fitted to the frame, centred)");
    DeclareThreads(parser);
}

// A loaded title placed on its frame, and the frame it starts from.
struct Scene {
    std::optional<TitlePlayer> player;
    Image base;
    Status Draw(double time, Image& frame) { return player->Draw(base, time, frame); }
};

int PrepareScene(const std::string& command, const ArgParser& parser, Scene& scene) {
    if (parser.Positionals().size() != 1) return UsageError(command, "expected one title file");
    if (!parser.Has("output")) return UsageError(command, "missing -o OUTPUT");
    OptionReader read(parser);
    PlayerFrame frame;
    if (const auto size = read.Size()) frame.width = size->width, frame.height = size->height;
    frame.scale = read.Scale();
    frame.threads = read.Threads();
    frame.cacheMb = read.CacheMb();
    if (const Status& status = read.Result(); !status) return UsageError(command, status.Message());
    // A video size the encoder refuses is refused now, not after drawing the first frames.
    if (Status encodable = command == "animate" ? CheckEncodableSize(*parser.Value("output"), frame.width, frame.height) : Status();
        !encodable)
        return Fail(encodable.Message());
    Expected<Background> background = ParseBackground(parser.Value("background").value_or("#000000"));
    if (!background)
        return parser.Value("background")->starts_with("#") ? UsageError(command, background.Message())
                                                             : Fail(background.Message());
    frame.keepAlpha = background->kind == Background::Kind::Transparent;

    Expected<TitlePlayer> player = TitlePlayer::Open(parser.Positionals()[0]);
    if (!player) return Fail(player.Message());
    if (Status placed = player->Place(frame); !placed) return Fail(placed.Message());
    for (const std::string& w : player->TakeWarnings()) Warn(w);
    if (const std::optional<Extent> away = TitleOutsideArea(player->Host(), player->Area())) {
        char where[200];
        std::snprintf(where, sizeof where, "%.0f,%.0f to %.0f,%.0f", away->left, away->top, away->right, away->bottom);
        Warn(parser.Positionals()[0] + " draws nothing inside the " + std::to_string(frame.width) + "x" +
             std::to_string(frame.height) + " frame: its strings lie at " + where + " in frame pixels (see --size and --scale)");
    }
    scene.player.emplace(std::move(*player));
    scene.base = BackgroundFrame(*background, frame.width, frame.height);
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
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("render", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;

    double time = 1.0;
    if (auto t = parser.Value("time"); t && !ParseNumber(*t, 0, 1, time, error))
        return UsageError("render", "--time: " + error);
    if (auto o = parser.Value("output"))
        if (Status checked = CheckStillOutput(*o); !checked) return Fail(checked.Message());
    Scene scene;
    if (const int status = PrepareScene("render", parser, scene); status != kExitOk) return status;

    // Without a time the still shows the finished title: at time 1 a string that an effect takes
    // away would be gone.
    const bool atRest = !parser.Has("time");
    if (atRest && !PoseAtRest(scene.player->Host(), error)) return Fail(error);
    Image frame;
    if (Status drawn = scene.Draw(time, frame); !drawn) return Fail(drawn.Message());
    const std::string output = *parser.Value("output");
    if (Status written = WritePng(output, frame, scene.player->Frame().keepAlpha, PngKind::Still); !written)
        return Fail("cannot write " + output + ": " + written.Message());
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
    DeclareDuration(parser, "length in seconds or [hh:]mm:ss[.fff] (default: the title's length, else 4)");
    DeclareFps(parser);
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
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("animate", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;

    OptionReader read(parser);
    const FrameRate fps = read.Fps().value_or(FrameRate{static_cast<long>(kDefaultFps), 1});
    const std::optional<double> asked = read.Duration();
    if (const Status& status = read.Result(); !status) return UsageError("animate", status.Message());
    long frames = 0;
    if (parser.Has("frames") && parser.Has("duration"))
        return UsageError("animate", "give either --frames or --duration, not both");
    if (auto n = parser.Value("frames"); n && !ParseInteger(*n, 1, 1000000, frames, error))
        return UsageError("animate", "--frames: " + error);
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
    const double duration = asked.value_or(scene.player->Length());
    if (!parser.Has("frames")) frames = std::max(1L, std::lround(duration * fps.Value()));
    const int count = static_cast<int>(frames);
    FrameRange frameRange{0, count - 1};
    if (range) {
        Expected<FrameRange> parsed = ParseFrameRange(*range, count);
        if (!parsed) return UsageError("animate", "--range: " + parsed.Message());
        frameRange = *parsed;
    }

    const PlayerFrame& frame = scene.player->Frame();
    if (frame.keepAlpha) {
        Expected<std::string> warning = CheckAlphaOutput(output);
        if (!warning) return Fail(warning.Message());
        if (!warning->empty()) Warn(*warning);
    }
    const InterruptWatch interrupt;
    Expected<std::unique_ptr<FrameSink>> opened = OpenFrameSink(output, frame.width, frame.height, fps, frame.keepAlpha);
    if (!opened) return Fail(opened.Message());
    std::unique_ptr<FrameSink> sink = std::move(*opened);
    if (const std::string note = PaddedVideoNote(output, frame.width, frame.height); !note.empty() && !frame.keepAlpha)
        Warn(note);
    Progress progress(frameRange.Count(), stderr, isatty(fileno(stderr)) != 0);
    const Status run = RunFrames(
        frameRange, frame.width, frame.height,
        [&](int i, Image& image) {
            if (interrupt.Received()) return Status(Failure("interrupted"));
            // Both ends drawn: the first frame at time 0, the last at 1.
            return scene.Draw(AnimationFrameTime(i, count), image);
        },
        *sink, &progress);
    if (interrupt.Received()) {
        sink.reset();  // stops the encoder and removes its partial file
        if (IsFramePattern(output))
            std::fprintf(stderr, "qeltitle: interrupted; the frames written so far are complete\n");
        else
            std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    }
    if (!run) return Fail(run.Message());
    // The size of what was written: an H.264 video of odd sides is padded (the warning above).
    const FrameSize written = EncodedSize(output, frame.width, frame.height);
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
