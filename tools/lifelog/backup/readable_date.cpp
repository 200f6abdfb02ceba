// Readable dates of backup entries, read by their parts: the words and
// numbers of the text are sorted into month name, time of day, AM/PM,
// year and day, so the order the phone's language put them in matters
// only for the all-numeric form.
#include "backup/readable_date.h"

#include "base/text.h"
#include "base/timestamp.h"

#include <strings.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace lifelog_tool {

namespace {

constexpr std::array<const char*, 12> kMonths = {"january",   "february", "march",    "april",
                                                 "may",       "june",     "july",     "august",
                                                 "september", "october",  "november", "december"};

// The month an English name or its start (three letters at least, "sept"
// too) stands for, 1 to 12, or 0.
int monthOfName(std::string_view word) {
    if (!word.empty() && word.back() == '.') {
        word.remove_suffix(1);
    }
    if (word.size() < 3) {
        return 0;
    }
    for (size_t i = 0; i < kMonths.size(); ++i) {
        std::string_view name = kMonths[i];
        if (word.size() <= name.size() && strncasecmp(word.data(), name.data(), word.size()) == 0) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

// Splits at blanks and commas; a lone '.' after a number stays with it.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t start = text.find_first_not_of(" ,\t", at);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = text.find_first_of(" ,\t", start);
        end = end == std::string_view::npos ? text.size() : end;
        out.push_back(text.substr(start, end - start));
        at = end;
    }
    return out;
}

// "H:MM" or "H:MM:SS".
bool readTimeOfDay(std::string_view word, DateTime& time) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    for (size_t at = 0;;) {
        size_t colon = word.find(':', at);
        std::string_view part =
            word.substr(at, colon == std::string_view::npos ? colon : colon - at);
        std::optional<int> value = wholeNumber<int>(part);
        if (count == 3 || !value || part.size() > 2) {
            return false;
        }
        parts[count++] = *value;
        if (colon == std::string_view::npos) {
            break;
        }
        at = colon + 1;
    }
    if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) {
        return false;
    }
    time.hour = parts[0];
    time.minute = parts[1];
    time.second = parts[2];
    return true;
}

// "2013/04/09", "2013-04-09" or "2013.04.09".
bool readNumericDate(std::string_view word, DateTime& time) {
    int year = 0, month = 0, day = 0;
    char first = 0, second = 0, rest = 0;
    std::string text(word);
    if (sscanf(text.c_str(), "%4d%c%2d%c%2d%c", &year, &first, &month, &second, &day, &rest) != 5 ||
        first != second || (first != '/' && first != '-' && first != '.') || text.size() < 8 ||
        !std::isdigit(static_cast<unsigned char>(text[3]))) {
        return false;
    }
    time.year = year;
    time.month = month;
    time.day = day;
    return true;
}

bool valid(const DateTime& time) {
    return time.year >= 1970 && time.year <= 2099 && isRealDate(time);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long daysSinceEpoch(int year, int month, int day) {
    year -= month <= 2;
    long era = (year >= 0 ? year : year - 399) / 400;
    long yearOfEra = year - era * 400;
    long dayOfYear = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

long secondsOf(const DateTime& t) {
    return daysSinceEpoch(t.year, t.month, t.day) * 86400L + t.hour * 3600L + t.minute * 60L +
           t.second;
}

// Sorts one word into the parts of `time`; false when it is none of them.
bool readWord(std::string_view word, DateTime& time, int& pm, std::vector<int>& numbers) {
    if (word.find(':') != std::string_view::npos) {
        return readTimeOfDay(word, time);
    }
    if (word.size() == 2 && strncasecmp(word.data(), "am", 2) == 0) {
        pm = 0;
        return true;
    }
    if (word.size() == 2 && strncasecmp(word.data(), "pm", 2) == 0) {
        pm = 1;
        return true;
    }
    if (int month = monthOfName(word)) {
        time.month = month;
        return true;
    }
    if (readNumericDate(word, time)) {
        return true;
    }
    std::string_view digits =
        !word.empty() && word.back() == '.' ? word.substr(0, word.size() - 1) : word;
    std::optional<int> value = wholeNumber<int>(digits);
    if (value) {
        numbers.push_back(*value);
    }
    return value.has_value();
}

}  // namespace

std::optional<DateTime> parseReadableDate(std::string_view text) {
    DateTime time{};
    int pm = -1;
    std::vector<int> numbers;
    for (std::string_view word : words(text)) {
        if (!readWord(word, time, pm, numbers)) {
            return std::nullopt;
        }
    }
    if (time.year == 0) {  // a month name with the day and the year
        if (numbers.size() != 2 || time.month == 0) {
            return std::nullopt;
        }
        bool yearFirst = numbers[0] >= 1000;
        time.year = yearFirst ? numbers[0] : numbers[1];
        time.day = yearFirst ? numbers[1] : numbers[0];
    } else if (!numbers.empty()) {
        return std::nullopt;
    }
    if (pm >= 0) {
        if (time.hour < 1 || time.hour > 12) {
            return std::nullopt;
        }
        time.hour = time.hour % 12 + (pm ? 12 : 0);
    }
    return valid(time) ? std::optional<DateTime>(time) : std::nullopt;
}

bool timesAgree(const DateTime& a, const DateTime& b, int hours) {
    long apart = secondsOf(a) - secondsOf(b);
    return (apart < 0 ? -apart : apart) <= hours * 3600L;
}

}  // namespace lifelog_tool
