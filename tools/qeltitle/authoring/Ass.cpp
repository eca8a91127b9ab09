#include "authoring/Ass.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace qeltitle {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Lower case without spaces: how section names, keys and Format fields are compared.
std::string Key(std::string_view s) {
    std::string k;
    for (char c : s)
        if (c != ' ' && c != '\t') k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
}

bool ParseNumber(std::string_view text, double& out) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

// The number at the start of `text` (players read "\fs20.5px" as 20.5); false when there is none.
bool LeadingNumber(std::string_view text, double& out) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && std::isfinite(out);
}

// A tag's number as an int (numbers past an int's range are held at a billion).
int Int(double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); }

// A tag's size, width or scale, held to the range a style's field takes.
double Length(double v) { return std::clamp(v, 0.0, 10000.0); }

std::string Number(double v) {
    if (std::fabs(v - std::round(v)) < 1e-9) v = std::round(v);
    char text[32];
    const auto [ptr, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, ptr) : "0";
}

// SubStation's alignment (1-3 bottom, 5-7 top, 9-11 middle) to the numpad's.
int FromSsaAlignment(int a) {
    if (a >= 9 && a <= 11) return a - 8 + 3;
    if (a >= 5 && a <= 7) return a - 4 + 6;
    if (a >= 1 && a <= 3) return a;
    return 2;
}

const std::vector<std::string>& DefaultStyleFormat() {
    static const std::vector<std::string> kFormat = {
        "name", "fontname", "fontsize", "primarycolour", "secondarycolour", "outlinecolour", "backcolour", "bold",
        "italic", "underline", "strikeout", "scalex", "scaley", "spacing", "angle", "borderstyle", "outline", "shadow",
        "alignment", "marginl", "marginr", "marginv", "encoding"};
    return kFormat;
}
const std::vector<std::string>& DefaultSsaStyleFormat() {
    static const std::vector<std::string> kFormat = {
        "name", "fontname", "fontsize", "primarycolour", "secondarycolour", "tertiarycolour", "backcolour", "bold",
        "italic", "borderstyle", "outline", "shadow", "alignment", "marginl", "marginr", "marginv", "alphalevel",
        "encoding"};
    return kFormat;
}
const std::vector<std::string>& DefaultEventFormat() {
    static const std::vector<std::string> kFormat = {"layer", "start", "end", "style", "name",
                                                     "marginl", "marginr", "marginv", "effect", "text"};
    return kFormat;
}

// Splits `text` at commas into `count` fields. The last takes the rest when `restInLast` (an
// event's text, which may hold commas); otherwise fields past `count` are left out.
std::vector<std::string_view> SplitFields(std::string_view text, size_t count, bool restInLast) {
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        const size_t comma = text.find(',');
        if (comma == std::string_view::npos) break;
        fields.push_back(Trim(text.substr(0, comma)));
        text.remove_prefix(comma + 1);
    }
    if (!restInLast) text = text.substr(0, text.find(','));
    fields.push_back(fields.size() + 1 == count && restInLast ? text : Trim(text));
    return fields;
}

// Tags that captions cannot draw, counted for one warning each.
struct Unmapped {
    int count = 0;
    int firstLine = 0;
    std::string why;
};

class Reader {
public:
    Reader(std::string_view text, const std::string& name, std::vector<std::string>& warnings)
        : text_(text), name_(name), warnings_(warnings) {}

    Expected<AssScript> Read();

private:
    Error Fail(int line, const std::string& why) const {
        return Failure(name_ + ":" + std::to_string(line) + ": " + why);
    }
    Status InfoLine(std::string_view line, int number);
    Status StyleLine(std::string_view body, int number);
    Status EventLine(std::string_view body, int number);
    Status ReadStyleField(AssStyle& style, const std::string& field, std::string_view value, int number);
    Status ReadText(AssEvent& event);
    Status ApplyTag(AssEvent& event, AssLook& look, std::string_view tag, double& karaokeAt, int& drawing);
    void Note(const std::string& tag, int line, const std::string& why) {
        Unmapped& u = unmapped_[tag];
        if (u.count++ == 0) u.firstLine = line, u.why = why;
    }

    std::string_view text_;
    std::string name_;
    std::vector<std::string>& warnings_;
    AssScript script_;
    std::vector<std::string> styleFormat_, eventFormat_;
    std::vector<std::pair<AssEvent, std::string>> pending_;  // events and the style they name
    std::map<std::string, Unmapped> unmapped_;
    std::map<std::string, int> ignoredLines_;  // [Events] lines other than Dialogue and Comment
};

Status Reader::InfoLine(std::string_view line, int number) {
    if (line.starts_with(";") || line.starts_with("!:")) return {};
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return {};
    const std::string key = Key(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    script_.info.emplace_back(std::string(Trim(line.substr(0, colon))), std::string(value));
    const auto integer = [&](int& out) -> Status {
        double v = 0;
        if (!ParseNumber(value, v) || v < 0 || v > 1e6)
            return Fail(number, "bad " + std::string(Trim(line.substr(0, colon))) + " '" + std::string(value) + "'");
        out = static_cast<int>(v);
        return {};
    };
    if (key == "playresx") return integer(script_.playResX);
    if (key == "playresy") return integer(script_.playResY);
    if (key == "wrapstyle") {
        Status s = integer(script_.wrapStyle);
        script_.wrapStyle = std::clamp(script_.wrapStyle, 0, 3);
        return s;
    }
    if (key == "scaledborderandshadow") script_.scaledBorderAndShadow = Key(value) == "yes" || Key(value) == "1";
    if (key == "kerning") script_.kerning = Key(value) == "yes" || Key(value) == "1";
    return {};
}

Status Reader::ReadStyleField(AssStyle& s, const std::string& field, std::string_view value, int number) {
    const auto bad = [&] { return Fail(number, "style '" + s.name + "': bad " + field + " '" + std::string(value) + "'"); };
    const auto color = [&](AssColor& c) -> Status {
        if (!ParseAssColor(value, c)) return Fail(number, "style '" + s.name + "': bad colour '" + std::string(value) +
                                                              "' (expected &HAABBGGRR)");
        return {};
    };
    const auto number_ = [&](double& out, double low, double high) -> Status {
        if (!ParseNumber(value, out) || out < low || out > high) return bad();
        return {};
    };
    double v = 0;
    const auto flag = [&](bool& out) -> Status {
        if (Status st = number_(v, -1e9, 1e9); !st) return st;
        out = v != 0;
        return {};
    };
    const auto integer = [&](int& out, double low, double high) -> Status {
        if (Status st = number_(v, low, high); !st) return st;
        out = static_cast<int>(v);
        return {};
    };
    if (field == "name") s.name = std::string(value);
    else if (field == "fontname") s.font = std::string(value);
    else if (field == "fontsize") return number_(s.size, 0, 10000);
    else if (field == "primarycolour") return color(s.colors[0]);
    else if (field == "secondarycolour") return color(s.colors[1]);
    else if (field == "outlinecolour" || field == "tertiarycolour") return color(s.colors[2]);
    else if (field == "backcolour") return color(s.colors[3]);
    else if (field == "bold") return integer(s.bold, -1e9, 1e9);
    else if (field == "italic") return flag(s.italic);
    else if (field == "underline") return flag(s.underline);
    else if (field == "strikeout") return flag(s.strikeOut);
    else if (field == "scalex") return number_(s.scaleX, 0, 10000);
    else if (field == "scaley") return number_(s.scaleY, 0, 10000);
    else if (field == "spacing") return number_(s.spacing, -10000, 10000);
    else if (field == "angle") return number_(s.angle, -1e6, 1e6);
    else if (field == "borderstyle") return integer(s.borderStyle, -1e9, 1e9);
    else if (field == "outline") return number_(s.outline, 0, 10000);
    else if (field == "shadow") return number_(s.shadow, 0, 10000);
    else if (field == "alignment") {
        if (Status st = integer(s.alignment, -1e9, 1e9); !st) return st;
        s.alignment = script_.ssa ? FromSsaAlignment(s.alignment) : (s.alignment >= 1 && s.alignment <= 9 ? s.alignment : 2);
    } else if (field == "marginl") return integer(s.marginL, -1e6, 1e6);
    else if (field == "marginr") return integer(s.marginR, -1e6, 1e6);
    else if (field == "marginv") return integer(s.marginV, -1e6, 1e6);
    else if (field == "encoding") return integer(s.encoding, -1e9, 1e9);
    else if (field == "alphalevel") {
        // SubStation's one alpha for every colour but the primary's... players take it for none.
    }
    return {};
}

Status Reader::StyleLine(std::string_view body, int number) {
    const std::vector<std::string>& format =
        !styleFormat_.empty() ? styleFormat_ : script_.ssa ? DefaultSsaStyleFormat() : DefaultStyleFormat();
    const std::vector<std::string_view> fields = SplitFields(body, format.size(), false);
    if (fields.size() < format.size())
        return Fail(number, "a style has " + std::to_string(fields.size()) + " fields; its Format names " +
                                std::to_string(format.size()));
    AssStyle style;
    style.line = number;
    for (size_t i = 0; i < format.size(); ++i)
        if (Status s = ReadStyleField(style, format[i], Trim(fields[i]), number); !s) return s;
    if (style.name.starts_with('*')) style.name.erase(0, 1);  // VSFilter's "*Default"
    // A later style of the same name replaces the earlier, as players take it.
    const auto same = std::find_if(script_.styles.begin(), script_.styles.end(),
                                   [&](const AssStyle& s) { return s.name == style.name; });
    if (same != script_.styles.end())
        *same = style;
    else
        script_.styles.push_back(style);
    return {};
}

Status Reader::EventLine(std::string_view body, int number) {
    const std::vector<std::string>& format = !eventFormat_.empty() ? eventFormat_ : DefaultEventFormat();
    const std::vector<std::string_view> fields = SplitFields(body, format.size(), format.back() == "text");
    if (fields.size() < format.size())
        return Fail(number, "an event has " + std::to_string(fields.size()) + " fields; its Format names " +
                                std::to_string(format.size()));
    AssEvent event;
    event.line = number;
    std::string style = "Default";
    bool hasStart = false, hasEnd = false;
    for (size_t i = 0; i < format.size(); ++i) {
        const std::string& field = format[i];
        const std::string_view value = fields[i];
        double v = 0;
        const auto margin = [&](int& out) -> Status {
            if (!ParseNumber(value, v) || v < -1e6 || v > 1e6)
                return Fail(number, "bad " + field + " '" + std::string(value) + "'");
            out = static_cast<int>(v);
            return {};
        };
        if (field == "layer") {
            if (!ParseNumber(value, v) || v < -1e9 || v > 1e9) return Fail(number, "bad Layer '" + std::string(value) + "'");
            event.layer = static_cast<int>(v);
        } else if (field == "marked") {
            // SubStation's "Marked=0": nothing to draw.
        } else if (field == "start" || field == "end") {
            double& t = field == "start" ? event.start : event.end;
            if (!ParseAssTime(value, t))
                return Fail(number, "bad " + std::string(field == "start" ? "start" : "end") + " time '" +
                                        std::string(value) + "' (expected H:MM:SS.cc)");
            (field == "start" ? hasStart : hasEnd) = true;
        } else if (field == "style") {
            style = std::string(value);
            if (style.starts_with('*')) style.erase(0, 1);
        } else if (field == "name" || field == "actor") {
            event.name = std::string(value);
        } else if (field == "marginl") {
            if (Status s = margin(event.marginL); !s) return s;
        } else if (field == "marginr") {
            if (Status s = margin(event.marginR); !s) return s;
        } else if (field == "marginv") {
            if (Status s = margin(event.marginV); !s) return s;
        } else if (field == "effect") {
            event.effect = std::string(value);
        } else if (field == "text") {
            event.text = std::string(value);
        }
    }
    if (!hasStart || !hasEnd) return Fail(number, "the events' Format names no Start or End");
    if (event.end < event.start) return Fail(number, "the event ends before it starts");
    if (!event.effect.empty()) Note("Effect " + event.effect.substr(0, event.effect.find(';')), number,
                                    "the event's Effect field (scrolling, banner) is not drawn");
    pending_.emplace_back(std::move(event), std::move(style));
    return {};
}

// The argument of a tag: the numbers of "(a, b, ...)", or the text up to the next tag.
std::vector<double> Arguments(std::string_view args) {
    std::vector<double> out;
    args = Trim(args);
    if (!args.starts_with('(')) return out;
    args.remove_prefix(1);
    if (args.ends_with(')')) args.remove_suffix(1);
    while (true) {
        const size_t comma = args.find(',');
        double v = 0;
        if (LeadingNumber(args.substr(0, comma), v)) out.push_back(std::clamp(v, -1e7, 1e7));
        else out.push_back(std::nan(""));
        if (comma == std::string_view::npos) break;
        args.remove_prefix(comma + 1);
    }
    return out;
}

Status Reader::ApplyTag(AssEvent& event, AssLook& look, std::string_view tag, double& karaokeAt, int& drawing) {
    // The name: letters, or a colour or alpha slot (\1c .. \4a).
    size_t n = 0;
    std::string name;
    if (!tag.empty() && tag[0] >= '1' && tag[0] <= '4' && tag.size() > 1 && (tag[1] == 'c' || tag[1] == 'a')) {
        name = std::string(tag.substr(0, 2));
        n = 2;
    } else {
        while (n < tag.size() && std::isalpha(static_cast<unsigned char>(tag[n]))) ++n;
        name = std::string(tag.substr(0, n));
    }
    std::string_view arg = tag.substr(n);
    const AssStyle& base = script_.styles[event.style];
    AssStyle& s = look.style;
    double v = 0;
    const bool has = LeadingNumber(arg, v);
    const auto color = [&](int slot) -> Status {
        if (Trim(arg).empty()) {
            s.colors[slot].bgr = base.colors[slot].bgr;
            return {};
        }
        AssColor c;
        if (!ParseAssColor(arg, c))
            return Fail(event.line, "bad colour '" + std::string(Trim(arg)) + "' in \\" + name + " (expected &HBBGGRR&)");
        s.colors[slot].bgr = c.bgr;
        return {};
    };
    const auto alpha = [&](int slot) -> Status {
        if (Trim(arg).empty()) {
            s.colors[slot].alpha = base.colors[slot].alpha;
            return {};
        }
        AssColor c;
        if (!ParseAssColor(arg, c))
            return Fail(event.line, "bad alpha '" + std::string(Trim(arg)) + "' in \\" + name + " (expected &HAA&)");
        s.colors[slot].alpha = static_cast<uint8_t>(c.bgr & 0xFF);
        return {};
    };
    // The font name and the style of \r take the rest of the tag (names have spaces and digits).
    if (name.starts_with("fn")) {
        const std::string_view font = Trim(tag.substr(2));
        s.font = font.empty() ? base.font : std::string(font);
        return {};
    }
    if (name.starts_with('r')) {
        const std::string_view styleName = Trim(tag.substr(1));
        const AssStyle* to = &base;
        for (const AssStyle& other : script_.styles)
            if (!styleName.empty() && other.name == styleName) to = &other;
        if (!styleName.empty() && to == &base && base.name != styleName)
            Note("r", event.line, "\\r names a style the file does not define; the event's style is used");
        const char karaoke = look.karaoke;
        const double ks = look.karaokeStart, kl = look.karaokeLength;
        look = AssLook{*to, to->shadow, to->shadow, 0, karaoke, ks, kl};
        return {};
    }
    if (name == "b") s.bold = has ? Int(v) : base.bold;
    else if (name == "i") s.italic = has ? v != 0 : base.italic;
    else if (name == "u" || name == "s") {
        (name == "u" ? s.underline : s.strikeOut) = has ? v != 0 : (name == "u" ? base.underline : base.strikeOut);
        if (has && v != 0) Note(name, event.line, name == "u" ? "underlines are not drawn" : "strike-outs are not drawn");
    } else if (name == "fs") {
        if (has && v > 0) s.size = Length(v);
        else if (!has) s.size = base.size;
    } else if (name == "c" || name == "1c") return color(0);
    else if (name == "2c") return color(1);
    else if (name == "3c") return color(2);
    else if (name == "4c") return color(3);
    else if (name == "alpha") {
        for (int slot = 0; slot < 4; ++slot)
            if (Status st = alpha(slot); !st) return st;
    } else if (name == "1a" || name == "2a" || name == "3a" || name == "4a") return alpha(name[0] - '1');
    else if (name == "bord") s.outline = has ? Length(v) : base.outline;
    else if (name == "xbord" || name == "ybord") {
        Note(name, event.line, "an outline of another width across than down is drawn with the larger");
        if (has) s.outline = std::max(s.outline, Length(v));
    } else if (name == "shad") look.shadowX = look.shadowY = has ? Length(v) : base.shadow;
    else if (name == "xshad") look.shadowX = has ? std::clamp(v, -10000.0, 10000.0) : base.shadow;
    else if (name == "yshad") look.shadowY = has ? std::clamp(v, -10000.0, 10000.0) : base.shadow;
    else if (name == "blur" || name == "be") look.blur = has ? std::min(Length(v), 100.0) : 0;
    else if (name == "an") {
        if (event.alignment == 0 && has && v >= 1 && v <= 9) event.alignment = static_cast<int>(v);
    } else if (name == "a") {
        if (event.alignment == 0 && has) event.alignment = FromSsaAlignment(Int(v));
    } else if (name == "pos") {
        const std::vector<double> a = Arguments(arg);
        if (a.size() >= 2 && !std::isnan(a[0]) && !std::isnan(a[1]) && !event.pos && !event.move)
            event.pos = std::array<double, 2>{a[0], a[1]};
    } else if (name == "move") {
        std::vector<double> a = Arguments(arg);
        if ((a.size() == 4 || a.size() == 6) && std::none_of(a.begin(), a.end(), [](double x) { return std::isnan(x); }) &&
            !event.pos && !event.move) {
            a.resize(6, 0.0);
            event.move = std::array<double, 6>{a[0], a[1], a[2], a[3], a[4], a[5]};
        }
    } else if (name == "fad" || name == "fade") {
        const std::vector<double> a = Arguments(arg);
        if (std::any_of(a.begin(), a.end(), [](double x) { return std::isnan(x); })) return {};
        const double length = (event.end - event.start) * 1000;
        if (a.size() == 2 && !event.fade) event.fade = std::array<double, 7>{255, 0, 255, 0, a[0], length - a[1], length};
        else if (a.size() == 7 && !event.fade) event.fade = std::array<double, 7>{a[0], a[1], a[2], a[3], a[4], a[5], a[6]};
    } else if (name == "frz" || name == "fr") s.angle = has ? std::fmod(v, 360.0) : base.angle;
    else if (name == "fscx") s.scaleX = has ? Length(v) : base.scaleX;
    else if (name == "fscy") s.scaleY = has ? Length(v) : base.scaleY;
    else if (name == "fsp") s.spacing = has ? std::clamp(v, -10000.0, 10000.0) : base.spacing;
    else if (name == "q") {
        if (has) event.wrapStyle = std::clamp(Int(v), 0, 3);
    } else if (name == "k" || name == "K" || name == "kf" || name == "ko") {
        look.karaoke = name == "ko" ? 'o' : name == "k" ? 'k' : 'f';
        look.karaokeStart = karaokeAt;
        look.karaokeLength = has ? std::clamp(v, 0.0, 1e9) / 100 : 0;
        karaokeAt += look.karaokeLength;
    } else if (name == "p") {
        drawing = has ? Int(v) : 0;
        if (drawing > 0) Note("p", event.line, "drawings are not drawn");
    } else if (name == "clip" || name == "iclip") {
        Note(name, event.line, "clipping is not drawn; the text is drawn whole");
    } else if (name == "t") {
        Note("t", event.line, "animated transforms are not drawn; the tags before them hold");
    } else if (name == "org") {
        Note("org", event.line, "the turning origin is not moved; text turns about its alignment point");
    } else if (name == "frx" || name == "fry") {
        if (has && v != 0) Note(name, event.line, "turns about the x and y axes are not drawn");
    } else if (name == "fax" || name == "fay" || name == "fe" || name == "pbo" || name == "kt") {
        Note(name, event.line, "not drawn");
    } else if (!name.empty()) {
        Note(name, event.line, "not an override tag players know; ignored");
    }
    return {};
}

// The override blocks and text of an event read into runs. An override block changes the look
// of the text after it; \N breaks the line, \n does in wrap style 2 (else it is a space), \h is a
// space that does not break. A { without } is text, as players show it.
Status Reader::ReadText(AssEvent& event) {
    AssLook look;
    look.style = script_.styles[event.style];
    look.shadowX = look.shadowY = look.style.shadow;
    double karaokeAt = 0;
    int drawing = 0;
    std::string current;
    const auto flush = [&] {
        if (current.empty()) return;
        if (drawing > 0) {
            current.clear();
            return;
        }
        event.runs.push_back(AssRun{std::move(current), look});
        current.clear();
    };
    // A first pass for \q, which decides what \n means wherever it stands.
    std::vector<std::pair<std::string_view, bool>> parts;  // text or an override block
    const std::string_view text = event.text;
    for (size_t i = 0; i < text.size();) {
        const size_t open = text.find('{', i);
        const size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) {
            parts.emplace_back(text.substr(i), false);
            break;
        }
        if (open > i) parts.emplace_back(text.substr(i, open - i), false);
        parts.emplace_back(text.substr(open + 1, close - open - 1), true);
        i = close + 1;
    }
    for (const auto& [part, block] : parts) {
        if (!block) {
            for (size_t i = 0; i < part.size(); ++i) {
                if (part[i] == '\\' && i + 1 < part.size()) {
                    const char next = part[i + 1];
                    if (next == 'N') {
                        current += '\n', ++i;
                        continue;
                    }
                    if (next == 'n') {
                        const int wrap = event.wrapStyle >= 0 ? event.wrapStyle : script_.wrapStyle;
                        current += wrap == 2 ? '\n' : ' ', ++i;
                        continue;
                    }
                    if (next == 'h') {
                        current += "\xC2\xA0", ++i;
                        continue;
                    }
                }
                current += part[i];
            }
            continue;
        }
        // Tags only change the text after them: a block that holds none (a comment) changes nothing.
        if (part.find('\\') == std::string_view::npos) continue;
        flush();
        for (size_t i = part.find('\\'); i != std::string_view::npos;) {
            size_t end = i + 1;
            int depth = 0;
            while (end < part.size() && (depth > 0 || part[end] != '\\')) {
                if (part[end] == '(') ++depth;
                if (part[end] == ')') depth = std::max(0, depth - 1);
                ++end;
            }
            if (Status s = ApplyTag(event, look, part.substr(i + 1, end - i - 1), karaokeAt, drawing); !s) return s;
            i = end < part.size() ? end : std::string_view::npos;
        }
    }
    flush();
    return {};
}

Expected<AssScript> Reader::Read() {
    enum class Section { None, Info, Styles, Events, Other } section = Section::None;
    bool sawInfo = false, sawEvents = false;
    int number = 0;
    for (size_t at = 0; at <= text_.size();) {
        size_t end = text_.find('\n', at);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty()) continue;
        const bool header = line.front() == '[' && line.back() == ']';
        if (!sawInfo && (!header || Key(line) != "[scriptinfo]"))
            return Fail(number, "not a SubStation script: it must start with [Script Info]");
        if (header) {
            const std::string name = Key(line.substr(1, line.size() - 2));
            if (name == "scriptinfo") section = Section::Info, sawInfo = true;
            else if (name == "v4+styles" || name == "v4styles" || name == "v4++styles") {
                section = Section::Styles;
                script_.ssa = name == "v4styles";
                styleFormat_.clear();
            } else if (name == "events") section = Section::Events, sawEvents = true, eventFormat_.clear();
            else section = Section::Other;
            continue;
        }
        const size_t colon = line.find(':');
        const std::string key = colon == std::string_view::npos ? std::string() : Key(line.substr(0, colon));
        const std::string_view body = colon == std::string_view::npos ? line : Trim(line.substr(colon + 1));
        if (section == Section::Info) {
            if (Status s = InfoLine(line, number); !s) return Error{s.Message()};
        } else if (section == Section::Styles || section == Section::Events) {
            if (key == "format") {
                std::vector<std::string>& format = section == Section::Styles ? styleFormat_ : eventFormat_;
                format.clear();
                for (std::string_view field : SplitFields(body, 1000, false)) format.push_back(Key(field));
            } else if (section == Section::Styles && key == "style") {
                if (Status s = StyleLine(body, number); !s) return Error{s.Message()};
            } else if (section == Section::Events && key == "dialogue") {
                if (Status s = EventLine(body, number); !s) return Error{s.Message()};
            } else if (section == Section::Events && key != "comment" && !line.starts_with(';')) {
                ++ignoredLines_[std::string(line.substr(0, colon))];
            }
        }
    }
    if (!sawInfo) return Fail(1, "not a SubStation script: it must start with [Script Info]");
    if (!sawEvents) return Fail(number, "no [Events] section");
    // PlayRes: one given makes the other (4:3, or 1280x1024), none is 384x288.
    int& x = script_.playResX;
    int& y = script_.playResY;
    if (x <= 0 && y <= 0) x = 384, y = 288;
    else if (y <= 0) y = x == 1280 ? 1024 : std::max(1, x * 3 / 4);
    else if (x <= 0) x = y == 1024 ? 1280 : std::max(1, y * 4 / 3);
    for (auto& pending : pending_) {
        AssEvent& event = pending.first;
        const std::string& styleName = pending.second;
        const auto found = std::find_if(script_.styles.begin(), script_.styles.end(),
                                        [&](const AssStyle& s) { return s.name == styleName; });
        // Players draw a style that is not there as Default: a guess at the author's intent that
        // would draw the event in a look nobody chose, so it is refused.
        if (found == script_.styles.end())
            return Fail(event.line, "the event's style '" + styleName + "' is not defined" +
                                        (script_.styles.empty() ? " (the file has no [V4+ Styles] section)" : ""));
        event.style = static_cast<int>(found - script_.styles.begin());
        if (Status s = ReadText(event); !s) return Error{s.Message()};
        script_.events.push_back(std::move(event));
    }
    for (const auto& [tag, u] : unmapped_) {
        const bool field = tag.starts_with("Effect ");
        warnings_.push_back(name_ + ":" + std::to_string(u.firstLine) + ": " + (field ? tag : "\\" + tag) + ": " + u.why +
                            " (" + std::to_string(u.count) + (u.count == 1 ? " time" : " times") + ", first on this line)");
    }
    for (const auto& [kind, count] : ignoredLines_)
        warnings_.push_back(name_ + ": " + std::to_string(count) + " [Events] line" + (count == 1 ? "" : "s") + " '" + kind +
                            ":' left out (only Dialogue lines are drawn)");
    return std::move(script_);
}

}  // namespace

std::string AssEvent::Plain() const {
    std::string plain;
    for (const AssRun& r : runs) plain += r.text;
    return plain;
}

bool LooksLikeAss(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    while (!bytes.empty() && std::isspace(static_cast<unsigned char>(bytes.front()))) bytes.remove_prefix(1);
    return Key(bytes.substr(0, std::min<size_t>(bytes.size(), bytes.find(']') + 1))) == "[scriptinfo]";
}

Expected<AssScript> ReadAss(std::string_view bytes, const std::string& name, std::vector<std::string>& warnings) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return Failure(name + ":1: the file is UTF-16; save it as UTF-8");
    if (bytes.find('\0') != std::string_view::npos) return Failure(name + ": holds a zero byte: not a subtitle file");
    std::vector<std::string> found;
    Reader reader(bytes, name, found);
    Expected<AssScript> script = reader.Read();
    if (script) warnings.insert(warnings.end(), found.begin(), found.end());
    return script;
}

bool ParseAssTime(std::string_view text, double& seconds) {
    text = Trim(text);
    const size_t c1 = text.find(':');
    const size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos) return false;
    const auto digits = [](std::string_view s, size_t most) {
        return !s.empty() && s.size() <= most && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::string_view h = text.substr(0, c1), m = text.substr(c1 + 1, c2 - c1 - 1);
    std::string_view s = text.substr(c2 + 1), f;
    if (const size_t dot = s.find_first_of(".,"); dot != std::string_view::npos) f = s.substr(dot + 1), s = s.substr(0, dot);
    if (!digits(h, 6) || !digits(m, 2) || !digits(s, 2) || (!f.empty() && !digits(f, 3))) return false;
    const auto value = [](std::string_view d) {
        double v = 0;
        for (char c : d) v = v * 10 + (c - '0');
        return v;
    };
    if (value(m) >= 60 || value(s) >= 60) return false;
    seconds = value(h) * 3600 + value(m) * 60 + value(s) + (f.empty() ? 0 : value(f) / std::pow(10.0, f.size()));
    return true;
}

std::string FormatAssTime(double seconds) {
    long cs = std::lround(std::max(0.0, seconds) * 100);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld.%02ld", cs / 360000, cs / 6000 % 60, cs / 100 % 60, cs % 100);
    return text;
}

bool ParseAssColor(std::string_view text, AssColor& out) {
    text = Trim(text);
    while (text.starts_with('&')) text.remove_prefix(1);
    while (text.ends_with('&')) text.remove_suffix(1);
    uint64_t v = 0;
    if (text.starts_with('H') || text.starts_with('h')) {
        text.remove_prefix(1);
        if (text.empty() || text.size() > 8) return false;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
        if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    } else {
        // Some writers give the number in decimal.
        int64_t d = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
        if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || d < INT32_MIN || d > UINT32_MAX)
            return false;
        v = static_cast<uint32_t>(d);
    }
    out.bgr = static_cast<uint32_t>(v & 0xFFFFFF);
    out.alpha = static_cast<uint8_t>(v >> 24);
    return true;
}

std::string FormatAssColor(const AssColor& c) {
    char text[16];
    std::snprintf(text, sizeof text, "&H%02X%06X", c.alpha, c.bgr & 0xFFFFFF);
    return text;
}

std::string WriteAss(const AssScript& script) {
    std::string out = "[Script Info]\n";
    static constexpr std::string_view kOwn[] = {"scripttype", "playresx", "playresy", "wrapstyle", "scaledborderandshadow",
                                                "kerning"};
    out += "ScriptType: v4.00+\n";
    out += "PlayResX: " + std::to_string(script.playResX) + "\nPlayResY: " + std::to_string(script.playResY) + "\n";
    out += "WrapStyle: " + std::to_string(script.wrapStyle) + "\n";
    out += std::string("ScaledBorderAndShadow: ") + (script.scaledBorderAndShadow ? "yes" : "no") + "\n";
    if (script.kerning) out += "Kerning: yes\n";
    for (const auto& [key, value] : script.info)
        if (std::find(std::begin(kOwn), std::end(kOwn), Key(key)) == std::end(kOwn)) out += key + ": " + value + "\n";
    out += "\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, "
           "Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, "
           "Alignment, MarginL, MarginR, MarginV, Encoding\n";
    const auto flag = [](bool b) { return std::string(b ? "-1" : "0"); };
    for (const AssStyle& s : script.styles) {
        out += "Style: " + s.name + "," + s.font + "," + Number(s.size);
        for (const AssColor& c : s.colors) out += "," + FormatAssColor(c);
        out += "," + (s.bold == 1 || s.bold == -1 ? flag(true) : std::to_string(s.bold)) + "," + flag(s.italic) + "," +
               flag(s.underline) + "," + flag(s.strikeOut) + "," + Number(s.scaleX) + "," + Number(s.scaleY) + "," +
               Number(s.spacing) + "," + Number(s.angle) + "," + std::to_string(s.borderStyle) + "," + Number(s.outline) +
               "," + Number(s.shadow) + "," + std::to_string(s.alignment) + "," + std::to_string(s.marginL) + "," +
               std::to_string(s.marginR) + "," + std::to_string(s.marginV) + "," + std::to_string(s.encoding) + "\n";
    }
    out += "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (const AssEvent& e : script.events) {
        const std::string& style = e.style >= 0 && e.style < static_cast<int>(script.styles.size())
                                       ? script.styles[e.style].name
                                       : std::string("Default");
        std::string text = e.text;
        std::replace(text.begin(), text.end(), '\n', ' ');
        out += "Dialogue: " + std::to_string(e.layer) + "," + FormatAssTime(e.start) + "," + FormatAssTime(e.end) + "," +
               style + "," + e.name + "," + std::to_string(e.marginL) + "," + std::to_string(e.marginR) + "," +
               std::to_string(e.marginV) + "," + e.effect + "," + text + "\n";
    }
    return out;
}

}  // namespace qeltitle
