// A logging handler: opens its handle, writes the activity and what each
// generator derives from it, and closes the handle again.
#include "zkivLifeloggingHandler.h"

#include "lifelogInternal.h"
#include "zkivLifelogActivity.h"

using lifelog::setError;

extern "C" {

ZLifeloggingHandler* ZLifeloggingHandler_new(Handle* handle, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (handle == nullptr) {
        *err = LIFELOG_E_NULL_ARGUMENT;
        return nullptr;
    }
    lifelog::BlockGuard record(LIFELOG_CALLOC(1, sizeof(ZLifeloggingHandler)));
    if (!record) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    lifelog::ListGuard generators(List_new(__Generator_delete, err));
    if (lifelog::madeNothing(generators.get(), err, LIFELOG_E_OUT_OF_MEMORY)) {
        return nullptr;
    }
    auto* handler = static_cast<ZLifeloggingHandler*>(record.release());
    handler->handle = handle;
    handler->generators = generators.release();
    return handler;
}

void ZLifeloggingHandler_delete(void* object) {
    auto* handler = static_cast<ZLifeloggingHandler*>(object);
    if (handler->generators != nullptr) {
        List_delete(handler->generators);
    }
    if (handler->handle != nullptr) {
        handler->handle->ops->destruct(handler->handle);
    }
    LIFELOG_FREE(handler);
}

void ZLifeloggingHandler_addGenerator(ZLifeloggingHandler* handler, Generator* generator,
                                      unsigned int* err) {
    LIFELOG_ENTER(err);
    if (handler == nullptr || generator == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    setError(err, lifelog::appendOnce(handler->generators, generator, __func__, __LINE__));
}

void ZLifeloggingHandler_deleteGenerator(ZLifeloggingHandler* handler, Generator* generator,
                                         unsigned int* err) {
    LIFELOG_ENTER(err);
    if (handler == nullptr || generator == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    if (List_removeObject(handler->generators, generator) == 0) {
        setError(err, LIFELOG_E_OBJ_NOT_FOUND);
        return;
    }
    __Generator_delete(generator);
}

void __Generator_delete(void* object) {
    auto* generator = static_cast<Generator*>(object);
    if (generator != nullptr) {
        generator->ops->delete_(generator);
    }
}

void _ZLifeloggingHandler_doHandle(ZLifeloggingHandler* handler, ZLifelogActivity* activity,
                                   unsigned int* err) {
    LIFELOG_ENTER(err);
    if (handler == nullptr || activity == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return;
    }
    Handle* handle = handler->handle;
    if (handle->ops->open(handle) == 0) {
        *err = LIFELOG_E_FAILURE;
        return;
    }
    handle->ops->write(handle, activity);

    void* cursor = List_getIterator(handler->generators);
    for (void* each = List_getNext(&cursor); each != nullptr; each = List_getNext(&cursor)) {
        auto* generator = static_cast<Generator*>(each);
        lifelog::ActivityGuard generated(generator->ops->generate(generator, activity, err));
        if (*err != LIFELOG_E_SUCCESS) {
            *err = LIFELOG_E_GENERATOR;
            break;
        }
        // A generator with nothing to add for this activity returns null.
        if (generated) {
            handle->ops->write(handle, generated.get());
        }
    }
    // Opened once, closed once: also after a generator failed.
    handle->ops->close(handle);
}

}  // extern "C"
