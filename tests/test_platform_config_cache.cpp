// The configuration file's parsed contents are kept between opens: every
// change to the file must still be seen by the next open, however soon it
// follows, and the skipped lines are logged at every open.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "zbase.h"

namespace {

using Path = std::filesystem::path;

void writeHostFile(const Path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string text(const char* value) {
    return std::string("[ACTIVITY]\nACTIVITY_CALL = ") + value + "\nno setting\n";
}

class PlatformConfigCacheTest : public LifelogTest {
protected:
    // ACTIVITY_CALL as read by a new open, or "<code>".
    std::string call() {
        unsigned int err = 0;
        Registry* registry = _Registry_openInternal(kConfigPath, 0, &err);
        if (registry == nullptr)
            return "<open " + std::to_string(err) + ">";
        char buffer[64] = {};
        Registry_getValue(registry, "ACTIVITY", "ACTIVITY_CALL", 3, buffer, sizeof buffer, &err);
        Registry_close(registry, 0, nullptr);
        return err != 0 ? "<" + std::to_string(err) + ">" : std::string(buffer);
    }
    size_t skippedLines() const {
        size_t count = 0;
        for (const LogLine& line : logLines())
            count += line.text.find("line skipped") != std::string::npos ? 1 : 0;
        return count;
    }
};

TEST_F(PlatformConfigCacheTest, EveryChangeIsSeenBeforeAndAfterTheFileSettles) {
    const Path file = hostPath(kConfigPath);
    const Path other = file.string() + ".new";
    const struct {
        const char* name;
        bool settle;  // let the file's times fall two seconds behind first
        void (*change)(const Path& file, const Path& other);
        std::string expected;
    } cases[] = {
        {.name = "same size at once",
         .settle = false,
         .change = [](const Path& f, const Path&) { writeHostFile(f, text("fals")); },
         .expected = "fals"},
        {.name = "same size after settling",
         .settle = true,
         .change = [](const Path& f, const Path&) { writeHostFile(f, text("fals")); },
         .expected = "fals"},
        {.name = "replaced by another file",
         .settle = true,
         .change =
             [](const Path& f, const Path& o) {
                 writeHostFile(o, text("nope"));
                 std::filesystem::rename(o, f);
             },
         .expected = "nope"},
        {.name = "removed",
         .settle = true,
         .change = [](const Path& f, const Path&) { std::filesystem::remove(f); },
         .expected = "<open 31>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeConfig(text("true"));
        EXPECT_EQ(call(), "true");
        if (c.settle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2100));
            EXPECT_EQ(call(), "true");  // kept from here on
            EXPECT_EQ(call(), "true");
        }
        const size_t before = skippedLines();
        EXPECT_EQ(call(), "true");
        EXPECT_EQ(skippedLines(), before + 1);  // logged again from the kept contents
        c.change(file, other);
        EXPECT_EQ(call(), c.expected);
    }
}

}  // namespace
