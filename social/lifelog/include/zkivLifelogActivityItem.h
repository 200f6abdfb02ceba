/** @file zkivLifelogActivityItem.h
 * @brief Activity items: a key (a column name) and a typed value. */
#ifndef ZKIV_LIFELOG_ACTIVITY_ITEM_H
#define ZKIV_LIFELOG_ACTIVITY_ITEM_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** A new item, the caller's until it is added to an activity.  The key is
 * copied; `value` (a tracked block whose form `valueType`, a
 * LifelogValueType, gives) is taken over on success only.  Codes: LIFELOG_E_OUT_OF_MEMORY, or
 * the platform's code when the key copy fails. */
LIFELOG_API ZLifelogActivityItem* ZLifelogActivityItem_new(const char* key, void* value,
                                                           int valueType, unsigned int* err);
/** Releases the item's value (whatever its type), its key and the item
 * (a ZLifelogActivityItem*; typed void* to serve as a list's destroy
 * function). */
LIFELOG_API void ZLifelogActivityItem_delete(void* item);
/** The item's LifelogValueType. */
LIFELOG_API int ZLifelogActivityItem_getValueType(ZLifelogActivityItem* item);
/** The item's key; the item keeps it. */
LIFELOG_API char* ZLifelogActivityItem_getKey(ZLifelogActivityItem* item);
/** The item's value; the item keeps it. */
LIFELOG_API void* ZLifelogActivityItem_getValue(ZLifelogActivityItem* item);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ACTIVITY_ITEM_H */
