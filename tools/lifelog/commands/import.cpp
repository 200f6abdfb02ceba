// `lifelog import FILE...`: calls and messages from the XML files of
// Android backup apps (backup/backup.h, docs/import.md), and the names the
// files give their numbers into the contacts store (people/).
#include <fmt/format.h>

#include <memory>

#include "backup/backup.h"
#include "commands/commands.h"
#include "logging/indexes.h"
#include "people/people.h"

namespace lifelog_tool {

namespace {

// The names found, into the store once the rows are in; a name that cannot
// be read is said and skipped.
void keepNames(const std::vector<FoundName>& found) {
    ContactsStore store(ContactsStore::Mode::Write);
    keepRegionOption(store);
    Learnt learnt = learnImportedNames(store, found);
    for (const std::string& problem : learnt.problems) {
        fmt::print("  {}\n", problem);
    }
    if (learnt.numbers > 0) {
        fmt::print("names: {} numbers named, {} new people ({})\n", learnt.numbers, learnt.people,
                   ContactsStore::file().string());
    }
}

int importWithNames(ImportOptions& importing) {
    auto found = std::make_shared<std::vector<FoundName>>();
    importing.onName = [found](const std::string& number, const std::string& name,
                               const std::string& file, long line) {
        found->push_back({number, name, file, line});
    };
    // An existing file gets the indexes before the rows come, a new one
    // right after its first row, said once the progress is done.
    indexWhenLarge();
    auto added = std::make_shared<bool>(false);
    importing.afterFirstRow = [added] { *added = indexQuietlyWhenLarge() || *added; };
    const int status = runImport(importing);
    if (*added) {
        sayIndexed();
    }
    keepNames(*found);
    return status;
}

}  // namespace

void addImportCommand(Commands& commands) {
    auto importing = std::make_shared<ImportOptions>();
    CLI::App* import = commands.add(
        "import", "calls and messages from the XML files of Android backup apps (docs/import.md)",
        [importing](const Context&) {
            return importing->dryRun ? runImport(*importing) : importWithNames(*importing);
        });
    import->add_option("files", importing->files, "calls.xml, sms.xml, ...")->required();
    import->add_option("--tz", importing->zone,
                       "the zone of the time stamps, e.g. Europe/Berlin (default: local)");
    import->add_flag("--dry-run", importing->dryRun, "read and report, log nothing");
    import->add_flag("--keep-twins", importing->keepTwins,
                     "store a message that is there as an SMS and as an MMS twice");
}

}  // namespace lifelog_tool
