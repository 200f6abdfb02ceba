// Starting and stopping the lifelog service from the host side.
#include "logging/service.h"

#include <chrono>
#include <thread>

#include "base/query.h"
#include "zbase_host.h"
#include "zkivLifelog.h"

namespace lifelog_tool {

RunningService::RunningService() {
    unsigned int err = 0;
    Com_registerClass(&CLSID_LifeloggingService, Dll_getFactory, &err);
    check(err, "registering the lifelog service class");
    ZKivLifelogServer_initialize();
    running_ = true;
    if (g_pILifeloggingService == nullptr) {
        stop();
        throw Failure("starting the lifelog service (the platform log above says why)",
                      ZBASE_E_FAILURE);
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ZbasePi_isRegistered() == 0) {
        if (std::chrono::steady_clock::now() > until) {
            stop();
            throw Failure("waiting for the service to register with the notification component",
                          ZBASE_E_FAILURE);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void RunningService::waitIdle() {
    if (Event_waitIdle(30000) == 0) {
        throw Failure("waiting for the logging thread to store the notifications", ZBASE_E_FAILURE);
    }
}

void RunningService::stop() {
    if (running_) {
        running_ = false;
        ZKivLifelogServer_finalize();
        Com_unregisterClass(&CLSID_LifeloggingService);
    }
}

}  // namespace lifelog_tool
