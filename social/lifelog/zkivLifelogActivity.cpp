// Activities: a named, time-stamped record owning an ordered list of items.
#include "zkivLifelogActivity.h"

#include "lifelogInternal.h"
#include "zkivLifelogActivityItem.h"

using lifelog::setError;

extern "C" {

ZLifelogActivity* ZLifelogActivity_new(const char* name, unsigned int* err) {
    unsigned int scratch = 0;
    if (err == nullptr) {
        err = &scratch;
    }
    *err = 0;
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifelogActivity)));
    if (!record) {
        *err = 1;
        return nullptr;
    }
    auto* activity = static_cast<ZLifelogActivity*>(record.get());
    activity->name = nullptr;
    activity->activityItems = nullptr;
    activity->timestamp = DateTime{0, 0, 0, 0, 0, 0, 0};
    activity->location = nullptr;

    lifelog::StringGuard copy(String_newByString(name, err));
    if (*err != 0 || !copy) {
        if (*err == 0) {
            *err = 1;
        }
        return nullptr;
    }
    lifelog::ListGuard items(List_new(ZLifelogActivityItem_delete, err));
    if (*err != 0 || !items) {
        if (*err == 0) {
            *err = 1;
        }
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
    setError(err, 0);
    if (activity == nullptr || item == nullptr) {
        LIFELOG_ERROR("pThis == null or logActivityItem == null");
        setError(err, 7);
        return;
    }
    if (List_addLast(activity->activityItems, item) == 0) {
        LIFELOG_ERROR("List_addLast is failed");
        setError(err, 12);
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
