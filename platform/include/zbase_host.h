/** @file zbase_host.h
 * @brief Driving the platform stand-in from a host process.
 *
 * What a host process (the platform's server, a test, the command-line
 * tool) uses beyond the platform's own operations: the component registry,
 * the notification component's deliveries, and waiting for events to
 * drain.  Installed under include/zbase/host/; a real platform offers its
 * own means for these. */
#ifndef ZBASE_HOST_H
#define ZBASE_HOST_H

#include "zbase.h"

#ifdef __cplusplus
extern "C" {
#endif

/** A component library's entry (its exported `Dll_getFactory`): returns the
 * function that makes the library's factory, `void* (*)(unsigned int* err)`.
 * The first parameter is not read. */
typedef void* (*ComGetFactoryFn)(void* unused, unsigned int* err);

/** Registers class `classId` with its entry `getFactory`, replacing an
 * earlier registration of the same class.  Com_createInstance() then
 * reaches the class through it.  Any thread.  Codes: ZBASE_E_INVALID_ARG for a null
 * identifier or entry. */
ZBASE_API void Com_registerClass(const UUID* classId, ComGetFactoryFn getFactory,
                                 unsigned int* err);
/** Loads the shared library at `sharedLibraryPath` (dlopen) and registers
 * its exported "Dll_getFactory" for class `classId`.  The library stays
 * loaded for the life of the process.  Any thread.  Codes: ZBASE_E_INVALID_ARG for a null
 * argument, ZBASE_E_FILE_NOT_FOUND when the library cannot be loaded, ZBASE_E_FAILURE when it has
 * no "Dll_getFactory". */
ZBASE_API void Com_registerModule(const UUID* classId, const char* sharedLibraryPath,
                                  unsigned int* err);
/** Forgets class `classId`; objects already made live on.  Unknown classes
 * are ignored.  Any thread. */
ZBASE_API void Com_unregisterClass(const UUID* classId);

/** Plays the notification component receiving a call: runs the registered
 * controller's call dispatch, with these fields, on the component's own
 * thread, and returns once that dispatch has returned (the activity is then
 * handed over to the logging thread; Event_waitIdle() waits until it is
 * written).  Texts stay the caller's.  May be called from any thread,
 * several at once; deliveries run one at a time in arrival order.  Codes:
 * ZBASE_E_FAILURE when no controller is registered. */
ZBASE_API void ZbasePi_deliverCall(const char* phoneNumber, int direction, int duration, int type,
                                   int cellId, int lac, int mcc, int mnc, DateTime when,
                                   unsigned int* err);
/** Plays the notification component receiving a message; as
 * ZbasePi_deliverCall(), with the message dispatch.  Codes: ZBASE_E_FAILURE when no
 * controller is registered. */
ZBASE_API void ZbasePi_deliverMessage(const char* phoneNumber, int direction, int type,
                                      const char* summary, int cellId, int lac, int mcc, int mnc,
                                      DateTime when, unsigned int* err);
/** Non-zero while a controller is registered with the notification
 * component (from the logging thread's start until the service is
 * released).  Any thread. */
ZBASE_API int ZbasePi_isRegistered(void);

/** Waits until every event fired so far has been handled, at most
 * `timeoutMs` milliseconds; non-zero when they all were, 0 on timeout.  Call
 * it from a thread that runs no main loop. */
ZBASE_API int Event_waitIdle(int timeoutMs);

/** The host folder that stands for the platform's file-system root, where
 * every platform path ("/System/...", "/SystemRW/...") lives: $ZBASE_ROOT
 * when set and not empty, else $XDG_DATA_HOME/zbase, else
 * .local/share/zbase in the home folder ($HOME, or the user's passwd entry
 * when HOME is unset or empty).  Read afresh at each call.  Writes it into
 * `buffer` (at most `size` bytes, always terminated when `size` > 0; null
 * with `size` 0 to ask for the length) and returns its length without the
 * terminating NUL, as snprintf does.  Any thread. */
ZBASE_API size_t ZbaseHost_getRoot(char* buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* ZBASE_HOST_H */
