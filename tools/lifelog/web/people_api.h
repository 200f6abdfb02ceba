// The API's people (people/): who the numbers are, one person's activity,
// the top contacts counted per person, and search by name.
//   /api/people             everyone in the contacts store, with their numbers
//   /api/people/ID          one person (ID: their id) or one number however
//                           written: their calls and messages per day, talk
//                           time, first and last contact, the numbers used
//   /api/KIND/top?by=person the numbers counted per person (api.cpp asks topByPerson)
//   search=TEXT             on any listing or aggregate: a name, a number
//                           however written, words of a message
//                           (searchConditionOver, people/naming.h)
#ifndef LIFELOG_TOOL_WEB_PEOPLE_API_H
#define LIFELOG_TOOL_WEB_PEOPLE_API_H

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "base/query.h"
#include "web/api.h"

namespace lifelog_tool {

// /api/people and /api/people/ID (`rest`: "" or the ID as given).
ApiAnswer answerPeople(std::string_view rest);

// The values of /api/KIND/top?by=person: [{"key", "name", "value", "numbers", "count"}],
// the most frequent person first, at most n.  `value` is the name, else the number.
nlohmann::ordered_json topByPerson(Query& query, int n);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_PEOPLE_API_H
