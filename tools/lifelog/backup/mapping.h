// How an entry of a call-log or message backup becomes a lifelog call or
// message, and back: directions, types, numbers, texts and time stamps.
// docs/import.md has the tables in words.
#ifndef LIFELOG_TOOL_BACKUP_MAPPING_H
#define LIFELOG_TOOL_BACKUP_MAPPING_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "backup/xml_reader.h"
#include "logging/activity.h"

namespace lifelog_tool {

enum class BackupKind { Calls, Messages };

// The backup kind a root element names: <calls> or <smses>.
std::optional<BackupKind> backupKindOfRoot(std::string_view root);

// Where an entry's time stamp came from: its `date` in milliseconds (what
// backup apps write), its `date` in seconds (some tools), or its
// `readable_date` alone (hand-made and converted files).
enum class DateSource { Millis, Seconds, Readable };

// What one backup entry logs (the activity: kind, time stamp in the chosen
// zone, number, direction, type, a call's duration, a message's whole
// text), and what the report says of how it was read.
struct BackupActivity : Activity {
    DateSource dated = DateSource::Millis;
    // A group MMS: the other parties besides `number`, which are not logged.
    std::vector<std::string> others;
    bool group = false;
};

// The activity an entry stands for, or why it cannot be logged (a short
// text that the report groups by).
std::variant<BackupActivity, std::string> mapEntry(BackupKind kind, const XmlEntry& entry);

// ----------------------------------------------------- the way back out

// The backup call type for a stored call's direction and type.
int backupCallType(int direction, int type);
// The <sms> type, or the <mms> msg_box, for a stored message's direction.
int backupMessageBox(int direction);

// ----------------------------------------------------------- time zones

// Makes `zone` (an IANA name such as "Europe/Berlin", or "UTC") the zone of
// every conversion below; an empty name keeps the local zone.  False when
// the system knows no such zone.
bool useZone(const std::string& zone);

// A backup date (milliseconds since 1970 UTC) as a time stamp in the zone;
// nothing for dates before 1980 or after 2099, which no phone wrote (a date
// given in seconds instead of milliseconds lands in January 1970).
std::optional<std::string> timestampOfMillis(int64_t millis);
// The other way: a stored time stamp as milliseconds, nothing when it is
// not one.  A time stamp that a clock change repeats gives one of its two
// instants.
std::optional<int64_t> millisOfTimestamp(std::string_view timestamp);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_MAPPING_H
