// The directory: the store read once, asked for every row.
#include "people/people.h"

#include <algorithm>

#include "base/text.h"

namespace lifelog_tool {

std::string personKey(int64_t id) {
    return "person:" + std::to_string(id);
}

std::string effectiveRegion(const ContactsStore& store) {
    if (!regionOption().empty()) {
        return regionOption();
    }
    std::string kept = store.setting("region");
    return kept.empty() ? localeRegion() : kept;
}

namespace {

Normaliser normaliserOf(const ContactsStore& store) {
    return Normaliser(effectiveRegion(store));
}

}  // namespace

Directory::Directory() : normaliser_("") {
    ContactsStore store(ContactsStore::Mode::Read);
    normaliser_ = normaliserOf(store);
    people_ = store.people();
    for (size_t i = 0; i < people_.size(); ++i) {
        for (const StoredNumber& number : people_[i].numbers) {
            // The identity as stored, and as the written form reads under
            // today's region (the store may have been filled under another).
            byIdentity_.emplace(number.identity, i);
            byIdentity_.emplace(normaliser_.identity(number.written), i);
        }
    }
}

Who Directory::who(const std::string& logged) {
    const std::string& identity = normaliser_.identity(logged);
    auto found = byIdentity_.find(identity);
    if (found == byIdentity_.end()) {
        return Who{identity, {}, 0};
    }
    const Person& person = people_[found->second];
    return Who{personKey(person.id), person.name, person.id};
}

const Person* Directory::person(int64_t id) const {
    for (const Person& someone : people_) {
        if (someone.id == id) {
            return &someone;
        }
    }
    return nullptr;
}

std::vector<int64_t> Directory::namesHolding(const std::string& text) const {
    std::vector<int64_t> ids;
    std::string wanted = lowerCase(text);
    for (const Person& someone : people_) {
        if (!wanted.empty() && lowerCase(someone.name).find(wanted) != std::string::npos) {
            ids.push_back(someone.id);
        }
    }
    return ids;
}

}  // namespace lifelog_tool
