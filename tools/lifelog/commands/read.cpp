// The reading commands: list, max, min, top, count, sum, avg.  Each makes
// its query objects through the client layer and prints what comes back.
#include <fmt/format.h>

#include <limits>
#include <memory>

#include "base/query.h"
#include "base/render.h"
#include "base/sum_check.h"
#include "commands/commands.h"
#include "people/grouping.h"
#include "people/naming.h"

namespace lifelog_tool {

namespace {

struct ReadOptions {
    std::string kind;
    std::string column;
    std::string from;
    std::string to;
    std::string where;
    std::string order;
    std::string then;
    std::string search;
    std::string by = "value";
    std::string format = "table";
    int limit = 0;
    bool json = false;
    RenderOptions render;

    Format outputFormat() const { return json ? Format::Json : formatByWord(format); }
};

// The --search condition: one look at the table's numbers first, since a
// name or a number however written stands for the numbers as logged.
std::string searchOf(const Kind& kind, const ReadOptions& options) {
    Query numbers(kind, rangeOfOptions(options.from, options.to));
    if (!options.where.empty()) {
        numbers.where(options.where);
    }
    return searchConditionOver(numbers, options.search);
}

Query queryOf(const Kind& kind, const ReadOptions& options) {
    Query query(kind, rangeOfOptions(options.from, options.to));
    std::string condition = options.where;
    if (!options.search.empty()) {
        condition = bothConditions(condition, searchOf(kind, options));
    }
    if (!condition.empty()) {
        query.where(condition);
    }
    return query;
}

void printListing(const Kind& kind, Listing listing, Format format, RenderOptions render) {
    Directory people;
    addNames(people, kind, listing.rows);
    fmt::print("{}", renderRows(kind, listing.rows, format, render));
    fflush(stdout);
    reportSkipped(kind, listing.skipped);
}

void runList(const ReadOptions& options) {
    const Kind& kind = kindByWord(options.kind);
    Format format = options.outputFormat();
    if (options.limit < 0) {
        throw UsageError("--limit must be 0 (all) or more");
    }
    Query query = queryOf(kind, options);
    auto [column, type] = orderOf(kind, options.order.empty() ? "time" : options.order);
    if (options.then.empty()) {
        query.orderBy(column, type);
    } else {
        auto [thenColumn, thenType] = orderOf(kind, options.then);
        query.orderBy(column, type, thenColumn, thenType);
    }
    printListing(kind, query.list(static_cast<size_t>(options.limit)), format, options.render);
}

void runExtreme(const ReadOptions& options, bool largest) {
    const Kind& kind = kindByWord(options.kind);
    Format format = options.outputFormat();
    std::string column = resolveColumn(kind, options.column);
    Query query = queryOf(kind, options);
    query.orderBy(kind.timeColumn, LIFELOG_ORDER_ASC);
    printListing(kind, largest ? query.max(column) : query.min(column), format, options.render);
}

// `top KIND number --by person`: the numbers counted per person.
void runTopByPerson(const Kind& kind, const std::string& column, const ReadOptions& options) {
    if (column != kind.subjectColumn || kind.id == KindId::Media) {
        throw UsageError("--by person counts the number column of calls or messages");
    }
    Query query = queryOf(kind, options);
    Directory people;
    std::vector<PersonCount> counted =
        countByPerson(people, numberCounts(query), static_cast<size_t>(options.limit));
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    Table table{{"person", "numbers", "count"}, {false, false, true}, {}};
    for (const PersonCount& person : counted) {
        std::string numbers;
        for (const std::string& number : person.numbers) {
            numbers += (numbers.empty() ? "" : ", ") + number;
        }
        array.push_back(
            {{"person", person.who.name.empty() ? nlohmann::ordered_json()
                                                : nlohmann::ordered_json(person.who.name)},
             {"key", person.who.key},
             {"numbers", person.numbers},
             {"count", person.count}});
        table.rows.push_back({person.who.name.empty() ? person.numbers.front() : person.who.name,
                              numbers, std::to_string(person.count)});
    }
    fmt::print("{}", options.json ? jsonText(array, 2) + "\n" : table.render());
}

void runTop(const ReadOptions& options) {
    const Kind& kind = kindByWord(options.kind);
    std::string column = resolveColumn(kind, options.column);
    if (options.by != "value" && options.by != "person") {
        throw UsageError("--by takes value or person");
    }
    if (options.limit < 0) {
        throw UsageError("--limit must be 0 (all) or more");
    }
    if (options.by == "person") {
        return runTopByPerson(kind, column, options);
    }
    int limit = options.limit == 0 ? std::numeric_limits<int>::max() : options.limit;
    Query query = queryOf(kind, options);
    Listing listing = query.top(column, limit);
    std::vector<ValueCount> pairs = valueCounts(listing.rows, column);
    if (options.json) {
        fmt::print("{}\n", jsonText(jsonValueCounts(pairs), 2));
    } else {
        Table table{{shortName(kind, column), "count"}, {false, true}, {}};
        for (const ValueCount& pair : pairs) {
            table.rows.push_back({pair.value != nullptr ? cellText(*pair.value) : "(none)",
                                  fmt::format("{}", pair.count)});
        }
        fmt::print("{}", table.render());
    }
    fflush(stdout);
    reportSkipped(kind, listing.skipped);
}

enum class Single { Count, Sum, Average };

// Sums and averages of phone numbers or texts would be answered by the
// database without a word (texts count as 0): say so instead.
void requireNumbers(const Kind& kind, const std::string& column, const char* command) {
    ColumnType type = kind.column(column)->type;
    if (type != ColumnType::Integer) {
        std::string name = shortName(kind, column);
        throw UsageError(fmt::format(
            "{} adds numbers, and the {} table's {} column holds {} (try `top {} {}`)", command,
            kind.word, name, type == ColumnType::Time ? "time stamps" : "texts", kind.word, name));
    }
}

void runSingle(const ReadOptions& options, Single what) {
    const Kind& kind = kindByWord(options.kind);
    std::string column = what == Single::Count ? "" : resolveColumn(kind, options.column);
    if (!column.empty()) {
        requireNumbers(kind, column, what == Single::Sum ? "sum" : "avg");
    }
    Query query = queryOf(kind, options);
    nlohmann::ordered_json result = {{"kind", kind.word}};
    if (!column.empty()) {
        result["column"] = column;
    }
    switch (what) {
        case Single::Count:
            result["count"] = query.count();
            break;
        case Single::Sum: {
            CheckedSum checked = checkedSum(query, column);
            if (!checked.fits) {
                throw UsageError(checked.complaint);
            }
            result["sum"] = checked.sum;
            break;
        }
        case Single::Average:
            result["average"] = query.average(column);
            break;
    }
    if (options.json) {
        fmt::print("{}\n", jsonText(result, 2));
    } else if (what == Single::Average) {
        fmt::print("{:.2f}\n", result["average"].get<double>());
    } else {
        fmt::print("{}\n", result.back().dump());
    }
}

CLI::App* addReader(Commands& commands, const char* name, const char* description, bool withColumn,
                    std::function<void(const ReadOptions&)> run) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App* command = commands.add(name, description, [options, run](const Context&) {
        run(*options);
        return 0;
    });
    command->add_option("kind", options->kind, "call, message or media")->required();
    if (withColumn) {
        command
            ->add_option("column", options->column,
                         "a column: a short name (duration, number, time...) or the "
                         "table's own (CLOG_DURATION)")
            ->required();
    }
    addRangeOptions(command, options->from, options->to);
    command->add_option("--where", options->where,
                        "an SQL condition on the table's columns, e.g. \"CLOG_DURATION > 60\"");
    command->add_flag("--json", options->json, "print JSON instead of a table");
    command->add_option("--search", options->search,
                        "only rows with someone whose name holds TEXT, a number however "
                        "written, or a message holding TEXT (docs/people.md)");
    std::string_view which = name;
    if (which == "list" || which == "max" || which == "min") {
        command->add_option("--format", options->format,
                            "table, csv, json or ndjson (one JSON object per line)");
        command->add_flag("--raw", options->render.raw,
                          "directions and types as stored numbers, not words");
        command->add_flag("--all-columns", options->render.allColumns,
                          "also the cell columns when no row has a cell");
    }
    if (which == "list") {
        command->add_option("--order", options->order, "COLUMN[:asc|desc] (default time:asc)");
        command->add_option("--then", options->then, "a second COLUMN[:asc|desc]")
            ->needs("--order");
        command->add_option("--limit", options->limit, "at most N rows (default: all)");
    }
    if (which == "top") {
        options->limit = 5;
        command->add_option("--limit", options->limit, "how many values (default 5; 0: all)");
        command->add_option("--by", options->by,
                            "value (default) or person: numbers counted per person");
    }
    return command;
}

}  // namespace

void addReadCommands(Commands& commands) {
    addReader(commands, "list", "the rows of a table", false, runList);
    addReader(commands, "max", "the rows holding a column's largest value", true,
              [](const ReadOptions& options) { runExtreme(options, true); });
    addReader(commands, "min", "the rows holding a column's smallest value", true,
              [](const ReadOptions& options) { runExtreme(options, false); });
    addReader(commands, "top", "a column's most frequent values", true, runTop);
    addReader(commands, "count", "the number of rows", false,
              [](const ReadOptions& options) { runSingle(options, Single::Count); });
    addReader(commands, "sum", "the sum of a column", true,
              [](const ReadOptions& options) { runSingle(options, Single::Sum); });
    addReader(commands, "avg", "the average of a column", true,
              [](const ReadOptions& options) { runSingle(options, Single::Average); });
}

}  // namespace lifelog_tool
