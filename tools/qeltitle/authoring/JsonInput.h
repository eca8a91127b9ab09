// Reading JSON documents written by people (titles, caption styles) with messages that point at
// the place: "title.json:12:9: strings[0].spans[1].size: expected a number from 1 to 4096".
//
// nlohmann::json reports syntax errors with a line and column but keeps no positions in the
// values it builds, so the text is scanned once more (it is known to be valid by then) to map each
// value's JSON pointer to where it starts. Readers walk the document through JsonField, which
// carries that pointer, checks types and ranges, and rejects fields it does not know (a misspelt
// "colour" is an error, not a silent default).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qeltitle {

using Json = nlohmann::ordered_json;

// Thrown by JsonField checks; `pointer` is the JSON pointer of the offending value.
struct JsonFieldError : std::runtime_error {
    JsonFieldError(std::string pointerText, const std::string& message)
        : std::runtime_error(message), pointer(std::move(pointerText)) {}
    std::string pointer;
};

// Line and column (from 1) of every value in a valid JSON text, by JSON pointer.
class JsonPositions {
public:
    explicit JsonPositions(std::string_view text);
    // "LINE:COLUMN" of the value at `pointer` (or of its nearest enclosing value).
    std::string Where(const std::string& pointer) const;

private:
    std::map<std::string, std::pair<int, int>, std::less<>> positions_;
};

// Parses `text`. On failure `error` is "SOURCE:LINE:COLUMN: reason".
bool ParseJsonText(std::string_view text, const std::string& source, Json& out, std::string& error);
// "SOURCE:LINE:COLUMN: field: message" for a JsonFieldError raised while reading `text`.
std::string DescribeFieldError(const JsonFieldError& e, std::string_view text, const std::string& source);

// "/strings/0/spans/1/size" -> "strings[0].spans[1].size": a value's place as messages name it.
std::string FieldName(const std::string& pointer);

// A value inside a document being read, with its JSON pointer.
class JsonField {
public:
    JsonField(const Json& value, std::string pointer) : value_(&value), pointer_(std::move(pointer)) {}

    const Json& Value() const { return *value_; }
    const std::string& Pointer() const { return pointer_; }
    [[noreturn]] void Fail(const std::string& message) const { throw JsonFieldError(pointer_, message); }

    bool IsObject() const { return value_->is_object(); }
    bool IsArray() const { return value_->is_array(); }
    bool IsString() const { return value_->is_string(); }
    bool IsBool() const { return value_->is_boolean(); }
    bool IsNumber() const { return value_->is_number(); }

    // Objects: fails on any member not in `known`.
    void RequireObject(const std::vector<std::string_view>& known) const;
    bool Has(std::string_view key) const { return value_->is_object() && value_->contains(key); }
    JsonField Member(std::string_view key) const;
    // Arrays.
    size_t Size() const { return value_->size(); }
    JsonField Element(size_t index) const;

    std::string String() const;
    bool Bool() const;
    double Number(double lo, double hi) const;
    long Integer(long lo, long hi) const;
    float Float(double lo, double hi) const { return static_cast<float>(Number(lo, hi)); }

private:
    const Json* value_;
    std::string pointer_;
};

// Indented JSON text for people: arrays of numbers and small objects stay on one line.
std::string DumpReadable(const Json& value);

// A float as the shortest decimal that reads back as the same float, as a JSON number.
Json FloatJson(float value);

}  // namespace qeltitle
