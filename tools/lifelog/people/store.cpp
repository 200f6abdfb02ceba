// The contacts store on SQLite.
#include "people/store.h"

#include <fmt/format.h>

#include <stdexcept>
#include <utility>

#include "base/root.h"

namespace lifelog_tool {

namespace {

constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS people(id INTEGER PRIMARY KEY, name TEXT NOT NULL, "
    "named_by TEXT NOT NULL CHECK(named_by IN ('user', 'import')))",
    "CREATE TABLE IF NOT EXISTS numbers(identity TEXT PRIMARY KEY, "
    "person INTEGER NOT NULL REFERENCES people(id), written TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS numbers_person ON numbers(person)",
};

[[noreturn]] void fail(sqlite3* db, const std::string& doing) {
    throw std::runtime_error(fmt::format("the contacts store {}: {} ({})", doing,
                                         db != nullptr ? sqlite3_errmsg(db) : "cannot open",
                                         ContactsStore::file().string()));
}

// One prepared statement, its parameters bound in order, finalised when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (db_ != nullptr && sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr) != SQLITE_OK) {
            fail(db_, "cannot be read");
        }
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement& bind(const std::string& text) {
        sqlite3_bind_text(statement_, ++bound_, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int64_t value) {
        sqlite3_bind_int64(statement_, ++bound_, value);
        return *this;
    }
    // True while there is a row; an empty store (no file) has none.
    bool step() {
        if (statement_ == nullptr) {
            return false;
        }
        int rc = sqlite3_step(statement_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            fail(db_, "cannot be written");
        }
        return rc == SQLITE_ROW;
    }
    int64_t number(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string text(int column) const {
        const unsigned char* value = sqlite3_column_text(statement_, column);
        return value != nullptr ? reinterpret_cast<const char*>(value) : "";
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
    int bound_ = 0;
};

const char* namedByWord(NamedBy namedBy) {
    return namedBy == NamedBy::User ? "user" : "import";
}

}  // namespace

std::filesystem::path ContactsStore::file() {
    return hostPath(kPeoplePath);
}

ContactsStore::ContactsStore(Mode mode) {
    std::filesystem::path path = file();
    std::error_code ignored;
    if (mode == Mode::Read && !std::filesystem::exists(path, ignored)) {
        return;  // no store yet: no one has a name
    }
    if (mode == Mode::Write) {
        std::filesystem::create_directories(path.parent_path(), ignored);
    }
    int flags =
        mode == Mode::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(std::exchange(db_, nullptr));
        fail(nullptr, "cannot be opened");
    }
    sqlite3_busy_timeout(db_, 5000);
    if (mode == Mode::Write) {
        run("PRAGMA journal_mode=WAL");
        for (const char* statement : kSchema) {
            run(statement);
        }
    }
}

ContactsStore::~ContactsStore() {
    sqlite3_close_v2(db_);
}

void ContactsStore::run(const char* sql) const {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(db_, "cannot be written");
    }
}

std::string ContactsStore::setting(const std::string& key) const {
    Statement read(db_, "SELECT value FROM settings WHERE key = ?");
    read.bind(key);
    return read.step() ? read.text(0) : std::string();
}

void ContactsStore::keepSetting(const std::string& key, const std::string& value) {
    Statement write(db_, "INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)");
    write.bind(key).bind(value).step();
}

namespace {

// People with their numbers, a row per number (or one without any).
constexpr const char* kPeopleWithNumbers =
    "SELECT p.id, p.name, p.named_by, n.identity, n.written FROM people p "
    "LEFT JOIN numbers n ON n.person = p.id ";

std::vector<Person> peopleRead(Statement& read) {
    std::vector<Person> all;
    while (read.step()) {
        if (all.empty() || all.back().id != read.number(0)) {
            all.push_back(Person{read.number(0),
                                 read.text(1),
                                 read.text(2) == "user" ? NamedBy::User : NamedBy::Import,
                                 {}});
        }
        if (!read.text(3).empty() || !read.text(4).empty()) {
            all.back().numbers.push_back({read.text(3), read.text(4)});
        }
    }
    return all;
}

}  // namespace

std::vector<Person> ContactsStore::people() const {
    Statement read(db_,
                   (std::string(kPeopleWithNumbers) + "ORDER BY p.name, p.id, n.rowid").c_str());
    return peopleRead(read);
}

std::optional<Person> ContactsStore::person(int64_t id) const {
    Statement read(db_,
                   (std::string(kPeopleWithNumbers) + "WHERE p.id = ? ORDER BY n.rowid").c_str());
    read.bind(id);
    std::vector<Person> found = peopleRead(read);
    return found.empty() ? std::nullopt : std::optional<Person>(std::move(found.front()));
}

std::optional<int64_t> ContactsStore::personNamed(const std::string& name) const {
    Statement read(db_, "SELECT min(id) FROM people WHERE name = ? HAVING count(*) > 0");
    read.bind(name);
    return read.step() ? std::optional<int64_t>(read.number(0)) : std::nullopt;
}

std::optional<int64_t> ContactsStore::ownerOf(const std::string& identity) const {
    Statement read(db_, "SELECT person FROM numbers WHERE identity = ?");
    read.bind(identity);
    return read.step() ? std::optional<int64_t>(read.number(0)) : std::nullopt;
}

int64_t ContactsStore::addPerson(const std::string& name, NamedBy namedBy) {
    Statement write(db_, "INSERT INTO people(name, named_by) VALUES(?, ?)");
    write.bind(name).bind(std::string(namedByWord(namedBy))).step();
    return sqlite3_last_insert_rowid(db_);
}

Claim ContactsStore::claim(int64_t person, const std::string& identity,
                           const std::string& written) {
    std::optional<int64_t> owner = ownerOf(identity);
    if (owner && *owner == person) {
        return {Claim::AlreadyTheirs, {}};
    }
    if (owner) {
        std::optional<Person> holder = this->person(*owner);
        return {Claim::TakenByAnother, holder ? holder->name : std::string()};
    }
    Statement write(db_, "INSERT INTO numbers(identity, person, written) VALUES(?, ?, ?)");
    write.bind(identity).bind(person).bind(written).step();
    return {Claim::Added, {}};
}

void ContactsStore::rename(int64_t person, const std::string& name, NamedBy namedBy) {
    Statement write(db_, "UPDATE people SET name = ?, named_by = ? WHERE id = ?");
    write.bind(name).bind(std::string(namedByWord(namedBy))).bind(person).step();
}

void ContactsStore::merge(int64_t into, int64_t from) {
    Statement move(db_, "UPDATE numbers SET person = ? WHERE person = ?");
    move.bind(into).bind(from).step();
    Statement remove(db_, "DELETE FROM people WHERE id = ?");
    remove.bind(from).step();
}

void ContactsStore::begin() {
    run("BEGIN IMMEDIATE");
}

void ContactsStore::commit() {
    run("COMMIT");
}

}  // namespace lifelog_tool
