// Component creation and the class registry.
//
// A class is known by its identifier and reached through its library's
// factory-making function (a `Dll_getFactory`): Com_registerClass records
// that function directly, Com_registerModule loads a shared library and
// records its "Dll_getFactory".  The notification component is registered
// from the start; registering its class again puts another component in its
// place, and unregistering it removes it like any other class.
//
// Com_createInstance: getFactory(NULL, err) gives the factory-making
// function, which makes a factory holding one reference; the factory's
// createInstance (slot 4) makes the object, and the factory is released
// (slot 2) whatever the outcome.  Codes: 4 for a null identifier or entry,
// 21 for a class that is not registered, 31 for a library that cannot be
// loaded, 13 for a library without "Dll_getFactory" or a step that fails
// without saying why; any other code comes from the component unchanged.
//
// Loaded libraries stay mapped for the life of the process: objects they
// made may outlive their registration.
#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>

#include "zbase.h"
#include "zbase_host.h"
#include "zbase_threading.h"

namespace zbase {
namespace {

struct FactoryOps {
    void* (*queryInterface)(void* self, const UUID* interfaceId, unsigned int* err);
    int (*addRef)(void* self);
    int (*release)(void* self);
    void* (*createFactory)(unsigned int* err);
    void* (*createInstance)(void* self, const UUID* interfaceId, unsigned int* err);
};

struct FactoryHead {
    const FactoryOps* ops;
};

using MakeFactoryFn = void* (*)(unsigned int* err);

struct UuidLess {
    bool operator()(const UUID& a, const UUID& b) const {
        return std::memcmp(&a, &b, sizeof(UUID)) < 0;
    }
};

struct ClassEntry {
    ComGetFactoryFn getFactory = nullptr;
    void* library = nullptr;  // dlopen handle when registered from a module
};

struct ClassRegistry {
    std::mutex mutex;
    std::map<UUID, ClassEntry, UuidLess> classes;
    ClassRegistry() { classes[kNotificationClassId].getFactory = notificationGetFactory; }
};

ClassRegistry& classRegistry() {
    static ClassRegistry* registry = new ClassRegistry();
    return *registry;
}

// Replaces or adds a class; the caller's library handle belongs to the
// registry from here on.
void putClass(const UUID& classId, ClassEntry entry) {
    ClassRegistry& registry = classRegistry();
    ClassEntry previous;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        ClassEntry& slot = registry.classes[classId];
        previous = slot;
        slot = entry;
    }
    if (previous.library != nullptr) {
        dlclose(previous.library);
    }
}

ComGetFactoryFn findClass(const UUID& classId) {
    ClassRegistry& registry = classRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.classes.find(classId);
    return found == registry.classes.end() ? nullptr : found->second.getFactory;
}

// A failing step that left no code of its own reports 13.
unsigned int failureCode(unsigned int code) {
    return code != 0 ? code : static_cast<unsigned int>(ZBASE_E_FAILURE);
}

}  // namespace

void* findProcessSymbol(const char* name) {
    if (void* symbol = dlsym(RTLD_DEFAULT, name)) {
        return symbol;
    }
    ClassRegistry& registry = classRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (const auto& [classId, entry] : registry.classes) {
        if (entry.library != nullptr) {
            if (void* symbol = dlsym(entry.library, name)) {
                return symbol;
            }
        }
    }
    return nullptr;
}

}  // namespace zbase

extern "C" {

ZBASE_API int UUID_isEqual(const UUID* a, const UUID* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    return std::memcmp(a, b, sizeof(UUID)) == 0;
}

ZBASE_API void Com_registerClass(const UUID* classId, ComGetFactoryFn getFactory,
                                 unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (classId == nullptr || getFactory == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::putClass(*classId, zbase::ClassEntry{getFactory, nullptr});
}

ZBASE_API void Com_registerModule(const UUID* classId, const char* sharedLibraryPath,
                                  unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (classId == nullptr || sharedLibraryPath == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    void* library = dlopen(sharedLibraryPath, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
        zbase::setError(err, ZBASE_E_FILE_NOT_FOUND);
        return;
    }
    auto getFactory = reinterpret_cast<ComGetFactoryFn>(dlsym(library, "Dll_getFactory"));
    if (getFactory == nullptr) {
        dlclose(library);
        zbase::setError(err, ZBASE_E_FAILURE);
        return;
    }
    zbase::putClass(*classId, zbase::ClassEntry{getFactory, library});
}

ZBASE_API void Com_unregisterClass(const UUID* classId) {
    if (classId == nullptr) {
        return;
    }
    zbase::ClassRegistry& registry = zbase::classRegistry();
    void* library = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.classes.find(*classId);
        if (found == registry.classes.end()) {
            return;
        }
        library = found->second.library;
        registry.classes.erase(found);
    }
    if (library != nullptr) {
        dlclose(library);
    }
}

ZBASE_API void* Com_createInstance(const UUID* classId, const UUID* interfaceId,
                                   unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (classId == nullptr || interfaceId == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    ComGetFactoryFn getFactory = zbase::findClass(*classId);
    if (getFactory == nullptr) {
        zbase::setError(err, ZBASE_E_OBJ_NOT_FOUND);
        return nullptr;
    }
    unsigned int code = 0;
    auto makeFactory = reinterpret_cast<zbase::MakeFactoryFn>(getFactory(nullptr, &code));
    if (makeFactory == nullptr || code != 0) {
        zbase::setError(err, zbase::failureCode(code));
        return nullptr;
    }
    code = 0;
    auto* factory = static_cast<zbase::FactoryHead*>(makeFactory(&code));
    if (factory == nullptr || code != 0) {
        if (factory != nullptr) {
            factory->ops->release(factory);
        }
        zbase::setError(err, zbase::failureCode(code));
        return nullptr;
    }
    code = 0;
    auto* object =
        static_cast<zbase::FactoryHead*>(factory->ops->createInstance(factory, interfaceId, &code));
    factory->ops->release(factory);
    if (object == nullptr || code != 0) {
        // Every interface table begins with queryInterface, addRef, release,
        // so an object that came with a failure can still be given back.
        if (object != nullptr) {
            object->ops->release(object);
        }
        zbase::setError(err, zbase::failureCode(code));
        return nullptr;
    }
    return object;
}

}  // extern "C"
