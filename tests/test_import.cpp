// Importing and exporting backup files: the XML layer in process (escaping
// read back through expat, the byte repair split at every position, the
// date bounds), and `lifelog import`/`export` as subprocesses on the test's
// platform root, checked against the rows SQLite itself reads.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <memory>

#include "backup/mapping.h"
#include "backup/readable_date.h"
#include "backup/xml_reader.h"
#include "backup/xml_writer.h"
#include "base/timestamp.h"
#include "fixture.h"
#include "tool_run.h"

namespace {

using lifelog_tool::XmlEntry;

const std::string kData = LIFELOG_SOURCE_DIR "/tests/data/";

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<XmlEntry> entriesOf(const std::string& path) {
    std::vector<XmlEntry> entries;
    auto keep = [&](const XmlEntry& entry) { return entries.push_back(entry), true; };
    lifelog_tool::readBackup(
        path, [](const std::string&) { return true; }, keep);
    return entries;
}

TEST(BackupXml, EscapedTextReadsBackThroughExpat) {
    const struct {
        std::string written;
        std::string read = "";  // "": as written
    } cases[] = {
        {.written = "plain"},
        {.written = "Fish & chips <3 \"quoted\" 'single'"},
        {.written = "one\ntwo\tthree\r"},
        {.written = "Stra\xC3\x9F"
                    "e \xF0\x9F\x98\x80"},
        {.written = "bell\x07", .read = "bell\xEF\xBF\xBD"},
        {.written = "caf\xE9!", .read = "caf\xEF\xBF\xBD!"},
        {.written = "]]> &amp;"},
    };
    auto file = std::filesystem::temp_directory_path() / ("escape-" + std::to_string(getpid()));
    {
        std::ofstream out(file, std::ios::binary);
        lifelog_tool::XmlWriter xml(out);
        xml.open("smses", {});
        for (const auto& c : cases) xml.leaf("sms", {{"body", c.written}});
        xml.close("smses");
    }
    std::vector<XmlEntry> entries = entriesOf(file.string());
    std::filesystem::remove(file);
    ASSERT_EQ(entries.size(), std::size(cases));
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_NE(entries[i].attribute("body"), nullptr);
        EXPECT_EQ(*entries[i].attribute("body"),
                  cases[i].read.empty() ? cases[i].written : cases[i].read)
            << "case " << i;
    }
}

TEST(BackupXml, RepairGivesTheSameBytesWhereverTheInputIsSplit) {
    const struct {
        std::string in, out;
    } cases[] = {
        {.in = "a &#55357;&#56832; b", .out = "a &#x1F600; b"},
        {.in = "&#xD83D;&#xDE00;", .out = "&#x1F600;"},
        {.in = "lone &#55357; x", .out = "lone &#xFDD0; x"},
        {.in = "&#55357;", .out = "&#xFDD0;"},
        {.in = "ctl &#1;&#x1F;", .out = "ctl &#xFDD1;&#xFDD1;"},
        {.in = "tab &#9; ok &#233;", .out = "tab &#9; ok &#233;"},
        {.in = "raw \x07 \x0B", .out = "raw \xEF\xB7\x91 \xEF\xB7\x91"},
        {.in = "caf\xE9 \xC3\xA9 \xE2\x82",
         .out = "caf\xEF\xB7\x90 \xC3\xA9 \xEF\xB7\x90\xEF\xB7\x90"},
        {.in = "\xED\xA0\x80 \xEF\xBF\xBF",
         .out = "\xEF\xB7\x90\xEF\xB7\x90\xEF\xB7\x90 \xEF\xB7\x90"},
        {.in = "&amp; &#; &#12x; &", .out = "&amp; &#; &#12x; &"},
    };
    for (const auto& c : cases) {
        for (size_t split = 0; split <= c.in.size(); ++split) {
            lifelog_tool::Utf8Repair repair;
            std::string out;
            repair.feed(std::string_view(c.in).substr(0, split), false, out);
            repair.feed(std::string_view(c.in).substr(split), true, out);
            EXPECT_EQ(out, c.out) << "input \"" << c.in << "\" split at " << split;
        }
    }
}

TEST(BackupXml, DatesOutsideThePhoneYearsHaveNoTimestamp) {
    ASSERT_TRUE(lifelog_tool::useZone("UTC"));
    const struct {
        int64_t millis;
        std::optional<std::string> time;
    } cases[] = {
        {.millis = 1718357400999, .time = "2024-06-14 09:30:00"},
        {.millis = 315532800000, .time = "1980-01-01 00:00:00"},
        {.millis = 315532799999, .time = std::nullopt},
        {.millis = 4102444799999, .time = "2099-12-31 23:59:59"},
        {.millis = 4102444800000, .time = std::nullopt},
        {.millis = 1718357400, .time = std::nullopt},  // seconds, not milliseconds
        {.millis = -1000, .time = std::nullopt},
        {.millis = INT64_MAX, .time = std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lifelog_tool::timestampOfMillis(c.millis), c.time) << c.millis;
        if (c.time) {
            EXPECT_EQ(lifelog_tool::millisOfTimestamp(*c.time), c.millis / 1000 * 1000);
        }
    }
    EXPECT_FALSE(lifelog_tool::useZone("Mars/Olympus_Mons"));
    EXPECT_FALSE(lifelog_tool::useZone("../../etc/passwd"));
    ASSERT_TRUE(lifelog_tool::useZone("Europe/Berlin"));
    EXPECT_EQ(lifelog_tool::timestampOfMillis(1718357400000), "2024-06-14 11:30:00");
    ASSERT_TRUE(lifelog_tool::useZone("UTC"));
}

TEST(BackupXml, ReadableDatesInTheFormsPhonesAndPeopleWrite) {
    const std::pair<const char*, const char*> cases[] = {
        {"Feb 4, 2016 17:40:43", "2016-02-04 17:40:43"},
        {"Feb 1, 2017 3:51:24 PM", "2017-02-01 15:51:24"},
        {"Feb 1, 2017 12:05:00 AM", "2017-02-01 00:05:00"},
        {"31 oct. 2016", "2016-10-31 00:00:00"},
        {"7. sep. 2016", "2016-09-07 00:00:00"},
        {"September 7 2016 8:05", "2016-09-07 08:05:00"},
        {"2013/04/09 12:29:17", "2013-04-09 12:29:17"},
        {"2013-04-09", "2013-04-09 00:00:00"},
        {"Feb 29, 2016", "2016-02-29 00:00:00"},
        {"Feb 29, 2017", nullptr},       // no such day
        {"Feb 4, 2016 24:00", nullptr},  // no such hour
        {"Feb 4, 2016 13:00 PM", nullptr},
        {"04/09/2013", nullptr},  // day or month first: cannot tell
        {"Fe 4, 2016", nullptr},
        {"yesterday", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, stamp] : cases) {
        auto parsed = lifelog_tool::parseReadableDate(text);
        EXPECT_EQ(parsed ? lifelog_tool::formatTime(*parsed) : "", stamp ? stamp : "") << text;
    }
}

TEST(BackupXml, LongValuesAreCutWhereverTheInputIsSplit) {
    using Cut = lifelog_tool::LongValueCut;
    const std::string value(Cut::kMaxValue + 100, 'A');
    const std::string input = "<!-- a \"quote\" -> --><a x='" + value +
                              "' y=\"&amp;\"><![CDATA[ ' ]]>" + "<b z=\"" +
                              std::string(Cut::kMaxValue - 1, 'B') + "&amp;\" /></a>";
    const std::string expected = "<!-- a \"quote\" -> --><a x='" + value.substr(0, Cut::kMaxValue) +
                                 "' y=\"&amp;\"><![CDATA[ ' ]]><b z=\"" +
                                 std::string(Cut::kMaxValue - 1, 'B') + "&amp;\" /></a>";
    for (size_t split : {size_t{1}, size_t{7}, size_t{4096}, input.size()}) {
        Cut cut;
        std::string out;
        for (size_t at = 0; at < input.size(); at += split) cut.feed(input.substr(at, split), out);
        EXPECT_EQ(out, expected) << split;
        EXPECT_EQ(cut.cuts(), 1) << "the reference that crosses the cap is kept whole";
    }
}

using Outcome = ToolRun;

class ImportTest : public LifelogTest {
protected:
    // `input`: a file whose bytes are the tool's standard input.
    Outcome tool(const std::vector<std::string>& arguments, const std::string& input = "") {
        ToolOptions options;
        options.input = input.empty() ? std::string() : slurp(input);
        return runTool(arguments, options);
    }

    // The tool with its standard error on a pseudo-terminal: what the
    // terminal received goes to Outcome::err.
    Outcome onTerminal(const std::vector<std::string>& arguments) {
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        ToolOptions options;
        options.terminal = ptsname(terminal);
        ToolProcess process(arguments, options);
        // Read until the last holder of the terminal's other side is gone.
        std::string shown;
        char buffer[4096];
        for (ssize_t got = 0; (got = read(terminal, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, static_cast<size_t>(got));
        close(terminal);
        Outcome run = process.wait();
        run.err = shown;
        return run;
    }

    // The report with every run of blanks made one blank.
    static std::string squeezed(std::string report) {
        auto blanks = [](char a, char b) { return a == ' ' && b == ' '; };
        report.erase(std::unique(report.begin(), report.end(), blanks), report.end());
        return report;
    }
    static bool says(const std::string& report, const std::string& text) {
        return squeezed(report).find(text) != std::string::npos;
    }
    // The count on the report line "  <what>   <count>", -1 without one.
    static long reported(const std::string& report, const std::string& what) {
        const std::string text = squeezed(report);
        const size_t at = text.find("\n " + what + " ");
        if (at == std::string::npos)
            return -1;
        std::string digits = text.substr(at + what.size() + 3);
        std::erase(digits, ',');
        return std::stol(digits);
    }

    // The rows of the table in time order, as "cell|cell|...".
    std::vector<std::string> rows(const char* table, const std::string& root = "") {
        std::string columns = std::string(table) == "ACTIVITY_CALL"
                                  ? "CLOG_PHONE_NUMBER, CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, "
                                    "CLOG_NAME, CLOG_CELLID, CLOG_TIMESTAMP"
                                  : "MSGLOG_PHONE_NUMBER, MSGLOG_DIRECTION, MSGLOG_TYPE, "
                                    "MSGLOG_SUMMARY, MSGLOG_NAME, MSGLOG_MNC, MSGLOG_TIMESTAMP";
        std::vector<std::string> joined;
        for (const auto& row : queryRows(root + kDbPath, "SELECT " + columns + " FROM " + table +
                                                             " ORDER BY 7, 1, 2, LOG_KEY")) {
            joined.emplace_back();
            for (size_t i = 0; i < row.size(); ++i) joined.back() += (i ? "|" : "") + row[i];
        }
        return joined;
    }

    // COUNT(*) of "TABLE [WHERE ...]" in the lifelog database.
    long count(const std::string& from) const {
        return std::stol(queryRows(kDbPath, "SELECT COUNT(*) FROM " + from)[0][0]);
    }

    std::string generate(int entries, int seed) {
        const std::string folder = (root_ / ("generated-" + std::to_string(seed))).string();
        ToolOptions script;
        script.program = LIFELOG_SOURCE_DIR "/scripts/generate-backup";
        ToolRun run = runTool(
            {folder, "--entries", std::to_string(entries), "--seed", std::to_string(seed)}, script);
        EXPECT_EQ(run.status, 0) << run.err;
        return folder;
    }
};

TEST_F(ImportTest, SampleEntriesBecomeTheseRows) {
    tool({"config", "--on", "call,message"});
    Outcome run = tool({"import", "--tz", "UTC", kData + "calls.xml", kData + "sms.xml"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    using Rows = std::vector<std::string>;
    EXPECT_EQ(rows("ACTIVITY_CALL"), (Rows{"+15550100|0|125|0|<null>|-1|2024-06-14 09:30:00",
                                           "+15550101|1|42|0|<null>|-1|2024-06-14 12:05:10",
                                           "+447700900123|2|0|0|<null>|-1|2024-06-15 18:45:00",
                                           "+15550102|0|31|1|<null>|-1|2024-06-16 07:00:30",
                                           "+15550103|2|0|-1|<null>|-1|2024-06-17 21:10:00",
                                           "+15550104|2|0|1|<null>|-1|2024-06-18 08:15:45"}));
    EXPECT_EQ(rows("ACTIVITY_MESSAGE"),
              (Rows{"+15550100|0|0|Running late, save me a seat a|<null>|-1|2024-06-14 09:30:00",
                    "+15550101|1|0|Fish & chips? \"Yes\" <3|<null>|-1|2024-06-14 12:05:10",
                    "+15550101|1|0|Zwei Stra\xC3\x9F"
                    "en weiter, caf\xC3\xA9 \xC3\x9Cnte|<null>|-1|2024-06-14 12:05:11",
                    "+447700900123|0|0|line one\nline two \xF0\x9F\x98\x80 done|<null>|-1|"
                    "2024-06-15 18:45:00",
                    "+15550103|0|1|Look at this sunset over the h|<null>|-1|2024-06-17 21:10:00",
                    "+15550104|1|1|<null>|<null>|-1|2024-06-18 08:15:45"}));
    EXPECT_EQ(reported(run.out, "imported"), 6);
    EXPECT_TRUE(says(run.out, "a draft, never sent 1 (line 8)")) << run.out;

    // The same files again add nothing; a zone two hours east makes new rows.
    run = tool({"import", "--tz", "UTC", kData + "calls.xml"});
    EXPECT_EQ(reported(run.out, "imported"), 0);
    EXPECT_EQ(reported(run.out, "skipped, already there"), 6);
    run = tool({"import", "--tz", "Europe/Berlin", kData + "calls.xml"});
    EXPECT_EQ(reported(run.out, "imported"), 6);
    EXPECT_EQ(count("ACTIVITY_CALL WHERE CLOG_TIMESTAMP = '2024-06-14 11:30:00'"), 1);
}

TEST_F(ImportTest, BadInputIsCountedByLineAndTheGoodEntriesStillCome) {
    tool({"config", "--on", "call,message"});
    const struct {
        std::string file;
        int status = 0;
        long imported = -1;  // -1: no report of imported entries
        std::vector<std::string> said;
    } cases[] = {
        {.file = "calls-bad-entries.xml",
         .imported = 3,
         .said = {"no number 2 (lines 5, 6)", "number longer than 50 characters 1 (line 14)",
                  "no date 1 (line 7)", "date out of range 2 (lines 8, 9)",
                  "date is not a number 1 (line 10)", "unknown call type 1 (line 11)",
                  "duration is not a number of seconds 1 (line 12)",
                  "unknown element <voicemail> 1 (line 13)"}},
        {.file = "sms-bad-text.xml",
         .imported = 2,
         .said = {"invalid UTF-8 in the text 2 (lines 5, 8)",
                  "control character in the text 2 (lines 6, 7)"}},
        {.file = "calls-truncated.xml",
         .status = 1,
         .imported = 2,
         .said = {"the XML breaks off at line 5 (unclosed token)"}},
        {.file = "wrong-root.xml", .status = 1, .said = {"its root element is <contacts>"}},
        {.file = "not-xml.csv", .status = 1, .said = {"not XML: syntax error at line 1"}},
        {.file = "calls-same-second.xml", .imported = 3, .said = {"skipped, already there 1"}},
    };
    long total = 0;
    for (const auto& c : cases) {
        Outcome run = tool({"import", "--tz", "UTC", kData + c.file});
        EXPECT_EQ(run.status, c.status) << c.file << "\n" << run.out << run.err;
        EXPECT_EQ(reported(run.out, "imported"), c.imported) << c.file << "\n" << run.out;
        for (const std::string& text : c.said)
            EXPECT_TRUE(says(run.out, text)) << c.file << ": " << text << "\n" << run.out;
        total += std::max(0L, c.imported);
    }
    EXPECT_EQ(count("ACTIVITY_CALL") + count("ACTIVITY_MESSAGE"), total);
}

TEST_F(ImportTest, MaximumAndSwitchAreTheLibrarysAndTheReportSaysSo) {
    tool({"config", "--on", "message", "--max", "4"});
    Outcome run = tool({"import", "--tz", "UTC", kData + "calls.xml"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("calls are switched off"), std::string::npos) << run.out;
    EXPECT_EQ(reported(run.out, "imported"), 0);

    tool({"config", "--on", "call", "--max", "4"});
    run = tool({"import", "--tz", "UTC", "--dry-run", kData + "calls.xml"});
    EXPECT_EQ(reported(run.out, "would be imported"), 6);
    EXPECT_EQ(reported(run.out, "rows the table maximum would trim"), 2);
    EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath)));

    run = tool({"import", "--tz", "UTC", kData + "calls.xml"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(reported(run.out, "imported"), 6);
    EXPECT_EQ(reported(run.out, "rows trimmed by the table maximum"), 2);
    EXPECT_EQ(reported(run.out, "replaced by a later entry with the same time"), 0);
    EXPECT_NE(run.out.find(" --root " + root_.string() + " config --max 6\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(queryRows(kDbPath, "SELECT MIN(CLOG_TIMESTAMP), COUNT(*) FROM ACTIVITY_CALL")[0],
              (std::vector<std::string>{"2024-06-15 18:45:00", "4"}));
    // Again: the two oldest entries would push newer rows out of the full
    // table and be the next to go; they are reported, not logged.
    run = tool({"import", "--tz", "UTC", kData + "calls.xml"});
    EXPECT_EQ(reported(run.out, "imported"), 0) << run.out;
    EXPECT_EQ(reported(run.out, "skipped, older than every row the full table keeps"), 2);
    EXPECT_EQ(reported(run.out, "skipped, already there"), 4);
    EXPECT_EQ(queryRows(kDbPath, "SELECT MIN(CLOG_TIMESTAMP), COUNT(*) FROM ACTIVITY_CALL")[0],
              (std::vector<std::string>{"2024-06-15 18:45:00", "4"}));
}

// On a fresh root both kinds are off: the report names the missing file and
// ends with one command that, pasted into a shell in another folder,
// switches on both (not the second undoing the first) on this root.
TEST_F(ImportTest, TheHintToSwitchKindsOnWorksWhenPastedElsewhere) {
    Outcome run = tool({"import", "--tz", "UTC", kData + "calls.xml", kData + "sms.xml"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(says(run.out, "there is no configuration file")) << run.out;
    const std::string lead = "switch them on with `";
    std::size_t at = run.out.find(lead);
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(lead, at + 1), std::string::npos) << "one hint for all files";
    at += lead.size();
    std::string command = run.out.substr(at, run.out.find('`', at) - at);
    EXPECT_NE(command.find(" --root " + root_.string() + " config --on call,message"),
              std::string::npos)
        << command;

    // The hint is pasted into a shell, from anywhere.
    ToolOptions shell;
    shell.program = "/bin/sh";
    ASSERT_EQ(runTool({"-c", "cd / && " + command}, shell).status, 0) << command;
    run = tool({"import", "--tz", "UTC", kData + "calls.xml", kData + "sms.xml"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_GT(count("ACTIVITY_CALL"), 0);
    EXPECT_GT(count("ACTIVITY_MESSAGE"), 0);
}

TEST_F(ImportTest, ExportedRowsImportIntoAFreshRootAsTheSameRows) {
    std::string generated = generate(400, 7);
    for (const std::string& root : {root_.string(), (root_ / "fresh").string()})
        tool({"--root", root, "config", "--on", "call,message", "--max", "1000"});
    Outcome run = tool({"import", "--tz", "Europe/Berlin", kData + "calls.xml", kData + "sms.xml",
                        generated + "/calls.xml", generated + "/sms.xml"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    auto calls = (root_ / "export-calls.xml").string();
    auto messages = (root_ / "export-sms.xml").string();
    EXPECT_EQ(tool({"export", "--tz", "Europe/Berlin", "call", calls}).status, 0);
    EXPECT_EQ(tool({"export", "--tz", "Europe/Berlin", "message", messages}).status, 0);
    run = tool(
        {"--root", (root_ / "fresh").string(), "import", "--tz", "Europe/Berlin", calls, messages});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(reported(run.out, "skipped, unusable"), 0) << run.out;
    for (const char* table : {"ACTIVITY_CALL", "ACTIVITY_MESSAGE"}) {
        auto before = rows(table);
        EXPECT_GT(before.size(), 100u);
        EXPECT_EQ(rows(table, "/fresh"), before) << table;
    }
    // A range exports only its rows.
    const long inRange = count(
        "ACTIVITY_CALL WHERE CLOG_TIMESTAMP BETWEEN '2024-06-15 00:00:00' AND '2024-06-16 "
        "23:59:59'");
    EXPECT_EQ(tool({"export", "call", calls, "--from", "2024-06-15", "--to", "2024-06-16"}).out,
              "wrote " + std::to_string(inRange) + " calls to " + calls + "\n");
}

// A message keeps the first 30 characters of its text: the export says how
// many of the messages it wrote may have lost the rest.  A missing folder is
// said as such, with what to do.
TEST_F(ImportTest, ExportSaysWhichTextsTheLogKeptCut) {
    tool({"config", "--on", "message"});
    const std::string texts[] = {"short", std::string(30, 'x'), std::string(45, 'y'),
                                 "\U0001F600" + std::string(40, 'z'), std::string(29, 'w')};
    int minute = 0;
    for (const std::string& text : texts) {
        std::string time = "2024-03-01 10:0" + std::to_string(minute++) + ":00";
        Outcome logged = tool({"log", "message", "--number", "+1", "--text", text, "--time", time});
        ASSERT_EQ(logged.status, 0) << logged.err;
    }
    const std::string file = (root_ / "texts.xml").string();
    Outcome run = tool({"export", "message", file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "wrote 5 messages to " + file +
                           "\n3 of them hold the 30 characters a message keeps of its text: "
                           "longer texts were cut there when they were logged, and are cut in "
                           "the file\n");
    const std::string missing = (root_ / "no-such-folder" / "x.xml").string();
    run = tool({"export", "message", missing});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("there is no such folder; make it first"), std::string::npos) << run.err;
}

TEST_F(ImportTest, ProgressIsABarOnATerminalAndATenthALineInALog) {
    const std::string file = generate(1500, 3) + "/sms.xml";
    tool({"config", "--on", "call,message", "--max", "5000"});
    Outcome run = onTerminal({"import", "--tz", "UTC", file});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // The fresh file, kept above the default maximum, got the indexes: said
    // once, after the bar.
    const size_t indexed = run.err.rfind("lifelog: added time-stamp and type indexes to ");
    ASSERT_NE(indexed, std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(tables keep up to 5000 rows)\r\n", indexed), std::string::npos);
    run.err.resize(indexed);
    long usable = reported(run.out, "imported");
    ASSERT_GE(usable, 1000) << run.out;
    std::string total =
        std::to_string(usable / 1000) + "," + std::to_string(usable % 1000 + 1000).substr(1);
    // The last drawing: a full bar, the count, the rate and the time left,
    // each drawn over the one before; then the line is cleared.
    std::string full = "\r\x1b[K" + file + " [" + std::string(30, '#') + "] 100% " + total +
                       " entries, " + total + " imported, ";
    size_t at = run.err.rfind(full);
    ASSERT_NE(at, std::string::npos)
        << run.err.substr(run.err.size() > 400 ? run.err.size() - 400 : 0);
    std::string rest = run.err.substr(at + full.size());
    EXPECT_NE(rest.find("/s, 0:00 left"), std::string::npos) << rest;
    EXPECT_EQ(rest.substr(rest.size() - 4), "\r\x1b[K") << rest;
    EXPECT_EQ(run.err.find('\n'), std::string::npos);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);

    // Into a log: a line for each tenth that a 64 KiB chunk passes (this
    // file has four), rising to 100 %, nothing drawn over.
    run = tool({"import", "--tz", "UTC", file});
    EXPECT_EQ(reported(run.out, "skipped, already there"), usable);
    std::vector<std::string> lines;
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 3u) << run.err;
    int previous = 0;
    for (const std::string& line : lines) {
        ASSERT_EQ(line.rfind(file + ": ", 0), 0u) << line;
        int percent = std::stoi(line.substr(file.size() + 2));
        EXPECT_TRUE(percent > previous && percent % 10 == 0) << line;
        previous = percent;
    }
    EXPECT_EQ(previous, 100);
    EXPECT_NE(lines.back().find("(" + total + " entries, 0 imported), "), std::string::npos)
        << lines.back();
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
}

TEST_F(ImportTest, InterruptedImportKeepsWhatItReportedAndARerunFinishes) {
    const std::string file = generate(1200, 3) + "/sms.xml";
    tool({"config", "--on", "call,message", "--max", "5000"});
    // Polled every 50 ms for up to 30 s; the table exists once the import has begun.
    auto waitForRows = [&](long wanted) {
        for (int i = 0; i < 600; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (std::filesystem::exists(hostPath(kDbPath)) &&
                count("sqlite_master WHERE name = 'ACTIVITY_MESSAGE'") == 1 &&
                count("ACTIVITY_MESSAGE") >= wanted)
                return;
        }
        FAIL() << "the import never stored " << wanted << " rows";
    };
    // Ctrl-C: the report counts exactly the rows that are there.
    auto importing =
        std::make_unique<ToolProcess>(std::vector<std::string>{"import", "--tz", "UTC", file});
    waitForRows(20);
    importing->signal(SIGINT);
    Outcome run = importing->wait();
    EXPECT_EQ(run.status, 130) << run.out << run.err;
    EXPECT_NE(run.out.find("interrupted"), std::string::npos) << run.out;
    EXPECT_EQ(reported(run.out, "imported"), count("ACTIVITY_MESSAGE"));
    // SIGKILL: whatever is there stays, and the reruns finish the job once.
    importing =
        std::make_unique<ToolProcess>(std::vector<std::string>{"import", "--tz", "UTC", file});
    waitForRows(count("ACTIVITY_MESSAGE") + 20);
    importing->signal(SIGKILL);
    EXPECT_EQ(importing->wait().status, -SIGKILL);
    const long kept = count("ACTIVITY_MESSAGE");
    run = tool({"import", "--tz", "UTC", file});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(reported(run.out, "skipped, already there"), kept);
    const long usable = reported(run.out, "imported") + kept;
    EXPECT_EQ(count("ACTIVITY_MESSAGE"), usable);
    EXPECT_EQ(count("(SELECT DISTINCT MSGLOG_TIMESTAMP, MSGLOG_PHONE_NUMBER, MSGLOG_DIRECTION "
                    "FROM ACTIVITY_MESSAGE)"),
              usable);
}

TEST_F(ImportTest, VariantsOfOtherToolsAndHandMadeFilesAreDatedAndDirected) {
    tool({"config", "--on", "message"});
    Outcome run = tool({"import", "--tz", "UTC", kData + "sms-variants.xml"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    using Rows = std::vector<std::string>;
    EXPECT_EQ(rows("ACTIVITY_MESSAGE"),
              (Rows{"+15550204|0|0|readable three|<null>|-1|2013-04-09 12:29:17",
                    "+15550202|1|0|readable one|<null>|-1|2016-02-04 17:40:43",
                    "+15550205|0|0|readable four|<null>|-1|2016-09-07 00:00:00",
                    "+15550203|0|0|readable two|<null>|-1|2016-10-31 00:00:00",
                    "+15550200|0|0|seconds|<null>|-1|2017-02-01 03:51:24",
                    "+15550207|1|1|sent by m_type|<null>|-1|2024-06-14 09:30:00",
                    "+15550208|0|1|from only|<null>|-1|2024-06-14 09:31:00",
                    "+15550209|1|1|to only|<null>|-1|2024-06-14 09:32:00",
                    "+15550210|1|1|hi all|<null>|-1|2024-06-14 09:33:00",
                    "+15550213|0|0|twin text here|<null>|-1|2024-06-14 09:34:00"}));
    for (const char* text :
         {"date in seconds disagrees with readable_date 1 (line 5)",
          "no date, and readable_date in a form not read 1 (line 10)",
          "skipped, twin of a stored SMS or MMS (--keep-twins keeps them) 1",
          "dated in seconds, not milliseconds 1 (line 4)",
          "dated by readable_date alone (no date) 4 (lines 6, 7, 8, 9)",
          "group message, stored once with +15550210 (not the others) 1 (line 23)"})
        EXPECT_TRUE(says(run.out, text)) << text << "\n" << run.out;
    // The twin is there for whoever wants it, and the export gives the
    // group message back as the one row it is.
    run = tool({"import", "--tz", "UTC", "--keep-twins", kData + "sms-variants.xml"});
    EXPECT_EQ(reported(run.out, "imported"), 1) << run.out;
    EXPECT_EQ(count("ACTIVITY_MESSAGE WHERE MSGLOG_PHONE_NUMBER = '+15550213'"), 2);
}

TEST_F(ImportTest, OverlappingBackupsGiveEachEntryOnceInEitherOrder) {
    const std::string a = kData + "sms-overlap-a.xml", b = kData + "sms-overlap-b.xml";
    const std::string other = (root_ / "other").string();
    for (const std::string& root : {root_.string(), other})
        tool({"--root", root, "config", "--on", "message"});
    tool({"import", "--tz", "UTC", a, b});
    Outcome run = tool({"--root", other, "import", "--tz", "UTC", b, a});
    EXPECT_TRUE(says(run.out, "skipped, already there 2\n")) << run.out;
    EXPECT_EQ(rows("ACTIVITY_MESSAGE").size(), 6u);
    EXPECT_EQ(rows("ACTIVITY_MESSAGE"), rows("ACTIVITY_MESSAGE", "/other"));
}

TEST_F(ImportTest, EachFileIsReadOnceSoPipesAndHugeOrOddFilesWork) {
    tool({"config", "--on", "call,message"});
    // Standard input, and a pipe read once: every entry arrives.
    Outcome run = tool({"import", "--tz", "UTC", "-"}, kData + "sms.xml");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(reported(run.out, "imported"), 6) << run.out;
    // An attachment of 5 MB in one attribute and 2,000 distinct unknown
    // elements: the entry after them still comes, and the report names a
    // few of the elements, not each.
    const auto big = root_ / "big.xml";
    {
        std::ofstream out(big);
        out << "<smses>\n<mms date=\"1718357400000\" msg_box=\"1\" address=\"+15550400\">"
               "<parts><part ct=\"image/jpeg\" data=\""
            << std::string(5 << 20, 'A') << "\" /><part ct=\"text/plain\" text=\"look\" />"
            << "</parts></mms>\n";
        for (int i = 0; i < 2000; ++i) out << "<u" << i << " />\n";
        out << "<sms address=\"+15550401\" date=\"1718357460000\" type=\"1\" body=\"after\" />\n"
            << "</smses>\n";
    }
    run = tool({"import", "--tz", "UTC", big.string()});
    EXPECT_EQ(reported(run.out, "imported"), 2) << run.out;
    EXPECT_TRUE(
        says(run.out, "unknown element <u0>, <u1>, <u2>, ... 2,000 (lines 3, 4, 5, 6, 7, ...)"))
        << run.out;
    EXPECT_LT(std::count(run.out.begin(), run.out.end(), '\n'), 15) << run.out;
    EXPECT_EQ(count("ACTIVITY_MESSAGE WHERE MSGLOG_SUMMARY = 'look'"), 1);
    // A folder is no backup file.
    run = tool({"import", root_.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(says(run.out, "cannot be read: it is a folder, not a backup file")) << run.out;
}

}  // namespace
