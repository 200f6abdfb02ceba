// Column names in conditions: one scan that steps over literals and
// quoted names and hands each bare name to its caller.
#include "base/condition.h"

#include <cctype>
#include <functional>

#include "base/text.h"

namespace lifelog_tool {

namespace {

// The SQL words a condition on one table may hold besides column names.
constexpr std::string_view kSqlWords[] = {
    "AND",
    "OR",
    "NOT",
    "NULL",
    "IS",
    "IN",
    "LIKE",
    "GLOB",
    "BETWEEN",
    "ESCAPE",
    "CASE",
    "WHEN",
    "THEN",
    "ELSE",
    "END",
    "COLLATE",
    "NOCASE",
    "RTRIM",
    "BINARY",
    "TRUE",
    "FALSE",
    "EXISTS",
    "SELECT",
    "FROM",
    "WHERE",
    "AS",
    "CAST",
    "INTEGER",
    "TEXT",
    "REAL",
    "NUMERIC",
    "DISTINCT",
    "ASC",
    "DESC",
    "REGEXP",
    "MATCH",
    "CURRENT_TIMESTAMP",
    "CURRENT_DATE",
    "CURRENT_TIME",
    "LOCATION",
    "ISNULL",
    "NOTNULL",
    // Words of whole statements: a condition holding them is refused, and
    // naming them as unknown columns would mislead.
    "DELETE",
    "INSERT",
    "UPDATE",
    "DROP",
    "INTO",
    "VALUES",
    "SET",
    "TABLE",
    "PRAGMA",
    "ATTACH",
    "UNION",
    "ALL",
    "JOIN",
    "ON",
    "GROUP",
    "BY",
    "HAVING",
    "LIMIT",
    "OFFSET",
    "ORDER",
    "WITH",
    "RECURSIVE",
    "CREATE",
    "INDEX",
    "REPLACE",
};

bool isSqlWord(std::string_view name) {
    const std::string upper = upperCase(name);
    if (upper.rfind("ACTIVITY_", 0) == 0) {
        return true;  // a table's name
    }
    for (std::string_view word : kSqlWords) {
        if (upper == word) {
            return true;
        }
    }
    return false;
}

bool nameStart(char c) {
    return isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool namePart(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The end of the quoted text that starts at `at` (its closing quote
// included; a doubled quote stays inside), or the condition's end.
size_t quotedEnd(std::string_view text, size_t at) {
    char close = text[at] == '[' ? ']' : text[at];
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == close) {
            if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
                ++i;
                continue;
            }
            return i + 1;
        }
    }
    return text.size();
}

// Calls `each(name, called)` for every bare name and copies the condition
// to the result, each name replaced by what `each` returns.
using EachName = std::function<std::string(std::string_view name, bool called)>;
std::string scanNames(std::string_view text, const EachName& each) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        char c = text[at];
        size_t end = at + 1;
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            end = quotedEnd(text, at);
        } else if (isdigit(static_cast<unsigned char>(c)) || nameStart(c)) {
            while (end < text.size() && (namePart(text[end]) || text[end] == '.')) {
                ++end;
            }
        }
        std::string_view token = text.substr(at, end - at);
        if (nameStart(c)) {
            size_t next = text.find_first_not_of(" \t\r\n", end);
            out += each(token, next != std::string_view::npos && text[next] == '(');
        } else {
            out += token;
        }
        at = end;
    }
    return out;
}

}  // namespace

std::string withColumnNames(const Kind& kind, std::string_view condition) {
    return scanNames(condition, [&](std::string_view name, bool called) {
        std::optional<std::string> column = called ? std::nullopt : columnNamed(kind, name);
        return column ? *column : std::string(name);
    });
}

std::vector<std::string> unknownNames(const Kind& kind, std::string_view condition) {
    std::vector<std::string> unknown;
    scanNames(condition, [&](std::string_view name, bool called) {
        if (!called && !isSqlWord(name) && !columnNamed(kind, name)) {
            unknown.emplace_back(name);
        }
        return std::string(name);
    });
    return unknown;
}

}  // namespace lifelog_tool
