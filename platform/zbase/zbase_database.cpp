// The SQL database on SQLite.
//
// Handles (database, statement, row enumerator) are tracked blocks from open
// to close, so that a forgotten close shows as a leak; the connection under
// a database handle is lent by the kept connections (zbase_database_pool).
//
// Result codes of Database_executeSQL: 0 when the statement changed or
// returned at least one row, 70 when it changed and returned nothing, 1000 +
// SQLite's primary code when the engine failed.  Exactly one statement runs:
// any text after the first statement other than blanks and ';' is refused
// with 4 before anything runs.  The `flag` argument is accepted and not
// used.  A statement that changes data runs to its end; a reading statement
// ends at its first row, since its rows are thrown away and whether it
// returns one is known there (an error that only a later row would raise
// shows when the rows are listed through a statement of their own).  Both
// run within the bounds that zbase_database_bounds sets (a deadline,
// length caps, read-only reads).
#include <errno.h>
#include <sqlite3.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "zbase_internal.h"

struct Database {
    zbase::Connection connection;
};

struct DbStatement {
    zbase::Connection connection;  // keeps the connection lent while the statement lives
    sqlite3_stmt* stmt;
    DbEnumerator* rows;
    std::string text;  // as given, the key under which the statement is kept afterwards
};

struct DbEnumerator {
    enum State { kBeforeFirst, kOnRow, kAtEnd, kFailed };
    sqlite3_stmt* stmt;
    State state;
    unsigned int failure;  // the engine code of a failed step, repeated until reset
};

namespace {

using zbase::setError;

template <typename T, typename... Args>
T* newTracked(int line, Args&&... args) {
    void* block = Mem_allocEx(sizeof(T), __FILE__, line);
    return block != nullptr ? new (block) T{std::forward<Args>(args)...} : nullptr;
}

template <typename T>
void deleteTracked(T* object, int line) {
    object->~T();
    Mem_freeEx(object, __FILE__, line);
}

bool onlyTerminators(const char* tail) {
    for (; tail != nullptr && *tail != '\0'; ++tail) {
        if (*tail != ';' && *tail != ' ' && *tail != '\t' && *tail != '\n' && *tail != '\r' &&
            *tail != '\f' && *tail != '\v') {
            return false;
        }
    }
    return true;
}

// Prepares the one statement of `sql` under its bounds; refuses empty text
// and text that holds a second statement (or anything else after the first).
sqlite3_stmt* prepareOne(sqlite3* db, const char* sql, const zbase::StatementBounds& bounds,
                         unsigned int* err) {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = bounds.prepared(sqlite3_prepare_v2(db, sql, -1, &stmt, &tail));
    if (rc != SQLITE_OK) {
        bounds.report(rc);
        setError(err, zbase::engineCode(rc));
        return nullptr;
    }
    if (stmt == nullptr || !onlyTerminators(tail)) {
        sqlite3_finalize(stmt);
        setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    return stmt;
}

Database* openDatabase(const char* path, bool create, unsigned int* err) {
    std::string host;
    if (!zbase::hostPath(path, host)) {
        setError(err, path == nullptr ? ZBASE_E_NULL_ARGUMENT : ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    if (create) {
        size_t slash = host.find_last_of('/');
        if (slash != std::string::npos && !zbase::makeFolders(host.substr(0, slash))) {
            setError(err, ZBASE_E_FAILURE);
            return nullptr;
        }
    }
    unsigned int code = 0;
    zbase::Connection connection = zbase::acquireConnection(host, create, code);
    if (!connection) {
        setError(err, code);
        return nullptr;
    }
    Database* database = newTracked<Database>(__LINE__, std::move(connection));
    setError(err, database != nullptr ? ZBASE_E_SUCCESS : ZBASE_E_OUT_OF_MEMORY);
    return database;
}

// A statement kept from an earlier run of the same text on this
// connection, or a new one; either goes back with keepStatement.
sqlite3_stmt* takeOrPrepare(sqlite3* db, const char* sql, const zbase::StatementBounds& bounds,
                            unsigned int* err) {
    sqlite3_stmt* stmt = zbase::takeStatement(db, sql);
    return stmt != nullptr ? stmt : prepareOne(db, sql, bounds, err);
}

void runSimple(Database* database, const char* statement, unsigned int* err) {
    if (database == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    zbase::StatementBounds bounds(statement, __func__);
    sqlite3_stmt* stmt = takeOrPrepare(database->connection->db, statement, bounds, err);
    if (stmt == nullptr) {
        return;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    zbase::keepStatement(statement, stmt);
    bounds.report(rc);
    setError(err, rc == SQLITE_DONE ? 0u : zbase::engineCode(rc));
}

// The statement behind a column of the result, or null with the error slot
// set.  Values need a current row; names do not.
sqlite3_stmt* resultColumn(DbEnumerator* rows, int column, bool needsRow, unsigned int* err) {
    if (rows == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return nullptr;
    }
    if (column < 0 || column >= sqlite3_column_count(rows->stmt)) {
        setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    if (needsRow && rows->state != DbEnumerator::kOnRow) {
        setError(err, ZBASE_E_FAILURE);
        return nullptr;
    }
    setError(err, ZBASE_E_SUCCESS);
    return rows->stmt;
}

sqlite3_stmt* currentColumn(DbEnumerator* rows, int column, unsigned int* err) {
    return resultColumn(rows, column, true, err);
}

}  // namespace

extern "C" {

ZBASE_API int _Database_existsInternal(const char* path, unsigned int* err) {
    std::string host;
    if (!zbase::hostPath(path, host)) {
        setError(err, path == nullptr ? ZBASE_E_NULL_ARGUMENT : ZBASE_E_INVALID_ARG);
        return 0;
    }
    setError(err, ZBASE_E_SUCCESS);
    struct stat info;
    return stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? 1 : 0;
}

ZBASE_API Database* _Database_openInternal(const char* path, unsigned int* err) {
    return openDatabase(path, false, err);
}

ZBASE_API Database* _Database_createInternal(const char* path, unsigned int* err) {
    return openDatabase(path, true, err);
}

ZBASE_API void _Database_dropInternal(const char* path, unsigned int* err) {
    std::string host;
    if (!zbase::hostPath(path, host)) {
        setError(err, path == nullptr ? ZBASE_E_NULL_ARGUMENT : ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::forgetConnections(host);
    int removed = unlink(host.c_str());
    int removeError = errno;
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        unlink((host + suffix).c_str());
    }
    if (removed == 0) {
        setError(err, ZBASE_E_SUCCESS);
    } else {
        setError(err, removeError == ENOENT ? ZBASE_E_FILE_NOT_FOUND : ZBASE_E_FAILURE);
    }
}

ZBASE_API void Database_close(Database* database, unsigned int* err) {
    if (database == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    deleteTracked(database, __LINE__);
    setError(err, ZBASE_E_SUCCESS);
}

ZBASE_API void Database_executeSQL(Database* database, const char* sql, int flag, void* reserved1,
                                   void* reserved2, unsigned int* err) {
    (void)flag;
    (void)reserved1;
    (void)reserved2;
    if (database == nullptr || sql == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    sqlite3* db = database->connection->db;
    zbase::StatementBounds bounds(sql, "Database_executeSQL");
    sqlite3_stmt* stmt = takeOrPrepare(db, sql, bounds, err);
    if (stmt == nullptr) {
        return;
    }
    sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
    int rc = sqlite3_step(stmt);
    bool returnedRow = rc == SQLITE_ROW;
    if (returnedRow && zbase::isReadingStatement(sql)) {
        rc = SQLITE_DONE;  // the rows would be thrown away: the first one answers
    }
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(stmt);
    }
    zbase::keepStatement(sql, stmt);
    if (rc != SQLITE_DONE) {
        bounds.report(rc);
        setError(err, zbase::engineCode(rc));
        return;
    }
    bool changed = sqlite3_total_changes64(db) != changesBefore;
    setError(err, returnedRow || changed ? ZBASE_E_SUCCESS : ZBASE_E_NO_ROWS_CHANGED);
}

// Write transactions take the write lock at their start, so that two
// writers queue on the busy timeout instead of failing on the upgrade.
ZBASE_API void Database_beginTransaction(Database* database, unsigned int* err) {
    runSimple(database, "BEGIN IMMEDIATE", err);
}

ZBASE_API void Database_commitTransaction(Database* database, unsigned int* err) {
    runSimple(database, "COMMIT", err);
}

ZBASE_API void Database_rollbackTransaction(Database* database, unsigned int* err) {
    runSimple(database, "ROLLBACK", err);
}

ZBASE_API DbStatement* Database_createStatement(Database* database, const char* sql,
                                                unsigned int* err) {
    if (database == nullptr || sql == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return nullptr;
    }
    zbase::StatementBounds bounds(sql, "Database_createStatement");
    sqlite3_stmt* stmt = takeOrPrepare(database->connection->db, sql, bounds, err);
    if (stmt == nullptr) {
        return nullptr;
    }
    DbStatement* statement =
        newTracked<DbStatement>(__LINE__, database->connection, stmt, nullptr, std::string(sql));
    if (statement == nullptr) {
        zbase::keepStatement(sql, stmt);
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    setError(err, ZBASE_E_SUCCESS);
    return statement;
}

// The statement's one row enumerator, rewound: a second execution hands
// back the same enumerator.
ZBASE_API DbEnumerator* Database_executeStatement(DbStatement* statement, unsigned int* err) {
    if (statement == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return nullptr;
    }
    sqlite3_reset(statement->stmt);
    if (statement->rows == nullptr) {
        statement->rows =
            newTracked<DbEnumerator>(__LINE__, statement->stmt, DbEnumerator::kBeforeFirst, 0u);
        if (statement->rows == nullptr) {
            setError(err, ZBASE_E_OUT_OF_MEMORY);
            return nullptr;
        }
    }
    statement->rows->state = DbEnumerator::kBeforeFirst;
    statement->rows->failure = 0;
    setError(err, ZBASE_E_SUCCESS);
    return statement->rows;
}

ZBASE_API void DbStatement_destroy(DbStatement* statement, unsigned int* err) {
    if (statement == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    if (statement->rows != nullptr) {
        deleteTracked(statement->rows, __LINE__);
    }
    zbase::keepStatement(statement->text.c_str(), statement->stmt);
    deleteTracked(statement, __LINE__);
    setError(err, ZBASE_E_SUCCESS);
}

ZBASE_API int DbEnumerator_getNextRow(DbEnumerator* rows, unsigned int* err) {
    if (rows == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return 0;
    }
    // SQLite would start the statement again after its end: an enumerator
    // stays at its end (or failure) until reset.
    if (rows->state == DbEnumerator::kAtEnd) {
        setError(err, ZBASE_E_NO_MORE_ROWS);
        return 0;
    }
    if (rows->state == DbEnumerator::kFailed) {
        setError(err, rows->failure);
        return 0;
    }
    zbase::StatementBounds bounds(sqlite3_sql(rows->stmt), "DbEnumerator_getNextRow");
    int rc = sqlite3_step(rows->stmt);
    bounds.report(rc);
    if (rc == SQLITE_ROW) {
        rows->state = DbEnumerator::kOnRow;
        setError(err, ZBASE_E_SUCCESS);
        return 1;
    }
    if (rc == SQLITE_DONE) {
        rows->state = DbEnumerator::kAtEnd;
        setError(err, ZBASE_E_NO_MORE_ROWS);
        return 0;
    }
    rows->state = DbEnumerator::kFailed;
    rows->failure = zbase::engineCode(rc);
    setError(err, rows->failure);
    return 0;
}

ZBASE_API void DbEnumerator_reset(DbEnumerator* rows, unsigned int* err) {
    if (rows == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    sqlite3_reset(rows->stmt);
    rows->state = DbEnumerator::kBeforeFirst;
    rows->failure = 0;
    setError(err, ZBASE_E_SUCCESS);
}

ZBASE_API int DbEnumerator_getColumnNumber(DbEnumerator* rows, unsigned int* err) {
    if (rows == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return 0;
    }
    setError(err, ZBASE_E_SUCCESS);
    return sqlite3_column_count(rows->stmt);
}

ZBASE_API int DbEnumerator_getColumnType(DbEnumerator* rows, int column, unsigned int* err) {
    sqlite3_stmt* stmt = currentColumn(rows, column, err);
    if (stmt == nullptr) {
        return DB_COLUMN_NULL;
    }
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER: {
            sqlite3_int64 value = sqlite3_column_int64(stmt, column);
            return value >= INT32_MIN && value <= INT32_MAX ? DB_COLUMN_INT : DB_COLUMN_INT64;
        }
        case SQLITE_FLOAT:
            return DB_COLUMN_DOUBLE;
        case SQLITE_TEXT:
            return DB_COLUMN_TEXT;
        case SQLITE_NULL:
            return DB_COLUMN_NULL;
        default:
            return DB_COLUMN_OTHER;
    }
}

ZBASE_API const char* DbEnumerator_getColumnName(DbEnumerator* rows, int column,
                                                 unsigned int* err) {
    sqlite3_stmt* stmt = resultColumn(rows, column, false, err);
    return stmt == nullptr ? nullptr : sqlite3_column_name(stmt, column);
}

ZBASE_API int DbEnumerator_getInt(DbEnumerator* rows, int column, unsigned int* err) {
    sqlite3_stmt* stmt = currentColumn(rows, column, err);
    return stmt != nullptr ? sqlite3_column_int(stmt, column) : 0;
}

ZBASE_API int64_t DbEnumerator_getInt64(DbEnumerator* rows, int column, unsigned int* err) {
    sqlite3_stmt* stmt = currentColumn(rows, column, err);
    return stmt != nullptr ? sqlite3_column_int64(stmt, column) : 0;
}

ZBASE_API double DbEnumerator_getDouble(DbEnumerator* rows, int column, unsigned int* err) {
    sqlite3_stmt* stmt = currentColumn(rows, column, err);
    return stmt != nullptr ? sqlite3_column_double(stmt, column) : 0.0;
}

ZBASE_API const char* DbEnumerator_getText(DbEnumerator* rows, int column, unsigned int* err) {
    sqlite3_stmt* stmt = currentColumn(rows, column, err);
    return stmt != nullptr ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, column))
                           : nullptr;
}

}  // extern "C"
