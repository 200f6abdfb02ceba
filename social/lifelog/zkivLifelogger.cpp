// The logger: asks its filter, then hands the activity to every handler.
#include "zkivLifelogger.h"

#include "lifelogInternal.h"
#include "zkivLifelogActivity.h"
#include "zkivLifeloggingHandler.h"

using lifelog::setError;

extern "C" {

ZLifelogger* ZLifelogger_new(unsigned int* err) {
    LIFELOG_ENTER(err);
    LIFELOG_TRACE("ZLifelogger_new: start\n");
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifelogger)));
    if (!record) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    lifelog::ListGuard handlers(List_new(ZLifeloggingHandler_delete, err));
    if (lifelog::madeNothing(handlers.get(), err, LIFELOG_E_OUT_OF_MEMORY)) {
        return nullptr;
    }
    auto* logger = static_cast<ZLifelogger*>(record.release());
    logger->handlers = handlers.release();
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

void ZLifelogger_addHandler(ZLifelogger* logger, ZLifeloggingHandler* handler, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (logger == nullptr || handler == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    setError(err, lifelog::appendOnce(logger->handlers, handler, __func__, __LINE__));
}

void ZLifelogger_deleteHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                               unsigned int* err) {
    LIFELOG_ENTER(err);
    if (logger == nullptr || handler == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    if (List_removeObject(logger->handlers, handler) == 0) {
        setError(err, LIFELOG_E_OBJ_NOT_FOUND);
        return;
    }
    ZLifeloggingHandler_delete(handler);
}

void ZLifelogger_setFilter(ZLifelogger* logger, Filter* filter, unsigned int* err) {
    LIFELOG_ENTER(err);
    LIFELOG_TRACE("[ZLifelogger_setFilter] start");
    if (logger == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
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
    LIFELOG_ENTER(err);
    if (logger == nullptr || activity == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return;
    }
    List* items = ZLifelogActivity_getAllActivityItems(activity);
    if (items == nullptr || List_size(items) <= 0) {
        *err = LIFELOG_E_INVALID_ARG;
        return;
    }
    if (logger->filter != nullptr &&
        logger->filter->ops->isLoggable(logger->filter, activity) == 0) {
        LIFELOG_TRACE("ZLifelogger_log: a log is not loggable");
        return;
    }
    void* cursor = List_getIterator(logger->handlers);
    for (void* each = List_getNext(&cursor); each != nullptr; each = List_getNext(&cursor)) {
        _ZLifeloggingHandler_doHandle(static_cast<ZLifeloggingHandler*>(each), activity, err);
        if (*err != LIFELOG_E_SUCCESS) {
            // One failing output never keeps the others from running.
            LIFELOG_ERROR("ZLifelogger_log: log is failed. : %s ", Exception_toString(*err));
            *err = LIFELOG_E_SUCCESS;
        }
    }
}

}  // extern "C"
