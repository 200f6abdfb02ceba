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
        counted.emplace_back(row.text(column), row.number("OCCURRED_COUNT"));
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

std::string searchCondition(Directory& people, const Kind& kind,
                            const std::vector<std::pair<std::string, int64_t>>& logged,
                            const std::string& text) {
    std::vector<int64_t> named = people.namesHolding(text);
    std::string numbers;
    for (const auto& [number, count] : logged) {
        if (numberMatches(people, named, number, text)) {
            numbers += (numbers.empty() ? "" : ", ") + sqlLiteral(number);
        }
    }
    std::vector<std::string> parts;
    if (!numbers.empty()) {
        parts.push_back(std::string(kind.subjectColumn) + " IN (" + numbers + ")");
    }
    if (kind.id == KindId::Message) {
        parts.push_back("MSGLOG_SUMMARY LIKE " + sqlLiteral(containsPattern(text)) +
                        " ESCAPE '\\'");
    } else if (kind.id == KindId::Media) {
        parts.push_back("MDLOG_TITLE LIKE " + sqlLiteral(containsPattern(text)) + " ESCAPE '\\'");
    }
    std::string condition;
    for (const std::string& part : parts) {
        condition += (condition.empty() ? "" : " OR ") + part;
    }
    return condition.empty() ? "0 = 1" : "(" + condition + ")";
}

}  // namespace lifelog_tool
