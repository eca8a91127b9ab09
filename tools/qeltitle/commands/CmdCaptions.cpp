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

#include <pugixml.hpp>

#include <sstream>

#include "authoring/AssTitles.h"
#include "authoring/Captions.h"
#include "authoring/Language.h"
#include "authoring/LineBreak.h"
#include "authoring/WordLists.h"
#include "commands/Args.h"
#include "commands/Commands.h"
#include "commands/Interrupt.h"
#include "commands/Options.h"
#include "commands/Overlay.h"
#include "media/FrameLoop.h"
#include "media/Output.h"
#include "player/SafeFile.h"
#include "player/TitleSchedule.h"

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

// Frame rate as a fraction MLT reads exactly (25, 30000/1001, ...).
std::pair<int, int> RateFraction(double fps) {
    for (int d : {1, 1001})
        if (std::fabs(fps * d - std::round(fps * d)) < 1e-6) return {static_cast<int>(std::lround(fps * d)), d};
    return {static_cast<int>(std::lround(fps * 1000)), 1000};
}

pugi::xml_node AddProperty(pugi::xml_node parent, const char* name, const std::string& value) {
    pugi::xml_node property = parent.append_child("property");
    property.append_attribute("name") = name;
    property.text() = value.c_str();
    return property;
}

pugi::xml_node AddProducer(pugi::xml_node mlt, const std::string& id, int out, const char* service) {
    pugi::xml_node producer = mlt.append_child("producer");
    producer.append_attribute("id") = id.c_str();
    producer.append_attribute("in") = 0;
    producer.append_attribute("out") = out;
    AddProperty(producer, "mlt_service", service);
    return producer;
}

void AddEntry(pugi::xml_node playlist, const std::string& producer, int frames) {
    pugi::xml_node entry = playlist.append_child("entry");
    entry.append_attribute("producer") = producer.c_str();
    entry.append_attribute("in") = 0;
    entry.append_attribute("out") = frames - 1;
}

// An MLT project: each cue's title file beside it, one qeltitle producer per cue on the first track
// free at its time, the tracks composited in order.
Status WriteMltProject(const std::string& output, const std::vector<CaptionTitle>& titles, int width, int height,
                       double fps, int totalFrames, double scale) {
    namespace fs = std::filesystem;
    const fs::path project(output);
    const std::string dirName = project.stem().string() + "_titles";
    const fs::path dir = project.parent_path() / dirName;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return Failure("cannot create " + dir.string() + ": " + ec.message());
    const auto [rateNum, rateDen] = RateFraction(fps);

    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    pugi::xml_node mlt = doc.append_child("mlt");
    mlt.append_attribute("LC_NUMERIC") = "C";
    mlt.append_attribute("producer") = "captions";
    pugi::xml_node profile = mlt.append_child("profile");
    const std::string description = "captions " + std::to_string(width) + "x" + std::to_string(height);
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
             {"description", description}, {"width", std::to_string(width)}, {"height", std::to_string(height)},
             {"progressive", "1"}, {"sample_aspect_num", "1"}, {"sample_aspect_den", "1"},
             {"display_aspect_num", std::to_string(width)}, {"display_aspect_den", std::to_string(height)},
             {"frame_rate_num", std::to_string(rateNum)}, {"frame_rate_den", std::to_string(rateDen)},
             {"colorspace", "709"}})
        profile.append_attribute(name) = value.c_str();

    // Between cues a track shows a transparent colour: a blank would be drawn opaque.
    AddProperty(AddProducer(mlt, "clear", std::max(0, totalFrames - 1), "color"), "resource", "#00000000");
    struct Track {
        int end = 0;  // next free frame
        std::vector<std::pair<std::string, int>> entries;  // producer, frames
    };
    std::vector<Track> tracks;
    char scaleText[32];
    std::snprintf(scaleText, sizeof scaleText, "%.9g", scale);
    for (size_t i = 0; i < titles.size(); ++i) {
        const CaptionTitle& t = titles[i];
        char name[32];
        std::snprintf(name, sizeof name, "cue%04zu", i + 1);
        const fs::path file = dir / (std::string(name) + ".xml");
        if (std::string error; !WriteWholeFile(file.string(), t.document, error))
            return Failure("cannot write " + file.string() + ": " + error);
        const int length = t.last - t.first + 1;
        pugi::xml_node producer = AddProducer(mlt, name, length - 1, "qeltitle");
        AddProperty(producer, "resource", dirName + "/" + name + ".xml");
        AddProperty(producer, "length", std::to_string(length));
        AddProperty(producer, "scale", scaleText);
        size_t track = 0;
        while (track < tracks.size() && tracks[track].end > t.first) ++track;
        if (track == tracks.size()) tracks.emplace_back();
        if (t.first > tracks[track].end) tracks[track].entries.emplace_back("clear", t.first - tracks[track].end);
        tracks[track].entries.emplace_back(name, length);
        tracks[track].end = t.last + 1;
    }
    for (size_t k = 0; k < tracks.size(); ++k) {
        if (tracks[k].end < totalFrames) tracks[k].entries.emplace_back("clear", totalFrames - tracks[k].end);
        pugi::xml_node playlist = mlt.append_child("playlist");
        playlist.append_attribute("id") = ("track" + std::to_string(k)).c_str();
        for (const auto& [producer, frames] : tracks[k].entries) AddEntry(playlist, producer, frames);
    }
    pugi::xml_node tractor = mlt.append_child("tractor");
    tractor.append_attribute("id") = "captions";
    tractor.append_attribute("in") = 0;
    tractor.append_attribute("out") = std::max(0, totalFrames - 1);
    pugi::xml_node multitrack = tractor.append_child("multitrack");
    for (size_t k = 0; k < tracks.size(); ++k)
        multitrack.append_child("track").append_attribute("producer") = ("track" + std::to_string(k)).c_str();
    for (size_t k = 1; k < tracks.size(); ++k) {
        pugi::xml_node transition = tractor.append_child("transition");
        AddProperty(transition, "mlt_service", "composite");
        AddProperty(transition, "a_track", "0");
        AddProperty(transition, "b_track", std::to_string(k));
    }
    std::ostringstream xml;
    doc.save(xml, "  ", pugi::format_default, pugi::encoding_utf8);
    if (std::string error; !WriteWholeFile(output, xml.str(), error)) return Failure("cannot write " + output + ": " + error);
    return {};
}

// The schedule of the cue titles: each opened from its document when its cue begins, on the
// frames of the cue, and named in messages by its number and line in the subtitle file.
TitleSchedule CueSchedule(const std::string& input, const std::vector<CaptionTitle>& titles, const PlayerFrame& frame,
                          double fps) {
    TitleSchedule schedule(frame);
    for (const CaptionTitle& t : titles) {
        std::string name = input + ": cue " + std::to_string(t.cueNumber) + " (line " + std::to_string(t.cueLine) + ")";
        const std::string* document = &t.document;
        schedule.Add(name, [document, name] { return TitlePlayer::FromDocument(*document, name); }, t.first / fps,
                     (t.last + 1 - t.first) / fps);
    }
    return schedule;
}

}  // namespace

int RunCaptions(const std::vector<std::string>& args) {
    ArgParser parser("captions SUBS -o OUT [options]",
                     "Draws a SubRip (.srt) or WebVTT (.vtt) subtitle file, or a speech recogniser's word list\n"
                     "(.json from Whisper, whisperX, whisper.cpp -ojf, or [{word, start, end}]), as animated\n"
                     "captions: each cue a title, wrapped and placed by the style and WebVTT's cue settings,\n"
                     "entering and leaving with its effects; with word timings (word lists, WebVTT inline\n"
                     "times, or --words) word by word. An ASS/SSA script (.ass, .ssa) is drawn in its own\n"
                     "styles and places, as players draw it (in a caption style with --style or --preset).\n"
                     "OUT is a PNG pattern (frames/%04d.png, transparent), a .webm (VP9 with alpha), a video\n"
                     "over --over VIDEO, an MLT project (.mlt) with one qeltitle producer per cue, or the\n"
                     "captions as WebVTT (.vtt) or an ASS script (.ass).");
    parser.Option("-o, --output", "OUT", "frames/%04d.png, captions.webm, captions.mlt, captions.vtt, captions.ass,\n"
                  "or a video with --over");
    parser.Option("--over", "VIDEO", "draw the captions over this video");
    parser.Option("--style", "STYLE.json", "caption style file (see doc/captions.md)");
    parser.Option("--preset", "NAME", "an installed style, in any case: clean, social, news, karaoke");
    parser.Flag("--words", "the file holds a cue per word: group them into captions shown word by word");
    parser.Flag("--box", "a translucent box behind each line of a caption (a style's own plate stays)");
    parser.Option("--lang", "TAG", "the captions' language, BCP 47 (ja, zh-Hans, ko, th, ...; default: the file's\n"
                  "WebVTT Language header or a name like talk.ja.srt): line breaking, and the face");
    parser.Option("--even-lines", "on|off", "every line as thick as the caption's main face makes it, whatever\n"
                  "fallback face it holds (default on; off: each line as tall as its tallest face)");
    DeclareSize(parser, "frame size without --over (default 1920x1080)");
    DeclareFps(parser, "frames per second without --over: 25, 29.97 (30000/1001) or N/D (default 25)");
    DeclareDuration(parser, "length in seconds or [hh:]mm:ss[.fff] without --over (default: to the end of the last cue)");
    DeclareThreads(parser);
    DeclareEncode(parser, false);
    parser.Epilog("examples:\n"
                  "  qeltitle captions talk.srt -o frames/%04d.png --preset clean\n"
                  "  qeltitle captions talk.vtt -o captions.webm --preset social\n"
                  "  qeltitle captions talk.srt --over clip.mp4 -o out.mp4 --preset clean --box\n"
                  "  qeltitle captions words.srt --words -o captions.mlt --preset karaoke\n"
                  "  qeltitle captions whisper.json -o talk.vtt");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("captions", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Has("style") && parser.Has("preset")) return UsageError("captions", "give either --style or --preset");
    // The style first: a wrong preset name is the mistake to report, whatever else is missing.
    std::string styleFile = parser.Value("style").value_or("");
    if (auto preset = parser.Value("preset")) {
        styleFile = PresetPath(*preset);
        if (styleFile.empty()) {
            std::string installed;
            for (const std::string& name : InstalledPresets()) installed += (installed.empty() ? "" : ", ") + name;
            return UsageError("captions", "no preset '" + *preset + "'" +
                                              (installed.empty() ? " (no presets are installed)"
                                                                 : "; installed: " + installed + " (in " +
                                                                       PresetDirectory() + ")"));
        }
    }
    if (parser.Positionals().size() != 1) return UsageError("captions", "expected one subtitle file");
    if (!parser.Has("output")) return UsageError("captions", "missing -o OUT");
    const std::string input = parser.Positionals()[0], output = *parser.Value("output");
    const bool mlt = EndsWith(Lower(output), ".mlt");
    const bool pattern = IsFramePattern(output);
    const bool vtt = EndsWith(Lower(output), ".vtt");
    const bool assOut = EndsWith(Lower(output), ".ass") || EndsWith(Lower(output), ".ssa");
    if (parser.Has("over") && (mlt || pattern || vtt || assOut))
        return UsageError("captions", "--over writes a video; PNG frames, MLT projects, WebVTT and ASS files are made "
                                      "without it");
    if (!parser.Has("over") && !mlt && !pattern && !vtt && !assOut && !EndsWith(Lower(output), ".webm") &&
        !EndsWith(Lower(output), ".mov"))
        return UsageError("captions", "without --over the captions are written as PNG frames (frames/%04d.png), "
                                      "a .webm or .mov with alpha, an MLT project (.mlt), WebVTT (.vtt) or ASS (.ass)");
    if (Status checked = pattern ? CheckFramePattern(output) : Status(); !checked) return UsageError("captions", checked.Message());
    OptionReader read(parser);
    PlayerFrame frame;
    if (const auto size = read.Size()) frame.width = size->width, frame.height = size->height;
    const FrameRate rate = read.Fps().value_or(FrameRate{});
    double fps = rate.Value();
    const double duration = read.Duration().value_or(0);
    frame.threads = read.Threads();
    frame.cacheMb = read.CacheMb();
    const EncodeSettings encode = read.Encode(false);
    if (const Status& status = read.Result(); !status) return UsageError("captions", status.Message());
    if (!parser.Has("over") && (parser.Has("codec") || parser.Has("crf") || parser.Has("bitrate")))
        return UsageError("captions", "--codec, --crf and --bitrate choose the encoder of --over");
    const std::optional<std::string> over = parser.Value("over");
    // From here Ctrl-C stops the run at the next frame and cleans up.
    const InterruptWatch interrupt;
    OverlayJob job;
    if (over) {
        if (parser.Has("size") || parser.Has("fps") || parser.Has("duration"))
            return UsageError("captions", "--over takes the size, rate and length of the video");
        job.command = "captions";
        job.video = *over;
        job.output = output;
        job.encode = encode;
        if (const int status = PrepareOverlay(job, interrupt); status != kExitOk) return status;
        frame.width = job.probe.width, frame.height = job.probe.height;
        fps = job.probe.fps;
    }

    Expected<std::string> inputBytes = ReadInput(input);
    if (!inputBytes) return Fail(inputBytes.Message());
    const std::string& bytes = *inputBytes;
    // The cues: a speech recogniser's word list (JSON), or a subtitle file.
    // An ASS/SSA script is drawn in its own styles, unless a caption style is asked for.
    const bool assIn = !EndsWith(Lower(input), ".json") &&
                       (EndsWith(Lower(input), ".ass") || EndsWith(Lower(input), ".ssa") || LooksLikeAss(bytes));
    const bool wordList = !assIn && (EndsWith(Lower(input), ".json") || (!EndsWith(Lower(input), ".srt") &&
                                                                         !EndsWith(Lower(input), ".vtt") && LooksLikeJson(bytes)));
    std::optional<AssScript> script;
    SubtitleFile subtitles;
    WordSpacing spacing = WordSpacing::ByScript;
    if (assIn) {
        Expected<AssScript> parsed = ReadAss(bytes, input, subtitles.warnings);
        if (!parsed) return Fail("cannot read subtitles: " + parsed.Message());
        if (styleFile.empty()) script = std::move(*parsed);
        else subtitles.cues = AssCues(*parsed);
    } else if (wordList) {
        Expected<WordList> list = ReadWordList(bytes, input);
        if (!list) return Fail("cannot read the word list: " + list.Message());
        subtitles.cues = std::move(list->words);
        // Whisper's words and whisper.cpp's tokens carry the space before them; others do not.
        if (list->format == WordListFormat::Whisper || list->format == WordListFormat::WhisperCpp)
            spacing = WordSpacing::Own;
    } else {
        const SubtitleFormat format = EndsWith(Lower(input), ".vtt")   ? SubtitleFormat::WebVtt
                                      : EndsWith(Lower(input), ".srt") ? SubtitleFormat::SubRip
                                                                       : SubtitleFormat::Auto;
        Expected<SubtitleFile> parsed = ReadSubtitleFile(bytes, input, format);
        if (!parsed) return Fail("cannot read subtitles: " + parsed.Message());
        subtitles = std::move(*parsed);
    }
    for (const std::string& w : subtitles.warnings) Warn(w);
    Expected<HostPtr> host = NewHost();
    if (!host) return Fail(host.Message());
    // The style: the file's own ::cue rule, then the style file or preset over it.
    CaptionStyle style = DefaultCaptionStyle(**host);
    std::vector<std::string> warnings;
    ApplyCueCss(subtitles.css, style, warnings);
    for (const std::string& w : warnings) Warn(input + ": " + w);
    warnings.clear();
    if (!styleFile.empty()) {
        Expected<std::string> text = ReadInput(styleFile);
        if (!text) return Fail(text.Message());
        if (!ReadCaptionStyle(**host, *text, styleFile, style, error)) return Fail(error);
    }
    if (parser.Has("box") && !style.plate) style.plate = CaptionBox();
    if (auto lang = parser.Value("lang"); lang && !IsLanguageTag(*lang))
        return UsageError("captions", "--lang: '" + *lang + "' is not a BCP 47 language tag (ja, zh-Hant, th, ...)");
    if (std::string lang = parser.Value("lang").value_or(SubtitleLanguage(bytes, input)); !lang.empty())
        SetCaptionLanguage(**host, style, lang);
    else if (!style.language.empty())
        SetCaptionLanguage(**host, style, style.language);
    if (auto even = parser.Value("even-lines")) {
        if (*even != "on" && *even != "off")
            return UsageError("captions", "--even-lines: expected on or off, not '" + *even + "'");
        // A script in its own styles is spaced as players space it.
        if (script) return UsageError("captions", "--even-lines: an ASS script is drawn in its own styles; with "
                                                  "--style or --preset it takes a caption style's lines");
        style.evenLines = *even == "on";
    }
    std::vector<Cue> cues = std::move(subtitles.cues);
    if (wordList) cues = GroupWordCues(cues, style, spacing);
    else if (parser.Has("words")) cues = GroupWordCues(cues, style);
    if (vtt) {
        // The cues as WebVTT; restyled by a style file or preset, that style is the ::cue rule.
        // A script read for its own styles gives its cues here.
        if (script) cues = AssCues(*script);
        const CueCss css = styleFile.empty() ? subtitles.css : CssOfStyle(style);
        if (std::string written; !WriteWholeFile(output, WriteWebVtt(cues, css), written))
            return Fail("cannot write " + output + ": " + written);
        std::printf("wrote %s (%s)\n", output.c_str(), CountOf(static_cast<long>(cues.size()), "cue").c_str());
        return kExitOk;
    }
    if (assOut) {
        // The script again as read, or the captions as a script in their style: nothing is drawn.
        const AssScript out = script ? *script : CaptionScript(**host, cues, style, frame.width, frame.height);
        if (std::string written; !WriteWholeFile(output, WriteAss(out), written))
            return Fail("cannot write " + output + ": " + written);
        std::printf("wrote %s (%s)\n", output.c_str(), CountOf(static_cast<long>(out.events.size()), "event").c_str());
        return kExitOk;
    }

    std::vector<CaptionTitle> titles;
    if (script) {
        if (Status made = MakeAssTitles(*script, input, frame.width, frame.height, fps, titles, warnings); !made)
            return Fail(made.Message());
    } else if (!MakeCaptionTitles(cues, style, frame.width, frame.height, fps, titles, warnings, error)) {
        return Fail(error);
    }
    for (const std::string& w : warnings) Warn(w);
    // Layout units: the captions' scale for the frame, the same in every output (a script's
    // titles are laid out in output pixels).
    const float scale = script ? 1.0f : CaptionScale(style, frame.width, frame.height);
    frame.scale = scale;
    // Cues are drawn on transparent frames, or as layers blended over the video.
    frame.keepAlpha = true;
    // Every cue has the style: the first says whether its border or blur passes the library's limit.
    if (!titles.empty()) {
        Expected<TitlePlayer> first = TitlePlayer::FromDocument(titles[0].document, input + ": the caption style");
        if (first && first->Place(frame))
            for (const std::string& w : first->TakeWarnings()) Warn(w);
    }
    int total = duration > 0 ? static_cast<int>(std::lround(duration * fps)) : 0;
    if (duration <= 0)
        for (const CaptionTitle& t : titles) total = std::max(total, t.last + 1);
    if (over) {
        // Cues that start after the end of the video are left out; one that runs past it is drawn
        // as far as the video goes.
        const int clipFrames = job.ClipFrames();
        const size_t before = titles.size();
        titles.erase(std::remove_if(titles.begin(), titles.end(), [&](const CaptionTitle& t) { return t.first >= clipFrames; }),
                     titles.end());
        if (titles.size() < before)
            Warn(input + ": " + std::to_string(before - titles.size()) + " cues start after the end of " + *over +
                 " and are left out");
        if (titles.empty()) return Fail(input + ": no cue falls within " + *over);
        TitleSchedule schedule = CueSchedule(input, titles, frame, fps);
        return RunOverlayJob(job, schedule, interrupt);
    }
    if (total <= 0) return Fail(input + ": no cue to draw");

    if (mlt) {
        if (Status written = WriteMltProject(output, titles, frame.width, frame.height, fps, total, scale); !written)
            return Fail(written.Message());
        std::printf("wrote %s (%s, %s at %g fps)\n", output.c_str(), CountOf(static_cast<long>(titles.size()), "cue").c_str(),
                    CountOf(total, "frame").c_str(), fps);
        return kExitOk;
    }

    Expected<std::unique_ptr<FrameSink>> opened = OpenFrameSink(output, frame.width, frame.height, rate, true);
    if (!opened) return Fail(opened.Message());
    std::unique_ptr<FrameSink> sink = std::move(*opened);
    TitleSchedule schedule = CueSchedule(input, titles, frame, fps);
    const Image base(frame.width, frame.height);
    Progress progress(total, stderr, isatty(fileno(stderr)) != 0);
    const Status run = RunFrames(
        total, frame.width, frame.height,
        [&](int i, Image& image) {
            if (interrupt.Received()) return Status(Failure("interrupted"));
            image = base;
            return schedule.DrawAt(i / fps, image);
        },
        *sink, &progress);
    if (interrupt.Received()) {
        sink.reset();
        std::fprintf(stderr, "qeltitle: interrupted\n");
        return interrupt.ExitStatus();
    }
    if (!run) return Fail(run.Message());
    char details[96];
    std::snprintf(details, sizeof details, "%s, %dx%d, %g fps", CountOf(static_cast<long>(titles.size()), "cue").c_str(),
                  frame.width, frame.height, fps);
    std::printf("wrote %s\n", sink->Describe(details).c_str());
    return kExitOk;
}

}  // namespace qeltitle
