// The page that `lifelog web` serves and `lifelog report --html` writes:
// index.html with its style sheet and script put inline, so that it is one
// file that fetches nothing but the API (or nothing at all when its data
// travels with it).
#ifndef LIFELOG_TOOL_WEB_PAGE_H
#define LIFELOG_TOOL_WEB_PAGE_H

#include <nlohmann/json.hpp>
#include <string>

namespace lifelog_tool {

// The served page: the script asks the API for its data.
std::string servedPage();
// The page with `data` in it (the rows of each kind and what the report
// covers); the script reads them instead of asking a server.
std::string reportPage(const nlohmann::ordered_json& data);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_PAGE_H
