// What the page's views cost as the history grows: every request that the
// day, week, month and year views and the overview make, answered by the
// built `lifelog web`, over histories of 10,000, 100,000 and 1,000,000 rows.
// The rows come at the same pace in every history (a message every 10.5
// minutes, a call and a media play every 21 minutes: 274 rows a day) and
// end on the same minute, so that the larger history holds the smaller one's
// rows and goes further back: 36 days, a year, ten years.  The views asked
// for lie in the last month, so a day, week or month is the same answer at
// every size; the year is the same answer from 100,000 rows on.
//
// Each history is a platform root of its own: the library's empty tables
// (made by the library: the three tables and nothing else), filled with
// SQLite in one statement per table, and a `lifelog web` serving it.  Each
// size comes twice: as the library keeps it, and with a time-stamp and a
// type index per table, the indexes that the tool adds to a large root
// (named and made as it makes them).  The tables printed at the end put
// each request's three sizes side by side.
#include <httplib.h>
#include <signal.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "bench_tool.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSizes[] = {10000, 100000, 1000000};
constexpr const char* kLastMinute = "2024-12-31 23:59:00";

struct History {
    int rows = 0;
    bool indexed = false;
    std::string root;
    bench::WebServer server;
};
std::vector<History> g_histories;

// A kind's share of the history: its table, its insert and its pace.
struct Filling {
    const char* table;
    const char* columns;
    const char* values;  // over j, the row's place counted back from the newest
    int share;           // rows per 4 of the history
    int secondsApart;
};

constexpr Filling kFillings[] = {
    {"ACTIVITY_MESSAGE",
     "MSGLOG_DIRECTION, MSGLOG_SUMMARY, MSGLOG_TYPE, MSGLOG_PHONE_NUMBER, MSGLOG_CELLID, "
     "MSGLOG_LAC, MSGLOG_MCC, MSGLOG_MNC, LOCATION, MSGLOG_TIMESTAMP",
     "j % 2, 'See you at ' || (j % 12 + 1) || ' o''clock', 1, '+15550' || (100 + j % 60), "
     "4000 + j % 7, 310, 234, 15, CASE WHEN j % 5 = 0 THEN 'Cambridge' END",
     2, 630},
    {"ACTIVITY_CALL",
     "CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_PHONE_NUMBER, CLOG_CELLID, CLOG_LAC, "
     "CLOG_MCC, CLOG_MNC, LOCATION, CLOG_TIMESTAMP",
     "j % 3, CASE WHEN j % 3 = 2 THEN 0 ELSE 20 + j * 7 % 600 END, 1, "
     "'+15550' || (100 + j * 7 % 45), 4000 + j % 7, 310, 234, 15, NULL",
     1, 1260},
    {"ACTIVITY_MEDIA",
     "MDLOG_TITLE, MDLOG_MEDIA_URI, MDLOG_TYPE, MDLOG_PLAY_TIME, MDLOG_ARTIST, MDLOG_CELLID, "
     "MDLOG_LAC, MDLOG_MCC, MDLOG_MNC, LOCATION, MDLOG_TIMESTAMP",
     "'Track ' || (j % 200), 'file:///music/' || (j % 200) || '.ogg', 1, 120 + j % 180, "
     "'Artist ' || (j % 20), 4000 + j % 7, 310, 234, 15, NULL",
     1, 1260},
};

std::string nameOf(const std::string& request, const History& history) {
    return request + "/" + std::to_string(history.rows) + (history.indexed ? "/indexed" : "");
}

void addIndexes(const std::string& db) {
    for (const auto& [table, prefix] :
         {std::pair{"ACTIVITY_CALL", "CLOG"}, std::pair{"ACTIVITY_MESSAGE", "MSGLOG"},
          std::pair{"ACTIVITY_MEDIA", "MDLOG"}}) {
        const std::string t = table, p = prefix;
        bench::execOn(db, "CREATE INDEX IF NOT EXISTS " + t + "_BY_TIME ON " + t + " (" + p +
                              "_TIMESTAMP); CREATE INDEX IF NOT EXISTS " + t + "_BY_TYPE ON " + t +
                              " (" + p + "_TYPE)");
    }
}

void fill(const std::string& db, int rows) {
    for (const Filling& f : kFillings) {
        const int n = rows / 4 * f.share;
        bench::execOn(db, "WITH RECURSIVE k(j) AS (SELECT " + std::to_string(n - 1) +
                              " UNION ALL SELECT j - 1 FROM k WHERE j > 0) INSERT INTO " + f.table +
                              " (" + f.columns + ") SELECT " + f.values +
                              ", strftime('%Y-%m-%d %H:%M:%S', '" + kLastMinute +
                              "', '-' || (j * " + std::to_string(f.secondsApart) +
                              ") || ' seconds') FROM k");
    }
}

// The library's empty file, once, then a filled copy per history.
bool makeHistories() {
    bench::writeConfig(1000000);
    unsigned int err = 0;
    ZLifelogger_delete(_CreateDBLifeLogger(&err, 1000000));
    const std::string empty = bench::hostPath(bench::kDbPath);
    bench::execOn(empty, "SELECT 1");
    for (int i = 0; i < 2 * static_cast<int>(std::size(kSizes)); ++i) {
        History& history = g_histories.emplace_back();
        history.rows = kSizes[i % std::size(kSizes)];
        history.indexed = i >= static_cast<int>(std::size(kSizes));
        history.root = (bench::root() / nameOf("rows", history)).string();
        const fs::path db = fs::path(history.root) / std::string(bench::kDbPath).substr(1);
        const fs::path config = fs::path(history.root) / std::string(bench::kConfigPath).substr(1);
        fs::create_directories(db.parent_path());
        fs::create_directories(config.parent_path());
        fs::copy_file(empty, db);
        fs::copy_file(bench::hostPath(bench::kConfigPath), config);
        fill(db.string(), history.rows);
        if (history.indexed) {
            addIndexes(db.string());
        }
        if (!history.server.start(LIFELOG_TOOL, history.root)) {
            std::fprintf(stderr, "bench: lifelog web did not start on %s\n", history.root.c_str());
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ requests

struct Request {
    std::string name;  // "<view>/<what>"
    std::string path;
};

std::string rangeParams(const char* from, const char* to) {
    return std::string("from=") + from + "&to=" + to;
}

// What a day, week or month view asks for: each kind's rows of the range,
// the top numbers of calls and messages in it, and each kind's activity per
// day over the strip of days that ends with it (at least four weeks).
void addView(std::vector<Request>& out, const std::string& view, const char* from, const char* to,
             const char* stripFrom) {
    const std::string range = rangeParams(from, to), strip = rangeParams(stripFrom, to);
    for (const char* kind : {"call", "message", "media"}) {
        out.push_back({view + "/" + kind + "-rows",
                       "/api/" + std::string(kind) + "?" + range + "&order=time"});
    }
    out.push_back({view + "/call-top", "/api/call/top?column=CLOG_PHONE_NUMBER&n=5&" + range});
    out.push_back(
        {view + "/message-top", "/api/message/top?column=MSGLOG_PHONE_NUMBER&n=5&" + range});
    for (const char* kind : {"call", "message", "media"}) {
        out.push_back(
            {view + "/" + kind + "-days", "/api/" + std::string(kind) + "/days?" + strip});
    }
}

// The year: activity per day of the year and its top numbers; the overview:
// activity per day of the whole history (its hours of the week come with it).
std::vector<Request> pageRequests() {
    std::vector<Request> out;
    addView(out, "day", "2024-12-30", "2024-12-30", "2024-12-03");
    addView(out, "week", "2024-12-23", "2024-12-29", "2024-12-02");
    addView(out, "month", "2024-12-01", "2024-12-31", "2024-12-01");
    const std::string year = rangeParams("2024-01-01", "2024-12-31");
    for (const char* kind : {"call", "message", "media"}) {
        out.push_back(
            {std::string("year/") + kind + "-days", "/api/" + std::string(kind) + "/days?" + year});
    }
    out.push_back({"year/call-top", "/api/call/top?column=CLOG_PHONE_NUMBER&n=5&" + year});
    out.push_back({"year/message-top", "/api/message/top?column=MSGLOG_PHONE_NUMBER&n=5&" + year});
    for (const char* kind : {"call", "message", "media"}) {
        out.push_back(
            {std::string("overview/") + kind + "-days", "/api/" + std::string(kind) + "/days"});
    }
    return out;
}

// The calls' activity per day of the year through the query object alone:
// a count and a talk-time sum per day, 730 requests.
std::vector<std::string> yearByCounts() {
    std::vector<std::string> paths;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= 31; ++day) {
            char date[16];
            std::snprintf(date, sizeof date, "2024-%02d-%02d", month, day);
            if ((month == 2 && day > 29) ||
                (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11))) {
                continue;
            }
            const std::string range = rangeParams(date, date);
            paths.push_back("/api/call/count?" + range);
            paths.push_back("/api/call/sum?column=CLOG_DURATION&" + range);
        }
    }
    return paths;
}

void askEach(benchmark::State& state, const History& history,
             const std::vector<std::string>& paths) {
    httplib::Client client("127.0.0.1", history.server.port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_read_timeout(120, 0);
    const double before = bench::cpuSecondsOf(history.server.pid);
    size_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            httplib::Result result = client.Get(path);
            if (!result || result->status != 200) {
                state.SkipWithError(("failed: " + path).c_str());
                return;
            }
            bytes = result->body.size();
        }
    }
    state.counters["child_cpu"] = benchmark::Counter(
        bench::cpuSecondsOf(history.server.pid) - before, benchmark::Counter::kAvgIterations);
    state.counters["bytes"] = static_cast<double>(bytes);
}

void registerAll(const std::vector<Request>& requests) {
    for (const Request& request : requests) {
        for (const History& history : g_histories) {
            benchmark::RegisterBenchmark(nameOf(request.name, history).c_str(),
                                         [&history, path = request.path](benchmark::State& state) {
                                             askEach(state, history, {path});
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    for (const History& history : g_histories) {
        if (history.rows == kSizes[0]) {
            continue;  // the year is the same answer from 10^5 rows on
        }
        benchmark::RegisterBenchmark(
            nameOf("year/call-days-by-counts", history).c_str(),
            [&history](benchmark::State& state) { askEach(state, history, yearByCounts()); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    }
}

// ------------------------------------------------------------------- summary

// Each request at the three sizes (wall clock, ms, median), its growth from
// the smallest history that holds the same answer to the largest, and the
// sum of each view's requests.
void printGrowth(const bench::RatioReporter& reporter, std::vector<Request> requests,
                 bool indexed) {
    requests.push_back({"year/call-days-by-counts", ""});
    std::printf("\n%-28s %10s %10s %10s %8s %10s\n",
                indexed ? "with indexes (ms)" : "as the library keeps it (ms)", "10^4", "10^5",
                "10^6", "growth", "cpu 10^6");
    std::map<std::string, std::array<double, 3>> views;
    for (const Request& request : requests) {
        const std::string view = request.name.substr(0, request.name.find('/'));
        std::array<double, 3> ms{};
        double cpu = 0;
        for (size_t i = 0; i < std::size(kSizes); ++i) {
            const History& history = g_histories[i + (indexed ? std::size(kSizes) : 0)];
            const auto time = reporter.timeOf(nameOf(request.name, history));
            ms[i] = time.real;
            cpu = time.cpu;
            if (request.name != "year/call-days-by-counts") {
                views[view][i] += time.real;
            }
        }
        // The year holds the same rows from 10^5 on; the overview never does.
        const double base = view == "year" ? ms[1] : view == "overview" ? 0 : ms[0];
        std::printf("%-28s %10.2f %10.2f %10.2f %7.2fx %10.2f\n", request.name.c_str(), ms[0],
                    ms[1], ms[2], base > 0 ? ms[2] / base : 0.0, cpu);
    }
    std::printf("\n%-28s %10s %10s %10s\n", "view, all requests (ms)", "10^4", "10^5", "10^6");
    for (const auto& [view, ms] : views) {
        std::printf("%-28s %10.2f %10.2f %10.2f\n", view.c_str(), ms[0], ms[1], ms[2]);
    }
    std::printf(
        "(growth: 10^6 over 10^4, for the year over 10^5; cpu: the request's CPU time, "
        "server included, at 10^6)\n");
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    char pattern[] = "/tmp/lifelog-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    bench::root() = pattern;
    setenv("ZBASE_ROOT", pattern, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    g_histories.reserve(2 * std::size(kSizes));  // the benchmarks keep references
    const std::vector<Request> requests = pageRequests();
    if (makeHistories()) {
        registerAll(requests);
        bench::RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        printGrowth(reporter, requests, false);
        printGrowth(reporter, requests, true);
    }
    for (History& history : g_histories) history.server.stop();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(bench::root(), ignored);
    return 0;
}
