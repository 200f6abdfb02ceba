#include "fixture.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <fstream>

#include "zbase_testing.h"

namespace fs = std::filesystem;

void LifelogTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "lifelog-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    setenv("ZBASE_ROOT", root_.c_str(), 1);
    Mem_failAfter(0);
    ZbaseLog_setHook(&LifelogTest::onLog, this);
}

void LifelogTest::TearDown() {
    ZbaseLog_setHook(nullptr, nullptr);
    Mem_failAfter(0);
    long live = Mem_getLiveCount();
    if (live != 0)
        Mem_printLive(stderr);
    EXPECT_EQ(live, 0) << "tracked blocks still alive at the end of the test";
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    unsetenv("ZBASE_ROOT");
}

fs::path LifelogTest::hostPath(std::string_view platformPath) const {
    while (!platformPath.empty() && platformPath.front() == '/') platformPath.remove_prefix(1);
    return root_ / platformPath;
}

void LifelogTest::writeFile(std::string_view platformPath, std::string_view text) const {
    fs::path path = hostPath(platformPath);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void LifelogTest::writeConfig(std::string_view text) const {
    writeFile(kConfigPath, text);
}

void LifelogTest::onLog(void* context, int module, int level, const char* function, int line,
                        const char* text) {
    auto* self = static_cast<LifelogTest*>(context);
    std::lock_guard<std::mutex> lock(self->logMutex_);
    self->log_.push_back(LogLine{module, level, function ? function : "", line, text ? text : ""});
}

std::vector<LogLine> LifelogTest::logLines() const {
    std::lock_guard<std::mutex> lock(logMutex_);
    return log_;
}

void LifelogTest::clearLog() {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_.clear();
}

int LifelogTest::countLog(int level, std::string_view text, std::optional<int> module,
                          std::optional<std::string_view> function) const {
    std::lock_guard<std::mutex> lock(logMutex_);
    int count = 0;
    for (const LogLine& line : log_)
        count += line.level == level && line.text == text && (!module || line.module == *module) &&
                 (!function || line.function == *function);
    return count;
}

std::vector<std::string> LifelogTest::logTexts(int level) const {
    std::lock_guard<std::mutex> lock(logMutex_);
    std::vector<std::string> texts;
    for (const LogLine& line : log_)
        if (line.level == level)
            texts.push_back(line.function + "|" + line.text);
    return texts;
}

// Opens a platform database file with SQLite itself, waiting up to 5 s for a lock.
sqlite3* LifelogTest::openSql(std::string_view platformDbPath, int flags) const {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(hostPath(platformDbPath).c_str(), &db, flags, nullptr) == SQLITE_OK)
        sqlite3_busy_timeout(db, 5000);
    return db;
}

Rows LifelogTest::queryRows(std::string_view platformDbPath, std::string_view sql) const {
    Rows rows;
    sqlite3* db = openSql(platformDbPath, SQLITE_OPEN_READONLY);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, std::string(sql).c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        ADD_FAILURE() << "cannot read " << platformDbPath << " with " << sql << ": "
                      << sqlite3_errmsg(db);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const unsigned char* value = sqlite3_column_text(stmt, i);
            row.emplace_back(value ? reinterpret_cast<const char*>(value) : "<null>");
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

void LifelogTest::execSql(std::string_view platformDbPath, std::string_view sql) const {
    sqlite3* db = openSql(platformDbPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (sqlite3_exec(db, std::string(sql).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        ADD_FAILURE() << "cannot run " << sql << " on " << platformDbPath << ": "
                      << sqlite3_errmsg(db);
    sqlite3_close(db);
}
