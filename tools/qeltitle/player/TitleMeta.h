// What a title file remembers beyond what the library stores: the length in seconds it was made
// for and the frame (in layout units) it was laid out in. Both are attributes of the root element,
// <CTitle Version="2.0" Length="4" Frame="1920x1080">, and how strings were placed (Anchors), which the library's loader does not read
// and a save through the library does not keep; the tool writes them into the document the
// library gives it, and reads them from the file with its own XML parser. A title without them
// (made elsewhere, or before they existed) reports neither.
//
// Shared by the tool and the MLT producer; it depends on pugixml only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qeltitle {

struct DesignFrame {
    int width = 1920;  // layout units
    int height = 1080;
    bool operator==(const DesignFrame&) const = default;
};

struct TitleMeta {
    std::optional<double> length;      // seconds, > 0
    std::optional<DesignFrame> frame;  // layout units, each side 1 to 16384
    // Where strings were placed by anchor and margin, as the tool writes it ("0:bottom-left:80,120
    // 2:center:0,0"); empty when none was. The JSON export reads it (authoring/TitleJson.h).
    std::string anchors;
    // How the title goes into an output frame of another shape: fitted whole (false, the default
    // and every title without the attribute), or laid onto the output frame (Fit="output"):
    // text at the size a 16:9 frame as tall as the output's short side gives it, each anchored
    // string at its anchor and margins of the output frame (a lower third stays at the bottom
    // left of a portrait clip), the others where they stood relative to the frame's centre.
    bool fitOutput = false;
};

constexpr double kMaxTitleSeconds = 86400;

// Reads the attributes of the file's root element. A value that is missing or not valid (a
// negative or empty length, a malformed size) is left unset; `warning` then names it. False only
// when the file cannot be read as XML.
bool ReadTitleMeta(const std::string& path, TitleMeta& out, std::string& warning);
// The same for a document held in memory (a title file's bytes); `name` names it in the warning.
bool ReadTitleMetaText(std::string_view bytes, const std::string& name, TitleMeta& out, std::string& warning);

// Adds the attributes to the start tag of the CTitle root in a document's text (UTF-16, as the
// library writes it), replacing any already there. False when the text has no CTitle start tag.
bool InsertTitleMeta(std::u16string& document, const TitleMeta& meta);

// "1920x1080"; and back, false for anything else.
std::string FormatDesignFrame(const DesignFrame& frame);
bool ParseDesignFrame(const std::string& text, DesignFrame& out);

}  // namespace qeltitle
