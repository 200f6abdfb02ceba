// The configuration reader as an unlucky user meets it: a typo, a long
// comment, a long value, Windows line ends, a folder where the file should
// be; every maximum row count the file can hold, down to the trimming it
// causes; and the parsed contents kept between opens, which must never hide
// a change to the file, however soon it follows, nor the skipped lines.
#include "fixture.h"
#include "zkivLifelog.h"

namespace {

class PlatformConfigTest : public LifelogTest {
protected:
    // The value of a key read by a new open, as text (type 3) or as a 32-bit
    // number (type 1, shown as text) into `size` bytes; "<code>" when the
    // read failed.
    std::string value(const char* section = "ACTIVITY", const char* key = "ACTIVITY_CALL",
                      int type = 3, int size = 8192) {
        unsigned int err = 0;
        Registry* registry = _Registry_openInternal(kConfigPath, 0, &err);
        if (registry == nullptr)
            return "<open " + std::to_string(err) + ">";
        std::string buffer(8192, '#');
        Registry_getValue(registry, section, key, type, buffer.data(), size, &err);
        Registry_close(registry, 0, nullptr);
        int32_t number = 0;
        std::memcpy(&number, buffer.data(), sizeof number);
        return err != 0    ? "<" + std::to_string(err) + ">"
               : type == 3 ? buffer.substr(0, buffer.find('\0'))
                           : std::to_string(number);
    }
    // The platform's own error lines (module 1).
    std::vector<std::string> platformErrors() const {
        std::vector<std::string> lines;
        for (const LogLine& line : logLines())
            if (line.module == 1 && line.level == kError)
                lines.push_back(line.text);
        return lines;
    }
};

const std::string kFile = "/System/Lifelog/lifelogconf.ini";

TEST_F(PlatformConfigTest, BadLinesAreSkippedAndNamedTheRestIsRead) {
    const std::string longComment = "; " + std::string(4000, 'c');
    const std::string longValue(4000, 'v');
    std::string junk;
    std::vector<std::string> junkErrors;
    for (int line = 1; line <= 25000; ++line) junk += "junk\n";
    for (int line = 1; line <= 10; ++line)
        junkErrors.push_back(kFile + ":" + std::to_string(line) +
                             ": not a section, key = value or comment; line skipped");
    junkErrors.push_back(kFile + ": 24990 more lines skipped");
    const struct {
        std::string text;
        std::string call, message;  // ACTIVITY_CALL and ACTIVITY_MESSAGE as read
        std::vector<std::string> errors = {};
    } cases[] = {
        {.text = "[ACTIVITY]\nACTIVITY_CALL = true\nthis is no setting\nACTIVITY_MESSAGE = true\n",
         .call = "true",
         .message = "true",
         .errors = {kFile + ":3: not a section, key = value or comment; line skipped"}},
        {.text = longComment + "\n[ACTIVITY]\nACTIVITY_CALL=" + longValue + "\n",
         .call = longValue,
         .message = "<44>"},
        {.text = "[ACTIVITY]\n; " + std::string(4095, 'x') + "\nACTIVITY_CALL=true\n",
         .call = "true",
         .message = "<44>",
         .errors = {kFile + ":2: line longer than 4096 bytes skipped"}},
        {.text = "\xEF\xBB\xBF[ACTIVITY]\r\n  ACTIVITY_CALL = on ; "
                 "comment\r\n\tACTIVITY_MESSAGE:x;y\r\n",
         .call = "on",
         .message = "x;y"},
        {.text = "[ACTIVITY\nACTIVITY_CALL=true\n= nameless\n[ACTIVITY]\nACTIVITY_MESSAGE=1",
         .call = "<44>",  // it went to the unnamed section before the first header
         .message = "1",
         .errors = {kFile + ":1: not a section, key = value or comment; line skipped",
                    kFile + ":3: not a section, key = value or comment; line skipped"}},
        // A file of junk names its first ten bad lines and counts the rest.
        {.text = junk + "[ACTIVITY]\nACTIVITY_CALL=true\n",
         .call = "true",
         .message = "<44>",
         .errors = junkErrors},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        writeConfig(c.text);
        clearLog();
        EXPECT_EQ(value("ACTIVITY", "ACTIVITY_MESSAGE"), c.message);
        EXPECT_EQ(platformErrors(), c.errors);
        EXPECT_EQ(value(), c.call);
    }
}

TEST_F(PlatformConfigTest, SectionsKeysAndTypes) {
    writeConfig(
        "; settings\n[ACTIVITY]\nACTIVITY_CALL = TRUE ; note\nLONG=abcdefghij\nNEGATIVE=-7\n"
        "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = 25\nWORD=twelve\n");
    const char *activity = "ACTIVITY", *limits = "ACTIVITY_CONFIG", *max = "MAX_COUNT_PER_ACTIVITY";
    const struct {
        const char* section;
        const char* key;
        int type, size;
        const char* value;
    } cases[] = {
        {.section = activity, .key = "ACTIVITY_CALL", .type = 3, .size = 64, .value = "TRUE"},
        {.section = activity, .key = "LONG", .type = 3, .size = 5, .value = "abcd"},  // cut, ended
        {.section = activity, .key = "NEGATIVE", .type = 1, .size = 4, .value = "-7"},
        {.section = activity, .key = "ACTIVITY_MESSAGE", .type = 3, .size = 64, .value = "<44>"},
        {.section = limits, .key = max, .type = 1, .size = 4, .value = "25"},
        {.section = limits, .key = "WORD", .type = 1, .size = 4, .value = "<11>"},
        {.section = limits, .key = max, .type = 1, .size = 2, .value = "<4>"},
        {.section = "MISSING", .key = "ACTIVITY_CALL", .type = 3, .size = 64, .value = "<25>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(value(c.section, c.key, c.type, c.size), c.value) << c.section << "/" << c.key;
}

TEST_F(PlatformConfigTest, MissingAndUnreadableFilesSayDifferentThings) {
    clearLog();
    EXPECT_EQ(value(), "<open 31>");
    EXPECT_EQ(platformErrors(), std::vector<std::string>{}) << "no file is an ordinary state";
    std::filesystem::create_directories(hostPath(kConfigPath));
    EXPECT_EQ(value(), "<open 13>");
    EXPECT_EQ(platformErrors(),
              std::vector<std::string>{kFile + ": configuration path is there but is not a file"});
}

// Whatever maximum the file holds, trimming stays defined and each write
// leaves the table as documented: below 1 keeps the newest row only.
TEST_F(PlatformConfigTest, EveryMaximumTrimsAsDocumented) {
    const struct {
        const char* maximum;
        int32_t read;
        const char* after;  // rows after three writes
    } cases[] = {
        {.maximum = "0", .read = 0, .after = "1"},
        {.maximum = "1", .read = 1, .after = "1"},
        {.maximum = "2", .read = 2, .after = "2"},
        {.maximum = "-1", .read = -1, .after = "1"},
        {.maximum = "-2147483648", .read = INT32_MIN, .after = "1"},
        {.maximum = "2147483647", .read = INT32_MAX, .after = "3"},
        // Not a 32-bit number.
        {.maximum = "2147483648", .read = 500, .after = "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maximum);
        std::filesystem::remove(hostPath(kDbPath));
        writeConfig(std::string("[ACTIVITY]\nACTIVITY_MESSAGE=true\n[ACTIVITY_CONFIG]\n"
                                "MAX_COUNT_PER_ACTIVITY=") +
                    c.maximum + "\n");
        EXPECT_EQ(_Lifelog_getMaxlogNumPerActivity(), c.read);
        for (const char* when :
             {"2024-01-01 10:00:00", "2024-01-01 10:00:01", "2024-01-01 10:00:02"}) {
            _Lifelog_MsgActivityLogging("+100", 1, 0, "hello", -1, -1, -1, -1, when);
        }
        EXPECT_EQ(queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_MESSAGE"), (Rows{{c.after}}));
        if (std::string(c.after) == "1") {
            EXPECT_EQ(queryRows(kDbPath, "SELECT MSGLOG_TIMESTAMP FROM ACTIVITY_MESSAGE"),
                      (Rows{{"2024-01-01 10:00:02"}}))
                << "the newest row stays";
        }
    }
}

TEST_F(PlatformConfigTest, EveryChangeIsSeenBeforeAndAfterTheFileSettles) {
    const std::filesystem::path file = hostPath(kConfigPath), other = file.string() + ".new";
    const auto write = [](const std::filesystem::path& path, const char* call) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            << "[ACTIVITY]\nACTIVITY_CALL = " << call << "\nno setting\n";
    };
    const struct {
        const char* name;
        bool settle = true;  // let the file's times fall two seconds behind first
        std::function<void()> change;
        std::string expected;
    } cases[] = {
        {.name = "same size at once",
         .settle = false,
         .change = [&] { write(file, "fals"); },
         .expected = "fals"},
        {.name = "same size after settling",
         .change = [&] { write(file, "fals"); },
         .expected = "fals"},
        {.name = "replaced by another file",
         .change = [&] { write(other, "nope"), std::filesystem::rename(other, file); },
         .expected = "nope"},
        {.name = "removed",
         .change = [&] { std::filesystem::remove(file); },
         .expected = "<open 31>"},
    };
    writeConfig("");  // the folders
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(file, "true");
        EXPECT_EQ(value(), "true");
        if (c.settle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2100));
            EXPECT_EQ(value(), "true");  // kept from here on
            EXPECT_EQ(value(), "true");
        }
        clearLog();
        EXPECT_EQ(value(), "true");
        // The skipped line is logged again from the kept contents.
        EXPECT_EQ(platformErrors(),
                  std::vector<std::string>{
                      kFile + ":3: not a section, key = value or comment; line skipped"});
        c.change();
        EXPECT_EQ(value(), c.expected);
    }
}

}  // namespace
