// Kept SQLite connections.
//
// Opening and closing a WAL database costs a checkpoint and a sync at the
// last close, and the lifelog opens and closes its database once per
// activity, so connections outlive their handles: Database_close hands the
// connection back here, and the next open of the same file takes it again.
//
// A kept connection is valid only for the file it was opened on.  A file
// that was deleted (and perhaps made again under the same name) is seen by
// its device and inode: the connection stays open on the old file, which
// keeps that inode in use, so a new file always has a different one.  Such
// a stale connection is closed with its WAL marked persistent: SQLite would
// otherwise delete the "-wal" and "-shm" files by name at that close, and
// those names may by then belong to the new file's live connections.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <list>
#include <mutex>
#include <vector>

#include "zbase_internal.h"

namespace zbase {

namespace {

constexpr size_t kMaxKept = 16;  // over all files; the least recently used goes first
constexpr int kBusyTimeoutMs = 30000;

struct Kept {
    sqlite3* db;
    std::string path;
    dev_t device;
    ino_t inode;
};

struct Pool {
    std::mutex mutex;
    std::list<Kept> idle;  // most recently returned first
};

void closeIdleAtExit();

// Never destroyed: connections may be returned while the process exits.
Pool& pool() {
    static Pool* instance = [] {
        std::atexit(closeIdleAtExit);
        return new Pool;
    }();
    return *instance;
}

bool identify(const std::string& path, dev_t& device, ino_t& inode) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

bool stillSameFile(const Kept& kept) {
    dev_t device;
    ino_t inode;
    return identify(kept.path, device, inode) && device == kept.device && inode == kept.inode;
}

void closeKept(const Kept& kept) {
    if (!stillSameFile(kept)) {
        int persist = 1;
        sqlite3_file_control(kept.db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    finalizeStatements(kept.db);
    sqlite3_close_v2(kept.db);
}

void closeAll(const std::vector<Kept>& connections) {
    for (const Kept& kept : connections) {
        closeKept(kept);
    }
}

// At a normal exit the idle connections are closed, so that the last one
// checkpoints the WAL into the database file and removes "-wal" and "-shm":
// the file alone then holds every row, for whoever copies it.  Connections
// still leased (a thread logging while the process exits) stay as they are.
void closeIdleAtExit() {
    std::vector<Kept> closing;
    {
        Pool& p = pool();
        std::lock_guard<std::mutex> lock(p.mutex);
        closing.assign(p.idle.begin(), p.idle.end());
        p.idle.clear();
    }
    closeAll(closing);
}

bool runPragma(sqlite3* db, const char* statement, unsigned int& code) {
    int rc = sqlite3_exec(db, statement, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        code = engineCode(rc);
        return false;
    }
    return true;
}

sqlite3* openNew(const std::string& path, bool create, unsigned int& code) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        code = engineCode(rc);
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Insert statements quote their values with double quotes.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
    if (!runPragma(db, "PRAGMA journal_mode=WAL", code) ||
        !runPragma(db, "PRAGMA synchronous=NORMAL", code)) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    boundConnection(db);
    return db;
}

// A kept connection of the file, dropping those that point at an older file.
sqlite3* takeKept(const std::string& path, dev_t device, ino_t inode) {
    std::vector<Kept> stale;
    sqlite3* found = nullptr;
    {
        Pool& p = pool();
        std::lock_guard<std::mutex> lock(p.mutex);
        for (auto it = p.idle.begin(); it != p.idle.end();) {
            if (it->path != path) {
                ++it;
            } else if (it->device == device && it->inode == inode && found == nullptr) {
                found = it->db;
                it = p.idle.erase(it);
            } else if (it->device != device || it->inode != inode) {
                stale.push_back(*it);
                it = p.idle.erase(it);
            } else {
                ++it;
            }
        }
    }
    closeAll(stale);
    return found;
}

void giveBack(Kept kept) {
    // A handle closed inside a transaction loses the transaction, as a
    // closed connection would.
    if (sqlite3_get_autocommit(kept.db) == 0) {
        sqlite3_exec(kept.db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (hasBusyStatement(kept.db) || !stillSameFile(kept)) {
        closeKept(kept);
        return;
    }
    std::vector<Kept> surplus;
    {
        Pool& p = pool();
        std::lock_guard<std::mutex> lock(p.mutex);
        p.idle.push_front(std::move(kept));
        while (p.idle.size() > kMaxKept) {
            surplus.push_back(std::move(p.idle.back()));
            p.idle.pop_back();
        }
    }
    closeAll(surplus);
}

}  // namespace

unsigned int engineCode(int sqliteResult) {
    return ZBASE_E_DB_ENGINE + static_cast<unsigned int>(sqliteResult & 0xff);
}

Lease::~Lease() {
    if (db != nullptr) {
        giveBack(Kept{db, std::move(path), device, inode});
    }
}

Connection acquireConnection(const std::string& path, bool create, unsigned int& code) {
    dev_t device = 0;
    ino_t inode = 0;
    sqlite3* db = nullptr;
    if (identify(path, device, inode)) {
        db = takeKept(path, device, inode);
        if (db == nullptr) {
            db = openNew(path, false, code);
        }
    } else if (!create) {
        code = ZBASE_E_FILE_NOT_FOUND;
        return nullptr;
    } else {
        db = openNew(path, true, code);
        if (db != nullptr && !identify(path, device, inode)) {
            sqlite3_close_v2(db);
            code = ZBASE_E_FILE_NOT_FOUND;
            return nullptr;
        }
    }
    if (db == nullptr) {
        return nullptr;
    }
    auto lease = std::make_shared<Lease>();
    lease->db = db;
    lease->path = path;
    lease->device = device;
    lease->inode = inode;
    code = ZBASE_E_SUCCESS;
    return lease;
}

void forgetConnections(const std::string& path) {
    std::vector<Kept> closing;
    {
        Pool& p = pool();
        std::lock_guard<std::mutex> lock(p.mutex);
        for (auto it = p.idle.begin(); it != p.idle.end();) {
            if (it->path == path) {
                closing.push_back(std::move(*it));
                it = p.idle.erase(it);
            } else {
                ++it;
            }
        }
    }
    closeAll(closing);
}

}  // namespace zbase
