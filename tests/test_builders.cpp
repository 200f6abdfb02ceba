// Activity builders, UTF-8 counting and cutting, and the time-stamp reader.
#include <memory>
#include <tuple>

#include "fixture.h"
#include "zkivLifelog.h"

namespace {

// "KIND: KEY=<number> KEY='<text>' ...", the items in list order.
std::string describe(ZLifelogActivity* activity) {
    std::string all = std::string(ZLifelogActivity_getName(activity)) + ":";
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    while (auto* item = static_cast<ZLifelogActivityItem*>(List_getNext(&cursor))) {
        void* value = ZLifelogActivityItem_getValue(item);
        all += std::string(" ") + ZLifelogActivityItem_getKey(item) + "=" +
               (ZLifelogActivityItem_getValueType(item) == LIFELOG_VALUE_INT
                    ? std::to_string(*static_cast<int32_t*>(value))
                    : "'" + std::string(static_cast<char*>(value)) + "'");
    }
    return all;
}

// A heap copy of exactly the text and its terminator: AddressSanitizer sees any read past it.
std::unique_ptr<char[]> exact(const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

std::string times(int n, const std::string& piece) {
    std::string text;
    while (n-- > 0) text += piece;
    return text;
}

class BuilderTest : public LifelogTest {};

// Each builder's items in order, values mapped; a null required text gives
// an invalid argument and nothing.
TEST_F(BuilderTest, ItemsComeInOrderWithMappedValues) {
    const std::pair<const char*, std::function<ZLifelogActivity*(unsigned int*)>> cases[] = {
        {"ACTIVITY_CALL: CLOG_PHONE_NUMBER='+49' CLOG_DIRECTION=0 CLOG_DURATION=-7 CLOG_TYPE=-1 "
         "CLOG_CELLID=11 CLOG_LAC=22 CLOG_MCC=33 CLOG_MNC=44 LOCATION='home'",
         [](auto e) { return _CreateCallActivity("+49", 5, -7, -1, 11, 22, 33, 44, "home", e); }},
        {"ACTIVITY_MESSAGE: MSGLOG_PHONE_NUMBER='5' MSGLOG_DIRECTION=0 MSGLOG_TYPE=0 "
         "MSGLOG_SUMMARY='' MSGLOG_CELLID=1 MSGLOG_LAC=2 MSGLOG_MCC=3 MSGLOG_MNC=4 LOCATION='R'",
         [](auto e) { return _CreateMsgActivity("5", 2, -1, "", 1, 2, 3, 4, "R", e); }},
        {"ACTIVITY_MEDIA: MDLOG_TYPE=2 MDLOG_TITLE='S' MDLOG_PLAY_TIME=185 MDLOG_MEDIA_URI='u' "
         "MDLOG_ARTIST='A' MDLOG_ALBUM='B' MDLOG_CATEGORY='C' MDLOG_CELLID=5 MDLOG_LAC=6 "
         "MDLOG_MCC=7 MDLOG_MNC=8",
         [](auto e) {
             return _CreateMediaActivity(2, "S", "u", 185, "A", "B", "C", 5, 6, 7, 8, 0, e);
         }},
        {"ACTIVITY_MEDIA: MDLOG_TYPE=0 MDLOG_TITLE='S' MDLOG_ARTIST='A' MDLOG_CELLID=5 MDLOG_LAC=6 "
         "MDLOG_MCC=7 MDLOG_MNC=8 LOCATION='x'",
         [](auto e) { return _CreateMediaActivity(3, "S", 0, 0, "A", 0, 0, 5, 6, 7, 8, "x", e); }},
        {"ACTIVITY_PHOTO: PTLOG_TITLE='T' PTLOG_URI='u' PTLOG_TAG='g' LOCATION='Nice'",
         [](auto e) { return _CreatePhotoActivity("T", "u", "g", 1, 2, 3, 4, "Nice", e); }},
        {"ACTIVITY_PHOTO: PTLOG_TITLE='T'",
         [](auto e) { return _CreatePhotoActivity("T", 0, 0, 1, 2, 3, 4, 0, e); }},
        {nullptr,
         [](auto e) { return _CreatePhotoActivity(nullptr, "u", "t", 1, 1, 1, 1, "x", e); }},
        {nullptr,
         [](auto e) { return _CreateMsgActivity(nullptr, 1, 1, "t", 1, 1, 1, 1, "x", e); }},
    };
    for (const auto& [items, build] : cases) {
        SCOPED_TRACE(items != nullptr ? items : "null required text");
        unsigned int err = 99;
        ZLifelogActivity* activity = build(&err);
        EXPECT_EQ(err, items != nullptr ? LIFELOG_E_SUCCESS : LIFELOG_E_INVALID_ARG);
        ASSERT_EQ(activity != nullptr, items != nullptr);
        if (activity != nullptr) {
            EXPECT_EQ(describe(activity), items);
            ZLifelogActivity_delete(activity);
        }
    }
}

// A cut keeps whole characters; counting and cutting stop at the terminator
// even when it comes inside a sequence.
TEST_F(BuilderTest, CutToThirtyKeepsWholeCharactersNeverReadingPastTheText) {
    const std::string euro = "\xE2\x82\xAC", a29 = times(29, "a");
    const std::tuple<std::string, uint32_t, std::string> cases[] = {
        {times(40, "x"), 40, times(30, "x")},
        {times(40, "\xC3\xA9"), 40, times(30, "\xC3\xA9")},
        {times(31, euro), 31, times(30, euro)},
        {times(31, "\xF0\x9F\x98\x80"), 31, times(30, "\xF0\x9F\x98\x80")},
        {a29 + euro + euro, 31, a29 + euro},
        {times(35, "\x80"), 35, times(30, "\x80")},  // stray continuation bytes
        {a29 + "\xF0\x9F", 30, a29 + "\xF0\x9F"},    // four-byte sequence cut short
        {"ab\xF0", 3, "ab\xF0"},                     // lone lead byte at the end
        {"\xE2\x82", 1, "\xE2\x82"},                 // three-byte sequence cut short
    };
    for (const auto& [whole, length, kept] : cases) {
        SCOPED_TRACE(length);
        auto text = exact(whole);
        EXPECT_EQ(__LifelogUtil_getStringLengthUTF8(text.get()), length);
        unsigned int err = 99;
        char* cut = __LifelogUtil_convertToTruncatedUTF8(text.get(), 30, &err);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(cut, kept);
        Mem_freeEx(cut, __FILE__, __LINE__);
    }
}

TEST_F(BuilderTest, TimestampTextGivesADateOrInvalidFormatWithSevenZeros) {
    const std::pair<const char*, DateTime> cases[] = {
        {"2024-03-05 07:08:09", {2024, 3, 5, 7, 8, 9, 0}},
        {"20x4-0a-1b 1:2:3", {20, 0, 1, 1, 2, 3, 0}},  // each piece read as far as it is a number
        {"2024-0305 07:08:09", {}},
        {"2024-03-05 07:0809", {}},
        {"2024-03-05 ", {}},
        {"----------:::::::::", {}},
        {"junk", {}},
        {"", {}},
        {nullptr, {}},
    };
    for (const auto& [stamp, date] : cases) {
        SCOPED_TRACE(stamp != nullptr ? stamp : "(null)");
        clearLog();
        auto text = stamp != nullptr ? exact(stamp) : nullptr;
        const bool refused = date.year == 0;
        unsigned int err = 99;
        DateTime got = _ConvertToDate(text.get(), &err);
        EXPECT_EQ(std::memcmp(&got, &date, sizeof got), 0) << got.year << " " << got.second;
        EXPECT_EQ(err, refused ? LIFELOG_E_INVALID_FORMAT : LIFELOG_E_SUCCESS);
        EXPECT_EQ(countLog(kError, "_ConvertToDate: DataFormat exception", 10, "_ConvertToDate"),
                  refused ? 1 : 0);
    }
}

}  // namespace
