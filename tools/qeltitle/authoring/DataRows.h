// Rows of data for filling templates: a CSV file (RFC 4180: quoted cells holding commas, quotes
// doubled, line breaks; a UTF-8 byte-order mark; CR LF or LF line ends) whose first record names
// the columns, or a JSON array of objects. Each row keeps where it came from, so that every
// message can name it ("row 3 (line 5)").
//
// A row that cannot be used (a cell count that differs from the header, a JSON element that is
// not an object, a value that is an object or array) is kept with its problem rather than failing
// the whole file: the other rows are still made, and the row's own error names it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/Result.h"

namespace qeltitle {

struct DataRow {
    int number = 0;  // from 1, the header not counted
    int line = 0;    // where the row starts in a CSV file, from 1 (0 for JSON)
    std::vector<std::pair<std::string, std::string>> values;  // field name, text (UTF-8 as read)
    std::string problem;  // why the row cannot be used; empty when it can

    const std::string* Find(std::string_view name) const;
    // "row 3 (line 5)" or "row 3".
    std::string Where() const;
};

struct DataTable {
    std::vector<std::string> columns;  // CSV: the header; JSON: every name in order of first use
    std::vector<DataRow> rows;
};

// A CSV document. Fails (the whole file) on an empty file, a quote left open at the end (naming
// the line it opened on), an empty or repeated column name, or UTF-16 text.
Expected<DataTable> ReadCsv(std::string_view bytes, const std::string& source);
// A JSON array of objects; strings are taken as they are, numbers and booleans as written in the
// JSON, null as a missing field.
Expected<DataTable> ReadDataJson(std::string_view bytes, const std::string& source);
// By the name's extension: .json is JSON, anything else CSV.
Expected<DataTable> ReadDataFile(const std::string& path);

// "--rows A:B": rows A to B, from 1, inclusive. B past the last row is allowed (a scheduler
// splits a file without counting it); "A:" runs to the end.
struct RowRange {
    int first = 1;
    int last = 0x7fffffff;
    bool Contains(int row) const { return row >= first && row <= last; }
    bool operator==(const RowRange&) const = default;
};
Expected<RowRange> ParseRowRange(std::string_view text);

// Output names from fields. {FIELD} in a name pattern ("out/{name}.mov") is the row's value made
// safe as part of a file name: folder separators, characters other systems refuse in names, '%'
// (a frame pattern's), braces and control characters become '_'; spaces and dots at its ends go
// (no "..", no hidden files); it is cut to 120 bytes at a character's start. A value that leaves
// nothing fails, naming the field.
std::string FileNamePart(std::string_view value);
// The fields a pattern uses, in order; fails on a '{' without its '}' or an empty name.
Expected<std::vector<std::string>> OutputFields(const std::string& pattern);
// The pattern with its fields filled from `values`; a field without one fails, naming it.
Expected<std::string> OutputName(const std::string& pattern,
                                 const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace qeltitle
