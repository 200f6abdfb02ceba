// Time stamps in the database's form.
#include "base/timestamp.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>

namespace lifelog_tool {

bool hasTime(const DateTime& t) {
    return t.year != 0 && t.month != 0 && t.day != 0;
}

std::string formatTime(const DateTime& t) {
    return fmt::format("{:04d}-{:02d}-{:02d} {:02d}:{:02d}:{:02d}", t.year, t.month, t.day, t.hour,
                       t.minute, t.second);
}

std::string isoTime(const DateTime& t) {
    std::string text = formatTime(t);
    text[10] = 'T';
    return text;
}

namespace {

// Reads exactly `width` digits at `at`.
bool digits(std::string_view text, size_t at, size_t width, int32_t& out) {
    if (at + width > text.size()) {
        return false;
    }
    for (size_t i = at; i < at + width; ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return std::from_chars(text.data() + at, text.data() + at + width, out).ec == std::errc();
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

bool isRealDate(const DateTime& t) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1) {
        return false;
    }
    int length = lengths[t.month - 1] + (t.month == 2 && isLeapYear(t.year) ? 1 : 0);
    return t.day <= length && t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

std::optional<DateTime> parseTimestamp(std::string_view text) {
    DateTime t{};
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' || !digits(text, 0, 4, t.year) ||
        !digits(text, 5, 2, t.month) || !digits(text, 8, 2, t.day) ||
        !digits(text, 11, 2, t.hour) || !digits(text, 14, 2, t.minute) ||
        !digits(text, 17, 2, t.second) || !isRealDate(t)) {
        return std::nullopt;
    }
    return t;
}

std::optional<DateTime> parseBound(std::string_view given, bool endOfDay) {
    std::string text(given);
    if (text.size() > 10 && text[10] == 'T') {
        text[10] = ' ';
    }
    if (text.size() == 10) {
        return parseTimestamp(text + (endOfDay ? " 23:59:59" : " 00:00:00"));
    }
    if (text.size() == 16) {
        return parseTimestamp(text + (endOfDay ? ":59" : ":00"));
    }
    return parseTimestamp(text);
}

}  // namespace lifelog_tool
