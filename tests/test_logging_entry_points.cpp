// Direct logging: each entry point, end to end into the database file, and
// the default filter and the row maximum that the configuration file sets.
#include "fixture.h"
#include "zkivLifelog.h"

namespace {

constexpr const char* kAllOn =
    "[ACTIVITY]\nACTIVITY_CALL=true\nACTIVITY_MESSAGE=TRUE\nACTIVITY_MEDIA=True\n"
    "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=500\n";
constexpr const char* kNow = "<now>";  // the database's current time, give or take a minute
constexpr const char* kTables[][2] = {{"ACTIVITY_CALL", "CLOG_TIMESTAMP"},
                                      {"ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP"},
                                      {"ACTIVITY_MEDIA", "MDLOG_TIMESTAMP"}};
enum { kCall, kMessage, kMedia };

std::vector<std::string> cells(const std::string& row) {
    std::vector<std::string> all;
    std::istringstream in(row);
    for (std::string cell; std::getline(in, cell, '|');) all.push_back(cell);
    return all;
}

// A logged activity and its row: the table's columns after LOG_KEY, "|"-separated.  A
// time-stamp text of any form is stored as given; none or an empty one gives the default.
struct Logged {
    int table;
    const char* row;
    std::function<void()> log;
};
const Logged kLogged[] = {
    {.table = kCall,
     .row = "1|20|0|+49|<null>|11|22|33|44|<null>|2024-01-02 03:04:05",
     .log =
         [] {
             _Lifelog_CallActivityLogging("+49", 1, 20, 0, 11, 22, 33, 44, "2024-01-02 03:04:05");
         }},
    {.table = kCall,
     .row = "0|-3|0|+7|<null>|0|0|0|0|<null>|<now>",
     .log = [] { _Lifelog_CallActivityLogging("+7", 9, -3, 4, 0, 0, 0, 0, ""); }},
    {.table = kMessage,
     .row = "0|Say \"hi\" to all at the party t|1|+5|<null>|1|2|3|4|<null>|x'); --",
     .log =
         [] {
             _Lifelog_MsgActivityLogging("+5", 0, 1, "Say \"hi\" to all at the party tonight", 1, 2,
                                         3, 4, "x'); --");
         }},
    {.table = kMedia,
     .row = "S|u|1|215|A|B|C|5|6|7|8|<null>|tomorrow",
     .log =
         [] {
             _Lifelog_MediaActivityLogging(1, "S", "u", 215, "A", "B", "C", 5, 6, 7, 8, "tomorrow");
         }},
    // The short forms: -1 cell values, no play time, no time-stamp text.
    {.table = kCall,
     .row = "2|61|1|+0800|<null>|-1|-1|-1|-1|<null>|<now>",
     .log = [] { CallActivityLogging(1, 2, "+0800", 61); }},
    {.table = kMessage,
     .row = "1|see you|1|+0900|<null>|-1|-1|-1|-1|<null>|<now>",
     .log = [] { MsgActivityLogging(1, 1, "+0900", "see you"); }},
    {.table = kMedia,
     .row = "T|u|0|-1|A|<null>|C|-1|-1|-1|-1|<null>|<now>",
     .log = [] { MediaActivityLogging(0, "T", "u", "A", nullptr, "C"); }},
};

class EntryPointTest : public LifelogTest {
protected:
    // The table's rows in insertion order, as in kLogged.
    std::vector<std::string> rows(int table) const {
        if (!std::filesystem::exists(hostPath(kDbPath)))
            return {};
        std::vector<std::string> all;
        for (auto& row :
             queryRows(kDbPath, std::string("SELECT *, abs(strftime('%s', ") + kTables[table][1] +
                                    ") - strftime('%s', 'now')) < 60 FROM " + kTables[table][0] +
                                    " ORDER BY LOG_KEY")) {
            if (row.back() == "1")
                row[row.size() - 2] = kNow;
            std::string joined;
            for (size_t i = 1; i + 1 < row.size(); ++i) joined += (i > 1 ? "|" : "") + row[i];
            all.push_back(joined);
        }
        return all;
    }
    size_t totalRows() const {
        return rows(kCall).size() + rows(kMessage).size() + rows(kMedia).size();
    }
};

TEST_F(EntryPointTest, NullRequiredTextIsReportedAndWritesNoRow) {
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { CallActivityLogging(0, 0, nullptr, 1); }, "_Lifelog_CallActivityLogging"},
        {[] { MsgActivityLogging(0, 0, "1", nullptr); }, "_Lifelog_MsgActivityLogging"},
        {[] { MediaActivityLogging(0, nullptr, "u", "a", "b", "c"); },
         "_Lifelog_MediaActivityLogging"},
    };
    writeConfig(kAllOn);
    for (const auto& [log, function] : cases) {
        SCOPED_TRACE(function);
        clearLog();
        log();
        EXPECT_EQ(logTexts(kError),
                  std::vector<std::string>{std::string(function) +
                                           "|[E_INVALID_ARG] Propagated: lifelogActivity is null"});
        EXPECT_EQ(totalRows(), 0u);
    }
}

TEST_F(EntryPointTest, KindSwitchedOffWritesNoRowAndNoMessage) {
    for (const char* config : {"", "[ACTIVITY]\nACTIVITY_CALL=false\nACTIVITY_MEDIA=yes\n",
                               "[OTHER]\nACTIVITY_CALL=true\n"}) {
        SCOPED_TRACE(config);
        if (*config != '\0')
            writeConfig(config);
        clearLog();
        for (const Logged& c : kLogged) c.log();
        EXPECT_EQ(totalRows(), 0u);
        for (const std::string& line : logTexts(kError))
            EXPECT_EQ(line.find("ActivityLogging|"), std::string::npos) << line;
    }
}

// The configuration file as the library reads it: which kinds the default
// filter lets through, and the maximum row count per table.  The cases run
// one after the other on one filter: each decision reads the file as it is
// now, so a filter that kept an earlier answer fails here.
TEST_F(EntryPointTest, DefaultFilterLetsOnlyTrueKindsThroughAndTheMaximumIsRead) {
    const char* noFile = "/System/Lifelog/lifelogconf.ini file open failed";
    const char* noSection = "Registry_getValue section not found";
    const char* noKey = "Registry_getValue key not found";
    const std::string noLimits = std::string("ACTIVITY_CONFIG: ") + noSection;
    const std::string noMax = std::string("MAX_COUNT_PER_ACTIVITY: ") + noKey;
    const char *call = "ACTIVITY_CALL", *media = "ACTIVITY_MEDIA", *message = "ACTIVITY_MESSAGE";
    const std::string filterName = "__DefaultFilter_isLoggable", m = "MAX_COUNT_PER_ACTIVITY=";
    const struct {
        // The bodies of the two sections; no file when both are empty.
        std::string kinds = "", limits = "";
        const char* kind;
        int on = 0;                         // whether the filter lets the kind through
        int max = 500;                      // the maximum row count read
        const char* filterError = nullptr;  // the error line of each reader, if any
        const char* maxError = nullptr;
    } cases[] = {
        {.kinds = "ACTIVITY_CALL=TRUE", .limits = m + "20", .kind = call, .on = 1, .max = 20},
        {.kinds = "ACTIVITY_CALL=yes", .limits = m + "0", .kind = call, .max = 0},
        {.kinds = "ACTIVITY_MEDIA = true", .kind = media, .on = 1, .maxError = noLimits.c_str()},
        {.kinds = "ACTIVITY_MEDIA=1",
         .limits = "OTHER=3",
         .kind = media,
         .maxError = noMax.c_str()},
        {.kinds = "ACTIVITY_CALL=TRUE",
         .limits = m + "x",
         .kind = message,
         .filterError = noKey,
         .maxError = "Registry_getValue failed "},
        {.limits = m + "3", .kind = call, .max = 3, .filterError = noSection},
        {.kind = call, .filterError = noFile, .maxError = noFile},
    };
    unsigned int err = 0;
    Filter* filter = __DefaultFilter_new(&err);
    ASSERT_EQ(err, 0u);
    for (const auto& c : cases) {
        const std::string config =
            (c.kinds.empty() ? "" : "[ACTIVITY]\n" + c.kinds + "\n") +
            (c.limits.empty() ? "" : "[ACTIVITY_CONFIG]\n" + c.limits + "\n");
        SCOPED_TRACE(config);
        std::filesystem::remove(hostPath(kConfigPath));
        if (!config.empty())
            writeConfig(config);
        clearLog();
        ZLifelogActivity* activity = ZLifelogActivity_new(c.kind, &err);
        EXPECT_EQ(filter->ops->isLoggable(filter, activity), c.on);
        ZLifelogActivity_delete(activity);
        EXPECT_EQ(_Lifelog_getMaxlogNumPerActivity(), c.max);
        std::vector<std::string> errors;
        if (c.filterError != nullptr)
            errors.push_back(filterName + "|" + filterName + ": " + c.filterError);
        if (c.maxError != nullptr)
            errors.push_back(std::string("_Lifelog_getMaxlogNumPerActivity|") + c.maxError);
        EXPECT_EQ(logTexts(kError), errors);
    }
    __DefaultFilter_delete(filter);
}

// Every allocation of every entry point fails in turn: no leak, at most one
// row and only in its own table, and a row stored holds every number as given
// (texts here are never all digits); a text whose copy could not be made may
// be left out as an empty one would (NULL, or now).  The run without a
// failure stores the row exactly and writes no error line.
TEST_F(EntryPointTest, EachEntryPointWritesItsRowAndAFailedAllocationNoPartialOne) {
    writeConfig(kAllOn);
    for (const Logged& c : kLogged) {
        SCOPED_TRACE(c.row);
        const std::vector<std::string> expected = cells(c.row);
        bool used = true;
        for (long n = 1; used && n < 2000; ++n) {
            SCOPED_TRACE(n);
            const size_t before = rows(c.table).size(), total = totalRows();
            clearLog();
            Mem_failAfter(n);
            c.log();
            used = !Mem_isFailurePending();
            Mem_failAfter(0);
            ASSERT_EQ(Mem_getLiveCount(), 0);
            std::vector<std::string> got = rows(c.table);
            ASSERT_EQ(totalRows() - total, got.size() - before) << "a row in another table";
            ASSERT_LE(got.size(), before + 1);
            ASSERT_TRUE(used || got.size() == before + 1)
                << "a call without failure stores its row";
            if (got.size() == before)
                continue;
            std::vector<std::string> row = cells(got.back());
            ASSERT_EQ(row.size(), expected.size());
            for (size_t i = 0; i < row.size(); ++i) {
                bool number = expected[i].find_first_not_of("-0123456789") == std::string::npos;
                bool leftOut = row[i] == "<null>" || (i + 1 == row.size() && row[i] == kNow);
                EXPECT_TRUE(row[i] == expected[i] || (used && !number && leftOut))
                    << i << ": " << row[i];
            }
        }
        EXPECT_FALSE(used);
        EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
    }
    const size_t total = totalRows();
    AppUsageActivityLogging("browser", 30);
    EXPECT_EQ(totalRows(), total) << "app usage is not recorded";
}

}  // namespace
