// The command-line tool's two heavy paths, run as the built `lifelog`
// executable in a process of its own, against raw SQLite in this process:
//   web-month/*   GET /api/message?from=2024-03-01&to=2024-03-31 on a year
//                 of 75,000 messages (about 6,200 in the month), answered by
//                 `lifelog web` on this process's platform root and asked
//                 for by cpp-httplib's client over one kept-alive
//                 connection; baselines: raw-http, the same listing with a
//                 sqlite3_step loop reading every column into the same JSON
//                 text, served by a cpp-httplib server in this process to
//                 the same client; raw, that listing and JSON without HTTP;
//                 the file carries the indexes `lifelog index` adds (the
//                 tool adds them to a root kept above the default maximum);
//   web-month-bare/*  the same on the file as the library made it (its
//                 three tables, no index);
//   import/*      `lifelog import` of a generated history (10,000 entries
//                 of scripts/generate-backup, seed 1) into a fresh root;
//                 baseline raw-prepared: the rows that import stores, each
//                 logged as the library logs it (trim, then the insert in
//                 its own transaction) with prepared statements on one
//                 connection to a fresh file with the same tables and the
//                 indexes the tool added to its file.
// The server's and the importer's CPU time is read from the child process
// (counter child_cpu) and added to the CPU column of the ratio table.  After
// the runs the server's answer and the raw JSON are compared byte for byte,
// and the imported file's rows with the baseline's.
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "bench_tool.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"

namespace {

using bench::RawDb;
namespace fs = std::filesystem;

constexpr int kMessages = 75000;
constexpr int kImportEntries = 10000;
constexpr const char* kMonthPath = "/api/message?from=2024-03-01&to=2024-03-31";
constexpr const char* kMonthSql =
    "SELECT * FROM ACTIVITY_MESSAGE WHERE MSGLOG_TIMESTAMP BETWEEN '2024-03-01 00:00:00' AND "
    "'2024-03-31 23:59:59' ORDER BY MSGLOG_TIMESTAMP ASC";

// ------------------------------------------------------------ child processes

using bench::cpuSecondsOf;
using bench::spawn;

// `lifelog web` on this process's root, for the whole run.
bench::WebServer g_server;

bool startServer() {
    return g_server.start(LIFELOG_TOOL, bench::root().string());
}

void stopServer() {
    g_server.stop();
}

// ------------------------------------------------------------------- the files

std::string importDir(const std::string& name) {
    return (bench::root() / "import" / name).string();
}

// The web's year of messages in this process's root (the tables
// made by the library), and an empty copy of that file for the import's
// baseline.  Every third message has a non-ASCII summary, every fifth a
// location.
void makeFiles() {
    bench::writeConfig(kMessages);
    unsigned int err = 0;
    ZLifelogger_delete(_CreateDBLifeLogger(&err, kMessages));
    const std::string db = bench::hostPath(bench::kDbPath);
    bench::execOn(db, "SELECT 1");
    fs::create_directories(importDir(""));
    fs::copy_file(db, importDir("empty.db"));
    bench::execOn(
        db, "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
                std::to_string(kMessages) +
                ") INSERT INTO ACTIVITY_MESSAGE (MSGLOG_DIRECTION, MSGLOG_SUMMARY, MSGLOG_TYPE, "
                "MSGLOG_PHONE_NUMBER, MSGLOG_CELLID, MSGLOG_LAC, MSGLOG_MCC, MSGLOG_MNC, LOCATION, "
                "MSGLOG_TIMESTAMP) SELECT i % 2, substr('Running late, back soon ' || i || "
                "CASE WHEN i % 3 = 0 THEN ' Grüße 👍' ELSE ' ok' END, 1, 30), i % 2, "
                "'+15550' || (100 + i % 60), 4000 + i % 7, 310, 234, 15, "
                "CASE WHEN i % 5 = 0 THEN 'Cambridge' END, "
                "strftime('%Y-%m-%d %H:%M:%S', '2024-01-01', '+' || (i * 420) || ' seconds') "
                "FROM k");
    // The backup files, and one import of them whose rows the baseline logs.
    if (std::system(("python3 " LIFELOG_SCRIPTS "/generate-backup " + importDir("backup") +
                     " --entries " + std::to_string(kImportEntries) + " --seed 1 >/dev/null")
                        .c_str()) != 0) {
        std::fprintf(stderr, "bench: generate-backup failed\n");
    }
}

// A fresh root for one import: the configuration alone, no database.
std::string freshImportRoot(const std::string& name) {
    const std::string dir = importDir(name);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    const fs::path config = fs::path(dir) / std::string(bench::kConfigPath).substr(1);
    fs::create_directories(config.parent_path());
    std::ofstream(config)
        << "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\n"
           "ACTIVITY_MEDIA = false\n\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = "
        << kImportEntries << "\n";
    return dir;
}

// Runs `lifelog import` of the backup into `root`; its CPU seconds, or -1.
double runImport(const std::string& root) {
    pid_t pid = spawn({LIFELOG_TOOL, "--root", root, "import", "--tz", "UTC",
                       importDir("backup") + "/calls.xml", importDir("backup") + "/sms.xml"},
                      nullptr);
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string dbOf(const std::string& root) {
    return (fs::path(root) / std::string(bench::kDbPath).substr(1)).string();
}

// ------------------------------------------------------------------- web-month

// The year's file as the tool keeps it (with its indexes) or as the library
// made it; the server and the baselines read that one file.
void indexYear(bool indexed) {
    const std::string db = bench::hostPath(bench::kDbPath);
    bench::dropIndexes(db);
    if (indexed && !bench::toolIndexes(bench::root().string())) {
        std::fprintf(stderr, "bench: lifelog index failed\n");
    }
}

// The month as the server answers it: the same keys in the same order, the
// time stamp also as ISO text, every column read by its type.
std::string rawMonthJson() {
    RawDb db(bench::hostPath(bench::kDbPath));
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), kMonthSql, -1, &stmt, nullptr) != SQLITE_OK) {
        return {};
    }
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        nlohmann::ordered_json row = {{"time", nullptr}};
        const int columns = sqlite3_column_count(stmt);
        for (int c = 0; c < columns; ++c) {
            const char* name = sqlite3_column_name(stmt, c);
            switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    row[name] = sqlite3_column_int64(stmt, c);
                    break;
                case SQLITE_FLOAT:
                    row[name] = sqlite3_column_double(stmt, c);
                    break;
                case SQLITE_TEXT: {
                    std::string text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                     static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
                    if (std::strcmp(name, "MSGLOG_TIMESTAMP") == 0 && text.size() == 19) {
                        std::string iso = text;
                        iso[10] = 'T';
                        row["time"] = iso;
                    }
                    row[name] = std::move(text);
                    break;
                }
                default:
                    row[name] = nullptr;
            }
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    const size_t total = rows.size();
    nlohmann::ordered_json body = {{"kind", "message"}, {"table", "ACTIVITY_MESSAGE"},
                                   {"total", total},    {"skipped", 0},
                                   {"offset", 0},       {"rows", std::move(rows)}};
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string g_served;  // the tool's answer, kept for the check

// Requests the month from a server on `port` per iteration.
void requestLoop(benchmark::State& state, int port, bool keep) {
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_read_timeout(60, 0);
    for (auto _ : state) {
        httplib::Result result = client.Get(kMonthPath);
        if (!result || result->status != 200) {
            state.SkipWithError("the month's request failed");
            return;
        }
        if (keep && g_served.empty()) {
            g_served = result->body;
        }
    }
    state.counters["requests/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void webOurs(benchmark::State& state) {
    if (g_server.pid < 0 && !startServer()) {
        state.SkipWithError("lifelog web did not start");
        return;
    }
    const double before = cpuSecondsOf(g_server.pid);
    requestLoop(state, g_server.port, true);
    state.counters["child_cpu"] =
        benchmark::Counter(cpuSecondsOf(g_server.pid) - before, benchmark::Counter::kAvgIterations);
}

void webRawHttp(benchmark::State& state) {
    httplib::Server server;
    server.Get("/api/message", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(rawMonthJson(), "application/json; charset=utf-8");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    requestLoop(state, port, false);
    server.stop();
    serving.join();
}

void webRaw(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        bytes += rawMonthJson().size();
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["requests/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// ---------------------------------------------------------------------- import

void importOurs(benchmark::State& state) {
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string root = freshImportRoot("ours");
        state.ResumeTiming();
        const double used = runImport(root);
        if (used < 0) {
            state.SkipWithError("lifelog import failed");
            return;
        }
        cpu += used;
    }
    state.counters["child_cpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["entries/s"] = benchmark::Counter(
        static_cast<double>(kImportEntries * state.iterations()), benchmark::Counter::kIsRate);
}

// The rows one import stored, in the order it stored them (each table by
// its key: calls first, then messages, as the files are given).
struct StoredRows {
    std::vector<std::string> inserts;  // per table: the insert with its columns
    std::vector<std::vector<std::vector<sqlite3_value*>>> rows;
    std::vector<std::string> trims;
};
StoredRows g_stored;

bool loadStoredRows() {
    if (!g_stored.rows.empty()) {
        return true;
    }
    const std::string root = freshImportRoot("reference");
    if (runImport(root) < 0) {
        return false;
    }
    RawDb db(dbOf(root));
    for (const auto& [table, prefix, stamp] :
         {std::tuple{"ACTIVITY_CALL", "CLOG", "CLOG_TIMESTAMP"},
          std::tuple{"ACTIVITY_MESSAGE", "MSGLOG", "MSGLOG_TIMESTAMP"}}) {
        const std::string t = table, p = prefix, s = stamp;
        const std::string columns = p + "_PHONE_NUMBER, " + p + "_DIRECTION, " +
                                    (t == "ACTIVITY_CALL" ? "CLOG_DURATION, " : "") + p +
                                    "_TYPE, " + (t == "ACTIVITY_CALL" ? "" : "MSGLOG_SUMMARY, ") +
                                    p + "_CELLID, " + p + "_LAC, " + p + "_MCC, " + p + "_MNC, " +
                                    s;
        sqlite3_stmt* read = nullptr;
        sqlite3_prepare_v2(db.get(),
                           ("SELECT " + columns + " FROM " + t + " ORDER BY LOG_KEY").c_str(), -1,
                           &read, nullptr);
        std::vector<std::vector<sqlite3_value*>> rows;
        while (read != nullptr && sqlite3_step(read) == SQLITE_ROW) {
            std::vector<sqlite3_value*> row;
            for (int c = 0; c < sqlite3_column_count(read); ++c) {
                row.push_back(sqlite3_value_dup(sqlite3_column_value(read, c)));
            }
            rows.push_back(std::move(row));
        }
        const int binds = read != nullptr ? sqlite3_column_count(read) : 0;
        sqlite3_finalize(read);
        std::string marks;
        for (int c = 0; c < binds; ++c) marks += c ? ",?" : "?";
        g_stored.inserts.push_back("INSERT INTO " + t + " (" + columns + ") VALUES (" + marks +
                                   ")");
        g_stored.trims.push_back("DELETE FROM " + t + " WHERE (SELECT COUNT(LOG_KEY) FROM " + t +
                                 ") > ? AND LOG_KEY=(SELECT LOG_KEY FROM " + t + " WHERE " + s +
                                 "=(SELECT MIN(" + s + ") FROM " + t + ") LIMIT 1)");
        g_stored.rows.push_back(std::move(rows));
    }
    return true;
}

size_t storedCount() {
    size_t count = 0;
    for (const auto& rows : g_stored.rows) count += rows.size();
    return count;
}

void importRawPrepared(benchmark::State& state) {
    if (!loadStoredRows()) {
        state.SkipWithError("the reference import failed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const std::string root = freshImportRoot("raw");
        fs::create_directories(fs::path(dbOf(root)).parent_path());
        fs::copy_file(importDir("empty.db"), dbOf(root));
        bench::copyIndexes(dbOf(importDir("reference")), dbOf(root));
        state.ResumeTiming();
        RawDb db(dbOf(root));
        for (size_t table = 0; table < g_stored.rows.size(); ++table) {
            const char* trimText = g_stored.trims[table].c_str();
            const char* insertText = g_stored.inserts[table].c_str();
            for (const auto& row : g_stored.rows[table]) {
                sqlite3_stmt* trim = db.prepared(trimText);
                sqlite3_bind_int(trim, 1, kImportEntries - 1);
                bool ok = RawDb::run(trim) && RawDb::run(db.prepared("BEGIN IMMEDIATE"));
                sqlite3_stmt* insert = db.prepared(insertText);
                for (size_t c = 0; c < row.size(); ++c) {
                    sqlite3_bind_value(insert, static_cast<int>(c + 1), row[c]);
                }
                if (!(ok && RawDb::run(insert) && RawDb::run(db.prepared("COMMIT")))) {
                    state.SkipWithError(db.error());
                    return;
                }
            }
        }
    }
    state.counters["entries/s"] = benchmark::Counter(
        static_cast<double>(kImportEntries * state.iterations()), benchmark::Counter::kIsRate);
    state.counters["rows"] = static_cast<double>(storedCount());
}

// -------------------------------------------------------------------- checks

void checkSameOutput() {
    stopServer();
    if (!g_served.empty()) {
        const std::string raw = rawMonthJson();
        std::printf("web answer and raw JSON %s (%zu bytes)\n",
                    raw == g_served ? "match" : "DIFFER", g_served.size());
    }
    const std::string ours = dbOf(importDir("ours")), raw = dbOf(importDir("raw"));
    if (fs::exists(ours) && fs::exists(raw)) {
        for (const char* sql :
             {"SELECT COUNT(*), SUM(CLOG_DURATION), MAX(CLOG_TIMESTAMP), "
              "group_concat(CLOG_PHONE_NUMBER) FROM ACTIVITY_CALL",
              "SELECT COUNT(*), SUM(length(MSGLOG_SUMMARY)), MAX(MSGLOG_TIMESTAMP), "
              "SUM(MSGLOG_DIRECTION * 2 + MSGLOG_TYPE) FROM ACTIVITY_MESSAGE"}) {
            const std::string a = bench::queryOne(ours, sql), b = bench::queryOne(raw, sql);
            std::printf("imported rows %s: %s\n", a == b ? "match" : "DIFFER",
                        a.substr(0, a.find('|', a.find('|') + 1)).c_str());
        }
    }
    for (auto& rows : g_stored.rows) {
        for (auto& row : rows) {
            for (sqlite3_value* value : row) sqlite3_value_free(value);
        }
    }
}

void registerAll() {
    auto add = [](const char* name, auto fn) {
        return benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    for (bool indexed : {false, true}) {
        const std::string group = indexed ? "web-month/" : "web-month-bare/";
        add((group + "ours").c_str(), [indexed](benchmark::State& s) {
            indexYear(indexed);
            webOurs(s);
        });
        add((group + "raw-http").c_str(), [indexed](benchmark::State& s) {
            indexYear(indexed);
            webRawHttp(s);
        })->MeasureProcessCPUTime();
        add((group + "raw").c_str(), [indexed](benchmark::State& s) {
            indexYear(indexed);
            webRaw(s);
        });
    }
    add("import/ours", importOurs)->Iterations(1);
    add("import/raw-prepared", importRawPrepared)->Iterations(1);
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    return bench::runBenchmarks(
        argc, argv,
        [] {
            makeFiles();
            registerAll();
        },
        checkSameOutput);
}
