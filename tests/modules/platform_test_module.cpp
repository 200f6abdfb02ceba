// A component library for the component registry's tests: loaded by path,
// reached through its "Dll_getFactory" like any component library.  Its one
// object answers one interface with a table whose slot 3 returns 42.
#include <cstring>

#include "qelmemory.h"
#include "zbase.h"

namespace {

const UUID kAnswerInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

struct Object {
    const void* ops;
    Object* impl;
    int references;
};

int addRef(void* self) { return ++static_cast<Object*>(self)->impl->references; }

int release(void* self) {
    Object* object = static_cast<Object*>(self)->impl;
    int left = --object->references;
    if (left == 0) {
        Mem_freeEx(object, __FILE__, __LINE__);
    }
    return left;
}

void* noInterface(void*, const UUID*, unsigned int* err) {
    *err = 24;
    return nullptr;
}

int answer(void*) { return 42; }

struct AnswerOps {
    void* (*queryInterface)(void*, const UUID*, unsigned int*);
    int (*addRef)(void*);
    int (*release)(void*);
    int (*answer)(void*);
};
constexpr AnswerOps kAnswerOps = {noInterface, addRef, release, answer};

void* createInstance(void*, const UUID* interfaceId, unsigned int* err);
void* createFactory(unsigned int* err);

struct FactoryOps {
    void* (*queryInterface)(void*, const UUID*, unsigned int*);
    int (*addRef)(void*);
    int (*release)(void*);
    void* (*createFactory)(unsigned int*);
    void* (*createInstance)(void*, const UUID*, unsigned int*);
};
constexpr FactoryOps kFactoryOps = {createInstance, addRef, release, createFactory, createInstance};

Object* make(const void* ops, unsigned int* err) {
    auto* object = static_cast<Object*>(Mem_callocEx(1, sizeof(Object), __FILE__, __LINE__));
    if (object == nullptr) {
        *err = 1;
        return nullptr;
    }
    object->ops = ops;
    object->impl = object;
    object->references = 1;
    return object;
}

void* createInstance(void*, const UUID* interfaceId, unsigned int* err) {
    *err = 0;
    if (std::memcmp(interfaceId, &kAnswerInterface, sizeof(UUID)) != 0) {
        *err = 24;
        return nullptr;
    }
    return make(&kAnswerOps, err);
}

void* createFactory(unsigned int* err) {
    *err = 0;
    return make(&kFactoryOps, err);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* Dll_getFactory(void*, unsigned int* err) {
    *err = 0;
    return reinterpret_cast<void*>(&createFactory);
}
