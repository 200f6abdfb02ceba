// Activities: a named, time-stamped record owning an ordered list of items.
#include "zkivLifelogActivity.h"

#include "lifelogInternal.h"
#include "zkivLifelogActivityItem.h"

extern "C" {

ZLifelogActivity* ZLifelogActivity_new(const char* name, unsigned int* err) {
    LIFELOG_ENTER(err);
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifelogActivity)));
    if (!record) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    auto* activity = static_cast<ZLifelogActivity*>(record.get());
    activity->name = nullptr;
    activity->activityItems = nullptr;
    activity->timestamp = DateTime{0, 0, 0, 0, 0, 0, 0};
    activity->location = nullptr;

    lifelog::StringGuard copy(String_newByString(name, err));
    if (lifelog::madeNothing(copy.get(), err, LIFELOG_E_OUT_OF_MEMORY)) {
        return nullptr;
    }
    lifelog::ListGuard items(List_new(ZLifelogActivityItem_delete, err));
    if (lifelog::madeNothing(items.get(), err, LIFELOG_E_OUT_OF_MEMORY)) {
        return nullptr;
    }
    activity->name = copy.release();
    activity->activityItems = items.release();
    activity->id = -1;
    record.release();
    return activity;
}

void ZLifelogActivity_delete(ZLifelogActivity* activity) {
    LIFELOG_FREE(activity->name);
    if (activity->activityItems != nullptr) {
        List_delete(activity->activityItems);
    }
    LIFELOG_FREE(activity->location);
    LIFELOG_FREE(activity);
}

void ZLifelogActivity_addActivityItem(ZLifelogActivity* activity, ZLifelogActivityItem* item,
                                      unsigned int* err) {
    LIFELOG_ENTER(err);
    if (activity == nullptr || item == nullptr) {
        LIFELOG_ERROR("pThis == null or logActivityItem == null");
        *err = LIFELOG_E_NULL_ARGUMENT;
        return;
    }
    if (List_addLast(activity->activityItems, item) == 0) {
        LIFELOG_ERROR("List_addLast is failed");
        *err = LIFELOG_E_LIST_APPEND;
    }
}

int32_t ZLifelogActivity_getId(ZLifelogActivity* activity) {
    return activity != nullptr ? activity->id : -1;
}

char* ZLifelogActivity_getName(ZLifelogActivity* activity) {
    return activity != nullptr ? activity->name : nullptr;
}

List* ZLifelogActivity_getAllActivityItems(ZLifelogActivity* activity) {
    return activity != nullptr ? activity->activityItems : nullptr;
}

char* ZLifelogActivity_getLocation(ZLifelogActivity* activity) {
    return activity != nullptr ? activity->location : nullptr;
}

DateTime ZLifelogActivity_getTimestamp(ZLifelogActivity* activity) {
    if (activity == nullptr) {
        return DateTime{0, 0, 0, 0, 0, 0, 0};
    }
    return activity->timestamp;
}

void _ZLifelogActivity_setTimestamp(ZLifelogActivity* activity, DateTime dateTime) {
    if (activity != nullptr) {
        activity->timestamp = dateTime;
    }
}

}  // extern "C"
