// Time stamps as the database stores them ("YYYY-MM-DD HH:MM:SS") and as
// the tool reads them from its options and prints them.
#ifndef LIFELOG_TOOL_BASE_TIMESTAMP_H
#define LIFELOG_TOOL_BASE_TIMESTAMP_H

#include <optional>
#include <string>
#include <string_view>

#include "zbase.h"

namespace lifelog_tool {

bool hasTime(const DateTime& t);
// A date of the calendar (leap years counted) and a time of day.
bool isRealDate(const DateTime& t);
// "%04d-%02d-%02d %02d:%02d:%02d", the database's time-stamp form.
std::string formatTime(const DateTime& t);
// ISO 8601 without a zone: "2026-12-05T09:14:03".
std::string isoTime(const DateTime& t);
// Exactly the time-stamp form, with a real date and time of day.
std::optional<DateTime> parseTimestamp(std::string_view text);
// The time-stamp form, or "YYYY-MM-DD HH:MM", or "YYYY-MM-DD" (the start
// of that day, or its last second when endOfDay).  A 'T' may stand for the
// blank.
std::optional<DateTime> parseBound(std::string_view text, bool endOfDay);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_TIMESTAMP_H
