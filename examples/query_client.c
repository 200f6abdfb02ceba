/* A query client: reads the call table through the ILifelog interface.
 *
 * It first logs a few calls of its own (so that it has something to read),
 * then gets a query object from the library's class factory and goes
 * through the interface's table slot by slot: bind it to one day
 * (initialize2), keep outgoing calls only (setFilter), order by number and
 * then by falling duration (setSortOrder2), list the rows (getEnumerator),
 * and ask the aggregates (getCount, getSum, getAverage, findMaxLogs,
 * findMinLogs, getMostOccurredValues).  Everything runs on this thread.
 *
 * Run it with ZBASE_ROOT pointing at a platform root whose
 * System/Lifelog/lifelogconf.ini switches calls on. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "zbase_testing.h"
#include "zkivLifelog.h"

static int failed(const char* what, unsigned int err) {
    if (err == 0) {
        return 0;
    }
    fprintf(stderr, "%s: %s (%u)\n", what, Exception_toString(err), err);
    return 1;
}

/* One line per row: its time stamp, then every item as KEY=value in column
 * order. */
static void print_activity(ZLifelogActivity* row) {
    if (row->timestamp.year != 0) {
        printf("  %04d-%02d-%02d %02d:%02d:%02d", row->timestamp.year, row->timestamp.month,
               row->timestamp.day, row->timestamp.hour, row->timestamp.minute,
               row->timestamp.second);
    } else {
        printf("  -");
    }
    void* cursor = List_getIterator(row->activityItems);
    for (ZLifelogActivityItem* item = List_getNext(&cursor); item != NULL;
         item = List_getNext(&cursor)) {
        switch (item->valueType) {
            case LIFELOG_VALUE_INT:
                printf(" %s=%" PRId32, item->key, *(int32_t*)item->value);
                break;
            case LIFELOG_VALUE_INT64:
                printf(" %s=%" PRId64, item->key, *(int64_t*)item->value);
                break;
            case LIFELOG_VALUE_DOUBLE:
                printf(" %s=%g", item->key, *(double*)item->value);
                break;
            case LIFELOG_VALUE_STRING:
                printf(" %s=%s", item->key, (const char*)item->value);
                break;
            default:
                break;
        }
    }
    printf("\n");
}

/* Walks an enumerator to its end, prints each row and deletes it. */
static int print_rows(const char* title, ZLifelogEnumerator* rows, unsigned int err) {
    printf("%s\n", title);
    if (failed(title, err)) {
        return 1;
    }
    int count = 0;
    for (ZLifelogEnumerator_moveNext(rows, &err); err == 0;
         ZLifelogEnumerator_moveNext(rows, &err)) {
        ZLifelogActivity* row = ZLifelogEnumerator_getCurrentN(rows, &err);
        if (failed("reading a row", err)) {
            break;
        }
        print_activity(row);
        ZLifelogActivity_delete(row);
        ++count;
    }
    ZLifelogEnumerator_delete(rows);
    if (count == 0) {
        printf("  (no rows)\n");
    }
    /* 2: the enumerator has no further row, the one good way to end. */
    return err == 2 ? 0 : failed(title, err);
}

static void log_calls(void) {
    /* number, direction (1: outgoing), duration in seconds, type, cell, time */
    _Lifelog_CallActivityLogging("+441632960123", 1, 45, 0, -1, -1, -1, -1, "2026-12-04 20:00:00");
    _Lifelog_CallActivityLogging("+441632960123", 1, 120, 0, -1, -1, -1, -1, "2026-12-05 08:15:00");
    _Lifelog_CallActivityLogging("+441632960555", 1, 45, 0, -1, -1, -1, -1, "2026-12-05 09:30:00");
    _Lifelog_CallActivityLogging("+441632960123", 1, 600, 0, -1, -1, -1, -1, "2026-12-05 12:05:00");
    _Lifelog_CallActivityLogging("+441632960999", 0, 300, 0, -1, -1, -1, -1, "2026-12-05 13:00:00");
    _Lifelog_CallActivityLogging("+441632960555", 1, 75, 0, -1, -1, -1, -1, "2026-12-05 18:40:00");
    _Lifelog_CallActivityLogging("+441632960123", 1, 60, 0, -1, -1, -1, -1, "2026-12-05 21:00:00");
}

/* A new query object from the class factory (one reference, the caller's). */
static ILifelog* new_query_object(unsigned int* err) {
    typedef LifelogCommon* (*CreateFactoryFn)(unsigned int*);
    CreateFactoryFn createFactory = (CreateFactoryFn)Dll_getFactory(NULL, err);
    if (*err != 0) {
        return NULL;
    }
    LifelogCommon* factory = createFactory(err);
    if (*err != 0) {
        return NULL;
    }
    ILifelog* log = factory->ops->createInstance(factory, &IID_ILifelog, err);
    factory->ops->release(factory);
    return log;
}

static int query(ILifelog* log) {
    unsigned int err = 0;
    const DateTime from = {2026, 12, 5, 0, 0, 0, 0};
    const DateTime to = {2026, 12, 5, 23, 59, 59, 0};
    log->ops->initialize2(log, "ACTIVITY_CALL", from, to, &err);
    if (failed("initialize2", err)) {
        return 1;
    }
    log->ops->setFilter(log, "CLOG_DIRECTION = 1", &err);
    if (failed("setFilter", err)) {
        return 1;
    }
    log->ops->setSortOrder2(log, "CLOG_PHONE_NUMBER", LIFELOG_ORDER_ASC, "CLOG_DURATION",
                            LIFELOG_ORDER_DESC, &err);
    if (failed("setSortOrder2", err)) {
        return 1;
    }
    printf("%s, 2026-12-05, outgoing, by number then longest first\n",
           log->ops->getActivityName(log));

    ZLifelogEnumerator* rows = log->ops->getEnumerator(log, &err);
    if (print_rows("listing:", rows, err)) {
        return 1;
    }

    int32_t count = log->ops->getCount(log, &err);
    if (failed("getCount", err)) {
        return 1;
    }
    int32_t sum = log->ops->getSum(log, "CLOG_DURATION", &err);
    if (failed("getSum", err)) {
        return 1;
    }
    double average = log->ops->getAverage(log, "CLOG_DURATION", &err);
    if (failed("getAverage", err)) {
        return 1;
    }
    printf("count: %" PRId32 "\nsum of CLOG_DURATION: %" PRId32 "\naverage CLOG_DURATION: %.1f\n",
           count, sum, average);

    /* The extreme is taken over the whole table; the filter and the day
     * then choose which of the rows holding it come back. */
    rows = log->ops->findMaxLogs(log, "CLOG_DURATION", &err);
    if (print_rows("longest:", rows, err)) {
        return 1;
    }
    rows = log->ops->findMinLogs(log, "CLOG_DURATION", &err);
    if (print_rows("shortest:", rows, err)) {
        return 1;
    }
    rows = log->ops->getMostOccurredValues(log, "CLOG_PHONE_NUMBER", 2, &err);
    return print_rows("most called:", rows, err);
}

int main(void) {
    /* Without it the platform would use the user's own root under the home
     * folder: an example writes only where it is told to. */
    if (getenv("ZBASE_ROOT") == NULL) {
        fprintf(stderr, "set ZBASE_ROOT to a platform root to try this example in\n");
        return 2;
    }
    log_calls();

    unsigned int err = 0;
    ILifelog* log = new_query_object(&err);
    if (failed("creating the query object", err)) {
        return 1;
    }
    int status = query(log);
    log->ops->release(log);

    printf("tracked blocks left: %ld\n", Mem_getLiveCount());
    return status == 0 && Mem_getLiveCount() == 0 ? 0 : 1;
}
