// Backup entries to lifelog activities and back.
#include "backup/mapping.h"

#include <stdlib.h>
#include <time.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <filesystem>

namespace lifelog_tool {

namespace {

// Call types of the backup apps and what the call table keeps of them: the
// direction column says who called and whether it was answered, the type
// column marks the calls that never became a conversation in the ordinary
// way.  Each backup type has its own pair, so an export gives the same
// type back.
struct CallMapping {
    int backupType;
    int direction;
    int type;
};
constexpr CallMapping kCallMappings[] = {
    {.backupType = 1, .direction = 0, .type = 0},   // incoming
    {.backupType = 2, .direction = 1, .type = 0},   // outgoing
    {.backupType = 3, .direction = 2, .type = 0},   // missed
    {.backupType = 4, .direction = 0, .type = 1},   // voicemail
    {.backupType = 5, .direction = 2, .type = -1},  // rejected
    {.backupType = 6, .direction = 2, .type = 1},   // blocked
};

// <sms> types and <mms> message boxes: only received and sent messages
// happened; the others never left the phone.
struct MessageMapping {
    int box;
    int direction;  // -1: not logged, `reason` says why
    const char* reason;
};
constexpr MessageMapping kMessageMappings[] = {
    {.box = 1, .direction = 0, .reason = nullptr},  // received
    {.box = 2, .direction = 1, .reason = nullptr},  // sent
    {.box = 3, .direction = -1, .reason = "a draft, never sent"},
    {.box = 4, .direction = -1, .reason = "never sent (outbox)"},
    {.box = 5, .direction = -1, .reason = "never sent (failed)"},
    {.box = 6, .direction = -1, .reason = "never sent (queued)"},
};

constexpr int kSmsType = 0;
constexpr int kMmsType = 1;
// <addr> types of an MMS: who sent it, and to whom it went.
constexpr std::string_view kAddressFrom = "137";
constexpr std::string_view kAddressTo = "151";

std::optional<int64_t> integer(std::string_view text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Why a text cannot be logged as it stands, or null.
const char* textProblem(const std::string& text, const char* invalidUtf8, const char* control) {
    if (text.find(kInvalidUtf8Marker) != std::string::npos) {
        return invalidUtf8;
    }
    if (text.find(kControlCharMarker) != std::string::npos) {
        return control;
    }
    return nullptr;
}

// The row of `table` whose `field` is the integer in the entry's
// attribute, or null.
template <typename Mapping, size_t N>
const Mapping* lookUp(const Mapping (&table)[N], int Mapping::*field, const XmlEntry& entry,
                      std::string_view attribute) {
    const std::string* text = entry.attribute(attribute);
    std::optional<int64_t> value = text != nullptr ? integer(trimmed(*text)) : std::nullopt;
    for (const Mapping& mapping : table) {
        if (value && mapping.*field == *value) {
            return &mapping;
        }
    }
    return nullptr;
}

// The number an MMS was exchanged with: its address attribute, else the
// sender of a received one or the first recipient of a sent one.
std::string mmsNumber(const XmlEntry& entry, int direction) {
    const std::string* address = entry.attribute("address");
    if (address != nullptr && !trimmed(*address).empty()) {
        return trimmed(*address);
    }
    std::string_view wanted = direction == 0 ? kAddressFrom : kAddressTo;
    for (const auto& [number, type] : entry.addresses) {
        if (type == wanted && !trimmed(number).empty()) {
            return trimmed(number);
        }
    }
    return "";
}

}  // namespace

std::optional<BackupKind> backupKindOfRoot(std::string_view root) {
    if (root == "calls") {
        return BackupKind::Calls;
    }
    if (root == "smses") {
        return BackupKind::Messages;
    }
    return std::nullopt;
}

std::variant<Activity, std::string> mapEntry(BackupKind kind, const XmlEntry& entry) {
    bool call = kind == BackupKind::Calls;
    Activity activity;
    activity.kind = call ? KindId::Call : KindId::Message;
    bool mms = !call && entry.element == "mms";
    if (call ? entry.element != "call" : entry.element != "sms" && !mms) {
        return "unknown element <" + entry.element + ">";
    }

    const std::string* date = entry.attribute("date");
    if (date == nullptr || trimmed(*date).empty()) {
        return std::string("no date");
    }
    std::optional<int64_t> millis = integer(trimmed(*date));
    if (!millis) {
        return std::string("date is not a number");
    }
    std::optional<std::string> time = timestampOfMillis(*millis);
    if (!time) {
        return std::string("date out of range");
    }
    activity.time = *time;

    if (call) {
        const CallMapping* mapping = lookUp(kCallMappings, &CallMapping::backupType, entry, "type");
        if (mapping == nullptr) {
            return std::string("unknown call type");
        }
        activity.direction = mapping->direction;
        activity.type = mapping->type;
        const std::string* duration = entry.attribute("duration");
        if (duration != nullptr && !trimmed(*duration).empty()) {
            std::optional<int64_t> seconds = integer(trimmed(*duration));
            if (!seconds || *seconds < INT_MIN || *seconds > INT_MAX) {
                return std::string("duration is not a number of seconds");
            }
            activity.duration = static_cast<int>(*seconds);
        }
    } else {
        const MessageMapping* mapping =
            lookUp(kMessageMappings, &MessageMapping::box, entry, mms ? "msg_box" : "type");
        if (mapping == nullptr) {
            return std::string("unknown message type");
        }
        if (mapping->direction < 0) {
            return std::string(mapping->reason);
        }
        activity.direction = mapping->direction;
        activity.type = mms ? kMmsType : kSmsType;
        if (mms) {
            for (const std::string& text : entry.texts) {
                activity.text += (activity.text.empty() ? "" : " ") + text;
            }
        } else if (const std::string* body = entry.attribute("body")) {
            activity.text = *body;
        }
        if (const char* problem = textProblem(activity.text, "invalid UTF-8 in the text",
                                              "control character in the text")) {
            return std::string(problem);
        }
    }

    if (mms) {
        activity.number = mmsNumber(entry, activity.direction);
    } else if (const std::string* number = entry.attribute(call ? "number" : "address")) {
        activity.number = trimmed(*number);
    }
    if (activity.number.empty()) {
        return std::string("no number");
    }
    if (const char* problem = textProblem(activity.number, "invalid UTF-8 in the number",
                                          "control character in the number")) {
        return std::string(problem);
    }
    return activity;
}

int backupCallType(int direction, int type) {
    for (const CallMapping& m : kCallMappings) {
        if (m.direction == direction && m.type == type) {
            return m.backupType;
        }
    }
    // Rows that other callers logged with other pairs: by direction alone.
    return direction == 1 ? 2 : direction == 2 ? 3 : 1;
}

int backupMessageBox(int direction) {
    return direction == 1 ? 2 : 1;
}

bool useZone(const std::string& zone) {
    if (zone.empty()) {
        tzset();
        return true;
    }
    std::string setting;
    if (zone == "UTC" || zone == "GMT") {
        setting = "UTC0";
    } else {
        // glibc takes any unknown name for UTC without a word: look first.
        const char* folder = getenv("TZDIR");
        std::filesystem::path file =
            std::filesystem::path(folder != nullptr && *folder != 0 ? folder
                                                                    : "/usr/share/zoneinfo") /
            zone;
        std::error_code error;
        if (zone.find("..") != std::string::npos || zone.front() == '/' ||
            !std::filesystem::is_regular_file(file, error)) {
            return false;
        }
        setting = ":" + zone;
    }
    setenv("TZ", setting.c_str(), 1);
    tzset();
    return true;
}

std::optional<std::string> timestampOfMillis(int64_t millis) {
    int64_t seconds = millis >= 0 ? millis / 1000 : -((-millis + 999) / 1000);
    // Outside these bounds the year check below could not be reached safely.
    if (seconds < 0 || seconds > (int64_t{1} << 40)) {
        return std::nullopt;
    }
    time_t when = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&when, &local) == nullptr) {
        return std::nullopt;
    }
    int year = local.tm_year + 1900;
    if (year < 1980 || year > 2099) {
        return std::nullopt;
    }
    char text[32];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(text);
}

std::optional<int64_t> millisOfTimestamp(std::string_view timestamp) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char rest = 0;
    std::string text(timestamp);
    if (text.size() != 19 || sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day,
                                    &hour, &minute, &second, &rest) != 6) {
        return std::nullopt;
    }
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    time_t when = mktime(&local);
    if (when == static_cast<time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<int64_t>(when) * 1000;
}

}  // namespace lifelog_tool
