// The component registry: classes registered directly and component
// libraries loaded by path, and component creation through them.
#include <dlfcn.h>

#include "fixture.h"
#include "zbase.h"
#include "zbase_host.h"
#include "zbase_testing.h"

namespace {

const UUID kDirectClass = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
const UUID kModuleClass = {0x55555555, 0x6666, 0x7777, {8, 8, 8, 8, 8, 8, 8, 8}};
const UUID kAnswerInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
const UUID kOtherInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 9}};

// Every table begins queryInterface, addRef, release.
struct Object {
    const struct {
        void* (*queryInterface)(void*, const UUID*, unsigned int*);
        int (*addRef)(void*);
        int (*release)(void*);
    } * ops;
};
Object* create(const UUID* classId, const UUID* interfaceId, unsigned int* err) {
    return static_cast<Object*>(Com_createInstance(classId, interfaceId, err));
}

using PlatformComponentsTest = LifelogTest;

// The factory is given back whatever the outcome: the leak check sees the
// test module's blocks.
TEST_F(PlatformComponentsTest, CreateThroughADirectlyRegisteredClassAndALibraryLoadedByPath) {
    void* module = dlopen(PLATFORM_TEST_MODULE_PATH, RTLD_NOW);
    ASSERT_NE(module, nullptr);
    unsigned int err = 99;
    Com_registerClass(&kDirectClass,
                      reinterpret_cast<ComGetFactoryFn>(dlsym(module, "Dll_getFactory")), &err);
    ASSERT_EQ(err, 0u);
    Com_registerModule(&kModuleClass, PLATFORM_TEST_MODULE_PATH, &err);
    ASSERT_EQ(err, 0u);
    for (const UUID* classId : {&kDirectClass, &kModuleClass}) {
        Object* object = create(classId, &kAnswerInterface, &err);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->ops->release(object), 0) << "came with more than one reference";
        EXPECT_EQ(create(classId, &kOtherInterface, &err), nullptr);
        EXPECT_EQ(err, 24u) << "the component's own code is passed on";
        EXPECT_EQ(Mem_getLiveCount(), 0) << "the factory was not given back";
        Com_unregisterClass(classId);
        EXPECT_EQ(create(classId, &kAnswerInterface, &err), nullptr);
        EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_OBJ_NOT_FOUND)) << "still registered";
    }
    dlclose(module);
}

TEST_F(PlatformComponentsTest, LibrariesThatCannotServeAreRefused) {
    const std::pair<const char*, unsigned int> cases[] = {
        {"/nonexistent/libnone.so", ZBASE_E_FILE_NOT_FOUND},
        {ZBASE_LIBRARY_PATH, ZBASE_E_FAILURE},  // no "Dll_getFactory"
    };
    for (auto [path, expected] : cases) {
        unsigned int err = 0;
        Com_registerModule(&kModuleClass, path, &err);
        EXPECT_EQ(err, expected) << path;
        EXPECT_EQ(create(&kModuleClass, &kAnswerInterface, &err), nullptr);
        EXPECT_EQ(err, static_cast<unsigned int>(ZBASE_E_OBJ_NOT_FOUND)) << "registered anyway";
    }
}

}  // namespace
