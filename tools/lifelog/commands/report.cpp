// `lifelog report --html FILE`: the web page with its rows in it, one file
// that opens without a server (web/report.h).
#include <memory>

#include "commands/commands.h"
#include "web/report.h"

namespace lifelog_tool {

void addReportCommand(Commands& commands) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* report =
        commands.add("report", "write the web page with its rows in it: one file, no server needed",
                     [options](const Context&) {
                         runReport(*options);
                         return 0;
                     });
    report->add_option("--html", options->html, "the file to write")->required();
    report->add_option("--from", options->from,
                       "first time stamp: \"YYYY-MM-DD[ HH:MM[:SS]]\" (default: the first row)");
    report->add_option("--to", options->to,
                       "last time stamp: \"YYYY-MM-DD[ HH:MM[:SS]]\" (default: the last row)");
}

}  // namespace lifelog_tool
