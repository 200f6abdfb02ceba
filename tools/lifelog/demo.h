// `lifelog demo`: one simulated day of a phone, recorded the way the
// platform records it and read back through the query object.
#ifndef LIFELOG_TOOL_DEMO_H
#define LIFELOG_TOOL_DEMO_H

#include <string>

namespace lifelog_tool {

// Runs the day under the current platform root (ZBASE_ROOT, set by the
// caller) and prints its report; `invocation` is how the user reaches the
// tool and its root, for the closing hints.  Throws Failure or UsageError.
void runDemo(const std::string& invocation);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_DEMO_H
