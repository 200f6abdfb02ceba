/* zbase_testing: hooks into the platform stand-in for test suites only. */
#ifndef ZBASE_TESTING_H
#define ZBASE_TESTING_H

#include <stdio.h>

#include "qelmemory.h"
#include "zbase.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*ZbaseLogHook)(void* context, int module, int level, const char* function, int line,
                             const char* text);
/* Sees every log line, whatever the threshold; NULL removes the hook. */
ZBASE_API void ZbaseLog_setHook(ZbaseLogHook hook, void* context);

QELMEMORY_API long Mem_getLiveCount(void);   /* tracked blocks alive now */
QELMEMORY_API void Mem_printLive(FILE* out); /* one line per live block: size, file, line */
/* The n-th allocation from now fails (1: the next); n <= 0: none fails. */
QELMEMORY_API void Mem_failAfter(long n);

#ifdef __cplusplus
}
#endif

#endif /* ZBASE_TESTING_H */
