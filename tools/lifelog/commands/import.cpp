// `lifelog import FILE...`: calls and messages from the XML files of
// Android backup apps (backup/backup.h, docs/import.md).
#include <memory>

#include "backup/backup.h"
#include "commands/commands.h"
#include "logging/indexes.h"

namespace lifelog_tool {

void addImportCommand(Commands& commands) {
    auto importing = std::make_shared<ImportOptions>();
    CLI::App* import = commands.add(
        "import", "calls and messages from the XML files of Android backup apps (docs/import.md)",
        [importing](const Context&) {
            if (importing->dryRun) {
                return runImport(*importing);
            }
            // An existing file gets the indexes before the rows come, a new
            // one right after its first row, said once the progress is done.
            indexWhenLarge();
            auto added = std::make_shared<bool>(false);
            importing->afterFirstRow = [added] { *added = indexQuietlyWhenLarge() || *added; };
            const int status = runImport(*importing);
            if (*added) {
                sayIndexed();
            }
            return status;
        });
    import->add_option("files", importing->files, "calls.xml, sms.xml, ...")->required();
    import->add_option("--tz", importing->zone,
                       "the zone of the time stamps, e.g. Europe/Berlin (default: local)");
    import->add_flag("--dry-run", importing->dryRun, "read and report, log nothing");
    import->add_flag("--keep-twins", importing->keepTwins,
                     "store a message that is there as an SMS and as an MMS twice");
}

}  // namespace lifelog_tool
