// build and export: titles written as JSON, made into title files and back.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <pugixml.hpp>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "media/Output.h"
#include "player/SafeFile.h"
#include "player/StyleLimits.h"
#include "player/TitleFiles.h"
#include "authoring/TitleJson.h"
#include "player/TitleMeta.h"

namespace qeltitle {

Expected<std::string> ReadInput(const std::string& path) {
    if (path == "-") {
        std::string bytes(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>{});
        if (std::cin.bad()) return Failure("cannot read standard input");
        return bytes;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure("cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return Failure("cannot read " + path + ": " + std::strerror(errno));
    return text.str();
}

Status WriteOutput(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
            return Failure(std::string("cannot write standard output: ") + std::strerror(errno));
        return {};
    }
    const Status made = CreateParentFolders(path);
    std::string error;
    if (!made || !WriteWholeFile(path, bytes, error))
        return Failure("cannot write " + path + ": " + (made ? error : made.Message()));
    return {};
}

int RunBuild(const std::vector<std::string>& args) {
    ArgParser parser("build TITLE.json -o TITLE.xml",
                     "Makes a title file from a title written as JSON ('-' reads standard input, -o - writes\n"
                     "standard output). doc/json.md describes the fields; 'qeltitle export' writes any title\n"
                     "as JSON.");
    parser.Option("-o, --output", "FILE", "the title file to write (replaced if it exists)");
    parser.Epilog("example:\n"
                  "  echo '{\"strings\": [{\"text\": \"Hello\", \"anchor\": \"bottom\", \"margin\": 80}]}' | "
                  "qeltitle build - -o hello.xml");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("build", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 1) return UsageError("build", "expected one JSON file (or - for standard input)");
    if (!parser.Has("output")) return UsageError("build", "missing -o TITLE.xml");
    const std::string input = parser.Positionals()[0], output = *parser.Value("output");
    if (Status checked = output == "-" ? Status() : CheckOutputExtension(output, ".xml", "titles (XML)", "cannot write ");
        !checked)
        return Fail(checked.Message());
    Expected<std::string> read = ReadInput(input);
    if (!read) return Fail(read.Message());
    const std::string& text = *read;
    Expected<HostPtr> made = NewHost();
    if (!made) return Fail(made.Message());
    qel::ITitleHost* host = made->get();
    TitleExtras extras;
    std::vector<std::string> warnings;
    if (!BuildTitleFromJson(*host, text, input == "-" ? "<stdin>" : input, extras, warnings, error)) return Fail(error);
    for (const std::string& w : warnings) Warn(w);
    for (const std::string& w : StyleLimitWarnings(*host, -1, 1.0f)) Warn(w);
    // The length and design frame go into the title file as its root element's attributes.
    TitleMeta meta;
    meta.length = extras.length;
    if (extras.frame) meta.frame = DesignFrame{extras.frame->width, extras.frame->height};
    meta.anchors = FormatAnchors(extras.anchors);
    meta.fitOutput = extras.fitOutput;
    Expected<std::string> bytes = TitleDocument(*host, &meta);
    if (!bytes) return Fail("cannot save title: " + output + ": " + bytes.Message());
    if (Status written = WriteOutput(output, *bytes); !written) return Fail(written.Message());
    if (output != "-") std::printf("wrote %s (%s)\n", output.c_str(), CountOf(host->GetStringCount(), "string").c_str());
    return kExitOk;
}

int RunExport(const std::vector<std::string>& args) {
    ArgParser parser("export TITLE.xml -o TITLE.json",
                     "Writes a title as JSON, which 'qeltitle build' makes into the same title again\n"
                     "('-' reads standard input, -o - writes standard output).");
    parser.Option("-o, --output", "FILE", "the JSON file to write (replaced if it exists)");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("export", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() != 1) return UsageError("export", "expected one title file (or - for standard input)");
    if (!parser.Has("output")) return UsageError("export", "missing -o TITLE.json");
    const std::string input = parser.Positionals()[0], output = *parser.Value("output");
    if (Status checked = output == "-" ? Status() : CheckOutputExtension(output, ".json", "JSON titles", "cannot write ");
        !checked)
        return Fail(checked.Message());
    Expected<HostPtr> made = NewHost();
    if (!made) return Fail(made.Message());
    qel::ITitleHost* host = made->get();
    TitleMeta meta;
    std::string warning;
    if (input == "-") {
        Expected<std::string> read = ReadInput(input);
        if (!read) return Fail(read.Message());
        const std::string& bytes = *read;
        if (Status loaded = LoadTitleText(*host, bytes, "<stdin>"); !loaded) return Fail(loaded.Message());
        // The length and frame from the root element's attributes.
        ReadTitleMetaText(bytes, "<stdin>", meta, warning);
    } else if (Status loaded = LoadTitle(*host, input, meta, warning); !loaded) {
        return Fail(loaded.Message());
    }
    if (!warning.empty()) Warn(warning);
    TitleExtras extras;
    extras.length = meta.length;
    if (meta.frame) extras.frame = FrameSize{meta.frame->width, meta.frame->height};
    extras.anchors = ParseAnchors(meta.anchors);
    extras.fitOutput = meta.fitOutput;
    std::string json;
    if (!ExportTitleToJson(*host, extras, json, error)) return Fail("cannot export " + input + ": " + error);
    if (Status written = WriteOutput(output, json); !written) return Fail(written.Message());
    if (output != "-") std::printf("wrote %s (%s)\n", output.c_str(), CountOf(host->GetStringCount(), "string").c_str());
    return kExitOk;
}

}  // namespace qeltitle
