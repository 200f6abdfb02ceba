/** @file zkivLifelogCommon.h
 * @brief The library's component entry: the class factory (LifelogCommon) reached
 * through Dll_getFactory, the component identifiers the library uses, and
 * the mapping from the platform database's column types to item value
 * types.
 *
 * Every object with a function table begins with `ops` (its table) and
 * `impl` (itself); operations reach the object's fields through `impl`.
 * Reference counts start at 0; the factory takes the first reference of
 * each object it hands out, so a caller receives it with a count of 1. */
#ifndef ZKIV_LIFELOG_COMMON_H
#define ZKIV_LIFELOG_COMMON_H

#include <stdint.h>

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* ----------------------------------------------------------- identifiers */

/** Constants of the header, not exported names: each client gets its own
 * copy, and identifiers are compared by value with UUID_isEqual. */

/** The platform's base interface: the service object answers it with itself,
 * the factory with a new query object.  56C5BADD-2A24-43DA-B8B1-409B9EE883C5 */
static const UUID IID_IBase = {
    0x56C5BADD, 0x2A24, 0x43DA, {0xB8, 0xB1, 0x40, 0x9B, 0x9E, 0xE8, 0x83, 0xC5}};
/** The second identifier of the platform's common component definitions;
 * nothing in the library asks for it or answers it.
 * E822B65C-FD4B-4171-9E38-A305CFA28F2D */
static const UUID IID_IBaseReserved = {
    0xE822B65C, 0xFD4B, 0x4171, {0x9E, 0x38, 0xA3, 0x05, 0xCF, 0xA2, 0x8F, 0x2D}};
/** ILifelog, the query object.  334D3D80-7E91-44B4-AD33-B2891A3CB445 */
static const UUID IID_ILifelog = {
    0x334D3D80, 0x7E91, 0x44B4, {0xAD, 0x33, 0xB2, 0x89, 0x1A, 0x3C, 0xB4, 0x45}};
/** ILifeloggingService, the service object.
 * 3E7E038E-6ED8-4744-B0FF-A7C2144AFEC3 */
static const UUID IID_ILifeloggingService = {
    0x3E7E038E, 0x6ED8, 0x4744, {0xB0, 0xFF, 0xA7, 0xC2, 0x14, 0x4A, 0xFE, 0xC3}};
/** The lifelog service component class.
 * E34E2B68-6238-4B7B-BE41-C4F7FE705975 */
static const UUID CLSID_LifeloggingService = {
    0xE34E2B68, 0x6238, 0x4B7B, {0xBE, 0x41, 0xC4, 0xF7, 0xFE, 0x70, 0x59, 0x75}};
/** The platform's notification component class.
 * C69A284C-68A5-4654-B860-3CA60705B63F */
static const UUID CLSID_LifelogPi = {
    0xC69A284C, 0x68A5, 0x4654, {0xB8, 0x60, 0x3C, 0xA6, 0x07, 0x05, 0xB6, 0x3F}};
/** ILifelogPi, the notification component's interface.
 * A628BF07-0C8C-4954-9AE9-D7123C005F9E */
static const UUID IID_ILifelogPi = {
    0xA628BF07, 0x0C8C, 0x4954, {0x9A, 0xE9, 0xD7, 0x12, 0x3C, 0x00, 0x5F, 0x9E}};

/* --------------------------------------------------------------- factory */

/** The class factory (see struct LifelogCommon). */
typedef struct LifelogCommon LifelogCommon;

/** The factory table, in slot order. */
typedef struct LifelogCommonOps {
    /** Same as createInstance: a new object, never the factory itself. */
    void* (*queryInterface)(LifelogCommon* self, const UUID* interfaceId, unsigned int* err);
    /** Takes a reference; returns the new count. */
    int32_t (*addRef)(LifelogCommon* self);
    /** Drops a reference; at 0 the factory frees itself and 0 is returned. */
    int32_t (*release)(LifelogCommon* self);
    /** A new factory with one reference, the caller's.  Codes: LIFELOG_E_OUT_OF_MEMORY. */
    LifelogCommon* (*createFactory)(unsigned int* err);
    /** ILifelog or IID_IBase: a new query object; ILifeloggingService: a new
     * service object; anything else: NULL and 24.  A failing constructor
     * gives NULL and 1. */
    void* (*createInstance)(LifelogCommon* self, const UUID* interfaceId, unsigned int* err);
} LifelogCommonOps;

/** The class factory: makes the library's two component objects, the query
 * object (ILifelog) and the service object (ILifeloggingService).  A client
 * reaches it through Dll_getFactory() and releases it when done; any
 * thread, one thread at a time per factory. */
struct LifelogCommon {
    const LifelogCommonOps* ops; /**< the factory table */
    LifelogCommon* impl;         /**< the factory itself */
    int32_t refCount;            /**< references */
};

/** Returns the address of __LifelogCommon_createFactory (not a factory);
 * the first parameter is not read.  The platform's component creation
 * calls it as a ComGetFactoryFn. */
LIFELOG_API void* Dll_getFactory(void* unused, unsigned int* err);

/** Factory slot createFactory: a new factory holding one reference, the
 * caller's (released through its `release` slot).  Codes: LIFELOG_E_OUT_OF_MEMORY. */
LIFELOG_API LifelogCommon* __LifelogCommon_createFactory(unsigned int* err);
/** A new factory with count 0.  Codes: LIFELOG_E_OUT_OF_MEMORY. */
LIFELOG_API LifelogCommon* __LifelogCommon_new(unsigned int* err);
/** Frees the factory; its `release` calls it at a count of 0. */
LIFELOG_API void __LifelogCommon_delete(LifelogCommon* factory);
/** Factory slot queryInterface: as createInstance. */
LIFELOG_API void* __LifelogCommon_queryInterface(LifelogCommon* self, const UUID* interfaceId,
                                                 unsigned int* err);
/** Factory slot addRef. */
LIFELOG_API int32_t __LifelogCommon_addRef(LifelogCommon* self);
/** Factory slot release. */
LIFELOG_API int32_t __LifelogCommon_release(LifelogCommon* self);
/** Factory slot createInstance: a new object with one reference, the
 * caller's (released through its `release` slot): a query object for
 * IID_ILifelog or IID_IBase, a service object for IID_ILifeloggingService.
 * Codes: LIFELOG_E_NO_INTERFACE for any other identifier, LIFELOG_E_OUT_OF_MEMORY when the object
 * cannot be made. */
LIFELOG_API void* __LifelogCommon_createInstance(LifelogCommon* self, const UUID* interfaceId,
                                                 unsigned int* err);

/* --------------------------------------------------------------- mapping */

/** The item value type for a column type of DbEnumerator_getColumnType:
 * 0 -> 0, 1 -> 3, 2 -> 1, 3 -> 2, 5 -> 4; -1 for 4 and any other number. */
LIFELOG_API int __Util_convertType(int columnType);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_COMMON_H */
