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
    addRangeOptions(report, options->from, options->to);
}

}  // namespace lifelog_tool
