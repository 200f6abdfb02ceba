// The class factory, the column-type mapping, and the parts of the service
// object and the event controller that run without the logging thread.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase_host.h"
#include "zbase_testing.h"
#include "zkivLifelogActivityEventController.h"
#include "zkivLifelogCommon.h"
#include "zkivLifelogImpl.h"
#include "zkivLifeloggingServiceImpl.h"

namespace {

const UUID kUnknownId = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};

enum class Made { kQueryObject, kService, kNothing };

class FactoryTest : public LifelogTest {
protected:
    LifelogCommon* newFactory() {
        unsigned int err = 77;
        LifelogCommon* factory = __LifelogCommon_createFactory(&err);
        EXPECT_EQ(err, 0u);
        return factory;
    }

    static Made kindOf(void* object) {
        if (object == nullptr) {
            return Made::kNothing;
        }
        auto* head = static_cast<ILifelog*>(object);
        if (head->ops->addRef == __LifelogImpl_addRef) {
            return Made::kQueryObject;
        }
        auto* service = static_cast<ILifeloggingService*>(object);
        return service->ops->addRef == __LifeloggingServiceImpl_addRef ? Made::kService
                                                                      : Made::kNothing;
    }

    // Gives back whatever the factory made.
    static void releaseObject(void* object) {
        switch (kindOf(object)) {
            case Made::kQueryObject: {
                auto* query = static_cast<ILifelog*>(object);
                EXPECT_EQ(query->ops->release(query), 0);
                break;
            }
            case Made::kService: {
                auto* service = static_cast<ILifeloggingService*>(object);
                EXPECT_EQ(service->ops->release(service), 0);
                break;
            }
            case Made::kNothing:
                break;
        }
    }

    static int32_t countOf(void* object) {
        switch (kindOf(object)) {
            case Made::kQueryObject:
                return static_cast<LifelogImpl*>(static_cast<ILifelog*>(object)->impl)->refCount;
            case Made::kService:
                return static_cast<LifeloggingServiceImpl*>(
                           static_cast<ILifeloggingService*>(object)->impl)
                    ->refCount;
            case Made::kNothing:
                break;
        }
        return -100;
    }
};

TEST_F(FactoryTest, DllGetFactoryHandsOutTheFactoryMakerNotAFactory) {
    unsigned int err = 99;
    void* maker = Dll_getFactory(reinterpret_cast<void*>(0x1234), &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(maker, reinterpret_cast<void*>(&__LifelogCommon_createFactory));

    LifelogCommon* factory = newFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->impl, factory);
    EXPECT_EQ(factory->refCount, 1);
    EXPECT_EQ(factory->ops->createFactory, &__LifelogCommon_createFactory);
    EXPECT_EQ(factory->ops->addRef(factory), 2);
    EXPECT_EQ(factory->ops->release(factory), 1);
    EXPECT_EQ(factory->ops->release(factory), 0);  // freed: the leak check proves it
}

TEST_F(FactoryTest, EachIdentifierMakesItsObjectOrNothing) {
    struct Case {
        const char* name;
        const UUID* id;
        Made made;
        unsigned int err;
    };
    const Case cases[] = {
        {"ILifelog", &IID_ILifelog, Made::kQueryObject, 0},
        {"base", &IID_IBase, Made::kQueryObject, 0},
        {"ILifeloggingService", &IID_ILifeloggingService, Made::kService, 0},
        {"second common identifier", &IID_IBaseReserved, Made::kNothing, 24},
        {"ILifelogPi", &IID_ILifelogPi, Made::kNothing, 24},
        {"service class", &CLSID_LifeloggingService, Made::kNothing, 24},
        {"unknown", &kUnknownId, Made::kNothing, 24},
    };
    LifelogCommon* factory = newFactory();
    ASSERT_NE(factory, nullptr);
    for (const Case& c : cases) {
        for (auto operation : {factory->ops->createInstance, factory->ops->queryInterface}) {
            SCOPED_TRACE(c.name);
            unsigned int err = 55;
            void* object = operation(factory, c.id, &err);
            EXPECT_EQ(err, c.err);
            EXPECT_EQ(kindOf(object), c.made);
            EXPECT_NE(object, static_cast<void*>(factory));
            if (object != nullptr) {
                EXPECT_EQ(countOf(object), 1);
            }
            releaseObject(object);
        }
    }
    EXPECT_EQ(factory->refCount, 1);  // making objects takes no reference on the factory
    EXPECT_EQ(factory->ops->release(factory), 0);
}

TEST_F(FactoryTest, TwoServiceRequestsGiveTwoServicesWithOneReferenceEach) {
    LifelogCommon* factory = newFactory();
    ASSERT_NE(factory, nullptr);
    unsigned int err = 0;
    void* first = factory->ops->createInstance(factory, &IID_ILifeloggingService, &err);
    ASSERT_EQ(err, 0u);
    void* second = factory->ops->createInstance(factory, &IID_ILifeloggingService, &err);
    ASSERT_EQ(err, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(countOf(first), 1);
    EXPECT_EQ(countOf(second), 1);
    auto* service = static_cast<ILifeloggingService*>(first);
    EXPECT_EQ(service->ops->getStatus(service), LIFELOG_SERVICE_NOT_STARTED);
    releaseObject(first);
    releaseObject(second);
    factory->ops->release(factory);
}

// A failing constructor, whatever its cause, reaches the platform as 1 and
// leaves nothing behind.
TEST_F(FactoryTest, FailingConstructorsGiveOneAndLeaveNothing) {
    for (const UUID* id : {&IID_ILifelog, &IID_ILifeloggingService}) {
        bool made = false;
        for (long n = 1; n < 500 && !made; ++n) {
            SCOPED_TRACE(n);
            unsigned int err = 0;
            Mem_failAfter(n);
            LifelogCommon* factory = __LifelogCommon_createFactory(&err);
            void* object = nullptr;
            if (factory == nullptr) {
                EXPECT_EQ(err, 1u);
            } else {
                object = factory->ops->createInstance(factory, id, &err);
                factory->ops->release(factory);
            }
            Mem_failAfter(0);
            if (object != nullptr) {
                EXPECT_EQ(err, 0u);
                made = true;
                releaseObject(object);
            } else {
                EXPECT_EQ(err, 1u);
            }
            EXPECT_EQ(Mem_getLiveCount(), 0);
        }
        EXPECT_TRUE(made);
    }
    EXPECT_TRUE(hasLog(kError, "[E_OUT_OF_MEMORY] Propagated: ActivityEventController_new is failed",
                       10, "__LifeloggingServiceImpl_new"));
    EXPECT_TRUE(hasLog(kError, "[E_OUT_OF_MEMORY] Propagated: Thread_new is failed", 10,
                       "__LifeloggingServiceImpl_new"));
}

TEST_F(FactoryTest, ColumnTypesMapToValueTypes) {
    const std::pair<int, int> cases[] = {
        {DB_COLUMN_INT, LIFELOG_VALUE_INT},       {DB_COLUMN_INT64, LIFELOG_VALUE_INT64},
        {DB_COLUMN_DOUBLE, LIFELOG_VALUE_DOUBLE}, {DB_COLUMN_TEXT, LIFELOG_VALUE_STRING},
        {DB_COLUMN_OTHER, -1},                    {DB_COLUMN_NULL, LIFELOG_VALUE_NONE},
        {6, -1},                                  {-1, -1},
        {1 << 30, -1},
    };
    for (auto [column, value] : cases) {
        EXPECT_EQ(__Util_convertType(column), value) << "column type " << column;
    }
}

TEST_F(FactoryTest, IdentifiersAreTheComponentModelsOwn) {
    const std::pair<const UUID*, const char*> cases[] = {
        {&IID_IBase, "56C5BADD-2A24-43DA-B8B1-409B9EE883C5"},
        {&IID_IBaseReserved, "E822B65C-FD4B-4171-9E38-A305CFA28F2D"},
        {&IID_ILifelog, "334D3D80-7E91-44B4-AD33-B2891A3CB445"},
        {&IID_ILifeloggingService, "3E7E038E-6ED8-4744-B0FF-A7C2144AFEC3"},
        {&CLSID_LifeloggingService, "E34E2B68-6238-4B7B-BE41-C4F7FE705975"},
        {&CLSID_LifelogPi, "C69A284C-68A5-4654-B860-3CA60705B63F"},
        {&IID_ILifelogPi, "A628BF07-0C8C-4954-9AE9-D7123C005F9E"},
    };
    for (auto [id, text] : cases) {
        char buffer[40];
        snprintf(buffer, sizeof buffer, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                 id->data1, id->data2, id->data3, id->data4[0], id->data4[1], id->data4[2],
                 id->data4[3], id->data4[4], id->data4[5], id->data4[6], id->data4[7]);
        EXPECT_STREQ(buffer, text);
    }
}

// ------------------------------------------- service object without thread

class ServiceObjectTest : public FactoryTest {
protected:
    ILifeloggingService* newService() {
        unsigned int err = 0;
        auto* service = static_cast<ILifeloggingService*>(
            Com_createInstance(&CLSID_LifeloggingService, &IID_ILifeloggingService, &err));
        EXPECT_EQ(err, 0u);
        return service;
    }
    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 0;
        Com_registerClass(&CLSID_LifeloggingService, Dll_getFactory, &err);
        ASSERT_EQ(err, 0u);
    }
};

TEST_F(ServiceObjectTest, AnswersItsOwnInterfaceAndTheBaseOnly) {
    ILifeloggingService* service = newService();
    ASSERT_NE(service, nullptr);
    struct Case {
        const UUID* id;
        bool answers;
    };
    const Case cases[] = {{&IID_ILifeloggingService, true},
                          {&IID_IBase, true},
                          {&IID_ILifelog, false},
                          {&IID_IBaseReserved, false},
                          {&kUnknownId, false}};
    int32_t expected = 1;
    for (const Case& c : cases) {
        unsigned int err = 99;
        void* answer = service->ops->queryInterface(service, c.id, &err);
        EXPECT_EQ(answer, c.answers ? static_cast<void*>(service) : nullptr);
        EXPECT_EQ(err, c.answers ? 0u : 24u);
        expected += c.answers ? 1 : 0;
        EXPECT_EQ(countOf(service), expected);
    }
    clearLog();
    EXPECT_EQ(service->ops->release(service), 2);
    EXPECT_EQ(service->ops->release(service), 1);
    EXPECT_EQ(__LifeloggingServiceImpl_release(nullptr), -1);
    EXPECT_EQ(service->ops->release(service), 0);
    EXPECT_EQ(countLog(kTrace, "refcount after release = 1", 10,
                       "__LifeloggingServiceImpl_release"),
              1);
    EXPECT_EQ(countLog(kTrace, "refcount after release = 0", 10,
                       "__LifeloggingServiceImpl_release"),
              1);
    EXPECT_EQ(countLog(kTrace, "is called", 10, "__LifeloggingServiceImpl_delete"), 1);
}

TEST_F(ServiceObjectTest, ThreadProcedureWithoutServiceEndsAtOnce) {
    EXPECT_EQ(__Lifelog_logging_thread_proc(nullptr), nullptr);
    EXPECT_TRUE(hasLog(kError, "param is null, run lifelog thread is failed.", 10,
                       "__Lifelog_logging_thread_proc"));
}

TEST_F(ServiceObjectTest, ListenerNeedsAControllerAndIgnoresOtherMessages) {
    unsigned int err = 99;
    EXPECT_EQ(ActorListener_new("lifelogActor", nullptr, &err), nullptr);
    EXPECT_TRUE(hasLog(kError, "eventCtrl is null, run lifelog thread is failed.", 10,
                       "ActorListener_new"));

    ActivityEventController* controller = ActivityEventController_new(&err);
    ASSERT_NE(controller, nullptr);
    ActorListener* listener = ActorListener_new("lifelogActor", controller, &err);
    ASSERT_NE(listener, nullptr);
    EXPECT_EQ(listener->impl, listener);
    EXPECT_NE(listener->actor, nullptr);
    for (int32_t code : {0, 2, 8193, -1}) {
        ActorMessage message{code};
        listener->ops->onMessage(listener, &message);
    }
    EXPECT_EQ(controller->controller, nullptr);  // not initialised
    EXPECT_EQ(controller->event.handler, nullptr);
    ActorListener_delete(listener);
    ActivityEventController_delete(controller);
}

// ------------------------------------------------ controller on its own

TEST_F(ServiceObjectTest, ControllerDropsWhatItCannotHandOver) {
    ActivityEventController_delete(nullptr);

    unsigned int err = 0;
    ActivityEventController* controller = ActivityEventController_new(&err);
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->pendingActivity, nullptr);
    EXPECT_EQ(controller->controller, nullptr);
    EXPECT_NE(controller->notifier, nullptr);
    EXPECT_TRUE(hasLog(kTrace, "Max count per activity : 500", 10, "ActivityEventController_new"));

    const DateTime when{2024, 3, 4, 5, 6, 7, 0};
    // Not initialised: the event has no handler, so the fire fails and the
    // activity is deleted.
    ActivityEventController_callActivity_dispatch(controller, "0101", 1, 10, 0, 1, 2, 3, 4, when);
    EXPECT_EQ(countLog(kError, "Event_fire() failed!", 10,
                       "ActivityEventController_callActivity_dispatch"),
              1);
    EXPECT_EQ(controller->pendingActivity, nullptr);

    struct Case {
        const char* phone;
        const char* summary;
        bool call;
        const char* function;
    };
    const Case cases[] = {
        {nullptr, nullptr, true, "ActivityEventController_callActivity_dispatch"},
        {nullptr, "text", false, "ActivityEventController_msgActivity_dispatch"},
        {"0101", nullptr, false, "ActivityEventController_msgActivity_dispatch"},
    };
    for (const Case& c : cases) {
        clearLog();
        if (c.call) {
            ActivityEventController_callActivity_dispatch(controller, c.phone, 0, 0, 0, 0, 0, 0,
                                                          0, when);
        } else {
            ActivityEventController_msgActivity_dispatch(controller, c.phone, 0, 0, c.summary, 0,
                                                         0, 0, 0, when);
        }
        EXPECT_EQ(countLog(kError, "[E_INVALID_ARG] Propagated: lifelogActivity is null", 10,
                           c.function),
                  1);
        EXPECT_EQ(countLog(kError, "Event_fire() failed!"), 0);
        EXPECT_EQ(countLog(kTrace, "is called", 10, c.function), 1);
    }
    ActivityEventController_delete(controller);
}

TEST_F(ServiceObjectTest, FailingControllerConstructionLeavesNothing) {
    clearLog();
    bool made = false;
    for (long n = 1; n < 500 && !made; ++n) {
        SCOPED_TRACE(n);
        unsigned int err = 0;
        Mem_failAfter(n);
        ActivityEventController* controller = ActivityEventController_new(&err);
        Mem_failAfter(0);
        if (controller != nullptr) {
            EXPECT_EQ(err, 0u);
            made = true;
            ActivityEventController_delete(controller);
        } else {
            EXPECT_NE(err, 0u);
        }
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
    EXPECT_TRUE(made);
    // Each step's failure was seen on the way, with its own message.
    EXPECT_TRUE(hasLog(kError, "Propagated: _CreateDBLifeLogger is failed", 10,
                       "ActivityEventController_new"));
    EXPECT_TRUE(hasLog(kError, "[E_OUT_OF_MEMORY] Propagated: IID_ILifelogPi", 10,
                       "ActivityEventController_new"));
}

}  // namespace
