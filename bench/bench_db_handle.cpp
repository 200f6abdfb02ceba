// Storing message rows through a database handle (open, write, close per
// row, as the logging path does) against the same three statements in raw
// SQLite on one open connection: same-time delete, trim, insert in a
// transaction.  Both tables start full (500 rows), so every row also trims.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "zbase.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifeloggerDBHandle.h"

namespace {

constexpr int kMaxRows = 500;
constexpr const char* kHandlePath = "/SystemRW/Lifelog/Database/lifelog.db";
constexpr const char* kRawPath = "/SystemRW/Lifelog/Database/baseline.db";

std::filesystem::path g_root;

std::string hostPath(const char* platformPath) {
    return (g_root / (platformPath + 1)).string();
}

// The n-th row's time stamp: one second apart, never repeating in a run.
DateTime stampOf(long n) {
    return DateTime{2021,
                    1 + static_cast<int>(n / 2592000 % 12),
                    1 + static_cast<int>(n / 86400 % 28),
                    static_cast<int>(n / 3600 % 24),
                    static_cast<int>(n / 60 % 60),
                    static_cast<int>(n % 60),
                    0};
}

void fill(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM k WHERE i < 500) "
                 "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_SUMMARY, MSGLOG_TIMESTAMP) SELECT 'seed', "
                 "strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || i || ' minutes') FROM k",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

ZLifelogActivity* makeMessage(DateTime when) {
    unsigned int err = 0;
    ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_MESSAGE", &err);
    _ZLifelogActivity_setTimestamp(activity, when);
    auto addInt = [&](const char* key, int32_t value) {
        void* block = Mem_allocEx(sizeof value, __FILE__, __LINE__);
        std::memcpy(block, &value, sizeof value);
        ZLifelogActivity_addActivityItem(activity, ZLifelogActivityItem_new(key, block, 0, &err),
                                         &err);
    };
    auto addText = [&](const char* key, const char* text) {
        ZLifelogActivity_addActivityItem(
            activity, ZLifelogActivityItem_new(key, String_newByString(text, &err), 2, &err), &err);
    };
    addText("MSGLOG_PHONE_NUMBER", "01012345678");
    addInt("MSGLOG_DIRECTION", 1);
    addText("MSGLOG_SUMMARY", "see you at \"the usual\" place");
    addInt("MSGLOG_TYPE", 0);
    addInt("MSGLOG_CELLID", -1);
    addInt("MSGLOG_LAC", -1);
    addInt("MSGLOG_MCC", -1);
    addInt("MSGLOG_MNC", -1);
    return activity;
}

void BM_DBHandleMessageRow(benchmark::State& state) {
    unsigned int err = 0;
    DBHandle* handle = DBHandle_new(kHandlePath, kMaxRows, &err);
    if (handle == nullptr) {
        state.SkipWithError("DBHandle_new failed");
        return;
    }
    fill(hostPath(kHandlePath));
    Handle* pI = reinterpret_cast<Handle*>(handle);
    long n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ZLifelogActivity* activity = makeMessage(stampOf(n++));
        state.ResumeTiming();
        if (!pI->ops->open(pI) || !pI->ops->write(pI, activity)) {
            state.SkipWithError("write failed");
        }
        pI->ops->close(pI);
        state.PauseTiming();
        ZLifelogActivity_delete(activity);
        state.ResumeTiming();
    }
    DBHandle_delete(handle);
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void BM_RawSqliteMessageRow(benchmark::State& state) {
    unsigned int err = 0;
    DBHandle* schema = DBHandle_new(kRawPath, kMaxRows, &err);  // same tables
    DBHandle_delete(schema);
    fill(hostPath(kRawPath));
    sqlite3* db = nullptr;
    sqlite3_open(hostPath(kRawPath).c_str(), &db);
    exec(db, "PRAGMA journal_mode=WAL");
    exec(db, "PRAGMA synchronous=NORMAL");
    char sql[4096];
    long n = 0;
    for (auto _ : state) {
        const DateTime t = stampOf(n++);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        std::snprintf(sql, sizeof sql, "DELETE FROM ACTIVITY_MESSAGE WHERE MSGLOG_TIMESTAMP='%s'",
                      stamp);
        bool ok = exec(db, sql);
        std::snprintf(sql, sizeof sql,
                      "DELETE FROM ACTIVITY_MESSAGE WHERE (SELECT COUNT(LOG_KEY) FROM "
                      "ACTIVITY_MESSAGE) > %d AND LOG_KEY=(SELECT LOG_KEY FROM ACTIVITY_MESSAGE "
                      "WHERE MSGLOG_TIMESTAMP=(SELECT MIN(MSGLOG_TIMESTAMP) FROM ACTIVITY_MESSAGE) "
                      "LIMIT 1)",
                      kMaxRows - 1);
        ok = ok && exec(db, sql) && exec(db, "BEGIN IMMEDIATE");
        std::snprintf(sql, sizeof sql,
                      "INSERT INTO ACTIVITY_MESSAGE ( 'MSGLOG_PHONE_NUMBER','MSGLOG_DIRECTION',"
                      "'MSGLOG_SUMMARY','MSGLOG_TYPE','MSGLOG_CELLID','MSGLOG_LAC','MSGLOG_MCC',"
                      "'MSGLOG_MNC','MSGLOG_TIMESTAMP' ) VALUES ( \"01012345678\",'1',"
                      "\"see you at \"\"the usual\"\" place\",'0','-1','-1','-1','-1','%s' )",
                      stamp);
        ok = ok && exec(db, sql) && exec(db, "COMMIT");
        if (!ok)
            state.SkipWithError(sqlite3_errmsg(db));
    }
    sqlite3_close(db);
}

BENCHMARK(BM_DBHandleMessageRow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawSqliteMessageRow)->Unit(benchmark::kMicrosecond);

// Shows every run and keeps the time per row of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                perRow[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> perRow;
};

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/lifelog-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    g_root = pattern;
    setenv("ZBASE_ROOT", pattern, 1);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto handle = reporter.perRow.find("BM_DBHandleMessageRow");
    const auto raw = reporter.perRow.find("BM_RawSqliteMessageRow");
    if (handle != reporter.perRow.end() && raw != reporter.perRow.end() && raw->second > 0) {
        std::printf("database handle / raw SQLite per message row: %.2f (%.1f us vs %.1f us)\n",
                    handle->second / raw->second, handle->second, raw->second);
    }
    std::error_code ignored;
    std::filesystem::remove_all(g_root, ignored);
    return 0;
}
