// The lifelog configuration file as the tool reads and writes it.
#ifndef LIFELOG_TOOL_BASE_CONFIGURATION_H
#define LIFELOG_TOOL_BASE_CONFIGURATION_H

#include <map>
#include <string>
#include <string_view>

#include "base/root.h"

namespace lifelog_tool {

using lifelog::kDefaultMaxCount;  // the library's, from its schema header

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

#endif  // LIFELOG_TOOL_BASE_CONFIGURATION_H
