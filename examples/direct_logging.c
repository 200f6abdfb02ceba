/* Direct logging from the caller's own threads.
 *
 * Two worker threads record one phone day between them: one logs calls and
 * media plays, the other messages.  Each logging call builds its own
 * pipeline on the calling thread, writes one row and tears the pipeline
 * down again, so no set-up or shared object is needed and any thread may
 * call at any time.  Nothing is reported back: a kind that the
 * configuration file does not switch on is dropped, and failures only show
 * in the platform log.
 *
 * The database file is made with its tables by the first logger that finds
 * it missing.  Two threads that both log first at the same moment could
 * both find it missing, and one would write before the other has made the
 * tables; so the program makes the database once before its threads start,
 * as the service does when it starts.
 *
 * Run it with ZBASE_ROOT pointing at a platform root whose
 * System/Lifelog/lifelogconf.ini switches calls, messages and media on. */
/* nanosleep and the POSIX threads are not part of strict C11. */
#define _POSIX_C_SOURCE 200809L

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

#include "zbase_testing.h"
#include "zkivLifelog.h"

static void* log_calls_and_media(void* unused) {
    (void)unused;
    /* number, direction, duration, type, cell id, LAC, MCC, MNC, time stamp */
    _Lifelog_CallActivityLogging("+441632960123", 1, 42, 0, 1234, 56, 234, 15,
                                 "2026-12-05 09:30:00");
    _Lifelog_CallActivityLogging("+441632960999", 0, 310, 0, 1234, 56, 234, 15,
                                 "2026-12-05 12:05:00");
    /* type, title, URI, play time, artist, album, category, cell, time stamp */
    _Lifelog_MediaActivityLogging(0, "Morning Song", "file:///music/morning.ogg", 215,
                                  "The Examples", "Daybreak", "music", -1, -1, -1, -1,
                                  "2026-12-05 08:10:00");
    return "calls and media: 2 calls, 1 media play logged";
}

static void* log_messages(void* unused) {
    (void)unused;
    /* number, direction, type, text, cell, time stamp; the summary keeps the
     * text's first 30 characters */
    _Lifelog_MsgActivityLogging("+441632960123", 0, 0, "running ten minutes late, start without me",
                                1234, 56, 234, 15, "2026-12-05 09:20:00");
    _Lifelog_MsgActivityLogging("+441632960123", 1, 0, "no problem", 1234, 56, 234, 15,
                                "2026-12-05 09:21:00");
    return "messages: 2 messages logged";
}

int main(void) {
    /* Without it the platform would use the user's own root under the home
     * folder: an example writes only where it is told to. */
    if (getenv("ZBASE_ROOT") == NULL) {
        fprintf(stderr, "set ZBASE_ROOT to a platform root to try this example in\n");
        return 2;
    }
    unsigned int err = 0;
    ZLifelogger* logger = _CreateDBLifeLogger(&err, _Lifelog_getMaxlogNumPerActivity());
    if (err != 0) {
        fprintf(stderr, "making the database: %s\n", Exception_toString(err));
        return 1;
    }
    ZLifelogger_delete(logger);

    pthread_t calls;
    pthread_t messages;
    if (pthread_create(&calls, NULL, log_calls_and_media, NULL) != 0) {
        return 1;
    }
    if (pthread_create(&messages, NULL, log_messages, NULL) != 0) {
        pthread_join(calls, NULL);
        return 1;
    }
    void* done = NULL;
    pthread_join(calls, &done);
    printf("%s\n", (const char*)done);
    pthread_join(messages, &done);
    printf("%s\n", (const char*)done);

    /* Each call released everything it made. */
    printf("tracked blocks left: %ld\n", Mem_getLiveCount());
    return Mem_getLiveCount() == 0 ? 0 : 1;
}
