// Shared by the query tests: a lifelog database made through the library's
// own database handle (the real schema), rows seeded with SQLite, query
// objects, and the statements that enumerators ran, read from their trace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogEnumerator.h"
#include "zkivLifelogImpl.h"
#include "zkivLifeloggerDBHandle.h"

// One row as a client sees it through getCurrentN.
struct RowView {
    std::string name;
    std::string timestamp;  // "%04d-%02d-%02d %02d:%02d:%02d", or "" for seven zeros
    std::string location;   // "<null>" when there is none
    std::vector<std::string> items;  // "KEY=value" in item order

    bool operator==(const RowView&) const = default;
};

inline void PrintTo(const RowView& row, std::ostream* out) {
    *out << "{" << row.name << " | " << row.timestamp << " | " << row.location << " |";
    for (const auto& item : row.items) *out << " " << item;
    *out << "}";
}

inline std::string dateText(const DateTime& when) {
    if (when.year == 0 && when.month == 0 && when.day == 0 && when.hour == 0 &&
        when.minute == 0 && when.second == 0) {
        return "";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                  when.day, when.hour, when.minute, when.second);
    return text;
}

inline std::string itemText(const ZLifelogActivityItem* item) {
    std::string text = std::string(item->key) + "=";
    switch (item->valueType) {
        case LIFELOG_VALUE_INT:
            return text + std::to_string(*static_cast<int32_t*>(item->value));
        case LIFELOG_VALUE_INT64:
            return text + std::to_string(*static_cast<int64_t*>(item->value)) + "L";
        case LIFELOG_VALUE_DOUBLE: {
            char number[64];
            std::snprintf(number, sizeof number, "%g", *static_cast<double*>(item->value));
            return text + number + "d";
        }
        case LIFELOG_VALUE_STRING:
            return text + "'" + static_cast<char*>(item->value) + "'";
        default:
            return text + "?";
    }
}

inline RowView viewOf(ZLifelogActivity* activity) {
    RowView row;
    row.name = ZLifelogActivity_getName(activity);
    row.timestamp = dateText(ZLifelogActivity_getTimestamp(activity));
    const char* location = ZLifelogActivity_getLocation(activity);
    row.location = location != nullptr ? location : "<null>";
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    while (void* item = List_getNext(&cursor)) {
        row.items.push_back(itemText(static_cast<ZLifelogActivityItem*>(item)));
    }
    return row;
}

// Walks the enumerator to its end and deletes it; `endErr` gets the code
// that ended the walk (2 at the regular end).
inline std::vector<RowView> drain(ZLifelogEnumerator* enumerator, unsigned int* endErr = nullptr) {
    std::vector<RowView> rows;
    if (enumerator == nullptr) {
        return rows;
    }
    unsigned int err = 0;
    for (ZLifelogEnumerator_moveNext(enumerator, &err); err == 0;
         ZLifelogEnumerator_moveNext(enumerator, &err)) {
        unsigned int rowErr = 0;
        ZLifelogActivity* activity = ZLifelogEnumerator_getCurrentN(enumerator, &rowErr);
        if (activity == nullptr) {  // the rows seen so far show what went missing
            break;
        }
        rows.push_back(viewOf(activity));
        ZLifelogActivity_delete(activity);
    }
    if (endErr != nullptr) {
        *endErr = err;
    }
    ZLifelogEnumerator_delete(enumerator);
    return rows;
}

class QueryTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 0;
        DBHandle* handle = DBHandle_new(kDbPath, 500, &err);
        ASSERT_EQ(err, 0u);
        DBHandle_delete(handle);
    }
    void TearDown() override {
        for (ILifelog* object : objects_) {
            __LifelogImpl_release(object);
        }
        objects_.clear();
        LifelogTest::TearDown();
    }

    // A query object with count 1, released at the end of the test.
    ILifelog* newObject() {
        unsigned int err = 0;
        ILifelog* object = __LifelogImpl_new(&err);
        EXPECT_NE(object, nullptr);
        __LifelogImpl_addRef(object);
        objects_.push_back(object);
        return object;
    }
    ILifelog* open(const char* table) {
        ILifelog* object = newObject();
        unsigned int err = 0;
        object->ops->initialize(object, table, &err);
        EXPECT_EQ(err, 0u) << table;
        return object;
    }
    ILifelog* openRange(const char* table, DateTime from, DateTime to) {
        ILifelog* object = newObject();
        unsigned int err = 0;
        object->ops->initialize2(object, table, from, to, &err);
        EXPECT_EQ(err, 0u) << table;
        return object;
    }

    // The statement of the most recent enumerator, from its start trace.
    std::string lastSql() const {
        const std::string head = "start : sql : [ ";
        std::string sql = "<none>";
        for (const LogLine& line : logLines()) {
            if (line.level == kTrace && line.function == "ZLifelogEnumerator_new" &&
                line.text.rfind(head, 0) == 0 && line.text.size() >= head.size() + 2) {
                sql = line.text.substr(head.size(), line.text.size() - head.size() - 2);
            }
        }
        return sql;
    }

    // Three calls on 2020-01-01..03 (durations 30, 90, 90), types 1, 2, 1.
    void seedCalls() {
        execSql(kDbPath,
                "INSERT INTO ACTIVITY_CALL (CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, "
                "CLOG_PHONE_NUMBER, LOCATION, CLOG_TIMESTAMP) VALUES "
                "(0, 30, 1, '0101', 'Seoul', '2020-01-01 10:00:00'),"
                "(1, 90, 2, '0202', NULL, '2020-01-02 11:30:00'),"
                "(2, 90, 1, '0101', 'Busan', '2020-01-03 23:59:59')");
    }

    std::vector<ILifelog*> objects_;
};

inline constexpr DateTime kJan1{2020, 1, 1, 0, 0, 0, 0};
inline constexpr DateTime kJan2Start{2020, 1, 2, 11, 30, 0, 0};
inline constexpr DateTime kJan3End{2020, 1, 3, 23, 59, 59, 0};
