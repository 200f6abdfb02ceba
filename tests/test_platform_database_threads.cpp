// Several connections on one database file at once: writers in loops and a
// reader must never see "database is locked" (WAL, busy timeout, write
// transactions that take the write lock at their start).  Also the tracked
// allocator and the log hook under several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

constexpr const char* kPath = "/SystemRW/Lifelog/Database/threads.db";
constexpr int kRowsPerWriter = 150;

using Rows = std::vector<std::vector<std::string>>;

class PlatformDatabaseThreadsTest : public LifelogTest {
protected:
    // Codes other than success seen by all threads, with how often.
    void note(const char* what, unsigned int code) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++failures_[std::string(what) + " " + Exception_toString(code)];
    }
    std::map<std::string, int> failures() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failures_;
    }

private:
    std::mutex mutex_;
    std::map<std::string, int> failures_;
};

TEST_F(PlatformDatabaseThreadsTest, WritersAndAReaderNeverSeeTheDatabaseLocked) {
    unsigned int err = 0;
    Database* setup = _Database_createInternal(kPath, &err);
    ASSERT_NE(setup, nullptr);
    Database_executeSQL(setup, "CREATE TABLE T (WRITER INTEGER, N INTEGER)", 1, nullptr, nullptr,
                        &err);
    ASSERT_EQ(err, 70u);
    Database_close(setup, &err);

    std::atomic<int> writersLeft{2};
    auto writer = [&](int id) {
        unsigned int code = 0;
        for (int n = 0; n < kRowsPerWriter; ++n) {
            // Opened and closed per row, as the logging path does.
            Database* db = _Database_openInternal(kPath, &code);
            if (db == nullptr) {
                note("open", code);
                continue;
            }
            std::string same = "DELETE FROM T WHERE WRITER=" + std::to_string(id) +
                               " AND N=" + std::to_string(n);
            Database_executeSQL(db, same.c_str(), 0, nullptr, nullptr, &code);
            if (code != 70) {
                note("delete", code);
            }
            Database_beginTransaction(db, &code);
            if (code != 0) {
                note("begin", code);
            }
            // A read before the write: a transaction that took only a read
            // snapshot here could not upgrade after the other writer's commit.
            Database_executeSQL(db, "SELECT COUNT(*) FROM T", 1, nullptr, nullptr, &code);
            if (code != 0) {
                note("count", code);
            }
            std::string insert = "INSERT INTO T VALUES (" + std::to_string(id) + ", " +
                                 std::to_string(n) + ")";
            Database_executeSQL(db, insert.c_str(), 0, nullptr, nullptr, &code);
            if (code != 0) {
                note("insert", code);
            }
            Database_commitTransaction(db, &code);
            if (code != 0) {
                note("commit", code);
            }
            Database_close(db, &code);
        }
        --writersLeft;
    };
    auto reader = [&] {
        unsigned int code = 0;
        Database* db = _Database_openInternal(kPath, &code);
        if (db == nullptr) {
            note("reader open", code);
            return;
        }
        int lastCount = 0;
        while (writersLeft > 0) {
            DbStatement* statement = Database_createStatement(db, "SELECT COUNT(*) FROM T", &code);
            DbEnumerator* rows = statement ? Database_executeStatement(statement, &code) : nullptr;
            if (rows == nullptr || !DbEnumerator_getNextRow(rows, &code)) {
                note("select", code);
            } else {
                int count = DbEnumerator_getInt(rows, 0, &code);
                if (count < lastCount) {
                    note("count went back", 0);
                }
                lastCount = count;
            }
            DbStatement_destroy(statement, &code);
            Database_executeSQL(db, "SELECT * FROM T WHERE N < 3", 1, nullptr, nullptr, &code);
            if (code != 0 && code != 70) {
                note("test run", code);
            }
        }
        Database_close(db, &code);
    };

    std::thread a(writer, 1), b(writer, 2), r(reader);
    a.join();
    b.join();
    r.join();

    EXPECT_TRUE(failures().empty()) << [&] {
        std::string text;
        for (const auto& [what, count] : failures()) {
            text += what + " x" + std::to_string(count) + "\n";
        }
        return text;
    }();
    EXPECT_EQ(queryRows(kPath, "SELECT WRITER, COUNT(*), COUNT(DISTINCT N) FROM T GROUP BY WRITER"),
              (Rows{{"1", "150", "150"}, {"2", "150", "150"}}));
}

TEST_F(PlatformDatabaseThreadsTest, AllocatorAndLogHookUnderSeveralThreads) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    long before = Mem_getLiveCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kRounds; ++i) {
                unsigned int err = 0;
                char* text = String_newByString("shared", &err);
                List* pieces = String_getTokens("a,b", ",");
                __Log_printfEx(10, 31, "worker", t, "round %d", i);
                List_delete(pieces);
                Mem_freeEx(text, __FILE__, __LINE__);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(Mem_getLiveCount(), before);
    EXPECT_EQ(static_cast<int>(logLines().size()), kThreads * kRounds);
    EXPECT_EQ(countLog(kTrace, "round 499", 10, "worker"), kThreads);
}

}  // namespace
