// The report asks the same API as the served page, for every row of each
// kind in its range, and puts the answers into the page: what the file
// shows is what the server would have shown on the day it was written.
#include "web/report.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>

#include "base/configuration.h"
#include "base/query.h"
#include "web/api.h"
#include "web/page.h"

namespace lifelog_tool {

namespace {

// What the report holds: every kind's rows as the API lists them, the
// first and last time stamp among them, and a count per kind.
struct Gathered {
    nlohmann::ordered_json rows = nlohmann::ordered_json::object();
    std::vector<std::string> counts;
    std::string first;
    std::string last;
};

// The API's rows of one kind, in time order; a refused range is the
// user's --from or --to.
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

Gathered gather(const ReportOptions& options) {
    ApiParams params{{"order", "time"}};
    if (!options.from.empty()) {
        params["from"] = options.from;
    }
    if (!options.to.empty()) {
        params["to"] = options.to;
    }
    Gathered gathered;
    for (const Kind& kind : kinds()) {
        nlohmann::ordered_json list = rowsOf(kind, params);
        for (const auto& row : list) {
            if (row["time"].is_string()) {
                std::string time = row["time"];
                gathered.first = gathered.first.empty() ? time : std::min(gathered.first, time);
                gathered.last = gathered.last.empty() ? time : std::max(gathered.last, time);
            }
        }
        gathered.counts.push_back(fmt::format("{} {}", list.size(), kind.plural));
        gathered.rows[kind.word] = std::move(list);
    }
    return gathered;
}

}  // namespace

void runReport(const ReportOptions& options) {
    Gathered gathered = gather(options);
    auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    nlohmann::ordered_json data = {
        {"report",
         {{"database", hostPath(kDatabasePath).string()},
          {"from", !options.from.empty() ? options.from : gathered.first.substr(0, 10)},
          {"to", !options.to.empty() ? options.to : gathered.last.substr(0, 10)},
          {"written", fmt::format("{:%Y-%m-%d %H:%M} UTC", now)}}},
        {"rows", gathered.rows}};
    std::string page = reportPage(data);

    std::ofstream out(options.html, std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out) {
        throw UsageError(fmt::format("cannot write {}", options.html));
    }
    const std::vector<std::string>& counts = gathered.counts;
    fmt::print("wrote {} ({} bytes): {}, {}, {}\n", options.html, page.size(), counts[0], counts[1],
               counts[2]);
}

}  // namespace lifelog_tool
