/* A client component in the platform's component registry.
 *
 * The program defines a small component of its own, "talk time", whose
 * interface answers how many seconds of calls a day holds (it asks the
 * lifelog query object for the sum of the call durations).  It registers the
 * component's class with the registry, creates it by class and interface
 * identifier with Com_createInstance, as any other component would, uses it
 * and releases it.
 *
 * Component conventions: every object begins with its operation table and
 * a pointer to itself; tables begin with queryInterface, addRef and
 * release; a factory's table goes on with createFactory and
 * createInstance; reference counts start at 0 and whoever hands an object
 * out takes the first reference.
 *
 * Run it with ZBASE_ROOT pointing at a platform root whose
 * System/Lifelog/lifelogconf.ini switches calls on. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "zbase_host.h"
#include "zbase_testing.h"
#include "zkivLifelog.h"

/* 5D1E7A10-3C2B-4F8E-9A61-0B7C4D2E8F13 */
static const UUID CLSID_TalkTime = {
    0x5D1E7A10, 0x3C2B, 0x4F8E, {0x9A, 0x61, 0x0B, 0x7C, 0x4D, 0x2E, 0x8F, 0x13}};
/* 8B4F2C61-7D9A-4E35-B2C8-61F0A3D75E29 */
static const UUID IID_ITalkTime = {
    0x8B4F2C61, 0x7D9A, 0x4E35, {0xB2, 0xC8, 0x61, 0xF0, 0xA3, 0xD7, 0x5E, 0x29}};

/* ------------------------------------------------------ the component */

typedef struct ITalkTime ITalkTime;
typedef struct ITalkTimeOps {
    void* (*queryInterface)(ITalkTime* self, const UUID* interfaceId, unsigned int* err);
    int32_t (*addRef)(ITalkTime* self);
    int32_t (*release)(ITalkTime* self);
    /* Seconds of calls on `day` (its year, month and day). */
    int32_t (*secondsOn)(ITalkTime* self, DateTime day, unsigned int* err);
} ITalkTimeOps;

struct ITalkTime {
    const ITalkTimeOps* ops;
    ITalkTime* impl;
    int32_t refCount;
};

static void* TalkTime_queryInterface(ITalkTime* self, const UUID* interfaceId, unsigned int* err) {
    *err = 0;
    if (UUID_isEqual(interfaceId, &IID_ITalkTime)) {
        self->ops->addRef(self);
        return self;
    }
    *err = 24; /* not an interface of this object */
    return NULL;
}

static int32_t TalkTime_addRef(ITalkTime* self) {
    return ++self->impl->refCount;
}

static int32_t TalkTime_release(ITalkTime* self) {
    ITalkTime* object = self->impl;
    if (--object->refCount > 0) {
        return object->refCount;
    }
    MEM_FREE(object);
    return 0;
}

static int32_t TalkTime_secondsOn(ITalkTime* self, DateTime day, unsigned int* err) {
    (void)self;
    typedef LifelogCommon* (*CreateFactoryFn)(unsigned int*);
    CreateFactoryFn createFactory = (CreateFactoryFn)Dll_getFactory(NULL, err);
    if (*err != 0) {
        return 0;
    }
    LifelogCommon* factory = createFactory(err);
    if (*err != 0) {
        return 0;
    }
    ILifelog* log = factory->ops->createInstance(factory, &IID_ILifelog, err);
    factory->ops->release(factory);
    if (*err != 0) {
        return 0;
    }
    DateTime from = day, to = day;
    from.hour = from.minute = from.second = 0;
    to.hour = 23;
    to.minute = to.second = 59;
    int32_t seconds = 0;
    log->ops->initialize2(log, "ACTIVITY_CALL", from, to, err);
    if (*err == 0) {
        seconds = log->ops->getSum(log, "CLOG_DURATION", err);
    }
    log->ops->release(log);
    return seconds;
}

static const ITalkTimeOps talkTimeOps = {TalkTime_queryInterface, TalkTime_addRef, TalkTime_release,
                                         TalkTime_secondsOn};

/* -------------------------------------------------------- its factory */

typedef struct TalkTimeFactory TalkTimeFactory;
typedef struct TalkTimeFactoryOps {
    void* (*queryInterface)(TalkTimeFactory* self, const UUID* interfaceId, unsigned int* err);
    int32_t (*addRef)(TalkTimeFactory* self);
    int32_t (*release)(TalkTimeFactory* self);
    TalkTimeFactory* (*createFactory)(unsigned int* err);
    void* (*createInstance)(TalkTimeFactory* self, const UUID* interfaceId, unsigned int* err);
} TalkTimeFactoryOps;

struct TalkTimeFactory {
    const TalkTimeFactoryOps* ops;
    TalkTimeFactory* impl;
    int32_t refCount;
};

static void* Factory_createInstance(TalkTimeFactory* self, const UUID* interfaceId,
                                    unsigned int* err) {
    (void)self;
    *err = 0;
    ITalkTime* object = MEM_CALLOC(1, sizeof(ITalkTime));
    if (object == NULL) {
        *err = 1;
        return NULL;
    }
    object->ops = &talkTimeOps;
    object->impl = object;
    /* queryInterface takes the caller's reference, or fails with 24. */
    void* result = object->ops->queryInterface(object, interfaceId, err);
    if (result == NULL) {
        MEM_FREE(object);
    }
    return result;
}

static void* Factory_queryInterface(TalkTimeFactory* self, const UUID* interfaceId,
                                    unsigned int* err) {
    return Factory_createInstance(self, interfaceId, err);
}

static int32_t Factory_addRef(TalkTimeFactory* self) {
    return ++self->impl->refCount;
}

static int32_t Factory_release(TalkTimeFactory* self) {
    TalkTimeFactory* factory = self->impl;
    if (--factory->refCount > 0) {
        return factory->refCount;
    }
    MEM_FREE(factory);
    return 0;
}

static TalkTimeFactory* Factory_create(unsigned int* err);

static const TalkTimeFactoryOps factoryOps = {Factory_queryInterface, Factory_addRef,
                                              Factory_release, Factory_create,
                                              Factory_createInstance};

static TalkTimeFactory* Factory_create(unsigned int* err) {
    *err = 0;
    TalkTimeFactory* factory = MEM_CALLOC(1, sizeof(TalkTimeFactory));
    if (factory == NULL) {
        *err = 1;
        return NULL;
    }
    factory->ops = &factoryOps;
    factory->impl = factory;
    factory->ops->addRef(factory);
    return factory;
}

/* The component's entry, as a component library would export it under the
 * name Dll_getFactory: the function that makes its factory. */
static void* TalkTime_getFactory(void* unused, unsigned int* err) {
    (void)unused;
    *err = 0;
    return (void*)Factory_create;
}

/* ----------------------------------------------------------- the host */

int main(void) {
    /* Without it the platform would use the user's own root under the home
     * folder: an example writes only where it is told to. */
    if (getenv("ZBASE_ROOT") == NULL) {
        fprintf(stderr, "set ZBASE_ROOT to a platform root to try this example in\n");
        return 2;
    }
    /* number, direction, duration in seconds, type, cell, time */
    _Lifelog_CallActivityLogging("+441632960123", 1, 42, 0, -1, -1, -1, -1, "2026-12-05 09:30:00");
    _Lifelog_CallActivityLogging("+441632960999", 0, 310, 0, -1, -1, -1, -1, "2026-12-05 12:05:00");
    _Lifelog_CallActivityLogging("+441632960123", 1, 15, 0, -1, -1, -1, -1, "2026-12-06 08:00:00");

    unsigned int err = 0;
    Com_registerClass(&CLSID_TalkTime, TalkTime_getFactory, &err);
    printf("register: %s\n", Exception_toString(err));

    ITalkTime* talkTime = Com_createInstance(&CLSID_TalkTime, &IID_ITalkTime, &err);
    printf("create ITalkTime: %s\n", Exception_toString(err));
    if (talkTime == NULL) {
        return 1;
    }
    const DateTime days[] = {{2026, 12, 5, 0, 0, 0, 0}, {2026, 12, 6, 0, 0, 0, 0}};
    for (int i = 0; i < 2; ++i) {
        int32_t seconds = talkTime->ops->secondsOn(talkTime, days[i], &err);
        printf("talk time on %04d-%02d-%02d: %" PRId32 " s (%s)\n", days[i].year, days[i].month,
               days[i].day, seconds, Exception_toString(err));
    }
    printf("release: %" PRId32 "\n", talkTime->ops->release(talkTime));

    /* The class answers only its own interface... */
    void* other = Com_createInstance(&CLSID_TalkTime, &IID_ILifelog, &err);
    printf("create ILifelog from it: %s\n", other == NULL ? Exception_toString(err) : "an object");

    /* ...and is gone from the registry once unregistered. */
    Com_unregisterClass(&CLSID_TalkTime);
    other = Com_createInstance(&CLSID_TalkTime, &IID_ITalkTime, &err);
    printf("create after unregistering: %s\n",
           other == NULL ? Exception_toString(err) : "an object");

    printf("tracked blocks left: %ld\n", Mem_getLiveCount());
    return Mem_getLiveCount() == 0 ? 0 : 1;
}
