// Shared by the query tests: a lifelog database made through the library's
// own database handle (the real schema), query objects released at the end,
// rows as a client sees them, and the statement an enumerator ran, read
// from its start trace.
#pragma once

#include "fixture.h"
#include "zkivLifelog.h"

// One row through getCurrentN as "name|time stamp|location|items": the
// location "<null>" for none, the items as "KEY=value" in item order (L
// marks a 64-bit, d a double value).
inline std::string rowText(ZLifelogActivity* activity) {
    const DateTime t = ZLifelogActivity_getTimestamp(activity);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    const char* location = ZLifelogActivity_getLocation(activity);
    std::string row = std::string(ZLifelogActivity_getName(activity)) + "|" + text + "|" +
                      (location != nullptr ? location : "<null>") + "|";
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    while (auto* item = static_cast<ZLifelogActivityItem*>(List_getNext(&cursor))) {
        if (item->valueType == LIFELOG_VALUE_INT)
            std::snprintf(text, sizeof text, "%d", *static_cast<int32_t*>(item->value));
        else if (item->valueType == LIFELOG_VALUE_INT64)
            std::snprintf(text, sizeof text, "%lldL",
                          static_cast<long long>(*static_cast<int64_t*>(item->value)));
        else if (item->valueType == LIFELOG_VALUE_DOUBLE)
            std::snprintf(text, sizeof text, "%gd", *static_cast<double*>(item->value));
        else
            std::snprintf(text, sizeof text, "'%s'", static_cast<char*>(item->value));
        row += (row.back() == '|' ? "" : " ") + std::string(item->key) + "=" + text;
    }
    return row;
}

// Walks the enumerator to its end, checks that a reset brings the first
// row back, and deletes it; an unreadable row reads "<error:N>".  `endErr`
// gets the code that ended the walk (2 at the end, 4 for no enumerator).
inline std::vector<std::string> drain(ZLifelogEnumerator* enumerator,
                                      unsigned int* endErr = nullptr) {
    std::vector<std::string> rows;
    unsigned int err = 0, rowErr = 0;
    for (ZLifelogEnumerator_moveNext(enumerator, &err); err == 0;
         ZLifelogEnumerator_moveNext(enumerator, &err)) {
        ZLifelogActivity* activity = ZLifelogEnumerator_getCurrentN(enumerator, &rowErr);
        rows.push_back(activity != nullptr ? rowText(activity)
                                           : "<error:" + std::to_string(rowErr) + ">");
        if (activity != nullptr)
            ZLifelogActivity_delete(activity);
    }
    if (err == 2 && !rows.empty()) {  // reset starts the walk over
        ZLifelogEnumerator_reset(enumerator, &rowErr);
        ZLifelogEnumerator_moveNext(enumerator, &rowErr);
        EXPECT_EQ(rowErr, 0u) << "a row after reset";
    }
    if (endErr != nullptr)
        *endErr = err;
    ZLifelogEnumerator_delete(enumerator);
    return rows;
}

// Raw: a statement straight through an enumerator of the call table.
enum class Op { List, Max, Min, Most, Raw, Count, Sum, Average };

// Runs one reading operation: the rows it walks, or its one value as "%g".
// `text` is the column (the statement for Raw); Most asks for two values.
inline std::vector<std::string> run(ILifelog* self, Op op, const char* text, unsigned int* err,
                                    unsigned int* endErr) {
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

// The first item of each row (LOG_KEY for whole rows).
inline std::vector<std::string> keysOf(const std::vector<std::string>& rows) {
    std::vector<std::string> keys;
    for (const std::string& row : rows) {
        const std::string items = row.substr(row.rfind('|') + 1);
        keys.push_back(items.substr(0, items.find(' ')));
    }
    return keys;
}

inline constexpr DateTime kJan2Start{2020, 1, 2, 11, 30, 0, 0};
inline constexpr DateTime kJan3End{2020, 1, 3, 23, 59, 59, 0};

class QueryTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 0;
        DBHandle_delete(DBHandle_new(kDbPath, 500, &err));  // the real schema
        ASSERT_EQ(err, 0u);
    }
    void TearDown() override {
        for (ILifelog* object : objects_) __LifelogImpl_release(object);
        LifelogTest::TearDown();
    }
    // A query object with count 1, released at the end of the test.
    ILifelog* newObject() {
        unsigned int err = 0;
        objects_.push_back(__LifelogImpl_new(&err));
        __LifelogImpl_addRef(objects_.back());
        return objects_.back();
    }
    // Over `table`, optionally narrowed to the range (Jan 2 11:30 .. Jan 3
    // end unless a test says otherwise), filtered and ordered by one column,
    // descending.
    ILifelog* open(const char* table, bool range = false, const char* filter = nullptr,
                   const char* sortColumn = nullptr) {
        ILifelog* object = newObject();
        unsigned int err[3] = {};
        range ? object->ops->initialize2(object, table, from_, to_, &err[0])
              : object->ops->initialize(object, table, &err[0]);
        object->ops->setFilter(object, filter, &err[1]);
        sortColumn ? object->ops->setSortOrder(object, sortColumn, LIFELOG_ORDER_DESC, &err[2])
                   : object->ops->resetSortOrder(object);
        EXPECT_EQ(err[0] + err[1] + err[2], 0u) << table;
        return object;
    }
    static LifelogImpl* implOf(ILifelog* object) { return static_cast<LifelogImpl*>(object->impl); }
    // The statement of the most recent enumerator, from its start trace.
    std::string lastSql() const {
        const std::string head = "start : sql : [ ", tail = " ]";
        std::string sql = "<none>";
        for (const LogLine& line : logLines()) {
            if (line.level == kTrace && line.function == "ZLifelogEnumerator_new" &&
                line.text.starts_with(head) && line.text.ends_with(tail)) {
                sql = line.text.substr(head.size(), line.text.size() - head.size() - tail.size());
            }
        }
        return sql;
    }
    std::string callCount() const {
        return queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_CALL").at(0).at(0);
    }
    // Calls 1..3 on Jan 1..3 (durations 30, 90, 90; types 1, 2, 1) and
    // messages 1..7 (numbers A A A B B C D; types 1 1 1 2 1 2 2).
    void seed() const {
        execSql(kDbPath,
                "INSERT INTO ACTIVITY_CALL (CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, "
                "CLOG_PHONE_NUMBER, LOCATION, CLOG_TIMESTAMP) VALUES "
                "(0, 30, 1, '0101', 'Seoul', '2020-01-01 10:00:00'),"
                "(1, 90, 2, '0202', NULL, '2020-01-02 11:30:00'),"
                "(2, 90, 1, '0101', 'Busan', '2020-01-03 23:59:59');"
                "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_TYPE, MSGLOG_PHONE_NUMBER, MSGLOG_TIMESTAMP)"
                " VALUES (1, 'A', '2020-01-01 01:00:00'), (1, 'A', '2020-01-02 12:00:00'),"
                "(1, 'A', '2020-01-03 12:00:00'), (2, 'B', '2020-01-02 13:00:00'),"
                "(1, 'B', '2020-01-03 13:00:00'), (2, 'C', '2020-01-03 14:00:00'),"
                "(2, 'D', '2020-01-03 14:00:00')");
    }
    std::vector<ILifelog*> objects_;
    DateTime from_ = kJan2Start, to_ = kJan3End;
};
