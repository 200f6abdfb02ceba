// The tracked allocator: counting, zero fill, and bad releases that must
// stop the process.  Planned failures are proven by every test that counts
// an operation's allocations with Mem_failAfter.
#include <gtest/gtest.h>

#include <string>

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

TEST_F(MemoryDeathTest, BadReleasesAbortNamingBothLocations) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            void* block = Mem_allocEx(8, "maker.cpp", 10);
            Mem_freeEx(block, "first.cpp", 20);
            Mem_freeEx(block, "second.cpp", 30);
        },
        "double release .* at second.cpp:30; allocated at maker.cpp:10, already released at "
        "first.cpp:20");
    static int notABlock;
    EXPECT_DEATH(Mem_freeEx(&notABlock, "stray.cpp", 77), "at stray.cpp:77, which is not a live");
}

}  // namespace
