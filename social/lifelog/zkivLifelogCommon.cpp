// The class factory, the only maker of the library's two component objects
// (the query object and the service object), the component identifiers, and
// the mapping from database column types to item value types.
#include "zkivLifelogCommon.h"

#include "lifelogInternal.h"
#include "zkivLifelogImpl.h"
#include "zkivLifeloggingServiceImpl.h"

extern "C" {

LIFELOG_API extern const UUID IID_IBase = {
    0x56C5BADD, 0x2A24, 0x43DA, {0xB8, 0xB1, 0x40, 0x9B, 0x9E, 0xE8, 0x83, 0xC5}};
LIFELOG_API extern const UUID IID_IBaseReserved = {
    0xE822B65C, 0xFD4B, 0x4171, {0x9E, 0x38, 0xA3, 0x05, 0xCF, 0xA2, 0x8F, 0x2D}};
LIFELOG_API extern const UUID IID_ILifelog = {
    0x334D3D80, 0x7E91, 0x44B4, {0xAD, 0x33, 0xB2, 0x89, 0x1A, 0x3C, 0xB4, 0x45}};
LIFELOG_API extern const UUID IID_ILifeloggingService = {
    0x3E7E038E, 0x6ED8, 0x4744, {0xB0, 0xFF, 0xA7, 0xC2, 0x14, 0x4A, 0xFE, 0xC3}};
LIFELOG_API extern const UUID CLSID_LifeloggingService = {
    0xE34E2B68, 0x6238, 0x4B7B, {0xBE, 0x41, 0xC4, 0xF7, 0xFE, 0x70, 0x59, 0x75}};
LIFELOG_API extern const UUID CLSID_LifelogPi = {
    0xC69A284C, 0x68A5, 0x4654, {0xB8, 0x60, 0x3C, 0xA6, 0x07, 0x05, 0xB6, 0x3F}};
LIFELOG_API extern const UUID IID_ILifelogPi = {
    0xA628BF07, 0x0C8C, 0x4954, {0x9A, 0xE9, 0xD7, 0x12, 0x3C, 0x00, 0x5F, 0x9E}};

}  // extern "C"

namespace {

const LifelogCommonOps kFactoryOps = {
    __LifelogCommon_queryInterface, __LifelogCommon_addRef, __LifelogCommon_release,
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
    lifelog::setError(err, 0);
    return reinterpret_cast<void*>(&__LifelogCommon_createFactory);
}

LIFELOG_API LifelogCommon* __LifelogCommon_createFactory(unsigned int* err) {
    *err = 0;
    LifelogCommon* factory = __LifelogCommon_new(err);
    if (*err != 0) {
        return nullptr;
    }
    factory->ops->addRef(factory);
    return factory;
}

LIFELOG_API LifelogCommon* __LifelogCommon_new(unsigned int* err) {
    auto* factory = static_cast<LifelogCommon*>(LIFELOG_CALLOC(1, sizeof(LifelogCommon)));
    if (factory == nullptr) {
        *err = 1;
        return nullptr;
    }
    factory->ops = &kFactoryOps;
    factory->impl = factory;
    factory->refCount = 0;
    return factory;
}

LIFELOG_API void __LifelogCommon_delete(LifelogCommon* factory) { LIFELOG_FREE(factory); }

LIFELOG_API int32_t __LifelogCommon_addRef(LifelogCommon* self) { return ++self->impl->refCount; }

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
    *err = 0;
    void* object = nullptr;
    if (UUID_isEqual(interfaceId, &IID_ILifelog) || UUID_isEqual(interfaceId, &IID_IBase)) {
        object = newQueryObject(err);
    } else if (UUID_isEqual(interfaceId, &IID_ILifeloggingService)) {
        object = newServiceObject(err);
    } else {
        *err = 24;
        return nullptr;
    }
    if (object == nullptr) {
        // Whatever the constructor reported, the platform hears "could not make it".
        *err = 1;
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
