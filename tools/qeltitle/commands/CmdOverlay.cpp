// overlay: titles drawn over a video in one pass, in the process (media/VideoPipeline): the video
// is decoded, each title is drawn over the frames of its span in the frames' own format, and the
// frames are encoded again with the input's colour tags and its other streams. Frames outside
// every span reach the encoder as decoded.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "commands/Interrupt.h"
#include "commands/Options.h"
#include "commands/Overlay.h"
#include "media/FrameLoop.h"
#include "media/Output.h"
#include "media/VideoPipeline.h"
#include "player/Timing.h"
#include "player/TitlePlayer.h"

namespace qeltitle {

using namespace qel;

namespace {

namespace fs = std::filesystem;

// --title FILE[@START[+LENGTH]]: the last '@' followed by a time starts the span, so file names
// holding '@' elsewhere still work.
struct TitleSpan {
    std::string path;
    double start = 0;                   // seconds into the clip
    std::optional<double> length;       // seconds; unset: the title's own, else kDefaultSeconds
};

Expected<TitleSpan> ParseTitleSpan(const std::string& text) {
    TitleSpan out;
    out.path = text;
    const size_t at = text.rfind('@');
    if (at == std::string::npos || at == 0) return out;
    std::string spec = text.substr(at + 1);
    // Anything but a time (or a mistyped one: a sign or a dot) after the '@' is part of the name.
    if (spec.empty() || std::string_view("0123456789+-.").find(spec[0]) == std::string_view::npos) return out;
    const size_t plus = spec.find('+');
    const Expected<double> start = ParseSeconds(spec.substr(0, plus), kMaxTitleSeconds);
    if (!start) return Failure("--title " + text + ": the start: " + start.Message());
    if (plus != std::string::npos) {
        const Expected<double> length = ParseSeconds(spec.substr(plus + 1), kMaxTitleSeconds);
        if (!length) return Failure("--title " + text + ": the length: " + length.Message());
        if (*length <= 0) return Failure("--title " + text + ": a title lasts longer than 0 seconds");
        out.length = *length;
    }
    out.path = text.substr(0, at);
    out.start = *start;
    return out;
}

// The schedule's titles drawn for the video pipeline: each as a layer, which the pipeline
// blends into the frame where the titles drew.
class SchedulePainter final : public FramePainter {
public:
    explicit SchedulePainter(TitleSchedule& schedule) : schedule_(schedule) {}
    // The frame's own time: frames of a variable-rate clip show the titles at the times they are
    // shown.
    Expected<PixelRect> Prepare(double seconds, int) override { return schedule_.DrawLayers(seconds); }
    const std::vector<LayerView>& Layers() const override { return schedule_.Layers(); }

private:
    TitleSchedule& schedule_;
};

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

}  // namespace

int OverlayJob::ClipFrames() const {
    return std::max(probe.frames, static_cast<int>(std::lround(probe.seconds * probe.fps)));
}

int PrepareOverlay(OverlayJob& job, const InterruptWatch& interrupt) {
    const std::string& video = job.video;
    const std::string& output = job.output;
    // The video: readable, not the output, and a video the libraries decode.
    struct stat info {};
    if (stat(video.c_str(), &info) != 0 || access(video.c_str(), R_OK) != 0)
        return Fail("cannot read video " + video + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return Fail("cannot read video " + video + ": is a directory");
    if (SameFile(video, output)) return UsageError(job.command, "the output " + output + " is the video it reads");
    std::string lowerExt = fs::path(output).extension().string();
    for (char& c : lowerExt) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (IsFramePattern(output) || lowerExt == ".png" || lowerExt == ".jpg" || lowerExt == ".gif")
        return UsageError(job.command, output + ": " + job.command + " writes a video (.mp4, .mkv, .mov, .webm, ...)");
    Expected<VideoInfo> probe = ProbeVideo(video);
    if (!probe) {
        if (!interrupt.Received()) return Fail(probe.Message());
        std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    }
    job.probe = *probe;
    return kExitOk;
}

int RunOverlayJob(const OverlayJob& job, TitleSchedule& schedule, const InterruptWatch& interrupt) {
    const VideoInfo& probe = job.probe;
    const std::string& output = job.output;
    SchedulePainter painter(schedule);
    VideoJob video;
    video.input = job.video;
    video.output = output;
    video.encode = job.encode;
    video.painter = &painter;
    Progress progress(std::max(1, probe.frames), stderr, isatty(fileno(stderr)) != 0);
    video.progress = [&](int done) {
        progress.Update(std::min(done, std::max(1, probe.frames)));
        return !interrupt.Received();
    };
    video.warn = [](const std::string& text) { Warn(text); };
    const auto started = std::chrono::steady_clock::now();
    VideoResult result;
    const Status ran = RunVideo(video, result);
    if (interrupt.Received()) {
        std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    }
    if (!ran) return Fail(ran.Message());
    progress.Finish();
    std::printf("wrote %s (%d frames, %dx%d, %s fps, %s)\n", output.c_str(), result.frames, probe.width, probe.height,
                probe.Rate().c_str(), result.audio.c_str());
    if (job.timings) {
        // Decoding, drawing and encoding run on three threads; these are the drawing thread's.
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("timings: %.2f s in all; waiting for decoded frames %.2f s, drawing %.2f s of processor time (%.2f ms "
                    "a frame; the titles alone %.2f s), waiting for the encoder %.2f s\n",
                    total, result.waitDecode, result.draw, result.frames ? result.draw * 1000 / result.frames : 0.0,
                    result.prepare, result.waitEncode);
    }
    return kExitOk;
}


int RunOverlay(const std::vector<std::string>& args) {
    ArgParser parser("overlay VIDEO -o OUT --title TITLE.xml[@START[+LENGTH]] ...",
                     "Draws titles over a video and encodes the result: same size, frame rate, frame count and\n"
                     "pixel aspect, the audio copied where OUT's container takes it. Each title runs from START\n"
                     "(seconds or [hh:]mm:ss[.fff]; default 0) for LENGTH (default: the title's own length, else\n"
                     "4 s): the frame shown at time t draws the title at (t - START) / LENGTH. Titles may\n"
                     "overlap; later ones are drawn on top. Frames outside every title go through as decoded.");
    parser.Option("-o, --output", "OUT", "the video to write (.mp4, .mkv, .mov, .webm, ...); replaced only when\n"
                                         "the whole video is written");
    parser.Option("--title", "T[@S[+L]]", "a title file, its start and length in the clip (repeatable)");
    DeclareScale(parser, "frame pixels per layout unit for every title (default: each title's frame, or\n"
                         "1920x1080 when it names none, fitted to the video's, uniformly and centred)");
    DeclareEncode(parser);
    DeclareThreads(parser);
    parser.Flag("--timings", "print where the time went: waiting for decoded frames, drawing, waiting for the encoder");
    parser.Epilog("examples:\n"
                  "  qeltitle overlay clip.mp4 -o out.mp4 --title lower.xml@0:05+4\n"
                  "  qeltitle overlay clip.mp4 -o out.mp4 --title intro.xml --title name.xml@2.5 --title end.xml@1:10\n\n"
                  "A title that runs past the end of the clip is drawn as far as the clip goes (with a warning);\n"
                  "one that starts after its end is refused. On failure or Ctrl-C an existing OUT is left as it was.");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("overlay", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 1) return UsageError("overlay", "expected one VIDEO");
    if (!parser.Has("output")) return UsageError("overlay", "missing -o OUT");
    const std::string video = parser.Positionals()[0], output = *parser.Value("output");
    std::vector<TitleSpan> spans;
    for (const std::string& text : parser.Values("title")) {
        const Expected<TitleSpan> span = ParseTitleSpan(text);
        if (!span) return UsageError("overlay", span.Message());
        spans.push_back(*span);
    }
    if (spans.empty()) return UsageError("overlay", "give at least one --title TITLE.xml[@START[+LENGTH]]");
    OverlayJob job;
    job.command = "overlay";
    job.video = video;
    job.output = output;
    OptionReader read(parser);
    PlayerFrame frame;
    frame.scale = read.Scale();
    frame.threads = read.Threads();
    frame.cacheMb = read.CacheMb();
    job.encode = read.Encode();
    if (const Status& status = read.Result(); !status) return UsageError("overlay", status.Message());
    job.timings = parser.Has("timings");

    // From here Ctrl-C stops the run at the next frame and cleans up (also when it comes while
    // the video is probed or the titles are loaded).
    const InterruptWatch interrupt;
    if (const int status = PrepareOverlay(job, interrupt); status != kExitOk) return status;
    const VideoInfo& probe = job.probe;
    frame.width = probe.width;
    frame.height = probe.height;
    // Each title is drawn alone on a transparent layer and blended over the frame.
    frame.keepAlpha = true;

    // Every title loaded, placed and given its span before anything is written.
    TitleSchedule schedule(frame);
    const int clipFrames = job.ClipFrames();
    for (const TitleSpan& span : spans) {
        Expected<TitlePlayer> title = TitlePlayer::Open(span.path);
        if (!title) return Fail(title.Message());
        const double length = span.length.value_or(title->Length());
        // A time on a frame boundary belongs to that frame, whatever the float error.
        const int first = static_cast<int>(std::ceil(span.start * probe.fps - 1e-6));
        const int end = static_cast<int>(std::ceil((span.start + length) * probe.fps - 1e-6));
        if (first >= clipFrames)
            return UsageError("overlay", span.path + " starts at " + FormatSeconds(span.start) + ", after the end of " +
                                             video + " (" + FormatSeconds(probe.seconds) + ")");
        if (end > clipFrames)
            Warn(span.path + " runs until " + FormatSeconds(span.start + length) + ", past the end of " + video + " (" +
                 FormatSeconds(probe.seconds) + "); it is drawn as far as the clip goes");
        if (Status placed = title->Place(frame); !placed) return Fail(placed.Message());
        for (const std::string& w : title->TakeWarnings()) Warn(w);
        schedule.Add(std::move(*title), span.start, length);
    }
    return RunOverlayJob(job, schedule, interrupt);
}

}  // namespace qeltitle
