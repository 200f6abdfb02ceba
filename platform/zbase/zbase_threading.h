// Private to the base stand-in: the state shared by threads, actors, events
// and the notification component.
//
// Every thread that uses events has one main loop: a queue of deliveries
// (fired events and actor messages) that Event_runMainloop works through in
// order.  A loop is named to other threads by a token (a counter, never
// reused), which is what an actor record shows as `mainloop` and what
// Event_exitMainloop takes, so that a stale token can never reach a newer
// loop.  Loops, the token registry and the actor registry are the stand-in's
// own long-lived state and are not tracked; the records handed to callers
// (Thread, Actor, Mutex) are.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "zbase.h"
#include "zbase_internal.h"

namespace zbase {

// One delivery waiting in a main loop.
struct LoopEntry {
    enum Kind { kEvent, kMessage } kind;
    int actorId;
    Event* event;          // kEvent: the caller's record, handed to `handler`
    EventHandler handler;  // kEvent: the handler as it stood when fired
    void* target;          // kMessage: the actor's target
    ActorMessage message;  // kMessage: handed to the target by address
};

struct Mainloop {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<LoopEntry> queue;
    std::vector<int> actorIds;    // live actors created on this loop's thread, oldest first
    uintptr_t token = 0;          // 0 until a thread has adopted the loop
    bool suspended = false;       // cooperative: the loop holds its queue while set
    bool exitRequested = false;   // consumed by the loop when it returns
    bool closed = false;          // the owning thread has ended: nothing more is queued
    bool startupPending = false;  // started by Thread_start, not yet in its main loop
};

// A thread that is starting counts for Event_waitIdle until it first enters
// its main loop (or ends without one).  Settles it once; either lock state.
void settleStartupLocked(Mainloop& loop);

// The calling thread's loop, made (and given a token) on first use.
std::shared_ptr<Mainloop> currentLoop();
// Makes `loop` the calling thread's loop; a thread made by Thread_new does
// this first, so that suspensions recorded before the start apply.
void adoptLoop(std::shared_ptr<Mainloop> loop);
// The live loop named by a token, or null.
std::shared_ptr<Mainloop> findLoop(void* token);
inline void* tokenValue(uintptr_t token) {
    return reinterpret_cast<void*>(token);
}

// Removes the queued entries of one actor (messages only, or everything) and
// settles them for Event_waitIdle.  The caller holds loop.mutex.
void purgeActorLocked(Mainloop& loop, int actorId, bool messagesOnly);

// Accounting behind Event_waitIdle: a delivery is counted when queued and
// settled once handled or discarded.
void deliveryQueued();
void deliveriesSettled(size_t count);

bool actorExists(int actorId);
// Queues `entry` on the loop of actor `actorId`; 0, or the failure code.
unsigned int queueForActor(int actorId, const LoopEntry& entry);

// The notification component, built into the stand-in and registered with
// the class registry from the start.
extern const UUID kNotificationClassId;
void* notificationGetFactory(void* unused, unsigned int* err);
// A symbol of the running process, else of a library loaded by
// Com_registerModule; null when none has it.
void* findProcessSymbol(const char* name);

}  // namespace zbase
