// Direct logging of one activity through the library's entry points.
#include "logging/activity.h"

#include "zkivLifelog.h"

namespace lifelog_tool {

namespace {

const char* textOrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

void logDirectly(const DirectActivity& a) {
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

}  // namespace lifelog_tool
