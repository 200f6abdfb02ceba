// The tool's front doors tried as a careless or hostile user would: files
// it is told to write that must not be destroyed, totals that cannot be
// the truth, stored times that are not times.  The tool runs as a
// process under the test's platform root.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& argument) {
    std::string text = "'";
    for (char c : argument) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

class DoorsTest : public LifelogTest {
protected:
    Outcome tool(const std::vector<std::string>& arguments) const {
        std::string command = quoted(LIFELOG_TOOL_PATH);
        for (const std::string& argument : arguments) command += " " + quoted(argument);
        const auto out = root_ / "tool.out", err = root_ / "tool.err";
        command += " </dev/null >" + quoted(out.string()) + " 2>" + quoted(err.string());
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }
    void logCall(const std::string& number, const std::string& duration, const std::string& when) {
        Outcome run =
            tool({"log", "call", "--number", number, "--duration", duration, "--time", when});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    std::string calls() const {
        return queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_CALL")[0][0];
    }
};

// What a target is before the write, made under the test's root.
enum class Target { Absent, RegularFile, Fifo, Folder, Device, Database, DatabaseLink, Journal };

TEST_F(DoorsTest, WritesReplaceOnlyAnAbsentOrRegularFileThatIsNotTheDatabase) {
    ASSERT_EQ(tool({"config", "--on", "call"}).status, 0);
    logCall("+15550001", "42", "2024-03-01 10:00:00");
    const std::filesystem::path database = hostPath(kDbPath);
    const struct {
        Target target;
        bool written;
        const char* said = "";  // on standard error when refused
    } cases[] = {
        {.target = Target::Absent, .written = true},
        {.target = Target::RegularFile, .written = true},
        {.target = Target::Fifo, .written = false, .said = "it is a FIFO"},
        {.target = Target::Folder, .written = false, .said = "it is a folder"},
        {.target = Target::Device, .written = false, .said = "it is a device"},
        {.target = Target::Database, .written = false, .said = "the lifelog database"},
        {.target = Target::DatabaseLink, .written = false, .said = "the lifelog database"},
        {.target = Target::Journal, .written = false, .said = "the lifelog database"},
    };
    for (const bool report : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(report ? "report " : "export ") +
                         std::to_string(static_cast<int>(c.target)));
            const std::filesystem::path made = root_ / "out";
            std::filesystem::remove_all(made);
            std::filesystem::path target = made;
            if (c.target == Target::RegularFile)
                std::ofstream(made) << "old";
            if (c.target == Target::Fifo) {
                ASSERT_EQ(mkfifo(made.c_str(), 0600), 0);
            }
            if (c.target == Target::Folder)
                std::filesystem::create_directory(made);
            // A twin of /dev/null made here: the old code replaced its target.
            if (c.target == Target::Device &&
                mknod(made.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                continue;  // not allowed to make devices
            }
            if (c.target == Target::Database)
                target = database;
            if (c.target == Target::DatabaseLink)
                std::filesystem::create_hard_link(database, made);
            if (c.target == Target::Journal) {
                target = database.string() + "-journal";
                std::ofstream empty(target);  // no journal to roll back
            }
            Outcome run = report ? tool({"report", "--html", target.string()})
                                 : tool({"export", "call", target.string()});
            EXPECT_EQ(run.status == 0, c.written) << run.out << run.err;
            EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
            EXPECT_EQ(calls(), "1") << "the database is intact";
            if (c.written) {
                EXPECT_NE(slurp(target).find(report ? "<html" : "<calls"), std::string::npos);
            }
            if (c.target == Target::Fifo) {
                EXPECT_TRUE(std::filesystem::is_fifo(made));
            }
            if (c.target == Target::Journal)
                std::filesystem::remove(target);
            // No temporary file is left beside the target.
            for (const auto& entry : std::filesystem::directory_iterator(root_))
                EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
        }
    }
}

TEST_F(DoorsTest, APlantedPartLinkRedirectsNothingAndStandardOutputIsADash) {
    ASSERT_EQ(tool({"config", "--on", "call"}).status, 0);
    logCall("+15550001", "42", "2024-03-01 10:00:00");
    const std::filesystem::path victim = root_ / "victim", target = root_ / "calls.xml";
    std::ofstream(victim) << "precious";
    std::filesystem::create_symlink(victim, target.string() + ".part");
    Outcome run = tool({"export", "call", target.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(slurp(victim), "precious");
    EXPECT_NE(slurp(target).find("+15550001"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(target.string() + ".part"));

    run = tool({"export", "call", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("<?xml", 0), 0u) << run.out;
    EXPECT_FALSE(std::filesystem::exists("-"));

    run = tool({"report", "--html", (root_ / "no-such-folder" / "r.html").string()});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("no-such-folder"), std::string::npos) << run.err;
}

TEST_F(DoorsTest, ASumThatCannotBeTheTotalIsNeverPrinted) {
    ASSERT_EQ(tool({"config", "--on", "call"}).status, 0);
    logCall("+1", "2147483647", "2024-03-01 10:00:00");
    logCall("+2", "2147483647", "2024-03-01 10:00:01");
    logCall("+3", "20", "2024-03-01 10:00:02");
    execSql(kDbPath,
            "INSERT INTO ACTIVITY_CALL (CLOG_PHONE_NUMBER, CLOG_DURATION, CLOG_TIMESTAMP) "
            "VALUES ('+4', NULL, '2024-03-01 10:00:03')");  // in no total, in no average
    const struct {
        std::vector<std::string> where;
        std::string printed;  // empty: refused
    } cases[] = {
        {.where = {}, .printed = ""},
        {.where = {"--where", "CLOG_DURATION < 100"}, .printed = "20\n"},
        {.where = {"--where", "CLOG_PHONE_NUMBER IN ('+1', '+4')"}, .printed = "2147483647\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"sum", "call", "duration"};
        arguments.insert(arguments.end(), c.where.begin(), c.where.end());
        Outcome run = tool(arguments);
        SCOPED_TRACE(run.out + run.err);
        EXPECT_EQ(run.status == 0, !c.printed.empty());
        EXPECT_EQ(run.out, c.printed);
        if (c.printed.empty()) {
            EXPECT_NE(run.err.find("does not fit the library's 32-bit result"), std::string::npos);
        }
    }
}

TEST_F(DoorsTest, ExportNamesAStoredTimeThatIsNoTimeAndMovesItNowhere) {
    ASSERT_EQ(tool({"config", "--on", "call"}).status, 0);
    logCall("+15550001", "42", "2024-03-01 10:00:00");
    execSql(kDbPath,
            "INSERT INTO ACTIVITY_CALL (CLOG_PHONE_NUMBER, CLOG_DURATION, CLOG_TIMESTAMP) "
            "VALUES ('+15550002', 5, '2024-13-45 99:99:99')");
    Outcome run = tool({"export", "call", (root_ / "calls.xml").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string written = slurp(root_ / "calls.xml");
    EXPECT_NE(written.find("+15550001"), std::string::npos);
    EXPECT_EQ(written.find("+15550002"), std::string::npos) << written;
    EXPECT_NE((run.out + run.err).find("2024-13-45 99:99:99"), std::string::npos)
        << run.out << run.err;
}

}  // namespace
