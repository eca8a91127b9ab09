// lower-third: a name and a role as one title, in one of a few looks, laid out for the frame.
#include <cstdio>

#include "authoring/LowerThird.h"
#include "authoring/Template.h"
#include "commands/Args.h"
#include "commands/Commands.h"
#include "media/Output.h"
#include "player/SafeFile.h"
#include "player/TitleFiles.h"
#include "player/Timing.h"

namespace qeltitle {

namespace {

// The options into a spec, or the usage message.
Expected<LowerThirdSpec> ReadSpec(const ArgParser& parser) {
    LowerThirdSpec spec;
    std::string error;
    if (const auto v = parser.Value("style")) {
        Expected<LowerThirdStyle> style = ParseLowerThirdStyle(*v);
        if (!style) return Failure("--style: " + style.Message());
        spec.style = *style;
    }
    if (const auto v = parser.Value("frame")) {
        FrameSize size;
        if (!ParseFrameSize(*v, size, error)) return Failure("--frame: " + error);
        spec.frame = {size.width, size.height};
    }
    if (const auto v = parser.Value("anchor")) {
        Expected<Anchor> anchor = ParseAnchor(*v);
        if (!anchor) return Failure("--anchor: " + anchor.Message());
        spec.anchor = *anchor;
    }
    if (const auto v = parser.Value("margin")) {
        Expected<Margin> margin = ParseMargin(*v);
        if (!margin) return Failure("--margin: " + margin.Message());
        spec.margin = *margin;
    }
    if (const auto v = parser.Value("size")) {
        double size = 0;
        if (!ParseNumber(*v, 1, 4096, size, error)) return Failure("--size: " + error);
        spec.nameSize = static_cast<float>(size);
    }
    if (const auto v = parser.Value("length")) {
        const Expected<double> seconds = ParseSeconds(*v, kMaxTitleSeconds);
        if (!seconds) return Failure("--length: " + seconds.Message());
        if (*seconds < 1) return Failure("--length: a lower third needs at least 1 second to come and go");
        spec.length = *seconds;
    }
    spec.font = parser.Value("font").value_or("");
    return spec;
}

}  // namespace

int RunLowerThird(const std::vector<std::string>& args) {
    ArgParser parser("lower-third NAME [ROLE] -o TITLE.xml [options]",
                     "Makes a name-and-role title: the name over a smaller role, as one block aligned on\n"
                     "its anchored side, that comes in and goes out, sized and placed for the frame's\n"
                     "shape (landscape or portrait). A name too long for the frame shrinks the block.\n"
                     "'{{name}}' and '{{role}}' as NAME and ROLE keep the fields: a template for 'batch'.");
    parser.Option("-o, --output", "FILE", "the title (.xml) or JSON title (.json) to write (replaced if it exists)");
    parser.Option("--style", "LOOK", "clean, news, bold or minimal (default clean)");
    parser.Option("--frame", "WxH", "the frame the title is laid out for (default 1920x1080; portrait such as\n"
                                    "1080x1920 sets the block higher, clear of phone apps' buttons)");
    parser.Option("--anchor", "POS", "where the block goes: bottom-left (default), bottom-right, top-left, ...;\n"
                                     "its lines align on that side");
    parser.Option("--margin", "X[,Y]", "distance from the frame's edges (default: the title-safe area)");
    parser.Option("--size", "N", "the name's em height (default: 6% of the frame's short side); the role is\n"
                                 "sized from it");
    parser.Option("--length", "SECONDS", "the title's length, in and out included (default 5)");
    parser.Option("--font", "FACE", "font family (default: the library's default face)");
    parser.Epilog("examples:\n"
                  "  qeltitle lower-third 'Jane Doe' 'Reporter, Lagos' -o jane.xml --style news\n"
                  "  qeltitle lower-third 'Jane Doe' 'Reporter' -o jane.xml --frame 1080x1920 --length 4\n"
                  "  qeltitle lower-third '{{name}}' '{{role}}' -o lower.json && "
                  "qeltitle batch lower.json people.csv -o 'out/{name}.mov'");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("lower-third", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    const auto& names = parser.Positionals();
    if (names.empty() || names.size() > 2) return UsageError("lower-third", "expected a NAME and an optional ROLE");
    if (!parser.Has("output")) return UsageError("lower-third", "missing -o TITLE.xml");
    const std::string output = *parser.Value("output");
    const bool json = output.size() > 5 && output.compare(output.size() - 5, 5, ".json") == 0;
    if (Status checked = json ? Status() : CheckOutputExtension(output, ".xml", "titles (XML) or JSON titles (.json)", "cannot write ");
        !checked)
        return Fail(checked.Message());
    Expected<LowerThirdSpec> spec = ReadSpec(parser);
    if (!spec) return UsageError("lower-third", spec.Message());
    spec->withRole = names.size() == 2;

    // The look is a template; the names fill it, so a long one shrinks the block as in `batch`.
    Expected<TitleTemplate> made = TitleTemplate::FromJson(LowerThirdTemplate(*spec).dump(), "lower-third");
    if (!made) return Fail(made.Message());
    FieldValues values = {{"name", names[0]}};
    if (spec->withRole) values.emplace_back("role", names[1]);
    Expected<FilledTitle> title = made->Fill(values, FitRule::Shrink);
    if (!title) return Fail(title.Message());
    for (const std::string& w : title->warnings) Warn(w);
    std::string bytes;
    if (json) {
        bytes = DumpReadable(title->json);
    } else {
        Expected<std::string> document = TitleDocument(*title->host, &title->meta);
        if (!document) return Fail("cannot save title: " + output + ": " + document.Message());
        bytes = std::move(*document);
    }
    if (Status folders = CreateParentFolders(output); !folders) return Fail(folders.Message());
    if (!WriteWholeFile(output, bytes, error)) return Fail("cannot write " + output + ": " + error);
    std::printf("wrote %s (%s, %s)\n", output.c_str(), FormatDesignFrame(spec->frame).c_str(),
                FormatSeconds(spec->length).c_str());
    return kExitOk;
}

}  // namespace qeltitle
