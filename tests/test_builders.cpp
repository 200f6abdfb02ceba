// Activity builders, UTF-8 counting and cutting, and the time-stamp reader.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase_testing.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogUtil.h"

namespace {

using Builder = std::function<ZLifelogActivity*(unsigned int*)>;

// Each item as "KEY=i:<number>" or "KEY=s:<text>", in list order.
std::vector<std::string> describe(ZLifelogActivity* activity) {
    std::vector<std::string> items;
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    while (void* each = List_getNext(&cursor)) {
        auto* item = static_cast<ZLifelogActivityItem*>(each);
        std::string text = std::string(ZLifelogActivityItem_getKey(item)) + "=";
        void* value = ZLifelogActivityItem_getValue(item);
        switch (ZLifelogActivityItem_getValueType(item)) {
            case LIFELOG_VALUE_INT:
                text += "i:" + std::to_string(*static_cast<int32_t*>(value));
                break;
            case LIFELOG_VALUE_STRING:
                text += "s:" + std::string(static_cast<char*>(value));
                break;
            default:
                text += "?";
        }
        items.push_back(text);
    }
    return items;
}

// A heap copy of exactly the text and its terminator, so that AddressSanitizer
// sees any read past the end.
std::unique_ptr<char[]> exact(const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

std::string repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

const std::vector<std::string> kCallCells = {"CLOG_CELLID=i:11", "CLOG_LAC=i:22", "CLOG_MCC=i:33",
                                             "CLOG_MNC=i:44"};

std::vector<std::string> join(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class BuilderTest : public LifelogTest {};

TEST_F(BuilderTest, ItemsComeInTableOrderWithMappedValues) {
    struct Case {
        const char* label;
        Builder build;
        const char* kind;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"call: unknown direction and type become 0, location last",
         [](unsigned int* err) {
             return _CreateCallActivity("+4930123", 5, -7, 2, 11, 22, 33, 44, "home", err);
         },
         "ACTIVITY_CALL",
         join(join({"CLOG_PHONE_NUMBER=s:+4930123", "CLOG_DIRECTION=i:0", "CLOG_DURATION=i:-7",
                    "CLOG_TYPE=i:0"},
                   kCallCells),
              {"LOCATION=s:home"})},
        {"call: accepted direction and type pass",
         [](unsigned int* err) {
             return _CreateCallActivity("1", 2, 20, -1, 11, 22, 33, 44, nullptr, err);
         },
         "ACTIVITY_CALL",
         join({"CLOG_PHONE_NUMBER=s:1", "CLOG_DIRECTION=i:2", "CLOG_DURATION=i:20",
               "CLOG_TYPE=i:-1"},
              kCallCells)},
        {"call: direction -1 and type 1",
         [](unsigned int* err) {
             return _CreateCallActivity("", -1, 0, 1, -1, -1, -1, -1, nullptr, err);
         },
         "ACTIVITY_CALL",
         {"CLOG_PHONE_NUMBER=s:", "CLOG_DIRECTION=i:0", "CLOG_DURATION=i:0", "CLOG_TYPE=i:1",
          "CLOG_CELLID=i:-1", "CLOG_LAC=i:-1", "CLOG_MCC=i:-1", "CLOG_MNC=i:-1"}},
        {"message: direction 2 and type -1 become 0",
         [](unsigned int* err) {
             return _CreateMsgActivity("555", 2, -1, "hello", 1, 2, 3, 4, nullptr, err);
         },
         "ACTIVITY_MESSAGE",
         {"MSGLOG_PHONE_NUMBER=s:555", "MSGLOG_DIRECTION=i:0", "MSGLOG_TYPE=i:0",
          "MSGLOG_SUMMARY=s:hello", "MSGLOG_CELLID=i:1", "MSGLOG_LAC=i:2", "MSGLOG_MCC=i:3",
          "MSGLOG_MNC=i:4"}},
        {"message: empty text gives an empty summary, location last",
         [](unsigned int* err) {
             return _CreateMsgActivity("555", 1, 1, "", 1, 2, 3, 4, "Berlin", err);
         },
         "ACTIVITY_MESSAGE",
         {"MSGLOG_PHONE_NUMBER=s:555", "MSGLOG_DIRECTION=i:1", "MSGLOG_TYPE=i:1",
          "MSGLOG_SUMMARY=s:", "MSGLOG_CELLID=i:1", "MSGLOG_LAC=i:2", "MSGLOG_MCC=i:3",
          "MSGLOG_MNC=i:4", "LOCATION=s:Berlin"}},
        {"media: every optional text and a play time",
         [](unsigned int* err) {
             return _CreateMediaActivity(2, "Song", "file:///a.mp3", 185, "Artist", "Album",
                                         "Pop", 5, 6, 7, 8, nullptr, err);
         },
         "ACTIVITY_MEDIA",
         {"MDLOG_TYPE=i:2", "MDLOG_TITLE=s:Song", "MDLOG_PLAY_TIME=i:185",
          "MDLOG_MEDIA_URI=s:file:///a.mp3", "MDLOG_ARTIST=s:Artist", "MDLOG_ALBUM=s:Album",
          "MDLOG_CATEGORY=s:Pop", "MDLOG_CELLID=i:5", "MDLOG_LAC=i:6", "MDLOG_MCC=i:7",
          "MDLOG_MNC=i:8"}},
        {"media: no play time at 0, unknown type 3 becomes 0, null texts left out",
         [](unsigned int* err) {
             return _CreateMediaActivity(3, "Clip", nullptr, 0, nullptr, nullptr, nullptr, 5, 6,
                                         7, 8, nullptr, err);
         },
         "ACTIVITY_MEDIA",
         {"MDLOG_TYPE=i:0", "MDLOG_TITLE=s:Clip", "MDLOG_CELLID=i:5", "MDLOG_LAC=i:6",
          "MDLOG_MCC=i:7", "MDLOG_MNC=i:8"}},
        {"media: negative play time left out, only some texts",
         [](unsigned int* err) {
             return _CreateMediaActivity(1, "Clip", nullptr, -1, "A", nullptr, "C", 5, 6, 7, 8,
                                         "there", err);
         },
         "ACTIVITY_MEDIA",
         {"MDLOG_TYPE=i:1", "MDLOG_TITLE=s:Clip", "MDLOG_ARTIST=s:A", "MDLOG_CATEGORY=s:C",
          "MDLOG_CELLID=i:5", "MDLOG_LAC=i:6", "MDLOG_MCC=i:7", "MDLOG_MNC=i:8",
          "LOCATION=s:there"}},
        {"photo: never cell items, location kept",
         [](unsigned int* err) {
             return _CreatePhotoActivity("Beach", "file:///b.jpg", "summer", 1, 2, 3, 4, "Nice",
                                         err);
         },
         "ACTIVITY_PHOTO",
         {"PTLOG_TITLE=s:Beach", "PTLOG_URI=s:file:///b.jpg", "PTLOG_TAG=s:summer",
          "LOCATION=s:Nice"}},
        {"photo: title only",
         [](unsigned int* err) {
             return _CreatePhotoActivity("Beach", nullptr, nullptr, 1, 2, 3, 4, nullptr, err);
         },
         "ACTIVITY_PHOTO",
         {"PTLOG_TITLE=s:Beach"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        unsigned int err = 99;
        ZLifelogActivity* activity = c.build(&err);
        ASSERT_NE(activity, nullptr);
        EXPECT_EQ(err, 0u);
        EXPECT_STREQ(ZLifelogActivity_getName(activity), c.kind);
        EXPECT_EQ(describe(activity), c.items);
        DateTime none{};
        DateTime stamp = ZLifelogActivity_getTimestamp(activity);
        EXPECT_EQ(std::memcmp(&stamp, &none, sizeof stamp), 0) << "builders set no time stamp";
        ZLifelogActivity_delete(activity);
    }
}

TEST_F(BuilderTest, MissingRequiredTextGivesInvalidArgumentAndNothing) {
    const std::pair<const char*, Builder> cases[] = {
        {"call without number",
         [](unsigned int* e) { return _CreateCallActivity(nullptr, 1, 1, 1, 1, 1, 1, 1, "x", e); }},
        {"message without number",
         [](unsigned int* e) { return _CreateMsgActivity(nullptr, 1, 1, "t", 1, 1, 1, 1, "x", e); }},
        {"message without text",
         [](unsigned int* e) { return _CreateMsgActivity("1", 1, 1, nullptr, 1, 1, 1, 1, "x", e); }},
        {"media without title",
         [](unsigned int* e) {
             return _CreateMediaActivity(1, nullptr, "u", 1, "a", "b", "c", 1, 1, 1, 1, "x", e);
         }},
        {"photo without title",
         [](unsigned int* e) { return _CreatePhotoActivity(nullptr, "u", "t", 1, 1, 1, 1, "x", e); }},
    };
    for (const auto& [label, build] : cases) {
        SCOPED_TRACE(label);
        unsigned int err = 0;
        EXPECT_EQ(build(&err), nullptr);
        EXPECT_EQ(err, 4u);
        EXPECT_EQ(Mem_getLiveCount(), 0);
    }
}

TEST_F(BuilderTest, SummaryKeepsThirtyWholeCharacters) {
    struct Case {
        const char* label;
        std::string text;
        std::string summary;
    };
    const Case cases[] = {
        {"ASCII, 40 characters", repeat("abcd", 10), repeat("abcd", 7) + "ab"},
        {"ASCII, 10 characters", "0123456789", "0123456789"},
        {"exactly 30", repeat("x", 30), repeat("x", 30)},
        {"two-byte characters", repeat("\xC3\xA9", 40), repeat("\xC3\xA9", 30)},
        {"three-byte characters", repeat("\xE2\x82\xAC", 40), repeat("\xE2\x82\xAC", 30)},
        {"four-byte characters", repeat("\xF0\x9F\x98\x80", 31), repeat("\xF0\x9F\x98\x80", 30)},
        {"cut falls after a whole sequence", repeat("a", 29) + repeat("\xE2\x82\xAC", 3),
         repeat("a", 29) + "\xE2\x82\xAC"},
        {"stray continuation bytes count one each", repeat("\x80", 35), repeat("\x80", 30)},
        {"sequence cut short by the end of the text", repeat("a", 29) + "\xF0\x9F",
         repeat("a", 29) + "\xF0\x9F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto text = exact(c.text);
        unsigned int err = 0;
        ZLifelogActivity* activity =
            _CreateMsgActivity("1", 0, 0, text.get(), 0, 0, 0, 0, nullptr, &err);
        ASSERT_NE(activity, nullptr);
        auto* summary = static_cast<ZLifelogActivityItem*>(
            List_getAt(ZLifelogActivity_getAllActivityItems(activity), 3));
        EXPECT_STREQ(ZLifelogActivityItem_getKey(summary), "MSGLOG_SUMMARY");
        EXPECT_EQ(std::string(static_cast<char*>(ZLifelogActivityItem_getValue(summary))),
                  c.summary);
        ZLifelogActivity_delete(activity);
    }
    // Thirty characters of three bytes each are ninety bytes.
    EXPECT_EQ(repeat("\xE2\x82\xAC", 30).size(), 90u);
}

TEST_F(BuilderTest, CharacterCountAndCutNeverReadPastTheText) {
    struct Case {
        const char* label;
        std::string text;
        uint32_t length;
        uint32_t cutAt;
        std::string cut;
    };
    const Case cases[] = {
        {"empty", "", 0, 3, ""},
        {"ASCII", "abc", 3, 2, "ab"},
        {"one of each width", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 4, 3,
         "a\xC3\xA9\xE2\x82\xAC"},
        {"four-byte first", "\xF0\x9F\x98\x80z", 2, 1, "\xF0\x9F\x98\x80"},
        {"lone lead byte at the end", "ab\xF0", 3, 3, "ab\xF0"},
        {"three-byte lead with one byte left", "\xE2\x82", 1, 1, "\xE2\x82"},
        {"two-byte lead at the end", "x\xC3", 2, 1, "x"},
        {"stray continuation", "\xBF\xBF" "a", 3, 2, "\xBF\xBF"},
        {"longer cut than text", "h\xC3\xA9llo", 5, 30, "h\xC3\xA9llo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto text = exact(c.text);
        EXPECT_EQ(__LifelogUtil_getStringLengthUTF8(text.get()), c.length);
        unsigned int err = 99;
        char* cut = __LifelogUtil_convertToTruncatedUTF8(text.get(), c.cutAt, &err);
        ASSERT_NE(cut, nullptr);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(std::string(cut), c.cut);
        Mem_freeEx(cut, __FILE__, __LINE__);
    }
    EXPECT_EQ(__LifelogUtil_getStringLengthUTF8(nullptr), 0u);
    unsigned int err = 77;
    EXPECT_EQ(__LifelogUtil_convertToTruncatedUTF8("abc", 0, &err), nullptr);
    EXPECT_EQ(__LifelogUtil_convertToTruncatedUTF8(nullptr, 5, &err), nullptr);
    EXPECT_EQ(err, 77u) << "nothing to cut leaves the error slot alone";
}

TEST_F(BuilderTest, TimestampTextIsReadOrRejectedWithoutHarm) {
    struct Case {
        const char* label;
        const char* text;  // nullptr: no text at all
        bool valid;
        DateTime date;
    };
    const Case cases[] = {
        {"database form", "2024-03-05 07:08:09", true, {2024, 3, 5, 7, 8, 9, 0}},
        {"ranges are not checked", "2024-13-45 25:61:99", true, {2024, 13, 45, 25, 61, 99, 0}},
        {"the separator between date and time is not looked at", "1999-12-31T23:59:58", true,
         {1999, 12, 31, 23, 59, 58, 0}},
        {"text after the time is ignored", "2000-01-02 03:04:05.678Z", true,
         {2000, 1, 2, 3, 4, 5, 0}},
        {"pieces read as numbers up to the first other character", "20x4-0a-1b 1:2:3", true,
         {20, 0, 1, 1, 2, 3, 0}},
        {"date part with two pieces", "2024-0305 07:08:09", false, {}},
        {"time part with two pieces", "2024-03-05 07:0809", false, {}},
        {"date only", "2024-03-05", false, {}},
        {"date and blank", "2024-03-05 ", false, {}},
        {"empty", "", false, {}},
        {"short junk", "junk", false, {}},
        {"separators everywhere", "----------:::::::::", false, {}},
        {"no text", nullptr, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        clearLog();
        std::unique_ptr<char[]> text = c.text != nullptr ? exact(c.text) : nullptr;
        unsigned int err = 99;
        DateTime got = _ConvertToDate(text.get(), &err);
        EXPECT_EQ(std::memcmp(&got, &c.date, sizeof got), 0)
            << got.year << "-" << got.month << "-" << got.day << " " << got.hour << ":"
            << got.minute << ":" << got.second << " r" << got.reserved;
        EXPECT_EQ(err, c.valid ? 0u : 11u);
        EXPECT_EQ(countLog(kError, "_ConvertToDate: DataFormat exception", 10, "_ConvertToDate"),
                  c.valid ? 0 : 1);
        EXPECT_EQ(logTexts(kError).size(), c.valid ? 0u : 1u);
    }
}

// True when the planned allocation failure was used up during the call: a
// countdown still running fails one of the next n allocations.
bool failureWasReached(long n) {
    std::vector<void*> probes;
    bool reached = true;
    for (long i = 0; i < n; ++i) {
        void* block = Mem_allocEx(1, __FILE__, __LINE__);
        if (block == nullptr) {
            reached = false;
            break;
        }
        probes.push_back(block);
    }
    for (void* block : probes) {
        Mem_freeEx(block, __FILE__, __LINE__);
    }
    return reached;
}

// Fails each allocation of a build in turn: every failure leaves nothing
// behind and reports a code, except that a message whose text cannot be cut
// keeps an empty summary.  The loop ends with a build that met no failure.
TEST_F(BuilderTest, FailedAllocationAnywhereLeavesNothing) {
    const std::pair<const char*, Builder> cases[] = {
        {"call",
         [](unsigned int* e) { return _CreateCallActivity("1", 1, 2, 0, 1, 2, 3, 4, "l", e); }},
        {"message",
         [](unsigned int* e) {
             return _CreateMsgActivity("1", 1, 1, "a text longer than thirty characters", 1, 2, 3,
                                       4, "l", e);
         }},
        {"media",
         [](unsigned int* e) {
             return _CreateMediaActivity(1, "t", "u", 9, "a", "b", "c", 1, 2, 3, 4, "l", e);
         }},
        {"photo",
         [](unsigned int* e) { return _CreatePhotoActivity("t", "u", "g", 1, 2, 3, 4, "l", e); }},
    };
    for (const auto& [label, build] : cases) {
        SCOPED_TRACE(label);
        unsigned int err = 0;
        ZLifelogActivity* expected = build(&err);
        ASSERT_NE(expected, nullptr);
        const std::vector<std::string> whole = describe(expected);
        ZLifelogActivity_delete(expected);
        std::vector<std::string> emptySummary = whole;
        for (std::string& item : emptySummary) {
            if (item.rfind("MSGLOG_SUMMARY=", 0) == 0) {
                item = "MSGLOG_SUMMARY=s:";
            }
        }
        bool complete = false;
        int degraded = 0;
        for (long n = 1; n < 200 && !complete; ++n) {
            SCOPED_TRACE(n);
            Mem_failAfter(n);
            ZLifelogActivity* activity = build(&err);
            complete = !failureWasReached(n);
            Mem_failAfter(0);
            if (activity == nullptr) {
                EXPECT_FALSE(complete);
                EXPECT_NE(err, 0u);
            } else {
                EXPECT_EQ(err, 0u);
                std::vector<std::string> items = describe(activity);
                if (complete || items != emptySummary) {
                    EXPECT_EQ(items, whole);
                } else {
                    ++degraded;
                }
                ZLifelogActivity_delete(activity);
            }
            EXPECT_EQ(Mem_getLiveCount(), 0);
        }
        EXPECT_TRUE(complete);
        EXPECT_EQ(degraded, std::string(label) == "message" ? 1 : 0);
    }
}

TEST_F(BuilderTest, CellAndLocationFailuresReportOutOfMemoryAndKeepEarlierItems) {
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        unsigned int err = 0;
        ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_MEDIA", &err);
        ASSERT_NE(activity, nullptr);
        Mem_failAfter(n);
        __AddLocatinInfo(activity, 1, 2, 3, 4, "somewhere", &err);
        Mem_failAfter(0);
        std::vector<std::string> items = describe(activity);
        ZLifelogActivity_delete(activity);
        EXPECT_EQ(Mem_getLiveCount(), 0);
        const std::vector<std::string> whole = {"MDLOG_CELLID=i:1", "MDLOG_LAC=i:2",
                                                "MDLOG_MCC=i:3", "MDLOG_MNC=i:4",
                                                "LOCATION=s:somewhere"};
        if (err == 0) {
            EXPECT_EQ(items, whole);
            break;
        }
        EXPECT_EQ(err, 1u);
        ASSERT_LT(items.size(), whole.size());
        EXPECT_EQ(items, std::vector<std::string>(whole.begin(), whole.begin() + items.size()));
        ASSERT_LT(n, 100);
    }
}

}  // namespace
