/** @file zkivLifeloggerDBHandle.h
 * @brief The database handle: the Handle that stores each activity as one
 * row of the lifelog database.
 *
 * The database is "/SystemRW/Lifelog/Database/lifelog.db", one table per
 * activity kind.  The handle creates the file and its tables when the handle
 * is made, opens and closes the database around each activity, and writes a
 * row by: deleting a stored row with the same time stamp (calls, messages),
 * deleting the oldest row once the table holds its maximum, then inserting
 * inside a transaction.  A handle is used by one thread at a time; several
 * handles may write to the same file from several threads. */
#ifndef ZKIV_LIFELOGGER_DB_HANDLE_H
#define ZKIV_LIFELOGGER_DB_HANDLE_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** The Handle interface is the first two words; `impl` is the record itself. */
typedef struct DBHandle {
    const HandleOps* ops;        /**< the database handle's Handle table */
    void* impl;                  /**< the record itself */
    char* dbPath;                /**< owned copy of the path given at creation */
    Database* pDBHandle;         /**< the database while it is open, else NULL */
    int32_t maxCountPerActivity; /**< rows each table keeps */
} DBHandle;

/** A new handle (its Handle interface is the record itself) or NULL; the
 * caller's until a handler takes it.  Creates the database file with its
 * three tables when it does not exist yet.  Codes: LIFELOG_E_INVALID_ARG for a null path,
 * LIFELOG_E_OUT_OF_MEMORY, or the platform's code when the path copy or the creation fails. */
LIFELOG_API DBHandle* DBHandle_new(const char* dbPath, int32_t maxCountPerActivity,
                                   unsigned int* err);
/** Releases the record and its path; does not close the database. */
LIFELOG_API void DBHandle_delete(DBHandle* dbHandle);
/** Makes the file and its tables when the file is missing; a failed creation
 * leaves no file behind.  Codes: the platform's. */
LIFELOG_API void __DBHandle_createDB(DBHandle* dbHandle, unsigned int* err);

/** Handle slot open: opens the database file, which must exist.  1 on
 * success, 0 otherwise. */
LIFELOG_API int __DBHandle_open(Handle* pI);
/** Handle slot write: stores the activity as one row of the table named
 * after it.  1 on success, 0 (with an error line) on failure; the activity
 * stays the caller's. */
LIFELOG_API int __DBHandle_write(Handle* pI, ZLifelogActivity* pLifelogActivity);
/** Handle slot close: closes the database. */
LIFELOG_API void __DBHandle_close(Handle* pI);
/** Handle slot destruct: closes the database if open and deletes the
 * handle. */
LIFELOG_API void __DBHandle_destruct(Handle* pI);

/** A new string: `source` with every `token` character replaced by
 * `replacement` (release with Mem_freeEx); NULL when out of memory. */
LIFELOG_API char* __String_NewReplace(const char* source, const char* token,
                                      const char* replacement);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_DB_HANDLE_H */
