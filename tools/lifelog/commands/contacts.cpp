// `lifelog contacts`: the people of the contacts store (people/), listed,
// added, merged, renamed and imported from vCard files.
#include <fmt/format.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "base/failure.h"
#include "base/render.h"
#include "base/text.h"
#include "commands/commands.h"
#include "people/people.h"
#include "people/vcard.h"

namespace lifelog_tool {

namespace {

struct ContactsOptions {
    bool json = false;
    std::string name;
    std::vector<std::string> numbers;
    std::vector<std::string> people;
    std::string person;
    std::string file;
};

nlohmann::ordered_json personJson(const Person& person) {
    nlohmann::ordered_json numbers = nlohmann::ordered_json::array();
    for (const StoredNumber& number : person.numbers) {
        numbers.push_back({{"number", number.written}, {"identity", number.identity}});
    }
    return {{"id", person.id},
            {"name", person.name},
            {"named_by", person.namedBy == NamedBy::User ? "user" : "import"},
            {"numbers", numbers}};
}

void listPeople(const ContactsOptions& options) {
    ContactsStore store(ContactsStore::Mode::Read);
    std::vector<Person> people = store.people();
    if (options.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const Person& person : people) {
            array.push_back(personJson(person));
        }
        fmt::print("{}\n", jsonText(array, 2));
        return;
    }
    Table table{{"id", "name", "numbers"}, {true, false, false}, {}};
    for (const Person& person : people) {
        std::string numbers;
        for (const StoredNumber& number : person.numbers) {
            numbers += (numbers.empty() ? "" : ", ") + number.written;
        }
        table.rows.push_back({std::to_string(person.id), person.name, numbers});
    }
    fmt::print("{}", people.empty() ? "no contacts\n" : table.render());
}

// A person the user names on the command line: an id, or an exact name.
int64_t personOf(const ContactsStore& store, const std::string& word) {
    std::optional<int64_t> id = wholeNumber<int64_t>(word);
    if (id && store.person(*id)) {
        return *id;
    }
    std::optional<int64_t> named = store.personNamed(word);
    if (!named) {
        throw UsageError(
            fmt::format("no contact is called \"{}\" or has that id "
                        "(lifelog contacts lists them)",
                        word));
    }
    return *named;
}

void requireName(const std::string& name) {
    std::string why = unreadableName(name);
    if (!why.empty()) {
        throw UsageError(fmt::format("a contact's name cannot be {}", why));
    }
}

int printLearnt(const Learnt& learnt) {
    for (const std::string& problem : learnt.problems) {
        fmt::print(stderr, "lifelog: {}\n", problem);
    }
    fmt::print("{} people added, {} numbers added ({})\n", learnt.people, learnt.numbers,
               ContactsStore::file().string());
    return learnt.problems.empty() ? 0 : 1;
}

int addPerson(const ContactsOptions& options) {
    requireName(options.name);
    ContactsStore store(ContactsStore::Mode::Write);
    keepRegionOption(store);
    Normaliser normaliser(effectiveRegion(store));
    Learnt learnt;
    store.begin();
    learnPerson(store, normaliser, options.name, options.numbers, learnt);
    store.commit();
    return printLearnt(learnt);
}

int renamePerson(const ContactsOptions& options) {
    requireName(options.name);
    ContactsStore store(ContactsStore::Mode::Write);
    store.rename(personOf(store, options.person), options.name, NamedBy::User);
    fmt::print("renamed to {}\n", options.name);
    return 0;
}

int mergePeople(const ContactsOptions& options) {
    ContactsStore store(ContactsStore::Mode::Write);
    store.begin();
    int64_t into = personOf(store, options.people.at(0));
    for (size_t i = 1; i < options.people.size(); ++i) {
        int64_t from = personOf(store, options.people[i]);
        if (from != into) {
            store.merge(into, from);
        }
    }
    store.commit();
    fmt::print("merged into {}\n", store.person(into)->name);
    return 0;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw UsageError(fmt::format("cannot read {}", path));
    }
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int importVCards(const ContactsOptions& options) {
    VCardFile file = readVCards(fileText(options.file));
    ContactsStore store(ContactsStore::Mode::Write);
    keepRegionOption(store);
    Normaliser normaliser(effectiveRegion(store));
    Learnt learnt;
    store.begin();
    for (const VCard& card : file.cards) {
        learnPerson(store, normaliser, card.name, card.numbers, learnt);
    }
    store.commit();
    for (const VCardProblem& problem : file.problems) {
        fmt::print(stderr, "lifelog: {}:{}: {}\n", options.file, problem.line, problem.what);
    }
    fmt::print("{}: {} cards read\n", options.file, file.cards.size());
    return printLearnt(learnt) != 0 || !file.problems.empty() ? 1 : 0;
}

}  // namespace

void addContactsCommand(Commands& commands) {
    auto options = std::make_shared<ContactsOptions>();
    auto chosen = std::make_shared<std::function<int()>>();
    CLI::App* contacts = commands.add(
        "contacts",
        "the people behind the numbers: list, add, merge, rename, import (docs/people.md)",
        [options, chosen](const Context&) {
            return *chosen ? (*chosen)() : (listPeople(*options), 0);
        });
    contacts->require_subcommand(0, 1);
    contacts->add_flag("--json", options->json, "print JSON instead of a table");
    auto on = [&](const char* name, const char* what, int (*run)(const ContactsOptions&)) {
        CLI::App* sub = contacts->add_subcommand(name, what);
        sub->final_callback(
            [options, chosen, run] { *chosen = [options, run] { return run(*options); }; });
        return sub;
    };
    CLI::App* add = on("add", "a person and their numbers", addPerson);
    add->add_option("name", options->name, "the person's name")->required();
    add->add_option("numbers", options->numbers, "their numbers, written any way")->required();
    CLI::App* merge = on("merge", "people into the first one named", mergePeople);
    merge->add_option("people", options->people, "ids or names, two or more")
        ->required()
        ->expected(2, -1);
    CLI::App* rename = on("rename", "a person's new name", renamePerson);
    rename->add_option("person", options->person, "an id or the name")->required();
    rename->add_option("name", options->name, "the new name")->required();
    CLI::App* import = on("import", "people from a vCard file (.vcf)", importVCards);
    import->add_option("file", options->file, "contacts.vcf")->required();
}

}  // namespace lifelog_tool
