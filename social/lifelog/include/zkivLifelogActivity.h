/* Activities: a named, time-stamped, ordered list of typed items. */
#ifndef ZKIV_LIFELOG_ACTIVITY_H
#define ZKIV_LIFELOG_ACTIVITY_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

LIFELOG_API ZLifelogActivity* ZLifelogActivity_new(const char* name, unsigned int* err);
LIFELOG_API void ZLifelogActivity_delete(ZLifelogActivity* activity);
LIFELOG_API void ZLifelogActivity_addActivityItem(ZLifelogActivity* activity,
                                                  ZLifelogActivityItem* item, unsigned int* err);
LIFELOG_API int32_t ZLifelogActivity_getId(ZLifelogActivity* activity);
LIFELOG_API char* ZLifelogActivity_getName(ZLifelogActivity* activity);
LIFELOG_API List* ZLifelogActivity_getAllActivityItems(ZLifelogActivity* activity);
LIFELOG_API char* ZLifelogActivity_getLocation(ZLifelogActivity* activity);
LIFELOG_API DateTime ZLifelogActivity_getTimestamp(ZLifelogActivity* activity);
LIFELOG_API void _ZLifelogActivity_setTimestamp(ZLifelogActivity* activity, DateTime dateTime);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ACTIVITY_H */
