// The platform root: the host folder under which the platform's absolute
// paths ("/System/...", "/SystemRW/...") live, as the stand-in resolves it,
// and the two files of the lifelog there, as the library's schema header
// names them.
#ifndef LIFELOG_TOOL_BASE_ROOT_H
#define LIFELOG_TOOL_BASE_ROOT_H

#include <filesystem>
#include <string>
#include <string_view>

#include "lifelogSchema.h"

namespace lifelog_tool {

using lifelog::kConfigPath;
using lifelog::kDatabasePath;

// The platform's root folder (ZbaseHost_getRoot).
std::string platformRoot();
// Where a platform path ("/System/...") is on the host.
std::filesystem::path hostPath(std::string_view platformPath);
// Makes `root` absolute and hands it to the platform (ZBASE_ROOT).
void useRoot(const std::string& root);

// Remembers how this tool was started (argv[0]), for the commands it suggests.
void rememberTool(const char* argv0);
// "TOOL --root ROOT", the start of every command the tool suggests: the
// tool's path and the root absolute and quoted for the shell, so that a
// suggestion pasted in any folder works on this root.
std::string rootedTool();
// Whether the lifelog database exists under the root, and what to say when
// it does not: that nothing was logged yet, and the two commands that log
// something (a sample day, or a phone's backup).
bool databaseExists();
std::string nothingLoggedYet();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_ROOT_H
