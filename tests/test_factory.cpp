// The class factory, and the parts of the service object and the event
// controller that run without the logging thread.
#include <set>

#include "fixture.h"
#include "zkivLifelog.h"

namespace {

const UUID kUnknownId = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};

// Gives back all of what the factory made; says what it was ('q' a query
// object, 's' a service object) and the count it came with.
template <typename Object>
std::pair<char, int32_t> giveBack(Object* object, char kind) {
    int32_t count = object->ops->addRef(object) - 1;
    while (object->ops->release(object) > 0) {
    }
    return {kind, count};
}

std::pair<char, int32_t> takeBack(void* object) {
    if (static_cast<ILifelog*>(object)->ops->addRef == __LifelogImpl_addRef)
        return giveBack(static_cast<ILifelog*>(object), 'q');
    return giveBack(static_cast<ILifeloggingService*>(object), 's');
}

using FactoryTest = LifelogTest;

// Every request makes a new object (two service requests, two services),
// each handed out with a count of 1; the factory itself is never handed out.
TEST_F(FactoryTest, EachIdentifierMakesANewObjectWithOneReferenceOr24) {
    unsigned int err = 99;
    auto make = reinterpret_cast<LifelogCommon* (*)(unsigned int*)>(Dll_getFactory(nullptr, &err));
    ASSERT_EQ(make, &__LifelogCommon_createFactory);
    LifelogCommon* factory = make(&err);
    ASSERT_NE(factory, nullptr);
    const std::pair<const UUID*, char> cases[] = {
        {&IID_ILifelog, 'q'},    {&IID_IBase, 'q'},    {&IID_ILifeloggingService, 's'},
        {&IID_IBaseReserved, 0}, {&IID_ILifelogPi, 0}, {&CLSID_LifeloggingService, 0},
        {&kUnknownId, 0}};
    std::vector<std::pair<void*, char>> made;
    for (auto [id, kind] : cases) {
        for (auto operation : {factory->ops->createInstance, factory->ops->queryInterface}) {
            err = 55;
            void* object = operation(factory, id, &err);
            EXPECT_EQ(err, kind ? LIFELOG_E_SUCCESS : LIFELOG_E_NO_INTERFACE) << kind;
            EXPECT_EQ(object != nullptr, kind != 0) << kind;
            if (object != nullptr)
                made.emplace_back(object, kind);
        }
    }
    std::set<void*> distinct{factory};
    for (auto [object, kind] : made) {
        distinct.insert(object);
        EXPECT_EQ(takeBack(object), std::make_pair(kind, 1));
    }
    EXPECT_EQ(distinct.size(), made.size() + 1);
    EXPECT_EQ(factory->ops->addRef(factory), 2);  // making objects took no reference
    EXPECT_EQ(factory->ops->release(factory), 1);
    EXPECT_EQ(factory->ops->release(factory), 0);  // freed: the leak check proves it
}

// A failing constructor, whatever its cause, reaches the platform as 1 and
// leaves nothing behind.
TEST_F(FactoryTest, FailingConstructorsGiveOneAndLeaveNothing) {
    // Failures that only cost an optional step (an index check) let an
    // object be made early, so every allocation up to well past the last one
    // is failed in turn, not only those before the first success.
    for (const UUID* id : {&IID_ILifelog, &IID_ILifeloggingService}) {
        int made = 0;
        for (long n = 1; n < 80; ++n) {
            SCOPED_TRACE(n);
            unsigned int err = 0;
            void* object = nullptr;
            Mem_failAfter(n);
            LifelogCommon* factory = __LifelogCommon_createFactory(&err);
            if (factory != nullptr) {
                object = factory->ops->createInstance(factory, id, &err);
                factory->ops->release(factory);
            }
            Mem_failAfter(0);
            EXPECT_EQ(err, object == nullptr ? LIFELOG_E_OUT_OF_MEMORY : LIFELOG_E_SUCCESS);
            if (object != nullptr) {
                ++made;
                takeBack(object);
            }
            EXPECT_EQ(Mem_getLiveCount(), 0);
        }
        EXPECT_GT(made, 0);
    }
    EXPECT_TRUE(hasLog(kError, "[E_OUT_OF_MEMORY] Propagated: Thread_new is failed", 10,
                       "__LifeloggingServiceImpl_new"));
}

TEST_F(FactoryTest, ServiceAnswersItsOwnInterfaceAndTheBaseOnly) {
    unsigned int err = 0;
    ILifeloggingService* service = &__LifeloggingServiceImpl_new(&err)->iface;
    int32_t expected = 0;
    for (auto [id, answers] : {std::pair{&IID_ILifeloggingService, true},
                               {&IID_IBase, true},
                               {&IID_ILifelog, false},
                               {&kUnknownId, false}}) {
        err = 99;
        EXPECT_EQ(service->ops->queryInterface(service, id, &err), answers ? service : nullptr);
        EXPECT_EQ(err, answers ? LIFELOG_E_SUCCESS : LIFELOG_E_NO_INTERFACE);
        EXPECT_EQ(service->ops->addRef(service), expected += answers ? 2 : 1);
    }
    EXPECT_EQ(__LifeloggingServiceImpl_release(nullptr), -1);
    EXPECT_EQ(giveBack(service, 's'), std::make_pair('s', expected));
    EXPECT_EQ(__Lifelog_logging_thread_proc(nullptr), nullptr);
}

// An uninitialised controller has no handler to fire: the activity is
// dropped (the leak check proves it); a notification that makes no activity
// fires nothing.
TEST_F(FactoryTest, ControllerDropsWhatItCannotHandOver) {
    unsigned int err = 99;
    ActivityEventController* controller = ActivityEventController_new(&err);
    ASSERT_NE(controller, nullptr);
    clearLog();
    const DateTime when{2024, 3, 4, 5, 6, 7, 0};
    ActivityEventController_callActivity_dispatch(controller, "0101", 1, 10, 0, 1, 2, 3, 4, when);
    ActivityEventController_msgActivity_dispatch(controller, "01", 0, 0, nullptr, 0, 0, 0, 0, when);
    EXPECT_EQ(logTexts(kError),
              (std::vector<std::string>{
                  "ActivityEventController_callActivity_dispatch|Event_fire() failed!",
                  "ActivityEventController_msgActivity_dispatch|"
                  "[E_INVALID_ARG] Propagated: lifelogActivity is null"}));
    ActivityEventController_delete(controller);
    ActivityEventController_delete(nullptr);
}

// Ends the calling thread's main loop from inside it, once reached.
void* gLoop = nullptr;
void exitLoop(Event*) {
    unsigned int err = 0;
    Event_exitMainloop(gLoop, &err);
}

// One thread drives the exported calls: new, the actor's start message,
// a dispatch whose event stays queued (the main loop is not running), delete.
// The delete returns with the event still queued, drops the pending call,
// and the queued delivery, handled afterwards, finds no controller.
TEST_F(FactoryTest, ControllerDeletedOnTheLoggingThreadItselfReturnsAndIgnoresItsQueuedEvent) {
    writeConfig(
        "[ACTIVITY]\nACTIVITY_CALL = true\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = 500\n");
    unsigned int err = 99;
    ActivityEventController* controller = ActivityEventController_new(&err);
    ASSERT_NE(controller, nullptr);
    ActorListener* listener = ActorListener_new("lifelogActor", controller, &err);
    ASSERT_NE(listener, nullptr);
    ActorMessage started{};
    started.code = 1;
    __ActorListener_actor(listener, &started);
    ASSERT_EQ(ZbasePi_isRegistered(), 1);
    const int actorId = controller->event.actorId;
    const DateTime when{2024, 3, 4, 5, 6, 7, 0};
    ActivityEventController_callActivity_dispatch(controller, "0101", 1, 0, 0, 1, 2, 3, 4, when);
    ActivityEventController_delete(controller);
    EXPECT_EQ(ZbasePi_isRegistered(), 0);

    Event last{};
    gLoop = listener->actor->mainloop;
    Event_init(&last, 1, actorId, exitLoop);
    Event_fire(&last, &err);
    ASSERT_EQ(err, 0u);
    Event_runMainloop();  // the controller's queued event, then `last`
    ActorListener_delete(listener);
    EXPECT_EQ(queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_CALL"), (Rows{{"0"}}));
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
}

}  // namespace
