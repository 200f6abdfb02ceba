// The database handle: the file and its tables, same-time replacement,
// trimming, the time-stamp column, quoting and the bounds of a row, all read
// back with SQLite itself.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "fixture.h"
#include "qelmemory.h"
#include "zbase.h"
#include "zbase_testing.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifeloggerDBHandle.h"

namespace {

using Value = std::variant<int32_t, double, int64_t, std::string>;

struct ItemSpec {
    std::string key;
    Value value;
};

constexpr DateTime kNoDate{};
constexpr DateTime kWhen{2001, 2, 3, 4, 5, 6, 0};
constexpr const char* kWhenText = "2001-02-03 04:05:06";

struct ActivityDeleter {
    void operator()(ZLifelogActivity* activity) const { ZLifelogActivity_delete(activity); }
};
using ActivityPtr = std::unique_ptr<ZLifelogActivity, ActivityDeleter>;

void* copyValue(const Value& value, int* type) {
    if (auto* text = std::get_if<std::string>(&value)) {
        *type = LIFELOG_VALUE_STRING;
        unsigned int err = 0;
        return String_newByString(text->c_str(), &err);
    }
    return std::visit(
        [type](const auto& number) -> void* {
            using T = std::decay_t<decltype(number)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return nullptr;
            } else {
                *type = std::is_same_v<T, int32_t>  ? LIFELOG_VALUE_INT
                        : std::is_same_v<T, double> ? LIFELOG_VALUE_DOUBLE
                                                    : LIFELOG_VALUE_INT64;
                void* block = Mem_allocEx(sizeof(T), __FILE__, __LINE__);
                std::memcpy(block, &number, sizeof(T));
                return block;
            }
        },
        value);
}

void addItem(ZLifelogActivity* activity, const std::string& key, void* value, int type) {
    unsigned int err = 0;
    ZLifelogActivityItem* item = ZLifelogActivityItem_new(key.c_str(), value, type, &err);
    ASSERT_EQ(err, 0u);
    ZLifelogActivity_addActivityItem(activity, item, &err);
    ASSERT_EQ(err, 0u);
}

ActivityPtr makeActivity(const char* name, DateTime when, const std::vector<ItemSpec>& items) {
    unsigned int err = 0;
    ActivityPtr activity(ZLifelogActivity_new(name, &err));
    EXPECT_EQ(err, 0u);
    _ZLifelogActivity_setTimestamp(activity.get(), when);
    for (const ItemSpec& spec : items) {
        int type = 0;
        void* value = copyValue(spec.value, &type);
        addItem(activity.get(), spec.key, value, type);
    }
    return activity;
}

ActivityPtr message(const std::string& summary, DateTime when = kNoDate) {
    return makeActivity("ACTIVITY_MESSAGE", when,
                        {{"MSGLOG_PHONE_NUMBER", std::string("0101234")},
                         {"MSGLOG_DIRECTION", int32_t{1}},
                         {"MSGLOG_TYPE", int32_t{0}},
                         {"MSGLOG_SUMMARY", summary}});
}

class DBHandleTest : public LifelogTest {
  protected:
    void TearDown() override {
        if (handle_ != nullptr) {
            DBHandle_delete(handle_);
        }
        LifelogTest::TearDown();
    }

    DBHandle* makeHandle(int32_t maxCount = 500) {
        unsigned int err = 99;
        handle_ = DBHandle_new(kDbPath, maxCount, &err);
        EXPECT_EQ(err, 0u);
        EXPECT_NE(handle_, nullptr);
        return handle_;
    }

    Handle* handle() { return reinterpret_cast<Handle*>(handle_); }

    // One activity as the handler passes it: open, write, close.
    int store(ZLifelogActivity* activity) {
        EXPECT_EQ(handle_->ops->open(handle()), 1);
        int written = handle_->ops->write(handle(), activity);
        handle_->ops->close(handle());
        EXPECT_EQ(handle_->pDBHandle, nullptr);
        return written;
    }

    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        return queryRows(kDbPath, sql);
    }
    std::string scalar(const std::string& sql) {
        auto result = rows(sql);
        return result.empty() || result[0].empty() ? "<none>" : result[0][0];
    }
    int count(const char* table) {
        return std::stoi(scalar(std::string("SELECT COUNT(*) FROM ") + table));
    }

    // Fills a table with `n` rows whose time stamps are a permutation of
    // 2020-01-01 00:00 + 0..n-1 minutes, so that the oldest row is not the
    // one with the smallest key.  Returns the oldest row's key.
    int seed(const char* table, const char* stampColumn, int n) {
        if (n == 0)
            return 0;
        execSql(kDbPath, std::string("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM k "
                                     "WHERE i < ") +
                             std::to_string(n) + ") INSERT INTO " + table + " (" + stampColumn +
                             ") SELECT strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || "
                             "((i * 7919) % " +
                             std::to_string(n) + ") || ' minutes') FROM k");
        return std::stoi(scalar(std::string("SELECT LOG_KEY FROM ") + table + " ORDER BY " +
                                stampColumn + " LIMIT 1"));
    }

    DBHandle* handle_ = nullptr;
};

std::string withoutIfNotExists(std::string statement) {
    statement.erase(statement.find("IF NOT EXISTS "), std::strlen("IF NOT EXISTS "));
    return statement;
}

TEST_F(DBHandleTest, NewFileHoldsExactlyTheThreeTables) {
    makeHandle();
    EXPECT_TRUE(std::filesystem::exists(hostPath(kDbPath)));
    // SQLite keeps each statement as given, without "IF NOT EXISTS".
    // clang-format off
    const std::vector<std::vector<std::string>> expected = {
        {"ACTIVITY_CALL",
         withoutIfNotExists(
             "CREATE TABLE IF NOT EXISTS 'ACTIVITY_CALL' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'CLOG_DIRECTION' INTEGER ,\t\t\t\t\t\t\t 'CLOG_DURATION' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'CLOG_TYPE' INTEGER, 'CLOG_PHONE_NUMBER' text(50), 'CLOG_NAME' text(50), \t\t\t\t\t\t\t 'CLOG_CELLID' INTEGER DEFAULT -1, 'CLOG_LAC' INTEGER DEFAULT -1, 'CLOG_MCC' INTEGER DEFAULT -1, 'CLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'CLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)")},
        {"ACTIVITY_MESSAGE",
         withoutIfNotExists(
             "CREATE TABLE IF NOT EXISTS 'ACTIVITY_MESSAGE' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'MSGLOG_DIRECTION' INTEGER, \t\t\t\t\t\t\t 'MSGLOG_SUMMARY' text(100), 'MSGLOG_TYPE' INTEGER, \t\t\t\t\t\t\t 'MSGLOG_PHONE_NUMBER' text(50), 'MSGLOG_NAME' text(50), \t\t\t\t\t\t\t 'MSGLOG_CELLID' INTEGER DEFAULT -1, 'MSGLOG_LAC' INTEGER DEFAULT -1, 'MSGLOG_MCC' INTEGER DEFAULT -1, 'MSGLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'MSGLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)")},
        {"ACTIVITY_MEDIA",
         withoutIfNotExists(
             "CREATE TABLE IF NOT EXISTS 'ACTIVITY_MEDIA' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'MDLOG_TITLE' text(100), \t\t\t\t\t\t\t 'MDLOG_MEDIA_URI' text(100), 'MDLOG_TYPE' INTEGER, \t\t\t\t\t\t\t 'MDLOG_PLAY_TIME' INTEGER DEFAULT -1, 'MDLOG_ARTIST' text(50), 'MDLOG_ALBUM' text(50), \t\t\t\t\t\t\t 'MDLOG_CATEGORY' text(50), \t\t\t\t\t\t\t 'MDLOG_CELLID' INTEGER DEFAULT -1, 'MDLOG_LAC' INTEGER DEFAULT -1, 'MDLOG_MCC' INTEGER DEFAULT -1, 'MDLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'MDLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)")},
    };
    // clang-format on
    EXPECT_EQ(rows("SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                   "'sqlite_%' ORDER BY rowid"),
              expected);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM sqlite_master WHERE type <> 'table'"), "0");
}

TEST_F(DBHandleTest, ExistingFileIsUsedAsFound) {
    std::filesystem::create_directories(hostPath(kDbPath).parent_path());
    execSql(kDbPath, "CREATE TABLE ACTIVITY_MESSAGE (MSGLOG_SUMMARY TEXT)");
    makeHandle();
    EXPECT_EQ(rows("SELECT name FROM sqlite_master ORDER BY name"),
              (std::vector<std::vector<std::string>>{{"ACTIVITY_MESSAGE"}}));
}

struct TrimCase {
    const char* label;
    const char* table;
    const char* stampColumn;
    int32_t maxCount;
    int seeded;
    int writes;
    int expectedRows;
    bool oldestGone;
};

TEST_F(DBHandleTest, TrimmingKeepsTheConfiguredNumberOfRows) {
    const TrimCase cases[] = {
        {"full call table loses its oldest", "ACTIVITY_CALL", "CLOG_TIMESTAMP", 500, 500, 1, 500,
         true},
        {"one short of full loses nothing", "ACTIVITY_CALL", "CLOG_TIMESTAMP", 500, 499, 1, 500,
         false},
        {"full message table", "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", 5, 5, 1, 5, true},
        {"full media table", "ACTIVITY_MEDIA", "MDLOG_TIMESTAMP", 5, 5, 1, 5, true},
        {"over-full table does not shrink", "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", 3, 6, 1, 6,
         true},
        {"maximum 1 keeps the newest", "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", 1, 0, 3, 1, false},
        {"maximum 0 keeps the newest", "ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP", 0, 0, 3, 1, false},
        {"maximum 0 over a seeded table", "ACTIVITY_CALL", "CLOG_TIMESTAMP", 0, 1, 1, 1, true},
    };
    for (const TrimCase& c : cases) {
        SCOPED_TRACE(c.label);
        makeHandle(c.maxCount);
        const int oldestKey = seed(c.table, c.stampColumn, c.seeded);
        const std::string stampItem = c.stampColumn;
        for (int i = 0; i < c.writes; ++i) {
            // Each written row is newer than the one before and than every seeded row.
            std::string stamp = "2030-01-01 00:00:0" + std::to_string(i);
            const char* number = std::string(c.table) == "ACTIVITY_MEDIA"  ? "MDLOG_TITLE"
                                 : std::string(c.table) == "ACTIVITY_CALL" ? "CLOG_PHONE_NUMBER"
                                                                           : "MSGLOG_PHONE_NUMBER";
            auto activity = makeActivity(c.table, kNoDate,
                                         {{number, "n" + std::to_string(i)}, {stampItem, stamp}});
            EXPECT_EQ(store(activity.get()), 1);
        }
        EXPECT_EQ(count(c.table), c.expectedRows);
        if (c.seeded > 0) {
            EXPECT_EQ(scalar(std::string("SELECT COUNT(*) FROM ") + c.table +
                             " WHERE LOG_KEY = " + std::to_string(oldestKey)),
                      c.oldestGone ? "0" : "1");
        }
        // The newest row is always there.
        EXPECT_EQ(
            scalar(std::string("SELECT COUNT(*) FROM ") + c.table + " WHERE " + c.stampColumn +
                   " = '2030-01-01 00:00:0" + std::to_string(c.writes - 1) + "'"),
            "1");
        execSql(kDbPath, std::string("DELETE FROM ") + c.table);
        DBHandle_delete(handle_);
        handle_ = nullptr;
    }
}

TEST_F(DBHandleTest, SameTimeStampReplacesAStoredRow) {
    makeHandle();
    const DateTime other{2001, 2, 3, 4, 5, 7, 0};
    EXPECT_EQ(store(message("first", kWhen).get()), 1);
    EXPECT_EQ(store(message("second", kWhen).get()), 1);
    EXPECT_EQ(store(message("third", other).get()), 1);
    EXPECT_EQ(rows("SELECT MSGLOG_SUMMARY, MSGLOG_TIMESTAMP FROM ACTIVITY_MESSAGE ORDER BY "
                   "LOG_KEY"),
              (std::vector<std::vector<std::string>>{{"second", kWhenText},
                                                     {"third", "2001-02-03 04:05:07"}}));
}

struct CallStampCase {
    const char* label;
    std::vector<ItemSpec> items;
    bool storedBefore;  // a call with the same time stamp is already stored
    bool ownStamp;      // the new row carries the activity's time stamp
};

TEST_F(DBHandleTest, CallTimeStampFollowsDirectionDurationAndReplacement) {
    const CallStampCase cases[] = {
        {"answered call with a duration",
         {{"CLOG_DIRECTION", 1}, {"CLOG_DURATION", 20}},
         false,
         false},
        {"call that never connected", {{"CLOG_DIRECTION", 1}, {"CLOG_DURATION", 0}}, false, true},
        {"negative duration", {{"CLOG_DIRECTION", 0}, {"CLOG_DURATION", -5}}, false, true},
        {"no duration item", {{"CLOG_DIRECTION", 1}}, false, true},
        {"direction 2, nothing replaced",
         {{"CLOG_DIRECTION", 2}, {"CLOG_DURATION", 20}},
         false,
         true},
        {"direction 2, a row replaced",
         {{"CLOG_DIRECTION", 2}, {"CLOG_DURATION", 20}},
         true,
         false},
        {"no direction item counts as 2", {{"CLOG_DURATION", 20}}, false, true},
        {"later item with the same key wins",
         {{"CLOG_DIRECTION", 2}, {"CLOG_DURATION", 0}, {"CLOG_DURATION", 9}},
         false,
         true},
        {"duration 0 wins over a replacement",
         {{"CLOG_DIRECTION", 2}, {"CLOG_DURATION", 0}},
         true,
         true},
    };
    makeHandle();
    for (const CallStampCase& c : cases) {
        SCOPED_TRACE(c.label);
        execSql(kDbPath, "DELETE FROM ACTIVITY_CALL");
        if (c.storedBefore) {
            execSql(kDbPath, std::string("INSERT INTO ACTIVITY_CALL (CLOG_TIMESTAMP) VALUES ('") +
                                 kWhenText + "')");
        }
        std::vector<ItemSpec> items = c.items;
        items.insert(items.begin(), {"CLOG_PHONE_NUMBER", std::string("0109")});
        EXPECT_EQ(store(makeActivity("ACTIVITY_CALL", kWhen, items).get()), 1);
        auto stored = rows("SELECT CLOG_TIMESTAMP FROM ACTIVITY_CALL");
        ASSERT_EQ(stored.size(), 1u);  // the stored one was replaced
        EXPECT_EQ(stored[0][0] == kWhenText, c.ownStamp) << stored[0][0];
        EXPECT_EQ(stored[0][0].size(), 19u);
    }
}

struct StampCase {
    const char* label;
    const char* name;
    DateTime when;
    std::vector<ItemSpec> items;
    const char* column;
    const char* expected;  // nullptr: the database's current time
};

TEST_F(DBHandleTest, TimeStampColumnOfEachKind) {
    const StampCase cases[] = {
        {"message keeps its own",
         "ACTIVITY_MESSAGE",
         kWhen,
         {{"MSGLOG_TYPE", 0}},
         "MSGLOG_TIMESTAMP",
         kWhenText},
        {"media never from its DateTime",
         "ACTIVITY_MEDIA",
         kWhen,
         {{"MDLOG_TYPE", 0}},
         "MDLOG_TIMESTAMP",
         nullptr},
        {"media from a time-stamp item",
         "ACTIVITY_MEDIA",
         kWhen,
         {{"MDLOG_TYPE", 0}, {"MDLOG_TIMESTAMP", std::string("1999-12-31 23:59:59")}},
         "MDLOG_TIMESTAMP",
         "1999-12-31 23:59:59"},
        {"message without a day",
         "ACTIVITY_MESSAGE",
         DateTime{2001, 2, 0, 4, 5, 6, 0},
         {{"MSGLOG_TYPE", 0}},
         "MSGLOG_TIMESTAMP",
         nullptr},
        {"call without a year",
         "ACTIVITY_CALL",
         DateTime{0, 2, 3, 4, 5, 6, 0},
         {{"CLOG_DURATION", 0}},
         "CLOG_TIMESTAMP",
         nullptr},
        {"message without a month",
         "ACTIVITY_MESSAGE",
         DateTime{2001, 0, 3, 4, 5, 6, 0},
         {{"MSGLOG_TYPE", 0}},
         "MSGLOG_TIMESTAMP",
         nullptr},
    };
    makeHandle();
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.label);
        execSql(kDbPath, std::string("DELETE FROM ") + c.name);
        // An undated activity must not remove a row stamped like its DateTime.
        const bool undated = c.when.year == 0 || c.when.month == 0 || c.when.day == 0;
        if (undated) {
            char stamp[64];
            std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", c.when.year,
                          c.when.month, c.when.day, c.when.hour, c.when.minute, c.when.second);
            execSql(kDbPath, std::string("INSERT INTO ") + c.name + " (" + c.column +
                                 ") VALUES ('" + stamp + "')");
        }
        EXPECT_EQ(store(makeActivity(c.name, c.when, c.items).get()), 1);
        auto stored =
            rows(std::string("SELECT ") + c.column + " FROM " + c.name + " ORDER BY LOG_KEY DESC");
        ASSERT_EQ(stored.size(), undated ? 2u : 1u);
        const std::string& now = stored[0][0];
        if (c.expected != nullptr) {
            EXPECT_EQ(now, c.expected);
        } else {
            EXPECT_NE(now, kWhenText);
            EXPECT_EQ(now.substr(0, 2), "20");
            EXPECT_EQ(now.size(), 19u);
        }
    }
}

TEST_F(DBHandleTest, ValuesOfEveryTypeAndDefaults) {
    makeHandle();
    auto activity = makeActivity("ACTIVITY_MEDIA", kNoDate,
                                 {{"MDLOG_TITLE", std::string("Song")},
                                  {"MDLOG_TYPE", int32_t{2}},
                                  {"MDLOG_CELLID", int64_t{5000000000LL}},
                                  {"MDLOG_LAC", 1.5},
                                  {"LOCATION", std::string("")}});
    EXPECT_EQ(store(activity.get()), 1);
    EXPECT_EQ(rows("SELECT MDLOG_TITLE, MDLOG_TYPE, typeof(MDLOG_TYPE), MDLOG_CELLID, MDLOG_LAC, "
                   "MDLOG_PLAY_TIME, MDLOG_MNC, LOCATION FROM ACTIVITY_MEDIA"),
              (std::vector<std::vector<std::string>>{
                  {"Song", "2", "integer", "5000000000", "1.5", "-1", "-1", "<null>"}}));
    EXPECT_TRUE(hasLog(kTrace, "value string(LOCATION) is is empty", 10, "__DBHandle_write"));
}

TEST_F(DBHandleTest, TextsAreStoredExactlyAsGiven) {
    const char* texts[] = {
        "say \"hi\"",      "\"",   "\"\"",        "\"\"\"",  "\"lead",   "trail\"",
        "a\"\"b",          "it's", "MSGLOG_TYPE", "LOG_KEY", "x\", \"y", "CURRENT_TIMESTAMP",
        "한국어 \"문자\"",
    };
    makeHandle();
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        execSql(kDbPath, "DELETE FROM ACTIVITY_MESSAGE");
        EXPECT_EQ(store(message(text).get()), 1);
        EXPECT_EQ(rows("SELECT MSGLOG_SUMMARY, MSGLOG_TYPE FROM ACTIVITY_MESSAGE"),
                  (std::vector<std::vector<std::string>>{{text, "0"}}));
    }
}

TEST_F(DBHandleTest, ReplaceDoublesEveryToken) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},           {"plain", "plain"},   {"\"", "\"\""},
        {"a\"b", "a\"\"b"}, {"\"\"", "\"\"\"\""}, {"\"x\"", "\"\"x\"\""},
    };
    for (const auto& [source, expected] : cases) {
        char* result = __String_NewReplace(source, "\"", "\"\"");
        ASSERT_NE(result, nullptr) << source;
        EXPECT_STREQ(result, expected);
        Mem_freeEx(result, __FILE__, __LINE__);
    }
}

TEST_F(DBHandleTest, EmptyTextLeavesItsColumnAtTheDefault) {
    makeHandle();
    EXPECT_EQ(store(message("").get()), 1);
    EXPECT_EQ(rows("SELECT MSGLOG_SUMMARY, MSGLOG_PHONE_NUMBER, MSGLOG_CELLID, MSGLOG_NAME FROM "
                   "ACTIVITY_MESSAGE"),
              (std::vector<std::vector<std::string>>{{"<null>", "0101234", "-1", "<null>"}}));
    EXPECT_TRUE(hasLog(kTrace, "value string(MSGLOG_SUMMARY) is is empty", 10, "__DBHandle_write"));
}

struct RejectCase {
    const char* label;
    const char* name;
    std::vector<ItemSpec> items;
    int level;
    std::string line;
    int rowsLeft;  // in ACTIVITY_CALL, seeded with 3 rows and a maximum of 3
};

TEST_F(DBHandleTest, RejectedRowsStoreNothing) {
    const std::string longKey(600, 'K');
    const std::string longText(1100, 't');
    const std::string key98(98, 'C');
    const std::string text98(98, 'v');
    std::vector<ItemSpec> wideColumns;  // 21 columns of 100 characters: past 2047
    for (int i = 0; i < 21; ++i) wideColumns.push_back({key98, 1});
    std::vector<ItemSpec> wideValues = {{"CLOG_PHONE_NUMBER", std::string(1000, 'a')},
                                        {"CLOG_NAME", std::string(1000, 'b')},
                                        {"LOCATION", std::string(100, 'c')}};
    std::vector<ItemSpec> longStatement;  // each list fits, the insert does not
    for (int i = 0; i < 20; ++i) longStatement.push_back({key98, text98});

    const char* longName = "ACTIVITY_CALL_WITH_A_NAME_LONGER_THAN_THE_ROOM_LEFT";
    // "INSERT INTO %s ( %s ) VALUES ( %s )" around two lists of 2019 characters.
    const int insertLength = 29 + static_cast<int>(std::strlen(longName)) + 2 * 2019;
    const RejectCase cases[] = {
        {"unknown column",
         "ACTIVITY_CALL",
         {{"CLOG_TYPE", 1}, {"NO_SUCH_COLUMN", 1}},
         kError,
         "[E_DB_ENGINE_1] Propagated : Database_executeSQL failed.",
         2},
        {"photo activity",
         "ACTIVITY_PHOTO",
         {{"PTLOG_TITLE", std::string("p")}},
         kError,
         "[E_DB_ENGINE_1] Propagated : Database_executeSQL failed.",
         3},
        {"column list past 2047", "ACTIVITY_CALL", wideColumns, kTrace,
         "String length is out of bounds", 2},
        {"value list past 2047", "ACTIVITY_CALL", wideValues, kTrace,
         "String length is out of bounds", 2},
        {"key past its fragment",
         "ACTIVITY_CALL",
         {{longKey, 1}},
         kTrace,
         "String length is out of bounds",
         2},
        {"value past its fragment",
         "ACTIVITY_CALL",
         {{"CLOG_PHONE_NUMBER", longText}},
         kTrace,
         "String length is out of bounds",
         2},
        {"insert past its statement", longName, longStatement, kTrace,
         "String length is out of bounds " + std::to_string(insertLength), 3},
    };
    makeHandle(3);
    for (const RejectCase& c : cases) {
        SCOPED_TRACE(c.label);
        execSql(kDbPath,
                "DELETE FROM ACTIVITY_CALL; INSERT INTO ACTIVITY_CALL (CLOG_TIMESTAMP) "
                "VALUES ('2020-01-01 00:00:01'), ('2020-01-01 00:00:00'), "
                "('2020-01-01 00:00:02')");
        clearLog();
        EXPECT_EQ(store(makeActivity(c.name, kNoDate, c.items).get()), 0);
        EXPECT_EQ(countLog(c.level, c.line, 10, "__DBHandle_write"), 1);
        EXPECT_FALSE(hasLog(kTrace, "End"));
        // Trimming ran before the insert and stays done; no other row changed.
        EXPECT_EQ(count("ACTIVITY_CALL"), c.rowsLeft);
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM ACTIVITY_CALL WHERE CLOG_TIMESTAMP = "
                         "'2020-01-01 00:00:02'"),
                  "1");
    }
    EXPECT_EQ(count("ACTIVITY_MESSAGE") + count("ACTIVITY_MEDIA"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'ACTIVITY_PHOTO'"), "0");
}

TEST_F(DBHandleTest, InvalidItemsFailTheWrite) {
    makeHandle();
    struct Case {
        const char* label;
        int type;
        bool nullValue;
        const char* line;
    } cases[] = {
        {"value type 4", LIFELOG_VALUE_NONE, false,
         "ZLifelogActivityItem_getValueType is invalid data"},
        {"value type 9", 9, false, "ZLifelogActivityItem_getValueType is invalid data"},
        {"no value", LIFELOG_VALUE_INT, true, "ZLifelogActivityItem_getKey is failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto activity = message("kept out");
        void* value = c.nullValue ? nullptr : Mem_allocEx(4, __FILE__, __LINE__);
        if (value != nullptr)
            std::memset(value, 0, 4);
        addItem(activity.get(), "MSGLOG_CELLID", value, c.type);
        EXPECT_EQ(store(activity.get()), 0);
        EXPECT_TRUE(hasLog(kTrace, c.line, 10, "__DBHandle_write"));
    }
    EXPECT_EQ(count("ACTIVITY_MESSAGE"), 0);
}

TEST_F(DBHandleTest, VanishedFileIsNotOpenedNorMadeAgain) {
    makeHandle();
    std::filesystem::remove(hostPath(kDbPath));
    std::filesystem::remove(hostPath(std::string(kDbPath) + "-wal"));
    std::filesystem::remove(hostPath(std::string(kDbPath) + "-shm"));
    clearLog();
    EXPECT_EQ(handle_->ops->open(handle()), 0);
    EXPECT_EQ(handle_->pDBHandle, nullptr);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath)));
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
}

TEST_F(DBHandleTest, NullArgumentsAndClosedHandle) {
    makeHandle();
    auto activity = message("x");
    EXPECT_EQ(__DBHandle_open(nullptr), 0);
    EXPECT_EQ(__DBHandle_write(nullptr, activity.get()), 0);
    EXPECT_EQ(__DBHandle_write(handle(), nullptr), 0);
    __DBHandle_close(handle());
    EXPECT_EQ(logTexts(kError),
              (std::vector<std::string>{"__DBHandle_open|pI is null",
                                        "__DBHandle_write|pI or pLifelogActivity is null",
                                        "__DBHandle_write|pI or pLifelogActivity is null",
                                        "__DBHandle_close|pThis->pDBHandle is null"}));
}

TEST_F(DBHandleTest, CreationThatFailsLeavesNoFile) {
    // The database folder is a plain file: nothing can be created under it.
    writeFile("/SystemRW/Lifelog/Database", "not a folder");
    unsigned int err = 0;
    EXPECT_EQ(DBHandle_new(kDbPath, 500, &err), nullptr);
    EXPECT_NE(err, 0u);
    EXPECT_EQ(countLog(kError,
                       std::string("[") + Exception_toString(err) +
                           "] Propagated : Database_createDB is failed",
                       10, "__DBHandle_createDB"),
              1);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath)));
}

// Every allocation of a creation and of a write may fail: nothing leaks,
// and a write either stores the whole row or none.
TEST_F(DBHandleTest, AllocationFailuresLeaveNothingBehind) {
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        Mem_failAfter(n);
        unsigned int err = 0;
        DBHandle* made = DBHandle_new(kDbPath, 500, &err);
        Mem_failAfter(0);
        if (made == nullptr) {
            EXPECT_NE(err, 0u);
            EXPECT_EQ(Mem_getLiveCount(), 0);
            continue;
        }
        DBHandle_delete(made);
        EXPECT_EQ(Mem_getLiveCount(), 0);
        break;
    }
    makeHandle();
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        execSql(kDbPath, "DELETE FROM ACTIVITY_MESSAGE");
        auto activity = message("he said \"yes\"", kWhen);
        const long live = Mem_getLiveCount();
        int opened = 0;
        int written = 0;
        Mem_failAfter(n);
        opened = handle_->ops->open(handle());
        if (opened) {
            written = handle_->ops->write(handle(), activity.get());
            handle_->ops->close(handle());
        }
        Mem_failAfter(0);
        if (opened)
            handle_->ops->close(handle());  // after a failed close
        EXPECT_EQ(Mem_getLiveCount(), live);
        const int stored = count("ACTIVITY_MESSAGE");
        EXPECT_EQ(stored, written);
        if (written) {
            EXPECT_EQ(scalar("SELECT MSGLOG_SUMMARY FROM ACTIVITY_MESSAGE"), "he said \"yes\"");
            break;
        }
    }
}

}  // namespace
