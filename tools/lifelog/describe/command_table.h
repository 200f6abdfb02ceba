// The tool's commands and options as one table, read from the parser
// itself, so that what describes the tool (its manual page and its shell
// completions) is made from what --help prints and cannot drift from it.
#ifndef LIFELOG_TOOL_COMMAND_TABLE_H
#define LIFELOG_TOOL_COMMAND_TABLE_H

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace lifelog_tool {

struct OptionEntry {
    std::vector<std::string> names;  // "-v", "--verbose"; a positional's name alone
    std::string value;               // "TEXT", "INT"; empty for a flag
    std::string description;
    bool positional = false;
    bool required = false;
};

struct CommandEntry {
    std::vector<std::string> path;  // {} for the tool itself, {"log", "call"}
    std::string description;
    std::vector<std::string> subcommands;
    std::vector<std::string> subcommandDescriptions;
    std::vector<OptionEntry> options;  // positionals last
};

// Every visible command, the tool itself first, each before its own
// subcommands; hidden commands and options (group "") are left out.
std::vector<CommandEntry> commandTable(const CLI::App& app);

// "lifelog 0.1" and the library's version, as --version prints them.
std::string versionText();

// The manual page lifelog(1), in roff.
void writeManualPage(const std::vector<CommandEntry>& table, std::ostream& out);

// The completion script for `shell`: bash, zsh or fish.  False for any
// other shell.
bool writeCompletion(const std::vector<CommandEntry>& table, const std::string& shell,
                     std::ostream& out);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_COMMAND_TABLE_H
