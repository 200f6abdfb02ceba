// `lifelog export KIND FILE`: stored calls or messages as backup XML
// (backup/backup.h).
#include <memory>

#include "backup/backup.h"
#include "commands/commands.h"
#include "people/people.h"

namespace lifelog_tool {

void addExportCommand(Commands& commands) {
    auto exporting = std::make_shared<ExportOptions>();
    CLI::App* exportCommand = commands.add(
        "export", "stored calls or messages as backup XML", [exporting](const Context&) {
            auto people = std::make_shared<Directory>();
            exporting->nameOf = [people](const std::string& number) {
                return people->nameOf(number);
            };
            runExport(*exporting);
            return 0;
        });
    exportCommand->add_option("kind", exporting->kind, "call or message")->required();
    exportCommand->add_option("file", exporting->file, "the file to write")->required();
    addRangeOptions(exportCommand, exporting->from, exporting->to);
    exportCommand->add_option("--tz", exporting->zone,
                              "the zone of the time stamps, e.g. Europe/Berlin (default: local)");
}

}  // namespace lifelog_tool
