// The one field check: an activity's texts against the columns' declared
// sizes and the writer's fixed work texts.  The library stores texts as
// given (the database does not enforce the declared sizes) and its writer
// refuses, without a word to the caller, a row whose insert statement
// outgrows its work texts; the tool checks both beforehand and names the
// field that is too long.
#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "lifelogSchema.h"
#include "logging/activity.h"

namespace lifelog_tool {

namespace {

// The writer's work texts, as the library's schema header gives them.
constexpr size_t kValueRoom = lifelog::kWriterValueRoom;
constexpr size_t kListRoom = lifelog::kWriterListRoom;
constexpr size_t kInsertRoom = lifelog::kWriterInsertRoom;

// One value of the row as the builders make it: the column it goes to,
// where it came from (an option "--title" or a JSON member "text"), and
// its value.  An empty text is left out of the row, as the writer does.
struct Field {
    const char* column;
    std::string source;
    std::optional<std::string> text;
    std::optional<int64_t> number;
};

// The first `characters` UTF-8 characters of the text, cut as the library
// cuts a message summary (never inside a character).
std::string firstCharacters(const std::string& text, size_t characters) {
    size_t at = 0;
    for (size_t count = 0; count < characters && at < text.size(); ++count) {
        at += decodeUtf8(std::string_view(text).substr(at)).length;
    }
    return text.substr(0, at);
}

// Throws UsageError naming the field's source when its text is not valid
// UTF-8, longer than its column's declared size, or longer as written
// into the insert statement (quoted, every '"' doubled) than the writer's
// work text for one value; returns that written length.
size_t checkedTextForm(const Kind& kind, const Field& field) {
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

// Throws UsageError naming the source of the first text that is not valid
// UTF-8 or longer than its column's declared size, or that makes the
// insert statement outgrow the writer's work texts.  `timeColumnWritten`:
// the row also carries its 19-character time stamp.
void checkRow(const Kind& kind, const std::vector<Field>& fields, bool timeColumnWritten) {
    size_t columns = 0;
    size_t values = 0;
    size_t written = 0;
    const Field* longest = nullptr;
    size_t longestForm = 0;
    auto add = [&](const char* column, size_t form, const Field* field) {
        size_t separator = written == 0 ? 0 : 1;
        columns += separator + 2 + std::string_view(column).size();
        values += separator + form;
        ++written;
        if (field != nullptr && form > longestForm) {
            longest = field;
            longestForm = form;
        }
    };
    for (const Field& field : fields) {
        if (field.number) {
            add(field.column, fmt::format("'{}'", *field.number).size(), nullptr);
        } else if (field.text && !field.text->empty()) {
            add(field.column, checkedTextForm(kind, field), &field);
        }
    }
    if (timeColumnWritten) {
        add(kind.timeColumn, 21, nullptr);
    }
    size_t insert = std::string_view("INSERT INTO  (  ) VALUES (  )").size() +
                    std::string_view(kind.table).size() + columns + values;
    if (columns >= kListRoom || values >= kListRoom || insert >= kInsertRoom) {
        throw UsageError(fmt::format(
            "the texts are too long together for the insert statement ({} bytes of values, "
            "at most {}){}",
            values, kListRoom - 1,
            longest != nullptr ? fmt::format("; the longest is {}", longest->source) : ""));
    }
}

// The row as the builders will make it: texts with where they came from,
// numbers for their length in the statement.
std::vector<Field> fieldsOf(const Kind& kind, const Activity& a, const FieldSource& source) {
    std::vector<Field> fields;
    auto text = [&](const char* suffix, const char* field, const std::string& value) {
        fields.push_back(Field{kind.column(std::string(kind.prefix) + suffix)->name, source(field),
                               value, std::nullopt});
    };
    auto number = [&](const char* suffix, int64_t value) {
        fields.push_back(
            Field{kind.column(std::string(kind.prefix) + suffix)->name, "", std::nullopt, value});
    };
    switch (kind.id) {
        case KindId::Call:
            text("PHONE_NUMBER", "number", a.number);
            number("DIRECTION", a.direction);
            number("DURATION", a.duration);
            number("TYPE", a.type);
            break;
        case KindId::Message:
            text("PHONE_NUMBER", "number", a.number);
            number("DIRECTION", a.direction);
            number("TYPE", a.type);
            text("SUMMARY", "text", firstCharacters(a.text, kSummaryCharacters));
            break;
        case KindId::Media:
            number("TYPE", a.type);
            text("TITLE", "title", a.title);
            text("MEDIA_URI", "uri", a.uri);
            if (a.playTime > 0) {
                number("PLAY_TIME", a.playTime);
            }
            text("ARTIST", "artist", a.artist);
            text("ALBUM", "album", a.album);
            text("CATEGORY", "category", a.category);
            break;
    }
    for (auto [suffix, value] :
         {std::pair{"CELLID", a.cellId}, {"LAC", a.lac}, {"MCC", a.mcc}, {"MNC", a.mnc}}) {
        number(suffix, value);
    }
    return fields;
}

}  // namespace

void checkFields(const Activity& activity, const FieldSource& source) {
    const Kind& kind = kindOf(activity.kind);
    if (activity.kind == KindId::Message && validUtf8(activity.text) != activity.text) {
        throw UsageError(fmt::format("{} is not valid UTF-8 text", source("text")));
    }
    checkRow(kind, fieldsOf(kind, activity, source), !activity.time.empty());
}

}  // namespace lifelog_tool
