// Activity items: a copied key and a value block taken over from the caller,
// or a value copied into the item's own block.
#include "zkivLifelogActivityItem.h"

#include <stddef.h>
#include <string.h>

#include "lifelogInternal.h"

namespace {

// An item, its key and (for items made with their value) the value share
// one tracked block: the record, then the key's bytes, then the value at
// the alignment of any number.
constexpr size_t kValueAlignment = alignof(max_align_t);

size_t keyEnd(size_t keyLength) {
    const size_t end = sizeof(ZLifelogActivityItem) + keyLength + 1;
    return (end + kValueAlignment - 1) / kValueAlignment * kValueAlignment;
}

// The record with its key copied behind it, and `valueSize` more bytes.
ZLifelogActivityItem* newRecord(const char* key, size_t valueSize, int valueType,
                                unsigned int* err) {
    if (key == nullptr) {
        // As a copy of no text reports it.
        *err = ZBASE_E_NULL_ARGUMENT;
        return nullptr;
    }
    const size_t keyLength = strlen(key);
    auto* item = static_cast<ZLifelogActivityItem*>(LIFELOG_ALLOC(keyEnd(keyLength) + valueSize));
    if (item == nullptr) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    char* copy = reinterpret_cast<char*>(item + 1);
    memcpy(copy, key, keyLength + 1);
    item->valueType = valueType;
    item->key = copy;
    item->value = nullptr;
    return item;
}

// Where a value kept in the item's own block starts.
void* inlineValue(ZLifelogActivityItem* item) {
    return reinterpret_cast<char*>(item) + keyEnd(strlen(item->key));
}

}  // namespace

namespace lifelog {

ZLifelogActivityItem* newItemWithValue(const char* key, int valueType, const void* bytes,
                                       size_t size, unsigned int* err) {
    ZLifelogActivityItem* item = newRecord(key, size, valueType, err);
    if (item == nullptr) {
        return nullptr;
    }
    item->value = inlineValue(item);
    memcpy(item->value, bytes, size);
    return item;
}

}  // namespace lifelog

extern "C" {

ZLifelogActivityItem* ZLifelogActivityItem_new(const char* key, void* value, int valueType,
                                               unsigned int* err) {
    LIFELOG_ENTER(err);
    // On failure the value stays the caller's, who releases it.
    ZLifelogActivityItem* item = newRecord(key, 0, valueType, err);
    if (item == nullptr) {
        return nullptr;
    }
    item->value = value;
    return item;
}

void ZLifelogActivityItem_delete(void* object) {
    auto* item = static_cast<ZLifelogActivityItem*>(object);
    if (item == nullptr) {
        return;
    }
    // Numbers are blocks and texts are strings, both from the tracked
    // allocator, unless the value lives in the item's own block.
    if (item->value != inlineValue(item)) {
        LIFELOG_FREE(item->value);
    }
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
