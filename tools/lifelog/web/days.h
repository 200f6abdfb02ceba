// Activity per day and per hour of the week for any range, in one request:
//   /api/KIND/days   from, to, contains
// answered from the database file by the tool itself, on a read-only
// SQLite connection of its own.  The query object answers one count per
// range, so a year would take 365 query objects per kind and a history of
// ten years 3,650, and it has no way to ask for the hour of the week; one
// walk of the time-stamp index answers all of it, and costs what the range
// holds, not what the table holds.  The connection never writes: it is
// opened read-only and only ever runs the two statements of days.cpp.
#ifndef LIFELOG_TOOL_WEB_DAYS_H
#define LIFELOG_TOOL_WEB_DAYS_H

#include <string>

#include "base/kinds.h"
#include "base/query.h"
#include "web/api.h"

namespace lifelog_tool {

// The answer's body:
//   {"kind", "from", "to",            the range asked for (null: open end)
//    "first", "last",                 the table's earliest and latest time
//                                     stamps, whatever the range (null: empty)
//    "count", "seconds",              the range's rows (and talk time: calls)
//    "days": [{"day", "count", "seconds"}],  days with rows, in order
//    "hours": [[24 counts] x 7]}      by weekday (0 Sunday) and hour
// `contains` (may be empty) keeps the rows whose subject column (the
// number; the title for media) contains it, % and _ as in LIKE.
// A database that does not exist is a 404; a busy one a 503.
ApiAnswer answerDays(const Kind& kind, const Range& range, const std::string& contains);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_DAYS_H
