// Activity items: a copied key and a value block taken over from the caller.
#include "zkivLifelogActivityItem.h"

#include "lifelogInternal.h"

extern "C" {

ZLifelogActivityItem* ZLifelogActivityItem_new(const char* key, void* value, int valueType,
                                               unsigned int* err) {
    unsigned int scratch = 0;
    if (err == nullptr) {
        err = &scratch;
    }
    *err = 0;
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifelogActivityItem)));
    if (!record) {
        *err = 1;
        return nullptr;
    }
    char* copy = String_newByString(key, err);
    if (*err != 0 || copy == nullptr) {
        // The value stays the caller's: the caller releases it on failure.
        LIFELOG_FREE(copy);
        if (*err == 0) {
            *err = 1;
        }
        return nullptr;
    }
    auto* item = static_cast<ZLifelogActivityItem*>(record.release());
    item->valueType = valueType;
    item->key = copy;
    item->value = value;
    return item;
}

void ZLifelogActivityItem_delete(void* object) {
    auto* item = static_cast<ZLifelogActivityItem*>(object);
    if (item == nullptr) {
        return;
    }
    // Numbers are blocks and texts are strings: both come from the tracked
    // allocator, so the type does not matter here.
    LIFELOG_FREE(item->value);
    LIFELOG_FREE(item->key);
    LIFELOG_FREE(item);
}

int ZLifelogActivityItem_getValueType(ZLifelogActivityItem* item) {
    return item != nullptr ? item->valueType : -1;
}

char* ZLifelogActivityItem_getKey(ZLifelogActivityItem* item) {
    return item != nullptr ? item->key : nullptr;
}

void* ZLifelogActivityItem_getValue(ZLifelogActivityItem* item) {
    return item != nullptr ? item->value : nullptr;
}

}  // extern "C"
