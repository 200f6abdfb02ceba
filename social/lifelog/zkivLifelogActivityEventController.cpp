// The activity event controller: notifications from the notification
// component's threads become activities that the logging thread writes.
//
// Hand-over of the pending activity.  The controller keeps one pending slot.
// A dispatch waits, under the controller's hand-over lock, until the slot is
// free, stores its activity and fires the event; the handler on the logging
// thread empties the slot (waking the next dispatch).  So notifications that
// arrive back to back from several threads are each stored once, none is
// overwritten before the handler takes it, and each event's handler takes
// the activity stored before it was fired.
//
// Shutdown.  Deletion never waits for the logging thread's main loop, which
// may be suspended or may never run.  It first closes the controller: the
// controller leaves the list of live controllers, waiting dispatches drop
// their activity, new ones return at once, and a dispatch or handler that
// is running in it is waited for (each ends without the main loop).  Then it
// deletes the mutex and the logger, releases the notification component
// (whose last release forgets the controller and waits for a dispatch in
// progress), deletes an activity still pending and frees the record.  A
// delivery of the event that is still queued when the record is freed
// reaches the handler with the freed record's address: the handler looks
// that address up among the live controllers first and, finding none,
// touches nothing.
#include "zkivLifelogActivityEventController.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <new>

#include "lifelogInternal.h"
#include "zkivLifelogCommon.h"
#include "zkivLifelogUtil.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggerDefaultFilter.h"
#include "zkivLifeloggingServiceUtil.h"

struct ActivityEventHandover {
    std::mutex lock;
    std::condition_variable changed;  // slot emptied, dispatch or handler left, closing
    int dispatching = 0;              // dispatch calls inside the controller
    int handling = 0;                 // handler calls inside the controller
    bool closing = false;
    ActivityEventController* owner = nullptr;
    ActivityEventHandover* nextLive = nullptr;  // the list of live controllers
};

namespace {

// The handler reaches the pending activity and the controller through the
// two fields after the event record.
struct EventTail {
    Event event;
    ZLifelogActivity* pendingActivity;
    ActivityEventController* controller;
};
static_assert(offsetof(ActivityEventController, pendingActivity) ==
              offsetof(ActivityEventController, event) + offsetof(EventTail, pendingActivity));
static_assert(offsetof(ActivityEventController, controller) ==
              offsetof(ActivityEventController, event) + offsetof(EventTail, controller));

using Lock = std::unique_lock<std::mutex>;

ActivityEventHandover* newHandover(ActivityEventController* owner) {
    void* block = LIFELOG_ALLOC(sizeof(ActivityEventHandover));
    if (block == nullptr) {
        return nullptr;
    }
    auto* handover = new (block) ActivityEventHandover();
    handover->owner = owner;
    return handover;
}

void deleteHandover(ActivityEventHandover* handover) {
    handover->~ActivityEventHandover();
    LIFELOG_FREE(handover);
}

// The controllers whose event the handler may serve, linked through their
// hand-over records.
struct LiveControllers {
    std::mutex lock;
    ActivityEventHandover* first = nullptr;
};

LiveControllers& liveControllers() {
    static LiveControllers live;
    return live;
}

void addLive(ActivityEventHandover* h) {
    LiveControllers& live = liveControllers();
    std::lock_guard<std::mutex> lock(live.lock);
    h->nextLive = live.first;
    live.first = h;
}

void removeLive(ActivityEventHandover* h) {
    LiveControllers& live = liveControllers();
    std::lock_guard<std::mutex> lock(live.lock);
    for (ActivityEventHandover** at = &live.first; *at != nullptr; at = &(*at)->nextLive) {
        if (*at == h) {
            *at = h->nextLive;
            return;
        }
    }
}

// Whether the event belongs to a live, initialised controller, which is
// then counted in as handling.
bool enterHandler(const Event* event) {
    LiveControllers& live = liveControllers();
    std::lock_guard<std::mutex> lock(live.lock);
    for (ActivityEventHandover* h = live.first; h != nullptr; h = h->nextLive) {
        if (&h->owner->event == event) {
            if (h->owner->controller == nullptr) {
                return false;
            }
            Lock handoverLock(h->lock);
            ++h->handling;
            return true;
        }
    }
    return false;
}

void leaveHandler(ActivityEventHandover& h) {
    Lock lock(h.lock);
    --h.handling;
    h.changed.notify_all();
}

// Counts a dispatch in; false once the controller is closing.
bool enterDispatch(ActivityEventHandover& h) {
    Lock lock(h.lock);
    if (h.closing) {
        return false;
    }
    ++h.dispatching;
    return true;
}

void leaveDispatch(ActivityEventHandover& h) {
    Lock lock(h.lock);
    --h.dispatching;
    h.changed.notify_all();
}

// Parks the activity once the slot is free and fires the event.  The
// activity belongs to the handler once the event is fired; otherwise it is
// deleted here.
void handOver(const char* function, ActivityEventController* c, ZLifelogActivity* activity) {
    ActivityEventHandover& h = *c->handover;
    {
        Lock lock(h.lock);
        h.changed.wait(lock, [&] { return c->pendingActivity == nullptr || h.closing; });
        if (h.closing) {
            lock.unlock();
            ZLifelogActivity_delete(activity);
            return;
        }
        c->pendingActivity = activity;
    }
    unsigned int err = LIFELOG_E_SUCCESS;
    Event_fire(&c->event, &err);
    if (err == LIFELOG_E_SUCCESS) {
        return;
    }
    LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__, "Event_fire() failed!");
    bool stillPending = false;
    {
        Lock lock(h.lock);
        stillPending = c->pendingActivity == activity;
        if (stillPending) {
            c->pendingActivity = nullptr;
        }
        h.changed.notify_all();
    }
    if (stillPending) {
        ZLifelogActivity_delete(activity);
    }
}

// The dispatch operations share one body; `build` makes the activity.
template <typename Build>
void dispatch(const char* function, ActivityEventController* c, DateTime timestamp, Build build) {
    if (c == nullptr || c->handover == nullptr || !enterDispatch(*c->handover)) {
        return;
    }
    unsigned int err = LIFELOG_E_SUCCESS;
    ZLifelogActivity* activity = build(&err);
    if (activity == nullptr) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                    "[%s] Propagated: lifelogActivity is null", Exception_toString(err));
    } else {
        _ZLifelogActivity_setTimestamp(activity, timestamp);
        handOver(function, c, activity);
    }
    leaveDispatch(*c->handover);
}

// A construction step failed: the slot keeps its code (13 for a step that
// gave none); the filter, unless the logger took it, and the controller go.
ActivityEventController* abandon(ActivityEventController* c, Filter* filter, unsigned int* err) {
    lifelog::markFailed(err, LIFELOG_E_FAILURE);
    if (filter != nullptr) {
        __DefaultFilter_delete(filter);
    }
    ActivityEventController_delete(c);
    return nullptr;
}

// Closes the controller: no delivery finds it any more, and a dispatch or
// handler running in it has left.  Neither needs the main loop to end.
void close(ActivityEventController* c) {
    ActivityEventHandover& h = *c->handover;
    removeLive(&h);
    Lock lock(h.lock);
    h.closing = true;
    h.changed.notify_all();
    h.changed.wait(lock, [&] { return h.dispatching == 0 && h.handling == 0; });
}

}  // namespace

extern "C" {

LIFELOG_API ActivityEventController* ActivityEventController_new(unsigned int* err) {
    LIFELOG_TRACE("ActivityEventController_new : start");
    LIFELOG_ENTER(err);
    auto* c =
        static_cast<ActivityEventController*>(LIFELOG_CALLOC(1, sizeof(ActivityEventController)));
    if (c == nullptr) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    c->handover = newHandover(c);
    if (c->handover == nullptr) {
        LIFELOG_FREE(c);
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    addLive(c->handover);
    c->mutex = Mutex_new("ActivityEventController", 0, err);
    if (c->mutex == nullptr) {
        return abandon(c, nullptr, err);
    }
    int maxCount = _Lifelog_getMaxlogNumPerActivity();
    LIFELOG_TRACE("Max count per activity : %d", maxCount);
    c->logger = _CreateDBLifeLogger(err, maxCount);
    if (c->logger == nullptr) {
        LIFELOG_ERROR("Propagated: _CreateDBLifeLogger is failed");
        return abandon(c, nullptr, err);
    }
    Filter* filter = __DefaultFilter_new(err);
    if (filter == nullptr) {
        return abandon(c, nullptr, err);
    }
    ZLifelogger_setFilter(c->logger, filter, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated: ZLifelogger_setFilter", Exception_toString(*err));
        return abandon(c, filter, err);
    }
    // From here on the filter is the logger's.
    c->notifier =
        static_cast<ILifelogPi*>(Com_createInstance(&CLSID_LifelogPi, &IID_ILifelogPi, err));
    if (*err != LIFELOG_E_SUCCESS || c->notifier == nullptr) {
        LIFELOG_ERROR("[%s] Propagated: IID_ILifelogPi", Exception_toString(*err));
        return abandon(c, nullptr, err);
    }
    return c;
}

LIFELOG_API void ActivityEventController_init(ActivityEventController* controller,
                                              unsigned int* err) {
    LIFELOG_TRACE("is called");
    int actorId = Actor_getCurrentID();
    Event_init(&controller->event, LIFELOG_ACTIVITY_EVENT_ID, actorId, __ZLifelog_eventHandler);
    Event_addListener(&controller->event, __ZLifelog_eventHandler, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated: Event_addListener is failed", Exception_toString(*err));
        return;
    }
    controller->controller = controller;
    ILifelogPi* notifier = controller->notifier;
    notifier->ops->initialize(notifier, controller, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated: ActivityEventController_initPi is failed",
                      Exception_toString(*err));
    }
}

LIFELOG_API void ActivityEventController_terminate(ActivityEventController* controller) {
    ILifelogPi* notifier = controller->notifier;
    notifier->ops->terminate(notifier);
}

LIFELOG_API void ActivityEventController_delete(ActivityEventController* controller) {
    if (controller == nullptr) {
        return;
    }
    // Closed first: from here a dispatch returns at once and a delivery of
    // the event finds no controller.
    if (controller->handover != nullptr) {
        close(controller);
    }
    if (controller->mutex != nullptr) {
        unsigned int scratch = LIFELOG_E_SUCCESS;
        Mutex_delete(controller->mutex, &scratch);
    }
    if (controller->logger != nullptr) {
        ZLifelogger_delete(controller->logger);
    }
    // The component's last release forgets the controller and waits for a
    // dispatch still running in it; only then may the record go.
    if (controller->notifier != nullptr) {
        controller->notifier->ops->release(controller->notifier);
    }
    if (controller->pendingActivity != nullptr) {
        ZLifelogActivity_delete(controller->pendingActivity);
    }
    if (controller->handover != nullptr) {
        deleteHandover(controller->handover);
    }
    LIFELOG_FREE(controller);
}

LIFELOG_API void ActivityEventController_callActivity_dispatch(
    ActivityEventController* controller, const char* phoneNumber, int direction, int duration,
    int type, int cellId, int lac, int mcc, int mnc, DateTime timestamp) {
    LIFELOG_TRACE("is called");
    dispatch(__func__, controller, timestamp, [&](unsigned int* err) {
        return _CreateCallActivity(phoneNumber, direction, duration, type, cellId, lac, mcc, mnc,
                                   nullptr, err);
    });
}

LIFELOG_API void ActivityEventController_msgActivity_dispatch(
    ActivityEventController* controller, const char* phoneNumber, int direction, int type,
    const char* summary, int cellId, int lac, int mcc, int mnc, DateTime timestamp) {
    LIFELOG_TRACE("is called");
    dispatch(__func__, controller, timestamp, [&](unsigned int* err) {
        return _CreateMsgActivity(phoneNumber, direction, type, summary, cellId, lac, mcc, mnc,
                                  nullptr, err);
    });
}

LIFELOG_API void __ZLifelog_eventHandler(Event* event) {
    LIFELOG_TRACE("is called");
    // The event's own fields are read only once its controller is known to
    // be alive: a delivery may outlive a deleted controller.
    if (!enterHandler(event)) {
        return;
    }
    auto* tail = reinterpret_cast<EventTail*>(event);
    ActivityEventController* c = tail->controller;
    ActivityEventHandover& h = *c->handover;
    ZLifelogActivity* activity = nullptr;
    {
        Lock lock(h.lock);
        activity = tail->pendingActivity;
        tail->pendingActivity = nullptr;
        h.changed.notify_all();
    }
    if (activity != nullptr) {
        unsigned int err = LIFELOG_E_SUCCESS;
        ZLifelogger_log(c->logger, activity, &err);
        if (err != LIFELOG_E_SUCCESS) {
            LIFELOG_ERROR("[%s] Propagated: ZLifelogger_log is failed", Exception_toString(err));
        }
        ZLifelogActivity_delete(activity);
    }
    leaveHandler(h);
}

}  // extern "C"
