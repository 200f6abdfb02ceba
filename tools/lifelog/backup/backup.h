// Backups: a phone's call log and messages from and to the XML that
// Android backup apps write (docs/import.md).  The streaming XML reader and
// the writer (xml_reader.h, xml_writer.h), how an entry becomes an activity
// and back (mapping.h), the stored rows the importer compares with and the
// exporter writes (store.h), and the two runs themselves (this header:
// importer.cpp, exporter.cpp).  Imported entries are logged through the one
// way in (logging/).
#ifndef LIFELOG_TOOL_BACKUP_BACKUP_H
#define LIFELOG_TOOL_BACKUP_BACKUP_H

#include <functional>
#include <string>
#include <vector>

namespace lifelog_tool {

struct ImportOptions {
    std::vector<std::string> files;
    std::string zone;  // empty: the local zone
    bool dryRun = false;
    bool keepTwins = false;  // store an SMS and its MMS twin both
    // Called after the first row of each file is stored (the database file
    // exists from then on, even on a fresh root): the command adds what the
    // tool keeps on the file before the rest of the rows come.
    std::function<void()> afterFirstRow;
    // Called with each name a usable entry gives its number (backup/names.h),
    // and the file and line of the entry.
    std::function<void(const std::string& number, const std::string& name, const std::string& file,
                       long line)>
        onName;
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
    // The name of a number for the entries' contact_name ("" leaves it out).
    std::function<std::string(const std::string& number)> nameOf;
};

// Writes the stored calls or messages (of a range) as a backup file.
void runExport(const ExportOptions& options);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BACKUP_BACKUP_H
