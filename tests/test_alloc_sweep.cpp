// Allocation failure everywhere: every exported operation group is run
// once per allocation it makes, with exactly that allocation failing,
// until a run makes no failing allocation at all.  Each failed run must
// leave no live block, no half-written row, and (where the operation has
// an error slot and did not do its work) the out-of-memory code 1 in the
// slot, 12 with its line where a list found no room for an element, or 66
// where a statement's engine found none.
// The totals are printed as "[ figures ]" for the reliability notes.
#include "query_fixture.h"

namespace {

constexpr DateTime kWhen{2024, 3, 1, 12, 0, 0, 0};

// Half-written rows: every writer here gives direction 1 (media: type 0),
// so a stored row without it was cut short.
constexpr const char* kHalfRows =
    "SELECT (SELECT COUNT(*) FROM ACTIVITY_CALL WHERE CLOG_DIRECTION IS NOT 1) + "
    "(SELECT COUNT(*) FROM ACTIVITY_MESSAGE WHERE MSGLOG_DIRECTION IS NOT 1) + "
    "(SELECT COUNT(*) FROM ACTIVITY_MEDIA WHERE MDLOG_TYPE IS NOT 0)";

class AllocationSweepTest : public QueryTest {
protected:
    void SetUp() override {
        QueryTest::SetUp();
        writeConfig(
            "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\n"
            "ACTIVITY_MEDIA = true\n");
        execSql(kDbPath,
                "INSERT INTO ACTIVITY_CALL (CLOG_PHONE_NUMBER, CLOG_DIRECTION, CLOG_DURATION, "
                "CLOG_TIMESTAMP) VALUES ('+100', 1, 30, '2020-01-02 12:00:00'), "
                "('+100', 1, 60, '2020-01-03 12:00:00')");
    }

public:
    // Whether `table` holds a row matching `condition`.
    bool stored(const char* table, const char* condition) const {
        const std::string sql =
            std::string("SELECT COUNT(*) FROM ") + table + " WHERE " + condition;
        return queryRows(kDbPath, sql).at(0).at(0) != "0";
    }
};

// One operation group.  `run` does its work from scratch and releases what
// it made; it returns true when the work was done.  `slot` says whether a
// failure must show as a code in the error slot.
struct Operation {
    const char* group;
    bool (*run)(AllocationSweepTest& test, unsigned int* err);
    bool slot = true;
    bool engine = false;  // runs statements: the engine's own lack of memory reads 66
};

// Names the group in test listings instead of dumping the record's bytes.
void PrintTo(const Operation& op, std::ostream* out) {
    *out << op.group;
}

ZLifelogActivity* message(unsigned int* err) {
    return _CreateMsgActivity("+100", 1, 0, "hello", 1, 2, 3, 4, "here", err);
}

// A query object over the calls (over the range: Jan 2 11:30 .. Jan 3 end);
// the operation runs on it, then it goes.
template <typename Body>
bool withQuery(unsigned int* err, Body body, bool range = false) {
    ILifelog* object = __LifelogImpl_new(err);
    if (object == nullptr)
        return false;
    __LifelogImpl_addRef(object);
    range ? object->ops->initialize2(object, "ACTIVITY_CALL", kJan2Start, kJan3End, err)
          : object->ops->initialize(object, "ACTIVITY_CALL", err);
    const bool done = *err == 0 && body(object);
    __LifelogImpl_release(object);
    return done;
}

// Walks every row of an enumerator into activities; true when all came.
bool walk(ZLifelogEnumerator* rows, unsigned int* err, int expected) {
    if (rows == nullptr)
        return false;
    int seen = 0;
    while ((ZLifelogEnumerator_moveNext(rows, err), *err == 0)) {
        ZLifelogActivity* activity = ZLifelogEnumerator_getCurrentN(rows, err);
        if (activity == nullptr)
            break;
        ZLifelogActivity_delete(activity);
        ++seen;
    }
    const bool ended = *err == 2;
    if (ended)
        *err = 0;
    ZLifelogEnumerator_delete(rows);
    return ended && seen == expected;
}

bool activityAndItems(AllocationSweepTest&, unsigned int* err) {
    ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_CALL", err);
    if (activity == nullptr)
        return false;
    // Each value is a tracked block that the item takes over.
    const size_t sizes[] = {sizeof(int32_t), sizeof(double), 6, sizeof(int64_t)};
    bool done = true;
    for (int type = 0; type < 4 && done; ++type) {
        void* value = Mem_callocEx(1, sizes[type], __FILE__, __LINE__);
        ZLifelogActivityItem* item =
            value ? ZLifelogActivityItem_new("KEY", value, type, err) : nullptr;
        if (value == nullptr)
            *err = 1;  // the test's own allocation failed
        if (item == nullptr)
            Mem_freeEx(value, __FILE__, __LINE__);
        else if (ZLifelogActivity_addActivityItem(activity, item, err), *err != 0)
            ZLifelogActivityItem_delete(item);
        done = item != nullptr && *err == 0;
    }
    ZLifelogActivity_delete(activity);
    return done;
}

bool builders(AllocationSweepTest&, unsigned int* err) {
    ZLifelogActivity* made[] = {
        _CreateCallActivity("+100", 1, 30, 0, 1, 2, 3, 4, "here", err),
        message(err),
        _CreateMediaActivity(0, "song", "uri", 10, "artist", "album", "pop", 1, 2, 3, 4, "here",
                             err),
        _CreatePhotoActivity("photo", "uri", "tag", 1, 2, 3, 4, "here", err),
    };
    bool done = true;
    for (ZLifelogActivity* activity : made) {
        done &= activity != nullptr;
        if (activity != nullptr)
            ZLifelogActivity_delete(activity);
    }
    return done;
}

// Logs one activity through a logger of its own with a console handle.
bool loggerHandlerAndConsole(AllocationSweepTest&, unsigned int* err) {
    Handle* handle = ConsoleHandle_new(err);
    ZLifelogger* logger = handle ? ZLifelogger_new(err) : nullptr;
    ZLifeloggingHandler* handler = logger ? ZLifeloggingHandler_new(handle, err) : nullptr;
    if (handle != nullptr && handler == nullptr)
        handle->ops->destruct(handle);  // the handle stays the caller's
    if (logger == nullptr)
        return false;
    if (handler != nullptr && (ZLifelogger_addHandler(logger, handler, err), *err != 0))
        ZLifeloggingHandler_delete(handler);
    Filter* filter = *err == 0 ? __DefaultFilter_new(err) : nullptr;
    if (filter != nullptr && (ZLifelogger_setFilter(logger, filter, err), *err != 0))
        __DefaultFilter_delete(filter);
    ZLifelogActivity* activity = *err == 0 ? message(err) : nullptr;
    if (activity != nullptr) {
        _ZLifelogActivity_setTimestamp(activity, kWhen);
        ZLifelogger_log(logger, activity, err);
        ZLifelogActivity_delete(activity);
    }
    ZLifelogger_delete(logger);
    return handler != nullptr && *err == 0;
}

bool notificationComponent(AllocationSweepTest&, unsigned int* err) {
    auto* pi = static_cast<ILifelogPi*>(Com_createInstance(&CLSID_LifelogPi, &IID_ILifelogPi, err));
    return pi != nullptr && pi->ops->release(pi) == 0;
}

bool queryInitialise(AllocationSweepTest&, unsigned int* err) {
    // The name is a text of the object's own.
    auto named = [](ILifelog* object) { return object->ops->getActivityName(object) != nullptr; };
    return withQuery(err, named, true);
}

bool queryFilterAndSort(AllocationSweepTest&, unsigned int* err) {
    return withQuery(err, [err](ILifelog* object) {
        object->ops->setFilter(object, "CLOG_DURATION > 0", err);
        if (*err == 0)
            object->ops->setSortOrder(object, "CLOG_TIMESTAMP", 1, err);
        if (*err == 0)
            object->ops->setSortOrder2(object, "CLOG_TYPE", 0, "LOG_KEY", 1, err);
        return *err == 0 && walk(object->ops->getEnumerator(object, err), err, 2);
    });
}

bool queryExtremes(AllocationSweepTest&, unsigned int* err) {
    return withQuery(err, [err](ILifelog* object) {
        return walk(object->ops->findMaxLogs(object, "CLOG_DURATION", err), err, 1) &&
               walk(object->ops->findMinLogs(object, "CLOG_DURATION", err), err, 1) &&
               walk(object->ops->getMostOccurredValues(object, "CLOG_PHONE_NUMBER", 3, err), err,
                    1);
    });
}

bool queryValues(AllocationSweepTest&, unsigned int* err) {
    return withQuery(err, [err](ILifelog* object) {
        const bool count = object->ops->getCount(object, err) == 2 && *err == 0;
        const bool sum = count && object->ops->getSum(object, "CLOG_DURATION", err) == 90;
        return sum && object->ops->getAverage(object, "CLOG_DURATION", err) == 45.0 && *err == 0;
    });
}

bool serviceRun(AllocationSweepTest& test, unsigned int* err) {
    ZKivLifelogServer_initialize();
    eventually([] { return ZbasePi_isRegistered() != 0; }, 300);
    const DateTime when{2024, 3, 3, 0, 0, 0, 0};
    ZbasePi_deliverMessage("+100", 1, 0, "hello", 1, 2, 3, 4, when, err);
    Event_waitIdle(60000);
    ZKivLifelogServer_finalize();
    return *err == 0 && test.stored("ACTIVITY_MESSAGE", "MSGLOG_TIMESTAMP = '2024-03-03 00:00:00'");
}

// No slot to check: the builders share one slot for four calls (the last
// call's code stays) and the service answers before it writes, so there the
// stored row tells.  The factory, the direct logging entry points (each builds
// the database logger, logs and deletes it) and the database handle with a
// row of its own time are swept by their own suites, which check each object
// and each stored row more closely.
const Operation kOperations[] = {
    {.group = "activity and items", .run = activityAndItems},
    {.group = "builders", .run = builders, .slot = false},
    {.group = "logger, handler and console handle", .run = loggerHandlerAndConsole},
    {.group = "notification component", .run = notificationComponent},
    {.group = "query: initialise over a range", .run = queryInitialise},
    {.group = "query: filter and sort orders", .run = queryFilterAndSort, .engine = true},
    {.group = "query: largest, smallest and most frequent", .run = queryExtremes, .engine = true},
    {.group = "query: count, sum and average", .run = queryValues, .engine = true},
    {.group = "service start, dispatch and stop", .run = serviceRun, .slot = false},
};

// The service's thread lets go of its blocks a moment after the stop.
long settledLiveCount() {
    eventually([] { return Mem_getLiveCount() == 0; }, 2000);
    return Mem_getLiveCount();
}

class EveryOperationGroup : public AllocationSweepTest,
                            public ::testing::WithParamInterface<Operation> {};

TEST_P(EveryOperationGroup, SurvivesEveryFailedAllocation) {
    const Operation& op = GetParam();
    unsigned int registered = 0;
    Com_registerClass(&CLSID_LifeloggingService, Dll_getFactory, &registered);
    ASSERT_EQ(registered, 0u);
    long n = 1;
    for (;; ++n) {
        ASSERT_LT(n, 3000) << "no run without a failure";
        unsigned int err = 0;
        clearLog();
        Mem_failAfter(n);
        const bool done = op.run(*this, &err);
        const bool failed = !Mem_isFailurePending();
        Mem_failAfter(0);
        ASSERT_EQ(settledLiveCount(), 0) << "allocation " << n;
        EXPECT_EQ(queryRows(kDbPath, kHalfRows), (Rows{{"0"}})) << "allocation " << n;
        if (!failed) {
            EXPECT_TRUE(done) << "the run without a failure works";
            break;
        }
        // The slot reads 1, 12 where a list found no room, or 66 from the engine.
        if (op.slot && !done) {
            EXPECT_TRUE(err == 1 || (err == 66 && op.engine) ||
                        (err == 12 && hasLog(kError, "List_addLast is failed")))
                << "allocation " << n << ": " << err;
        }
    }
    printf("[ figures ] %-45s %4ld allocations failed in turn\n", op.group, n - 1);
    Com_unregisterClass(&CLSID_LifeloggingService);
}

INSTANTIATE_TEST_SUITE_P(Sweep, EveryOperationGroup, ::testing::ValuesIn(kOperations),
                         [](const ::testing::TestParamInfo<Operation>& info) {
                             return std::to_string(info.index);
                         });

}  // namespace
