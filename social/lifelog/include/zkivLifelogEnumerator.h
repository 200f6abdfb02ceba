/* The result enumerator: runs one query statement and turns the current
 * result row, on request, into an activity with one item per column. */
#ifndef ZKIV_LIFELOG_ENUMERATOR_H
#define ZKIV_LIFELOG_ENUMERATOR_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

typedef struct ZLifelogEnumerator {
    char* activityName;         /* every activity made carries it; owned */
    DbStatement* statement;     /* owned, destroyed at delete */
    DbEnumerator* dbEnumerator; /* the statement's rows, reset at delete */
} ZLifelogEnumerator;

/* Prepares and runs queryText on database; no row is current yet. */
LIFELOG_API ZLifelogEnumerator* ZLifelogEnumerator_new(Database* database, const char* activityName,
                                                       const char* queryText, unsigned int* err);
/* err: 0 while a row is current, 2 after the last row, else the platform's code. */
LIFELOG_API void ZLifelogEnumerator_moveNext(ZLifelogEnumerator* enumerator, unsigned int* err);
/* A new activity for the current row, the caller's to delete. */
LIFELOG_API ZLifelogActivity* ZLifelogEnumerator_getCurrentN(ZLifelogEnumerator* enumerator,
                                                             unsigned int* err);
LIFELOG_API void ZLifelogEnumerator_reset(ZLifelogEnumerator* enumerator, unsigned int* err);
LIFELOG_API void ZLifelogEnumerator_delete(ZLifelogEnumerator* enumerator);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ENUMERATOR_H */
