// The console handle: prints activities to the platform log.  It holds no
// state, so opening and closing only mark the write in the log.
#include "zkivLifeloggerConsoleHandle.h"

#include <stdint.h>

#include "lifelogInternal.h"
#include "zkivLifelogActivity.h"

namespace {

// Printed with "%ld": the 64-bit value must fit a long.
static_assert(sizeof(long) == sizeof(int64_t), "long must hold a 64-bit value");

constexpr HandleOps kConsoleHandleOps = {
    __ConsoleHandle_open,
    __ConsoleHandle_write,
    __ConsoleHandle_close,
    __ConsoleHandle_destruct,
};

}  // namespace

extern "C" {

Handle* ConsoleHandle_new(unsigned int* err) {
    LIFELOG_ENTER(err);
    auto* record = static_cast<ConsoleHandle*>(LIFELOG_CALLOC(1, sizeof(ConsoleHandle)));
    if (record != nullptr) {
        record->ops = &kConsoleHandleOps;
        record->impl = record;
    }
    LIFELOG_TRACE("called");
    if (record == nullptr) {
        lifelog::setError(err, LIFELOG_E_OUT_OF_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<Handle*>(record);
}

void ConsoleHandle_delete(void* handle) {
    LIFELOG_TRACE("called");
    if (handle != nullptr) {
        LIFELOG_FREE(handle);
    }
}

int __ConsoleHandle_open(Handle* /*handle*/) {
    LIFELOG_TRACE("is called");
    return 1;
}

int __ConsoleHandle_write(Handle* handle, ZLifelogActivity* activity) {
    LIFELOG_TRACE("start");
    if (handle == nullptr || activity == nullptr) {
        LIFELOG_ERROR("pI or pLifelogActivity is null");
        return 0;
    }
    LIFELOG_TRACE("LifelogActivity is %s", ZLifelogActivity_getName(activity));
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    for (void* each = List_getNext(&cursor); each != nullptr; each = List_getNext(&cursor)) {
        __PrintActivityItem(static_cast<ZLifelogActivityItem*>(each));
    }
    LIFELOG_TRACE("end");
    return 1;
}

void __ConsoleHandle_close(Handle* /*handle*/) {
    LIFELOG_TRACE("called");
}

void __ConsoleHandle_destruct(Handle* handle) {
    if (handle != nullptr) {
        ConsoleHandle_delete(handle->impl);
    }
}

void __PrintActivityItem(ZLifelogActivityItem* item) {
    if (item == nullptr) {
        return;
    }
    const char* key = item->key;
    const void* value = item->value;
    // A typed item without its value block has nothing printable either.
    switch (value != nullptr ? item->valueType : -1) {
        case LIFELOG_VALUE_INT:
            LIFELOG_TRACE("[%s : %d]", key, *static_cast<const int32_t*>(value));
            break;
        case LIFELOG_VALUE_DOUBLE:
            LIFELOG_TRACE("[%s : %f]", key, *static_cast<const double*>(value));
            break;
        case LIFELOG_VALUE_STRING:
            LIFELOG_TRACE("[%s : %s]", key, static_cast<const char*>(value));
            break;
        case LIFELOG_VALUE_INT64:
            LIFELOG_TRACE("[%s : %ld]", key,
                          static_cast<long>(*static_cast<const int64_t*>(value)));
            break;
        default:
            LIFELOG_TRACE("[invalid value]");
            break;
    }
}

}  // extern "C"
