// The default filter: one configuration read per decision, under the filter's
// own mutex.
#include "zkivLifeloggerDefaultFilter.h"

#include "lifelogInternal.h"
#include "lifelogSchema.h"
#include "zkivLifelogActivity.h"

namespace {

constexpr int kValueRoom = 64;

constexpr FilterOps kDefaultFilterOps = {__DefaultFilter_isLoggable, __DefaultFilter_delete};

// Reads the kind's switch from section "ACTIVITY" into `value`; a failure
// is logged under the decision's name.
bool readSwitch(Registry* registry, const char* kind, char (&value)[kValueRoom]) {
    constexpr const char* kDecide = "__DefaultFilter_isLoggable";
    unsigned int err = LIFELOG_E_SUCCESS;
    Registry_getValue(registry, "ACTIVITY", kind, REGISTRY_TYPE_STRING, value, kValueRoom, &err);
    if (err == LIFELOG_E_SUCCESS) {
        return true;
    }
    if (err == ZBASE_E_KEY_NOT_FOUND) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kDecide, __LINE__,
                    "%s: Registry_getValue key not found", kDecide);
    } else if (err == ZBASE_E_SECTION_NOT_FOUND) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kDecide, __LINE__,
                    "%s: Registry_getValue section not found", kDecide);
    } else {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kDecide, __LINE__,
                    "%s: Registry_getValue failed ", kDecide);
    }
    return false;
}

}  // namespace

extern "C" {

LIFELOG_API Filter* __DefaultFilter_new(unsigned int* err) {
    LIFELOG_ENTER(err);
    auto* filter = static_cast<DefaultFilter*>(LIFELOG_CALLOC(1, sizeof(DefaultFilter)));
    if (filter == nullptr) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    filter->ops = &kDefaultFilterOps;
    filter->impl = filter;
    filter->mutex = Mutex_new("LifeLogDefaultFilter", 0, err);
    if (filter->mutex == nullptr) {
        LIFELOG_FREE(filter);
        return nullptr;
    }
    return reinterpret_cast<Filter*>(filter);
}

LIFELOG_API void __DefaultFilter_delete(Filter* filter) {
    if (filter == nullptr || filter->impl == nullptr) {
        return;
    }
    auto* self = static_cast<DefaultFilter*>(filter->impl);
    unsigned int err = LIFELOG_E_SUCCESS;
    Mutex_delete(self->mutex, &err);  // nothing to do about a failure here
    LIFELOG_FREE(self);
}

LIFELOG_API int __DefaultFilter_isLoggable(Filter* filter, ZLifelogActivity* activity) {
    const char* name = activity != nullptr ? ZLifelogActivity_getName(activity) : nullptr;
    if (name == nullptr) {
        LIFELOG_ERROR("%s: activityName is null", __func__);
        return 0;
    }
    auto* self = static_cast<DefaultFilter*>(filter->impl);
    unsigned int err = LIFELOG_E_SUCCESS;
    Mutex_lock(self->mutex, &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("%s: Mutex_lock is failed.", __func__);
        return 0;
    }
    lifelog::RegistryGuard file(_Registry_openInternal(lifelog::kConfigPath, 0, &err));
    if (!file) {
        Mutex_unlock(self->mutex, &err);
        LIFELOG_ERROR("%s: %s file open failed", __func__, lifelog::kConfigPath);
        return 0;
    }
    char value[kValueRoom] = {};
    if (!readSwitch(file.get(), name, value)) {
        Mutex_unlock(self->mutex, &err);
        return 0;
    }
    // The comparison and the closing of the file need no lock.
    Mutex_unlock(self->mutex, &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("%s: Mutex_unlock is failed.", __func__);
        return 0;
    }
    value[kValueRoom - 1] = '\0';
    lifelog::StringGuard copy(String_newByString(value, &err));
    if (!copy) {
        LIFELOG_ERROR("%s: Out of memory", __func__);
        return 0;
    }
    return String_equalsIgnoreCase(copy.get(), "true") ? 1 : 0;
}

}  // extern "C"
