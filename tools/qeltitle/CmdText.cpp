// text: makes a title of one styled string with the library's editing operations and saves it.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "Args.h"
#include "Commands.h"
#include "Effects.h"
#include "KeyFrames.h"
#include "TextOptions.h"
#include "TitleFiles.h"

namespace qeltitle {
namespace {

// Checks an effect name against the catalogue; suggests the likely intended one.
bool CheckEffect(const std::vector<EffectInfo>& offered, const std::string& name, std::string& error) {
    for (const EffectInfo& e : offered)
        if (e.pathId == name) return true;
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!upper.starts_with("PATH_")) upper = "PATH_" + upper;
    error = "unknown effect '" + name + "'";
    for (const EffectInfo& e : offered)
        if (e.pathId == upper) error += " (did you mean " + upper + "?)";
    error += "; 'qeltitle effects' lists them";
    return false;
}

}  // namespace

int RunText(const std::vector<std::string>& args) {
    TextOptions options;
    std::string error;
    switch (ParseTextOptions(args, options, error)) {
        case ParseOutcome::Help:
            std::printf("%s", error.c_str());
            return kExitOk;
        case ParseOutcome::BadUsage:
            return UsageError("text", error);
        case ParseOutcome::Run:
            break;
    }
    const std::string& effect = options.effect;
    const std::string& then = options.then;
    const std::string& output = options.output;
    const StringStyle& style = options.style;

    HostPtr host = NewHost(error);
    if (!host) return Fail(error);
    if (!effect.empty()) {
        const std::vector<EffectInfo> offered = OfferedEffects(*host, 1);
        if (!CheckEffect(offered, effect, error)) return UsageError("text", error);
        if (!then.empty() && !CheckEffect(offered, then, error)) return UsageError("text", error);
    }
    // Appending to a file that does not exist yet starts a new title.
    struct stat info {};
    if (options.append && stat(output.c_str(), &info) == 0 && !LoadTitle(*host, output, error)) return Fail(error);

    AddedString added;
    if (!AddStyledString(*host, options.text, style, added, error)) return Fail(error);
    if (added.fontSubstituted)
        Warn("font '" + style.font + "' is not installed; using '" + added.fontUsed + "'");
    if (!effect.empty() && !SetKeyFrames(*host, added.row, TextCommandSchedule(effect, then), error))
        return Fail(error);
    if (!SaveTitle(*host, output, error)) return Fail(error);
    std::printf("wrote %s (string %d: %d characters, font %s %g%s)\n", output.c_str(), added.row,
                static_cast<int>(options.text.size()), added.fontUsed.c_str(), style.size,
                effect.empty() ? "" : (", " + effect + (then.empty() ? "" : " then " + then)).c_str());
    return kExitOk;
}

}  // namespace qeltitle
