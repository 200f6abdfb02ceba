// The lifelog configuration file as the tool reads and writes it.
#ifndef LIFELOG_TOOL_BASE_CONFIGURATION_H
#define LIFELOG_TOOL_BASE_CONFIGURATION_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

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

// Why a kind is not logged, given its plural ("calls"): "calls
// are switched off in PATH", or "there is no configuration file PATH" when
// there is none (then nothing at all is logged).
std::string whyOff(const Configuration& configuration, std::string_view plural);
// The command that switches on the kinds named in `words` ("call", ...) and
// keeps on every kind that is on already, so that hints followed one after
// the other never switch off what an earlier one switched on.
std::string switchOnCommand(const Configuration& configuration,
                            const std::vector<std::string>& words);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_CONFIGURATION_H
