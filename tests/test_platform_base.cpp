// The base stand-in's strings, lists, log output and error texts; its
// component registry (classes registered directly and component libraries
// loaded by path); and the tracked allocator: counting, zero fill, and bad
// releases that must stop the process.  Failed allocations in strings and
// lists are swept with the library operations that use them
// (test_alloc_sweep.cpp, and a quoted text in test_db_handle.cpp).
#include <dlfcn.h>

#include <tuple>

#include "fixture.h"
#include "zkivLifelogTypes.h"

namespace {

using PlatformBaseTest = LifelogTest;

TEST_F(PlatformBaseTest, TokensKeepEmptyPieces) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"a,,b", {"a", "", "b"}},
        {",a,", {"", "a", ""}},
        {"", {""}},
        {"say \"hi\",x", {"say ", "hi", "", "x"}}};  // every delimiter of the set cuts
    for (const auto& [text, expected] : cases) {
        List* list = String_getTokens(text, ",\"");
        std::vector<std::string> pieces;
        void* cursor = List_getIterator(list);
        while (void* piece = List_getNext(&cursor)) pieces.emplace_back(static_cast<char*>(piece));
        EXPECT_EQ(pieces, expected) << text;
        List_delete(list);
    }
}

TEST_F(PlatformBaseTest, SubstringsStopAtTheTerminatorAndFormatIsCut) {
    unsigned int err = 99;
    char* piece = String_newBySubstr("abc", 1, 10, &err);
    EXPECT_STREQ(piece, "bc");
    Mem_freeEx(piece, __FILE__, __LINE__);
    EXPECT_EQ(String_newBySubstr("abc", 2, 1, &err), nullptr);
    EXPECT_EQ(err, ZBASE_E_INVALID_ARG);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(String_format(buffer, 8, "%s-%d", "abcdef", 42), 9);
    EXPECT_STREQ(buffer, "abcdef-");
    EXPECT_EQ(buffer[8], 'x') << "wrote past the given size";
    EXPECT_TRUE(String_equalsIgnoreCase("TrUe", "true"));
    EXPECT_FALSE(String_equalsIgnoreCase("true", "trueX"));
}

TEST_F(PlatformBaseTest, ListsKeepOrderAndRemoveByIdentity) {
    int slots[5];
    List* list = List_new(nullptr, nullptr);
    for (int& slot : slots) ASSERT_TRUE(List_addLast(list, &slot));
    EXPECT_TRUE(List_removeObject(list, &slots[0]));
    EXPECT_TRUE(List_removeObject(list, &slots[4]));  // the tail moves back
    EXPECT_FALSE(List_removeObject(list, &slots[4]));
    ASSERT_TRUE(List_addLast(list, &slots[0]));
    std::vector<void*> seen;
    void* cursor = List_getIterator(list);
    while (void* element = List_getNext(&cursor)) seen.push_back(element);
    EXPECT_EQ(seen, (std::vector<void*>{&slots[1], &slots[2], &slots[3], &slots[0]}));
    EXPECT_EQ(List_getAt(list, 4), nullptr);
    List_delete(list);
}

TEST_F(PlatformBaseTest, HookSeesEveryLineStandardErrorOnlyErrorsAndErrorTexts) {
    unsetenv("ZBASE_LOG_LEVEL");
    testing::internal::CaptureStderr();
    __Log_printfEx(11, 31, "ZLifelogger_log", 120, "[%s] Propagated : %s", "E_FAILURE", "x\n");
    __Log_printfEx(10, 254, "f", 5, "%s\n", "text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "E 10 f:5 text\n");
    ASSERT_EQ(logLines().size(), 2u);
    const LogLine line = logLines()[0];
    EXPECT_EQ(std::make_tuple(line.module, line.level, line.function, line.line, line.text),
              std::make_tuple(11, 31, std::string("ZLifelogger_log"), 120,
                              std::string("[E_FAILURE] Propagated : x\n")));
}

// Codes and texts are a contract with clients compiled elsewhere: each
// name keeps its number in both enums, and each number its text.
TEST_F(PlatformBaseTest, EveryCodeKeepsItsNumberAndText) {
    struct Code {
        unsigned int platform, library, number;
        const char* text;
    };
    const Code codes[] = {
        {ZBASE_E_SUCCESS, LIFELOG_E_SUCCESS, 0, "E_SUCCESS"},
        {ZBASE_E_OUT_OF_MEMORY, LIFELOG_E_OUT_OF_MEMORY, 1, "E_OUT_OF_MEMORY"},
        {ZBASE_E_END_OF_ENUMERATION, LIFELOG_E_END_OF_ENUMERATION, 2, "E_END_OF_ENUMERATION"},
        {ZBASE_E_OBJ_ALREADY_EXIST, LIFELOG_E_OBJ_ALREADY_EXIST, 3, "E_OBJ_ALREADY_EXIST"},
        {ZBASE_E_INVALID_ARG, LIFELOG_E_INVALID_ARG, 4, "E_INVALID_ARG"},
        {ZBASE_E_NULL_ARGUMENT, LIFELOG_E_NULL_ARGUMENT, 7, "E_NULL_ARGUMENT"},
        {ZBASE_E_INVALID_FORMAT, LIFELOG_E_INVALID_FORMAT, 11, "E_INVALID_FORMAT"},
        {ZBASE_E_LIST_APPEND, LIFELOG_E_LIST_APPEND, 12, "E_LIST_APPEND"},
        {ZBASE_E_FAILURE, LIFELOG_E_FAILURE, 13, "E_FAILURE"},
        {ZBASE_E_GENERATOR, LIFELOG_E_GENERATOR, 20, "E_GENERATOR"},
        {ZBASE_E_OBJ_NOT_FOUND, LIFELOG_E_OBJ_NOT_FOUND, 21, "E_OBJ_NOT_FOUND"},
        {ZBASE_E_NO_INTERFACE, LIFELOG_E_NO_INTERFACE, 24, "E_NO_INTERFACE"},
        {ZBASE_E_SECTION_NOT_FOUND, LIFELOG_E_SECTION_NOT_FOUND, 25, "E_SECTION_NOT_FOUND"},
        {ZBASE_E_FILE_NOT_FOUND, LIFELOG_E_FILE_NOT_FOUND, 31, "E_FILE_NOT_FOUND"},
        {ZBASE_E_KEY_NOT_FOUND, LIFELOG_E_KEY_NOT_FOUND, 44, "E_KEY_NOT_FOUND"},
        {ZBASE_E_DATABASE, LIFELOG_E_DATABASE, 66, "E_DATABASE"},
        {ZBASE_E_NO_MORE_ROWS, LIFELOG_E_NO_MORE_ROWS, 69, "E_NO_MORE_ROWS"},
        {ZBASE_E_NO_ROWS_CHANGED, LIFELOG_E_NO_ROWS_CHANGED, 70, "E_NO_ROWS_CHANGED"},
        {ZBASE_E_OVERFLOW, LIFELOG_E_OVERFLOW, 187, "E_OVERFLOW"},
        {ZBASE_E_DB_ENGINE + 19, LIFELOG_E_DB_ENGINE + 19, 1019, "E_DB_ENGINE_19"},
        {ZBASE_E_DB_ENGINE + 1, LIFELOG_E_DB_ENGINE + 1, 1001, "E_DB_ENGINE_1"},
    };
    for (const Code& code : codes) {
        EXPECT_EQ(code.platform, code.number) << code.text;
        EXPECT_EQ(code.library, code.number) << code.text;
        EXPECT_STREQ(Exception_toString(code.number), code.text);
    }
    for (unsigned int unnamed : {5u, 14u, 22u, 23u, 999u, 1256u}) {
        EXPECT_STREQ(Exception_toString(unnamed), "E_UNKNOWN") << unnamed;
    }
}

// ---------------------------------------------------------- the component registry

const UUID kDirectClass = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
const UUID kModuleClass = {0x55555555, 0x6666, 0x7777, {8, 8, 8, 8, 8, 8, 8, 8}};
const UUID kAnswerInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
const UUID kOtherInterface = {0x0D15EA5E, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 9}};

// Every table begins queryInterface, addRef, release.
struct Object {
    const struct {
        void* (*queryInterface)(void*, const UUID*, unsigned int*);
        int (*addRef)(void*);
        int (*release)(void*);
    } * ops;
};
Object* create(const UUID* classId, const UUID* interfaceId, unsigned int* err) {
    return static_cast<Object*>(Com_createInstance(classId, interfaceId, err));
}

using PlatformComponentsTest = LifelogTest;

// The factory is given back whatever the outcome: the leak check sees the
// test module's blocks.
TEST_F(PlatformComponentsTest, CreateThroughADirectlyRegisteredClassAndALibraryLoadedByPath) {
    void* module = dlopen(PLATFORM_TEST_MODULE_PATH, RTLD_NOW);
    ASSERT_NE(module, nullptr);
    unsigned int err = 99;
    Com_registerClass(&kDirectClass,
                      reinterpret_cast<ComGetFactoryFn>(dlsym(module, "Dll_getFactory")), &err);
    ASSERT_EQ(err, 0u);
    Com_registerModule(&kModuleClass, PLATFORM_TEST_MODULE_PATH, &err);
    ASSERT_EQ(err, 0u);
    for (const UUID* classId : {&kDirectClass, &kModuleClass}) {
        Object* object = create(classId, &kAnswerInterface, &err);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->ops->release(object), 0) << "came with more than one reference";
        EXPECT_EQ(create(classId, &kOtherInterface, &err), nullptr);
        EXPECT_EQ(err, ZBASE_E_NO_INTERFACE) << "the component's own code is passed on";
        EXPECT_EQ(Mem_getLiveCount(), 0) << "the factory was not given back";
        Com_unregisterClass(classId);
        EXPECT_EQ(create(classId, &kAnswerInterface, &err), nullptr);
        EXPECT_EQ(err, ZBASE_E_OBJ_NOT_FOUND) << "still registered";
    }
    dlclose(module);
}

TEST_F(PlatformComponentsTest, LibrariesThatCannotServeAreRefused) {
    const std::pair<const char*, unsigned int> cases[] = {
        {"/nonexistent/libnone.so", ZBASE_E_FILE_NOT_FOUND},
        {ZBASE_LIBRARY_PATH, ZBASE_E_FAILURE},  // no "Dll_getFactory"
    };
    for (auto [path, expected] : cases) {
        unsigned int err = 0;
        Com_registerModule(&kModuleClass, path, &err);
        EXPECT_EQ(err, expected) << path;
        EXPECT_EQ(create(&kModuleClass, &kAnswerInterface, &err), nullptr);
        EXPECT_EQ(err, ZBASE_E_OBJ_NOT_FOUND) << "registered anyway";
    }
}

// ------------------------------------------------------------ the tracked allocator

using MemoryTest = LifelogTest;

TEST_F(MemoryTest, CountsLiveBlocksAndZeroFills) {
    void* a = Mem_allocEx(24, "first.cpp", 11);
    auto* b = static_cast<unsigned char*>(Mem_callocEx(4, 8, "second.cpp", 22));
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_EQ(Mem_getLiveCount(), 2);
    EXPECT_EQ(std::string(b, b + 32), std::string(32, '\0'));
    EXPECT_EQ(Mem_callocEx(SIZE_MAX / 2, 4, __FILE__, __LINE__), nullptr) << "size overflow";
    Mem_freeEx(b, __FILE__, __LINE__);
    Mem_freeEx(nullptr, __FILE__, __LINE__);
    Mem_freeEx(a, __FILE__, __LINE__);
    EXPECT_EQ(Mem_getLiveCount(), 0);
}

using MemoryDeathTest = MemoryTest;

struct BadRelease {
    const char* label;
    void (*run)();
    const char* message;
};

// Each aborts naming where it happened (and for a double release, where the
// block was made and first released).
TEST_F(MemoryDeathTest, EveryKindOfBadReleaseIsCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // clang-format off
    const BadRelease cases[] = {
        {.label = "second release",
         .run = [] {
             void* block = Mem_allocEx(8, "maker.cpp", 10);
             Mem_freeEx(block, "first.cpp", 20);
             Mem_freeEx(block, "second.cpp", 30);
         },
         .message = "double release .* at second.cpp:30; allocated at maker.cpp:10, already "
                    "released at first.cpp:20"},
        {.label = "second release on another thread",
         .run = [] {
             void* block = Mem_allocEx(8, "maker.cpp", 1);
             std::thread([block] { Mem_freeEx(block, "worker.cpp", 2); }).join();
             Mem_freeEx(block, "main.cpp", 3);
         },
         .message = "double release .* at main.cpp:3; allocated at maker.cpp:1, already "
                    "released at worker.cpp:2"},
        {.label = "second release long after the first",
         .run = [] {
             void* block = Mem_allocEx(8, "maker.cpp", 1);
             Mem_freeEx(block, "first.cpp", 2);
             for (int i = 0; i < 100000; ++i) Mem_freeEx(Mem_allocEx(8, __FILE__, __LINE__), __FILE__, __LINE__);
             Mem_freeEx(block, "late.cpp", 3);
         },
         .message = "(double release .* at late.cpp:3|at late.cpp:3, which is not a live)"},
        {.label = "a pointer into a live block",
         .run = [] { Mem_freeEx(static_cast<char*>(Mem_allocEx(100, "maker.cpp", 1)) + 16, "inner.cpp", 4); },
         .message = "at inner.cpp:4, which is not a live"},
        {.label = "a block of malloc",
         .run = [] { Mem_freeEx(malloc(64), "libc.cpp", 5); },
         .message = "at libc.cpp:5, which is not a live"},
        {.label = "a static object",
         .run = [] { static int notABlock; Mem_freeEx(&notABlock, "stray.cpp", 77); },
         .message = "at stray.cpp:77, which is not a live"},
        {.label = "a stack address",
         .run = [] { char local[128] = {}; Mem_freeEx(local + 64, "stack.cpp", 6); },
         .message = "at stack.cpp:6, which is not a live"},
    };
    // clang-format on
    for (const BadRelease& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_DEATH(c.run(), c.message);
    }
}

#if defined(__SANITIZE_ADDRESS__)
// Released blocks stay with the allocator a while to be recognised; their
// bytes must still be out of bounds for the program.
TEST_F(MemoryDeathTest, UseAfterReleaseIsStillReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto* block = static_cast<volatile char*>(Mem_allocEx(32, __FILE__, __LINE__));
            Mem_freeEx(const_cast<char*>(block), __FILE__, __LINE__);
            block[8] = 1;
        },
        "use-after-poison");
}
#endif

TEST_F(MemoryTest, LiveBlocksOfEveryThreadAreCountedAndListedOldestFirst) {
    const long before = Mem_getLiveCount();
    std::vector<void*> blocks(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        blocks[i] = Mem_allocEx(10 + i, "order.cpp", 100 + i);
        // Released on a thread of its own, whatever thread made it.
        if (i % 2 == 1)
            threads.emplace_back([&blocks, i] { Mem_freeEx(blocks[i], __FILE__, __LINE__); });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(Mem_getLiveCount(), before + 2);
    char* text = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&text, &length);
    Mem_printLive(out);
    fclose(out);
    EXPECT_EQ(std::string(text, length),
              "live block: 10 bytes from order.cpp:100\nlive block: 12 bytes from order.cpp:102\n");
    free(text);
    Mem_freeEx(blocks[0], __FILE__, __LINE__);
    Mem_freeEx(blocks[2], __FILE__, __LINE__);
}

}  // namespace
