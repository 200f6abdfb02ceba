// The time-stamp and type indexes of the lifelog tables (see indexes.h).
#include "logging/indexes.h"

#include <fmt/format.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "base/configuration.h"
#include "base/failure.h"
#include "base/kinds.h"
#include "zbase.h"

namespace lifelog_tool {

namespace {

struct TableIndex {
    const char* name;
    const char* table;
    const char* column;
};

// The time stamp serves the trimming's MIN and the date ranges; the type is
// the narrowest column, so COUNT reads the smallest index.
constexpr TableIndex kIndexes[] = {
    {"ACTIVITY_CALL_BY_TIME", "ACTIVITY_CALL", "CLOG_TIMESTAMP"},
    {"ACTIVITY_CALL_BY_TYPE", "ACTIVITY_CALL", "CLOG_TYPE"},
    {"ACTIVITY_MESSAGE_BY_TIME", "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP"},
    {"ACTIVITY_MESSAGE_BY_TYPE", "ACTIVITY_MESSAGE", "MSGLOG_TYPE"},
    {"ACTIVITY_MEDIA_BY_TIME", "ACTIVITY_MEDIA", "MDLOG_TIMESTAMP"},
    {"ACTIVITY_MEDIA_BY_TYPE", "ACTIVITY_MEDIA", "MDLOG_TYPE"},
};

// One open connection to the root's file, closed on every way out.
class OpenFile {
public:
    OpenFile() {
        unsigned int err = 0;
        database_ = _Database_openInternal(kDatabasePath, &err);
        check(err, fmt::format("opening {}", hostPath(kDatabasePath).string()));
    }
    ~OpenFile() {
        unsigned int err = 0;
        Database_close(database_, &err);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // A reading statement answers 0 with a row, 70 without one.
    bool hasIndex(const TableIndex& index) {
        const std::string sql = fmt::format(
            "SELECT name FROM sqlite_master WHERE type = 'index' AND name = '{}'", index.name);
        unsigned int err = 0;
        Database_executeSQL(database_, sql.c_str(), 0, nullptr, nullptr, &err);
        return err == ZBASE_E_SUCCESS;
    }
    // A table the file lacks gets no index (the library uses the file as
    // found).
    bool hasTable(const char* table) {
        const std::string sql = fmt::format(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name = '{}'", table);
        unsigned int err = 0;
        Database_executeSQL(database_, sql.c_str(), 0, nullptr, nullptr, &err);
        return err == ZBASE_E_SUCCESS;
    }
    void add(const TableIndex& index) {
        const std::string sql = fmt::format("CREATE INDEX IF NOT EXISTS {} ON {} ({})", index.name,
                                            index.table, index.column);
        unsigned int err = 0;
        Database_executeSQL(database_, sql.c_str(), 1, nullptr, nullptr, &err);
        if (err != ZBASE_E_NO_ROWS_CHANGED) {
            check(err, fmt::format("adding the index {}", index.name));
        }
    }

private:
    Database* database_ = nullptr;
};

}  // namespace

static_assert(std::size(kIndexes) == kIndexCount);

Indexing addIndexes() {
    Indexing indexing;
    unsigned int err = 0;
    indexing.fileExists = _Database_existsInternal(kDatabasePath, &err) != 0;
    if (!indexing.fileExists) {
        return indexing;
    }
    OpenFile file;
    for (const TableIndex& index : kIndexes) {
        if (file.hasTable(index.table) && !file.hasIndex(index)) {
            file.add(index);
            ++indexing.added;
        }
    }
    return indexing;
}

bool indexQuietlyWhenLarge() {
    return readConfiguration().maxCount > kDefaultMaxCount && addIndexes().added > 0;
}

void sayIndexed() {
    fmt::print(stderr,
               "lifelog: added time-stamp and type indexes to {} (tables keep up to {} rows)\n",
               hostPath(kDatabasePath).string(), readConfiguration().maxCount);
}

void indexWhenLarge() {
    if (indexQuietlyWhenLarge()) {
        sayIndexed();
    }
}

}  // namespace lifelog_tool
