#include "player/Timing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace qeltitle {

Expected<double> ParseSeconds(std::string_view text, double most) {
    const auto bad = [&](const std::string& why) { return Failure("bad time '" + std::string(text) + "': " + why); };
    if (text.starts_with('-')) return bad("times cannot be negative");
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    if (fields.size() > 3) return bad("expected seconds or [hh:]mm:ss[.fff]");
    double total = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string_view field = fields[i];
        const bool last = i + 1 == fields.size();
        double value = 0;
        const char* end = field.data() + field.size();
        const auto [ptr, ec] = std::from_chars(field.data(), end, value, std::chars_format::fixed);
        const bool digitsOnly = field.find_first_not_of("0123456789") == std::string_view::npos;
        if (field.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || field[0] == '+' ||
            (!last && !digitsOnly))
            return bad("expected seconds or [hh:]mm:ss[.fff]");
        if (i > 0 && value >= 60) return bad("minutes and seconds after a colon must be below 60");
        total = total * 60 + value;
    }
    if (total > most) {
        char limit[64];
        std::snprintf(limit, sizeof limit, "%g", most);
        return bad(std::string("more than ") + limit + " seconds");
    }
    return total;
}

std::string FormatSeconds(double seconds) {
    const long millis = std::lround(std::max(0.0, seconds) * 1000);
    const long whole = millis / 1000, hours = whole / 3600, minutes = whole / 60 % 60, secs = whole % 60;
    char text[64];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, secs);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", minutes, secs);
    std::string out = text;
    if (millis % 1000 != 0) {
        std::snprintf(text, sizeof text, ".%03ld", millis % 1000);
        out += text;
    }
    return out;
}

}  // namespace qeltitle
