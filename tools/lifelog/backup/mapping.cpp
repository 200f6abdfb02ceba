// Backup entries to lifelog activities and back.
#include "backup/mapping.h"

#include "backup/readable_date.h"
#include "base/text.h"
#include "base/timestamp.h"

#include <stdlib.h>
#include <time.h>

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
// The number columns' declared length, which the library and `log` hold to.
constexpr size_t kNumberCharacters = 50;
// How far apart a phone's zone and the import's may put one moment.
constexpr int kZonesApartHours = 26;

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
    std::optional<int64_t> value =
        text != nullptr ? wholeNumber<int64_t>(trimmed(*text)) : std::nullopt;
    for (const Mapping& mapping : table) {
        if (value && mapping.*field == *value) {
            return &mapping;
        }
    }
    return nullptr;
}

// <addr> types of an MMS for its recipients: to, cc, bcc.
bool isRecipient(std::string_view type) {
    return type == kAddressTo || type == "130" || type == "129";
}

// The phone's own address in an MMS the phone sent.
constexpr std::string_view kOwnAddressToken = "insert-address-token";

// Sent or received for an MMS: its msg_box, else its m_type (128 sent, 132
// and 130 received), else which of its addresses are there (a sender alone:
// received; recipients alone, or the phone's own token as sender: sent).
// Null when nothing says, or when the msg_box is none of the known boxes.
const MessageMapping* mmsBox(const XmlEntry& entry) {
    static constexpr MessageMapping kSent = {.box = 2, .direction = 1, .reason = nullptr};
    static constexpr MessageMapping kReceived = {.box = 1, .direction = 0, .reason = nullptr};
    if (const std::string* box = entry.attribute("msg_box"); box != nullptr && !box->empty()) {
        return lookUp(kMessageMappings, &MessageMapping::box, entry, "msg_box");
    }
    if (const std::string* type = entry.attribute("m_type")) {
        std::string text = trimmed(*type);
        if (text == "128") {
            return &kSent;
        }
        if (text == "132" || text == "130") {
            return &kReceived;
        }
    }
    bool from = false, fromSelf = false, to = false;
    for (const auto& [address, type] : entry.addresses) {
        from |= type == kAddressFrom;
        fromSelf |= type == kAddressFrom && trimmed(address) == kOwnAddressToken;
        to |= isRecipient(type);
    }
    if (fromSelf || (to && !from)) {
        return &kSent;
    }
    return from && !to ? &kReceived : nullptr;
}

std::vector<std::string> splitParties(std::string_view joined) {
    std::vector<std::string> parties;
    for (size_t at = 0; at <= joined.size();) {
        size_t tilde = joined.find('~', at);
        tilde = tilde == std::string_view::npos ? joined.size() : tilde;
        if (std::string party = trimmed(joined.substr(at, tilde - at)); !party.empty()) {
            parties.push_back(party);
        }
        at = tilde + 1;
    }
    return parties;
}

// The parties an MMS was exchanged with: its address attribute when it
// names one; else the sender of a received one or the recipients of a sent
// one, from its <addr> entries or from the address joined with '~'.
std::vector<std::string> mmsParties(const XmlEntry& entry, int direction) {
    const std::string* address = entry.attribute("address");
    std::string joined = address != nullptr ? trimmed(*address) : "";
    if (!joined.empty() && joined.find('~') == std::string::npos) {
        return {joined};
    }
    std::vector<std::string> parties;
    for (const auto& [number, type] : entry.addresses) {
        bool wanted = direction == 0 ? type == kAddressFrom : isRecipient(type);
        std::string party = trimmed(number);
        if (wanted && !party.empty() && party != kOwnAddressToken) {
            parties.push_back(party);
        }
    }
    return !parties.empty() ? parties : splitParties(joined);
}

// The entry's time stamp from `date` (milliseconds, or seconds when below
// 10^11 and its readable_date, if any, agrees) or from `readable_date`
// alone; or why there is none.
std::variant<std::string, std::string> entryTime(const XmlEntry& entry, DateSource& dated) {
    using Result = std::variant<std::string, std::string>;
    const std::string* readable = entry.attribute("readable_date");
    std::optional<DateTime> shown =
        readable != nullptr ? parseReadableDate(trimmed(*readable)) : std::nullopt;
    const std::string* date = entry.attribute("date");
    if (date == nullptr || trimmed(*date).empty()) {
        if (readable == nullptr || trimmed(*readable).empty()) {
            return Result(std::in_place_index<1>, "no date");
        }
        if (!shown) {
            return Result(std::in_place_index<1>, "no date, and readable_date in a form not read");
        }
        dated = DateSource::Readable;
        return Result(std::in_place_index<0>, formatTime(*shown));
    }
    std::optional<int64_t> value = wholeNumber<int64_t>(trimmed(*date));
    if (!value) {
        return Result(std::in_place_index<1>, "date is not a number");
    }
    constexpr int64_t kSecondsBelow = 100'000'000'000;  // 1973 in milliseconds
    bool seconds = *value >= 0 && *value < kSecondsBelow;
    std::optional<std::string> time = timestampOfMillis(seconds ? *value * 1000 : *value);
    if (!time) {
        return Result(std::in_place_index<1>, "date out of range");
    }
    if (seconds && readable != nullptr && !trimmed(*readable).empty() &&
        !(shown && timesAgree(*parseTimestamp(*time), *shown, kZonesApartHours))) {
        return Result(std::in_place_index<1>, "date in seconds disagrees with readable_date");
    }
    dated = seconds ? DateSource::Seconds : DateSource::Millis;
    return Result(std::in_place_index<0>, *time);
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

// A call's direction, type and duration; null, or why it cannot be logged.
const char* mapCall(const XmlEntry& entry, BackupActivity& activity) {
    const CallMapping* mapping = lookUp(kCallMappings, &CallMapping::backupType, entry, "type");
    if (mapping == nullptr) {
        return "unknown call type";
    }
    activity.direction = mapping->direction;
    activity.type = mapping->type;
    const std::string* duration = entry.attribute("duration");
    if (duration != nullptr && !trimmed(*duration).empty()) {
        std::optional<int64_t> seconds = wholeNumber<int64_t>(trimmed(*duration));
        if (!seconds || *seconds < INT_MIN || *seconds > INT_MAX) {
            return "duration is not a number of seconds";
        }
        activity.duration = static_cast<int>(*seconds);
    }
    return nullptr;
}

// A message's direction, type and text; null, or why it cannot be logged.
const char* mapMessage(const XmlEntry& entry, bool mms, BackupActivity& activity) {
    const MessageMapping* mapping =
        mms ? mmsBox(entry) : lookUp(kMessageMappings, &MessageMapping::box, entry, "type");
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
    return textProblem(activity.text, "invalid UTF-8 in the text", "control character in the text");
}

// The number the entry was exchanged with (and, for a group MMS, the
// others); null, or why it cannot be logged.
const char* mapNumber(const XmlEntry& entry, bool call, bool mms, BackupActivity& activity) {
    if (mms) {
        std::vector<std::string> parties = mmsParties(entry, activity.direction);
        const std::string* address = entry.attribute("address");
        activity.group =
            parties.size() > 1 || (address != nullptr && address->find('~') != std::string::npos);
        if (!parties.empty()) {
            activity.number = parties.front();
            activity.others.assign(parties.begin() + 1, parties.end());
        }
    } else if (const std::string* number = entry.attribute(call ? "number" : "address")) {
        activity.number = trimmed(*number);
    }
    if (activity.number.empty()) {
        return "no number";
    }
    // What `lifelog log` refuses is refused here too, never stored cut.
    if (characterCount(activity.number) > kNumberCharacters) {
        return "number longer than 50 characters";
    }
    return textProblem(activity.number, "invalid UTF-8 in the number",
                       "control character in the number");
}

}  // namespace

std::variant<BackupActivity, std::string> mapEntry(BackupKind kind, const XmlEntry& entry) {
    BackupActivity activity;
    activity.kind = kind == BackupKind::Calls ? KindId::Call : KindId::Message;
    bool call = kind == BackupKind::Calls;
    bool mms = !call && entry.element == "mms";
    if (call ? entry.element != "call" : entry.element != "sms" && !mms) {
        return "unknown element <" + entry.element + ">";
    }
    auto time = entryTime(entry, activity.dated);
    if (time.index() == 1) {
        return std::get<1>(time);
    }
    activity.time = std::get<0>(time);
    const char* problem = call ? mapCall(entry, activity) : mapMessage(entry, mms, activity);
    if (problem == nullptr) {
        problem = mapNumber(entry, call, mms, activity);
    }
    if (problem != nullptr) {
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
