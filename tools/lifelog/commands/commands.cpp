// How commands join the tool, and the global options that apply before
// the one given runs.
#include "commands/commands.h"

#include <stdlib.h>

#include <fmt/format.h>

#include <filesystem>

#include "base/root.h"
#include "people/identity.h"

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

namespace {

// The first word of the command line that is neither an option nor the
// value of --root, or "" when there is none.
std::string firstWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "--root" || word == "--region") {
            ++i;
        } else if (!word.empty() && word.front() != '-') {
            return std::string(word);
        }
    }
    return std::string();
}

}  // namespace

int Commands::explainParseError(const CLI::ParseError& error, int argc, char** argv) const {
    std::string word = firstWord(argc, argv);
    bool known = false;
    std::string names;
    for (const Entry& entry : entries_) {
        known = known || entry.command->get_name() == word;
        if (!entry.command->get_group().empty()) {  // hidden commands stay unnamed
            names += (names.empty() ? "" : ", ") + entry.command->get_name();
        }
    }
    if (word.empty() && dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        fmt::print(stderr, "lifelog: name a command: {} (lifelog --help)\n", names);
        return kCommandLineStatus;
    }
    if (!known && !word.empty()) {
        fmt::print(stderr, "lifelog: '{}' is not a command; the commands: {} (lifelog --help)\n",
                   word, names);
        return kCommandLineStatus;
    }
    // --help and --version come here too, with status 0.
    return app_.exit(error) == 0 ? 0 : kCommandLineStatus;
}

void addRangeOptions(CLI::App* command, std::string& from, std::string& to) {
    command->add_option("--from", from,
                        "first time stamp: \"YYYY-MM-DD[ HH:MM[:SS]]\", included "
                        "(default: the first row)");
    command->add_option("--to", to,
                        "last time stamp: \"YYYY-MM-DD[ HH:MM[:SS]]\", included "
                        "(default: the last row)");
}

void applyGlobalOptions(const Commands::Entry& given, const GlobalOptions& options) {
    const std::string& root = options.root;
    const char* environmentRoot = getenv("ZBASE_ROOT");
    if (!root.empty()) {
        useRoot(root);
    } else if (given.root == DefaultRoot::Demo &&
               (environmentRoot == nullptr || *environmentRoot == 0)) {
        useRoot(demoRoot());
    }
    if (!options.region.empty()) {
        useRegion(checkedRegion(options.region));
    }
    if (options.verbose) {
        setenv("ZBASE_LOG_LEVEL", "trace", 1);
    }
}

}  // namespace lifelog_tool
