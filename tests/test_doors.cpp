// The tool's front doors tried as a careless or hostile user would: files
// it is told to write that must not be destroyed, totals that cannot be
// the truth, stored times that are not times.  The tool runs through the
// test runner (tool_run.h) under the test's platform root.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "fixture.h"
#include "tool_run.h"

namespace {

using Outcome = ToolRun;

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DoorsTest : public LifelogTest {
protected:
    // `prefix` runs the tool through another program (setpriv).
    Outcome tool(const std::vector<std::string>& arguments,
                 const std::vector<std::string>& prefix = {}) const {
        if (prefix.empty()) {
            return runTool(arguments);
        }
        ToolOptions options;
        options.program = prefix.front();
        std::vector<std::string> words(prefix.begin() + 1, prefix.end());
        words.push_back(toolPath());
        words.insert(words.end(), arguments.begin(), arguments.end());
        return runTool(words, options);
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

// Makes the target at `made` (or picks the database's own files); empty
// when the target cannot be made here.
std::filesystem::path prepare(Target kind, const std::filesystem::path& made,
                              const std::filesystem::path& database) {
    std::filesystem::remove_all(made);
    switch (kind) {
        case Target::RegularFile:
            std::ofstream(made) << "old";
            break;
        case Target::Fifo:
            EXPECT_EQ(mkfifo(made.c_str(), 0600), 0);
            break;
        case Target::Folder:
            std::filesystem::create_directory(made);
            break;
        case Target::Device:  // a twin of /dev/null: the old code replaced its target
            return mknod(made.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? made : "";
        case Target::Database:
            return database;
        case Target::DatabaseLink:
            std::filesystem::create_hard_link(database, made);
            break;
        case Target::Journal:
            std::ofstream(database.string() + "-journal").flush();  // no journal to roll back
            return database.string() + "-journal";
        case Target::Absent:
            break;
    }
    return made;
}

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
            const std::filesystem::path target = prepare(c.target, made, database);
            if (target.empty())
                continue;  // not allowed to make devices
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

// Permissions do not bind the superuser, so as root the tool runs as
// nobody over a root that nobody owns.
std::vector<std::string> unprivileged(const std::filesystem::path& root) {
    if (geteuid() != 0)
        return {};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        EXPECT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
    EXPECT_EQ(chown(root.c_str(), 65534, 65534), 0);
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}

TEST_F(DoorsTest, AReadOnlyDatabaseSaysWhichFileOrFolderAndWhatToDo) {
    ASSERT_EQ(tool({"config", "--on", "call"}).status, 0);
    logCall("+15550001", "42", "2024-03-01 10:00:00");
    const std::filesystem::path file = hostPath(kDbPath), folder = file.parent_path();
    const std::vector<std::string> as = unprivileged(root_);
    using P = std::filesystem::perms;
    using Command = std::vector<std::string>;
    const Command logging{"log", "call", "--number", "+15550002", "--duration", "1"};
    // A read needs the folder (for the journal's companions) but not the
    // file; the engine's code of a failed read is said in words too.
    const struct {
        std::filesystem::path locked;
        P readOnly;
        P writable;
        std::vector<Command> refused;
        std::string said;
    } cases[] = {
        {folder,
         P::owner_read | P::owner_exec,
         P::owner_all,
         {logging, {"count", "call"}},
         "the database folder " + folder.string() + " is read-only"},
        {file,
         P::owner_read,
         P::owner_read | P::owner_write,
         {logging},
         "the database file " + file.string() + " is read-only"},
    };
    for (const auto& c : cases) {
        std::filesystem::permissions(c.locked, c.readOnly, std::filesystem::perm_options::replace);
        for (const Command& command : c.refused) {
            Outcome run = tool(command, as);
            SCOPED_TRACE(command[0] + ": " + run.out + run.err);
            EXPECT_NE(run.status, 0);
            EXPECT_NE(run.err.find(c.said), std::string::npos);
            EXPECT_NE(run.err.find("make it writable (chmod u+w " + c.locked.string() +
                                   ") and run it again"),
                      std::string::npos);
        }
        std::filesystem::permissions(c.locked, c.writable, std::filesystem::perm_options::replace);
        EXPECT_EQ(calls(), "1");
    }
}

}  // namespace
