// Platform log output.
//
// One line per call on standard error when the line's level reaches the
// threshold ZBASE_LOG_LEVEL (a number, or "trace", "error", "off"; errors
// only when unset): "E|T <module> <function>:<line> <message>".  A test's
// hook sees every line, whatever the threshold.  The hook call and the
// write share one lock, so lines from several threads never interleave and
// removing the hook waits for a call in progress.
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <string>

#include "zbase_internal.h"
#include "zbase_testing.h"

namespace {

struct LogState {
    std::recursive_mutex mutex;  // a hook that logs again must not deadlock
    ZbaseLogHook hook = nullptr;
    void* context = nullptr;
};

LogState& state() {
    static LogState* instance = new LogState;
    return *instance;
}

int threshold() {
    const char* value = getenv("ZBASE_LOG_LEVEL");
    if (value == nullptr || value[0] == '\0') {
        return ZBASE_LOG_ERROR;
    }
    if (strcmp(value, "trace") == 0 || strcmp(value, "all") == 0) {
        return ZBASE_LOG_TRACE;
    }
    if (strcmp(value, "error") == 0) {
        return ZBASE_LOG_ERROR;
    }
    if (strcmp(value, "off") == 0 || strcmp(value, "none") == 0) {
        return INT_MAX;
    }
    char* end = nullptr;
    long number = strtol(value, &end, 10);
    if (end == value || *end != '\0') {
        return ZBASE_LOG_ERROR;
    }
    return static_cast<int>(number < INT_MIN ? INT_MIN : number > INT_MAX ? INT_MAX : number);
}

std::string formatMessage(const char* format, va_list args) {
    if (format == nullptr) {
        return std::string();
    }
    char small[512];
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(small, sizeof small, format, args);
    if (length < 0) {
        va_end(again);
        return std::string();
    }
    if (static_cast<size_t>(length) < sizeof small) {
        va_end(again);
        return std::string(small, static_cast<size_t>(length));
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

extern "C" {

ZBASE_API void __Log_printfEx(int module, int level, const char* function, int line,
                              const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatMessage(format, args);
    va_end(args);

    bool write = level >= threshold();
    LogState& log = state();
    std::lock_guard<std::recursive_mutex> lock(log.mutex);
    if (log.hook != nullptr) {
        log.hook(log.context, module, level, function, line, text.c_str());
    }
    if (write) {
        // A message that ends its own line keeps one line on the terminal.
        size_t length = text.size();
        if (length > 0 && text[length - 1] == '\n') {
            --length;
        }
        fprintf(stderr, "%c %d %s:%d %.*s\n", level >= ZBASE_LOG_ERROR ? 'E' : 'T', module,
                function != nullptr ? function : "?", line, static_cast<int>(length), text.c_str());
    }
}

ZBASE_API void ZbaseLog_setHook(ZbaseLogHook hook, void* context) {
    LogState& log = state();
    std::lock_guard<std::recursive_mutex> lock(log.mutex);
    log.hook = hook;
    log.context = hook != nullptr ? context : nullptr;
}

}  // extern "C"
