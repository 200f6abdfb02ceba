// Service utilities: default logger, direct logging, maximum row count.
#include "zkivLifeloggingServiceUtil.h"

#include "lifelogInternal.h"

namespace {

constexpr const char* kConfigFile = "/System/Lifelog/lifelogconf.ini";
constexpr int32_t kDefaultMaxCount = 500;

}  // namespace

extern "C" {

LIFELOG_API int32_t _Lifelog_getMaxlogNumPerActivity(void) {
    int32_t count = kDefaultMaxCount;
    unsigned int err = 0;
    Registry* registry = _Registry_openInternal(kConfigFile, 0, &err);
    if (registry == nullptr) {
        LIFELOG_ERROR("%s file open failed", kConfigFile);
        return kDefaultMaxCount;
    }
    int32_t value = 0;
    Registry_getValue(registry, "ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", REGISTRY_TYPE_INT,
                      &value, static_cast<int>(sizeof value), &err);
    if (err == ZBASE_E_KEY_NOT_FOUND) {
        LIFELOG_ERROR("%s: Registry_getValue key not found", "MAX_COUNT_PER_ACTIVITY");
    } else if (err == ZBASE_E_SECTION_NOT_FOUND) {
        LIFELOG_ERROR("%s: Registry_getValue section not found", "ACTIVITY_CONFIG");
    } else if (err != 0) {
        LIFELOG_ERROR("Registry_getValue failed ");
    } else {
        count = value;
    }
    Registry_close(registry, 0, &err);
    return count;
}

}  // extern "C"
