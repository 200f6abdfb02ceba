// The notification component (ILifelogPi), built into the stand-in.
//
// Table: queryInterface, addRef, release, then slot 3 (keep the controller
// given: 13 for a null one) and slot 4 (forget it).  One controller is
// registered for the whole process, the one most recently given to slot 3 of
// any component object; slot 4 and the last release of that object forget
// it.
//
// Deliveries (ZbasePi_deliverCall/Message) may come from any thread, several
// at once.  Each is handed to the component's own thread, which runs the
// controller's dispatch, one delivery at a time, in arrival order; the
// caller waits until that dispatch has returned.  The dispatch operations are
// found by name in the running process (the stand-in does not link the
// library), then in the libraries loaded by Com_registerModule.
//
// Lifetime: forgetting the controller (slot 4, or the last release) waits
// until a dispatch already running with it has returned, so once either
// returns the controller will not be called again and its owner may free
// it.  (Forgetting from inside a dispatch cannot wait for itself and does
// not.)  Codes of a delivery: 13 when no controller is registered when its
// turn comes, or the dispatch operation cannot be found.
#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "qelmemory.h"
#include "zbase.h"
#include "zbase_host.h"
#include "zbase_threading.h"

namespace zbase {

const UUID kNotificationClassId = {
    0xC69A284C, 0x68A5, 0x4654, {0xB8, 0x60, 0x3C, 0xA6, 0x07, 0x05, 0xB6, 0x3F}};

namespace {

const UUID kLifelogPiId = {
    0xA628BF07, 0x0C8C, 0x4954, {0x9A, 0xE9, 0xD7, 0x12, 0x3C, 0x00, 0x5F, 0x9E}};
const UUID kBaseInterfaceId = {
    0x56C5BADD, 0x2A24, 0x43DA, {0xB8, 0xB1, 0x40, 0x9B, 0x9E, 0xE8, 0x83, 0xC5}};

using CallDispatchFn = void (*)(void* controller, const char* phoneNumber, int direction,
                                int duration, int type, int cellId, int lac, int mcc, int mnc,
                                DateTime when);
using MsgDispatchFn = void (*)(void* controller, const char* phoneNumber, int direction, int type,
                               const char* summary, int cellId, int lac, int mcc, int mnc,
                               DateTime when);

// ------------------------------------------------------------ deliveries

struct Delivery {
    bool isCall;
    const char* phoneNumber;
    const char* summary;
    int direction, duration, type, cellId, lac, mcc, mnc;
    DateTime when;
    unsigned int err = 0;
    bool done = false;
};

struct Notifier {
    std::mutex mutex;
    std::condition_variable changed;  // a delivery was queued, ran, or the dispatch ended
    std::deque<Delivery*> waiting;
    void* controller = nullptr;
    const void* owner = nullptr;  // the component object that gave the controller
    bool dispatching = false;
    bool workerStarted = false;
    std::thread::id workerId;
};

// Never destroyed: the component's thread waits on it until the process ends.
Notifier& notifier() {
    static Notifier* state = new Notifier();
    return *state;
}

void runDispatch(void* controller, const Delivery& d, unsigned int* err) {
    if (d.isCall) {
        auto dispatch = reinterpret_cast<CallDispatchFn>(
            findProcessSymbol("ActivityEventController_callActivity_dispatch"));
        if (dispatch == nullptr) {
            *err = ZBASE_E_FAILURE;
            return;
        }
        dispatch(controller, d.phoneNumber, d.direction, d.duration, d.type, d.cellId, d.lac, d.mcc,
                 d.mnc, d.when);
    } else {
        auto dispatch = reinterpret_cast<MsgDispatchFn>(
            findProcessSymbol("ActivityEventController_msgActivity_dispatch"));
        if (dispatch == nullptr) {
            *err = ZBASE_E_FAILURE;
            return;
        }
        dispatch(controller, d.phoneNumber, d.direction, d.type, d.summary, d.cellId, d.lac, d.mcc,
                 d.mnc, d.when);
    }
}

void workerMain() {
    Notifier& state = notifier();
    std::unique_lock<std::mutex> lock(state.mutex);
    for (;;) {
        state.changed.wait(lock, [&] { return !state.waiting.empty(); });
        Delivery* delivery = state.waiting.front();
        state.waiting.pop_front();
        void* controller = state.controller;
        if (controller == nullptr) {
            delivery->err = ZBASE_E_FAILURE;
        } else {
            state.dispatching = true;
            lock.unlock();
            unsigned int code = 0;
            runDispatch(controller, *delivery, &code);
            lock.lock();
            state.dispatching = false;
            delivery->err = code;
        }
        delivery->done = true;
        state.changed.notify_all();
    }
}

// The caller holds the notifier's mutex.
bool ensureWorkerLocked(Notifier& state) {
    if (state.workerStarted) {
        return true;
    }
    try {
        std::thread worker(workerMain);
        state.workerId = worker.get_id();
        worker.detach();
    } catch (const std::system_error&) {
        return false;
    }
    state.workerStarted = true;
    return true;
}

void deliver(Delivery& delivery, unsigned int* err) {
    setError(err, ZBASE_E_SUCCESS);
    Notifier& state = notifier();
    std::unique_lock<std::mutex> lock(state.mutex);
    // A dispatch that delivers again would wait for itself.
    if (state.controller == nullptr || std::this_thread::get_id() == state.workerId ||
        !ensureWorkerLocked(state)) {
        setError(err, ZBASE_E_FAILURE);
        return;
    }
    state.waiting.push_back(&delivery);
    state.changed.notify_all();
    state.changed.wait(lock, [&] { return delivery.done; });
    setError(err, delivery.err);
}

// ----------------------------------------------------- component objects

struct PiObject;

struct PiOps {
    void* (*queryInterface)(void* self, const UUID* interfaceId, unsigned int* err);
    int (*addRef)(void* self);
    int (*release)(void* self);
    void (*keepController)(void* self, void* controller, unsigned int* err);
    void (*forgetController)(void* self);
};

struct PiObject {
    const PiOps* ops;
    void* impl;
    std::atomic<int> references{0};
};

bool answers(const UUID* interfaceId) {
    return UUID_isEqual(interfaceId, &kLifelogPiId) || UUID_isEqual(interfaceId, &kBaseInterfaceId);
}

PiObject* piImpl(void* self) {
    return static_cast<PiObject*>(static_cast<PiObject*>(self)->impl);
}

void forgetIfOwner(const void* object) {
    Notifier& state = notifier();
    std::unique_lock<std::mutex> lock(state.mutex);
    if (state.owner != object) {
        return;
    }
    state.controller = nullptr;
    state.owner = nullptr;
    if (std::this_thread::get_id() != state.workerId) {
        state.changed.wait(lock, [&] { return !state.dispatching; });
    }
}

int piAddRef(void* self) {
    return ++piImpl(self)->references;
}

int piRelease(void* self) {
    PiObject* object = piImpl(self);
    int left = --object->references;
    if (left == 0) {
        forgetIfOwner(object);
        object->~PiObject();
        Mem_freeEx(object, __FILE__, __LINE__);
    }
    return left;
}

void* piQueryInterface(void* self, const UUID* interfaceId, unsigned int* err) {
    setError(err, ZBASE_E_SUCCESS);
    if (!answers(interfaceId)) {
        setError(err, ZBASE_E_NO_INTERFACE);
        return nullptr;
    }
    piAddRef(self);
    return self;
}

void piKeepController(void* self, void* controller, unsigned int* err) {
    setError(err, ZBASE_E_SUCCESS);
    if (controller == nullptr) {
        setError(err, ZBASE_E_FAILURE);
        return;
    }
    Notifier& state = notifier();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.controller = controller;
    state.owner = piImpl(self);
}

void piForgetController(void* self) {
    forgetIfOwner(piImpl(self));
}

constexpr PiOps kPiOps = {piQueryInterface, piAddRef, piRelease, piKeepController,
                          piForgetController};

// --------------------------------------------------------------- factory

struct PiFactoryOps {
    void* (*queryInterface)(void* self, const UUID* interfaceId, unsigned int* err);
    int (*addRef)(void* self);
    int (*release)(void* self);
    void* (*createFactory)(unsigned int* err);
    void* (*createInstance)(void* self, const UUID* interfaceId, unsigned int* err);
};

struct PiFactory {
    const PiFactoryOps* ops;
    void* impl;
    std::atomic<int> references{0};
};

PiFactory* factoryImpl(void* self) {
    return static_cast<PiFactory*>(static_cast<PiFactory*>(self)->impl);
}

int factoryAddRef(void* self) {
    return ++factoryImpl(self)->references;
}

int factoryRelease(void* self) {
    PiFactory* factory = factoryImpl(self);
    int left = --factory->references;
    if (left == 0) {
        factory->~PiFactory();
        Mem_freeEx(factory, __FILE__, __LINE__);
    }
    return left;
}

void* factoryCreateInstance(void* self, const UUID* interfaceId, unsigned int* err) {
    (void)self;
    setError(err, ZBASE_E_SUCCESS);
    if (!answers(interfaceId)) {
        setError(err, ZBASE_E_NO_INTERFACE);
        return nullptr;
    }
    void* block = Mem_callocEx(1, sizeof(PiObject), __FILE__, __LINE__);
    if (block == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    auto* object = new (block) PiObject();
    object->ops = &kPiOps;
    object->impl = object;
    piAddRef(object);
    return object;
}

void* factoryCreate(unsigned int* err);

constexpr PiFactoryOps kFactoryOps = {factoryCreateInstance, factoryAddRef, factoryRelease,
                                      factoryCreate, factoryCreateInstance};

void* factoryCreate(unsigned int* err) {
    setError(err, ZBASE_E_SUCCESS);
    void* block = Mem_callocEx(1, sizeof(PiFactory), __FILE__, __LINE__);
    if (block == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    auto* factory = new (block) PiFactory();
    factory->ops = &kFactoryOps;
    factory->impl = factory;
    factoryAddRef(factory);
    return factory;
}

}  // namespace

void* notificationGetFactory(void* unused, unsigned int* err) {
    (void)unused;
    setError(err, ZBASE_E_SUCCESS);
    return reinterpret_cast<void*>(&factoryCreate);
}

}  // namespace zbase

extern "C" {

ZBASE_API void ZbasePi_deliverCall(const char* phoneNumber, int direction, int duration, int type,
                                   int cellId, int lac, int mcc, int mnc, DateTime when,
                                   unsigned int* err) {
    zbase::Delivery delivery{true,   phoneNumber, nullptr, direction, duration, type,
                             cellId, lac,         mcc,     mnc,       when};
    zbase::deliver(delivery, err);
}

ZBASE_API void ZbasePi_deliverMessage(const char* phoneNumber, int direction, int type,
                                      const char* summary, int cellId, int lac, int mcc, int mnc,
                                      DateTime when, unsigned int* err) {
    zbase::Delivery delivery{false,  phoneNumber, summary, direction, 0,   type,
                             cellId, lac,         mcc,     mnc,       when};
    zbase::deliver(delivery, err);
}

ZBASE_API int ZbasePi_isRegistered(void) {
    zbase::Notifier& state = zbase::notifier();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.controller != nullptr ? 1 : 0;
}

}  // extern "C"
