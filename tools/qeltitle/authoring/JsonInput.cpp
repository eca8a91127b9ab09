#include "authoring/JsonInput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qeltitle {
namespace {

// Walks a JSON text that nlohmann already accepted, noting where each value starts.
class PositionScanner {
public:
    PositionScanner(std::string_view text, std::map<std::string, std::pair<int, int>, std::less<>>& out)
        : text_(text), out_(out) {}

    void Run() {
        SkipSpace();
        Value("");
    }

private:
    void Advance() {
        if (at_ < text_.size() && text_[at_] == '\n') ++line_, column_ = 0;
        ++at_;
        ++column_;
    }
    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            Advance();
    }
    char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    // A string's contents with the escapes JSON pointers care about decoded.
    std::string String() {
        std::string value;
        Advance();  // opening quote
        while (at_ < text_.size() && text_[at_] != '"') {
            if (text_[at_] == '\\' && at_ + 1 < text_.size()) {
                Advance();
                const char c = text_[at_];
                value += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
                if (c == 'u')
                    for (int i = 0; i < 4; ++i) Advance();
            } else {
                value += text_[at_];
            }
            Advance();
        }
        Advance();  // closing quote
        return value;
    }

    static std::string Escaped(const std::string& key) {
        std::string out;
        for (char c : key) out += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
        return out;
    }

    void Value(const std::string& pointer) {
        out_.emplace(pointer, std::make_pair(line_, column_));
        const char c = Peek();
        if (c == '{') {
            Advance();
            SkipSpace();
            while (at_ < text_.size() && Peek() != '}') {
                const std::string key = String();
                SkipSpace();
                Advance();  // ':'
                SkipSpace();
                Value(pointer + "/" + Escaped(key));
                SkipSpace();
                if (Peek() == ',') Advance(), SkipSpace();
            }
            Advance();
        } else if (c == '[') {
            Advance();
            SkipSpace();
            for (int index = 0; at_ < text_.size() && Peek() != ']'; ++index) {
                Value(pointer + "/" + std::to_string(index));
                SkipSpace();
                if (Peek() == ',') Advance(), SkipSpace();
            }
            Advance();
        } else if (c == '"') {
            String();
        } else {
            while (at_ < text_.size() && std::string_view(",]} \t\r\n").find(text_[at_]) == std::string_view::npos)
                Advance();
        }
    }

    std::string_view text_;
    std::map<std::string, std::pair<int, int>, std::less<>>& out_;
    size_t at_ = 0;
    int line_ = 1, column_ = 1;
};

std::string Describe(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::string FieldName(const std::string& pointer) {
    std::string name;
    size_t start = 1;
    while (start <= pointer.size() && !pointer.empty()) {
        size_t end = pointer.find('/', start);
        if (end == std::string::npos) end = pointer.size();
        std::string part = pointer.substr(start, end - start);
        for (size_t at; (at = part.find("~1")) != std::string::npos;) part.replace(at, 2, "/");
        for (size_t at; (at = part.find("~0")) != std::string::npos;) part.replace(at, 2, "~");
        const bool index = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
        name += index ? "[" + part + "]" : (name.empty() ? "" : ".") + part;
        start = end + 1;
    }
    return name.empty() ? "(document)" : name;
}

JsonPositions::JsonPositions(std::string_view text) { PositionScanner(text, positions_).Run(); }

std::string JsonPositions::Where(const std::string& pointer) const {
    std::string p = pointer;
    for (;;) {
        if (auto it = positions_.find(p); it != positions_.end())
            return std::to_string(it->second.first) + ":" + std::to_string(it->second.second);
        if (p.empty()) return "1:1";
        p.erase(p.rfind('/'));
    }
}

bool ParseJsonText(std::string_view text, const std::string& source, Json& out, std::string& error) {
    // A byte-order mark is not JSON, but editors write one.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    try {
        out = Json::parse(text.begin(), text.end());
        return true;
    } catch (const Json::parse_error& e) {
        // nlohmann's message: "[json.exception.parse_error.101] parse error at line 3, column 5: ...".
        std::string message = e.what();
        int line = 1, column = 1;
        if (const size_t at = message.find(" at line "); at != std::string::npos)
            std::sscanf(message.c_str() + at, " at line %d, column %d", &line, &column);
        if (const size_t colon = message.find(": "); colon != std::string::npos) message = message.substr(colon + 2);
        error = source + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
        return false;
    } catch (const Json::exception& e) {
        // A number beyond the range of a double ("1e999") is not a syntax error and has no position:
        // the place of the number it quotes is found in the text.
        std::string message = e.what();
        if (const size_t bracket = message.find("] "); bracket != std::string::npos) message = message.substr(bracket + 2);
        std::string where;
        const size_t open = message.find('\''), close = message.rfind('\'');
        if (open != std::string::npos && close > open + 1)
            if (const size_t at = text.find(message.substr(open + 1, close - open - 1)); at != std::string_view::npos) {
                const std::string_view before = text.substr(0, at);
                const size_t lineStart = before.rfind('\n');
                where = ":" + std::to_string(std::count(before.begin(), before.end(), '\n') + 1) + ":" +
                        std::to_string(at - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1);
            }
        error = source + where + ": " + message;
        return false;
    }
}

std::string DescribeFieldError(const JsonFieldError& e, std::string_view text, const std::string& source) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return source + ":" + JsonPositions(text).Where(e.pointer) + ": " + FieldName(e.pointer) + ": " + e.what();
}

void JsonField::RequireObject(const std::vector<std::string_view>& known) const {
    if (!value_->is_object()) Fail("expected an object");
    for (auto it = value_->begin(); it != value_->end(); ++it) {
        bool found = false;
        for (std::string_view k : known) found = found || k == it.key();
        if (found) continue;
        std::string list;
        for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        Member(it.key()).Fail("unknown field (known here: " + list + ")");
    }
}

JsonField JsonField::Member(std::string_view key) const {
    std::string escaped;
    for (char c : key) escaped += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    return JsonField((*value_)[std::string(key)], pointer_ + "/" + escaped);
}

JsonField JsonField::Element(size_t index) const { return JsonField((*value_)[index], pointer_ + "/" + std::to_string(index)); }

std::string JsonField::String() const {
    if (!value_->is_string()) Fail("expected a string");
    return value_->get<std::string>();
}

bool JsonField::Bool() const {
    if (!value_->is_boolean()) Fail("expected true or false");
    return value_->get<bool>();
}

double JsonField::Number(double lo, double hi) const {
    if (!value_->is_number()) Fail("expected a number");
    const double v = value_->get<double>();
    if (!std::isfinite(v) || v < lo || v > hi) Fail("expected a number from " + Describe(lo) + " to " + Describe(hi));
    return v;
}

long JsonField::Integer(long lo, long hi) const {
    if (!value_->is_number_integer()) Fail("expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    long v = 0;
    if (value_->is_number_unsigned()) {
        const uint64_t u = value_->get<uint64_t>();
        if (u > static_cast<uint64_t>(hi)) Fail("expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
        v = static_cast<long>(u);
    } else {
        v = value_->get<long>();
    }
    if (v < lo || v > hi) Fail("expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return v;
}

namespace {

bool Flat(const Json& v) {
    if (v.is_array())
        return std::all_of(v.begin(), v.end(), [](const Json& e) { return e.is_primitive(); });
    if (v.is_object())
        return v.dump().size() <= 90 && std::all_of(v.begin(), v.end(), [](const Json& e) {
                   return e.is_primitive() || (e.is_array() && Flat(e));
               });
    return true;
}

// One line: ", " and ": " between items, as a person writes it.
std::string Inline(const Json& v) {
    if (v.is_array()) {
        std::string out = "[";
        for (size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + Inline(v[i]);
        return out + "]";
    }
    if (v.is_object()) {
        std::string out = "{";
        bool first = true;
        for (auto it = v.begin(); it != v.end(); ++it, first = false)
            out += (first ? "" : ", ") + Json(it.key()).dump() + ": " + Inline(it.value());
        return out + "}";
    }
    return v.dump();
}

void Readable(const Json& v, int indent, std::string& out) {
    if (Flat(v)) {
        out += Inline(v);
        return;
    }
    const std::string pad(indent + 2, ' ');
    if (v.is_array()) {
        out += "[\n";
        for (size_t i = 0; i < v.size(); ++i) {
            out += pad;
            Readable(v[i], indent + 2, out);
            out += i + 1 < v.size() ? ",\n" : "\n";
        }
    } else {
        out += "{\n";
        size_t i = 0;
        for (auto it = v.begin(); it != v.end(); ++it, ++i) {
            out += pad + Json(it.key()).dump() + ": ";
            Readable(it.value(), indent + 2, out);
            out += i + 1 < v.size() ? ",\n" : "\n";
        }
    }
    out += std::string(indent, ' ') + (v.is_array() ? "]" : "}");
}

}  // namespace

std::string DumpReadable(const Json& value) {
    std::string out;
    Readable(value, 0, out);
    return out + "\n";
}

Json FloatJson(float value) {
    if (!std::isfinite(value)) return 0;
    char text[48];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    const double shortest = std::strtod(text, nullptr);
    if (shortest == 0 && std::signbit(value)) return -0.0;
    if (shortest == std::floor(shortest) && std::fabs(shortest) < 1e15) return static_cast<int64_t>(shortest);
    return shortest;
}

}  // namespace qeltitle
