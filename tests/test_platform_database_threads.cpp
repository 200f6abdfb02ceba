// Several connections on one database file at once: a writer in a loop and
// a reader must never see "database is locked" (WAL, busy timeout, write
// transactions that take the write lock at their start).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

constexpr const char* kPath = "/SystemRW/Lifelog/Database/threads.db";

class PlatformDatabaseThreadsTest : public LifelogTest {};

TEST_F(PlatformDatabaseThreadsTest, WritersAndAReaderNeverSeeTheDatabaseLocked) {
    unsigned int err = 0;
    Database_close(_Database_createInternal(kPath, &err), &err);  // a WAL database
    execSql(kPath, "CREATE TABLE T (WRITER INTEGER, N INTEGER)");
    std::mutex mutex;
    std::string failures;  // every unexpected code, whichever thread saw it
    auto expect = [&](const char* what, unsigned int code) {
        std::lock_guard<std::mutex> lock(mutex);
        if (code != 0)
            failures += std::string(what) + " " + Exception_toString(code) + "\n";
    };
    std::atomic<int> writersLeft{2};
    auto writer = [&](int id) {
        for (int n = 0; n < 150; ++n) {
            unsigned int code = 0;
            Database* db = _Database_openInternal(kPath, &code);  // per row, as logging does
            expect("open", code);
            Database_beginTransaction(db, &code);
            expect("begin", code);
            // A read first: a transaction holding only a read snapshot here
            // could not take the write lock after the other writer's commit.
            Database_executeSQL(db, "SELECT COUNT(*) FROM T", 0, nullptr, nullptr, &code);
            expect("count", code);
            std::string insert =
                "INSERT INTO T VALUES (" + std::to_string(id) + ", " + std::to_string(n) + ")";
            Database_executeSQL(db, insert.c_str(), 0, nullptr, nullptr, &code);
            expect("insert", code);
            Database_commitTransaction(db, &code);
            expect("commit", code);
            Database_close(db, &code);
        }
        --writersLeft;
    };
    auto reader = [&] {
        unsigned int code = 0;
        Database* db = _Database_openInternal(kPath, &code);
        while (writersLeft > 0) {
            Database_executeSQL(db, "SELECT * FROM T WHERE N < 3", 0, nullptr, nullptr, &code);
            expect("select", code == 70 ? 0 : code);
        }
        Database_close(db, &code);
    };
    std::thread a(writer, 1), b(writer, 2), r(reader);
    a.join();
    b.join();
    r.join();
    EXPECT_EQ(failures, "");
    EXPECT_EQ(queryRows(kPath, "SELECT WRITER, COUNT(DISTINCT N) FROM T GROUP BY WRITER"),
              (std::vector<std::vector<std::string>>{{"1", "150"}, {"2", "150"}}));
}

}  // namespace
