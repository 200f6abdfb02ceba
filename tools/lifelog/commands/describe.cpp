// What describes the tool, made by the tool from its own command table:
//   lifelog --version            the tool's and the library's version
//   lifelog completion SHELL     the bash, zsh or fish completion script
//   lifelog manpage              the manual page lifelog(1), in roff
// The last two are hidden from --help; the build runs them to make the
// files the packages install, so neither can drift from the parser.
#include <iostream>
#include <memory>

#include "commands/commands.h"
#include "describe/command_table.h"

namespace lifelog_tool {

void addSelfDescription(Commands& commands) {
    CLI::App& app = commands.app();
    app.set_version_flag("--version", versionText(), "print the tool's and the library's version");

    auto shell = std::make_shared<std::string>();
    CLI::App* completion = commands.add(
        "completion", "print the completion script for SHELL", [&app, shell](const Context&) {
            if (!writeCompletion(commandTable(app), *shell, std::cout)) {
                throw CLI::ValidationError("completion", "SHELL is bash, zsh or fish");
            }
            return 0;
        });
    completion->add_option("shell", *shell, "bash, zsh or fish")->required();
    completion->group("");

    CLI::App* manpage =
        commands.add("manpage", "print the manual page lifelog(1)", [&app](const Context&) {
            writeManualPage(commandTable(app), std::cout);
            return 0;
        });
    manpage->group("");
}

}  // namespace lifelog_tool
