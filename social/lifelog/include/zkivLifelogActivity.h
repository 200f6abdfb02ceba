/** @file zkivLifelogActivity.h
 * @brief Activities: a named, time-stamped, ordered list of typed items.
 *
 * An activity is used by one thread at a time; it may be handed to another
 * thread as a whole (the event controller does). */
#ifndef ZKIV_LIFELOG_ACTIVITY_H
#define ZKIV_LIFELOG_ACTIVITY_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** A new activity of kind `name` (copied) with id -1, no items and no time
 * stamp; the caller's, deleted with ZLifelogActivity_delete().  Codes: LIFELOG_E_OUT_OF_MEMORY,
 * or the platform's code when the name copy or the item list fails. */
LIFELOG_API ZLifelogActivity* ZLifelogActivity_new(const char* name, unsigned int* err);
/** Deletes the activity with its name, items and location.  The argument
 * must not be NULL. */
LIFELOG_API void ZLifelogActivity_delete(ZLifelogActivity* activity);
/** Appends `item` at the end of the activity's items; on success the
 * activity owns it, on failure it stays the caller's.  Codes: LIFELOG_E_NULL_ARGUMENT for a null
 * activity or item, LIFELOG_E_LIST_APPEND when the list refuses the append. */
LIFELOG_API void ZLifelogActivity_addActivityItem(ZLifelogActivity* activity,
                                                  ZLifelogActivityItem* item, unsigned int* err);
/** The activity's id (-1 unless a caller set the field). */
LIFELOG_API int32_t ZLifelogActivity_getId(ZLifelogActivity* activity);
/** The activity's kind, e.g. "ACTIVITY_CALL"; the activity keeps it. */
LIFELOG_API char* ZLifelogActivity_getName(ZLifelogActivity* activity);
/** The activity's own list of ZLifelogActivityItem, in the order they were
 * added; the activity keeps it: walk it with List_getIterator() and
 * List_getNext(), never change or delete it. */
LIFELOG_API List* ZLifelogActivity_getAllActivityItems(ZLifelogActivity* activity);
/** The location text of an activity read back from the database, or NULL;
 * the activity keeps it. */
LIFELOG_API char* ZLifelogActivity_getLocation(ZLifelogActivity* activity);
/** A copy of the activity's time stamp (all zero: none). */
LIFELOG_API DateTime ZLifelogActivity_getTimestamp(ZLifelogActivity* activity);
/** Sets the activity's time stamp to `dateTime`, unchecked. */
LIFELOG_API void _ZLifelogActivity_setTimestamp(ZLifelogActivity* activity, DateTime dateTime);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ACTIVITY_H */
