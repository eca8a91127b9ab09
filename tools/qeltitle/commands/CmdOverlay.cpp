// overlay: titles drawn over a video in one pass. ffmpeg decodes the video to raw BGRA frames on a
// pipe, each title is drawn over the frames of its span, and a second ffmpeg encodes the frames
// (with the input's audio) into the output. Frames outside every span go through as decoded.
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
#include "media/VideoInput.h"
#include "player/FrameDefaults.h"
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

// Audio is copied when the output's container takes its codec, else encoded for it.
std::vector<std::string> AudioArguments(const std::string& ext, const std::vector<std::string>& codecs,
                                        std::string& how) {
    if (codecs.empty()) {
        how = "no audio";
        return {};
    }
    const auto all = [&](std::initializer_list<const char*> allowed) {
        return std::all_of(codecs.begin(), codecs.end(), [&](const std::string& c) {
            return std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return c == a; });
        });
    };
    std::vector<std::string> args = {"-map", "1:a"};
    if (ext == ".webm" && !all({"opus", "vorbis"})) {
        how = "audio encoded as Opus (WebM takes no " + codecs.front() + ")";
        args.insert(args.end(), {"-c:a", "libopus"});
    } else if ((ext == ".mp4" || ext == ".m4v" || ext == ".mov") && !all({"aac", "mp3", "ac3", "eac3", "alac"})) {
        how = "audio encoded as AAC (" + ext.substr(1) + " takes no " + codecs.front() + ")";
        args.insert(args.end(), {"-c:a", "aac"});
    } else {
        how = "audio copied";
        args.insert(args.end(), {"-c:a", "copy"});
    }
    return args;
}

std::vector<std::string> EncoderArguments(const std::string& program, const std::string& video, const VideoProbe& probe,
                                          const OverlayJob& choice, const std::vector<std::string>& audio,
                                          const std::string& ext, const std::string& writePath) {
    std::vector<std::string> args = {program, "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
                                     "-pix_fmt", "bgra", "-s", std::to_string(probe.width) + "x" + std::to_string(probe.height),
                                     "-r", probe.rate, "-i", "-"};
    if (!audio.empty()) args.insert(args.end(), {"-i", video});
    args.insert(args.end(), {"-map", "0:v"});
    args.insert(args.end(), audio.begin(), audio.end());
    std::string filters;
    const bool h264 = choice.codec.empty() && PadsToEvenSize(writePath);
    if (h264 && (probe.width % 2 || probe.height % 2)) filters = "pad=ceil(iw/2)*2:ceil(ih/2)*2";
    if (!probe.aspect.empty()) {
        std::string sar = probe.aspect;
        std::replace(sar.begin(), sar.end(), ':', '/');
        filters += (filters.empty() ? "" : ",") + std::string("setsar=") + sar;
    }
    if (!filters.empty()) args.insert(args.end(), {"-vf", filters});
    const std::string crf = std::to_string(choice.crf);
    if (!choice.codec.empty()) {
        args.insert(args.end(), {"-c:v", choice.codec});
        if (choice.crf >= 0) args.insert(args.end(), {"-crf", crf});
    } else if (h264) {
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "medium", "-crf", choice.crf >= 0 ? crf : "18",
                                 "-pix_fmt", "yuv420p"});
        if (ext != ".mkv") args.insert(args.end(), {"-movflags", "+faststart"});
    } else if (ext == ".webm") {
        args.insert(args.end(), {"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", choice.crf >= 0 ? crf : "30",
                                 "-row-mt", "1", "-pix_fmt", "yuv420p"});
    }
    args.push_back(writePath);
    return args;
}

// Time spent handing frames to the encoder: a write blocks while ffmpeg is still encoding.
class TimedSink final : public FrameSink {
public:
    explicit TimedSink(std::unique_ptr<FrameSink> sink) : sink_(std::move(sink)) {}
    bool Write(int index, const Image& frame, std::string& error) override {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = sink_->Write(index, frame, error);
        seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return ok;
    }
    bool Finish(std::string& error) override {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = sink_->Finish(error);
        seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return ok;
    }
    std::string Describe(const std::string& details) const override { return sink_->Describe(details); }
    double Seconds() const { return seconds_; }

private:
    std::unique_ptr<FrameSink> sink_;
    double seconds_ = 0;  // written by the writer thread only, read after it ended
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
    // The video: readable, not the output, and a video ffmpeg can decode.
    struct stat info {};
    if (stat(video.c_str(), &info) != 0 || access(video.c_str(), R_OK) != 0)
        return Fail("cannot read video " + video + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return Fail("cannot read video " + video + ": is a directory");
    if (SameFile(video, output)) return UsageError(job.command, "the output " + output + " is the video it reads");
    std::string lowerExt = fs::path(output).extension().string();
    for (char& c : lowerExt) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (IsFramePattern(output) || lowerExt == ".png" || lowerExt == ".jpg" || lowerExt == ".gif")
        return UsageError(job.command, output + ": " + job.command + " writes a video (.mp4, .mkv, .mov, .webm, ...)");
    std::string error;
    if (!FindFfmpeg(job.ffmpeg, error)) return Fail("cannot write " + output + ": " + error);
    if (!ProbeVideo(job.ffmpeg, video, job.probe, error)) {
        if (!interrupt.Received()) return Fail(error);
        std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    }
    return kExitOk;
}

int RunOverlayJob(const OverlayJob& job, TitleSchedule& schedule, const InterruptWatch& interrupt) {
    const std::string& video = job.video;
    const std::string& output = job.output;
    const VideoProbe& probe = job.probe;
    const std::string& ffmpeg = job.ffmpeg;
    std::string lowerExt = fs::path(output).extension().string();
    for (char& c : lowerExt) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto stopped = [&] {
        std::fprintf(stderr, "qeltitle: interrupted; %s left as it was\n", output.c_str());
        return interrupt.ExitStatus();
    };
    std::string error;
    std::string audioHow;
    const std::vector<std::string> audio = AudioArguments(lowerExt, probe.audioCodecs, audioHow);
    VideoDecoder decoder;
    if (!decoder.Start(ffmpeg, video, probe.width, probe.height, error)) return Fail(error);
    const size_t frameBytes = static_cast<size_t>(probe.width) * probe.height * 4;
    auto encoder = OpenFfmpegSink(output, frameBytes, [&](const std::string& writePath) {
        return EncoderArguments(ffmpeg, video, probe, job, audio, lowerExt, writePath);
    }, error);
    if (!encoder) return Fail(error);
    auto sink = std::make_unique<TimedSink>(std::move(encoder));
    if (const std::string note = PaddedVideoNote(output, probe.width, probe.height); !note.empty() && job.codec.empty())
        Warn(note);

    double decodeSeconds = 0, drawSeconds = 0;
    const auto started = std::chrono::steady_clock::now();
    Progress progress(std::max(1, probe.frames), stderr, isatty(fileno(stderr)) != 0);
    int written = 0;
    const bool ok = RunFramesToEnd(
        0, probe.width, probe.height,
        [&](int i, Image& frame, std::string& message) {
            if (interrupt.Received()) {
                message = "interrupted";
                return FrameResult::Failed;
            }
            auto mark = std::chrono::steady_clock::now();
            const VideoDecoder::Read read = decoder.Next(frame, message);
            auto now = std::chrono::steady_clock::now();
            decodeSeconds += std::chrono::duration<double>(now - mark).count();
            if (read != VideoDecoder::Read::Frame) return read == VideoDecoder::Read::End ? FrameResult::End : FrameResult::Failed;
            mark = now;
            if (Status drawn = schedule.DrawAt(job.FrameSeconds(i), frame); !drawn) {
                message = drawn.Message();
                return FrameResult::Failed;
            }
            drawSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - mark).count();
            return FrameResult::Drawn;
        },
        *sink, &progress, written, error);
    if (interrupt.Received()) {
        decoder.Stop();
        sink.reset();  // stops the encoder and removes its partial file
        return stopped();
    }
    if (!ok) {
        decoder.Stop();
        sink.reset();
        return Fail(error);
    }
    std::printf("wrote %s (%d frames, %dx%d, %s fps, %s)\n", output.c_str(), written, probe.width, probe.height,
                probe.rate.c_str(), audioHow.c_str());
    if (job.timings) {
        // Drawing and decoding share the calling thread; the encoder is fed from the writer thread.
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("timings: %.2f s in all; waiting for decoded frames %.2f s, drawing %.2f s (%.1f ms a frame), "
                    "handing frames to the encoder %.2f s\n",
                    total, decodeSeconds, drawSeconds, written ? drawSeconds * 1000 / written : 0.0, sink->Seconds());
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
    parser.Option("--codec", "NAME", "ffmpeg's video encoder (default: libx264 for .mp4/.mov/.mkv, VP9 for .webm)");
    parser.Option("--crf", "N", "the encoder's quality setting (default 18 for H.264, 30 for VP9)");
    DeclareThreads(parser);
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
    OverlayJob job;
    job.command = "overlay";
    job.video = video;
    job.output = output;
    OptionReader read(parser);
    PlayerFrame frame;
    frame.scale = read.Scale();
    frame.threads = read.Threads();
    if (const Status& status = read.Result(); !status) return UsageError("overlay", status.Message());
    long whole = 0;
    if (auto v = parser.Value("crf")) {
        if (!ParseInteger(*v, 0, 63, whole, error)) return UsageError("overlay", "--crf: " + error);
        job.crf = static_cast<int>(whole);
    }
    job.codec = parser.Value("codec").value_or("");
    job.timings = parser.Has("timings");

    // From here Ctrl-C stops the run at the next frame and cleans up (also when it comes while
    // the video is probed or the titles are loaded).
    const InterruptWatch interrupt;
    if (const int status = PrepareOverlay(job, interrupt); status != kExitOk) return status;
    const VideoProbe& probe = job.probe;
    frame.width = probe.width;
    frame.height = probe.height;

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
