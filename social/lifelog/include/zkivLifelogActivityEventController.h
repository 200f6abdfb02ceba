/** @file zkivLifelogActivityEventController.h
 * @brief The activity event controller: it carries call and message notifications
 * from the notification component's threads onto the logging thread.  A
 * dispatch builds the activity on the notifying thread, parks it as the
 * pending activity and fires the controller's event; the event's handler,
 * on the logging thread, logs the activity into the lifelog database and
 * deletes it. */
#ifndef ZKIV_LIFELOG_ACTIVITY_EVENT_CONTROLLER_H
#define ZKIV_LIFELOG_ACTIVITY_EVENT_CONTROLLER_H

#include <stdint.h>

#include "zkivLifelogTypes.h"

LIFELOG_BEGIN_DECLS

/** The event type of the controller's event. */
enum {
    LIFELOG_ACTIVITY_EVENT_ID = 8193 /**< a pending activity to log */
};

/** The notification component's table (ILifelogPi) as the controller uses it. */
typedef struct ILifelogPi ILifelogPi;
/** The ILifelogPi table, in slot order. */
typedef struct ILifelogPiOps {
    /** The component's interfaces (platform conventions). */
    void* (*queryInterface)(ILifelogPi* self, const UUID* interfaceId, unsigned int* err);
    /** Takes a reference. */
    int32_t (*addRef)(ILifelogPi* self);
    /** Drops a reference; the last one also forgets the controller. */
    int32_t (*release)(ILifelogPi* self);
    /** Keeps the controller and calls its dispatch operations from then on. */
    void (*initialize)(ILifelogPi* self, void* controller, unsigned int* err);
    /** Forgets the controller. */
    void (*terminate)(ILifelogPi* self);
} ILifelogPiOps;
/** The platform's notification component (class CLSID_LifelogPi,
 * interface IID_ILifelogPi): it calls the registered controller's dispatch
 * operations on threads of its own. */
struct ILifelogPi {
    const ILifelogPiOps* ops; /**< the component's table */
};

/** The pending activity's hand-over state (private to the library). */
typedef struct ActivityEventHandover ActivityEventHandover;

/** The activity event controller.  Made with the service, initialised on
 * the logging thread, deleted with the service. */
typedef struct ActivityEventController {
    Mutex* mutex;         /**< "ActivityEventController" */
    ZLifelogger* logger;  /**< database handler and default filter; owned */
    ILifelogPi* notifier; /**< one reference, owned */
    Event event;          /**< bound to "lifelogActor" by ActivityEventController_init */
    /** The event's handler reaches these two through the event record, so
     * they stay directly after it, in this order. */
    ZLifelogActivity* pendingActivity;
    struct ActivityEventController* controller; /**< itself, once initialised */
    ActivityEventHandover* handover;            /**< private to the library */
} ActivityEventController;

/** A new controller with its database logger (the database is created
 * when missing) and a reference to the notification component; the
 * caller's, deleted with ActivityEventController_delete().  Call from the
 * service's creating thread.  Codes: LIFELOG_E_OUT_OF_MEMORY, or those of the logger, the mutex
 * and Com_createInstance(). */
LIFELOG_API ActivityEventController* ActivityEventController_new(unsigned int* err);
/** On the logging thread: binds the event to the calling thread's actor and
 * registers the controller with the notification component.  Leaves the
 * error slot as the platform calls set it. */
LIFELOG_API void ActivityEventController_init(ActivityEventController* controller,
                                              unsigned int* err);
/** Unregisters the controller from the notification component, which
 * calls it no more once this returns. */
LIFELOG_API void ActivityEventController_terminate(ActivityEventController* controller);
/** NULL is allowed.  Deletes the mutex and the logger, releases the
 * notification component and frees the controller, without waiting for the
 * logging thread's main loop: a dispatch or handler running in the
 * controller is waited for, an activity still pending is deleted, and a
 * delivery of the event still queued finds no controller and does nothing. */
LIFELOG_API void ActivityEventController_delete(ActivityEventController* controller);

/** Called by the notification component, on its own thread, for a call:
 * builds the call activity with time stamp `timestamp`, waits until the
 * pending slot is free, parks it there and fires the event; the logging
 * thread writes it.  The texts stay the caller's.  Failures are logged,
 * never reported. */
LIFELOG_API void ActivityEventController_callActivity_dispatch(
    ActivityEventController* controller, const char* phoneNumber, int direction, int duration,
    int type, int cellId, int lac, int mcc, int mnc, DateTime timestamp);
/** As ActivityEventController_callActivity_dispatch(), for a message. */
LIFELOG_API void ActivityEventController_msgActivity_dispatch(
    ActivityEventController* controller, const char* phoneNumber, int direction, int type,
    const char* summary, int cellId, int lac, int mcc, int mnc, DateTime timestamp);

/** The event's handler, run on the logging thread with the event record. */
LIFELOG_API void __ZLifelog_eventHandler(Event* event);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ACTIVITY_EVENT_CONTROLLER_H */
