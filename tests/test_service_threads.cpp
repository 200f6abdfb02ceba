// The lifelog service end to end, the way the platform runs it: the class
// registered with the component registry, the server start, notifications
// delivered by the notification component on its own thread, rows written on
// the thread "Lifelogging", the server stop.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "zbase_host.h"
#include "zbase_testing.h"
#include "zkivLifelogCommon.h"
#include "zkivLifelogServer.h"
#include "zkivLifeloggingServiceImpl.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kConfigAll =
    "[ACTIVITY]\n"
    "ACTIVITY_CALL = true\n"
    "ACTIVITY_MESSAGE = true\n"
    "[ACTIVITY_CONFIG]\n"
    "MAX_COUNT_PER_ACTIVITY = 5000\n";

constexpr int kWaitMs = 60000;

// A distinct time stamp per (day, running number).
DateTime stamp(int day, int n) {
    return DateTime{2024, 5, day, n / 3600, (n / 60) % 60, n % 60, 0};
}

std::string text(const DateTime& t) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
             t.minute, t.second);
    return buffer;
}

bool waitFor(bool (*condition)(), int timeoutMs = kWaitMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool registered() { return ZbasePi_isRegistered() != 0; }

class ServiceTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 0;
        Com_registerClass(&CLSID_LifeloggingService, Dll_getFactory, &err);
        ASSERT_EQ(err, 0u);
        writeConfig(kConfigAll);
    }
    void TearDown() override {
        ZKivLifelogServer_finalize();
        EXPECT_EQ(ZbasePi_isRegistered(), 0);
        LifelogTest::TearDown();
    }

    void startServer() {
        ZKivLifelogServer_initialize();
        ASSERT_NE(g_pILifeloggingService, nullptr);
        ASSERT_TRUE(waitFor(registered)) << "the controller never registered";
    }

    static unsigned int deliverMessage(const char* phone, const char* summary, DateTime when) {
        unsigned int err = 99;
        ZbasePi_deliverMessage(phone, 1, 0, summary, 11, 22, 33, 44, when, &err);
        return err;
    }

    static ILifeloggingService* newService() {
        unsigned int err = 0;
        auto* service = static_cast<ILifeloggingService*>(
            Com_createInstance(&CLSID_LifeloggingService, &IID_ILifeloggingService, &err));
        EXPECT_EQ(err, 0u);
        return service;
    }

    Rows messages() const {
        return queryRows(kDbPath,
                         "SELECT MSGLOG_PHONE_NUMBER, MSGLOG_SUMMARY, MSGLOG_TIMESTAMP "
                         "FROM ACTIVITY_MESSAGE ORDER BY LOG_KEY");
    }
};

// Registered once per process through the module path, as the platform
// loads component libraries.
TEST_F(ServiceTest, ServerStartThroughTheModuleWritesNotificationsAsRows) {
    unsigned int err = 0;
    Com_registerModule(&CLSID_LifeloggingService, LIFELOG_LIBRARY_PATH, &err);
    ASSERT_EQ(err, 0u);
    startServer();
    ASSERT_EQ(g_pILifeloggingService->ops->getStatus(g_pILifeloggingService),
              LIFELOG_SERVICE_RUNNING);
    EXPECT_TRUE(hasLog(kTrace, "is called", 10, "ActivityEventController_init"));

    const DateTime t1{2024, 1, 2, 3, 4, 5, 0};
    const DateTime t2{2024, 1, 2, 3, 4, 6, 0};
    const DateTime t3{2024, 1, 2, 3, 4, 7, 0};
    // A call of duration 0 keeps its own time stamp; one with a positive
    // duration and a known direction gets the database's time.
    ZbasePi_deliverCall("0101", 9, 0, 7, 1, 2, 3, 4, t1, &err);
    EXPECT_EQ(err, 0u);
    ZbasePi_deliverCall("0202", 1, 30, -1, 5, 6, 7, 8, t2, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(deliverMessage("0303", "hello there", t3), 0u);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));

    Rows calls = queryRows(kDbPath,
                           "SELECT CLOG_PHONE_NUMBER, CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, "
                           "CLOG_CELLID, CLOG_LAC, CLOG_MCC, CLOG_MNC, CLOG_NAME, LOCATION, "
                           "CLOG_TIMESTAMP = '2024-01-02 03:04:06' FROM ACTIVITY_CALL "
                           "ORDER BY LOG_KEY");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"0101", "0", "0", "0", "1", "2", "3", "4",
                                                  "<null>", "<null>", "0"}));
    EXPECT_EQ(calls[1], (std::vector<std::string>{"0202", "1", "30", "-1", "5", "6", "7", "8",
                                                  "<null>", "<null>", "0"}));
    EXPECT_EQ(queryRows(kDbPath, "SELECT CLOG_TIMESTAMP FROM ACTIVITY_CALL ORDER BY LOG_KEY")[0],
              std::vector<std::string>{text(t1)});
    EXPECT_EQ(messages(), (Rows{{"0303", "hello there", text(t3)}}));
    EXPECT_EQ(countLog(kTrace, "is called", 10, "__ZLifelog_eventHandler"), 3);
    EXPECT_EQ(countLog(kError, "[E_SUCCESS] Propagated: ZLifelogger_log is failed"), 0);

    ZKivLifelogServer_finalize();
    EXPECT_EQ(g_pILifeloggingService, nullptr);
    EXPECT_EQ(ZbasePi_isRegistered(), 0);
    ZbasePi_deliverCall("0404", 0, 0, 0, 0, 0, 0, 0, t1, &err);
    EXPECT_EQ(err, 13u);
    EXPECT_EQ(Mem_getLiveCount(), 0);
}

// Two component callers, back to back: every notification becomes exactly
// one row, none lost, none written twice.
TEST_F(ServiceTest, BackToBackNotificationsFromTwoThreadsAreEachWrittenOnce) {
    startServer();
    constexpr int kPerThread = 1000;
    std::atomic<int> failures{0};
    auto sender = [&](int day) {
        for (int n = 0; n < kPerThread; ++n) {
            std::string phone = std::to_string(day) + "-" + std::to_string(n);
            if (deliverMessage(phone.c_str(), "m", stamp(day, n)) != 0) {
                ++failures;
            }
        }
    };
    std::thread a(sender, 1);
    std::thread b(sender, 2);
    a.join();
    b.join();
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(failures.load(), 0);

    Rows rows = messages();
    ASSERT_EQ(rows.size(), 2u * kPerThread);
    std::set<std::string> seen;
    for (const auto& row : rows) {
        // phone "<day>-<n>" must carry the time stamp it was sent with
        size_t dash = row[0].find('-');
        int day = std::stoi(row[0].substr(0, dash));
        int n = std::stoi(row[0].substr(dash + 1));
        EXPECT_EQ(row[2], text(stamp(day, n))) << row[0];
        seen.insert(row[0]);
    }
    EXPECT_EQ(seen.size(), 2u * kPerThread);
    EXPECT_EQ(countLog(kError, "Event_fire() failed!"), 0);
}

TEST_F(ServiceTest, StatusFollowsRunAndStopAndAStoppedServiceHoldsItsNotifications) {
    ILifeloggingService* service = newService();
    ASSERT_NE(service, nullptr);
    unsigned int err = 99;
    struct Step {
        void (*operation)(ILifeloggingService*, unsigned int*);
        int32_t status;
        int alreadyRunning;  // "the service is already running..." lines so far
    };
    EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_NOT_STARTED);
    service->ops->run(service, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_RUNNING);
    // The controller registers once the thread has handled its actor's start.
    ASSERT_TRUE(waitFor(registered));
    const Step steps[] = {
        {service->ops->run, LIFELOG_SERVICE_RUNNING, 1},
        {service->ops->stop, LIFELOG_SERVICE_STOPPED, 1},
        {service->ops->run, LIFELOG_SERVICE_RUNNING, 1},
        {service->ops->stop, LIFELOG_SERVICE_STOPPED, 1},
    };
    for (const Step& step : steps) {
        step.operation(service, &err);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(service->ops->getStatus(service), step.status);
        EXPECT_EQ(countLog(kTrace, "the service is already running...", 10,
                           "__LifeloggingServiceImpl_run"),
                  step.alreadyRunning);
    }

    // Stopped: the notification is taken and its event fired, but the
    // logging thread holds it until the service runs again.
    EXPECT_EQ(deliverMessage("0505", "held", stamp(3, 1)), 0u);
    EXPECT_EQ(Event_waitIdle(200), 0);
    EXPECT_EQ(messages().size(), 0u);
    service->ops->run(service, &err);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(messages(), (Rows{{"0505", "held", text(stamp(3, 1))}}));
    EXPECT_EQ(service->ops->release(service), 0);
}

// Shutting down a stopped service still writes what it was handed and ends
// its thread.
TEST_F(ServiceTest, ReleasingAStoppedServiceWritesWhatItHoldsAndEnds) {
    startServer();
    unsigned int err = 0;
    g_pILifeloggingService->ops->stop(g_pILifeloggingService, &err);
    EXPECT_EQ(deliverMessage("0606", "first", stamp(4, 1)), 0u);
    // A second notification waits for the first to be taken: deliver it on a
    // thread of its own, then stop the server under it.
    std::thread second([] { deliverMessage("0607", "second", stamp(4, 2)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ZKivLifelogServer_finalize();
    second.join();
    EXPECT_EQ(ZbasePi_isRegistered(), 0);
    Rows rows = messages();
    ASSERT_GE(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "0606");
    EXPECT_EQ(Mem_getLiveCount(), 0);
}

TEST_F(ServiceTest, StopBeforeTheFirstRunThenRunStartsTheThread) {
    ILifeloggingService* service = newService();
    ASSERT_NE(service, nullptr);
    unsigned int err = 99;
    service->ops->stop(service, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_STOPPED);
    service->ops->run(service, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_RUNNING);
    ASSERT_TRUE(waitFor(registered));
    EXPECT_EQ(deliverMessage("0707", "after stop", stamp(5, 1)), 0u);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(service->ops->release(service), 0);
}

TEST_F(ServiceTest, ServicesThatNeverRanOrStoppedBeforeRunningAreReleasedCleanly) {
    for (bool stopFirst : {false, true}) {
        ILifeloggingService* service = newService();
        ASSERT_NE(service, nullptr);
        unsigned int err = 0;
        if (stopFirst) {
            service->ops->stop(service, &err);
        }
        EXPECT_EQ(service->ops->release(service), 0);
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

// A release right after run races the thread's start: whichever comes first,
// the thread ends, the controller is never registered afterwards, nothing
// is left.
TEST_F(ServiceTest, ReleaseRightAfterRunEndsTheThread) {
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        ILifeloggingService* service = newService();
        ASSERT_NE(service, nullptr);
        unsigned int err = 0;
        service->ops->run(service, &err);
        ASSERT_EQ(err, 0u);
        if (round % 5 == 4) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(service->ops->release(service), 0);
        EXPECT_EQ(ZbasePi_isRegistered(), 0);
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

TEST_F(ServiceTest, InitialisingTwiceReplacesTheFirstService) {
    startServer();
    ILifeloggingService* first = g_pILifeloggingService;
    clearLog();
    startServer();
    EXPECT_EQ(countLog(kTrace, "refcount after release = 0", 10,
                       "__LifeloggingServiceImpl_release"),
              1);
    EXPECT_EQ(countLog(kTrace, "is called", 10, "__LifeloggingServiceImpl_delete"), 1);
    // The release came before the second service was made.
    std::vector<std::string> traces = logTexts(kTrace);
    auto position = [&](const std::string& line) {
        return std::find(traces.begin(), traces.end(), line) - traces.begin();
    };
    EXPECT_LT(position("__LifeloggingServiceImpl_delete|is called"),
              position("__LifeloggingServiceImpl_new| is called"));
    (void)first;
    EXPECT_EQ(deliverMessage("0808", "second service", stamp(6, 1)), 0u);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(messages().size(), 1u);
}

TEST_F(ServiceTest, FinalisingWithoutAServiceDoesNothing) {
    ASSERT_EQ(g_pILifeloggingService, nullptr);
    ZKivLifelogServer_finalize();
    ZelvanKivLifelogSvcDispatch(7);
    EXPECT_EQ(g_pILifeloggingService, nullptr);
    EXPECT_TRUE(logTexts(kError).empty());
    EXPECT_EQ(countLog(kTrace, "is called", 10, "__LifeloggingServiceImpl_release"), 0);
}

TEST_F(ServiceTest, ServerStartWithoutTheClassIsLoggedAndLeavesNoService) {
    Com_unregisterClass(&CLSID_LifeloggingService);
    ZKivLifelogServer_initialize();
    EXPECT_EQ(g_pILifeloggingService, nullptr);
    EXPECT_EQ(countLog(kError, "ILifeloggingService com_creatInstance is failed", 10,
                       "ZelvanKivLifelogSvcDispatch"),
              1);
}

TEST_F(ServiceTest, SwitchedOffKindsAndBadNotificationsWriteNothing) {
    writeConfig("[ACTIVITY]\nACTIVITY_CALL = true\n");
    startServer();
    EXPECT_EQ(deliverMessage("0909", "off", stamp(7, 1)), 0u);
    unsigned int err = 0;
    ZbasePi_deliverCall(nullptr, 0, 0, 0, 0, 0, 0, 0, stamp(7, 2), &err);
    EXPECT_EQ(err, 0u);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(messages().size(), 0u);
    EXPECT_EQ(queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_CALL"), (Rows{{"0"}}));
    EXPECT_EQ(countLog(kError, "[E_INVALID_ARG] Propagated: lifelogActivity is null", 10,
                       "ActivityEventController_callActivity_dispatch"),
              1);
    EXPECT_EQ(countLog(kError, "[E_SUCCESS] Propagated: ZLifelogger_log is failed"), 0);
    EXPECT_EQ(countLog(kTrace, "ZLifelogger_log: a log is not loggable"), 1);
}

// The server stops while notifications keep coming from two threads: every
// delivery either becomes a row or is turned away, nothing reaches the
// deleted controller, nothing is left.
TEST_F(ServiceTest, StoppingWhileNotificationsArriveIsSafe) {
    startServer();
    std::atomic<bool> done{false};
    std::atomic<int> accepted{0};
    auto sender = [&](int day) {
        for (int n = 0; !done.load(); ++n) {
            std::string phone = std::to_string(day) + "-" + std::to_string(n);
            if (deliverMessage(phone.c_str(), "x", stamp(day, n % 80000)) == 0) {
                ++accepted;
            }
        }
    };
    std::thread a(sender, 10);
    std::thread b(sender, 11);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ZKivLifelogServer_finalize();
    done = true;
    a.join();
    b.join();
    EXPECT_EQ(ZbasePi_isRegistered(), 0);
    EXPECT_LE(messages().size(), static_cast<size_t>(accepted.load()));
    EXPECT_GT(messages().size(), 0u);
    EXPECT_EQ(Mem_getLiveCount(), 0);
}

}  // namespace
