// The tracked allocator: counting, zero fill, and bad releases that must
// stop the process.  Planned failures are proven by every test that counts
// an operation's allocations with Mem_failAfter.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "zbase_testing.h"

namespace {

class MemoryTest : public LifelogTest {};

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
