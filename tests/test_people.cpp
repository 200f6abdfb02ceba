// People behind the numbers: the vCard reader, numbers as identities, the
// contacts store and what it learns, counting per person (in process), and
// the tool on backups and vCards written here (as a subprocess): one
// person however their number was written.
#include <nlohmann/json.hpp>

#include "fixture.h"
#include "tool_run.h"
#include "people/grouping.h"
#include "people/people.h"
#include "people/vcard.h"

namespace tool = lifelog_tool;

namespace {

// ------------------------------------------------------------------ vCards

struct CardCase {
    const char* what;
    std::string text;
    std::vector<std::pair<std::string, std::vector<std::string>>> cards;
    std::vector<long> problemLines;
};

TEST(VCardReader, ReadsWhatPhonesWrite) {
    const std::vector<CardCase> cases = {
        {"2.1 quoted-printable with a soft line break",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:N=C3=BA=C3=B1ez;"
         "Jos=C3=A9;;;\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Jos=C3=A9 "
         "N=\r\n=C3=BA=C3=B1ez\r\n"
         "TEL;CELL;PREF:+34612345678\r\nTEL;HOME:912 345 678\r\nEND:VCARD\r\n",
         {{"José Núñez", {"+34612345678", "912 345 678"}}},
         {}},
        {"2.1 Latin-1 with the bare QUOTED-PRINTABLE word",
         "BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:Zo=E9 Lef=E8vre\n"
         "TEL:+33612345678\nEND:VCARD\n",
         {{"Zoé Lefèvre", {"+33612345678"}}},
         {}},
        {"3.0 folded lines, groups, escapes, two cards",
         "BEGIN:VCARD\nVERSION:3.0\nFN:Smith\\, Ana Mar\n \xC3\xAD"
         "a\nitem1.TEL;TYPE=CELL:+1 (234) 567-8910\n"
         "item2.TEL;TYPE=HOME:234-567-8911\nEND:VCARD\nbegin:vcard\nfn:Bo\ntel:7535\nend:vcard\n",
         {{"Smith, Ana María", {"+1 (234) 567-8910", "234-567-8911"}}, {"Bo", {"7535"}}},
         {}},
        {"4.0 name from N and a tel: URI",
         "BEGIN:VCARD\nVERSION:4.0\nN:Smith;Ana;;Dr.;\nTEL;VALUE=uri;TYPE=cell:tel:+1-234-567-"
         "8910\n"
         "END:VCARD\n",
         {{"Dr. Ana Smith", {"+1-234-567-8910"}}},
         {}},
        {"unreadable names and cards that never end are skipped by line",
         "BEGIN:VCARD\nFN:\xFF\xFE\nTEL:1\nEND:VCARD\nBEGIN:VCARD\nFN;CHARSET=NO-SUCH:x\nEND:"
         "VCARD\n"
         "BEGIN:VCARD\nTEL:5\nEND:VCARD\nBEGIN:VCARD\nFN:Kept\nTEL:2\nEND:VCARD\nBEGIN:VCARD\nFN:"
         "Cut\n",
         {{"Kept", {"2"}}},
         {1, 5, 8, 15}},
    };
    for (const CardCase& c : cases) {
        SCOPED_TRACE(c.what);
        tool::VCardFile file = tool::readVCards(c.text);
        std::vector<std::pair<std::string, std::vector<std::string>>> cards;
        for (const tool::VCard& card : file.cards) {
            cards.emplace_back(card.name, card.numbers);
        }
        std::vector<long> lines;
        for (const tool::VCardProblem& problem : file.problems) {
            lines.push_back(problem.line);
        }
        EXPECT_EQ(cards, c.cards);
        EXPECT_EQ(lines, c.problemLines);
    }
}

TEST(VCardReader, DecodesValuesStepByStep) {
    EXPECT_EQ(tool::decodeQuotedPrintable("a=3Db=C3=A9=\x7a=4"), "a=b\xC3\xA9=z=4");
    EXPECT_EQ(tool::unescapeText("a\\,b\\;c\\nd\\\\e"), "a,b;c\nd\\e");
    EXPECT_EQ(tool::nameOfStructured("Weiß;Jürgen;;;Jr."), "Jürgen Weiß Jr.");
    std::string out;
    EXPECT_TRUE(tool::toUtf8("\xE9", "WINDOWS-1252", out));
    EXPECT_EQ(out, "\xC3\xA9");
}

// -------------------------------------------------------------- identities

TEST(Identity, OneIdentityPerNumberHoweverWritten) {
    struct Case {
        const char* region;
        const char* logged;
        const char* identity;
    };
    const Case cases[] = {
        {"US", "+1 (234) 567-8910", "+12345678910"},
        {"US", "234-567-8910", "+12345678910"},
        {"US", "(234) 567-8910", "+12345678910"},
        {"US", "+44 7700 900123", "+447700900123"},
        {"GB", "07700 900123", "+447700900123"},
        {"", "234-567-8910", "234-567-8910"},  // no region: a national number stays as written
        {"", "+447700900123", "+447700900123"},
        {"US", "7535", "7535"},  // a short code is no number
        {"US", "AMAZON", "amazon"},
        {"US", "1-800-FLOWERS", "1-800-flowers"},  // letters are never keypad digits
        {"US", "Ana@Example.COM", "ana@example.com"},
        {"US", "Unknown", "unknown"},
        {"US", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.region) + " " + c.logged);
        tool::Normaliser normaliser(c.region);
        EXPECT_EQ(normaliser.identity(c.logged), c.identity);
        EXPECT_EQ(normaliser.identity(c.logged), c.identity);  // and again from what it remembers
    }
}

// ------------------------------------------------------------------- store

class PeopleStoreTest : public LifelogTest {
protected:
    // Everyone in the store as "name: identity identity".
    static std::vector<std::string> everyone() {
        tool::ContactsStore store(tool::ContactsStore::Mode::Read);
        std::vector<std::string> lines;
        for (const tool::Person& person : store.people()) {
            std::string line = person.name + ":";
            for (const tool::StoredNumber& number : person.numbers) {
                line += " " + number.identity;
            }
            lines.push_back(line);
        }
        return lines;
    }
    static tool::Learnt imported(const std::vector<tool::FoundName>& found) {
        tool::ContactsStore store(tool::ContactsStore::Mode::Write);
        store.keepSetting("region", "US");
        return tool::learnImportedNames(store, found);
    }
    static tool::Learnt added(const std::string& name, const std::vector<std::string>& numbers) {
        tool::ContactsStore store(tool::ContactsStore::Mode::Write);
        tool::Normaliser normaliser("US");
        tool::Learnt learnt;
        tool::learnPerson(store, normaliser, name, numbers, learnt);
        return learnt;
    }
};

TEST_F(PeopleStoreTest, LearnsNamesAndKeepsTheFirst) {
    struct Case {
        const char* what;
        std::function<void()> steps;
        std::vector<std::string> people;
        size_t problems;
    };
    size_t problems = 0;
    const Case cases[] = {
        {"three spellings of one number make one person",
         [&] {
             problems = imported({{"+1 (234) 567-8910", "Ana", "a.xml", 3},
                                  {"234-567-8910", "Ana", "a.xml", 4},
                                  {"(234) 567-8910", "Ana", "a.xml", 5}})
                            .problems.size();
         },
         {"Ana: +12345678910"},
         0},
        {"placeholders name no one; a second name for a number is not taken",
         [&] {
             problems = imported({{"+12345678910", "Ana", "a.xml", 1},
                                  {"234-567-8910", "Anna B.", "a.xml", 2},
                                  {"7535", "(Unknown)", "a.xml", 3},
                                  {"7536", " null ", "a.xml", 4},
                                  {"7537", "", "a.xml", 5}})
                            .problems.size();
         },
         {"Ana: +12345678910"},
         0},
        {"a name that cannot be read is reported and skipped",
         [&] {
             problems = imported({{"7535", "Bad\xFF", "a.xml", 9}}).problems.size();
         },
         {},
         1},
        {"the user's name wins over an imported one",
         [&] {
             added("Mum", {"+447700900123"});
             problems = imported({{"+44 7700 900123", "Mother", "a.xml", 1}}).problems.size();
         },
         {"Mum: +447700900123"},
         0},
        {"two people claiming one number: the first keeps it",
         [&] {
             added("Ana", {"234-567-8910"});
             problems = added("Bob", {"+1 234 567 8910", "AMAZON"}).problems.size();
         },
         {"Ana: +12345678910", "Bob: amazon"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(tool::ContactsStore::file());
        c.steps();
        EXPECT_EQ(everyone(), c.people);
        EXPECT_EQ(problems, c.problems);
    }
}

TEST_F(PeopleStoreTest, MergeMovesEveryNumberAndRemovesThePerson) {
    added("Ana", {"+12345678910"});
    added("Ana (work)", {"+12345678911", "ana@example.com"});
    {
        tool::ContactsStore store(tool::ContactsStore::Mode::Write);
        store.merge(*store.personNamed("Ana"), *store.personNamed("Ana (work)"));
    }
    EXPECT_EQ(everyone(),
              std::vector<std::string>{"Ana: +12345678910 +12345678911 ana@example.com"});
}

TEST_F(PeopleStoreTest, CountsPerPersonWithEveryNumberTheyUsed) {
    added("Ana", {"+12345678910"});
    tool::useRegion("US");
    tool::Directory people;
    tool::useRegion("");
    auto counted = tool::countByPerson(
        people, {{"7535", 4}, {"234-567-8910", 2}, {"+1 (234) 567-8910", 3}, {"(234) 567-8910", 1}},
        0);
    ASSERT_EQ(counted.size(), 2u);
    EXPECT_EQ(counted[0].who.name, "Ana");
    EXPECT_EQ(counted[0].count, 6);
    EXPECT_EQ(counted[0].numbers,
              (std::vector<std::string>{"+1 (234) 567-8910", "234-567-8910", "(234) 567-8910"}));
    EXPECT_EQ(counted[1].who.key, "7535");
    EXPECT_EQ(counted[1].count, 4);
    EXPECT_EQ(tool::countByPerson(people, {{"7535", 4}, {"234-567-8910", 2}}, 1).size(), 1u);
}

// ---------------------------------------------------------------- the tool

using Arguments = std::vector<std::string>;

class PeopleToolTest : public LifelogTest {
protected:
    // What the tool said, standard output and error together.
    static std::string said(const ToolRun& run) { return run.out + run.err; }
    nlohmann::json json(const Arguments& arguments) const {
        ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 0) << said(run);
        return nlohmann::json::parse(run.out, nullptr, false);
    }
    std::string file(const std::string& name, const std::string& text) const {
        std::ofstream(root_ / name, std::ios::binary) << text;
        return (root_ / name).string();
    }
};

// One person's US number written three ways across a call log and messages.
constexpr const char* kCalls = R"xml(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>
<calls count="4">
  <call number="+1 (234) 567-8910" duration="60" date="1718357400000" type="1" contact_name="Ana" />
  <call number="234-567-8910" duration="30" date="1718361000000" type="2" contact_name="(Unknown)" />
  <call number="(234) 567-8910" duration="10" date="1718364600000" type="1" />
  <call number="7535" duration="5" date="1718368200000" type="1" contact_name="null" />
</calls>
)xml";
constexpr const char* kMessages = R"xml(<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>
<smses count="2">
  <sms address="(234) 567-8910" date="1718357460000" type="1" body="Dinner at eight?" contact_name="Ana" />
  <sms address="AMAZON" date="1718357520000" type="1" body="Your parcel is on its way" />
</smses>
)xml";

TEST_F(PeopleToolTest, ThreeSpellingsOfOneNumberAreOnePerson) {
    ASSERT_EQ(runTool({"config", "--on", "call,message"}).status, 0);
    ASSERT_EQ(
        runTool({"import", "--region", "US", file("calls.xml", kCalls), file("sms.xml", kMessages)})
            .status,
        0);
    nlohmann::json people = json({"contacts", "--json"});
    ASSERT_EQ(people.size(), 1u) << people.dump();
    EXPECT_EQ(people[0]["name"], "Ana");
    EXPECT_EQ(people[0]["numbers"].size(), 1u);
    // The region is kept: no --region from here on.
    nlohmann::json top = json({"top", "call", "number", "--by", "person", "--json"});
    ASSERT_GE(top.size(), 2u);
    EXPECT_EQ(top[0]["person"], "Ana");
    EXPECT_EQ(top[0]["count"], 3);
    EXPECT_EQ(top[1]["key"], "7535");
    nlohmann::json rows = json({"list", "call", "--format", "json"});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1]["CLOG_PHONE_NUMBER"], "234-567-8910");  // kept as logged
    EXPECT_EQ(rows[1]["CONTACT_NAME"], "Ana");
    EXPECT_TRUE(rows[3]["CONTACT_NAME"].is_null());
    struct Search {
        const char* kind;
        const char* text;
        int count;
    };
    for (const Search& s :
         {Search{"call", "ana", 3}, Search{"call", "234.567.8910", 3}, Search{"call", "5678", 3},
          Search{"message", "ANA", 1}, Search{"message", "parcel", 1},
          Search{"message", "it's 100%", 0}, Search{"call", "nobody", 0}}) {
        SCOPED_TRACE(std::string(s.kind) + " " + s.text);
        EXPECT_EQ(
            json({"count", s.kind, "--json", "--search", s.text})["count"],
            s.count);
    }
}

TEST_F(PeopleToolTest, ExportNamesNumbersAndKeepsThemAsLogged) {
    ASSERT_EQ(runTool({"config", "--on", "call,message"}).status, 0);
    ASSERT_EQ(runTool({"import", "--region", "US", file("calls.xml", kCalls)}).status, 0);
    ASSERT_EQ(runTool({"export", "call", file("out.xml", "")}).status, 0);
    std::ifstream in(root_ / "out.xml");
    std::stringstream written;
    written << in.rdbuf();
    for (const char* expected :
         {R"(number="234-567-8910" duration="30")", R"(number="(234) 567-8910" duration="10")",
          R"(number="+1 (234) 567-8910" duration="60")"}) {
        EXPECT_NE(written.str().find(expected), std::string::npos) << expected;
    }
    size_t named = 0;
    for (size_t at = 0; (at = written.str().find("contact_name=\"Ana\"", at)) != std::string::npos;
         ++at) {
        ++named;
    }
    EXPECT_EQ(named, 3u);  // every spelling of Ana's number, and not the short code
}

TEST_F(PeopleToolTest, RefusesWhatItCannotDo) {
    struct Case {
        Arguments arguments;
        std::string said;
    };
    const Case cases[] = {
        {{"--region", "XX", "contacts"}, "--region takes a two-letter country"},
        {{"top", "call", "duration", "--by", "person"}, "--by person counts the number column"},
        {{"top", "call", "number", "--by", "name"}, "--by takes value or person"},
        {{"contacts", "add", "", "123"}, "a contact's name cannot be empty"},
        {{"contacts", "merge", "Nobody", "Else"}, "no contact is called \"Nobody\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        ToolRun run = runTool(c.arguments);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(said(run).find(c.said), std::string::npos) << said(run);
    }
}

TEST_F(PeopleToolTest, ContactsCommandsAddMergeRenameAndImportVCards) {
    EXPECT_EQ(runTool({"--region", "US", "contacts", "add", "Ana", "+1 (234) 567-8910"}).status, 0);
    EXPECT_EQ(runTool({"contacts", "add", "Bob", "234-567-8910", "7535"}).status, 1);  // Ana keeps her number
    EXPECT_EQ(runTool({"contacts", "import",
                            file("c.vcf",
                        "BEGIN:VCARD\nVERSION:3.0\nFN:Cleo\nTEL:+44 7700 900123\nEND:VCARD\n"
                        "BEGIN:VCARD\nFN:\xFF\nEND:VCARD\n")})
                  .status,
              1);  // the second card is said
    EXPECT_EQ(runTool({"contacts", "merge", "Ana", "Bob"}).status, 0);
    EXPECT_EQ(runTool({"contacts", "rename", "Cleo", "Cleo M."}).status, 0);
    EXPECT_NE(runTool({"contacts", "rename", "Nobody", "X"}).status, 0);
    nlohmann::json people = json({"contacts", "--json"});
    ASSERT_EQ(people.size(), 2u) << people.dump();
    EXPECT_EQ(people[0]["name"], "Ana");
    EXPECT_EQ(people[0]["numbers"].size(), 2u);  // hers and Bob's short code
    EXPECT_EQ(people[1]["name"], "Cleo M.");
    EXPECT_EQ(people[1]["numbers"][0]["identity"], "+447700900123");
}

}  // namespace
