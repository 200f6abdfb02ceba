/** @file zkivLifeloggerDefaultFilter.h
 * @brief The default filter: lets an activity through only when the
 * configuration file switches its kind on.
 *
 * The file is "/System/Lifelog/lifelogconf.ini"; a kind is on when its
 * activity name, as a key of section "ACTIVITY", holds "true" (any letter
 * case).  The file is read afresh for every decision, under the filter's
 * own mutex, so one filter may decide on several threads. */
#ifndef ZKIV_LIFELOGGER_DEFAULT_FILTER_H
#define ZKIV_LIFELOGGER_DEFAULT_FILTER_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** The Filter interface is the first two words; `impl` is the record itself,
 * so a DefaultFilter* and its Filter* are the same pointer. */
typedef struct DefaultFilter {
    const FilterOps* ops; /**< the default filter's Filter table */
    void* impl;           /**< the record itself */
    Mutex* mutex;         /**< "LifeLogDefaultFilter", held around each configuration read */
} DefaultFilter;

/** A new default filter (its Filter interface), the caller's until a logger
 * takes it (ZLifelogger_setFilter()).  Codes: LIFELOG_E_OUT_OF_MEMORY, or the platform's code when
 * its mutex cannot be made. */
LIFELOG_API Filter* __DefaultFilter_new(unsigned int* err);
/** Filter slot delete: deletes the mutex and the record; NULL is allowed. */
LIFELOG_API void __DefaultFilter_delete(Filter* filter);
/** Filter slot isLoggable: 1 when the activity's kind is switched on, 0
 * otherwise (also when the file or the key is missing); never an error. */
LIFELOG_API int __DefaultFilter_isLoggable(Filter* filter, ZLifelogActivity* activity);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_DEFAULT_FILTER_H */
