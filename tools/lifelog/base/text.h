// UTF-8 text: the tool's one decoder, and texts from the database on their
// way out (the database hands back whatever bytes a row holds, and a
// terminal, a CSV reader or a JSON parser must never get raw control
// characters or broken UTF-8 from the tool).
#ifndef LIFELOG_TOOL_BASE_TEXT_H
#define LIFELOG_TOOL_BASE_TEXT_H

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lifelog_tool {

// One UTF-8 sequence at the start of a text.
struct Utf8Sequence {
    enum Status { kValid, kInvalid, kIncomplete };
    Status status = kInvalid;
    size_t length = 1;   // the bytes of a valid sequence; 1 otherwise
    uint32_t point = 0;  // the code point of a valid sequence
};

// Decodes the sequence that starts `text` (not empty).  Valid only when
// well-formed: no overlong form, no UTF-16 surrogate, nothing past
// U+10FFFF.  Incomplete when the text ends inside a sequence that is
// well-formed so far.
Utf8Sequence decodeUtf8(std::string_view text);

// The text with every byte sequence that is not valid UTF-8 replaced by
// U+FFFD (one per bad byte); valid text comes back unchanged.
std::string validUtf8(std::string_view text);

// validUtf8, then every control character (below 0x20, 0x7f, and the C1
// range U+0080..U+009F) shown as a visible escape: "\n", "\t", "\r",
// else "\x1b" / "\u0085".  For the terminal's table view.
std::string printable(std::string_view text);

// The number of terminal columns the text takes: two for a wide character
// (CJK, most emoji), none for a combining mark or a zero-width one, else
// one, as the C library's UTF-8 locale counts them.
size_t displayWidth(std::string_view text);

// The number of code points (UTF-8 characters) of the text; bytes that
// are not valid UTF-8 count one each.
size_t characterCount(std::string_view text);

// The text without the `blanks` it starts and ends with.
std::string trimmed(std::string_view text, std::string_view blanks = " \t\r\n");

// The text with each byte's letter case changed as the C library's
// tolower/toupper change it (ASCII letters; other bytes stay).
std::string lowerCase(std::string_view text);
std::string upperCase(std::string_view text);

// The integer that is the whole of `text` (decimal, an optional '-'), or
// nothing when the text is empty, holds anything else or does not fit.
template <typename Integer>
std::optional<Integer> wholeNumber(std::string_view text) {
    Integer value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_TEXT_H
