// The commands: the top of the tool, one file per command (the seven
// reading commands share read.cpp).  A command file parses its options
// into a request, the options struct of the layer below, and runs it:
// log.cpp and serve.cpp through the one way in (logging/), import.cpp and
// export.cpp through backup/, web.cpp and report.cpp through web/, demo.cpp
// through demo/, read.cpp and config.cpp through the base layer (base/).
// Nothing below this folder includes a header from it.
//
// How a command joins the tool: its file offers one registration function,
// which main.cpp calls:
//
//   void addListCommands(Commands& commands) {
//       auto options = std::make_shared<ListOptions>();
//       CLI::App* list = commands.add("list", "the rows of a table",
//                                     [options](const Context&) { return runList(*options); });
//       list->add_option("kind", options->kind, "call, message or media")->required();
//   }
//
// The run function is called after parsing, once the global options
// (--root, --verbose) have taken effect, for the one command given.  It
// reports failure by throwing (Failure, UsageError, or any std::exception:
// "lifelog: <what>" and status 1) or by returning a non-zero status.
#ifndef LIFELOG_TOOL_COMMANDS_COMMANDS_H
#define LIFELOG_TOOL_COMMANDS_COMMANDS_H

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace lifelog_tool {

struct Context {
    // How the user reaches this tool and its root again from any folder
    // ("/home/ana/lifelog/build/bin/lifelog --root /home/ana/lifelog/build/demo-root"),
    // for hints in what a command prints.
    std::string invocation;
};

using RunCommand = std::function<int(const Context&)>;

// The status of a command line the parser does not understand (no command,
// an unknown command or option, a missing or malformed argument); failures
// of the work itself end with 1.
inline constexpr int kCommandLineStatus = 2;

// Where a command works when neither --root nor $ZBASE_ROOT says.
enum class DefaultRoot {
    Platform,  // the platform's own default ($XDG_DATA_HOME/zbase, ...)
    Demo,      // build/demo-root next to the tool: commands that start afresh
};

class Commands {
public:
    explicit Commands(CLI::App& app) : app_(app) {}

    // Registers a subcommand; `run` runs when it was given.
    CLI::App* add(const std::string& name, const std::string& description, RunCommand run,
                  DefaultRoot root = DefaultRoot::Platform);

    CLI::App& app() { return app_; }

    // The parser's refusal, said for people: no command or a first word
    // that is no command is answered with the commands there are; other
    // refusals as the parser words them.  Returns the exit status:
    // kCommandLineStatus, or 0 for --help and --version.
    int explainParseError(const CLI::ParseError& error, int argc, char** argv) const;

    struct Entry {
        CLI::App* command;
        RunCommand run;
        DefaultRoot root;
    };
    // The command given on the command line, or null.
    const Entry* given() const;

private:
    CLI::App& app_;
    std::vector<Entry> entries_;
};

// The registration functions, one per command file.
void addConfigCommand(Commands& commands);    // config.cpp
void addLogCommand(Commands& commands);       // log.cpp
void addReadCommands(Commands& commands);     // read.cpp: list max min top count sum avg
void addDemoCommand(Commands& commands);      // demo.cpp
void addServeCommand(Commands& commands);     // serve.cpp
void addWebCommand(Commands& commands);       // web.cpp
void addReportCommand(Commands& commands);    // report.cpp
void addImportCommand(Commands& commands);    // import.cpp
void addExportCommand(Commands& commands);    // export.cpp
void addIndexCommand(Commands& commands);     // index.cpp
void addContactsCommand(Commands& commands);  // contacts.cpp

// --from and --to on `command`: the first and the last time stamp of the
// range, both included, each a day, a minute or a second.
void addRangeOptions(CLI::App* command, std::string& from, std::string& to);

// describe.cpp: --version, and the hidden completion and manpage commands.
void addSelfDescription(Commands& commands);

// The global options (--root, --region, --verbose) once the command line
// is parsed: `root` when given, else the demo root for a command that
// starts afresh (unless $ZBASE_ROOT says), the default region of numbers,
// and the platform's trace lines when verbose.
struct GlobalOptions {
    std::string root;
    std::string region;
    bool verbose = false;
};
void applyGlobalOptions(const Commands::Entry& given, const GlobalOptions& options);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_COMMANDS_COMMANDS_H
