// Checks of a row against the columns' sizes and the writer's statement.
#include "logging/fields.h"

#include <fmt/format.h>

#include <algorithm>

#include "base/text.h"

namespace lifelog_tool {

std::string firstCharacters(const std::string& text, size_t characters) {
    size_t at = 0;
    for (size_t count = 0; count < characters && at < text.size(); ++count) {
        unsigned char lead = static_cast<unsigned char>(text[at]);
        size_t length = lead < 0xc0 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        at = std::min(text.size(), at + length);
    }
    return text.substr(0, at);
}

namespace {

// What the writer's insert statement takes for a row: the column list, the
// value list, and which field's value is the longest.
struct InsertSize {
    size_t columns = 0;
    size_t values = 0;
    size_t written = 0;
    const Field* longest = nullptr;
    size_t longestForm = 0;

    void add(const char* column, size_t form, const Field* field) {
        size_t separator = written == 0 ? 0 : 1;
        columns += separator + 2 + std::string_view(column).size();
        values += separator + form;
        ++written;
        if (field != nullptr && form > longestForm) {
            longest = field;
            longestForm = form;
        }
    }
};

// The length of a text field's value as the writer quotes it, after
// checking it against its column and the writer's room for one value.
size_t quotedTextLength(const Kind& kind, const Field& field) {
    const std::string& text = *field.text;
    if (validUtf8(text) != text) {
        throw UsageError(fmt::format("{} is not valid UTF-8 text", field.source));
    }
    const Column* column = kind.column(field.column);
    size_t characters = characterCount(text);
    if (column != nullptr && column->declaredLength > 0 &&
        characters > static_cast<size_t>(column->declaredLength)) {
        throw UsageError(
            fmt::format("{} is too long: {} characters, but the {} column holds at most {}",
                        field.source, characters, field.column, column->declaredLength));
    }
    size_t form = 2 + text.size() + static_cast<size_t>(std::count(text.begin(), text.end(), '"'));
    if (form >= kValueRoom) {
        throw UsageError(fmt::format(
            "{} is too long: {} bytes as written into the insert statement, which takes "
            "at most {} per value",
            field.source, form, kValueRoom - 1));
    }
    return form;
}

}  // namespace

void checkRow(const Kind& kind, const std::vector<Field>& fields, bool timeColumnWritten) {
    InsertSize size;
    for (const Field& field : fields) {
        if (field.number) {
            size.add(field.column, fmt::format("'{}'", *field.number).size(), nullptr);
        } else if (field.text && !field.text->empty()) {
            size.add(field.column, quotedTextLength(kind, field), &field);
        }
    }
    if (timeColumnWritten) {
        size.add(kind.timeColumn, 21, nullptr);
    }
    size_t insert = std::string_view("INSERT INTO  (  ) VALUES (  )").size() +
                    std::string_view(kind.table).size() + size.columns + size.values;
    if (size.columns >= kListRoom || size.values >= kListRoom || insert >= kInsertRoom) {
        throw UsageError(fmt::format(
            "the texts are too long together for the insert statement ({} bytes of values, "
            "at most {}){}",
            size.values, kListRoom - 1,
            size.longest != nullptr ? fmt::format("; the longest is {}", size.longest->source)
                                    : ""));
    }
}

}  // namespace lifelog_tool
