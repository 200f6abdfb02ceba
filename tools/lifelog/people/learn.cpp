// What the store learns: names from backups, people from the user.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "people/people.h"

namespace lifelog_tool {

namespace {

// A name's own blanks; line breaks stay, for unreadableName to refuse.
std::string trimmedName(const std::string& text) {
    return trimmed(text, " \t");
}

bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace

std::string unreadableName(const std::string& name) {
    if (validUtf8(name) != name) {
        return "not UTF-8 text";
    }
    if (hasControl(name)) {
        return "holds a control character";
    }
    if (trimmedName(name).empty()) {
        return "empty";
    }
    return {};
}

bool isUsableName(const std::string& name) {
    static const char* const kPlaceholders[] = {"(unknown)", "unknown",   "null",
                                                "(null)",    "<unknown>", "no name"};
    std::string word = lowerCase(trimmedName(name));
    return unreadableName(name).empty() &&
           std::none_of(std::begin(kPlaceholders), std::end(kPlaceholders),
                        [&](const char* placeholder) { return word == placeholder; });
}

Learnt learnImportedNames(ContactsStore& store, const std::vector<FoundName>& found) {
    Learnt learnt;
    Normaliser normaliser(effectiveRegion(store));
    store.begin();
    for (const FoundName& entry : found) {
        std::string name = trimmedName(entry.name);
        if (std::string why = unreadableName(entry.name); !why.empty() && !name.empty()) {
            learnt.problems.push_back(
                fmt::format("{}:{}: the name of {} cannot be read ({}): skipped", entry.file,
                            entry.line, entry.number, why));
        }
        if (!isUsableName(name)) {
            continue;
        }
        const std::string& identity = normaliser.identity(entry.number);
        if (store.ownerOf(identity)) {
            continue;  // the person who has it keeps it, and their name
        }
        std::optional<int64_t> person = store.personNamed(name);
        if (!person) {
            person = store.addPerson(name, NamedBy::Import);
            ++learnt.people;
        }
        store.claim(*person, identity, entry.number);
        ++learnt.numbers;
    }
    store.commit();
    return learnt;
}

void learnPerson(ContactsStore& store, Normaliser& normaliser, const std::string& name,
                 const std::vector<std::string>& numbers, Learnt& learnt) {
    std::optional<int64_t> person = store.personNamed(name);
    if (!person) {
        person = store.addPerson(name, NamedBy::User);
        ++learnt.people;
    }
    for (const std::string& number : numbers) {
        Claim claim = store.claim(*person, normaliser.identity(number), number);
        if (claim.outcome == Claim::Added) {
            ++learnt.numbers;
        } else if (claim.outcome == Claim::TakenByAnother) {
            learnt.problems.push_back(
                fmt::format("{} claims {}, which {} already has: kept with {}", name, number,
                            claim.owner, claim.owner));
        }
    }
}

void keepRegionOption(ContactsStore& store) {
    if (!regionOption().empty() && store.setting("region") != regionOption()) {
        store.keepSetting("region", regionOption());
    }
}

}  // namespace lifelog_tool
