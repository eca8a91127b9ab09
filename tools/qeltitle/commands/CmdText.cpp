// text: makes a title of one styled string with the library's editing operations and saves it.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "authoring/Effects.h"
#include "authoring/KeyFrames.h"
#include "authoring/Language.h"
#include "media/Output.h"
#include "player/StyleLimits.h"
#include "authoring/TextOptions.h"
#include "authoring/TitleJson.h"
#include "player/TitleFiles.h"
#include "player/Timing.h"

namespace qeltitle {

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

    if (Status checked = CheckOutputExtension(output, ".xml", "titles (XML)", "cannot save title: "); !checked)
        return Fail(checked.Message());
    Expected<HostPtr> made = NewHost();
    if (!made) return Fail(made.Message());
    qel::ITitleHost* host = made->get();
    if (!effect.empty()) {
        const std::vector<EffectInfo> offered = OfferedEffects(*host, 1);
        if (!CheckEffectName(offered, effect, error)) return UsageError("text", error);
        if (!then.empty() && !CheckEffectName(offered, then, error)) return UsageError("text", error);
    }
    // Appending to a file that does not exist yet starts a new title. The title's length and
    // frame are the file's; a different one given now would change what its strings were timed
    // and placed for.
    TitleMeta meta;
    struct stat info {};
    if (options.append && stat(output.c_str(), &info) == 0) {
        std::string warning;
        if (Status loaded = LoadTitle(*host, output, meta, warning); !loaded) return Fail(loaded.Message());
        if (!warning.empty()) Warn(warning);
        if (options.evenLines && !SetTitleEvenLines(*host, *options.evenLines, error)) return Fail(error);
    }
    if (options.length) {
        if (meta.length && std::fabs(*meta.length - *options.length) > 1e-6)
            return UsageError("text", output + " is a title of " + FormatSeconds(*meta.length) +
                                          "; --length cannot change it for one string");
        meta.length = options.length;
    }
    StringStyle style = options.style;
    if (options.frameGiven && meta.frame &&
        !(*meta.frame == DesignFrame{style.frame.width, style.frame.height}))
        return UsageError("text", output + " is laid out for " + FormatDesignFrame(*meta.frame) +
                                      "; --frame cannot change it for one string");
    if (!meta.frame) meta.frame = DesignFrame{style.frame.width, style.frame.height};
    style.frame = {meta.frame->width, meta.frame->height};

    std::vector<KeyFrame> schedule;
    if (!effect.empty() && meta.length) {
        const double length = *meta.length;
        const double in = options.in.value_or(DefaultTransition(length));
        const std::string& exit = !then.empty() ? then : options.out ? effect : then;
        const double out = exit.empty() ? 0.0 : options.out.value_or(DefaultTransition(length));
        if (in + out > length)
            return UsageError("text", "the entrance (" + FormatSeconds(in) + ") and exit (" + FormatSeconds(out) +
                                          ") are longer than the title (" + FormatSeconds(length) + ")");
        schedule = TimedSchedule(effect, exit, length, in, out);
    } else if (!effect.empty()) {
        if (options.in || options.out) return UsageError("text", "--in and --out need --length");
        schedule = TextCommandSchedule(effect, then);
    }

    AddedString added;
    if (!AddStyledString(*host, options.text, style, added, error)) return Fail(error);
    if (added.fontSubstituted)
        Warn("font '" + style.font + "' is not installed; using '" + added.fontUsed + "'");
    if (added.outside) {
        char box[160];
        std::snprintf(box, sizeof box, "%.0f,%.0f to %.0f,%.0f", added.extent.left, added.extent.top,
                      added.extent.right, added.extent.bottom);
        Warn("string " + std::to_string(added.row) + " reaches outside the " + FormatDesignFrame(*meta.frame) +
             " frame (it covers " + box + "); --width wraps it, --size makes it smaller");
    }
    for (const std::string& w : StyleLimitWarnings(*host, added.row, 1.0f)) Warn(w);
    if (!schedule.empty() && !SetKeyFrames(*host, added.row, schedule, error)) return Fail(error);
    // Placed by anchor (or centred): the title file keeps how, for export.
    if (!style.at) {
        std::vector<AnchoredString> anchors = ParseAnchors(meta.anchors);
        anchors.push_back({added.row, style.anchor, style.margin.x, style.margin.y});
        meta.anchors = FormatAnchors(anchors);
    }
    if (options.fitOutput) {
        meta.fitOutput = *options.fitOutput;
    } else if (!options.append && !style.at && (style.anchor.x != 1 || style.anchor.y != 1)) {
        meta.fitOutput = true;  // a lower third or a bug stays in its corner of any frame
    }
    if (Status saved = SaveTitle(*host, output, &meta); !saved) return Fail(saved.Message());
    std::printf("wrote %s (string %d: %s, font %s %g%s)\n", output.c_str(), added.row,
                CountOf(host->GetCharCount(added.row), "character").c_str(), added.fontUsed.c_str(), style.size,
                effect.empty() ? "" : (", " + effect + (then.empty() ? "" : " then " + then)).c_str());
    return kExitOk;
}

}  // namespace qeltitle
