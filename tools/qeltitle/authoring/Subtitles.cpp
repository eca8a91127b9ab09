#include "authoring/Subtitles.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>

namespace qeltitle {
namespace {

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The line (from 1) of the first byte that is not part of well-formed UTF-8, or 0.
int FirstBadUtf8Line(std::string_view text, unsigned& badByte) {
    int line = 1;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<uint8_t>(text[i]);
        if (b == '\n') ++line;
        int length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        bool ok = length != 0 && i + length <= text.size() && !(length == 2 && b < 0xC2) && !(b > 0xF4);
        for (int k = 1; ok && k < length; ++k) ok = (static_cast<uint8_t>(text[i + k]) & 0xC0) == 0x80;
        if (ok && length == 3) {
            const auto b1 = static_cast<uint8_t>(text[i + 1]);
            ok = !(b == 0xE0 && b1 < 0xA0) && !(b == 0xED && b1 >= 0xA0);
        }
        if (ok && length == 4) {
            const auto b1 = static_cast<uint8_t>(text[i + 1]);
            ok = !(b == 0xF0 && b1 < 0x90) && !(b == 0xF4 && b1 >= 0x90);
        }
        if (!ok) {
            badByte = b;
            return line;
        }
        i += length;
    }
    return 0;
}

struct Timing {
    double start = 0, end = 0;
    std::string_view settings;  // what follows the end time
};

// A line that holds "-->" is meant as a cue's times; false with the reason when they do not read.
bool ParseTimingLine(std::string_view line, Timing& out, std::string& why) {
    const size_t arrow = line.find("-->");
    const std::string_view left = Trim(line.substr(0, arrow));
    std::string_view right = Trim(line.substr(arrow + 3));
    // Cue settings (WebVTT) or position boxes (SubRip) follow the end time.
    const size_t space = right.find_first_of(" \t");
    const std::string_view endText = right.substr(0, space);
    out.settings = space == std::string_view::npos ? std::string_view() : Trim(right.substr(space));
    if (!ParseCueTime(left, out.start)) {
        why = "bad start time '" + std::string(left) + "' (expected HH:MM:SS,mmm)";
        return false;
    }
    if (!ParseCueTime(endText, out.end)) {
        why = "bad end time '" + std::string(endText) + "' (expected HH:MM:SS,mmm)";
        return false;
    }
    return true;
}

bool IsTimingLine(std::string_view line) {
    Timing t;
    std::string why;
    return line.find("-->") != std::string_view::npos && ParseTimingLine(line, t, why);
}

// Cue text with its markup read: <i>, <b> (nesting counted), inline timestamps, entities.
void ReadCueText(std::string_view text, Cue& cue, bool subRip) {
    int italic = 0, bold = 0;
    double time = cue.start;
    std::string current;
    const auto flush = [&] {
        if (current.empty()) return;
        CuePiece piece{current, italic > 0, bold > 0, time};
        if (!cue.pieces.empty() && cue.pieces.back().italic == piece.italic && cue.pieces.back().bold == piece.bold &&
            cue.pieces.back().time == piece.time)
            cue.pieces.back().text += current;
        else
            cue.pieces.push_back(piece);
        current.clear();
    };
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '<') {
            const size_t close = text.find('>', i + 1);
            if (close == std::string_view::npos) {
                current += c, ++i;
                continue;
            }
            const std::string_view tag = text.substr(i + 1, close - i - 1);
            std::string name;
            for (char t : tag.substr(0, tag.find_first_of(" \t.")))
                name += static_cast<char>(std::tolower(static_cast<unsigned char>(t)));
            double at = 0;
            if (!tag.empty() && tag[0] >= '0' && tag[0] <= '9' && ParseCueTime(tag, at)) {
                flush();
                time = std::clamp(at, cue.start, cue.end);
                cue.timedWords = true;
            } else if (name == "i" || name == "/i" || name == "b" || name == "/b") {
                flush();
                int& level = name.back() == 'i' ? italic : bold;
                level = std::max(0, level + (name[0] == '/' ? -1 : 1));
            }
            i = close + 1;
            continue;
        }
        if (subRip && c == '{' && i + 1 < text.size() && text[i + 1] == '\\') {
            const size_t close = text.find('}', i);
            if (close != std::string_view::npos) {
                i = close + 1;
                continue;
            }
        }
        if (c == '&') {
            static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
                {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", "\xC2\xA0"}, {"&lrm;", ""}, {"&rlm;", ""},
                {"&quot;", "\""}, {"&apos;", "'"}};
            bool matched = false;
            for (const auto& [entity, value] : kEntities)
                if (text.substr(i).starts_with(entity)) {
                    current += value;
                    i += entity.size();
                    matched = true;
                    break;
                }
            if (matched) continue;
        }
        current += c, ++i;
    }
    flush();
}

std::string Lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Words parted by spaces, tabs or line ends.
std::vector<std::string_view> Fields(std::string_view text) {
    std::vector<std::string_view> out;
    for (size_t i = 0; i < text.size();) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
        size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\t' && text[j] != '\n') ++j;
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

// "-12", "3.5": a decimal number without exponent.
bool ParseDecimal(std::string_view s, double& out) {
    const bool negative = s.starts_with('-');
    if (negative) s.remove_prefix(1);
    const size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    if (!AllDigits(whole) || whole.size() > 9 || (dot != std::string_view::npos && !AllDigits(fraction))) return false;
    double v = 0, scale = 1;
    for (char c : whole) v = v * 10 + (c - '0');
    for (char c : fraction.substr(0, 6)) v += (c - '0') * (scale /= 10);  // a millionth is enough
    out = negative ? -v : v;
    return true;
}

// "12.5%" (0 to 100) to 12.5.
bool ParsePercent(std::string_view s, double& out) {
    return s.ends_with('%') && ParseDecimal(s.substr(0, s.size() - 1), out) && out >= 0 && out <= 100;
}

// "x%,y%".
bool ParsePercentPair(std::string_view s, double& x, double& y) {
    const size_t comma = s.find(',');
    return comma != std::string_view::npos && ParsePercent(s.substr(0, comma), x) && ParsePercent(s.substr(comma + 1), y);
}

// Splits "value,alignment" at its comma.
std::pair<std::string_view, std::string_view> ValueAndAlign(std::string_view s) {
    const size_t comma = s.find(',');
    if (comma == std::string_view::npos) return {s, {}};
    return {s.substr(0, comma), s.substr(comma + 1)};
}

// One "name:value" cue setting applied to `p`; false when a player would ignore it.
bool ApplyCueSetting(std::string_view name, std::string_view value, const std::map<std::string, CueRegion, std::less<>>& regions,
                     CuePlacement& p) {
    if (name == "vertical") {
        if (value != "rl" && value != "lr") return false;
        p.writing = value == "rl" ? CueWriting::VerticalRl : CueWriting::VerticalLr;
    } else if (name == "line") {
        const std::pair<std::string_view, std::string_view> parts = ValueAndAlign(value);
        const std::string_view number = parts.first, align = parts.second;
        double v = 0;
        const bool percent = number.ends_with('%');
        if (percent ? !ParsePercent(number, v) : !ParseDecimal(number, v)) return false;
        static constexpr std::pair<std::string_view, CueLineAlign> kAligns[] = {
            {"", CueLineAlign::Start}, {"start", CueLineAlign::Start}, {"center", CueLineAlign::Center},
            {"middle", CueLineAlign::Center}, {"end", CueLineAlign::End}};
        const auto* a = std::find_if(std::begin(kAligns), std::end(kAligns), [align = align](const auto& k) { return k.first == align; });
        if (a == std::end(kAligns)) return false;
        p.line = v;
        p.snapToLines = !percent;
        p.lineAlign = a->second;
    } else if (name == "position") {
        const std::pair<std::string_view, std::string_view> parts = ValueAndAlign(value);
        const std::string_view number = parts.first, align = parts.second;
        double v = 0;
        if (!ParsePercent(number, v)) return false;
        static constexpr std::pair<std::string_view, CuePositionAlign> kAligns[] = {
            {"", CuePositionAlign::Auto}, {"auto", CuePositionAlign::Auto}, {"line-left", CuePositionAlign::LineLeft},
            {"start", CuePositionAlign::LineLeft}, {"center", CuePositionAlign::Center},
            {"middle", CuePositionAlign::Center}, {"line-right", CuePositionAlign::LineRight},
            {"end", CuePositionAlign::LineRight}};
        const auto* a = std::find_if(std::begin(kAligns), std::end(kAligns), [align = align](const auto& k) { return k.first == align; });
        if (a == std::end(kAligns)) return false;
        p.position = v;
        p.positionAlign = a->second;
    } else if (name == "size") {
        double v = 0;
        if (!ParsePercent(value, v)) return false;
        p.size = v;
    } else if (name == "align") {
        static constexpr std::pair<std::string_view, CueAlign> kAligns[] = {
            {"start", CueAlign::Start}, {"center", CueAlign::Center}, {"middle", CueAlign::Center},
            {"end", CueAlign::End}, {"left", CueAlign::Left}, {"right", CueAlign::Right}};
        const auto* a = std::find_if(std::begin(kAligns), std::end(kAligns), [&](const auto& k) { return k.first == value; });
        if (a == std::end(kAligns)) return false;
        p.align = a->second;
    } else if (name == "region") {
        const auto found = regions.find(value);
        if (found == regions.end()) return false;
        p.region = found->second;
    } else {
        return false;
    }
    return true;
}

// A REGION block's settings; false with the reason when it defines no region.
bool ReadRegion(std::string_view text, CueRegion& r, std::vector<std::string>& ignored) {
    for (std::string_view field : Fields(text)) {
        const size_t colon = field.find(':');
        const std::string_view name = field.substr(0, colon), value = colon == std::string_view::npos ? "" : field.substr(colon + 1);
        double v = 0;
        bool ok = colon != std::string_view::npos;
        if (!ok) {
        } else if (name == "id") {
            ok = !value.empty() && value.find("-->") == std::string_view::npos;
            if (ok) r.id = value;
        } else if (name == "width") {
            ok = ParsePercent(value, v);
            if (ok) r.width = v;
        } else if (name == "lines") {
            ok = AllDigits(value) && value.size() <= 3;
            if (ok) r.lines = std::stoi(std::string(value));
        } else if (name == "regionanchor") {
            ok = ParsePercentPair(value, r.anchorX, r.anchorY);
        } else if (name == "viewportanchor") {
            ok = ParsePercentPair(value, r.viewportX, r.viewportY);
        } else if (name == "scroll") {
            ok = value == "up";
            r.scrollUp = ok;
        } else {
            ok = false;
        }
        if (!ok) ignored.emplace_back(field);
    }
    return !r.id.empty();
}

// CSS colours: #rgb, #rgba, #rrggbb, #rrggbbaa, rgb(), rgba() and the common names, to 0xRRGGBBAA.
bool ParseCssColor(std::string_view text, uint32_t& rgba) {
    const std::string s = Lowered(Trim(text));
    static constexpr std::pair<std::string_view, uint32_t> kNames[] = {
        {"black", 0x000000FF},   {"white", 0xFFFFFFFF},  {"red", 0xFF0000FF},     {"lime", 0x00FF00FF},
        {"green", 0x008000FF},   {"blue", 0x0000FFFF},   {"yellow", 0xFFFF00FF},  {"cyan", 0x00FFFFFF},
        {"aqua", 0x00FFFFFF},    {"magenta", 0xFF00FFFF}, {"fuchsia", 0xFF00FFFF}, {"gray", 0x808080FF},
        {"grey", 0x808080FF},    {"silver", 0xC0C0C0FF}, {"maroon", 0x800000FF},  {"olive", 0x808000FF},
        {"navy", 0x000080FF},    {"purple", 0x800080FF}, {"teal", 0x008080FF},    {"orange", 0xFFA500FF},
        {"transparent", 0x00000000}};
    for (const auto& [name, value] : kNames)
        if (s == name) return rgba = value, true;
    if (s.starts_with('#')) {
        const std::string hex = s.substr(1);
        if ((hex.size() != 3 && hex.size() != 4 && hex.size() != 6 && hex.size() != 8) || !std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return false;
        const uint32_t v = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
        switch (hex.size()) {
            case 3: case 4: {
                const int n = static_cast<int>(hex.size());
                uint32_t out = 0;
                for (int k = 0; k < n; ++k) out = (out << 8) | (((v >> (4 * (n - 1 - k))) & 0xF) * 0x11);
                rgba = n == 3 ? (out << 8) | 0xFF : out;
                return true;
            }
            case 6: return rgba = (v << 8) | 0xFF, true;
            case 8: return rgba = v, true;
            default: return false;
        }
    }
    const size_t open = s.find('('), close = s.rfind(')');
    const std::string function = s.substr(0, open);
    if ((function != "rgb" && function != "rgba") || open == std::string::npos || close != s.size() - 1) return false;
    std::string inside = s.substr(open + 1, close - open - 1);
    std::replace(inside.begin(), inside.end(), ',', ' ');
    std::replace(inside.begin(), inside.end(), '/', ' ');
    const std::vector<std::string_view> parts = Fields(inside);
    if (parts.size() != 3 && parts.size() != 4) return false;
    uint32_t out = 0;
    for (size_t k = 0; k < parts.size(); ++k) {
        double v = 0;
        const bool percent = parts[k].ends_with('%');
        if (!ParseDecimal(percent ? parts[k].substr(0, parts[k].size() - 1) : parts[k], v)) return false;
        const double unit = k == 3 ? (percent ? v / 100 : v) : (percent ? v / 100 : v / 255);
        out = (out << 8) | static_cast<uint32_t>(std::lround(std::clamp(unit, 0.0, 1.0) * 255));
    }
    rgba = parts.size() == 3 ? (out << 8) | 0xFF : out;
    return true;
}

// One declaration of a `::cue` rule; false when captions have no equivalent or it does not read.
bool ApplyCssDeclaration(const std::string& property, std::string_view value, CueCss& css) {
    const std::string v = Lowered(value);
    uint32_t color = 0;
    double number = 0;
    if (property == "color") {
        if (!ParseCssColor(v, color)) return false;
        css.color = color;
    } else if (property == "background-color" || property == "background") {
        if (!ParseCssColor(v, color)) return false;
        css.background = color;
    } else if (property == "font-family") {
        std::string_view first = Trim(value.substr(0, value.find(',')));
        if (first.size() >= 2 && (first.front() == '"' || first.front() == '\'') && first.back() == first.front())
            first = first.substr(1, first.size() - 2);
        if (first.empty()) return false;
        css.fontFamily = std::string(first);
    } else if (property == "font-size") {
        const auto unit = [&](std::string_view u) { return v.ends_with(u) && ParseDecimal(std::string_view(v).substr(0, v.size() - u.size()), number) && number > 0; };
        if (unit("px")) css.fontSize = number;
        else if (unit("vh")) css.fontSize = number * 10.8;
        else if (unit("%")) css.fontScale = number / 100;
        else if (unit("em")) css.fontScale = number;
        else return false;
    } else if (property == "font-weight") {
        if (v == "bold" || v == "bolder") css.bold = true;
        else if (v == "normal" || v == "lighter") css.bold = false;
        else if (ParseDecimal(v, number)) css.bold = number >= 600;
        else return false;
    } else if (property == "font-style") {
        if (v == "italic" || v.starts_with("oblique")) css.italic = true;
        else if (v == "normal") css.italic = false;
        else return false;
    } else if (property == "text-decoration" || property == "text-decoration-line") {
        const bool none = v == "none";
        if (!none && v.find("underline") == std::string::npos && v.find("line-through") == std::string::npos) return false;
        css.underline = v.find("underline") != std::string::npos;
        css.strikeOut = v.find("line-through") != std::string::npos;
    } else {
        return false;
    }
    return true;
}

// A STYLE block's `::cue` rules applied to `css`; rules for other selectors and declarations that
// captions have no equivalent for are named in `ignored`.
void ReadStyleBlock(std::string_view block, CueCss& css, std::vector<std::string>& ignored) {
    std::string text;
    for (size_t i = 0; i < block.size(); ++i) {  // comments out
        if (block.substr(i).starts_with("/*")) {
            const size_t end = block.find("*/", i + 2);
            if (end == std::string_view::npos) break;
            i = end + 1;
            continue;
        }
        text += block[i] == '\n' || block[i] == '\t' ? ' ' : block[i];
    }
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find('{', at);
        if (open == std::string::npos) break;
        const size_t close = text.find('}', open);
        const std::string selector(Trim(std::string_view(text).substr(at, open - at)));
        const std::string_view body = std::string_view(text).substr(open + 1, (close == std::string::npos ? text.size() : close) - open - 1);
        at = close == std::string::npos ? text.size() : close + 1;
        std::string trimmed;
        for (char c : selector)
            if (c != ' ' && c != '\t' && c != '\n') trimmed += c;
        if (trimmed != "::cue" && trimmed != "::cue()") {
            ignored.push_back("the rule for '" + selector + "' (only ::cue rules are applied, to every cue)");
            continue;
        }
        for (size_t d = 0; d < body.size();) {
            size_t semi = body.find(';', d);
            if (semi == std::string_view::npos) semi = body.size();
            const std::string_view declaration = Trim(body.substr(d, semi - d));
            d = semi + 1;
            const size_t colon = declaration.find(':');
            if (declaration.empty()) continue;
            std::string property = Lowered(Trim(declaration.substr(0, colon)));
            std::string_view value = colon == std::string_view::npos ? "" : Trim(declaration.substr(colon + 1));
            if (const size_t bang = value.find("!important"); bang != std::string_view::npos) value = Trim(value.substr(0, bang));
            if (colon == std::string_view::npos || !ApplyCssDeclaration(property, value, css))
                ignored.push_back("'" + std::string(Trim(declaration)) + "' (no equivalent in the caption style)");
        }
    }
}

class Reader {
public:
    Reader(std::string_view text, const std::string& name, std::vector<std::string>& warnings)
        : name_(name), warnings_(warnings) {
        size_t start = 0;
        for (size_t i = 0; i <= text.size(); ++i)
            if (i == text.size() || text[i] == '\n') {
                lines_.push_back(text.substr(start, i - start));
                start = i + 1;
            }
    }

    bool Fail(size_t index, const std::string& why, std::string& error) const {
        error = name_ + ":" + std::to_string(index + 1) + ": " + why;
        return false;
    }

    bool Blank(size_t i) const { return Trim(lines_[i]).empty(); }
    size_t Count() const { return lines_.size(); }
    std::string_view Line(size_t i) const { return lines_[i]; }

    // Reads the cue whose times are on line `i`; its text runs to a blank line, or to the times
    // of the next cue (with or without its number) when the blank line is missing.
    bool ReadCue(size_t& i, bool subRip, std::vector<Cue>& cues, std::string& error, std::string_view id = {}) {
        Timing timing;
        std::string why;
        if (!ParseTimingLine(lines_[i], timing, why)) return Fail(i, why, error);
        if (timing.end < timing.start) return Fail(i, "the cue ends before it starts", error);
        const size_t timeLine = i++;
        std::string text;
        for (; i < lines_.size() && !Blank(i); ++i) {
            if (IsTimingLine(lines_[i])) break;
            if (subRip && AllDigits(Trim(lines_[i])) && i + 1 < lines_.size() && IsTimingLine(lines_[i + 1])) break;
            if (!text.empty()) text += '\n';
            text += Trim(lines_[i]);
        }
        Cue cue;
        cue.start = timing.start;
        cue.end = timing.end;
        cue.line = static_cast<int>(timeLine + 1);
        cue.id = id;
        if (!subRip) ReadSettings(timing.settings, timeLine, cue.placement);
        ReadCueText(text, cue, subRip);
        const std::string shown = cue.Text();
        if (timing.end == timing.start) {
            warnings_.push_back(name_ + ":" + std::to_string(timeLine + 1) + ": a cue of no duration is never shown; skipped");
        } else if (shown.find_first_not_of(" \t\n") == std::string::npos) {
            warnings_.push_back(name_ + ":" + std::to_string(timeLine + 1) + ": a cue without text; skipped");
        } else {
            cues.push_back(std::move(cue));
        }
        return true;
    }

    void Warn(size_t index, const std::string& what) {
        warnings_.push_back(name_ + ":" + std::to_string(index + 1) + ": " + what);
    }

    // A WebVTT cue's settings; those a player would ignore are named in a warning.
    void ReadSettings(std::string_view settings, size_t index, CuePlacement& p) {
        for (std::string_view field : Fields(settings)) {
            const size_t colon = field.find(':');
            if (colon == std::string_view::npos || colon == 0 || colon + 1 == field.size() ||
                !ApplyCueSetting(field.substr(0, colon), field.substr(colon + 1), regions_, p))
                Warn(index, "cue setting '" + std::string(field) + "' ignored (not understood)");
        }
        // A cue placed by line, size or writing direction stands outside any region.
        if (p.region && (p.line || p.size || p.writing != CueWriting::Horizontal)) {
            Warn(index, "region '" + p.region->id + "' ignored: a cue with line, size or vertical settings is not placed in a region");
            p.region.reset();
        }
    }

    // The lines of the block that starts at `i` (after its first word), to the blank line.
    std::string Block(size_t& i) {
        const std::string_view first = lines_[i];
        const size_t space = first.find_first_of(" \t");
        std::string text(space == std::string_view::npos ? std::string_view() : first.substr(space));
        for (++i; i < lines_.size() && !Blank(i); ++i) text += "\n" + std::string(lines_[i]);
        return text;
    }

    void ReadRegionBlock(size_t& i) {
        const size_t at = i;
        std::vector<std::string> ignored;
        CueRegion region;
        const std::string text = Block(i);
        if (!ReadRegion(text, region, ignored)) Warn(at, "a REGION without an id; ignored");
        else regions_[region.id] = region;
        for (const std::string& field : ignored) Warn(at, "region setting '" + field + "' ignored (not understood)");
    }

    void ReadStyle(size_t& i) {
        const size_t at = i;
        std::vector<std::string> ignored;
        ReadStyleBlock(Block(i), css_, ignored);
        for (const std::string& what : ignored) Warn(at, "STYLE: " + what + " ignored");
    }

    const CueCss& Css() const { return css_; }

private:
    std::string name_;
    std::vector<std::string>& warnings_;
    std::vector<std::string_view> lines_;
    std::map<std::string, CueRegion, std::less<>> regions_;
    CueCss css_;
};

bool ReadSubRip(Reader& r, std::vector<Cue>& cues, std::string& error) {
    for (size_t i = 0; i < r.Count();) {
        if (r.Blank(i)) {
            ++i;
            continue;
        }
        if (AllDigits(Trim(r.Line(i))) && i + 1 < r.Count() && r.Line(i + 1).find("-->") != std::string_view::npos) ++i;
        if (r.Line(i).find("-->") == std::string_view::npos)
            return r.Fail(i, "expected a cue number or the cue's times (HH:MM:SS,mmm --> HH:MM:SS,mmm)", error);
        if (!r.ReadCue(i, true, cues, error)) return false;
    }
    return true;
}

bool ReadWebVtt(Reader& r, std::vector<Cue>& cues, std::string& error) {
    const std::string_view first = r.Count() > 0 ? r.Line(0) : std::string_view();
    if (!first.starts_with("WEBVTT") || (first.size() > 6 && first[6] != ' ' && first[6] != '\t'))
        return r.Fail(0, "a WebVTT file starts with the line WEBVTT", error);
    size_t i = 1;
    while (i < r.Count() && !r.Blank(i)) {
        if (r.Line(i).find("-->") != std::string_view::npos)
            return r.Fail(i, "a blank line must end the WEBVTT header before the first cue", error);
        ++i;
    }
    bool seenCue = false;
    while (i < r.Count()) {
        if (r.Blank(i)) {
            ++i;
            continue;
        }
        const std::string_view line = r.Line(i);
        const auto word = [&](std::string_view w) {
            return line.starts_with(w) && (line.size() == w.size() || line[w.size()] == ' ' || line[w.size()] == '\t');
        };
        if (word("NOTE")) {
            while (i < r.Count() && !r.Blank(i)) ++i;
            continue;
        }
        // Style and region blocks belong before the first cue; players ignore them later on, and
        // a region redefined there would move cues that were read before it.
        if ((word("STYLE") || word("REGION")) && seenCue) {
            r.Warn(i, std::string(line.substr(0, line.find_first_of(" \t"))) + " after the first cue; ignored");
            while (i < r.Count() && !r.Blank(i)) ++i;
            continue;
        }
        if (word("STYLE")) {
            r.ReadStyle(i);
            continue;
        }
        if (word("REGION")) {
            r.ReadRegionBlock(i);
            continue;
        }
        std::string_view id;
        if (line.find("-->") == std::string_view::npos) {
            id = Trim(line);
            ++i;  // the cue's identifier
            if (i >= r.Count() || r.Line(i).find("-->") == std::string_view::npos)
                return r.Fail(i - 1, "expected the cue's times (MM:SS.mmm --> MM:SS.mmm) after its identifier", error);
        }
        seenCue = true;
        if (!r.ReadCue(i, false, cues, error, id)) return false;
    }
    return true;
}

}  // namespace

std::string Cue::Text() const {
    std::string text;
    for (const CuePiece& p : pieces) text += p.text;
    return text;
}

bool ParseCueTime(std::string_view text, double& seconds) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    if (parts.size() < 2 || parts.size() > 3) return false;
    std::string_view last = parts.back();
    std::string_view fraction;
    if (const size_t dot = last.find_first_of(".,"); dot != std::string_view::npos) {
        fraction = last.substr(dot + 1);
        last = last.substr(0, dot);
        if (!AllDigits(fraction) || fraction.size() > 9) return false;
    }
    const std::string_view minutes = parts[parts.size() - 2];
    const std::string_view hours = parts.size() == 3 ? parts[0] : std::string_view("0");
    if (!AllDigits(hours) || hours.size() > 6 || !AllDigits(minutes) || minutes.size() > 2 || !AllDigits(last) ||
        last.size() > 2)
        return false;
    const auto number = [](std::string_view s) {
        double v = 0;
        for (char c : s) v = v * 10 + (c - '0');
        return v;
    };
    const double m = number(minutes), s = number(last);
    if (m >= 60 || s >= 60) return false;
    double f = 0, scale = 0.1;
    for (char c : fraction) f += (c - '0') * scale, scale /= 10;
    seconds = number(hours) * 3600 + m * 60 + s + f;
    return true;
}

Expected<SubtitleFile> ReadSubtitleFile(std::string_view bytes, const std::string& name, SubtitleFormat format) {
    SubtitleFile file;
    const auto fail = [&](std::string message) { return Expected<SubtitleFile>(Failure(std::move(message))); };
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return fail(name + ":1: the file is UTF-16; save it as UTF-8");
    unsigned badByte = 0;
    if (const int line = FirstBadUtf8Line(bytes, badByte); line != 0) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", badByte);
        return fail(name + ":" + std::to_string(line) + ": not UTF-8 text (byte " + hex + "); save the file as UTF-8");
    }
    if (bytes.find('\0') != std::string_view::npos) return fail(name + ": holds a zero byte: not a subtitle file");
    // CR LF and lone CR line ends become LF.
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            text += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            text += bytes[i];
        }
    }
    if (format == SubtitleFormat::Auto)
        format = text.starts_with("WEBVTT") ? SubtitleFormat::WebVtt : SubtitleFormat::SubRip;
    Reader reader(text, name, file.warnings);
    std::string error;
    const bool ok = format == SubtitleFormat::WebVtt ? ReadWebVtt(reader, file.cues, error)
                                                     : ReadSubRip(reader, file.cues, error);
    if (!ok) return fail(error);
    file.css = reader.Css();
    for (size_t i = 0; i < file.cues.size(); ++i) file.cues[i].number = static_cast<int>(i + 1);
    std::stable_sort(file.cues.begin(), file.cues.end(), [](const Cue& a, const Cue& b) { return a.start < b.start; });
    return file;
}

bool ReadSubtitles(std::string_view bytes, const std::string& name, SubtitleFormat format, std::vector<Cue>& cues,
                   std::vector<std::string>& warnings, std::string& error) {
    cues.clear();
    Expected<SubtitleFile> file = ReadSubtitleFile(bytes, name, format);
    if (!file) return error = file.Message(), false;
    cues = std::move(file->cues);
    warnings.insert(warnings.end(), file->warnings.begin(), file->warnings.end());
    return true;
}

bool CueCss::Empty() const {
    return !color && !background && !fontFamily && !fontSize && !fontScale && !bold && !italic && !underline && !strikeOut;
}

}  // namespace qeltitle

namespace qeltitle {
namespace {

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", v);
    return text;
}

std::string VttTime(double seconds) {
    const long long ms = std::llround(std::max(0.0, seconds) * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string CssColor(uint32_t rgba) {
    char text[16];
    std::snprintf(text, sizeof text, "#%08X", rgba);
    return text;
}

// Cue text as WebVTT takes it, added to `out`: markup characters escaped, no blank line (it would
// end the cue).
void AddCueText(std::string_view text, std::string& out) {
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if ((c == '\n' || c == '\r') && (out.empty() || out.back() == '\n')) continue;
        else out += c == '\r' ? '\n' : c;
    }
}

std::string WriteCueText(const Cue& cue) {
    // The text spoken from each time on is a <c> span after the time.
    std::string out;
    double time = cue.start;
    bool span = false;
    for (const CuePiece& p : cue.pieces) {
        if (cue.timedWords && p.time != time && p.time > cue.start) {
            if (span) out += "</c>";
            out += "<" + VttTime(time = p.time) + "><c>";
            span = true;
        }
        if (p.italic) out += "<i>";
        if (p.bold) out += "<b>";
        AddCueText(p.text, out);
        if (p.bold) out += "</b>";
        if (p.italic) out += "</i>";
    }
    if (span) out += "</c>";
    // A line of only spaces would read as the blank line that ends the cue.
    std::string kept;
    for (size_t start = 0; start < out.size();) {
        const size_t end = std::min(out.find('\n', start), out.size());
        const std::string_view line = std::string_view(out).substr(start, end - start);
        if (!Trim(line).empty()) kept.append(line).push_back('\n');
        start = end + 1;
    }
    while (kept.ends_with('\n')) kept.pop_back();
    return kept;
}

}  // namespace

std::string FormatCueSettings(const CuePlacement& p) {
    std::string out;
    const auto add = [&](const std::string& setting) { out += (out.empty() ? "" : " ") + setting; };
    if (p.writing != CueWriting::Horizontal) add(p.writing == CueWriting::VerticalRl ? "vertical:rl" : "vertical:lr");
    if (p.line) {
        static constexpr const char* kAligns[] = {"", ",center", ",end"};
        add("line:" + Number(*p.line) + (p.snapToLines ? "" : "%") + kAligns[static_cast<int>(p.lineAlign)]);
    }
    if (p.position) {
        static constexpr const char* kAligns[] = {"", ",line-left", ",center", ",line-right"};
        add("position:" + Number(*p.position) + "%" + kAligns[static_cast<int>(p.positionAlign)]);
    }
    if (p.size) add("size:" + Number(*p.size) + "%");
    if (p.align != CueAlign::Center) {
        static constexpr const char* kAligns[] = {"start", "center", "end", "left", "right"};
        add(std::string("align:") + kAligns[static_cast<int>(p.align)]);
    }
    if (p.region) add("region:" + p.region->id);
    return out;
}

std::string WriteWebVtt(const std::vector<Cue>& cues, const CueCss& css) {
    std::string out = "WEBVTT\n\n";
    if (!css.Empty()) {
        out += "STYLE\n::cue {\n";
        if (css.color) out += "  color: " + CssColor(*css.color) + ";\n";
        if (css.background) out += "  background-color: " + CssColor(*css.background) + ";\n";
        if (css.fontFamily) out += "  font-family: \"" + *css.fontFamily + "\";\n";
        if (css.fontSize) out += "  font-size: " + Number(*css.fontSize) + "px;\n";
        if (css.fontScale) out += "  font-size: " + Number(*css.fontScale * 100) + "%;\n";
        if (css.bold) out += std::string("  font-weight: ") + (*css.bold ? "bold" : "normal") + ";\n";
        if (css.italic) out += std::string("  font-style: ") + (*css.italic ? "italic" : "normal") + ";\n";
        if (css.underline || css.strikeOut) {
            std::string lines = (css.underline.value_or(false) ? "underline " : "") +
                                std::string(css.strikeOut.value_or(false) ? "line-through" : "");
            while (lines.ends_with(' ')) lines.pop_back();
            out += "  text-decoration: " + (lines.empty() ? std::string("none") : lines) + ";\n";
        }
        out += "}\n\n";
    }
    std::vector<std::string> regions;
    for (const Cue& cue : cues) {
        if (!cue.placement.region || std::find(regions.begin(), regions.end(), cue.placement.region->id) != regions.end())
            continue;
        const CueRegion& r = *cue.placement.region;
        regions.push_back(r.id);
        out += "REGION\nid:" + r.id + " width:" + Number(r.width) + "% lines:" + std::to_string(r.lines) +
               " regionanchor:" + Number(r.anchorX) + "%," + Number(r.anchorY) + "% viewportanchor:" +
               Number(r.viewportX) + "%," + Number(r.viewportY) + "%" + (r.scrollUp ? " scroll:up" : "") + "\n\n";
    }
    // WebVTT's cues are in the order they start.
    std::vector<const Cue*> ordered;
    for (const Cue& cue : cues) ordered.push_back(&cue);
    std::stable_sort(ordered.begin(), ordered.end(), [](const Cue* a, const Cue* b) { return a->start < b->start; });
    for (const Cue* c : ordered) {
        const Cue& cue = *c;
        if (!cue.id.empty() && cue.id.find("-->") == std::string::npos && cue.id.find('\n') == std::string::npos)
            out += cue.id + "\n";
        const std::string settings = FormatCueSettings(cue.placement);
        // Times to the millisecond: a cue shorter than that keeps a millisecond, not none.
        const double end = std::max(cue.end, std::round(cue.start * 1000) / 1000 + 0.001);
        out += VttTime(cue.start) + " --> " + VttTime(end) + (settings.empty() ? "" : " " + settings) + "\n";
        out += WriteCueText(cue) + "\n\n";
    }
    return out;
}

}  // namespace qeltitle
