/* The logger: an optional filter and an ordered list of handlers. */
#ifndef ZKIV_LIFELOGGER_H
#define ZKIV_LIFELOGGER_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

LIFELOG_API ZLifelogger* ZLifelogger_new(unsigned int* err);
LIFELOG_API void ZLifelogger_delete(ZLifelogger* logger);
LIFELOG_API void ZLifelogger_addHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                                        unsigned int* err);
LIFELOG_API void ZLifelogger_deleteHandler(ZLifelogger* logger, ZLifeloggingHandler* handler,
                                           unsigned int* err);
LIFELOG_API void ZLifelogger_setFilter(ZLifelogger* logger, Filter* filter, unsigned int* err);
LIFELOG_API void ZLifelogger_log(ZLifelogger* logger, ZLifelogActivity* activity,
                                 unsigned int* err);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGER_H */
