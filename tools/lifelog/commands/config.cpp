// `lifelog config`: shows or writes the configuration file.
#include <fmt/format.h>

#include <memory>
#include <sstream>

#include "base/configuration.h"
#include "base/query.h"
#include "commands/commands.h"
#include "logging/indexes.h"

namespace lifelog_tool {

namespace {

struct ConfigOptions {
    std::string on;
    int maxCount = 0;
};

void runConfig(const ConfigOptions& options) {
    Configuration configuration = readConfiguration();
    bool write = !options.on.empty() || options.maxCount != 0;
    if (!options.on.empty()) {
        for (auto& [table, enabled] : configuration.on) {
            enabled = false;
        }
        std::stringstream list(options.on);
        std::string word;
        while (std::getline(list, word, ',')) {
            if (word == "none" || word.empty()) {
                continue;
            }
            configuration.on[kindByWord(word).table] = true;
        }
    }
    if (options.maxCount < 0) {
        throw UsageError("--max must be 1 or more");
    }
    if (options.maxCount > 0) {
        configuration.maxCount = options.maxCount;
    }
    if (write) {
        writeConfiguration(configuration);
        configuration = readConfiguration();
        indexWhenLarge();
    }
    fmt::print("{}{}\n", hostPath(kConfigPath).string(),
               configuration.exists ? "" : " (missing: nothing is logged)");
    for (const Kind& kind : kinds()) {
        fmt::print("  {:<8} {}\n", kind.word, isOn(configuration, kind.table) ? "on" : "off");
    }
    fmt::print("  keeps    {} rows per table{}\n", configuration.maxCount,
               configuration.maxCountSet ? "" : " (the default)");
}

}  // namespace

void addConfigCommand(Commands& commands) {
    auto options = std::make_shared<ConfigOptions>();
    CLI::App* config =
        commands.add("config", "show or write the configuration file", [options](const Context&) {
            runConfig(*options);
            return 0;
        });
    config->add_option("--on", options->on,
                       "the kinds to log, e.g. call,message,media (others off)");
    config->add_option("--max", options->maxCount, "rows kept per table");
}

}  // namespace lifelog_tool
