// The base stand-in's database: result codes, the one-statement rule, what
// each kind of statement may reach, row enumerators and column types, files
// and folders, kept connections that must notice a file that vanished or was
// made anew, and statements kept prepared between runs of the same text,
// whose second run must see the file as it is now and hold nothing of the
// first.
#include "fixture.h"

namespace {

constexpr const char* kPath = "/SystemRW/Test/Nested/Deeper/test.db";
constexpr const char* kKept = "/SystemRW/Test/kept.db";

class PlatformDatabaseTest : public LifelogTest {
public:
    // For the cases' own changes to the file.
    using LifelogTest::execSql;
    unsigned int run(Database* db, const char* sql) {
        Database_executeSQL(db, sql, 0, nullptr, nullptr, &err);
        return err;
    }
    // All rows of `sql` through the stand-in, columns joined by '|'.
    std::vector<std::string> read(Database* db, const char* sql) {
        DbStatement* statement = Database_createStatement(db, sql, &err);
        EXPECT_EQ(err, 0u) << sql;
        std::vector<std::string> out;
        DbEnumerator* rows = statement ? Database_executeStatement(statement, &err) : nullptr;
        while (rows != nullptr && DbEnumerator_getNextRow(rows, &err)) {
            out.emplace_back();
            for (int c = 0; c < DbEnumerator_getColumnNumber(rows, &err); ++c) {
                const char* text = DbEnumerator_getText(rows, c, &err);
                out.back() += (c ? "|" : "") + std::string(text ? text : "-");
            }
        }
        DbStatement_destroy(statement, &err);
        return out;
    }
    unsigned int err = 99;
};

TEST_F(PlatformDatabaseTest, ExecuteResultCodesOneStatementOnlyAndWhatEachKindMayDo) {
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
        // What each kind of statement may do: never reach the schema, pragmas
        // or other files, never build an oversized value.
        {"CREATE TABLE V (V INTEGER)", 70},
        {"INSERT INTO V VALUES (1)", 0},
        {" /* note */ SELECT * FROM V", 0},
        {"WITH w AS (SELECT V FROM V) SELECT * FROM w", 0},
        {"VALUES (1)", 0},
        {"SELECT sql FROM sqlite_master", 1023},
        {"SELECT rootpage FROM sqlite_schema WHERE name = 'V'", 1023},
        {"SELECT COUNT(*) FROM sqlite_master", 1023},
        {"SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'V'", 0},
        {"PRAGMA user_version = 7", 1023},
        {"PRAGMA journal_mode", 1023},
        {"ATTACH DATABASE ':memory:' AS other", 1023},
        {"SELECT "
         "length(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex(hex("
         "hex('ab'))))))))))))))))))))))",
         1018},
        // A reading statement calls only functions that cannot run long in
        // one call: the deadline is not checked inside a call.
        {"SELECT length(printf('%.*c', 300000000, 'x'))", 1023},
        {"SELECT length(format('%.*c', 300000000, 'x'))", 1023},
        {"SELECT instr('abc', 'b')", 1023},
        {"SELECT length(zeroblob(2000000))", 1023},
        {"SELECT length(hex(randomblob(600000)))", 1023},
        {"SELECT lower(NAME) FROM T WHERE NAME LIKE 'f%' AND abs(ID) = 1", 0},
        {"UPDATE T SET NAME = replace(NAME, 'z', 'y') WHERE ID < 0", 70},  // writes may
        // The rows of a reading statement are thrown away: it ends at its
        // first row, before the second row's overflow.
        {"SELECT abs(column1) FROM (VALUES (1), (-9223372036854775807 - 1))", 0},
        {"DELETE FROM V WHERE V = 2", 70},
    };
    for (const auto& [sql, code] : cases) EXPECT_EQ(run(db, sql), code) << sql;
    for (auto [sql, code] : {std::pair{"SELECT 1; SELECT 2", unsigned{ZBASE_E_INVALID_ARG}},
                             {"SELECT sql FROM sqlite_master", ZBASE_E_DB_ENGINE + 23u}}) {
        EXPECT_EQ(Database_createStatement(db, sql, &err), nullptr);
        EXPECT_EQ(err, code) << "a prepared text follows the same rules: " << sql;
    }
    DbStatement* listing = Database_createStatement(
        db, "SELECT abs(column1) FROM (VALUES (1), (-9223372036854775807 - 1))", &err);
    DbEnumerator* rows = Database_executeStatement(listing, &err);
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0);
    EXPECT_EQ(err, ZBASE_E_DB_ENGINE + 1u) << "a listing sees the error of its second row";
    DbStatement_destroy(listing, &err);
    Database_close(db, &err);
    EXPECT_EQ(queryRows(kPath, "SELECT NAME FROM T ORDER BY ID"), (Rows{{"first"}, {"renamed"}}))
        << "a refused text ran none of its statements";
    EXPECT_EQ(queryRows(kPath, "PRAGMA user_version"), (Rows{{"0"}}));
}

TEST_F(PlatformDatabaseTest, ColumnTypesReadersAndTheEndOfRows) {
    Database* db = _Database_createInternal(kPath, &err);
    ASSERT_EQ(run(db, "CREATE TABLE T (A, B, C, D, E, F)"), ZBASE_E_NO_ROWS_CHANGED);
    ASSERT_EQ(run(db, "INSERT INTO T VALUES (-2147483648, 2147483648, 1.5, 'text', x'00', NULL)"),
              0u);
    DbStatement* statement = Database_createStatement(db, "SELECT * FROM T", &err);
    DbEnumerator* rows = Database_executeStatement(statement, &err);
    ASSERT_NE(rows, nullptr);
    DbEnumerator_getInt(rows, 0, &err);
    EXPECT_NE(err, 0u) << "no row is current before the first getNextRow";
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    for (int column = 0; column < 6; ++column)
        EXPECT_EQ(DbEnumerator_getColumnType(rows, column, &err), column) << column;
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), INT32_MIN);
    EXPECT_EQ(DbEnumerator_getInt64(rows, 1, &err), INT64_C(2147483648));
    EXPECT_DOUBLE_EQ(DbEnumerator_getDouble(rows, 2, &err), 1.5);
    EXPECT_STREQ(DbEnumerator_getText(rows, 3, &err), "text");
    EXPECT_EQ(DbEnumerator_getText(rows, 5, &err), nullptr);
    EXPECT_EQ(err, 0u) << "NULL reads as a null text, not a failure";
    for (int end = 0; end < 2; ++end) {  // the end does not start over
        EXPECT_EQ(DbEnumerator_getNextRow(rows, &err), 0);
        EXPECT_EQ(err, ZBASE_E_NO_MORE_ROWS);
    }
    DbEnumerator_reset(rows, &err);
    ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
    EXPECT_EQ(DbEnumerator_getInt(rows, 0, &err), INT32_MIN) << "reset starts over";
    DbStatement_destroy(statement, &err);
    Database_close(db, &err);
}

TEST_F(PlatformDatabaseTest, TransactionsAndAHandleClosedInsideOne) {
    Database* db = _Database_createInternal(kPath, &err);
    ASSERT_EQ(run(db, "CREATE TABLE T (V INTEGER)"), ZBASE_E_NO_ROWS_CHANGED);
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
    ASSERT_EQ(run(db, "CREATE TABLE OLD (V INTEGER)"), ZBASE_E_NO_ROWS_CHANGED);
    Database_close(db, &err);  // the connection is kept
    std::filesystem::remove(hostPath(kPath));
    EXPECT_EQ(_Database_openInternal(kPath, &err), nullptr) << "a vanished file fails to open";
    EXPECT_EQ(err, ZBASE_E_FILE_NOT_FOUND);
    execSql(kPath, "CREATE TABLE NEW (V INTEGER); INSERT INTO NEW VALUES (5);");
    db = _Database_openInternal(kPath, &err);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(run(db, "SELECT * FROM OLD"), ZBASE_E_DB_ENGINE + 1u)
        << "the file made anew is the one seen";
    ASSERT_EQ(run(db, "INSERT INTO NEW VALUES (6)"), 0u);
    Database_close(db, &err);
    EXPECT_EQ(queryRows(kPath, "SELECT COUNT(*) FROM NEW"), (Rows{{"2"}}));
    _Database_dropInternal(kPath, &err);
    EXPECT_EQ(err, 0u);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_FALSE(std::filesystem::exists(hostPath(std::string(kPath) + suffix))) << suffix;
}

TEST_F(PlatformDatabaseTest, ASecondRunOfTheSameTextSeesTheFileAsItIsNow) {
    using T = PlatformDatabaseTest;
    constexpr const char* kCount = "SELECT count(*), * FROM T";
    const struct {
        const char* label;
        bool leftOnARow;  // the first run is given up while a row is current
        void (*change)(PlatformDatabaseTest& test, Database*& db);
        std::vector<std::string> second;
    } cases[] = {
        {.label = "another connection added a row",
         .leftOnARow = true,
         .change = [](T& t, Database*&) { t.execSql(kKept, "INSERT INTO T VALUES (2)"); },
         .second = {"2|1"}},
        {.label = "the writer's own commit",
         .leftOnARow = false,
         .change =
             [](T& t, Database*& db) {
                 Database_beginTransaction(db, &t.err);
                 t.run(db, "INSERT INTO T VALUES (3)");
                 Database_commitTransaction(db, &t.err);
             },
         .second = {"2|1"}},
        {.label = "a column added by another connection",
         .leftOnARow = true,
         .change = [](T& t,
                      Database*&) { t.execSql(kKept, "ALTER TABLE T ADD COLUMN B DEFAULT 'b'"); },
         .second = {"1|1|b"}},
        {.label = "the file dropped and made anew",
         .leftOnARow = false,
         .change =
             [](T& t, Database*& db) {
                 Database_close(db, &t.err);
                 _Database_dropInternal(kKept, &t.err);
                 db = _Database_createInternal(kKept, &t.err);
                 t.run(db, "CREATE TABLE T (A)"), t.run(db, "INSERT INTO T VALUES (7)");
             },
         .second = {"1|7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        Database* db = _Database_createInternal(kKept, &err);
        run(db, "CREATE TABLE T (A)"), run(db, "INSERT INTO T VALUES (1)");
        DbStatement* first = Database_createStatement(db, kCount, &err);
        DbEnumerator* rows = Database_executeStatement(first, &err);
        ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
        while (!c.leftOnARow && DbEnumerator_getNextRow(rows, &err)) {
        }
        DbStatement_destroy(first, &err);
        c.change(*this, db);
        // A statement given up on a row holds no read snapshot: the
        // connection's other statements see the change too.
        EXPECT_EQ(read(db, "SELECT count(*) FROM T"),
                  std::vector<std::string>{c.second[0].substr(0, 1)});
        EXPECT_EQ(read(db, kCount), c.second);
        Database_close(db, &err);
    }
}

TEST_F(PlatformDatabaseTest, TwoLiveStatementsOfOneTextRunApart) {
    Database* db = _Database_createInternal(kKept, &err);
    run(db, "CREATE TABLE T (A)"), run(db, "INSERT INTO T VALUES (1), (2), (3)");
    const char* sql = "SELECT A FROM T ORDER BY A";
    for (int round = 0; round < 2; ++round) {
        DbStatement* outer = Database_createStatement(db, sql, &err);
        DbStatement* inner = Database_createStatement(db, sql, &err);
        DbEnumerator* a = Database_executeStatement(outer, &err);
        DbEnumerator* b = Database_executeStatement(inner, &err);
        std::string seen;
        while (DbEnumerator_getNextRow(a, &err)) {
            ASSERT_EQ(DbEnumerator_getNextRow(b, &err), 1);
            seen += std::to_string(DbEnumerator_getInt(a, 0, &err)) +
                    std::to_string(DbEnumerator_getInt(b, 0, &err));
        }
        EXPECT_EQ(seen, "112233") << "round " << round;
        DbStatement_destroy(inner, &err);
        DbStatement_destroy(outer, &err);
    }
    Database_close(db, &err);
}

}  // namespace
