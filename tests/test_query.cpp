// The query object: the statement of every reading operation for each
// filter, date range and sort order, rows back as activities, counts, sums
// and averages, statements that do not fit, and filters and sort orders
// (including what a hostile client might pass).
#include "query_fixture.h"

namespace {

using Rows = std::vector<std::string>;
const std::string kRange = "BETWEEN '2020-01-02 11:30:00' AND '2020-01-03 23:59:59'";
const std::string kCallRange = "CLOG_TIMESTAMP " + kRange;
const std::string kMax =
    "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MAX(CLOG_DURATION) FROM "
    "ACTIVITY_CALL ) = CLOG_DURATION)";
const std::string kMin =
    "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MIN(CLOG_DURATION) FROM "
    "ACTIVITY_CALL ) = CLOG_DURATION)";
const std::string kMost =
    "SELECT MSGLOG_PHONE_NUMBER, count(*) as OCCURRED_COUNT FROM ACTIVITY_MESSAGE ";
const std::string kMostEnd = "group by MSGLOG_PHONE_NUMBER ORDER BY OCCURRED_COUNT DESC LIMIT 2";
const char *kCall = "ACTIVITY_CALL", *kMessage = "ACTIVITY_MESSAGE";

// A filter of `length` bytes that keeps calls 1 and 3.
std::string padded(size_t length) {
    return "CLOG_TYPE=1" + std::string(length - 11, ' ');
}

// Expected rows in a table row: whole rows (with '|'), or else the LOG_KEY of
// each row ("1 3") for a walk and the one value for a single-value operation.
Rows expand(Op op, const Rows& rows, const std::string& out) {
    Rows expected = rows;
    std::istringstream words(out);
    for (std::string word; words >> word;)
        expected.push_back(op < Op::Count ? "LOG_KEY=" + word : word);
    return expected;
}

TEST_F(QueryTest, StatementsRowsAndValuesForEachFilterRangeAndOrder) {
    seed();
    using enum Op;
    const std::string t1 = "CLOG_TYPE=1";
    const char *media = "ACTIVITY_MEDIA", *photo = "ACTIVITY_PHOTO";
    const char *dur = "CLOG_DURATION", *number = "MSGLOG_PHONE_NUMBER", *ts = "CLOG_TIMESTAMP";
    const std::string all = "SELECT * FROM ACTIVITY_CALL ", where = all + "WHERE ";
    const std::string descTs = " ORDER BY CLOG_TIMESTAMP DESC";
    const std::string most = "ACTIVITY_MESSAGE|0000-00-00 00:00:00|<null>|";
    const struct {
        Op op = List;
        const char* on = "ACTIVITY_CALL";  // the table
        bool range = false;
        std::string where = "";
        const char* by = nullptr;  // the sort column, descending
        const char* col = nullptr;
        std::string sql = "";  // as traced by the enumerator (none for single values)
        std::string out = "";  // keys of the rows walked, or the single value
        unsigned int err = 0;
        Rows rows = {};                 // whole rows, when given
        const char* rowLine = nullptr;  // the error line of each failed row
    } cases[] = {
        {.sql = all, .out = "1 2 3"},
        {.where = t1, .sql = where + t1, .out = "1 3"},
        // Rows as activities: LOG_KEY first, items in column order, NULL columns skipped.
        {.where = "LOG_KEY<3",
         .sql = where + "LOG_KEY<3",
         .rows =
             {"ACTIVITY_CALL|2020-01-01 10:00:00|Seoul|LOG_KEY=1 CLOG_DIRECTION=0 CLOG_DURATION=30 "
              "CLOG_TYPE=1 CLOG_PHONE_NUMBER='0101' CLOG_CELLID=-1 CLOG_LAC=-1 CLOG_MCC=-1 "
              "CLOG_MNC=-1",
              "ACTIVITY_CALL|2020-01-02 11:30:00|<null>|LOG_KEY=2 CLOG_DIRECTION=1 "
              "CLOG_DURATION=90 "
              "CLOG_TYPE=2 CLOG_PHONE_NUMBER='0202' CLOG_CELLID=-1 CLOG_LAC=-1 CLOG_MCC=-1 "
              "CLOG_MNC=-1"}},
        {.range = true, .sql = where + kCallRange, .out = "2 3"},
        {.range = true, .where = t1, .sql = where + t1 + " AND " + kCallRange, .out = "3"},
        {.by = ts, .sql = all + descTs, .out = "3 2 1"},
        {.where = t1, .by = ts, .sql = where + t1 + descTs, .out = "3 1"},
        {.range = true, .by = ts, .sql = where + kCallRange + descTs, .out = "3 2"},
        {.range = true,
         .where = "CLOG_DURATION>0",
         .by = "LOG_KEY",
         .sql = where + "CLOG_DURATION>0 AND " + kCallRange + " ORDER BY LOG_KEY DESC",
         .out = "3 2"},
        {.on = kMessage,
         .range = true,
         .where = "MSGLOG_TYPE=1",
         .sql = "SELECT * FROM ACTIVITY_MESSAGE WHERE MSGLOG_TYPE=1 AND MSGLOG_TIMESTAMP " + kRange,
         .out = "2 3 5"},
        {.on = media,
         .range = true,
         .sql = "SELECT * FROM ACTIVITY_MEDIA WHERE MDLOG_TIMESTAMP " + kRange},
        // No time-stamp column: an empty range, which the engine refuses.
        {.on = photo,
         .range = true,
         .sql = "SELECT * FROM ACTIVITY_PHOTO WHERE ",
         .err = LIFELOG_E_DATABASE},
        // A tie.
        {.op = Max, .col = dur, .sql = kMax, .out = "2 3"},
        {.op = Max,
         .range = true,
         .where = t1,
         .by = ts,
         .col = dur,
         .sql = kMax + " AND " + t1 + " AND " + kCallRange + descTs,
         .out = "3"},
        {.op = Min, .where = t1, .col = dur, .sql = kMin + " AND " + t1, .out = "1"},
        // The table's minimum lies outside the range: no row.
        {.op = Min, .range = true, .col = dur, .sql = kMin + " AND " + kCallRange},
        // The sort order takes no part in this statement.
        {.op = Most,
         .on = kMessage,
         .by = "LOG_KEY",
         .col = number,
         .sql = kMost + kMostEnd,
         .rows = {most + "MSGLOG_PHONE_NUMBER='A' OCCURRED_COUNT=3",
                  most + "MSGLOG_PHONE_NUMBER='B' OCCURRED_COUNT=2"}},
        {.op = Most,
         .on = kMessage,
         .range = true,
         .where = "MSGLOG_TYPE=1",
         .col = number,
         .sql = kMost + "WHERE MSGLOG_TYPE=1 AND MSGLOG_TIMESTAMP " + kRange + " " + kMostEnd,
         .rows = {most + "MSGLOG_PHONE_NUMBER='A' OCCURRED_COUNT=2",
                  most + "MSGLOG_PHONE_NUMBER='B' OCCURRED_COUNT=1"}},
        // Every column kind; NULL columns are skipped and unreadable rows are 13.
        {.op = Raw,
         .sql = "SELECT LOG_KEY, 5000000000 AS BIG, 2.5 AS D, 'txt' AS T, NULL AS N, LOCATION, "
                "CLOG_TIMESTAMP FROM ACTIVITY_CALL WHERE LOG_KEY=1",
         .rows =
             {"ACTIVITY_CALL|2020-01-01 10:00:00|Seoul|LOG_KEY=1 BIG=5000000000L D=2.5d T='txt'"}},
        {.op = Raw,
         .sql = "SELECT '2021-02-03 04:05:06' AS MSGLOG_TIMESTAMP, 'x' AS location UNION ALL "
                "SELECT '2022-03-04 05:06:07' AS MDLOG_TIMESTAMP, 'y'",
         .rows = {"ACTIVITY_CALL|2021-02-03 04:05:06|<null>|location='x'",
                  "ACTIVITY_CALL|2022-03-04 05:06:07|<null>|location='y'"}},
        {.op = Raw,
         .sql = "SELECT 1 AS A UNION ALL SELECT x'00ff'",
         .rows = {"ACTIVITY_CALL|0000-00-00 00:00:00|<null>|A=1", "<error:13>"}},
        {.op = Raw, .sql = "SELECT 'yesterday' AS CLOG_TIMESTAMP", .rows = {"<error:13>"}},
        // A time stamp that is no date fails its row whatever its type, NULL
        // included; the walk goes on with the next row.
        {.op = Raw,
         .sql = "SELECT '2020-01-01 10:00:00' AS CLOG_TIMESTAMP, 1 AS A UNION ALL SELECT NULL, 2 "
                "UNION ALL SELECT 20200101, 3 UNION ALL SELECT '2020-01-02 10:00:00', 4",
         .rows = {"ACTIVITY_CALL|2020-01-01 10:00:00|<null>|A=1", "<error:13>", "<error:13>",
                  "ACTIVITY_CALL|2020-01-02 10:00:00|<null>|A=4"},
         .rowLine = "[E_FAILURE] : Convert timestamp is failed."},
        {.op = Count, .out = "3"},
        {.op = Count, .range = true, .where = "CLOG_TYPE=2", .out = "1"},
        {.op = Count, .on = media, .out = "0"},
        {.op = Sum, .where = t1, .col = dur, .out = "120"},
        {.op = Sum, .range = true, .col = dur, .out = "180"},
        {.op = Average, .col = "CLOG_TYPE", .out = "1.33333"},
        {.op = Average,
         .range = true,
         .where = "CLOG_DIRECTION>0",
         .col = "CLOG_DIRECTION",
         .out = "1.5"},
        {.op = Count, .on = photo, .out = "-1", .err = LIFELOG_E_DATABASE},
        {.op = Sum, .col = "NOPE", .out = "0", .err = LIFELOG_E_DATABASE},
        {.op = Average,
         .range = true,
         .where = t1,
         .col = "NOPE",
         .out = "0",
         .err = LIFELOG_E_DATABASE},
        {.op = Sum, .out = "0", .err = LIFELOG_E_INVALID_ARG},
        // Single values live in 1024 bytes.  The count statement with a where
        // text ends in a blank: "SELECT count(*) FROM ACTIVITY_CALL WHERE " (41)
        // + filter + " "; "SELECT SUM(CLOG_DURATION) FROM ACTIVITY_CALL WHERE " (51).
        {.op = Count, .where = padded(981), .out = "2"},
        {.op = Count, .where = padded(982), .out = "-1", .err = LIFELOG_E_OVERFLOW},
        {.op = Sum, .where = padded(972), .col = dur, .out = "120"},
        {.op = Sum, .where = padded(973), .col = dur, .out = "0", .err = LIFELOG_E_OVERFLOW},
        {.op = Average, .where = padded(972), .col = dur, .out = "60"},
        {.op = Average, .where = padded(973), .col = dur, .out = "0", .err = LIFELOG_E_OVERFLOW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << &c - cases << ": " << c.sql.substr(0, 80));
        ILifelog* object = open(c.on, c.range, c.where.empty() ? nullptr : c.where.c_str(), c.by);
        clearLog();
        unsigned int err = 99, endErr = 0;
        const Rows rows = run(object, c.op, c.op == Raw ? c.sql.c_str() : c.col, &err, &endErr);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(lastSql(), c.op >= Count ? "<none>" : c.sql);
        EXPECT_EQ(c.rows.empty() ? keysOf(rows) : rows, expand(c.op, c.rows, c.out));
        EXPECT_EQ(endErr, c.op >= Count ? LIFELOG_E_SUCCESS
                          : c.err == 0  ? LIFELOG_E_END_OF_ENUMERATION
                                        : LIFELOG_E_INVALID_ARG);
        if (c.rowLine != nullptr) {
            EXPECT_EQ(countLog(kError, c.rowLine, 10, "ZLifelogEnumerator_getCurrentN"),
                      std::count(rows.begin(), rows.end(), "<error:13>"));
        }
    }
}

TEST_F(QueryTest, DateRangeIncludesBothBoundsInEitherOrder) {
    seed();
    const DateTime jan2Later{2020, 1, 2, 11, 30, 1, 0};  // a second after kJan2Start
    const struct {
        DateTime from, to;
        const char* keys;
    } cases[] = {
        {.from = kJan2Start, .to = kJan3End, .keys = "2 3"},
        {.from = kJan3End, .to = kJan2Start, .keys = "2 3"},
        {.from = kJan2Start, .to = jan2Later, .keys = "2"},
        {.from = kJan3End, .to = jan2Later, .keys = "3"},
        {.from = jan2Later, .to = {2020, 1, 3, 23, 59, 58, 0}, .keys = ""},
        {.from = {2020, 1, 2, 11, 31, 0, 0}, .to = {2019, 2, 3, 0, 0, 0, 0}, .keys = "1 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ILifelog* object = newObject();
        unsigned int err = 0;
        object->ops->initialize2(object, kCall, c.from, c.to, &err);
        EXPECT_EQ(keysOf(drain(object->ops->getEnumerator(object, &err))),
                  expand(Op::List, {}, c.keys));
    }
}

// A listing statement lives in 4096 bytes and is refused with 187 when it
// would not fit: it is never run cut short.
TEST_F(QueryTest, ListingsThatDoNotFitAreRefusedWith187) {
    seed();
    ILifelog* object = open(kCall, false, padded(2048).c_str());
    unsigned int err = 0;
    implOf(object)->sortOrder = String_newByString(std::string(2100, 'X').c_str(), &err);
    EXPECT_EQ(object->ops->getEnumerator(object, &err), nullptr);
    EXPECT_EQ(err, LIFELOG_E_OVERFLOW);
    EXPECT_EQ(lastSql(), "<none>");
    EXPECT_TRUE(hasLog(kError, "[OverflowException] Query creation is failed. 4192 > [4096]", 10,
                       "__LifelogImpl_createSQL"));
}

// Blanks, then `tail`, so that `fixed` characters and the result make
// `length`.
std::string blanksThen(size_t fixed, size_t length, const std::string& tail) {
    return std::string(length - fixed - tail.size(), ' ') + tail;
}

// The extreme condition (2048 bytes) and the most-occurred statement (4096)
// are cut at their bound and run as cut: one character past the bound is
// lost, and with it what that character meant.
TEST_F(QueryTest, ExtremeAndMostOccurredTextsAreCutAtTheirBoundAndRun) {
    seed();
    const std::string max =
        "((SELECT MAX(CLOG_DURATION) FROM ACTIVITY_CALL ) = CLOG_DURATION) AND ";
    const std::string column = std::string(1000, ' ') + "MSGLOG_PHONE_NUMBER";
    const std::string head = "SELECT " + column + ", count(*) as OCCURRED_COUNT FROM " +
                             "ACTIVITY_MESSAGE WHERE ",
                      tail = " group by " + column + " ORDER BY OCCURRED_COUNT DESC LIMIT 10";
    const size_t most = head.size() + tail.size();
    const struct {
        Op op;
        std::string filter;
        Rows keys;  // LOG_KEY of each row, or the phone numbers of Most
    } cases[] = {
        {Op::Max, blanksThen(max.size(), 2047, "LOG_KEY<=21"), {"LOG_KEY=2", "LOG_KEY=3"}},
        {Op::Max, blanksThen(max.size(), 2048, "LOG_KEY<=21"), {"LOG_KEY=2"}},  // <=2
        {Op::Min, padded(2048), {"LOG_KEY=1"}},  // only blanks are lost
        {Op::Most, blanksThen(most, 4095, "MSGLOG_TYPE>0"), {"'A'", "'B'", "'C'", "'D'"}},
        {Op::Most, blanksThen(most, 4096, "MSGLOG_TYPE>0"), {"'A'"}},  // LIMIT 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ILifelog* object = open(c.op == Op::Most ? kMessage : kCall, false, c.filter.c_str());
        clearLog();
        unsigned int err = 99;
        const Rows rows = drain(
            c.op == Op::Most  ? object->ops->getMostOccurredValues(object, column.c_str(), 10, &err)
            : c.op == Op::Max ? object->ops->findMaxLogs(object, "CLOG_DURATION", &err)
                              : object->ops->findMinLogs(object, "CLOG_DURATION", &err));
        EXPECT_EQ(err, 0u);
        Rows keys;
        for (const std::string& row : rows) {
            const size_t at = row.find(c.op == Op::Most ? "='" : "LOG_KEY=");
            keys.push_back(row.substr(c.op == Op::Most ? at + 1 : at, c.op == Op::Most ? 3 : 9));
        }
        if (c.op == Op::Most) {
            std::sort(keys.begin() + 1, keys.end());  // equal counts come in any order
        }
        EXPECT_EQ(keys, c.keys);
        std::string condition = max + c.filter;
        if (c.op == Op::Min) {
            condition.replace(condition.find("MAX"), 3, "MIN");
        }
        EXPECT_EQ(lastSql(), c.op == Op::Most ? (head + c.filter + tail).substr(0, 4095)
                                              : "SELECT * FROM ACTIVITY_CALL WHERE " +
                                                    condition.substr(0, 2047));
        EXPECT_EQ(logTexts(kError), Rows{});
    }
}

// A sort order's test statement (4096 bytes) is cut at its bound and the
// database judges the cut text: an order that loses a needed character is
// refused with the test's code, one that loses a blank is stored whole.
TEST_F(QueryTest, SortOrderTestStatementsAreCutAtTheirBoundAndJudgedAsCut) {
    seed();
    const std::string head = "SELECT * FROM ACTIVITY_CALL ORDER BY ";
    const std::string head2 = head + "CLOG_TYPE ASC , ";
    const auto desc = [&](size_t length) {
        return blanksThen(head.size(), length - 5, "CLOG_DURATION");
    };
    const auto trailing = [&](size_t length) {
        return "CLOG_DURATION" + std::string(length - head2.size() - 13, ' ');
    };
    const struct {
        std::string column;
        std::string column2;  // empty: setSortOrder, descending; else setSortOrder2, type 5
        bool stored;
    } cases[] = {
        {desc(4095), "", true},
        {desc(4096), "", false},  // "... DES"
        {"CLOG_TYPE", trailing(4095), true},
        {"CLOG_TYPE", trailing(4096), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ILifelog* object = open(kCall, false, nullptr, "LOG_KEY");
        clearLog();
        unsigned int err = 99;
        const bool two = !c.column2.empty();
        two ? object->ops->setSortOrder2(object, c.column.c_str(), LIFELOG_ORDER_ASC,
                                         c.column2.c_str(), 5, &err)
            : object->ops->setSortOrder(object, c.column.c_str(), LIFELOG_ORDER_DESC, &err);
        EXPECT_EQ(err, c.stored ? LIFELOG_E_SUCCESS : LIFELOG_E_INVALID_ARG);
        const std::string expected = two ? "CLOG_TYPE ASC," + c.column2 : c.column + " DESC";
        EXPECT_EQ(implOf(object)->sortOrder, c.stored ? expected : "LOG_KEY DESC");
        EXPECT_EQ(logTexts(kError),
                  c.stored ? Rows{}
                           : Rows{"__LifelogImpl_setSortOrder|[E_DB_ENGINE_1] : filter statement "
                                  "is failed."});
        if (two) {
            const std::string test = (head2 + c.column2).substr(0, 4095);
            EXPECT_TRUE(hasLog(kTrace, "Valid Sql str:  " + test, 11));
        }
    }
}

// What the database accepts is stored and used, comments, subqueries and a
// LIMIT included; what it refuses is refused with the test's own code.  The
// platform runs one statement per call, so text after a ';' never runs.
TEST_F(QueryTest, FilterIsJudgedByItsTestRunAndNeverChangesTheDatabase) {
    seed();
    const std::string engine = "[E_DB_ENGINE_1] : filter statement is failed.";
    const std::string second = "[E_INVALID_ARG] : filter statement is failed.";
    const Rows all = {"LOG_KEY=1", "LOG_KEY=2", "LOG_KEY=3"};
    const struct {
        std::string condition;
        std::string line = "";  // the refusal's error line (code 4)
        Rows keys = {};         // the listing afterwards (a refusal leaves no filter)
    } cases[] = {
        {.condition = "(CLOG_TYPE=1) OR (CLOG_DURATION>50)", .keys = all},
        {.condition = "CLOG_PHONE_NUMBER = ';--'"},
        {.condition = "CLOG_TYPE=1 /* the usual kind */", .keys = {"LOG_KEY=1", "LOG_KEY=3"}},
        {.condition = "CLOG_TYPE=2 --", .keys = {"LOG_KEY=2"}},
        {.condition = "CLOG_TYPE=1 LIMIT 1", .keys = {"LOG_KEY=1"}},
        {.condition = "LOG_KEY IN (SELECT MAX(LOG_KEY) FROM ACTIVITY_CALL)", .keys = {"LOG_KEY=3"}},
        {.condition = "NO_SUCH_COLUMN=1", .line = engine},
        {.condition = "1=1) UNION SELECT * FROM ACTIVITY_CALL WHERE (1=1", .line = engine},
        {.condition = "CLOG_PHONE_NUMBER = 'open", .line = engine},
        {.condition = "ATTACH DATABASE 'other.db' AS other", .line = engine},
        {.condition = "1=1; DROP TABLE ACTIVITY_CALL", .line = second},
        {.condition = "1=1; DELETE FROM ACTIVITY_CALL", .line = second},
        {.condition = "1=1; ATTACH DATABASE 'other.db' AS other", .line = second},
        {.condition = "1=1; PRAGMA user_version = 7", .line = second},
        {.condition = "1=1; PRAGMA journal_mode = DELETE", .line = second},
        {.condition = padded(2048), .keys = {"LOG_KEY=1", "LOG_KEY=3"}},
        {.condition = padded(2049), .line = "[E_SUCCESS] : filter length is 2049 > 2048."},
    };
    const auto schema = [this] {
        return queryRows(kDbPath,
                         "SELECT (SELECT group_concat(name) FROM sqlite_master), "
                         "(SELECT user_version FROM pragma_user_version), "
                         "(SELECT journal_mode FROM pragma_journal_mode), "
                         "(SELECT count(*) FROM pragma_database_list)");
    };
    const auto before = schema();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition.substr(0, 60));
        ILifelog* object = open(kCall, false, "CLOG_DURATION=30");
        unsigned int err = 0;
        object->ops->setFilter(object, c.condition.c_str(), &err);
        const bool refused = !c.line.empty();
        EXPECT_EQ(err, refused ? LIFELOG_E_INVALID_ARG : LIFELOG_E_SUCCESS);
        const char* stored = implOf(object)->filter;
        EXPECT_EQ(stored ? stored : "<none>", refused ? "<none>" : c.condition);
        EXPECT_EQ(logTexts(kError), refused ? Rows{"__LifelogImpl_setFilter|" + c.line} : Rows{});
        if (!c.keys.empty() || refused) {
            EXPECT_EQ(keysOf(drain(object->ops->getEnumerator(object, &err))),
                      refused ? all : c.keys);
        }
        EXPECT_EQ(callCount(), "3");
        clearLog();
    }
    EXPECT_EQ(schema(), before);
    EXPECT_FALSE(std::filesystem::exists(hostPath("/SystemRW/Lifelog/Database/other.db")));
    EXPECT_FALSE(std::filesystem::exists("other.db"));
}

// Sort columns are whatever ORDER BY accepts: expressions, collations,
// quoted names and column numbers.  Every column gets its trace lines, a
// refusal carries the test's own code and keeps the previous order.
TEST_F(QueryTest, SortOrdersAreJudgedByTheirTestRunAndARefusalKeepsThePrevious) {
    seed();
    const int asc = LIFELOG_ORDER_ASC, desc = LIFELOG_ORDER_DESC, none = LIFELOG_ORDER_NONE;
    const char* engine = "[E_DB_ENGINE_1] : filter statement is failed.";
    const char* second = "[E_INVALID_ARG] : filter statement is failed.";
    const char *dur = "CLOG_DURATION", *ts = "CLOG_TIMESTAMP";
    const struct {
        const char* col = "CLOG_TYPE";
        int type;
        const char* col2 = nullptr;  // nullptr: setSortOrder
        int type2 = 0;
        const char* stored = "LOG_KEY DESC";  // nullptr: no order
        const char* line = nullptr;           // the refusal's error line (code 4)
        Rows traces = {};                     // setSortOrder2's, after " is called"
    } cases[] = {
        {.type = asc, .stored = "CLOG_TYPE ASC"},
        {.type = 5, .stored = "CLOG_TYPE"},
        {.type = none, .stored = nullptr},
        {.col = "CLOG_NAME COLLATE NOCASE", .type = asc, .stored = "CLOG_NAME COLLATE NOCASE ASC"},
        {.col = "LENGTH(CLOG_PHONE_NUMBER)",
         .type = desc,
         .stored = "LENGTH(CLOG_PHONE_NUMBER) DESC"},
        {.col = "\"CLOG_TYPE\"", .type = asc, .stored = "\"CLOG_TYPE\" ASC"},
        {.col = "3", .type = desc, .stored = "3 DESC"},
        {.col = "NO_SUCH_COLUMN", .type = desc, .line = engine},
        {.col = "CLOG_TYPE +", .type = asc, .line = engine},
        {.col = "CLOG_TYPE; DROP TABLE ACTIVITY_CALL", .type = asc, .line = second},
        {.type = asc, .col2 = ts, .type2 = desc, .stored = "CLOG_TYPE ASC,CLOG_TIMESTAMP DESC"},
        {.col = "CLOG_NAME COLLATE NOCASE",
         .type = asc,
         .col2 = "2",
         .type2 = desc,
         .stored = "CLOG_NAME COLLATE NOCASE ASC,2 DESC",
         .traces = {" TempSql size : 0", " Order string 1:  CLOG_NAME COLLATE NOCASE ASC",
                    " Order string 1:  2 DESC",
                    "Valid Sql str:  SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_NAME COLLATE "
                    "NOCASE ASC , 2 DESC",
                    "Sorting String:  CLOG_NAME COLLATE NOCASE ASC,2 DESC"}},
        {.type = none, .col2 = dur, .type2 = 7, .stored = "CLOG_DURATION"},
        {.type = desc, .col2 = dur, .type2 = none, .stored = "CLOG_TYPE DESC"},
        {.type = none, .col2 = dur, .type2 = none, .stored = nullptr},
        {.type = asc,
         .col2 = "NO_SUCH",
         .type2 = asc,
         .line = engine,
         .traces = {" TempSql size : 0", " Order string 1:  CLOG_TYPE ASC",
                    " Order string 1:  NO_SUCH ASC",
                    "Valid Sql str:  SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_TYPE ASC , "
                    "NO_SUCH ASC"}},
        {.type = asc, .col2 = "LOG_KEY; DELETE FROM ACTIVITY_CALL", .type2 = 5, .line = second},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.col << " " << c.type << " / "
                                        << (c.col2 ? c.col2 : "-") << " " << c.type2);
        ILifelog* object = open(kCall, false, nullptr, "LOG_KEY");
        clearLog();
        unsigned int err = 0;
        c.col2 == nullptr
            ? object->ops->setSortOrder(object, c.col, c.type, &err)
            : object->ops->setSortOrder2(object, c.col, c.type, c.col2, c.type2, &err);
        EXPECT_EQ(err, c.line ? LIFELOG_E_INVALID_ARG : LIFELOG_E_SUCCESS);
        const char* stored = implOf(object)->sortOrder;
        EXPECT_STREQ(stored, c.stored);
        const std::string function =
            c.col2 ? "__LifelogImpl_setSortOrder2" : "__LifelogImpl_setSortOrder";
        EXPECT_EQ(logTexts(kError), c.line ? Rows{function + "|" + c.line} : Rows{});
        if (!c.traces.empty()) {
            Rows traces;
            for (const LogLine& line : logLines()) {
                if (line.level == kTrace && line.function == function &&
                    line.text != " is called") {
                    traces.push_back(line.text);
                    EXPECT_EQ(line.module, line.text.starts_with("Sorting") ? 10 : 11);
                }
            }
            EXPECT_EQ(traces, c.traces);
        }
        drain(object->ops->getEnumerator(object, &err));
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(lastSql(), std::string("SELECT * FROM ACTIVITY_CALL ") +
                                 (stored ? std::string(" ORDER BY ") + stored : ""));
        EXPECT_EQ(callCount(), "3");
    }
}

// Counted the platform's way: only the release that reaches 0 deletes.
TEST_F(QueryTest, ReleaseDeletesOnlyWhenTheCountReachesZero) {
    const long baseline = Mem_getLiveCount();
    unsigned int err = 0;
    ILifelog* object = __LifelogImpl_new(&err);
    ASSERT_NE(object, nullptr);
    // Each step: '+' an addRef or '-' a release, and the count it answers.
    for (auto [op, count] :
         {std::pair{'-', -1}, {'+', 0}, {'+', 1}, {'+', 2}, {'-', 1}, {'-', 0}}) {
        ASSERT_GT(Mem_getLiveCount(), baseline) << "the object was deleted early";
        EXPECT_EQ(op == '+' ? __LifelogImpl_addRef(object) : __LifelogImpl_release(object), count)
            << op << count;
    }
    EXPECT_EQ(Mem_getLiveCount(), baseline);
}

TEST_F(QueryTest, InitialisationFailuresAndObjectsThatAreNotReady) {
    ILifelog* badDate = newObject();
    unsigned int err = 0;
    badDate->ops->initialize2(badDate, kCall, DateTime{2020, 1, 0, 0, 0, 0, 0}, kJan3End, &err);
    EXPECT_EQ(err, LIFELOG_E_INVALID_ARG);
    EXPECT_EQ(badDate->ops->getActivityName(badDate), nullptr);
    std::filesystem::remove(hostPath(kDbPath));
    ILifelog* noDatabase = newObject();
    noDatabase->ops->initialize(noDatabase, kCall, &err);
    EXPECT_EQ(err, LIFELOG_E_FILE_NOT_FOUND);
    EXPECT_TRUE(hasLog(kError, "Database don't exist ", 10, "__LifelogImpl_initialize"));

    for (ILifelog* self : {badDate, noDatabase, static_cast<ILifelog*>(nullptr)}) {
        SCOPED_TRACE(self == nullptr ? "null object" : "not initialised");
        auto refused = [&err](auto value, auto expected) {
            EXPECT_EQ(value, expected);
            EXPECT_EQ(err, LIFELOG_E_INVALID_ARG);
        };
        refused(__LifelogImpl_getEnumerator(self, &err), nullptr);
        refused(__LifelogImpl_findMaxLogs(self, "LOG_KEY", &err), nullptr);
        refused(__LifelogImpl_getMostOccurredValues(self, "LOG_KEY", 3, &err), nullptr);
        refused(__LifelogImpl_getCount(self, &err), -1);
        refused(__LifelogImpl_getSum(self, "LOG_KEY", &err), self == nullptr ? -1 : 0);
        refused(__LifelogImpl_getAverage(self, "LOG_KEY", &err), 0.0);
        refused((__LifelogImpl_setFilter(self, "1=1", &err), 0), 0);
        refused((__LifelogImpl_setSortOrder2(self, "LOG_KEY", 0, "CLOG_TYPE", 1, &err), 0), 0);
    }
}

}  // namespace
