// Storage faults while the service runs: the database file deleted,
// replaced or corrupted, the disk full, the folder read-only.  Each fault
// gives error lines and no row, never a crash or a leak, and logging
// resumes once the fault is gone.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "running_service.h"

namespace {

namespace fs = std::filesystem;

class StorageFaultTest : public RunningServiceTest {
protected:
    const char* configuration() const override {
        return "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\n";
    }
    // "2024-01-01 00:00:SS", the time stamp of everything logged in one second.
    static std::string when(int second) {
        return "2024-01-01 00:00:" + std::string(second < 10 ? "0" : "") + std::to_string(second);
    }
    // One message through the service, one call logged directly; each
    // with its own second.
    void logBoth(int second) {
        unsigned int err = 0;
        ZbasePi_deliverMessage("+100", 1, 0, "hi", -1, -1, -1, -1,
                               DateTime{2024, 1, 1, 0, 0, second, 0}, &err);
        ASSERT_EQ(err, 0u);
        ASSERT_TRUE(Event_waitIdle(60000));
        _Lifelog_CallActivityLogging("+200", 1, 0, 0, -1, -1, -1, -1, when(second).c_str());
    }
    // Whether the message and the call of one second are stored, as
    // "message/call" (1 or 0 each).
    std::string stored(int second) const {
        return queryRows(kDbPath, "WITH w(t) AS (SELECT '" + when(second) +
                                      "') SELECT (SELECT COUNT(*) FROM ACTIVITY_MESSAGE, w WHERE "
                                      "MSGLOG_TIMESTAMP = t) || '/' || (SELECT COUNT(*) FROM "
                                      "ACTIVITY_CALL, w WHERE CLOG_TIMESTAMP = t)")[0][0];
    }

    void removeDatabase() const {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(hostPath(std::string(kDbPath) + suffix));
    }
};

TEST_F(StorageFaultTest, DeletedReplacedAndCorruptedFiles) {
    const struct {
        const char* fault;
        void (*apply)(const fs::path& file);  // after the file was removed
        const char* afterFault = "";          // the second logged after the fault; "" unreadable
        bool removeToRepair = false;
    } cases[] = {
        // The direct call makes the file anew; the service's handle finds it again.
        {.fault = "deleted", .apply = [](const fs::path&) {}, .afterFault = "0/1"},
        {.fault = "replaced by an empty database",
         .apply =
             [](const fs::path&) {
                 unsigned int err = 0;
                 DBHandle_delete(DBHandle_new(kDbPath, 500, &err));
             },
         .afterFault = "1/1"},
        {.fault = "overwritten with garbage",
         .apply = [](const fs::path& file) { std::ofstream(file) << std::string(8192, 'g'); },
         .removeToRepair = true},
    };
    int second = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        logBoth(++second);
        ASSERT_EQ(stored(second), "1/1");
        removeDatabase();
        c.apply(hostPath(kDbPath));
        clearLog();
        logBoth(++second);
        EXPECT_FALSE(logTexts(kError).empty()) << "the fault is reported";
        if (c.removeToRepair) {
            removeDatabase();
            logBoth(++second);  // the message finds no file, the call makes it anew
            EXPECT_EQ(stored(second), "0/1");
        } else {
            EXPECT_EQ(stored(second), c.afterFault);
        }
        logBoth(++second);
        EXPECT_EQ(stored(second), "1/1") << "logging resumed";
    }
}

// A disk that is full for a while: writes fail with a clear line and store
// nothing; once there is room again, logging goes on.  The process's file
// size limit stands in for the full disk, so that it works without a mount.
TEST_F(StorageFaultTest, FullDiskStoresNothingAndRecovers) {
    logBoth(1);
    ASSERT_EQ(stored(1), "1/1");
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit full = before;
    full.rlim_cur = 0;
    clearLog();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    for (int second = 2; second < 6; ++second) logBoth(second);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    signal(SIGXFSZ, SIG_DFL);
    const std::vector<std::string> errors = logTexts(kError);
    EXPECT_FALSE(errors.empty()) << "a full disk is reported";
    std::string whileFull;
    for (int second = 2; second < 6; ++second) whileFull += stored(second) + " ";
    logBoth(10);
    logBoth(11);
    EXPECT_EQ(stored(10) + " " + stored(11), "1/1 1/1")
        << "after the disk had room again (while full: " << whileFull << ")";
    EXPECT_EQ(queryRows(kDbPath, "PRAGMA integrity_check"), (Rows{{"ok"}}));
}

TEST_F(StorageFaultTest, ReadOnlyFolderStoresNothingAndRecovers) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    logBoth(1);
    const fs::path folder = hostPath(kDbPath).parent_path();
    fs::permissions(hostPath(kDbPath), fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);
    clearLog();
    logBoth(2);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    fs::permissions(hostPath(kDbPath), fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    EXPECT_FALSE(logTexts(kError).empty());
    logBoth(3);
    EXPECT_EQ(stored(3).substr(2), "1");
}

}  // namespace
