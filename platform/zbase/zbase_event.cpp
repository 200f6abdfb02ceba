// Events and the per-thread main loop.
//
// Event_fire, callable from any thread, queues the event on the loop of the
// thread that owns the event's actor; that thread's Event_runMainloop hands
// each queued delivery to its handler, first in, first out, exactly once.
// Actor messages (Actor_start) travel through the same queue, so a start
// message is seen before any event fired after it.
//
// Event_exitMainloop makes the loop return after the delivery in progress, if
// any, even while the loop is suspended; deliveries still queued stay queued
// for a later Event_runMainloop on that thread.  An exit asked for before the
// loop runs is kept, and the next Event_runMainloop returns at once.  When a
// thread ends, its loop closes: what is still queued is discarded, and events
// fired later for its actors fail with 13.
//
// Event_waitIdle counts every delivery queued in the process, actor messages
// included, from Event_fire/Actor_start until it has been handled or
// discarded (actor stopped or deleted, thread ended).  A delivery queued for
// a thread that never runs its main loop therefore keeps it waiting.  A
// thread started by Thread_start counts too, until it first enters its main
// loop or ends, so that what it queues on its way there (its actor's start
// message) is waited for.
//
// Codes: 4 for a null event, a missing handler or an unknown loop; 21 when
// the event's actor does not exist; 13 when the actor's thread has ended.
#include <chrono>
#include <map>

#include "zbase.h"
#include "zbase_host.h"
#include "zbase_threading.h"

namespace zbase {
namespace {

// Loops that a thread has adopted, by token.  Never destroyed: threads may
// still end while the process exits.
struct LoopRegistry {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<Mainloop>> loops;
    uintptr_t lastToken = 0;
};

LoopRegistry& loopRegistry() {
    static LoopRegistry* registry = new LoopRegistry();
    return *registry;
}

struct IdleState {
    std::mutex mutex;
    std::condition_variable settled;
    unsigned long outstanding = 0;
};

IdleState& idleState() {
    static IdleState* state = new IdleState();
    return *state;
}

void registerLoop(Mainloop& loop, const std::shared_ptr<Mainloop>& owner) {
    LoopRegistry& registry = loopRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    loop.token = ++registry.lastToken;
    registry.loops.emplace(loop.token, owner);
}

// Closes the calling thread's loop when the thread ends.
void closeLoop(Mainloop& loop) {
    {
        LoopRegistry& registry = loopRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.loops.erase(loop.token);
    }
    size_t discarded = 0;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        loop.closed = true;
        discarded = loop.queue.size();
        loop.queue.clear();
    }
    deliveriesSettled(discarded);
}

struct LoopHolder {
    std::shared_ptr<Mainloop> loop;
    ~LoopHolder() {
        if (loop) {
            closeLoop(*loop);
        }
    }
};

thread_local LoopHolder tlsLoop;

void deliver(const LoopEntry& entry) {
    if (entry.kind == LoopEntry::kEvent) {
        entry.handler(entry.event);
    } else {
        ActorMessage message = entry.message;
        auto* target = static_cast<ActorTarget*>(entry.target);
        target->ops->onMessage(target, &message);
    }
}

}  // namespace

std::shared_ptr<Mainloop> currentLoop() {
    if (!tlsLoop.loop) {
        adoptLoop(std::make_shared<Mainloop>());
    }
    return tlsLoop.loop;
}

void adoptLoop(std::shared_ptr<Mainloop> loop) {
    registerLoop(*loop, loop);
    tlsLoop.loop = std::move(loop);
}

std::shared_ptr<Mainloop> findLoop(void* token) {
    LoopRegistry& registry = loopRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.loops.find(reinterpret_cast<uintptr_t>(token));
    return found == registry.loops.end() ? nullptr : found->second;
}

void purgeActorLocked(Mainloop& loop, int actorId, bool messagesOnly) {
    size_t before = loop.queue.size();
    std::erase_if(loop.queue, [&](const LoopEntry& entry) {
        return entry.actorId == actorId && (!messagesOnly || entry.kind == LoopEntry::kMessage);
    });
    deliveriesSettled(before - loop.queue.size());
}

void settleStartupLocked(Mainloop& loop) {
    if (loop.startupPending) {
        loop.startupPending = false;
        deliveriesSettled(1);
    }
}

void deliveryQueued() {
    IdleState& idle = idleState();
    std::lock_guard<std::mutex> lock(idle.mutex);
    ++idle.outstanding;
}

void deliveriesSettled(size_t count) {
    if (count == 0) {
        return;
    }
    IdleState& idle = idleState();
    std::lock_guard<std::mutex> lock(idle.mutex);
    idle.outstanding -= count;
    if (idle.outstanding == 0) {
        idle.settled.notify_all();
    }
}

}  // namespace zbase

using zbase::LoopEntry;
using zbase::Mainloop;

extern "C" {

ZBASE_API void Event_init(Event* event, int eventId, int actorId, EventHandler handler) {
    if (event == nullptr) {
        return;
    }
    event->eventId = eventId;
    event->actorId = actorId;
    event->handler = handler;
    event->reserved = nullptr;
}

// Binds `handler` as the event's handler; the event's actor must exist.
ZBASE_API void Event_addListener(Event* event, EventHandler handler, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (event == nullptr || handler == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    if (!zbase::actorExists(event->actorId)) {
        zbase::setError(err, ZBASE_E_OBJ_NOT_FOUND);
        return;
    }
    event->handler = handler;
}

ZBASE_API void Event_fire(Event* event, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (event == nullptr || event->handler == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    LoopEntry entry{};
    entry.kind = LoopEntry::kEvent;
    entry.actorId = event->actorId;
    entry.event = event;
    entry.handler = event->handler;
    zbase::setError(err, zbase::queueForActor(event->actorId, entry));
}

ZBASE_API void Event_runMainloop(void) {
    std::shared_ptr<Mainloop> loop = zbase::currentLoop();
    std::unique_lock<std::mutex> lock(loop->mutex);
    zbase::settleStartupLocked(*loop);
    for (;;) {
        loop->wake.wait(lock, [&] {
            return loop->exitRequested || (!loop->suspended && !loop->queue.empty());
        });
        if (loop->exitRequested) {
            loop->exitRequested = false;
            return;
        }
        LoopEntry entry = loop->queue.front();
        loop->queue.pop_front();
        lock.unlock();
        zbase::deliver(entry);
        zbase::deliveriesSettled(1);
        lock.lock();
    }
}

ZBASE_API void Event_exitMainloop(void* token, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    std::shared_ptr<Mainloop> loop = zbase::findLoop(token);
    if (!loop) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(loop->mutex);
        loop->exitRequested = true;
    }
    loop->wake.notify_all();
}

// timeoutMs < 0 waits without a limit.
ZBASE_API int Event_waitIdle(int timeoutMs) {
    zbase::IdleState& idle = zbase::idleState();
    std::unique_lock<std::mutex> lock(idle.mutex);
    auto idleNow = [&] { return idle.outstanding == 0; };
    if (timeoutMs < 0) {
        idle.settled.wait(lock, idleNow);
        return 1;
    }
    return idle.settled.wait_for(lock, std::chrono::milliseconds(timeoutMs), idleNow) ? 1 : 0;
}

}  // extern "C"
