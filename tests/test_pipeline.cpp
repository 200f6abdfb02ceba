// The logging pipeline: logger, handlers, generators and the console handle,
// driven through recording handles, filters and generators.
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase_testing.h"
#include "zkivLifelog.h"

namespace {

using Strings = std::vector<std::string>;

// What the recording objects saw, in order, and how often each was released.
struct Journal {
    Strings events;
    std::map<std::string, int> released;
};

struct RecordingHandle {
    Handle iface;
    Journal* journal;
    std::string name;
    int openResult;
};

struct RecordingFilter {
    Filter iface;
    Journal* journal;
    std::string name;
    int answer;
};

struct RecordingGenerator {
    Generator iface;
    Journal* journal;
    std::string name;
    unsigned int failWith;  // 0: returns an activity named `name`
};

RecordingHandle* handleOf(Handle* h) { return static_cast<RecordingHandle*>(h->impl); }

const HandleOps kRecordingHandleOps = {
    [](Handle* h) {
        handleOf(h)->journal->events.push_back(handleOf(h)->name + ".open");
        return handleOf(h)->openResult;
    },
    [](Handle* h, ZLifelogActivity* a) {
        handleOf(h)->journal->events.push_back(handleOf(h)->name + ".write " +
                                               ZLifelogActivity_getName(a));
        return 1;
    },
    [](Handle* h) { handleOf(h)->journal->events.push_back(handleOf(h)->name + ".close"); },
    [](Handle* h) { handleOf(h)->journal->released[handleOf(h)->name]++; },
};

const FilterOps kRecordingFilterOps = {
    [](Filter* f, ZLifelogActivity*) {
        auto* self = static_cast<RecordingFilter*>(f->impl);
        self->journal->events.push_back(self->name + ".isLoggable");
        return self->answer;
    },
    [](Filter* f) {
        auto* self = static_cast<RecordingFilter*>(f->impl);
        self->journal->released[self->name]++;
    },
};

const GeneratorOps kRecordingGeneratorOps = {
    [](Generator* g, ZLifelogActivity*, unsigned int* err) -> ZLifelogActivity* {
        auto* self = static_cast<RecordingGenerator*>(g->impl);
        self->journal->events.push_back(self->name + ".generate");
        if (self->failWith != 0) {
            *err = self->failWith;
            return nullptr;
        }
        return ZLifelogActivity_new(self->name.c_str(), err);
    },
    [](Generator* g) {
        auto* self = static_cast<RecordingGenerator*>(g->impl);
        self->journal->released[self->name]++;
    },
};

class PipelineTest : public LifelogTest {
protected:
    void TearDown() override {
        for (ZLifelogActivity* activity : activities_) {
            ZLifelogActivity_delete(activity);
        }
        LifelogTest::TearDown();
    }

    Handle* handle(const std::string& name, int openResult = 1) {
        handles_.push_back({{&kRecordingHandleOps, nullptr}, &journal_, name, openResult});
        handles_.back().iface.impl = &handles_.back();
        return &handles_.back().iface;
    }
    Filter* filter(const std::string& name, int answer) {
        filters_.push_back({{&kRecordingFilterOps, nullptr}, &journal_, name, answer});
        filters_.back().iface.impl = &filters_.back();
        return &filters_.back().iface;
    }
    Generator* generator(const std::string& name, unsigned int failWith = 0) {
        generators_.push_back({{&kRecordingGeneratorOps, nullptr}, &journal_, name, failWith});
        generators_.back().iface.impl = &generators_.back();
        return &generators_.back().iface;
    }
    ZLifeloggingHandler* handler(Handle* h, std::initializer_list<Generator*> gens = {}) {
        unsigned int err = 0;
        ZLifeloggingHandler* made = ZLifeloggingHandler_new(h, &err);
        EXPECT_EQ(err, 0u);
        for (Generator* g : gens) {
            ZLifeloggingHandler_addGenerator(made, g, &err);
            EXPECT_EQ(err, 0u);
        }
        return made;
    }
    ZLifelogger* logger(std::initializer_list<ZLifeloggingHandler*> handlers) {
        unsigned int err = 0;
        ZLifelogger* made = ZLifelogger_new(&err);
        EXPECT_EQ(err, 0u);
        for (ZLifeloggingHandler* h : handlers) {
            ZLifelogger_addHandler(made, h, &err);
            EXPECT_EQ(err, 0u);
        }
        return made;
    }
    // An activity kept until the end of the test, one zero int item per key.
    ZLifelogActivity* activity(const char* name, std::initializer_list<const char*> keys) {
        unsigned int err = 0;
        ZLifelogActivity* made = ZLifelogActivity_new(name, &err);
        for (const char* key : keys) {
            void* value = Mem_callocEx(1, sizeof(int32_t), __FILE__, __LINE__);
            ZLifelogActivity_addActivityItem(made, ZLifelogActivityItem_new(key, value, 0, &err),
                                             &err);
        }
        activities_.push_back(made);
        return made;
    }

    Journal journal_;
    std::deque<RecordingHandle> handles_;
    std::deque<RecordingFilter> filters_;
    std::deque<RecordingGenerator> generators_;
    std::vector<ZLifelogActivity*> activities_;
};

std::string failedLine(unsigned int code) {
    return std::string("ZLifelogger_log: log is failed. : ") + Exception_toString(code) + " ";
}

TEST_F(PipelineTest, LoggerTracesItsLifeExactly) {
    ZLifelogger* made = logger({});
    ZLifelogger_delete(made);
    EXPECT_EQ(logTexts(kTrace), (Strings{"ZLifelogger_new|ZLifelogger_new: start\n",
                                         "ZLifelogger_new|ZLifelogger_new: end\n",
                                         "ZLifelogger_delete|ZLifelogger_delete: start\n",
                                         "ZLifelogger_delete|ZLifelogger_delete: end\n"}));
    for (const LogLine& line : logLines()) {
        EXPECT_EQ(line.module, 10) << line.text;
    }
}

// The handle is opened once per logged activity; everything in between is
// written to it, the generated activities after the logged one.
TEST_F(PipelineTest, HandlerRunsOpenWriteGeneratedWritesClose) {
    ZLifelogger* made = logger({handler(handle("db"), {generator("GEN_A"), generator("GEN_B")}),
                                handler(handle("console"))});
    unsigned int err = 99;
    ZLifelogger_log(made, activity("ACTIVITY_CALL", {"CLOG_DIRECTION"}), &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(journal_.events,
              (Strings{"db.open", "db.write ACTIVITY_CALL", "GEN_A.generate", "db.write GEN_A",
                       "GEN_B.generate", "db.write GEN_B", "db.close", "console.open",
                       "console.write ACTIVITY_CALL", "console.close"}));
    EXPECT_TRUE(logTexts(kError).empty());
    ZLifelogger_delete(made);  // the generated activities are gone: the leak check says so
}

struct FailureCase {
    const char* name;
    bool openFails;
    unsigned int generatorCode;
    unsigned int expectedCode;
    Strings firstHandlerEvents;
};

TEST_F(PipelineTest, AFailingHandlerIsLoggedAndTheNextOneStillRuns) {
    const FailureCase cases[] = {
        {"open fails", true, 0, 13, {"first.open"}},
        {"generator fails",
         false,
         4,
         20,
         {"first.open", "first.write ACTIVITY_MESSAGE", "broken.generate", "first.close"}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        journal_ = Journal{};
        clearLog();
        ZLifeloggingHandler* first =
            handler(handle("first", c.openFails ? 0 : 1),
                    {generator("broken", c.generatorCode), generator("never")});
        ZLifelogActivity* logged = activity("ACTIVITY_MESSAGE", {"MSGLOG_TYPE"});

        unsigned int err = 0;
        _ZLifeloggingHandler_doHandle(first, logged, &err);
        EXPECT_EQ(err, c.expectedCode);
        EXPECT_EQ(journal_.events, c.firstHandlerEvents);

        journal_.events.clear();
        // A failing last handler must not leave its code behind either.
        ZLifelogger* made = logger({first, handler(handle("second")), handler(handle("last", 0))});
        clearLog();
        err = 99;
        ZLifelogger_log(made, logged, &err);
        EXPECT_EQ(err, 0u);
        Strings expected = c.firstHandlerEvents;
        expected.insert(expected.end(), {"second.open", "second.write ACTIVITY_MESSAGE",
                                         "second.close", "last.open"});
        EXPECT_EQ(journal_.events, expected);
        EXPECT_EQ(logTexts(kError), (Strings{"ZLifelogger_log|" + failedLine(c.expectedCode),
                                             "ZLifelogger_log|" + failedLine(13)}));
        EXPECT_EQ(countLog(kError, failedLine(c.expectedCode), 10), c.expectedCode == 13 ? 2 : 1);
        ZLifelogger_delete(made);
    }
}

TEST_F(PipelineTest, FilterAndItemsDecideWhatReachesTheHandles) {
    struct Case {
        const char* name;
        int filterAnswer;  // -1: no filter
        bool withItems;
        unsigned int expectedCode;
        Strings events;
        Strings traces;  // lines of ZLifelogger_log
    } cases[] = {
        {"no items", 1, false, 4, {}, {}},
        {"no items, no filter", -1, false, 4, {}, {}},
        {"filtered out",
         0,
         true,
         0,
         {"filter.isLoggable"},
         {"ZLifelogger_log|ZLifelogger_log: a log is not loggable"}},
        {"let through",
         1,
         true,
         0,
         {"filter.isLoggable", "out.open", "out.write ACTIVITY_MEDIA", "out.close"},
         {}},
        {"no filter", -1, true, 0, {"out.open", "out.write ACTIVITY_MEDIA", "out.close"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        journal_ = Journal{};
        ZLifelogger* made = logger({handler(handle("out"))});
        unsigned int err = 0;
        if (c.filterAnswer >= 0) {
            ZLifelogger_setFilter(made, filter("filter", c.filterAnswer), &err);
        }
        ZLifelogActivity* logged =
            c.withItems ? activity("ACTIVITY_MEDIA", {"MDLOG_TYPE"}) : activity("ACTIVITY_MEDIA", {});
        clearLog();
        err = 99;
        ZLifelogger_log(made, logged, &err);
        EXPECT_EQ(err, c.expectedCode);
        EXPECT_EQ(journal_.events, c.events);
        Strings traces;
        for (const std::string& line : logTexts(kTrace)) {
            if (line.rfind("ZLifelogger_log|", 0) == 0) {
                traces.push_back(line);
            }
        }
        EXPECT_EQ(traces, c.traces);
        EXPECT_TRUE(logTexts(kError).empty());
        ZLifelogger_delete(made);
    }
}

TEST_F(PipelineTest, NullArgumentsAreRefusedWithTheirCodes) {
    ZLifeloggingHandler* h = handler(handle("h"));
    ZLifelogger* made = logger({});
    ZLifelogActivity* a = activity("ACTIVITY_CALL", {"CLOG_TYPE"});
    Generator* g = generator("g");
    struct Case {
        const char* name;
        std::function<void(unsigned int*)> call;
        unsigned int code;
    } cases[] = {
        {"log without logger", [&](unsigned int* e) { ZLifelogger_log(nullptr, a, e); }, 4},
        {"log without activity", [&](unsigned int* e) { ZLifelogger_log(made, nullptr, e); }, 4},
        {"add null handler", [&](unsigned int* e) { ZLifelogger_addHandler(made, nullptr, e); }, 4},
        {"add to null logger", [&](unsigned int* e) { ZLifelogger_addHandler(nullptr, h, e); }, 4},
        {"delete null handler",
         [&](unsigned int* e) { ZLifelogger_deleteHandler(made, nullptr, e); }, 4},
        {"delete from null logger",
         [&](unsigned int* e) { ZLifelogger_deleteHandler(nullptr, h, e); }, 4},
        {"delete handler never added",
         [&](unsigned int* e) { ZLifelogger_deleteHandler(made, h, e); }, 21},
        {"filter on null logger", [&](unsigned int* e) { ZLifelogger_setFilter(nullptr, nullptr, e); },
         4},
        {"handler without handle",
         [&](unsigned int* e) { EXPECT_EQ(ZLifeloggingHandler_new(nullptr, e), nullptr); }, 7},
        {"add null generator",
         [&](unsigned int* e) { ZLifeloggingHandler_addGenerator(h, nullptr, e); }, 4},
        {"add generator to null handler",
         [&](unsigned int* e) { ZLifeloggingHandler_addGenerator(nullptr, g, e); }, 4},
        {"delete null generator",
         [&](unsigned int* e) { ZLifeloggingHandler_deleteGenerator(h, nullptr, e); }, 4},
        {"delete generator never added",
         [&](unsigned int* e) { ZLifeloggingHandler_deleteGenerator(h, g, e); }, 21},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearLog();
        unsigned int err = 0;
        c.call(&err);
        EXPECT_EQ(err, c.code);
        EXPECT_TRUE(logTexts(kError).empty());
    }
    // The refused setFilter traced its start and nothing more.
    clearLog();
    unsigned int err = 0;
    ZLifelogger_setFilter(nullptr, nullptr, &err);
    EXPECT_EQ(logTexts(kTrace), (Strings{"ZLifelogger_setFilter|[ZLifelogger_setFilter] start"}));
    EXPECT_TRUE(journal_.events.empty());
    EXPECT_TRUE(journal_.released.empty());  // nothing was deleted on the way
    ZLifeloggingHandler_delete(h);
    ZLifelogger_delete(made);
    __Generator_delete(g);
}

TEST_F(PipelineTest, EachOwnedObjectIsReleasedExactlyOnce) {
    ZLifeloggingHandler* first = handler(handle("handle1"), {generator("gen1"), generator("gen2")});
    Generator* gen3 = generator("gen3");
    ZLifeloggingHandler* second = handler(handle("handle2"), {gen3});
    ZLifeloggingHandler* removed = handler(handle("handle3"), {generator("gen4")});
    ZLifelogger* made = logger({first, second, removed});
    unsigned int err = 0;

    ZLifelogger_addHandler(made, first, &err);
    EXPECT_EQ(err, 3u);
    ZLifeloggingHandler_addGenerator(second, gen3, &err);
    EXPECT_EQ(err, 3u);
    EXPECT_EQ(List_size(made->handlers), 3);
    EXPECT_EQ(List_size(second->generators), 1);

    Generator* extra = generator("gen5");
    ZLifeloggingHandler_addGenerator(second, extra, &err);
    ZLifeloggingHandler_deleteGenerator(second, extra, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(journal_.released, (std::map<std::string, int>{{"gen5", 1}}));

    ZLifelogger_deleteHandler(made, removed, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(List_size(made->handlers), 2);
    EXPECT_EQ(journal_.released,
              (std::map<std::string, int>{{"gen5", 1}, {"handle3", 1}, {"gen4", 1}}));

    clearLog();
    ZLifelogger_setFilter(made, filter("old", 1), &err);
    ZLifelogger_setFilter(made, filter("new", 1), &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(journal_.released["old"], 1);
    EXPECT_EQ(journal_.released.count("new"), 0u);
    EXPECT_EQ(logTexts(kTrace), (Strings{"ZLifelogger_setFilter|[ZLifelogger_setFilter] start",
                                         "ZLifelogger_setFilter|[ZLifelogger_setFilter] end",
                                         "ZLifelogger_setFilter|[ZLifelogger_setFilter] start",
                                         "ZLifelogger_setFilter|[ZLifelogger_setFilter] end"}));

    ZLifelogger_delete(made);
    EXPECT_EQ(journal_.released,
              (std::map<std::string, int>{{"gen1", 1}, {"gen2", 1}, {"gen3", 1}, {"gen4", 1},
                                          {"gen5", 1}, {"handle1", 1}, {"handle2", 1},
                                          {"handle3", 1}, {"old", 1}, {"new", 1}}));
}

TEST_F(PipelineTest, ClearingTheFilterDeletesItAndLetsEverythingThrough) {
    ZLifelogger* made = logger({handler(handle("out"))});
    unsigned int err = 0;
    ZLifelogger_setFilter(made, filter("no", 0), &err);
    ZLifelogger_setFilter(made, nullptr, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(journal_.released["no"], 1);
    ZLifelogger_log(made, activity("ACTIVITY_CALL", {"CLOG_TYPE"}), &err);
    EXPECT_EQ(journal_.events, (Strings{"out.open", "out.write ACTIVITY_CALL", "out.close"}));
    ZLifelogger_delete(made);
    EXPECT_EQ(journal_.released["no"], 1);
}

// Builds a console pipeline failing the n-th allocation; a failed step hands
// back nothing, and the caller releases what it still holds.
TEST_F(PipelineTest, ConstructorsUnderFailingAllocationsLeaveNothingAllocated) {
    int failures = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 50);
        Handle* recorded = handle("kept" + std::to_string(n));
        Mem_failAfter(n);
        unsigned int err = 0;
        bool complete = false;
        bool recordedHandedOver = false;
        ZLifelogger* made = ZLifelogger_new(&err);
        if (made == nullptr) {
            EXPECT_NE(err, 0u);
            if (n == 1) {
                EXPECT_EQ(err, 1u);
            }
        } else if (Handle* console = ConsoleHandle_new(&err); console == nullptr) {
            EXPECT_EQ(err, 1u);
        } else if (ZLifeloggingHandler* h = ZLifeloggingHandler_new(console, &err); h == nullptr) {
            EXPECT_NE(err, 0u);
            ConsoleHandle_delete(console);  // the handle stays the caller's
        } else if (ZLifeloggingHandler* h2 = ZLifeloggingHandler_new(recorded, &err);
                   h2 == nullptr) {
            EXPECT_NE(err, 0u);
            ZLifeloggingHandler_delete(h);
        } else {
            recordedHandedOver = true;
            ZLifelogger_addHandler(made, h, &err);
            if (err != 0) {
                EXPECT_EQ(err, 12u);
                ZLifeloggingHandler_delete(h);
            }
            ZLifelogger_addHandler(made, h2, &err);
            if (err != 0) {
                EXPECT_EQ(err, 12u);
                ZLifeloggingHandler_delete(h2);
            } else {
                complete = List_size(made->handlers) == 2;
            }
        }
        if (made != nullptr) {
            ZLifelogger_delete(made);
        }
        Mem_failAfter(0);
        std::string name = "kept" + std::to_string(n);
        // Destructed once when a handler took it, never when it stayed ours.
        EXPECT_EQ(journal_.released[name], recordedHandedOver ? 1 : 0);
        EXPECT_EQ(Mem_getLiveCount(), 0) << "after failing allocation " << n;
        if (complete) {
            break;
        }
        ++failures;
    }
    EXPECT_GE(failures, 5);  // logger, its list, console handle, handlers and their lists
}

// ------------------------------------------------------------ console handle

ZLifelogActivityItem* item(const char* key, int type, const void* bytes, size_t size) {
    void* value = nullptr;
    if (bytes != nullptr) {
        value = Mem_allocEx(size, __FILE__, __LINE__);
        std::memcpy(value, bytes, size);
    }
    unsigned int err = 0;
    return ZLifelogActivityItem_new(key, value, type, &err);
}

TEST_F(PipelineTest, ConsoleHandlePrintsEachValueType) {
    const int32_t direction = 1;
    const int32_t negative = -2147483647 - 1;
    const double rate = 2.5;
    const int64_t wide = 5000000000LL;
    const int64_t wideNegative = -9000000000123LL;
    const char number[] = "0101234567";
    const char empty[] = "";
    unsigned int err = 0;
    ZLifelogActivity* call = ZLifelogActivity_new("ACTIVITY_CALL", &err);
    for (ZLifelogActivityItem* each :
         {item("CLOG_DIRECTION", 0, &direction, 4), item("CLOG_PHONE_NUMBER", 2, number, 11),
          item("LOW", 0, &negative, 4), item("RATE", 1, &rate, 8), item("WIDE", 3, &wide, 8),
          item("NONE", 4, nullptr, 0), item("ODD", 17, &direction, 4),
          item("WIDE_NEGATIVE", 3, &wideNegative, 8), item("NEGATIVE_TYPE", -1, &rate, 8),
          item("EMPTY", 2, empty, 1)}) {
        ZLifelogActivity_addActivityItem(call, each, &err);
    }
    Handle* console = ConsoleHandle_new(&err);
    ASSERT_NE(console, nullptr);
    ZLifelogger* made = logger({handler(console, {generator("GENERATED")})});
    clearLog();
    ZLifelogger_log(made, call, &err);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(logTexts(kTrace),
              (Strings{"__ConsoleHandle_open|is called",
                       "__ConsoleHandle_write|start",
                       "__ConsoleHandle_write|LifelogActivity is ACTIVITY_CALL",
                       "__PrintActivityItem|[CLOG_DIRECTION : 1]",
                       "__PrintActivityItem|[CLOG_PHONE_NUMBER : 0101234567]",
                       "__PrintActivityItem|[LOW : -2147483648]",
                       "__PrintActivityItem|[RATE : 2.500000]",
                       "__PrintActivityItem|[WIDE : 5000000000]",
                       "__PrintActivityItem|[invalid value]",
                       "__PrintActivityItem|[invalid value]",
                       "__PrintActivityItem|[WIDE_NEGATIVE : -9000000000123]",
                       "__PrintActivityItem|[invalid value]",
                       "__PrintActivityItem|[EMPTY : ]",
                       "__ConsoleHandle_write|end",
                       "__ConsoleHandle_write|start",
                       "__ConsoleHandle_write|LifelogActivity is GENERATED",
                       "__ConsoleHandle_write|end",
                       "__ConsoleHandle_close|called"}));
    for (const LogLine& line : logLines()) {
        EXPECT_EQ(line.module, 10) << line.text;
    }
    clearLog();
    ZLifelogger_delete(made);
    EXPECT_EQ(countLog(kTrace, "called", 10, "ConsoleHandle_delete"), 1);
    ZLifelogActivity_delete(call);
}

TEST_F(PipelineTest, ConsoleHandleRecordAndNullArguments) {
    unsigned int err = 99;
    Handle* console = ConsoleHandle_new(&err);
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(logTexts(kTrace), (Strings{"ConsoleHandle_new|called"}));
    // Clients may compare the table's slots with the exported names.
    EXPECT_EQ(console->impl, static_cast<void*>(console));
    EXPECT_EQ(console->ops->open, &__ConsoleHandle_open);
    EXPECT_EQ(console->ops->write, &__ConsoleHandle_write);
    EXPECT_EQ(console->ops->close, &__ConsoleHandle_close);
    EXPECT_EQ(console->ops->destruct, &__ConsoleHandle_destruct);

    clearLog();
    ZLifelogActivity* call = activity("ACTIVITY_CALL", {"CLOG_TYPE"});
    EXPECT_EQ(__ConsoleHandle_write(console, nullptr), 0);
    EXPECT_EQ(__ConsoleHandle_write(nullptr, call), 0);
    EXPECT_EQ(countLog(kError, "pI or pLifelogActivity is null", 10, "__ConsoleHandle_write"), 2);
    EXPECT_EQ(countLog(kTrace, "start", 10, "__ConsoleHandle_write"), 2);
    EXPECT_EQ(countLog(kTrace, "end"), 0);

    clearLog();
    ConsoleHandle_delete(nullptr);
    EXPECT_EQ(logTexts(kTrace), (Strings{"ConsoleHandle_delete|called"}));
    __ConsoleHandle_destruct(console);

    Mem_failAfter(1);
    clearLog();
    EXPECT_EQ(ConsoleHandle_new(&err), nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(err, 1u);
    EXPECT_EQ(logTexts(kTrace), (Strings{"ConsoleHandle_new|called"}));
}

}  // namespace
