// Backup entries to lifelog activities and back.
#include "backup/mapping.h"

#include <date/tz.h>
#include <stdlib.h>

#include <chrono>
#include <climits>

#include "backup/readable_date.h"
#include "base/text.h"
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
// How far apart a phone's zone and the import's may put one moment.
constexpr int kZonesApartHours = 26;

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
    // What `lifelog log` refuses is refused here too, never stored cut: a
    // number longer than its column's declared length.
    auto declared = [](KindId id) {
        const Kind& kind = kindOf(id);
        return kind.column(std::string(kind.prefix) + "PHONE_NUMBER")->declaredLength;
    };
    static const int lengths[2] = {declared(KindId::Message), declared(KindId::Call)};
    static const std::string tooLong[2] = {
        "number longer than " + std::to_string(lengths[0]) + " characters",
        "number longer than " + std::to_string(lengths[1]) + " characters"};
    if (characterCount(activity.number) > static_cast<size_t>(lengths[call])) {
        return tooLong[call].c_str();
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
