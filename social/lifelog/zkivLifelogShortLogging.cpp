// Short direct-logging forms: the full forms with no cell data (-1), no
// play time and no time-stamp text.
#include "zkivLifelogShortLogging.h"

#include "zkivLifeloggingServiceUtil.h"

namespace {

constexpr int kNoCell = -1;
constexpr int kNoPlayTime = -1;

}  // namespace

extern "C" {

LIFELOG_API void CallActivityLogging(int type, int direction, const char* phoneNumber,
                                     int duration) {
    _Lifelog_CallActivityLogging(phoneNumber, direction, duration, type, kNoCell, kNoCell, kNoCell,
                                 kNoCell, nullptr);
}

LIFELOG_API void MsgActivityLogging(int type, int direction, const char* phoneNumber,
                                    const char* summary) {
    _Lifelog_MsgActivityLogging(phoneNumber, direction, type, summary, kNoCell, kNoCell, kNoCell,
                                kNoCell, nullptr);
}

LIFELOG_API void MediaActivityLogging(int type, const char* title, const char* uri,
                                      const char* artist, const char* album, const char* category) {
    _Lifelog_MediaActivityLogging(type, title, uri, kNoPlayTime, artist, album, category, kNoCell,
                                  kNoCell, kNoCell, kNoCell, nullptr);
}

LIFELOG_API void AppUsageActivityLogging(const char* /*appName*/, int /*duration*/) {}

}  // extern "C"
