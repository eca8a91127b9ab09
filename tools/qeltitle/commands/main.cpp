// qeltitle: makes, inspects, renders and animates titles with libQEL_Title2.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "commands/DebugLines.h"

// The library hands its debug lines (layout dump, load and save failures) to this function when
// the executable defines it.
extern "C" __attribute__((visibility("default"))) void QelDebugOutput(const char* line) {
    qeltitle::DeliverDebugLine(line);
}

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
    const char* summary;
};

constexpr Command kCommands[] = {
    {"overlay", qeltitle::RunOverlay, "titles drawn over a video, in one command"},
    {"render", qeltitle::RunRender, "one frame of a title as a PNG"},
    {"animate", qeltitle::RunAnimate, "a title from time 0 to 1 as PNG frames or a video"},
    {"text", qeltitle::RunText, "make a title file from a text and a style"},
    {"effects", qeltitle::RunEffects, "list the animation effects"},
    {"gallery", qeltitle::RunGallery, "a contact sheet of every effect"},
    {"info", qeltitle::RunInfo, "strings, fonts, faces and key frames of a title"},
    {"dump", qeltitle::RunDump, "the layout of every string of a title"},
    {"demo", qeltitle::RunDemo, "render the built-in demo title"},
    {"build", qeltitle::RunBuild, "make a title file from a title written as JSON"},
    {"export", qeltitle::RunExport, "write a title file as JSON"},
    {"captions", qeltitle::RunCaptions, "animated captions from a subtitle file"},
    {"lower-third", qeltitle::RunLowerThird, "a name-and-role title in one command"},
    {"fill", qeltitle::RunFill, "a title from a template with its fields ({{name}}) filled in"},
    {"batch", qeltitle::RunBatch, "one title, picture or video per row of a CSV or JSON table"},
    {"serve", qeltitle::RunServe, "the title designer in the browser"},
};

void PrintUsage(std::FILE* stream) {
    std::fprintf(stream, "usage: qeltitle COMMAND [options]   (qeltitle COMMAND --help for details)\n"
                         "       qeltitle --version\n\n"
                         "Makes, inspects, renders and animates titles, and draws them and captions over video.\n\n"
                         "commands:\n");
    for (const Command& c : kCommands) std::fprintf(stream, "  %-11s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") return qeltitle::PrintVersion();
    // A write beyond the file size limit must fail with EFBIG and a message, not end the process
    // halfway; a reader that went away (ffmpeg, the other end of a FIFO) is an EPIPE write error.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : kCommands) {
        if (name != c.name) continue;
        // Frames are as large as the command line asks; running out of memory is a message.
        try {
            return c.run(args);
        } catch (const std::bad_alloc&) {
            return qeltitle::Fail("out of memory (try a smaller --size)");
        } catch (const std::exception& e) {
            return qeltitle::Fail(e.what());
        }
    }
    std::fprintf(stderr, "qeltitle: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}
