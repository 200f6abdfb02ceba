// Mutexes: recursive, owned by the thread that locked them.
//
// The record is a tracked block from Mutex_new to Mutex_delete, so that a
// forgotten delete shows as a leak.  Codes: 4 for a null mutex, 13 for an
// unlock by a thread that does not hold it and for deleting a mutex that
// another thread holds (it then stays alive: freeing it under the holder
// would only move the fault elsewhere).
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "qelmemory.h"
#include "zbase.h"
#include "zbase_threading.h"

namespace {

struct MutexRecord {
    std::mutex guard;
    std::condition_variable released;
    std::thread::id owner;
    unsigned long depth = 0;
    char name[32] = {};
};

MutexRecord* record(Mutex* mutex) {
    return reinterpret_cast<MutexRecord*>(mutex);
}

}  // namespace

extern "C" {

ZBASE_API Mutex* Mutex_new(const char* name, int flags, unsigned int* err) {
    (void)flags;
    zbase::setError(err, ZBASE_E_SUCCESS);
    void* block = Mem_callocEx(1, sizeof(MutexRecord), __FILE__, __LINE__);
    if (block == nullptr) {
        zbase::setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    auto* mutex = new (block) MutexRecord();
    if (name != nullptr) {
        std::strncpy(mutex->name, name, sizeof(mutex->name) - 1);
    }
    return reinterpret_cast<Mutex*>(mutex);
}

ZBASE_API void Mutex_lock(Mutex* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    MutexRecord* mutex = record(handle);
    std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex->guard);
    if (mutex->depth > 0 && mutex->owner == self) {
        ++mutex->depth;
        return;
    }
    mutex->released.wait(lock, [mutex] { return mutex->depth == 0; });
    mutex->owner = self;
    mutex->depth = 1;
}

ZBASE_API void Mutex_unlock(Mutex* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    MutexRecord* mutex = record(handle);
    std::unique_lock<std::mutex> lock(mutex->guard);
    if (mutex->depth == 0 || mutex->owner != std::this_thread::get_id()) {
        zbase::setError(err, ZBASE_E_FAILURE);
        return;
    }
    if (--mutex->depth == 0) {
        mutex->owner = std::thread::id();
        lock.unlock();
        mutex->released.notify_one();
    }
}

ZBASE_API void Mutex_delete(Mutex* handle, unsigned int* err) {
    zbase::setError(err, ZBASE_E_SUCCESS);
    if (handle == nullptr) {
        zbase::setError(err, ZBASE_E_INVALID_ARG);
        return;
    }
    MutexRecord* mutex = record(handle);
    {
        std::lock_guard<std::mutex> lock(mutex->guard);
        if (mutex->depth > 0 && mutex->owner != std::this_thread::get_id()) {
            zbase::setError(err, ZBASE_E_FAILURE);
            return;
        }
    }
    mutex->~MutexRecord();
    Mem_freeEx(mutex, __FILE__, __LINE__);
}

}  // extern "C"
