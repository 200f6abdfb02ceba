// Statements that the base stand-in keeps prepared between runs of the same
// text: a second run must see the file as it is now, whatever happened to
// it since the first, and must not hold anything of the first run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

constexpr const char* kPath = "/SystemRW/Test/kept.db";
constexpr const char* kCount = "SELECT count(*), * FROM T";

class StatementCacheTest : public LifelogTest {
public:
    // For the cases' own changes to the file.
    using LifelogTest::execSql;

protected:
    // All rows of `sql` through the stand-in, columns joined by '|'.
    std::vector<std::string> read(Database* db, const char* sql) {
        unsigned int err = 0;
        DbStatement* statement = Database_createStatement(db, sql, &err);
        EXPECT_EQ(err, 0u) << sql;
        std::vector<std::string> out;
        if (statement == nullptr) {
            return out;
        }
        DbEnumerator* rows = Database_executeStatement(statement, &err);
        while (DbEnumerator_getNextRow(rows, &err)) {
            std::string line;
            for (int c = 0; c < DbEnumerator_getColumnNumber(rows, &err); ++c) {
                const char* text = DbEnumerator_getText(rows, c, &err);
                line += (c ? "|" : "") + std::string(text ? text : "-");
            }
            out.push_back(line);
        }
        DbStatement_destroy(statement, &err);
        return out;
    }
};

struct Between {
    const char* label;
    bool leftOnARow;  // the first run is given up while a row is current
    void (*change)(StatementCacheTest& test, Database*& db);
    std::vector<std::string> second;
};

TEST_F(StatementCacheTest, ASecondRunOfTheSameTextSeesTheFileAsItIsNow) {
    // clang-format off
    const Between cases[] = {
        {.label = "another connection added a row",
         .leftOnARow = true,
         .change = [](StatementCacheTest& t, Database*&) { t.execSql(kPath, "INSERT INTO T VALUES (2)"); },
         .second = {"2|1"}},
        {.label = "the writer's own commit",
         .leftOnARow = false,
         .change = [](StatementCacheTest&, Database*& db) {
             unsigned int err = 0;
             Database_beginTransaction(db, &err);
             Database_executeSQL(db, "INSERT INTO T VALUES (3)", 0, nullptr, nullptr, &err);
             Database_commitTransaction(db, &err);
         },
         .second = {"2|1"}},
        {.label = "a column added by another connection",
         .leftOnARow = true,
         .change = [](StatementCacheTest& t, Database*&) { t.execSql(kPath, "ALTER TABLE T ADD COLUMN B DEFAULT 'b'"); },
         .second = {"1|1|b"}},
        {.label = "the file dropped and made anew",
         .leftOnARow = false,
         .change = [](StatementCacheTest&, Database*& db) {
             unsigned int err = 0;
             Database_close(db, &err);
             _Database_dropInternal(kPath, &err);
             db = _Database_createInternal(kPath, &err);
             Database_executeSQL(db, "CREATE TABLE T (A)", 0, nullptr, nullptr, &err);
             Database_executeSQL(db, "INSERT INTO T VALUES (7)", 0, nullptr, nullptr, &err);
         },
         .second = {"1|7"}},
    };
    // clang-format on
    for (const Between& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        unsigned int err = 0;
        Database* db = _Database_createInternal(kPath, &err);
        Database_executeSQL(db, "CREATE TABLE T (A)", 0, nullptr, nullptr, &err);
        Database_executeSQL(db, "INSERT INTO T VALUES (1)", 0, nullptr, nullptr, &err);
        DbStatement* first = Database_createStatement(db, kCount, &err);
        DbEnumerator* rows = Database_executeStatement(first, &err);
        if (c.leftOnARow) {
            ASSERT_EQ(DbEnumerator_getNextRow(rows, &err), 1);
        } else {
            while (DbEnumerator_getNextRow(rows, &err)) {
            }
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

TEST_F(StatementCacheTest, TwoLiveStatementsOfOneTextRunApart) {
    unsigned int err = 0;
    Database* db = _Database_createInternal(kPath, &err);
    Database_executeSQL(db, "CREATE TABLE T (A)", 0, nullptr, nullptr, &err);
    Database_executeSQL(db, "INSERT INTO T VALUES (1), (2), (3)", 0, nullptr, nullptr, &err);
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
