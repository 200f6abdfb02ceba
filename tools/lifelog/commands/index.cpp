// `lifelog index`: adds the time-stamp and type indexes to the root's
// lifelog file, whatever its configured maximum (logging/indexes.h).
#include <fmt/format.h>

#include <string>

#include "base/root.h"
#include "commands/commands.h"
#include "logging/indexes.h"

namespace lifelog_tool {

void addIndexCommand(Commands& commands) {
    commands.add("index", "add the time-stamp and type indexes to the lifelog file",
                 [](const Context&) {
                     const Indexing indexing = addIndexes();
                     const std::string path = hostPath(kDatabasePath).string();
                     if (!indexing.fileExists) {
                         fmt::print("{}: no file yet, nothing to index\n", path);
                     } else if (indexing.added > 0) {
                         fmt::print("{}: added {} indexes\n", path, indexing.added);
                     } else {
                         fmt::print("{}: has its {} indexes already\n", path, kIndexCount);
                     }
                     return 0;
                 });
}

}  // namespace lifelog_tool
