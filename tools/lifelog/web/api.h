// The web API: one request (a path under /api/ and its query parameters)
// answered with a status and a JSON body.  Every listing and aggregate is
// one query object, made for the request and released before the answer
// is returned, so the server never holds a database handle between
// requests.  No request writes.
#ifndef LIFELOG_TOOL_WEB_API_H
#define LIFELOG_TOOL_WEB_API_H

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace lifelog_tool {

using ApiParams = std::map<std::string, std::string, std::less<>>;

struct ApiAnswer {
    int status = 200;
    nlohmann::ordered_json body;
};

// path: "/api/config", "/api/call", "/api/message/top", ...
//   /api/KIND               from, to, where, order, then, limit, offset
//   /api/KIND/count         from, to, where
//   /api/KIND/sum|avg       column, from, to, where
//   /api/KIND/max|min       column, from, to, where
//   /api/KIND/top           column, n (default 5), from, to, where
//   /api/KIND/days          from, to, contains (web/days.h: per day and hour)
//   /api/people[/ID], /api/KIND/top?by=person, search= on any call: web/people_api.h
// A parameter the query object or the tool refuses is a 400 whose body
// names it ("parameter"), with the library's code and its text when the
// library refused; an unknown kind or call is a 404.
ApiAnswer answerApi(std::string_view path, const ApiParams& params);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_API_H
