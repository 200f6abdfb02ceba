// The logging pipeline: logger, handlers, generators and the console handle,
// driven through recording handles, filters and generators.
#include <deque>
#include <map>

#include "fixture.h"
#include "zkivLifelog.h"

namespace {

using Strings = std::vector<std::string>;
std::string trail;                    // every call the recording objects saw, in order
std::map<std::string, int> released;  // how often each recording object was released

// One recording object serves as handle, filter or generator.
struct Fake {
    Handle handle;
    Filter filter;
    Generator generator;
    std::string name;
    unsigned int result;  // what open, write and isLoggable answer; the generator's failure
    int note(const std::string& what) { return trail += name + what + " ", int(result); }
};
constexpr auto of = [](auto* object) { return static_cast<Fake*>(object->impl); };

const HandleOps kHandleOps = {
    [](Handle* h) { return of(h)->note(".open"); },
    [](Handle* h, ZLifelogActivity* a) { return of(h)->note(std::string(".write:") + a->name); },
    [](Handle* h) { of(h)->note(".close"); }, [](Handle* h) { released[of(h)->name]++; }};
const FilterOps kFilterOps = {[](Filter* f, ZLifelogActivity*) { return of(f)->note(".test"); },
                              [](Filter* f) { released[of(f)->name]++; }};
const GeneratorOps kGeneratorOps = {
    [](Generator* g, ZLifelogActivity*, unsigned int* err) -> ZLifelogActivity* {
        *err = of(g)->note(".generate");
        return *err ? nullptr : ZLifelogActivity_new(of(g)->name.c_str(), err);
    },
    [](Generator* g) { released[of(g)->name]++; }};

class PipelineTest : public LifelogTest {
protected:
    PipelineTest() { trail.clear(), released.clear(); }
    Fake* fake(const char* name, unsigned int result) {
        Fake& f = fakes_.emplace_back(Fake{{}, {}, {}, name, result});
        f.handle = {&kHandleOps, &f};
        f.filter = {&kFilterOps, &f};
        f.generator = {&kGeneratorOps, &f};
        return &f;
    }
    Handle* handle(const char* name, unsigned opens = 1) { return &fake(name, opens)->handle; }
    Generator* gen(const char* name, unsigned fails = 0) { return &fake(name, fails)->generator; }
    ZLifeloggingHandler* handler(Handle* h, std::initializer_list<Generator*> gens = {}) {
        ZLifeloggingHandler* made = ZLifeloggingHandler_new(h, nullptr);
        for (Generator* g : gens) ZLifeloggingHandler_addGenerator(made, g, nullptr);
        return made;
    }
    ZLifelogger* logger(std::initializer_list<ZLifeloggingHandler*> handlers) {
        ZLifelogger* made = ZLifelogger_new(nullptr);
        for (ZLifeloggingHandler* h : handlers) ZLifelogger_addHandler(made, h, nullptr);
        return made;
    }
    std::deque<Fake> fakes_;
};

// An item owning a copy of `size` bytes (no value block when null).
ZLifelogActivityItem* item(const char* key, int type, const void* bytes, size_t size) {
    void* value = bytes ? std::memcpy(Mem_allocEx(size, __FILE__, __LINE__), bytes, size) : nullptr;
    unsigned int err = 0;
    return ZLifelogActivityItem_new(key, value, type, &err);
}

// The first handler opens, writes the activity and each generated one, and
// closes; when it fails the logger logs that and still runs the others.  The
// last handler's open always fails, so a code left in the slot would show.
TEST_F(PipelineTest, FilterHandlersAndGeneratorsRunInOrderAndFailuresAreAbsorbed) {
    const std::string all =
        "1.open 1.write:CALL A.generate 1.write:A B.generate 1.write:B 1.close ";
    const std::string rest = "2.open 2.write:CALL 2.close 3.open ";
    const std::string failed = "ZLifelogger_log|ZLifelogger_log: log is failed. : ";
    // No items (code 4): not even the filter is asked.
    const struct {
        int filter = -1;  // -1: none, else its answer
        unsigned int opens = 1, fails = 0;
        unsigned int code = 0;  // LIFELOG_E_INVALID_ARG: the activity has no items
        std::string trail = "";
        std::vector<unsigned int> failures = {};  // the codes the logger logged, in order
    } cases[] = {
        {.trail = all + rest, .failures = {LIFELOG_E_FAILURE}},
        {.opens = 0, .trail = "1.open " + rest, .failures = {LIFELOG_E_FAILURE, LIFELOG_E_FAILURE}},
        {.fails = 4,
         .trail = "1.open 1.write:CALL A.generate 1.close " + rest,
         .failures = {LIFELOG_E_GENERATOR, LIFELOG_E_FAILURE}},
        {.filter = 1, .trail = "f.test " + all + rest, .failures = {LIFELOG_E_FAILURE}},
        {.filter = 0, .trail = "f.test "},
        {.filter = 1, .code = LIFELOG_E_INVALID_ARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "filter " << c.filter << ", opens " << c.opens
                                        << ", generator fails " << c.fails << ", code " << c.code);
        trail.clear();
        ZLifelogger* made = logger({handler(handle("1", c.opens), {gen("A", c.fails), gen("B")}),
                                    handler(handle("2")), handler(handle("3", 0))});
        unsigned int err = 99;
        if (c.filter >= 0)
            ZLifelogger_setFilter(made, &fake("f", c.filter)->filter, &err);
        ZLifelogActivity* logged = ZLifelogActivity_new("CALL", &err);
        if (c.code != 4)
            ZLifelogActivity_addActivityItem(logged, item("K", 0, &c.opens, 4), &err);
        clearLog();
        ZLifelogger_log(made, logged, &err);
        EXPECT_EQ(err, c.code);
        EXPECT_EQ(trail, c.trail);
        Strings errors;
        for (unsigned code : c.failures) errors.push_back(failed + Exception_toString(code) + " ");
        EXPECT_EQ(logTexts(kError), errors);
        EXPECT_EQ(countLog(kTrace, "ZLifelogger_log: a log is not loggable", 10, "ZLifelogger_log"),
                  c.filter == 0);
        EXPECT_EQ(logLines().size(), errors.size() + (c.filter == 0));
        for (const LogLine& line : logLines()) EXPECT_EQ(line.module, 10) << line.text;
        ZLifelogger_delete(made);  // generated activities are gone too: the leak check
        ZLifelogActivity_delete(logged);
    }
}

TEST_F(PipelineTest, RefusalsHaveTheirCodesAndEachOwnedObjectIsReleasedOnce) {
    Generator* kept = gen("g2");
    Generator* loose = gen("g4");
    ZLifeloggingHandler* first = handler(handle("h1"), {gen("g1")});
    ZLifeloggingHandler* second = handler(handle("h2"), {kept});
    ZLifeloggingHandler* removed = handler(handle("h3"), {gen("g3")});
    ZLifeloggingHandler* outside = handler(handle("h4"));
    clearLog();
    ZLifelogger* made = logger({first, second, removed});
    const struct {
        std::function<void(unsigned int*)> call;
        unsigned int code;
    } refusals[] = {
        {[&](unsigned int* e) { ZLifelogger_setFilter(nullptr, nullptr, e); }, 4},
        {[&](unsigned int* e) { ZLifelogger_addHandler(made, first, e); }, 3},
        {[&](unsigned int* e) { ZLifelogger_deleteHandler(made, outside, e); }, 21},
        {[&](unsigned int* e) { ZLifelogger_log(made, nullptr, e); }, 4},
        {[&](unsigned int* e) { ZLifeloggingHandler_new(nullptr, e); }, 7},
        {[&](unsigned int* e) { ZLifeloggingHandler_addGenerator(second, kept, e); }, 3},
        {[&](unsigned int* e) { ZLifeloggingHandler_addGenerator(nullptr, loose, e); }, 4},
        {[&](unsigned int* e) { ZLifeloggingHandler_deleteGenerator(second, loose, e); }, 21},
    };
    for (const auto& r : refusals) {
        unsigned int err = 0;
        r.call(&err);
        EXPECT_EQ(err, r.code) << "refusal " << &r - refusals;
    }
    EXPECT_TRUE(released.empty() && trail.empty() && logTexts(kError).empty());
    ZLifeloggingHandler_deleteGenerator(second, kept, nullptr);
    ZLifelogger_deleteHandler(made, removed, nullptr);
    Filter* filter = &fake("f2", 1)->filter;
    ZLifelogger_setFilter(made, &fake("f1", 1)->filter, nullptr);
    ZLifelogger_setFilter(made, filter, nullptr);
    ZLifelogger_setFilter(made, filter, nullptr);  // the filter it holds is not deleted under it
    ZLifelogger_delete(made);
    ZLifeloggingHandler_delete(outside);
    __Generator_delete(loose);
    EXPECT_EQ(released.size(), 10u);  // g1-g4, h1-h4, f1, f2
    for (const auto& [name, count] : released) EXPECT_EQ(count, 1) << name;
    const std::string start = "ZLifelogger_setFilter|[ZLifelogger_setFilter] start";
    const std::string end = "ZLifelogger_setFilter|[ZLifelogger_setFilter] end";
    EXPECT_EQ(logTexts(kTrace),
              (Strings{"ZLifelogger_new|ZLifelogger_new: start\n",
                       "ZLifelogger_new|ZLifelogger_new: end\n", start, start, end, start, end,
                       start, end, "ZLifelogger_delete|ZLifelogger_delete: start\n",
                       "ZLifelogger_delete|ZLifelogger_delete: end\n"}));
}

TEST_F(PipelineTest, ConsoleHandlePrintsEachValueTypeInItemOrder) {
    const int32_t direction = -7;
    const double rate = 2.5;
    const int64_t wide = 5000000000LL, wideNegative = -9000000000123LL;
    unsigned int err = 0;
    ZLifelogActivity* call = ZLifelogActivity_new("ACTIVITY_CALL", &err);
    for (ZLifelogActivityItem* each :
         {item("DIRECTION", 0, &direction, 4), item("NUMBER", 2, "0101234567", 11),
          item("RATE", 1, &rate, 8), item("WIDE", 3, &wide, 8),
          item("NEGATIVE", 3, &wideNegative, 8), item("NONE", 0, nullptr, 0),
          item("ODD", 17, &direction, 4)}) {
        ZLifelogActivity_addActivityItem(call, each, &err);
    }
    Handle* console = ConsoleHandle_new(&err);
    ZLifelogger* made = logger({handler(console)});
    EXPECT_EQ(__ConsoleHandle_write(console, nullptr) + __ConsoleHandle_write(nullptr, call), 0);
    EXPECT_EQ(countLog(kError, "pI or pLifelogActivity is null", 10, "__ConsoleHandle_write"), 2);
    clearLog();
    ZLifelogger_log(made, call, &err);
    ZLifelogger_delete(made);
    ZLifelogActivity_delete(call);  // every item, key and value with it: the leak check
    const std::string print = "__PrintActivityItem|";
    EXPECT_EQ(
        logTexts(kTrace),
        (Strings{"__ConsoleHandle_open|is called", "__ConsoleHandle_write|start",
                 "__ConsoleHandle_write|LifelogActivity is ACTIVITY_CALL",
                 print + "[DIRECTION : -7]", print + "[NUMBER : 0101234567]",
                 print + "[RATE : 2.500000]", print + "[WIDE : 5000000000]",
                 print + "[NEGATIVE : -9000000000123]", print + "[invalid value]",
                 print + "[invalid value]", "__ConsoleHandle_write|end",
                 "__ConsoleHandle_close|called", "ZLifelogger_delete|ZLifelogger_delete: start\n",
                 "ConsoleHandle_delete|called", "ZLifelogger_delete|ZLifelogger_delete: end\n"}));
    EXPECT_EQ(countLog(kTrace, "[WIDE : 5000000000]", 10), 1);
}

// An activity keeps its own copy of the name, has no id yet and refuses a null item.
TEST_F(PipelineTest, ActivityKeepsItsOwnNameAndRefusesANullItem) {
    char name[] = "ACTIVITY_CALL";
    unsigned int err = 99;
    ZLifelogActivity* activity = ZLifelogActivity_new(name, &err);
    ASSERT_NE(activity, nullptr);
    EXPECT_EQ(err, 0u);
    name[0] = 'X';
    EXPECT_STREQ(ZLifelogActivity_getName(activity), "ACTIVITY_CALL");
    EXPECT_EQ(ZLifelogActivity_getId(activity), -1);
    ZLifelogActivityItem* item = ZLifelogActivityItem_new("CLOG_TYPE", nullptr, 0, &err);
    for (auto [to, what] : {std::pair{activity, item}, {nullptr, item}, {activity, nullptr}}) {
        ZLifelogActivity_addActivityItem(to, what, &err);
        EXPECT_EQ(err, to && what ? LIFELOG_E_SUCCESS : LIFELOG_E_NULL_ARGUMENT);
    }
    EXPECT_EQ(countLog(kError, "pThis == null or logActivityItem == null", 10,
                       "ZLifelogActivity_addActivityItem"),
              2);
    EXPECT_EQ(List_size(ZLifelogActivity_getAllActivityItems(activity)), 1);
    ZLifelogActivity_delete(activity);
}

}  // namespace
