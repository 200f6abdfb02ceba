// What the importer and the exporter need of the stored calls and
// messages: the rows of a time span, one at a time through the query
// object, and a check of the newest row of a table.
#ifndef LIFELOG_TOOL_BACKUP_STORE_H
#define LIFELOG_TOOL_BACKUP_STORE_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/query.h"
#include "base/render.h"
#include "zbase.h"

namespace lifelog_tool {

// useZone() for --tz, with the tool's error when there is no such zone.
void requireZone(const std::string& zone);

struct StoredRow {
    std::string time;  // the time-stamp text
    std::string number;
    int direction = 0;
    int type = 0;
    int duration = 0;
    std::string summary;  // messages; empty when the column is NULL
};

// Calls `each` for every row of the kind's table whose time stamp lies in
// the range (both ends included), oldest first when `oldestFirst`.  A missing database holds no
// rows.  Rows stream: nothing but the current row is held.
void forEachStored(const Kind& kind, const Range& range, bool oldestFirst,
                   const std::function<void(const StoredRow&)>& each);

// A read connection of the tool's own on the database file, for what the
// query object cannot answer cheaply once per entry: did the last logging
// call store a row, and how many rows does a table hold.
class StoreCheck {
public:
    explicit StoreCheck(const Kind& kind);
    ~StoreCheck();
    StoreCheck(const StoreCheck&) = delete;
    StoreCheck& operator=(const StoreCheck&) = delete;

    // The newest row's key, time stamp and number; nothing when the table
    // is empty or the database does not exist yet.
    struct Newest {
        int64_t key = 0;
        std::string time;
        std::string number;
    };
    std::optional<Newest> newest();
    int64_t rowCount();
    // The oldest time stamp of the table; nothing when it is empty.
    std::optional<std::string> oldestTime();

private:
    bool open();
    // The statement's first row, or null when it has none; the caller
    // resets the rows when it has read them.
    DbEnumerator* firstRow(DbStatement* statement, const std::string& what);

    const Kind& kind_;
    Database* database_ = nullptr;
    DbStatement* newest_ = nullptr;
    DbStatement* count_ = nullptr;
    DbStatement* oldest_ = nullptr;
};

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_STORE_H
