/* The activity event controller: it carries call and message notifications
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

/* The event type of the controller's event. */
enum { LIFELOG_ACTIVITY_EVENT_ID = 8193 };

/* The notification component's table (ILifelogPi) as the controller uses it. */
typedef struct ILifelogPi ILifelogPi;
typedef struct ILifelogPiOps {
    void* (*queryInterface)(ILifelogPi* self, const UUID* interfaceId, unsigned int* err);
    int32_t (*addRef)(ILifelogPi* self);
    int32_t (*release)(ILifelogPi* self);
    /* Keeps the controller and calls its dispatch operations from then on. */
    void (*initialize)(ILifelogPi* self, void* controller, unsigned int* err);
    /* Forgets the controller. */
    void (*terminate)(ILifelogPi* self);
} ILifelogPiOps;
struct ILifelogPi {
    const ILifelogPiOps* ops;
};

/* The pending activity's hand-over state (private to the library). */
typedef struct ActivityEventHandover ActivityEventHandover;

typedef struct ActivityEventController {
    Mutex* mutex;                 /* "ActivityEventController" */
    ZLifelogger* logger;          /* database handler and default filter; owned */
    ILifelogPi* notifier;         /* one reference, owned */
    Event event;                  /* bound to "lifelogActor" by ActivityEventController_init */
    /* The event's handler reaches these two through the event record, so
     * they stay directly after it, in this order. */
    ZLifelogActivity* pendingActivity;
    struct ActivityEventController* controller; /* itself, once initialised */
    ActivityEventHandover* handover;
} ActivityEventController;

LIFELOG_API ActivityEventController* ActivityEventController_new(unsigned int* err);
/* On the logging thread: binds the event to the calling thread's actor and
 * registers the controller with the notification component.  Leaves the
 * error slot as the platform calls set it. */
LIFELOG_API void ActivityEventController_init(ActivityEventController* controller,
                                              unsigned int* err);
LIFELOG_API void ActivityEventController_terminate(ActivityEventController* controller);
/* NULL is allowed.  Returns once no dispatch runs in the controller and no
 * fired event is left to handle. */
LIFELOG_API void ActivityEventController_delete(ActivityEventController* controller);

LIFELOG_API void ActivityEventController_callActivity_dispatch(
    ActivityEventController* controller, const char* phoneNumber, int direction, int duration,
    int type, int cellId, int lac, int mcc, int mnc, DateTime timestamp);
LIFELOG_API void ActivityEventController_msgActivity_dispatch(
    ActivityEventController* controller, const char* phoneNumber, int direction, int type,
    const char* summary, int cellId, int lac, int mcc, int mnc, DateTime timestamp);

/* The event's handler, run on the logging thread with the event record. */
LIFELOG_API void __ZLifelog_eventHandler(Event* event);

LIFELOG_END_DECLS

#endif /* ZKIV_LIFELOG_ACTIVITY_EVENT_CONTROLLER_H */
