/* The query object: the ILifelog interface through which clients read the
 * lifelog database (listings, extremes, most frequent values, counts, sums,
 * averages), narrowed by a date range and a filter and ordered by one or
 * two columns. */
#ifndef ZKIV_LIFELOG_IMPL_H
#define ZKIV_LIFELOG_IMPL_H

#include "zkivLifelogEnumerator.h"
#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* Sort direction per column. */
typedef enum LifelogOrderType {
    LIFELOG_ORDER_ASC = 0,
    LIFELOG_ORDER_DESC = 1,
    LIFELOG_ORDER_NONE = 2 /* the column takes no part in the order */
} LifelogOrderType;

typedef struct ILifelog ILifelog;

/* The ILifelog operation table, in its fixed slot order. */
typedef struct ILifelogOps {
    void* (*queryInterface)(ILifelog* self, const UUID* interfaceId, unsigned int* err);
    int32_t (*addRef)(ILifelog* self);
    int32_t (*release)(ILifelog* self);
    void (*initialize)(ILifelog* self, const char* activityName, unsigned int* err);
    void (*initialize2)(ILifelog* self, const char* activityName, DateTime from, DateTime to,
                        unsigned int* err);
    char* (*getActivityName)(ILifelog* self);
    ZLifelogEnumerator* (*getEnumerator)(ILifelog* self, unsigned int* err);
    ZLifelogEnumerator* (*findMaxLogs)(ILifelog* self, const char* column, unsigned int* err);
    ZLifelogEnumerator* (*findMinLogs)(ILifelog* self, const char* column, unsigned int* err);
    ZLifelogEnumerator* (*getMostOccurredValues)(ILifelog* self, const char* column, int32_t limit,
                                                 unsigned int* err);
    int32_t (*getCount)(ILifelog* self, unsigned int* err);
    int32_t (*getSum)(ILifelog* self, const char* column, unsigned int* err);
    double (*getAverage)(ILifelog* self, const char* column, unsigned int* err);
    void (*setFilter)(ILifelog* self, const char* condition, unsigned int* err);
    void (*setSortOrder)(ILifelog* self, const char* column, int32_t orderType,
                         unsigned int* err);
    void (*setSortOrder2)(ILifelog* self, const char* column1, int32_t orderType1,
                          const char* column2, int32_t orderType2, unsigned int* err);
    void (*resetSortOrder)(ILifelog* self);
} ILifelogOps;

/* The interface pointer: every query object begins with these two fields. */
struct ILifelog {
    const ILifelogOps* ops;
    void* impl;
};

/* The query object behind the interface. */
typedef struct LifelogImpl {
    const ILifelogOps* ops;
    struct LifelogImpl* impl; /* the object itself */
    char* activityName;       /* table name; owned copy */
    char* filter;             /* condition without WHERE; owned copy */
    char* dateRange;          /* BETWEEN condition on the time-stamp column; owned */
    char* sortOrder;          /* text after ORDER BY; owned */
    Database* database;       /* the object's own handle, closed at delete */
    int32_t refCount;
} LifelogImpl;

/* A zero-filled object with count 0 (the factory takes the first reference).
 * Sets err to 1 on failure; leaves it untouched on success. */
LIFELOG_API ILifelog* __LifelogImpl_new(unsigned int* err);
LIFELOG_API void __LifelogImpl_delete(ILifelog* self);

LIFELOG_API void* __LifelogImpl_queryInterface(ILifelog* self, const UUID* interfaceId,
                                               unsigned int* err);
LIFELOG_API int32_t __LifelogImpl_addRef(ILifelog* self);
LIFELOG_API int32_t __LifelogImpl_release(ILifelog* self);
LIFELOG_API void __LifelogImpl_initialize(ILifelog* self, const char* activityName,
                                          unsigned int* err);
LIFELOG_API void __LifelogImpl_initialize2(ILifelog* self, const char* activityName, DateTime from,
                                           DateTime to, unsigned int* err);
LIFELOG_API char* __LifelogImpl_getActivityName(ILifelog* self);
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_getEnumerator(ILifelog* self, unsigned int* err);
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_findMaxLogs(ILifelog* self, const char* column,
                                                          unsigned int* err);
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_findMinLogs(ILifelog* self, const char* column,
                                                          unsigned int* err);
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_getMostOccurredValues(ILifelog* self,
                                                                    const char* column,
                                                                    int32_t limit,
                                                                    unsigned int* err);
LIFELOG_API int32_t __LifelogImpl_getCount(ILifelog* self, unsigned int* err);
LIFELOG_API int32_t __LifelogImpl_getSum(ILifelog* self, const char* column, unsigned int* err);
LIFELOG_API double __LifelogImpl_getAverage(ILifelog* self, const char* column,
                                            unsigned int* err);
LIFELOG_API void __LifelogImpl_setFilter(ILifelog* self, const char* condition, unsigned int* err);
LIFELOG_API void __LifelogImpl_setSortOrder(ILifelog* self, const char* column, int32_t orderType,
                                            unsigned int* err);
LIFELOG_API void __LifelogImpl_setSortOrder2(ILifelog* self, const char* column1,
                                             int32_t orderType1, const char* column2,
                                             int32_t orderType2, unsigned int* err);
LIFELOG_API void __LifelogImpl_resetSortOrder(ILifelog* self);

/* Statement builders and helpers. */
/* 1 when a is strictly earlier than b (reserved takes no part), else 0. */
LIFELOG_API int __LifelogImpl_compareDate(DateTime a, DateTime b);
/* The BETWEEN condition of a table's time-stamp column; a new string. */
LIFELOG_API char* __LifelogImple_convertDateToQueryStr(const char* activityName, DateTime lower,
                                                       DateTime upper, unsigned int* err);
/* "WHERE " with the condition and the date range, or NULL with err 0 when
 * there is neither. */
LIFELOG_API char* __LifelogImpl_createWhereQuery(LifelogImpl* object, const char* condition,
                                                 unsigned int* err);
LIFELOG_API char* __LifelogImpl_createSQL(LifelogImpl* object, const char* condition,
                                          const char* order, unsigned int* err);
/* Runs the statement once; callers judge the error slot. */
LIFELOG_API void __LifelogImpl_checkValid(LifelogImpl* object, const char* statement,
                                          unsigned int* err);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_IMPL_H */
