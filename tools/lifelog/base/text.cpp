// UTF-8 checks and escapes for what the tool prints.
#include "base/text.h"

#include <algorithm>
#include <cctype>

#include <fmt/format.h>

#include <locale.h>
#include <wchar.h>

#include <cstdint>

namespace lifelog_tool {

namespace {

constexpr std::string_view kReplacement = "\xef\xbf\xbd";  // U+FFFD

template <typename Each>
void forEachPoint(std::string_view text, Each each) {
    for (size_t at = 0; at < text.size();) {
        Utf8Sequence sequence = decodeUtf8(text.substr(at));
        if (sequence.status != Utf8Sequence::kValid) {
            each(kReplacement, 0xfffd);
            ++at;
        } else {
            each(text.substr(at, sequence.length), sequence.point);
            at += sequence.length;
        }
    }
}

}  // namespace

Utf8Sequence decodeUtf8(std::string_view text) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {Utf8Sequence::kValid, 1, lead};
    }
    // The well-formed ranges: the second byte's narrows after E0, ED, F0
    // and F4, which shuts out overlong forms, surrogates and U+110000 on.
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0) {
        return {};
    }
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    uint32_t point = lead & (0x7f >> length);
    for (size_t i = 1; i < length; ++i) {
        if (i >= text.size()) {
            return {Utf8Sequence::kIncomplete, 1, 0};
        }
        if (byte(i) < (i == 1 ? low : 0x80) || byte(i) > (i == 1 ? high : 0xBF)) {
            return {};
        }
        point = (point << 6) | (byte(i) & 0x3f);
    }
    return {Utf8Sequence::kValid, length, point};
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    forEachPoint(text, [&](std::string_view bytes, uint32_t) { out += bytes; });
    return out;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    forEachPoint(text, [&](std::string_view bytes, uint32_t point) {
        if (point == '\n') {
            out += "\\n";
        } else if (point == '\t') {
            out += "\\t";
        } else if (point == '\r') {
            out += "\\r";
        } else if (point < 0x20 || point == 0x7f) {
            out += fmt::format("\\x{:02x}", point);
        } else if (point >= 0x80 && point <= 0x9f) {
            out += fmt::format("\\u{:04x}", point);
        } else {
            out += bytes;
        }
    });
    return out;
}

namespace {

// The C library's UTF-8 character classes, made once and used only on the
// calling thread (uselocale), so the process's own locale never changes.
locale_t utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

}  // namespace

size_t displayWidth(std::string_view text) {
    if (utf8Locale() == locale_t{}) {
        return characterCount(text);
    }
    locale_t previous = uselocale(utf8Locale());
    size_t width = 0;
    forEachPoint(text, [&](std::string_view, uint32_t point) {
        int columns = wcwidth(static_cast<wchar_t>(point));
        width += columns < 0 ? 1 : static_cast<size_t>(columns);
    });
    uselocale(previous);
    return width;
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    forEachPoint(text, [&](std::string_view, uint32_t) { ++count; });
    return count;
}

std::string trimmed(std::string_view text, std::string_view blanks) {
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string upperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

}  // namespace lifelog_tool
