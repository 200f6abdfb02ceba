// Threads, actors, event main loops, mutexes, database connections and the
// notification component's deliveries, under load and across threads.
#include "fixture.h"
#include "zkivLifelog.h"

using namespace std::chrono_literals;

namespace {

constexpr int kWaitMs = 10000;

// A thread made by Thread_new that does what the service's logging thread
// does: makes and starts an actor, runs the main loop, then stops and deletes
// the actor and releases its own record.  The fields are written on that
// thread before its main loop runs or by deliveries, and read by the test
// after Event_waitIdle, which orders the two.
struct LoopThread {
    struct Target {
        ActorTarget base;
        LoopThread* owner;
    } target{{&kOps}, this};
    Thread* thread = nullptr;
    void* loopToken = nullptr;
    int actorId = 0;
    std::thread::id loopThread;
    bool foundOwnRecord = false;
    // Message codes; -1 for one seen off the actor's thread or as another actor.
    std::vector<int> messages;
    // Numbered events as producer (-1 when handled off the thread) and sequence.
    std::vector<std::pair<int, int>> handled;
    std::atomic<bool> finished{false};

    // Starts the thread; a starting thread counts for Event_waitIdle until its
    // main loop runs, so this also waits for the start message.
    bool start() {
        unsigned int err = 99;
        thread = Thread_new("testLoop", &LoopThread::procedure, 0, 0, &err);
        thread->parameter = this;
        Thread_start(thread, &err);
        return err == 0 && Event_waitIdle(kWaitMs);
    }
    // Ends the main loop from the calling thread and waits for the procedure's end.
    bool finish() {
        unsigned int err = 99;
        Event_exitMainloop(loopToken, &err);
        return err == 0 && eventually([&] { return finished.load(); });
    }

    static void onMessage(void* target, ActorMessage* message) {
        LoopThread* self = static_cast<Target*>(target)->owner;
        bool inPlace =
            std::this_thread::get_id() == self->loopThread && Actor_getCurrentID() == self->actorId;
        self->messages.push_back(inPlace ? message->code : -1);
    }
    static constexpr ActorTargetOps kOps = {&LoopThread::onMessage};

    static void* procedure(void* parameter) {
        auto* self = static_cast<LoopThread*>(parameter);
        std::this_thread::sleep_for(20ms);  // a slow start, which Event_waitIdle must wait out
        Thread* own = __ThreadManager_getThread(Thread_self());
        unsigned int err = 0;
        Actor* actor = Actor_new("testActor", &self->target, &err);
        Actor_start(actor, &err);
        self->actorId = Actor_getCurrentID();
        self->loopThread = std::this_thread::get_id();
        self->foundOwnRecord = own == self->thread;
        self->loopToken = actor->mainloop;
        Event_runMainloop();
        Actor_stop(actor, &err);
        Actor_delete(actor, &err);
        Thread_release(own, &err);
        self->finished = true;  // the last touch: the harness may be gone after it
        return nullptr;
    }
};

struct NumberedEvent {
    Event event;
    LoopThread* loop;
    int producer, sequence;
};

void onNumbered(Event* event) {
    auto* e = reinterpret_cast<NumberedEvent*>(event);
    bool onLoop = std::this_thread::get_id() == e->loop->loopThread;
    e->loop->handled.emplace_back(onLoop ? e->producer : -1, e->sequence);
}

std::vector<NumberedEvent> makeEvents(LoopThread& loop, int producers, int each) {
    std::vector<NumberedEvent> events(static_cast<size_t>(producers * each));
    for (int i = 0; i < producers * each; ++i) {
        NumberedEvent& e = events[static_cast<size_t>(i)];
        e = {{}, &loop, i / each, i % each};
        Event_init(&e.event, 8193, loop.actorId, nullptr);
        unsigned int err = 99;
        Event_addListener(&e.event, onNumbered, &err);
        EXPECT_EQ(err, 0u);
    }
    return events;
}

void fire(NumberedEvent& e, unsigned int expected = 0) {
    unsigned int err = 99;
    Event_fire(&e.event, &err);
    EXPECT_EQ(err, expected);
}

using PlatformThreadsTest = LifelogTest;

TEST_F(PlatformThreadsTest, EventsFromFourThreadsAreHandledOnceInOrderPerThread) {
    constexpr int kProducers = 4, kEach = 1000;
    LoopThread loop;
    ASSERT_TRUE(loop.start());
    std::vector<NumberedEvent> events = makeEvents(loop, kProducers, kEach);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int s = 0; s < kEach; ++s) fire(events[static_cast<size_t>(p * kEach + s)]);
        });
    }
    for (std::thread& producer : producers) producer.join();
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(loop.handled.size(), static_cast<size_t>(kProducers * kEach));
    std::vector<int> next(kProducers, 0);
    for (auto [producer, sequence] : loop.handled) {
        ASSERT_GE(producer, 0) << "handled off the loop's thread";
        ASSERT_EQ(sequence, next[static_cast<size_t>(producer)]++) << "producer " << producer;
    }
    EXPECT_TRUE(loop.finish());
}

// The start message reaches the actor on the loop's own thread, which knows
// its own record and cannot be started twice.  A suspended loop holds its
// queue and drains it after resuming; exit still ends a suspended loop, and
// deleting the actor settles what it had queued.
TEST_F(PlatformThreadsTest, LoopStartsOnItsOwnThreadAndASuspendedLoopHoldsItsQueue) {
    LoopThread loop;
    ASSERT_TRUE(loop.start());
    EXPECT_EQ(loop.messages, std::vector<int>{1});
    EXPECT_NE(loop.loopThread, std::this_thread::get_id());
    EXPECT_NE(loop.actorId, 0);
    EXPECT_TRUE(loop.foundOwnRecord);
    EXPECT_EQ(__ThreadManager_getThread(Thread_self()), nullptr);
    unsigned int err = 0;
    Thread_start(loop.thread, &err);
    EXPECT_EQ(err, ZBASE_E_FAILURE) << "started twice";
    std::vector<NumberedEvent> events = makeEvents(loop, 1, 10);
    Thread_suspend(loop.thread, &err);
    for (NumberedEvent& e : events) fire(e);
    EXPECT_FALSE(Event_waitIdle(100)) << "a suspended loop handled its queue";
    Thread_resume(loop.thread, &err);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    ASSERT_EQ(loop.handled.size(), 10u);
    for (int s = 0; s < 10; ++s)
        EXPECT_EQ(loop.handled[static_cast<size_t>(s)], std::make_pair(0, s));
    Thread_suspend(loop.thread, &err);
    fire(events[0]);
    ASSERT_TRUE(loop.finish());
    EXPECT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(loop.handled.size(), 10u);
    fire(events[0], ZBASE_E_OBJ_NOT_FOUND);
}

TEST_F(PlatformThreadsTest, MutexExcludesOtherThreadsAndRecurses) {
    unsigned int err = 99;
    Mutex* mutex = Mutex_new("counter", 0, &err);
    long counter = 0;  // plain: only the mutex keeps the increments apart
    auto work = [&] {
        for (int i = 0; i < 5000; ++i) {
            unsigned int e = 0;
            Mutex_lock(mutex, &e);
            Mutex_lock(mutex, &e);  // recursive
            ++counter;
            Mutex_unlock(mutex, &e);
            Mutex_unlock(mutex, &e);
        }
    };
    std::thread other(work);
    work();
    other.join();
    EXPECT_EQ(counter, 2 * 5000);
    Mutex_delete(mutex, &err);
    EXPECT_EQ(err, 0u);
}

// Several connections on one database file at once: a writer in a loop and
// a reader must never see "database is locked" (WAL, busy timeout, write
// transactions that take the write lock at their start).
TEST_F(PlatformThreadsTest, WritersAndAReaderNeverSeeTheDatabaseLocked) {
    constexpr const char* kPath = "/SystemRW/Lifelog/Database/threads.db";
    unsigned int err = 0;
    Database_close(_Database_createInternal(kPath, &err), &err);  // a WAL database
    execSql(kPath, "CREATE TABLE T (WRITER INTEGER, N INTEGER)");
    std::mutex mutex;
    std::string failures;  // every unexpected code, whichever thread saw it
    auto expect = [&](const char* what, unsigned int code) {
        std::lock_guard<std::mutex> lock(mutex);
        if (code != 0)
            failures += std::string(what) + " " + Exception_toString(code) + "\n";
    };
    std::atomic<int> writersLeft{2};
    static const char* const kSteps[] = {"open", "begin", "count", "insert", "commit"};
    auto writer = [&](int id) {
        for (int n = 0; n < 150; ++n) {
            unsigned int code[5] = {};
            Database* db = _Database_openInternal(kPath, &code[0]);  // per row, as logging does
            Database_beginTransaction(db, &code[1]);
            // A read first: a transaction holding only a read snapshot here
            // could not take the write lock after the other writer's commit.
            Database_executeSQL(db, "SELECT COUNT(*) FROM T", 0, nullptr, nullptr, &code[2]);
            const std::string insert =
                "INSERT INTO T VALUES (" + std::to_string(id) + ", " + std::to_string(n) + ")";
            Database_executeSQL(db, insert.c_str(), 0, nullptr, nullptr, &code[3]);
            Database_commitTransaction(db, &code[4]);
            Database_close(db, nullptr);
            for (int step = 0; step < 5; ++step) expect(kSteps[step], code[step]);
        }
        --writersLeft;
    };
    auto reader = [&] {
        unsigned int code = 0;
        Database* db = _Database_openInternal(kPath, &code);
        while (writersLeft > 0) {
            Database_executeSQL(db, "SELECT * FROM T WHERE N < 3", 0, nullptr, nullptr, &code);
            expect("select", code == 70 ? 0 : code);
        }
        Database_close(db, &code);
    };
    std::thread a(writer, 1), b(writer, 2), r(reader);
    a.join();
    b.join();
    r.join();
    EXPECT_EQ(failures, "");
    EXPECT_EQ(queryRows(kPath, "SELECT WRITER, COUNT(DISTINCT N) FROM T GROUP BY WRITER"),
              (Rows{{"1", "150"}, {"2", "150"}}));
}

// ------------------------------------------------ the notification component

// The component as the library's controller uses it.
ILifelogPi* createPi(unsigned int* err) {
    return static_cast<ILifelogPi*>(Com_createInstance(&CLSID_LifelogPi, &IID_ILifelogPi, err));
}

// The dispatch below stands in for the library's: it records its controller
// and thread, then runs until the test opens the gate.
std::atomic<void*> g_controller{nullptr};
std::atomic<std::thread::id> g_dispatchThread;
std::atomic<bool> g_running{false}, g_gateOpen{false};

}  // namespace

extern "C" __attribute__((visibility("default"))) void
ActivityEventController_callActivity_dispatch(ActivityEventController* controller, const char*, int,
                                              int, int, int, int, int, int, DateTime) {
    g_controller = controller;
    g_dispatchThread = std::this_thread::get_id();
    g_running = true;
    eventually([] { return g_gateOpen.load(); });
    g_running = false;
}

namespace {

TEST_F(PlatformThreadsTest, NotificationComponentTableAndDeliveryWithoutController) {
    unsigned int err = 99;
    ILifelogPi* pi = createPi(&err);
    ASSERT_NE(pi, nullptr);
    EXPECT_EQ(pi->ops->queryInterface(pi, &IID_IBase, &err), pi);
    EXPECT_EQ(pi->ops->queryInterface(pi, &IID_ILifelogPi, &err), pi);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(pi->ops->queryInterface(pi, &CLSID_LifelogPi, &err), nullptr);
    EXPECT_EQ(err, ZBASE_E_NO_INTERFACE);
    EXPECT_EQ(pi->ops->addRef(pi), 4) << "an answered query adds a reference";
    for (int left : {3, 2, 1}) EXPECT_EQ(pi->ops->release(pi), left);
    pi->ops->initialize(pi, nullptr, &err);
    EXPECT_EQ(err, ZBASE_E_FAILURE) << "a null controller was kept";
    EXPECT_EQ(ZbasePi_isRegistered(), 0);
    ZbasePi_deliverCall("0101234", 1, 10, 0, 1, 2, 3, 4, DateTime{}, &err);
    EXPECT_EQ(err, ZBASE_E_FAILURE);
    err = 99;
    ZbasePi_deliverMessage("0101234", 1, 0, "hi", 1, 2, 3, 4, DateTime{}, &err);
    EXPECT_EQ(err, ZBASE_E_FAILURE);
    EXPECT_EQ(pi->ops->release(pi), 0);
}

// A delivery runs the dispatch on the component's own thread and returns
// once it has returned.  Once slot 4 or the last release returns, the
// controller is not called again, so its owner may free it: forgetting waits
// for a running dispatch.
TEST_F(PlatformThreadsTest, DeliveryWaitsForItsDispatchAndForgettingWaitsForARunningOne) {
    unsigned int err = 99;
    ILifelogPi* pi = createPi(&err);
    ASSERT_NE(pi, nullptr);
    int controller = 0;  // only its address matters
    for (bool byRelease : {false, true}) {
        SCOPED_TRACE(byRelease ? "last release" : "slot 4");
        pi->ops->initialize(pi, &controller, &err);
        EXPECT_NE(ZbasePi_isRegistered(), 0);
        g_gateOpen = false;
        std::atomic<bool> delivered{false}, forgotten{false};
        std::thread deliverer([&] {
            ZbasePi_deliverCall("0101234", 1, 61, 2, 10, 20, 450, 5, DateTime{}, &err);
            delivered = true;
        });
        ASSERT_TRUE(eventually([] { return g_running.load(); }));
        EXPECT_EQ(g_controller.load(), &controller);
        EXPECT_NE(g_dispatchThread.load(), deliverer.get_id());
        std::thread forgetter([&] {
            byRelease ? (void)pi->ops->release(pi) : pi->ops->terminate(pi);
            forgotten = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(delivered.load()) << "a delivery returned before its dispatch";
        EXPECT_FALSE(forgotten.load()) << "forgot the controller under a running dispatch";
        g_gateOpen = true;
        forgetter.join();
        deliverer.join();
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(ZbasePi_isRegistered(), 0);
        ZbasePi_deliverCall("late", 0, 0, 0, 0, 0, 0, 0, DateTime{}, &err);
        EXPECT_EQ(err, ZBASE_E_FAILURE);
    }
}

}  // namespace
