/* Activity items: a key (a column name) and a typed value. */
#ifndef ZKIV_LIFELOG_ACTIVITY_ITEM_H
#define ZKIV_LIFELOG_ACTIVITY_ITEM_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* Takes over `value` on success only; the key is copied. */
LIFELOG_API ZLifelogActivityItem* ZLifelogActivityItem_new(const char* key, void* value,
                                                           int valueType, unsigned int* err);
LIFELOG_API void ZLifelogActivityItem_delete(void* item);
LIFELOG_API int ZLifelogActivityItem_getValueType(ZLifelogActivityItem* item);
LIFELOG_API char* ZLifelogActivityItem_getKey(ZLifelogActivityItem* item);
LIFELOG_API void* ZLifelogActivityItem_getValue(ZLifelogActivityItem* item);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ACTIVITY_ITEM_H */
