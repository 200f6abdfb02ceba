// The vCard reader.
#include "people/vcard.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "base/text.h"

namespace lifelog_tool {

namespace {

struct LogicalLine {
    long line = 0;
    std::string text;
};

// Everything before the value's ':' (outside double quotes), or npos.
size_t valueColon(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return i;
        }
    }
    return std::string_view::npos;
}

bool isQuotedPrintable(std::string_view line) {
    size_t colon = valueColon(line);
    return colon != std::string_view::npos &&
           upperCase(line.substr(0, colon)).find("QUOTED-PRINTABLE") != std::string::npos;
}

std::vector<std::string_view> physicalLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// Physical lines joined into properties: blank-led continuations, and
// quoted-printable soft line breaks.
std::vector<LogicalLine> unfolded(std::string_view text) {
    std::vector<LogicalLine> logical;
    bool softBreak = false;
    long number = 0;
    for (std::string_view line : physicalLines(text)) {
        ++number;
        bool continues = !logical.empty() &&
                         (softBreak || (!line.empty() && (line[0] == ' ' || line[0] == '\t')));
        if (continues) {
            logical.back().text += softBreak ? line : line.substr(1);
        } else {
            logical.push_back({number, std::string(line)});
        }
        const std::string& current = logical.back().text;
        softBreak = !current.empty() && current.back() == '=' && isQuotedPrintable(current);
        if (softBreak) {
            logical.back().text.pop_back();
        }
    }
    return logical;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One property: its name (group dropped, upper case), its parameters (upper
// case) and its raw value.
struct Property {
    std::string name;
    std::vector<std::string> parameters;
    std::string value;

    // The parameter's value ("CHARSET=UTF-8" -> "UTF-8"), or nothing.
    std::optional<std::string> parameter(std::string_view key) const;
    bool has(std::string_view word) const;
};

std::optional<std::string> Property::parameter(std::string_view key) const {
    for (const std::string& parameter : parameters) {
        size_t equals = parameter.find('=');
        if (equals != std::string::npos && std::string_view(parameter).substr(0, equals) == key) {
            std::string value = parameter.substr(equals + 1);
            value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
            return value;
        }
    }
    return std::nullopt;
}

bool Property::has(std::string_view word) const {
    return std::any_of(parameters.begin(), parameters.end(), [&](const std::string& parameter) {
        return parameter == word || parameter.ends_with("=" + std::string(word));
    });
}

std::optional<Property> propertyOf(const std::string& line) {
    size_t colon = valueColon(line);
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    Property property;
    std::string head = upperCase(std::string_view(line).substr(0, colon));
    property.value = line.substr(colon + 1);
    size_t start = 0;
    for (size_t semicolon; (semicolon = head.find(';', start)) != std::string::npos;
         start = semicolon + 1) {
        (start == 0 ? property.name : property.parameters.emplace_back()) =
            head.substr(start, semicolon - start);
    }
    (start == 0 ? property.name : property.parameters.emplace_back()) = head.substr(start);
    size_t dot = property.name.find('.');
    if (dot != std::string::npos) {
        property.name.erase(0, dot + 1);
    }
    return property;
}

// The property's text as UTF-8 with its encodings undone, or nothing when
// its charset cannot be read.
std::optional<std::string> textOf(const Property& property) {
    std::string value = property.value;
    std::optional<std::string> encoding = property.parameter("ENCODING");
    if (property.has("QUOTED-PRINTABLE") || (encoding && *encoding == "QUOTED-PRINTABLE")) {
        value = decodeQuotedPrintable(value);
    }
    std::string utf8;
    std::optional<std::string> charset = property.parameter("CHARSET");
    if (!toUtf8(value, charset.value_or("UTF-8"), utf8) || validUtf8(utf8) != utf8) {
        return std::nullopt;
    }
    return utf8;
}

std::string numberOf(std::string value) {
    if (upperCase(value.substr(0, 4)) == "TEL:") {
        value.erase(0, 4);
    }
    size_t first = value.find_first_not_of(" \t");
    size_t last = value.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

// The card being read: its name as FN gives it, else as N makes it.
struct CardInProgress {
    VCard card;
    std::string fromStructured;
    std::string unreadable;  // why its name cannot be read, "" when it can
};

void readProperty(const Property& property, CardInProgress& card) {
    if (property.name != "FN" && property.name != "N" && property.name != "TEL") {
        return;
    }
    std::optional<std::string> text = textOf(property);
    if (!text) {
        if (property.name != "TEL") {
            card.unreadable = "its name is not text in its charset";
        }
        return;
    }
    if (property.name == "FN") {
        card.card.name = unescapeText(*text);
    } else if (property.name == "N") {
        card.fromStructured = nameOfStructured(*text);
    } else if (std::string number = numberOf(unescapeText(*text)); !number.empty()) {
        card.card.numbers.push_back(number);
    }
}

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

void finishCard(CardInProgress& card, VCardFile& file) {
    if (blank(card.card.name)) {
        card.card.name = card.fromStructured;
    }
    if (!card.unreadable.empty()) {
        file.problems.push_back({card.card.line, "a card whose name cannot be read (" +
                                                     card.unreadable + "): skipped"});
    } else if (blank(card.card.name)) {
        file.problems.push_back({card.card.line, "a card without a name: skipped"});
    } else {
        file.cards.push_back(std::move(card.card));
    }
}

}  // namespace

std::string decodeQuotedPrintable(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        int high = i + 2 < value.size() ? hexDigit(value[i + 1]) : -1;
        int low = i + 2 < value.size() ? hexDigit(value[i + 2]) : -1;
        if (value[i] == '=' && high >= 0 && low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

bool toUtf8(const std::string& text, const std::string& charset, std::string& out) {
    std::string name = upperCase(charset);
    if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") {
        out = text;
        return true;
    }
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string input = text;
    out.assign(input.size() * 4 + 4, '\0');
    char* in = input.data();
    char* to = out.data();
    size_t inLeft = input.size();
    size_t outLeft = out.size();
    size_t done = iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return done != static_cast<size_t>(-1);
}

std::string unescapeText(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[++i];
            out += next == 'n' || next == 'N' ? '\n' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string nameOfStructured(std::string_view value) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            parts.back() += value.substr(i, 2);
            ++i;
        } else if (value[i] == ';') {
            parts.emplace_back();
        } else {
            parts.back() += value[i];
        }
    }
    parts.resize(std::max<size_t>(parts.size(), 5));
    std::string name;
    for (size_t index : {3, 1, 2, 0, 4}) {  // prefix, given, middle, family, suffix
        std::string part = unescapeText(parts[index]);
        if (!blank(part)) {
            name += (name.empty() ? "" : " ") + part;
        }
    }
    return name;
}

VCardFile readVCards(std::string_view text) {
    VCardFile file;
    std::optional<CardInProgress> card;
    for (const LogicalLine& line : unfolded(text)) {
        std::optional<Property> property = propertyOf(line.text);
        if (!property) {
            continue;
        }
        std::string value = upperCase(property->value);
        if (property->name == "BEGIN" && value == "VCARD") {
            if (card) {
                file.problems.push_back({card->card.line, "a card that never ends: skipped"});
            }
            card.emplace();
            card->card.line = line.line;
        } else if (property->name == "END" && value == "VCARD" && card) {
            finishCard(*card, file);
            card.reset();
        } else if (card) {
            readProperty(*property, *card);
        }
    }
    if (card) {
        file.problems.push_back({card->card.line, "a card that never ends: skipped"});
    }
    return file;
}

}  // namespace lifelog_tool
