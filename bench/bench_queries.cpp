// Reading 10,000 stored calls through the query object, against raw SQLite
// running the same statement in the same process:
//   listing/*        getEnumerator, then moveNext and getCurrentN per row (an
//                    activity built and deleted per row), against a
//                    sqlite3_step loop that reads every column;
//   count/*, sum/*, average/*
//                    the single-value aggregates;
//   most-occurred/*, find-max/*
//                    the row-returning aggregates, every row taken as an
//                    activity, against a step loop reading every column.
// Each raw iteration prepares, runs and finalizes its statement, as the
// query object does for each call.
#include <string>

#include "bench_support.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogEnumerator.h"
#include "zkivLifelogImpl.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"

namespace {

using bench::RawDb;

constexpr int kRows = 10000;

// 10,000 calls over 50 numbers, one minute apart, every fourth with a
// location, durations and types spread.
void makeFile() {
    bench::writeConfig(kRows);
    unsigned int err = 0;
    ZLifelogger_delete(_CreateDBLifeLogger(&err, kRows));
    bench::execOn(bench::hostPath(bench::kDbPath),
                  "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
                      std::to_string(kRows) +
                      ") INSERT INTO ACTIVITY_CALL (CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, "
                      "CLOG_PHONE_NUMBER, CLOG_CELLID, CLOG_LAC, CLOG_MCC, CLOG_MNC, LOCATION, "
                      "CLOG_TIMESTAMP) SELECT i % 3, (i * 7919) % 3600, i % 2, "
                      "'+4416329601' || (i % 50), 4000 + i % 7, 310, 234, 15, "
                      "CASE WHEN i % 4 = 0 THEN 'Cambridge' END, "
                      "strftime('%Y-%m-%d %H:%M:%S', '2024-01-01', '+' || i || ' minutes') FROM k");
}

// A query object bound to the call table, for the whole run.
ILifelog* g_query = nullptr;

ILifelog* query() {
    if (g_query == nullptr) {
        unsigned int err = 0;
        g_query = __LifelogImpl_new(&err);
        __LifelogImpl_addRef(g_query);
        g_query->ops->initialize(g_query, "ACTIVITY_CALL", &err);
    }
    return g_query;
}

// Takes every row of an enumerator as an activity; the row count, or -1.
long drain(ZLifelogEnumerator* rows) {
    if (rows == nullptr) {
        return -1;
    }
    long count = 0;
    unsigned int err = 0;
    for (ZLifelogEnumerator_moveNext(rows, &err); err == 0;
         ZLifelogEnumerator_moveNext(rows, &err)) {
        ZLifelogActivity* activity = ZLifelogEnumerator_getCurrentN(rows, &err);
        if (activity == nullptr) {
            count = -1;
            break;
        }
        ZLifelogActivity_delete(activity);
        ++count;
    }
    ZLifelogEnumerator_delete(rows);
    return count;
}

// Every column of every row, read by its type; the row count.
long rawRows(RawDb& db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &stmt, nullptr) != SQLITE_OK) {
        return -1;
    }
    long count = 0;
    int64_t sink = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const int columns = sqlite3_column_count(stmt);
        for (int c = 0; c < columns; ++c) {
            sink += sqlite3_column_name(stmt, c)[0];
            switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    sink += sqlite3_column_int64(stmt, c);
                    break;
                case SQLITE_FLOAT:
                    sink += static_cast<int64_t>(sqlite3_column_double(stmt, c));
                    break;
                case SQLITE_TEXT:
                    sink += sqlite3_column_text(stmt, c)[0];
                    break;
                default:
                    break;
            }
        }
        ++count;
    }
    benchmark::DoNotOptimize(sink);
    sqlite3_finalize(stmt);
    return count;
}

// One value of a single-row statement.
double rawValue(RawDb& db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    double value = -1;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_double(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return value;
}

struct RowQuery {
    const char* group;
    const char* sql;  // what the query object runs
    ZLifelogEnumerator* (*ours)(ILifelog* q, unsigned int* err);
};

const RowQuery kRowQueries[] = {
    {"listing", "SELECT * FROM ACTIVITY_CALL",
     [](ILifelog* q, unsigned int* err) { return q->ops->getEnumerator(q, err); }},
    {"most-occurred",
     "SELECT CLOG_PHONE_NUMBER, count(*) as OCCURRED_COUNT FROM ACTIVITY_CALL group by "
     "CLOG_PHONE_NUMBER ORDER BY OCCURRED_COUNT DESC LIMIT 5",
     [](ILifelog* q, unsigned int* err) {
         return q->ops->getMostOccurredValues(q, "CLOG_PHONE_NUMBER", 5, err);
     }},
    {"find-max",
     "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MAX(CLOG_DURATION) FROM ACTIVITY_CALL ) = "
     "CLOG_DURATION)",
     [](ILifelog* q, unsigned int* err) { return q->ops->findMaxLogs(q, "CLOG_DURATION", err); }},
};

struct ValueQuery {
    const char* group;
    const char* sql;
    double (*ours)(ILifelog* q, unsigned int* err);
};

const ValueQuery kValueQueries[] = {
    {"count", "SELECT count(*) FROM ACTIVITY_CALL",
     [](ILifelog* q, unsigned int* err) { return double(q->ops->getCount(q, err)); }},
    {"sum", "SELECT SUM(CLOG_DURATION) FROM ACTIVITY_CALL",
     [](ILifelog* q, unsigned int* err) {
         return double(q->ops->getSum(q, "CLOG_DURATION", err));
     }},
    {"average", "SELECT AVG(CLOG_DURATION) FROM ACTIVITY_CALL",
     [](ILifelog* q, unsigned int* err) { return q->ops->getAverage(q, "CLOG_DURATION", err); }},
};

void registerAll() {
    auto add = [](const std::string& name, auto fn) {
        return benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMicrosecond);
    };
    for (const RowQuery& q : kRowQueries) {
        add(std::string(q.group) + "/ours", [&q](benchmark::State& state) {
            RawDb check(bench::hostPath(bench::kDbPath));
            const long expected = rawRows(check, q.sql);
            for (auto _ : state) {
                unsigned int err = 0;
                const long rows = drain(q.ours(query(), &err));
                if (rows != expected) {
                    state.SkipWithError("the enumerator gave another number of rows");
                    break;
                }
            }
        });
        add(std::string(q.group) + "/raw", [&q](benchmark::State& state) {
            RawDb db(bench::hostPath(bench::kDbPath));
            for (auto _ : state) {
                if (rawRows(db, q.sql) < 0) {
                    state.SkipWithError(db.error());
                    break;
                }
            }
        });
    }
    for (const ValueQuery& q : kValueQueries) {
        add(std::string(q.group) + "/ours", [&q](benchmark::State& state) {
            RawDb check(bench::hostPath(bench::kDbPath));
            const double expected = rawValue(check, q.sql);
            for (auto _ : state) {
                unsigned int err = 0;
                const double value = q.ours(query(), &err);
                if (err != 0 || value != expected) {
                    state.SkipWithError("the aggregate gave another value");
                    break;
                }
            }
        });
        add(std::string(q.group) + "/raw", [&q](benchmark::State& state) {
            RawDb db(bench::hostPath(bench::kDbPath));
            for (auto _ : state) {
                benchmark::DoNotOptimize(rawValue(db, q.sql));
            }
        });
    }
}

}  // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(
        argc, argv,
        [] {
            makeFile();
            registerAll();
        },
        [] {
            if (g_query != nullptr) {
                g_query->ops->release(g_query);
            }
        });
}
