// The database's bounds on hostile statements: a query that would never
// end is stopped at its deadline, an oversized value at its cap, and a
// statement that reads cannot reach the schema, pragmas, other files or
// write anything.  Each case is what a client can put into a query object;
// the rules for each kind of statement are in test_platform_database.cpp.
#include <sqlite3.h>

#include "query_fixture.h"

namespace {

// Far beyond the 0.2 s deadline, far below the unbounded run's minutes.
constexpr auto kReturnsWithin = std::chrono::seconds(20);

class PlatformBoundsTest : public QueryTest {
protected:
    void SetUp() override {
        setenv("ZBASE_DB_STATEMENT_TIMEOUT_MS", "200", 1);
        QueryTest::SetUp();
        std::string rows = "INSERT INTO ACTIVITY_CALL (CLOG_PHONE_NUMBER) VALUES ";
        for (int i = 0; i < 40; ++i) rows += (i ? ",('" : "('") + std::to_string(i) + "')";
        execSql(kDbPath, rows);
    }
    void TearDown() override {
        QueryTest::TearDown();
        unsetenv("ZBASE_DB_STATEMENT_TIMEOUT_MS");
    }
    unsigned int run(Database* db, const char* sql) {
        unsigned int err = 99;
        Database_executeSQL(db, sql, 0, nullptr, nullptr, &err);
        return err;
    }
};

TEST_F(PlatformBoundsTest, HostileFiltersAreStoppedAndRefused) {
    const struct {
        const char* filter;
        const char* line;   // the library's refusal, naming the stopping code
        const char* bound;  // the platform's line: why the statement stopped
    } cases[] = {
        {.filter = "EXISTS (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) "
                   "SELECT 1 FROM n WHERE x < 0)",
         .line = "[E_DB_ENGINE_9] : filter statement is failed.",
         .bound = "statement ran out of time"},
        {.filter = "(SELECT COUNT(*) FROM ACTIVITY_CALL a, ACTIVITY_CALL b, ACTIVITY_CALL c, "
                   "ACTIVITY_CALL d, ACTIVITY_CALL e, ACTIVITY_CALL f, ACTIVITY_CALL g) > 0",
         .line = "[E_DB_ENGINE_9] : filter statement is failed.",
         .bound = "statement ran out of time"},
        {.filter = "length(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex("
                   "hex(hex(hex('ab')))))))))))))))))))))) > 0",
         .line = "[E_DB_ENGINE_18] : filter statement is failed.",
         .bound = "statement stopped at its memory or length cap"},
        {.filter = "length(printf('%.*c', 300000000, 'x')) > 0",
         .line = "[E_DB_ENGINE_23] : filter statement is failed.",
         .bound = "statement refused (calling printf(), which can run long inside one call)"},
        {.filter = "(SELECT COUNT(*) FROM sqlite_master) > 0",
         .line = "[E_DB_ENGINE_23] : filter statement is failed.",
         .bound = "statement refused (reading the schema)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        clearLog();
        ILifelog* object = open("ACTIVITY_CALL");
        unsigned int err = 0;
        const auto start = std::chrono::steady_clock::now();
        object->ops->setFilter(object, c.filter, &err);
        EXPECT_LT(std::chrono::steady_clock::now() - start, kReturnsWithin);
        EXPECT_EQ(err, ZBASE_E_INVALID_ARG);
        EXPECT_TRUE(hasLog(kError, c.line, 10, "__LifelogImpl_setFilter"));
        bool bounded = false;
        for (const LogLine& line : logLines())
            bounded |= line.module == 1 && line.text.rfind(c.bound, 0) == 0;
        EXPECT_TRUE(bounded) << "no platform line starting with: " << c.bound;
        EXPECT_EQ(object->ops->getCount(object, &err), 40) << "the object still works";
    }
}

TEST_F(PlatformBoundsTest, ColumnsAndTableNamesReadOnlyTheDataTables) {
    ILifelog* object = open("ACTIVITY_CALL");
    unsigned int err = 0;
    const char* columns[] = {
        "(SELECT COUNT(*) FROM sqlite_master)",
        "(SELECT length(sql) FROM sqlite_schema)",
        "(SELECT COUNT(*) FROM pragma_database_list)",
        "load_extension('libm.so.6')",
    };
    for (const char* column : columns) {
        SCOPED_TRACE(column);
        err = 0;
        EXPECT_EQ(object->ops->getSum(object, column, &err), 0);
        EXPECT_NE(err, 0u);
        err = 0;
        ZLifelogEnumerator* rows = object->ops->findMaxLogs(object, column, &err);
        EXPECT_TRUE(rows == nullptr || drain(rows).empty());
    }
    EXPECT_EQ(object->ops->getSum(object, "LOG_KEY", &err), 820) << "plain columns still work";
    // The table name goes into every statement of the object: each is refused.
    for (const char* table : {"sqlite_master", "sqlite_temp_master", "pragma_table_list"}) {
        SCOPED_TRACE(table);
        ILifelog* other = newObject();
        other->ops->initialize(other, table, &err);
        other->ops->getCount(other, &err);
        EXPECT_NE(err, 0u);
        EXPECT_EQ(other->ops->getEnumerator(other, &err), nullptr);
        EXPECT_NE(err, 0u);
    }
    EXPECT_EQ(queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_CALL"), (Rows{{"40"}}));
}

TEST_F(PlatformBoundsTest, EveryRowOfAnEnumeratorHasItsOwnDeadline) {
    unsigned int err = 0;
    Database* db = _Database_openInternal(kDbPath, &err);
    ASSERT_NE(db, nullptr);
    DbStatement* statement = Database_createStatement(
        db,
        "SELECT x FROM (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) "
        "SELECT x FROM n) WHERE x = 1 OR x > 1000000000",
        &err);
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), 1);
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0);
    EXPECT_EQ(err, ZBASE_E_DB_ENGINE + 9u) << "the search for a second row is stopped";
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0);
    EXPECT_EQ(err, ZBASE_E_DB_ENGINE + 9u) << "and stays stopped until reset";
    DbStatement_destroy(statement, &err);
    Database_close(db, &err);
}

// While a hostile query runs, the writer goes on; once it is stopped no
// reader holds an old snapshot, so a checkpoint that must restart the log
// from its beginning succeeds at once.
TEST_F(PlatformBoundsTest, CheckpointsProceedAfterAHostileQuery) {
    std::thread reader([this] {
        ILifelog* object = open("ACTIVITY_CALL");
        unsigned int err = 0;
        object->ops->setFilter(object,
                               "(SELECT COUNT(*) FROM ACTIVITY_CALL a, ACTIVITY_CALL b, "
                               "ACTIVITY_CALL c, ACTIVITY_CALL d, ACTIVITY_CALL e, "
                               "ACTIVITY_CALL f, ACTIVITY_CALL g, ACTIVITY_CALL h) > 0",
                               &err);
        EXPECT_EQ(err, ZBASE_E_INVALID_ARG);
    });
    unsigned int err = 0;
    for (int i = 0; i < 50; ++i) {
        Database* db = _Database_openInternal(kDbPath, &err);
        ASSERT_NE(db, nullptr);
        EXPECT_EQ(run(db, "INSERT INTO ACTIVITY_CALL (CLOG_TYPE) VALUES (1)"), 0u);
        Database_close(db, &err);
    }
    reader.join();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(hostPath(kDbPath).c_str(), &db), SQLITE_OK);
    int frames = -1, done = -1;
    EXPECT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &frames, &done),
              SQLITE_OK)
        << "no reader blocks the checkpoint";
    EXPECT_EQ(frames, done) << "the whole log was copied back";
    sqlite3_close(db);
    EXPECT_EQ(queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_CALL"), (Rows{{"90"}}));
}

}  // namespace
