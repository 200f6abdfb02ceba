// The library's sum is a signed 32-bit value: a total beyond it comes back
// wrapped, a plausible number that is not the total.  A sum is therefore
// checked against the library's average (a double) times the number of
// values it averaged (the rows whose column is not NULL), over the same
// rows; a sum that is that total wrapped is never shown as one.
#ifndef LIFELOG_TOOL_BASE_SUM_CHECK_H
#define LIFELOG_TOOL_BASE_SUM_CHECK_H

#include <string>

#include "base/query.h"

namespace lifelog_tool {

struct CheckedSum {
    bool fits = true;
    int sum = 0;            // the library's sum, when it fits
    double total = 0;       // average times count: the total to within rounding
    std::string complaint;  // when it does not fit: what to say instead
};

CheckedSum checkedSum(Query& query, const std::string& column);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_SUM_CHECK_H
