// Reading the lifelog database through the library's query object
// (ILifelog), and printing what comes back as aligned tables or JSON.
#ifndef LIFELOG_TOOL_QUERY_H
#define LIFELOG_TOOL_QUERY_H

#include <fmt/format.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "zkivLifelog.h"

namespace lifelog_tool {

// A library or platform call that failed: what the tool was doing and the
// code it got.  what() reads "<doing>: <code text> (<code>)".
class Failure : public std::runtime_error {
public:
    Failure(const std::string& doing, unsigned int code);
    unsigned int code() const { return code_; }

private:
    unsigned int code_;
};

// Something the user asked for that cannot be done (unknown kind or
// column, a time that is not a time); no library code involved.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws Failure when err is not 0.
void check(unsigned int err, const std::string& doing);

// ------------------------------------------------------------------ kinds

struct Column {
    const char* name;       // the table's column name
    const char* shortName;  // what the tool also accepts and prints as header
};

struct Kind {
    const char* word;        // "call"
    const char* plural;      // "calls"
    const char* table;       // "ACTIVITY_CALL", also the activity name
    const char* prefix;      // "CLOG_"
    const char* timeColumn;  // "CLOG_TIMESTAMP"
    std::vector<Column> columns;  // in table order
};

const std::vector<Kind>& kinds();
// "call", "calls", "message", "msg", "media", or a table name.
const Kind& kindByWord(std::string_view word);
// A column of the kind's table from its name or short name, in any letter
// case ("duration", "CLOG_DURATION", "phone-number", "time").
std::string resolveColumn(const Kind& kind, std::string_view name);
std::string shortName(const Kind& kind, std::string_view column);

// ------------------------------------------------------------ time stamps

bool hasTime(const DateTime& t);
// "%04d-%02d-%02d %02d:%02d:%02d", the database's time-stamp form.
std::string formatTime(const DateTime& t);
// Exactly the time-stamp form, with a real date and time of day.
std::optional<DateTime> parseTimestamp(std::string_view text);
// The time-stamp form, or "YYYY-MM-DD HH:MM", or "YYYY-MM-DD" (the start
// of that day, or its last second when endOfDay).
std::optional<DateTime> parseBound(std::string_view text, bool endOfDay);

// ------------------------------------------------------------------- rows

using Value = std::variant<std::monostate, int64_t, double, std::string>;

// One result row: the columns that hold a value, in table order, then any
// column the table does not have (OCCURRED_COUNT).
struct Row {
    std::vector<std::pair<std::string, Value>> cells;

    const Value* find(std::string_view column) const;
    std::string text(std::string_view column) const;
    int64_t number(std::string_view column, int64_t fallback = 0) const;
};

// The part of a table that a query reads: a date range (both bounds
// included) when either bound is given.
struct Range {
    std::optional<DateTime> from;
    std::optional<DateTime> to;
};

// A query object bound to one table, made through the library's class
// factory and released when this goes.
class Query {
public:
    Query(const Kind& kind, const Range& range);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const Kind& kind() const { return kind_; }
    // A condition in SQL on the table's columns; refused when the database
    // refuses it.
    void where(const std::string& condition);
    void orderBy(const std::string& column, int orderType);
    void orderBy(const std::string& column1, int orderType1, const std::string& column2,
                 int orderType2);

    std::vector<Row> list();
    std::vector<Row> max(const std::string& column);
    std::vector<Row> min(const std::string& column);
    // Rows of (column, OCCURRED_COUNT), the most frequent value first.
    std::vector<Row> top(const std::string& column, int limit);
    int count();
    int sum(const std::string& column);
    double average(const std::string& column);

private:
    std::vector<Row> drain(ZLifelogEnumerator* enumerator, unsigned int err,
                           const std::string& doing);

    const Kind& kind_;
    ILifelog* object_ = nullptr;
};

// "ASC"/"asc" -> LIFELOG_ORDER_ASC, "desc" -> LIFELOG_ORDER_DESC.
int orderTypeByWord(std::string_view word);

// -------------------------------------------------------------- rendering

std::string cellText(const Value& value);
nlohmann::ordered_json jsonValue(const Value& value);
// Every column of the table (null where the row has none), then extras.
nlohmann::ordered_json jsonRow(const Kind& kind, const Row& row);
nlohmann::ordered_json jsonRows(const Kind& kind, const std::vector<Row>& rows);

// An aligned text table: a header line, then one line per row, columns
// two blanks apart; numeric columns right-aligned.
struct Table {
    std::vector<std::string> headers;
    std::vector<bool> rightAligned;
    std::vector<std::vector<std::string>> rows;

    std::string render(int indent = 0) const;
};

// The rows as a table of the columns that hold a value in some row,
// headed by their short names.
Table rowsTable(const Kind& kind, const std::vector<Row>& rows);

// 75 -> "1:15", 3725 -> "1:02:05".
std::string duration(int64_t seconds);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_QUERY_H
