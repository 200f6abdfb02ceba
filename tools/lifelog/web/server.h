// The web: the life log as a page and a JSON API over HTTP (this header),
// the API that answers one request through the query wrapper (api.h), the
// page built from the assets of this folder (page.h, index.html, style.css,
// app.js) and the HTML report that puts the API's answers into the page
// (report.h).  Nothing here writes to the log.
#ifndef LIFELOG_TOOL_WEB_SERVER_H
#define LIFELOG_TOOL_WEB_SERVER_H

#include <string>

namespace lifelog_tool {

struct WebOptions {
    int port = 5700;  // 0: any free port (the printed address says which)
    std::string bind = "127.0.0.1";
    int workers = 32;
};

// Serves until SIGINT or SIGTERM.
void runWeb(const WebOptions& options);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_SERVER_H
