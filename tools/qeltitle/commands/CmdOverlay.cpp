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
#include "player/Frame.h"
#include "player/FrameDefaults.h"
#include "media/FrameLoop.h"
#include "commands/Interrupt.h"
#include "media/Output.h"
#include "authoring/StyleLimits.h"
#include "player/Timing.h"
#include "player/TitleFiles.h"
#include "media/VideoPipeline.h"

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

bool ParseTitleSpan(const std::string& text, TitleSpan& out, std::string& error) {
    out = TitleSpan{};
    out.path = text;
    const size_t at = text.rfind('@');
    if (at == std::string::npos || at == 0) return true;
    std::string spec = text.substr(at + 1);
    // Anything but a time (or a mistyped one: a sign or a dot) after the '@' is part of the name.
    if (spec.empty() || std::string_view("0123456789+-.").find(spec[0]) == std::string_view::npos) return true;
    const size_t plus = spec.find('+');
    double start = 0, length = 0;
    if (!ParseSeconds(spec.substr(0, plus), kMaxTitleSeconds, start, error)) {
        error = "--title " + text + ": the start: " + error;
        return false;
    }
    if (plus != std::string::npos) {
        if (!ParseSeconds(spec.substr(plus + 1), kMaxTitleSeconds, length, error)) {
            error = "--title " + text + ": the length: " + error;
            return false;
        }
        if (length <= 0) {
            error = "--title " + text + ": a title lasts longer than 0 seconds";
            return false;
        }
        out.length = length;
    }
    out.path = text.substr(0, at);
    out.start = start;
    return true;
}

// A title ready to draw, and the frames it covers: first to first + count - 1 of the clip, title
// time 0 on the first and 1 on the last (as `animate` spreads a title over its frames).
struct PlacedTitle {
    HostPtr host;
    std::string path;
    FrameFit area;
    int first = 0, count = 0;
    Image layer;               // the title alone on a transparent frame of `area`
    PixelRect last;            // where in `layer` it drew last (cleared before the next frame)
    PixelRect drawn;           // where in the video's frame it draws this frame; empty: nowhere
};

// The titles of a run drawn frame by frame: each title is drawn over a transparent layer of its
// area, whose dirty rectangle tells the pipeline where to convert the frame; the layers are then
// blended over that part of the frame, later titles on top.
class TitlePainter final : public FramePainter {
public:
    TitlePainter(std::vector<PlacedTitle>& titles, double fps) : titles_(titles), fps_(fps) {
        for (PlacedTitle& t : titles_) t.layer = Image(t.area.width, t.area.height);
    }
    bool Prepare(double seconds, int, PixelRect& area, std::string& error) override {
        // The frame's number at the clip's rate, from its time: frames of a variable-rate clip
        // show the titles at the times they are shown.
        const int i = static_cast<int>(std::lround(seconds * fps_));
        area = {};
        for (PlacedTitle& t : titles_) {
            t.drawn = {};
            if (i < t.first || i >= t.first + t.count) continue;
            Clear(t);
            const double time = FrameTime(i - t.first, t.count);
            if (const HRESULT status = t.host->Render(t.layer.pixels.data(), static_cast<float>(time)); status != S_OK) {
                error = t.path + ": the title library could not draw the frame: " + StatusText(status);
                return false;
            }
            RECT dirty{};
            t.host->GetDirtyRect(&dirty);
            t.last = {dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top};
            t.drawn = {t.area.x + dirty.left, t.area.y + dirty.top, t.last.width, t.last.height};
            area = Union(area, t.drawn);
        }
        return true;
    }
    bool Paint(const PixelRect& area, uint8_t* pixels, int stride, std::string&) override {
        for (const PlacedTitle& t : titles_) {
            const int x0 = std::max(area.x, t.drawn.x), x1 = std::min(area.x + area.width, t.drawn.x + t.drawn.width);
            const int y0 = std::max(area.y, t.drawn.y), y1 = std::min(area.y + area.height, t.drawn.y + t.drawn.height);
            for (int y = y0; y < y1; ++y) {
                const uint8_t* from = t.layer.At(x0 - t.area.x, y - t.area.y);
                uint8_t* to = pixels + static_cast<ptrdiff_t>(y - area.y) * stride + (x0 - area.x) * 4;
                for (int x = x0; x < x1; ++x, from += 4, to += 4) {
                    const unsigned a = from[3];
                    if (a == 0) continue;
                    for (int c = 0; c < 3; ++c) {
                        const unsigned v = from[c] * a + to[c] * (255 - a) + 128;
                        to[c] = static_cast<uint8_t>((v + (v >> 8)) >> 8);
                    }
                }
            }
        }
        return true;
    }

private:
    // The layer transparent again where the title drew last.
    static void Clear(PlacedTitle& t) {
        for (int y = t.last.y; y < t.last.y + t.last.height; ++y)
            std::memset(t.layer.At(t.last.x, y), 0, static_cast<size_t>(t.last.width) * 4);
        t.last = {};
    }
    std::vector<PlacedTitle>& titles_;
    double fps_;
};

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

}  // namespace

int RunOverlay(const std::vector<std::string>& args) {
    ArgParser parser("overlay VIDEO -o OUT --title TITLE.xml[@START[+LENGTH]] ...",
                     "Draws titles over a video and encodes the result: same size, frame rate, frame count and\n"
                     "pixel aspect, the audio copied where OUT's container takes it. Each title runs from START\n"
                     "(seconds or [hh:]mm:ss[.fff]; default 0) for LENGTH (default: the title's own length, else\n"
                     "4 s): title time 0 on its first frame, 1 on its last. Titles may overlap; later ones are\n"
                     "drawn on top. Frames outside every title go through as decoded.");
    parser.Option("-o, --output", "OUT", "the video to write (.mp4, .mkv, .mov, .webm, ...); replaced only when\n"
                                         "the whole video is written");
    parser.Option("--title", "T[@S[+L]]", "a title file, its start and length in the clip (repeatable)");
    parser.Option("--scale", "S", "frame pixels per layout unit for every title (default: each title's frame\n"
                                  "fitted to the video's, uniformly and centred)");
    parser.Option("--codec", "NAME", "the video encoder, as ffmpeg names it (default: libx264 for .mp4/.mov/.mkv,\n"
                                     "VP9 for .webm); hardware encoders such as h264_nvenc where present");
    parser.Option("--crf", "N", "the encoder's quality setting (default 18 for H.264, 30 for VP9)");
    parser.Option("--preset", "NAME", "the encoder's speed preset (default medium for H.264)");
    parser.Option("--bitrate", "RATE", "a target bit rate such as 6M or 800k instead of a quality");
    parser.Option("--threads", "N", "drawing threads (default: one per processor)");
    parser.Flag("--timings", "print where the time went: waiting for decoded frames, drawing, waiting for the encoder");
    parser.Epilog("examples:\n"
                  "  qeltitle overlay clip.mp4 -o out.mp4 --title lower.xml@0:05+4\n"
                  "  qeltitle overlay clip.mp4 -o out.mp4 --title intro.xml --title name.xml@2.5 --title end.xml@1:10\n\n"
                  "A title that runs past the end of the clip is drawn as far as the clip goes (with a warning);\n"
                  "one that starts after its end is refused. On failure or Ctrl-C an existing OUT is left as it was.");
    std::string error;
    if (!parser.Parse(args, error)) return UsageError("overlay", error);
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 1) return UsageError("overlay", "expected one VIDEO");
    if (!parser.Has("output")) return UsageError("overlay", "missing -o OUT");
    const std::string video = parser.Positionals()[0], output = *parser.Value("output");
    std::vector<TitleSpan> spans;
    for (const std::string& text : parser.Values("title")) {
        TitleSpan span;
        if (!ParseTitleSpan(text, span, error)) return UsageError("overlay", error);
        spans.push_back(span);
    }
    if (spans.empty()) return UsageError("overlay", "give at least one --title TITLE.xml[@START[+LENGTH]]");
    std::optional<float> scale;
    FrameSetup setup;
    EncodeSettings choice;
    double number = 0;
    long whole = 0;
    if (auto v = parser.Value("scale")) {
        if (!ParseNumber(*v, 0.01, 100, number, error)) return UsageError("overlay", "--scale: " + error);
        scale = static_cast<float>(number);
    }
    if (auto v = parser.Value("threads")) {
        if (!ParseInteger(*v, 1, 256, whole, error)) return UsageError("overlay", "--threads: " + error);
        setup.threads = static_cast<int>(whole);
    }
    if (auto v = parser.Value("crf")) {
        if (!ParseInteger(*v, 0, 63, whole, error)) return UsageError("overlay", "--crf: " + error);
        choice.crf = static_cast<int>(whole);
    }
    choice.codec = parser.Value("codec").value_or("");
    choice.preset = parser.Value("preset").value_or("");
    choice.bitrate = parser.Value("bitrate").value_or("");

    // From here Ctrl-C stops the run at the next frame and cleans up (also when it comes while
    // the video is probed or the titles are loaded).
    const InterruptWatch interrupt;
    const auto stopped = [&] {
        std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    };

    // The video: readable, not the output, and a video ffmpeg can decode.
    struct stat info {};
    if (stat(video.c_str(), &info) != 0 || access(video.c_str(), R_OK) != 0)
        return Fail("cannot read video " + video + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return Fail("cannot read video " + video + ": is a directory");
    if (SameFile(video, output)) return UsageError("overlay", "the output " + output + " is the video it reads");
    const std::string ext = fs::path(output).extension().string();
    std::string lowerExt = ext;
    for (char& c : lowerExt) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (IsFramePattern(output) || lowerExt == ".png" || lowerExt == ".jpg" || lowerExt == ".gif")
        return UsageError("overlay", output + ": overlay writes a video (.mp4, .mkv, .mov, .webm, ...)");
    VideoInfo probe;
    if (!ProbeVideo(video, probe, error)) return interrupt.Received() ? stopped() : Fail(error);
    setup.width = probe.width;
    setup.height = probe.height;
    // Each title is drawn alone on a transparent layer and blended over the frame.
    setup.keepAlpha = true;

    // Every title loaded, fitted and given its frames before anything is written.
    std::vector<PlacedTitle> titles;
    const int clipFrames = std::max(probe.frames, static_cast<int>(std::lround(probe.seconds * probe.fps)));
    for (const TitleSpan& span : spans) {
        PlacedTitle title;
        title.path = span.path;
        title.host = NewHost(error);
        TitleMeta meta;
        std::string warning;
        if (!title.host || !LoadTitle(*title.host, span.path, meta, warning, error)) return Fail(error);
        if (!warning.empty()) Warn(warning);
        const double length = span.length.value_or(meta.length.value_or(kDefaultSeconds));
        // A time on a frame boundary belongs to that frame, whatever the float error.
        title.first = static_cast<int>(std::ceil(span.start * probe.fps - 1e-6));
        const int end = static_cast<int>(std::ceil((span.start + length) * probe.fps - 1e-6));
        title.count = std::max(1, end - title.first);
        if (title.first >= clipFrames)
            return UsageError("overlay", span.path + " starts at " + FormatSeconds(span.start) + ", after the end of " +
                                             video + " (" + FormatSeconds(probe.seconds) + ")");
        if (title.first + title.count > clipFrames)
            Warn(span.path + " runs until " + FormatSeconds(span.start + length) + ", past the end of " + video + " (" +
                 FormatSeconds(probe.seconds) + "); it is drawn as far as the clip goes");
        title.area = scale ? WholeFrame(*scale, probe.width, probe.height)
                           : FitDesignFrame(meta.frame.value_or(DesignFrame{}), probe.width, probe.height);
        FrameSetup own = setup;
        own.fit = title.area;
        if (!ConfigureFrame(*title.host, own, error)) return Fail(error);
        for (const std::string& w : StyleLimitWarnings(*title.host, -1, title.area.scale)) Warn(span.path + ": " + w);
        titles.push_back(std::move(title));
    }

    TitlePainter painter(titles, probe.fps);
    VideoJob job;
    job.input = video;
    job.output = output;
    job.encode = choice;
    job.painter = &painter;
    Progress progress(std::max(1, probe.frames), stderr, isatty(fileno(stderr)) != 0);
    job.progress = [&](int done) {
        progress.Update(std::min(done, std::max(1, probe.frames)));
        return !interrupt.Received();
    };
    job.warn = [](const std::string& text) { Warn(text); };
    const auto started = std::chrono::steady_clock::now();
    VideoResult result;
    const bool ok = RunVideo(job, result, error);
    if (interrupt.Received()) return stopped();
    if (!ok) return Fail(error);
    progress.Finish();
    std::printf("wrote %s (%d frames, %dx%d, %s fps, %s)\n", output.c_str(), result.frames, probe.width, probe.height,
                probe.Rate().c_str(), result.audio.c_str());
    if (parser.Has("timings")) {
        // Decoding, drawing and encoding run on three threads; these are the drawing thread's.
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("timings: %.2f s in all; waiting for decoded frames %.2f s, drawing %.2f s (%.1f ms a frame; the titles "
                    "alone %.2f s), waiting for the encoder %.2f s\n",
                    total, result.waitDecode, result.draw, result.frames ? result.draw * 1000 / result.frames : 0.0,
                    result.prepare, result.waitEncode);
    }
    return kExitOk;
}

}  // namespace qeltitle
