#include "authoring/Template.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "authoring/StyledString.h"
#include "base/Unicode.h"
#include "commands/Args.h"

namespace qeltitle {

namespace {

constexpr std::string_view kOpen = "{{", kClose = "}}";
constexpr double kDefaultJsonSize = 72;  // a JSON title's size when no style names one
constexpr int kFitRounds = 4;            // layout is nearly linear in the size: two rounds usually do

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    return first == std::string_view::npos ? "" : std::string(text.substr(first, last - first + 1));
}

const std::string* ValueOf(const FieldValues& values, std::string_view name) {
    for (const auto& [key, value] : values)
        if (key == name) return &value;
    return nullptr;
}

// A value fit for a title's text: UTF-8, and no control characters but line breaks and tabs.
Status CheckValue(const std::string& value) {
    if (qel::Utf16ToUtf8(qel::Utf8ToUtf16(value)) != value) return Failure("is not UTF-8 text");
    for (const unsigned char c : value)
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", c);
            return Failure(std::string("holds a control character (") + code + ")");
        }
    return {};
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string out = names.size() > 1 ? "fields " : "field ";
    for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
    return out;
}

// The size a JSON style object gives, else `inherited`.
double SizeIn(const Json& owner, double inherited) {
    if (owner.is_object() && owner.contains("style") && owner["style"].contains("size") &&
        owner["style"]["size"].is_number())
        return owner["style"]["size"].get<double>();
    return inherited;
}

// Every size of string `index` times `factor`: its style's (or the title's, written on it) and
// its spans' own.
void ScaleString(Json& doc, size_t index, double factor) {
    Json& s = doc["strings"][index];
    const double size = SizeIn(s, SizeIn(doc, kDefaultJsonSize));
    if (!s.contains("style") || !s["style"].is_object()) s["style"] = Json::object();
    s["style"]["size"] = FloatJson(static_cast<float>(size * factor));
    if (!s.contains("spans") || !s["spans"].is_array()) return;
    for (Json& span : s["spans"])
        if (span.is_object() && span.contains("size") && span["size"].is_number())
            span["size"] = FloatJson(static_cast<float>(span["size"].get<double>() * factor));
}

// A member name as a JSON pointer writes it.
std::string EscapedKey(const std::string& key) {
    std::string out;
    for (const char c : key) out += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    return out;
}

bool WholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad()) {
        bytes = std::strerror(errno);
        return false;
    }
    bytes = text.str();
    return true;
}

std::string Units(float value) { return std::to_string(std::lround(value)); }

}  // namespace

Expected<FitRule> ParseFitRule(std::string_view text) {
    if (text == "shrink") return FitRule::Shrink;
    if (text == "fail") return FitRule::Fail;
    if (text == "off") return FitRule::Off;
    return Failure("expected shrink, fail or off (got '" + std::string(text) + "')");
}

Expected<std::vector<std::string>> FieldsIn(std::string_view text) {
    std::vector<std::string> names;
    for (size_t at = 0;;) {
        const size_t open = text.find(kOpen, at);
        const size_t stray = text.find(kClose, at);
        if (stray != std::string_view::npos && stray < open)
            return Failure("'}}' without its '{{'");
        if (open == std::string_view::npos) return names;
        const size_t close = text.find(kClose, open + kOpen.size());
        if (close == std::string_view::npos)
            return Failure("'{{' without its '}}' (a field is written in one style: {{name}})");
        const std::string name = Trimmed(text.substr(open + kOpen.size(), close - open - kOpen.size()));
        if (name.empty() || name.find_first_of("{}") != std::string::npos)
            return Failure("a field needs a name: {{name}}");
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        at = close + kClose.size();
    }
}

bool FillFields(std::string_view text, const FieldValues& values, std::string& out, std::string& missing) {
    out.clear();
    size_t at = 0;
    for (size_t open; (open = text.find(kOpen, at)) != std::string_view::npos;) {
        const size_t close = text.find(kClose, open + kOpen.size());
        if (close == std::string_view::npos) break;
        const std::string name = Trimmed(text.substr(open + kOpen.size(), close - open - kOpen.size()));
        const std::string* value = ValueOf(values, name);
        if (!value) {
            missing = name;
            return false;
        }
        out.append(text.substr(at, open - at)).append(*value);
        at = close + kClose.size();
    }
    out.append(text.substr(at));
    return true;
}

Expected<TitleTemplate> TitleTemplate::FromJson(std::string_view text, const std::string& source) {
    TitleTemplate t;
    std::string error;
    if (!ParseJsonText(text, source, t.doc_, error)) return Failure(error);
    t.source_ = source;
    if (Status scanned = t.Scan(t.doc_, ""); !scanned) return Failure(scanned.Message());
    if (t.fields_.empty()) return Failure(source + ": no fields ({{name}}) in the title's text");
    return t;
}

Expected<TitleTemplate> TitleTemplate::Load(const std::string& path) {
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0) {
        std::string bytes;
        if (!WholeFile(path, bytes)) return Failure("cannot read " + path + ": " + bytes);
        return FromJson(bytes, path);
    }
    Expected<HostPtr> made = NewHost();
    if (!made) return Failure(made.Message());
    TitleMeta meta;
    std::string warning, json, error;
    if (Status loaded = LoadTitle(**made, path, meta, warning); !loaded) return Failure(loaded.Message());
    TitleExtras extras;
    extras.length = meta.length;
    if (meta.frame) extras.frame = FrameSize{meta.frame->width, meta.frame->height};
    extras.anchors = ParseAnchors(meta.anchors);
    extras.fitOutput = meta.fitOutput;
    if (!ExportTitleToJson(**made, extras, json, error)) return Failure("cannot read " + path + ": " + error);
    return FromJson(json, path);
}

bool TitleTemplate::HasField(std::string_view name) const {
    return std::find(fields_.begin(), fields_.end(), name) != fields_.end();
}

Status TitleTemplate::Scan(const Json& value, const std::string& pointer) {
    if (value.is_string()) {
        Expected<std::vector<std::string>> names = FieldsIn(value.get_ref<const std::string&>());
        if (!names) return Failure(source_ + ": " + FieldName(pointer) + ": " + names.Message());
        if (names->empty()) return {};
        uses_.push_back({pointer, *names});
        for (const std::string& n : *names)
            if (!HasField(n)) fields_.push_back(n);
        return {};
    }
    if (value.is_array())
        for (size_t i = 0; i < value.size(); ++i)
            if (Status s = Scan(value[i], pointer + "/" + std::to_string(i)); !s) return s;
    if (value.is_object())
        for (auto it = value.begin(); it != value.end(); ++it)
            if (Status s = Scan(it.value(), pointer + "/" + EscapedKey(it.key())); !s)
                return s;
    return {};
}

std::vector<std::string> TitleTemplate::FieldsAt(const std::string& pointer) const {
    std::vector<std::string> names;
    for (const Use& use : uses_) {
        const bool related = use.pointer.starts_with(pointer) || pointer.starts_with(use.pointer);
        if (!related) continue;
        for (const std::string& n : use.fields)
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
    }
    return names;
}

Expected<Json> TitleTemplate::Substitute(const FieldValues& values) const {
    for (const std::string& name : fields_) {
        const std::string* value = ValueOf(values, name);
        if (!value) return Failure("field " + name + ": missing");
        if (Status ok = CheckValue(*value); !ok) return Failure("field " + name + ": " + ok.Message());
    }
    Json doc = doc_;
    for (const Use& use : uses_) {
        Json& target = doc[Json::json_pointer(use.pointer)];
        std::string filled, missing;
        if (!FillFields(target.get_ref<const std::string&>(), values, filled, missing))
            return Failure("field " + missing + ": missing");
        target = filled;
    }
    return doc;
}

Status TitleTemplate::Build(const Json& doc, FilledTitle& out) const {
    if (!out.host) {
        Expected<HostPtr> made = NewHost();
        if (!made) return Failure(made.Message());
        out.host = std::move(*made);
    }
    const std::string text = doc.dump();
    TitleExtras extras;
    std::vector<std::string> warnings;
    std::string error;
    JsonValueFailure failed;
    if (!BuildTitleFromJson(*out.host, text, source_, extras, warnings, error, &failed)) {
        if (failed.pointer.empty()) return Failure(error);
        const std::vector<std::string> fields = FieldsAt(failed.pointer);
        const std::string what = FieldName(failed.pointer) + ": " + failed.message;
        // A value of the template itself is the template's fault, named by its place.
        return Failure(fields.empty() ? source_ + ": " + what : JoinNames(fields) + ": " + what);
    }
    out.warnings = std::move(warnings);
    out.meta = TitleMeta{};
    out.meta.length = extras.length;
    if (extras.frame) out.meta.frame = DesignFrame{extras.frame->width, extras.frame->height};
    out.meta.fitOutput = extras.fitOutput;
    out.meta.anchors = FormatAnchors(extras.anchors);
    out.json = doc;
    return {};
}

Expected<FilledTitle> TitleTemplate::Fill(const FieldValues& values, FitRule fit) const {
    Expected<Json> doc = Substitute(values);
    if (!doc) return Failure(doc.Message());
    FilledTitle out;
    if (Status built = Build(*doc, out); !built) return Failure(built.Message());
    if (Status fitted = FitStrings(out, values, fit); !fitted) return Failure(fitted.Message());
    return out;
}

Status TitleTemplate::FitStrings(FilledTitle& out, const FieldValues& values, FitRule fit) const {
    const DesignFrame frame = out.meta.frame.value_or(DesignFrame{});
    const std::vector<AnchoredString> anchors = ParseAnchors(out.meta.anchors);
    const size_t count = out.json.contains("strings") ? out.json["strings"].size() : 0;
    std::vector<std::string> notes;  // the builds below replace out.warnings
    for (size_t i = 0; i < count; ++i) {
        std::vector<std::string> fields = FieldsAt("/strings/" + std::to_string(i) + "/");
        if (fields.empty()) continue;
        // Of several fields in the string, the one with the longest value is named: it made the
        // string too long.
        const auto longest = std::max_element(fields.begin(), fields.end(), [&](const auto& a, const auto& b) {
            return qel::Utf8ToUtf16(*ValueOf(values, a)).size() < qel::Utf8ToUtf16(*ValueOf(values, b)).size();
        });
        fields = {*longest};
        const auto anchored = std::find_if(anchors.begin(), anchors.end(),
                                           [&](const AnchoredString& a) { return a.row == static_cast<int>(i); });
        double total = 1;
        for (int round = 0;; ++round) {
            const Extent e = MeasureString(*out.host, static_cast<int>(i));
            const float width = e.right - e.left, height = e.bottom - e.top;
            // What the design gives the string: the frame less its margins (a centred side has
            // none), or from where it starts to the frame's edge.
            float roomX = static_cast<float>(frame.width), roomY = static_cast<float>(frame.height);
            if (anchored != anchors.end()) {
                if (anchored->anchor.x != 1) roomX -= 2 * anchored->marginX;
                if (anchored->anchor.y != 1) roomY -= 2 * anchored->marginY;
            } else {
                roomX -= std::max(0.0f, e.left);
                roomY -= std::max(0.0f, e.top);
            }
            const double factor = std::min({1.0, double{roomX / std::max(width, 1.0f)}, double{roomY / std::max(height, 1.0f)}});
            if (factor >= 0.999) break;
            const std::string size = Units(width) + "x" + Units(height) + " units where the design has room for " +
                                     Units(roomX) + "x" + Units(roomY);
            if (fit == FitRule::Off) {
                notes.push_back(JoinNames(fields) + ": string " + std::to_string(i) + " is " + size);
                break;
            }
            const bool tooSmall = total * factor < kMinFitScale;
            if (fit == FitRule::Fail || tooSmall || round == kFitRounds)
                return Failure(JoinNames(fields) + ": too long for the design: string " + std::to_string(i) + " is " +
                               size + (tooSmall ? " (it would need less than half its size)" : ""));
            total *= factor * 0.995;  // a little under, so that rounding in layout does not leave it a unit over
            Json scaled = out.json;
            ScaleString(scaled, i, factor * 0.995);
            if (Status built = Build(scaled, out); !built) return built;
        }
        if (total < 1) {
            char percent[16];
            std::snprintf(percent, sizeof percent, "%.0f%%", total * 100);
            notes.push_back(JoinNames(fields) + ": string " + std::to_string(i) + " set at " + percent +
                            " of its size to fit the design");
        }
    }
    out.warnings.insert(out.warnings.end(), notes.begin(), notes.end());
    return {};
}

}  // namespace qeltitle
