// Private helpers shared by the base stand-in's services (strings, lists,
// log, configuration, database).  Nothing here is exported.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "qelmemory.h"
#include "zbase.h"

namespace zbase {

// Sets the caller's error slot when there is one.
inline void setError(unsigned int* err, unsigned int code) {
    if (err != nullptr) {
        *err = code;
    }
}

// The host folder that stands for the platform's file-system root:
// $ZBASE_ROOT, else $XDG_DATA_HOME/zbase, else ~/.local/share/zbase.  Read
// afresh at each call, so that every test can point it at its own folder.
std::string platformRoot();

// The host path of a platform path ("/SystemRW/Lifelog/..." under the
// root).  False for a null, empty or escaping ("..") path.
bool hostPath(const char* platformPath, std::string& out);

// Makes every missing folder of `folder`; false when one cannot be made.
bool makeFolders(const std::string& folder);

// A release function for lists of platform strings.
void freeString(void* text);

// ---------------------------------------------------------------- database

// The engine code of a failed SQLite call: 1000 + its primary result code.
unsigned int engineCode(int sqliteResult);

// One SQLite connection lent to open handles.  The database handle and each
// of its statements hold a reference; when the last one goes, the
// connection returns to the kept connections of its file (or is closed).
struct Lease {
    struct sqlite3* db = nullptr;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    ~Lease();
};
using Connection = std::shared_ptr<Lease>;

// A connection to the host file `path`: a kept one when the file is still
// the same file (device and inode), otherwise a new one (WAL journal, busy
// timeout, double-quoted string fallback on).  Without `create` a missing
// file fails with 31.  On failure the result is empty and `code` is set.
Connection acquireConnection(const std::string& path, bool create, unsigned int& code);

// Closes every kept connection of `path` (before the file is deleted).
void forgetConnections(const std::string& path);

// Prepared statements kept per connection (zbase_statement_cache).  A kept
// statement of exactly this text on this connection, taken out of the
// cache, or null.
struct sqlite3_stmt* takeStatement(struct sqlite3* db, const char* sql);
// Resets a statement that has run and keeps it for the next user of `sql`
// (finalizing what does not fit).
void keepStatement(const char* sql, struct sqlite3_stmt* stmt);
// Finalizes every kept statement of a connection that is about to close.
void finalizeStatements(struct sqlite3* db);
// Whether a statement of the connection is still running.
bool hasBusyStatement(struct sqlite3* db);

// ------------------------------------------------------- statement bounds

// The module number of the base stand-in's own log lines.
inline constexpr int kLogModule = 1;

// Installs the bounds of every statement on a new connection: length and
// depth caps, no attached databases, the authorizer and the deadline check.
void boundConnection(struct sqlite3* db);

// Whether a statement's text reads (its first word SELECT, WITH, VALUES or
// EXPLAIN): such a statement is prepared under the read-only rules.
bool isReadingStatement(const char* sql);

// What the statement prepared or stepped on this thread runs under.
struct StatementLimits {
    bool active = false;
    bool reading = false;
    std::chrono::steady_clock::time_point deadline{};
    const char* refusal = nullptr;  // the first thing the authorizer refused
};

// Puts one statement under its bounds while alive: the deadline starts now
// (ZBASE_DB_STATEMENT_TIMEOUT_MS), and a prepare follows the rules of the
// statement's kind.  Prepare and step the statement inside its lifetime.
class StatementBounds {
public:
    StatementBounds(const char* sql, const char* function);
    ~StatementBounds();
    StatementBounds(const StatementBounds&) = delete;
    StatementBounds& operator=(const StatementBounds&) = delete;
    // Logs why the statement stopped when a bound stopped it (`rc` is
    // SQLite's result of the prepare or step); other results say nothing.
    void report(int rc) const;
    // SQLite's result of a prepare as the bounds see it: a function the
    // authorizer refused fails the prepare as a plain error, but it is a
    // refusal like any other (SQLITE_AUTH).
    int prepared(int rc) const;

private:
    const char* sql_;
    const char* function_;
    StatementLimits saved_;
};

}  // namespace zbase
