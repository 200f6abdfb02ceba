// The people layer: who is behind the numbers of the log.  The contacts
// store (store.h), numbers turned into identities (identity.h), the vCard
// reader (vcard.h), what is learnt from imports and the user (this header:
// learn.cpp), and the directory every reader asks for a name (this header:
// directory.cpp).  It stands on base/ only; backup/, web/, demo/ and
// commands/ ask it.
//
//   Directory people;                     // the store at the root, read once
//   Who who = people.who("234-567-8910"); // {"person:3", "Ana", 3} or {"+12345678910", "", 0}
#ifndef LIFELOG_TOOL_PEOPLE_PEOPLE_H
#define LIFELOG_TOOL_PEOPLE_PEOPLE_H

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "people/identity.h"
#include "people/store.h"

namespace lifelog_tool {

// The default region for numbers: --region, else the store's, else the locale's.
std::string effectiveRegion(const ContactsStore& store);

// Who a logged number stands for: a person of the store (key "person:ID"),
// or the number's identity alone (key = the identity, no name).
struct Who {
    std::string key;   // personKey(person), or the identity
    std::string name;  // "" when no one in the store has the number
    int64_t person = 0;
};

// The key of a person of the store: "person:ID".
std::string personKey(int64_t id);

class Directory {
public:
    Directory();  // reads the store of the current root

    const std::string& region() const { return normaliser_.region(); }
    Who who(const std::string& logged);
    std::string nameOf(const std::string& logged) { return who(logged).name; }
    const std::vector<Person>& people() const { return people_; }
    const Person* person(int64_t id) const;
    // The people whose name holds `text` (letters case-folded).
    std::vector<int64_t> namesHolding(const std::string& text) const;

private:
    Normaliser normaliser_;
    std::vector<Person> people_;
    std::unordered_map<std::string, size_t> byIdentity_;  // index into people_
};

// ------------------------------------------------------------ learning

// Keeps the --region of this run as the store's default region, so that
// later runs without it read numbers alike.
void keepRegionOption(ContactsStore& store);

// A name from somewhere other than the user (a backup's contact_name).
struct FoundName {
    std::string number;
    std::string name;
    std::string file;
    long line = 0;
};

// The text is a name worth keeping: valid UTF-8, no control character, not
// empty or blank, not a placeholder ("(Unknown)", "null", "Unknown").
bool isUsableName(const std::string& name);
// Why the text cannot be a name (for a report), or "" when it can.
std::string unreadableName(const std::string& name);

// What a run of learning did, for the report.
struct Learnt {
    long people = 0;                    // people added
    long numbers = 0;                   // numbers added to someone
    std::vector<std::string> problems;  // one line each: what was refused and why
};

// Names found in a backup: a number no one has goes to the person of that
// name (made when there is none); a number someone has keeps its person,
// whose imported name the first one found stays.
Learnt learnImportedNames(ContactsStore& store, const std::vector<FoundName>& found);

// A person the user names with their numbers (contacts add, a vCard card):
// the person of that name, made when there is none; a number someone else
// has stays theirs and is reported.
void learnPerson(ContactsStore& store, Normaliser& normaliser, const std::string& name,
                 const std::vector<std::string>& numbers, Learnt& learnt);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_PEOPLE_PEOPLE_H
