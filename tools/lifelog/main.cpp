// lifelog: the command-line front door to a phone's life log.
//
// This file only dispatches: it registers every command, parses the
// command line and runs the one given.  The tool's folders, bottom up:
//
//   base/      the query wrapper, rows, kinds, time stamps, texts, output
//              formats, the platform root and the configuration file
//   logging/   the one way in: the activity record, its field check, direct
//              logging, delivery to the running service, the write watch
//   people/    the contacts store, numbers as identities, vCards: who a number is
//   backup/    the backup apps' XML (reader, writer), the entry mapping, import
//              and export
//   web/       the HTTP server, its JSON API, the page, the HTML report
//   demo/      the demo's curated day, generated days and phone book
//   describe/  the command table read from the parser, and what is made
//              from it: the manual page and the shell completions
//   commands/  one file per command: parse the options, build the request, run it
//
//   commands/demo.cpp    lifelog demo                          record a day and report on it
//   commands/log.cpp     lifelog log call|message|media        record one activity directly
//   commands/serve.cpp   lifelog serve                         the service, fed JSON lines
//   commands/read.cpp    lifelog list|max|min|top|count|sum|avg KIND ...
//   commands/config.cpp  lifelog config                        show or write the configuration
//   commands/import.cpp  lifelog import FILE...                backup XML into the log
//   commands/export.cpp  lifelog export KIND FILE              the log as backup XML
//   commands/web.cpp     lifelog web                           the page and the API over HTTP
//   commands/report.cpp  lifelog report --html FILE            the page as one file
//   commands/contacts.cpp lifelog contacts [add|merge|rename|import] the people behind numbers
//   commands/describe.cpp lifelog --version, completion SHELL, manpage (hidden)
//
// Every failure of the library or the platform ends the tool with
// "lifelog: <what failed>: <code text> (<code>)" and a non-zero status.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "base/root.h"
#include "commands/commands.h"
#include "zbase_testing.h"

namespace lifelog_tool {
namespace {

int run(int argc, char** argv) {
    CLI::App app{
        "lifelog: a phone's day as data.  Records calls, messages and media plays in "
        "the lifelog database and reads them back through the lifelog library."};
    app.require_subcommand(1);
    app.fallthrough();
    GlobalOptions global;
    app.add_option("--root", global.root,
                   "platform root folder (sets ZBASE_ROOT; default $ZBASE_ROOT, else "
                   "$XDG_DATA_HOME/zbase or ~/.local/share/zbase)");
    app.add_option("--region", global.region,
                   "the country whose numbers are written without a country code, e.g. US "
                   "(default: the contacts store's, else the locale's; docs/people.md)");
    app.add_flag("-v,--verbose", global.verbose,
                 "show the platform's trace lines (ZBASE_LOG_LEVEL=trace)");

    Commands commands(app);
    addDemoCommand(commands);
    addLogCommand(commands);
    addReadCommands(commands);
    addConfigCommand(commands);
    addServeCommand(commands);
    addWebCommand(commands);
    addReportCommand(commands);
    addImportCommand(commands);
    addExportCommand(commands);
    addIndexCommand(commands);
    addContactsCommand(commands);
    addSelfDescription(commands);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return commands.explainParseError(error, argc, argv);
    }

    const Commands::Entry* given = commands.given();
    if (given == nullptr) {
        return 1;
    }
    applyGlobalOptions(*given, global);
    rememberTool(argv[0]);
    return given->run(Context{rootedTool()});
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
