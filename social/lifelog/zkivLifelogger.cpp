// The logger: asks its filter, then hands the activity to every handler.
#include "zkivLifelogger.h"

#include "lifelogInternal.h"
#include "zkivLifelogActivity.h"
#include "zkivLifeloggingHandler.h"

using lifelog::setError;

extern "C" {

ZLifelogger* ZLifelogger_new(unsigned int* err) {
    unsigned int scratch = 0;
    if (err == nullptr) {
        err = &scratch;
    }
    *err = 0;
    LIFELOG_TRACE("ZLifelogger_new: start\n");
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifelogger)));
    if (!record) {
        *err = 1;
        return nullptr;
    }
    List* handlers = List_new(ZLifeloggingHandler_delete, err);
    if (*err != 0 || handlers == nullptr) {
        if (handlers != nullptr) {
            List_delete(handlers);
        }
        if (*err == 0) {
            *err = 1;
        }
        return nullptr;
    }
    auto* logger = static_cast<ZLifelogger*>(record.release());
    logger->handlers = handlers;
    logger->filter = nullptr;
    LIFELOG_TRACE("ZLifelogger_new: end\n");
    return logger;
}

void ZLifelogger_delete(ZLifelogger* logger) {
    LIFELOG_TRACE("ZLifelogger_delete: start\n");
    if (logger->handlers != nullptr) {
        List_delete(logger->handlers);
    }
    if (logger->filter != nullptr) {
        logger->filter->ops->delete_(logger->filter);
    }
    LIFELOG_FREE(logger);
    LIFELOG_TRACE("ZLifelogger_delete: end\n");
}

void ZLifelogger_addHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                            unsigned int* err) {
    setError(err, 0);
    if (logger == nullptr || handler == nullptr) {
        setError(err, 4);
        return;
    }
    setError(err, lifelog::appendOnce(logger->handlers, handler, __func__, __LINE__));
}

void ZLifelogger_deleteHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                               unsigned int* err) {
    setError(err, 0);
    if (logger == nullptr || handler == nullptr) {
        setError(err, 4);
        return;
    }
    if (List_removeObject(logger->handlers, handler) == 0) {
        setError(err, 21);
        return;
    }
    ZLifeloggingHandler_delete(handler);
}

void ZLifelogger_setFilter(ZLifelogger* logger, Filter* filter, unsigned int* err) {
    setError(err, 0);
    LIFELOG_TRACE("[ZLifelogger_setFilter] start");
    if (logger == nullptr) {
        setError(err, 4);
        return;
    }
    // Setting the filter already held must not delete it under the logger.
    if (logger->filter != nullptr && logger->filter != filter) {
        logger->filter->ops->delete_(logger->filter);
    }
    logger->filter = filter;
    LIFELOG_TRACE("[ZLifelogger_setFilter] end");
}

void ZLifelogger_log(ZLifelogger* logger, ZLifelogActivity* activity, unsigned int* err) {
    unsigned int scratch = 0;
    if (err == nullptr) {
        err = &scratch;
    }
    *err = 0;
    if (logger == nullptr || activity == nullptr) {
        *err = 4;
        return;
    }
    List* items = ZLifelogActivity_getAllActivityItems(activity);
    if (items == nullptr || List_size(items) <= 0) {
        *err = 4;
        return;
    }
    if (logger->filter != nullptr && logger->filter->ops->isLoggable(logger->filter, activity) == 0) {
        LIFELOG_TRACE("ZLifelogger_log: a log is not loggable");
        return;
    }
    void* cursor = List_getIterator(logger->handlers);
    for (void* each = List_getNext(&cursor); each != nullptr; each = List_getNext(&cursor)) {
        _ZLifeloggingHandler_doHandle(static_cast<ZLifeloggingHandler*>(each), activity, err);
        if (*err != 0) {
            // One failing output never keeps the others from running.
            LIFELOG_ERROR("ZLifelogger_log: log is failed. : %s ", Exception_toString(*err));
            *err = 0;
        }
    }
}

}  // extern "C"
