// The most frequent other parties counted per person: the `top` of the
// number column (every distinct number as logged, with its count) folded
// by who each number is, so that "+1 (234) 567-8910" and "234-567-8910"
// count together, and every number of a person with them.
#ifndef LIFELOG_TOOL_PEOPLE_GROUPING_H
#define LIFELOG_TOOL_PEOPLE_GROUPING_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "people/people.h"

namespace lifelog_tool {

struct PersonCount {
    Who who;
    std::vector<std::string> numbers;  // as logged, the most frequent first
    int64_t count = 0;
};

// `counted`: (number as logged, count) pairs in any order.  The result is
// the most frequent person first (ties by key), at most `limit` (0: all).
std::vector<PersonCount> countByPerson(Directory& people,
                                       const std::vector<std::pair<std::string, int64_t>>& counted,
                                       size_t limit);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_PEOPLE_GROUPING_H
