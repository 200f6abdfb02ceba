/** @file zbase_testing.h
 * @brief Hooks into the platform stand-in, for test suites only.
 *
 * Installed with the host calls under include/zbase/host/.  A real
 * platform has none of these; the lifelog library never calls them. */
#ifndef ZBASE_TESTING_H
#define ZBASE_TESTING_H

#include <stdio.h>

#include "qelmemory.h"
#include "zbase.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Receives every platform log line: the context given to
 * ZbaseLog_setHook(), the module and level, the writer's function name and
 * line, and the formatted text (valid during the call only).  It runs on the
 * thread that wrote the line. */
typedef void (*ZbaseLogHook)(void* context, int module, int level, const char* function, int line,
                             const char* text);
/** Installs `hook` (with `context`) for every log line, whatever the
 * ZBASE_LOG_LEVEL threshold; the line still goes to standard error when it
 * passes the threshold.  NULL removes the hook.  Any thread; once this
 * returns, a removed hook is not called any more. */
ZBASE_API void ZbaseLog_setHook(ZbaseLogHook hook, void* context);

/** Makes the next `count` thread starts fail with ZBASE_E_FAILURE, as when the system
 * cannot create a thread (Thread_start(), and Thread_resume() of a thread
 * that never ran); count <= 0 switches this off.  Any thread. */
ZBASE_API void Thread_failStarts(int count);

/** The number of tracked blocks alive now, in the whole process.  Any
 * thread. */
QELMEMORY_API long Mem_getLiveCount(void);
/** Writes one line per live block to `out`: its size, source file and
 * line.  Any thread. */
QELMEMORY_API void Mem_printLive(FILE* out);
/** Makes the n-th allocation from now fail (1: the next one), counting
 * every Mem_allocEx() and Mem_callocEx() of the process; n <= 0 switches
 * failure injection off.  Any thread. */
QELMEMORY_API void Mem_failAfter(long n);
/** Non-zero while the failure planned by Mem_failAfter() has not happened
 * yet: a test tells a run that met its failing allocation from one that
 * made fewer allocations.  Any thread. */
QELMEMORY_API int Mem_isFailurePending(void);

#ifdef __cplusplus
}
#endif

#endif /* ZBASE_TESTING_H */
