// Direct logging: each entry point, end to end into the database file.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase_testing.h"
#include "zkivLifelogShortLogging.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggingServiceUtil.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Action = std::function<void()>;

constexpr const char* kAllOn =
    "[ACTIVITY]\n"
    "ACTIVITY_CALL=true\n"
    "ACTIVITY_MESSAGE=TRUE\n"
    "ACTIVITY_MEDIA=True\n"
    "[ACTIVITY_CONFIG]\n"
    "MAX_COUNT_PER_ACTIVITY=500\n";

// Marks a time-stamp cell that must hold the database's current time.
constexpr const char* kNow = "<now>";

const char* const kCallColumns =
    "CLOG_PHONE_NUMBER, CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_NAME, CLOG_CELLID, "
    "CLOG_LAC, CLOG_MCC, CLOG_MNC, LOCATION";
const char* const kMessageColumns =
    "MSGLOG_PHONE_NUMBER, MSGLOG_DIRECTION, MSGLOG_TYPE, MSGLOG_SUMMARY, MSGLOG_NAME, "
    "MSGLOG_CELLID, MSGLOG_LAC, MSGLOG_MCC, MSGLOG_MNC, LOCATION";
const char* const kMediaColumns =
    "MDLOG_TYPE, MDLOG_TITLE, MDLOG_MEDIA_URI, MDLOG_PLAY_TIME, MDLOG_ARTIST, MDLOG_ALBUM, "
    "MDLOG_CATEGORY, MDLOG_CELLID, MDLOG_LAC, MDLOG_MCC, MDLOG_MNC, LOCATION";

struct Table {
    const char* name;
    const char* columns;
    const char* timestamp;
};
const Table kCall{"ACTIVITY_CALL", kCallColumns, "CLOG_TIMESTAMP"};
const Table kMessage{"ACTIVITY_MESSAGE", kMessageColumns, "MSGLOG_TIMESTAMP"};
const Table kMedia{"ACTIVITY_MEDIA", kMediaColumns, "MDLOG_TIMESTAMP"};
const Table kTables[] = {kCall, kMessage, kMedia};

const std::vector<std::string> kEntryPoints = {
    "_Lifelog_CallActivityLogging", "_Lifelog_MsgActivityLogging",
    "_Lifelog_MediaActivityLogging"};

class EntryPointTest : public LifelogTest {
protected:
    bool databaseExists() const { return std::filesystem::exists(hostPath(kDbPath)); }

    // The table's rows: its value columns, then the time stamp ("<now>" when
    // it is the database's current time, give or take a minute).
    Rows rows(const Table& table) const {
        if (!databaseExists()) {
            return {};
        }
        std::string sql = std::string("SELECT ") + table.columns + ", CASE WHEN abs(strftime('%s', " +
                          table.timestamp + ") - strftime('%s', 'now')) < 60 THEN '" + kNow +
                          "' ELSE " + table.timestamp + " END FROM " + table.name +
                          " ORDER BY LOG_KEY";
        return queryRows(kDbPath, sql);
    }

    size_t totalRows() const {
        size_t total = 0;
        for (const Table& table : kTables) {
            total += rows(table).size();
        }
        return total;
    }

    // Error lines written by the entry points themselves.
    std::vector<std::string> entryPointErrors() const {
        std::vector<std::string> found;
        for (const std::string& line : logTexts(kError)) {
            for (const std::string& name : kEntryPoints) {
                if (line.rfind(name + "|", 0) == 0) {
                    found.push_back(line);
                }
            }
        }
        return found;
    }
};

TEST_F(EntryPointTest, EachEntryPointWritesItsRow) {
    struct Case {
        const char* label;
        Action log;
        const Table& table;
        std::vector<std::string> row;
    };
    const Case cases[] = {
        {"full call",
         [] { _Lifelog_CallActivityLogging("+4930", 1, 20, 0, 11, 22, 33, 44, "2024-01-02 03:04:05"); },
         kCall,
         {"+4930", "1", "20", "0", "<null>", "11", "22", "33", "44", "<null>",
          "2024-01-02 03:04:05"}},
        {"full call, values mapped",
         [] { _Lifelog_CallActivityLogging("7", 9, -3, 4, 0, 0, 0, 0, nullptr); },
         kCall,
         {"7", "0", "-3", "0", "<null>", "0", "0", "0", "0", "<null>", kNow}},
        {"full message, text cut to 30 characters",
         [] {
             _Lifelog_MsgActivityLogging("555", 0, 1, "Say \"hi\" to everyone at the party tonight",
                                         1, 2, 3, 4, "2023-12-31 23:59:59");
         },
         kMessage,
         {"555", "0", "1", "Say \"hi\" to everyone at the pa", "<null>", "1", "2", "3", "4",
          "<null>", "2023-12-31 23:59:59"}},
        {"full media",
         [] {
             _Lifelog_MediaActivityLogging(1, "Song", "file:///s.mp3", 215, "Band", "Record",
                                           "Rock", 5, 6, 7, 8, "2022-06-07 08:09:10");
         },
         kMedia,
         {"1", "Song", "file:///s.mp3", "215", "Band", "Record", "Rock", "5", "6", "7", "8",
          "<null>", "2022-06-07 08:09:10"}},
        {"full media, no play time, no optional texts",
         [] {
             _Lifelog_MediaActivityLogging(2, "Clip", nullptr, 0, nullptr, nullptr, nullptr, 5, 6,
                                           7, 8, nullptr);
         },
         kMedia,
         {"2", "Clip", "<null>", "-1", "<null>", "<null>", "<null>", "5", "6", "7", "8", "<null>",
          kNow}},
        {"short call", [] { CallActivityLogging(1, 2, "0800", 61); }, kCall,
         {"0800", "2", "61", "1", "<null>", "-1", "-1", "-1", "-1", "<null>", kNow}},
        {"short message", [] { MsgActivityLogging(1, 1, "0900", "see you"); }, kMessage,
         {"0900", "1", "1", "see you", "<null>", "-1", "-1", "-1", "-1", "<null>", kNow}},
        {"short media", [] { MediaActivityLogging(0, "Talk", nullptr, "Host", nullptr, "News"); },
         kMedia,
         {"0", "Talk", "<null>", "-1", "Host", "<null>", "News", "-1", "-1", "-1", "-1", "<null>",
          kNow}},
    };
    writeConfig(kAllOn);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        size_t before = totalRows();
        c.log();
        Rows got = rows(c.table);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), c.row);
        EXPECT_EQ(totalRows(), before + 1) << "exactly one row, in its own table";
        EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

TEST_F(EntryPointTest, TimestampTextIsStoredVerbatimAndEmptyTextGivesTheDefault) {
    const std::string texts[] = {"2024-02-29 12:00:00", "tomorrow", "2024/2/29 1:2:3",
                                 "say \"when\"", "x'); DROP TABLE ACTIVITY_CALL; --", "",
                                 "\xE2\x82\xAC 1"};
    writeConfig(kAllOn);
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        _Lifelog_CallActivityLogging("1", 0, 5, 0, 0, 0, 0, 0, text.c_str());
        _Lifelog_MsgActivityLogging("1", 0, 0, "m", 0, 0, 0, 0, text.c_str());
        _Lifelog_MediaActivityLogging(0, "t", nullptr, 1, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                                      text.c_str());
        const std::string expected = text.empty() ? kNow : text;
        for (const Table& table : kTables) {
            SCOPED_TRACE(table.name);
            Rows got = rows(table);
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(got.back().back(), expected);
        }
    }
    for (const Table& table : kTables) {
        EXPECT_EQ(rows(table).size(), std::size(texts));
    }
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
}

TEST_F(EntryPointTest, MissingRequiredTextIsLoggedAndWritesNothing) {
    struct Case {
        const char* label;
        Action log;
        const char* function;
    };
    const Case cases[] = {
        {"call without number",
         [] { _Lifelog_CallActivityLogging(nullptr, 1, 1, 1, 1, 1, 1, 1, "2024-01-01 00:00:00"); },
         "_Lifelog_CallActivityLogging"},
        {"message without number",
         [] { _Lifelog_MsgActivityLogging(nullptr, 1, 1, "t", 1, 1, 1, 1, nullptr); },
         "_Lifelog_MsgActivityLogging"},
        {"message without text",
         [] { _Lifelog_MsgActivityLogging("1", 1, 1, nullptr, 1, 1, 1, 1, nullptr); },
         "_Lifelog_MsgActivityLogging"},
        {"media without title",
         [] {
             _Lifelog_MediaActivityLogging(1, nullptr, "u", 1, "a", "b", "c", 1, 1, 1, 1, nullptr);
         },
         "_Lifelog_MediaActivityLogging"},
        {"short call without number", [] { CallActivityLogging(0, 0, nullptr, 1); },
         "_Lifelog_CallActivityLogging"},
        {"short message without text", [] { MsgActivityLogging(0, 0, "1", nullptr); },
         "_Lifelog_MsgActivityLogging"},
        {"short media without title",
         [] { MediaActivityLogging(0, nullptr, nullptr, nullptr, nullptr, nullptr); },
         "_Lifelog_MediaActivityLogging"},
    };
    writeConfig(kAllOn);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        clearLog();
        c.log();
        EXPECT_EQ(logTexts(kError),
                  std::vector<std::string>{std::string(c.function) +
                                           "|[E_INVALID_ARG] Propagated: lifelogActivity is null"});
        EXPECT_EQ(countLog(kError, "[E_INVALID_ARG] Propagated: lifelogActivity is null", 10),
                  1);
        EXPECT_TRUE(databaseExists()) << "the pipeline was built before the activity";
        EXPECT_EQ(totalRows(), 0u);
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

TEST_F(EntryPointTest, KindSwitchedOffWritesNoRowAndNoMessage) {
    const char* configs[] = {
        nullptr,  // no configuration file at all
        "[ACTIVITY]\nACTIVITY_CALL=false\nACTIVITY_MEDIA=yes\nACTIVITY_PHOTO=true\n",
        "[OTHER]\nACTIVITY_CALL=true\n",
    };
    for (const char* config : configs) {
        SCOPED_TRACE(config ? config : "(none)");
        if (config != nullptr) {
            writeConfig(config);
        }
        clearLog();
        _Lifelog_CallActivityLogging("1", 1, 1, 1, 1, 1, 1, 1, "2024-01-01 00:00:00");
        _Lifelog_MsgActivityLogging("1", 1, 1, "t", 1, 1, 1, 1, nullptr);
        _Lifelog_MediaActivityLogging(1, "t", "u", 1, "a", "b", "c", 1, 1, 1, 1, nullptr);
        CallActivityLogging(0, 0, "1", 1);
        MsgActivityLogging(0, 0, "1", "t");
        MediaActivityLogging(0, "t", nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(totalRows(), 0u);
        EXPECT_EQ(entryPointErrors(), std::vector<std::string>{});
        for (const std::string& line : logTexts(kError)) {
            EXPECT_EQ(line.find("Propagated"), std::string::npos) << line;
        }
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

TEST_F(EntryPointTest, AppUsageLoggingHasNoEffect) {
    writeConfig(kAllOn);
    AppUsageActivityLogging("browser", 30);
    AppUsageActivityLogging(nullptr, -1);
    EXPECT_FALSE(databaseExists());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(EntryPointTest, DefaultPipelineFiltersAndStoresWithTheConfiguredMaximum) {
    writeConfig(
        "[ACTIVITY]\nACTIVITY_CALL=true\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=2\n");
    for (int i = 1; i <= 4; ++i) {
        std::string stamp = "2024-01-0" + std::to_string(i) + " 00:00:00";
        _Lifelog_CallActivityLogging("1", 0, i, 0, 0, 0, 0, 0, stamp.c_str());
    }
    Rows kept = queryRows(kDbPath, "SELECT CLOG_DURATION FROM ACTIVITY_CALL ORDER BY LOG_KEY");
    EXPECT_EQ(kept, (Rows{{"3"}, {"4"}})) << "the oldest rows make room";

    unsigned int err = 99;
    ZLifelogger* logger = __Lifelog_CreateDefaultLog(&err);
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(err, 0u);
    EXPECT_NE(logger->filter, nullptr);
    EXPECT_EQ(List_size(logger->handlers), 1);
    ZLifelogger_delete(logger);
}

TEST_F(EntryPointTest, DatabaseLoggerCreatesTheFileWithItsTables) {
    unsigned int err = 99;
    ZLifelogger* logger = _CreateDBLifeLogger(&err, 500);
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(logger->filter, nullptr);
    EXPECT_EQ(List_size(logger->handlers), 1);
    ZLifelogger_delete(logger);
    EXPECT_EQ(queryRows(kDbPath, "SELECT name FROM sqlite_master WHERE type='table' AND name "
                                 "LIKE 'ACTIVITY_%' ORDER BY name"),
              (Rows{{"ACTIVITY_CALL"}, {"ACTIVITY_MEDIA"}, {"ACTIVITY_MESSAGE"}}));
}

// True when the planned allocation failure was used up during the call: a
// countdown still running fails one of the next n allocations.
bool failureWasReached(long n) {
    std::vector<void*> probes;
    bool reached = true;
    for (long i = 0; i < n; ++i) {
        void* block = Mem_allocEx(1, __FILE__, __LINE__);
        if (block == nullptr) {
            reached = false;
            break;
        }
        probes.push_back(block);
    }
    for (void* block : probes) {
        Mem_freeEx(block, __FILE__, __LINE__);
    }
    return reached;
}

bool isNumber(const std::string& cell) {
    return !cell.empty() && cell.find_first_not_of("-0123456789") == std::string::npos;
}

// A row stored while memory ran out holds every number of the activity; a
// text whose copy for the insert could not be made is left out as an empty
// value would be (NULL, or the current time for the time stamp).  Anything
// else, a missing number or a wrong value, is a broken row.
bool sameRowOrTextLeftOut(const std::vector<std::string>& got,
                          const std::vector<std::string>& expected) {
    if (got.size() != expected.size()) {
        return false;
    }
    for (size_t i = 0; i < got.size(); ++i) {
        bool leftOut = got[i] == "<null>" || (i + 1 == got.size() && got[i] == kNow);
        if (got[i] != expected[i] && (isNumber(expected[i]) || !leftOut)) {
            return false;
        }
    }
    return true;
}

TEST_F(EntryPointTest, FailedAllocationAnywhereLeavesNoLeakAndNoPartialRow) {
    struct Case {
        const char* label;
        Action log;
        const Table& table;
        std::vector<std::string> row;
    };
    const Case cases[] = {
        {"call",
         [] { _Lifelog_CallActivityLogging("+49", 1, 20, 0, 1, 2, 3, 4, "2024-01-02 03:04:05"); },
         kCall,
         {"+49", "1", "20", "0", "<null>", "1", "2", "3", "4", "<null>", "2024-01-02 03:04:05"}},
        {"message",
         [] { _Lifelog_MsgActivityLogging("+49", 1, 1, "text", 1, 2, 3, 4, "2024-01-02 03:04:05"); },
         kMessage,
         {"+49", "1", "1", "text", "<null>", "1", "2", "3", "4", "<null>",
          "2024-01-02 03:04:05"}},
        {"media",
         [] {
             _Lifelog_MediaActivityLogging(1, "t", "u", 9, "a", "b", "c", 1, 2, 3, 4,
                                           "2024-01-02 03:04:05");
         },
         kMedia,
         {"1", "t", "u", "9", "a", "b", "c", "1", "2", "3", "4", "<null>",
          "2024-01-02 03:04:05"}},
        {"short call", [] { CallActivityLogging(1, 0, "+49", 7); }, kCall,
         {"+49", "0", "7", "1", "<null>", "-1", "-1", "-1", "-1", "<null>", kNow}},
        {"short message", [] { MsgActivityLogging(0, 1, "+49", "hi"); }, kMessage,
         {"+49", "1", "0", "hi", "<null>", "-1", "-1", "-1", "-1", "<null>", kNow}},
        {"short media", [] { MediaActivityLogging(2, "t", "u", "a", "b", "c"); }, kMedia,
         {"2", "t", "u", "-1", "a", "b", "c", "-1", "-1", "-1", "-1", "<null>", kNow}},
    };
    writeConfig(kAllOn);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        bool complete = false;
        for (long n = 1; n < 2000 && !complete; ++n) {
            SCOPED_TRACE(n);
            size_t before = rows(c.table).size();
            Mem_failAfter(n);
            c.log();
            complete = !failureWasReached(n);
            Mem_failAfter(0);
            ASSERT_EQ(Mem_getLiveCount(), 0);
            Rows got = rows(c.table);
            ASSERT_LE(got.size(), before + 1);
            if (got.size() == before + 1) {
                EXPECT_TRUE(sameRowOrTextLeftOut(got.back(), c.row))
                    << ::testing::PrintToString(got.back());
            }
            if (complete) {
                ASSERT_EQ(got.size(), before + 1) << "a call without failure stores its row";
                EXPECT_EQ(got.back(), c.row);
            }
        }
        EXPECT_TRUE(complete);
    }
}

}  // namespace
