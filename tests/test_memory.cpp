// The tracked allocator: counting, zero fill, planned failures, the live
// block listing, and bad releases that must stop the process.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "fixture.h"
#include "zbase_testing.h"

namespace {

class MemoryTest : public LifelogTest {};

std::string liveListing() {
    FILE* out = tmpfile();
    Mem_printLive(out);
    std::string text;
    rewind(out);
    char buffer[256];
    while (fgets(buffer, sizeof buffer, out) != nullptr) {
        text += buffer;
    }
    fclose(out);
    return text;
}

TEST_F(MemoryTest, CountsEveryLiveBlockUntilReleased) {
    long before = Mem_getLiveCount();
    void* a = Mem_allocEx(16, "a.cpp", 1);
    void* b = Mem_callocEx(4, 8, "b.cpp", 2);
    void* empty = Mem_allocEx(0, "c.cpp", 3);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(a, empty);
    EXPECT_EQ(Mem_getLiveCount(), before + 3);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(static_cast<unsigned char*>(b)[i], 0) << "calloc byte " << i;
    }
    Mem_freeEx(b, __FILE__, __LINE__);
    Mem_freeEx(nullptr, __FILE__, __LINE__);
    EXPECT_EQ(Mem_getLiveCount(), before + 2);
    Mem_freeEx(a, __FILE__, __LINE__);
    Mem_freeEx(empty, __FILE__, __LINE__);
    EXPECT_EQ(Mem_getLiveCount(), before);
}

TEST_F(MemoryTest, CallocRefusesAnOverflowingSize) {
    long before = Mem_getLiveCount();
    EXPECT_EQ(Mem_callocEx(SIZE_MAX / 2, 4, __FILE__, __LINE__), nullptr);
    EXPECT_EQ(Mem_getLiveCount(), before);
}

TEST_F(MemoryTest, PrintLiveNamesSizeFileAndLineOldestFirst) {
    void* first = Mem_allocEx(24, "first.cpp", 11);
    void* second = Mem_callocEx(2, 5, "second.cpp", 22);
    std::string listing = liveListing();
    size_t one = listing.find("24 bytes from first.cpp:11");
    size_t two = listing.find("10 bytes from second.cpp:22");
    EXPECT_NE(one, std::string::npos) << listing;
    EXPECT_NE(two, std::string::npos) << listing;
    EXPECT_LT(one, two);
    Mem_freeEx(first, __FILE__, __LINE__);
    Mem_freeEx(second, __FILE__, __LINE__);
    EXPECT_EQ(liveListing().find("first.cpp"), std::string::npos);
}

TEST_F(MemoryTest, FailAfterFailsExactlyTheNthAllocation) {
    struct Case {
        long n;
        int failing;  // 1-based index of the allocation that fails, 0: none
    };
    const Case cases[] = {{1, 1}, {2, 2}, {4, 4}, {0, 0}, {-3, 0}};
    for (const Case& c : cases) {
        Mem_failAfter(c.n);
        void* blocks[6];
        for (int i = 0; i < 6; ++i) {
            blocks[i] = i % 2 == 0 ? Mem_allocEx(8, __FILE__, __LINE__)
                                   : Mem_callocEx(1, 8, __FILE__, __LINE__);
            EXPECT_EQ(blocks[i] == nullptr, i + 1 == c.failing) << "n=" << c.n << " i=" << i;
        }
        for (void* block : blocks) {
            Mem_freeEx(block, __FILE__, __LINE__);
        }
        Mem_failAfter(0);
    }
}

using MemoryDeathTest = MemoryTest;

TEST_F(MemoryDeathTest, DoubleReleaseNamesAllocationFirstAndSecondRelease) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            void* block = Mem_allocEx(8, "maker.cpp", 10);
            Mem_freeEx(block, "first.cpp", 20);
            Mem_freeEx(block, "second.cpp", 30);
        },
        "double release .* at second.cpp:30; allocated at maker.cpp:10, already released at "
        "first.cpp:20");
}

TEST_F(MemoryDeathTest, ReleaseOfAForeignPointerAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static int notABlock;
    EXPECT_DEATH(Mem_freeEx(&notABlock, "stray.cpp", 77),
                 "release of .* at stray.cpp:77, which is not a live block");
}

}  // namespace
