// The shared test fixture: every test runs under a fresh temporary platform
// root, with the platform log captured and a leak check at the end.  It brings
// the platform's headers and the standard headers the tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "zbase_host.h"
#include "zbase_testing.h"

struct LogLine {
    int module;
    int level;
    std::string function;
    int line;
    std::string text;
};

// Polls `done` about every millisecond for up to `ms`; its last answer.
template <class Done>
bool eventually(Done done, int ms = 10000) {
    for (int i = 0; i < ms && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Rows as SQLite reads them, each a list of cells.
using Rows = std::vector<std::vector<std::string>>;

inline constexpr int kTrace = 31;
inline constexpr int kError = 254;

class LifelogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Host path of a platform path ("/SystemRW/...") under this test's root.
    std::filesystem::path hostPath(std::string_view platformPath) const;
    // Writes "/System/Lifelog/lifelogconf.ini" with the given text.
    void writeConfig(std::string_view text) const;
    // Writes any platform file, making its folders.
    void writeFile(std::string_view platformPath, std::string_view text) const;

    // Captured log lines, in the order they were written (all threads).
    std::vector<LogLine> logLines() const;
    void clearLog();
    // Lines whose level and text match exactly (module and function too when given).
    int countLog(int level, std::string_view text, std::optional<int> module = std::nullopt,
                 std::optional<std::string_view> function = std::nullopt) const;
    bool hasLog(int level, std::string_view text, std::optional<int> module = std::nullopt,
                std::optional<std::string_view> function = std::nullopt) const {
        return countLog(level, text, module, function) > 0;
    }
    // The captured lines of one level as "function|text", for whole-sequence asserts.
    std::vector<std::string> logTexts(int level) const;

    // Reads a platform database file with SQLite itself; NULL comes back as "<null>".
    Rows queryRows(std::string_view platformDbPath, std::string_view sql) const;
    // Runs one or more statements on a platform database file with SQLite itself.
    void execSql(std::string_view platformDbPath, std::string_view sql) const;

    std::filesystem::path root_;

private:
    struct sqlite3* openSql(std::string_view platformDbPath, int flags) const;
    static void onLog(void* context, int module, int level, const char* function, int line,
                      const char* text);
    mutable std::mutex logMutex_;
    std::vector<LogLine> log_;
};

inline constexpr const char* kDbPath = "/SystemRW/Lifelog/Database/lifelog.db";
inline constexpr const char* kConfigPath = "/System/Lifelog/lifelogconf.ini";
