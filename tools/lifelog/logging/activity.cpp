// The two ways an activity reaches the library: the direct-logging entry
// points, and the notification component that feeds the running service.
#include "logging/activity.h"

#include <fmt/format.h>

#include "base/failure.h"
#include "base/timestamp.h"
#include "zbase_host.h"
#include "zkivLifelog.h"

namespace lifelog_tool {

namespace {

const char* textOrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

// The notification's own time, all 0 when it carries none.
DateTime notificationTime(const Activity& a) {
    if (a.time.empty()) {
        return DateTime{};
    }
    std::optional<DateTime> time = parseTimestamp(a.time);
    if (!time) {
        throw UsageError(fmt::format("\"{}\" is not \"YYYY-MM-DD HH:MM:SS\"", a.time));
    }
    return *time;
}

}  // namespace

void logDirectly(const Activity& a) {
    const char* time = textOrNull(a.time);
    switch (a.kind) {
        case KindId::Call:
            _Lifelog_CallActivityLogging(a.number.c_str(), a.direction, a.duration, a.type,
                                         a.cellId, a.lac, a.mcc, a.mnc, time);
            break;
        case KindId::Message:
            _Lifelog_MsgActivityLogging(a.number.c_str(), a.direction, a.type, a.text.c_str(),
                                        a.cellId, a.lac, a.mcc, a.mnc, time);
            break;
        case KindId::Media:
            _Lifelog_MediaActivityLogging(
                a.type, a.title.c_str(), textOrNull(a.uri), a.playTime, textOrNull(a.artist),
                textOrNull(a.album), textOrNull(a.category), a.cellId, a.lac, a.mcc, a.mnc, time);
            break;
    }
}

void deliverNotification(const Activity& a) {
    const Kind& kind = kindOf(a.kind);
    DateTime when = notificationTime(a);
    unsigned int err = 0;
    switch (a.kind) {
        case KindId::Call:
            ZbasePi_deliverCall(a.number.c_str(), a.direction, a.duration, a.type, a.cellId, a.lac,
                                a.mcc, a.mnc, when, &err);
            break;
        case KindId::Message:
            ZbasePi_deliverMessage(a.number.c_str(), a.direction, a.type, a.text.c_str(), a.cellId,
                                   a.lac, a.mcc, a.mnc, when, &err);
            break;
        case KindId::Media:
            throw UsageError("media plays have no notification: log them directly");
    }
    if (err != 0) {
        throw Failure(a.time.empty() ? fmt::format("delivering the {}", kind.word)
                                     : fmt::format("delivering the {} of {}", kind.word, a.time),
                      err);
    }
}

}  // namespace lifelog_tool
