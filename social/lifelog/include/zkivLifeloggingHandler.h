/** @file zkivLifeloggingHandler.h
 * @brief A logging handler: one handle and the generators that derive
 * further activities from each logged one.
 *
 * A handler is used by one thread at a time. */
#ifndef ZKIV_LIFELOGGING_HANDLER_H
#define ZKIV_LIFELOGGING_HANDLER_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** A new handler writing to `handle`, without generators; on success it
 * owns the handle, on failure the handle stays the caller's.  The handler
 * is the caller's until added to a logger.  Codes: LIFELOG_E_NULL_ARGUMENT for a null handle,
 * LIFELOG_E_OUT_OF_MEMORY, or the platform's code when its list cannot be made. */
LIFELOG_API ZLifeloggingHandler* ZLifeloggingHandler_new(Handle* handle, unsigned int* err);
/** Deletes the handler (a ZLifeloggingHandler*), its generators and its
 * handle (through the handle's destruct).  The argument must not be NULL. */
LIFELOG_API void ZLifeloggingHandler_delete(void* handler);
/** Appends `generator`; on success the handler owns it.  Codes: LIFELOG_E_INVALID_ARG for a null
 * argument, LIFELOG_E_OBJ_ALREADY_EXIST when it is already there, LIFELOG_E_LIST_APPEND when the
 * list refuses it. */
LIFELOG_API void ZLifeloggingHandler_addGenerator(ZLifeloggingHandler* handler,
                                                  Generator* generator, unsigned int* err);
/** Removes `generator` and deletes it.  Codes: LIFELOG_E_INVALID_ARG for a null argument,
 * LIFELOG_E_OBJ_NOT_FOUND when it is not the handler's. */
LIFELOG_API void ZLifeloggingHandler_deleteGenerator(ZLifeloggingHandler* handler,
                                                     Generator* generator, unsigned int* err);
/** Calls the generator's (a Generator*) own delete. */
LIFELOG_API void __Generator_delete(void* generator);
/** Opens the handle, writes `activity` and what each generator derives from
 * it, and closes the handle.  The activity stays the caller's.  Codes: LIFELOG_E_FAILURE
 * when the handle does not open, LIFELOG_E_GENERATOR when a generator fails (the handle is
 * still closed). */
LIFELOG_API void _ZLifeloggingHandler_doHandle(ZLifeloggingHandler* handler,
                                               ZLifelogActivity* activity, unsigned int* err);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGING_HANDLER_H */
