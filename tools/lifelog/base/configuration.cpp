// The configuration file, read through the platform's registry as the
// library reads it, and written afresh by `lifelog config` and the demo.
#include "base/configuration.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "base/failure.h"
#include "base/kinds.h"
#include "zbase.h"

namespace lifelog_tool {

namespace fs = std::filesystem;

Configuration readConfiguration() {
    Configuration configuration;
    for (const Kind& kind : kinds()) {
        configuration.on[kind.table] = false;
    }
    unsigned int err = 0;
    Registry* registry = _Registry_openInternal(kConfigPath, 0, &err);
    if (registry == nullptr) {
        if (err == ZBASE_E_FILE_NOT_FOUND) {
            return configuration;
        }
        throw Failure(fmt::format("reading {}", hostPath(kConfigPath).string()), err);
    }
    configuration.exists = true;
    for (const Kind& kind : kinds()) {
        char value[64] = "";
        Registry_getValue(registry, "ACTIVITY", kind.table, REGISTRY_TYPE_STRING, value,
                          sizeof value, &err);
        configuration.on[kind.table] = err == 0 && String_equalsIgnoreCase(value, "true");
    }
    int32_t maxCount = 0;
    Registry_getValue(registry, "ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", REGISTRY_TYPE_INT,
                      &maxCount, sizeof maxCount, &err);
    if (err == 0) {
        configuration.maxCount = maxCount;
        configuration.maxCountSet = true;
    }
    Registry_close(registry, 0, &err);
    return configuration;
}

void writeConfiguration(const Configuration& configuration) {
    fs::path path = hostPath(kConfigPath);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
        throw UsageError(
            fmt::format("cannot make the folder {}: {} (may this user write under {}?)",
                        path.parent_path().string(), error.message(), platformRoot()));
    }
    std::ofstream out(path, std::ios::trunc);
    if (!out) {
        throw UsageError(fmt::format("cannot write {}: {}", path.string(), strerror(errno)));
    }
    out << "; Which activities are logged, and how many rows each table keeps.\n"
           "; Written by `lifelog config`.\n"
           "[ACTIVITY]\n";
    for (const Kind& kind : kinds()) {
        out << kind.table << " = " << (isOn(configuration, kind.table) ? "true" : "false") << "\n";
    }
    out << "\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = " << configuration.maxCount << "\n";
    out.close();
    if (!out) {
        throw UsageError(fmt::format("cannot write {}", path.string()));
    }
}

bool isOn(const Configuration& configuration, std::string_view table) {
    auto found = configuration.on.find(std::string(table));
    return found != configuration.on.end() && found->second;
}

std::string whyOff(const Configuration& configuration, std::string_view plural) {
    std::string path = hostPath(kConfigPath).string();
    if (!configuration.exists) {
        return fmt::format("there is no configuration file {}", path);
    }
    return fmt::format("{} are switched off in {}", plural, path);
}

std::string switchOnCommand(const Configuration& configuration,
                            const std::vector<std::string>& words) {
    std::string list;
    for (const Kind& kind : kinds()) {
        bool wanted = std::find(words.begin(), words.end(), kind.word) != words.end();
        if (wanted || isOn(configuration, kind.table)) {
            list += (list.empty() ? "" : ",") + std::string(kind.word);
        }
    }
    return fmt::format("{} config --on {}", rootedTool(), list);
}

}  // namespace lifelog_tool
