// fill and batch: titles made from a template with named fields ({{name}}), one from values on
// the command line, or one per row of a CSV or JSON table; each written as a title file, a JSON
// title, a PNG still or frames, or a video.
//
// A row either gives its whole output or nothing: its values are checked and the title built
// before anything is written, and every file goes through the safe writers (a video is renamed
// into place only once complete). A row that fails is named with the field at fault, the other
// rows are still made, and the exit status is 1 when any failed.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "authoring/DataRows.h"
#include "authoring/KeyFrames.h"
#include "authoring/Template.h"
#include "commands/Args.h"
#include "commands/Commands.h"
#include "commands/Interrupt.h"
#include "commands/Options.h"
#include "media/FrameLoop.h"
#include "media/Output.h"
#include "media/Png.h"
#include "player/SafeFile.h"
#include "player/TitlePlayer.h"

namespace qeltitle {

namespace {

enum class OutputKind { Title, Json, Still, Frames, Video };

bool EndsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

OutputKind KindOf(const std::string& output) {
    if (EndsWith(output, ".xml")) return OutputKind::Title;
    if (EndsWith(output, ".json")) return OutputKind::Json;
    if (IsFramePattern(output)) return OutputKind::Frames;
    if (EndsWith(output, ".png")) return OutputKind::Still;
    return OutputKind::Video;
}

// How pictures and videos are drawn: from the command line, the rest from each title.
struct DrawSettings {
    std::optional<FrameSize> size;  // default: the title's design frame
    FrameRate fps{static_cast<long>(kDefaultFps), 1};
    std::optional<double> duration;  // default: the title's length
    std::optional<double> time;      // a still's; default: every string at rest
    Background background;           // default: transparent
    int threads = 0;
    int cacheMb = -1;
};

Status WriteBytes(const std::string& output, const std::string& bytes) {
    if (Status made = CreateParentFolders(output); !made) return made;
    std::string error;
    if (!WriteWholeFile(output, bytes, error)) return Failure("cannot write " + output + ": " + error);
    return {};
}

// Removes the frames a failed row wrote: a row gives its whole output or none.
void RemoveFrames(const std::string& pattern, int count) {
    std::error_code ignored;
    for (int i = 0; i < count; ++i) std::filesystem::remove(FormatFramePattern(pattern, i), ignored);
}

Status WritePictures(FilledTitle& title, const std::string& output, OutputKind kind, const DrawSettings& settings,
                     const InterruptWatch& interrupt) {
    const DesignFrame design = title.meta.frame.value_or(DesignFrame{});
    PlayerFrame frame;
    frame.width = settings.size ? settings.size->width : design.width;
    frame.height = settings.size ? settings.size->height : design.height;
    frame.keepAlpha = settings.background.kind == Background::Kind::Transparent;
    frame.threads = settings.threads;
    frame.cacheMb = settings.cacheMb;
    if (kind == OutputKind::Video) {
        if (Status encodable = CheckEncodableSize(output, frame.width, frame.height); !encodable) return encodable;
        if (frame.keepAlpha)
            if (Expected<std::string> alpha = CheckAlphaOutput(output); !alpha)
                return Failure(alpha.Message() + " (or give --background)");
    }
    if (Status made = CreateParentFolders(output); !made) return made;
    TitlePlayer player(std::move(title.host), output, title.meta);
    if (Status placed = player.Place(frame); !placed) return placed;
    for (const std::string& w : player.TakeWarnings()) title.warnings.push_back(w);
    const Image base = BackgroundFrame(settings.background, frame.width, frame.height);
    if (kind == OutputKind::Still) {
        if (std::string error; !settings.time && !PoseAtRest(player.Host(), error)) return Failure(error);
        Image image;
        if (Status drawn = player.Draw(base, settings.time.value_or(1.0), image); !drawn) return drawn;
        if (Status written = WritePng(output, image, frame.keepAlpha, PngKind::Still); !written)
            return Failure("cannot write " + output + ": " + written.Message());
        return {};
    }
    const double seconds = settings.duration.value_or(player.Length());
    const int count = static_cast<int>(std::max(1L, std::lround(seconds * settings.fps.Value())));
    Expected<std::unique_ptr<FrameSink>> opened = OpenFrameSink(output, frame.width, frame.height, settings.fps, frame.keepAlpha);
    if (!opened) return opened.ToStatus();
    std::unique_ptr<FrameSink> sink = std::move(*opened);
    int drawnFrames = 0;
    Status run = RunFrames(
        count, frame.width, frame.height,
        [&](int i, Image& image) {
            if (interrupt.Received()) return Status(Failure("interrupted"));
            Status drawn = player.Draw(base, AnimationFrameTime(i, count), image);
            drawnFrames = i + 1;
            return drawn;
        },
        *sink, nullptr);
    if (run) return {};
    sink.reset();  // a video's temporary file goes with it
    if (kind == OutputKind::Frames) RemoveFrames(output, drawnFrames);
    return run;
}

Status WriteRow(FilledTitle& title, const std::string& output, const DrawSettings& settings,
                const InterruptWatch& interrupt) {
    switch (const OutputKind kind = KindOf(output)) {
        case OutputKind::Title: {
            Expected<std::string> bytes = TitleDocument(*title.host, &title.meta);
            if (!bytes) return Failure("cannot save title: " + output + ": " + bytes.Message());
            return WriteBytes(output, *bytes);
        }
        case OutputKind::Json:
            return WriteBytes(output, DumpReadable(title.json));
        default:
            return WritePictures(title, output, kind, settings, interrupt);
    }
}

// The options fill and batch share.
void DeclareFillOptions(ArgParser& parser) {
    parser.Option("--fit", "RULE", "a filled string longer than the design allows: shrink (its sizes together,\n"
                                   "to half at most), fail (the row fails) or off (as it is, with a warning)\n"
                                   "(default shrink)");
    DeclareSize(parser, "frame size of pictures and videos (default: the title's design frame)");
    DeclareFps(parser);
    DeclareDuration(parser, "length of a video or frame sequence (default: the title's length, else 4)");
    parser.Option("--time", "T", "title time from 0 to 1 of a PNG still (default: every string at rest)");
    parser.Option("--background", "BG", "#RRGGBB, a PNG picture (scaled to the frame) or 'transparent'\n"
                                        "(default transparent: PNG, .mov ProRes 4444 and .webm VP9 keep alpha)");
    DeclareThreads(parser);
}

const char* const kOutputHelp =
    "OUT by its name: .xml a title file, .json a JSON title, .png a still, frames/%04d.png\n"
    "frames, .mov (ProRes 4444 with alpha), .webm (VP9 with alpha) or another video.";

// The settings of DeclareFillOptions, or a usage message.
Expected<DrawSettings> ReadSettings(const ArgParser& parser) {
    DrawSettings settings;
    OptionReader read(parser);
    settings.size = read.Size();
    if (const auto fps = read.Fps()) settings.fps = *fps;
    settings.duration = read.Duration();
    settings.threads = read.Threads();
    settings.cacheMb = read.CacheMb();
    if (const Status& status = read.Result(); !status) return Failure(status.Message());
    if (const auto t = parser.Value("time")) {
        double time = 0;
        std::string error;
        if (!ParseNumber(*t, 0, 1, time, error)) return Failure("--time: " + error);
        settings.time = time;
    }
    Expected<Background> background = ParseBackground(parser.Value("background").value_or("transparent"));
    if (!background) return Failure("--background: " + background.Message());
    settings.background = std::move(*background);
    return settings;
}

// One row's run: what it fills the template with and where it goes.
struct RowJob {
    std::string where;  // "row 3 (line 5)"; empty for `fill`
    FieldValues values;
    std::string problem;  // the row cannot be used: why
};

// What fill and batch share: the template, the output pattern and the drawing settings.
class Filler {
public:
    Filler(const TitleTemplate& t, FitRule fit, DrawSettings settings)
        : template_(t), fit_(fit), settings_(std::move(settings)) {}

    // Fields the template has, or the output's name uses.
    bool Known(const std::string& name, const std::vector<std::string>& nameFields) const {
        return template_.HasField(name) || std::find(nameFields.begin(), nameFields.end(), name) != nameFields.end();
    }
    // Makes one row's output; the message names the field at fault. `output` is the row's name.
    Status Run(const RowJob& job, const std::string& output, const InterruptWatch& interrupt,
               std::vector<std::string>& warnings) const {
        if (!job.problem.empty()) return Failure(job.problem);
        Expected<FilledTitle> title = template_.Fill(job.values, fit_);
        if (!title) return Failure(title.Message());
        Status written = WriteRow(*title, output, settings_, interrupt);
        warnings = std::move(title->warnings);
        return written;
    }

private:
    const TitleTemplate& template_;
    FitRule fit_;
    DrawSettings settings_;
};

std::string Prefixed(const std::string& where, const std::string& message) {
    return where.empty() ? message : where + ": " + message;
}

// Checks the output's name pattern for its extension before anything is made.
Status CheckOutputPattern(const std::string& pattern) {
    if (KindOf(pattern) == OutputKind::Frames) return CheckFramePattern(pattern).Context("-o: ");
    return {};
}

std::string FieldList(const TitleTemplate& t) {
    std::string list;
    for (const std::string& f : t.Fields()) list += (list.empty() ? "" : ", ") + f;
    return list;
}

}  // namespace

int RunFill(const std::vector<std::string>& args) {
    ArgParser parser("fill TEMPLATE --set FIELD=VALUE ... -o OUT [options]",
                     "Fills the named fields ({{name}}) of a template, a title file or JSON title, with\n"
                     "the values given, and writes the title, a picture or a video.\n" +
                         std::string(kOutputHelp));
    parser.Option("-o, --output", "OUT", "where the filled title goes (replaced if it exists)");
    parser.Option("--set", "FIELD=VALUE", "a field's value (once per field; \\n starts a new line)");
    DeclareFillOptions(parser);
    parser.Epilog("examples:\n"
                  "  qeltitle fill lower.json --set name='Jane Doe' --set role='Reporter' -o jane.xml\n"
                  "  qeltitle fill lower.xml --set name='Jane Doe' --set role='Reporter' -o jane.mov");
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("fill", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 1) return UsageError("fill", "expected one template (a title file or JSON title)");
    if (!parser.Has("output")) return UsageError("fill", "missing -o OUT");
    const std::string output = *parser.Value("output");
    Expected<FitRule> fit = ParseFitRule(parser.Value("fit").value_or("shrink"));
    if (!fit) return UsageError("fill", "--fit: " + fit.Message());
    Expected<DrawSettings> settings = ReadSettings(parser);
    if (!settings) return UsageError("fill", settings.Message());
    if (Status ok = CheckOutputPattern(output); !ok) return UsageError("fill", ok.Message());

    RowJob job;
    for (const std::string& set : parser.Values("set")) {
        const size_t equals = set.find('=');
        if (equals == std::string::npos || equals == 0) return UsageError("fill", "--set: expected FIELD=VALUE, got '" + set + "'");
        const std::string name = set.substr(0, equals);
        for (const auto& [seen, value] : job.values)
            if (seen == name) return UsageError("fill", "--set: field " + name + " is given twice");
        // "\n" starts a new line, as in `text`; "\\" is a backslash.
        std::string value;
        for (size_t i = equals + 1; i < set.size(); ++i) {
            if (set[i] == '\\' && i + 1 < set.size() && (set[i + 1] == 'n' || set[i + 1] == '\\'))
                value += set[++i] == 'n' ? '\n' : '\\';
            else
                value += set[i];
        }
        job.values.emplace_back(name, value);
    }
    Expected<TitleTemplate> loaded = TitleTemplate::Load(parser.Positionals()[0]);
    if (!loaded) return Fail(loaded.Message());
    for (const auto& [name, value] : job.values)
        if (!loaded->HasField(name))
            return UsageError("fill", "--set: field " + name + " is not in the template (its fields: " +
                                          FieldList(*loaded) + ")");
    Expected<std::string> name = OutputName(output, job.values);
    if (!name) return Fail(name.Message());
    const Filler filler(*loaded, *fit, std::move(*settings));
    const InterruptWatch interrupt;
    std::vector<std::string> warnings;
    const Status made = filler.Run(job, *name, interrupt, warnings);
    for (const std::string& w : warnings) Warn(w);
    if (interrupt.Received()) return interrupt.ExitStatus();
    if (!made) return Fail(made.Message());
    std::printf("wrote %s\n", name->c_str());
    return kExitOk;
}

namespace {

// The row's job: its values less the columns left out, and the first problem with it.
RowJob JobFor(const DataRow& row, const Filler& filler, const std::vector<std::string>& nameFields,
              const TitleTemplate& t, bool ignoreExtra) {
    RowJob job;
    job.where = row.Where();
    job.problem = row.problem;
    for (const auto& [name, value] : row.values) {
        if (filler.Known(name, nameFields)) {
            job.values.emplace_back(name, value);
        } else if (!ignoreExtra && job.problem.empty()) {
            job.problem = "field " + name + ": not in the template (its fields: " + FieldList(t) +
                          "; --ignore-extra leaves such fields out)";
        }
    }
    return job;
}

// A row count and its progress as a bar on a terminal (nothing otherwise: each row says what it
// wrote).
class RowProgress {
public:
    RowProgress(int total, bool shown) : total_(total), shown_(shown) {}
    void Show(int done) const {
        if (!shown_) return;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double rate = elapsed > 0 ? done / elapsed : 0.0;
        std::fprintf(stderr, "\r%s\x1b[K", FormatProgress(done, total_, rate, rate > 0 ? (total_ - done) / rate : 0, 30,
                                                          "rows", "rows/s").c_str());
        std::fflush(stderr);
    }
    // Clears the bar before a line of text.
    void Clear() const {
        if (shown_) std::fprintf(stderr, "\r\x1b[K");
    }

private:
    int total_;
    bool shown_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int RunBatch(const std::vector<std::string>& args) {
    ArgParser parser("batch TEMPLATE DATA.csv|DATA.json -o 'out/{name}.mov' [options]",
                     "Makes one output per row of a table: the named fields ({{name}}) of the template, a\n"
                     "title file or JSON title, filled from the row's columns (CSV with a header row) or\n"
                     "members (a JSON array of objects). {FIELD} in OUT is the row's value, made safe as a\n"
                     "file name. A row that fails writes nothing and is named with the field at fault; the\n"
                     "other rows are still made, and the exit status is 1 when any failed.\n" +
                         std::string(kOutputHelp));
    parser.Option("-o, --output", "OUT", "each row's output, named by its fields: out/{name}.mov");
    parser.Option("--rows", "A:B", "only rows A to B (from 1; B may pass the last row): to split a table\n"
                                   "over machines");
    parser.Flag("--ignore-extra", "leave out columns the template does not have (default: the row fails)");
    DeclareFillOptions(parser);
    parser.Epilog("examples:\n"
                  "  qeltitle batch lower.json people.csv -o 'out/{name}.mov'\n"
                  "  qeltitle batch lower.xml people.json -o 'titles/{name}.xml'\n"
                  "  parallel qeltitle batch lower.json people.csv -o 'out/{name}.webm' --rows {} ::: 1:50 51:100");
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("batch", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 2) return UsageError("batch", "expected a template and a table (CSV or JSON)");
    if (!parser.Has("output")) return UsageError("batch", "missing -o OUT");
    const std::string pattern = *parser.Value("output");
    Expected<FitRule> fit = ParseFitRule(parser.Value("fit").value_or("shrink"));
    if (!fit) return UsageError("batch", "--fit: " + fit.Message());
    Expected<DrawSettings> settings = ReadSettings(parser);
    if (!settings) return UsageError("batch", settings.Message());
    RowRange range;
    if (const auto rows = parser.Value("rows")) {
        Expected<RowRange> parsed = ParseRowRange(*rows);
        if (!parsed) return UsageError("batch", "--rows: " + parsed.Message());
        range = *parsed;
    }
    Expected<std::vector<std::string>> nameFields = OutputFields(pattern);
    if (!nameFields) return UsageError("batch", nameFields.Message());
    if (Status ok = CheckOutputPattern(pattern); !ok) return UsageError("batch", ok.Message());

    Expected<TitleTemplate> loaded = TitleTemplate::Load(parser.Positionals()[0]);
    if (!loaded) return Fail(loaded.Message());
    Expected<DataTable> table = ReadDataFile(parser.Positionals()[1]);
    if (!table) return Fail(table.Message());
    // Every row needs its own name.
    if (nameFields->empty() && table->rows.size() > 1)
        return UsageError("batch", "-o needs a {FIELD} to give each row its own output (such as out/{name}.mov)");
    const Filler filler(*loaded, *fit, std::move(*settings));
    const bool ignoreExtra = parser.Has("ignore-extra");

    // The names of all rows, those outside --rows too, so that runs on several machines cannot
    // overwrite each other's outputs.
    std::vector<RowJob> jobs;
    std::vector<std::string> names(table->rows.size());
    std::map<std::string, int> firstUse;
    for (size_t i = 0; i < table->rows.size(); ++i) {
        RowJob job = JobFor(table->rows[i], filler, *nameFields, *loaded, ignoreExtra);
        if (Expected<std::string> name = OutputName(pattern, job.values)) {
            names[i] = *name;
            // A row that cannot be made claims no name.
            const auto [first, inserted] =
                job.problem.empty() ? firstUse.emplace(*name, table->rows[i].number) : std::pair{firstUse.end(), true};
            if (!inserted)
                job.problem = *name + " is also row " + std::to_string(first->second) + "'s output (give -o a field that differs)";
        } else if (job.problem.empty()) {
            job.problem = name.Message();
        }
        jobs.push_back(std::move(job));
    }
    std::vector<size_t> chosen;
    for (size_t i = 0; i < table->rows.size(); ++i)
        if (range.Contains(table->rows[i].number)) chosen.push_back(i);
    if (chosen.empty()) {
        std::printf("no rows to make (%s in %s)\n", CountOf(static_cast<long>(table->rows.size()), "row").c_str(),
                    parser.Positionals()[1].c_str());
        return kExitOk;
    }

    const InterruptWatch interrupt;
    const RowProgress progress(static_cast<int>(chosen.size()), isatty(fileno(stderr)) != 0);
    std::vector<std::string> failed;
    int done = 0;
    progress.Show(0);
    for (const size_t i : chosen) {
        if (interrupt.Received()) break;
        std::vector<std::string> warnings;
        const Status made = filler.Run(jobs[i], names[i], interrupt, warnings);
        progress.Clear();
        for (const std::string& w : warnings) Warn(jobs[i].where + ": " + w);
        if (interrupt.Received()) break;
        if (made) {
            std::printf("wrote %s (row %d)\n", names[i].c_str(), table->rows[i].number);
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "qeltitle: %s\n", Prefixed(jobs[i].where, made.Message()).c_str());
            failed.push_back("row " + std::to_string(table->rows[i].number));
        }
        progress.Show(++done);
    }
    progress.Clear();
    if (interrupt.Received()) {
        std::fprintf(stderr, "qeltitle: interrupted after %s; the outputs written are complete\n",
                     CountOf(done, "row").c_str());
        return interrupt.ExitStatus();
    }
    const int total = static_cast<int>(chosen.size());
    if (failed.empty()) {
        std::printf("%s made\n", CountOf(total, "row").c_str());
        return kExitOk;
    }
    std::string list;
    for (size_t k = 0; k < failed.size() && k < 10; ++k) list += (k ? ", " : "") + failed[k];
    if (failed.size() > 10) list += ", ...";
    return Fail(std::to_string(total - static_cast<int>(failed.size())) + " of " + CountOf(total, "row") +
                " made; " + std::to_string(failed.size()) + " failed (" + list + ")");
}

}  // namespace qeltitle
