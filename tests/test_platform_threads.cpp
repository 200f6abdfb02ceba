// Threads, actors, event main loops, mutexes and the notification
// component's deliveries, under load and across threads.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_host.h"

using namespace std::chrono_literals;

namespace {

constexpr int kWaitMs = 10000;

// A thread made by Thread_new that does what a service's logging thread
// does: creates an actor, starts it, runs the main loop, then stops and
// deletes the actor and releases its own record.
class LoopThread {
public:
    struct Target {
        ActorTarget base;
        LoopThread* owner;
    };
    struct Message {
        int code;
        std::thread::id thread;
        int currentActor;
    };

    // Makes the thread without starting it.
    void create() {
        unsigned int err = 99;
        thread_ = Thread_new("testLoop", &LoopThread::procedure, 0, 0, &err);
        ASSERT_EQ(err, 0u);
        ASSERT_NE(thread_, nullptr);
        thread_->parameter = this;
    }
    void start() {
        unsigned int err = 99;
        Thread_start(thread_, &err);
        ASSERT_EQ(err, 0u);
    }
    void run() {
        create();
        start();
        ASSERT_TRUE(waitReady());
    }
    // True once the procedure has made and started its actor.
    bool waitReady() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return started_; });
    }
    // True once `count` messages have reached the actor.
    bool waitMessages(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return messages_.size() >= count; });
    }
    // Ends the main loop from the calling thread and waits for the procedure's end.
    bool finish() {
        if (!waitReady()) {
            return false;
        }
        unsigned int err = 99;
        Event_exitMainloop(actor_->mainloop, &err);
        EXPECT_EQ(err, 0u);
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return finished_; });
    }

    Thread* thread() const { return thread_; }
    int actorId() const { return actorId_; }
    std::thread::id loopThread() const { return loopThread_; }
    bool foundOwnRecord() const { return foundOwnRecord_; }
    std::vector<Message> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

private:
    static void onMessage(void* target, ActorMessage* message) {
        LoopThread* self = static_cast<Target*>(target)->owner;
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->messages_.push_back({message->code, std::this_thread::get_id(), Actor_getCurrentID()});
        self->changed_.notify_all();
    }
    static constexpr ActorTargetOps kOps = {&LoopThread::onMessage};

    static void* procedure(void* parameter) {
        auto* self = static_cast<LoopThread*>(parameter);
        Thread* own = __ThreadManager_getThread(Thread_self());
        unsigned int err = 0;
        Actor* actor = Actor_new("testActor", &self->target_, &err);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->actorId_ = Actor_getCurrentID();
            self->loopThread_ = std::this_thread::get_id();
            self->foundOwnRecord_ = own == self->thread_;
            self->actor_ = actor;
        }
        Actor_start(actor, &err);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->started_ = true;
            self->changed_.notify_all();
        }
        Event_runMainloop();
        Actor_stop(actor, &err);
        Actor_delete(actor, &err);
        Thread_release(own, &err);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            // Notified under the lock: the harness may be gone once it is released.
            self->finished_ = true;
            self->changed_.notify_all();
        }
        return nullptr;
    }

    Target target_{{&kOps}, this};
    Thread* thread_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    Actor* actor_ = nullptr;
    int actorId_ = 0;
    std::thread::id loopThread_;
    bool foundOwnRecord_ = false;
    bool started_ = false;
    bool finished_ = false;
    std::vector<Message> messages_;
};

// Where numbered events land.  Written only by the loop thread; the test
// reads `handled` after Event_waitIdle, which orders the two.
struct Sink {
    std::thread::id loopThread;
    std::vector<std::pair<int, int>> handled;
    std::atomic<int> count{0};
    std::atomic<int> wrongThread{0};
};

struct NumberedEvent {
    Event event;
    Sink* sink;
    int producer;
    int sequence;
};

void onNumbered(Event* event) {
    auto* numbered = reinterpret_cast<NumberedEvent*>(event);
    Sink* sink = numbered->sink;
    if (std::this_thread::get_id() != sink->loopThread) {
        ++sink->wrongThread;
    }
    sink->handled.emplace_back(numbered->producer, numbered->sequence);
    ++sink->count;
}

std::vector<NumberedEvent> makeEvents(Sink& sink, int actorId, int producers, int each) {
    std::vector<NumberedEvent> events(static_cast<size_t>(producers * each));
    for (int p = 0; p < producers; ++p) {
        for (int s = 0; s < each; ++s) {
            NumberedEvent& e = events[static_cast<size_t>(p * each + s)];
            e.sink = &sink;
            e.producer = p;
            e.sequence = s;
            Event_init(&e.event, 8193, actorId, nullptr);
            unsigned int err = 99;
            Event_addListener(&e.event, onNumbered, &err);
            EXPECT_EQ(err, 0u);
        }
    }
    return events;
}

using PlatformThreadsTest = LifelogTest;

TEST_F(PlatformThreadsTest, EventsFromFourThreadsAreHandledOnceInOrderPerThread) {
    constexpr int kProducers = 4;
    constexpr int kEach = 1000;
    LoopThread loop;
    loop.run();
    Sink sink;
    sink.loopThread = loop.loopThread();
    std::vector<NumberedEvent> events = makeEvents(sink, loop.actorId(), kProducers, kEach);

    std::atomic<int> failures{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int s = 0; s < kEach; ++s) {
                unsigned int err = 99;
                Event_fire(&events[static_cast<size_t>(p * kEach + s)].event, &err);
                failures += err != 0;
            }
        });
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(sink.wrongThread.load(), 0);
    ASSERT_EQ(sink.handled.size(), static_cast<size_t>(kProducers * kEach));
    std::vector<int> next(kProducers, 0);
    for (auto [producer, sequence] : sink.handled) {
        ASSERT_EQ(sequence, next[static_cast<size_t>(producer)]) << "producer " << producer;
        ++next[static_cast<size_t>(producer)];
    }
    EXPECT_TRUE(loop.finish());
}

TEST_F(PlatformThreadsTest, StartMessageReachesTheActorOnItsOwnThread) {
    LoopThread loop;
    loop.create();
    loop.start();
    // A starting thread counts as busy until its main loop runs, so this
    // waits for the start message it queues on its way there.
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    std::vector<LoopThread::Message> messages = loop.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].code, 1);
    EXPECT_EQ(messages[0].thread, loop.loopThread());
    EXPECT_NE(messages[0].thread, std::this_thread::get_id());
    EXPECT_EQ(messages[0].currentActor, loop.actorId());
    EXPECT_NE(loop.actorId(), 0);
    EXPECT_TRUE(loop.foundOwnRecord());
    EXPECT_EQ(__ThreadManager_getThread(Thread_self()), nullptr);
    EXPECT_TRUE(loop.finish());
}

TEST_F(PlatformThreadsTest, SuspendedLoopHoldsItsQueueAndDrainsItAfterResume) {
    LoopThread loop;
    loop.run();
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    Sink sink;
    sink.loopThread = loop.loopThread();
    std::vector<NumberedEvent> events = makeEvents(sink, loop.actorId(), 1, 10);

    unsigned int err = 99;
    Thread_suspend(loop.thread(), &err);
    ASSERT_EQ(err, 0u);
    for (NumberedEvent& e : events) {
        Event_fire(&e.event, &err);
        ASSERT_EQ(err, 0u);
    }
    EXPECT_FALSE(Event_waitIdle(100));
    EXPECT_EQ(sink.count.load(), 0);

    Thread_resume(loop.thread(), &err);
    ASSERT_EQ(err, 0u);
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    ASSERT_EQ(sink.handled.size(), 10u);
    for (int s = 0; s < 10; ++s) {
        EXPECT_EQ(sink.handled[static_cast<size_t>(s)].second, s);
    }
    EXPECT_TRUE(loop.finish());
}

TEST_F(PlatformThreadsTest, ExitEndsASuspendedLoopAndItsActorsQueueIsDropped) {
    LoopThread loop;
    loop.run();
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    Sink sink;
    std::vector<NumberedEvent> events = makeEvents(sink, loop.actorId(), 1, 3);
    unsigned int err = 99;
    Thread_suspend(loop.thread(), &err);
    for (NumberedEvent& e : events) {
        Event_fire(&e.event, &err);
    }
    ASSERT_TRUE(loop.finish());
    // The actor is gone: what it had queued is settled, never handled.
    EXPECT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_EQ(sink.count.load(), 0);
    Event_fire(&events[0].event, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_OBJ_NOT_FOUND));
}

TEST_F(PlatformThreadsTest, ExitAskedBeforeTheLoopRunsIsKept) {
    std::promise<void*> token;
    std::promise<void> go;
    std::promise<void> returned;
    LoopThread::Target target{{nullptr}, nullptr};
    std::thread worker([&] {
        unsigned int err = 0;
        Actor* actor = Actor_new("early", &target, &err);
        token.set_value(actor->mainloop);
        go.get_future().wait();
        Event_runMainloop();
        returned.set_value();
        Actor_delete(actor, &err);
    });
    void* loop = token.get_future().get();
    unsigned int err = 99;
    Event_exitMainloop(loop, &err);
    EXPECT_EQ(err, 0u);
    go.set_value();
    std::future<void> done = returned.get_future();
    bool ended = done.wait_for(10s) == std::future_status::ready;
    EXPECT_TRUE(ended) << "an exit asked for before the loop ran was lost";
    if (!ended) {
        Event_exitMainloop(loop, &err);
    }
    worker.join();
    // The loop's thread has ended: its token names nothing any more.
    Event_exitMainloop(loop, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_INVALID_ARG));
}

// What suspending and resuming does to a thread that never ran.
TEST_F(PlatformThreadsTest, SuspendAndResumeBeforeTheFirstStart) {
    enum Step { kSuspend, kStart, kResume };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool heldAfterSteps;  // the start message waits for a resume
    };
    const Case cases[] = {
        {"suspend then start: starts held", {kSuspend, kStart}, true},
        {"suspend then resume: resume starts it", {kSuspend, kResume}, false},
        {"resume alone starts it", {kResume}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopThread loop;
        loop.create();
        for (Step step : c.steps) {
            unsigned int err = 99;
            if (step == kSuspend) {
                Thread_suspend(loop.thread(), &err);
            } else if (step == kStart) {
                Thread_start(loop.thread(), &err);
            } else {
                Thread_resume(loop.thread(), &err);
            }
            EXPECT_EQ(err, 0u);
        }
        ASSERT_TRUE(loop.waitReady());
        if (c.heldAfterSteps) {
            EXPECT_FALSE(Event_waitIdle(100));
            EXPECT_TRUE(loop.messages().empty());
            unsigned int err = 99;
            Thread_resume(loop.thread(), &err);
            EXPECT_EQ(err, 0u);
        }
        EXPECT_TRUE(loop.waitMessages(1));
        ASSERT_TRUE(Event_waitIdle(kWaitMs));
        EXPECT_EQ(loop.messages().size(), 1u);
        EXPECT_TRUE(loop.finish());
    }
}

TEST_F(PlatformThreadsTest, RefusedCalls) {
    LoopThread loop;
    loop.run();
    ASSERT_TRUE(Event_waitIdle(kWaitMs));
    LoopThread::Target target{{nullptr}, nullptr};
    Event orphan;
    Event_init(&orphan, 1, 0x7fffffff, [](Event*) {});
    Event noHandler;
    Event_init(&noHandler, 1, loop.actorId(), nullptr);

    struct Case {
        const char* name;
        std::function<void(unsigned int*)> call;
        unsigned int expected;
    };
    const Case cases[] = {
        {"Thread_new without procedure", [](unsigned int* e) { Thread_new("x", nullptr, 0, 0, e); },
         ZBASE_E_INVALID_ARG},
        {"Thread_start twice", [&](unsigned int* e) { Thread_start(loop.thread(), e); },
         ZBASE_E_FAILURE},
        {"Thread_start null", [](unsigned int* e) { Thread_start(nullptr, e); }, ZBASE_E_INVALID_ARG},
        {"Thread_suspend null", [](unsigned int* e) { Thread_suspend(nullptr, e); },
         ZBASE_E_INVALID_ARG},
        {"Thread_release null", [](unsigned int* e) { Thread_release(nullptr, e); },
         ZBASE_E_INVALID_ARG},
        {"Actor_new without target", [](unsigned int* e) { Actor_new("x", nullptr, e); },
         ZBASE_E_INVALID_ARG},
        {"Actor_delete null", [](unsigned int* e) { Actor_delete(nullptr, e); }, ZBASE_E_INVALID_ARG},
        {"Event_addListener for no actor",
         [&](unsigned int* e) { Event_addListener(&orphan, [](Event*) {}, e); },
         ZBASE_E_OBJ_NOT_FOUND},
        {"Event_addListener without handler",
         [&](unsigned int* e) { Event_addListener(&noHandler, nullptr, e); }, ZBASE_E_INVALID_ARG},
        {"Event_fire for no actor", [&](unsigned int* e) { Event_fire(&orphan, e); },
         ZBASE_E_OBJ_NOT_FOUND},
        {"Event_fire without handler", [&](unsigned int* e) { Event_fire(&noHandler, e); },
         ZBASE_E_INVALID_ARG},
        {"Event_exitMainloop unknown loop", [](unsigned int* e) { Event_exitMainloop(nullptr, e); },
         ZBASE_E_INVALID_ARG},
    };
    for (const Case& c : cases) {
        unsigned int err = 0;
        c.call(&err);
        EXPECT_EQ(err, c.expected) << c.name;
    }
    // Actor_start twice: the second start is refused and queues nothing.
    unsigned int err = 99;
    Actor* actor = Actor_new("twice", &target, &err);
    Actor_start(actor, &err);
    EXPECT_EQ(err, 0u);
    Actor_start(actor, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_FAILURE));
    Actor_delete(actor, &err);  // drops the queued start message of this thread's actor
    EXPECT_TRUE(Event_waitIdle(kWaitMs));
    EXPECT_TRUE(loop.finish());
}

TEST_F(PlatformThreadsTest, MutexExcludesRecursesAndBelongsToItsHolder) {
    unsigned int err = 99;
    Mutex* mutex = Mutex_new("counter", 0, &err);
    ASSERT_EQ(err, 0u);
    ASSERT_NE(mutex, nullptr);

    long counter = 0;  // plain: only the mutex keeps the increments apart
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                unsigned int e = 0;
                Mutex_lock(mutex, &e);
                Mutex_lock(mutex, &e);  // recursive
                ++counter;
                Mutex_unlock(mutex, &e);
                Mutex_unlock(mutex, &e);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(counter, 4 * 5000);

    Mutex_lock(mutex, &err);
    std::thread other([&] {
        unsigned int e = 0;
        Mutex_unlock(mutex, &e);
        EXPECT_EQ(e, static_cast<unsigned int>(ZBASE_E_FAILURE)) << "unlock by a non-holder";
        Mutex_delete(mutex, &e);
        EXPECT_EQ(e, static_cast<unsigned int>(ZBASE_E_FAILURE)) << "delete of a held mutex";
    });
    other.join();
    Mutex_unlock(mutex, &err);
    EXPECT_EQ(err, 0u);
    Mutex_unlock(mutex, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_FAILURE)) << "unlock of a free mutex";
    Mutex_delete(mutex, &err);
    EXPECT_EQ(err, 0u);
}

// ------------------------------------------------ notification deliveries

const UUID kPiClass = {0xC69A284C, 0x68A5, 0x4654, {0xB8, 0x60, 0x3C, 0xA6, 0x07, 0x05, 0xB6, 0x3F}};
const UUID kPiInterface = {0xA628BF07, 0x0C8C, 0x4954,
                           {0x9A, 0xE9, 0xD7, 0x12, 0x3C, 0x00, 0x5F, 0x9E}};

struct PiOps {
    void* (*queryInterface)(void*, const UUID*, unsigned int*);
    int (*addRef)(void*);
    int (*release)(void*);
    void (*keep)(void*, void*, unsigned int*);
    void (*forget)(void*);
};
struct PiObject {
    const PiOps* ops;
};

struct Dispatched {
    bool isCall;
    void* controller;
    std::string phone, summary;
    std::vector<int> fields;
    DateTime when;
    std::thread::id thread;
};

// What the dispatch operations below saw; they stand in for the library's.
struct DispatchLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Dispatched> seen;
    int running = 0;
    int mostAtOnce = 0;
    bool blockNext = false;   // the next dispatch waits for `gateOpen`
    bool blocked = false;
    bool gateOpen = false;
    bool lastReturned = false;
};
DispatchLog g_dispatch;

void recordDispatch(Dispatched d) {
    std::unique_lock<std::mutex> lock(g_dispatch.mutex);
    g_dispatch.mostAtOnce = std::max(g_dispatch.mostAtOnce, ++g_dispatch.running);
    g_dispatch.lastReturned = false;
    if (g_dispatch.blockNext) {
        g_dispatch.blockNext = false;
        g_dispatch.blocked = true;
        g_dispatch.changed.notify_all();
        g_dispatch.changed.wait(lock, [] { return g_dispatch.gateOpen; });
    } else {
        lock.unlock();
        std::this_thread::sleep_for(1ms);  // the deliverer must wait this out
        lock.lock();
    }
    g_dispatch.seen.push_back(std::move(d));
    --g_dispatch.running;
    g_dispatch.lastReturned = true;
}

void resetDispatchLog() {
    std::lock_guard<std::mutex> lock(g_dispatch.mutex);
    g_dispatch.seen.clear();
    g_dispatch.running = g_dispatch.mostAtOnce = 0;
    g_dispatch.blockNext = g_dispatch.blocked = g_dispatch.gateOpen = false;
    g_dispatch.lastReturned = false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void ActivityEventController_callActivity_dispatch(
    void* controller, const char* phone, int direction, int duration, int type, int cellId, int lac,
    int mcc, int mnc, DateTime when) {
    recordDispatch({true, controller, phone ? phone : "<null>", "",
                    {direction, duration, type, cellId, lac, mcc, mnc}, when,
                    std::this_thread::get_id()});
}

extern "C" __attribute__((visibility("default"))) void ActivityEventController_msgActivity_dispatch(
    void* controller, const char* phone, int direction, int type, const char* summary, int cellId,
    int lac, int mcc, int mnc, DateTime when) {
    recordDispatch({false, controller, phone ? phone : "<null>", summary ? summary : "<null>",
                    {direction, type, cellId, lac, mcc, mnc}, when, std::this_thread::get_id()});
}

namespace {

class PlatformDeliveryTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        resetDispatchLog();
        unsigned int err = 99;
        pi_ = static_cast<PiObject*>(Com_createInstance(&kPiClass, &kPiInterface, &err));
        ASSERT_EQ(err, 0u);
        ASSERT_NE(pi_, nullptr);
    }
    void TearDown() override {
        if (pi_ != nullptr) {
            EXPECT_EQ(pi_->ops->release(pi_), 0);
        }
        LifelogTest::TearDown();
    }
    void keep(void* controller) {
        unsigned int err = 99;
        pi_->ops->keep(pi_, controller, &err);
        ASSERT_EQ(err, 0u);
    }

    PiObject* pi_ = nullptr;
    int controller_ = 0;  // only its address matters
};

TEST_F(PlatformDeliveryTest, DeliveryRunsTheDispatchOnTheComponentsThreadAndWaitsForIt) {
    keep(&controller_);
    EXPECT_NE(ZbasePi_isRegistered(), 0);
    const DateTime when{2024, 5, 6, 7, 8, 9, 3};
    unsigned int err = 99;
    ZbasePi_deliverCall("0101234", 1, 61, 2, 10, 20, 450, 5, when, &err);
    EXPECT_EQ(err, 0u);
    ZbasePi_deliverMessage("0105678", 2, 1, "hello", 11, 21, 451, 6, when, &err);
    EXPECT_EQ(err, 0u);

    std::lock_guard<std::mutex> lock(g_dispatch.mutex);
    EXPECT_TRUE(g_dispatch.lastReturned) << "a delivery returned before its dispatch";
    ASSERT_EQ(g_dispatch.seen.size(), 2u);
    const Dispatched& call = g_dispatch.seen[0];
    EXPECT_TRUE(call.isCall);
    EXPECT_EQ(call.controller, &controller_);
    EXPECT_EQ(call.phone, "0101234");
    EXPECT_EQ(call.fields, (std::vector<int>{1, 61, 2, 10, 20, 450, 5}));
    EXPECT_EQ(std::memcmp(&call.when, &when, sizeof(DateTime)), 0);
    EXPECT_NE(call.thread, std::this_thread::get_id());
    const Dispatched& message = g_dispatch.seen[1];
    EXPECT_FALSE(message.isCall);
    EXPECT_EQ(message.phone, "0105678");
    EXPECT_EQ(message.summary, "hello");
    EXPECT_EQ(message.fields, (std::vector<int>{2, 1, 11, 21, 451, 6}));
    EXPECT_EQ(message.when.reserved, 3);
}

TEST_F(PlatformDeliveryTest, SeveralDeliverersAtOnceEachGetTheirDispatchOneAtATime) {
    keep(&controller_);
    constexpr int kThreads = 4;
    constexpr int kEach = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> deliverers;
    for (int t = 0; t < kThreads; ++t) {
        deliverers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                unsigned int err = 99;
                std::string phone = std::to_string(t * 1000 + i);
                ZbasePi_deliverCall(phone.c_str(), t, i, 0, 0, 0, 0, 0, DateTime{}, &err);
                failures += err != 0;
            }
        });
    }
    for (std::thread& deliverer : deliverers) {
        deliverer.join();
    }
    EXPECT_EQ(failures.load(), 0);
    std::lock_guard<std::mutex> lock(g_dispatch.mutex);
    EXPECT_EQ(g_dispatch.seen.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(g_dispatch.mostAtOnce, 1);
}

// Once slot 4 or the last release returns, the controller is not called
// again, so its owner may free it: forgetting waits for a running dispatch.
TEST_F(PlatformDeliveryTest, ForgettingTheControllerWaitsForARunningDispatch) {
    for (bool byRelease : {false, true}) {
        SCOPED_TRACE(byRelease ? "last release" : "slot 4");
        resetDispatchLog();
        keep(&controller_);
        {
            std::lock_guard<std::mutex> lock(g_dispatch.mutex);
            g_dispatch.blockNext = true;
        }
        unsigned int deliveryErr = 99;
        std::thread deliverer([&] {
            ZbasePi_deliverCall("block", 0, 0, 0, 0, 0, 0, 0, DateTime{}, &deliveryErr);
        });
        {
            std::unique_lock<std::mutex> lock(g_dispatch.mutex);
            ASSERT_TRUE(g_dispatch.changed.wait_for(lock, 10s, [] { return g_dispatch.blocked; }));
        }
        std::atomic<bool> forgotten{false};
        PiObject* pi = pi_;
        std::thread forgetter([&] {
            if (byRelease) {
                pi->ops->release(pi);
            } else {
                pi->ops->forget(pi);
            }
            forgotten = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(forgotten.load()) << "forgot the controller under a running dispatch";
        {
            std::lock_guard<std::mutex> lock(g_dispatch.mutex);
            g_dispatch.gateOpen = true;
        }
        g_dispatch.changed.notify_all();
        forgetter.join();
        deliverer.join();
        EXPECT_EQ(deliveryErr, 0u);
        EXPECT_EQ(ZbasePi_isRegistered(), 0);
        unsigned int err = 99;
        ZbasePi_deliverCall("late", 0, 0, 0, 0, 0, 0, 0, DateTime{}, &err);
        EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_FAILURE));
        if (byRelease) {
            pi_ = nullptr;
        }
    }
}

}  // namespace
