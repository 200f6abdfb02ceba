/* Service utilities: the library's default logger, the direct-logging
 * functions and the per-table maximum row count of the configuration file. */
#ifndef ZKIV_LIFELOGGING_SERVICE_UTIL_H
#define ZKIV_LIFELOGGING_SERVICE_UTIL_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* The most rows each activity table keeps: "MAX_COUNT_PER_ACTIVITY" of
 * section "ACTIVITY_CONFIG" in the configuration file, 500 when it cannot be
 * read. */
LIFELOG_API int32_t _Lifelog_getMaxlogNumPerActivity(void);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGING_SERVICE_UTIL_H */
