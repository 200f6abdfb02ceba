// The contacts store: the tool's own SQLite file beside the life log,
// /SystemRW/Lifelog/Database/people.db under the platform root (never the
// library's lifelog.db, whose schema stays the library's).  docs/people.md
// has its schema:
//
//   settings(key TEXT PRIMARY KEY, value TEXT)       -- "region": the default region
//   people(id INTEGER PRIMARY KEY, name TEXT, named_by TEXT)  -- 'user' or 'import'
//   numbers(identity TEXT PRIMARY KEY, person INTEGER, written TEXT)
//
// A person has a name and one or more numbers; a number (its identity,
// people/identity.h) belongs to at most one person.  A name the user gave
// (add, rename, a vCard) is never replaced by one an import found.
#ifndef LIFELOG_TOOL_PEOPLE_STORE_H
#define LIFELOG_TOOL_PEOPLE_STORE_H

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lifelog_tool {

inline constexpr const char* kPeoplePath = "/SystemRW/Lifelog/Database/people.db";

enum class NamedBy { User, Import };

struct StoredNumber {
    std::string identity;
    std::string written;  // as first seen or given
};

struct Person {
    int64_t id = 0;
    std::string name;
    NamedBy namedBy = NamedBy::User;
    std::vector<StoredNumber> numbers;
};

// What became of a number offered to a person.
struct Claim {
    enum Outcome { Added, AlreadyTheirs, TakenByAnother } outcome = Added;
    std::string owner;  // TakenByAnother: who keeps it
};

class ContactsStore {
public:
    enum class Mode { Read, Write };
    // Read: a store that does not exist reads as empty (nothing is made).
    explicit ContactsStore(Mode mode);
    ~ContactsStore();
    ContactsStore(const ContactsStore&) = delete;
    ContactsStore& operator=(const ContactsStore&) = delete;

    static std::filesystem::path file();

    std::string setting(const std::string& key) const;
    void keepSetting(const std::string& key, const std::string& value);

    std::vector<Person> people() const;  // by name, then id
    std::optional<Person> person(int64_t id) const;
    // The person with exactly this name (the lowest id), or nothing.
    std::optional<int64_t> personNamed(const std::string& name) const;
    // Who holds the identity, or nothing.
    std::optional<int64_t> ownerOf(const std::string& identity) const;

    int64_t addPerson(const std::string& name, NamedBy namedBy);
    Claim claim(int64_t person, const std::string& identity, const std::string& written);
    void rename(int64_t person, const std::string& name, NamedBy namedBy);
    // Moves every number of `from` to `into` and removes `from`.
    void merge(int64_t into, int64_t from);

    // Everything between begin() and commit() lands at once or not at all.
    void begin();
    void commit();

private:
    void run(const char* sql) const;
    sqlite3* db_ = nullptr;
};

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_PEOPLE_STORE_H
