/* The console handle: a Handle that prints each activity, item by item, as
 * trace lines of the platform log instead of storing it. */
#ifndef ZKIV_LIFELOGGER_CONSOLE_HANDLE_H
#define ZKIV_LIFELOGGER_CONSOLE_HANDLE_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* Starts with the Handle interface, so the record and its interface share
 * one address; `impl` points back at the record. */
typedef struct ConsoleHandle {
    const HandleOps* ops;
    void* impl;
} ConsoleHandle;

/* The new handle's Handle interface, or NULL with the error slot set (1). */
LIFELOG_API Handle* ConsoleHandle_new(unsigned int* err);
/* Releases the record; NULL is allowed. */
LIFELOG_API void ConsoleHandle_delete(void* handle);

LIFELOG_API int __ConsoleHandle_open(Handle* handle);
LIFELOG_API int __ConsoleHandle_write(Handle* handle, ZLifelogActivity* activity);
LIFELOG_API void __ConsoleHandle_close(Handle* handle);
LIFELOG_API void __ConsoleHandle_destruct(Handle* handle);

/* One trace line for the item, in the form its value type calls for. */
LIFELOG_API void __PrintActivityItem(ZLifelogActivityItem* item);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_CONSOLE_HANDLE_H */
