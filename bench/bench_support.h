// What every benchmark executable shares: a platform root of its own, raw
// SQLite connections set up as the stand-in sets up its own, the statement
// texts that the library runs, and a reporter that prints each benchmark's
// ratio to its baselines.
//
// A benchmark group is named "<group>/<variant>": "ours" is the library's
// path, "raw-exec" the same statement texts through sqlite3_exec on one open
// connection, "raw-prepared" prepared statements with bound values, "raw" a
// raw loop where there is only one baseline, "raw-http" a raw loop served
// over HTTP from the benchmark's own process.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "zbase.h"

namespace bench {

inline constexpr const char* kDbPath = "/SystemRW/Lifelog/Database/lifelog.db";
inline constexpr const char* kConfigPath = "/System/Lifelog/lifelogconf.ini";

// The platform root of this process, removed at the end.
inline std::filesystem::path& root() {
    static std::filesystem::path path;
    return path;
}

inline std::string hostPath(const std::string& platformPath) {
    return (root() / platformPath.substr(1)).string();
}

inline void writeConfig(int maxCount) {
    std::filesystem::create_directories(std::filesystem::path(hostPath(kConfigPath)).parent_path());
    std::ofstream(hostPath(kConfigPath))
        << "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\nACTIVITY_MEDIA = true\n\n"
           "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = "
        << maxCount << "\n";
}

// The n-th time stamp of a run: one second apart from 2021 on, after every
// seeded row (seeds lie in 2020), so a write never replaces a stored row.
inline DateTime stampOf(long n) {
    const long day = n / 86400;
    return DateTime{2021 + static_cast<int>(day / 336),
                    1 + static_cast<int>(day / 28 % 12),
                    1 + static_cast<int>(day % 28),
                    static_cast<int>(n / 3600 % 24),
                    static_cast<int>(n / 60 % 60),
                    static_cast<int>(n % 60),
                    0};
}

inline std::string stampText(const DateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// The writer's statements, as it formats them.
inline constexpr const char* kSameTimeDeleteMessage =
    " \t\t\t\t\t\t\t\t\tDELETE FROM %s WHERE MSGLOG_TIMESTAMP='%04d-%02d-%02d %02d:%02d:%02d'";
inline constexpr const char* kTrimMessage =
    " \t\t\t\t\t\tDELETE FROM %s WHERE (SELECT COUNT(LOG_KEY) FROM %s) > %d \t\t               "
    " AND LOG_KEY=(SELECT LOG_KEY FROM %s WHERE \t\t                MSGLOG_TIMESTAMP=(SELECT "
    "MIN(MSGLOG_TIMESTAMP) FROM %s) LIMIT 1)";
inline constexpr const char* kTrimCall =
    " \t\t\t\t\t\tDELETE FROM %s WHERE (SELECT COUNT(LOG_KEY) FROM %s) > %d \t\t               "
    " AND LOG_KEY=(SELECT LOG_KEY FROM %s WHERE \t\t                CLOG_TIMESTAMP=(SELECT "
    "MIN(CLOG_TIMESTAMP) FROM %s) LIMIT 1)";

// A connection set up as the stand-in sets up its own: WAL journal,
// synchronous NORMAL, a busy timeout, double-quoted texts accepted.
class RawDb {
public:
    explicit RawDb(const std::string& hostFile) {
        sqlite3_open_v2(hostFile.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db_, 30000);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
    }
    ~RawDb() {
        for (auto& entry : prepared_) sqlite3_finalize(entry.second);
        sqlite3_close_v2(db_);
    }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    bool exec(const char* sql) {
        return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    // One prepared statement per text, kept for the connection's life.
    sqlite3_stmt* prepared(const char* sql) {
        auto found = prepared_.find(sql);
        if (found != prepared_.end()) {
            sqlite3_reset(found->second);
            return found->second;
        }
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
        prepared_[sql] = stmt;
        return stmt;
    }
    // Runs a prepared statement to its end; true when it ended well.
    static bool run(sqlite3_stmt* stmt) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        return rc == SQLITE_DONE;
    }
    sqlite3* get() { return db_; }
    const char* error() { return sqlite3_errmsg(db_); }

private:
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> prepared_;
};

// Runs statements on a file through a connection of its own (set-up work).
inline void execOn(const std::string& hostFile, const std::string& sql) {
    RawDb db(hostFile);
    if (!db.exec(sql.c_str())) {
        std::fprintf(stderr, "bench: %s: %s\n", sql.c_str(), db.error());
    }
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

// The indexes of a file, as the statements that made them.
inline std::vector<std::string> indexStatements(const std::string& hostFile) {
    RawDb db(hostFile);
    sqlite3_stmt* stmt =
        db.prepared("SELECT sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL");
    std::vector<std::string> statements;
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        statements.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    return statements;
}

// Gives `to` the indexes of `from`, so that both files have one schema.
inline void copyIndexes(const std::string& from, const std::string& to) {
    for (const std::string& sql : indexStatements(from)) {
        execOn(to, sql);
    }
}

// Drops every index a file has (the library's own file has none).
inline void dropIndexes(const std::string& hostFile) {
    std::vector<std::string> names;
    {
        RawDb db(hostFile);
        sqlite3_stmt* stmt =
            db.prepared("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL");
        while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
            names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
    }
    for (const std::string& name : names) {
        execOn(hostFile, "DROP INDEX " + name);
    }
}

#ifdef LIFELOG_TOOL
// `lifelog index` on a platform root: the indexes the tool adds to a root
// kept above the default maximum.
inline bool toolIndexes(const std::string& root) {
    const std::string command =
        std::string("'") + LIFELOG_TOOL + "' --root '" + root + "' index >/dev/null";
    return std::system(command.c_str()) == 0;
}
#endif

inline std::string queryOne(const std::string& hostFile, const std::string& sql) {
    RawDb db(hostFile);
    sqlite3_stmt* stmt = db.prepared(sql.c_str());
    std::string out;
    if (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const unsigned char* text = sqlite3_column_text(stmt, i);
            out +=
                (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
    }
    return out;
}

// Collects each benchmark's time per iteration (the median when repeated)
// and prints the ratios of "ours" to every baseline of its group.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            // CPU seconds per iteration spent in a child process (a server
            // or a command the benchmark runs) count as the benchmark's own.
            double cpu = run.GetAdjustedCPUTime();
            auto child = run.counters.find("child_cpu");
            if (child != run.counters.end()) {
                cpu += child->second.value * benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
            const Time time{run.GetAdjustedRealTime(), cpu};
            if (std::find(order_.begin(), order_.end(), name) == order_.end()) {
                order_.push_back(name);
            }
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") {
                    median_[name] = time;
                }
            } else {
                samples_[name].push_back(time);
            }
        }
    }

    // Wall-clock and CPU time per iteration in the benchmark's own unit.
    struct Time {
        double real = 0;
        double cpu = 0;
    };

    Time timeOf(const std::string& name) const {
        auto m = median_.find(name);
        if (m != median_.end()) {
            return m->second;
        }
        auto s = samples_.find(name);
        if (s == samples_.end() || s->second.empty()) {
            return Time{};
        }
        std::vector<Time> sorted = s->second;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Time& a, const Time& b) { return a.real < b.real; });
        return sorted[sorted.size() / 2];
    }

    // One line per baseline: times, the ratio of wall-clock times and the
    // ratio of CPU times (steadier when other processes share the cores).
    void printRatios(std::FILE* out) const {
        std::fprintf(out, "\n%-22s %-13s %11s %11s %8s %8s\n", "benchmark", "baseline", "ours",
                     "baseline", "ratio", "cpu");
        for (const std::string& name : order_) {
            const auto slash = name.rfind('/');
            if (slash == std::string::npos || name.substr(slash + 1) != "ours") {
                continue;
            }
            const std::string group = name.substr(0, slash);
            const Time ours = timeOf(name);
            for (const char* variant : {"raw-exec", "raw-prepared", "raw-http", "raw"}) {
                const Time base = timeOf(group + "/" + variant);
                if (base.real > 0 && base.cpu > 0 && ours.real > 0) {
                    std::fprintf(out, "%-22s %-13s %11.1f %11.1f %7.2fx %7.2fx\n", group.c_str(),
                                 variant, ours.real, base.real, ours.real / base.real,
                                 ours.cpu / base.cpu);
                }
            }
        }
        std::fprintf(out,
                     "(wall-clock times per iteration in each benchmark's unit, median of the "
                     "repetitions; ratio: wall clock, cpu: CPU time)\n");
    }

private:
    std::map<std::string, std::vector<Time>> samples_;
    std::map<std::string, Time> median_;
    std::vector<std::string> order_;
};

// main() of every benchmark executable: a fresh platform root, the set-up
// (which registers the benchmarks), the runs, the ratio table, the checks
// of `after`, the root removed.
template <typename Setup, typename After>
int runBenchmarks(int argc, char** argv, Setup setup, After after) {
    char pattern[] = "/tmp/lifelog-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    root() = pattern;
    setenv("ZBASE_ROOT", pattern, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    setup();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios(stdout);
    after();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(root(), ignored);
    return 0;
}

}  // namespace bench
