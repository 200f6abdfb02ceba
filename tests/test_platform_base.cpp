// The base stand-in's strings, lists, log output, error texts and
// configuration file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

class PlatformBaseTest : public LifelogTest {};

std::vector<std::string> piecesOf(List* list) {
    std::vector<std::string> pieces;
    void* cursor = List_getIterator(list);
    while (void* piece = List_getNext(&cursor)) {
        pieces.emplace_back(static_cast<const char*>(piece));
    }
    return pieces;
}

// Runs `operation` with the n-th allocation failing, n = 1, 2, ... until it
// succeeds; every failing run must report failure and leave nothing behind.
// Returns the first n that succeeds: the operation's allocation count + 1.
template <typename Operation>
int failEachAllocation(Operation operation) {
    for (long n = 1; n < 100; ++n) {
        long before = Mem_getLiveCount();
        Mem_failAfter(n);
        bool succeeded = operation();
        Mem_failAfter(0);
        if (succeeded) {
            return static_cast<int>(n);
        }
        EXPECT_EQ(Mem_getLiveCount(), before) << "leak when allocation " << n << " fails";
    }
    ADD_FAILURE() << "operation never succeeded";
    return 0;
}

TEST_F(PlatformBaseTest, TokensKeepEmptyPieces) {
    struct Case {
        const char* text;
        const char* delimiters;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a,b,c", ",", {"a", "b", "c"}},
        {"a,,b", ",", {"a", "", "b"}},
        {",a,", ",", {"", "a", ""}},
        {"", ",", {""}},
        {"say \"hi\"", "\"", {"say ", "hi", ""}},
        {"a b;c", " ;", {"a", "b", "c"}},
        {"abc", "", {"abc"}},
    };
    for (const Case& c : cases) {
        List* list = String_getTokens(c.text, c.delimiters);
        ASSERT_NE(list, nullptr) << c.text;
        EXPECT_EQ(piecesOf(list), c.pieces) << c.text;
        EXPECT_EQ(List_size(list), static_cast<int>(c.pieces.size()));
        List_delete(list);
    }
    EXPECT_EQ(String_getTokens(nullptr, ","), nullptr);
}

TEST_F(PlatformBaseTest, SubstringsStopAtTheTerminator) {
    struct Case {
        const char* text;
        int start, end;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"2024-05-06", 0, 4, "2024"}, {"2024-05-06", 5, 7, "05"}, {"abc", 1, 10, "bc"},
        {"abc", 5, 9, ""},            {"abc", 2, 2, ""},          {"abc", 2, 1, nullptr},
        {"abc", -1, 2, nullptr},
    };
    for (const Case& c : cases) {
        unsigned int err = 99;
        char* piece = String_newBySubstr(c.text, c.start, c.end, &err);
        if (c.expected == nullptr) {
            EXPECT_EQ(piece, nullptr);
            EXPECT_EQ(err, 4u);
            continue;
        }
        ASSERT_NE(piece, nullptr);
        EXPECT_EQ(err, 0u);
        EXPECT_STREQ(piece, c.expected) << c.text << " " << c.start << ".." << c.end;
        Mem_freeEx(piece, __FILE__, __LINE__);
    }
}

TEST_F(PlatformBaseTest, FormatNeverWritesPastItsSize) {
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(String_format(buffer, 8, "%s-%d", "abcdef", 42), 9);
    EXPECT_STREQ(buffer, "abcdef-");
    EXPECT_EQ(buffer[8], 'x') << "wrote past the given size";
    EXPECT_EQ(String_format(buffer, 1, "%d", 123), 3);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(String_format(buffer, sizeof buffer, "%04d", 7), 4);
    EXPECT_STREQ(buffer, "0007");
}

TEST_F(PlatformBaseTest, CopiesComparesAndConcatenates) {
    unsigned int err = 99;
    char* text = String_new(12, &err);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(String_length(text), 0);
    String_concat(text, "true");
    String_concat(text, "TRUE");
    EXPECT_STREQ(text, "trueTRUE");
    char* copy = String_newByString(text, &err);
    EXPECT_TRUE(String_equals(copy, text));
    EXPECT_FALSE(String_equals(copy, "trueTRU"));
    EXPECT_TRUE(String_equalsIgnoreCase("TrUe", "true"));
    EXPECT_FALSE(String_equalsIgnoreCase("true", "trueX"));
    EXPECT_FALSE(String_equalsIgnoreCase("true", nullptr));
    EXPECT_EQ(String_newByString(nullptr, &err), nullptr);
    EXPECT_EQ(err, 7u);
    Mem_freeEx(copy, __FILE__, __LINE__);
    Mem_freeEx(text, __FILE__, __LINE__);
}

TEST_F(PlatformBaseTest, AllocationFailuresInStringsAndListsLeakNothing) {
    EXPECT_EQ(failEachAllocation([] {
                  unsigned int err = 0;
                  char* s = String_newByString("copy me", &err);
                  EXPECT_EQ(err, s != nullptr ? 0u : 1u);
                  Mem_freeEx(s, __FILE__, __LINE__);
                  return s != nullptr;
              }),
              2);
    EXPECT_EQ(failEachAllocation([] {
                  unsigned int err = 0;
                  char* s = String_newBySubstr("abcdef", 1, 3, &err);
                  EXPECT_EQ(err, s != nullptr ? 0u : 1u);
                  Mem_freeEx(s, __FILE__, __LINE__);
                  return s != nullptr;
              }),
              2);
    // The list, then one string and one node per piece.
    EXPECT_EQ(failEachAllocation([] {
                  List* pieces = String_getTokens("a\"b\"c", "\"");
                  List_delete(pieces);
                  return pieces != nullptr;
              }),
              8);
    EXPECT_EQ(failEachAllocation([] {
                  unsigned int err = 0;
                  List* list = List_new(nullptr, &err);
                  if (list == nullptr) {
                      EXPECT_EQ(err, 1u);
                      return false;
                  }
                  static int values[3];
                  bool added = true;
                  for (int& value : values) {
                      added = added && List_addLast(list, &value) != 0;
                  }
                  EXPECT_EQ(List_size(list), added ? 3 : List_size(list));
                  List_delete(list);
                  return added;
              }),
              5);
}

int destroyed[8];
void countDestroy(void* element) { ++*static_cast<int*>(element); }

TEST_F(PlatformBaseTest, ListsKeepOrderRemoveByIdentityAndDestroyTheRest) {
    memset(destroyed, 0, sizeof destroyed);
    unsigned int err = 99;
    List* list = List_new(countDestroy, &err);
    ASSERT_NE(list, nullptr);
    for (int& slot : destroyed) {
        ASSERT_TRUE(List_addLast(list, &slot));
    }
    EXPECT_EQ(List_size(list), 8);
    EXPECT_EQ(List_getAt(list, 0), &destroyed[0]);
    EXPECT_EQ(List_getAt(list, 7), &destroyed[7]);
    EXPECT_EQ(List_getAt(list, 8), nullptr);
    EXPECT_EQ(List_getAt(list, -1), nullptr);

    EXPECT_TRUE(List_removeObject(list, &destroyed[0]));  // first
    EXPECT_TRUE(List_removeObject(list, &destroyed[7]));  // last: the tail moves back
    EXPECT_TRUE(List_removeObject(list, &destroyed[3]));
    EXPECT_FALSE(List_removeObject(list, &destroyed[3]));
    ASSERT_TRUE(List_addLast(list, &destroyed[7]));
    std::vector<void*> seen;
    void* cursor = List_getIterator(list);
    while (void* element = List_getNext(&cursor)) {
        seen.push_back(element);
    }
    EXPECT_EQ(seen, (std::vector<void*>{&destroyed[1], &destroyed[2], &destroyed[4],
                                        &destroyed[5], &destroyed[6], &destroyed[7]}));
    EXPECT_EQ(List_getNext(&cursor), nullptr) << "the cursor stays at the end";
    List_delete(list);
    EXPECT_EQ(std::vector<int>(destroyed, destroyed + 8),
              (std::vector<int>{0, 1, 1, 0, 1, 1, 1, 1}));
}

TEST_F(PlatformBaseTest, HookSeesEveryLineWhateverTheThreshold) {
    unsetenv("ZBASE_LOG_LEVEL");
    __Log_printfEx(10, 31, "ZLifelogger_log", 120, "[%s] Propagated : %s", "E_FAILURE", "x\n");
    __Log_printfEx(11, 254, "setSortOrder", 7, "plain");
    std::vector<LogLine> lines = logLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].module, 10);
    EXPECT_EQ(lines[0].level, 31);
    EXPECT_EQ(lines[0].function, "ZLifelogger_log");
    EXPECT_EQ(lines[0].line, 120);
    EXPECT_EQ(lines[0].text, "[E_FAILURE] Propagated : x\n");
    EXPECT_EQ(lines[1].module, 11);
    EXPECT_EQ(lines[1].text, "plain");
}

TEST_F(PlatformBaseTest, StandardErrorFollowsTheThreshold) {
    struct Case {
        const char* threshold;  // nullptr: unset
        int level;
        const char* written;
    };
    const Case cases[] = {
        {nullptr, 254, "E 10 f:5 text\n"}, {nullptr, 31, ""},
        {"31", 31, "T 10 f:5 text\n"},      {"trace", 254, "E 10 f:5 text\n"},
        {"off", 254, ""},                   {"300", 254, ""},
    };
    for (const Case& c : cases) {
        if (c.threshold != nullptr) {
            setenv("ZBASE_LOG_LEVEL", c.threshold, 1);
        } else {
            unsetenv("ZBASE_LOG_LEVEL");
        }
        testing::internal::CaptureStderr();
        __Log_printfEx(10, c.level, "f", 5, "%s\n", "text");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.written)
            << (c.threshold ? c.threshold : "unset") << " level " << c.level;
    }
    unsetenv("ZBASE_LOG_LEVEL");
}

TEST_F(PlatformBaseTest, ErrorTexts) {
    struct Case {
        unsigned int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "E_SUCCESS"},         {1, "E_OUT_OF_MEMORY"},     {2, "E_END_OF_ENUMERATION"},
        {3, "E_OBJ_ALREADY_EXIST"}, {4, "E_INVALID_ARG"},     {7, "E_NULL_ARGUMENT"},
        {11, "E_INVALID_FORMAT"}, {12, "E_LIST_APPEND"},      {13, "E_FAILURE"},
        {20, "E_GENERATOR"},      {21, "E_OBJ_NOT_FOUND"},    {24, "E_NO_INTERFACE"},
        {25, "E_SECTION_NOT_FOUND"}, {31, "E_FILE_NOT_FOUND"}, {44, "E_KEY_NOT_FOUND"},
        {66, "E_DATABASE"},       {69, "E_NO_MORE_ROWS"},     {70, "E_NO_ROWS_CHANGED"},
        {187, "E_OVERFLOW"},      {1001, "E_DB_ENGINE_1"},    {1019, "E_DB_ENGINE_19"},
        {5, "E_UNKNOWN"},         {999, "E_UNKNOWN"},         {0xffffffffu, "E_UNKNOWN"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(Exception_toString(c.code), c.text) << c.code;
    }
    EXPECT_EQ(Exception_toString(1005), Exception_toString(1005)) << "a constant text";
}

class RegistryTest : public LifelogTest {};

TEST_F(RegistryTest, SectionsKeysAndTypes) {
    writeConfig(
        "; lifelog settings\n"
        "# second comment style\n"
        "[ACTIVITY]\n"
        "ACTIVITY_CALL = TRUE\n"
        "  ACTIVITY_MEDIA=false ; inline comment\n"
        "ACTIVITY_MEDIA=true\n"
        "LONG=abcdefghij\n"
        "[ACTIVITY_CONFIG]\n"
        "MAX_COUNT_PER_ACTIVITY = 25\n"
        "NEGATIVE=-7\n"
        "WORD=twelve\n"
        "HUGE=99999999999\n"
        "[EMPTY]\n");
    unsigned int err = 99;
    Registry* registry = _Registry_openInternal(kConfigPath, 0, &err);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(err, 0u);

    struct Case {
        const char* section;
        const char* key;
        int type;
        int size;
        unsigned int code;
        const char* text;  // type 3
        int number;        // type 1
    };
    const Case cases[] = {
        {"ACTIVITY", "ACTIVITY_CALL", 3, 64, 0, "TRUE", 0},
        {"ACTIVITY", "ACTIVITY_MEDIA", 3, 64, 0, "true", 0},  // the last value wins
        {"ACTIVITY", "LONG", 3, 5, 0, "abcd", 0},             // cut, terminated
        {"ACTIVITY", "ACTIVITY_MESSAGE", 3, 64, 44, nullptr, 0},
        {"ACTIVITY", "activity_call", 3, 64, 44, nullptr, 0},
        {"ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", 1, 4, 0, nullptr, 25},
        {"ACTIVITY_CONFIG", "NEGATIVE", 1, 4, 0, nullptr, -7},
        {"ACTIVITY_CONFIG", "WORD", 1, 4, 11, nullptr, 0},
        {"ACTIVITY_CONFIG", "HUGE", 1, 4, 11, nullptr, 0},
        {"ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", 1, 2, 4, nullptr, 0},
        {"ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", 2, 4, 4, nullptr, 0},
        {"EMPTY", "ANY", 3, 64, 44, nullptr, 0},
        {"MISSING", "ACTIVITY_CALL", 3, 64, 25, nullptr, 0},
    };
    for (const Case& c : cases) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        err = 99;
        Registry_getValue(registry, c.section, c.key, c.type, buffer, c.size, &err);
        EXPECT_EQ(err, c.code) << c.section << "/" << c.key;
        if (c.code == 0 && c.type == 3) {
            EXPECT_STREQ(buffer, c.text) << c.key;
        }
        if (c.code == 0 && c.type == 1) {
            int32_t number = 0;
            memcpy(&number, buffer, sizeof number);
            EXPECT_EQ(number, c.number) << c.key;
        }
    }
    Registry_close(registry, 0, &err);
    EXPECT_EQ(err, 0u);
}

TEST_F(RegistryTest, MissingOrMalformedFileIsRefused) {
    unsigned int err = 0;
    EXPECT_EQ(_Registry_openInternal(kConfigPath, 0, &err), nullptr);
    EXPECT_EQ(err, 31u);
    writeConfig("[ACTIVITY]\nACTIVITY_CALL true\n");
    EXPECT_EQ(_Registry_openInternal(kConfigPath, 0, &err), nullptr);
    EXPECT_EQ(err, 11u);
    writeConfig("[ACTIVITY]\nACTIVITY_CALL=true\n");
    EXPECT_EQ(failEachAllocation([] {
                  unsigned int code = 0;
                  Registry* registry = _Registry_openInternal(kConfigPath, 0, &code);
                  EXPECT_EQ(code, registry != nullptr ? 0u : 1u);
                  Registry_close(registry, 0, &code);
                  return registry != nullptr;
              }),
              2);
}

TEST_F(RegistryTest, EachOpenReadsTheFileAfresh) {
    writeConfig("[ACTIVITY]\nACTIVITY_CALL=true\n");
    unsigned int err = 0;
    Registry* before = _Registry_openInternal(kConfigPath, 0, &err);
    writeConfig("[ACTIVITY]\nACTIVITY_CALL=false\n");
    Registry* after = _Registry_openInternal(kConfigPath, 0, &err);
    char first[8], second[8];
    Registry_getValue(before, "ACTIVITY", "ACTIVITY_CALL", 3, first, sizeof first, &err);
    Registry_getValue(after, "ACTIVITY", "ACTIVITY_CALL", 3, second, sizeof second, &err);
    EXPECT_STREQ(first, "true");
    EXPECT_STREQ(second, "false");
    Registry_close(before, 0, &err);
    Registry_close(after, 0, &err);
}

}  // namespace
