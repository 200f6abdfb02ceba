// `lifelog report --html FILE`: the web page with its rows in it, one file
// that opens without a server.
#ifndef LIFELOG_TOOL_WEB_REPORT_H
#define LIFELOG_TOOL_WEB_REPORT_H

#include <string>

namespace lifelog_tool {

struct ReportOptions {
    std::string html;
    std::string from;
    std::string to;
};

void runReport(const ReportOptions& options);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_REPORT_H
