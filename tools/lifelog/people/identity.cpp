// Numbers to identities with libphonenumber.
#include "people/identity.h"

#include <phonenumbers/phonenumberutil.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "base/failure.h"
#include "base/text.h"

namespace lifelog_tool {

namespace pn = i18n::phonenumbers;

namespace {

std::string& regionSetting() {
    static std::string region;
    return region;
}

// A text with a letter or an '@' names a sender or an address, never a
// number: the number library would read "AMAZON" or "1-800-FLOWERS" as the
// digits of a keypad, which a phone's log never means.
bool namesSomething(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == '@' || std::isalpha(static_cast<unsigned char>(c)) != 0;
    });
}

// The country of a locale name: "en_US.UTF-8" -> "US", "C" -> "".
std::string regionOfLocale(std::string_view locale) {
    size_t underscore = locale.find('_');
    if (underscore == std::string_view::npos || locale.size() < underscore + 3) {
        return {};
    }
    return upperCase(locale.substr(underscore + 1, 2));
}

}  // namespace

void useRegion(const std::string& region) {
    regionSetting() = region;
}

const std::string& regionOption() {
    return regionSetting();
}

std::string localeRegion() {
    for (const char* name : {"LC_ALL", "LC_TELEPHONE", "LANG"}) {
        const char* value = getenv(name);
        if (value != nullptr && *value != 0) {
            return regionOfLocale(value);
        }
    }
    return {};
}

std::string checkedRegion(std::string_view region) {
    std::string code = upperCase(region);
    std::set<std::string> known;
    pn::PhoneNumberUtil::GetInstance()->GetSupportedRegions(&known);
    if (known.count(code) == 0) {
        throw UsageError(
            "--region takes a two-letter country the number library knows, "
            "such as US, GB or DE; not \"" +
            std::string(region) + "\"");
    }
    return code;
}

Normaliser::Normaliser(std::string region) : region_(region.empty() ? "ZZ" : std::move(region)) {}

bool Normaliser::isPhoneNumber(std::string_view identity) {
    return identity.size() > 1 && identity.front() == '+' &&
           std::all_of(identity.begin() + 1, identity.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

const std::string& Normaliser::identity(const std::string& logged) {
    auto found = known_.find(logged);
    if (found == known_.end()) {
        found = known_.emplace(logged, identityOf(logged, region_)).first;
    }
    return found->second;
}

std::string identityOf(std::string_view logged, const std::string& region) {
    if (logged.empty() || namesSomething(logged)) {
        return lowerCase(logged);
    }
    const pn::PhoneNumberUtil& util = *pn::PhoneNumberUtil::GetInstance();
    pn::PhoneNumber number;
    std::string text(logged);
    if (util.Parse(text, region.empty() ? "ZZ" : region, &number) !=
            pn::PhoneNumberUtil::NO_PARSING_ERROR ||
        !util.IsPossibleNumber(number)) {
        return lowerCase(logged);
    }
    std::string e164;
    util.Format(number, pn::PhoneNumberUtil::E164, &e164);
    return e164;
}

}  // namespace lifelog_tool
