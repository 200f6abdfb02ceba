/* The records that travel through the lifelog library: activities and their
 * items, and the three small interfaces of the logging pipeline (Handle,
 * Filter, Generator).  Complete definitions, fields in their fixed order, so
 * that clients compiled elsewhere can read them. */
#ifndef ZKIV_LIFELOG_TYPES_H
#define ZKIV_LIFELOG_TYPES_H

#include <stdint.h>

#include "qelmemory.h"
#include "zbase.h"

#if defined(LIFELOG_BUILDING)
#define LIFELOG_API __attribute__((visibility("default")))
#else
#define LIFELOG_API
#endif

#ifdef __cplusplus
#define LIFELOG_BEGIN_DECLS extern "C" {
#define LIFELOG_END_DECLS }
#else
#define LIFELOG_BEGIN_DECLS
#define LIFELOG_END_DECLS
#endif

LIFELOG_BEGIN_DECLS

/* What an item's `value` points to. */
typedef enum LifelogValueType {
    LIFELOG_VALUE_INT = 0,    /* 4-byte block, signed 32-bit integer */
    LIFELOG_VALUE_DOUBLE = 1, /* 8-byte block, IEEE double */
    LIFELOG_VALUE_STRING = 2, /* the NUL-terminated text itself */
    LIFELOG_VALUE_INT64 = 3,  /* 8-byte block, signed 64-bit integer */
    LIFELOG_VALUE_NONE = 4    /* a column without a value; no item carries it */
} LifelogValueType;

typedef struct ZLifelogActivityItem {
    int32_t valueType; /* a LifelogValueType */
    char* key;
    void* value;
} ZLifelogActivityItem;

typedef struct ZLifelogActivity {
    int32_t id;
    char* name;           /* kind, and table name for calls, messages, media */
    List* activityItems;  /* of ZLifelogActivityItem, owned */
    DateTime timestamp;   /* all zero: no time stamp */
    char* location;       /* set only on activities read back from the database */
} ZLifelogActivity;

/* ---------------------------------------------------------------- Handle */

typedef struct Handle Handle;
typedef struct HandleOps {
    int (*open)(Handle* handle);
    int (*write)(Handle* handle, ZLifelogActivity* activity);
    void (*close)(Handle* handle);
    void (*destruct)(Handle* handle);
} HandleOps;
struct Handle {
    const HandleOps* ops;
    void* impl;
};

/* ---------------------------------------------------------------- Filter */

typedef struct Filter Filter;
typedef struct FilterOps {
    int (*isLoggable)(Filter* filter, ZLifelogActivity* activity);
    void (*delete_)(Filter* filter);
} FilterOps;
struct Filter {
    const FilterOps* ops;
    void* impl;
};

/* ------------------------------------------------------------- Generator */

typedef struct Generator Generator;
typedef struct GeneratorOps {
    /* A further activity to write after `activity`, owned by the caller; on
     * failure the error slot is set and NULL returned. */
    ZLifelogActivity* (*generate)(Generator* generator, ZLifelogActivity* activity,
                                  unsigned int* err);
    void (*delete_)(Generator* generator);
} GeneratorOps;
struct Generator {
    const GeneratorOps* ops;
    void* impl;
};

/* ------------------------------------------------------- logger, handler */

typedef struct ZLifeloggingHandler {
    Handle* handle;   /* owned */
    List* generators; /* of Generator, owned */
} ZLifeloggingHandler;

typedef struct ZLifelogger {
    List* handlers; /* of ZLifeloggingHandler, owned */
    Filter* filter; /* owned, NULL for none */
} ZLifelogger;

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_TYPES_H */
