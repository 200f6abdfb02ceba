/** @file zkivLifelogTypes.h
 * @brief The records that travel through the lifelog library: activities and their
 * items, and the three small interfaces of the logging pipeline (Handle,
 * Filter, Generator).  Complete definitions, fields in their fixed order, so
 * that clients compiled elsewhere can read them.
 *
 * Conventions of the whole C interface, said once here:
 *
 * - Errors.  Every call that can fail takes the caller's error slot, an
 *   `unsigned int* err`: its last parameter (_CreateDBLifeLogger() takes it
 *   first).  The call sets it to LIFELOG_E_SUCCESS on entry and to a
 *   LIFELOG_E_* code on failure; the few calls that leave it as they find
 *   it say so.  Test it after each call: a result of 0, -1 or NULL can be a
 *   valid answer.  Nothing throws.  A code that comes from a platform call
 *   is passed on unchanged; every code is named in ZBASE_ERRNO_MAP (zbase.h)
 *   and Exception_toString() gives its text.
 * - Ownership.  A call that returns a new object or string hands it to the
 *   caller, who releases it with the object's _delete or release, or a
 *   string with Mem_freeEx().  An object handed to an add or set operation
 *   or to a constructor belongs to the receiver only when the call
 *   succeeds; on failure it stays the caller's.  Texts passed in stay the
 *   caller's (the receiver copies what it keeps); texts returned by a getter
 *   stay the object's.  A logger owns its filter and handlers, a handler its
 *   handle and generators, an activity its name, items and location, an
 *   item its key and value.  Every block comes from the tracked allocator
 *   (qelmemory.h).
 * - Threads.  No object locks itself: each is used by one thread at a time.
 *   The exceptions are the event controller's two dispatch operations,
 *   which the notification component may call from several threads at
 *   once, and the default filter, which locks its configuration read.
 *   Separate objects (query objects, direct-logging calls) may run on
 *   separate threads against the one database file. */
#ifndef ZKIV_LIFELOG_TYPES_H
#define ZKIV_LIFELOG_TYPES_H

#include <stdint.h>

#include "qelmemory.h"
#include "zbase.h"

/** Marks a name exported from libzkivLifelog.so (default visibility while
 * the library itself is built, nothing for its clients). */
#if defined(LIFELOG_BUILDING)
#define LIFELOG_API __attribute__((visibility("default")))
#else
#define LIFELOG_API
#endif

/** @def LIFELOG_BEGIN_DECLS
 * Opens a block of C declarations (extern "C" in C++).
 * @def LIFELOG_END_DECLS
 * Closes the block that LIFELOG_BEGIN_DECLS opened. */
#ifdef __cplusplus
#define LIFELOG_BEGIN_DECLS extern "C" {
#define LIFELOG_END_DECLS }
#else
#define LIFELOG_BEGIN_DECLS
#define LIFELOG_END_DECLS
#endif

LIFELOG_BEGIN_DECLS

/** @cond */
#define LIFELOG_ERRNO_ENUM_(name, code) LIFELOG_E_##name = code,
/** @endcond */
/** The codes of an error slot, one LIFELOG_E_<name> per entry of
 * ZBASE_ERRNO_MAP (zbase.h), which gives each code's meaning; the same
 * numbers as the platform's ZBASE_E_<name>, since codes that come from a
 * platform call are passed on unchanged.  Exception_toString() gives the
 * text "E_<name>". */
typedef enum LifelogError {
    ZBASE_ERRNO_MAP(LIFELOG_ERRNO_ENUM_)
    /** + SQLite's primary result code: the database engine failed. */
    LIFELOG_E_DB_ENGINE = ZBASE_E_DB_ENGINE
} LifelogError;
#undef LIFELOG_ERRNO_ENUM_

/** What an item's `value` points to. */
typedef enum LifelogValueType {
    LIFELOG_VALUE_INT = 0,    /**< 4-byte block, signed 32-bit integer */
    LIFELOG_VALUE_DOUBLE = 1, /**< 8-byte block, IEEE double */
    LIFELOG_VALUE_STRING = 2, /**< the NUL-terminated text itself */
    LIFELOG_VALUE_INT64 = 3,  /**< 8-byte block, signed 64-bit integer */
    LIFELOG_VALUE_NONE = 4    /**< a column without a value; no item carries it */
} LifelogValueType;

/** An activity item: a key (a column name) and a typed value, both owned
 * by the item (zkivLifelogActivityItem.h). */
typedef struct ZLifelogActivityItem {
    int32_t valueType; /**< a LifelogValueType */
    char* key;         /**< the column name; owned */
    void* value;       /**< the value in the form valueType gives; owned */
} ZLifelogActivityItem;

/** An activity: a kind, a time stamp and an ordered list of items, all
 * owned by the activity (zkivLifelogActivity.h). */
typedef struct ZLifelogActivity {
    int32_t id;          /**< -1 at creation; the library never changes it */
    char* name;          /**< kind, and table name for calls, messages, media */
    List* activityItems; /**< of ZLifelogActivityItem, owned */
    DateTime timestamp;  /**< all zero: no time stamp */
    char* location;      /**< set only on activities read back from the database */
} ZLifelogActivity;

/* ---------------------------------------------------------------- Handle */

/** The output end of the logging pipeline (see struct Handle). */
typedef struct Handle Handle;
/** A Handle's table, in slot order.  A handler opens the handle, writes an
 * activity (and what its generators derive) and closes it, once per logged
 * activity, on the logging thread of the moment. */
typedef struct HandleOps {
    /** Makes the handle ready to write; non-zero on success. */
    int (*open)(Handle* handle);
    /** Writes the activity (which stays the caller's); non-zero on success. */
    int (*write)(Handle* handle, ZLifelogActivity* activity);
    /** Ends what open began. */
    void (*close)(Handle* handle);
    /** Frees the handle; its handler calls it when deleted. */
    void (*destruct)(Handle* handle);
} HandleOps;
/** The output end of the logging pipeline: the console handle
 * (zkivLifeloggerConsoleHandle.h), the database handle
 * (zkivLifeloggerDBHandle.h) or a client's own. */
struct Handle {
    const HandleOps* ops; /**< the handle's table */
    void* impl;           /**< the object behind the interface */
};

/* ---------------------------------------------------------------- Filter */

/** A logger's filter (see struct Filter). */
typedef struct Filter Filter;
/** A Filter's table, in slot order. */
typedef struct FilterOps {
    /** Non-zero when the activity is to be logged. */
    int (*isLoggable)(Filter* filter, ZLifelogActivity* activity);
    /** Frees the filter; its logger calls it when the filter is replaced or
     * the logger deleted. */
    void (*delete_)(Filter* filter);
} FilterOps;
/** Decides which activities a logger writes: the default filter
 * (zkivLifeloggerDefaultFilter.h) or a client's own. */
struct Filter {
    const FilterOps* ops; /**< the filter's table */
    void* impl;           /**< the object behind the interface */
};

/* ------------------------------------------------------------- Generator */

/** Derives a further activity from each logged one (see struct Generator). */
typedef struct Generator Generator;
/** A Generator's table, in slot order. */
typedef struct GeneratorOps {
    /** A further activity to write after `activity`, owned by the caller; on
     * failure the error slot is set and NULL returned. */
    ZLifelogActivity* (*generate)(Generator* generator, ZLifelogActivity* activity,
                                  unsigned int* err);
    /** Frees the generator; its handler calls it when deleted. */
    void (*delete_)(Generator* generator);
} GeneratorOps;
/** A handler's generator: what it derives is written after each logged
 * activity through the same handle.  The library makes none itself. */
struct Generator {
    const GeneratorOps* ops; /**< the generator's table */
    void* impl;              /**< the object behind the interface */
};

/* ------------------------------------------------------- logger, handler */

/** A logging handler: a handle and its generators
 * (zkivLifeloggingHandler.h). */
typedef struct ZLifeloggingHandler {
    Handle* handle;   /**< owned */
    List* generators; /**< of Generator, owned */
} ZLifeloggingHandler;

/** A logger: an optional filter and an ordered list of handlers
 * (zkivLifelogger.h). */
typedef struct ZLifelogger {
    List* handlers; /**< of ZLifeloggingHandler, owned */
    Filter* filter; /**< owned, NULL for none */
} ZLifelogger;

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_TYPES_H */
