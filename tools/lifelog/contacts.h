// The people in the demo's phone book.  The library stores numbers only
// (its name columns stay empty), so whatever shows the demo's rows with
// names (the demo's report, the web page) looks them up here.
#ifndef LIFELOG_TOOL_CONTACTS_H
#define LIFELOG_TOOL_CONTACTS_H

#include <span>
#include <string_view>

namespace lifelog_tool {

struct Contact {
    const char* number;
    const char* name;
};

// Everyone the demo's days talk to, the most frequent first.
std::span<const Contact> demoContacts();
// The name for a number of the demo's phone book, or null.
const char* demoContactName(std::string_view number);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_CONTACTS_H
