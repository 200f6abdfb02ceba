/* The lifelog service in a server process.
 *
 * The server registers the service's component class, starts the service
 * through the server exports and lets the platform's notification
 * component feed it calls and messages.  Each notification becomes one row,
 * written on the service's own thread "Lifelogging"; the notifying thread
 * only hands the activity over.  The stand-in's ZbasePi_deliverCall and
 * ZbasePi_deliverMessage play the notification component here.
 *
 * Which time a row carries: a message, and a call that never got through
 * (no duration), keep the time of their notification; a call that lasted is
 * stored with the time its row is written.
 *
 * Run it with ZBASE_ROOT pointing at a platform root whose
 * System/Lifelog/lifelogconf.ini switches calls and messages on. */
/* nanosleep and the POSIX threads are not part of strict C11. */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zbase_host.h"
#include "zbase_testing.h"
#include "zkivLifelog.h"

/* Waits up to about five seconds for the controller to register with the
 * notification component, which it does on the logging thread once that
 * thread's actor has started. */
static int wait_for_registration(void) {
    const struct timespec tick = {0, 10 * 1000 * 1000};
    for (int i = 0; i < 500; ++i) {
        if (ZbasePi_isRegistered()) {
            return 1;
        }
        nanosleep(&tick, NULL);
    }
    return 0;
}

int main(void) {
    /* Without it the platform would use the user's own root under the home
     * folder: an example writes only where it is told to. */
    if (getenv("ZBASE_ROOT") == NULL) {
        fprintf(stderr, "set ZBASE_ROOT to a platform root to try this example in\n");
        return 2;
    }
    unsigned int err = 0;
    Com_registerClass(&CLSID_LifeloggingService, (ComGetFactoryFn)Dll_getFactory, &err);
    if (err != 0) {
        fprintf(stderr, "registering the service class: %s\n", Exception_toString(err));
        return 1;
    }

    ZKivLifelogServer_initialize();
    if (g_pILifeloggingService == NULL || !wait_for_registration()) {
        fprintf(stderr, "the service did not start\n");
        ZKivLifelogServer_finalize();
        return 1;
    }
    printf("service status: %d\n", g_pILifeloggingService->ops->getStatus(g_pILifeloggingService));

    /* number, direction, duration, type, cell id, LAC, MCC, MNC, when */
    const DateTime morning = {2026, 12, 5, 9, 30, 0, 0};
    const DateTime noon = {2026, 12, 5, 12, 5, 0, 0}; /* missed: direction 2, no duration */
    const DateTime evening = {2026, 12, 5, 18, 45, 0, 0};
    ZbasePi_deliverCall("+441632960123", 1, 42, 0, 1234, 56, 234, 15, morning, &err);
    printf("call delivered: %s\n", Exception_toString(err));
    ZbasePi_deliverCall("+441632960999", 2, 0, 0, 1234, 56, 234, 15, noon, &err);
    printf("call delivered: %s\n", Exception_toString(err));
    ZbasePi_deliverMessage("+441632960123", 0, 0, "home by seven", 1234, 56, 234, 15, evening,
                           &err);
    printf("message delivered: %s\n", Exception_toString(err));

    /* A delivery returns once the activity is handed over; the row is
     * written when the logging thread has handled the event. */
    printf("all written: %s\n", Event_waitIdle(5000) ? "yes" : "no");

    ZKivLifelogServer_finalize();
    printf("service stopped: %s\n", g_pILifeloggingService == NULL ? "yes" : "no");
    Com_unregisterClass(&CLSID_LifeloggingService);
    printf("tracked blocks left: %ld\n", Mem_getLiveCount());
    return Mem_getLiveCount() == 0 ? 0 : 1;
}
