// The base layer: what every other part of the tool stands on.  The query
// wrapper and its rows (this header), the kinds and their columns
// (kinds.h), time stamps (timestamp.h), failures (failure.h), texts on
// their way out (text.h) and the output formats (render.h), the platform
// root (root.h) and the configuration file (configuration.h).  Nothing here
// logs an activity or knows a command; nothing here includes a header from
// another folder of the tool.
//
// The query wrapper over the library's query object (ILifelog).  Every
// reader of the tool (list and the aggregates, the web API, the report,
// serve's confirmation, the importer) goes through it, so that a listing
// is computed one way everywhere:
//
//   const Kind& calls = kindByWord("call");           // the kind/column table
//   Query query(calls, Range{from, to});              // factory + initialize(2)
//   query.where("CLOG_DURATION > 60");                // setFilter, refused -> Failure
//   query.orderBy("CLOG_TIMESTAMP", LIFELOG_ORDER_DESC);
//   Listing listing = query.list();                   // getEnumerator, drained
//   for (const Row& row : listing.rows) {
//       row.key;                  // LOG_KEY
//       row.timeText();           // the stored time stamp, "YYYY-MM-DD HH:MM:SS"
//       row.text("CLOG_PHONE_NUMBER"); row.number("CLOG_DURATION");
//   }
//   listing.skipped;              // rows the enumerator could not read
//
// Ownership: QueryObject owns one ILifelog reference (released in its
// destructor), Enumerator owns one ZLifelogEnumerator (deleted in its
// destructor) and must not outlive the QueryObject it came from; Query
// holds both for the length of each call.  Nothing here is shared between
// threads: make one Query per thread (or per request).
//
// Failures of the library or the platform are thrown as Failure (what the
// tool was doing, the code and its text); mistakes in what the user asked
// for (unknown kind or column, a time that is not a time) as UsageError.
#ifndef LIFELOG_TOOL_BASE_QUERY_H
#define LIFELOG_TOOL_BASE_QUERY_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/failure.h"
#include "base/kinds.h"
#include "base/timestamp.h"
#include "zkivLifelog.h"

namespace lifelog_tool {

// "asc"/"up" -> LIFELOG_ORDER_ASC, "desc"/"down" -> LIFELOG_ORDER_DESC.
int orderTypeByWord(std::string_view word);

// An order as the tool takes it: "COLUMN[:asc|desc]" ("duration",
// "duration:desc", "CLOG_DURATION:up") -> the column and its order type.
// UsageError for an unknown column or order.
std::pair<std::string, int> orderOf(const Kind& kind, const std::string& text);

// ------------------------------------------------------------------- rows

using Value = std::variant<std::monostate, int64_t, double, std::string>;

// One result row as the enumerator made it: every column of the kind's
// table in table order (std::monostate where the row holds NULL), the
// time-stamp column holding the stored time stamp as text, then any column
// that the table does not have (OCCURRED_COUNT of `top`).
struct Row {
    int64_t key = 0;  // LOG_KEY; 0 when the result has no LOG_KEY (top)
    DateTime time{};  // the stored time stamp; all 0 when the row has none
    std::vector<std::pair<std::string, Value>> cells;

    bool hasTime() const { return lifelog_tool::hasTime(time); }
    std::string timeText() const;  // formatTime(time), or "" without one
    const Value* find(std::string_view column) const;
    // The value as text ("" for NULL or a missing column), or as a number
    // (`fallback` for NULL, a text or a missing column).
    std::string text(std::string_view column) const;
    int64_t number(std::string_view column, int64_t fallback = 0) const;
};

// A row the enumerator could not turn into an activity (getCurrentN
// failed): where it came in the walk, its LOG_KEY when the tool could find
// it (0 when not), and the code.
struct SkippedRow {
    size_t position = 0;  // 1-based position among all rows of the walk
    int64_t key = 0;
    unsigned int code = 0;
};

struct Listing {
    std::vector<Row> rows;
    std::vector<SkippedRow> skipped;
};

// The column of `top`'s rows that holds how often their value occurs.
inline constexpr const char* kCountColumn = "OCCURRED_COUNT";

// One of `top`'s values and how often it occurs; `value` points into the
// row it came from and is null when the row lacks the column.
struct ValueCount {
    const Value* value;
    int64_t count;
};

// `top`'s rows as value/count pairs, the most frequent first.
std::vector<ValueCount> valueCounts(const std::vector<Row>& rows, std::string_view column);

// Prints one line per skipped row on standard error:
// "lifelog: skipped a call row that cannot be read (LOG_KEY 7): E_FAILURE (13)".
void reportSkipped(const Kind& kind, const std::vector<SkippedRow>& skipped);

// ----------------------------------------------------------- query object

// The part of a table that a query reads: a date range (both bounds
// included) when either bound is given; an open end reaches year 1 or 9999.
struct Range {
    std::optional<DateTime> from;
    std::optional<DateTime> to;
};

// The range of the --from and --to options: an empty text leaves that end
// open; a text parseBound() does not take is a UsageError naming the option.
Range rangeOfOptions(const std::string& from, const std::string& to);

// One ILifelog reference made through the library's class factory
// (Dll_getFactory -> createFactory -> createInstance(IID_ILifelog)) and
// released when this goes.  Not bound to a table yet.
class QueryObject {
public:
    QueryObject();
    ~QueryObject();
    QueryObject(QueryObject&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    QueryObject& operator=(QueryObject&&) = delete;
    QueryObject(const QueryObject&) = delete;
    QueryObject& operator=(const QueryObject&) = delete;

    ILifelog* get() const { return object_; }
    ILifelog* operator->() const { return object_; }

private:
    ILifelog* object_ = nullptr;
};

// Owns one ZLifelogEnumerator and walks it.  An unreadable row is skipped
// (recorded, not thrown): one bad row must not spoil a listing.
class Enumerator {
public:
    // Takes `made` (may be null); throws Failure(doing, err) when err != 0.
    Enumerator(const Kind& kind, ZLifelogEnumerator* made, unsigned int err, std::string doing);
    ~Enumerator();
    Enumerator(const Enumerator&) = delete;
    Enumerator& operator=(const Enumerator&) = delete;

    // The next readable row, or nullopt at the end; unreadable rows on the
    // way go to skipped().  Throws Failure when the walk itself fails.
    std::optional<Row> next();
    const std::vector<SkippedRow>& skipped() const { return skipped_; }

private:
    const Kind& kind_;
    ZLifelogEnumerator* enumerator_;
    std::string doing_;
    size_t position_ = 0;
    std::vector<SkippedRow> skipped_;
};

// A query object bound to one table (initialize, or initialize2 for a
// range), with the tool's errors.  Each reading call makes its own
// enumerator and drains it before returning.
class Query {
public:
    Query(const Kind& kind, const Range& range);

    const Kind& kind() const { return kind_; }
    const Range& range() const { return range_; }
    const std::string& filter() const { return filter_; }  // the accepted condition, or ""
    ILifelog* object() const { return object_.get(); }

    // A condition in SQL on the table's columns (setFilter); refused when
    // the library refuses it.
    void where(const std::string& condition);
    void orderBy(const std::string& column, int orderType);
    void orderBy(const std::string& column1, int orderType1, const std::string& column2,
                 int orderType2);

    // getEnumerator.  `limit` > 0 stops after that many rows.  Skipped rows
    // carry their LOG_KEY.
    Listing list(size_t limit = 0);
    // Calls `each` for every readable row, without keeping them; returns
    // the skipped rows (with their LOG_KEY).  `each` returns false to stop.
    std::vector<SkippedRow> forEach(const std::function<bool(const Row&)>& each);
    Listing max(const std::string& column);
    Listing min(const std::string& column);
    // Rows of (column, OCCURRED_COUNT), the most frequent value first.
    Listing top(const std::string& column, int limit);
    int count();
    int sum(const std::string& column);
    double average(const std::string& column);

private:
    Listing drain(ZLifelogEnumerator* made, unsigned int err, const std::string& doing,
                  const std::string& keyCondition, size_t limit);
    void findKeys(std::vector<SkippedRow>& skipped, const std::vector<int64_t>& readKeys,
                  const std::string& keyCondition);

    const Kind& kind_;
    Range range_;
    std::string filter_;
    QueryObject object_;
};

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_QUERY_H
