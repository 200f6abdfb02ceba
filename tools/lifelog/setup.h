// The platform root and the lifelog configuration file, as the tool sees
// them from the host side.
#ifndef LIFELOG_TOOL_SETUP_H
#define LIFELOG_TOOL_SETUP_H

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace lifelog_tool {

inline constexpr const char* kConfigPath = "/System/Lifelog/lifelogconf.ini";
inline constexpr const char* kDatabasePath = "/SystemRW/Lifelog/Database/lifelog.db";
inline constexpr int kDefaultMaxCount = 500;

// The host folder under which the platform's absolute paths live, resolved
// as the platform does: $ZBASE_ROOT, else $XDG_DATA_HOME/zbase, else
// ~/.local/share/zbase.
std::string platformRoot();
// Where a platform path ("/System/...") is on the host.
std::filesystem::path hostPath(std::string_view platformPath);
// Makes `root` absolute and hands it to the platform (ZBASE_ROOT).
void useRoot(const std::string& root);

// What the configuration file says, read the way the library reads it:
// a kind is logged only when its value is "true" in any letter case.
struct Configuration {
    bool exists = false;
    std::map<std::string, bool> on;  // by table name: "ACTIVITY_CALL", ...
    int maxCount = kDefaultMaxCount;
    bool maxCountSet = false;
};

Configuration readConfiguration();
// Writes the whole file afresh (earlier comments are not kept).
void writeConfiguration(const Configuration& configuration);
bool isOn(const Configuration& configuration, std::string_view table);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_SETUP_H
