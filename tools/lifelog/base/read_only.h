// Why the lifelog database cannot be written, when the reason is its
// file system, its folder or its file (the engine says only "read-only").
#ifndef LIFELOG_TOOL_BASE_READ_ONLY_H
#define LIFELOG_TOOL_BASE_READ_ONLY_H

#include <string>

namespace lifelog_tool {

// Which of the database's file system, folder or file cannot be written,
// with what to do about it; empty when none of them is read-only.
std::string unwritableDatabase();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_READ_ONLY_H
