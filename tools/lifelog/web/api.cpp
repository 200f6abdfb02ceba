// The web API over the query object.  Each parameter is checked where the
// query object takes it, so that a refusal can name the parameter that
// caused it; the library's own code and text travel unchanged.
#include "web/api.h"

#include <filesystem>
#include <optional>

#include "base/configuration.h"
#include "base/query.h"
#include "base/render.h"
#include "base/root.h"
#include "base/sum_check.h"
#include "base/text.h"
#include "people/naming.h"
#include "web/days.h"
#include "web/people_api.h"

namespace lifelog_tool {

namespace {

// An answer that is not a 200, thrown from anywhere below answerApi.
struct Refusal {
    int status;
    nlohmann::ordered_json body;
};

Refusal refusal(int status, std::string_view parameter, const std::string& text) {
    nlohmann::ordered_json body = {{"error", text}};
    if (!parameter.empty()) {
        body["parameter"] = parameter;
    }
    return {status, body};
}

Refusal refusal(int status, std::string_view parameter, const Failure& failure) {
    Refusal out = refusal(status, parameter, failure.what());
    out.body["code"] = failure.code();
    out.body["codeText"] = Exception_toString(failure.code());
    return out;
}

// Runs one step that takes the client's `parameter`: whatever the tool or
// the library refuses there is a 400 naming it.
template <typename Step>
auto taking(std::string_view parameter, Step step) {
    try {
        return step();
    } catch (const UsageError& error) {
        throw refusal(400, parameter, error.what());
    } catch (const Failure& failure) {
        throw refusal(400, parameter, failure);
    }
}

const std::string* param(const ApiParams& params, std::string_view name) {
    auto found = params.find(name);
    return found != params.end() && !found->second.empty() ? &found->second : nullptr;
}

int number(const ApiParams& params, std::string_view name, int fallback, int least) {
    const std::string* text = param(params, name);
    if (text == nullptr) {
        return fallback;
    }
    std::optional<int> value = wholeNumber<int>(*text);
    if (!value || *value < least) {
        throw refusal(
            400, name,
            fmt::format("{} \"{}\" is not a whole number of {} or more", name, *text, least));
    }
    return *value;
}

std::optional<DateTime> bound(const ApiParams& params, std::string_view name, bool endOfDay) {
    const std::string* text = param(params, name);
    if (text == nullptr) {
        return std::nullopt;
    }
    // The ISO form the API hands out is accepted back.
    std::string plain = *text;
    if (plain.size() > 10 && plain[10] == 'T') {
        plain[10] = ' ';
    }
    std::optional<DateTime> value = parseBound(plain, endOfDay);
    if (!value) {
        throw refusal(400, name,
                      fmt::format("{} \"{}\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\"", name, *text));
    }
    return value;
}

std::string requiredColumn(const Kind& kind, const ApiParams& params) {
    const std::string* text = param(params, "column");
    if (text == nullptr) {
        throw refusal(400, "column", "column is required");
    }
    return taking("column", [&] { return resolveColumn(kind, *text); });
}

// "duration", "duration:desc" -> column and order type.
std::pair<std::string, int> orderParameter(const Kind& kind, std::string_view parameter,
                                           const std::string& text) {
    return taking(parameter, [&] { return orderOf(kind, text); });
}

// The query object for the request's kind, range and condition.  A
// database that does not exist yet is a 404: nothing was logged, and the
// server does not make the file.
std::unique_ptr<Query> openQuery(const Kind& kind, const ApiParams& params) {
    Range range{bound(params, "from", false), bound(params, "to", true)};
    if (!databaseExists()) {
        throw refusal(404, "", nothingLoggedYet());
    }
    std::unique_ptr<Query> query;
    try {
        query = std::make_unique<Query>(kind, range);
    } catch (const Failure& failure) {
        if (failure.code() == ZBASE_E_FILE_NOT_FOUND) {
            throw refusal(404, "", failure);
        }
        if (range.from || range.to) {
            throw refusal(400, range.from ? "from" : "to", failure);
        }
        throw;
    }
    std::string condition = param(params, "where") != nullptr ? *param(params, "where") : "";
    if (const std::string* search = param(params, "search")) {
        std::string found = taking("search", [&] {
            Query numbers(kind, range);
            return searchConditionOver(numbers, *search);
        });
        condition = bothConditions(condition, found);
    }
    if (!condition.empty()) {
        taking(param(params, "where") != nullptr ? "where" : "search",
               [&] { query->where(condition); });
    }
    return query;
}

// A listing or aggregate that fails once its statement runs: the client
// wrote the condition and named the column, so those are what it is told
// about; a busy database is the server's, and says so.
template <typename Run>
auto running(const ApiParams& params, Run run) {
    try {
        return run();
    } catch (const Failure& failure) {
        if (failure.code() == 1005 || failure.code() == 1006) {
            throw refusal(503, "", failure);
        }
        if (param(params, "where") != nullptr) {
            throw refusal(400, "where", failure);
        }
        if (param(params, "column") != nullptr) {
            throw refusal(400, "column", failure);
        }
        throw;
    }
}

nlohmann::ordered_json rowJson(const Kind& kind, const Row& row) {
    nlohmann::ordered_json object = {{"time", nullptr}};
    if (row.hasTime()) {
        object["time"] = isoTime(row.time);
    }
    object.update(jsonRow(kind, row));
    return object;
}

nlohmann::ordered_json rowsJson(const Kind& kind, const std::vector<Row>& rows, size_t offset,
                                size_t limit) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (size_t i = offset; i < rows.size() && i - offset < limit; ++i) {
        array.push_back(rowJson(kind, rows[i]));
    }
    return array;
}

void orderListing(const Kind& kind, const ApiParams& params, Query& query) {
    const std::string* order = param(params, "order");
    auto [column, type] = orderParameter(kind, "order", order != nullptr ? *order : "time");
    if (const std::string* then = param(params, "then")) {
        auto [thenColumn, thenType] = orderParameter(kind, "then", *then);
        taking("then", [&] { query.orderBy(column, type, thenColumn, thenType); });
    } else {
        taking("order", [&] { query.orderBy(column, type); });
    }
}

// Rows stream from the enumerator: those before the offset are passed over
// and the walk ends at the limit, so a listing holds and converts only what
// it answers, whatever the table holds; the total is the library's count of
// the same rows.  A row the enumerator could not read on the way is
// counted, never passed over in silence.
nlohmann::ordered_json listing(const Kind& kind, const ApiParams& params) {
    size_t limit = static_cast<size_t>(number(params, "limit", -1, 0));
    size_t offset = static_cast<size_t>(number(params, "offset", 0, 0));
    std::unique_ptr<Query> query = openQuery(kind, params);
    orderListing(kind, params, *query);
    const int total = running(params, [&] { return query->count(); });
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    size_t skipped = 0;
    if (limit > 0) {
        size_t seen = 0;
        Directory people;
        auto each = [&](const Row& row) {
            if (seen++ >= offset) {
                Row named = row;
                addName(people, kind, named, true);
                rows.push_back(rowJson(kind, named));
            }
            return rows.size() < limit;
        };
        skipped = running(params, [&] { return query->forEach(each).size(); });
    }
    return {{"kind", kind.word},  {"table", kind.table}, {"total", total},
            {"skipped", skipped}, {"offset", offset},    {"rows", rows}};
}

nlohmann::ordered_json aggregate(const Kind& kind, std::string_view call, const ApiParams& params) {
    nlohmann::ordered_json body = {{"kind", kind.word}};
    if (call == "count") {
        std::unique_ptr<Query> query = openQuery(kind, params);
        body["count"] = running(params, [&] { return query->count(); });
        return body;
    }
    std::string column = requiredColumn(kind, params);
    body["column"] = column;
    int n = call == "top" ? number(params, "n", 5, 1) : 0;
    std::unique_ptr<Query> query = openQuery(kind, params);
    if (call == "sum") {
        CheckedSum checked = running(params, [&] { return checkedSum(*query, column); });
        if (!checked.fits) {
            throw refusal(422, "", checked.complaint);
        }
        body["sum"] = checked.sum;
    } else if (call == "avg") {
        body["average"] = running(params, [&] { return query->average(column); });
    } else if (call == "max" || call == "min") {
        std::vector<Row> rows = running(
            params, [&] { return (call == "max" ? query->max(column) : query->min(column)).rows; });
        body["rows"] = rowsJson(kind, rows, 0, rows.size());
    } else if (const std::string* by = param(params, "by"); by != nullptr && *by == "person") {
        body["values"] = running(params, [&] { return topByPerson(*query, n); });
    } else {
        std::vector<Row> rows = running(params, [&] { return query->top(column, n).rows; });
        nlohmann::ordered_json values = jsonValueCounts(valueCounts(rows, column));
        body["values"] = values;
    }
    return body;
}

nlohmann::ordered_json configuration() {
    Configuration read = readConfiguration();
    std::error_code error;
    nlohmann::ordered_json kindsJson = nlohmann::ordered_json::array();
    for (const Kind& kind : kinds()) {
        nlohmann::ordered_json columns = nlohmann::ordered_json::array();
        for (const Column& column : kind.columns) {
            columns.push_back({{"name", column.name}, {"short", column.shortName}});
        }
        kindsJson.push_back({{"kind", kind.word},
                             {"plural", kind.plural},
                             {"table", kind.table},
                             {"on", isOn(read, kind.table)},
                             {"timeColumn", kind.timeColumn},
                             {"columns", columns}});
    }
    return {{"root", platformRoot()},
            {"configuration", hostPath(kConfigPath).string()},
            {"configurationExists", read.exists},
            {"database", hostPath(kDatabasePath).string()},
            {"databaseExists", std::filesystem::exists(hostPath(kDatabasePath), error)},
            {"maxCount", read.maxCount},
            {"kinds", kindsJson}};
}

}  // namespace

ApiAnswer answerApi(std::string_view path, const ApiParams& params) {
    constexpr std::string_view prefix = "/api/";
    if (path.substr(0, prefix.size()) != prefix) {
        return {404, {{"error", fmt::format("no such call: {}", path)}}};
    }
    std::string_view rest = path.substr(prefix.size());
    size_t slash = rest.find('/');
    std::string_view word = rest.substr(0, slash);
    std::string_view call = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
    try {
        if (word == "config" && slash == std::string_view::npos) {
            return {200, configuration()};
        }
        if (word == "people") {
            return answerPeople(call);
        }
        const Kind* kind = kindNamed(word);
        if (kind == nullptr) {
            throw refusal(404, "kind",
                          fmt::format("unknown kind '{}': use call, message or media", word));
        }
        if (slash == std::string_view::npos) {
            return {200, listing(*kind, params)};
        }
        if (call == "days") {
            const std::string* contains = param(params, "contains");
            return answerDays(*kind, {bound(params, "from", false), bound(params, "to", true)},
                              contains != nullptr ? *contains : "");
        }
        for (std::string_view known : {"count", "sum", "avg", "max", "min", "top"}) {
            if (call == known) {
                return {200, aggregate(*kind, call, params)};
            }
        }
        throw refusal(
            404, "",
            fmt::format("no such call: {} (use count, sum, avg, max, min, top or days)", path));
    } catch (const Refusal& refused) {
        return {refused.status, refused.body};
    } catch (const std::exception& failure) {
        return {500, {{"error", failure.what()}}};
    }
}

}  // namespace lifelog_tool
