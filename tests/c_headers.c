/* A client of the library written in C: every public header compiles, the
 * records have their documented layout, and a console pipeline logs an
 * activity and is released without a trace. */
#include "c_headers_all.h"

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
#define CHECK_LAYOUT(condition) static_assert(condition, #condition)
#else
#define CHECK_LAYOUT(condition) _Static_assert(condition, #condition)
#endif

CHECK_LAYOUT(offsetof(ZLifelogActivity, id) == 0);
CHECK_LAYOUT(offsetof(ZLifelogActivity, name) < offsetof(ZLifelogActivity, activityItems));
CHECK_LAYOUT(offsetof(ZLifelogActivity, activityItems) < offsetof(ZLifelogActivity, timestamp));
CHECK_LAYOUT(offsetof(ZLifelogActivity, timestamp) < offsetof(ZLifelogActivity, location));
CHECK_LAYOUT(offsetof(ZLifelogActivityItem, valueType) == 0);
CHECK_LAYOUT(offsetof(ZLifelogActivityItem, key) < offsetof(ZLifelogActivityItem, value));
CHECK_LAYOUT(sizeof(DateTime) == 7 * sizeof(int32_t));
CHECK_LAYOUT(offsetof(ConsoleHandle, ops) == offsetof(Handle, ops));
CHECK_LAYOUT(offsetof(ConsoleHandle, impl) == offsetof(Handle, impl));
CHECK_LAYOUT(LIFELOG_VALUE_INT == 0 && LIFELOG_VALUE_DOUBLE == 1 && LIFELOG_VALUE_STRING == 2 &&
             LIFELOG_VALUE_INT64 == 3 && LIFELOG_VALUE_NONE == 4);

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "c_headers: %s\n", what);
        ++failures;
    }
}

int main(void) {
    unsigned int err = 99;
    ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_CALL", &err);
    check(activity != NULL && err == 0, "ZLifelogActivity_new");
    check(ZLifelogActivity_getId(activity) == -1, "a new activity has id -1");

    int32_t* direction = (int32_t*)Mem_allocEx(sizeof(int32_t), __FILE__, __LINE__);
    *direction = 1;
    ZLifelogActivityItem* item =
        ZLifelogActivityItem_new("CLOG_DIRECTION", direction, LIFELOG_VALUE_INT, &err);
    check(item != NULL && err == 0, "ZLifelogActivityItem_new");
    ZLifelogActivity_addActivityItem(activity, item, &err);
    check(err == 0, "ZLifelogActivity_addActivityItem");

    Handle* console = ConsoleHandle_new(&err);
    check(console != NULL && err == 0, "ConsoleHandle_new");
    check(console->ops->open == __ConsoleHandle_open &&
              console->ops->write == __ConsoleHandle_write &&
              console->ops->close == __ConsoleHandle_close &&
              console->ops->destruct == __ConsoleHandle_destruct,
          "the console table holds the exported operations");
    ZLifeloggingHandler* handler = ZLifeloggingHandler_new(console, &err);
    check(handler != NULL && err == 0, "ZLifeloggingHandler_new");
    ZLifelogger* logger = ZLifelogger_new(&err);
    check(logger != NULL && err == 0, "ZLifelogger_new");
    ZLifelogger_addHandler(logger, handler, &err);
    check(err == 0, "ZLifelogger_addHandler");
    ZLifelogger_log(logger, activity, &err);
    check(err == 0, "ZLifelogger_log");

    ZLifelogger_delete(logger);
    ZLifelogActivity_delete(activity);
    check(Mem_getLiveCount() == 0, "everything released");
    return failures == 0 ? 0 : 1;
}
