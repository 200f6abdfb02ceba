// UTF-8 checks and escapes for what the tool prints.
#include "base/text.h"

#include <fmt/format.h>

#include <locale.h>
#include <wchar.h>

#include <cstdint>

namespace lifelog_tool {

namespace {

// The length of the valid UTF-8 sequence at `at` and its code point, or 0
// when the bytes there are not one (overlong forms, surrogates and values
// past U+10FFFF included).
size_t sequenceAt(std::string_view text, size_t at, uint32_t& point) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xe  ? 3
                    : (lead >> 3) == 0x1e ? 4
                                          : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    if (length == 1) {
        point = lead;
        return 1;
    }
    point = lead & (0x7f >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) {
            return 0;
        }
        point = (point << 6) | (byte(at + i) & 0x3f);
    }
    static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < smallest[length] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) {
        return 0;
    }
    return length;
}

constexpr std::string_view kReplacement = "\xef\xbf\xbd";  // U+FFFD

template <typename Each>
void forEachPoint(std::string_view text, Each each) {
    for (size_t at = 0; at < text.size();) {
        uint32_t point = 0;
        size_t length = sequenceAt(text, at, point);
        if (length == 0) {
            each(kReplacement, 0xfffd);
            ++at;
        } else {
            each(text.substr(at, length), point);
            at += length;
        }
    }
}

}  // namespace

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

}  // namespace lifelog_tool
