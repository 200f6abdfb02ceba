// The database handle: the file and its tables, trimming, same-time
// replacement, the time-stamp column, quoting and the bounds of a row, all
// read back with SQLite itself.
#include <variant>

#include "fixture.h"
#include "zkivLifelog.h"

namespace {

// In the order of the value types, so that the index is the type.
using Value = std::variant<int32_t, double, std::string, int64_t>;
struct ItemValue {
    std::string key;
    Value value;
};

constexpr DateTime kNoDate{};
constexpr DateTime kWhen{2001, 2, 3, 4, 5, 6, 0};
constexpr const char* kWhenText = "2001-02-03 04:05:06";

// An activity with one item per entry, values copied as the builders do.
ZLifelogActivity* makeActivity(const char* name, DateTime when,
                               const std::vector<ItemValue>& items) {
    unsigned int err = 0;
    ZLifelogActivity* activity = ZLifelogActivity_new(name, &err);
    _ZLifelogActivity_setTimestamp(activity, when);
    for (const ItemValue& entry : items) {
        // Numbers are copied into a block of their own, texts into a string.
        const void* number =
            std::visit([](const auto& v) -> const void* { return &v; }, entry.value);
        const int type = static_cast<int>(entry.value.index());
        void* value = type == LIFELOG_VALUE_STRING
                          ? String_newByString(std::get<std::string>(entry.value).c_str(), &err)
                          : std::memcpy(Mem_allocEx(8, __FILE__, __LINE__), number, type ? 8 : 4);
        ZLifelogActivity_addActivityItem(
            activity, ZLifelogActivityItem_new(entry.key.c_str(), value, type, &err), &err);
    }
    EXPECT_EQ(err, 0u);
    return activity;
}

class DBHandleTest : public LifelogTest {
protected:
    void TearDown() override {
        DBHandle_delete(handle_);
        LifelogTest::TearDown();
    }
    void makeHandle(int32_t maxCount) {
        DBHandle_delete(handle_);
        unsigned int err = 99;
        handle_ = DBHandle_new(kDbPath, maxCount, &err);
        ASSERT_EQ(err, 0u);
    }
    // One activity as the handler passes it: open, write, close.
    int store(const char* name, DateTime when, const std::vector<ItemValue>& items) {
        ZLifelogActivity* activity = makeActivity(name, when, items);
        Handle* pI = reinterpret_cast<Handle*>(handle_);
        EXPECT_EQ(handle_->ops->open(pI), 1);
        const int written = handle_->ops->write(pI, activity);
        handle_->ops->close(pI);
        ZLifelogActivity_delete(activity);
        return written;
    }
    Rows rows(const std::string& sql) { return queryRows(kDbPath, sql); }

    DBHandle* handle_ = nullptr;
};

// A new file gets exactly the three tables; a file that exists is used as
// found, with whatever it lacks or an operator added, and writing to it
// changes no part of its schema.
TEST_F(DBHandleTest, NewFilesGetTheThreeTablesAndExistingFilesStayAsFound) {
    // SQLite keeps each statement as given, less its "IF NOT EXISTS".
    // clang-format off
    const Rows tables = {
        {"ACTIVITY_CALL", "CREATE TABLE 'ACTIVITY_CALL' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'CLOG_DIRECTION' INTEGER ,\t\t\t\t\t\t\t 'CLOG_DURATION' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'CLOG_TYPE' INTEGER, 'CLOG_PHONE_NUMBER' text(50), 'CLOG_NAME' text(50), \t\t\t\t\t\t\t 'CLOG_CELLID' INTEGER DEFAULT -1, 'CLOG_LAC' INTEGER DEFAULT -1, 'CLOG_MCC' INTEGER DEFAULT -1, 'CLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'CLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)"},
        {"ACTIVITY_MESSAGE", "CREATE TABLE 'ACTIVITY_MESSAGE' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'MSGLOG_DIRECTION' INTEGER, \t\t\t\t\t\t\t 'MSGLOG_SUMMARY' text(100), 'MSGLOG_TYPE' INTEGER, \t\t\t\t\t\t\t 'MSGLOG_PHONE_NUMBER' text(50), 'MSGLOG_NAME' text(50), \t\t\t\t\t\t\t 'MSGLOG_CELLID' INTEGER DEFAULT -1, 'MSGLOG_LAC' INTEGER DEFAULT -1, 'MSGLOG_MCC' INTEGER DEFAULT -1, 'MSGLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'MSGLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)"},
        {"ACTIVITY_MEDIA", "CREATE TABLE 'ACTIVITY_MEDIA' ( \t\t\t\t\t\t\t 'LOG_KEY' INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, \t\t\t\t\t\t\t 'MDLOG_TITLE' text(100), \t\t\t\t\t\t\t 'MDLOG_MEDIA_URI' text(100), 'MDLOG_TYPE' INTEGER, \t\t\t\t\t\t\t 'MDLOG_PLAY_TIME' INTEGER DEFAULT -1, 'MDLOG_ARTIST' text(50), 'MDLOG_ALBUM' text(50), \t\t\t\t\t\t\t 'MDLOG_CATEGORY' text(50), \t\t\t\t\t\t\t 'MDLOG_CELLID' INTEGER DEFAULT -1, 'MDLOG_LAC' INTEGER DEFAULT -1, 'MDLOG_MCC' INTEGER DEFAULT -1, 'MDLOG_MNC' INTEGER DEFAULT -1, \t\t\t\t\t\t\t 'LOCATION' text(20), \t\t\t\t\t\t\t 'MDLOG_TIMESTAMP' DATETIME DEFAULT CURRENT_TIMESTAMP)"},
    };
    // clang-format on
    // sqlite_sequence is the engine's own counter behind AUTOINCREMENT.
    const Rows made = {{"table", "ACTIVITY_CALL"},
                       {"table", "sqlite_sequence"},
                       {"table", "ACTIVITY_MESSAGE"},
                       {"table", "ACTIVITY_MEDIA"}};
    const struct {
        const char* label;
        const char* before;  // run on the file before the next writer is made
        Rows schema;         // sqlite_master afterwards, as (type, name)
    } cases[] = {
        {.label = "new file", .before = nullptr, .schema = made},
        {.label = "an operator's index",
         .before = "CREATE INDEX BY_TYPE ON ACTIVITY_MESSAGE (MSGLOG_TYPE)",
         .schema = {made[0], made[1], made[2], made[3], {"index", "BY_TYPE"}}},
        {.label = "a file without the media table",
         .before = "DROP TABLE ACTIVITY_MEDIA",
         .schema = {made[0], made[1], made[2]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        makeHandle(500);
        if (c.before != nullptr) {
            execSql(kDbPath, c.before);
            makeHandle(500);
        }
        clearLog();
        EXPECT_EQ(store("ACTIVITY_MESSAGE", kWhen, {{"MSGLOG_TYPE", 1}}), 1);
        EXPECT_EQ(store("ACTIVITY_CALL", kWhen, {{"CLOG_TYPE", 1}}), 1);
        EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
        EXPECT_EQ(rows("SELECT type, name FROM sqlite_master ORDER BY rowid"), c.schema);
        EXPECT_EQ(rows("SELECT MSGLOG_TYPE, MSGLOG_TIMESTAMP FROM ACTIVITY_MESSAGE"),
                  (Rows{{"1", kWhenText}}));
    }
    std::filesystem::remove_all(hostPath("/SystemRW"));
    makeHandle(500);
    EXPECT_EQ(rows("SELECT name, sql FROM sqlite_master WHERE name LIKE 'ACTIVITY_%' "
                   "ORDER BY rowid"),
              tables);
}

// A stored kind: its table and its time-stamp column.
struct Kind {
    std::string table;
    std::string stamp;
};
const Kind kCall{"ACTIVITY_CALL", "CLOG_TIMESTAMP"};
const Kind kMessage{"ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP"};
const Kind kMedia{"ACTIVITY_MEDIA", "MDLOG_TIMESTAMP"};

TEST_F(DBHandleTest, TrimmingKeepsTheConfiguredNumberOfRows) {
    // A full table loses its oldest row, one short of full loses nothing; a
    // maximum of 1 or 0 keeps the newest alone; an over-full table loses one
    // row, never more.
    const struct {
        Kind kind;
        int32_t max;
        int seeded;
        int writes = 1;
        int after;
        bool oldestKept = false;
    } cases[] = {
        {.kind = kCall, .max = 500, .seeded = 500, .after = 500},
        {.kind = kMessage, .max = 500, .seeded = 499, .after = 500, .oldestKept = true},
        {.kind = kMedia, .max = 5, .seeded = 5, .after = 5},
        {.kind = kMessage, .max = 1, .seeded = 0, .writes = 3, .after = 1},
        {.kind = kCall, .max = 0, .seeded = 1, .writes = 3, .after = 1},
        {.kind = kMedia, .max = 3, .seeded = 6, .after = 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind.table << " " << c.max << " " << c.seeded);
        makeHandle(c.max);
        const std::string& table = c.kind.table;
        const std::string n = std::to_string(c.seeded);
        // Seeded stamps are a permutation of minutes: the oldest row is not the first key.
        execSql(kDbPath, "DELETE FROM " + table + "; WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL " +
                             "SELECT i + 1 FROM k WHERE i < " + n + ") INSERT INTO " + table +
                             " (" + c.kind.stamp + ") SELECT strftime('%Y-%m-%d %H:%M:%S', " +
                             "'2020-01-01', '+' || (i * 7919 % " + n + ") || ' minutes') " +
                             "FROM k WHERE i <= " + n);
        const Rows oldest = rows("SELECT LOG_KEY FROM " + table + " ORDER BY " + c.kind.stamp);
        std::string newest;
        for (int i = 0; i < c.writes; ++i) {
            newest = "2030-01-01 00:00:0" + std::to_string(i);
            EXPECT_EQ(store(table.c_str(), kNoDate, {{c.kind.stamp, newest}}), 1);
        }
        EXPECT_EQ(rows("SELECT COUNT(*), SUM(LOG_KEY = " + (oldest.empty() ? "0" : oldest[0][0]) +
                       "), SUM(" + c.kind.stamp + " = '" + newest + "') FROM " + table),
                  (Rows{{std::to_string(c.after), c.oldestKept ? "1" : "0", "1"}}));
    }
}

struct StampCase {
    const char* label;
    Kind kind = kCall;
    std::vector<ItemValue> items;
    const char* seeded = nullptr;  // a stored row of this time, if any
    const char* stamp = nullptr;   // of the new row; nullptr: the database's current time
    size_t after = 2;              // a row of another time is stored before too, and stays
    DateTime when = kWhen;
};

TEST_F(DBHandleTest, TimeStampColumnAndSameTimeReplacement) {
    const DateTime noDay{2001, 2, 0, 4, 5, 6, 0}, noYear{0, 2, 3, 4, 5, 6, 0};
    const char *at = kWhenText, *dir = "CLOG_DIRECTION", *dur = "CLOG_DURATION",
               *type = "MSGLOG_TYPE";
    const StampCase cases[] = {
        {.label = "message replaces",
         .kind = kMessage,
         .items = {{type, 0}},
         .seeded = at,
         .stamp = at},
        {.label = "answered call", .items = {{dir, 1}, {dur, 20}}},
        {.label = "never connected", .items = {{dir, 1}, {dur, 0}}, .stamp = at},
        {.label = "negative duration", .items = {{dir, 0}, {dur, -5}}, .stamp = at},
        {.label = "direction 2", .items = {{dir, 2}, {dur, 20}}, .stamp = at},
        {.label = "direction 2 replaced", .items = {{dir, 2}, {dur, 20}}, .seeded = at},
        {.label = "no direction is 2", .items = {{dur, 20}}, .stamp = at},
        {.label = "duration 0 replaced", .items = {{dir, 2}, {dur, 0}}, .seeded = at, .stamp = at},
        {.label = "media, DateTime",
         .kind = kMedia,
         .items = {{"MDLOG_TYPE", 0}},
         .seeded = at,
         .after = 3},
        {.label = "media, item",
         .kind = kMedia,
         .items = {{"MDLOG_TIMESTAMP", std::string("1999-12-31 23:59:59")}},
         .stamp = "1999-12-31 23:59:59"},
        {.label = "message, no day",
         .kind = kMessage,
         .items = {{type, 0}},
         .seeded = "2001-02-00 04:05:06",
         .after = 3,
         .when = noDay},
        {.label = "call, no year",
         .items = {{dur, 0}},
         .seeded = "0000-02-03 04:05:06",
         .after = 3,
         .when = noYear},
    };
    makeHandle(500);
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string &table = c.kind.table, &column = c.kind.stamp;
        execSql(kDbPath, "DELETE FROM " + table + "; INSERT INTO " + table + " (" + column +
                             ") VALUES ('2001-02-03 04:05:07')" +
                             (c.seeded ? std::string(", ('") + c.seeded + "')" : ""));
        EXPECT_EQ(store(table.c_str(), c.when, c.items), 1);
        const Rows stored = rows("SELECT " + column + ", julianday('now') - julianday(" + column +
                                 ") < 0.001 FROM " + table + " ORDER BY LOG_KEY DESC");
        ASSERT_EQ(stored.size(), c.after);
        EXPECT_EQ(stored.back()[0], "2001-02-03 04:05:07");
        EXPECT_EQ(stored[0][c.stamp == nullptr], c.stamp == nullptr ? "1" : c.stamp);
    }
}

TEST_F(DBHandleTest, TextsAreStoredExactlyAsGiven) {
    // Quotes come out doubled in the statement; a text spelling a column stays
    // a text; an empty text leaves its column at the default, as an unset one.
    const char* texts[] = {
        "say \"hi\"",  "\"",      "\"\"\"",   "a\"\"b",          "trail\"", "it's",
        "MSGLOG_TYPE", "LOG_KEY", "x\", \"y", "한국어 \"문자\"", ""};
    makeHandle(500);
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        execSql(kDbPath, "DELETE FROM ACTIVITY_MESSAGE");
        clearLog();
        EXPECT_EQ(store("ACTIVITY_MESSAGE", kNoDate,
                        {{"MSGLOG_PHONE_NUMBER", std::string("0101")},
                         {"MSGLOG_SUMMARY", std::string(text)},
                         {"MSGLOG_TYPE", 0},
                         {"MSGLOG_CELLID", int64_t{5000000000}},
                         {"MSGLOG_LAC", 1.5}}),
                  1);
        EXPECT_EQ(
            rows("SELECT MSGLOG_PHONE_NUMBER, MSGLOG_SUMMARY, MSGLOG_TYPE, typeof(MSGLOG_TYPE), "
                 "MSGLOG_CELLID, MSGLOG_LAC, MSGLOG_MCC FROM ACTIVITY_MESSAGE"),
            (Rows{{"0101", *text != '\0' ? text : "<null>", "0", "integer", "5000000000", "1.5",
                   "-1"}}));
        EXPECT_EQ(
            hasLog(kTrace, "value string(MSGLOG_SUMMARY) is is empty", 10, "__DBHandle_write"),
            *text == '\0');
    }
}

TEST_F(DBHandleTest, RejectedRowsStoreNothingAndKeepTheTrimming) {
    // 19 quoted keys of 100 characters between commas, then a comma and one
    // quoted key that ends the column list at 2047 characters or one past.
    std::vector<ItemValue> columns2047(19, ItemValue{std::string(98, 'C'), 1});
    columns2047.push_back({std::string(126, 'D'), 1});
    std::vector<ItemValue> columns2048 = columns2047;
    columns2048.back().key += 'D';
    // An engine failure is an error line, a bound a trace.
    const char* db = "[E_DB_ENGINE_1] Propagated : Database_executeSQL failed.";
    const char* bound = "String length is out of bounds";
    const struct {
        const char* label;
        const char* table = "ACTIVITY_CALL";
        std::vector<ItemValue> items;
        const char* line;
        size_t rowsLeft = 2;  // of three stored calls, under a maximum of three
    } cases[] = {
        {.label = "unknown column", .items = {{"CLOG_TYPE", 1}, {"NO_SUCH_COLUMN", 1}}, .line = db},
        {.label = "photo",
         .table = "ACTIVITY_PHOTO",
         .items = {{"PTLOG_TITLE", std::string("p")}},
         .line = db,
         .rowsLeft = 3},
        {.label = "column list of 2047", .items = columns2047, .line = db},
        {.label = "column list past 2047", .items = columns2048, .line = bound},
        {.label = "value list past 2047",
         .items = {{"CLOG_NAME", std::string(1000, 'a')},
                   {"LOCATION", std::string(1000, 'b')},
                   {"CLOG_PHONE_NUMBER", std::string(40, 'c')}},
         .line = bound},
    };
    const Rows calls = {{"2020-01-01 00:00:00"}, {"2020-01-01 00:00:01"}, {"2020-01-01 00:00:02"}};
    makeHandle(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        execSql(kDbPath,
                "DELETE FROM ACTIVITY_CALL; INSERT INTO ACTIVITY_CALL (CLOG_TIMESTAMP) "
                "VALUES ('2020-01-01 00:00:01'), ('2020-01-01 00:00:00'), "
                "('2020-01-01 00:00:02')");
        clearLog();
        EXPECT_EQ(store(c.table, kNoDate, c.items), 0);
        EXPECT_EQ(countLog(c.line == db ? kError : kTrace, c.line, 10, "__DBHandle_write"), 1);
        EXPECT_FALSE(hasLog(kTrace, "End"));
        // The trimming ran before the insert and stays done.
        EXPECT_EQ(rows("SELECT CLOG_TIMESTAMP FROM ACTIVITY_CALL ORDER BY CLOG_TIMESTAMP"),
                  Rows(calls.end() - c.rowsLeft, calls.end()));
    }
    EXPECT_EQ(rows("SELECT name FROM sqlite_master WHERE name = 'ACTIVITY_PHOTO'"), Rows{});
}

TEST_F(DBHandleTest, VanishedFileIsNotOpenedNorMadeAgain) {
    makeHandle(500);
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(hostPath(std::string(kDbPath) + suffix));
    clearLog();
    EXPECT_EQ(handle_->ops->open(reinterpret_cast<Handle*>(handle_)), 0);
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
    EXPECT_EQ(handle_->pDBHandle, nullptr);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath)));
}

// Any allocation of a creation or a write may fail: nothing leaks, no file
// stays behind a failed creation, and a write stores the whole row or none.
TEST_F(DBHandleTest, AllocationFailuresLeaveNothingBehind) {
    ZLifelogActivity* activity = makeActivity("ACTIVITY_MESSAGE", kWhen,
                                              {{"MSGLOG_SUMMARY", std::string("he said \"yes\"")}});
    const long live = Mem_getLiveCount();
    long written = 0;
    for (long n = 1; !written && n < 1000; ++n) {
        SCOPED_TRACE(n);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        unsigned int err = 0;
        Mem_failAfter(n);
        handle_ = DBHandle_new(kDbPath, 500, &err);
        Handle* pI = reinterpret_cast<Handle*>(handle_);
        const int opened = handle_ != nullptr ? handle_->ops->open(pI) : 0;
        written = opened ? handle_->ops->write(pI, activity) : 0;
        if (opened)
            handle_->ops->close(pI);
        Mem_failAfter(0);
        if (opened && handle_->pDBHandle != nullptr)
            handle_->ops->close(pI);  // after a failed close
        EXPECT_EQ(handle_ != nullptr, err == 0);
        EXPECT_EQ(std::filesystem::exists(hostPath(kDbPath)), handle_ != nullptr);
        DBHandle_delete(handle_);
        handle_ = nullptr;
        EXPECT_EQ(Mem_getLiveCount(), live);
        if (opened) {
            EXPECT_EQ(rows("SELECT MSGLOG_SUMMARY FROM ACTIVITY_MESSAGE"),
                      written ? Rows{{"he said \"yes\""}} : Rows{});
        }
    }
    EXPECT_EQ(written, 1);
    ZLifelogActivity_delete(activity);
}

}  // namespace
