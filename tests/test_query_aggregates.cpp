// Aggregate queries: rows with a column's extreme value, most frequent
// values, counts, sums and averages, with their statements and failures.
#include <string>
#include <vector>

#include "query_fixture.h"
#include "zbase_testing.h"

namespace {

const char* kCallRange =
    "CLOG_TIMESTAMP BETWEEN '2020-01-02 11:30:00' AND '2020-01-03 23:59:59'";

std::vector<std::string> keysOf(const std::vector<RowView>& rows) {
    std::vector<std::string> keys;
    for (const RowView& row : rows) {
        keys.push_back(row.items.empty() ? "?" : row.items.front());
    }
    return keys;
}

class AggregateTest : public QueryTest {
protected:
    // Optional filter, range (Jan 2 11:30 .. Jan 3 end) and sort order.
    ILifelog* prepared(const char* table, const char* filter, bool range,
                       const char* sortColumn = nullptr, int sortType = 0) {
        ILifelog* object = range ? openRange(table, kJan2Start, kJan3End) : open(table);
        unsigned int err = 0;
        if (filter != nullptr) {
            object->ops->setFilter(object, filter, &err);
            EXPECT_EQ(err, 0u) << filter;
        }
        if (sortColumn != nullptr) {
            object->ops->setSortOrder(object, sortColumn, sortType, &err);
            EXPECT_EQ(err, 0u) << sortColumn;
        }
        return object;
    }

    void seedMessages() {
        execSql(kDbPath,
                "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_TYPE, MSGLOG_PHONE_NUMBER, MSGLOG_TIMESTAMP)"
                " VALUES (1, 'A', '2020-01-01 01:00:00'), (1, 'A', '2020-01-02 12:00:00'),"
                "(1, 'A', '2020-01-03 12:00:00'), (2, 'B', '2020-01-02 13:00:00'),"
                "(1, 'B', '2020-01-03 13:00:00'), (1, 'C', '2020-01-03 14:00:00'),"
                "(2, 'D', '2020-01-03 14:00:00')");
    }
};

TEST_F(AggregateTest, ExtremeRowsStatementsTiesAndRanges) {
    seedCalls();
    struct Case {
        const char* label;
        bool max;
        const char* filter;
        bool range;
        const char* sortColumn;
        std::string sql;
        std::vector<std::string> keys;
    } cases[] = {
        {"max, ties give both rows", true, nullptr, false, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MAX(CLOG_DURATION) FROM ACTIVITY_CALL ) = "
         "CLOG_DURATION)",
         {"LOG_KEY=2", "LOG_KEY=3"}},
        {"max with filter, range and order", true, "CLOG_TYPE=1", true, "CLOG_TIMESTAMP",
         std::string("SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MAX(CLOG_DURATION) FROM "
                     "ACTIVITY_CALL ) = CLOG_DURATION) AND CLOG_TYPE=1 AND ") +
             kCallRange + " ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3"}},
        {"max with order only", true, nullptr, false, "LOG_KEY",
         "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MAX(CLOG_DURATION) FROM ACTIVITY_CALL ) = "
         "CLOG_DURATION) ORDER BY LOG_KEY DESC",
         {"LOG_KEY=3", "LOG_KEY=2"}},
        {"min", false, nullptr, false, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MIN(CLOG_DURATION) FROM ACTIVITY_CALL ) = "
         "CLOG_DURATION)",
         {"LOG_KEY=1"}},
        {"min outside the range gives no row", false, nullptr, true, nullptr,
         std::string("SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MIN(CLOG_DURATION) FROM "
                     "ACTIVITY_CALL ) = CLOG_DURATION) AND ") +
             kCallRange,
         {}},
        {"min with filter", false, "CLOG_TYPE=1", false, nullptr,
         "SELECT * FROM ACTIVITY_CALL WHERE ((SELECT MIN(CLOG_DURATION) FROM ACTIVITY_CALL ) = "
         "CLOG_DURATION) AND CLOG_TYPE=1",
         {"LOG_KEY=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ILifelog* object = prepared("ACTIVITY_CALL", c.filter, c.range, c.sortColumn,
                                    c.sortColumn ? LIFELOG_ORDER_DESC : 0);
        unsigned int err = 0;
        ZLifelogEnumerator* enumerator =
            c.max ? object->ops->findMaxLogs(object, "CLOG_DURATION", &err)
                  : object->ops->findMinLogs(object, "CLOG_DURATION", &err);
        ASSERT_EQ(err, 0u);
        unsigned int endErr = 0;
        EXPECT_EQ(keysOf(drain(enumerator, &endErr)), c.keys);
        EXPECT_EQ(endErr, 2u);
        EXPECT_EQ(lastSql(), c.sql);
    }
}

TEST_F(AggregateTest, ExtremeRowsFailures) {
    seedCalls();
    ILifelog* object = open("ACTIVITY_CALL");
    unsigned int err = 0;
    EXPECT_EQ(object->ops->findMaxLogs(object, nullptr, &err), nullptr);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(object->ops->findMinLogs(object, nullptr, &err), nullptr);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(object->ops->findMaxLogs(object, "NO_SUCH_COLUMN", &err), nullptr);
    EXPECT_EQ(err, 66u);
    EXPECT_TRUE(hasLog(kError, "[E_DB_ENGINE_1] Propagated : Database_createStatement is failed.",
                       10, "ZLifelogEnumerator_new"));
    // A 2048-character filter leaves the condition no room: refused, not cut.
    const std::string filter = "CLOG_TYPE=1" + std::string(2048 - 11, ' ');
    object->ops->setFilter(object, filter.c_str(), &err);
    ASSERT_EQ(err, 0u);
    clearLog();
    EXPECT_EQ(object->ops->findMinLogs(object, "CLOG_DURATION", &err), nullptr);
    EXPECT_EQ(err, 187u);
    EXPECT_EQ(lastSql(), "<none>");
}

TEST_F(AggregateTest, MostOccurredValues) {
    seedMessages();
    struct Case {
        const char* label;
        const char* filter;
        bool range;
        const char* column;
        int limit;
        std::string sql;
        std::vector<RowView> rows;  // compared in full up to its size
        size_t count;
    } cases[] = {
        {"plain", nullptr, false, "MSGLOG_PHONE_NUMBER", 3,
         "SELECT MSGLOG_PHONE_NUMBER, count(*) as OCCURRED_COUNT FROM ACTIVITY_MESSAGE group by "
         "MSGLOG_PHONE_NUMBER ORDER BY OCCURRED_COUNT DESC LIMIT 3",
         {{"ACTIVITY_MESSAGE", "", "<null>", {"MSGLOG_PHONE_NUMBER='A'", "OCCURRED_COUNT=3"}},
          {"ACTIVITY_MESSAGE", "", "<null>", {"MSGLOG_PHONE_NUMBER='B'", "OCCURRED_COUNT=2"}}},
         3},
        {"filter and range", "MSGLOG_TYPE=1", true, "MSGLOG_PHONE_NUMBER", 5,
         "SELECT MSGLOG_PHONE_NUMBER, count(*) as OCCURRED_COUNT FROM ACTIVITY_MESSAGE WHERE "
         "MSGLOG_TYPE=1 AND MSGLOG_TIMESTAMP BETWEEN '2020-01-02 11:30:00' AND "
         "'2020-01-03 23:59:59' group by MSGLOG_PHONE_NUMBER ORDER BY OCCURRED_COUNT DESC LIMIT 5",
         {{"ACTIVITY_MESSAGE", "", "<null>", {"MSGLOG_PHONE_NUMBER='A'", "OCCURRED_COUNT=2"}}},
         3},
        {"time-stamp column becomes the time stamp", nullptr, false, "MSGLOG_TIMESTAMP", 1,
         "SELECT MSGLOG_TIMESTAMP, count(*) as OCCURRED_COUNT FROM ACTIVITY_MESSAGE group by "
         "MSGLOG_TIMESTAMP ORDER BY OCCURRED_COUNT DESC LIMIT 1",
         {{"ACTIVITY_MESSAGE", "2020-01-03 14:00:00", "<null>", {"OCCURRED_COUNT=2"}}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // The sort order takes no part in this statement.
        ILifelog* object = prepared("ACTIVITY_MESSAGE", c.filter, c.range, "LOG_KEY");
        unsigned int err = 0;
        std::vector<RowView> rows =
            drain(object->ops->getMostOccurredValues(object, c.column, c.limit, &err));
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(lastSql(), c.sql);
        ASSERT_EQ(rows.size(), c.count);
        for (size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_EQ(rows[i], c.rows[i]) << i;
        }
    }
    ILifelog* object = open("ACTIVITY_MESSAGE");
    unsigned int err = 0;
    EXPECT_EQ(object->ops->getMostOccurredValues(object, nullptr, 3, &err), nullptr);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(object->ops->getMostOccurredValues(object, "NO_SUCH", 3, &err), nullptr);
    EXPECT_EQ(err, 66u);
}

enum class Op { Count, Sum, Average };

TEST_F(AggregateTest, CountsSumsAndAverages) {
    seedCalls();
    struct Case {
        const char* label;
        const char* table;
        const char* filter;
        bool range;
        Op op;
        const char* column;
        double value;
        unsigned int err;
    } cases[] = {
        {"count", "ACTIVITY_CALL", nullptr, false, Op::Count, nullptr, 3, 0},
        {"count filtered", "ACTIVITY_CALL", "CLOG_TYPE=1", false, Op::Count, nullptr, 2, 0},
        {"count in range", "ACTIVITY_CALL", nullptr, true, Op::Count, nullptr, 2, 0},
        {"count filtered in range", "ACTIVITY_CALL", "CLOG_TYPE=2", true, Op::Count, nullptr, 1,
         0},
        {"count of an empty table", "ACTIVITY_MEDIA", nullptr, false, Op::Count, nullptr, 0, 0},
        {"sum", "ACTIVITY_CALL", nullptr, false, Op::Sum, "CLOG_DURATION", 210, 0},
        {"sum filtered", "ACTIVITY_CALL", "CLOG_TYPE=1", false, Op::Sum, "CLOG_DURATION", 120, 0},
        {"sum in range", "ACTIVITY_CALL", nullptr, true, Op::Sum, "CLOG_DURATION", 180, 0},
        {"average", "ACTIVITY_CALL", nullptr, false, Op::Average, "CLOG_DURATION", 70, 0},
        {"average with a fraction", "ACTIVITY_CALL", nullptr, false, Op::Average, "CLOG_TYPE",
         4.0 / 3.0, 0},
        {"average filtered in range", "ACTIVITY_CALL", "CLOG_DIRECTION>0", true, Op::Average,
         "CLOG_DIRECTION", 1.5, 0},
        {"count of a table that is not there", "NO_TABLE", nullptr, false, Op::Count, nullptr,
         -1, 66},
        {"sum of a column that is not there", "ACTIVITY_CALL", nullptr, false, Op::Sum, "NOPE", 0,
         66},
        {"average of a column that is not there", "ACTIVITY_CALL", "CLOG_TYPE=1", true,
         Op::Average, "NOPE", 0, 66},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ILifelog* object = prepared(c.table, c.filter, c.range);
        clearLog();
        unsigned int err = 99;
        double value = 0;
        const char* function = nullptr;
        switch (c.op) {
            case Op::Count:
                value = object->ops->getCount(object, &err);
                function = "__LifelogImpl_getCount";
                break;
            case Op::Sum:
                value = object->ops->getSum(object, c.column, &err);
                function = "__LifelogImpl_getSum";
                break;
            case Op::Average:
                value = object->ops->getAverage(object, c.column, &err);
                function = "__LifelogImpl_getAverage";
                break;
        }
        EXPECT_EQ(err, c.err);
        EXPECT_DOUBLE_EQ(value, c.value);
        if (c.err == 66) {
            EXPECT_TRUE(hasLog(kError,
                               "[E_DB_ENGINE_1] Propagated : Database_createStatement is failed.",
                               10, function));
        }
        const bool where = c.filter != nullptr || c.range;
        if (c.op != Op::Count && c.err == 0) {
            std::string whereText = "WHERE ";
            if (c.filter != nullptr) whereText += c.filter;
            if (c.filter != nullptr && c.range) whereText += " AND ";
            if (c.range) whereText += kCallRange;
            EXPECT_EQ(hasLog(kTrace, "whereQuery is " + whereText, 10, function), where);
        }
    }
}

TEST_F(AggregateTest, NullObjectFailureValues) {
    unsigned int err = 0;
    EXPECT_EQ(__LifelogImpl_getCount(nullptr, &err), -1);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(__LifelogImpl_getSum(nullptr, "CLOG_DURATION", &err), -1);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(__LifelogImpl_getAverage(nullptr, "CLOG_DURATION", &err), 0.0);
    EXPECT_EQ(err, 4u);
    EXPECT_EQ(__LifelogImpl_findMaxLogs(nullptr, "CLOG_DURATION", &err), nullptr);
    EXPECT_EQ(err, 4u);
}

// The single-value statements live in 1024 bytes.  The count statement
// with a where text ends in a blank, so it reaches the limit one filter
// character earlier than the sum statement of the same length would.
TEST_F(AggregateTest, SingleValueStatementsThatDoNotFitAreRefused) {
    seedCalls();
    struct Case {
        Op op;
        int filterLength;
        unsigned int err;
    } cases[] = {
        // "SELECT count(*) FROM ACTIVITY_CALL WHERE " (41) + filter + " " <= 1023
        {Op::Count, 981, 0},
        {Op::Count, 982, 187},
        // "SELECT SUM(CLOG_DURATION) FROM ACTIVITY_CALL WHERE " (51) + filter <= 1023
        {Op::Sum, 972, 0},
        {Op::Sum, 973, 187},
        {Op::Average, 972, 0},
        {Op::Average, 973, 187},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filterLength);
        const std::string filter = "CLOG_TYPE=1" + std::string(c.filterLength - 11, ' ');
        ILifelog* object = prepared("ACTIVITY_CALL", filter.c_str(), false);
        unsigned int err = 0;
        double value = 0;
        switch (c.op) {
            case Op::Count:
                value = object->ops->getCount(object, &err);
                EXPECT_EQ(value, c.err == 0 ? 2 : -1);
                break;
            case Op::Sum:
                value = object->ops->getSum(object, "CLOG_DURATION", &err);
                EXPECT_EQ(value, c.err == 0 ? 120 : 0);
                break;
            case Op::Average:
                value = object->ops->getAverage(object, "CLOG_DURATION", &err);
                EXPECT_EQ(value, c.err == 0 ? 60.0 : 0.0);
                break;
        }
        EXPECT_EQ(err, c.err);
    }
}

TEST_F(AggregateTest, UnknownActivityNameGivesABareWhere) {
    seedCalls();
    ILifelog* object = openRange("ACTIVITY_PHOTO", kJan1, kJan3End);
    unsigned int err = 0;
    EXPECT_EQ(object->ops->getEnumerator(object, &err), nullptr);
    EXPECT_EQ(err, 66u);
    EXPECT_EQ(lastSql(), "SELECT * FROM ACTIVITY_PHOTO WHERE ");
    EXPECT_EQ(object->ops->getCount(object, &err), -1);
    EXPECT_EQ(err, 66u);
}

TEST_F(AggregateTest, EveryAllocationFailureLeavesNothingBehind) {
    seedCalls();
    const long baseline = Mem_getLiveCount();
    bool completed = false;
    for (long n = 1; n < 300 && !completed; ++n) {
        SCOPED_TRACE(n);
        unsigned int err = 0;
        ILifelog* object = __LifelogImpl_new(&err);
        ASSERT_NE(object, nullptr);
        __LifelogImpl_addRef(object);
        object->ops->initialize2(object, "ACTIVITY_CALL", kJan1, kJan3End, &err);
        object->ops->setFilter(object, "CLOG_DURATION>0", &err);
        ASSERT_EQ(err, 0u);
        Mem_failAfter(n);
        unsigned int e1 = 0, e2 = 0, e3 = 0, e4 = 0, e5 = 0;
        const int count = object->ops->getCount(object, &e1);
        const int sum = object->ops->getSum(object, "CLOG_DURATION", &e2);
        const double average = object->ops->getAverage(object, "CLOG_DURATION", &e3);
        const size_t most =
            drain(object->ops->getMostOccurredValues(object, "CLOG_TYPE", 5, &e4)).size();
        const size_t max = drain(object->ops->findMaxLogs(object, "CLOG_DURATION", &e5)).size();
        Mem_failAfter(0);
        object->ops->release(object);
        EXPECT_EQ(Mem_getLiveCount(), baseline);
        completed = e1 == 0 && e2 == 0 && e3 == 0 && e4 == 0 && e5 == 0 && count == 3 &&
                    sum == 210 && average == 70.0 && most == 2 && max == 2;
    }
    EXPECT_TRUE(completed);
}

}  // namespace
