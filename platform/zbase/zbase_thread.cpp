// Threads: a std::thread behind a tracked record.
//
// Thread_new makes the record without starting anything; the entry
// procedure receives the record's `parameter` as it stands at Thread_start.
// Every thread made here owns a main loop from the moment of Thread_new, so
// that a suspension asked for before the start already applies.
//
// Suspension is cooperative: there is no preemptive stop.  A suspended
// thread's main loop finishes the delivery in progress and then holds its
// queue (events keep being queued, none is lost) until Thread_resume; code
// that runs outside the main loop is not held.  Event_exitMainloop still ends
// a suspended loop.
//
// A thread that never ran:
//   - Thread_suspend records the suspension: a later Thread_start runs the
//     entry procedure, but its main loop holds its queue until Thread_resume.
//   - Thread_resume starts it, as Thread_start would (clearing a recorded
//     suspension), and reports what the start reports.
// Suspending or resuming a thread that has ended changes nothing; both
// report 0.
//
// A started thread counts for Event_waitIdle until it first enters its main
// loop (or ends without one): a host that starts a service thread and waits
// for idleness sees what the thread set up on its way there.
//
// Thread_release frees the record whether or not the thread runs: the thread
// itself carries on, detached, and may release its own record as its last
// act.  After the release, __ThreadManager_getThread no longer finds it.
//
// Codes: 4 for a null thread or procedure, 13 for a second Thread_start or a
// thread the system cannot create.
#include <pthread.h>

#include <atomic>
#include <cstring>
#include <map>
#include <new>
#include <system_error>
#include <thread>

#include "qelmemory.h"
#include "zbase.h"
#include "zbase_testing.h"
#include "zbase_threading.h"

namespace zbase {
namespace {

struct ThreadRecord {
    Thread head;  // first: the record is handed out as a Thread*
    uintptr_t id = 0;
    ThreadProc procedure = nullptr;
    std::shared_ptr<Mainloop> loop;
    std::thread thread;
    const void* identity = nullptr;  // the running thread's Thread_self value
    bool started = false;
    char name[32] = {};
};

// What Thread_self names: one per system thread.  A thread made here
// registers its identity with its record when it begins.
struct ThreadIdentity {
    bool registered = false;
    ~ThreadIdentity();
};

struct ThreadRegistry {
    std::mutex mutex;
    std::map<uintptr_t, ThreadRecord*> records;       // live records by id
    std::map<const void*, ThreadRecord*> byIdentity;  // running threads
    uintptr_t lastId = 0;
};

ThreadRegistry& threadRegistry() {
    static ThreadRegistry* registry = new ThreadRegistry();
    return *registry;
}

thread_local ThreadIdentity tlsIdentity;

ThreadIdentity::~ThreadIdentity() {
    if (!registered) {
        return;
    }
    ThreadRegistry& registry = threadRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.byIdentity.find(this);
    if (found != registry.byIdentity.end()) {
        found->second->identity = nullptr;
        registry.byIdentity.erase(found);
    }
}

ThreadRecord* record(Thread* thread) {
    return reinterpret_cast<ThreadRecord*>(thread);
}

void threadMain(uintptr_t id, ThreadProc procedure, void* parameter,
                std::shared_ptr<Mainloop> loop) {
    adoptLoop(loop);
    {
        // Also waits until Thread_start has stored the std::thread.
        ThreadRegistry& registry = threadRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.records.find(id);
        if (found != registry.records.end()) {
            found->second->identity = &tlsIdentity;
            registry.byIdentity[&tlsIdentity] = found->second;
            tlsIdentity.registered = true;
        }
    }
    procedure(parameter);
    std::lock_guard<std::mutex> lock(loop->mutex);
    settleStartupLocked(*loop);
}

// Starts that tests asked to fail (Thread_failStarts).
std::atomic<int> gFailingStarts{0};

// The caller holds the registry's mutex.
unsigned int startLocked(ThreadRecord& thread) {
    if (thread.started) {
        return ZBASE_E_FAILURE;
    }
    for (int left = gFailingStarts.load(); left > 0;) {
        if (gFailingStarts.compare_exchange_weak(left, left - 1)) {
            return ZBASE_E_FAILURE;
        }
    }
    {
        std::lock_guard<std::mutex> lock(thread.loop->mutex);
        thread.loop->startupPending = true;
        deliveryQueued();
    }
    try {
        thread.thread = std::thread(threadMain, thread.id, thread.procedure, thread.head.parameter,
                                    thread.loop);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(thread.loop->mutex);
        settleStartupLocked(*thread.loop);
        return ZBASE_E_FAILURE;
    }
    char shortName[16] = {};  // the system keeps 15 characters of a thread's name
    std::memcpy(shortName, thread.name, sizeof(shortName) - 1);
    pthread_setname_np(thread.thread.native_handle(), shortName);
    thread.started = true;
    return ZBASE_E_SUCCESS;
}

void setSuspended(ThreadRecord& thread, bool suspended) {
    Mainloop& loop = *thread.loop;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        loop.suspended = suspended;
    }
    loop.wake.notify_all();
}

}  // namespace
}  // namespace zbase

extern "C" {

ZBASE_API Thread* Thread_new(const char* name, ThreadProc procedure, int stackSize, int priority,
                             unsigned int* err) {
    (void)stackSize;
    (void)priority;
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (procedure == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    void* block = Mem_callocEx(1, sizeof(zbase::ThreadRecord), __FILE__, __LINE__);
    if (block == nullptr) {
        zbase::setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    auto* thread = new (block) zbase::ThreadRecord();
    if (name != nullptr) {
        std::strncpy(thread->name, name, sizeof(thread->name) - 1);
    }
    thread->procedure = procedure;
    thread->loop = std::make_shared<zbase::Mainloop>();

    zbase::ThreadRegistry& registry = zbase::threadRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    thread->id = ++registry.lastId;
    registry.records.emplace(thread->id, thread);
    return &thread->head;
}

ZBASE_API void Thread_start(Thread* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::ThreadRegistry& registry = zbase::threadRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    zbase::setError(err, zbase::startLocked(*zbase::record(handle)));
}

ZBASE_API void Thread_suspend(Thread* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::setSuspended(*zbase::record(handle), true);
}

ZBASE_API void Thread_resume(Thread* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::ThreadRecord* thread = zbase::record(handle);
    zbase::setSuspended(*thread, false);
    zbase::ThreadRegistry& registry = zbase::threadRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (!thread->started) {
        zbase::setError(err, zbase::startLocked(*thread));
    }
}

ZBASE_API void Thread_release(Thread* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    zbase::ThreadRecord* thread = zbase::record(handle);
    {
        zbase::ThreadRegistry& registry = zbase::threadRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.records.erase(thread->id);
        if (thread->identity != nullptr) {
            registry.byIdentity.erase(thread->identity);
        }
        if (thread->thread.joinable()) {
            thread->thread.detach();
        }
    }
    thread->~ThreadRecord();
    Mem_freeEx(thread, __FILE__, __LINE__);
}

ZBASE_API void Thread_failStarts(int count) {
    zbase::gFailingStarts = count > 0 ? count : 0;
}

ZBASE_API void* Thread_self(void) {
    return &zbase::tlsIdentity;
}

ZBASE_API Thread* __ThreadManager_getThread(void* value) {
    zbase::ThreadRegistry& registry = zbase::threadRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.byIdentity.find(value);
    return found == registry.byIdentity.end() ? nullptr : &found->second->head;
}

}  // extern "C"
