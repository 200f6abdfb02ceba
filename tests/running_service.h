// A test that runs with the service started as the platform starts it: the
// class registered with the component registry, the server started, and its
// controller registered with the notification component.  The service is
// stopped at the end, before the fixture's leak check.
#pragma once

#include <chrono>
#include <thread>

#include "fixture.h"
#include "zbase_host.h"
#include "zkivLifelogCommon.h"
#include "zkivLifelogServer.h"
#include "zkivLifeloggingServiceImpl.h"

class RunningServiceTest : public LifelogTest {
protected:
    // The configuration file the service runs with.
    virtual const char* configuration() const = 0;

    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 0;
        Com_registerClass(&CLSID_LifeloggingService, Dll_getFactory, &err);
        ASSERT_EQ(err, 0u);
        writeConfig(configuration());
        ZKivLifelogServer_initialize();
        ASSERT_NE(g_pILifeloggingService, nullptr);
        for (int ms = 0; ms < 60000 && !ZbasePi_isRegistered(); ++ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(ZbasePi_isRegistered());
    }
    void TearDown() override {
        ZKivLifelogServer_finalize();
        LifelogTest::TearDown();
    }
};
