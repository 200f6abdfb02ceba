// The command table read from the parser, and the version text.
#include "describe/command_table.h"

#include <dlfcn.h>

#include <fmt/format.h>
#include <filesystem>

#include "zkivLifelog.h"

#ifndef LIFELOG_TOOL_VERSION
#error "LIFELOG_TOOL_VERSION is the project's version, set by the build"
#endif

namespace lifelog_tool {

namespace {

bool hidden(const std::string& group) {
    return group.empty();
}

OptionEntry optionEntry(const CLI::Option& option) {
    OptionEntry entry;
    entry.positional = !option.nonpositional();
    if (entry.positional) {
        entry.names.push_back(option.get_name(true, false));
    }
    for (const std::string& name : option.get_snames()) {
        entry.names.push_back("-" + name);
    }
    for (const std::string& name : option.get_lnames()) {
        entry.names.push_back("--" + name);
    }
    if (option.get_type_size_max() > 0) {
        entry.value = option.get_type_name();
    }
    entry.description = option.get_description();
    entry.required = option.get_required();
    return entry;
}

std::vector<OptionEntry> optionEntries(const CLI::App& command) {
    std::vector<OptionEntry> named;
    std::vector<OptionEntry> positionals;
    for (const CLI::Option* option : command.get_options()) {
        if (hidden(option->get_group())) {
            continue;
        }
        OptionEntry entry = optionEntry(*option);
        (entry.positional ? positionals : named).push_back(std::move(entry));
    }
    named.insert(named.end(), positionals.begin(), positionals.end());
    return named;
}

void addCommand(const CLI::App& command, std::vector<std::string> path,
                std::vector<CommandEntry>& table) {
    auto visible = [](const CLI::App* sub) { return !hidden(sub->get_group()); };
    std::vector<const CLI::App*> subcommands = command.get_subcommands(visible);
    CommandEntry entry{path, command.get_description(), {}, {}, optionEntries(command)};
    for (const CLI::App* sub : subcommands) {
        entry.subcommands.push_back(sub->get_name());
        entry.subcommandDescriptions.push_back(sub->get_description());
    }
    table.push_back(std::move(entry));
    for (const CLI::App* sub : subcommands) {
        std::vector<std::string> subPath = path;
        subPath.push_back(sub->get_name());
        addCommand(*sub, std::move(subPath), table);
    }
}

// The library has no version call; the file the loader picked for it is
// named after its version (libzkivLifelog.so.0.1), so that names it.
std::string libraryVersion() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Dll_getFactory), &info) == 0 || info.dli_fname == nullptr) {
        return "unknown";
    }
    std::error_code error;
    std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
    std::string name = error ? std::string(info.dli_fname) : file.filename().string();
    const std::string stem = "libzkivLifelog.so.";
    std::string version = name.rfind(stem, 0) == 0 ? name.substr(stem.size()) : "unknown";
    return fmt::format("{} ({})", version, error ? name : file.string());
}

}  // namespace

std::vector<CommandEntry> commandTable(const CLI::App& app) {
    std::vector<CommandEntry> table;
    addCommand(app, {}, table);
    return table;
}

std::string versionText() {
    return fmt::format("lifelog {}\nlibzkivLifelog {}", LIFELOG_TOOL_VERSION, libraryVersion());
}

}  // namespace lifelog_tool
