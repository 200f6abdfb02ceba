// The readable_date attribute of a backup entry: the date and time the phone
// showed, in its own zone, as text ("Feb 4, 2016 17:40:43", "31 oct. 2016",
// "2013/04/09 12:29:17", "7. sep. 2016", "Feb 1, 2017 3:51:24 PM").  It
// dates an entry that has no `date`, and tells whether a small `date` is
// in seconds rather than milliseconds.
#ifndef LIFELOG_TOOL_BACKUP_READABLE_DATE_H
#define LIFELOG_TOOL_BACKUP_READABLE_DATE_H

#include <optional>
#include <string>
#include <string_view>

#include "zbase.h"

namespace lifelog_tool {

// The date and time (no zone) a readable date names, or nothing when its form is none of
// those read: an English month name (full or cut short, any case, a
// trailing '.' allowed) with the day and the four-digit year in either
// order, or the numeric form year/month/day (with '/', '-' or '.'); then
// optionally the time of day as H:MM or H:MM:SS, with AM or PM for a
// twelve-hour clock.  A date without a time of day is midnight.
std::optional<DateTime> parseReadableDate(std::string_view text);

// Whether two times are at most `hours` apart (a phone's zone and the zone
// chosen for the import may differ by a day at most).
bool timesAgree(const DateTime& a, const DateTime& b, int hours);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_READABLE_DATE_H
