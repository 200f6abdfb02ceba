// lifelog import / lifelog export: a phone's call log and messages from and
// to the XML that Android backup apps write (docs/import.md).
#ifndef LIFELOG_TOOL_IMPORT_H
#define LIFELOG_TOOL_IMPORT_H

#include <string>
#include <vector>

namespace lifelog_tool {

struct ImportOptions {
    std::vector<std::string> files;
    std::string zone;  // empty: the local zone
    bool dryRun = false;
};

// Imports every file and prints what happened to each entry; returns the
// tool's exit status: 0 when every file was read to its end and every
// entry that could be logged is stored, 1 otherwise, 130 when interrupted.
int runImport(const ImportOptions& options);

struct ExportOptions {
    std::string kind;  // "call" or "message"
    std::string file;
    std::string from;
    std::string to;
    std::string zone;
};

// Writes the stored calls or messages (of a range) as a backup file.
void runExport(const ExportOptions& options);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_IMPORT_H
