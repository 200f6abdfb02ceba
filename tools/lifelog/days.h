// Generated days for `lifelog demo --days N`: believable activity of the
// demo's phone before its curated day, the same rows for the same seed.
#ifndef LIFELOG_TOOL_DAYS_H
#define LIFELOG_TOOL_DAYS_H

#include <cstdint>
#include <string>
#include <vector>

#include "client.h"

namespace lifelog_tool {

// One generated activity, ready for the direct-logging entry points.
struct GeneratedActivity {
    KindId kind = KindId::Call;
    std::string time;  // "YYYY-MM-DD HH:MM:SS"
    std::string number;
    int direction = 0;
    int duration = 0;  // calls: seconds
    std::string text;  // messages
    int mediaType = 0;
    std::string title;
    std::string uri;
    int playTime = 0;
    std::string artist;
    std::string album;
    std::string category;
    int cellId = -1;
    int lac = -1;
    int mcc = -1;
    int mnc = -1;
};

// The activities of `days` days ending the day before `last` (so that
// with `last` they make days + 1 days), oldest first.  A few contacts
// dominate; weekdays peak in working hours and in the evening, weekends
// start later and hold more messages and media; names and texts are not
// all ASCII.  No two activities of one kind share a second, since a table
// keeps one row per second.  Only the seed decides the rows.
std::vector<GeneratedActivity> generateDays(const DateTime& last, int days, uint64_t seed);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_DAYS_H
