// Templates: a title (JSON or a title file) whose text holds named fields, {{name}} and
// {{role}}, filled from values given on the command line or read from a table.
//
// A template is held as the title's JSON (a title file is exported to it), so a filled title is
// laid out again by the library from the filled text, as `build` would: wrapping widths,
// anchors and margins apply to the new text. Fields may stand in any string value of the JSON
// (texts, and whole style values such as "color": "{{accent}}"); a refused value names its field.
//
// A filled field longer than the design allows: the design gives a string its frame, less its
// margins (anchored strings) or from where it starts (strings placed by "at"); a string that
// holds a field and outgrows that is, by the fit rule, shrunk as one block (every size in it by
// the same factor, at most to kMinFitScale), refused, or left as it is with a warning.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "authoring/JsonInput.h"
#include "authoring/TitleJson.h"
#include "player/Result.h"
#include "player/TitleFiles.h"
#include "player/TitleMeta.h"

namespace qeltitle {

using FieldValues = std::vector<std::pair<std::string, std::string>>;

enum class FitRule { Shrink, Fail, Off };
Expected<FitRule> ParseFitRule(std::string_view text);
// The smallest scale a string is shrunk to before the row fails.
inline constexpr double kMinFitScale = 0.5;

// A title filled in: the library holds it, ready to save or draw.
struct FilledTitle {
    HostPtr host;
    TitleMeta meta;
    Json json;                          // the filled JSON (as built, shrinking included)
    std::vector<std::string> warnings;  // substituted fonts, fields shrunk or left outside
};

class TitleTemplate {
public:
    // A JSON title (.json) or a title file (anything else).
    static Expected<TitleTemplate> Load(const std::string& path);
    // A JSON title's text; `source` names it in messages.
    static Expected<TitleTemplate> FromJson(std::string_view text, const std::string& source);

    // The field names, in order of first use.
    const std::vector<std::string>& Fields() const { return fields_; }
    bool HasField(std::string_view name) const;

    // The title with `values` filled in (every field needs one; names the template does not have
    // are the caller's to refuse). A failure names the field: "field role: missing", "field name:
    // holds a control character (U+0007)", "field name: too long for the design: ...".
    Expected<FilledTitle> Fill(const FieldValues& values, FitRule fit) const;

private:
    // A string value of the JSON that holds fields.
    struct Use {
        std::string pointer;
        std::vector<std::string> fields;
    };
    Status Scan(const Json& value, const std::string& pointer);
    // The fields of the values at or under `pointer`, or above it.
    std::vector<std::string> FieldsAt(const std::string& pointer) const;
    Expected<Json> Substitute(const FieldValues& values) const;
    Status Build(const Json& doc, FilledTitle& out) const;
    Status FitStrings(FilledTitle& out, const FieldValues& values, FitRule fit) const;

    Json doc_;
    std::string source_;
    std::vector<std::string> fields_;
    std::vector<Use> uses_;
};

// Replaces every {{ field }} of `text` by its value; false (with `missing` set) when a field has
// none. Exposed for the tests.
bool FillFields(std::string_view text, const FieldValues& values, std::string& out, std::string& missing);
// The names of the fields in `text`; fails on a "{{" without its "}}" or an empty name.
Expected<std::vector<std::string>> FieldsIn(std::string_view text);

}  // namespace qeltitle
