// `lifelog index`: adds the time-stamp and type indexes to the root's
// lifelog file, whatever its configured maximum (logging/indexes.h).
#include <fmt/format.h>

#include "base/root.h"
#include "commands/commands.h"
#include "logging/indexes.h"

namespace lifelog_tool {

void addIndexCommand(Commands& commands) {
    commands.add("index", "add the time-stamp and type indexes to the lifelog file",
                 [](const Context&) {
                     const int added = addIndexes();
                     fmt::print("{}: {}\n", hostPath(kDatabasePath).string(),
                                added > 0 ? fmt::format("added {} indexes", added)
                                          : std::string("has its indexes (or no file yet)"));
                     return 0;
                 });
}

}  // namespace lifelog_tool
