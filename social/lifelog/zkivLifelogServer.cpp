// Server exports: the platform's server process starts and stops the
// lifelog service through these, on its own thread.
#include "zkivLifelogServer.h"

#include "lifelogInternal.h"
#include "zkivLifelogCommon.h"

extern "C" {

LIFELOG_API ILifeloggingService* g_pILifeloggingService = nullptr;

}  // extern "C"

namespace {

void releaseService() {
    if (g_pILifeloggingService != nullptr) {
        g_pILifeloggingService->ops->release(g_pILifeloggingService);
        g_pILifeloggingService = nullptr;
    }
}

}  // namespace

extern "C" {

LIFELOG_API void ZelvanKivLifelogSvcDispatch(int command) {
    unsigned int err = LIFELOG_E_SUCCESS;
    if (command == LIFELOG_SVC_START) {
        releaseService();
        g_pILifeloggingService = static_cast<ILifeloggingService*>(
            Com_createInstance(&CLSID_LifeloggingService, &IID_ILifeloggingService, &err));
        if (err != LIFELOG_E_SUCCESS || g_pILifeloggingService == nullptr) {
            // The message has no place for the code's text, which goes along
            // all the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-extra-args"
            LIFELOG_ERROR("ILifeloggingService com_creatInstance is failed",
                          Exception_toString(err));
#pragma GCC diagnostic pop
            return;
        }
        g_pILifeloggingService->ops->run(g_pILifeloggingService, &err);
        if (err != LIFELOG_E_SUCCESS) {
            LIFELOG_ERROR("[%s] Propagated: ILifeloggingService_run is failed",
                          Exception_toString(err));
        }
    } else if (command == LIFELOG_SVC_STOP) {
        releaseService();
    }
}

LIFELOG_API void ZKivLifelogServer_initialize(void) {
    ZelvanKivLifelogSvcDispatch(LIFELOG_SVC_START);
}

LIFELOG_API void ZKivLifelogServer_finalize(void) {
    ZelvanKivLifelogSvcDispatch(LIFELOG_SVC_STOP);
}

}  // extern "C"
