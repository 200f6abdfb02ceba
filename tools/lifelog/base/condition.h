// Conditions as people write them: `--where "duration > 60"` names columns
// by the short names that --order and the tables' headers use, and the
// library is given the table's own names ("CLOG_DURATION > 60").
#ifndef LIFELOG_TOOL_BASE_CONDITION_H
#define LIFELOG_TOOL_BASE_CONDITION_H

#include <string>
#include <string_view>
#include <vector>

#include "base/kinds.h"

namespace lifelog_tool {

// The condition with every bare name that names a column (short or table
// name, in any letter case) written as the table's column name; string
// literals, quoted names, numbers, function names and every other
// character stay exactly as they are.
std::string withColumnNames(const Kind& kind, std::string_view condition);

// The bare names of the condition that are neither a column, nor an SQL
// word, nor a function called: what a refused condition most likely
// got wrong.
std::vector<std::string> unknownNames(const Kind& kind, std::string_view condition);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_CONDITION_H
