// The command-line tool, run through the test runner (tool_run.h) under
// the test's platform root (ZBASE_ROOT, inherited): what it writes lands
// in the database, what it prints is what the database holds, and what it
// refuses changes nothing.
#include <pwd.h>
#include <unistd.h>

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "tool_run.h"

namespace {

using Outcome = ToolRun;

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

class ToolTest : public LifelogTest {
protected:
    Outcome tool(const std::vector<std::string>& arguments, const std::string& input = "") const {
        ToolOptions options;
        options.input = input;
        return runTool(arguments, options);
    }

    // A run that must succeed silently on standard error (no library error
    // line, no leak warning).
    Outcome ok(const std::vector<std::string>& arguments) const {
        Outcome run = tool(arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return run;
    }

    std::string rowCount(const char* table) const {
        return queryRows(kDbPath, std::string("SELECT COUNT(*) FROM ") + table)[0][0];
    }

    // The file's schema: "type name", and an index's columns, in name order.
    std::vector<std::string> schema() const {
        std::vector<std::string> entries;
        for (const auto& row : queryRows(
                 kDbPath,
                 "SELECT m.type || ' ' || m.name || COALESCE(' (' || (SELECT "
                 "group_concat(name) FROM pragma_index_info(m.name)) || ')', '') FROM "
                 "sqlite_master m WHERE m.name NOT LIKE 'sqlite_%' ORDER BY m.type, m.name")) {
            entries.push_back(row[0]);
        }
        return entries;
    }

    // The configuration with every kind on, keeping `maxCount` rows.
    void keep(int maxCount) const {
        writeConfig(fmt::format(
            "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\nACTIVITY_MEDIA = "
            "true\n\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = {}\n",
            maxCount));
    }
};

TEST_F(ToolTest, LoggedCallComesBackAsJsonRowAndSorted) {
    ok({"config", "--on", "call"});
    ok({"log", "call", "--number", "+15550001", "--direction", "in", "--duration", "42", "--time",
        "2024-03-01 10:00:00", "--cell", "7", "--lac", "8", "--mcc", "9", "--mnc", "10"});
    ok({"log", "call", "--number", "+15550002", "--direction", "missed", "--time",
        "2024-03-01 09:00:00"});
    ok({"log", "call", "--number", "+15550003", "--duration", "600", "--time",
        "2024-03-02 08:00:00"});
    EXPECT_EQ(queryRows(kDbPath,
                        "SELECT CLOG_PHONE_NUMBER, CLOG_DIRECTION, CLOG_DURATION, "
                        "CLOG_CELLID, CLOG_TIMESTAMP FROM ACTIVITY_CALL ORDER BY LOG_KEY")[0],
              (std::vector<std::string>{"+15550001", "0", "42", "7", "2024-03-01 10:00:00"}));

    auto rows = nlohmann::json::parse(ok({"list", "call", "--json"}).out);
    ASSERT_EQ(rows.size(), 3u);
    auto found = std::find_if(rows.begin(), rows.end(), [](const nlohmann::json& row) {
        return row["CLOG_PHONE_NUMBER"] == "+15550001";
    });
    ASSERT_NE(found, rows.end());
    EXPECT_EQ((*found)["CLOG_DIRECTION"], 0);
    EXPECT_EQ((*found)["CLOG_DURATION"], 42);
    EXPECT_EQ((*found)["CLOG_CELLID"], 7);
    EXPECT_EQ((*found)["CLOG_MNC"], 10);
    EXPECT_EQ((*found)["CLOG_TIMESTAMP"], "2024-03-01 10:00:00");
    EXPECT_TRUE((*found)["CLOG_NAME"].is_null());
    // The default order is by time stamp, oldest first.
    EXPECT_EQ(rows[0]["CLOG_PHONE_NUMBER"], "+15550002");

    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> numbers;
    };
    const std::vector<Case> cases = {
        {{"--order", "duration:desc"}, {"+15550003", "+15550001", "+15550002"}},
        {{"--order", "type", "--then", "number:desc"}, {"+15550003", "+15550002", "+15550001"}},
        {{"--from", "2024-03-01 09:30", "--to", "2024-03-01"}, {"+15550001"}},
        {{"--where", "CLOG_DURATION > 0", "--order", "number:desc"}, {"+15550003", "+15550001"}},
        // Short names as --order takes them; a literal that spells one stays text.
        {{"--where", "'duration' = 'duration' AND Duration > 100"}, {"+15550003"}},
        {{"--where", "direction=0 OR number = 'number'"}, {"+15550001"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"list", "call", "--json"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        Outcome run = ok(arguments);
        std::vector<std::string> numbers;
        for (const auto& row : nlohmann::json::parse(run.out)) {
            numbers.push_back(row["CLOG_PHONE_NUMBER"]);
        }
        EXPECT_EQ(numbers, c.numbers) << c.arguments[0] << " " << c.arguments[1];
    }
}

// Terminal columns as the test counts them: CJK ideographs and the emoji
// used here take two.
size_t columnsOf(const std::string& line) {
    size_t width = 0;
    for (size_t at = 0; at < line.size();) {
        unsigned char lead = static_cast<unsigned char>(line[at]);
        size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        width += length >= 3 ? 2 : 1;
        at += length;
    }
    return width;
}

TEST_F(ToolTest, TablesSayDirectionsAndTypesInWordsAndHideCellsNoRowHas) {
    ok({"config", "--on", "call,message"});
    ok({"log", "call", "--number", "+1", "--direction", "missed", "--time", "2024-03-01 09:00:00"});
    ok({"log", "call", "--number", "+2", "--direction", "in", "--duration", "5", "--time",
        "2024-03-01 10:00:00"});
    const std::vector<std::string> texts = {"plain words", "日本語のテキスト", "ok 😀😀 fine"};
    for (size_t i = 0; i < texts.size(); ++i) {
        ok({"log", "message", "--number", "+3", "--text", texts[i], "--direction",
            i == 0 ? "in" : "out", "--time", "2024-03-01 11:00:0" + std::to_string(i)});
    }
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        {{"list", "call"}, {"missed", "incoming", "voice"}, {"CELLID", "MNC"}},
        {{"list", "call", "--all-columns"}, {"CELLID", "MNC", "missed"}, {}},
        {{"list", "call", "--raw"}, {"DIRECTION"}, {"missed", "incoming", "CELLID"}},
        {{"list", "call", "--format", "csv"}, {",missed,", "CLOG_CELLID"}, {",2,"}},
        {{"list", "call", "--format", "csv", "--raw"}, {",2,"}, {"missed"}},
        {{"list", "message"}, {"received", "SMS"}, {"LAC"}},
    };
    for (const Case& c : cases) {
        std::string out = ok(c.arguments).out;
        for (const std::string& text : c.present)
            EXPECT_NE(out.find(text), std::string::npos) << c.arguments.back() << "\n" << out;
        for (const std::string& text : c.absent)
            EXPECT_EQ(out.find(text), std::string::npos) << c.arguments.back() << "\n" << out;
    }
    EXPECT_EQ(nlohmann::json::parse(ok({"list", "call", "--json"}).out)[0]["CLOG_DIRECTION"], 2);
    // The time stamp, last in each line, starts at the same terminal column
    // whatever the width of the texts before it.
    std::stringstream lines(ok({"list", "message"}).out);
    std::set<size_t> widths;
    std::string line;
    std::getline(lines, line);  // the header's TIME is shorter than a time stamp
    while (std::getline(lines, line)) widths.insert(columnsOf(line));
    EXPECT_EQ(widths.size(), 1u) << ok({"list", "message"}).out;
}

// The library's file holds its three tables; the tool's indexes come on
// top, one on the time stamp and one on the type of each table.
const std::vector<std::string> kLibraryTables = {"table ACTIVITY_CALL", "table ACTIVITY_MEDIA",
                                                 "table ACTIVITY_MESSAGE"};
const std::vector<std::string> kIndexedTables = {
    "index ACTIVITY_CALL_BY_TIME (CLOG_TIMESTAMP)",
    "index ACTIVITY_CALL_BY_TYPE (CLOG_TYPE)",
    "index ACTIVITY_MEDIA_BY_TIME (MDLOG_TIMESTAMP)",
    "index ACTIVITY_MEDIA_BY_TYPE (MDLOG_TYPE)",
    "index ACTIVITY_MESSAGE_BY_TIME (MSGLOG_TIMESTAMP)",
    "index ACTIVITY_MESSAGE_BY_TYPE (MSGLOG_TYPE)",
    "table ACTIVITY_CALL",
    "table ACTIVITY_MEDIA",
    "table ACTIVITY_MESSAGE"};
constexpr const char* kIndexesAdded = "lifelog: added time-stamp and type indexes to ";

int mentions(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Each writing command indexes a root kept above the default maximum, says
// so once, and leaves a root at the default with the library's tables.
TEST_F(ToolTest, WritersIndexARootKeptAboveTheDefaultMaximum) {
    const std::string calls = (root_ / "calls.xml").string();
    std::ofstream(calls) << "<calls count=\"1\">\n<call number=\"+15550101\" duration=\"30\" "
                            "date=\"1718357400000\" type=\"1\" />\n</calls>\n";
    const std::vector<std::string> logCall = {"log",       "call",   "--number",
                                              "+15550100", "--time", "2024-06-01 10:00:00"};
    const std::string served =
        R"({"kind":"call","number":"+15550102","duration":5,"time":"2024-06-14 10:00:00"})"
        "\n";
    struct Case {
        const char* name;
        int maxCount;    // written after `first`, which runs at the default
        bool fileFirst;  // `first` logs a call: the write finds a file
        std::vector<std::string> write;
        bool indexed;
    };
    const std::vector<Case> cases = {
        {"log at the default", 500, false, logCall, false},
        {"log above it", 501, false, logCall, true},
        {"config --max, a file", 500, true, {"config", "--max", "1000"}, true},
        {"config --max, no file", 500, false, {"config", "--max", "1000"}, false},
        {"import, a file", 1000, true, {"import", "--tz", "UTC", calls}, true},
        {"import, a fresh root", 1000, false, {"import", "--tz", "UTC", calls}, true},
        {"import --dry-run", 1000, true, {"import", "--dry-run", "--tz", "UTC", calls}, false},
        {"serve", 1000, false, {"serve"}, true},
        {"demo, its own maximum", 0, false, {"demo"}, false},
        {"demo, a longer history", 0, false, {"demo", "--days", "40"}, true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(hostPath("/SystemRW/Lifelog/Database"));
        keep(500);
        if (c.fileFirst) {
            ok(logCall);
        }
        if (c.maxCount != 0) {
            keep(c.maxCount);
        }
        for (int run = 1; run <= 2; ++run) {
            Outcome written = tool(c.write, served);
            EXPECT_EQ(written.status, 0) << c.name << ": " << written.err;
            // Said once: the second run finds the indexes in place.
            EXPECT_EQ(mentions(written.err, kIndexesAdded), c.indexed && run == 1 ? 1 : 0)
                << c.name << " run " << run << ": " << written.err;
            if (std::filesystem::exists(hostPath(kDbPath))) {
                EXPECT_EQ(schema(), c.indexed ? kIndexedTables : kLibraryTables) << c.name;
            } else {
                EXPECT_FALSE(c.indexed) << c.name << ": no file";
            }
            if (c.write[0] == "demo") {
                break;  // every demo starts a fresh file
            }
        }
    }
}

// Readers leave the file as they find it, even one kept above the default
// without the indexes; `lifelog index` adds them whatever the maximum, once.
TEST_F(ToolTest, ReadersAlterNothingAndIndexAddsTheIndexesOnDemand) {
    EXPECT_NE(ok({"index"}).out.find("no file yet, nothing to index"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath)));
    keep(500);
    ok({"log", "call", "--number", "+15550100", "--duration", "30", "--time",
        "2024-06-01 10:00:00"});
    ok({"log", "message", "--number", "+15550100", "--text", "hi", "--time",
        "2024-06-01 10:01:00"});
    keep(100000);
    const std::string exported = (root_ / "calls.xml").string();
    const std::vector<std::vector<std::string>> readers = {
        {"config"},
        {"list", "call"},
        {"list", "message", "--json", "--from", "2024-06-01"},
        {"count", "call"},
        {"sum", "call", "duration"},
        {"avg", "call", "duration"},
        {"top", "message", "number"},
        {"max", "call", "duration"},
        {"min", "message", "time"},
        {"export", "call", exported},
        {"report", "--html", (root_ / "report.html").string()},
        {"import", "--dry-run", "--tz", "UTC", exported},
    };
    const std::string listed = ok({"list", "call", "--json"}).out;
    for (const auto& reader : readers) {
        ok(reader);
        EXPECT_EQ(schema(), kLibraryTables) << reader[0];
    }
    EXPECT_NE(ok({"index"}).out.find("added 6 indexes"), std::string::npos);
    EXPECT_EQ(schema(), kIndexedTables);
    EXPECT_NE(ok({"index"}).out.find("has its 6 indexes already"), std::string::npos);
    EXPECT_EQ(schema(), kIndexedTables);
    EXPECT_EQ(ok({"list", "call", "--json"}).out, listed);
}

TEST_F(ToolTest, CountsAndAggregatesFollowWhatWasLogged) {
    ok({"config", "--on", "call,message,media"});
    struct Case {
        const char* kind;
        std::vector<std::string> log;
        const char* table;
    };
    const Case cases[] = {
        {"call",
         {"--number", "+1555", "--duration", "30", "--time", "2024-05-01 08:00:00"},
         "ACTIVITY_CALL"},
        {"message",
         {"--number", "+1555", "--text", "hi", "--time", "2024-05-01 08:00:01"},
         "ACTIVITY_MESSAGE"},
        {"media",
         {"--title", "Song", "--play-time", "200", "--time", "2024-05-01 08:00:02"},
         "ACTIVITY_MEDIA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        for (int n = 1; n <= 2; ++n) {
            std::vector<std::string> log{"log", c.kind};
            log.insert(log.end(), c.log.begin(), c.log.end());
            log.back().back() = static_cast<char>('0' + n);  // a second of its own
            ok(log);
            EXPECT_EQ(ok({"count", c.kind}).out, std::to_string(n) + "\n");
            EXPECT_EQ(rowCount(c.table), std::to_string(n));
        }
        auto counted = nlohmann::json::parse(
            ok({"count", c.kind, "--json", "--from", "2024-05-01 08:00:02", "--to", "2024-05-02"})
                .out);
        EXPECT_EQ(counted["count"], 1);
    }
    EXPECT_EQ(ok({"sum", "call", "duration"}).out, "60\n");
    Outcome texts = tool({"sum", "message", "number"});
    EXPECT_EQ(texts.status, 1) << texts.err;
    EXPECT_NE(texts.err.find("sum adds numbers, and the message table's number column holds "
                             "texts (try `top message number`)"),
              std::string::npos)
        << texts.err;
    // --limit 0 means all, as it does for list.
    EXPECT_EQ(
        nlohmann::json::parse(ok({"top", "call", "duration", "--limit", "0", "--json"}).out).size(),
        1u);
    EXPECT_EQ(ok({"avg", "media", "play_time"}).out, "200.00\n");
    auto top = nlohmann::json::parse(ok({"top", "message", "number", "--json"}).out);
    EXPECT_EQ(top, nlohmann::json::parse(R"([{"value": "+1555", "count": 2}])"));
}

TEST_F(ToolTest, ConfigShowsWhatItWroteAndTheLibraryReads) {
    const std::string file = hostPath(kConfigPath).string();
    auto shown = [&](const char* call, const char* message, const char* media, const char* keeps) {
        return fmt::format("  call     {}\n  message  {}\n  media    {}\n  keeps    {}\n", call,
                           message, media, keeps);
    };
    const struct {
        std::vector<std::string> arguments;
        std::string out;
    } cases[] = {
        {{"config"},
         file + " (missing: nothing is logged)\n" +
             shown("off", "off", "off", "500 rows per table (the default)")},
        {{"config", "--on", "call,media", "--max", "42"},
         file + "\n" + shown("on", "off", "on", "42 rows per table")},
        {{"config"}, file + "\n" + shown("on", "off", "on", "42 rows per table")},
        {{"config", "--on", "none"}, file + "\n" + shown("off", "off", "off", "42 rows per table")},
        {{"config", "--on", "SMS"}, file + "\n" + shown("off", "on", "off", "42 rows per table")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ok(c.arguments).out, c.out) << c.arguments.back();
    }
    // What it wrote is what the library goes by.
    EXPECT_EQ(tool({"log", "call", "--number", "+1"}).status, 1);
    ok({"log", "message", "--number", "+1", "--text", "x", "--time", "2024-01-01 00:00:00"});
}

// The root is the platform's own: $ZBASE_ROOT, else $XDG_DATA_HOME/zbase,
// else .local/share/zbase in the home folder, which is the user's passwd
// entry's when HOME is unset or empty.  Showing the configuration writes
// nothing, so no case touches a real home.
TEST_F(ToolTest, RootIsWhereThePlatformLooks) {
    const std::string home = getpwuid(getuid())->pw_dir;
    const std::string config = "/System/Lifelog/lifelogconf.ini";
    using Environment = std::map<std::string, std::optional<std::string>>;
    const struct {
        Environment environment;
        std::string root;
    } cases[] = {
        {{{"XDG_DATA_HOME", "/nowhere/data"}}, root_.string()},
        {{{"ZBASE_ROOT", std::nullopt}, {"XDG_DATA_HOME", "/nowhere/data"}}, "/nowhere/data/zbase"},
        {{{"ZBASE_ROOT", ""}, {"XDG_DATA_HOME", ""}, {"HOME", "/nowhere/home"}},
         "/nowhere/home/.local/share/zbase"},
        {{{"ZBASE_ROOT", std::nullopt}, {"XDG_DATA_HOME", std::nullopt}, {"HOME", std::nullopt}},
         home + "/.local/share/zbase"},
        {{{"ZBASE_ROOT", std::nullopt}, {"XDG_DATA_HOME", std::nullopt}, {"HOME", ""}},
         home + "/.local/share/zbase"},
    };
    for (const auto& c : cases) {
        ToolOptions options;
        options.environment = c.environment;
        ToolRun run = runTool({"config"}, options);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string shown = run.out.substr(0, run.out.find_first_of(" \n"));
        EXPECT_EQ(shown, c.root + config) << run.out;
    }
}

TEST_F(ToolTest, RefusalsSayWhatFailedAndChangeNothing) {
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    // Nothing logged yet: said by the tool with what to do, no library line.
    const std::string empty = tool({"count", "call"}).err;
    EXPECT_EQ(empty.rfind("lifelog: nothing has been logged under ", 0), 0u) << empty;
    EXPECT_NE(empty.find(" demo` logs a sample day, `"), std::string::npos) << empty;
    EXPECT_EQ(empty.find("Database don't exist"), std::string::npos) << empty;
    EXPECT_NE(tool({"log", "call", "--number", "1"}).status, 0);  // no configuration: off
    ok({"config", "--on", "call"});
    ok({"log", "call", "--number", "+1", "--time", "2024-01-01 00:00:00"});
    const std::vector<Case> cases = {
        {{"list", "call", "--where", "NOPE = 1"},
         "lifelog: the call table refuses the condition \"NOPE = 1\" (no column 'NOPE'; its "
         "columns: key, direction, duration, "},
        {{"count", "call", "--where", "1=1; DELETE FROM ACTIVITY_CALL"},
         "lifelog: the call table refuses the condition \"1=1; DELETE FROM ACTIVITY_CALL\": "
         "E_INVALID_ARG (4)\n"},
        {{"log", "message", "--number", "+1", "--text", "x"},
         "lifelog: messages are switched off in "},
        // The hint keeps calls on while it switches messages on.
        {{"log", "message", "--number", "+1", "--text", "x"}, " config --on call,message`)\n"},
        {{"log", "call", "--number", "+1", "--time", "2024-01-01"},
         "lifelog: --time \"2024-01-01\" is not \"YYYY-MM-DD HH:MM:SS\"\n"},
        {{"max", "call", "loudness"}, "lifelog: the call table has no column 'loudness'"},
        {{"list", "call", "--from", "2025-02-30"},
         "lifelog: --from \"2025-02-30\": that day or time of day does not exist"},
        {{"list", "call", "--to", "30/02/2025"},
         "lifelog: --to \"30/02/2025\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\""},
        {{"list", "call", "--order", "time:sideways"}, "lifelog: unknown order 'sideways'"},
    };
    for (const Case& c : cases) {
        Outcome run = tool(c.arguments);
        EXPECT_NE(run.status, 0) << c.message;
        EXPECT_EQ(run.out, "") << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(rowCount("ACTIVITY_CALL"), "1");
    EXPECT_EQ(rowCount("ACTIVITY_MESSAGE"), "0");
}

// What the parser does not understand ends with status 2 and names what
// there is; failures of the work end with 1, help and version with 0.
TEST_F(ToolTest, CommandLinesItDoesNotUnderstandEndWithStatusTwo) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string said;  // on standard error, or on standard output for 0
    };
    const std::vector<Case> cases = {
        {{}, 2, "lifelog: name a command: demo, log, list, "},
        {{"--root", root_.string()}, 2, "lifelog: name a command: demo, log, list, "},
        {{"foo"}, 2, "lifelog: 'foo' is not a command; the commands: demo, log, list, "},
        {{"--bogus", "list", "call"}, 2, "--bogus"},
        {{"list"}, 2, "kind is required"},
        {{"list", "call", "--limit", "x"}, 2, "--limit"},
        {{"count", "call"}, 1, "lifelog: nothing has been logged under "},
        {{"--help"}, 0, "lifelog: a phone's day as data"},
        {{"list", "--help"}, 0, "--where"},
    };
    for (const Case& c : cases) {
        Outcome run = tool(c.arguments);
        SCOPED_TRACE(c.said);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.said), std::string::npos)
            << run.out << run.err;
    }
}

TEST_F(ToolTest, DemoRecordsTheDayAndReportsItInTimeOrder) {
    Outcome run = ok({"demo"});
    for (const char* section :
         {"Recording the day", "Timeline of Friday 14 June 2024", "\nCalls\n",
          "Most frequent numbers", "\nMedia\n", "Rows stored", "Outside the day"}) {
        EXPECT_NE(run.out.find(section), std::string::npos) << section;
    }
    EXPECT_NE(run.out.find("longest       19:02:48  Sam (+447700900456)  incoming, 23:05"),
              std::string::npos);
    EXPECT_NE(run.out.find("answered      3 calls, 39:57 talking, 13:19 on average"),
              std::string::npos);

    // The timeline lines ("  HH:MM:SS  kind ...") come oldest first, one per
    // row of the day.
    std::istringstream lines(run.out);
    std::vector<std::string> times;
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 12 && line[0] == ' ' && line[4] == ':' && line[7] == ':' &&
            line[10] == ' ') {
            times.push_back(line.substr(2, 8));
        }
    }
    EXPECT_EQ(times.size(), 20u);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));

    EXPECT_EQ(rowCount("ACTIVITY_CALL"), "8");
    EXPECT_EQ(rowCount("ACTIVITY_MESSAGE"), "8");
    EXPECT_EQ(rowCount("ACTIVITY_MEDIA"), "5");
    // A second run starts afresh instead of piling up.
    ok({"demo"});
    EXPECT_EQ(rowCount("ACTIVITY_CALL"), "8");
}

TEST_F(ToolTest, DemoDaysAreTheSeedsOwnAndSpreadOverTheDays) {
    // More messages than the default maximum of 500: the demo raises it.
    const char* dump =
        "SELECT MSGLOG_TIMESTAMP, MSGLOG_PHONE_NUMBER, MSGLOG_SUMMARY FROM ACTIVITY_MESSAGE "
        "ORDER BY MSGLOG_TIMESTAMP";
    auto messagesOf = [&](const char* seed) {
        Outcome run = tool({"demo", "--days", "45", "--seed", seed});
        EXPECT_EQ(run.status, 0);
        // Above the default maximum the tool indexes the fresh file and says so.
        EXPECT_EQ(run.err.rfind(kIndexesAdded, 0), 0u) << run.err;
        EXPECT_EQ(mentions(run.err, "\n"), 1) << run.err;
        // Its exit closed the connections: the file alone holds every row.
        EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath).string() + "-wal"));
        EXPECT_NE(run.out.find("answered      3 calls, 39:57 talking"), std::string::npos);
        size_t at =
            run.out.find("generated days  45 days before it (seed " + std::string(seed) + "): ");
        EXPECT_NE(at, std::string::npos) << run.out;
        int calls = 0, messages = 0;
        std::sscanf(run.out.c_str() + run.out.find("): ", at) + 3, "%d calls, %d messages", &calls,
                    &messages);
        EXPECT_EQ(rowCount("ACTIVITY_CALL"), std::to_string(8 + calls));
        EXPECT_EQ(rowCount("ACTIVITY_MESSAGE"), std::to_string(8 + messages));
        return queryRows(kDbPath, dump);
    };
    auto first = messagesOf("7");
    EXPECT_GT(first.size(), 500u);
    EXPECT_EQ(first.front()[0].substr(0, 10), "2024-04-30");
    EXPECT_EQ(first.back()[0].substr(0, 10), "2024-06-14");
    EXPECT_EQ(queryRows(kDbPath,
                        "SELECT COUNT(DISTINCT substr(MSGLOG_TIMESTAMP, 1, 10)), "
                        "SUM(length(MSGLOG_SUMMARY) < length(CAST(MSGLOG_SUMMARY AS "
                        "BLOB))) > 0 FROM ACTIVITY_MESSAGE")[0],
              (std::vector<std::string>{"46", "1"}));  // every day, some text not ASCII
    EXPECT_EQ(messagesOf("7"), first);
    EXPECT_NE(messagesOf("8"), first);
}

TEST_F(ToolTest, ServeStoresEveryGoodLineAndReportsEveryBadOne) {
    ok({"config", "--on", "call,message", "--max", "1000"});
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"{\"kind\":", "not JSON"},
        {"[1, 2]", "not a JSON object"},
        {R"({"kind":"fax","number":"+1"})", R"("kind" is "fax": use "call" or "message")"},
        {R"({"kind":"message","text":"hi"})", R"("number" is missing)"},
        {R"({"kind":"message","number":"+1","text":"hi","direction":5})",
         R"("direction" is 5, outside 0..1)"},
        {R"({"kind":"call","number":"+1","duration":"long"})", R"("duration" is not an integer)"},
        {R"({"kind":"call","number":"+1","colour":"red"})", R"(a call has no member "colour")"},
        {R"({"kind":"call","number":"+1","time":"yesterday"})",
         R"("time" is "yesterday", not "YYYY-MM-DD HH:MM:SS")"},
        {R"({"kind":"call","number":")" + std::string(51, '5') + "\"}",
         R"("number" is too long: 51 characters, but the CLOG_PHONE_NUMBER column holds at most 50)"},
        // Arrives whole in one read after the lines before it.
        {R"({"kind":"message","number":"+1","text":")" + std::string(70000, 'x') + "\"}",
         "longer than 65536 bytes"},
    };
    std::string input;
    std::vector<std::string> expected;
    for (int line = 1, good = 0, next = 0; line <= 1000; ++line) {
        if (line % 100 == 50 && next < static_cast<int>(bad.size())) {
            input += bad[next].first + "\n";
            expected.push_back(fmt::format("lifelog: line {}: {}\n", line, bad[next++].second));
        } else if (line == 1000) {
            input += "\n";  // blank: carries nothing
        } else {
            input += fmt::format(
                R"({{"kind":"message","number":"+4930{}","text":"n{}","time":"2024-07-01 10:{:02}:{:02}"}})"
                "\n",
                good % 7, good, good / 60, good % 60);
            ++good;
        }
    }
    Outcome run = tool({"serve"}, input);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "stored 989 of 999 notifications; 10 lines could not be used\n");
    size_t at = 0;
    for (const std::string& line : expected) {
        at = run.err.find(line, at);
        EXPECT_NE(at, std::string::npos) << line;
    }
    EXPECT_EQ(
        queryRows(kDbPath,
                  "SELECT COUNT(*), MIN(MSGLOG_TIMESTAMP), MAX(MSGLOG_TIMESTAMP), "
                  "SUM(MSGLOG_SUMMARY = 'n' || (LOG_KEY - 1)) FROM ACTIVITY_MESSAGE")[0],
        (std::vector<std::string>{"989", "2024-07-01 10:00:00", "2024-07-01 10:16:28", "989"}));
}

TEST_F(ToolTest, LogConfirmsTheRowOrSaysWhyNothingWasStored) {
    const std::vector<std::string> message = {
        "log", "message", "--number", "+1", "--text", "hi", "--time", "2024-02-01 10:00:00"};
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::vector<std::string> arguments;
        std::string said;  // on standard output when it worked, else on standard error
    };
    const std::vector<Case> cases = {
        {.name = "stored",
         .prepare = [] {},
         .arguments = message,
         .said = "logged a message at 2024-02-01 10:00:00 (LOG_KEY 1)\n"},
        {.name = "empty file",
         .prepare = [&] { writeFile(kDbPath, ""); },
         .arguments = message,
         .said = "has no usable ACTIVITY_MESSAGE table (counting its rows: "},
        {.name = "no table",
         .prepare =
             [&] {
                 std::filesystem::create_directories(hostPath(kDbPath).parent_path());
                 execSql(kDbPath, "CREATE TABLE OTHER (x)");
             },
         .arguments = message,
         .said = "has no usable ACTIVITY_MESSAGE table (counting its rows: "},
        {.name = "long number",
         .prepare = [] {},
         .arguments = {"log", "message", "--number", std::string(51, '5'), "--text", "hi"},
         .said = "--number is too long: 51 characters, but the MSGLOG_PHONE_NUMBER column holds "
                 "at most 50"},
        {.name = "long title",
         .prepare = [] {},
         .arguments = {"log", "media", "--title", repeated("\u00fc", 101)},
         .said = "--title is too long: 101 characters, but the MDLOG_TITLE column holds at most "
                 "100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(hostPath("/SystemRW"));
        ok({"config", "--on", "message,media"});
        c.prepare();
        Outcome run = tool(c.arguments);
        bool stored = std::string_view(c.name) == "stored";
        EXPECT_EQ(run.status, stored ? 0 : 1);
        EXPECT_NE((stored ? run.out : run.err).find(c.said), std::string::npos) << run.err;
        if (!stored) {
            EXPECT_EQ(run.out, "");
        }
    }
}

TEST_F(ToolTest, ListingsSkipUnreadableRowsAndPrintOnlySafeText) {
    ok({"config", "--on", "message"});
    ok({"log", "message", "--number", "+1", "--text", "first", "--time", "2024-02-01 10:00:00"});
    // Rows no logging path writes, but a damaged or foreign file may hold:
    // text that is not UTF-8 with control characters, and a time stamp that
    // cannot be read back.
    execSql(kDbPath,
            "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_PHONE_NUMBER, MSGLOG_SUMMARY, MSGLOG_TIMESTAMP) "
            "VALUES ('+2', CAST(X'41FF1B5B316D0A42' AS TEXT), '2024-02-01 11:00:00');"
            "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_PHONE_NUMBER, MSGLOG_TIMESTAMP) "
            "VALUES ('+3', 'yesterday');"
            "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_PHONE_NUMBER, MSGLOG_SUMMARY, MSGLOG_TIMESTAMP) "
            "VALUES ('+4', 'a, \"quoted\" one', '2024-02-01 12:00:00');");
    const std::string skipped =
        "lifelog: skipped a message row that cannot be read (LOG_KEY 3): E_FAILURE (13)\n";
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> shown;  // substrings of standard output, in order
    };
    const std::vector<Case> cases = {
        {.arguments = {"--format", "table"},
         .shown = {"SUMMARY", "first", "A\xef\xbf\xbd\\x1b[1m\\nB", "a, \"quoted\" one"}},
        {.arguments = {"--format", "csv"},
         .shown = {"LOG_KEY,MSGLOG_DIRECTION,MSGLOG_SUMMARY", "1,sent,first,SMS,",
                   "\"a, \"\"quoted\"\" one\""}},
        {.arguments = {"--format", "ndjson", "--limit", "2"},
         .shown = {"\"first\"", "\"A\xef\xbf\xbd\\u001b[1m\\nB\""}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"list", "message"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        Outcome run = tool(arguments);
        EXPECT_EQ(run.status, 0) << c.arguments[1];
        size_t at = 0;
        for (const std::string& part : c.shown) {
            size_t found = run.out.find(part, at);
            EXPECT_NE(found, std::string::npos) << c.arguments[1] << ": " << part << "\n"
                                                << run.out;
            at = found == std::string::npos ? at : found + part.size();
        }
        if (c.arguments[1] != "csv") {  // CSV carries the (valid UTF-8) text as stored
            EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << c.arguments[1];
        }
        // --limit 2 stops before the unreadable row, so nothing is skipped.
        bool limited = c.arguments.size() > 2;
        EXPECT_EQ(run.err.find(skipped) != std::string::npos, !limited) << run.err;
    }
    Outcome ndjson = ok({"list", "message", "--format", "ndjson", "--limit", "2"});
    EXPECT_EQ(std::count(ndjson.out.begin(), ndjson.out.end(), '\n'), 2);
    auto rows = nlohmann::json::parse(tool({"list", "message", "--json"}).out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1]["MSGLOG_SUMMARY"], "A\xef\xbf\xbd\x1b[1m\nB");
    EXPECT_EQ(rows[2]["LOG_KEY"], 4);
}

// --version, the manual page and the completions come from the parser's own
// table: nested commands and their options are in them, the hidden
// commands that print them are not in --help, and an unknown shell is
// refused.
TEST_F(ToolTest, DescribesItselfFromItsCommandTable) {
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> printed;
    };
    const std::vector<Case> cases = {
        {{"--version"}, {"lifelog 0.", "\nlibzkivLifelog 0.", "/libzkivLifelog.so.0."}},
        {{"manpage"},
         {".TH LIFELOG 1 ", "\n.SH NAME\nlifelog \\- ", "\n.SS \"lifelog log call\"\n",
          "\\fB\\-\\-number\\fR \\fITEXT\\fR\nthe other party's number (required)\n",
          "\\fB\\-\\-root\\fR \\fITEXT\\fR\n",
          "\n.SS \"lifelog index\"\nadd the time-stamp and type indexes"}},
        {{"completion", "bash"},
         {"'log') echo 'call message media' ;;", "--number", "'index') echo '-h --help",
          "complete -o filenames -F _lifelog lifelog\n"}},
        {{"completion", "zsh"},
         {"#compdef lifelog\n", "'call:a voice call'", "--number", "'index:add the time-stamp"}},
        {{"completion", "fish"},
         {"complete -c lifelog -n '__lifelog_at \\'log\\'' -a 'call' -d 'a voice call'\n",
          "-l number -r", "case 'index'"}},
    };
    for (const Case& c : cases) {
        Outcome run = ok(c.arguments);
        for (const std::string& text : c.printed) {
            EXPECT_NE(run.out.find(text), std::string::npos) << c.arguments.back() << ": " << text;
        }
        EXPECT_EQ(run.out.find("manpage"), std::string::npos) << c.arguments.back();
    }
    Outcome help = ok({"--help"});
    EXPECT_EQ(help.out.find("completion"), std::string::npos);
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_NE(help.out.find("\n  index "), std::string::npos);
    Outcome refused = tool({"completion", "tcsh"});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("bash, zsh or fish"), std::string::npos) << refused.err;
}

}  // namespace
