// The tool's parts in process: its one UTF-8 decoder and its one check of
// an activity's fields before it is logged.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/failure.h"
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

}  // namespace
