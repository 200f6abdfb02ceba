/* The library's component entry: the class factory (LifelogCommon) reached
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

/* The platform's base interface: the service object answers it with itself,
 * the factory with a new query object.  56C5BADD-2A24-43DA-B8B1-409B9EE883C5 */
LIFELOG_API extern const UUID IID_IBase;
/* The second identifier of the platform's common component definitions;
 * nothing in the library asks for it or answers it.
 * E822B65C-FD4B-4171-9E38-A305CFA28F2D */
LIFELOG_API extern const UUID IID_IBaseReserved;
/* ILifelog, the query object.  334D3D80-7E91-44B4-AD33-B2891A3CB445 */
LIFELOG_API extern const UUID IID_ILifelog;
/* ILifeloggingService, the service object.
 * 3E7E038E-6ED8-4744-B0FF-A7C2144AFEC3 */
LIFELOG_API extern const UUID IID_ILifeloggingService;
/* The lifelog service component class.
 * E34E2B68-6238-4B7B-BE41-C4F7FE705975 */
LIFELOG_API extern const UUID CLSID_LifeloggingService;
/* The platform's notification component class.
 * C69A284C-68A5-4654-B860-3CA60705B63F */
LIFELOG_API extern const UUID CLSID_LifelogPi;
/* ILifelogPi, the notification component's interface.
 * A628BF07-0C8C-4954-9AE9-D7123C005F9E */
LIFELOG_API extern const UUID IID_ILifelogPi;

/* --------------------------------------------------------------- factory */

typedef struct LifelogCommon LifelogCommon;

/* The factory table, in slot order. */
typedef struct LifelogCommonOps {
    /* Same as createInstance: a new object, never the factory itself. */
    void* (*queryInterface)(LifelogCommon* self, const UUID* interfaceId, unsigned int* err);
    int32_t (*addRef)(LifelogCommon* self);
    int32_t (*release)(LifelogCommon* self);
    LifelogCommon* (*createFactory)(unsigned int* err);
    /* ILifelog or IID_IBase: a new query object; ILifeloggingService: a new
     * service object; anything else: NULL and 24.  A failing constructor
     * gives NULL and 1. */
    void* (*createInstance)(LifelogCommon* self, const UUID* interfaceId, unsigned int* err);
} LifelogCommonOps;

struct LifelogCommon {
    const LifelogCommonOps* ops;
    LifelogCommon* impl;
    int32_t refCount;
};

/* Returns the address of __LifelogCommon_createFactory (not a factory);
 * the first parameter is not read.  The platform's component creation
 * calls it as a ComGetFactoryFn. */
LIFELOG_API void* Dll_getFactory(void* unused, unsigned int* err);

LIFELOG_API LifelogCommon* __LifelogCommon_createFactory(unsigned int* err);
LIFELOG_API LifelogCommon* __LifelogCommon_new(unsigned int* err);
LIFELOG_API void __LifelogCommon_delete(LifelogCommon* factory);
LIFELOG_API void* __LifelogCommon_queryInterface(LifelogCommon* self, const UUID* interfaceId,
                                                 unsigned int* err);
LIFELOG_API int32_t __LifelogCommon_addRef(LifelogCommon* self);
LIFELOG_API int32_t __LifelogCommon_release(LifelogCommon* self);
LIFELOG_API void* __LifelogCommon_createInstance(LifelogCommon* self, const UUID* interfaceId,
                                                 unsigned int* err);

/* --------------------------------------------------------------- mapping */

/* The item value type for a column type of DbEnumerator_getColumnType:
 * 0 -> 0, 1 -> 3, 2 -> 1, 3 -> 2, 5 -> 4; -1 for 4 and any other number. */
LIFELOG_API int __Util_convertType(int columnType);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_COMMON_H */
