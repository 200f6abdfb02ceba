// A test that runs with the service started as the platform starts it: the
// class registered with the component registry, the server started, and its
// controller registered with the notification component (the controller
// registers once the logging thread has handled its actor's start).  The
// service is stopped at the end, before the fixture's leak check.
#pragma once

#include "fixture.h"
#include "zkivLifelog.h"

class RunningServiceTest : public LifelogTest {
protected:
    // The configuration file the service runs with.
    virtual const char* configuration() const = 0;
    // Whether the server starts before the test; otherwise the test starts it.
    virtual bool startsAtOnce() const { return true; }

    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 0;
        Com_registerClass(&CLSID_LifeloggingService, Dll_getFactory, &err);
        ASSERT_EQ(err, 0u);
        writeConfig(configuration());
        if (startsAtOnce())
            startServer();
    }
    void startServer() {
        ZKivLifelogServer_initialize();
        ASSERT_NE(g_pILifeloggingService, nullptr);
        ASSERT_TRUE(eventually([] { return ZbasePi_isRegistered() != 0; }, 60000));
    }
    void TearDown() override {
        ZKivLifelogServer_finalize();
        LifelogTest::TearDown();
    }
};
