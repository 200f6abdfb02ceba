/* The lifelog service: the ILifeloggingService object, which owns the
 * activity event controller and the thread "Lifelogging"; the actor
 * listener that initialises the controller on that thread; and the thread's
 * entry procedure, which runs the actor "lifelogActor" and the event main
 * loop until the service is deleted. */
#ifndef ZKIV_LIFELOGGING_SERVICE_IMPL_H
#define ZKIV_LIFELOGGING_SERVICE_IMPL_H

#include <stdint.h>

#include "zkivLifelogActivityEventController.h"
#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/* Service status. */
enum {
    LIFELOG_SERVICE_RUNNING = 0,
    LIFELOG_SERVICE_STOPPED = 1,    /* thread suspended */
    LIFELOG_SERVICE_NOT_STARTED = 2 /* thread never started */
};

typedef struct ILifeloggingService ILifeloggingService;

/* The ILifeloggingService table, in slot order. */
typedef struct ILifeloggingServiceOps {
    void* (*queryInterface)(ILifeloggingService* self, const UUID* interfaceId,
                            unsigned int* err);
    int32_t (*addRef)(ILifeloggingService* self);
    int32_t (*release)(ILifeloggingService* self);
    int32_t (*getStatus)(ILifeloggingService* self);
    void (*run)(ILifeloggingService* self, unsigned int* err);
    void (*stop)(ILifeloggingService* self, unsigned int* err);
} ILifeloggingServiceOps;

/* The interface pointer: the service object begins with these two fields. */
struct ILifeloggingService {
    const ILifeloggingServiceOps* ops;
    void* impl;
};

typedef struct ActorListener {
    const ActorTargetOps* ops;           /* one slot: __ActorListener_actor */
    struct ActorListener* impl;
    Actor* actor;                        /* owned */
    ActivityEventController* controller; /* borrowed from the service */
} ActorListener;

typedef struct LifeloggingServiceImpl {
    ILifeloggingService iface;           /* table, and the object itself */
    ActivityEventController* controller; /* owned */
    Thread* thread;                      /* "Lifelogging"; the thread releases it itself */
    Actor* actor;                        /* set by the logging thread */
    int32_t status;
    int32_t refCount;
    /* Private to the library, guarded by the service's thread lock: the
     * logging thread's listener; whether the thread was ever started;
     * whether the service is being deleted; whether the started thread has
     * ended (the service is freed only after that, so the thread never
     * reaches a freed service). */
    ActorListener* listener;
    int32_t threadStarted;
    int32_t closing;
    int32_t threadEnded;
} LifeloggingServiceImpl;

LIFELOG_API LifeloggingServiceImpl* __LifeloggingServiceImpl_new(unsigned int* err);
LIFELOG_API void __LifeloggingServiceImpl_delete(LifeloggingServiceImpl* service);

LIFELOG_API void* __LifeloggingServiceImpl_queryInterface(ILifeloggingService* self,
                                                          const UUID* interfaceId,
                                                          unsigned int* err);
LIFELOG_API int32_t __LifeloggingServiceImpl_addRef(ILifeloggingService* self);
/* NULL gives -1. */
LIFELOG_API int32_t __LifeloggingServiceImpl_release(ILifeloggingService* self);
LIFELOG_API int32_t __LifeloggingServiceImpl_getStatus(ILifeloggingService* self);
LIFELOG_API void __LifeloggingServiceImpl_run(ILifeloggingService* self, unsigned int* err);
LIFELOG_API void __LifeloggingServiceImpl_stop(ILifeloggingService* self, unsigned int* err);

LIFELOG_API ActorListener* ActorListener_new(const char* name, ActivityEventController* controller,
                                             unsigned int* err);
LIFELOG_API void ActorListener_delete(ActorListener* listener);
/* The listener's one slot: message code 1 initialises the controller. */
LIFELOG_API void __ActorListener_actor(void* listener, ActorMessage* message);

/* The entry procedure of the thread "Lifelogging"; the parameter is the
 * service object. */
LIFELOG_API void* __Lifelog_logging_thread_proc(void* parameter);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGING_SERVICE_IMPL_H */
