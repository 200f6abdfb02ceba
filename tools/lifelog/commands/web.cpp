// `lifelog web`: the life log as a page and a JSON API over HTTP, until
// Ctrl-C (web/server.h).
#include <memory>

#include "commands/commands.h"
#include "web/server.h"

namespace lifelog_tool {

void addWebCommand(Commands& commands) {
    auto options = std::make_shared<WebOptions>();
    CLI::App* web =
        commands.add("web", "serve the life log as a page and a JSON API (read-only) until Ctrl-C",
                     [options](const Context&) {
                         runWeb(*options);
                         return 0;
                     });
    web->add_option("--port", options->port, "TCP port (default 5700; 0 picks a free one)");
    web->add_option("--bind", options->bind,
                    "address to listen on (default 127.0.0.1, this machine only)");
    web->add_option("--workers", options->workers,
                    "requests answered at once (default 32); twice as many may wait, the rest "
                    "are answered 503")
        ->check(CLI::Range(1, 1024));
}

}  // namespace lifelog_tool
