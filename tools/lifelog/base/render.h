// Rows and values as the tool prints them: aligned tables for people,
// CSV, JSON and JSON lines for programs.  Every text goes out as valid
// UTF-8; the table view shows control characters as escapes.
#ifndef LIFELOG_TOOL_BASE_RENDER_H
#define LIFELOG_TOOL_BASE_RENDER_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "base/query.h"

namespace lifelog_tool {

enum class Format { Table, Csv, Json, Ndjson };

// "table", "csv", "json", "ndjson"; UsageError otherwise.
Format formatByWord(std::string_view word);

// A value as a table cell: numbers in decimal (doubles with two decimals),
// texts printable(), NULL empty.
std::string cellText(const Value& value);
// A value as JSON: null, a number, or the text as valid UTF-8.
nlohmann::ordered_json jsonValue(const Value& value);
// Every column of the table (null where the row has none) keyed by its
// table name, then any extra column (OCCURRED_COUNT).
nlohmann::ordered_json jsonRow(const Kind& kind, const Row& row);
nlohmann::ordered_json jsonRows(const Kind& kind, const std::vector<Row>& rows);
// `top`'s values as JSON: [{"value": ..., "count": n}, ...].
nlohmann::ordered_json jsonValueCounts(const std::vector<ValueCount>& pairs);
// JSON text that any parser accepts: invalid UTF-8 replaced, control
// characters escaped.  indent < 0: one line.
std::string jsonText(const nlohmann::ordered_json& value, int indent = -1);

// One CSV field (RFC 4180): quoted when it holds a comma, a quote, a line
// break or leading/trailing blanks, with quotes doubled.
std::string csvField(std::string_view text);

// An aligned text table: a header line, then one line per row, columns
// two blanks apart; right-aligned columns where asked.  Cells are shown
// with printable(), widths counted in characters.
struct Table {
    std::vector<std::string> headers;
    std::vector<bool> rightAligned;
    std::vector<std::vector<std::string>> rows;

    std::string render(int indent = 0) const;
};

// How rows are shown to people (JSON always holds the stored values).
struct RenderOptions {
    bool raw = false;         // directions and types as the stored numbers, not words
    bool allColumns = false;  // also the cell columns that hold only the default -1
};

// The rows as a table of the columns that hold a value in some row (the
// cell columns only when some row has a cell), headed by their short
// names; directions and types in words; numeric columns right-aligned.
Table rowsTable(const Kind& kind, const std::vector<Row>& rows, RenderOptions options = {});

// The rows in one of the formats: a table ("no calls" when empty), CSV
// with a header line of the table's column names (every column, directions
// and types in words unless raw), a JSON array, or one JSON object per line.
std::string renderRows(const Kind& kind, const std::vector<Row>& rows, Format format,
                       RenderOptions options = {});

// 75 -> "1:15", 3725 -> "1:02:05".
std::string duration(int64_t seconds);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_RENDER_H
