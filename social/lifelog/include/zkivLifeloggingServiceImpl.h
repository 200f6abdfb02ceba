/** @file zkivLifeloggingServiceImpl.h
 * @brief The lifelog service: the ILifeloggingService object, which owns the
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

/** Service status (ILifeloggingService getStatus). */
enum {
    LIFELOG_SERVICE_RUNNING = 0,    /**< thread running */
    LIFELOG_SERVICE_STOPPED = 1,    /**< thread suspended */
    LIFELOG_SERVICE_NOT_STARTED = 2 /**< thread never started */
};

/** The service object's interface (see struct ILifeloggingService). */
typedef struct ILifeloggingService ILifeloggingService;

/** The ILifeloggingService table, in slot order. */
typedef struct ILifeloggingServiceOps {
    /** Slot 0: the same object, with a reference taken, for
     * IID_ILifeloggingService and IID_IBase; otherwise NULL with
     * LIFELOG_E_NO_INTERFACE. */
    void* (*queryInterface)(ILifeloggingService* self, const UUID* interfaceId, unsigned int* err);
    /** Slot 1: takes a reference; returns the new count. */
    int32_t (*addRef)(ILifeloggingService* self);
    /** Slot 2: drops a reference; at 0 the service is torn down (its
     * controller deleted, its thread told to end) and 0 is returned. */
    int32_t (*release)(ILifeloggingService* self);
    /** Slot 3: LIFELOG_SERVICE_RUNNING, _STOPPED or _NOT_STARTED. */
    int32_t (*getStatus)(ILifeloggingService* self);
    /** Slot 4: starts the logging thread, or resumes a stopped one.  Codes:
     * LIFELOG_E_INVALID_ARG, or the platform's code of the thread start or resume. */
    void (*run)(ILifeloggingService* self, unsigned int* err);
    /** Slot 5: suspends the logging thread: its events are held, not lost,
     * until `run`.  Codes: LIFELOG_E_INVALID_ARG, or the platform's code. */
    void (*stop)(ILifeloggingService* self, unsigned int* err);
} ILifeloggingServiceOps;

/** The interface pointer: the service object begins with these two fields. */
struct ILifeloggingService {
    const ILifeloggingServiceOps* ops; /**< the operation table */
    void* impl;                        /**< the service object */
};

/** The target of the logging thread's actor "lifelogActor": its start
 * message initialises the controller on that thread. */
typedef struct ActorListener {
    const ActorTargetOps* ops;           /**< one slot: __ActorListener_actor */
    struct ActorListener* impl;          /**< the listener itself */
    Actor* actor;                        /**< owned */
    ActivityEventController* controller; /**< borrowed from the service */
} ActorListener;

/** The service object behind ILifeloggingService.  Made by the factory
 * with one reference; the server exports keep it in
 * g_pILifeloggingService. */
typedef struct LifeloggingServiceImpl {
    ILifeloggingService iface;           /**< table, and the object itself */
    ActivityEventController* controller; /**< owned */
    Thread* thread;                      /**< "Lifelogging"; the thread releases it itself */
    Actor* actor;                        /**< set by the logging thread */
    int32_t status;                      /**< LIFELOG_SERVICE_RUNNING, ... */
    int32_t refCount;                    /**< references */
    /** Private to the library, guarded by the service's thread lock: the
     * logging thread's listener; whether the thread was ever started;
     * whether the service is being deleted; whether the started thread has
     * ended (the service is freed only after that, so the thread never
     * reaches a freed service). */
    ActorListener* listener;
    int32_t threadStarted; /**< the thread was started once */
    int32_t closing;       /**< the service is being deleted */
    int32_t threadEnded;   /**< the started thread has ended */
} LifeloggingServiceImpl;

/** A new service with count 0, its controller and its thread (not
 * started: status 2).  Codes: LIFELOG_E_OUT_OF_MEMORY, or those of the controller and
 * Thread_new(). */
LIFELOG_API LifeloggingServiceImpl* __LifeloggingServiceImpl_new(unsigned int* err);
/** Tears the service down: deletes the controller, ends the thread's main
 * loop and frees the service once the thread has ended. */
LIFELOG_API void __LifeloggingServiceImpl_delete(LifeloggingServiceImpl* service);

/** Service slot 0 (queryInterface). */
LIFELOG_API void* __LifeloggingServiceImpl_queryInterface(ILifeloggingService* self,
                                                          const UUID* interfaceId,
                                                          unsigned int* err);
/** Service slot 1 (addRef). */
LIFELOG_API int32_t __LifeloggingServiceImpl_addRef(ILifeloggingService* self);
/** Service slot 2 (release); NULL gives -1. */
LIFELOG_API int32_t __LifeloggingServiceImpl_release(ILifeloggingService* self);
/** Service slot 3 (getStatus). */
LIFELOG_API int32_t __LifeloggingServiceImpl_getStatus(ILifeloggingService* self);
/** Service slot 4 (run). */
LIFELOG_API void __LifeloggingServiceImpl_run(ILifeloggingService* self, unsigned int* err);
/** Service slot 5 (stop). */
LIFELOG_API void __LifeloggingServiceImpl_stop(ILifeloggingService* self, unsigned int* err);

/** A new listener with its actor `name` on the calling thread (the logging
 * thread), for `controller` (borrowed); deleted with ActorListener_delete()
 * on that thread.  Codes: LIFELOG_E_OUT_OF_MEMORY, or those of Actor_new(). */
LIFELOG_API ActorListener* ActorListener_new(const char* name, ActivityEventController* controller,
                                             unsigned int* err);
/** Stops and deletes the actor, then frees the listener. */
LIFELOG_API void ActorListener_delete(ActorListener* listener);
/** The listener's one slot: message code 1 initialises the controller. */
LIFELOG_API void __ActorListener_actor(void* listener, ActorMessage* message);

/** The entry procedure of the thread "Lifelogging"; the parameter is the
 * service object. */
LIFELOG_API void* __Lifelog_logging_thread_proc(void* parameter);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOGGING_SERVICE_IMPL_H */
