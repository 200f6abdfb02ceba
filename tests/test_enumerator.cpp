// The result enumerator on its own: column kinds to items, time stamp and
// location, skipped NULLs, unreadable rows, the walk and its end.
#include <string>
#include <vector>

#include "query_fixture.h"
#include "zbase_testing.h"

namespace {

class EnumeratorTest : public QueryTest {
protected:
    void SetUp() override {
        QueryTest::SetUp();
        seedCalls();
        unsigned int err = 0;
        database_ = _Database_openInternal(kDbPath, &err);
        ASSERT_EQ(err, 0u);
    }
    void TearDown() override {
        unsigned int err = 0;
        Database_close(database_, &err);
        QueryTest::TearDown();
    }
    ZLifelogEnumerator* make(const std::string& sql, unsigned int* err) {
        return ZLifelogEnumerator_new(database_, "ACTIVITY_CALL", sql.c_str(), err);
    }
    Database* database_ = nullptr;
};

TEST_F(EnumeratorTest, ColumnsBecomeTimestampLocationAndTypedItems) {
    struct Case {
        const char* label;
        std::string sql;
        std::vector<RowView> rows;
    } cases[] = {
        {"every value type, NULL skipped",
         "SELECT LOG_KEY, 5000000000 AS BIG, 2.5 AS D, 'txt' AS T, NULL AS N, LOCATION, "
         "CLOG_TIMESTAMP FROM ACTIVITY_CALL WHERE LOG_KEY=1",
         {{"ACTIVITY_CALL", "2020-01-01 10:00:00", "Seoul",
           {"LOG_KEY=1", "BIG=5000000000L", "D=2.5d", "T='txt'"}}}},
        {"NULL location and no time-stamp column",
         "SELECT CLOG_TYPE, LOCATION FROM ACTIVITY_CALL WHERE LOG_KEY=2",
         {{"ACTIVITY_CALL", "", "<null>", {"CLOG_TYPE=2"}}}},
        {"time-stamp columns of every table",
         "SELECT '2021-02-03 04:05:06' AS MSGLOG_TIMESTAMP, 1 AS X FROM ACTIVITY_CALL WHERE "
         "LOG_KEY=1 UNION ALL SELECT '2022-03-04 05:06:07' AS MDLOG_TIMESTAMP, 2 FROM "
         "ACTIVITY_CALL WHERE LOG_KEY=2",
         {{"ACTIVITY_CALL", "2021-02-03 04:05:06", "<null>", {"X=1"}},
          {"ACTIVITY_CALL", "2022-03-04 05:06:07", "<null>", {"X=2"}}}},
        {"names are compared exactly", "SELECT 'here' AS location FROM ACTIVITY_CALL WHERE LOG_KEY=3",
         {{"ACTIVITY_CALL", "", "<null>", {"location='here'"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        unsigned int err = 0;
        ZLifelogEnumerator* enumerator = make(c.sql, &err);
        ASSERT_EQ(err, 0u);
        unsigned int endErr = 0;
        EXPECT_EQ(drain(enumerator, &endErr), c.rows);
        EXPECT_EQ(endErr, 2u);
    }
}

TEST_F(EnumeratorTest, TraceLinesOfCreationAndDeletion) {
    clearLog();
    unsigned int err = 0;
    ZLifelogEnumerator* enumerator = make("SELECT * FROM ACTIVITY_CALL ", &err);
    ZLifelogEnumerator_delete(enumerator);
    const std::vector<std::string> expected = {
        "ZLifelogEnumerator_new|start : sql : [ SELECT * FROM ACTIVITY_CALL  ]",
        "ZLifelogEnumerator_new|end",
        "ZLifelogEnumerator_delete|start",
        "ZLifelogEnumerator_delete|end",
    };
    EXPECT_EQ(logTexts(kTrace), expected);
}

TEST_F(EnumeratorTest, UnreadableRowsFailWith13AndTheWalkGoesOn) {
    struct Case {
        const char* label;
        std::string sql;
        const char* line;
    } cases[] = {
        {"blob column", "SELECT LOG_KEY, x'00ff' AS B FROM ACTIVITY_CALL",
         "[E_FAILURE] : Db has invalid type."},
        {"blob where the location is", "SELECT LOG_KEY, x'00' AS LOCATION FROM ACTIVITY_CALL",
         "[E_FAILURE] : Db has invalid type."},
        {"time stamp not in the time-stamp form",
         "SELECT LOG_KEY, 'yesterday' AS CLOG_TIMESTAMP FROM ACTIVITY_CALL",
         "[E_FAILURE] : Convert timestamp is failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        clearLog();
        unsigned int err = 0;
        ZLifelogEnumerator* enumerator = make(c.sql, &err);
        ASSERT_EQ(err, 0u);
        int rows = 0;
        for (ZLifelogEnumerator_moveNext(enumerator, &err); err == 0;
             ZLifelogEnumerator_moveNext(enumerator, &err)) {
            unsigned int rowErr = 0;
            EXPECT_EQ(ZLifelogEnumerator_getCurrentN(enumerator, &rowErr), nullptr);
            EXPECT_EQ(rowErr, 13u);
            ++rows;
        }
        EXPECT_EQ(err, 2u);
        EXPECT_EQ(rows, 3);
        EXPECT_EQ(countLog(kError, c.line, 10, "ZLifelogEnumerator_getCurrentN"), 3);
        ZLifelogEnumerator_delete(enumerator);
    }
}

TEST_F(EnumeratorTest, StatementThatCannotBePreparedGives66) {
    unsigned int err = 0;
    EXPECT_EQ(make("SELECT * FROM NO_SUCH_TABLE", &err), nullptr);
    EXPECT_EQ(err, 66u);
    EXPECT_TRUE(hasLog(kError, "[E_DB_ENGINE_1] Propagated : Database_createStatement is failed.",
                       10, "ZLifelogEnumerator_new"));
}

TEST_F(EnumeratorTest, EachCallMakesAnIndependentActivityAndResetStartsOver) {
    unsigned int err = 0;
    ZLifelogEnumerator* enumerator = make("SELECT * FROM ACTIVITY_CALL ", &err);
    ZLifelogEnumerator_moveNext(enumerator, &err);
    ASSERT_EQ(err, 0u);
    ZLifelogActivity* first = ZLifelogEnumerator_getCurrentN(enumerator, &err);
    ZLifelogActivity* second = ZLifelogEnumerator_getCurrentN(enumerator, &err);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    const RowView view = viewOf(second);
    EXPECT_EQ(viewOf(first), view);
    ZLifelogActivity_delete(first);
    EXPECT_EQ(viewOf(second), view);
    ZLifelogActivity_delete(second);

    ZLifelogEnumerator_moveNext(enumerator, &err);
    ZLifelogEnumerator_moveNext(enumerator, &err);
    ZLifelogEnumerator_moveNext(enumerator, &err);
    EXPECT_EQ(err, 2u);
    ZLifelogEnumerator_reset(enumerator, &err);
    EXPECT_EQ(err, 0u);
    std::vector<RowView> again = drain(enumerator);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again.front(), view);
}

TEST_F(EnumeratorTest, EveryAllocationFailureLeavesNothingBehind) {
    const long baseline = Mem_getLiveCount();
    bool completed = false;
    for (long n = 1; n < 200 && !completed; ++n) {
        SCOPED_TRACE(n);
        Mem_failAfter(n);
        unsigned int err = 0;
        ZLifelogEnumerator* enumerator =
            make("SELECT LOG_KEY, 5000000000 AS BIG, 2.5 AS D, LOCATION, CLOG_PHONE_NUMBER, "
                 "CLOG_TIMESTAMP FROM ACTIVITY_CALL",
                 &err);
        const unsigned int createErr = err;
        std::vector<RowView> rows = drain(enumerator);
        Mem_failAfter(0);
        EXPECT_EQ(enumerator == nullptr, createErr != 0);
        EXPECT_EQ(Mem_getLiveCount(), baseline);
        completed = createErr == 0 && rows.size() == 3 && rows[0].items.size() == 4;
    }
    EXPECT_TRUE(completed);
}

}  // namespace
