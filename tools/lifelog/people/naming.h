// Names where rows show numbers, and search by what a person remembers.
#ifndef LIFELOG_TOOL_PEOPLE_NAMING_H
#define LIFELOG_TOOL_PEOPLE_NAMING_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/query.h"
#include "people/people.h"

namespace lifelog_tool {

// The cell each shown call or message row gets: the name of its number
// (NULL when no one in the store has it).  Not a column of the table: the
// rows keep what was logged.
inline constexpr const char* kNameCell = "CONTACT_NAME";
// With keys, also the person's key (Who::key), which the page groups by.
inline constexpr const char* kKeyCell = "CONTACT_KEY";

// Adds kNameCell (and kKeyCell) to every row of a call or message listing
// (nothing for media).
void addNames(Directory& people, const Kind& kind, std::vector<Row>& rows, bool withKeys = false);
void addName(Directory& people, const Kind& kind, Row& row, bool withKey = false);

// Every distinct number of the query's rows as logged, with its count.
std::vector<std::pair<std::string, int64_t>> numberCounts(Query& query);

// `text` as one SQL string literal: 'it''s'.
std::string sqlLiteral(std::string_view text);

// "NUMBER_COLUMN IN ('a', 'b')": the rows of exactly these numbers as
// logged, each one SQL literal.
std::string numbersCondition(const Kind& kind,
                             const std::vector<std::pair<std::string, int64_t>>& numbers);

// The condition that finds `text` in a table: the numbers (as logged, from
// `logged`) of the people whose name holds it, the numbers that are the
// same number as the text however written, and for messages the summaries
// that hold it.  Every number and the pattern are one literal each.
std::string searchCondition(Directory& people, const Kind& kind,
                            const std::vector<std::pair<std::string, int64_t>>& logged,
                            const std::string& text);

// searchCondition over the numbers of `numbers`' rows (the range and
// condition searched), with the store of the current root.
std::string searchConditionOver(Query& numbers, const std::string& text);

// Both conditions, either of which may be empty: "(a) AND b".
std::string bothConditions(const std::string& condition, const std::string& more);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_PEOPLE_NAMING_H
