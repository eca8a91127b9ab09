#include "authoring/TextOptions.h"

#include <algorithm>

#include "authoring/LineBreak.h"
#include "authoring/PlateJson.h"
#include "commands/Args.h"
#include "player/Placement.h"
#include "authoring/Text.h"
#include "player/TitleMeta.h"
#include "player/Timing.h"

namespace qeltitle {

double DefaultTransition(double length) { return std::min(1.0, 0.4 * length); }

namespace {

// --plate COLOR[:PADX,PADY][:RADIUS] (one padding for both), over the JSON defaults.
bool ParsePlate(std::string_view text, QelPlate& plate, std::string& error) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    const std::string usage = "expected COLOR[:PADX,PADY][:RADIUS], such as '#000000A0:24,8:12'";
    if (parts.size() > 3) {
        error = usage;
        return false;
    }
    plate = DefaultPlate();
    uint32_t rgb = 0;
    std::optional<int> alpha;
    if (!ParseColor(parts[0], rgb, alpha, error)) return false;
    plate.Color1 = plate.Color2 = ModelColor(rgb);
    plate.Alpha = static_cast<uint32_t>(alpha.value_or(255));
    double number = 0;
    if (parts.size() > 1) {
        const size_t comma = parts[1].find(',');
        if (comma == std::string_view::npos) {
            if (!ParseNumber(parts[1], 0, 10000, number, error)) return false;
            plate.PadX = plate.PadY = static_cast<float>(number);
        } else {
            if (!ParseNumber(parts[1].substr(0, comma), 0, 10000, number, error)) return false;
            plate.PadX = static_cast<float>(number);
            if (!ParseNumber(parts[1].substr(comma + 1), 0, 10000, number, error)) return false;
            plate.PadY = static_cast<float>(number);
        }
    }
    if (parts.size() > 2) {
        if (!ParseNumber(parts[2], 0, 10000, number, error)) return false;
        plate.Radius = static_cast<float>(number);
    }
    return true;
}

}  // namespace

ParseOutcome ParseTextOptions(const std::vector<std::string>& args, TextOptions& out, std::string& message) {
    ArgParser parser("text TEXT -o TITLE.xml [options]",
                     "Makes a title of one string with the given style and animation and saves it.\n"
                     "In TEXT, \\n (or a real line break) starts a new paragraph and \\\\ is a backslash.\n"
                     "Layout units are frame pixels at scale 1; the string is centred in a 1920x1080\n"
                     "frame unless --at places its top-left corner.");
    parser.Option("-o, --output", "FILE", "the title file to write (replaced if it exists)");
    parser.Flag("--append", "add the string to the title already in FILE instead of replacing it");
    parser.Option("--font", "FACE", "font family (default: the library's default face)");
    parser.Option("--size", "N", "em height in layout units (default 72)");
    parser.Flag("--bold", "bold face");
    parser.Flag("--italic", "italic face");
    parser.Option("--color", "C1[:C2]", "fill colour(s) #RRGGBB or #RRGGBBAA; two colours make a gradient\n"
                                        "(default #FFFFFF)");
    parser.Option("--gradient", "N", "gradient type 0 to 7 for two colours (default 1 with two colours, else 0)");
    parser.Option("--border", "N[:#RRGGBB[AA]]", "outline of width N (in 1/80 em; default colour black)");
    parser.Option("--shadow", "DX,DY[:BLUR][:extrude][:#RRGGBB[AA]]",
                  "shadow offset in layout units, blur radius, extruded slab, colour (default black,\n"
                  "alpha A0 flat, FF extruded)");
    parser.Option("--gradient-across", "string|line", "one gradient of the two --color colours over the whole\n"
                                                     "string or each line, instead of over each character");
    parser.Option("--plate", "COLOR[:PADX,PADY][:RADIUS]",
                  "a box behind the text: colour #RRGGBB or #RRGGBBAA, padding in layout units\n"
                  "(default 24,8), corner radius (default 0)");
    parser.Option("--plate-per", "string|line|word", "with --plate: one box behind the string (default), each\n"
                                                      "line or each word");
    parser.Option("--effect", "PATH_...", "animation effect (see 'qeltitle effects')");
    parser.Option("--then", "PATH_...", "second effect, taking the string away (needs --effect)");
    parser.Option("--align", "A", "start, end or center paragraphs (default center); start is the right of a "
                                  "right-to-left paragraph; left and right mean start and end");
    parser.Flag("--vertical", "vertical text: columns from top to bottom, right to left");
    parser.Option("--kerning", "on|off", "the font's kerning pairs (default on)");
    parser.Option("--even-lines", "on|off", "every line as thick as the paragraph's main face makes it, whatever\n"
                  "fallback face it holds (default on); with --append, for every string of the title");
    parser.Option("--rotate", "DEG", "turn the whole string by DEG degrees (clockwise on screen)");
    parser.Option("--at", "X,Y", "top-left corner of the string in layout units");
    parser.Option("--anchor", "POS", "place the string's drawn extent at top-left, top, top-right, left, center,\n"
                                     "right, bottom-left, bottom or bottom-right of the frame (default center)");
    parser.Option("--margin", "X[,Y]", "with --anchor: distance from the frame's edges in layout units (0)");
    parser.Option("--fit-to", "output|design", "over a video or frame of another shape: anchored strings keep their\n"
                  "anchor and margins of the output frame, text its size (output; the default with\n"
                  "--anchor), or the whole design frame is fitted in (design); the title remembers it");
    parser.Option("--lang", "TAG", "the text's language, BCP 47 (ja, zh-Hans, zh-Hant, ko, th, ar, ...): line\n"
                  "breaking, and the face when --font is not given");
    parser.Option("--width", "N", "wrap lines at N layout units (where the Unicode line breaking rules allow)");
    parser.Option("--frame", "WxH", "the frame the title is laid out for, in layout units (default 1920x1080;\n"
                                    "portrait 1080x1920); the string is centred in it");
    parser.Option("--length", "SECONDS", "the title's length in seconds or [hh:]mm:ss[.fff]; the key frames\n"
                                         "follow --in and --out in seconds (remembered by the title)");
    parser.Option("--in", "SECONDS", "with --length: the entrance takes this long (default 1, at most 40%)");
    parser.Option("--out", "SECONDS", "with --length: the exit takes the last SECONDS (default 1, at most\n"
                                      "40%, with --then; without --then --effect runs backwards)");
    parser.Epilog(
        "animation (key frames on the title time 0..1):\n"
        "  --effect E           E brings the string in over the whole time: keys (0, E, 0) and (1, E, 1).\n"
        "  --effect E --then F  E brings it in over the first 40% of the time, the string rests until\n"
        "                       60%, then F runs backwards and takes it out over the last 40%:\n"
        "                       keys (0, E, 0), (0.4, E, 1), (0.6, F, 1), (1, F, 0).\n"
        "  no effect            the string stays at rest (PATH_NOEFFECT).\n"
        "  --length L           E comes in over --in seconds, the string rests, and F (or E, given --out)\n"
        "                       takes it out over the last --out seconds: with L 4, --in 1, --out 1 the\n"
        "                       keys are (0, E, 0), (0.25, E, 1), (0.75, F, 1), (1, F, 0).\n\n"
        "examples:\n"
        "  qeltitle text 'Hello, world' -o hello.xml --size 120 --color '#FFD040:#FF6000' --border 4\n"
        "  qeltitle text 'Line one\\nLine two' -o two.xml --shadow 6,6:4 --effect PATH_SLIDEUP "
        "--then PATH_FADE\n"
        "  qeltitle text 'Jane Doe' -o bug.xml --anchor bottom-left --margin 60 --size 60\n"
        "  qeltitle text 'Jane Doe\\nEditor' -o bar.xml --align left --anchor bottom-left --margin 80 "
        "--plate '#103080E0:24,8:10' --plate-per line\n"
        "  qeltitle text 'Lower third' -o low.xml --length 4 --in 0.5 --out 0.5 --effect PATH_SLIDEUP "
        "--then PATH_FADE");
    out = TextOptions{};
    const auto bad = [&](const std::string& reason) {
        message = reason;
        return ParseOutcome::BadUsage;
    };
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return bad(parsed.Message());
    if (parser.HelpRequested()) {
        message = parser.Help();
        return ParseOutcome::Help;
    }
    if (parser.Positionals().size() != 1) return bad("expected one TEXT argument");
    if (!parser.Has("output")) return bad("missing -o TITLE.xml");
    out.output = *parser.Value("output");
    if (out.output.empty()) return bad("-o: the file name is empty");
    out.text = ExpandTitleText(parser.Positionals()[0]);
    if (out.text.empty()) return bad("the text is empty");
    out.append = parser.Has("append");

    StringStyle& style = out.style;
    style.font = parser.Value("font").value_or("");
    if (auto v = parser.Value("lang")) {
        if (!IsLanguageTag(*v)) return bad("--lang: '" + *v + "' is not a BCP 47 language tag (ja, zh-Hant, th, ...)");
        style.language = *v;
    }
    if (auto v = parser.Value("even-lines")) {
        if (*v != "on" && *v != "off") return bad("--even-lines: expected on or off, not '" + *v + "'");
        out.evenLines = *v == "on";
    }
    style.evenLines = out.evenLines.value_or(true);  // a new string: lines as thick as the main face makes them
    style.bold = parser.Has("bold");
    style.italic = parser.Has("italic");
    style.vertical = parser.Has("vertical");
    style.kerning = true;
    if (auto v = parser.Value("kerning")) {
        if (*v != "on" && *v != "off") return bad("--kerning: expected on or off, not '" + *v + "'");
        style.kerning = *v == "on";
    }
    double number = 0;
    long whole = 0;
    if (auto v = parser.Value("size")) {
        if (!ParseNumber(*v, 1, 4096, number, error)) return bad("--size: " + error);
        style.size = static_cast<float>(number);
    }
    std::optional<int> faceAlpha;
    if (auto v = parser.Value("color"); v && !ParseColorPair(*v, style.color1, style.color2, faceAlpha, error))
        return bad("--color: " + error);
    style.alpha = faceAlpha.value_or(255);
    style.gradient = style.color1 != style.color2 ? 1 : 0;
    if (auto v = parser.Value("gradient")) {
        if (!ParseInteger(*v, 0, 7, whole, error)) return bad("--gradient: " + error);
        style.gradient = static_cast<int>(whole);
    }
    if (auto v = parser.Value("border")) {
        BorderOption border;
        if (!ParseBorder(*v, border, error)) return bad("--border: " + error);
        style.border = border;
    }
    if (auto v = parser.Value("shadow")) {
        ShadowOption shadow;
        if (!ParseShadow(*v, shadow, error)) return bad("--shadow: " + error);
        style.shadow = shadow;
    }
    if (auto v = parser.Value("gradient-across")) {
        if (*v != "string" && *v != "line") return bad("--gradient-across: expected string or line, not '" + *v + "'");
        style.gradientAcross = *v == "string" ? QEL_ACROSS_STRING : QEL_ACROSS_LINE;
    }
    if (auto v = parser.Value("plate")) {
        QelPlate plate{};
        if (!ParsePlate(*v, plate, error)) return bad("--plate: " + error);
        style.plate = plate;
    }
    if (auto v = parser.Value("plate-per")) {
        if (!style.plate) return bad("--plate-per needs --plate");
        const char* names[] = {"string", "line", "word"};
        const auto at = std::find(std::begin(names), std::end(names), *v);
        if (at == std::end(names)) return bad("--plate-per: expected string, line or word, not '" + *v + "'");
        style.plate->Per = static_cast<uint32_t>(at - std::begin(names));
    }
    if (auto v = parser.Value("align"); v && !ParseAlign(*v, style.align, error)) return bad("--align: " + error);
    if (auto v = parser.Value("rotate")) {
        if (!ParseNumber(*v, -3600, 3600, number, error)) return bad("--rotate: " + error);
        style.rotate = static_cast<float>(number);
    }
    if (auto v = parser.Value("at")) {
        float x = 0, y = 0;
        if (!ParsePoint(*v, x, y, error)) return bad("--at: " + error);
        style.at = std::make_pair(x, y);
        if (parser.Has("anchor") || parser.Has("margin")) return bad("--at places the corner itself: no --anchor or --margin");
    }
    if (auto v = parser.Value("anchor")) {
        const Expected<Anchor> anchor = ParseAnchor(*v);
        if (!anchor) return bad("--anchor: " + anchor.Message());
        style.anchor = *anchor;
    }
    if (auto v = parser.Value("margin")) {
        const Expected<Margin> margin = ParseMargin(*v);
        if (!margin) return bad("--margin: " + margin.Message());
        style.margin = *margin;
    }
    if (auto v = parser.Value("fit-to")) {
        if (*v != "output" && *v != "design") return bad("--fit-to: expected output or design, not '" + *v + "'");
        out.fitOutput = *v == "output";
    }
    if (auto v = parser.Value("width")) {
        if (!ParseNumber(*v, 1, 1e6, number, error)) return bad("--width: " + error);
        style.width = static_cast<float>(number);
    }
    if (auto v = parser.Value("frame"); v && !ParseFrameSize(*v, style.frame, error)) return bad("--frame: " + error);
    out.frameGiven = parser.Has("frame");
    for (const char* name : {"length", "in", "out"}) {
        auto v = parser.Value(name);
        if (!v) continue;
        const Expected<double> seconds = ParseSeconds(*v, kMaxTitleSeconds);
        if (!seconds) return bad(std::string("--") + name + ": " + seconds.Message());
        (name[0] == 'l' ? out.length : name[0] == 'i' ? out.in : out.out) = *seconds;
    }
    if (out.length && *out.length <= 0) return bad("--length: a title lasts longer than 0 seconds");
    out.effect = parser.Value("effect").value_or("");
    out.then = parser.Value("then").value_or("");
    if (!out.then.empty() && out.effect.empty()) return bad("--then needs --effect");
    if ((out.in || out.out) && out.effect.empty()) return bad("--in and --out time an effect: give --effect");
    if (out.length && out.in.value_or(0) + out.out.value_or(0) > *out.length)
        return bad("--in and --out together are longer than --length");
    return ParseOutcome::Run;
}

}  // namespace qeltitle
