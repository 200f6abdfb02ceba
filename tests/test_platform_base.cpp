// The base stand-in's strings, lists, log output, error texts and
// configuration file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

using PlatformBaseTest = LifelogTest;

// Fails allocation n = 1, 2, ... until `operation` succeeds; every failing
// run must report failure and leave nothing behind.  Returns the first n that
// succeeds, that is the operation's allocation count + 1.
int failEachAllocation(const std::function<bool()>& operation) {
    for (long n = 1; n < 100; ++n) {
        Mem_failAfter(n);
        const bool succeeded = operation();
        Mem_failAfter(0);
        EXPECT_EQ(Mem_getLiveCount(), 0) << "leak when allocation " << n << " fails";
        if (succeeded)
            return static_cast<int>(n);
    }
    return 0;
}

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
    EXPECT_EQ(err, 4u);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(String_format(buffer, 8, "%s-%d", "abcdef", 42), 9);
    EXPECT_STREQ(buffer, "abcdef-");
    EXPECT_EQ(buffer[8], 'x') << "wrote past the given size";
    EXPECT_TRUE(String_equalsIgnoreCase("TrUe", "true"));
    EXPECT_FALSE(String_equalsIgnoreCase("true", "trueX"));
}

TEST_F(PlatformBaseTest, AllocationFailuresInStringsAndListsLeakNothing) {
    EXPECT_EQ(failEachAllocation([] {
                  unsigned int err = 0;
                  char* s = String_newByString("copy me", &err);
                  EXPECT_EQ(err, s ? 0u : 1u);
                  Mem_freeEx(s, __FILE__, __LINE__);
                  return s != nullptr;
              }),
              2);
    // List_new, then a string and a List_addLast node per piece.
    EXPECT_EQ(failEachAllocation([] {
                  List* pieces = String_getTokens("a\"b\"c", "\"");
                  List_delete(pieces);
                  return pieces != nullptr;
              }),
              8);
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
    EXPECT_STREQ(Exception_toString(1019), "E_DB_ENGINE_19");
    EXPECT_STREQ(Exception_toString(999), "E_UNKNOWN");
}

TEST_F(PlatformBaseTest, RegistrySectionsKeysAndTypes) {
    unsigned int err = 0;
    EXPECT_EQ(_Registry_openInternal(kConfigPath, 0, &err), nullptr);
    EXPECT_EQ(err, 31u);
    writeConfig(
        "; settings\n[ACTIVITY]\nACTIVITY_CALL = TRUE ; note\nLONG=abcdefghij\nNEGATIVE=-7\n"
        "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = 25\nWORD=twelve\n");
    Registry* registry = _Registry_openInternal(kConfigPath, 0, &err);
    ASSERT_NE(registry, nullptr);
    // Type 3 reads a text, type 1 a 32-bit number (shown here as text).
    const struct {
        const char* section;
        const char* key;
        int type, size;
        unsigned int code;
        const char* value;
    } cases[] = {
        {"ACTIVITY", "ACTIVITY_CALL", 3, 64, 0, "TRUE"},
        {"ACTIVITY", "LONG", 3, 5, 0, "abcd"},  // cut, terminated
        {"ACTIVITY", "NEGATIVE", 1, 4, 0, "-7"},
        {"ACTIVITY", "ACTIVITY_MESSAGE", 3, 64, 44, ""},
        {"ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", 1, 4, 0, "25"},
        {"ACTIVITY_CONFIG", "WORD", 1, 4, 11, ""},
        {"ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", 1, 2, 4, ""},
        {"MISSING", "ACTIVITY_CALL", 3, 64, 25, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        Registry_getValue(registry, c.section, c.key, c.type, buffer, c.size, &err);
        EXPECT_EQ(err, c.code);
        int32_t number = 0;
        memcpy(&number, buffer, sizeof number);
        if (c.code == 0) {
            EXPECT_EQ(c.type == 3 ? std::string(buffer) : std::to_string(number), c.value);
        }
    }
    Registry_close(registry, 0, &err);
}

}  // namespace
