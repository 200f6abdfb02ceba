// Generated days for `lifelog demo --days N`: believable activity of the
// demo's phone before its curated day, the same rows for the same seed.
#ifndef LIFELOG_TOOL_DEMO_DAYS_H
#define LIFELOG_TOOL_DEMO_DAYS_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/query.h"
#include "logging/activity.h"

namespace lifelog_tool {

// The activities of `days` days ending the day before `last` (so that
// with `last` they make days + 1 days), oldest first.  A few contacts
// dominate; weekdays peak in working hours and in the evening, weekends
// start later and hold more messages and media; names and texts are not
// all ASCII.  No two activities of one kind share a second, since a table
// keeps one row per second.  Only the seed decides the rows.
std::vector<Activity> generateDays(const DateTime& last, int days, uint64_t seed);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_DEMO_DAYS_H
