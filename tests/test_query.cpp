// The query object: lifecycle, initialisation, date ranges, the listing
// statement for every combination of filter, range and sort order, filters
// and sort orders (including what a hostile client might pass).
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "query_fixture.h"
#include "zbase_testing.h"
#include "zkivLifelogCommon.h"

namespace {

LifelogImpl* implOf(ILifelog* object) { return static_cast<LifelogImpl*>(object->impl); }

std::vector<std::string> keysOf(const std::vector<RowView>& rows) {
    std::vector<std::string> keys;
    for (const RowView& row : rows) {
        keys.push_back(row.items.empty() ? "?" : row.items.front());
    }
    return keys;
}

const char* kCallRange =
    "CLOG_TIMESTAMP BETWEEN '2020-01-02 11:30:00' AND '2020-01-03 23:59:59'";

// ------------------------------------------------------------- lifecycle

TEST_F(QueryTest, TableSlotsAreTheExportedOperations) {
    unsigned int err = 77;
    ILifelog* object = __LifelogImpl_new(&err);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(err, 77u) << "a successful new leaves the slot alone";
    const ILifelogOps* ops = object->ops;
    const void* expected[] = {
        reinterpret_cast<const void*>(__LifelogImpl_queryInterface),
        reinterpret_cast<const void*>(__LifelogImpl_addRef),
        reinterpret_cast<const void*>(__LifelogImpl_release),
        reinterpret_cast<const void*>(__LifelogImpl_initialize),
        reinterpret_cast<const void*>(__LifelogImpl_initialize2),
        reinterpret_cast<const void*>(__LifelogImpl_getActivityName),
        reinterpret_cast<const void*>(__LifelogImpl_getEnumerator),
        reinterpret_cast<const void*>(__LifelogImpl_findMaxLogs),
        reinterpret_cast<const void*>(__LifelogImpl_findMinLogs),
        reinterpret_cast<const void*>(__LifelogImpl_getMostOccurredValues),
        reinterpret_cast<const void*>(__LifelogImpl_getCount),
        reinterpret_cast<const void*>(__LifelogImpl_getSum),
        reinterpret_cast<const void*>(__LifelogImpl_getAverage),
        reinterpret_cast<const void*>(__LifelogImpl_setFilter),
        reinterpret_cast<const void*>(__LifelogImpl_setSortOrder),
        reinterpret_cast<const void*>(__LifelogImpl_setSortOrder2),
        reinterpret_cast<const void*>(__LifelogImpl_resetSortOrder),
    };
    static_assert(sizeof(ILifelogOps) == sizeof(expected));
    void* slots[17];
    std::memcpy(slots, ops, sizeof slots);
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(slots[i], expected[i]) << "slot " << i;
    }
    LifelogImpl* impl = implOf(object);
    EXPECT_EQ(static_cast<void*>(impl), static_cast<void*>(object));
    EXPECT_EQ(impl->impl, impl);
    EXPECT_EQ(impl->refCount, 0);
    EXPECT_EQ(impl->activityName, nullptr);
    EXPECT_EQ(impl->database, nullptr);

    EXPECT_EQ(ops->addRef(object), 1);
    EXPECT_EQ(ops->addRef(object), 2);
    EXPECT_EQ(ops->release(object), 1);
    err = 0;
    EXPECT_EQ(ops->queryInterface(object, &IID_ILifelog, &err), nullptr);
    EXPECT_EQ(err, 24u);
    EXPECT_EQ(ops->queryInterface(object, &IID_IBase, &err), nullptr);
    EXPECT_EQ(err, 24u);
    EXPECT_EQ(impl->refCount, 1) << "a refused queryInterface takes no reference";
    EXPECT_EQ(ops->release(object), 0);
    EXPECT_TRUE(hasLog(kTrace, "is called", 10, "__LifelogImpl_delete"));
}

TEST_F(QueryTest, ReleaseClosesTheDatabaseAndFreesEverything) {
    seedCalls();
    const long before = Mem_getLiveCount();
    unsigned int err = 0;
    ILifelog* object = __LifelogImpl_new(&err);
    __LifelogImpl_addRef(object);
    object->ops->initialize2(object, "ACTIVITY_CALL", kJan1, kJan3End, &err);
    object->ops->setFilter(object, "CLOG_TYPE=1", &err);
    object->ops->setSortOrder(object, "CLOG_TYPE", LIFELOG_ORDER_ASC, &err);
    ASSERT_EQ(err, 0u);
    EXPECT_GT(Mem_getLiveCount(), before);
    EXPECT_EQ(object->ops->release(object), 0);
    EXPECT_EQ(Mem_getLiveCount(), before);
    __LifelogImpl_delete(nullptr);  // only the trace line
}

// -------------------------------------------------------- initialisation

TEST_F(QueryTest, InitialisationFailures) {
    unsigned int err = 0;
    ILifelog* object = newObject();
    object->ops->initialize(object, nullptr, &err);
    EXPECT_EQ(err, 4u);
    __LifelogImpl_initialize(nullptr, "ACTIVITY_CALL", &err);
    EXPECT_EQ(err, 4u);
    object->ops->initialize2(object, nullptr, kJan1, kJan3End, &err);
    EXPECT_EQ(err, 4u);

    // A date without a day: refused, and the name goes with it.
    object->ops->initialize2(object, "ACTIVITY_CALL", DateTime{2020, 1, 0, 0, 0, 0, 0}, kJan1,
                             &err);
    EXPECT_EQ(err, 4u);
    EXPECT_TRUE(hasLog(kError, "Date format is invalid (year,month,day)", 10,
                       "__LifelogImple_convertDateToQueryStr"));
    EXPECT_EQ(object->ops->getActivityName(object), nullptr);
    EXPECT_EQ(implOf(object)->dateRange, nullptr);

    // No database file: 31, and the name of initialize stays.
    std::filesystem::remove(hostPath(kDbPath));
    object->ops->initialize(object, "ACTIVITY_CALL", &err);
    EXPECT_EQ(err, 31u);
    EXPECT_TRUE(hasLog(kError, "Database don't exist ", 10, "__LifelogImpl_initialize"));
    ASSERT_NE(object->ops->getActivityName(object), nullptr);
    EXPECT_STREQ(object->ops->getActivityName(object), "ACTIVITY_CALL");

    ILifelog* ranged = newObject();
    ranged->ops->initialize2(ranged, "ACTIVITY_CALL", kJan1, kJan3End, &err);
    EXPECT_EQ(err, 31u);
    EXPECT_TRUE(hasLog(kError, "Database don't exist ", 10, "__LifelogImpl_initialize2"));
    EXPECT_EQ(ranged->ops->getActivityName(ranged), nullptr);
    EXPECT_EQ(implOf(ranged)->dateRange, nullptr);
}

TEST_F(QueryTest, SecondInitialisationIsRefusedAndKeepsTheFirst) {
    ILifelog* object = open("ACTIVITY_CALL");
    unsigned int err = 0;
    object->ops->initialize2(object, "ACTIVITY_MESSAGE", kJan1, kJan3End, &err);
    EXPECT_EQ(err, 4u);
    object->ops->initialize(object, "ACTIVITY_MESSAGE", &err);
    EXPECT_EQ(err, 4u);
    EXPECT_STREQ(object->ops->getActivityName(object), "ACTIVITY_CALL");
    EXPECT_EQ(implOf(object)->dateRange, nullptr);
}

TEST_F(QueryTest, CompareDate) {
    struct Case {
        DateTime a, b;
        int expected;
    } cases[] = {
        {{2020, 1, 1, 0, 0, 0, 0}, {2020, 1, 1, 0, 0, 1, 0}, 1},
        {{2020, 1, 1, 0, 0, 1, 0}, {2020, 1, 1, 0, 0, 0, 0}, 0},
        {{2020, 1, 1, 0, 0, 0, 0}, {2020, 1, 1, 0, 0, 0, 0}, 0},
        {{2020, 1, 1, 0, 0, 0, 5}, {2020, 1, 1, 0, 0, 0, 9}, 0},  // reserved takes no part
        {{2019, 12, 31, 23, 59, 59, 0}, {2020, 1, 1, 0, 0, 0, 0}, 1},
        {{2020, 2, 1, 0, 0, 0, 0}, {2020, 1, 31, 23, 59, 59, 0}, 0},
        {{2020, 1, 2, 0, 0, 0, 0}, {2020, 1, 1, 23, 0, 0, 0}, 0},
        {{2020, 1, 1, 9, 59, 0, 0}, {2020, 1, 1, 10, 0, 0, 0}, 1},
        {{2020, 1, 1, 10, 1, 0, 0}, {2020, 1, 1, 10, 0, 59, 0}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(__LifelogImpl_compareDate(c.a, c.b), c.expected)
            << dateText(c.a) << " vs " << dateText(c.b);
    }
}

TEST_F(QueryTest, DateRangeTextPerTable) {
    const DateTime lower{2021, 3, 4, 5, 6, 7, 0};
    const DateTime upper{2021, 12, 31, 23, 0, 0, 0};
    struct Case {
        const char* name;
        DateTime lower, upper;
        unsigned int err;
        const char* expected;  // nullptr: no string
    } cases[] = {
        {"ACTIVITY_CALL", lower, upper, 0,
         "CLOG_TIMESTAMP BETWEEN '2021-03-04 05:06:07' AND '2021-12-31 23:00:00'"},
        {"ACTIVITY_MESSAGE", lower, upper, 0,
         "MSGLOG_TIMESTAMP BETWEEN '2021-03-04 05:06:07' AND '2021-12-31 23:00:00'"},
        {"ACTIVITY_MEDIA", lower, upper, 0,
         "MDLOG_TIMESTAMP BETWEEN '2021-03-04 05:06:07' AND '2021-12-31 23:00:00'"},
        {"ACTIVITY_PHOTO", lower, upper, 0, ""},
        {"activity_call", lower, upper, 0, ""},
        {"ACTIVITY_CALL", {2021, 1, 1, 0, 0, 0, 0}, {2021, 1, 1, 0, 0, 0, 0}, 0,
         "CLOG_TIMESTAMP BETWEEN '2021-01-01 00:00:00' AND '2021-01-01 00:00:00'"},
        {"ACTIVITY_CALL", {0, 1, 1, 0, 0, 0, 0}, upper, 4, nullptr},
        {"ACTIVITY_CALL", lower, {2021, 0, 1, 0, 0, 0, 0}, 4, nullptr},
        {"ACTIVITY_CALL", lower, {2021, 1, 0, 0, 0, 0, 0}, 4, nullptr},
    };
    for (const Case& c : cases) {
        unsigned int err = 99;
        char* text = __LifelogImple_convertDateToQueryStr(c.name, c.lower, c.upper, &err);
        EXPECT_EQ(err, c.err) << c.name;
        if (c.expected == nullptr) {
            EXPECT_EQ(text, nullptr);
        } else {
            ASSERT_NE(text, nullptr);
            EXPECT_STREQ(text, c.expected);
        }
        Mem_freeEx(text, __FILE__, __LINE__);
    }
}

TEST_F(QueryTest, DateRangeIncludesBothBoundsInEitherOrder) {
    seedCalls();
    struct Case {
        DateTime from, to;
        std::vector<std::string> keys;
    } cases[] = {
        {kJan2Start, kJan3End, {"LOG_KEY=2", "LOG_KEY=3"}},
        {kJan3End, kJan2Start, {"LOG_KEY=2", "LOG_KEY=3"}},
        {kJan2Start, kJan2Start, {"LOG_KEY=2"}},
        {{2020, 1, 2, 11, 30, 1, 0}, {2020, 1, 3, 23, 59, 58, 0}, {}},
        {{2019, 1, 1, 0, 0, 0, 0}, {2030, 1, 1, 0, 0, 0, 0}, {"LOG_KEY=1", "LOG_KEY=2", "LOG_KEY=3"}},
    };
    for (const Case& c : cases) {
        ILifelog* object = openRange("ACTIVITY_CALL", c.from, c.to);
        unsigned int err = 0;
        EXPECT_EQ(keysOf(drain(object->ops->getEnumerator(object, &err))), c.keys)
            << dateText(c.from) << " .. " << dateText(c.to);
        EXPECT_EQ(err, 0u);
    }
    ILifelog* forward = openRange("ACTIVITY_CALL", kJan2Start, kJan3End);
    ILifelog* backward = openRange("ACTIVITY_CALL", kJan3End, kJan2Start);
    EXPECT_STREQ(implOf(forward)->dateRange, implOf(backward)->dateRange);
    EXPECT_STREQ(implOf(forward)->dateRange, kCallRange);
}

// ----------------------------------------------------------------- listing

TEST_F(QueryTest, ListingStatementForEachFilterRangeAndOrder) {
    seedCalls();
    execSql(kDbPath,
            "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_TYPE, MSGLOG_SUMMARY, MSGLOG_TIMESTAMP) VALUES "
            "(1, 'a', '2020-01-02 11:30:00'), (2, 'b', '2020-01-02 12:00:00'),"
            "(1, 'c', '2020-01-04 00:00:00')");
    struct Case {
        const char* label;
        const char* table;
        const char* filter;
        bool range;
        const char* sortColumn;
        int sortType;
        std::string sql;
        std::vector<std::string> keys;
    } cases[] = {
        {"nothing", "ACTIVITY_CALL", nullptr, false, nullptr, 0, "SELECT * FROM ACTIVITY_CALL ",
         {"LOG_KEY=1", "LOG_KEY=2", "LOG_KEY=3"}},
        {"filter", "ACTIVITY_CALL", "CLOG_TYPE=1", false, nullptr, 0,
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_TYPE=1", {"LOG_KEY=1", "LOG_KEY=3"}},
        {"range", "ACTIVITY_CALL", nullptr, true, nullptr, 0,
         std::string("SELECT * FROM ACTIVITY_CALL WHERE ") + kCallRange, {"LOG_KEY=2", "LOG_KEY=3"}},
        {"filter and range", "ACTIVITY_CALL", "CLOG_TYPE=1", true, nullptr, 0,
         std::string("SELECT * FROM ACTIVITY_CALL WHERE CLOG_TYPE=1 AND ") + kCallRange,
         {"LOG_KEY=3"}},
        {"order alone keeps two blanks", "ACTIVITY_CALL", nullptr, false, "CLOG_TIMESTAMP",
         LIFELOG_ORDER_DESC, "SELECT * FROM ACTIVITY_CALL  ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=1"}},
        {"filter and order", "ACTIVITY_CALL", "CLOG_TYPE=1", false, "CLOG_TIMESTAMP",
         LIFELOG_ORDER_DESC,
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_TYPE=1 ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=1"}},
        {"range and order", "ACTIVITY_CALL", nullptr, true, "CLOG_DURATION", LIFELOG_ORDER_ASC,
         std::string("SELECT * FROM ACTIVITY_CALL WHERE ") + kCallRange +
             " ORDER BY CLOG_DURATION ASC",
         {"LOG_KEY=2", "LOG_KEY=3"}},
        {"all three", "ACTIVITY_CALL", "CLOG_DURATION>0", true, "LOG_KEY", LIFELOG_ORDER_DESC,
         std::string("SELECT * FROM ACTIVITY_CALL WHERE CLOG_DURATION>0 AND ") + kCallRange +
             " ORDER BY LOG_KEY DESC",
         {"LOG_KEY=3", "LOG_KEY=2"}},
        {"message filter and range", "ACTIVITY_MESSAGE", "MSGLOG_TYPE=1", true, nullptr, 0,
         "SELECT * FROM ACTIVITY_MESSAGE WHERE MSGLOG_TYPE=1 AND MSGLOG_TIMESTAMP BETWEEN "
         "'2020-01-02 11:30:00' AND '2020-01-03 23:59:59'",
         {"LOG_KEY=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ILifelog* object = c.range ? openRange(c.table, kJan2Start, kJan3End) : open(c.table);
        unsigned int err = 0;
        if (c.filter != nullptr) {
            object->ops->setFilter(object, c.filter, &err);
            ASSERT_EQ(err, 0u);
        }
        if (c.sortColumn != nullptr) {
            object->ops->setSortOrder(object, c.sortColumn, c.sortType, &err);
            ASSERT_EQ(err, 0u);
        }
        std::vector<RowView> rows = drain(object->ops->getEnumerator(object, &err));
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(lastSql(), c.sql);
        EXPECT_EQ(keysOf(rows), c.keys);
    }
}

TEST_F(QueryTest, RowsComeBackAsActivities) {
    seedCalls();
    ILifelog* object = open("ACTIVITY_CALL");
    unsigned int err = 0;
    std::vector<RowView> rows = drain(object->ops->getEnumerator(object, &err));
    const std::vector<RowView> expected = {
        {"ACTIVITY_CALL", "2020-01-01 10:00:00", "Seoul",
         {"LOG_KEY=1", "CLOG_DIRECTION=0", "CLOG_DURATION=30", "CLOG_TYPE=1",
          "CLOG_PHONE_NUMBER='0101'", "CLOG_CELLID=-1", "CLOG_LAC=-1", "CLOG_MCC=-1",
          "CLOG_MNC=-1"}},
        {"ACTIVITY_CALL", "2020-01-02 11:30:00", "<null>",
         {"LOG_KEY=2", "CLOG_DIRECTION=1", "CLOG_DURATION=90", "CLOG_TYPE=2",
          "CLOG_PHONE_NUMBER='0202'", "CLOG_CELLID=-1", "CLOG_LAC=-1", "CLOG_MCC=-1",
          "CLOG_MNC=-1"}},
        {"ACTIVITY_CALL", "2020-01-03 23:59:59", "Busan",
         {"LOG_KEY=3", "CLOG_DIRECTION=2", "CLOG_DURATION=90", "CLOG_TYPE=1",
          "CLOG_PHONE_NUMBER='0101'", "CLOG_CELLID=-1", "CLOG_LAC=-1", "CLOG_MCC=-1",
          "CLOG_MNC=-1"}},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(QueryTest, StatementsThatDoNotFitAreRefusedWith187) {
    seedCalls();
    // A table name whose statement head alone passes 4096 bytes.
    const std::string longName(4080, 'T');
    ILifelog* object = newObject();
    unsigned int err = 0;
    object->ops->initialize(object, longName.c_str(), &err);
    ASSERT_EQ(err, 0u);
    EXPECT_EQ(object->ops->getEnumerator(object, &err), nullptr);
    EXPECT_EQ(err, 187u);
    EXPECT_TRUE(hasLog(kError, "[OverflowException] Query creation is failed. 4097 > [4096]", 10,
                       "__LifelogImpl_createSQL"));
    EXPECT_EQ(object->ops->findMaxLogs(object, "LOG_KEY", &err), nullptr);
    EXPECT_EQ(err, 187u);

    // Head, where text and order together pass 4096: refused, never cut.
    ILifelog* call = open("ACTIVITY_CALL");
    const std::string filter = "CLOG_TYPE=1" + std::string(2037, ' ');
    call->ops->setFilter(call, filter.c_str(), &err);
    ASSERT_EQ(err, 0u);
    LifelogImpl* impl = implOf(call);
    Mem_freeEx(impl->sortOrder, __FILE__, __LINE__);
    impl->sortOrder = String_newByString(std::string(2100, 'X').c_str(), &err);
    clearLog();
    EXPECT_EQ(call->ops->getEnumerator(call, &err), nullptr);
    EXPECT_EQ(err, 187u);
    EXPECT_EQ(lastSql(), "<none>");
}

// --------------------------------------------------------------- filters

TEST_F(QueryTest, FilterIsTestRunAndHostileTextIsRefused) {
    seedCalls();
    struct Case {
        std::string condition;
        unsigned int err;
        const char* line;  // the error line, when one is expected
    } cases[] = {
        {"CLOG_TYPE=1", 0, nullptr},
        {"(CLOG_TYPE=1) OR (CLOG_DURATION>50)", 0, nullptr},
        {"CLOG_PHONE_NUMBER = ';--'", 0, nullptr},
        {"CLOG_TYPE=7", 0, nullptr},  // valid even when it matches nothing
        {"NO_SUCH_COLUMN=1", 4, "[E_DB_ENGINE_1] : filter statement is failed."},
        {"1=1; DROP TABLE ACTIVITY_CALL", 4, nullptr},
        {"1=1) UNION SELECT * FROM ACTIVITY_CALL WHERE (1=1", 4, nullptr},
        {"1=1 UNION SELECT * FROM ACTIVITY_CALL", 4, nullptr},
        {"1=1 UNION SELECT 1,2,3,4,5,6,7,8,9,10,11,12 FROM sqlite_master", 4, nullptr},
        {"1=1 --", 4, nullptr},
        {"1=1 /* AND", 4, nullptr},
        {"ATTACH DATABASE 'other.db' AS other", 4, nullptr},
        {"1=1 LIMIT 1", 4, nullptr},
        {"CLOG_PHONE_NUMBER = 'open", 4, nullptr},
        {"CLOG_TYPE=1" + std::string(2048 - 11, ' '), 0, nullptr},
        {"CLOG_TYPE=1" + std::string(2049 - 11, ' '), 4,
         "[E_SUCCESS] : filter length is 2049 > 2048."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition.substr(0, 60));
        ILifelog* object = open("ACTIVITY_CALL");
        unsigned int err = 0;
        object->ops->setFilter(object, "CLOG_DURATION=30", &err);
        ASSERT_EQ(err, 0u);
        clearLog();
        object->ops->setFilter(object, c.condition.c_str(), &err);
        EXPECT_EQ(err, c.err);
        const char* stored = implOf(object)->filter;
        if (c.err == 0) {
            ASSERT_NE(stored, nullptr);
            EXPECT_EQ(std::string(stored), c.condition);
        } else {
            EXPECT_EQ(stored, nullptr) << "a refused filter leaves no filter";
            bool logged = false;
            for (const std::string& line : logTexts(kError)) {
                logged = logged || line.rfind("__LifelogImpl_setFilter|", 0) == 0;
            }
            EXPECT_TRUE(logged) << "a refusal is logged";
        }
        if (c.line != nullptr) {
            EXPECT_TRUE(hasLog(kError, c.line, 10, "__LifelogImpl_setFilter"));
        }
        EXPECT_EQ(queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_CALL"),
                  (std::vector<std::vector<std::string>>{{"3"}}));
    }
    EXPECT_FALSE(std::filesystem::exists(hostPath("/SystemRW/Lifelog/Database/other.db")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "other.db"));

    // A null condition clears the filter; later statements have no WHERE.
    ILifelog* object = open("ACTIVITY_CALL");
    unsigned int err = 0;
    object->ops->setFilter(object, "CLOG_TYPE=1", &err);
    object->ops->setFilter(object, nullptr, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(drain(object->ops->getEnumerator(object, &err)).size(), 3u);
    EXPECT_EQ(lastSql(), "SELECT * FROM ACTIVITY_CALL ");
}

// ------------------------------------------------------------ sort orders

TEST_F(QueryTest, SortOrderIsTestRunAndARefusalKeepsThePrevious) {
    seedCalls();
    struct Case {
        const char* column;
        int type;
        unsigned int err;
        const char* stored;  // nullptr: no sort order
    } cases[] = {
        {"CLOG_TIMESTAMP", LIFELOG_ORDER_DESC, 0, "CLOG_TIMESTAMP DESC"},
        {"CLOG_TYPE", LIFELOG_ORDER_ASC, 0, "CLOG_TYPE ASC"},
        {"CLOG_TYPE", 5, 0, "CLOG_TYPE"},
        {"CLOG_TYPE", -1, 0, "CLOG_TYPE"},
        {"CLOG_TYPE", LIFELOG_ORDER_NONE, 0, nullptr},
        {"NO_SUCH_COLUMN", LIFELOG_ORDER_DESC, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE; DROP TABLE ACTIVITY_CALL", LIFELOG_ORDER_ASC, 4, "LOG_KEY DESC"},
        {"CLOG_TYPE LIMIT 1 --", LIFELOG_ORDER_ASC, 4, "LOG_KEY DESC"},
        {"1", LIFELOG_ORDER_ASC, 4, "LOG_KEY DESC"},
        {"", LIFELOG_ORDER_ASC, 4, "LOG_KEY DESC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        ILifelog* object = open("ACTIVITY_CALL");
        unsigned int err = 0;
        object->ops->setSortOrder(object, "LOG_KEY", LIFELOG_ORDER_DESC, &err);
        ASSERT_EQ(err, 0u);
        clearLog();
        object->ops->setSortOrder(object, c.column, c.type, &err);
        EXPECT_EQ(err, c.err);
        const char* stored = implOf(object)->sortOrder;
        if (c.stored == nullptr) {
            EXPECT_EQ(stored, nullptr);
            EXPECT_TRUE(hasLog(kTrace, "Input LIFELOG_ORDER_NONE type ", 11,
                               "__LifelogImpl_setSortOrder"));
        } else {
            ASSERT_NE(stored, nullptr);
            EXPECT_STREQ(stored, c.stored);
        }
        EXPECT_EQ(queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_CALL"),
                  (std::vector<std::vector<std::string>>{{"3"}}));
    }
    ILifelog* object = open("ACTIVITY_CALL");
    unsigned int err = 0;
    object->ops->setSortOrder(object, "CLOG_TYPE", LIFELOG_ORDER_ASC, &err);
    object->ops->resetSortOrder(object);
    EXPECT_EQ(implOf(object)->sortOrder, nullptr);
    object->ops->setSortOrder(object, nullptr, LIFELOG_ORDER_ASC, &err);
    EXPECT_EQ(err, 4u);
}

TEST_F(QueryTest, TwoColumnSortOrder) {
    seedCalls();
    struct Case {
        const char* label;
        const char* filter;
        const char* column1;
        int type1;
        const char* column2;
        int type2;
        unsigned int err;
        const char* stored;    // nullptr: no sort order
        const char* testSql;   // the "Valid Sql str:  " trace, when one is written
        std::vector<std::string> keys;
    } cases[] = {
        {"both columns", nullptr, "CLOG_TYPE", LIFELOG_ORDER_ASC, "CLOG_TIMESTAMP",
         LIFELOG_ORDER_DESC, 0, "CLOG_TYPE ASC,CLOG_TIMESTAMP DESC",
         "SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_TYPE ASC , CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=1", "LOG_KEY=2"}},
        {"with a filter", "CLOG_DURATION=90", "CLOG_TYPE", LIFELOG_ORDER_DESC, "LOG_KEY", 7, 0,
         "CLOG_TYPE DESC,LOG_KEY",
         "SELECT * FROM ACTIVITY_CALL WHERE CLOG_DURATION=90 ORDER BY CLOG_TYPE DESC , LOG_KEY",
         {"LOG_KEY=2", "LOG_KEY=3"}},
        {"first none", nullptr, "CLOG_TYPE", LIFELOG_ORDER_NONE, "CLOG_TIMESTAMP",
         LIFELOG_ORDER_DESC, 0, "CLOG_TIMESTAMP DESC",
         "SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_TIMESTAMP DESC",
         {"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=1"}},
        {"second none", nullptr, "CLOG_DURATION", LIFELOG_ORDER_DESC, "CLOG_TYPE",
         LIFELOG_ORDER_NONE, 0, "CLOG_DURATION DESC",
         "SELECT * FROM ACTIVITY_CALL ORDER BY CLOG_DURATION DESC", {}},
        {"both none", nullptr, "CLOG_TYPE", LIFELOG_ORDER_NONE, "CLOG_TIMESTAMP",
         LIFELOG_ORDER_NONE, 0, nullptr, nullptr, {"LOG_KEY=1", "LOG_KEY=2", "LOG_KEY=3"}},
        {"second not a column", nullptr, "CLOG_TYPE", LIFELOG_ORDER_ASC, "NO_SUCH",
         LIFELOG_ORDER_ASC, 4, "LOG_KEY DESC", nullptr, {"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=1"}},
        {"second smuggles a statement", nullptr, "CLOG_TYPE", LIFELOG_ORDER_ASC,
         "LOG_KEY; DELETE FROM ACTIVITY_CALL", 5, 4, "LOG_KEY DESC", nullptr,
         {"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=1"}},
        {"null second column", nullptr, "CLOG_TYPE", LIFELOG_ORDER_ASC, nullptr,
         LIFELOG_ORDER_NONE, 4, "LOG_KEY DESC", nullptr, {"LOG_KEY=3", "LOG_KEY=2", "LOG_KEY=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ILifelog* object = open("ACTIVITY_CALL");
        unsigned int err = 0;
        if (c.filter != nullptr) {
            object->ops->setFilter(object, c.filter, &err);
            ASSERT_EQ(err, 0u);
        }
        object->ops->setSortOrder(object, "LOG_KEY", LIFELOG_ORDER_DESC, &err);
        clearLog();
        object->ops->setSortOrder2(object, c.column1, c.type1, c.column2, c.type2, &err);
        EXPECT_EQ(err, c.err);
        const char* stored = implOf(object)->sortOrder;
        if (c.stored == nullptr) {
            EXPECT_EQ(stored, nullptr);
            EXPECT_TRUE(hasLog(kTrace, "Input LIFELOG_ORDER_NONE type ", 11));
        } else {
            ASSERT_NE(stored, nullptr);
            EXPECT_STREQ(stored, c.stored);
        }
        if (c.testSql != nullptr) {
            EXPECT_TRUE(hasLog(kTrace, std::string("Valid Sql str:  ") + c.testSql, 11,
                               "__LifelogImpl_setSortOrder2"));
            EXPECT_TRUE(hasLog(kTrace, std::string("Sorting String:  ") + c.stored, 10,
                               "__LifelogImpl_setSortOrder2"));
            EXPECT_TRUE(hasLog(kTrace, " TempSql size : 0", 11));
        }
        if (c.column2 != nullptr) {
            EXPECT_TRUE(hasLog(kTrace, " is called", 11, "__LifelogImpl_setSortOrder2"));
        }
        if (!c.keys.empty()) {
            std::vector<RowView> rows = drain(object->ops->getEnumerator(object, &err));
            EXPECT_EQ(keysOf(rows), c.keys);
            if (stored != nullptr) {
                EXPECT_EQ(lastSql(), std::string("SELECT * FROM ACTIVITY_CALL ") +
                                         (c.filter ? std::string("WHERE ") + c.filter : "") +
                                         " ORDER BY " + stored);
            }
        }
    }
    EXPECT_EQ(queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_CALL"),
              (std::vector<std::vector<std::string>>{{"3"}}));
}

// --------------------------------------------- objects that are not ready

TEST_F(QueryTest, OperationsOnAnUninitialisedObjectFailWithoutCrashing) {
    for (bool nullObject : {false, true}) {
        SCOPED_TRACE(nullObject ? "null object" : "never initialised");
        ILifelog* object = nullObject ? nullptr : newObject();
        unsigned int err = 0;
        EXPECT_EQ(__LifelogImpl_getEnumerator(object, &err), nullptr);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(__LifelogImpl_findMaxLogs(object, "LOG_KEY", &err), nullptr);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(__LifelogImpl_findMinLogs(object, "LOG_KEY", &err), nullptr);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(__LifelogImpl_getMostOccurredValues(object, "LOG_KEY", 3, &err), nullptr);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(__LifelogImpl_getCount(object, &err), -1);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(__LifelogImpl_getSum(object, "LOG_KEY", &err), nullObject ? -1 : 0);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(__LifelogImpl_getAverage(object, "LOG_KEY", &err), 0.0);
        EXPECT_EQ(err, 4u);
        __LifelogImpl_setFilter(object, "1=1", &err);
        EXPECT_EQ(err, 4u);
        __LifelogImpl_setSortOrder(object, "LOG_KEY", LIFELOG_ORDER_ASC, &err);
        EXPECT_EQ(err, 4u);
        __LifelogImpl_setSortOrder2(object, "LOG_KEY", 0, "CLOG_TYPE", 1, &err);
        EXPECT_EQ(err, 4u);
        __LifelogImpl_resetSortOrder(object);
        EXPECT_EQ(__LifelogImpl_getActivityName(object), nullptr);
        EXPECT_EQ(__LifelogImpl_addRef(object), nullObject ? 0 : 2);
        if (!nullObject) {
            __LifelogImpl_release(object);
        }
    }
}

// ------------------------------------------------- allocation failures

TEST_F(QueryTest, EveryAllocationFailureLeavesNothingBehind) {
    seedCalls();
    const long baseline = Mem_getLiveCount();
    bool completed = false;
    for (long n = 1; n < 400 && !completed; ++n) {
        SCOPED_TRACE(n);
        Mem_failAfter(n);
        unsigned int err = 0;
        unsigned int firstErr = 0;
        auto note = [&] {
            if (firstErr == 0) firstErr = err;
        };
        ILifelog* object = __LifelogImpl_new(&err);
        size_t rows = 0;
        if (object != nullptr) {
            __LifelogImpl_addRef(object);
            object->ops->initialize2(object, "ACTIVITY_CALL", kJan1, kJan3End, &err);
            note();
            object->ops->setFilter(object, "CLOG_DURATION>0", &err);
            note();
            object->ops->setSortOrder2(object, "CLOG_TYPE", LIFELOG_ORDER_ASC, "LOG_KEY",
                                       LIFELOG_ORDER_DESC, &err);
            note();
            ZLifelogEnumerator* enumerator = object->ops->getEnumerator(object, &err);
            note();
            rows = drain(enumerator).size();
            object->ops->release(object);
        } else {
            EXPECT_EQ(err, 1u);
            firstErr = 1;
        }
        Mem_failAfter(0);
        EXPECT_EQ(Mem_getLiveCount(), baseline);
        if (firstErr == 0 && rows == 3) {
            completed = true;
        }
    }
    EXPECT_TRUE(completed);
}

}  // namespace
