// The child of scripts/crash-test: logs messages without end through the
// direct-logging entry point and, after each call has returned, writes the
// message's number on standard output (one line, unbuffered), so that the
// parent knows which rows were acknowledged when it kills the child.
//
//   lifelog_crash_child FIRST    numbers FIRST, FIRST+1, ...
//
// Each message carries its number as its summary and a time stamp of its
// own (one second per number from 2001-01-01), since two messages with the
// same second replace each other.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "zkivLifeloggingServiceUtil.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: lifelog_crash_child FIRST\n");
        return 2;
    }
    const long long first = atoll(argv[1]);
    const time_t base = 978307200;  // 2001-01-01 00:00:00 UTC
    for (long long number = first;; ++number) {
        const time_t when = base + static_cast<time_t>(number);
        struct tm parts;
        gmtime_r(&when, &parts);
        char stamp[32];
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
        char summary[32];
        snprintf(summary, sizeof summary, "%lld", number);
        _Lifelog_MsgActivityLogging("+441632960000", 1, 0, summary, -1, -1, -1, -1, stamp);
        char line[32];
        int length = snprintf(line, sizeof line, "%lld\n", number);
        if (write(STDOUT_FILENO, line, static_cast<size_t>(length)) != length)
            return 1;
    }
}
