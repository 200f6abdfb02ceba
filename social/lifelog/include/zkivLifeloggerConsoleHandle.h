/** @file zkivLifeloggerConsoleHandle.h
 * @brief The console handle: a Handle that prints each activity, item by
 * item, as trace lines of the platform log instead of storing it. */
#ifndef ZKIV_LIFELOGGER_CONSOLE_HANDLE_H
#define ZKIV_LIFELOGGER_CONSOLE_HANDLE_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** Starts with the Handle interface, so the record and its interface share
 * one address; `impl` points back at the record. */
typedef struct ConsoleHandle {
    const HandleOps* ops; /**< the console handle's Handle table */
    void* impl;           /**< the record itself */
} ConsoleHandle;

/** The new handle's Handle interface, or NULL with the error slot set (1).
 * The caller's until a handler takes it (ZLifeloggingHandler_new()). */
LIFELOG_API Handle* ConsoleHandle_new(unsigned int* err);
/** Releases the record (a ConsoleHandle*); NULL is allowed. */
LIFELOG_API void ConsoleHandle_delete(void* handle);

/** Handle slot open: always 1. */
LIFELOG_API int __ConsoleHandle_open(Handle* handle);
/** Handle slot write: one trace line with the activity's name, then one per
 * item.  1, or 0 (with an error line) for a null handle or activity. */
LIFELOG_API int __ConsoleHandle_write(Handle* handle, ZLifelogActivity* activity);
/** Handle slot close: nothing to close. */
LIFELOG_API void __ConsoleHandle_close(Handle* handle);
/** Handle slot destruct: deletes the handle. */
LIFELOG_API void __ConsoleHandle_destruct(Handle* handle);

/** One trace line for the item, in the form its value type calls for. */
LIFELOG_API void __PrintActivityItem(ZLifelogActivityItem* item);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_CONSOLE_HANDLE_H */
