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
    unsigned int run(Database* db, const char* sql) {
        Database_executeSQL(db, sql, 0, nullptr, nullptr, &err);
        return err;
    }
    unsigned int err = 99;
};

TEST_F(PlatformDatabaseTest, ExecuteResultCodesAndOneStatementOnly) {
    Database* db = _Database_createInternal(kPath, &err);
    ASSERT_NE(db, nullptr) << "parent folders are made";
    const std::pair<const char*, unsigned int> cases[] = {
        {"CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME TEXT UNIQUE)", 70},
        {" \tINSERT INTO T (NAME) VALUES (\"first\")", 0},  // double-quoted text fallback
        {"INSERT INTO T (NAME) VALUES ('second');", 0},
        {"SELECT * FROM T", 0},
        {"SELECT * FROM T WHERE NAME='none'", 70},
        {"DELETE FROM T WHERE NAME='none'", 70},
        {"UPDATE T SET NAME='renamed' WHERE NAME='second'", 0},
        {"SELEC * FROM T", 1001},
        {"INSERT INTO T (NAME) VALUES ('first')", 1019},
        {"INSERT INTO T (NAME) VALUES ('x'); INSERT INTO T (NAME) VALUES ('y')", 4},
        {"DELETE FROM T; DROP TABLE T", 4},
    };
    for (const auto& [sql, code] : cases) EXPECT_EQ(run(db, sql), code) << sql;
    EXPECT_EQ(Database_createStatement(db, "SELECT 1; SELECT 2", &err), nullptr);
    EXPECT_EQ(err, 4u);
    Database_close(db, &err);
    EXPECT_EQ(queryRows(kPath, "SELECT NAME FROM T ORDER BY ID"), (Rows{{"first"}, {"renamed"}}))
        << "a refused text ran none of its statements";
}

TEST_F(PlatformDatabaseTest, ColumnTypesReadersAndTheEndOfRows) {
    Database* db = _Database_createInternal(kPath, &err);
    ASSERT_EQ(run(db, "CREATE TABLE T (A, B, C, D, E, F)"), 70u);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (-2147483648, 2147483648, 1.5, 'text', x'00', NULL)"),
              0u);
    DbStatement* statement = Database_createStatement(db, "SELECT * FROM T", &err);
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    ASSERT_NE(rows, nullptr);
    DbEnumerator_getInt(rows, 0, &err);
    EXPECT_NE(err, 0u) << "no row is current before the first getNextRow";
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    for (int column = 0; column < 6; ++column) {
        EXPECT_EQ(DbEnumerator_getColumnType(rows, column, &err), column) << column;
    }
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), INT32_MIN);
    EXPECT_EQ(DbEnumerator_getInt64(rows, 1, &err), INT64_C(2147483648));
    EXPECT_DOUBLE_EQ(DbEnumerator_getDouble(rows, 2, &err), 1.5);
    EXPECT_STREQ(DbEnumerator_getText(rows, 3, &err), "text");
    EXPECT_EQ(DbEnumerator_getText(rows, 5, &err), nullptr);
    EXPECT_EQ(err, 0u) << "NULL reads as a null text, not a failure";
    for (int end = 0; end < 2; ++end) {  // the end does not start over
        EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0);
        EXPECT_EQ(err, 69u);
    }
    DbEnumerator_reset(rows, &err);
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), INT32_MIN) << "reset starts over";
    DbStatement_destroy(statement, &err);
    Database_close(db, &err);
}

TEST_F(PlatformDatabaseTest, TransactionsAndAHandleClosedInsideOne) {
    Database* db = _Database_createInternal(kPath, &err);
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), 70u);
    for (auto finish : {Database_rollbackTransaction, Database_commitTransaction, Database_close}) {
        Database_beginTransaction(db, &err);
        ASSERT_EQ(run(db, "INSERT INTO T VALUES (2)"), 0u);
        finish(db, &err);
        EXPECT_EQ(err, 0u);
    }
    EXPECT_EQ(queryRows(kPath, "SELECT V FROM T"), (Rows{{"2"}})) << "a close rolls back";
    db = _Database_openInternal(kPath, &err);
    Database_beginTransaction(db, &err);
    EXPECT_EQ(err, 0u) << "the kept connection came back outside a transaction";
    Database_close(db, &err);
}

TEST_F(PlatformDatabaseTest, DropAndVanishedOrRemadeFiles) {
    EXPECT_EQ(_Database_openInternal(kPath, &err), nullptr);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kPath))) << "open never creates";
    Database* db = _Database_createInternal(kPath, &err);
    ASSERT_EQ(run(db, "CREATE TABLE OLD (V INTEGER)"), 70u);
    Database_close(db, &err);  // the connection is kept
    std::filesystem::remove(hostPath(kPath));
    EXPECT_EQ(_Database_openInternal(kPath, &err), nullptr) << "a vanished file fails to open";
    EXPECT_EQ(err, 31u);
    execSql(kPath, "CREATE TABLE NEW (V INTEGER); INSERT INTO NEW VALUES (5);");
    db = _Database_openInternal(kPath, &err);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(run(db, "SELECT * FROM OLD"), 1001u) << "the file made anew is the one seen";
    ASSERT_EQ(run(db, "INSERT INTO NEW VALUES (6)"), 0u);
    Database_close(db, &err);
    EXPECT_EQ(queryRows(kPath, "SELECT COUNT(*) FROM NEW"), (Rows{{"2"}}));
    _Database_dropInternal(kPath, &err);
    EXPECT_EQ(err, 0u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_FALSE(std::filesystem::exists(hostPath(std::string(kPath) + suffix))) << suffix;
    }
}

TEST_F(PlatformDatabaseTest, AllocationFailuresLeaveNothingOpen) {
    writeFile(kPath, "");  // an empty file is an empty database
    execSql(kPath, "CREATE TABLE T (V INTEGER)");
    for (long n = 1; n <= 3; ++n) {
        Mem_failAfter(n);
        Database* db = _Database_openInternal(kPath, &err);
        DbStatement* statement =
            db ? Database_createStatement(db, "SELECT V FROM T", &err) : nullptr;
        DbEnumerator* rows = statement ? Database_executeStatement(statement, &err) : nullptr;
        Mem_failAfter(0);
        EXPECT_EQ(err, 1u) << "allocation " << n;
        EXPECT_EQ(rows, nullptr);
        DbStatement_destroy(statement, nullptr);  // both take null
        Database_close(db, nullptr);
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

}  // namespace
