#include "authoring/Subtitles.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

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
};

// A line that holds "-->" is meant as a cue's times; false with the reason when they do not read.
bool ParseTimingLine(std::string_view line, Timing& out, std::string& why) {
    const size_t arrow = line.find("-->");
    const std::string_view left = Trim(line.substr(0, arrow));
    std::string_view right = Trim(line.substr(arrow + 3));
    // Cue settings (WebVTT) or position boxes (SubRip) follow the end time.
    const size_t space = right.find_first_of(" \t");
    const std::string_view endText = right.substr(0, space);
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
    bool ReadCue(size_t& i, bool subRip, std::vector<Cue>& cues, std::string& error) {
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

private:
    std::string name_;
    std::vector<std::string>& warnings_;
    std::vector<std::string_view> lines_;
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
    while (i < r.Count()) {
        if (r.Blank(i)) {
            ++i;
            continue;
        }
        const std::string_view line = r.Line(i);
        const auto word = [&](std::string_view w) {
            return line.starts_with(w) && (line.size() == w.size() || line[w.size()] == ' ' || line[w.size()] == '\t');
        };
        if (word("NOTE") || word("STYLE") || word("REGION")) {
            while (i < r.Count() && !r.Blank(i)) ++i;
            continue;
        }
        if (line.find("-->") == std::string_view::npos) {
            ++i;  // the cue's identifier
            if (i >= r.Count() || r.Line(i).find("-->") == std::string_view::npos)
                return r.Fail(i - 1, "expected the cue's times (MM:SS.mmm --> MM:SS.mmm) after its identifier", error);
        }
        if (!r.ReadCue(i, false, cues, error)) return false;
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

bool ReadSubtitles(std::string_view bytes, const std::string& name, SubtitleFormat format, std::vector<Cue>& cues,
                   std::vector<std::string>& warnings, std::string& error) {
    cues.clear();
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        error = name + ":1: the file is UTF-16; save it as UTF-8";
        return false;
    }
    unsigned badByte = 0;
    if (const int line = FirstBadUtf8Line(bytes, badByte); line != 0) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", badByte);
        error = name + ":" + std::to_string(line) + ": not UTF-8 text (byte " + hex + "); save the file as UTF-8";
        return false;
    }
    if (bytes.find('\0') != std::string_view::npos) {
        error = name + ": holds a zero byte: not a subtitle file";
        return false;
    }
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
    Reader reader(text, name, warnings);
    const bool ok = format == SubtitleFormat::WebVtt ? ReadWebVtt(reader, cues, error) : ReadSubRip(reader, cues, error);
    if (!ok) {
        cues.clear();
        return false;
    }
    for (size_t i = 0; i < cues.size(); ++i) cues[i].number = static_cast<int>(i + 1);
    std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.start < b.start; });
    return true;
}

}  // namespace qeltitle
