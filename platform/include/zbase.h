/* zbase: the platform base library as the lifelog library sees it.
 *
 * Strings, lists, log output, error texts, components, threads, actors,
 * events, mutexes, the configuration file and the SQL database.  Every
 * fallible operation takes the caller's error slot (`unsigned int* err`),
 * sets it to 0 on success and to a code on failure.  Strings and lists that
 * an operation returns belong to the caller and come from the tracked
 * allocator (qelmemory.h): release a string with Mem_freeEx, a list with
 * List_delete. */
#ifndef ZBASE_H
#define ZBASE_H

#include <stddef.h>
#include <stdint.h>

#if defined(ZBASE_BUILDING)
#define ZBASE_API __attribute__((visibility("default")))
#else
#define ZBASE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- values */

typedef struct UUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} UUID;

/* A date and time of day; year, month or day 0 means "no time stamp". */
typedef struct DateTime {
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t reserved;
} DateTime;

/* Platform codes that callers test. */
enum {
    ZBASE_E_SUCCESS = 0,
    ZBASE_E_OUT_OF_MEMORY = 1,
    ZBASE_E_INVALID_ARG = 4,
    ZBASE_E_NULL_ARGUMENT = 7,
    ZBASE_E_INVALID_FORMAT = 11,
    ZBASE_E_FAILURE = 13,
    ZBASE_E_OBJ_NOT_FOUND = 21,
    ZBASE_E_SECTION_NOT_FOUND = 25,
    ZBASE_E_FILE_NOT_FOUND = 31,
    ZBASE_E_KEY_NOT_FOUND = 44,
    ZBASE_E_DATABASE = 66,
    ZBASE_E_NO_MORE_ROWS = 69,
    ZBASE_E_NO_ROWS_CHANGED = 70,
    ZBASE_E_OVERFLOW = 187,
    ZBASE_E_DB_ENGINE = 1000 /* + SQLite's primary result code */
};

typedef struct List List;
typedef void (*ListDestroyFn)(void* element);

/* --------------------------------------------------------------- strings */

/* Empty string with room for `size` bytes (terminator included). */
ZBASE_API char* String_new(int size, unsigned int* err);
ZBASE_API char* String_newByString(const char* s, unsigned int* err);
/* Bytes [start, end) of s; stops early at the terminator of a shorter s. */
ZBASE_API char* String_newBySubstr(const char* s, int start, int end, unsigned int* err);
/* Appends src to dst in place; dst must have the room. */
ZBASE_API void String_concat(char* dst, const char* src);
/* printf into dst: never more than `size` bytes, always terminated when
 * size > 0.  Returns the length the whole output has (as snprintf does), so
 * a result >= size means the output was cut; negative on a format error. */
ZBASE_API int String_format(char* dst, int size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
ZBASE_API int String_length(const char* s);
ZBASE_API int String_equals(const char* a, const char* b);
ZBASE_API int String_equalsIgnoreCase(const char* a, const char* b);
/* A new list of the pieces between delimiter characters, empty pieces
 * included ("a,,b" gives "a", "", "b"); NULL when out of memory.  The list
 * releases its strings on List_delete. */
ZBASE_API List* String_getTokens(const char* s, const char* delimiters);

/* ----------------------------------------------------------------- lists */

/* `destroy` (may be NULL) runs on each element at List_delete. */
ZBASE_API List* List_new(ListDestroyFn destroy, unsigned int* err);
ZBASE_API void List_delete(List* list);
/* Non-zero on success. */
ZBASE_API int List_addLast(List* list, void* element);
/* Removes the first element identical to `element` without destroying it;
 * non-zero when it was found. */
ZBASE_API int List_removeObject(List* list, void* element);
ZBASE_API int List_size(List* list);
ZBASE_API void* List_getAt(List* list, int index);
/* A cursor before the first element; List_getNext(&cursor) returns the next
 * element, NULL after the last one. */
ZBASE_API void* List_getIterator(List* list);
ZBASE_API void* List_getNext(void** cursor);

/* ------------------------------------------------------------ log, errors */

enum { ZBASE_LOG_TRACE = 31, ZBASE_LOG_ERROR = 254 };

ZBASE_API void __Log_printfEx(int module, int level, const char* function, int line,
                              const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
ZBASE_API const char* Exception_toString(unsigned int code);

/* ------------------------------------------------------------ components */

/* The interface `interfaceId` of a new object of class `classId`, holding
 * one reference; NULL with the error slot set otherwise. */
ZBASE_API void* Com_createInstance(const UUID* classId, const UUID* interfaceId,
                                   unsigned int* err);
ZBASE_API int UUID_isEqual(const UUID* a, const UUID* b);

/* --------------------------------------------------------------- threads */

typedef void* (*ThreadProc)(void* parameter);

/* The visible head of a thread record.  `parameter` is what the entry
 * procedure receives; it may be set after Thread_new, before Thread_start. */
typedef struct Thread {
    void* parameter;
} Thread;

ZBASE_API Thread* Thread_new(const char* name, ThreadProc procedure, int stackSize,
                             int priority, unsigned int* err);
ZBASE_API void Thread_start(Thread* thread, unsigned int* err);
ZBASE_API void Thread_suspend(Thread* thread, unsigned int* err);
ZBASE_API void Thread_resume(Thread* thread, unsigned int* err);
ZBASE_API void Thread_release(Thread* thread, unsigned int* err);
/* A value naming the calling thread, for __ThreadManager_getThread. */
ZBASE_API void* Thread_self(void);
/* The record of a thread made by Thread_new, or NULL for other threads. */
ZBASE_API Thread* __ThreadManager_getThread(void* value);

/* ---------------------------------------------------------------- actors */

/* A message handed to an actor's target: the first word is the code. */
typedef struct ActorMessage {
    int32_t code;
} ActorMessage;

/* An actor delivers its messages to slot 0 of its target's table:
 * target->ops->onMessage(target, message). */
typedef struct ActorTarget ActorTarget;
typedef struct ActorTargetOps {
    void (*onMessage)(void* target, ActorMessage* message);
} ActorTargetOps;
struct ActorTarget {
    const ActorTargetOps* ops;
};

/* The visible head of an actor record: `mainloop` names the event main loop
 * of the actor's thread, for Event_exitMainloop from another thread. */
typedef struct Actor {
    void* mainloop;
} Actor;

ZBASE_API Actor* Actor_new(const char* name, void* target, unsigned int* err);
ZBASE_API void Actor_start(Actor* actor, unsigned int* err);
ZBASE_API void Actor_stop(Actor* actor, unsigned int* err);
ZBASE_API void Actor_delete(Actor* actor, unsigned int* err);
/* The identifier of the calling thread's (most recent) actor; 0 for none. */
ZBASE_API int Actor_getCurrentID(void);

/* ---------------------------------------------------------------- events */

typedef struct Event Event;
typedef void (*EventHandler)(Event* event);

/* A caller-owned event record; the platform keeps only its address. */
struct Event {
    int32_t eventId;
    int32_t actorId;
    EventHandler handler;
    void* reserved;
};

ZBASE_API void Event_init(Event* event, int eventId, int actorId, EventHandler handler);
ZBASE_API void Event_addListener(Event* event, EventHandler handler, unsigned int* err);
/* Queues the event for its actor's thread; callable from any thread. */
ZBASE_API void Event_fire(Event* event, unsigned int* err);
/* Runs the calling thread's main loop until Event_exitMainloop. */
ZBASE_API void Event_runMainloop(void);
ZBASE_API void Event_exitMainloop(void* loop, unsigned int* err);

/* --------------------------------------------------------------- mutexes */

typedef struct Mutex Mutex;

ZBASE_API Mutex* Mutex_new(const char* name, int flags, unsigned int* err);
ZBASE_API void Mutex_lock(Mutex* mutex, unsigned int* err);
ZBASE_API void Mutex_unlock(Mutex* mutex, unsigned int* err);
ZBASE_API void Mutex_delete(Mutex* mutex, unsigned int* err);

/* ---------------------------------------------------- configuration file */

typedef struct Registry Registry;

enum { REGISTRY_TYPE_INT = 1, REGISTRY_TYPE_STRING = 3 };

ZBASE_API Registry* _Registry_openInternal(const char* path, int flags, unsigned int* err);
/* Type 3 copies the text into buffer (cut to fit, always terminated); type 1
 * reads a decimal integer into a 32-bit int.  25: no such section, 44: no
 * such key. */
ZBASE_API void Registry_getValue(Registry* registry, const char* section, const char* key,
                                 int type, void* buffer, int size, unsigned int* err);
ZBASE_API void Registry_close(Registry* registry, int flags, unsigned int* err);

/* -------------------------------------------------------------- database */

typedef struct Database Database;
typedef struct DbStatement DbStatement;
typedef struct DbEnumerator DbEnumerator;

enum {
    DB_COLUMN_INT = 0,
    DB_COLUMN_INT64 = 1,
    DB_COLUMN_DOUBLE = 2,
    DB_COLUMN_TEXT = 3,
    DB_COLUMN_OTHER = 4,
    DB_COLUMN_NULL = 5
};

/* Non-zero when the database file exists. */
ZBASE_API int _Database_existsInternal(const char* path, unsigned int* err);
/* Opens an existing database file; fails when the file is not there. */
ZBASE_API Database* _Database_openInternal(const char* path, unsigned int* err);
/* Creates (or opens) the file, making missing parent folders. */
ZBASE_API Database* _Database_createInternal(const char* path, unsigned int* err);
/* Deletes the file with its journal files. */
ZBASE_API void _Database_dropInternal(const char* path, unsigned int* err);
ZBASE_API void Database_close(Database* database, unsigned int* err);
/* Runs exactly one statement.  err: 0 when it changed or returned a row, 70
 * when it changed and returned nothing, 1000 + SQLite's code on an engine
 * failure; text after the first statement is refused and nothing runs. */
ZBASE_API void Database_executeSQL(Database* database, const char* sql, int flag, void* reserved1,
                                   void* reserved2, unsigned int* err);
ZBASE_API void Database_beginTransaction(Database* database, unsigned int* err);
ZBASE_API void Database_commitTransaction(Database* database, unsigned int* err);
ZBASE_API void Database_rollbackTransaction(Database* database, unsigned int* err);
ZBASE_API DbStatement* Database_createStatement(Database* database, const char* sql,
                                                unsigned int* err);
/* A row enumerator positioned before the first row. */
ZBASE_API DbEnumerator* Database_executeStatement(DbStatement* statement, unsigned int* err);
/* Also releases the statement's row enumerator. */
ZBASE_API void DbStatement_destroy(DbStatement* statement, unsigned int* err);

/* Non-zero while a row is current; 0 with 69 after the last row. */
ZBASE_API int DbEnumerator_getNextRow(DbEnumerator* rows, unsigned int* err);
ZBASE_API void DbEnumerator_reset(DbEnumerator* rows, unsigned int* err);
ZBASE_API int DbEnumerator_getColumnNumber(DbEnumerator* rows, unsigned int* err);
ZBASE_API int DbEnumerator_getColumnType(DbEnumerator* rows, int column, unsigned int* err);
/* Texts stay the platform's: valid until the next row, reset or destroy. */
ZBASE_API const char* DbEnumerator_getColumnName(DbEnumerator* rows, int column,
                                                 unsigned int* err);
ZBASE_API int DbEnumerator_getInt(DbEnumerator* rows, int column, unsigned int* err);
ZBASE_API int64_t DbEnumerator_getInt64(DbEnumerator* rows, int column, unsigned int* err);
ZBASE_API double DbEnumerator_getDouble(DbEnumerator* rows, int column, unsigned int* err);
ZBASE_API const char* DbEnumerator_getText(DbEnumerator* rows, int column, unsigned int* err);

#ifdef __cplusplus
}
#endif

#endif /* ZBASE_H */
