// The class factory, the only maker of the library's two component objects
// (the query object and the service object), the component identifiers, and
// the mapping from database column types to item value types.
#include "zkivLifelogCommon.h"

#include "lifelogInternal.h"
#include "zkivLifelogImpl.h"
#include "zkivLifeloggingServiceImpl.h"

namespace {

const LifelogCommonOps kFactoryOps = {
    __LifelogCommon_queryInterface, __LifelogCommon_addRef,         __LifelogCommon_release,
    __LifelogCommon_createFactory,  __LifelogCommon_createInstance,
};

// A new query object with its first reference, or null.
void* newQueryObject(unsigned int* err) {
    ILifelog* object = __LifelogImpl_new(err);
    if (object == nullptr) {
        return nullptr;
    }
    object->ops->addRef(object);
    return object;
}

// A new service object with its first reference, or null.
void* newServiceObject(unsigned int* err) {
    LifeloggingServiceImpl* service = __LifeloggingServiceImpl_new(err);
    if (service == nullptr) {
        return nullptr;
    }
    ILifeloggingService* object = &service->iface;
    object->ops->addRef(object);
    return object;
}

}  // namespace

extern "C" {

LIFELOG_API void* Dll_getFactory(void* /*unused*/, unsigned int* err) {
    lifelog::setError(err, LIFELOG_E_SUCCESS);
    return reinterpret_cast<void*>(&__LifelogCommon_createFactory);
}

LIFELOG_API LifelogCommon* __LifelogCommon_createFactory(unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogCommon* factory = __LifelogCommon_new(err);
    if (*err != LIFELOG_E_SUCCESS) {
        return nullptr;
    }
    factory->ops->addRef(factory);
    return factory;
}

LIFELOG_API LifelogCommon* __LifelogCommon_new(unsigned int* err) {
    auto* factory = static_cast<LifelogCommon*>(LIFELOG_CALLOC(1, sizeof(LifelogCommon)));
    if (factory == nullptr) {
        lifelog::setError(err, LIFELOG_E_OUT_OF_MEMORY);
        return nullptr;
    }
    factory->ops = &kFactoryOps;
    factory->impl = factory;
    factory->refCount = 0;
    return factory;
}

LIFELOG_API void __LifelogCommon_delete(LifelogCommon* factory) {
    LIFELOG_FREE(factory);
}

LIFELOG_API int32_t __LifelogCommon_addRef(LifelogCommon* self) {
    return ++self->impl->refCount;
}

LIFELOG_API int32_t __LifelogCommon_release(LifelogCommon* self) {
    LifelogCommon* factory = self->impl;
    if (--factory->refCount == 0) {
        __LifelogCommon_delete(factory);
        return 0;
    }
    return factory->refCount;
}

LIFELOG_API void* __LifelogCommon_createInstance(LifelogCommon* /*self*/, const UUID* interfaceId,
                                                 unsigned int* err) {
    LIFELOG_ENTER(err);
    void* object = nullptr;
    if (UUID_isEqual(interfaceId, &IID_ILifelog) || UUID_isEqual(interfaceId, &IID_IBase)) {
        object = newQueryObject(err);
    } else if (UUID_isEqual(interfaceId, &IID_ILifeloggingService)) {
        object = newServiceObject(err);
    } else {
        *err = LIFELOG_E_NO_INTERFACE;
        return nullptr;
    }
    if (object == nullptr) {
        // Whatever the constructor reported, the platform hears "could not make it".
        *err = LIFELOG_E_OUT_OF_MEMORY;
    }
    return object;
}

LIFELOG_API void* __LifelogCommon_queryInterface(LifelogCommon* self, const UUID* interfaceId,
                                                 unsigned int* err) {
    return __LifelogCommon_createInstance(self, interfaceId, err);
}

LIFELOG_API int __Util_convertType(int columnType) {
    switch (columnType) {
        case DB_COLUMN_INT:
            return LIFELOG_VALUE_INT;
        case DB_COLUMN_INT64:
            return LIFELOG_VALUE_INT64;
        case DB_COLUMN_DOUBLE:
            return LIFELOG_VALUE_DOUBLE;
        case DB_COLUMN_TEXT:
            return LIFELOG_VALUE_STRING;
        case DB_COLUMN_NULL:
            return LIFELOG_VALUE_NONE;
        default:
            return -1;  // DB_COLUMN_OTHER and anything unknown
    }
}

}  // extern "C"
