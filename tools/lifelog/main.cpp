// lifelog: the command-line front door to a phone's life log.
//
//   lifelog demo                       record a simulated day and report on it
//   lifelog log call|message|media     record one activity directly
//   lifelog list KIND                  the rows of a table
//   lifelog max|min KIND COLUMN        the rows holding a column's extreme
//   lifelog top KIND COLUMN            the most frequent values of a column
//   lifelog count|sum|avg KIND ...     single values
//   lifelog config                     show or write the configuration file
//
// Every failure of the library or the platform ends the tool with
// "lifelog: <what failed>: <code text> (<code>)" and a non-zero status.
#include <stdlib.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "demo.h"
#include "import.h"
#include "query.h"
#include "setup.h"
#include "zbase_testing.h"

namespace lifelog_tool {
namespace {

namespace fs = std::filesystem;

// ------------------------------------------------------------ query options

struct QueryOptions {
    std::string kind;
    std::string column;
    std::string from;
    std::string to;
    std::string where;
    std::string order;
    std::string then;
    int limit = 5;
    bool json = false;
};

void addRangeOptions(CLI::App* command, QueryOptions& options) {
    command->add_option("--from", options.from,
                        "first time stamp: \"YYYY-MM-DD[ HH:MM[:SS]]\" (included)");
    command->add_option("--to", options.to,
                        "last time stamp: \"YYYY-MM-DD[ HH:MM[:SS]]\" (included)");
    command->add_option("--where", options.where,
                        "an SQL condition on the table's columns, e.g. \"CLOG_DURATION > 60\"");
    command->add_flag("--json", options.json, "print JSON instead of a table");
}

CLI::App* addQueryCommand(CLI::App& app, const char* name, const char* description,
                          QueryOptions& options, bool withColumn) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("kind", options.kind, "call, message or media")->required();
    if (withColumn) {
        command->add_option("column", options.column,
                            "a column: a short name (duration, number, time...) or the "
                            "table's own (CLOG_DURATION)")
            ->required();
    }
    addRangeOptions(command, options);
    return command;
}

Range rangeOf(const QueryOptions& options) {
    Range range;
    if (!options.from.empty()) {
        range.from = parseBound(options.from, false);
        if (!range.from) {
            throw UsageError(fmt::format("--from \"{}\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\"",
                                         options.from));
        }
    }
    if (!options.to.empty()) {
        range.to = parseBound(options.to, true);
        if (!range.to) {
            throw UsageError(
                fmt::format("--to \"{}\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\"", options.to));
        }
    }
    return range;
}

// "duration", "duration:desc" -> column and order type.
std::pair<std::string, int> orderOf(const Kind& kind, const std::string& text) {
    size_t colon = text.find(':');
    std::string column = resolveColumn(kind, text.substr(0, colon));
    int type = colon == std::string::npos ? LIFELOG_ORDER_ASC
                                          : orderTypeByWord(text.substr(colon + 1));
    return {column, type};
}

void prepare(Query& query, const QueryOptions& options) {
    if (!options.where.empty()) {
        query.where(options.where);
    }
}

void printRows(const Kind& kind, const std::vector<Row>& rows, bool json) {
    if (json) {
        fmt::print("{}\n", jsonRows(kind, rows).dump(2));
        return;
    }
    if (rows.empty()) {
        fmt::print("no {}\n", kind.plural);
        return;
    }
    fmt::print("{}", rowsTable(kind, rows).render());
}

void runList(const QueryOptions& options) {
    const Kind& kind = kindByWord(options.kind);
    Query query(kind, rangeOf(options));
    prepare(query, options);
    auto [column, type] = orderOf(kind, options.order.empty() ? "time" : options.order);
    if (options.then.empty()) {
        query.orderBy(column, type);
    } else {
        auto [thenColumn, thenType] = orderOf(kind, options.then);
        query.orderBy(column, type, thenColumn, thenType);
    }
    printRows(kind, query.list(), options.json);
}

void runExtreme(const QueryOptions& options, bool largest) {
    const Kind& kind = kindByWord(options.kind);
    std::string column = resolveColumn(kind, options.column);
    Query query(kind, rangeOf(options));
    prepare(query, options);
    query.orderBy(kind.timeColumn, LIFELOG_ORDER_ASC);
    printRows(kind, largest ? query.max(column) : query.min(column), options.json);
}

void runTop(const QueryOptions& options) {
    const Kind& kind = kindByWord(options.kind);
    std::string column = resolveColumn(kind, options.column);
    if (options.limit < 1) {
        throw UsageError("--limit must be 1 or more");
    }
    Query query(kind, rangeOf(options));
    prepare(query, options);
    std::vector<Row> rows = query.top(column, options.limit);
    if (options.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const Row& row : rows) {
            const Value* value = row.find(column);
            array.push_back({{"value", value != nullptr ? jsonValue(*value) : nullptr},
                             {"count", row.number("OCCURRED_COUNT")}});
        }
        fmt::print("{}\n", array.dump(2));
        return;
    }
    Table table{{shortName(kind, column), "count"}, {false, true}, {}};
    for (const Row& row : rows) {
        const Value* value = row.find(column);
        table.rows.push_back({value != nullptr ? cellText(*value) : "(none)",
                              fmt::format("{}", row.number("OCCURRED_COUNT"))});
    }
    fmt::print("{}", table.render());
}

enum class Single { Count, Sum, Average };

void runSingle(const QueryOptions& options, Single what) {
    const Kind& kind = kindByWord(options.kind);
    std::string column = what == Single::Count ? "" : resolveColumn(kind, options.column);
    Query query(kind, rangeOf(options));
    prepare(query, options);
    nlohmann::ordered_json result = {{"kind", kind.word}};
    if (!column.empty()) {
        result["column"] = column;
    }
    switch (what) {
    case Single::Count:
        result["count"] = query.count();
        break;
    case Single::Sum:
        result["sum"] = query.sum(column);
        break;
    case Single::Average:
        result["average"] = query.average(column);
        break;
    }
    if (options.json) {
        fmt::print("{}\n", result.dump(2));
    } else if (what == Single::Average) {
        fmt::print("{:.2f}\n", result["average"].get<double>());
    } else {
        fmt::print("{}\n", result.back().dump());
    }
}

// -------------------------------------------------------------- logging

struct LogOptions {
    std::string number;
    std::string direction = "out";
    int duration = 0;
    int type = 0;
    std::string text;
    std::string title;
    std::string uri;
    int playTime = 0;
    std::string artist;
    std::string album;
    std::string category;
    int cellId = -1;
    int lac = -1;
    int mcc = -1;
    int mnc = -1;
    std::string time;
};

int directionOf(const std::string& word, bool call) {
    if (word == "in" || word == "incoming" || word == "received" || word == "0") {
        return 0;
    }
    if (word == "out" || word == "outgoing" || word == "sent" || word == "1") {
        return 1;
    }
    if (call && (word == "missed" || word == "2")) {
        return 2;
    }
    throw UsageError(fmt::format("--direction \"{}\": use in, out{}", word,
                                 call ? " or missed (0, 1, 2)" : " (0, 1)"));
}

void addCellOptions(CLI::App* command, LogOptions& options) {
    command->add_option("--cell", options.cellId, "serving cell identifier (default -1)");
    command->add_option("--lac", options.lac, "location area code (default -1)");
    command->add_option("--mcc", options.mcc, "mobile country code (default -1)");
    command->add_option("--mnc", options.mnc, "mobile network code (default -1)");
    command->add_option("--time", options.time,
                        "time stamp \"YYYY-MM-DD HH:MM:SS\" (default: the database's clock, UTC)");
}

const char* optional(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

void runLog(const std::string& kindWord, const LogOptions& options) {
    const Kind& kind = kindByWord(kindWord);
    if (!options.time.empty() && !parseTimestamp(options.time)) {
        throw UsageError(
            fmt::format("--time \"{}\" is not \"YYYY-MM-DD HH:MM:SS\"", options.time));
    }
    Configuration configuration = readConfiguration();
    if (!configuration.exists) {
        throw UsageError(fmt::format(
            "there is no configuration file {}, so nothing is logged (write one with "
            "`lifelog config --on {}`)",
            hostPath(kConfigPath).string(), kind.word));
    }
    if (!isOn(configuration, kind.table)) {
        throw UsageError(fmt::format(
            "{} are switched off in {}: nothing recorded (switch them on with "
            "`lifelog config --on {}`)",
            kind.plural, hostPath(kConfigPath).string(), kind.word));
    }
    std::string_view table = kind.table;
    const char* time = optional(options.time);
    if (table == "ACTIVITY_CALL") {
        _Lifelog_CallActivityLogging(options.number.c_str(), directionOf(options.direction, true),
                                     options.duration, options.type, options.cellId, options.lac,
                                     options.mcc, options.mnc, time);
    } else if (table == "ACTIVITY_MESSAGE") {
        _Lifelog_MsgActivityLogging(options.number.c_str(), directionOf(options.direction, false),
                                    options.type, options.text.c_str(), options.cellId,
                                    options.lac, options.mcc, options.mnc, time);
    } else {
        _Lifelog_MediaActivityLogging(options.type, options.title.c_str(), optional(options.uri),
                                      options.playTime, optional(options.artist),
                                      optional(options.album), optional(options.category),
                                      options.cellId, options.lac, options.mcc, options.mnc,
                                      time);
    }
    fmt::print("logged a {} at {}\n", kind.word,
               time != nullptr ? time : "the database's current time (UTC)");
}

void addLogCommands(CLI::App& app, std::string& kind, LogOptions& options) {
    CLI::App* log = app.add_subcommand("log", "record one activity directly, as platform code does");
    log->require_subcommand(1);

    CLI::App* call = log->add_subcommand("call", "a voice call");
    call->add_option("--number", options.number, "the other party's number")->required();
    call->add_option("--direction", options.direction, "in, out or missed (default out)");
    call->add_option("--duration", options.duration, "seconds (default 0)");
    call->add_option("--type", options.type, "call type -1, 0 or 1 (default 0)");
    addCellOptions(call, options);

    CLI::App* message = log->add_subcommand("message", "a text message");
    message->add_option("--number", options.number, "the other party's number")->required();
    message->add_option("--text", options.text, "the message (its first 30 characters are kept)")
        ->required();
    message->add_option("--direction", options.direction, "in or out (default out)");
    message->add_option("--type", options.type, "message type 0 or 1 (default 0)");
    addCellOptions(message, options);

    CLI::App* media = log->add_subcommand("media", "a media playback");
    media->add_option("--title", options.title, "what was played")->required();
    media->add_option("--uri", options.uri, "where it is");
    media->add_option("--type", options.type, "media type 0, 1 or 2 (default 0)");
    media->add_option("--play-time", options.playTime, "seconds played (kept when above 0)");
    media->add_option("--artist", options.artist);
    media->add_option("--album", options.album);
    media->add_option("--category", options.category);
    addCellOptions(media, options);

    for (CLI::App* sub : {call, message, media}) {
        sub->callback([&kind, sub] { kind = sub->get_name(); });
    }
}

// -------------------------------------------------------------- config

void runConfig(const std::string& on, int maxCount) {
    Configuration configuration = readConfiguration();
    bool write = !on.empty() || maxCount != 0;
    if (!on.empty()) {
        for (auto& [table, enabled] : configuration.on) {
            enabled = false;
        }
        std::stringstream list(on);
        std::string word;
        while (std::getline(list, word, ',')) {
            if (word == "none" || word.empty()) {
                continue;
            }
            configuration.on[kindByWord(word).table] = true;
        }
    }
    if (maxCount < 0) {
        throw UsageError("--max must be 1 or more");
    }
    if (maxCount > 0) {
        configuration.maxCount = maxCount;
    }
    if (write) {
        writeConfiguration(configuration);
        configuration = readConfiguration();
    }
    fmt::print("{}{}\n", hostPath(kConfigPath).string(),
               configuration.exists ? "" : " (missing: nothing is logged)");
    for (const Kind& kind : kinds()) {
        fmt::print("  {:<8} {}\n", kind.word, isOn(configuration, kind.table) ? "on" : "off");
    }
    fmt::print("  keeps    {} rows per table{}\n", configuration.maxCount,
               configuration.maxCountSet ? "" : " (the default)");
}

// -------------------------------------------------------------- root

// Where the demo runs when neither --root nor ZBASE_ROOT says: next to the
// tool's build folder (build/demo-root for build/bin/lifelog), never the
// user's own platform root, since the demo starts its database afresh.
std::string demoRoot() {
    std::error_code error;
    fs::path tool = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return "demo-root";
    }
    return (tool.parent_path().parent_path() / "demo-root").string();
}

// How the user reaches this tool and its root again, for the demo's hints.
std::string invocation(const char* argv0) {
    std::error_code error;
    fs::path root = fs::path(platformRoot());
    fs::path relative = fs::relative(root, fs::current_path(error), error);
    std::string shown = !error && !relative.empty() && *relative.begin() != ".."
                            ? relative.string()
                            : root.string();
    return fmt::format("{} --root {}", argv0, shown);
}

int run(int argc, char** argv) {
    CLI::App app{"lifelog: a phone's day as data.  Records calls, messages and media plays in "
                 "the lifelog database and reads them back through the lifelog library."};
    app.require_subcommand(1);
    app.fallthrough();
    std::string root;
    bool verbose = false;
    app.add_option("--root", root,
                   "platform root folder (sets ZBASE_ROOT; default $ZBASE_ROOT, else "
                   "$XDG_DATA_HOME/zbase or ~/.local/share/zbase)");
    app.add_flag("-v,--verbose", verbose, "show the platform's trace lines (ZBASE_LOG_LEVEL=trace)");

    CLI::App* demo = app.add_subcommand(
        "demo", "record a simulated day through the service and report on it (a fresh "
                "database; default root: build/demo-root next to the tool)");

    std::string logKind;
    LogOptions logOptions;
    addLogCommands(app, logKind, logOptions);

    QueryOptions options;
    CLI::App* list = addQueryCommand(app, "list", "the rows of a table", options, false);
    list->add_option("--order", options.order, "COLUMN[:asc|desc] (default time:asc)");
    list->add_option("--then", options.then, "a second COLUMN[:asc|desc]")->needs("--order");
    CLI::App* max = addQueryCommand(app, "max", "the rows holding a column's largest value",
                                    options, true);
    CLI::App* min = addQueryCommand(app, "min", "the rows holding a column's smallest value",
                                    options, true);
    CLI::App* top = addQueryCommand(app, "top", "a column's most frequent values", options, true);
    top->add_option("--limit", options.limit, "how many values (default 5)");
    CLI::App* count = addQueryCommand(app, "count", "the number of rows", options, false);
    CLI::App* sum = addQueryCommand(app, "sum", "the sum of a column", options, true);
    CLI::App* avg = addQueryCommand(app, "avg", "the average of a column", options, true);

    std::string on;
    int maxCount = 0;
    CLI::App* config = app.add_subcommand("config", "show or write the configuration file");
    config->add_option("--on", on, "the kinds to log, e.g. call,message,media (others off)");
    config->add_option("--max", maxCount, "rows kept per table");

    ImportCommands importCommands(app);
    CLI11_PARSE(app, argc, argv);

    if (!root.empty()) {
        useRoot(root);
    } else if (demo->parsed() && (getenv("ZBASE_ROOT") == nullptr || *getenv("ZBASE_ROOT") == 0)) {
        useRoot(demoRoot());
    }
    if (verbose) {
        setenv("ZBASE_LOG_LEVEL", "trace", 1);
    }

    if (importCommands.given()) {
        return importCommands.run();
    }
    if (demo->parsed()) {
        runDemo(invocation(argv[0]));
    } else if (!logKind.empty()) {
        runLog(logKind, logOptions);
    } else if (list->parsed()) {
        runList(options);
    } else if (max->parsed() || min->parsed()) {
        runExtreme(options, max->parsed());
    } else if (top->parsed()) {
        runTop(options);
    } else if (count->parsed()) {
        runSingle(options, Single::Count);
    } else if (sum->parsed()) {
        runSingle(options, Single::Sum);
    } else if (avg->parsed()) {
        runSingle(options, Single::Average);
    } else if (config->parsed()) {
        runConfig(on, maxCount);
    }
    return 0;
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
