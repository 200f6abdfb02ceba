// Failures as the tool reports them.
#include "base/failure.h"

#include <fmt/format.h>

#include "zbase.h"

namespace lifelog_tool {

Failure::Failure(const std::string& doing, unsigned int code)
    : std::runtime_error(fmt::format("{}: {} ({})", doing, Exception_toString(code), code)),
      doing_(doing),
      code_(code) {}

void check(unsigned int err, const std::string& doing) {
    if (err != 0) {
        throw Failure(doing, err);
    }
}

}  // namespace lifelog_tool
