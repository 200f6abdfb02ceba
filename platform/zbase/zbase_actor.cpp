// Actors: a target object bound to the thread that created it.
//
// Messages for an actor go through its thread's main loop and reach slot 0
// of the target's table on that thread.  Actor_start queues the start
// message (code 1); Actor_stop drops the messages not yet delivered and
// Actor_delete drops everything still queued for the actor, events included,
// so nothing reaches a target after its actor is gone.  The identifier that
// events name (Event.actorId) is a counter, never reused.
//
// The record is a tracked block from Actor_new to Actor_delete.  Codes: 4 for
// a null actor or target, 13 for starting an actor twice or one whose thread
// has ended.
#include <cstring>
#include <map>
#include <new>

#include "qelmemory.h"
#include "zbase.h"
#include "zbase_threading.h"

namespace zbase {
namespace {

struct ActorRecord {
    Actor head;  // first: the record is handed out as an Actor*
    int id = 0;
    void* target = nullptr;
    bool started = false;
    std::shared_ptr<Mainloop> loop;
    char name[32] = {};
};

struct ActorRegistry {
    std::mutex mutex;
    std::map<int, ActorRecord*> actors;
    int lastId = 0;
};

ActorRegistry& actorRegistry() {
    static ActorRegistry* registry = new ActorRegistry();
    return *registry;
}

ActorRecord* record(Actor* actor) {
    return reinterpret_cast<ActorRecord*>(actor);
}

// The caller holds the registry's mutex.
unsigned int queueLocked(ActorRecord& actor, const LoopEntry& entry) {
    Mainloop& loop = *actor.loop;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        if (loop.closed) {
            return ZBASE_E_FAILURE;
        }
        deliveryQueued();
        loop.queue.push_back(entry);
    }
    loop.wake.notify_all();
    return ZBASE_E_SUCCESS;
}

}  // namespace

bool actorExists(int actorId) {
    ActorRegistry& registry = actorRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.actors.count(actorId) != 0;
}

unsigned int queueForActor(int actorId, const LoopEntry& entry) {
    ActorRegistry& registry = actorRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.actors.find(actorId);
    if (found == registry.actors.end()) {
        return ZBASE_E_OBJ_NOT_FOUND;
    }
    return queueLocked(*found->second, entry);
}

}  // namespace zbase

extern "C" {

ZBASE_API Actor* Actor_new(const char* name, void* target, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (target == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    void* block = Mem_callocEx(1, sizeof(zbase::ActorRecord), __FILE__, __LINE__);
    if (block == nullptr) {
        zbase::setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    auto* actor = new (block) zbase::ActorRecord();
    if (name != nullptr) {
        std::strncpy(actor->name, name, sizeof(actor->name) - 1);
    }
    actor->target = target;
    actor->loop = zbase::currentLoop();
    actor->head.mainloop = zbase::tokenValue(actor->loop->token);

    zbase::ActorRegistry& registry = zbase::actorRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    actor->id = ++registry.lastId;
    registry.actors.emplace(actor->id, actor);
    std::lock_guard<std::mutex> loopLock(actor->loop->mutex);
    actor->loop->actorIds.push_back(actor->id);
    return &actor->head;
}

ZBASE_API void Actor_start(Actor* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::ActorRecord* actor = zbase::record(handle);
    zbase::ActorRegistry& registry = zbase::actorRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (actor->started) {
        zbase::setError(err, ZBASE_E_FAILURE);
        return;
    }
    zbase::LoopEntry entry{};
    entry.kind = zbase::LoopEntry::kMessage;
    entry.actorId = actor->id;
    entry.target = actor->target;
    entry.message.code = 1;
    unsigned int code = zbase::queueLocked(*actor, entry);
    actor->started = code == ZBASE_E_SUCCESS;
    zbase::setError(err, code);
}

ZBASE_API void Actor_stop(Actor* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::ActorRecord* actor = zbase::record(handle);
    zbase::ActorRegistry& registry = zbase::actorRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    actor->started = false;
    std::lock_guard<std::mutex> loopLock(actor->loop->mutex);
    zbase::purgeActorLocked(*actor->loop, actor->id, true);
}

ZBASE_API void Actor_delete(Actor* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::ActorRecord* actor = zbase::record(handle);
    {
        zbase::ActorRegistry& registry = zbase::actorRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.actors.erase(actor->id);
        zbase::Mainloop& loop = *actor->loop;
        std::lock_guard<std::mutex> loopLock(loop.mutex);
        zbase::purgeActorLocked(loop, actor->id, false);
        std::erase(loop.actorIds, actor->id);
    }
    actor->~ActorRecord();
    Mem_freeEx(actor, __FILE__, __LINE__);
}

ZBASE_API int Actor_getCurrentID(void) {
    std::shared_ptr<zbase::Mainloop> loop = zbase::currentLoop();
    std::lock_guard<std::mutex> lock(loop->mutex);
    return loop->actorIds.empty() ? 0 : loop->actorIds.back();
}

}  // extern "C"
