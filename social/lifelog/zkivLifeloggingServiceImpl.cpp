// The lifelog service object, its actor listener and the entry procedure of
// the thread "Lifelogging".
//
// The service and its logging thread meet under one lock (gThreadLock):
//   - The thread attaches to its service (creates the listener and records
//     the actor) only while the service is not being deleted; a deletion
//     that comes first finds no actor, and the thread, seeing the deletion,
//     ends without an actor.
//   - The controller is initialised under the lock, and the deletion
//     detaches the listener from the controller under the same lock before
//     deleting it, so a start message handled late never reaches a deleted
//     controller.
//   - A service whose thread was started is freed only after the thread has
//     ended (stopped and deleted its actor, deleted its listener, released
//     its own record): the thread never touches a freed service, and once
//     the last release returns nothing of the service is left.
//
// Status and the thread:
//   - `stop` suspends the thread, also one that never ran, and sets status 1.
//   - `run` after `stop` resumes the thread and sets status 0 whatever the
//     resume reported; the platform starts a thread that never ran when it
//     is resumed, and a resume that answers 0 leaves a thread that runs.
//   - Deletion does not resume a stopped thread: the controller's deletion
//     needs no main loop, and the exit request ends a suspended loop too.
//   - A thread that never ran is released by the deletion, since no thread
//     procedure will release it.
#include "zkivLifeloggingServiceImpl.h"

#include <condition_variable>
#include <mutex>

#include "lifelogInternal.h"
#include "zkivLifelogActivityEventController.h"
#include "zkivLifelogCommon.h"

namespace {

std::mutex gThreadLock;
std::condition_variable gThreadEnded;

using Lock = std::unique_lock<std::mutex>;

const ILifeloggingServiceOps kServiceOps = {
    __LifeloggingServiceImpl_queryInterface,
    __LifeloggingServiceImpl_addRef,
    __LifeloggingServiceImpl_release,
    __LifeloggingServiceImpl_getStatus,
    __LifeloggingServiceImpl_run,
    __LifeloggingServiceImpl_stop,
};

const ActorTargetOps kListenerOps = {__ActorListener_actor};

// The message an actor gets once it has started.
constexpr int32_t kActorStarted = 1;

LifeloggingServiceImpl* impl(ILifeloggingService* self) {
    return static_cast<LifeloggingServiceImpl*>(self->impl);
}

// The first start of the thread.
void startThread(LifeloggingServiceImpl* service, unsigned int* err) {
    Thread_start(service->thread, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, "__LifeloggingServiceImpl_run", __LINE__,
                    "Thread_start error : %s", Exception_toString(*err));
        return;
    }
    service->threadStarted = 1;
    service->status = LIFELOG_SERVICE_RUNNING;
}

// The logging thread's attachment: a listener and its actor, recorded in the
// service unless the service is already being deleted.
ActorListener* attach(LifeloggingServiceImpl* service, unsigned int* err) {
    Lock lock(gThreadLock);
    if (service->closing) {
        return nullptr;
    }
    ActorListener* listener = ActorListener_new("lifelogActor", service->controller, err);
    if (listener == nullptr || *err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, "__Lifelog_logging_thread_proc", __LINE__,
                    "[%s] Propagated : ActorListener_new is failed", Exception_toString(*err));
        if (listener != nullptr) {
            ActorListener_delete(listener);
        }
        return nullptr;
    }
    service->listener = listener;
    service->actor = listener->actor;
    return listener;
}

// Takes the listener and the actor out of the service before they go.
void detach(LifeloggingServiceImpl* service) {
    Lock lock(gThreadLock);
    service->listener = nullptr;
    service->actor = nullptr;
}

// The thread's last touch of its service.
void threadEnded(LifeloggingServiceImpl* service) {
    Lock lock(gThreadLock);
    service->threadEnded = 1;
    gThreadEnded.notify_all();
}

}  // namespace

extern "C" {

LIFELOG_API LifeloggingServiceImpl* __LifeloggingServiceImpl_new(unsigned int* err) {
    auto* service =
        static_cast<LifeloggingServiceImpl*>(LIFELOG_CALLOC(1, sizeof(LifeloggingServiceImpl)));
    if (service != nullptr) {
        service->iface.ops = &kServiceOps;
        service->iface.impl = service;
    }
    LIFELOG_TRACE(" is called");
    LIFELOG_ENTER(err);
    if (service == nullptr) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    service->status = LIFELOG_SERVICE_NOT_STARTED;
    service->refCount = 0;
    service->controller = ActivityEventController_new(err);
    if (*err != LIFELOG_E_SUCCESS || service->controller == nullptr) {
        LIFELOG_ERROR("[%s] Propagated: ActivityEventController_new is failed",
                      Exception_toString(*err));
    } else {
        service->thread = Thread_new("Lifelogging", __Lifelog_logging_thread_proc, 0, 0, err);
        if (*err == LIFELOG_E_SUCCESS && service->thread != nullptr) {
            service->actor = nullptr;
            service->thread->parameter = service;
            return service;
        }
        LIFELOG_ERROR("[%s] Propagated: Thread_new is failed", Exception_toString(*err));
    }
    lifelog::markFailed(err, LIFELOG_E_FAILURE);
    ActivityEventController_delete(service->controller);
    if (service->thread != nullptr) {
        unsigned int scratch = LIFELOG_E_SUCCESS;
        Thread_release(service->thread, &scratch);
    }
    LIFELOG_FREE(service);
    return nullptr;
}

LIFELOG_API void __LifeloggingServiceImpl_delete(LifeloggingServiceImpl* service) {
    LIFELOG_TRACE("is called");
    if (service == nullptr) {
        return;
    }
    void* mainloop = nullptr;
    {
        Lock lock(gThreadLock);
        service->closing = 1;
        if (service->listener != nullptr) {
            service->listener->controller = nullptr;
        }
        if (service->actor != nullptr) {
            mainloop = service->actor->mainloop;
        }
    }
    unsigned int scratch = LIFELOG_E_SUCCESS;
    if (service->controller != nullptr) {
        ActivityEventController_delete(service->controller);
        service->controller = nullptr;
    }
    if (mainloop != nullptr) {
        Event_exitMainloop(mainloop, &scratch);
    }
    if (service->threadStarted) {
        Lock lock(gThreadLock);
        gThreadEnded.wait(lock, [&] { return service->threadEnded != 0; });
    } else {
        Thread_release(service->thread, &scratch);
    }
    LIFELOG_FREE(service);
}

LIFELOG_API void* __LifeloggingServiceImpl_queryInterface(ILifeloggingService* self,
                                                          const UUID* interfaceId,
                                                          unsigned int* err) {
    LIFELOG_ENTER(err);
    if (UUID_isEqual(interfaceId, &IID_ILifeloggingService) ||
        UUID_isEqual(interfaceId, &IID_IBase)) {
        __LifeloggingServiceImpl_addRef(self);
        return self;
    }
    *err = LIFELOG_E_NO_INTERFACE;
    return nullptr;
}

LIFELOG_API int32_t __LifeloggingServiceImpl_addRef(ILifeloggingService* self) {
    LIFELOG_TRACE("is called");
    return ++impl(self)->refCount;
}

LIFELOG_API int32_t __LifeloggingServiceImpl_release(ILifeloggingService* self) {
    LIFELOG_TRACE("is called");
    if (self == nullptr) {
        return -1;
    }
    LifeloggingServiceImpl* service = impl(self);
    int32_t count = --service->refCount;
    LIFELOG_TRACE("refcount after release = %d", count);
    if (count == 0) {
        __LifeloggingServiceImpl_delete(service);
        return 0;
    }
    return count;
}

LIFELOG_API int32_t __LifeloggingServiceImpl_getStatus(ILifeloggingService* self) {
    return impl(self)->status;
}

LIFELOG_API void __LifeloggingServiceImpl_run(ILifeloggingService* self, unsigned int* err) {
    LIFELOG_TRACE("is called");
    LIFELOG_ENTER(err);
    LifeloggingServiceImpl* service = impl(self);
    if (service->status == LIFELOG_SERVICE_RUNNING) {
        LIFELOG_TRACE("the service is already running...");
    } else if (service->status == LIFELOG_SERVICE_STOPPED) {
        Thread_resume(service->thread, err);
        if (*err == LIFELOG_E_SUCCESS) {
            service->threadStarted = 1;
        }
        service->status = LIFELOG_SERVICE_RUNNING;
    } else {
        startThread(service, err);
    }
}

LIFELOG_API void __LifeloggingServiceImpl_stop(ILifeloggingService* self, unsigned int* err) {
    LIFELOG_ENTER(err);
    LIFELOG_TRACE("is called");
    LifeloggingServiceImpl* service = impl(self);
    Thread_suspend(service->thread, err);
    service->status = LIFELOG_SERVICE_STOPPED;
}

LIFELOG_API ActorListener* ActorListener_new(const char* name, ActivityEventController* controller,
                                             unsigned int* err) {
    LIFELOG_ENTER(err);
    if (controller == nullptr) {
        LIFELOG_ERROR("eventCtrl is null, run lifelog thread is failed.");
        return nullptr;
    }
    auto* listener = static_cast<ActorListener*>(LIFELOG_CALLOC(1, sizeof(ActorListener)));
    if (listener == nullptr) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    listener->ops = &kListenerOps;
    listener->impl = listener;
    listener->actor = Actor_new(name, listener, err);
    if (*err != LIFELOG_E_SUCCESS || listener->actor == nullptr) {
        LIFELOG_ERROR("ActorListener_new : Creating an Actor failed..");
        ActorListener_delete(listener);
        lifelog::markFailed(err, LIFELOG_E_FAILURE);
        return nullptr;
    }
    listener->controller = controller;
    return listener;
}

LIFELOG_API void ActorListener_delete(ActorListener* listener) {
    if (listener == nullptr) {
        return;
    }
    if (listener->actor != nullptr) {
        unsigned int scratch = LIFELOG_E_SUCCESS;
        Actor_delete(listener->actor, &scratch);
    }
    listener->controller = nullptr;
    LIFELOG_FREE(listener);
}

LIFELOG_API void __ActorListener_actor(void* target, ActorMessage* message) {
    ActorListener* listener = static_cast<ActorListener*>(target)->impl;
    if (message == nullptr || message->code != kActorStarted) {
        return;
    }
    Lock lock(gThreadLock);
    if (listener->controller == nullptr) {
        return;  // the service is being deleted
    }
    unsigned int scratch = LIFELOG_E_SUCCESS;
    ActivityEventController_init(listener->controller, &scratch);
    if (scratch != 0) {
        LIFELOG_ERROR("[%s] Propagated : ActivityEventController_init is failed",
                      Exception_toString(scratch));
    }
}

LIFELOG_API void* __Lifelog_logging_thread_proc(void* parameter) {
    Thread* self = __ThreadManager_getThread(Thread_self());
    LIFELOG_TRACE("is called");
    if (parameter == nullptr) {
        LIFELOG_ERROR("param is null, run lifelog thread is failed.");
        return nullptr;
    }
    auto* service = static_cast<LifeloggingServiceImpl*>(parameter);
    unsigned int err = LIFELOG_E_SUCCESS;
    ActorListener* listener = attach(service, &err);
    if (listener != nullptr && listener->actor == nullptr) {
        LIFELOG_ERROR("actorListener is null, run lifelog thread is failed.");
        LIFELOG_TRACE("actorListener is null");
    } else if (listener != nullptr) {
        Actor_start(listener->actor, &err);
        Event_runMainloop();
        Actor_stop(listener->actor, &err);
    }
    detach(service);
    if (listener != nullptr) {
        ActorListener_delete(listener);
    }
    if (self != nullptr) {
        Thread_release(self, &err);
    }
    threadEnded(service);
    return nullptr;
}

}  // extern "C"
