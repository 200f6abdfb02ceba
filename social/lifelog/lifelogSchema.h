// The lifelog database as every part of the library (and the lifelog tool)
// sees it: the two platform files, and one row per stored kind of activity
// with its table, columns, cell-information keys and statements.
//
// To change a table, change its row: the checks at the end of this file
// and lifelog::columnOf (used wherever code names a column) make the
// compiler point at every place that no longer matches.
#pragma once

#include <array>
#include <iterator>
#include <string_view>
#include <tuple>

namespace lifelog {

inline constexpr const char* kDatabasePath = "/SystemRW/Lifelog/Database/lifelog.db";
inline constexpr const char* kConfigPath = "/System/Lifelog/lifelogconf.ini";

// The rows each table keeps when the configuration names no maximum.
inline constexpr int kDefaultMaxCount = 500;

// The characters (not bytes) of a message text that the message builder
// keeps as the message's summary.
inline constexpr int kSummaryCharacters = 30;

// The database writer's work texts, each with room for its final NUL: one
// value's written form, the column list and the value list, and the whole
// insert statement.  A row that outgrows one is not written.
inline constexpr int kWriterValueRoom = 1024;
inline constexpr int kWriterListRoom = 2048;
inline constexpr int kWriterInsertRoom = 4096;

// Columns that every table has.
inline constexpr const char* kKeyColumn = "LOG_KEY";
inline constexpr const char* kLocationColumn = "LOCATION";

// The one kind that is built and logged but has no table.
inline constexpr const char* kPhotoKind = "ACTIVITY_PHOTO";

// When a write puts the activity's own time stamp into the row: never
// (media), always (messages), or by the call's rule (calls).
enum class StampRule { kNever, kAlways, kCall };

// The four cell-information items every builder adds, in this order.
struct CellKeys {
    const char* cellId;
    const char* lac;
    const char* mcc;
    const char* mnc;
};

inline constexpr int kMaxColumns = 14;

struct TableSchema {
    const char* kind;             // the activity name, which is also the table name
    const char* timestampColumn;  // read back as the activity's time stamp
    std::array<const char*, kMaxColumns> columns;  // in table order; unused slots null
    CellKeys cellKeys;
    // The tabs and blanks of the statements are part of the text that the
    // database keeps for each table; they stay as they are.
    const char* create;
    const char* sameTimeDelete;  // null: the kind keeps rows of equal time
    const char* trim;            // removes the oldest row at the maximum
    const char* dateRange;       // the BETWEEN condition of a date range
    StampRule stampRule;
};

// clang-format off
inline constexpr TableSchema kCallTable = {
    "ACTIVITY_CALL", "CLOG_TIMESTAMP",
    {"LOG_KEY", "CLOG_DIRECTION", "CLOG_DURATION", "CLOG_TYPE", "CLOG_PHONE_NUMBER", "CLOG_NAME",
     "CLOG_CELLID", "CLOG_LAC", "CLOG_MCC", "CLOG_MNC", "LOCATION", "CLOG_TIMESTAMP"},
    {"CLOG_CELLID", "CLOG_LAC", "CLOG_MCC", "CLOG_MNC"},
    "CREATE TABLE IF NOT EXISTS 'ACTIVITY_CALL' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'CLOG_DIRECTION' INTEGER ,\t\t\t\t\t\t\t 'CLOG_DURATION' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'CLOG_TYPE' INTEGER, 'CLOG_PHONE_NUMBER' text(50), 'CLOG_NAME' text(50), \t\t\t\t\t\t\t 'CLOG_CELLID' INTEGER DEFAULT -1, 'CLOG_LAC' INTEGER DEFAULT -1, 'CLOG_MCC' INTEGER DEFAULT -1, 'CLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'CLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)",
    " \t\t\t\t\t\t\t\t\tDELETE FROM %s WHERE CLOG_TIMESTAMP='%04d-%02d-%02d %02d:%02d:%02d'",
    " \t\t\t\t\t\tDELETE FROM %s WHERE (SELECT COUNT(LOG_KEY) FROM %s) > %d \t\t                AND LOG_KEY=(SELECT LOG_KEY FROM %s WHERE \t\t                CLOG_TIMESTAMP=(SELECT MIN(CLOG_TIMESTAMP) FROM %s) LIMIT 1)",
    "CLOG_TIMESTAMP BETWEEN '%04d-%02d-%02d %02d:%02d:%02d' AND '%04d-%02d-%02d %02d:%02d:%02d'",
    StampRule::kCall,
};

inline constexpr TableSchema kMessageTable = {
    "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP",
    {"LOG_KEY", "MSGLOG_DIRECTION", "MSGLOG_SUMMARY", "MSGLOG_TYPE", "MSGLOG_PHONE_NUMBER",
     "MSGLOG_NAME", "MSGLOG_CELLID", "MSGLOG_LAC", "MSGLOG_MCC", "MSGLOG_MNC", "LOCATION",
     "MSGLOG_TIMESTAMP"},
    {"MSGLOG_CELLID", "MSGLOG_LAC", "MSGLOG_MCC", "MSGLOG_MNC"},
    "CREATE TABLE IF NOT EXISTS 'ACTIVITY_MESSAGE' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'MSGLOG_DIRECTION' INTEGER, \t\t\t\t\t\t\t 'MSGLOG_SUMMARY' text(100), 'MSGLOG_TYPE' INTEGER, \t\t\t\t\t\t\t 'MSGLOG_PHONE_NUMBER' text(50), 'MSGLOG_NAME' text(50), \t\t\t\t\t\t\t 'MSGLOG_CELLID' INTEGER DEFAULT -1, 'MSGLOG_LAC' INTEGER DEFAULT -1, 'MSGLOG_MCC' INTEGER DEFAULT -1, 'MSGLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'MSGLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)",
    " \t\t\t\t\t\t\t\t\tDELETE FROM %s WHERE MSGLOG_TIMESTAMP='%04d-%02d-%02d %02d:%02d:%02d'",
    " \t\t\t\t\t\tDELETE FROM %s WHERE (SELECT COUNT(LOG_KEY) FROM %s) > %d \t\t                AND LOG_KEY=(SELECT LOG_KEY FROM %s WHERE \t\t                MSGLOG_TIMESTAMP=(SELECT MIN(MSGLOG_TIMESTAMP) FROM %s) LIMIT 1)",
    "MSGLOG_TIMESTAMP BETWEEN '%04d-%02d-%02d %02d:%02d:%02d' AND '%04d-%02d-%02d %02d:%02d:%02d'",
    StampRule::kAlways,
};

inline constexpr TableSchema kMediaTable = {
    "ACTIVITY_MEDIA", "MDLOG_TIMESTAMP",
    {"LOG_KEY", "MDLOG_TITLE", "MDLOG_MEDIA_URI", "MDLOG_TYPE", "MDLOG_PLAY_TIME", "MDLOG_ARTIST",
     "MDLOG_ALBUM", "MDLOG_CATEGORY", "MDLOG_CELLID", "MDLOG_LAC", "MDLOG_MCC", "MDLOG_MNC",
     "LOCATION", "MDLOG_TIMESTAMP"},
    {"MDLOG_CELLID", "MDLOG_LAC", "MDLOG_MCC", "MDLOG_MNC"},
    "CREATE TABLE IF NOT EXISTS 'ACTIVITY_MEDIA' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'MDLOG_TITLE' text(100), \t\t\t\t\t\t\t 'MDLOG_MEDIA_URI' text(100), 'MDLOG_TYPE' INTEGER, \t\t\t\t\t\t\t 'MDLOG_PLAY_TIME' INTEGER DEFAULT -1, 'MDLOG_ARTIST' text(50), 'MDLOG_ALBUM' text(50), \t\t\t\t\t\t\t 'MDLOG_CATEGORY' text(50), \t\t\t\t\t\t\t 'MDLOG_CELLID' INTEGER DEFAULT -1, 'MDLOG_LAC' INTEGER DEFAULT -1, 'MDLOG_MCC' INTEGER DEFAULT -1, 'MDLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'MDLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)",
    nullptr,
    " \t\t\t\t\t\tDELETE FROM %s WHERE (SELECT COUNT(LOG_KEY) FROM %s) > %d \t\t                AND LOG_KEY=(SELECT LOG_KEY FROM %s WHERE \t\t                MDLOG_TIMESTAMP=(SELECT MIN(MDLOG_TIMESTAMP) FROM %s) LIMIT 1)",
    "MDLOG_TIMESTAMP BETWEEN '%04d-%02d-%02d %02d:%02d:%02d' AND '%04d-%02d-%02d %02d:%02d:%02d'",
    StampRule::kNever,
};
// clang-format on

// Every stored kind, in the order the tables are created.
inline constexpr const TableSchema* kTables[] = {&kCallTable, &kMessageTable, &kMediaTable};

// The row of a stored kind (compared exactly), or null (photos, unknown kinds).
constexpr const TableSchema* findTable(std::string_view kind) {
    for (const TableSchema* table : kTables) {
        if (kind == table->kind) {
            return table;
        }
    }
    return nullptr;
}

constexpr bool hasColumn(const TableSchema& table, std::string_view name) {
    for (const char* column : table.columns) {
        if (column != nullptr && name == column) {
            return true;
        }
    }
    return false;
}

// Not a constant expression, so that columnOf fails to compile on a name
// that its table does not have.
inline void noSuchColumnInThisTable() {}

// A column that code names by hand, checked against its table when the
// code is compiled: a column that left the table stops the build there.
consteval const char* columnOf(const TableSchema& table, const char* name) {
    if (!hasColumn(table, name)) {
        noSuchColumnInThisTable();
    }
    return name;
}

// The N of a column that the CREATE statement declares "text(N)", or 0
// for a column declared otherwise.  The database does not enforce it; the
// lifelog tool checks texts against it before logging them.
constexpr int declaredTextLength(const TableSchema& table, std::string_view column) {
    constexpr std::string_view kText = "' text(";
    const std::string_view create = table.create;
    for (size_t at = create.find(column); at != std::string_view::npos;
         at = create.find(column, at + 1)) {
        std::string_view after = create.substr(at + column.size());
        if (at == 0 || create[at - 1] != '\'' || !after.starts_with(kText)) {
            continue;
        }
        int length = 0;
        for (char digit : after.substr(kText.size())) {
            if (digit < '0' || digit > '9') {
                break;
            }
            length = length * 10 + (digit - '0');
        }
        return length;
    }
    return 0;
}

// Whether a result column is one of the tables' time-stamp columns.
constexpr bool isTimestampColumn(std::string_view name) {
    for (const TableSchema* table : kTables) {
        if (name == table->timestampColumn) {
            return true;
        }
    }
    return false;
}

namespace schema_checks {

// Whether the CREATE statement declares the column as 'NAME'.
constexpr bool declares(std::string_view create, std::string_view column) {
    for (size_t at = create.find(column); at != std::string_view::npos;
         at = create.find(column, at + 1)) {
        if (at > 0 && create[at - 1] == '\'' && at + column.size() < create.size() &&
            create[at + column.size()] == '\'') {
            return true;
        }
    }
    return false;
}

constexpr bool consistent(const TableSchema& table) {
    int count = 0;
    for (const char* column : table.columns) {
        if (column != nullptr) {
            ++count;
            if (!declares(table.create, column)) {
                return false;
            }
        }
    }
    const CellKeys& cell = table.cellKeys;
    return count > 0 && declares(table.create, table.kind) &&
           hasColumn(table, table.timestampColumn) && hasColumn(table, kKeyColumn) &&
           hasColumn(table, kLocationColumn) && hasColumn(table, cell.cellId) &&
           hasColumn(table, cell.lac) && hasColumn(table, cell.mcc) && hasColumn(table, cell.mnc) &&
           std::string_view(table.dateRange).starts_with(table.timestampColumn);
}

static_assert(consistent(kCallTable) && consistent(kMessageTable) && consistent(kMediaTable),
              "a table's columns, keys and statements disagree");

}  // namespace schema_checks

}  // namespace lifelog
