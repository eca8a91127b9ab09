#include "commands/Args.h"

#include <charconv>
#include <cstdio>
#include <cmath>
#include <numeric>

namespace qeltitle {
namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// "number '1000' out of range (must be between 0.01 and 100)", for `what` = "number".
std::string OutOfRange(const char* what, std::string_view text, double lo, double hi) {
    char range[96];
    std::snprintf(range, sizeof range, " (must be between %g and %g)", lo, hi);
    return what + (" " + Quoted(text)) + " out of range" + range;
}

}  // namespace

ArgParser::ArgParser(std::string usage, std::string about)
    : usage_(std::move(usage)), about_(std::move(about)) {}

void ArgParser::Option(std::string_view names, std::string_view valueName, std::string_view help) {
    Spec spec;
    for (std::string_view name : Split(names, ',')) {
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        spec.names.emplace_back(name);
        if (spec.key.empty() && name.starts_with("--")) spec.key = name.substr(2);
    }
    if (spec.key.empty()) spec.key = spec.names.front().substr(1);
    spec.valueName = valueName;
    spec.help = help;
    specs_.push_back(std::move(spec));
}

void ArgParser::Flag(std::string_view names, std::string_view help) { Option(names, "", help); }

const ArgParser::Spec* ArgParser::Find(std::string_view name) const {
    for (const Spec& spec : specs_)
        for (const std::string& candidate : spec.names)
            if (candidate == name) return &spec;
    return nullptr;
}

Status ArgParser::Parse(const std::vector<std::string>& args) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positionals_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            help_ = true;
            return {};
        }
        std::string_view name = arg;
        std::optional<std::string> inlineValue;
        if (const size_t eq = name.find('='); name.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = std::string(name.substr(eq + 1));
            name = name.substr(0, eq);
        }
        const Spec* spec = Find(name);
        if (!spec) return Failure("unknown option " + std::string(name));
        if (spec->valueName.empty()) {
            if (inlineValue) return Failure("option " + std::string(name) + " takes no value");
            values_[spec->key] = "";
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size())
                return Failure("option " + std::string(name) + " needs a value (" + spec->valueName + ")");
            inlineValue = args[++i];
        }
        values_[spec->key] = *inlineValue;
        allValues_[spec->key].push_back(*inlineValue);
    }
    return {};
}

std::string ArgParser::Help() const {
    std::string text = "usage: qeltitle " + usage_ + "\n\n" + about_ + "\n";
    if (!specs_.empty()) text += "\noptions:\n";
    for (const Spec& spec : specs_) {
        std::string left = "  ";
        for (size_t k = 0; k < spec.names.size(); ++k) left += (k ? ", " : "") + spec.names[k];
        if (!spec.valueName.empty()) left += " " + spec.valueName;
        if (left.size() < 30) {
            left.resize(30, ' ');
        } else {
            left += "\n" + std::string(30, ' ');
        }
        // Continuation lines of a help text line up under its first line.
        std::string help = spec.help;
        for (size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 31) help.insert(at + 1, 30, ' ');
        text += left + help + "\n";
    }
    text += "  -h, --help                  this help\n";
    if (!epilog_.empty()) text += "\n" + epilog_ + "\n";
    return text;
}

bool ArgParser::Has(std::string_view key) const { return values_.find(key) != values_.end(); }

std::optional<std::string> ArgParser::Value(std::string_view key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> ArgParser::Values(std::string_view key) const {
    const auto it = allValues_.find(key);
    return it == allValues_.end() ? std::vector<std::string>{} : it->second;
}

bool ParseNumber(std::string_view text, double lo, double hi, double& out, std::string& error) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
        error = "bad number " + Quoted(text);
        return false;
    }
    if (value < lo || value > hi) {
        error = OutOfRange("number", text, lo, hi);
        return false;
    }
    out = value;
    return true;
}

bool ParseInteger(std::string_view text, long lo, long hi, long& out, std::string& error) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        error = "bad whole number " + Quoted(text);
        return false;
    }
    if (value < lo || value > hi) {
        error = "number " + Quoted(text) + " out of range (must be between " + std::to_string(lo) +
                " and " + std::to_string(hi) + ")";
        return false;
    }
    out = value;
    return true;
}

bool ParseFrameRate(std::string_view text, double lo, double hi, FrameRate& out, std::string& error) {
    const std::string bad = "bad frame rate " + Quoted(text) + ": expected frames per second (25, 29.97) or N/D (30000/1001)";
    FrameRate rate;
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        long num = 0, den = 0;
        std::string ignored;
        if (!ParseInteger(text.substr(0, slash), 1, 1000000, num, ignored) ||
            !ParseInteger(text.substr(slash + 1), 1, 1000000, den, ignored)) {
            error = bad;
            return false;
        }
        rate = {num, den};
    } else {
        double value = 0;
        if (!ParseNumber(text, 0, 1e6, value, error) || value <= 0) {
            error = bad;
            return false;
        }
        // The NTSC rates are written rounded (29.97, 23.976, 59.94) but are N * 1000 / 1001.
        const double ntsc = value * 1.001;
        if (std::fabs(value - std::round(value)) > 1e-9 && std::fabs(ntsc - std::round(ntsc)) < 0.002) {
            rate = {std::lround(ntsc) * 1000, 1001};
        } else {
            // Any other decimal is the fraction it spells (12.5 is 25/2), to a thousandth.
            rate = {std::lround(value * 1000), 1000};
        }
    }
    const long divisor = std::gcd(rate.num, rate.den);
    rate = {rate.num / divisor, rate.den / divisor};
    if (rate.Value() < lo || rate.Value() > hi) {
        error = OutOfRange("frame rate", text, lo, hi);
        return false;
    }
    out = rate;
    return true;
}

std::string FrameRate::Text() const { return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den); }

bool ParseFrameSize(std::string_view text, FrameSize& out, std::string& error) {
    const size_t x = text.find('x');
    long w = 0, h = 0;
    std::string ignored;
    if (x == std::string_view::npos || !ParseInteger(text.substr(0, x), 1, kMaxFrameSide, w, ignored) ||
        !ParseInteger(text.substr(x + 1), 1, kMaxFrameSide, h, ignored)) {
        error = "bad size " + Quoted(text) + ": expected WIDTHxHEIGHT, each from 1 to " +
                std::to_string(kMaxFrameSide) + " pixels";
        return false;
    }
    out = {static_cast<int>(w), static_cast<int>(h)};
    return true;
}

bool ParseRgb(std::string_view text, uint32_t& rgb, std::string& error) {
    uint32_t value = 0;
    const bool shaped = text.size() == 7 && text[0] == '#';
    const auto [ptr, ec] = shaped ? std::from_chars(text.data() + 1, text.data() + 7, value, 16)
                                  : std::from_chars_result{text.data(), std::errc::invalid_argument};
    if (!shaped || ec != std::errc() || ptr != text.data() + 7) {
        error = "bad colour " + Quoted(text) + ": expected #RRGGBB";
        return false;
    }
    rgb = value;
    return true;
}

bool ParseColor(std::string_view text, uint32_t& rgb, std::optional<int>& alpha, std::string& error) {
    if (text.size() != 9) {
        if (ParseRgb(text, rgb, error)) return true;
        error += " or #RRGGBBAA";
        return false;
    }
    uint32_t opacity = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + 7, text.data() + 9, opacity, 16);
    if (text[7] == '+' || text[7] == '-' || ec != std::errc() || ptr != text.data() + 9 ||
        !ParseRgb(text.substr(0, 7), rgb, error)) {
        error = "bad colour " + Quoted(text) + ": expected #RRGGBB or #RRGGBBAA";
        return false;
    }
    alpha = static_cast<int>(opacity);
    return true;
}

bool ParsePoint(std::string_view text, float& x, float& y, std::string& error) {
    const auto parts = Split(text, ',');
    double px = 0, py = 0;
    if (parts.size() != 2 || !ParseNumber(parts[0], -1e6, 1e6, px, error) ||
        !ParseNumber(parts[1], -1e6, 1e6, py, error)) {
        error = "bad position " + Quoted(text) + ": expected X,Y";
        return false;
    }
    x = static_cast<float>(px);
    y = static_cast<float>(py);
    return true;
}

bool ParseColorPair(std::string_view text, uint32_t& first, uint32_t& second, std::string& error) {
    std::optional<int> alpha;
    if (!ParseColorPair(text, first, second, alpha, error)) return false;
    if (!alpha) return true;
    error = "bad colours " + Quoted(text) + ": no alpha here (#RRGGBB)";
    return false;
}

bool ParseColorPair(std::string_view text, uint32_t& first, uint32_t& second, std::optional<int>& alpha,
                    std::string& error) {
    const auto parts = Split(text, ':');
    if (parts.size() > 2) {
        error = "bad colours " + Quoted(text) + ": expected #RRGGBB[AA] or #RRGGBB[AA]:#RRGGBB[AA]";
        return false;
    }
    std::optional<int> firstAlpha, secondAlpha;
    if (!ParseColor(parts[0], first, firstAlpha, error)) return false;
    second = first;
    if (parts.size() == 2 && !ParseColor(parts[1], second, secondAlpha, error)) return false;
    if (firstAlpha && secondAlpha && *firstAlpha != *secondAlpha) {
        error = "bad colours " + Quoted(text) + ": a face has one alpha; give both colours the same AA";
        return false;
    }
    alpha = firstAlpha ? firstAlpha : secondAlpha;
    return true;
}

bool ParseBorder(std::string_view text, BorderOption& out, std::string& error) {
    const auto parts = Split(text, ':');
    long size = 0;
    if (parts.size() > 2 || !ParseInteger(parts[0], 0, 1000, size, error)) {
        if (parts.size() > 2) error = "bad border " + Quoted(text) + ": expected N[:#RRGGBB[AA]]";
        return false;
    }
    out.size = static_cast<int>(size);
    out.rgb = 0;
    out.alpha = 255;
    std::optional<int> alpha;
    if (parts.size() == 2 && !ParseColor(parts[1], out.rgb, alpha, error)) return false;
    out.alpha = alpha.value_or(255);
    return true;
}

bool ParseShadow(std::string_view text, ShadowOption& out, std::string& error) {
    const auto parts = Split(text, ':');
    out = ShadowOption{};
    if (!ParsePoint(parts[0], out.dx, out.dy, error)) {
        error = "bad shadow " + Quoted(text) + ": expected DX,DY[:BLUR][:extrude][:#RRGGBB]";
        return false;
    }
    for (size_t k = 1; k < parts.size(); ++k) {
        if (parts[k] == "extrude") {
            out.extrude = true;
        } else if (parts[k].starts_with("#")) {
            if (!ParseColor(parts[k], out.rgb, out.alpha, error)) return false;
        } else {
            long blur = 0;
            if (!ParseInteger(parts[k], 0, 1000, blur, error)) {
                error = "bad shadow part " + Quoted(parts[k]) +
                        ": expected a blur radius, 'extrude' or #RRGGBB[AA]";
                return false;
            }
            out.blur = static_cast<int>(blur);
        }
    }
    return true;
}

bool ParseAlign(std::string_view text, uint32_t& align, std::string& error) {
    // The paragraph keeps its alignment in bits 1 and 2: 2 = end, 6 = centre, 0 = start. Start
    // and end follow the paragraph's direction: left and right name them for left-to-right text.
    if (text == "left" || text == "start") {
        align = 0;
    } else if (text == "right" || text == "end") {
        align = 2;
    } else if (text == "center" || text == "centre") {
        align = 6;
    } else {
        error = "bad alignment " + Quoted(text) + ": expected start, end, left, center or right";
        return false;
    }
    return true;
}

}  // namespace qeltitle
