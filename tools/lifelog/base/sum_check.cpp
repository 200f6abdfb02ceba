#include "base/sum_check.h"

#include <fmt/format.h>

#include <cmath>

namespace lifelog_tool {

namespace {

// The number of rows of the query whose column holds a value.
int countValues(const Query& query, const std::string& column) {
    Query values(query.kind(), query.range());
    const std::string held = column + " IS NOT NULL";
    values.where(query.filter().empty() ? held : fmt::format("({}) AND {}", query.filter(), held));
    return values.count();
}

}  // namespace

CheckedSum checkedSum(Query& query, const std::string& column) {
    CheckedSum checked;
    checked.sum = query.sum(column);
    checked.total = query.average(column) * countValues(query, column);
    // A wrapped sum is off by a whole non-zero multiple of 2^32; rounding of
    // the average costs far less than one.  Any other difference is rows
    // logged between the three reads, which leaves the sum a true total.
    const double wrap = 4294967296.0;
    const double off = checked.total - checked.sum;
    const double wraps = std::round(off / wrap);
    const double slack = 0.5 + std::fabs(checked.total) * 1e-9;
    checked.fits = wraps == 0 || std::fabs(off - wraps * wrap) > slack;
    if (!checked.fits) {
        checked.complaint = fmt::format(
            "the total of {} is about {:.0f}, which does not fit the library's 32-bit result "
            "(-2147483648 to 2147483647): no sum to show",
            column, checked.total);
    }
    return checked;
}

}  // namespace lifelog_tool
