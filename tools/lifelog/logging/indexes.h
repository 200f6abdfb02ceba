// Indexes for long histories.  The library makes the lifelog file with its
// three tables and nothing else, and never changes an existing file's
// schema; indexes are the operator's decision, and this tool is where it is
// taken.  A table that keeps more rows than the default maximum pays, on
// every write, a COUNT and a MIN over the whole table (the trimming), and
// the readers' date ranges scan it too: a time-stamp index and a type index
// per table turn those into seeks and a narrow count.
//
// The writing commands call indexWhenLarge(): `config` after writing the
// configuration, `log` after its row, `serve` and `demo` once their service
// has made the file, `import` before its rows and again after a new file's
// first row.  `lifelog index` calls addIndexes() whatever the maximum.
// Readers (web, list, the aggregates, export, report) call neither: reading
// never alters the file.
#ifndef LIFELOG_TOOL_LOGGING_INDEXES_H
#define LIFELOG_TOOL_LOGGING_INDEXES_H

namespace lifelog_tool {

// The indexes this tool adds, one per table and column.
inline constexpr int kIndexCount = 6;

// What addIndexes() found and did.
struct Indexing {
    bool fileExists = false;
    int added = 0;
};

// Adds the indexes that the root's lifelog file lacks; a missing file is
// left missing (the library creates it, with its tables only).  Throws
// Failure when the file cannot be opened or an index cannot be made.
Indexing addIndexes();

// When the configured maximum is above the default, adds the missing
// indexes and says so on standard error (once: a file that has them is
// left alone, silently).
void indexWhenLarge();

// The same without a word (true when it added any), for a command whose
// standard error is busy; it says so afterwards with sayIndexed().
bool indexQuietlyWhenLarge();
void sayIndexed();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_INDEXES_H
