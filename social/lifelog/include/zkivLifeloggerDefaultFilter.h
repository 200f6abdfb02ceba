/* The default filter: lets an activity through only when the configuration
 * file "/System/Lifelog/lifelogconf.ini" switches its kind on ("true", any
 * letter case, under section "ACTIVITY" with the activity name as key).  The
 * file is read afresh for every decision. */
#ifndef ZKIV_LIFELOGGER_DEFAULT_FILTER_H
#define ZKIV_LIFELOGGER_DEFAULT_FILTER_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* The Filter interface is the first two words; `impl` is the record itself,
 * so a DefaultFilter* and its Filter* are the same pointer. */
typedef struct DefaultFilter {
    const FilterOps* ops;
    void* impl;
    Mutex* mutex; /* "LifeLogDefaultFilter", held around each configuration read */
} DefaultFilter;

LIFELOG_API Filter* __DefaultFilter_new(unsigned int* err);
LIFELOG_API void __DefaultFilter_delete(Filter* filter);
/* 1 when the activity's kind is switched on, 0 otherwise; never an error. */
LIFELOG_API int __DefaultFilter_isLoggable(Filter* filter, ZLifelogActivity* activity);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_DEFAULT_FILTER_H */
