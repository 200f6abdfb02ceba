// lifelog: the command-line front door to a phone's life log.
//
// This file only wires the commands; each lives in a file of its own and
// registers itself through commands.h:
//
//   demo.cpp    lifelog demo                    record a simulated day and report on it
//   log.cpp     lifelog log call|message|media  record one activity directly
//   read.cpp    lifelog list|max|min|top|count|sum|avg KIND ...
//   config.cpp  lifelog config                  show or write the configuration file
//   import.cpp  lifelog import FILE... / export KIND FILE
//
// The client layer over the query object is client.h, output formats
// render.h.  Every failure of the library or the platform ends the tool
// with "lifelog: <what failed>: <code text> (<code>)" and a non-zero status.
#include <stdlib.h>

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "setup.h"
#include "zbase_testing.h"

namespace lifelog_tool {

namespace fs = std::filesystem;

CLI::App* Commands::add(const std::string& name, const std::string& description, RunCommand run,
                        DefaultRoot root) {
    CLI::App* command = app_.add_subcommand(name, description);
    entries_.push_back(Entry{command, std::move(run), root});
    return command;
}

const Commands::Entry* Commands::given() const {
    for (const Entry& entry : entries_) {
        if (entry.command->parsed()) {
            return &entry;
        }
    }
    return nullptr;
}

namespace {

// Where a command that starts afresh runs when neither --root nor
// ZBASE_ROOT says: next to the tool's build folder (build/demo-root for
// build/bin/lifelog), never the user's own platform root.
std::string demoRoot() {
    std::error_code error;
    fs::path tool = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return "demo-root";
    }
    return (tool.parent_path().parent_path() / "demo-root").string();
}

// How the user reaches this tool and its root again, for hints.
std::string invocation(const char* argv0) {
    std::error_code error;
    fs::path root = fs::path(platformRoot());
    fs::path relative = fs::relative(root, fs::current_path(error), error);
    std::string shown = !error && !relative.empty() && *relative.begin() != ".." ? relative.string()
                                                                                 : root.string();
    return fmt::format("{} --root {}", argv0, shown);
}

int run(int argc, char** argv) {
    CLI::App app{
        "lifelog: a phone's day as data.  Records calls, messages and media plays in "
        "the lifelog database and reads them back through the lifelog library."};
    app.require_subcommand(1);
    app.fallthrough();
    std::string root;
    bool verbose = false;
    app.add_option("--root", root,
                   "platform root folder (sets ZBASE_ROOT; default $ZBASE_ROOT, else "
                   "$XDG_DATA_HOME/zbase or ~/.local/share/zbase)");
    app.add_flag("-v,--verbose", verbose,
                 "show the platform's trace lines (ZBASE_LOG_LEVEL=trace)");

    Commands commands(app);
    addDemoCommand(commands);
    addLogCommand(commands);
    addReadCommands(commands);
    addConfigCommand(commands);
    addServeCommand(commands);
    addWebCommand(commands);
    addReportCommand(commands);
    addImportCommands(commands);

    CLI11_PARSE(app, argc, argv);

    const Commands::Entry* given = commands.given();
    if (given == nullptr) {
        return 1;
    }
    const char* environmentRoot = getenv("ZBASE_ROOT");
    if (!root.empty()) {
        useRoot(root);
    } else if (given != nullptr && given->root == DefaultRoot::Demo &&
               (environmentRoot == nullptr || *environmentRoot == 0)) {
        useRoot(demoRoot());
    }
    if (verbose) {
        setenv("ZBASE_LOG_LEVEL", "trace", 1);
    }
    return given->run(Context{invocation(argv[0])});
}

}  // namespace
}  // namespace lifelog_tool

int main(int argc, char** argv) {
    int status = 0;
    try {
        status = lifelog_tool::run(argc, argv);
    } catch (const std::exception& failure) {
        fflush(stdout);
        fprintf(stderr, "lifelog: %s\n", failure.what());
        status = 1;
    }
    // Everything the tool gets from the library and the platform it gives
    // back; a live tracked block here is a leak somewhere underneath.
    long live = Mem_getLiveCount();
    if (live != 0) {
        fflush(stdout);
        fprintf(stderr, "lifelog: warning: %ld tracked blocks still alive at exit\n", live);
        Mem_printLive(stderr);
    }
    return status;
}
