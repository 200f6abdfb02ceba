// The query object: the statement of every reading operation for each
// filter, date range and sort order, rows back as activities, counts, sums
// and averages, statements that do not fit, and filters and sort orders
// (including what a hostile client might pass).
#include <filesystem>
#include <string>
#include <vector>

#include "query_fixture.h"
#include "zbase_testing.h"

namespace {

using Rows = std::vector<std::string>;
const std::string kRange = "BETWEEN '2020-01-02 11:30:00' AND '2020-01-03 23:59:59'";
const std::string kCallRange = "CLOG_TIMESTAMP " + kRange;
const std::string kMax = "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MAX(CLOG_DURATION) FROM "
                         "ACTIVITY_CALL ) = CLOG_DURATION)";
const std::string kMin = "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MIN(CLOG_DURATION) FROM "
                         "ACTIVITY_CALL ) = CLOG_DURATION)";
const std::string kMost =
    "SELECT MSGLOG_PHONE_NUMBER, count(*) as OCCURRED_COUNT FROM ACTIVITY_MESSAGE ";
const std::string kMostEnd = "group by MSGLOG_PHONE_NUMBER ORDER BY OCCURRED_COUNT DESC LIMIT 2";
const char *kCall = "ACTIVITY_CALL", *kMessage = "ACTIVITY_MESSAGE";

// A filter of `length` bytes that keeps calls 1 and 3.
std::string padded(size_t length) { return "CLOG_TYPE=1" + std::string(length - 11, ' '); }

// Raw: a statement straight through an enumerator of the call table.
enum class Op { List, Max, Min, Most, Raw, Count, Sum, Average };

// Runs one reading operation: the rows it walks, or its one value as "%g".
// `text` is the column (the statement for Raw); Most asks for two values.
Rows run(ILifelog* self, Op op, const char* text, unsigned int* err, unsigned int* endErr) {
    const ILifelogOps& ops = *self->ops;
    if (op < Op::Count) {
        Database* database = static_cast<LifelogImpl*>(self->impl)->database;
        return drain(op == Op::List  ? ops.getEnumerator(self, err)
                     : op == Op::Max ? ops.findMaxLogs(self, text, err)
                     : op == Op::Min ? ops.findMinLogs(self, text, err)
                     : op == Op::Most
                         ? ops.getMostOccurredValues(self, text, 2, err)
                         : ZLifelogEnumerator_new(database, "ACTIVITY_CALL", text, err),
                     endErr);
    }
    char value[32];
    std::snprintf(value, sizeof value, "%g",
                  op == Op::Count ? ops.getCount(self, err)
                  : op == Op::Sum ? ops.getSum(self, text, err)
                                  : ops.getAverage(self, text, err));
    return {value};
}

TEST_F(QueryTest, StatementsRowsAndValuesForEachFilterRangeAndOrder) {
    seed();
    const char *duration = "CLOG_DURATION", *number = "MSGLOG_PHONE_NUMBER";
    const struct {
        Op op;
        const char* table;
        bool range;
        std::string filter;
        const char* sort;  // descending
        const char* column;
        std::string sql;  // as traced by the enumerator ("<none>" for single values)
        Rows rows;        // the first item of each row, unless given whole (with '|')
        unsigned int err = 0;
    } cases[] = {
        {Op::List, kCall, false, "", nullptr, nullptr, "SELECT * FROM ACTIVITY_CALL ",
         {"LOG_KEY=1", "LOG_KEY=2", "LOG_KEY=3"}},
        {Op::List, kCall, false, "CLOG_TYPE=1", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_TYPE=1", {"LOG_KEY=1", "LOG_KEY=3"}},
        // Rows as activities: LOG_KEY first, items in column order, NULL columns skipped.
        {Op::List, kCall, false, "LOG_KEY<3", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE LOG_KEY<3",
         {"ACTIVITY_CALL|2020-01-01 10:00:00|Seoul|LOG_KEY=1 CLOG_DIRECTION=0 CLOG_DURATION=30 "
          "CLOG_TYPE=1 CLOG_PHONE_NUMBER='0101' CLOG_CELLID=-1 CLOG_LAC=-1 CLOG_MCC=-1 "
          "CLOG_MNC=-1",
          "ACTIVITY_CALL|2020-01-02 11:30:00|<null>|LOG_KEY=2 CLOG_DIRECTION=1 CLOG_DURATION=90 "
          "CLOG_TYPE=2 CLOG_PHONE_NUMBER='0202' CLOG_CELLID=-1 CLOG_LAC=-1 CLOG_MCC=-1 "
          "CLOG_MNC=-1"}},
        {Op::List, kCall, true, "", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE " + kCallRange, {"LOG_KEY=2", "LOG_KEY=3"}},
        {Op::List, kCall, true, "CLOG_TYPE=1", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_TYPE=1 AND " + kCallRange, {"LOG_KEY=3"}},
        {Op::List, kCall, false, "", "CLOG_TIMESTAMP", nullptr,
         "SELECT * FROM ACTIVITY_CALL  ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=1"}},
        {Op::List, kCall, false, "CLOG_TYPE=1", "CLOG_TIMESTAMP", nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_TYPE=1 ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=1"}},
        {Op::List, kCall, true, "", "CLOG_TIMESTAMP", nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE " + kCallRange + " ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=2"}},
        {Op::List, kCall, true, "CLOG_DURATION>0", "LOG_KEY", nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_DURATION>0 AND " + kCallRange +
             " ORDER BY LOG_KEY DESC",
         {"LOG_KEY=3", "LOG_KEY=2"}},
        {Op::List, kMessage, true, "MSGLOG_TYPE=1", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_MESSAGE WHERE MSGLOG_TYPE=1 AND MSGLOG_TIMESTAMP " + kRange,
         {"LOG_KEY=2", "LOG_KEY=3", "LOG_KEY=5"}},
        {Op::List, "ACTIVITY_MEDIA", true, "", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_MEDIA WHERE MDLOG_TIMESTAMP " + kRange, {}},
        // No time-stamp column: an empty range, which the engine refuses.
        {Op::List, "ACTIVITY_PHOTO", true, "", nullptr, nullptr,
         "SELECT * FROM ACTIVITY_PHOTO WHERE ", {}, 66},
        {Op::Max, kCall, false, "", nullptr, duration, kMax, {"LOG_KEY=2", "LOG_KEY=3"}},  // a tie
        {Op::Max, kCall, true, "CLOG_TYPE=1", "CLOG_TIMESTAMP", duration,
         kMax + " AND CLOG_TYPE=1 AND " + kCallRange + " ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3"}},
        {Op::Min, kCall, false, "CLOG_TYPE=1", nullptr, duration, kMin + " AND CLOG_TYPE=1",
         {"LOG_KEY=1"}},
        // The table's minimum lies outside the range: no row.
        {Op::Min, kCall, true, "", nullptr, duration, kMin + " AND " + kCallRange, {}},
        // The sort order takes no part in this statement.
        {Op::Most, kMessage, false, "", "LOG_KEY", number, kMost + kMostEnd,
         {"ACTIVITY_MESSAGE|0000-00-00 00:00:00|<null>|MSGLOG_PHONE_NUMBER='A' OCCURRED_COUNT=3",
          "ACTIVITY_MESSAGE|0000-00-00 00:00:00|<null>|MSGLOG_PHONE_NUMBER='B' OCCURRED_COUNT=2"}},
        {Op::Most, kMessage, true, "MSGLOG_TYPE=1", nullptr, number,
         kMost + "WHERE MSGLOG_TYPE=1 AND MSGLOG_TIMESTAMP " + kRange + " " + kMostEnd,
         {"ACTIVITY_MESSAGE|0000-00-00 00:00:00|<null>|MSGLOG_PHONE_NUMBER='A' OCCURRED_COUNT=2",
          "ACTIVITY_MESSAGE|0000-00-00 00:00:00|<null>|MSGLOG_PHONE_NUMBER='B' OCCURRED_COUNT=1"}},
        // Every column kind; NULL columns are skipped and unreadable rows are 13.
        {Op::Raw, kCall, false, "", nullptr, nullptr,
         "SELECT LOG_KEY, 5000000000 AS BIG, 2.5 AS D, 'txt' AS T, NULL AS N, LOCATION, "
         "CLOG_TIMESTAMP FROM ACTIVITY_CALL WHERE LOG_KEY=1",
         {"ACTIVITY_CALL|2020-01-01 10:00:00|Seoul|LOG_KEY=1 BIG=5000000000L D=2.5d T='txt'"}},
        {Op::Raw, kCall, false, "", nullptr, nullptr,
         "SELECT '2021-02-03 04:05:06' AS MSGLOG_TIMESTAMP, 'x' AS location UNION ALL "
         "SELECT '2022-03-04 05:06:07' AS MDLOG_TIMESTAMP, 'y'",
         {"ACTIVITY_CALL|2021-02-03 04:05:06|<null>|location='x'",
          "ACTIVITY_CALL|2022-03-04 05:06:07|<null>|location='y'"}},
        {Op::Raw, kCall, false, "", nullptr, nullptr, "SELECT 1 AS A UNION ALL SELECT x'00ff'",
         {"ACTIVITY_CALL|0000-00-00 00:00:00|<null>|A=1", "<error:13>"}},
        {Op::Raw, kCall, false, "", nullptr, nullptr, "SELECT 'yesterday' AS CLOG_TIMESTAMP",
         {"<error:13>"}},
        {Op::Count, kCall, false, "", nullptr, nullptr, "<none>", {"3"}},
        {Op::Count, kCall, true, "CLOG_TYPE=2", nullptr, nullptr, "<none>", {"1"}},
        {Op::Count, "ACTIVITY_MEDIA", false, "", nullptr, nullptr, "<none>", {"0"}},
        {Op::Sum, kCall, false, "CLOG_TYPE=1", nullptr, duration, "<none>", {"120"}},
        {Op::Sum, kCall, true, "", nullptr, duration, "<none>", {"180"}},
        {Op::Average, kCall, false, "", nullptr, "CLOG_TYPE", "<none>", {"1.33333"}},
        {Op::Average, kCall, true, "CLOG_DIRECTION>0", nullptr, "CLOG_DIRECTION", "<none>",
         {"1.5"}},
        {Op::Count, "ACTIVITY_PHOTO", false, "", nullptr, nullptr, "<none>", {"-1"}, 66},
        {Op::Sum, kCall, false, "", nullptr, "NOPE", "<none>", {"0"}, 66},
        {Op::Average, kCall, true, "CLOG_TYPE=1", nullptr, "NOPE", "<none>", {"0"}, 66},
        {Op::Sum, kCall, false, "", nullptr, nullptr, "<none>", {"0"}, 4},
        // Single values live in 1024 bytes.  The count statement with a where
        // text ends in a blank: "SELECT count(*) FROM ACTIVITY_CALL WHERE " (41)
        // + filter + " "; "SELECT SUM(CLOG_DURATION) FROM ACTIVITY_CALL WHERE " (51).
        {Op::Count, kCall, false, padded(981), nullptr, nullptr, "<none>", {"2"}},
        {Op::Count, kCall, false, padded(982), nullptr, nullptr, "<none>", {"-1"}, 187},
        {Op::Sum, kCall, false, padded(972), nullptr, duration, "<none>", {"120"}},
        {Op::Sum, kCall, false, padded(973), nullptr, duration, "<none>", {"0"}, 187},
        {Op::Average, kCall, false, padded(972), nullptr, duration, "<none>", {"60"}},
        {Op::Average, kCall, false, padded(973), nullptr, duration, "<none>", {"0"}, 187},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << &c - cases << ": " << c.sql.substr(0, 80));
        ILifelog* object = open(c.table, c.range, c.filter.empty() ? nullptr : c.filter.c_str(),
                                c.sort);
        clearLog();
        unsigned int err = 99, endErr = 0;
        const char* text = c.op == Op::Raw ? c.sql.c_str() : c.column;
        const Rows rows = run(object, c.op, text, &err, &endErr);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(lastSql(), c.sql);
        const bool whole = !c.rows.empty() && c.rows[0].find('|') != std::string::npos;
        EXPECT_EQ(whole ? rows : keysOf(rows), c.rows);
        EXPECT_EQ(endErr, c.op >= Op::Count ? 0u : c.err == 0 ? 2u : 4u);
    }
}

TEST_F(QueryTest, DateRangeIncludesBothBoundsInEitherOrder) {
    seed();
    const struct {
        DateTime from, to;
        Rows keys;
    } cases[] = {
        {kJan2Start, kJan3End, {"LOG_KEY=2", "LOG_KEY=3"}},
        {kJan3End, kJan2Start, {"LOG_KEY=2", "LOG_KEY=3"}},
        {kJan2Start, {2020, 1, 2, 11, 30, 1, 0}, {"LOG_KEY=2"}},  // a second apart
        {{2020, 1, 3, 23, 59, 59, 0}, {2020, 1, 2, 11, 30, 1, 0}, {"LOG_KEY=3"}},
        {{2020, 1, 2, 11, 30, 1, 0}, {2020, 1, 3, 23, 59, 58, 0}, {}},
        {{2020, 1, 2, 11, 31, 0, 0}, {2019, 2, 3, 0, 0, 0, 0}, {"LOG_KEY=1", "LOG_KEY=2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ILifelog* object = newObject();
        unsigned int err = 0;
        object->ops->initialize2(object, kCall, c.from, c.to, &err);
        EXPECT_EQ(keysOf(drain(object->ops->getEnumerator(object, &err))), c.keys);
    }
}

// Listings live in 4096 bytes, the extreme condition in 2048: a statement
// that would not fit is refused with 187 and never run cut short.
TEST_F(QueryTest, ListingsThatDoNotFitAreRefusedWith187) {
    seed();
    ILifelog* object = open(kCall, false, padded(2048).c_str());
    unsigned int err = 0;
    EXPECT_EQ(object->ops->findMinLogs(object, "CLOG_DURATION", &err), nullptr);
    EXPECT_EQ(err, 187u);
    implOf(object)->sortOrder = String_newByString(std::string(2100, 'X').c_str(), &err);
    EXPECT_EQ(object->ops->getEnumerator(object, &err), nullptr);
    EXPECT_EQ(err, 187u);
    EXPECT_EQ(lastSql(), "<none>");
    EXPECT_TRUE(hasLog(kError, "[OverflowException] Query creation is failed. 4192 > [4096]", 10,
                       "__LifelogImpl_createSQL"));
}

TEST_F(QueryTest, FilterIsTestRunAndHostileTextIsRefused) {
    seed();
    const struct {
        std::string condition;
        unsigned int err;
        const char* line = nullptr;
    } cases[] = {
        {"(CLOG_TYPE=1) OR (CLOG_DURATION>50)", 0},
        {"CLOG_PHONE_NUMBER = ';--'", 0},
                {"NO_SUCH_COLUMN=1", 4, "[E_DB_ENGINE_1] : filter statement is failed."},
        {"1=1; DROP TABLE ACTIVITY_CALL", 4},
        {"1=1) UNION SELECT * FROM ACTIVITY_CALL WHERE (1=1", 4},
        {"1=1 --", 4},
        {"1=1 /* AND", 4},
        {"ATTACH DATABASE 'other.db' AS other", 4},
        {"1=1 LIMIT 1", 4},
        {"CLOG_PHONE_NUMBER = 'open", 4},
        {padded(2048), 0},
        {padded(2049), 4, "[E_SUCCESS] : filter length is 2049 > 2048."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition.substr(0, 60));
        ILifelog* object = open(kCall, false, "CLOG_DURATION=30");
        unsigned int err = 0;
        object->ops->setFilter(object, c.condition.c_str(), &err);
        EXPECT_EQ(err, c.err);
        const char* stored = implOf(object)->filter;  // a refusal leaves no filter
        EXPECT_EQ(stored ? stored : "<none>", c.err == 0 ? c.condition : "<none>");
        EXPECT_TRUE(!c.line || hasLog(kError, c.line, 10, "__LifelogImpl_setFilter"));
        EXPECT_EQ(callCount(), "3");
    }
    EXPECT_FALSE(std::filesystem::exists(hostPath("/SystemRW/Lifelog/Database/other.db")));
    EXPECT_FALSE(std::filesystem::exists("other.db"));
}

TEST_F(QueryTest, SortOrdersAreTestRunAndARefusalKeepsThePrevious) {
    seed();
    const int asc = LIFELOG_ORDER_ASC, desc = LIFELOG_ORDER_DESC, none = LIFELOG_ORDER_NONE;
    const struct {
        const char* column1;
        int type1;
        const char* column2;  // nullptr: setSortOrder
        int type2;
        unsigned int err;
        const char* stored;             // nullptr: no order
        const char* testSql = nullptr;  // the "Valid Sql str:  " trace of setSortOrder2
    } cases[] = {
        {"CLOG_TYPE", asc, nullptr, 0, 0, "CLOG_TYPE ASC"},
        {"CLOG_TYPE", 5, nullptr, 0, 0, "CLOG_TYPE"},
        {"CLOG_TYPE", none, nullptr, 0, 0, nullptr},
        {"NO_SUCH_COLUMN", desc, nullptr, 0, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE; DROP TABLE ACTIVITY_CALL", asc, nullptr, 0, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE LIMIT 1 --", asc, nullptr, 0, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE", asc, "CLOG_TIMESTAMP", desc, 0, "CLOG_TYPE ASC,CLOG_TIMESTAMP DESC",
         "SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_TYPE ASC , CLOG_TIMESTAMP DESC"},
        {"CLOG_TYPE", none, "CLOG_DURATION", 7, 0, "CLOG_DURATION",
         "SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_DURATION"},
        {"CLOG_TYPE", desc, "CLOG_DURATION", none, 0, "CLOG_TYPE DESC"},
        {"CLOG_TYPE", asc, "NO_SUCH", asc, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE", asc, "LOG_KEY; DELETE FROM ACTIVITY_CALL", 5, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE", asc, "LOG_KEY LIMIT 1", 5, 4, "LOG_KEY DESC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.column1 << " " << c.type1 << " / " << c.type2);
        ILifelog* object = open(kCall, false, nullptr, "LOG_KEY");
        unsigned int err = 0;
        c.column2 == nullptr
            ? object->ops->setSortOrder(object, c.column1, c.type1, &err)
            : object->ops->setSortOrder2(object, c.column1, c.type1, c.column2, c.type2, &err);
        EXPECT_EQ(err, c.err);
        const char* stored = implOf(object)->sortOrder;
        EXPECT_STREQ(stored, c.stored);
        EXPECT_TRUE(!c.testSql || hasLog(kTrace, std::string("Valid Sql str:  ") + c.testSql, 11,
                                         "__LifelogImpl_setSortOrder2"));
        drain(object->ops->getEnumerator(object, &err));
        EXPECT_EQ(lastSql(), std::string("SELECT * FROM ACTIVITY_CALL ") +
                                 (stored ? std::string(" ORDER BY ") + stored : ""));
        EXPECT_EQ(callCount(), "3");
    }
}

TEST_F(QueryTest, InitialisationFailuresAndObjectsThatAreNotReady) {
    ILifelog* badDate = newObject();
    unsigned int err = 0;
    badDate->ops->initialize2(badDate, kCall, DateTime{2020, 1, 0, 0, 0, 0, 0}, kJan3End, &err);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(badDate->ops->getActivityName(badDate), nullptr);
    std::filesystem::remove(hostPath(kDbPath));
    ILifelog* noDatabase = newObject();
    noDatabase->ops->initialize(noDatabase, kCall, &err);
    EXPECT_EQ(err, 31u);
    EXPECT_TRUE(hasLog(kError, "Database don't exist ", 10, "__LifelogImpl_initialize"));

    for (ILifelog* self : {badDate, noDatabase, static_cast<ILifelog*>(nullptr)}) {
        SCOPED_TRACE(self == nullptr ? "null object" : "not initialised");
        auto refused = [&err](auto value, auto expected) {
            EXPECT_EQ(value, expected);
            EXPECT_EQ(err, 4u);
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

// One walk through every operation, failing its n-th allocation.
TEST_F(QueryTest, EveryAllocationFailureLeavesNothingBehind) {
    seed();
    const long baseline = Mem_getLiveCount();
    bool completed = false;
    for (long n = 1; n < 600 && !completed; ++n) {
        SCOPED_TRACE(n);
        Mem_failAfter(n);
        unsigned int err = 0, e[3] = {}, endErr = 0;
        ILifelog* object = __LifelogImpl_new(&err);
        if (object != nullptr) {
            __LifelogImpl_addRef(object);
            object->ops->initialize2(object, kCall, kJan3End, kJan2Start, &e[0]);
            object->ops->setFilter(object, "CLOG_DURATION>0", &e[1]);
            object->ops->setSortOrder2(object, "CLOG_TYPE", 0, "LOG_KEY", 1, &e[2]);
            Rows seen;  // calls 3 and 2 in this order, twice, then the single values
            for (Op op : {Op::List, Op::Max, Op::Most, Op::Count, Op::Sum, Op::Average}) {
                const Rows rows = keysOf(run(object, op, "CLOG_DURATION", &err, &endErr));
                seen.insert(seen.end(), rows.begin(), rows.end());
            }
            object->ops->release(object);
            completed = e[0] + e[1] + e[2] == 0 &&
                        seen == Rows{"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=3", "LOG_KEY=2",
                                     "CLOG_DURATION=90", "2", "180", "90"};
        }
        Mem_failAfter(0);
        EXPECT_EQ(Mem_getLiveCount(), baseline);
    }
    EXPECT_TRUE(completed);
}

}  // namespace
