/** @file zkivLifelogServer.h
 * @brief Server exports: what the platform's server process calls to start
 * and stop the lifelog service.
 *
 * Call them from the server's own thread, one at a time; the service class
 * (CLSID_LifeloggingService) must be registered with the platform's
 * component creation first. */
#ifndef ZKIV_LIFELOG_SERVER_H
#define ZKIV_LIFELOG_SERVER_H

#include "zkivLifeloggingServiceImpl.h"

LIFELOG_BEGIN_DECLS

/** Commands of ZelvanKivLifelogSvcDispatch(). */
enum {
    LIFELOG_SVC_START = 0, /**< create the service and run it */
    LIFELOG_SVC_STOP = 1   /**< release the service */
};

/** The running service; NULL before the server start and after its stop.
 * The library owns the reference it holds. */
LIFELOG_API extern ILifeloggingService* g_pILifeloggingService;

/** 0: (re)create the service through Com_createInstance() and run it; 1:
 * release it; other: nothing.  Failures are logged, never reported. */
LIFELOG_API void ZelvanKivLifelogSvcDispatch(int command);
/** Starts the service: ZelvanKivLifelogSvcDispatch(0).  The logging thread
 * then registers with the notification component. */
LIFELOG_API void ZKivLifelogServer_initialize(void);
/** Stops the service: ZelvanKivLifelogSvcDispatch(1).  When it returns,
 * every notification handed over so far is written and everything the
 * service held is released. */
LIFELOG_API void ZKivLifelogServer_finalize(void);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_SERVER_H */
