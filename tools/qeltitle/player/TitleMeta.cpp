#include "player/TitleMeta.h"

#include <pugixml.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qeltitle {
namespace {

constexpr int kMaxSide = 16384;  // pixels or layout units, as the tool's --size and --frame
constexpr char kLengthAttribute[] = "Length";
constexpr char kFrameAttribute[] = "Frame";
constexpr char kAnchorsAttribute[] = "Anchors";
constexpr char kFitAttribute[] = "Fit";

bool ParseSide(const char* first, const char* last, int& out) {
    const auto [ptr, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && ptr == last && out >= 1 && out <= kMaxSide;
}

// The document's text from the start of the CTitle start tag's attribute list to its end (the
// '>' or '/>'): the range the attributes are written into.
bool FindRootTag(const std::u16string& text, size_t& nameEnd, size_t& tagEnd) {
    constexpr std::u16string_view kOpen = u"<CTitle";
    for (size_t at = text.find(kOpen); at != std::u16string::npos; at = text.find(kOpen, at + 1)) {
        const size_t after = at + kOpen.size();
        if (after >= text.size()) return false;
        const char16_t next = text[after];
        if (next != u' ' && next != u'>' && next != u'/' && next != u'\t' && next != u'\r' && next != u'\n') continue;
        // Attribute values may hold '>' only escaped, so the first '>' after the name ends the tag.
        const size_t close = text.find(u'>', after);
        if (close == std::u16string::npos) return false;
        nameEnd = after;
        tagEnd = close > after && text[close - 1] == u'/' ? close - 1 : close;
        return true;
    }
    return false;
}

// Removes name="..." (either quote) from the attribute text [from, to); returns the new end.
size_t RemoveAttribute(std::u16string& text, size_t from, size_t to, std::u16string_view name) {
    for (size_t at = from; at < to;) {
        const size_t found = text.find(name, at);
        if (found == std::u16string::npos || found >= to) break;
        size_t k = found + name.size();
        const bool standsAlone = found > from && (text[found - 1] == u' ' || text[found - 1] == u'\t' ||
                                                  text[found - 1] == u'\r' || text[found - 1] == u'\n');
        while (k < to && text[k] == u' ') ++k;
        if (!standsAlone || k >= to || text[k] != u'=') {
            at = found + 1;
            continue;
        }
        ++k;
        while (k < to && text[k] == u' ') ++k;
        if (k >= to || (text[k] != u'"' && text[k] != u'\'')) break;
        const size_t endQuote = text.find(text[k], k + 1);
        if (endQuote == std::u16string::npos || endQuote >= to) break;
        const size_t start = found - 1;  // the blank before the name goes too
        text.erase(start, endQuote + 1 - start);
        to -= endQuote + 1 - start;
        at = start;
    }
    return to;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

std::string FormatDesignFrame(const DesignFrame& frame) {
    return std::to_string(frame.width) + "x" + std::to_string(frame.height);
}

bool ParseDesignFrame(const std::string& text, DesignFrame& out) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    DesignFrame frame;
    if (!ParseSide(text.data(), text.data() + x, frame.width) ||
        !ParseSide(text.data() + x + 1, text.data() + text.size(), frame.height))
        return false;
    out = frame;
    return true;
}

namespace {

// The attributes of a parsed document's root; `name` names the title in the warning.
void ReadRootMeta(const pugi::xml_document& doc, const std::string& name, TitleMeta& out, std::string& warning) {
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "CTitle") != 0) return;
    if (const pugi::xml_attribute length = root.attribute(kLengthAttribute)) {
        const std::string text = length.value();
        double seconds = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(seconds) && seconds > 0 &&
            seconds <= kMaxTitleSeconds)
            out.length = seconds;
        else
            warning = name + ": ignoring its length '" + text + "' (not a number of seconds above 0)";
    }
    out.anchors = root.attribute(kAnchorsAttribute).value();
    if (const pugi::xml_attribute fit = root.attribute(kFitAttribute)) {
        const std::string text = fit.value();
        if (text == "output" || text == "design")
            out.fitOutput = text == "output";
        else
            warning = name + ": ignoring its fit '" + text + "' (not output or design)";
    }
    if (const pugi::xml_attribute frame = root.attribute(kFrameAttribute)) {
        DesignFrame parsed;
        if (ParseDesignFrame(frame.value(), parsed))
            out.frame = parsed;
        else
            warning = name + ": ignoring its frame '" + std::string(frame.value()) + "' (not WIDTHxHEIGHT)";
    }
}

}  // namespace

bool ReadTitleMeta(const std::string& path, TitleMeta& out, std::string& warning) {
    out = TitleMeta{};
    warning.clear();
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return false;
    ReadRootMeta(doc, path, out, warning);
    return true;
}

bool ReadTitleMetaText(std::string_view bytes, const std::string& name, TitleMeta& out, std::string& warning) {
    out = TitleMeta{};
    warning.clear();
    pugi::xml_document doc;
    if (!doc.load_buffer(bytes.data(), bytes.size())) return false;
    ReadRootMeta(doc, name, out, warning);
    return true;
}

bool InsertTitleMeta(std::u16string& document, const TitleMeta& meta) {
    size_t nameEnd = 0, tagEnd = 0;
    if (!FindRootTag(document, nameEnd, tagEnd)) return false;
    tagEnd = RemoveAttribute(document, nameEnd, tagEnd, Widen(kLengthAttribute));
    tagEnd = RemoveAttribute(document, nameEnd, tagEnd, Widen(kFrameAttribute));
    tagEnd = RemoveAttribute(document, nameEnd, tagEnd, Widen(kAnchorsAttribute));
    tagEnd = RemoveAttribute(document, nameEnd, tagEnd, Widen(kFitAttribute));
    std::string added;
    if (meta.length) {
        char seconds[40];
        std::snprintf(seconds, sizeof seconds, "%.10g", *meta.length);
        added += std::string(" ") + kLengthAttribute + "=\"" + seconds + "\"";
    }
    if (meta.frame) added += std::string(" ") + kFrameAttribute + "=\"" + FormatDesignFrame(*meta.frame) + "\"";
    // Only names, digits, points, commas, colons and spaces: nothing to escape.
    if (!meta.anchors.empty() &&
        meta.anchors.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.,:- e+") == std::string::npos)
        added += std::string(" ") + kAnchorsAttribute + "=\"" + meta.anchors + "\"";
    if (meta.fitOutput) added += std::string(" ") + kFitAttribute + "=\"output\"";
    // Trailing blanks of the tag stay where they were, after the new attributes.
    size_t at = tagEnd;
    while (at > nameEnd && (document[at - 1] == u' ' || document[at - 1] == u'\t')) --at;
    document.insert(at, Widen(added));
    return true;
}

}  // namespace qeltitle
