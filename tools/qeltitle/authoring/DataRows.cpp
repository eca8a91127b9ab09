#include "authoring/DataRows.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "authoring/JsonInput.h"
#include "commands/Args.h"

namespace qeltitle {

const std::string* DataRow::Find(std::string_view name) const {
    for (const auto& [key, value] : values)
        if (key == name) return &value;
    return nullptr;
}

std::string DataRow::Where() const {
    std::string where = "row " + std::to_string(number);
    if (line > 0) where += " (line " + std::to_string(line) + ")";
    return where;
}

namespace {

// One record's cells and the line it starts on.
struct CsvRecord {
    std::vector<std::string> cells;
    int line = 0;
};

// Splits the text into records. A quoted cell runs to the next lone quote, through commas and
// line breaks ("" is a quote); a quote inside an unquoted cell is taken as it is, as spreadsheets
// read it. CR LF, LF and a lone CR end a record outside quotes; a line break inside a quoted
// cell is kept as LF.
Expected<std::vector<CsvRecord>> SplitCsv(std::string_view text, const std::string& source) {
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string cell;
    int line = 1, quoteLine = 0;
    bool quoted = false, cellStarted = false;
    record.line = 1;
    const auto endCell = [&] {
        record.cells.push_back(std::move(cell));
        cell.clear();
        cellStarted = false;
    };
    const auto endRecord = [&] {
        endCell();
        // A blank line is no record (a file often ends in one).
        if (!(record.cells.size() == 1 && record.cells[0].empty())) records.push_back(std::move(record));
        record = CsvRecord{};
        record.line = line;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                cell += '\n';
                ++line;
            } else {
                cell += c;
            }
            continue;
        }
        if (c == '"' && !cellStarted) {
            quoted = cellStarted = true;
            quoteLine = line;
        } else if (c == ',') {
            endCell();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++line;
            endRecord();
        } else {
            cell += c;
            cellStarted = true;
        }
    }
    if (quoted)
        return Failure(source + ":" + std::to_string(quoteLine) + ": a quoted cell is not closed (a quote opened here "
                                                                   "has no closing quote)");
    if (cellStarted || !cell.empty() || !record.cells.empty()) endRecord();
    return records;
}

}  // namespace

Expected<DataTable> ReadCsv(std::string_view bytes, const std::string& source) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return Failure(source + ": UTF-16 text; save the table as CSV in UTF-8");
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    Expected<std::vector<CsvRecord>> records = SplitCsv(bytes, source);
    if (!records) return Failure(records.Message());
    if (records->empty()) return Failure(source + ": no header row (the first row names the fields)");
    DataTable table;
    const CsvRecord& header = records->front();
    for (size_t c = 0; c < header.cells.size(); ++c) {
        std::string name = header.cells[c];
        // Column names are matched without the spaces around them.
        const size_t first = name.find_first_not_of(" \t"), last = name.find_last_not_of(" \t");
        name = first == std::string::npos ? "" : name.substr(first, last - first + 1);
        if (name.empty())
            return Failure(source + ":" + std::to_string(header.line) + ": column " + std::to_string(c + 1) +
                           " has no name");
        for (const std::string& seen : table.columns)
            if (seen == name)
                return Failure(source + ":" + std::to_string(header.line) + ": column '" + name + "' is named twice");
        table.columns.push_back(name);
    }
    for (size_t r = 1; r < records->size(); ++r) {
        const CsvRecord& record = (*records)[r];
        DataRow row;
        row.number = static_cast<int>(r);
        row.line = record.line;
        if (record.cells.size() != table.columns.size())
            row.problem = std::to_string(record.cells.size()) + " cells where the header has " +
                          std::to_string(table.columns.size()) + " (a comma inside a value needs quotes)";
        for (size_t c = 0; c < record.cells.size() && c < table.columns.size(); ++c)
            row.values.emplace_back(table.columns[c], record.cells[c]);
        table.rows.push_back(std::move(row));
    }
    return table;
}

Expected<DataTable> ReadDataJson(std::string_view bytes, const std::string& source) {
    Json doc;
    std::string error;
    if (!ParseJsonText(bytes, source, doc, error)) return Failure(error);
    if (!doc.is_array()) return Failure(source + ": expected an array of objects, one per row");
    DataTable table;
    for (size_t i = 0; i < doc.size(); ++i) {
        DataRow row;
        row.number = static_cast<int>(i + 1);
        const Json& element = doc[i];
        if (!element.is_object()) {
            row.problem = "expected an object of fields";
            table.rows.push_back(std::move(row));
            continue;
        }
        for (auto it = element.begin(); it != element.end(); ++it) {
            const Json& value = it.value();
            if (value.is_null()) continue;
            if (value.is_structured() && row.problem.empty())
                row.problem = "field " + it.key() + ": expected text, a number or true/false";
            row.values.emplace_back(it.key(), value.is_string() ? value.get<std::string>() : value.dump());
            bool known = false;
            for (const std::string& c : table.columns) known = known || c == it.key();
            if (!known) table.columns.push_back(it.key());
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

Expected<DataTable> ReadDataFile(const std::string& path) {
    std::string bytes;
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) return Failure("cannot read " + path + ": " + std::strerror(errno));
        std::ostringstream text;
        text << in.rdbuf();
        if (in.bad()) return Failure("cannot read " + path + ": " + std::strerror(errno));
        bytes = text.str();
    }
    const std::string source = path == "-" ? "<stdin>" : path;
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0) return ReadDataJson(bytes, source);
    return ReadCsv(bytes, source);
}

namespace {

// Characters that a value may not bring into a file name: folder separators (a value never
// leaves the output's folder), what other systems refuse in names, '%' (a frame pattern's), and
// control characters.
bool Unsafe(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|%{}").find(static_cast<char>(c)) != std::string_view::npos;
}

constexpr size_t kMaxNamePart = 120;  // bytes a value gives a file name, well under NAME_MAX


}  // namespace

// A value as part of a file name: unsafe characters become '_', spaces and dots at its ends go
// (no "..", no hidden files), it is cut to kMaxNamePart bytes at a character boundary. Empty when
// nothing is left.
std::string FileNamePart(std::string_view value) {
    std::string out;
    for (const unsigned char c : value) out += Unsafe(c) ? '_' : static_cast<char>(c);
    const size_t first = out.find_first_not_of(" ."), last = out.find_last_not_of(" .");
    out = first == std::string::npos ? "" : out.substr(first, last - first + 1);
    if (out.size() > kMaxNamePart) {
        size_t cut = kMaxNamePart;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
        out.erase(out.find_last_not_of(" .") + 1);
    }
    return out;
}

// The fields an output name uses ("out/{name}.mov": name).
Expected<std::vector<std::string>> OutputFields(const std::string& pattern) {
    std::vector<std::string> names;
    for (size_t at = 0; (at = pattern.find('{', at)) != std::string::npos;) {
        const size_t close = pattern.find('}', at);
        if (close == std::string::npos) return Failure("-o: '{' without its '}' in " + pattern);
        const std::string name = pattern.substr(at + 1, close - at - 1);
        if (name.empty() || name.find('{') != std::string::npos) return Failure("-o: a field needs a name: {name}");
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        at = close + 1;
    }
    return names;
}

// The output of a row: each {field} of the pattern replaced by its value made safe.
Expected<std::string> OutputName(const std::string& pattern, const std::vector<std::pair<std::string, std::string>>& values) {
    std::string out;
    size_t at = 0;
    for (size_t open; (open = pattern.find('{', at)) != std::string::npos;) {
        const size_t close = pattern.find('}', open);
        const std::string name = pattern.substr(open + 1, close - open - 1);
        const auto value = std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
        if (value == values.end()) return Failure("field " + name + ": missing (the output's name uses it)");
        const std::string part = FileNamePart(value->second);
        if (part.empty()) return Failure("field " + name + ": '" + value->second + "' gives an empty file name");
        out += pattern.substr(at, open - at) + part;
        at = close + 1;
    }
    return out + pattern.substr(at);
}

Expected<RowRange> ParseRowRange(std::string_view text) {
    const size_t colon = text.find(':');
    long first = 0, last = 0x7fffffff;
    std::string ignored;
    const bool ok = colon != std::string_view::npos && ParseInteger(text.substr(0, colon), 1, 0x7fffffff, first, ignored) &&
                    (colon + 1 == text.size() || ParseInteger(text.substr(colon + 1), 1, 0x7fffffff, last, ignored)) &&
                    first <= last;
    if (!ok)
        return Failure("bad rows '" + std::string(text) + "': expected A:B (or A:), row numbers from 1 with A <= B");
    return RowRange{static_cast<int>(first), static_cast<int>(last)};
}

}  // namespace qeltitle
