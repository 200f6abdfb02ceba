// The names of a backup entry.
#include "backup/names.h"

#include <string_view>

namespace lifelog_tool {

namespace {

std::vector<std::string> split(const std::string& text, std::string_view separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos;
         start = at + separator.size()) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> entryNames(const XmlEntry& entry) {
    const std::string* name = entry.attribute("contact_name");
    const std::string* number = entry.attribute(entry.element == "call" ? "number" : "address");
    if (name == nullptr || number == nullptr) {
        return {};
    }
    std::vector<std::string> numbers = split(*number, "~");
    if (numbers.size() == 1) {
        return {{*number, *name}};  // the whole name, commas and all ("Smith, Ana")
    }
    std::vector<std::string> names = split(*name, ", ");
    if (names.size() != numbers.size()) {
        return {};
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < numbers.size(); ++i) {
        pairs.emplace_back(numbers[i], names[i]);
    }
    return pairs;
}

}  // namespace lifelog_tool
