// Activity items: a copied key and a value block taken over from the caller.
#include "zkivLifelogActivityItem.h"

#include "lifelogInternal.h"

extern "C" {

ZLifelogActivityItem* ZLifelogActivityItem_new(const char* key, void* value, int valueType,
                                               unsigned int* err) {
    LIFELOG_ENTER(err);
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifelogActivityItem)));
    if (!record) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    // On failure the value stays the caller's, who releases it.
    lifelog::StringGuard copy(String_newByString(key, err));
    if (lifelog::madeNothing(copy.get(), err, LIFELOG_E_OUT_OF_MEMORY)) {
        return nullptr;
    }
    auto* item = static_cast<ZLifelogActivityItem*>(record.release());
    item->valueType = valueType;
    item->key = copy.release();
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
