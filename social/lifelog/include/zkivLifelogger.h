/** @file zkivLifelogger.h
 * @brief The logger: an optional filter and an ordered list of handlers.
 *
 * A logger is used by one thread at a time. */
#ifndef ZKIV_LIFELOGGER_H
#define ZKIV_LIFELOGGER_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** A new logger without filter or handlers; the caller's, deleted with
 * ZLifelogger_delete().  Codes: LIFELOG_E_OUT_OF_MEMORY, or the platform's code when its list
 * cannot be made. */
LIFELOG_API ZLifelogger* ZLifelogger_new(unsigned int* err);
/** Deletes the logger with its filter and every handler (each handle and
 * generator with it).  The argument must not be NULL. */
LIFELOG_API void ZLifelogger_delete(ZLifelogger* logger);
/** Appends `handler`; on success the logger owns it.  Codes: LIFELOG_E_INVALID_ARG for a null
 * argument, LIFELOG_E_OBJ_ALREADY_EXIST when this handler is already there, LIFELOG_E_LIST_APPEND
 * when the list refuses the append. */
LIFELOG_API void ZLifelogger_addHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                                        unsigned int* err);
/** Removes `handler` and deletes it.  Codes: LIFELOG_E_INVALID_ARG for a null argument,
 * LIFELOG_E_OBJ_NOT_FOUND when it is not one of the logger's handlers (nothing is deleted). */
LIFELOG_API void ZLifelogger_deleteHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                                           unsigned int* err);
/** Deletes the current filter and keeps `filter` (NULL: no filtering); the
 * logger owns it from then on.  Codes: LIFELOG_E_INVALID_ARG for a null logger. */
LIFELOG_API void ZLifelogger_setFilter(ZLifelogger* logger, Filter* filter, unsigned int* err);
/** Runs `activity` past the filter and hands it to each handler in order.
 * The activity stays the caller's.  An activity that the filter refuses is
 * not a failure; a failing handler is logged and the next one still runs,
 * so the slot ends 0.  Codes: LIFELOG_E_INVALID_ARG for a null argument or an activity without
 * items. */
LIFELOG_API void ZLifelogger_log(ZLifelogger* logger, ZLifelogActivity* activity,
                                 unsigned int* err);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_H */
