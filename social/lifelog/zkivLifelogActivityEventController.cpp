// The activity event controller: notifications from the notification
// component's threads become activities that the logging thread writes.
//
// Hand-over of the pending activity.  The controller keeps one pending slot.
// A dispatch waits, under the controller's hand-over lock, until the slot is
// free, stores its activity, counts the event as outstanding and fires it;
// the handler on the logging thread empties the slot (waking the next
// dispatch) and, once it has logged and deleted the activity, settles the
// event.  So notifications that arrive back to back from several threads
// are each stored once, none is overwritten before the handler takes it, and
// each event's handler takes exactly the activity stored before it was
// fired.
//
// Shutdown.  Deletion first closes the controller (waiting dispatches drop
// their activity, new ones return at once without touching anything but the
// hand-over) and waits until no dispatch runs and every fired event has been
// handled.  Then it deletes the mutex and the logger and releases the
// notification component, whose last release forgets the controller and
// waits for a dispatch in progress; only then is the record freed.  A
// dispatch that arrives while the logger is deleted finds the controller
// closed, so nothing reaches a deleted logger or a freed controller.  The
// logging thread's main loop must be running for the wait to end; the
// service makes sure of that (it resumes a suspended thread first).
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
    std::condition_variable changed;  // slot emptied, dispatch left, event settled, closing
    int dispatching = 0;              // dispatch calls inside the controller
    int eventsOutstanding = 0;        // fired events whose handler has not finished
    bool closing = false;
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

ActivityEventHandover* newHandover() {
    void* block = LIFELOG_ALLOC(sizeof(ActivityEventHandover));
    return block == nullptr ? nullptr : new (block) ActivityEventHandover();
}

void deleteHandover(ActivityEventHandover* handover) {
    handover->~ActivityEventHandover();
    LIFELOG_FREE(handover);
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
        ++h.eventsOutstanding;
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
        --h.eventsOutstanding;
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

// Closes the controller and waits until nothing runs in it any more.
void closeAndDrain(ActivityEventController* c) {
    ActivityEventHandover& h = *c->handover;
    Lock lock(h.lock);
    h.closing = true;
    h.changed.notify_all();
    h.changed.wait(lock, [&] { return h.dispatching == 0 && h.eventsOutstanding == 0; });
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
    c->handover = newHandover();
    if (c->handover == nullptr) {
        LIFELOG_FREE(c);
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
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
    // Closed and drained first: from here a dispatch returns at once without
    // touching the logger, and no fired event is left for the handler.
    if (controller->handover != nullptr) {
        closeAndDrain(controller);
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
    auto* tail = reinterpret_cast<EventTail*>(event);
    ActivityEventController* c = tail->controller;
    LIFELOG_TRACE("is called");
    if (c == nullptr) {
        return;
    }
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
    // Settle the event last: once the count reaches 0 the controller may be
    // freed, so nothing here touches it afterwards.
    Lock lock(h.lock);
    if (h.eventsOutstanding > 0) {
        --h.eventsOutstanding;
    }
    h.changed.notify_all();
}

}  // extern "C"
