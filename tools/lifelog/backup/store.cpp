// Stored rows for the importer and the exporter.
#include "backup/store.h"

#include "backup/mapping.h"
#include "base/configuration.h"
#include "zbase_host.h"

namespace lifelog_tool {

void requireZone(const std::string& zone) {
    if (!useZone(zone)) {
        throw UsageError(fmt::format(
            "--tz \"{}\": no such time zone (an IANA name such as Europe/Berlin, or UTC)", zone));
    }
}

void forEachStored(const Kind& kind, const Range& range, bool oldestFirst,
                   const std::function<void(const StoredRow&)>& each) {
    unsigned int err = 0;
    if (!_Database_existsInternal(kDatabasePath, &err)) {
        return;
    }
    Query query(kind, range);
    if (oldestFirst) {
        query.orderBy(kind.timeColumn, LIFELOG_ORDER_ASC, "LOG_KEY", LIFELOG_ORDER_ASC);
    }
    std::string prefix = kind.prefix;
    std::vector<SkippedRow> skipped = query.forEach([&](const Row& row) {
        StoredRow stored;
        stored.time = row.timeText();
        stored.number = row.text(prefix + "PHONE_NUMBER");
        stored.direction = static_cast<int>(row.number(prefix + "DIRECTION"));
        stored.type = static_cast<int>(row.number(prefix + "TYPE"));
        stored.duration = static_cast<int>(row.number(prefix + "DURATION"));
        stored.summary = row.text(prefix + "SUMMARY");
        each(stored);
        return true;
    });
    reportSkipped(kind, skipped);
}

StoreCheck::StoreCheck(const Kind& kind) : kind_(kind) {}

StoreCheck::~StoreCheck() {
    unsigned int err = 0;
    if (newest_ != nullptr) {
        DbStatement_destroy(newest_, &err);
    }
    for (DbStatement* statement : {count_, oldest_}) {
        if (statement != nullptr) {
            DbStatement_destroy(statement, &err);
        }
    }
    if (database_ != nullptr) {
        Database_close(database_, &err);
    }
}

bool StoreCheck::open() {
    if (database_ != nullptr) {
        return true;
    }
    unsigned int err = 0;
    if (!_Database_existsInternal(kDatabasePath, &err)) {
        return false;
    }
    database_ = _Database_openInternal(kDatabasePath, &err);
    check(err, fmt::format("opening {}", hostPath(kDatabasePath).string()));
    std::string prefix = kind_.prefix;
    // AUTOINCREMENT keys only grow, and the library's trimming runs before
    // its insert: a logging call stored a row exactly when the table's
    // sequence moved on to a row that holds this entry.
    std::string newest = fmt::format(
        "SELECT LOG_KEY, {0}, {1}PHONE_NUMBER FROM {2} WHERE LOG_KEY = "
        "(SELECT seq FROM sqlite_sequence WHERE name = '{2}')",
        kind_.timeColumn, prefix, kind_.table);
    newest_ = Database_createStatement(database_, newest.c_str(), &err);
    check(err, fmt::format("reading the newest {}", kind_.word));
    count_ = Database_createStatement(
        database_, fmt::format("SELECT COUNT(*) FROM {}", kind_.table).c_str(), &err);
    check(err, fmt::format("counting the {}", kind_.plural));
    oldest_ = Database_createStatement(
        database_, fmt::format("SELECT MIN({}) FROM {}", kind_.timeColumn, kind_.table).c_str(),
        &err);
    check(err, fmt::format("reading the oldest {}", kind_.word));
    return true;
}

DbEnumerator* StoreCheck::firstRow(DbStatement* statement, const std::string& what) {
    unsigned int err = 0;
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    check(err, what);
    if (DbEnumerator_getNextRow(rows, &err)) {
        return rows;
    }
    if (err != ZBASE_E_NO_MORE_ROWS) {
        check(err, what);
    }
    DbEnumerator_reset(rows, &err);
    return nullptr;
}

std::optional<StoreCheck::Newest> StoreCheck::newest() {
    DbEnumerator* rows =
        open() ? firstRow(newest_, fmt::format("reading the newest {}", kind_.word)) : nullptr;
    if (rows == nullptr) {
        return std::nullopt;
    }
    unsigned int err = 0;
    Newest row;
    row.key = DbEnumerator_getInt64(rows, 0, &err);
    const char* time = DbEnumerator_getText(rows, 1, &err);
    const char* number = DbEnumerator_getText(rows, 2, &err);
    row.time = time != nullptr ? time : "";
    row.number = number != nullptr ? number : "";
    DbEnumerator_reset(rows, &err);
    return row;
}

int64_t StoreCheck::rowCount() {
    DbEnumerator* rows =
        open() ? firstRow(count_, fmt::format("counting the {}", kind_.plural)) : nullptr;
    if (rows == nullptr) {
        return 0;
    }
    unsigned int err = 0;
    int64_t count = DbEnumerator_getInt64(rows, 0, &err);
    DbEnumerator_reset(rows, &err);
    return count;
}

std::optional<std::string> StoreCheck::oldestTime() {
    DbEnumerator* rows =
        open() ? firstRow(oldest_, fmt::format("reading the oldest {}", kind_.word)) : nullptr;
    if (rows == nullptr) {
        return std::nullopt;
    }
    unsigned int err = 0;
    const char* time = DbEnumerator_getText(rows, 0, &err);
    std::optional<std::string> oldest;
    if (time != nullptr) {
        oldest = time;
    }
    DbEnumerator_reset(rows, &err);
    return oldest;
}

}  // namespace lifelog_tool
