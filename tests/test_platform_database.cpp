// The base stand-in's database: result codes, the one-statement rule, row
// enumerators and column types, files and folders, and kept connections
// that must notice a file that vanished or was made anew.
#include <gtest/gtest.h>
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

constexpr const char* kPath = "/SystemRW/Test/Nested/Deeper/test.db";

using Rows = std::vector<std::vector<std::string>>;

class PlatformDatabaseTest : public LifelogTest {
protected:
    Database* create() {
        unsigned int err = 99;
        Database* db = _Database_createInternal(kPath, &err);
        EXPECT_EQ(err, 0u);
        EXPECT_NE(db, nullptr);
        return db;
    }
    unsigned int run(Database* db, const char* sql) {
        unsigned int err = 99;
        Database_executeSQL(db, sql, 0, nullptr, nullptr, &err);
        return err;
    }
    void close(Database* db) {
        unsigned int err = 99;
        Database_close(db, &err);
        EXPECT_EQ(err, 0u);
    }
};

TEST_F(PlatformDatabaseTest, ExecuteResultCodes) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME TEXT UNIQUE)"), 70u);
    struct Case {
        const char* sql;
        unsigned int code;
    };
    const Case cases[] = {
        {" \t\t\tINSERT INTO T (NAME) VALUES (\"first\")", 0},  // double-quoted text fallback
        {"INSERT INTO T (NAME) VALUES ('second');", 0},
        {"SELECT * FROM T", 0},
        {"SELECT * FROM T WHERE NAME='none'", 70},
        {"DELETE FROM T WHERE NAME='none'", 70},
        {"UPDATE T SET NAME='renamed' WHERE NAME='nobody'", 70},
        {"UPDATE T SET NAME='renamed' WHERE NAME='second'", 0},
        {"SELEC * FROM T", 1001},
        {"SELECT * FROM MISSING", 1001},
        {"INSERT INTO T (NAME) VALUES ('first')", 1019},
        {"", 4},
        {"  ;  ", 4},
        {"-- only a comment", 4},
        {"DELETE FROM T WHERE NAME='first' ;; \n ", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(db, c.sql), c.code) << c.sql;
    }
    close(db);
    EXPECT_EQ(queryRows(kPath, "SELECT NAME FROM T ORDER BY ID"), (Rows{{"renamed"}}));
}

TEST_F(PlatformDatabaseTest, SecondStatementIsRefusedAndNothingRuns) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    const char* smuggled[] = {
        "INSERT INTO T VALUES (1); INSERT INTO T VALUES (2)",
        "INSERT INTO T VALUES (1); DROP TABLE T",
        "INSERT INTO T VALUES (1); -- trailing comment",
        "INSERT INTO T VALUES (1) garbage",
    };
    for (const char* sql : smuggled) {
        unsigned int code = run(db, sql);
        EXPECT_NE(code, 0u) << sql;
        EXPECT_NE(code, 70u) << sql;
    }
    unsigned int err = 99;
    EXPECT_EQ(Database_createStatement(db, "SELECT 1; SELECT 2", &err), nullptr);
    EXPECT_EQ(err, 4u);
    close(db);
    EXPECT_EQ(queryRows(kPath, "SELECT COUNT(*) FROM T"), (Rows{{"0"}}));
}

TEST_F(PlatformDatabaseTest, ColumnTypesAndReaders) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (A, B, C, D, E, F, G)"), 70u);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (2147483647, 2147483648, 1.5, 'text', x'00ff', "
                      "NULL, -2147483648)"),
              0u);
    unsigned int err = 99;
    DbStatement* statement = Database_createStatement(db, "SELECT * FROM T", &err);
    ASSERT_NE(statement, nullptr);
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(DbEnumerator_getColumnNumber(rows, &err), 7);
    DbEnumerator_getInt(rows, 0, &err);
    EXPECT_NE(err, 0u) << "no row is current before the first getNextRow";
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(err, 0u);

    const int types[] = {0, 1, 2, 3, 4, 5, 0};
    const char* names[] = {"A", "B", "C", "D", "E", "F", "G"};
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(DbEnumerator_getColumnType(rows, column, &err), types[column]) << column;
        EXPECT_EQ(err, 0u);
        EXPECT_STREQ(DbEnumerator_getColumnName(rows, column, &err), names[column]);
    }
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), 2147483647);
    EXPECT_EQ(DbEnumerator_getInt64(rows, 1, &err), INT64_C(2147483648));
    EXPECT_DOUBLE_EQ(DbEnumerator_getDouble(rows, 2, &err), 1.5);
    EXPECT_STREQ(DbEnumerator_getText(rows, 3, &err), "text");
    EXPECT_EQ(DbEnumerator_getText(rows, 5, &err), nullptr);
    EXPECT_EQ(err, 0u) << "NULL reads as a null text, not a failure";
    EXPECT_EQ(DbEnumerator_getInt(rows, 6, &err), INT32_MIN);
    DbEnumerator_getColumnType(rows, 7, &err);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(DbEnumerator_getColumnName(rows, -1, &err), nullptr);
    EXPECT_EQ(err, 4u);

    DbStatement_destroy(statement, &err);
    EXPECT_EQ(err, 0u);
    close(db);
}

TEST_F(PlatformDatabaseTest, EnumeratorEndsWith69UntilReset) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (1)"), 0u);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (2)"), 0u);
    unsigned int err = 99;
    DbStatement* statement = Database_createStatement(db, "SELECT V FROM T ORDER BY V", &err);
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    std::vector<int> seen;
    while (DbEnumerator_getNextRow(rows, &err)) {
        seen.push_back(DbEnumerator_getInt(rows, 0, &err));
    }
    EXPECT_EQ(err, 69u);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0) << "the end does not start over";
    EXPECT_EQ(err, 69u);
    DbEnumerator_reset(rows, &err);
    EXPECT_EQ(err, 0u);
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), 1);
    EXPECT_EQ(Database_executeStatement(statement, &err), rows) << "one enumerator per statement";
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), 1);
    DbStatement_destroy(statement, &err);
    close(db);
}

TEST_F(PlatformDatabaseTest, TransactionsCommitAndRollBack) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    unsigned int err = 99;
    Database_beginTransaction(db, &err);
    ASSERT_EQ(err, 0u);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (1)"), 0u);
    Database_rollbackTransaction(db, &err);
    ASSERT_EQ(err, 0u);
    Database_beginTransaction(db, &err);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (2)"), 0u);
    Database_commitTransaction(db, &err);
    ASSERT_EQ(err, 0u);
    Database_commitTransaction(db, &err);
    EXPECT_EQ(err, 1001u) << "no transaction is active";
    // A handle closed inside a transaction loses it.
    Database_beginTransaction(db, &err);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (3)"), 0u);
    close(db);
    EXPECT_EQ(queryRows(kPath, "SELECT V FROM T"), (Rows{{"2"}}));
    db = create();
    Database_beginTransaction(db, &err);
    EXPECT_EQ(err, 0u) << "the kept connection came back outside a transaction";
    Database_rollbackTransaction(db, &err);
    close(db);
}

TEST_F(PlatformDatabaseTest, FilesFoldersAndDrop) {
    unsigned int err = 99;
    EXPECT_EQ(_Database_existsInternal(kPath, &err), 0);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(_Database_openInternal(kPath, &err), nullptr);
    EXPECT_NE(err, 0u);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kPath)));

    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (7)"), 0u);
    EXPECT_EQ(_Database_existsInternal(kPath, &err), 1);
    EXPECT_TRUE(std::filesystem::exists(hostPath(std::string(kPath) + "-wal")))
        << "the database runs with a WAL journal";
    close(db);
    EXPECT_EQ(queryRows(kPath, "SELECT V FROM T"), (Rows{{"7"}}));

    _Database_dropInternal(kPath, &err);
    EXPECT_EQ(err, 0u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_FALSE(std::filesystem::exists(hostPath(std::string(kPath) + suffix))) << suffix;
    }
    EXPECT_EQ(_Database_existsInternal(kPath, &err), 0);
    EXPECT_EQ(_Database_openInternal(kPath, &err), nullptr);
    EXPECT_EQ(err, 31u);
    _Database_dropInternal(kPath, &err);
    EXPECT_EQ(err, 31u);
    EXPECT_EQ(_Database_openInternal("/SystemRW/../../escape.db", &err), nullptr);
    EXPECT_EQ(err, 4u);
}

TEST_F(PlatformDatabaseTest, KeptConnectionsSeeAVanishedOrRemadeFile) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE OLD (V INTEGER)"), 70u);
    close(db);  // the connection is kept

    // Removed behind the platform's back: opening must fail, not reuse.
    std::filesystem::remove(hostPath(kPath));
    unsigned int err = 99;
    EXPECT_EQ(_Database_openInternal(kPath, &err), nullptr);
    EXPECT_EQ(err, 31u);

    // Made anew by someone else: the new file's content is what is seen.
    execSql(kPath, "CREATE TABLE NEW (V INTEGER); INSERT INTO NEW VALUES (5);");
    db = _Database_openInternal(kPath, &err);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(run(db, "SELECT * FROM NEW"), 0u);
    EXPECT_EQ(run(db, "SELECT * FROM OLD"), 1001u);
    ASSERT_EQ(run(db, "INSERT INTO NEW VALUES (6)"), 0u);
    close(db);
    EXPECT_EQ(queryRows(kPath, "SELECT V FROM NEW ORDER BY V"), (Rows{{"5"}, {"6"}}));

    // Dropped and created again through the platform: empty.
    _Database_dropInternal(kPath, &err);
    db = create();
    EXPECT_EQ(run(db, "SELECT * FROM NEW"), 1001u);
    close(db);
}

TEST_F(PlatformDatabaseTest, HandlesAreTrackedFromOpenToClose) {
    long before = Mem_getLiveCount();
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    unsigned int err = 99;
    DbStatement* statement = Database_createStatement(db, "SELECT V FROM T", &err);
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(Mem_getLiveCount(), before + 3);
    // A statement may outlive its database handle: it keeps the connection.
    close(db);
    EXPECT_EQ(Mem_getLiveCount(), before + 2);
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0);
    EXPECT_EQ(err, 69u);
    DbStatement_destroy(statement, &err);
    EXPECT_EQ(Mem_getLiveCount(), before);
}

TEST_F(PlatformDatabaseTest, AllocationFailuresLeaveNothingOpen) {
    Database* db = create();
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    close(db);
    for (long n = 1; n <= 3; ++n) {
        long before = Mem_getLiveCount();
        unsigned int err = 0;
        Mem_failAfter(n);
        Database* opened = _Database_openInternal(kPath, &err);
        DbStatement* statement =
            opened ? Database_createStatement(opened, "SELECT V FROM T", &err) : nullptr;
        DbEnumerator* rows = statement ? Database_executeStatement(statement, &err) : nullptr;
        Mem_failAfter(0);
        EXPECT_EQ(err, 1u) << "allocation " << n;
        EXPECT_EQ(rows, nullptr);
        if (statement != nullptr) {
            DbStatement_destroy(statement, &err);
        }
        if (opened != nullptr) {
            Database_close(opened, &err);
        }
        EXPECT_EQ(Mem_getLiveCount(), before);
    }
}

}  // namespace
