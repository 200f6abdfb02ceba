// Who is at the other end of a row: the number as logged ("234-567-8910",
// "+1 (234) 567-8910", "AMAZON", "7535") turned into one identity that
// compares alike however it was written.
//
// A text that reads as a possible phone number becomes its E.164 form
// ("+12345678910"); a national number needs a default region to be read.
// Everything else stays its own identity, compared exactly with ASCII
// letters folded to lower case: short codes ("7535"), alphanumeric senders
// ("AMAZON" is "amazon"), e-mail addresses, "Unknown", the empty text.
#ifndef LIFELOG_TOOL_PEOPLE_IDENTITY_H
#define LIFELOG_TOOL_PEOPLE_IDENTITY_H

#include <string>
#include <string_view>
#include <unordered_map>

namespace lifelog_tool {

// The region of the --region option ("" when not given), kept for the
// commands that read or write the contacts store.
void useRegion(const std::string& region);
const std::string& regionOption();

// The two-letter country of the locale (LC_ALL, LC_TELEPHONE, LANG:
// "en_US.UTF-8" -> "US"), or "" when it names none.
std::string localeRegion();

// "us" -> "US"; UsageError when the text is no region the number library knows.
std::string checkedRegion(std::string_view region);

// Turns logged numbers into identities for one default region ("" or "ZZ":
// only numbers written with their country code are read as numbers),
// remembering what it has turned before.
class Normaliser {
public:
    explicit Normaliser(std::string region);

    const std::string& region() const { return region_; }
    // The identity of a logged number (E.164, or the text case-folded).
    const std::string& identity(const std::string& logged);
    // True when the identity is a phone number in E.164 form.
    static bool isPhoneNumber(std::string_view identity);

private:
    std::string region_;
    std::unordered_map<std::string, std::string> known_;
};

// The identity without a cache, for one-off use.
std::string identityOf(std::string_view logged, const std::string& region);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_PEOPLE_IDENTITY_H
