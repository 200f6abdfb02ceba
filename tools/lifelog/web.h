// `lifelog web`: the life log as a page and a JSON API over HTTP.
#ifndef LIFELOG_TOOL_WEB_H
#define LIFELOG_TOOL_WEB_H

#include <CLI/CLI.hpp>
#include <string>

namespace lifelog_tool {

struct WebOptions {
    int port = 5700;  // 0: any free port (the printed address says which)
    std::string bind = "127.0.0.1";
};

// Serves until SIGINT or SIGTERM.
void runWeb(const WebOptions& options);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_H
