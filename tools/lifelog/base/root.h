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

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_ROOT_H
