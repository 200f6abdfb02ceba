// The lifelog service end to end, the way the platform runs it: the class
// registered with the component registry, the server start, notifications
// delivered by the notification component on its own thread, rows written on
// the thread "Lifelogging", the server stop.
#include "running_service.h"

namespace {

constexpr int kWaitMs = 60000;

// A distinct time stamp per (day, running number).
DateTime stamp(int day, int n) {
    return DateTime{2024, 5, day, n / 3600, (n / 60) % 60, n % 60, 0};
}

unsigned int deliverMessage(const std::string& phone, DateTime when) {
    unsigned int err = 99;
    ZbasePi_deliverMessage(phone.c_str(), 1, 0, "text", 11, 22, 33, 44, when, &err);
    return err;
}

ILifeloggingService* newService() {
    unsigned int err = 0;
    return static_cast<ILifeloggingService*>(
        Com_createInstance(&CLSID_LifeloggingService, &IID_ILifeloggingService, &err));
}

class ServiceTest : public RunningServiceTest {
protected:
    const char* configuration() const override {
        return "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\n"
               "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = 5000\n";
    }
    bool startsAtOnce() const override { return false; }
    void TearDown() override {
        RunningServiceTest::TearDown();
        EXPECT_EQ(ZbasePi_isRegistered(), 0);
    }
    Rows messages() const {
        return queryRows(kDbPath,
                         "SELECT MSGLOG_PHONE_NUMBER, MSGLOG_TIMESTAMP "
                         "FROM ACTIVITY_MESSAGE ORDER BY LOG_KEY");
    }
};

// Registered once per process through the module path, as the platform
// loads component libraries.  Initialising twice replaces the first service;
// finalising without a service, or a start without the class, does nothing.
TEST_F(ServiceTest, ServerStartThroughTheModuleWritesNotificationsAsRows) {
    unsigned int err = 0;
    Com_registerModule(&CLSID_LifeloggingService, LIFELOG_LIBRARY_PATH, &err);
    ASSERT_EQ(err, 0u);
    startServer();
    startServer();
    // A call of duration 0 keeps its own time stamp; one with a positive
    // duration and a known direction gets the database's time.
    const DateTime t{2024, 1, 2, 3, 4, 5, 0};
    ZbasePi_deliverCall("0101", 9, 0, 7, 1, 2, 3, 4, t, &err);
    ZbasePi_deliverCall("0202", 1, 30, -1, 5, 6, 7, 8, stamp(1, 1), &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(deliverMessage("0303", t), 0u);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(queryRows(kDbPath,
                        "SELECT CLOG_PHONE_NUMBER, CLOG_DIRECTION, CLOG_DURATION, "
                        "CLOG_TYPE, CLOG_CELLID, CLOG_LAC, CLOG_MCC, CLOG_MNC, "
                        "CLOG_TIMESTAMP = '2024-01-02 03:04:05' FROM ACTIVITY_CALL"),
              (Rows{{"0101", "0", "0", "0", "1", "2", "3", "4", "1"},
                    {"0202", "1", "30", "-1", "5", "6", "7", "8", "0"}}));
    EXPECT_EQ(messages(), (Rows{{"0303", "2024-01-02 03:04:05"}}));

    ZKivLifelogServer_finalize();
    EXPECT_EQ(g_pILifeloggingService, nullptr);
    ZbasePi_deliverCall("0404", 0, 0, 0, 0, 0, 0, 0, t, &err);
    EXPECT_EQ(err, ZBASE_E_FAILURE);  // no controller is registered any more
    ZKivLifelogServer_finalize();
    ZelvanKivLifelogSvcDispatch(7);
    Com_unregisterClass(&CLSID_LifeloggingService);
    ZKivLifelogServer_initialize();
    EXPECT_EQ(g_pILifeloggingService, nullptr);
    EXPECT_EQ(countLog(kError, "ILifeloggingService com_creatInstance is failed", 10,
                       "ZelvanKivLifelogSvcDispatch"),
              1);
}

// Stop before the first run, run, a second run, stop: a stopped service
// holds what it was handed until it runs again; released while stopped, it
// drops the notification it holds, turns away one waiting behind it and
// ends.
TEST_F(ServiceTest, StatusFollowsRunAndStopAndAStoppedServiceHoldsItsNotifications) {
    ILifeloggingService* service = newService();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_NOT_STARTED);
    auto* ops = service->ops;
    const std::pair<void (*)(ILifeloggingService*, unsigned int*), int32_t> steps[] = {
        {ops->stop, LIFELOG_SERVICE_STOPPED},
        {ops->run, LIFELOG_SERVICE_RUNNING},
        {ops->run, LIFELOG_SERVICE_RUNNING},
        {ops->stop, LIFELOG_SERVICE_STOPPED}};
    unsigned int err = 99;
    for (auto [operation, status] : steps) {
        operation(service, &err);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(ops->getStatus(service), status);
        ASSERT_TRUE(status == LIFELOG_SERVICE_STOPPED ||
                    eventually([] { return ZbasePi_isRegistered() != 0; }, kWaitMs));
    }
    EXPECT_EQ(
        countLog(kTrace, "the service is already running...", 10, "__LifeloggingServiceImpl_run"),
        1);
    EXPECT_EQ(deliverMessage("0505", stamp(3, 1)), 0u);
    EXPECT_EQ(Event_waitIdle(200), 0);
    EXPECT_TRUE(messages().empty());
    ops->run(service, &err);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(messages(), (Rows{{"0505", "2024-05-03 00:00:01"}}));

    ops->stop(service, &err);
    EXPECT_EQ(deliverMessage("0606", stamp(3, 2)), 0u);
    std::thread waiting([] { deliverMessage("0607", stamp(3, 3)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ops->release(service), 0);
    waiting.join();
    EXPECT_EQ(messages(), (Rows{{"0505", "2024-05-03 00:00:01"}}));
}

// A run after a stop that came before the first run resumes the thread and
// the service counts as running whatever the resume reported: a resume that
// could not start the thread leaves its code and no error line.  The record
// of the thread that never ran goes with the service.
TEST_F(ServiceTest, RunAfterAnEarlyStopResumesAndRunsWhateverTheResumeReported) {
    for (const int failing : {0, 1}) {
        SCOPED_TRACE(failing);
        ILifeloggingService* service = newService();
        ASSERT_NE(service, nullptr);
        unsigned int err = 99;
        service->ops->stop(service, &err);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_STOPPED);
        Thread_failStarts(failing);
        service->ops->run(service, &err);
        Thread_failStarts(0);
        EXPECT_EQ(err, failing ? ZBASE_E_FAILURE : ZBASE_E_SUCCESS);
        EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_RUNNING);
        EXPECT_TRUE(failing || eventually([] { return ZbasePi_isRegistered() != 0; }, kWaitMs));
        EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
        EXPECT_EQ(service->ops->release(service), 0);
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

// Releases of services that never ran, that stopped before running, and that
// race their thread's start: the thread ends, never registers afterwards,
// and nothing is left.
TEST_F(ServiceTest, ReleaseBeforeOrRightAfterRunEndsTheThread) {
    for (int round = 0; round < 25; ++round) {
        ILifeloggingService* service = newService();
        unsigned int err = 0;
        if (round > 0)
            (round == 1 ? service->ops->stop : service->ops->run)(service, &err);
        std::this_thread::sleep_for(std::chrono::microseconds(round % 5 * 500));
        EXPECT_EQ(service->ops->release(service), 0);
        EXPECT_EQ(ZbasePi_isRegistered(), 0) << round;
        EXPECT_EQ(Mem_getLiveCount(), 0) << round;
    }
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{});  // a late thread ends quietly
}

// The server stops while two threads keep delivering: each delivery becomes
// a row or is turned away, nothing reaches the deleted controller.
TEST_F(ServiceTest, StoppingWhileNotificationsArriveIsSafe) {
    startServer();
    std::atomic<bool> done{false};
    std::atomic<size_t> accepted{0};
    auto sender = [&](int day) {
        for (int n = 0; !done; ++n) accepted += deliverMessage("0909", stamp(day, n % 80000)) == 0;
    };
    std::thread a(sender, 10), b(sender, 11);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ZKivLifelogServer_finalize();
    done = true;
    a.join();
    b.join();
    EXPECT_LE(messages().size(), accepted);
    EXPECT_GT(messages().size(), 0u);
}

// The controller lets go of the notification component last: while its
// logger is deleted it is still registered, and deliveries that come in
// meanwhile (from a thread that keeps delivering until it is turned away)
// find it closed and never reach the logger.
// The hook records, into a vector<int>, whether the controller was
// registered when its logger's deletion began.
void watchDeletion(void* registered, int, int, const char* function, int, const char* text) {
    if (function != nullptr && std::string_view(function) == "ZLifelogger_delete" &&
        std::string_view(text).starts_with("ZLifelogger_delete: start"))
        static_cast<std::vector<int>*>(registered)->push_back(ZbasePi_isRegistered());
}

TEST_F(ServiceTest, ControllerReleasesTheComponentAfterItsLoggerAndTurnsDeliveriesAway) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        unsigned int err = 99;
        ActivityEventController* controller = ActivityEventController_new(&err);
        ASSERT_NE(controller, nullptr);
        controller->notifier->ops->initialize(controller->notifier, controller, &err);
        ASSERT_EQ(ZbasePi_isRegistered(), 1);
        std::atomic<int> delivered{0};
        std::thread sender([&] {
            const DateTime when{2024, 3, 4, 5, 6, 7, 0};
            unsigned int code = 0;
            for (ZbasePi_deliverCall("0101", 1, 10, 0, 1, 2, 3, 4, when, &code); code == 0;
                 ZbasePi_deliverCall("0101", 1, 10, 0, 1, 2, 3, 4, when, &code)) {
                ++delivered;
            }
            EXPECT_EQ(code,
                      ZBASE_E_FAILURE);  // turned away once the component forgot the controller
        });
        while (round % 2 == 1 && delivered == 0) std::this_thread::yield();
        std::vector<int> registeredWhileLoggerDeleted;
        ZbaseLog_setHook(watchDeletion, &registeredWhileLoggerDeleted);
        ActivityEventController_delete(controller);
        ZbaseLog_setHook(nullptr, nullptr);
        sender.join();
        EXPECT_EQ(registeredWhileLoggerDeleted, std::vector<int>{1});
        EXPECT_EQ(ZbasePi_isRegistered(), 0);
    }
}

}  // namespace
