// Logging one activity, against raw SQLite doing the same statements in the
// same process:
//   service/*         a message through the event controller's logger (the
//                     logging thread's work: build, filter, open, same-time
//                     delete, trim, insert, close, delete), 500 rows kept;
//   direct-message/*, direct-call/*
//                     the direct-logging entry points with a time-stamp text;
//   row-at-N/*        a message through a logger keeping N rows, N = 1,000,
//                     10,000 and 100,000: the cost of one row as the table grows;
//   row-at-N-indexed/*
//                     the same with the indexes that `lifelog index` adds (the
//                     tool adds them to a root kept above the default maximum).
// Both files have one schema: the library's three tables, and in the
// indexed groups the indexes the tool made on ours, copied to the baseline's.
// Baselines: raw-exec runs the same statement texts with sqlite3_exec on one
// open connection, raw-prepared the same statements prepared once with
// bound values.  Every table starts full, so every row also trims one.
#include <cstring>
#include <filesystem>

#include "bench_support.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityEventController.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggerDefaultFilter.h"
#include "zkivLifeloggingServiceUtil.h"

namespace {

using bench::RawDb;

constexpr const char* kRawPath = "/SystemRW/Lifelog/Database/baseline.db";
constexpr const char* kNumber = "+441632960123";
constexpr const char* kSummary = "see you at \"the usual\" place";
// The summary as it stands in an insert: double quotes doubled.
constexpr const char* kSummaryQuoted = "see you at \"\"the usual\"\" place";

// Next time stamp of each file, so that no write meets a stored time.
long g_next[2];
long& nextOf(bool raw) {
    return g_next[raw ? 1 : 0];
}

// Brings a table of a file to exactly `rows` rows: surplus oldest rows go,
// missing ones are seeded in 2020, older than any row a run writes.
void sizeTable(const std::string& hostFile, const char* table, const char* stamp, int rows) {
    const std::string t = table, s = stamp, n = std::to_string(rows);
    bench::execOn(hostFile, "DELETE FROM " + t + " WHERE LOG_KEY IN (SELECT LOG_KEY FROM " + t +
                                " ORDER BY " + s + " LIMIT max(0, (SELECT COUNT(*) FROM " + t +
                                ") - " + n + "))");
    const std::string prefix = t == "ACTIVITY_CALL" ? "CLOG" : "MSGLOG";
    bench::execOn(hostFile,
                  "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " + n +
                      " - (SELECT COUNT(*) FROM " + t + ")) INSERT INTO " + t + " (" + prefix +
                      "_PHONE_NUMBER, " + prefix + "_DIRECTION, " + prefix + "_TYPE, " + prefix +
                      "_CELLID, " + prefix + "_LAC, " + prefix + "_MCC, " + prefix + "_MNC, " + s +
                      ") SELECT '+4416329600' || (i % 97), i % 2, i % 2, -1, -1, -1, -1, "
                      "strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || i || ' seconds') "
                      "FROM k WHERE " +
                      n + " > (SELECT COUNT(*) FROM " + t + ")");
}

// The files: ours made by the library (its three tables, no index), the baseline's
// made the same way under another name.
void makeFiles() {
    bench::writeConfig(500);
    unsigned int err = 0;
    ZLifelogger_delete(_CreateDBLifeLogger(&err, 500));
    RawDb ours(bench::hostPath(bench::kDbPath));
    sqlite3* raw = nullptr;
    sqlite3_open(bench::hostPath(kRawPath).c_str(), &raw);
    sqlite3_stmt* schema = ours.prepared(
        "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%' "
        "ORDER BY rowid");
    while (sqlite3_step(schema) == SQLITE_ROW) {
        sqlite3_exec(raw, reinterpret_cast<const char*>(sqlite3_column_text(schema, 0)), nullptr,
                     nullptr, nullptr);
    }
    sqlite3_close(raw);
}

// The library's tables alone, or with the tool's indexes, on both files.
void indexBoth(bool indexed) {
    const std::string ours = bench::hostPath(bench::kDbPath), raw = bench::hostPath(kRawPath);
    bench::dropIndexes(ours);
    bench::dropIndexes(raw);
#ifdef LIFELOG_TOOL
    if (indexed && bench::toolIndexes(bench::root().string())) {
        bench::copyIndexes(ours, raw);
    }
#else
    (void)indexed;
#endif
}

void sizeBoth(int rows, bool indexed = false) {
    indexBoth(indexed);
    for (const char* path : {bench::kDbPath, kRawPath}) {
        sizeTable(bench::hostPath(path), "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", rows);
        sizeTable(bench::hostPath(path), "ACTIVITY_CALL", "CLOG_TIMESTAMP", rows);
    }
}

ZLifelogActivity* messageAt(const DateTime& when) {
    unsigned int err = 0;
    ZLifelogActivity* activity =
        _CreateMsgActivity(kNumber, 1, 0, kSummary, -1, -1, -1, -1, nullptr, &err);
    _ZLifelogActivity_setTimestamp(activity, when);
    return activity;
}

// One message through a logger: what the logging thread does per activity.
void logMessages(benchmark::State& state, ZLifelogger* logger) {
    for (auto _ : state) {
        ZLifelogActivity* activity = messageAt(bench::stampOf(nextOf(false)++));
        unsigned int err = 0;
        ZLifelogger_log(logger, activity, &err);
        ZLifelogActivity_delete(activity);
        if (err != 0) {
            state.SkipWithError("ZLifelogger_log failed");
            break;
        }
    }
}

// ---------------------------------------------------------------- raw side

// What a stored message costs raw, statement texts as the writer makes them.
bool rawMessageExec(RawDb& db, int maxCount, bool sameTimeDelete, bool stampQuoted) {
    const DateTime t = bench::stampOf(nextOf(true)++);
    char sql[4096];
    bool ok = true;
    if (sameTimeDelete) {
        std::snprintf(sql, sizeof sql, bench::kSameTimeDeleteMessage, "ACTIVITY_MESSAGE", t.year,
                      t.month, t.day, t.hour, t.minute, t.second);
        ok = db.exec(sql);
    }
    std::snprintf(sql, sizeof sql, bench::kTrimMessage, "ACTIVITY_MESSAGE", "ACTIVITY_MESSAGE",
                  maxCount - 1, "ACTIVITY_MESSAGE", "ACTIVITY_MESSAGE");
    ok = ok && db.exec(sql) && db.exec("BEGIN IMMEDIATE");
    const char* q = stampQuoted ? "\"" : "'";
    std::snprintf(
        sql, sizeof sql,
        "INSERT INTO %s ( 'MSGLOG_PHONE_NUMBER','MSGLOG_DIRECTION','MSGLOG_TYPE',"
        "'MSGLOG_SUMMARY','MSGLOG_CELLID','MSGLOG_LAC','MSGLOG_MCC','MSGLOG_MNC',"
        "'MSGLOG_TIMESTAMP' ) VALUES ( \"%s\",'%d','%d',\"%s\",'%d','%d','%d','%d',%s%s%s "
        ")",
        "ACTIVITY_MESSAGE", kNumber, 1, 0, kSummaryQuoted, -1, -1, -1, -1, q,
        bench::stampText(t).c_str(), q);
    return ok && db.exec(sql) && db.exec("COMMIT");
}

bool rawCallExec(RawDb& db, int maxCount) {
    const DateTime t = bench::stampOf(nextOf(true)++);
    char sql[4096];
    std::snprintf(sql, sizeof sql, bench::kTrimCall, "ACTIVITY_CALL", "ACTIVITY_CALL", maxCount - 1,
                  "ACTIVITY_CALL", "ACTIVITY_CALL");
    bool ok = db.exec(sql) && db.exec("BEGIN IMMEDIATE");
    std::snprintf(sql, sizeof sql,
                  "INSERT INTO %s ( 'CLOG_PHONE_NUMBER','CLOG_DIRECTION','CLOG_DURATION',"
                  "'CLOG_TYPE','CLOG_CELLID','CLOG_LAC','CLOG_MCC','CLOG_MNC','CLOG_TIMESTAMP' ) "
                  "VALUES ( \"%s\",'%d','%d','%d','%d','%d','%d','%d',\"%s\" )",
                  "ACTIVITY_CALL", kNumber, 1, 20, 0, -1, -1, -1, -1, bench::stampText(t).c_str());
    return ok && db.exec(sql) && db.exec("COMMIT");
}

// The same work with statements prepared once and values bound.
bool rawPrepared(RawDb& db, const char* table, const char* stamp, int maxCount,
                 bool sameTimeDelete) {
    const bool call = std::strcmp(table, "ACTIVITY_CALL") == 0;
    const std::string t = table, s = stamp, p = call ? "CLOG" : "MSGLOG";
    const std::string when = bench::stampText(bench::stampOf(nextOf(true)++));
    static std::map<std::string, std::string> texts;
    auto text = [&](const std::string& key, const std::string& sql) -> const char* {
        auto& stored = texts[key];
        if (stored.empty())
            stored = sql;
        return stored.c_str();
    };
    bool ok = true;
    if (sameTimeDelete) {
        sqlite3_stmt* del = db.prepared(text("del" + t, "DELETE FROM " + t + " WHERE " + s + "=?"));
        sqlite3_bind_text(del, 1, when.c_str(), -1, SQLITE_TRANSIENT);
        ok = RawDb::run(del);
    }
    sqlite3_stmt* trim = db.prepared(
        text("trim" + t, "DELETE FROM " + t + " WHERE (SELECT COUNT(LOG_KEY) FROM " + t +
                             ") > ? AND LOG_KEY=(SELECT LOG_KEY FROM " + t + " WHERE " + s +
                             "=(SELECT MIN(" + s + ") FROM " + t + ") LIMIT 1)"));
    sqlite3_bind_int(trim, 1, maxCount - 1);
    ok = ok && RawDb::run(trim) && RawDb::run(db.prepared("BEGIN IMMEDIATE"));
    sqlite3_stmt* insert = db.prepared(
        text("ins" + t, "INSERT INTO " + t + " (" + p + "_PHONE_NUMBER, " + p + "_DIRECTION, " +
                            (call ? "CLOG_DURATION, " : "") + p + "_TYPE, " +
                            (call ? "" : "MSGLOG_SUMMARY, ") + p + "_CELLID, " + p + "_LAC, " + p +
                            "_MCC, " + p + "_MNC, " + s + ") VALUES (?,?,?,?,?,?,?,?,?)"));
    int i = 1;
    sqlite3_bind_text(insert, i++, kNumber, -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, i++, 1);
    if (call)
        sqlite3_bind_int(insert, i++, 20);
    sqlite3_bind_int(insert, i++, 0);
    if (!call)
        sqlite3_bind_text(insert, i++, kSummary, -1, SQLITE_STATIC);
    for (int cell = 0; cell < 4; ++cell) sqlite3_bind_int(insert, i++, -1);
    sqlite3_bind_text(insert, i++, when.c_str(), -1, SQLITE_TRANSIENT);
    return ok && RawDb::run(insert) && RawDb::run(db.prepared("COMMIT"));
}

template <typename Step>
void rawLoop(benchmark::State& state, Step step) {
    RawDb db(bench::hostPath(kRawPath));
    for (auto _ : state) {
        if (!step(db)) {
            state.SkipWithError(db.error());
            break;
        }
    }
}

// ------------------------------------------------------------- benchmarks

void serviceOurs(benchmark::State& state) {
    sizeBoth(500);
    unsigned int err = 0;
    ActivityEventController* controller = ActivityEventController_new(&err);
    if (controller == nullptr) {
        state.SkipWithError("ActivityEventController_new failed");
        return;
    }
    logMessages(state, controller->logger);
    ActivityEventController_delete(controller);
}

void directMessageOurs(benchmark::State& state) {
    sizeBoth(500);
    for (auto _ : state) {
        const std::string when = bench::stampText(bench::stampOf(nextOf(false)++));
        _Lifelog_MsgActivityLogging(kNumber, 1, 0, kSummary, -1, -1, -1, -1, when.c_str());
    }
}

void directCallOurs(benchmark::State& state) {
    sizeBoth(500);
    for (auto _ : state) {
        const std::string when = bench::stampText(bench::stampOf(nextOf(false)++));
        _Lifelog_CallActivityLogging(kNumber, 1, 20, 0, -1, -1, -1, -1, when.c_str());
    }
}

void rowAtOurs(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    sizeBoth(rows, state.range(1) != 0);
    unsigned int err = 0;
    ZLifelogger* logger = _CreateDBLifeLogger(&err, rows);
    ZLifelogger_setFilter(logger, __DefaultFilter_new(&err), &err);
    logMessages(state, logger);
    ZLifelogger_delete(logger);
}

void addRowAt(int rows, bool indexed) {
    auto add = [](const std::string& name, auto fn) {
        return benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMicrosecond);
    };
    const std::string group = "row-at-" + std::to_string(rows) + (indexed ? "-indexed" : "");
    add(group + "/ours", rowAtOurs)->Args({rows, indexed ? 1 : 0});
    add(group + "/raw-exec", [rows, indexed](benchmark::State& s) {
        sizeBoth(rows, indexed);
        rawLoop(s, [rows](RawDb& db) { return rawMessageExec(db, rows, true, false); });
    });
    add(group + "/raw-prepared", [rows, indexed](benchmark::State& s) {
        sizeBoth(rows, indexed);
        rawLoop(s, [rows](RawDb& db) {
            return rawPrepared(db, "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", rows, true);
        });
    });
}

void registerAll() {
    auto add = [](const std::string& name, auto fn) {
        return benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMicrosecond);
    };
    add("service/ours", serviceOurs);
    add("service/raw-exec", [](benchmark::State& s) {
        sizeBoth(500);
        rawLoop(s, [](RawDb& db) { return rawMessageExec(db, 500, true, false); });
    });
    add("service/raw-prepared", [](benchmark::State& s) {
        sizeBoth(500);
        rawLoop(s, [](RawDb& db) {
            return rawPrepared(db, "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", 500, true);
        });
    });
    add("direct-message/ours", directMessageOurs);
    add("direct-message/raw-exec", [](benchmark::State& s) {
        sizeBoth(500);
        rawLoop(s, [](RawDb& db) { return rawMessageExec(db, 500, false, true); });
    });
    add("direct-message/raw-prepared", [](benchmark::State& s) {
        sizeBoth(500);
        rawLoop(s, [](RawDb& db) {
            return rawPrepared(db, "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", 500, false);
        });
    });
    add("direct-call/ours", directCallOurs);
    add("direct-call/raw-exec", [](benchmark::State& s) {
        sizeBoth(500);
        rawLoop(s, [](RawDb& db) { return rawCallExec(db, 500); });
    });
    add("direct-call/raw-prepared", [](benchmark::State& s) {
        sizeBoth(500);
        rawLoop(s, [](RawDb& db) {
            return rawPrepared(db, "ACTIVITY_CALL", "CLOG_TIMESTAMP", 500, false);
        });
    });
#ifdef LIFELOG_TOOL
    const std::vector<bool> schemas = {false, true};
#else
    const std::vector<bool> schemas = {false};
#endif
    for (bool indexed : schemas) {
        for (int rows : {1000, 10000, 100000}) {
            addRowAt(rows, indexed);
        }
    }
}

// The last message and call of each file must read the same, or the
// baselines did other work than the library.
void checkSameRows() {
    for (const char* sql :
         {"SELECT MSGLOG_DIRECTION, MSGLOG_SUMMARY, MSGLOG_TYPE, MSGLOG_PHONE_NUMBER, "
          "MSGLOG_CELLID, MSGLOG_MNC, typeof(MSGLOG_TYPE), MSGLOG_TIMESTAMP > '2021' "
          "FROM ACTIVITY_MESSAGE ORDER BY MSGLOG_TIMESTAMP DESC LIMIT 1",
          "SELECT CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_PHONE_NUMBER, CLOG_CELLID, "
          "typeof(CLOG_DURATION), CLOG_TIMESTAMP > '2021' FROM ACTIVITY_CALL "
          "ORDER BY CLOG_TIMESTAMP DESC LIMIT 1"}) {
        const std::string ours = bench::queryOne(bench::hostPath(bench::kDbPath), sql);
        const std::string raw = bench::queryOne(bench::hostPath(kRawPath), sql);
        std::printf("stored rows %s: %s\n", ours == raw ? "match" : "DIFFER", ours.c_str());
        if (ours != raw) {
            std::printf("  baseline: %s\n", raw.c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(
        argc, argv,
        [] {
            makeFiles();
            registerAll();
        },
        checkSameRows);
}
