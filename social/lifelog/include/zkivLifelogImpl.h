/** @file zkivLifelogImpl.h
 * @brief The query object: the ILifelog interface through which clients read
 * the lifelog database.
 *
 * Listings, extremes, most frequent values, counts, sums and averages,
 * narrowed by a date range and a filter and ordered by one or two columns.
 * A client gets the object from the class factory (zkivLifelogCommon.h) with
 * one reference, calls `initialize` or `initialize2` once, optionally sets a
 * filter and a sort order, runs any number of queries, deletes its
 * enumerators and calls `release`.  The object has no lock: it runs on the
 * client's thread, one call at a time; other threads may use objects of
 * their own at the same time.  Its database handle is its own. */
#ifndef ZKIV_LIFELOG_IMPL_H
#define ZKIV_LIFELOG_IMPL_H

#include "zkivLifelogEnumerator.h"
#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** Sort direction per column. */
typedef enum LifelogOrderType {
    LIFELOG_ORDER_ASC = 0,  /**< rising: "<column> ASC" */
    LIFELOG_ORDER_DESC = 1, /**< falling: "<column> DESC" */
    LIFELOG_ORDER_NONE = 2  /**< the column takes no part in the order */
} LifelogOrderType;

/** The query object's interface (see struct ILifelog). */
typedef struct ILifelog ILifelog;

/** The ILifelog operation table, in its fixed slot order.  Every slot that
 * takes `err` clears it on entry. */
typedef struct ILifelogOps {
    /** Slot 0: always NULL with LIFELOG_E_NO_INTERFACE; the object hands
     * out no further interface. */
    void* (*queryInterface)(ILifelog* self, const UUID* interfaceId, unsigned int* err);
    /** Slot 1: takes a reference; returns the new count. */
    int32_t (*addRef)(ILifelog* self);
    /** Slot 2: drops a reference; at 0 the object closes its database and
     * frees itself, and 0 is returned.  Delete its enumerators first. */
    int32_t (*release)(ILifelog* self);
    /** Slot 3: binds the object to the table `activityName`
     * ("ACTIVITY_CALL", "ACTIVITY_MESSAGE" or "ACTIVITY_MEDIA") and opens
     * the database, which must exist.  Codes: LIFELOG_E_INVALID_ARG for a null argument or a
     * second initialisation, LIFELOG_E_FILE_NOT_FOUND when the database file is missing, or the
     * platform's code. */
    void (*initialize)(ILifelog* self, const char* activityName, unsigned int* err);
    /** Slot 4: as `initialize`, reading only rows whose time stamp lies
     * between `from` and `to` (both included, in either order).  Codes: as
     * `initialize`, and LIFELOG_E_INVALID_ARG when a date has year, month or day 0. */
    void (*initialize2)(ILifelog* self, const char* activityName, DateTime from, DateTime to,
                        unsigned int* err);
    /** Slot 5: the table name; the object keeps it (NULL before a successful
     * initialisation). */
    char* (*getActivityName)(ILifelog* self);
    /** Slot 6: the rows in range that pass the filter, in the sort order; a
     * new enumerator, the caller's.  Codes: LIFELOG_E_INVALID_ARG,
     * LIFELOG_E_OVERFLOW when the statement would not fit, LIFELOG_E_DATABASE
     * when it cannot be run, LIFELOG_E_OUT_OF_MEMORY. */
    ZLifelogEnumerator* (*getEnumerator)(ILifelog* self, unsigned int* err);
    /** Slot 7: the rows holding the table's largest value of `column`
     * (taken over the whole table), then narrowed by filter and range; a new
     * enumerator, the caller's.  The condition is built in 2048 bytes and a
     * longer one is cut there, as formatting cuts it, and runs as cut.
     * Codes: as `getEnumerator`. */
    ZLifelogEnumerator* (*findMaxLogs)(ILifelog* self, const char* column, unsigned int* err);
    /** Slot 8: as `findMaxLogs`, with the smallest value. */
    ZLifelogEnumerator* (*findMinLogs)(ILifelog* self, const char* column, unsigned int* err);
    /** Slot 9: at most `limit` rows of two columns, `column` and
     * "OCCURRED_COUNT", by falling count, over the rows in range that pass
     * the filter; a new enumerator, the caller's.  The statement is built in
     * 4096 bytes and a longer one is cut there and runs as cut.  Codes: LIFELOG_E_INVALID_ARG,
     * LIFELOG_E_OVERFLOW when the where text would pass 4095 characters, LIFELOG_E_DATABASE,
     * LIFELOG_E_OUT_OF_MEMORY. */
    ZLifelogEnumerator* (*getMostOccurredValues)(ILifelog* self, const char* column, int32_t limit,
                                                 unsigned int* err);
    /** Slot 10: the number of rows in range that pass the filter; -1 on
     * failure.  Codes: LIFELOG_E_INVALID_ARG, LIFELOG_E_OVERFLOW, LIFELOG_E_DATABASE. */
    int32_t (*getCount)(ILifelog* self, unsigned int* err);
    /** Slot 11: the sum of `column` over those rows; 0 on failure (-1 for a
     * null object).  Codes: LIFELOG_E_INVALID_ARG, LIFELOG_E_OVERFLOW, LIFELOG_E_DATABASE. */
    int32_t (*getSum)(ILifelog* self, const char* column, unsigned int* err);
    /** Slot 12: the average of `column` over those rows; 0.0 on failure.
     * Codes: LIFELOG_E_INVALID_ARG, LIFELOG_E_OVERFLOW, LIFELOG_E_DATABASE. */
    double (*getAverage)(ILifelog* self, const char* column, unsigned int* err);
    /** Slot 13: keeps `condition` (a SQL condition on the table's columns,
     * without WHERE; NULL clears the filter) once a test statement with it
     * has run.  The old filter is dropped first, so a refused condition
     * leaves none.  Codes: LIFELOG_E_INVALID_ARG for a null object, a condition over 2048
     * characters or one the database refuses. */
    void (*setFilter)(ILifelog* self, const char* condition, unsigned int* err);
    /** Slot 14: orders listings by `column` (a LifelogOrderType; NONE clears
     * the order) once a test statement with it has run.  The test statement
     * is built in 4096 bytes and a longer one is cut there; the database
     * judges the cut text.  A refused order keeps the previous one.
     * Codes: LIFELOG_E_INVALID_ARG. */
    void (*setSortOrder)(ILifelog* self, const char* column, int32_t orderType, unsigned int* err);
    /** Slot 15: as `setSortOrder`, by `column1` and then `column2`; a
     * column with LIFELOG_ORDER_NONE takes no part.  Codes: LIFELOG_E_INVALID_ARG. */
    void (*setSortOrder2)(ILifelog* self, const char* column1, int32_t orderType1,
                          const char* column2, int32_t orderType2, unsigned int* err);
    /** Slot 16: clears the sort order; cannot fail. */
    void (*resetSortOrder)(ILifelog* self);
} ILifelogOps;

/** The interface pointer: every query object begins with these two fields. */
struct ILifelog {
    const ILifelogOps* ops; /**< the operation table */
    void* impl;             /**< the object behind the interface */
};

/** The query object behind the interface. */
typedef struct LifelogImpl {
    const ILifelogOps* ops;   /**< the ILifelog table */
    struct LifelogImpl* impl; /**< the object itself */
    char* activityName;       /**< table name; owned copy */
    char* filter;             /**< condition without WHERE; owned copy */
    char* dateRange;          /**< BETWEEN condition on the time-stamp column; owned */
    char* sortOrder;          /**< text after ORDER BY; owned */
    Database* database;       /**< the object's own handle, closed at delete */
    int32_t refCount;         /**< references; 0 until the factory takes the first */
} LifelogImpl;

/** A zero-filled object with count 0 (the factory takes the first reference).
 * Sets err to LIFELOG_E_OUT_OF_MEMORY on failure; leaves it untouched on
 * success. */
LIFELOG_API ILifelog* __LifelogImpl_new(unsigned int* err);
/** Closes the object's database and frees it with its texts; NULL is
 * allowed.  `release` calls it at a count of 0. */
LIFELOG_API void __LifelogImpl_delete(ILifelog* self);

/** ILifelog slot 0 (queryInterface). */
LIFELOG_API void* __LifelogImpl_queryInterface(ILifelog* self, const UUID* interfaceId,
                                               unsigned int* err);
/** ILifelog slot 1 (addRef). */
LIFELOG_API int32_t __LifelogImpl_addRef(ILifelog* self);
/** ILifelog slot 2 (release). */
LIFELOG_API int32_t __LifelogImpl_release(ILifelog* self);
/** ILifelog slot 3 (initialize). */
LIFELOG_API void __LifelogImpl_initialize(ILifelog* self, const char* activityName,
                                          unsigned int* err);
/** ILifelog slot 4 (initialize2). */
LIFELOG_API void __LifelogImpl_initialize2(ILifelog* self, const char* activityName, DateTime from,
                                           DateTime to, unsigned int* err);
/** ILifelog slot 5 (getActivityName). */
LIFELOG_API char* __LifelogImpl_getActivityName(ILifelog* self);
/** ILifelog slot 6 (getEnumerator). */
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_getEnumerator(ILifelog* self, unsigned int* err);
/** ILifelog slot 7 (findMaxLogs). */
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_findMaxLogs(ILifelog* self, const char* column,
                                                          unsigned int* err);
/** ILifelog slot 8 (findMinLogs). */
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_findMinLogs(ILifelog* self, const char* column,
                                                          unsigned int* err);
/** ILifelog slot 9 (getMostOccurredValues). */
LIFELOG_API ZLifelogEnumerator* __LifelogImpl_getMostOccurredValues(ILifelog* self,
                                                                    const char* column,
                                                                    int32_t limit,
                                                                    unsigned int* err);
/** ILifelog slot 10 (getCount). */
LIFELOG_API int32_t __LifelogImpl_getCount(ILifelog* self, unsigned int* err);
/** ILifelog slot 11 (getSum). */
LIFELOG_API int32_t __LifelogImpl_getSum(ILifelog* self, const char* column, unsigned int* err);
/** ILifelog slot 12 (getAverage). */
LIFELOG_API double __LifelogImpl_getAverage(ILifelog* self, const char* column, unsigned int* err);
/** ILifelog slot 13 (setFilter). */
LIFELOG_API void __LifelogImpl_setFilter(ILifelog* self, const char* condition, unsigned int* err);
/** ILifelog slot 14 (setSortOrder). */
LIFELOG_API void __LifelogImpl_setSortOrder(ILifelog* self, const char* column, int32_t orderType,
                                            unsigned int* err);
/** ILifelog slot 15 (setSortOrder2). */
LIFELOG_API void __LifelogImpl_setSortOrder2(ILifelog* self, const char* column1,
                                             int32_t orderType1, const char* column2,
                                             int32_t orderType2, unsigned int* err);
/** ILifelog slot 16 (resetSortOrder). */
LIFELOG_API void __LifelogImpl_resetSortOrder(ILifelog* self);

/* Statement builders and helpers. */
/** 1 when a is strictly earlier than b (reserved takes no part), else 0. */
LIFELOG_API int __LifelogImpl_compareDate(DateTime a, DateTime b);
/** The BETWEEN condition of a table's time-stamp column; a new string, the
 * caller's (empty for a name other than the three tables).  Codes: LIFELOG_E_INVALID_ARG when a
 * date has year, month or day 0, or the platform's. */
LIFELOG_API char* __LifelogImple_convertDateToQueryStr(const char* activityName, DateTime lower,
                                                       DateTime upper, unsigned int* err);
/** "WHERE " with the condition and the date range, or NULL with err 0 when
 * there is neither; a new string, the caller's.  Codes: LIFELOG_E_OVERFLOW when the text
 * would pass 4095 characters, or the platform's. */
LIFELOG_API char* __LifelogImpl_createWhereQuery(LifelogImpl* object, const char* condition,
                                                 unsigned int* err);
/** "SELECT * FROM <table> ", the where text and " ORDER BY <order>" when
 * given; a new string, the caller's.  Codes: LIFELOG_E_OVERFLOW when the statement would
 * not fit, or the platform's. */
LIFELOG_API char* __LifelogImpl_createSQL(LifelogImpl* object, const char* condition,
                                          const char* order, unsigned int* err);
/** Runs the statement once; callers judge the error slot. */
LIFELOG_API void __LifelogImpl_checkValid(LifelogImpl* object, const char* statement,
                                          unsigned int* err);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_IMPL_H */
