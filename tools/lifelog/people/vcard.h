// vCard files as phones export them (2.1, 3.0 and 4.0): a card per
// BEGIN:VCARD ... END:VCARD, its name from FN (else from N) and every TEL.
// Folded lines (a line starting with a blank continues the one before),
// quoted-printable values with soft line breaks (a line ending in '='
// continues on the next), CHARSET= in any charset the C library converts,
// escaped text (\, \; \n \\), property groups (item1.TEL) and tel: URIs.
// Other properties are passed over.
#ifndef LIFELOG_TOOL_PEOPLE_VCARD_H
#define LIFELOG_TOOL_PEOPLE_VCARD_H

#include <string>
#include <string_view>
#include <vector>

namespace lifelog_tool {

struct VCard {
    long line = 0;     // of its BEGIN:VCARD
    std::string name;  // UTF-8
    std::vector<std::string> numbers;
};

struct VCardProblem {
    long line = 0;
    std::string what;
};

struct VCardFile {
    std::vector<VCard> cards;            // readable cards with a name, in file order
    std::vector<VCardProblem> problems;  // cards skipped, and why
};

VCardFile readVCards(std::string_view text);

// The pieces below are the reader's steps, open for its tests.

// A quoted-printable value decoded ("=C3=A9" -> the two bytes); a '=' not
// followed by two hex digits stays as it is.
std::string decodeQuotedPrintable(std::string_view value);
// The text in `charset` as UTF-8; false when it cannot be converted.
bool toUtf8(const std::string& text, const std::string& charset, std::string& out);
// "\," -> ",", "\;" -> ";", "\n" or "\N" -> line break, "\\" -> "\".
std::string unescapeText(std::string_view value);
// The name an N value makes: "Family;Given;Middle;Prefix;Suffix" -> "Prefix Given
// Middle Family Suffix", empty parts left out.
std::string nameOfStructured(std::string_view value);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_PEOPLE_VCARD_H
