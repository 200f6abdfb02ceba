// How commands join the tool, and the global options that apply before
// the one given runs.
#include "commands/commands.h"

#include <stdlib.h>

#include <fmt/format.h>

#include <filesystem>

#include "base/root.h"

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

}  // namespace

std::string invocation(const char* argv0) {
    std::error_code error;
    fs::path root = fs::path(platformRoot());
    fs::path relative = fs::relative(root, fs::current_path(error), error);
    std::string shown = !error && !relative.empty() && *relative.begin() != ".." ? relative.string()
                                                                                 : root.string();
    return fmt::format("{} --root {}", argv0, shown);
}

void applyGlobalOptions(const Commands::Entry& given, const std::string& root, bool verbose) {
    const char* environmentRoot = getenv("ZBASE_ROOT");
    if (!root.empty()) {
        useRoot(root);
    } else if (given.root == DefaultRoot::Demo &&
               (environmentRoot == nullptr || *environmentRoot == 0)) {
        useRoot(demoRoot());
    }
    if (verbose) {
        setenv("ZBASE_LOG_LEVEL", "trace", 1);
    }
}

}  // namespace lifelog_tool
