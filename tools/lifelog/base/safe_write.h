// Writing a file the user named without ever destroying what was there.
//
// The content goes to a new file in the target's folder, created
// exclusively and never through a symbolic link, and only a complete file
// is renamed over the target.  The target may be absent or a regular file;
// anything else (a device, a FIFO, a folder, a link, the lifelog database
// or one of its companion files, even under another name) is refused
// before a byte is written, and again just before the rename.  "-" is
// standard output.
#ifndef LIFELOG_TOOL_BASE_SAFE_WRITE_H
#define LIFELOG_TOOL_BASE_SAFE_WRITE_H

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace lifelog_tool {

// Calls `produce` with a stream on the new content, then puts it in place.
// A refusal or a failure is a UsageError that names the file and says
// why; the target is then untouched and no temporary file is left.
// `protectedFiles` are the files that must never be replaced (the
// database and its companions); a missing one protects nothing.
void writeFileSafely(const std::string& target, const std::function<void(std::ostream&)>& produce,
                     const std::vector<std::filesystem::path>& protectedFiles);

// The database file and its -wal, -shm and -journal companions.
std::vector<std::filesystem::path> databaseFiles();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_SAFE_WRITE_H
