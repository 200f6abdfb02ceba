// Indexes for long histories.  The library makes the lifelog file with its
// three tables and nothing else, and never changes an existing file's
// schema; indexes are the operator's decision, and this tool is where it is
// taken.  A table that keeps more rows than the default maximum pays, on
// every write, a COUNT and a MIN over the whole table (the trimming), and
// the readers' date ranges scan it too: a time-stamp index and a type index
// per table turn those into seeks and a narrow count.
//
// The writing commands (config --max, log, import, demo, serve) call
// indexWhenLarge() once they have written to the root; `lifelog index` calls
// addIndexes() whatever the maximum.  Readers (web, list, the aggregates,
// export, report) never call either: reading never alters the file.
#ifndef LIFELOG_TOOL_LOGGING_INDEXES_H
#define LIFELOG_TOOL_LOGGING_INDEXES_H

namespace lifelog_tool {

// Adds the indexes that the root's lifelog file lacks; how many it added
// (0 when the file has them all, or does not exist yet).  Throws Failure
// when the file cannot be opened or an index cannot be made.
int addIndexes();

// When the configured maximum is above the default, adds the missing
// indexes and says so on standard error (once: a file that has them is
// left alone, silently).
void indexWhenLarge();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_INDEXES_H
