// The tool's parts in process: its one UTF-8 decoder, its one check of an
// activity's fields before it is logged, its one reading of orders and
// bounds, and its time zones across clock changes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backup/mapping.h"
#include "base/failure.h"
#include "base/query.h"
#include "base/text.h"
#include "logging/activity.h"

namespace {

TEST(ToolText, DecoderTakesOnlyWellFormedUtf8) {
    using S = lifelog_tool::Utf8Sequence;
    const struct {
        std::string bytes;
        S::Status status;
        size_t length;
        uint32_t point;
    } cases[] = {
        {"A", S::kValid, 1, 0x41},
        {"\xC3\xA9x", S::kValid, 2, 0xE9},
        {"\xE2\x82\xAC", S::kValid, 3, 0x20AC},
        {"\xF0\x9F\x98\x80", S::kValid, 4, 0x1F600},
        {"\xEF\xBF\xBF", S::kValid, 3, 0xFFFF},
        {"\xC0\x80", S::kInvalid, 1, 0},          // overlong
        {"\xE0\x9F\xBF", S::kInvalid, 1, 0},      // overlong
        {"\xED\xA0\x80", S::kInvalid, 1, 0},      // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", S::kInvalid, 1, 0},  // past U+10FFFF
        {"\xF5\x80\x80\x80", S::kInvalid, 1, 0},
        {"\x80", S::kInvalid, 1, 0},
        {"\xE2\x28\xA1", S::kInvalid, 1, 0},
        {"\xE2\x82", S::kIncomplete, 1, 0},
        {"\xF0\x9F\x98", S::kIncomplete, 1, 0},
    };
    for (const auto& c : cases) {
        S sequence = lifelog_tool::decodeUtf8(c.bytes);
        EXPECT_EQ(sequence.status, c.status) << testing::PrintToString(c.bytes);
        EXPECT_EQ(sequence.length, c.length) << testing::PrintToString(c.bytes);
        if (c.status == S::kValid) {
            EXPECT_EQ(sequence.point, c.point) << testing::PrintToString(c.bytes);
        }
    }
    EXPECT_EQ(lifelog_tool::validUtf8("a\xC0\x80z"), "a\xEF\xBF\xBD\xEF\xBF\xBDz");
    EXPECT_EQ(lifelog_tool::characterCount("\xC3\xA9\xE2\x82"), 3u);
}

// What the field check says of an activity, "" when it passes.
std::string refusalOf(const lifelog_tool::Activity& activity) {
    try {
        lifelog_tool::checkFields(activity,
                                  [](std::string_view field) { return "--" + std::string(field); });
        return "";
    } catch (const lifelog_tool::UsageError& refused) {
        return refused.what();
    }
}

// An activity of the kind with the given fields set.
lifelog_tool::Activity activity(lifelog_tool::KindId kind,
                                const std::vector<std::pair<std::string, std::string>>& fields) {
    lifelog_tool::Activity a;
    a.kind = kind;
    for (const auto& [name, value] : fields) {
        std::string* field = name == "number"   ? &a.number
                             : name == "text"   ? &a.text
                             : name == "title"  ? &a.title
                             : name == "artist" ? &a.artist
                                                : &a.category;
        *field = value;
    }
    return a;
}

TEST(ToolFields, CheckNamesTheFieldThatDoesNotFitItsColumn) {
    using lifelog_tool::Activity;
    using lifelog_tool::KindId;
    const std::string ue = "\xC3\xBC";  // one character, two bytes
    auto times = [](const std::string& text, int n) {
        std::string all;
        for (int i = 0; i < n; ++i) all += text;
        return all;
    };
    const struct {
        Activity activity;
        std::string refusal;
    } cases[] = {
        {activity(KindId::Call, {{"number", std::string(50, '5')}}), ""},
        {activity(KindId::Call, {{"number", std::string(51, '5')}}),
         "--number is too long: 51 characters, but the CLOG_PHONE_NUMBER column "
         "holds at most 50"},
        {activity(KindId::Message, {{"number", "+1"}, {"text", times(ue, 400)}}), ""},  // kept: 30
        {activity(KindId::Message, {{"number", "+1"}, {"text", "ok \xFF"}}),
         "--text is not valid UTF-8 text"},
        {activity(KindId::Media, {{"title", times(ue, 100)}}), ""},
        {activity(KindId::Media, {{"title", times(ue, 101)}}),
         "--title is too long: 101 characters, but the MDLOG_TITLE column holds "
         "at most 100"},
        {activity(KindId::Media, {{"title", "t"}, {"artist", times("a", 51)}}),
         "--artist is too long: 51 characters, but the MDLOG_ARTIST column holds "
         "at most 50"},
        {activity(KindId::Media, {{"title", "t"}, {"category", "\x01\xC3"}}),
         "--category is not valid UTF-8 text"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusalOf(c.activity), c.refusal) << c.refusal;
    }
}

// What the order reading makes of an option, or its refusal.
std::string orderReading(const char* kind, const std::string& text) {
    try {
        auto [column, type] = lifelog_tool::orderOf(lifelog_tool::kindByWord(kind), text);
        return column + (type == LIFELOG_ORDER_ASC ? " asc" : " desc");
    } catch (const lifelog_tool::UsageError& refused) {
        return refused.what();
    }
}

TEST(ToolOptions, OrdersNameAColumnByEitherNameAndAWayUpOrDown) {
    const struct {
        const char* kind;
        std::string text, reading;
    } cases[] = {
        {"call", "duration", "CLOG_DURATION asc"},
        {"call", "duration:desc", "CLOG_DURATION desc"},
        {"call", "CLOG_DURATION:up", "CLOG_DURATION asc"},
        {"call", "Duration:DOWN", "CLOG_DURATION desc"},
        {"message", "summary:asc", "MSGLOG_SUMMARY asc"},
        {"media", "play_time:desc", "MDLOG_PLAY_TIME desc"},
        {"call", "duration:sideways", "unknown order 'sideways': use asc or desc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(orderReading(c.kind, c.text), c.reading) << c.text;
    }
    EXPECT_EQ(
        orderReading("call", "summary:desc").rfind("the call table has no column 'summary'", 0), 0u)
        << "a column of another table is refused by name";
}

// What the bound reading makes of --from and --to, or its refusal.
std::string rangeReading(const std::string& from, const std::string& to) {
    try {
        lifelog_tool::Range range = lifelog_tool::rangeOfOptions(from, to);
        auto text = [](const std::optional<DateTime>& t) {
            return t ? lifelog_tool::formatTime(*t) : std::string("-");
        };
        return text(range.from) + " .. " + text(range.to);
    } catch (const lifelog_tool::UsageError& refused) {
        return refused.what();
    }
}

TEST(ToolOptions, BoundsTakeADayAMinuteOrASecondAndRefuseDaysThatDoNotExist) {
    const struct {
        std::string from, to, reading;
    } cases[] = {
        {"2024-02-29", "2024-02-29", "2024-02-29 00:00:00 .. 2024-02-29 23:59:59"},
        {"2024-03-01T08:15", "", "2024-03-01 08:15:00 .. -"},
        {"", "2024-03-01 08:15:59", "- .. 2024-03-01 08:15:59"},
        {"2023-02-29", "",
         "--from \"2023-02-29\": that day or time of day does not exist in "
         "the calendar"},
        {"", "2024-04-31",
         "--to \"2024-04-31\": that day or time of day does not exist in "
         "the calendar"},
        {"2024-03-01 24:00", "",
         "--from \"2024-03-01 24:00\": that day or time of day does "
         "not exist in the calendar"},
        {"yesterday", "", "--from \"yesterday\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\""},
        {"", "2024-3-1", "--to \"2024-3-1\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rangeReading(c.from, c.to), c.reading) << c.from << " / " << c.to;
    }
}

// A time stamp that a clock change skips is read with the offset before
// the change (02:30 in a gap that jumps to 03:00 is 03:30); one that it
// repeats is its first instant.  Zones with half-hour offsets and with the
// change in the other half of the year too.
TEST(ToolZones, TimeStampsAcrossClockChangesInZonesOfBothHemispheres) {
    const struct {
        const char* zone;
        const char* stamp;
        int64_t millis;
        const char* back;  // the stamp the instant reads as
    } cases[] = {
        {"Europe/Berlin", "2024-03-31 02:30:00", 1711848600000, "2024-03-31 03:30:00"},
        {"Europe/Berlin", "2024-10-27 02:30:00", 1729989000000, "2024-10-27 02:30:00"},
        {"America/New_York", "2024-03-10 02:30:00", 1710055800000, "2024-03-10 03:30:00"},
        {"America/New_York", "2024-11-03 01:30:00", 1730611800000, "2024-11-03 01:30:00"},
        {"Asia/Kolkata", "2024-06-14 09:30:00", 1718337600000, "2024-06-14 09:30:00"},
        {"Australia/Adelaide", "2024-04-07 02:30:00", 1712419200000, "2024-04-07 02:30:00"},
        {"Australia/Adelaide", "2024-10-06 02:30:00", 1728147600000, "2024-10-06 03:30:00"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(lifelog_tool::useZone(c.zone)) << c.zone;
        EXPECT_EQ(lifelog_tool::millisOfTimestamp(c.stamp), c.millis) << c.zone << " " << c.stamp;
        EXPECT_EQ(lifelog_tool::timestampOfMillis(c.millis), c.back) << c.zone << " " << c.stamp;
    }
    // The second of the two instants a repeated hour holds reads the same.
    ASSERT_TRUE(lifelog_tool::useZone("Europe/Berlin"));
    EXPECT_EQ(lifelog_tool::timestampOfMillis(1729992600000), "2024-10-27 02:30:00");
    ASSERT_TRUE(lifelog_tool::useZone("UTC"));
}

// Without --tz the zone is the local one: $TZ as the C library reads it,
// with or without its leading ':'.
TEST(ToolZones, TheLocalZoneIsTheOneTzNames) {
    const char* before = getenv("TZ");
    const std::string kept = before != nullptr ? before : "";
    for (const char* setting : {"Asia/Kolkata", ":Asia/Kolkata"}) {
        setenv("TZ", setting, 1);
        ASSERT_TRUE(lifelog_tool::useZone(""));
        EXPECT_EQ(lifelog_tool::timestampOfMillis(1718337600000), "2024-06-14 09:30:00") << setting;
    }
    setenv("TZ", "UTC", 1);
    ASSERT_TRUE(lifelog_tool::useZone(""));
    EXPECT_EQ(lifelog_tool::timestampOfMillis(1718337600000), "2024-06-14 04:00:00");
    before != nullptr ? setenv("TZ", kept.c_str(), 1) : unsetenv("TZ");
}

}  // namespace
