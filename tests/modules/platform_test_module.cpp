// A component library for the component registry's tests, loaded by path or
// registered directly through its "Dll_getFactory".  Its objects answer one
// interface; factory and object share one table.
#include <cstring>

#include "qelmemory.h"
#include "zbase.h"

namespace {

const UUID kAnswerInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

struct Ops {
    void* (*queryInterface)(void*, const UUID*, unsigned int*);
    int (*addRef)(void*);
    int (*release)(void*);
    void* (*createFactory)(unsigned int*);
    void* (*createInstance)(void*, const UUID*, unsigned int*);
};
struct Object {
    const Ops* ops;
    int references;
};
int addRef(void* self) {
    return ++static_cast<Object*>(self)->references;
}
int release(void* self) {
    int left = --static_cast<Object*>(self)->references;
    if (left == 0)
        Mem_freeEx(self, __FILE__, __LINE__);
    return left;
}
void* noInterface(void*, const UUID*, unsigned int* err) {
    *err = 24;
    return nullptr;
}
void* createFactory(unsigned int* err);
void* createInstance(void*, const UUID* interfaceId, unsigned int* err);
constexpr Ops kOps = {noInterface, addRef, release, createFactory, createInstance};

void* make() {
    auto* object = static_cast<Object*>(Mem_callocEx(1, sizeof(Object), __FILE__, __LINE__));
    *object = {&kOps, 1};
    return object;
}
void* createFactory(unsigned int* err) {
    *err = 0;
    return make();
}
void* createInstance(void*, const UUID* interfaceId, unsigned int* err) {
    *err = 0;
    if (std::memcmp(interfaceId, &kAnswerInterface, sizeof(UUID)) != 0)
        return noInterface(nullptr, nullptr, err);
    return make();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* Dll_getFactory(void*, unsigned int* err) {
    *err = 0;
    return reinterpret_cast<void*>(&createFactory);
}
