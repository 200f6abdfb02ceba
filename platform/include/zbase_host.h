/* zbase_host: what a host process (the platform's server, a test, the
 * command-line tool) uses to drive the platform stand-in beyond the
 * platform's own operations: the component registry, the notification
 * component's deliveries, and waiting for events to drain. */
#ifndef ZBASE_HOST_H
#define ZBASE_HOST_H

#include "zbase.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A component library's entry: returns the factory-making function. */
typedef void* (*ComGetFactoryFn)(void* unused, unsigned int* err);

ZBASE_API void Com_registerClass(const UUID* classId, ComGetFactoryFn getFactory,
                                 unsigned int* err);
/* dlopen()s the library and registers its "Dll_getFactory". */
ZBASE_API void Com_registerModule(const UUID* classId, const char* sharedLibraryPath,
                                  unsigned int* err);
ZBASE_API void Com_unregisterClass(const UUID* classId);

/* Notification component: run the controller's dispatch on the component's
 * own thread; return once that dispatch has returned. err: 0, or 13 when no
 * controller is registered.  May be called from any thread, several at once. */
ZBASE_API void ZbasePi_deliverCall(const char* phoneNumber, int direction, int duration, int type,
                                   int cellId, int lac, int mcc, int mnc, DateTime when,
                                   unsigned int* err);
ZBASE_API void ZbasePi_deliverMessage(const char* phoneNumber, int direction, int type,
                                      const char* summary, int cellId, int lac, int mcc, int mnc,
                                      DateTime when, unsigned int* err);
ZBASE_API int ZbasePi_isRegistered(void);

/* Non-zero once every event fired so far has been handled (0 on timeout). */
ZBASE_API int Event_waitIdle(int timeoutMs);

#ifdef __cplusplus
}
#endif

#endif /* ZBASE_HOST_H */
