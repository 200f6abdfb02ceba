// What a row may hold before the tool hands it to the library.  The
// library stores texts as given (the database does not enforce the
// tables' declared text sizes) and its writer refuses, without a word to
// the caller, a row whose insert statement outgrows its fixed work texts.
// The tool checks both beforehand and names the field that is too long.
#ifndef LIFELOG_TOOL_LOGGING_FIELDS_H
#define LIFELOG_TOOL_LOGGING_FIELDS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/query.h"

namespace lifelog_tool {

// One value of the row as the builders make it: the column it goes to,
// where it came from (an option "--title" or a JSON member "text"), and
// its value.  An empty text is left out of the row, as the writer does.
struct Field {
    const char* column;
    std::string source;
    std::optional<std::string> text;
    std::optional<int64_t> number;
};

// The writer's work texts: one value's written form, the column and value
// lists, and the whole insert statement, each with room for a final NUL.
inline constexpr size_t kValueRoom = 1024;
inline constexpr size_t kListRoom = 2048;
inline constexpr size_t kInsertRoom = 4096;
// The characters of a message text that the library keeps as its summary.
inline constexpr size_t kSummaryCharacters = 30;

// The first `characters` UTF-8 characters of the text, cut as the library
// cuts a message summary (never inside a character).
std::string firstCharacters(const std::string& text, size_t characters);

// Throws UsageError naming the source of the first text that is not valid
// UTF-8 or longer than its column's declared size, or that makes the
// insert statement outgrow the writer's work texts.  `timeColumnWritten`:
// the row also carries its 19-character time stamp.
void checkRow(const Kind& kind, const std::vector<Field>& fields, bool timeColumnWritten);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_FIELDS_H
