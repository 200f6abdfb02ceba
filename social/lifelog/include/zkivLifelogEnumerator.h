/** @file zkivLifelogEnumerator.h
 * @brief The result enumerator: runs one query statement and turns the
 * current result row, on request, into an activity with one item per
 * column.
 *
 * The query object makes enumerators (ILifelog getEnumerator, findMaxLogs,
 * findMinLogs, getMostOccurredValues); an enumerator reads through its query
 * object's database handle, so it is deleted before the query object is
 * released, on the same thread. */
#ifndef ZKIV_LIFELOG_ENUMERATOR_H
#define ZKIV_LIFELOG_ENUMERATOR_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** A running query statement and its rows. */
typedef struct ZLifelogEnumerator {
    char* activityName;         /**< every activity made carries it; owned */
    DbStatement* statement;     /**< owned, destroyed at delete */
    DbEnumerator* dbEnumerator; /**< the statement's rows, reset at delete */
} ZLifelogEnumerator;

/** Prepares and runs queryText on database; no row is current yet.  The
 * enumerator is the caller's, deleted with ZLifelogEnumerator_delete(); the
 * texts stay the caller's.  Codes: LIFELOG_E_OUT_OF_MEMORY, LIFELOG_E_DATABASE when the statement
 * cannot be prepared or run, or the platform's code when the name copy fails. */
LIFELOG_API ZLifelogEnumerator* ZLifelogEnumerator_new(Database* database, const char* activityName,
                                                       const char* queryText, unsigned int* err);
/** Moves to the next row.  err: LIFELOG_E_SUCCESS while a row is current,
 * LIFELOG_E_END_OF_ENUMERATION after the last row, else the platform's
 * code.  Call it once before the first row. */
LIFELOG_API void ZLifelogEnumerator_moveNext(ZLifelogEnumerator* enumerator, unsigned int* err);
/** A new activity for the current row, the caller's to delete with
 * ZLifelogActivity_delete(): named after the table, its time stamp and
 * location from their columns, every other non-NULL column an item keyed by
 * the column name, in column order.  Codes: LIFELOG_E_OUT_OF_MEMORY, LIFELOG_E_FAILURE when a
 * column cannot be read or converted, or the platform's code. */
LIFELOG_API ZLifelogActivity* ZLifelogEnumerator_getCurrentN(ZLifelogEnumerator* enumerator,
                                                             unsigned int* err);
/** Goes back before the first row.  Codes: the platform's. */
LIFELOG_API void ZLifelogEnumerator_reset(ZLifelogEnumerator* enumerator, unsigned int* err);
/** Destroys the statement and releases the enumerator; NULL is allowed. */
LIFELOG_API void ZLifelogEnumerator_delete(ZLifelogEnumerator* enumerator);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ENUMERATOR_H */
