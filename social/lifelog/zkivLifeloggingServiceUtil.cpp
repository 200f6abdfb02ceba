// Service utilities: default logger, direct logging, maximum row count.
#include "zkivLifeloggingServiceUtil.h"

#include "lifelogInternal.h"
#include "lifelogSchema.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggerDefaultFilter.h"

namespace {

using LoggerGuard = lifelog::Guard<ZLifelogger, ZLifelogger_delete>;

// The direct-logging functions share one body; its lines name the exported
// function that was called.
// Adds the caller's time-stamp text, verbatim, as a text item.  A failed
// copy drops the activity without a message.
bool attachTimestamp(const char* function, ZLifelogActivity* activity, const char* key,
                     const char* timestamp, unsigned int* err) {
    char* copy = String_newByString(timestamp, err);
    if (copy == nullptr) {
        return false;
    }
    ZLifelogActivityItem* item = ZLifelogActivityItem_new(key, copy, LIFELOG_VALUE_STRING, err);
    if (item == nullptr || *err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                    "[%s] Propagated: ZLifelogActivityItem_new is failed",
                    Exception_toString(*err));
        LIFELOG_FREE(copy);
        return false;
    }
    ZLifelogActivity_addActivityItem(activity, item, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                    "[%s] Propagated: ZLifelogActivity_addActivityItem is failed",
                    Exception_toString(*err));
        ZLifelogActivityItem_delete(item);
        return false;
    }
    return true;
}

// One direct-logging call: a private pipeline, the activity from `build`,
// the optional time stamp, the log; the activity and then the pipeline are
// deleted on every path.
template <typename Build>
void logDirectly(const char* function, const char* timestampKey, const char* timestamp,
                 Build build) {
    unsigned int err = LIFELOG_E_SUCCESS;
    LoggerGuard logger(__Lifelog_CreateDefaultLog(&err));
    if (!logger) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                    "[%s] Propagated: __Lifelog_CreateDefaultLog is failed",
                    Exception_toString(err));
        return;
    }
    lifelog::ActivityGuard activity(build(&err));
    if (!activity) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                    "[%s] Propagated: lifelogActivity is null", Exception_toString(err));
        return;
    }
    if (timestamp != nullptr &&
        !attachTimestamp(function, activity.get(), timestampKey, timestamp, &err)) {
        return;
    }
    ZLifelogger_log(logger.get(), activity.get(), &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                    "[%s] Propagated: ZLifelogger_log is failed", Exception_toString(err));
    }
}

}  // namespace

extern "C" {

LIFELOG_API int32_t _Lifelog_getMaxlogNumPerActivity(void) {
    int32_t count = lifelog::kDefaultMaxCount;
    unsigned int err = LIFELOG_E_SUCCESS;
    lifelog::RegistryGuard registry(_Registry_openInternal(lifelog::kConfigPath, 0, &err));
    if (!registry) {
        LIFELOG_ERROR("%s file open failed", lifelog::kConfigPath);
        return lifelog::kDefaultMaxCount;
    }
    int32_t value = 0;
    Registry_getValue(registry.get(), "ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY",
                      REGISTRY_TYPE_INT, &value, static_cast<int>(sizeof value), &err);
    if (err == ZBASE_E_KEY_NOT_FOUND) {
        LIFELOG_ERROR("%s: Registry_getValue key not found", "MAX_COUNT_PER_ACTIVITY");
    } else if (err == ZBASE_E_SECTION_NOT_FOUND) {
        LIFELOG_ERROR("%s: Registry_getValue section not found", "ACTIVITY_CONFIG");
    } else if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("Registry_getValue failed ");
    } else {
        count = value;
    }
    return count;
}

LIFELOG_API ZLifelogger* __Lifelog_CreateDefaultLog(unsigned int* err) {
    unsigned int local = LIFELOG_E_SUCCESS;
    err = err != nullptr ? err : &local;
    int32_t maxCount = _Lifelog_getMaxlogNumPerActivity();
    LoggerGuard logger(_CreateDBLifeLogger(err, maxCount));
    if (!logger) {
        LIFELOG_ERROR("Propagated: _CreateDBLifeLogger is failed");
        return nullptr;
    }
    Filter* filter = __DefaultFilter_new(err);
    if (filter == nullptr) {
        return nullptr;
    }
    ZLifelogger_setFilter(logger.get(), filter, err);
    if (*err != LIFELOG_E_SUCCESS) {
        __DefaultFilter_delete(filter);
        LIFELOG_ERROR("[%s] Propagated: ZLifelogger_setFilter", Exception_toString(*err));
        return nullptr;
    }
    return logger.release();
}

LIFELOG_API void _Lifelog_CallActivityLogging(const char* phoneNumber, int direction, int duration,
                                              int type, int cellId, int lac, int mcc, int mnc,
                                              const char* timestamp) {
    logDirectly(__func__, lifelog::kCallTable.timestampColumn, timestamp, [&](unsigned int* err) {
        return _CreateCallActivity(phoneNumber, direction, duration, type, cellId, lac, mcc, mnc,
                                   nullptr, err);
    });
}

LIFELOG_API void _Lifelog_MsgActivityLogging(const char* phoneNumber, int direction, int type,
                                             const char* summary, int cellId, int lac, int mcc,
                                             int mnc, const char* timestamp) {
    logDirectly(__func__, lifelog::kMessageTable.timestampColumn, timestamp,
                [&](unsigned int* err) {
                    return _CreateMsgActivity(phoneNumber, direction, type, summary, cellId, lac,
                                              mcc, mnc, nullptr, err);
                });
}

LIFELOG_API void _Lifelog_MediaActivityLogging(int type, const char* title, const char* uri,
                                               int playTime, const char* artist, const char* album,
                                               const char* category, int cellId, int lac, int mcc,
                                               int mnc, const char* timestamp) {
    logDirectly(__func__, lifelog::kMediaTable.timestampColumn, timestamp, [&](unsigned int* err) {
        return _CreateMediaActivity(type, title, uri, playTime, artist, album, category, cellId,
                                    lac, mcc, mnc, nullptr, err);
    });
}

}  // extern "C"
