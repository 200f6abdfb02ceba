/** @file zbase.h
 * @brief zbase: the platform base library as the lifelog library sees it.
 *
 * Strings, lists, log output, error texts, components, threads, actors,
 * events, mutexes, the configuration file and the SQL database.  Every
 * fallible operation takes the caller's error slot (`unsigned int* err`),
 * sets it to 0 on success and to a code on failure.  Strings and lists that
 * an operation returns belong to the caller and come from the tracked
 * allocator (qelmemory.h): release a string with Mem_freeEx, a list with
 * List_delete.
 *
 * Threads: every operation may be called from any thread; a string, list,
 * registry, database handle, statement or row enumerator is used by one
 * thread at a time.  Codes (ZBASE_ERRNO_MAP below) common to most
 * operations: ZBASE_E_NULL_ARGUMENT (or ZBASE_E_INVALID_ARG) for a null
 * argument, ZBASE_E_INVALID_ARG for an invalid one, ZBASE_E_OUT_OF_MEMORY
 * when out of memory; the comments name the others.
 * Paths ("/System/...", "/SystemRW/...") are the platform's; the stand-in
 * resolves them under its root folder ($ZBASE_ROOT). */
#ifndef ZBASE_H
#define ZBASE_H

#include <stddef.h>
#include <stdint.h>

/** Marks a name exported from libzbase.so (default visibility while the
 * library itself is built, nothing for its clients). */
#if defined(ZBASE_BUILDING)
#define ZBASE_API __attribute__((visibility("default")))
#else
#define ZBASE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- values */

/** A 16-byte class or interface identifier, in its usual four fields;
 * compared by value with UUID_isEqual(). */
typedef struct UUID {
    uint32_t data1;   /**< first 8 hex digits */
    uint16_t data2;   /**< next 4 */
    uint16_t data3;   /**< next 4 */
    uint8_t data4[8]; /**< last 16, two per byte */
} UUID;

/** A date and time of day, passed by value; year, month or day 0 means "no
 * time stamp". */
typedef struct DateTime {
    int32_t year;     /**< four digits; 0: no time stamp */
    int32_t month;    /**< 1 to 12 */
    int32_t day;      /**< 1 to 31 */
    int32_t hour;     /**< 0 to 23 */
    int32_t minute;   /**< 0 to 59 */
    int32_t second;   /**< 0 to 59 */
    int32_t reserved; /**< takes no part in comparisons or texts */
} DateTime;

/** @def ZBASE_ERRNO_MAP
 * Every error code of the platform and of the lifelog library, each once:
 * XX(name, code), the meaning in the comment beside it.  The platform's
 * ZBASE_E_<name>, the library's LIFELOG_E_<name> and the texts of
 * Exception_toString() ("E_<name>") are all made from this one table, in
 * the style of libuv's UV_ERRNO_MAP, so they cannot drift apart.  Engine
 * failures stand outside it: ZBASE_E_DB_ENGINE + SQLite's primary result
 * code n, text "E_DB_ENGINE_<n>"; any other code's text is "E_UNKNOWN". */
#define ZBASE_ERRNO_MAP(XX)                                                                      \
    XX(SUCCESS, 0)            /* success */                                                      \
    XX(OUT_OF_MEMORY, 1)      /* an allocation failed, or a component could not be made */       \
    XX(END_OF_ENUMERATION, 2) /* a result enumerator has no further row */                       \
    XX(OBJ_ALREADY_EXIST, 3)  /* the object is already in the list */                            \
    XX(INVALID_ARG, 4)        /* an argument is null or invalid; a filter or order refused */    \
    XX(NULL_ARGUMENT, 7)      /* a required argument is null */                                  \
    XX(INVALID_FORMAT, 11)    /* a text is not in the expected form (a time stamp) */            \
    XX(LIST_APPEND, 12)       /* a list refused an append */                                     \
    XX(FAILURE, 13)           /* the operation failed (a handle not opened, a row unreadable) */ \
    XX(GENERATOR, 20)         /* a generator failed */                                           \
    XX(OBJ_NOT_FOUND, 21)     /* no such object (class, actor, list element) */                  \
    XX(NO_INTERFACE, 24)      /* the requested interface is not supported */                     \
    XX(SECTION_NOT_FOUND, 25) /* configuration section missing */                                \
    XX(FILE_NOT_FOUND, 31)    /* no such file */                                                 \
    XX(KEY_NOT_FOUND, 44)     /* configuration key missing */                                    \
    XX(DATABASE, 66)          /* a database operation or query statement failed */               \
    XX(NO_MORE_ROWS, 69)      /* a row enumerator is past its last row */                        \
    XX(NO_ROWS_CHANGED, 70)   /* a statement ran and changed and returned nothing */             \
    XX(OVERFLOW, 187)         /* a text would pass its fixed capacity */

/** @cond */
#define ZBASE_ERRNO_ENUM_(name, code) ZBASE_E_##name = code,
/** @endcond */
/** The platform's codes (see ZBASE_ERRNO_MAP). */
enum ZbaseError {
    ZBASE_ERRNO_MAP(ZBASE_ERRNO_ENUM_)
    /** + SQLite's primary result code: the database engine failed. */
    ZBASE_E_DB_ENGINE = 1000
};
#undef ZBASE_ERRNO_ENUM_

/** A list of pointers (opaque); made by List_new(), released by List_delete(). */
typedef struct List List;
/** Called by List_delete() on each element of a list. */
typedef void (*ListDestroyFn)(void* element);

/* --------------------------------------------------------------- strings */

/** Empty string with room for `size` bytes (terminator included); the
 * caller's, released with Mem_freeEx().  Codes: ZBASE_E_INVALID_ARG for a negative size,
 * ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API char* String_new(int size, unsigned int* err);
/** A new copy of `s` (the caller's).  Codes: ZBASE_E_NULL_ARGUMENT for
 * NULL, ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API char* String_newByString(const char* s, unsigned int* err);
/** A new string of bytes [start, end) of s (the caller's); stops early at
 * the terminator of a shorter s.  Codes: ZBASE_E_NULL_ARGUMENT for NULL, ZBASE_E_INVALID_ARG for a
 * bad range, ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API char* String_newBySubstr(const char* s, int start, int end, unsigned int* err);
/** Appends src to dst in place; dst must have the room.  No error slot. */
ZBASE_API void String_concat(char* dst, const char* src);
/** printf into dst: never more than `size` bytes, always terminated when
 * size > 0.  Returns the length the whole output has (as snprintf does), so
 * a result >= size means the output was cut; negative on a format error. */
ZBASE_API int String_format(char* dst, int size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
/** Bytes of s before its terminator; 0 for NULL. */
ZBASE_API int String_length(const char* s);
/** Non-zero when a and b hold the same bytes. */
ZBASE_API int String_equals(const char* a, const char* b);
/** Non-zero when a and b are equal but for ASCII letter case. */
ZBASE_API int String_equalsIgnoreCase(const char* a, const char* b);
/** A new list of the pieces between delimiter characters, empty pieces
 * included ("a,,b" gives "a", "", "b"); NULL when out of memory.  The list
 * is the caller's and releases its strings on List_delete. */
ZBASE_API List* String_getTokens(const char* s, const char* delimiters);

/* ----------------------------------------------------------------- lists */

/** A new empty list, the caller's; `destroy` (may be NULL) runs on each
 * element at List_delete.  Codes: ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API List* List_new(ListDestroyFn destroy, unsigned int* err);
/** Runs the list's destroy function on each element, first to last, then
 * frees the list.  NULL is ignored. */
ZBASE_API void List_delete(List* list);
/** Appends `element`.  Non-zero on success, 0 when out of memory or for a
 * null list (no error slot). */
ZBASE_API int List_addLast(List* list, void* element);
/** Removes the first element identical to `element` without destroying it;
 * non-zero when it was found. */
ZBASE_API int List_removeObject(List* list, void* element);
/** The number of elements; 0 for NULL. */
ZBASE_API int List_size(List* list);
/** The element at `index` (from 0), or NULL outside the list.  The list
 * keeps it. */
ZBASE_API void* List_getAt(List* list, int index);
/** A cursor before the first element; List_getNext(&cursor) returns the next
 * element, NULL after the last one.  The cursor is valid while the list is
 * not changed. */
ZBASE_API void* List_getIterator(List* list);
/** Advances `cursor` and returns the element it reaches, or NULL after the
 * last one. */
ZBASE_API void* List_getNext(void** cursor);

/* ------------------------------------------------------------ log, errors */

/** Log levels of __Log_printfEx(). */
enum {
    ZBASE_LOG_TRACE = 31, /**< trace lines ("is called", "start", "end") */
    ZBASE_LOG_ERROR = 254 /**< error lines */
};

/** Writes one log line: `module`, `level`, the writer's function name and
 * source line, and the printf-formatted message.  The stand-in prints
 * "E|T <module> <function>:<line> <message>" on standard error when `level`
 * reaches ZBASE_LOG_LEVEL (errors only by default).  Any thread; lines
 * never interleave. */
ZBASE_API void __Log_printfEx(int module, int level, const char* function, int line,
                              const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
/** The text of a code ("E_SUCCESS", "E_OUT_OF_MEMORY", ...,
 * "E_DB_ENGINE_<n>" for 1000 + n, "E_UNKNOWN" otherwise): a constant the
 * caller does not release. */
ZBASE_API const char* Exception_toString(unsigned int code);

/* ------------------------------------------------------------ components */

/** The interface `interfaceId` of a new object of class `classId`, holding
 * one reference (the caller's, released through the interface's `release`
 * slot); NULL with the error slot set otherwise.  The class's factory is
 * made, asked with its createInstance slot and released.  Codes: ZBASE_E_INVALID_ARG for a
 * null identifier, ZBASE_E_OBJ_NOT_FOUND for a class that is not registered, ZBASE_E_FILE_NOT_FOUND
 * or ZBASE_E_FAILURE for a component library that cannot be loaded or has no entry, and the
 * component's own code (ZBASE_E_NO_INTERFACE: interface not supported). */
ZBASE_API void* Com_createInstance(const UUID* classId, const UUID* interfaceId, unsigned int* err);
/** Non-zero when the two identifiers are equal. */
ZBASE_API int UUID_isEqual(const UUID* a, const UUID* b);

/* --------------------------------------------------------------- threads */

/** A thread's entry procedure; its result is not used. */
typedef void* (*ThreadProc)(void* parameter);

/** The visible head of a thread record.  `parameter` is what the entry
 * procedure receives; it may be set after Thread_new, before Thread_start. */
typedef struct Thread {
    void* parameter; /**< handed to the entry procedure at Thread_start() */
} Thread;

/** A new thread record named `name` that will run `procedure`; nothing runs
 * until Thread_start().  The record is released with Thread_release().
 * `stackSize` and `priority` are accepted and not used.  Codes: ZBASE_E_INVALID_ARG,
 * ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API Thread* Thread_new(const char* name, ThreadProc procedure, int stackSize, int priority,
                             unsigned int* err);
/** Starts the thread.  Codes: ZBASE_E_INVALID_ARG, ZBASE_E_FAILURE for a second start or a thread
 * the system cannot create. */
ZBASE_API void Thread_start(Thread* thread, unsigned int* err);
/** Makes the thread's main loop hold its queue after the delivery in
 * progress, until Thread_resume() (cooperative: code outside the main loop
 * runs on).  Codes: ZBASE_E_INVALID_ARG. */
ZBASE_API void Thread_suspend(Thread* thread, unsigned int* err);
/** Lets a suspended thread's main loop go on; starts a thread that never
 * ran.  Codes: ZBASE_E_INVALID_ARG, and those of Thread_start(). */
ZBASE_API void Thread_resume(Thread* thread, unsigned int* err);
/** Frees the record; a running thread carries on, detached.  A thread may
 * release its own record.  Codes: ZBASE_E_INVALID_ARG. */
ZBASE_API void Thread_release(Thread* thread, unsigned int* err);
/** A value naming the calling thread, for __ThreadManager_getThread. */
ZBASE_API void* Thread_self(void);
/** The record of a thread made by Thread_new, or NULL for other threads. */
ZBASE_API Thread* __ThreadManager_getThread(void* value);

/* ---------------------------------------------------------------- actors */

/** A message handed to an actor's target: the first word is the code. */
typedef struct ActorMessage {
    int32_t code; /**< 1: the actor has started (Actor_start()) */
} ActorMessage;

/** An actor delivers its messages to slot 0 of its target's table:
 * target->ops->onMessage(target, message). */
typedef struct ActorTarget ActorTarget;
/** The table of an actor's target. */
typedef struct ActorTargetOps {
    /** Receives a message on the actor's thread; the message stays the
     * platform's. */
    void (*onMessage)(void* target, ActorMessage* message);
} ActorTargetOps;
/** An actor's target: any object that begins with an ActorTargetOps table. */
struct ActorTarget {
    const ActorTargetOps* ops; /**< the target's table */
};

/** The visible head of an actor record: `mainloop` names the event main loop
 * of the actor's thread, for Event_exitMainloop from another thread. */
typedef struct Actor {
    void* mainloop; /**< the actor's thread's main loop */
} Actor;

/** A new actor named `name` on the calling thread, delivering to `target`
 * (an ActorTarget, kept, not owned); the caller's, released with
 * Actor_delete() on that thread.  Codes: ZBASE_E_INVALID_ARG, ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API Actor* Actor_new(const char* name, void* target, unsigned int* err);
/** Queues the start message (code 1) for the actor's target; it arrives
 * through the main loop of the actor's thread.  Codes: ZBASE_E_INVALID_ARG, ZBASE_E_FAILURE for a
 * second start or an actor whose thread has ended. */
ZBASE_API void Actor_start(Actor* actor, unsigned int* err);
/** Drops the messages not yet delivered to the actor.  Codes: ZBASE_E_INVALID_ARG. */
ZBASE_API void Actor_stop(Actor* actor, unsigned int* err);
/** Drops everything still queued for the actor, events included, and frees
 * it.  Codes: ZBASE_E_INVALID_ARG. */
ZBASE_API void Actor_delete(Actor* actor, unsigned int* err);
/** The identifier of the calling thread's (most recent) actor; 0 for none. */
ZBASE_API int Actor_getCurrentID(void);

/* ---------------------------------------------------------------- events */

/** A caller-owned event record (see struct Event). */
typedef struct Event Event;
/** Runs an event on its actor's thread, with the event record. */
typedef void (*EventHandler)(Event* event);

/** A caller-owned event record; the platform keeps only its address, so it
 * must outlive every delivery of the event. */
struct Event {
    int32_t eventId;      /**< the event's type */
    int32_t actorId;      /**< the actor whose thread handles it (Actor_getCurrentID()) */
    EventHandler handler; /**< runs on that thread */
    void* reserved;       /**< the platform's */
};

/** Fills `event` with its type, actor and handler. */
ZBASE_API void Event_init(Event* event, int eventId, int actorId, EventHandler handler);
/** Sets the handler that the event's deliveries run.  Codes: ZBASE_E_INVALID_ARG. */
ZBASE_API void Event_addListener(Event* event, EventHandler handler, unsigned int* err);
/** Queues the event for its actor's thread; callable from any thread.  Codes:
 * ZBASE_E_INVALID_ARG for a null event or one without a handler, ZBASE_E_OBJ_NOT_FOUND when its
 * actor does not exist, ZBASE_E_FAILURE when the actor's thread has ended. */
ZBASE_API void Event_fire(Event* event, unsigned int* err);
/** Runs the calling thread's main loop until Event_exitMainloop: hands each
 * queued event and actor message to its handler, first in, first out. */
ZBASE_API void Event_runMainloop(void);
/** Makes the main loop `loop` (Actor::mainloop) return after the delivery in
 * progress; from any thread.  Codes: ZBASE_E_INVALID_ARG for an unknown loop. */
ZBASE_API void Event_exitMainloop(void* loop, unsigned int* err);

/* --------------------------------------------------------------- mutexes */

/** A recursive mutex (opaque), owned by the thread that locked it. */
typedef struct Mutex Mutex;

/** A new recursive mutex named `name`, the caller's, released with
 * Mutex_delete(); NULL on failure.  `flags` is not used.  Codes: ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API Mutex* Mutex_new(const char* name, int flags, unsigned int* err);
/** Locks, waiting as long as another thread holds it.  Codes: ZBASE_E_INVALID_ARG. */
ZBASE_API void Mutex_lock(Mutex* mutex, unsigned int* err);
/** Unlocks once.  Codes: ZBASE_E_INVALID_ARG, ZBASE_E_FAILURE when the caller does not hold it. */
ZBASE_API void Mutex_unlock(Mutex* mutex, unsigned int* err);
/** Frees the mutex.  Codes: ZBASE_E_INVALID_ARG, ZBASE_E_FAILURE when another thread holds it (it
 * then stays alive). */
ZBASE_API void Mutex_delete(Mutex* mutex, unsigned int* err);

/* ---------------------------------------------------- configuration file */

/** An open configuration file (opaque). */
typedef struct Registry Registry;

/** Value types of Registry_getValue(). */
enum {
    REGISTRY_TYPE_INT = 1,   /**< a decimal 32-bit integer */
    REGISTRY_TYPE_STRING = 3 /**< text */
};

/** Opens and reads the INI-style file at the platform path `path`; the
 * registry is the caller's, closed with Registry_close().  NULL on failure.
 * `flags` is not used.  Codes: ZBASE_E_NULL_ARGUMENT for a null path, ZBASE_E_INVALID_ARG for a
 * path that is not a platform path, ZBASE_E_FILE_NOT_FOUND for a missing file,
 * ZBASE_E_OUT_OF_MEMORY; how a malformed line is treated is the stand-in's (see the README). */
ZBASE_API Registry* _Registry_openInternal(const char* path, int flags, unsigned int* err);
/** Reads `key` of `section` (names match with their letter case) into
 * buffer of `size` bytes.  Type 3 copies the text into buffer (cut to fit,
 * always terminated); type 1 reads a decimal integer into a 32-bit int.
 * Codes: ZBASE_E_SECTION_NOT_FOUND no such section, ZBASE_E_KEY_NOT_FOUND no such key,
 * ZBASE_E_INVALID_FORMAT not an integer, ZBASE_E_NULL_ARGUMENT, ZBASE_E_INVALID_ARG. */
ZBASE_API void Registry_getValue(Registry* registry, const char* section, const char* key, int type,
                                 void* buffer, int size, unsigned int* err);
/** Closes and frees the registry.  `flags` is not used.  Codes: ZBASE_E_NULL_ARGUMENT. */
ZBASE_API void Registry_close(Registry* registry, int flags, unsigned int* err);

/* -------------------------------------------------------------- database */

/** An open database (opaque): from _Database_openInternal() or
 * _Database_createInternal() to Database_close(). */
typedef struct Database Database;
/** A prepared statement (opaque), destroyed with DbStatement_destroy(). */
typedef struct DbStatement DbStatement;
/** The rows of a running statement (opaque), owned by the statement. */
typedef struct DbEnumerator DbEnumerator;

/** Column types of DbEnumerator_getColumnType(). */
enum {
    DB_COLUMN_INT = 0,    /**< an integer that fits 32 bits */
    DB_COLUMN_INT64 = 1,  /**< a wider integer */
    DB_COLUMN_DOUBLE = 2, /**< a floating-point number */
    DB_COLUMN_TEXT = 3,   /**< text */
    DB_COLUMN_OTHER = 4,  /**< a blob */
    DB_COLUMN_NULL = 5    /**< no value */
};

/** Non-zero when the database file at the platform path exists.  Codes: ZBASE_E_NULL_ARGUMENT
 * for NULL, ZBASE_E_INVALID_ARG for a path that is not a platform path. */
ZBASE_API int _Database_existsInternal(const char* path, unsigned int* err);
/** Opens an existing database file; fails when the file is not there.  The
 * handle is the caller's, closed with Database_close().  Codes: ZBASE_E_NULL_ARGUMENT,
 * ZBASE_E_INVALID_ARG, ZBASE_E_FILE_NOT_FOUND for a missing file, ZBASE_E_DB_ENGINE + SQLite's
 * code. */
ZBASE_API Database* _Database_openInternal(const char* path, unsigned int* err);
/** Creates (or opens) the file, making missing parent folders; the handle is
 * the caller's.  Codes: ZBASE_E_NULL_ARGUMENT, ZBASE_E_INVALID_ARG, ZBASE_E_DB_ENGINE + SQLite's
 * code, or the stand-in's failure code when a folder cannot be made. */
ZBASE_API Database* _Database_createInternal(const char* path, unsigned int* err);
/** Deletes the file with its journal files.  Codes: ZBASE_E_NULL_ARGUMENT, ZBASE_E_INVALID_ARG,
 * ZBASE_E_FILE_NOT_FOUND for a missing file, ZBASE_E_FAILURE. */
ZBASE_API void _Database_dropInternal(const char* path, unsigned int* err);
/** Closes the handle (the connection underneath may be kept for the next
 * open of the same file).  Codes: ZBASE_E_NULL_ARGUMENT. */
ZBASE_API void Database_close(Database* database, unsigned int* err);
/** Runs exactly one statement.  err: ZBASE_E_SUCCESS when it changed or
 * returned a row, ZBASE_E_NO_ROWS_CHANGED when it changed and returned
 * nothing, ZBASE_E_DB_ENGINE + SQLite's code on an engine failure; text
 * after the first statement is refused with ZBASE_E_INVALID_ARG and nothing
 * runs; ZBASE_E_NULL_ARGUMENT for a null argument.  `flag` and the reserved arguments are not
 * used. */
ZBASE_API void Database_executeSQL(Database* database, const char* sql, int flag, void* reserved1,
                                   void* reserved2, unsigned int* err);
/** Begins a write transaction, taking the write lock at once (waiting for
 * other writers).  Codes: ZBASE_E_NULL_ARGUMENT, ZBASE_E_DB_ENGINE + SQLite's code. */
ZBASE_API void Database_beginTransaction(Database* database, unsigned int* err);
/** Commits the transaction.  Codes: ZBASE_E_NULL_ARGUMENT, ZBASE_E_DB_ENGINE + SQLite's code. */
ZBASE_API void Database_commitTransaction(Database* database, unsigned int* err);
/** Rolls the transaction back.  Codes: ZBASE_E_NULL_ARGUMENT, ZBASE_E_DB_ENGINE + SQLite's code. */
ZBASE_API void Database_rollbackTransaction(Database* database, unsigned int* err);
/** Prepares one statement; the statement is the caller's, destroyed with
 * DbStatement_destroy() before its database is closed.  Codes:
 * ZBASE_E_NULL_ARGUMENT, ZBASE_E_DB_ENGINE + SQLite's code. */
ZBASE_API DbStatement* Database_createStatement(Database* database, const char* sql,
                                                unsigned int* err);
/** A row enumerator positioned before the first row; the statement owns
 * it.  Codes: ZBASE_E_NULL_ARGUMENT, ZBASE_E_OUT_OF_MEMORY. */
ZBASE_API DbEnumerator* Database_executeStatement(DbStatement* statement, unsigned int* err);
/** Destroys the statement; also releases the statement's row enumerator.
 * Codes: ZBASE_E_NULL_ARGUMENT. */
ZBASE_API void DbStatement_destroy(DbStatement* statement, unsigned int* err);

/** Moves to the next row.  Non-zero while a row is current; 0 with
 * ZBASE_E_NO_MORE_ROWS after the last row, 0 with ZBASE_E_DB_ENGINE +
 * SQLite's code when the engine fails; ZBASE_E_NULL_ARGUMENT for NULL. */
ZBASE_API int DbEnumerator_getNextRow(DbEnumerator* rows, unsigned int* err);
/** Goes back before the first row; the statement runs again at the next
 * DbEnumerator_getNextRow().  Codes: ZBASE_E_NULL_ARGUMENT. */
ZBASE_API void DbEnumerator_reset(DbEnumerator* rows, unsigned int* err);
/** The number of result columns.  Codes: ZBASE_E_NULL_ARGUMENT. */
ZBASE_API int DbEnumerator_getColumnNumber(DbEnumerator* rows, unsigned int* err);
/** The type (DB_COLUMN_INT ...) of `column` (from 0) in the current row.
 * Codes: ZBASE_E_NULL_ARGUMENT, or a failure code for no current row or a column out of
 * range. */
ZBASE_API int DbEnumerator_getColumnType(DbEnumerator* rows, int column, unsigned int* err);
/** The name of `column`.  Texts stay the platform's: valid until the next
 * row, reset or destroy.  Codes: ZBASE_E_NULL_ARGUMENT, or a failure code for a column out of
 * range. */
ZBASE_API const char* DbEnumerator_getColumnName(DbEnumerator* rows, int column, unsigned int* err);
/** The current row's `column` as a 32-bit integer.  Codes: as
 * DbEnumerator_getColumnType(). */
ZBASE_API int DbEnumerator_getInt(DbEnumerator* rows, int column, unsigned int* err);
/** The current row's `column` as a 64-bit integer.  Codes: as
 * DbEnumerator_getColumnType(). */
ZBASE_API int64_t DbEnumerator_getInt64(DbEnumerator* rows, int column, unsigned int* err);
/** The current row's `column` as a double.  Codes: as
 * DbEnumerator_getColumnType(). */
ZBASE_API double DbEnumerator_getDouble(DbEnumerator* rows, int column, unsigned int* err);
/** The current row's `column` as text (NULL for no value); the platform's,
 * valid until the next row, reset or destroy.  Codes: as
 * DbEnumerator_getColumnType(). */
ZBASE_API const char* DbEnumerator_getText(DbEnumerator* rows, int column, unsigned int* err);

#ifdef __cplusplus
}
#endif

#endif /* ZBASE_H */
