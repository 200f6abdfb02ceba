// The report asks the same API as the served page, for every row of each
// kind in its range, and puts the answers into the page: what the file
// shows is what the server would have shown on the day it was written.
#include "web/report.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <chrono>
#include <memory>

#include "base/configuration.h"
#include "base/query.h"
#include "base/safe_write.h"
#include "web/api.h"
#include "web/page.h"

namespace lifelog_tool {

namespace {

// One kind's rows of the report's range, as the page's API gives them; a
// bad --from or --to is named as the option.
nlohmann::ordered_json rowsOf(const Kind& kind, const ApiParams& params) {
    ApiAnswer answer = answerApi(fmt::format("/api/{}", kind.word), params);
    if (answer.status != 200) {
        std::string parameter = answer.body.value("parameter", std::string());
        std::string error = answer.body.value("error", std::string("no answer"));
        if (parameter == "from" || parameter == "to") {
            throw UsageError(fmt::format("--{}: {}", parameter, error));
        }
        throw UsageError(fmt::format("reading the {} for the report: {}", kind.plural, error));
    }
    return std::move(answer.body["rows"]);
}

// Widens [first, last] to the time stamps of `list`.
void widenSpan(const nlohmann::ordered_json& list, std::string& first, std::string& last) {
    for (const auto& row : list) {
        if (row["time"].is_string()) {
            std::string time = row["time"];
            first = first.empty() || time < first ? time : first;
            last = last.empty() || time > last ? time : last;
        }
    }
}

}  // namespace

void runReport(const ReportOptions& options) {
    ApiParams params{{"order", "time"}};
    if (!options.from.empty()) {
        params["from"] = options.from;
    }
    if (!options.to.empty()) {
        params["to"] = options.to;
    }
    nlohmann::ordered_json rows = nlohmann::ordered_json::object();
    std::vector<std::string> counts;
    std::string first, last;
    for (const Kind& kind : kinds()) {
        nlohmann::ordered_json list = rowsOf(kind, params);
        widenSpan(list, first, last);
        counts.push_back(fmt::format("{} {}", list.size(), kind.plural));
        rows[kind.word] = std::move(list);
    }
    auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    nlohmann::ordered_json data = {
        {"report",
         {{"database", hostPath(kDatabasePath).string()},
          {"from", !options.from.empty() ? options.from : first.substr(0, 10)},
          {"to", !options.to.empty() ? options.to : last.substr(0, 10)},
          {"written", fmt::format("{:%Y-%m-%d %H:%M} UTC", now)}}},
        {"rows", rows}};
    std::string page = reportPage(data);

    writeFileSafely(
        options.html, [&page](std::ostream& out) { out << page; }, databaseFiles());
    fmt::print(options.html == "-" ? stderr : stdout, "wrote {} ({} bytes): {}, {}, {}\n",
               options.html == "-" ? "standard output" : options.html, page.size(), counts[0],
               counts[1], counts[2]);
}

}  // namespace lifelog_tool
