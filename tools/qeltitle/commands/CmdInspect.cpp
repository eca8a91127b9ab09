// effects, info and dump: what the catalogue offers and what a title file holds.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "commands/Commands.h"
#include "commands/Args.h"
#include "authoring/Effects.h"
#include "authoring/Text.h"
#include "player/TitleFiles.h"
#include "player/TitleMeta.h"
#include "player/Timing.h"

namespace qeltitle {

using namespace qel;

namespace {

std::string Hex(uint32_t modelColor) {
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", ModelColor(modelColor) & 0xFFFFFF);
    return text;
}

std::string Face(const FontSpec& font) {
    const char16_t* end = std::find(font.FaceName, font.FaceName + 32, u'\0');
    return Utf16ToUtf8(std::u16string(font.FaceName, end));
}

// Distinct records among the characters of a string, in order of first use.
template <typename Record, typename Getter>
std::vector<Record> Distinct(int count, Getter get) {
    std::vector<Record> found;
    for (int i = 0; i < count; ++i) {
        Record r{};
        if (!get(i, r)) continue;
        if (std::none_of(found.begin(), found.end(),
                         [&](const Record& f) { return std::memcmp(&f, &r, sizeof r) == 0; }))
            found.push_back(r);
    }
    return found;
}

std::string Plural(size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void PrintString(ITitleHost& host, int row) {
    const int count = host.GetCharCount(row);
    std::u16string text(static_cast<size_t>(count) + 1, u'\0');
    text.resize(static_cast<size_t>(std::max(0, host.GetText(row, text.data()))));
    StringAttrs attrs{};
    host.GetStringAttrs(row, &attrs);
    RectF box{};
    host.GetStringRect(row, &box);
    std::printf("string %d: \"%s\"\n", row, PrintableText(text).c_str());
    std::printf("  %s, %s, %s\n", Plural(count, "character").c_str(), Plural(host.GetLineCount(row), "line").c_str(),
                Plural(host.GetParagraphCount(row), "paragraph").c_str());
    std::printf("  box %g,%g size %gx%g, %s, rotated %g degrees\n", box.x, box.y, box.width, box.height,
                attrs.Vertical ? "vertical" : "horizontal", attrs.RotateDegree);
    // A vertical string's further columns run leftwards out of its box: say where the text is.
    if (attrs.Vertical) {
        std::optional<RectF> stands;
        for (int i = 0; i < count; ++i) {
            RectF c{};
            if (host.GetCharRect(row, i, &c, 0) != S_OK || c.width <= 0 || c.height <= 0) continue;
            if (!stands) {
                stands = c;
                continue;
            }
            const float right = std::max(stands->x + stands->width, c.x + c.width);
            const float bottom = std::max(stands->y + stands->height, c.y + c.height);
            stands->x = std::min(stands->x, c.x);
            stands->y = std::min(stands->y, c.y);
            stands->width = right - stands->x;
            stands->height = bottom - stands->y;
        }
        if (stands) std::printf("  text %g,%g size %gx%g\n", stands->x, stands->y, stands->width, stands->height);
    }
    // Key frames set the effect at every time; the stored one is then only the last one drawn.
    const int keys = host.GetKeyFrameCount(row);
    attrs.PathID[sizeof attrs.PathID - 1] = '\0';
    if (keys == 0)
        std::printf("  effect %s at progress %g\n", attrs.PathID[0] ? attrs.PathID : "(none: not drawn)",
                    attrs.PathProgress);
    std::printf("  %s%s", Plural(keys, "key frame").c_str(), keys > 0 ? " (they set the effect)" : "");
    float key = 0;
    PathValue value{};
    const char* separator = ":";
    for (HRESULT s = host.GetFirstKeyFrame(row, &key, &value); s == S_OK; s = host.GetNextKeyFrame(row, &key, &value)) {
        value.PathID[sizeof value.PathID - 1] = '\0';
        std::printf("%s %g %s %g", separator, key, value.PathID, value.PathProgress);
        separator = ",";
    }
    std::printf("\n");

    const auto fonts = Distinct<FontSpec>(count, [&](int i, FontSpec& r) { return host.GetCharFont(row, i, &r) == S_OK; });
    std::printf("  %s:", Plural(fonts.size(), "font").c_str());
    for (const FontSpec& f : fonts)
        std::printf(" [%s %g%s%s%s]", Face(f).c_str(), f.Size, f.Bold ? " bold" : "", (f.Italic & 0xFF) ? " italic" : "",
                    (f.CharSet & 0x100) ? " kerned" : "");
    std::printf("\n");

    const auto faces = Distinct<MetaFace>(count, [&](int i, MetaFace& r) { return host.GetCharFace(row, i, &r) == S_OK; });
    std::printf("  %s:", Plural(faces.size(), "face").c_str());
    for (const MetaFace& f : faces)
        std::printf(" [%s%s %s gradient %d alpha %u blur %d]", (f.Enable & 0xFF) ? "" : "off ", Hex(f.Color1).c_str(),
                    Hex(f.Color2).c_str(), f.GradType, f.Alpha & 0xFF, f.BlurRadius);
    std::printf("\n");

    const auto borders = Distinct<MetaBorder>(count, [&](int i, MetaBorder& r) { return host.GetCharBorder(row, i, &r) == S_OK; });
    std::printf("  %s:", Plural(borders.size(), "border").c_str());
    for (const MetaBorder& b : borders)
        std::printf(" [%ssize %d %s alpha %u]", (b.Enable & 0xFF) ? "" : "off ", b.Size, Hex(b.Color1).c_str(), b.Alpha & 0xFF);
    std::printf("\n");

    const auto shadows = Distinct<MetaShadow>(count, [&](int i, MetaShadow& r) { return host.GetCharShadow(row, i, &r) == S_OK; });
    std::printf("  %s:", Plural(shadows.size(), "shadow").c_str());
    for (const MetaShadow& s : shadows)
        std::printf(" [%s%g,%g %s alpha %u blur %d%s]", (s.EnableFace & 0xFF) || (s.EnableBorder & 0xFF) ? "" : "off ",
                    s.OffsetX, s.OffsetY, Hex(s.Color1).c_str(), s.Alpha & 0xFF, s.BlurRadius, s.Height ? " extruded" : "");
    std::printf("\n");
}

int LoadForInspection(const std::string& command, const ArgParser& parser, HostPtr& host) {
    if (parser.Positionals().size() != 1) return UsageError(command, "expected one title file");
    Expected<HostPtr> made = NewHost();
    if (!made) return Fail(made.Message());
    host = std::move(*made);
    if (Status loaded = LoadTitle(*host, parser.Positionals()[0]); !loaded) return Fail(loaded.Message());
    return kExitOk;
}

}  // namespace

int RunEffects(const std::vector<std::string>& args) {
    ArgParser parser("effects [--level N] [--strings FILE.xml | --keys] [--describe]",
                     "Lists the offered animation effects, one a line: identifier, group, display name.\n"
                     "Level 1 offers all 65, level 2 the 26 of the second level. Names and descriptions\n"
                     "come from the English table installed beside the library unless --strings names\n"
                     "another; with --keys, or without any table, the name is the effect's display key.");
    parser.Option("--level", "N", "availability level: 1 (all 65) or 2 (the 26 of the second level; default 1)");
    parser.Option("--strings", "FILE", "effect string table (root <QelDspInfo>) with the display texts\n"
                                       "(default: the English table installed beside the library)");
    parser.Flag("--keys", "show the display keys instead of the texts of a string table");
    parser.Flag("--describe", "add each effect's description");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("effects", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (!parser.Positionals().empty()) return UsageError("effects", "unexpected argument " + parser.Positionals()[0]);
    long level = 1;
    if (auto v = parser.Value("level"); v && !ParseInteger(*v, 1, 255, level, error))
        return UsageError("effects", "--level: " + error);
    if (parser.Has("keys") && parser.Has("strings"))
        return UsageError("effects", "give either --strings (names from a table) or --keys (display keys), not both");
    Expected<HostPtr> made = NewHost();
    if (!made) return Fail(made.Message());
    ITitleHost& host = **made;
    if (!CheckEffectLevel(host, level, error)) return UsageError("effects", "--level: " + error);
    if (Status loaded = LoadChosenEffectStrings(host, parser.Value("strings"), parser.Has("keys")); !loaded)
        return Fail(loaded.Message());
    const std::vector<EffectInfo> effects = OfferedEffects(host, static_cast<int>(level));
    size_t idWidth = 0, groupWidth = 0;
    for (const EffectInfo& e : effects) {
        idWidth = std::max(idWidth, e.pathId.size());
        groupWidth = std::max(groupWidth, e.group.size());
    }
    for (const EffectInfo& e : effects) {
        std::printf("%-*s  %-*s  %s", static_cast<int>(idWidth), e.pathId.c_str(), static_cast<int>(groupWidth),
                    e.group.c_str(), e.name.c_str());
        if (parser.Has("describe")) std::printf("  %s", e.description.c_str());
        std::printf("\n");
    }
    return kExitOk;
}

int RunInfo(const std::vector<std::string>& args) {
    ArgParser parser("info TITLE.xml", "Prints each string of a title: its text, size, effect and key frames, "
                                       "and the fonts,\nfaces, borders and shadows its characters use.");
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("info", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    HostPtr host;
    if (const int status = LoadForInspection("info", parser, host); status != kExitOk) return status;
    const int strings = host->GetStringCount();
    // What the file remembers beside the strings: its length and the frame it was laid out for.
    TitleMeta meta;
    std::string warning;
    std::string remembered;
    if (ReadTitleMeta(parser.Positionals()[0], meta, warning)) {
        if (meta.length) remembered += ", " + FormatSeconds(*meta.length) + " long";
        if (meta.frame) remembered += ", laid out for " + FormatDesignFrame(*meta.frame);
    }
    std::printf("%s: %s%s\n", parser.Positionals()[0].c_str(), Plural(strings, "string").c_str(), remembered.c_str());
    for (int row = 0; row < strings; ++row) PrintString(*host, row);
    return kExitOk;
}

int RunDump(const std::vector<std::string>& args) {
    ArgParser parser("dump TITLE.xml", "Prints the library's layout dump of every string: each character, line and "
                                       "paragraph\nwith its rectangle relative to its parent, in layout units.");
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("dump", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    HostPtr host;
    if (const int status = LoadForInspection("dump", parser, host); status != kExitOk) return status;
    // The dump's lines come back through QelDebugOutput (DebugLines), which prints them here.
    for (int row = 0; row < host->GetStringCount(); ++row) host->DumpLayout(row);
    return kExitOk;
}

}  // namespace qeltitle
