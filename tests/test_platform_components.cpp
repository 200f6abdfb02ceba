// The component registry (direct registration and component libraries
// loaded by path), component creation and the notification component's
// table.
#include <cstring>

#include "fixture.h"
#include "qelmemory.h"
#include "zbase.h"
#include "zbase_host.h"
#include "zbase_testing.h"

namespace {

const UUID kFakeClass = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
const UUID kModuleClass = {0x55555555, 0x6666, 0x7777, {8, 8, 8, 8, 8, 8, 8, 8}};
const UUID kFakeInterface = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {1, 1, 1, 1, 1, 1, 1, 1}};
const UUID kOtherInterface = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {1, 1, 1, 1, 1, 1, 1, 2}};
const UUID kAnswerInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
const UUID kPiClass = {0xC69A284C, 0x68A5, 0x4654, {0xB8, 0x60, 0x3C, 0xA6, 0x07, 0x05, 0xB6, 0x3F}};
const UUID kPiInterface = {0xA628BF07, 0x0C8C, 0x4954,
                           {0x9A, 0xE9, 0xD7, 0x12, 0x3C, 0x00, 0x5F, 0x9E}};
const UUID kBaseInterface = {0x56C5BADD, 0x2A24, 0x43DA,
                             {0xB8, 0xB1, 0x40, 0x9B, 0x9E, 0xE8, 0x83, 0xC5}};

// Every table begins queryInterface, addRef, release.
struct CommonOps {
    void* (*queryInterface)(void*, const UUID*, unsigned int*);
    int (*addRef)(void*);
    int (*release)(void*);
};
struct Object {
    const CommonOps* ops;
    Object* impl;
    int references;
};

// A component whose every step can be told to fail.
struct Behaviour {
    unsigned int getFactoryCode = 0;
    bool getFactoryGivesNothing = false;
    unsigned int makeFactoryCode = 0;
    unsigned int instanceCode = 0;
};
Behaviour g_behaviour;
int g_factoriesMade = 0;
int g_factoriesFreed = 0;

int addRef(void* self) { return ++static_cast<Object*>(self)->impl->references; }
int releaseObject(void* self) {
    Object* object = static_cast<Object*>(self)->impl;
    int left = --object->references;
    if (left == 0) {
        Mem_freeEx(object, __FILE__, __LINE__);
    }
    return left;
}
int releaseFactory(void* self) {
    int left = releaseObject(self);
    g_factoriesFreed += left == 0;
    return left;
}
void* noInterface(void*, const UUID*, unsigned int* err) {
    *err = 24;
    return nullptr;
}
constexpr CommonOps kObjectOps = {noInterface, addRef, releaseObject};

Object* make(const CommonOps* ops) {
    auto* object = static_cast<Object*>(Mem_callocEx(1, sizeof(Object), __FILE__, __LINE__));
    object->ops = ops;
    object->impl = object;
    object->references = 1;
    return object;
}

void* createInstance(void*, const UUID* interfaceId, unsigned int* err) {
    *err = g_behaviour.instanceCode;
    if (*err != 0) {
        return nullptr;
    }
    if (!UUID_isEqual(interfaceId, &kFakeInterface)) {
        *err = 24;
        return nullptr;
    }
    return make(&kObjectOps);
}
void* makeFactory(unsigned int* err);
struct FactoryOps {
    CommonOps common;
    void* (*createFactory)(unsigned int*);
    void* (*createInstance)(void*, const UUID*, unsigned int*);
};
constexpr FactoryOps kFactoryOps = {{createInstance, addRef, releaseFactory}, makeFactory,
                                    createInstance};

void* makeFactory(unsigned int* err) {
    *err = g_behaviour.makeFactoryCode;
    if (*err != 0) {
        return nullptr;
    }
    ++g_factoriesMade;
    return make(&kFactoryOps.common);
}

void* fakeGetFactory(void*, unsigned int* err) {
    *err = g_behaviour.getFactoryCode;
    if (*err != 0 || g_behaviour.getFactoryGivesNothing) {
        return nullptr;
    }
    return reinterpret_cast<void*>(&makeFactory);
}

class PlatformComponentsTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        g_behaviour = Behaviour{};
        g_factoriesMade = g_factoriesFreed = 0;
    }
    void TearDown() override {
        Com_unregisterClass(&kFakeClass);
        Com_unregisterClass(&kModuleClass);
        LifelogTest::TearDown();
    }
};

TEST_F(PlatformComponentsTest, CreateThroughADirectlyRegisteredClass) {
    struct Case {
        const char* name;
        Behaviour behaviour;
        const UUID* interfaceId;
        unsigned int expected;
        int factoriesMade;  // each one made is released again
    };
    const Case cases[] = {
        {"object made", {}, &kFakeInterface, 0, 1},
        {"entry fails", {66, false, 0, 0}, &kFakeInterface, 66, 0},
        {"entry gives no factory maker", {0, true, 0, 0}, &kFakeInterface, ZBASE_E_FAILURE, 0},
        {"factory cannot be made", {0, false, 1, 0}, &kFakeInterface, 1, 0},
        {"interface not answered", {}, &kOtherInterface, 24, 1},
        {"object constructor fails", {0, false, 0, 1}, &kFakeInterface, 1, 1},
    };
    unsigned int err = 99;
    Com_registerClass(&kFakeClass, fakeGetFactory, &err);
    ASSERT_EQ(err, 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_behaviour = c.behaviour;
        g_factoriesMade = g_factoriesFreed = 0;
        err = 99;
        auto* object = static_cast<Object*>(Com_createInstance(&kFakeClass, c.interfaceId, &err));
        EXPECT_EQ(err, c.expected);
        EXPECT_EQ(object != nullptr, c.expected == 0);
        EXPECT_EQ(g_factoriesMade, c.factoriesMade);
        EXPECT_EQ(g_factoriesFreed, c.factoriesMade);
        if (object != nullptr) {
            EXPECT_EQ(object->ops->release(object), 0) << "came with more than one reference";
        }
    }
}

TEST_F(PlatformComponentsTest, RegistryFindsReplacesAndForgetsClasses) {
    unsigned int err = 99;
    EXPECT_EQ(Com_createInstance(&kFakeClass, &kFakeInterface, &err), nullptr);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_OBJ_NOT_FOUND));

    Com_registerClass(&kFakeClass, fakeGetFactory, &err);
    auto* object = static_cast<Object*>(Com_createInstance(&kFakeClass, &kFakeInterface, &err));
    ASSERT_NE(object, nullptr);
    object->ops->release(object);

    Com_unregisterClass(&kFakeClass);
    EXPECT_EQ(Com_createInstance(&kFakeClass, &kFakeInterface, &err), nullptr);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_OBJ_NOT_FOUND));

    struct Case {
        const char* name;
        void (*call)(unsigned int*);
        unsigned int expected;
    };
    const Case refused[] = {
        {"register without class", [](unsigned int* e) { Com_registerClass(nullptr, fakeGetFactory, e); },
         ZBASE_E_INVALID_ARG},
        {"register without entry", [](unsigned int* e) { Com_registerClass(&kFakeClass, nullptr, e); },
         ZBASE_E_INVALID_ARG},
        {"create without class",
         [](unsigned int* e) { Com_createInstance(nullptr, &kFakeInterface, e); }, ZBASE_E_INVALID_ARG},
        {"create without interface",
         [](unsigned int* e) { Com_createInstance(&kPiClass, nullptr, e); }, ZBASE_E_INVALID_ARG},
        {"module that does not exist",
         [](unsigned int* e) { Com_registerModule(&kModuleClass, "/nonexistent/libnone.so", e); },
         ZBASE_E_FILE_NOT_FOUND},
        {"library without Dll_getFactory",
         [](unsigned int* e) { Com_registerModule(&kModuleClass, ZBASE_LIBRARY_PATH, e); },
         ZBASE_E_FAILURE},
    };
    for (const Case& c : refused) {
        err = 0;
        c.call(&err);
        EXPECT_EQ(err, c.expected) << c.name;
    }
    EXPECT_EQ(Com_createInstance(&kModuleClass, &kAnswerInterface, &err), nullptr)
        << "a refused module was registered";
}

TEST_F(PlatformComponentsTest, CreateThroughALibraryLoadedByPath) {
    unsigned int err = 99;
    Com_registerModule(&kModuleClass, PLATFORM_TEST_MODULE_PATH, &err);
    ASSERT_EQ(err, 0u);
    struct AnswerOps {
        CommonOps common;
        int (*answer)(void*);
    };
    struct Answer {
        const AnswerOps* ops;
    };
    auto* answer = static_cast<Answer*>(Com_createInstance(&kModuleClass, &kAnswerInterface, &err));
    ASSERT_EQ(err, 0u);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->ops->answer(answer), 42);
    EXPECT_EQ(answer->ops->common.release(answer), 0);

    EXPECT_EQ(Com_createInstance(&kModuleClass, &kFakeInterface, &err), nullptr);
    EXPECT_EQ(err, 24u);
    EXPECT_EQ(Mem_getLiveCount(), 0) << "the module's factory was not released";
}

struct PiOps {
    CommonOps common;
    void (*keep)(void*, void*, unsigned int*);
    void (*forget)(void*);
};
struct Pi {
    const PiOps* ops;
};

TEST_F(PlatformComponentsTest, NotificationComponentTableAndDeliveryWithoutController) {
    unsigned int err = 99;
    auto* pi = static_cast<Pi*>(Com_createInstance(&kPiClass, &kPiInterface, &err));
    ASSERT_EQ(err, 0u);
    ASSERT_NE(pi, nullptr);

    EXPECT_EQ(pi->ops->common.queryInterface(pi, &kBaseInterface, &err), pi);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(pi->ops->common.queryInterface(pi, &kPiInterface, &err), pi);
    EXPECT_EQ(pi->ops->common.queryInterface(pi, &kFakeInterface, &err), nullptr);
    EXPECT_EQ(err, 24u);
    EXPECT_EQ(pi->ops->common.addRef(pi), 4);
    EXPECT_EQ(pi->ops->common.release(pi), 3);
    EXPECT_EQ(pi->ops->common.release(pi), 2);
    EXPECT_EQ(pi->ops->common.release(pi), 1);

    pi->ops->keep(pi, nullptr, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_FAILURE));
    EXPECT_EQ(ZbasePi_isRegistered(), 0);
    err = 99;
    ZbasePi_deliverCall("0101234", 1, 10, 0, 1, 2, 3, 4, DateTime{2024, 1, 2, 3, 4, 5, 0}, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_FAILURE));
    err = 99;
    ZbasePi_deliverMessage("0101234", 1, 0, "hi", 1, 2, 3, 4, DateTime{2024, 1, 2, 3, 4, 5, 0}, &err);
    EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_FAILURE));

    // A controller kept by an object is forgotten with that object's last release.
    int controller = 0;
    pi->ops->keep(pi, &controller, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_NE(ZbasePi_isRegistered(), 0);
    EXPECT_EQ(pi->ops->common.release(pi), 0);
    EXPECT_EQ(ZbasePi_isRegistered(), 0);

    EXPECT_EQ(Com_createInstance(&kPiClass, &kFakeInterface, &err), nullptr);
    EXPECT_EQ(err, 24u);
}

TEST_F(PlatformComponentsTest, NotificationComponentCreationLeavesNothingWhenMemoryRunsOut) {
    for (long n = 1;; ++n) {
        Mem_failAfter(n);
        unsigned int err = 99;
        auto* pi = static_cast<Pi*>(Com_createInstance(&kPiClass, &kPiInterface, &err));
        Mem_failAfter(0);
        if (pi != nullptr) {
            EXPECT_EQ(err, 0u);
            EXPECT_EQ(pi->ops->common.release(pi), 0);
            EXPECT_GT(n, 1) << "creation allocated nothing";
            break;
        }
        EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_OUT_OF_MEMORY)) << "allocation " << n;
        EXPECT_EQ(Mem_getLiveCount(), 0) << "allocation " << n;
        ASSERT_LT(n, 10);
    }
}

TEST(PlatformUuid, EqualityIsByAllSixteenBytes) {
    UUID copy = kPiClass;
    EXPECT_NE(UUID_isEqual(&kPiClass, &copy), 0);
    for (size_t byte = 0; byte < sizeof(UUID); ++byte) {
        UUID changed = kPiClass;
        reinterpret_cast<unsigned char*>(&changed)[byte] ^= 0x01;
        EXPECT_EQ(UUID_isEqual(&kPiClass, &changed), 0) << "byte " << byte;
    }
}

}  // namespace
