// captions: subtitle files drawn as animated titles, one title per cue.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>

#include "commands/Args.h"
#include "authoring/Captions.h"
#include "authoring/Language.h"
#include "authoring/LineBreak.h"
#include "commands/Commands.h"
#include "player/Frame.h"
#include "media/FrameLoop.h"
#include "commands/Interrupt.h"
#include "media/Output.h"
#include "authoring/StyleLimits.h"
#include "player/SafeFile.h"
#include "player/TitleFiles.h"
#include "media/VideoPipeline.h"

namespace qeltitle {

using namespace qel;

namespace {

bool EndsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string XmlEscaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// An MLT project: each cue's title file beside it, one qeltitle producer per cue on the first track
// free at its time, the tracks composited in order.
bool WriteMltProject(const std::string& output, const std::vector<CaptionTitle>& titles, int width, int height,
                     double fps, int totalFrames, double scale, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path project(output);
    const std::string dirName = project.stem().string() + "_titles";
    const fs::path dir = project.parent_path() / dirName;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir.string() + ": " + ec.message();
        return false;
    }
    // Frame rate as a fraction MLT reads exactly (25, 30000/1001, ...).
    int rateNum = static_cast<int>(std::lround(fps * 1000)), rateDen = 1000;
    for (int d : {1, 1001})
        if (std::fabs(fps * d - std::round(fps * d)) < 1e-6) {
            rateNum = static_cast<int>(std::lround(fps * d)), rateDen = d;
            break;
        }
    // Between cues a track shows a transparent colour: a blank would be drawn opaque.
    const auto Gap = [](int frames) {
        return "    <entry producer=\"clear\" in=\"0\" out=\"" + std::to_string(frames - 1) + "\"/>\n";
    };
    std::string producers =
        "  <producer id=\"clear\" in=\"0\" out=\"" + std::to_string(std::max(0, totalFrames - 1)) +
        "\">\n    <property name=\"mlt_service\">color</property>\n"
        "    <property name=\"resource\">#00000000</property>\n  </producer>\n";
    std::string playlists;
    std::vector<int> trackEnd;                 // next free frame of each track
    std::vector<std::string> trackEntries;
    char line[512];
    for (size_t i = 0; i < titles.size(); ++i) {
        const CaptionTitle& t = titles[i];
        char name[32];
        std::snprintf(name, sizeof name, "cue%04zu", i + 1);
        const std::string file = dirName + "/" + name + ".xml";
        if (!WriteWholeFile((dir / (std::string(name) + ".xml")).string(), t.document, error)) {
            error = "cannot write " + (dir / name).string() + ".xml: " + error;
            return false;
        }
        const int length = t.last - t.first + 1;
        std::snprintf(line, sizeof line,
                      "  <producer id=\"%s\" in=\"0\" out=\"%d\">\n"
                      "    <property name=\"mlt_service\">qeltitle</property>\n"
                      "    <property name=\"resource\">%s</property>\n"
                      "    <property name=\"length\">%d</property>\n"
                      "    <property name=\"scale\">%.9g</property>\n"
                      "  </producer>\n",
                      name, length - 1, XmlEscaped(file).c_str(), length, scale);
        producers += line;
        size_t track = 0;
        while (track < trackEnd.size() && trackEnd[track] > t.first) ++track;
        if (track == trackEnd.size()) trackEnd.push_back(0), trackEntries.emplace_back();
        if (t.first > trackEnd[track])
            trackEntries[track] += Gap(t.first - trackEnd[track]);
        trackEntries[track] += "    <entry producer=\"" + std::string(name) + "\" in=\"0\" out=\"" +
                               std::to_string(length - 1) + "\"/>\n";
        trackEnd[track] = t.last + 1;
    }
    std::string tracks, transitions;
    for (size_t k = 0; k < trackEntries.size(); ++k) {
        if (trackEnd[k] < totalFrames)
            trackEntries[k] += Gap(totalFrames - trackEnd[k]);
        playlists += "  <playlist id=\"track" + std::to_string(k) + "\">\n" + trackEntries[k] + "  </playlist>\n";
        tracks += "      <track producer=\"track" + std::to_string(k) + "\"/>\n";
        if (k > 0)
            transitions += "    <transition>\n      <property name=\"mlt_service\">composite</property>\n"
                           "      <property name=\"a_track\">0</property>\n      <property name=\"b_track\">" +
                           std::to_string(k) + "</property>\n    </transition>\n";
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mlt LC_NUMERIC=\"C\" producer=\"captions\">\n";
    std::snprintf(line, sizeof line,
                  "  <profile description=\"captions %dx%d\" width=\"%d\" height=\"%d\" progressive=\"1\" "
                  "sample_aspect_num=\"1\" sample_aspect_den=\"1\" display_aspect_num=\"%d\" display_aspect_den=\"%d\" "
                  "frame_rate_num=\"%d\" frame_rate_den=\"%d\" colorspace=\"709\"/>\n",
                  width, height, width, height, width, height, rateNum, rateDen);
    xml += line;
    xml += producers + playlists;
    xml += "  <tractor id=\"captions\" in=\"0\" out=\"" + std::to_string(std::max(0, totalFrames - 1)) +
           "\">\n    <multitrack>\n" + tracks + "    </multitrack>\n" + transitions + "  </tractor>\n</mlt>\n";
    if (!WriteWholeFile(output, xml, error)) {
        error = "cannot write " + output + ": " + error;
        return false;
    }
    return true;
}

// The cue titles drawn over a video by the overlay command: each title is written to a scratch
// directory and handed over as TITLE@START+LENGTH, which overlay shows on the same frames, with
// the same title times, as the frames written here.
int OverlayCaptions(const std::string& video, const std::string& output, const std::vector<CaptionTitle>& titles,
                    double fps, const std::optional<std::string>& threads) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "qeltitle-captions-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return Fail(std::string("cannot make a scratch directory: ") + std::strerror(errno));
    const fs::path scratch(pattern);
    struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } cleanup{scratch};
    std::vector<std::string> args = {video, "-o", output};
    if (threads) args.insert(args.end(), {"--threads", *threads});
    std::string error;
    char span[64];
    for (size_t i = 0; i < titles.size(); ++i) {
        // Named after the cue's line, which overlay's messages then show.
        const fs::path file = scratch / ("cue-line" + std::to_string(titles[i].cueLine) + "-" + std::to_string(i + 1) + ".xml");
        if (!WriteWholeFile(file.string(), titles[i].document, error)) return Fail("cannot write " + file.string() + ": " + error);
        // The frames of the cue exactly: overlay rounds START and START+LENGTH up to frames as here.
        std::snprintf(span, sizeof span, "@%.9f+%.9f", titles[i].first / fps, (titles[i].last + 1 - titles[i].first) / fps);
        args.insert(args.end(), {"--title", file.string() + span});
    }
    return RunOverlay(args);
}

}  // namespace

int RunCaptions(const std::vector<std::string>& args) {
    ArgParser parser("captions SUBS -o OUT [options]",
                     "Draws a SubRip (.srt) or WebVTT (.vtt) subtitle file as animated captions: each cue a\n"
                     "title, wrapped and placed by the style, entering and leaving with its effects; with\n"
                     "word timings (WebVTT inline times, or --words) word by word. OUT is a PNG pattern\n"
                     "(frames/%04d.png, transparent), a .webm (VP9 with alpha), a video over --over VIDEO,\n"
                     "or an MLT project (.mlt) with one qeltitle producer per cue.");
    parser.Option("-o, --output", "OUT", "frames/%04d.png, captions.webm, captions.mlt, or a video with --over");
    parser.Option("--over", "VIDEO", "draw the captions over this video");
    parser.Option("--style", "STYLE.json", "caption style file (see doc/captions.md)");
    parser.Option("--preset", "NAME", "an installed style: clean, social, news, karaoke");
    parser.Flag("--words", "the file holds a cue per word: group them into captions shown word by word");
    parser.Option("--lang", "TAG", "the captions' language, BCP 47 (ja, zh-Hans, ko, th, ...; default: the file's\n"
                  "WebVTT Language header or a name like talk.ja.srt): line breaking, and the face");
    parser.Option("--size", "WxH", "frame size without --over (default 1920x1080)");
    parser.Option("--fps", "F", "frames per second without --over: 25, 29.97 (30000/1001) or N/D (default 25)");
    parser.Option("--duration", "S", "length in seconds without --over (default: to the end of the last cue)");
    parser.Option("--threads", "N", "drawing threads (default: one per processor)");
    parser.Epilog("examples:\n"
                  "  qeltitle captions talk.srt -o frames/%04d.png --preset clean\n"
                  "  qeltitle captions talk.vtt -o captions.webm --preset social\n"
                  "  qeltitle captions words.srt --words -o captions.mlt --preset karaoke");
    std::string error;
    if (!parser.Parse(args, error)) return UsageError("captions", error);
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 1) return UsageError("captions", "expected one subtitle file");
    if (!parser.Has("output")) return UsageError("captions", "missing -o OUT");
    if (parser.Has("style") && parser.Has("preset")) return UsageError("captions", "give either --style or --preset");
    const std::string input = parser.Positionals()[0], output = *parser.Value("output");
    const bool mlt = EndsWith(Lower(output), ".mlt");
    const bool pattern = IsFramePattern(output);
    if (parser.Has("over") && (mlt || pattern))
        return UsageError("captions", "--over writes a video; PNG frames and MLT projects are made without it");
    if (!parser.Has("over") && !mlt && !pattern && !EndsWith(Lower(output), ".webm") && !EndsWith(Lower(output), ".mov"))
        return UsageError("captions", "without --over the captions are written as PNG frames (frames/%04d.png), "
                                      "a .webm or .mov with alpha, or an MLT project (.mlt)");
    if (pattern && !CheckFramePattern(output, error)) return UsageError("captions", error);
    FrameSetup setup;
    double fps = 25;
    if (auto v = parser.Value("size")) {
        FrameSize size;
        if (!ParseFrameSize(*v, size, error)) return UsageError("captions", "--size: " + error);
        setup.width = size.width, setup.height = size.height;
    }
    FrameRate rate;
    if (auto v = parser.Value("fps")) {
        if (!ParseFrameRate(*v, 1, 240, rate, error)) return UsageError("captions", "--fps: " + error);
        fps = rate.Value();
    }
    double duration = 0;
    if (auto v = parser.Value("duration"); v && !ParseNumber(*v, 0.04, 86400, duration, error))
        return UsageError("captions", "--duration: " + error);
    if (auto v = parser.Value("threads")) {
        long t = 0;
        if (!ParseInteger(*v, 1, 256, t, error)) return UsageError("captions", "--threads: " + error);
        setup.threads = static_cast<int>(t);
    }
    VideoInfo video;
    const std::string over = parser.Value("over").value_or("");
    if (!over.empty()) {
        if (parser.Has("size") || parser.Has("fps") || parser.Has("duration"))
            return UsageError("captions", "--over takes the size, rate and length of the video");
        std::error_code ec;
        if (std::filesystem::exists(output, ec) && std::filesystem::equivalent(over, output, ec))
            return UsageError("captions", "the output would replace the video it is drawn over");
        if (!ProbeVideo(over, video, error)) return Fail(error);
        setup.width = video.width, setup.height = video.height;
        fps = video.fps;
    }

    std::string bytes;
    if (!ReadInput(input, bytes, error)) return Fail(error);
    HostPtr host = NewHost(error);
    if (!host) return Fail(error);
    CaptionStyle style = DefaultCaptionStyle(*host);
    std::string styleFile = parser.Value("style").value_or("");
    if (auto preset = parser.Value("preset")) {
        styleFile = PresetPath(*preset);
        if (styleFile.empty()) {
            const std::string dir = PresetDirectory();
            return UsageError("captions", "no preset '" + *preset + "'" +
                                              (dir.empty() ? " (no presets are installed)" : " in " + dir));
        }
    }
    if (!styleFile.empty()) {
        std::string text;
        if (!ReadInput(styleFile, text, error) || !ReadCaptionStyle(*host, text, styleFile, style, error)) return Fail(error);
    }
    if (auto lang = parser.Value("lang"); lang && !IsLanguageTag(*lang))
        return UsageError("captions", "--lang: '" + *lang + "' is not a BCP 47 language tag (ja, zh-Hant, th, ...)");
    if (std::string lang = parser.Value("lang").value_or(SubtitleLanguage(bytes, input)); !lang.empty())
        SetCaptionLanguage(*host, style, lang);
    else if (!style.language.empty())
        SetCaptionLanguage(*host, style, style.language);
    std::vector<Cue> cues;
    std::vector<std::string> warnings;
    const SubtitleFormat format = EndsWith(Lower(input), ".vtt") ? SubtitleFormat::WebVtt
                                  : EndsWith(Lower(input), ".srt") ? SubtitleFormat::SubRip
                                                                   : SubtitleFormat::Auto;
    if (!ReadSubtitles(bytes, input, format, cues, warnings, error)) return Fail("cannot read subtitles: " + error);
    for (const std::string& w : warnings) Warn(w);
    warnings.clear();
    if (parser.Has("words")) cues = GroupWordCues(cues, style);

    std::vector<CaptionTitle> titles;
    if (!MakeCaptionTitles(cues, style, setup.width, setup.height, fps, titles, warnings, error)) return Fail(error);
    for (const std::string& w : warnings) Warn(w);
    // Every cue has the style: the first says whether its border or blur passes the library's limit.
    if (HostPtr probe = titles.empty() ? nullptr : NewHost(error);
        probe && LoadTitleText(*probe, titles[0].document, "caption", error)) {
        for (const std::string& w : StyleLimitWarnings(*probe, -1, CaptionScale(style, setup.width, setup.height))) Warn(w);
    }
    int total = duration > 0 ? static_cast<int>(std::lround(duration * fps)) : 0;
    if (duration <= 0)
        for (const CaptionTitle& t : titles) total = std::max(total, t.last + 1);
    if (!over.empty()) {
        // Cues that start after the end of the video are left out; overlay draws one that runs past
        // it as far as the video goes.
        const int clipFrames = std::max(video.frames, static_cast<int>(std::lround(video.seconds * fps)));
        const size_t before = titles.size();
        titles.erase(std::remove_if(titles.begin(), titles.end(), [&](const CaptionTitle& t) { return t.first >= clipFrames; }),
                     titles.end());
        if (titles.size() < before)
            Warn(input + ": " + std::to_string(before - titles.size()) + " cues start after the end of " + over +
                 " and are left out");
        if (titles.empty()) return Fail(input + ": no cue falls within " + over);
        return OverlayCaptions(over, output, titles, fps, parser.Value("threads"));
    }
    if (total <= 0) return Fail(input + ": no cue to draw");

    if (mlt) {
        if (!WriteMltProject(output, titles, setup.width, setup.height, fps, total,
                             CaptionScale(style, setup.width, setup.height), error)) return Fail(error);
        std::printf("wrote %s (%s, %s at %g fps)\n", output.c_str(), CountOf(static_cast<long>(titles.size()), "cue").c_str(),
                    CountOf(total, "frame").c_str(), fps);
        return kExitOk;
    }

    setup.scale = CaptionScale(style, setup.width, setup.height);
    setup.keepAlpha = true;
    const InterruptWatch interrupt;
    auto sink = OpenFrameSink(output, setup.width, setup.height, rate, true, error);
    if (!sink) return Fail(error);
    // Titles are loaded when their cue begins and released after it.
    std::map<size_t, HostPtr> live;
    size_t next = 0;
    const Image base(setup.width, setup.height);
    Progress progress(total, stderr, isatty(fileno(stderr)) != 0);
    const bool ok = RunFrames(
        total, setup.width, setup.height,
        [&](int i, Image& frame, std::string& message) {
            if (interrupt.Received()) {
                message = "interrupted";
                return false;
            }
            for (auto it = live.begin(); it != live.end();)
                it = titles[it->first].last < i ? live.erase(it) : std::next(it);
            for (; next < titles.size() && titles[next].first <= i; ++next) {
                if (titles[next].last < i) continue;
                HostPtr h = NewHost(message);
                if (!h || !LoadTitleText(*h, titles[next].document, "caption", message) ||
                    !ConfigureFrame(*h, setup, message))
                    return false;
                live.emplace(next, std::move(h));
            }
            frame = base;
            for (auto& [index, h] : live) {
                const CaptionTitle& t = titles[index];
                const float time = t.last == t.first ? 0.0f : static_cast<float>(i - t.first) / (t.last - t.first);
                if (const HRESULT status = h->Render(frame.pixels.data(), time); status != S_OK) {
                    message = "the title library could not draw a caption: " + StatusText(status);
                    return false;
                }
            }
            return true;
        },
        *sink, &progress, error);
    if (interrupt.Received()) {
        sink.reset();
        std::fprintf(stderr, "qeltitle: interrupted\n");
        return interrupt.ExitStatus();
    }
    if (!ok) return Fail(error);
    char details[96];
    std::snprintf(details, sizeof details, "%s, %dx%d, %g fps", CountOf(static_cast<long>(titles.size()), "cue").c_str(),
                  setup.width, setup.height, fps);
    std::printf("wrote %s\n", sink->Describe(details).c_str());
    return kExitOk;
}

}  // namespace qeltitle
