/* Server exports: what the platform's server process calls to start and
 * stop the lifelog service. */
#ifndef ZKIV_LIFELOG_SERVER_H
#define ZKIV_LIFELOG_SERVER_H

#include "zkivLifeloggingServiceImpl.h"

LIFELOG_BEGIN_DECLS

enum { LIFELOG_SVC_START = 0, LIFELOG_SVC_STOP = 1 };

/* The running service; NULL before the server start and after its stop. */
LIFELOG_API extern ILifeloggingService* g_pILifeloggingService;

/* 0: (re)create the service and run it; 1: release it; other: nothing. */
LIFELOG_API void ZelvanKivLifelogSvcDispatch(int command);
LIFELOG_API void ZKivLifelogServer_initialize(void);
LIFELOG_API void ZKivLifelogServer_finalize(void);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_SERVER_H */
