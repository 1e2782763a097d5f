#include "scenario/limits_csv.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

#include "scenario/scenario.h"

namespace kesvar_cli {

namespace {

using json = nlohmann::json;

// A row of the file: the line it starts on and its fields as written.
struct CsvRow {
    int line;
    std::vector<std::string> fields;
};

[[noreturn]] void FailAt(const std::string& file, int line, const std::string& what) {
    throw ScenarioError(file + ":" + std::to_string(line), what);
}

std::string TrimSpaces(const std::string& s) {
    const size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Reads a CSV text one row at a time. Unquoted fields are trimmed of spaces; a quoted one is
// taken as written, its doubled quotes made single.
class CsvScanner {
  public:
    CsvScanner(const std::string& text, const std::string& file) : text_(text), file_(file) {}

    bool AtEnd() const { return at_ >= text_.size(); }

    // The next row; a blank one is a single empty field.
    CsvRow NextRow() {
        CsvRow row{line_, {}};
        while (NextField(&row)) {
        }
        return row;
    }

  private:
    // Appends the next field to the row; true while more fields follow in it.
    bool NextField(CsvRow* row) {
        const bool quoted = at_ < text_.size() && text_[at_] == '"';
        std::string field = quoted ? QuotedField(row->line) : std::string();
        size_t end = text_.find_first_of(",\n", at_);
        if (end == std::string::npos) end = text_.size();
        std::string rest = text_.substr(at_, end - at_);
        if (!rest.empty() && rest.back() == '\r') rest.pop_back();
        if (quoted && rest.find_first_not_of(' ') != std::string::npos)
            FailAt(file_, row->line, "expected ',' after a quoted field");
        row->fields.push_back(quoted ? field : TrimSpaces(rest));
        const bool lineEnd = end < text_.size() && text_[end] == '\n';
        if (lineEnd) ++line_;
        at_ = end + 1;
        return end < text_.size() && !lineEnd;
    }

    // The quoted field at at_, which ends past its closing quote.
    std::string QuotedField(int rowLine) {
        std::string field;
        for (++at_;; ++at_) {
            if (at_ >= text_.size()) FailAt(file_, rowLine, "expected a closing '\"'");
            if (text_[at_] != '"') {
                if (text_[at_] == '\n') ++line_;
                field += text_[at_];
            } else if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                field += '"';
                ++at_;
            } else {
                ++at_;
                return field;
            }
        }
    }

    const std::string& text_;
    const std::string& file_;
    size_t at_ = 0;
    int line_ = 1;
};

// The rows that are not blank.
std::vector<CsvRow> ReadRows(const std::string& text, const std::string& file) {
    CsvScanner scanner(text, file);
    std::vector<CsvRow> rows;
    while (!scanner.AtEnd()) {
        CsvRow row = scanner.NextRow();
        if (row.fields.size() != 1 || !row.fields[0].empty()) rows.push_back(std::move(row));
    }
    return rows;
}

// Every column of the header row names a key of the record.
void CheckHeader(const CsvRow& header, const std::string& file, const Keys& keys) {
    const std::vector<std::string>& names = header.fields;
    if (names.size() == 1 && names[0].find(';') != std::string::npos)
        FailAt(file, header.line, "expected fields separated by ',', found ';'");
    for (size_t f = 0; f < names.size(); ++f) {
        if (std::find_if(keys.begin(), keys.end(), [&](const char* k) { return names[f] == k; }) ==
            keys.end())
            throw ScenarioError(
                file + ":" + std::to_string(header.line) + ", column " + std::to_string(f + 1),
                "unexpected key '" + names[f] + "' (expected one of: " + KeyList(keys) + ")");
    }
}

// Whether [b, e), which a NUL follows, is one decimal number in range. A standard library
// without floating-point from_chars (the WebAssembly one) gets strtod, which reads the same
// numbers in the C locale the tool keeps, but also hexadecimal and leading blanks.
bool WholeDouble(const char* b, const char* e, double* d) {
#ifdef __cpp_lib_to_chars
    auto r = std::from_chars(b, e, *d);
    return r.ec == std::errc() && r.ptr == e;
#else
    if (b == e || isspace(static_cast<unsigned char>(*b)) ||
        std::find_if(b, e, [](char c) { return c == 'x' || c == 'X'; }) != e)
        return false;
    char* end = nullptr;
    errno = 0;
    *d = strtod(b, &end);
    return end == e && errno != ERANGE;
#endif
}

// A field of a number column as the JSON value it stands for; anything else stays a string.
json NumberField(const std::string& field) {
    const char* b = field.data() + (field[0] == '+' ? 1 : 0);
    const char* e = field.data() + field.size();
    int64_t i;
    auto ri = std::from_chars(b, e, i);
    if (ri.ec == std::errc() && ri.ptr == e) return json(i);
    double d;
    if (WholeDouble(b, e, &d)) return json(d);
    return json(field);
}

json RecordOf(const CsvRow& row, const std::vector<std::string>& header, const std::string& where) {
    static const std::set<std::string> textColumns = {"firm", "client", "tag", "security",
                                                      "account"};
    if (row.fields.size() > header.size())
        throw ScenarioError(where, "expected at most " + std::to_string(header.size()) +
                                       " fields, as many as the header row names");
    json record = json::object();
    for (size_t f = 0; f < row.fields.size(); ++f) {
        const std::string& field = row.fields[f];
        if (field.empty()) continue;
        record[header[f]] = textColumns.count(header[f]) ? json(field) : NumberField(field);
    }
    return record;
}

} // namespace

std::string KeyList(const Keys& keys) {
    std::string list;
    for (const char* k : keys)
        list += std::string(list.empty() ? "" : ", ") + k;
    return list;
}

std::vector<CsvRecord> CsvRecords(std::string text, const std::string& file, const Keys& keys) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3); // as spreadsheets save it
    const std::vector<CsvRow> rows = ReadRows(text, file);
    if (rows.empty())
        throw ScenarioError(file, "expected a header row of key names, found an empty file");
    CheckHeader(rows[0], file, keys);
    if (rows.size() == 1)
        FailAt(file, rows[0].line, "expected at least one record after the header row");
    std::vector<CsvRecord> records;
    for (size_t r = 1; r < rows.size(); ++r) {
        const std::string where = file + ":" + std::to_string(rows[r].line);
        records.push_back({where, RecordOf(rows[r], rows[0].fields, where)});
    }
    return records;
}

} // namespace kesvar_cli
