// Names on rows, and the search condition.
#include "people/naming.h"

#include <algorithm>
#include <limits>

namespace lifelog_tool {

namespace {

bool hasPeople(const Kind& kind) {
    return kind.id != KindId::Media;
}

std::string digitsOf(std::string_view text) {
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits),
                 [](char c) { return c >= '0' && c <= '9'; });
    return digits;
}

// The logged number is what the text names: a person whose name holds the
// text, the same number however written, or (four digits or more) a number
// whose digits hold the text's.
bool numberMatches(Directory& people, const std::vector<int64_t>& named, const std::string& logged,
                   const std::string& text) {
    Who who = people.who(logged);
    if (who.person != 0 && std::find(named.begin(), named.end(), who.person) != named.end()) {
        return true;
    }
    if (who.key == people.who(text).key) {
        return true;
    }
    std::string digits = digitsOf(text);
    bool onlyNumber = text.find_first_not_of("0123456789+-() .") == std::string::npos;
    return onlyNumber && digits.size() >= 4 && digitsOf(logged).find(digits) != std::string::npos;
}

// `text` as a LIKE pattern that holds it anywhere, '\' escaping % and _.
std::string containsPattern(std::string_view text) {
    std::string pattern = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "%";
}

}  // namespace

void addName(Directory& people, const Kind& kind, Row& row, bool withKey) {
    if (!hasPeople(kind)) {
        return;
    }
    Who who = people.who(row.text(kind.subjectColumn));
    row.cells.emplace_back(kNameCell, who.name.empty() ? Value{} : Value{who.name});
    if (withKey) {
        row.cells.emplace_back(kKeyCell, Value{who.key});
    }
}

void addNames(Directory& people, const Kind& kind, std::vector<Row>& rows, bool withKeys) {
    for (Row& row : rows) {
        addName(people, kind, row, withKeys);
    }
}

std::vector<std::pair<std::string, int64_t>> numberCounts(Query& query) {
    std::vector<std::pair<std::string, int64_t>> counted;
    const char* column = query.kind().subjectColumn;
    Listing listing = query.top(column, std::numeric_limits<int>::max());
    for (const Row& row : listing.rows) {
        counted.emplace_back(row.text(column), row.number(kCountColumn));
    }
    return counted;
}

std::string sqlLiteral(std::string_view text) {
    std::string literal = "'";
    for (char c : text) {
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return literal + "'";
}

std::string numbersCondition(const Kind& kind,
                             const std::vector<std::pair<std::string, int64_t>>& numbers) {
    std::string literals;
    for (const auto& [number, count] : numbers) {
        literals += (literals.empty() ? "" : ", ") + sqlLiteral(number);
    }
    return std::string(kind.subjectColumn) + " IN (" + literals + ")";
}

std::string searchCondition(Directory& people, const Kind& kind,
                            const std::vector<std::pair<std::string, int64_t>>& logged,
                            const std::string& text) {
    std::vector<int64_t> named = people.namesHolding(text);
    std::vector<std::pair<std::string, int64_t>> matching;
    for (const auto& [number, count] : logged) {
        if (numberMatches(people, named, number, text)) {
            matching.emplace_back(number, count);
        }
    }
    std::vector<std::string> parts;
    if (!matching.empty()) {
        parts.push_back(numbersCondition(kind, matching));
    }
    // The words a row keeps of itself: a message's summary, a play's title.
    const char* words = kind.id == KindId::Message ? "MSGLOG_SUMMARY"
                        : kind.id == KindId::Media ? "MDLOG_TITLE"
                                                   : nullptr;
    if (words != nullptr) {
        parts.push_back(std::string(words) + " LIKE " + sqlLiteral(containsPattern(text)) +
                        " ESCAPE '\\'");
    }
    std::string condition;
    for (const std::string& part : parts) {
        condition += (condition.empty() ? "" : " OR ") + part;
    }
    return condition.empty() ? "0 = 1" : "(" + condition + ")";
}

std::string searchConditionOver(Query& numbers, const std::string& text) {
    Directory people;
    return searchCondition(people, numbers.kind(), numberCounts(numbers), text);
}

std::string bothConditions(const std::string& condition, const std::string& more) {
    if (condition.empty() || more.empty()) {
        return condition.empty() ? more : condition;
    }
    return "(" + condition + ") AND " + more;
}

}  // namespace lifelog_tool
