/* A logging handler: one handle and the generators that derive further
 * activities from each logged one. */
#ifndef ZKIV_LIFELOGGING_HANDLER_H
#define ZKIV_LIFELOGGING_HANDLER_H

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

LIFELOG_API ZLifeloggingHandler* ZLifeloggingHandler_new(Handle* handle, unsigned int* err);
LIFELOG_API void ZLifeloggingHandler_delete(void* handler);
LIFELOG_API void ZLifeloggingHandler_addGenerator(ZLifeloggingHandler* handler,
                                                  Generator* generator, unsigned int* err);
LIFELOG_API void ZLifeloggingHandler_deleteGenerator(ZLifeloggingHandler* handler,
                                                     Generator* generator, unsigned int* err);
LIFELOG_API void __Generator_delete(void* generator);
LIFELOG_API void _ZLifeloggingHandler_doHandle(ZLifeloggingHandler* handler,
                                               ZLifelogActivity* activity, unsigned int* err);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGING_HANDLER_H */
