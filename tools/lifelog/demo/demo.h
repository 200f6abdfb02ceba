// The demo: one phone's curated day (Friday 14 June 2024) recorded the way
// the platform records it and then read back as a report (demo.cpp), the
// generated days that `--days` adds before it (days.h) and the phone book
// and cells they are spent with (phone_book.h).  Everything here logs
// through the one way in (logging/) and reads through the base layer; the
// `demo` command (commands/demo.cpp) only parses its options.
#ifndef LIFELOG_TOOL_DEMO_DEMO_H
#define LIFELOG_TOOL_DEMO_DEMO_H

#include <cstdint>
#include <string>

namespace lifelog_tool {

// What `--days` and `--seed` ask for.
struct DemoOptions {
    int days = 0;
    uint64_t seed = 1;
};

// Starts the root's database afresh, records the day (and the generated
// days before it) and prints the report.  `invocation` is how the user
// reaches the tool and its root again, for the hints at the end.
void runDemo(const DemoOptions& options, const std::string& invocation);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_DEMO_DEMO_H
