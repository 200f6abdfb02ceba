// Backup entries to lifelog activities and back.
#include "backup/mapping.h"

#include <date/tz.h>
#include <stdlib.h>

#include <charconv>
#include <chrono>
#include <climits>

#include "base/timestamp.h"

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

namespace {

// Why an entry cannot be logged, or nothing.
using Problem = std::optional<std::string>;

// The entry's date as a time stamp in the zone.
Problem readDate(const XmlEntry& entry, Activity& activity) {
    const std::string* date = entry.attribute("date");
    if (date == nullptr || trimmed(*date).empty()) {
        return "no date";
    }
    std::optional<int64_t> millis = integer(trimmed(*date));
    if (!millis) {
        return "date is not a number";
    }
    std::optional<std::string> time = timestampOfMillis(*millis);
    if (!time) {
        return "date out of range";
    }
    activity.time = *time;
    return std::nullopt;
}

Problem readCall(const XmlEntry& entry, Activity& activity) {
    const CallMapping* mapping = lookUp(kCallMappings, &CallMapping::backupType, entry, "type");
    if (mapping == nullptr) {
        return "unknown call type";
    }
    activity.direction = mapping->direction;
    activity.type = mapping->type;
    const std::string* duration = entry.attribute("duration");
    if (duration != nullptr && !trimmed(*duration).empty()) {
        std::optional<int64_t> seconds = integer(trimmed(*duration));
        if (!seconds || *seconds < INT_MIN || *seconds > INT_MAX) {
            return "duration is not a number of seconds";
        }
        activity.duration = static_cast<int>(*seconds);
    }
    return std::nullopt;
}

Problem readMessage(const XmlEntry& entry, bool mms, Activity& activity) {
    const MessageMapping* mapping =
        lookUp(kMessageMappings, &MessageMapping::box, entry, mms ? "msg_box" : "type");
    if (mapping == nullptr) {
        return "unknown message type";
    }
    if (mapping->direction < 0) {
        return mapping->reason;
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
        return problem;
    }
    return std::nullopt;
}

Problem readNumber(const XmlEntry& entry, bool call, bool mms, Activity& activity) {
    if (mms) {
        activity.number = mmsNumber(entry, activity.direction);
    } else if (const std::string* number = entry.attribute(call ? "number" : "address")) {
        activity.number = trimmed(*number);
    }
    if (activity.number.empty()) {
        return "no number";
    }
    if (const char* problem = textProblem(activity.number, "invalid UTF-8 in the number",
                                          "control character in the number")) {
        return problem;
    }
    return std::nullopt;
}

}  // namespace

std::variant<Activity, std::string> mapEntry(BackupKind kind, const XmlEntry& entry) {
    bool call = kind == BackupKind::Calls;
    bool mms = !call && entry.element == "mms";
    if (call ? entry.element != "call" : entry.element != "sms" && !mms) {
        return "unknown element <" + entry.element + ">";
    }
    Activity activity;
    activity.kind = call ? KindId::Call : KindId::Message;
    Problem problem = readDate(entry, activity);
    if (!problem) {
        problem = call ? readCall(entry, activity) : readMessage(entry, mms, activity);
    }
    if (!problem) {
        problem = readNumber(entry, call, mms, activity);
    }
    if (problem) {
        return *problem;
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

namespace {

// A zone of the system's zone database by its IANA name, or null.
const date::time_zone* findZone(std::string_view name) {
    try {
        return date::locate_zone(name);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The local zone as the C library finds it: $TZ when it names a zone of
// the database ("Europe/Berlin" or ":Europe/Berlin"), else the system's
// (/etc/localtime), else UTC.
const date::time_zone* localZone() {
    const char* setting = getenv("TZ");
    if (setting != nullptr && *setting != 0) {
        std::string_view name = setting;
        if (const date::time_zone* zone = findZone(name.substr(name.front() == ':' ? 1 : 0))) {
            return zone;
        }
    }
    try {
        return date::current_zone();
    } catch (const std::exception&) {
        return findZone("UTC");
    }
}

// The zone of every conversion: the one useZone() chose, else the local
// zone.
const date::time_zone* g_zone = nullptr;

const date::time_zone* conversionZone() {
    if (g_zone == nullptr) {
        g_zone = localZone();
    }
    return g_zone;
}

// The seconds of the first day a phone could have written, and of the day
// after the last.
constexpr int64_t kFirstSecond = 315532800;       // 1980-01-01 00:00:00 UTC
constexpr int64_t kAfterLastSecond = 4102531200;  // 2100-01-02 00:00:00 UTC

}  // namespace

bool useZone(const std::string& zone) {
    const date::time_zone* chosen = zone.empty() ? localZone() : findZone(zone);
    if (chosen == nullptr) {
        return false;
    }
    g_zone = chosen;
    return true;
}

std::optional<std::string> timestampOfMillis(int64_t millis) {
    int64_t seconds = millis >= 0 ? millis / 1000 : -((-millis + 999) / 1000);
    // A day either side of the bounds below, whatever the zone's offset.
    if (seconds < kFirstSecond - 86400 || seconds >= kAfterLastSecond) {
        return std::nullopt;
    }
    auto local = conversionZone()->to_local(date::sys_seconds(std::chrono::seconds(seconds)));
    auto day = date::floor<date::days>(local);
    date::year_month_day date(day);
    date::hh_mm_ss<std::chrono::seconds> time(local - day);
    int year = static_cast<int>(date.year());
    if (year < 1980 || year > 2099) {
        return std::nullopt;
    }
    return formatTime(DateTime{
        year, static_cast<int>(static_cast<unsigned>(date.month())),
        static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(time.hours().count()),
        static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()), 0});
}

std::optional<int64_t> millisOfTimestamp(std::string_view timestamp) {
    std::optional<DateTime> t = parseTimestamp(timestamp);
    if (!t) {
        return std::nullopt;
    }
    date::local_seconds local = date::local_days(date::year(t->year) / t->month / t->day) +
                                std::chrono::hours(t->hour) + std::chrono::minutes(t->minute) +
                                std::chrono::seconds(t->second);
    // A time that a clock change repeats is read with the offset before the
    // change (its first instant); one that a change skips, too (as the C
    // library reads it: 02:30 in a gap that jumps to 03:00 is 03:30).
    date::local_info info = conversionZone()->get_info(local);
    auto when = local.time_since_epoch() - info.first.offset;
    return static_cast<int64_t>(when.count()) * 1000;
}

}  // namespace lifelog_tool
