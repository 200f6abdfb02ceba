// Prepared statements kept per connection, keyed by their text.
//
// The lifelog runs the same texts over and over: the trimming statement,
// BEGIN IMMEDIATE and COMMIT for every row, the same listing or aggregate
// for every query.  Preparing one costs a parse and a plan each time, so a
// statement that has run goes back here, reset, and the next statement of
// the same text on the same connection takes it instead of preparing anew.
// A statement is lent to one user at a time; a second user of the same
// text prepares its own.  The statements of a connection are finalized
// before the connection closes, so a connection to a file that vanished is
// closed as before and a new file never sees an old file's statements.
#include <sqlite3.h>

#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include "zbase_internal.h"

namespace zbase {

namespace {

// Statements kept per connection; the least recently used goes first.
constexpr size_t kKeptPerConnection = 32;

struct Entry {
    std::string text;
    sqlite3_stmt* stmt;
};

struct ConnectionStatements {
    std::list<Entry> entries;  // most recently kept first
    std::unordered_map<std::string_view, std::list<Entry>::iterator> byText;
};

struct Cache {
    std::mutex mutex;
    std::unordered_map<sqlite3*, ConnectionStatements> connections;
};

// Never destroyed: connections may be closed while the process exits.
Cache& cache() {
    static Cache* instance = new Cache;
    return *instance;
}

}  // namespace

sqlite3_stmt* takeStatement(sqlite3* db, const char* sql) {
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    auto connection = c.connections.find(db);
    if (connection == c.connections.end()) {
        return nullptr;
    }
    ConnectionStatements& kept = connection->second;
    auto found = kept.byText.find(sql);
    if (found == kept.byText.end()) {
        return nullptr;
    }
    sqlite3_stmt* stmt = found->second->stmt;
    kept.entries.erase(found->second);
    kept.byText.erase(found);
    return stmt;
}

void keepStatement(const char* sql, sqlite3_stmt* stmt) {
    if (stmt == nullptr) {
        return;
    }
    // A statement goes back without a transaction or a row of its own.
    sqlite3_reset(stmt);
    sqlite3* db = sqlite3_db_handle(stmt);
    sqlite3_stmt* surplus = nullptr;
    {
        Cache& c = cache();
        std::lock_guard<std::mutex> lock(c.mutex);
        ConnectionStatements& kept = c.connections[db];
        if (kept.byText.count(sql) != 0) {
            surplus = stmt;  // one of this text is kept already
        } else {
            kept.entries.push_front(Entry{sql, stmt});
            kept.byText.emplace(kept.entries.front().text, kept.entries.begin());
            if (kept.entries.size() > kKeptPerConnection) {
                surplus = kept.entries.back().stmt;
                kept.byText.erase(kept.entries.back().text);
                kept.entries.pop_back();
            }
        }
    }
    sqlite3_finalize(surplus);
}

void finalizeStatements(sqlite3* db) {
    ConnectionStatements gone;
    {
        Cache& c = cache();
        std::lock_guard<std::mutex> lock(c.mutex);
        auto connection = c.connections.find(db);
        if (connection == c.connections.end()) {
            return;
        }
        gone = std::move(connection->second);
        c.connections.erase(connection);
    }
    for (const Entry& entry : gone.entries) {
        sqlite3_finalize(entry.stmt);
    }
}

bool hasBusyStatement(sqlite3* db) {
    for (sqlite3_stmt* stmt = sqlite3_next_stmt(db, nullptr); stmt != nullptr;
         stmt = sqlite3_next_stmt(db, stmt)) {
        if (sqlite3_stmt_busy(stmt)) {
            return true;
        }
    }
    return false;
}

}  // namespace zbase
