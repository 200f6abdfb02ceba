// The kind/column table, checked against the library's schema header.
#include "base/kinds.h"

#include <fmt/format.h>

#include <cctype>

#include "base/failure.h"
#include "base/text.h"
#include "lifelogSchema.h"

namespace lifelog_tool {

namespace {

using T = ColumnType;

// A text column with its declared size as the schema header's create
// statement gives it; a column that the header does not size stops the
// build.
consteval Column textColumn(const lifelog::TableSchema& table, const char* name,
                            const char* shortName) {
    int length = lifelog::declaredTextLength(table, name);
    if (length <= 0) {
        throw "the schema header declares no text size for this column";
    }
    return Column{name, shortName, T::Text, length};
}

constexpr Column kCallColumns[] = {
    {"LOG_KEY", "key", T::Integer, 0},
    {"CLOG_DIRECTION", "direction", T::Integer, 0},
    {"CLOG_DURATION", "duration", T::Integer, 0},
    {"CLOG_TYPE", "type", T::Integer, 0},
    textColumn(lifelog::kCallTable, "CLOG_PHONE_NUMBER", "number"),
    textColumn(lifelog::kCallTable, "CLOG_NAME", "name"),
    {"CLOG_CELLID", "cellid", T::Integer, 0},
    {"CLOG_LAC", "lac", T::Integer, 0},
    {"CLOG_MCC", "mcc", T::Integer, 0},
    {"CLOG_MNC", "mnc", T::Integer, 0},
    textColumn(lifelog::kCallTable, "LOCATION", "location"),
    {"CLOG_TIMESTAMP", "time", T::Time, 0},
};

constexpr Column kMessageColumns[] = {
    {"LOG_KEY", "key", T::Integer, 0},
    {"MSGLOG_DIRECTION", "direction", T::Integer, 0},
    textColumn(lifelog::kMessageTable, "MSGLOG_SUMMARY", "summary"),
    {"MSGLOG_TYPE", "type", T::Integer, 0},
    textColumn(lifelog::kMessageTable, "MSGLOG_PHONE_NUMBER", "number"),
    textColumn(lifelog::kMessageTable, "MSGLOG_NAME", "name"),
    {"MSGLOG_CELLID", "cellid", T::Integer, 0},
    {"MSGLOG_LAC", "lac", T::Integer, 0},
    {"MSGLOG_MCC", "mcc", T::Integer, 0},
    {"MSGLOG_MNC", "mnc", T::Integer, 0},
    textColumn(lifelog::kMessageTable, "LOCATION", "location"),
    {"MSGLOG_TIMESTAMP", "time", T::Time, 0},
};

constexpr Column kMediaColumns[] = {
    {"LOG_KEY", "key", T::Integer, 0},
    textColumn(lifelog::kMediaTable, "MDLOG_TITLE", "title"),
    textColumn(lifelog::kMediaTable, "MDLOG_MEDIA_URI", "uri"),
    {"MDLOG_TYPE", "type", T::Integer, 0},
    {"MDLOG_PLAY_TIME", "play_time", T::Integer, 0},
    textColumn(lifelog::kMediaTable, "MDLOG_ARTIST", "artist"),
    textColumn(lifelog::kMediaTable, "MDLOG_ALBUM", "album"),
    textColumn(lifelog::kMediaTable, "MDLOG_CATEGORY", "category"),
    {"MDLOG_CELLID", "cellid", T::Integer, 0},
    {"MDLOG_LAC", "lac", T::Integer, 0},
    {"MDLOG_MCC", "mcc", T::Integer, 0},
    {"MDLOG_MNC", "mnc", T::Integer, 0},
    textColumn(lifelog::kMediaTable, "LOCATION", "location"),
    {"MDLOG_TIMESTAMP", "time", T::Time, 0},
};

// The tool's columns are the library's, in the library's order: the
// table names, time-stamp columns and column lists come from the schema
// header, and a column added, removed or moved there stops this build.
constexpr bool sameColumns(std::span<const Column> tool, const lifelog::TableSchema& table) {
    size_t i = 0;
    for (const char* name : table.columns) {
        if (name == nullptr) {
            break;
        }
        if (i >= tool.size() || std::string_view(tool[i].name) != name) {
            return false;
        }
        ++i;
    }
    return i == tool.size();
}
static_assert(sameColumns(kCallColumns, lifelog::kCallTable) &&
                  sameColumns(kMessageColumns, lifelog::kMessageTable) &&
                  sameColumns(kMediaColumns, lifelog::kMediaTable),
              "the tool's columns differ from the library's tables");

const Kind kKinds[] = {
    {KindId::Call, "call", "calls", lifelog::kCallTable.kind, "CLOG_",
     lifelog::kCallTable.timestampColumn, "CLOG_PHONE_NUMBER", kCallColumns},
    {KindId::Message, "message", "messages", lifelog::kMessageTable.kind, "MSGLOG_",
     lifelog::kMessageTable.timestampColumn, "MSGLOG_PHONE_NUMBER", kMessageColumns},
    {KindId::Media, "media", "media plays", lifelog::kMediaTable.kind, "MDLOG_",
     lifelog::kMediaTable.timestampColumn, "MDLOG_TITLE", kMediaColumns},
};

}  // namespace

std::string columnNames(const Kind& kind) {
    std::string names;
    for (const Column& column : kind.columns) {
        names += names.empty() ? "" : ", ";
        names += column.shortName;
    }
    return names;
}

std::string normalizedName(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c != '_' && c != '-') {
            out.push_back(static_cast<char>(toupper(static_cast<unsigned char>(c))));
        }
    }
    return out;
}

const Column* Kind::column(std::string_view name) const {
    for (const Column& c : columns) {
        if (name == c.name) {
            return &c;
        }
    }
    return nullptr;
}

std::span<const Kind> kinds() {
    return kKinds;
}

const Kind& kindOf(KindId id) {
    return kKinds[static_cast<size_t>(id)];
}

const Kind* kindNamed(std::string_view word) {
    std::string wanted = normalizedName(word);
    for (const Kind& kind : kinds()) {
        bool alias = (wanted == "MSG" || wanted == "SMS") && kind.id == KindId::Message;
        if (wanted == normalizedName(kind.word) || wanted == normalizedName(kind.word) + "S" ||
            wanted == normalizedName(kind.table) || alias) {
            return &kind;
        }
    }
    return nullptr;
}

const Kind& kindByWord(std::string_view word) {
    if (const Kind* kind = kindNamed(word)) {
        return *kind;
    }
    throw UsageError(
        fmt::format("unknown kind '{}': use call, message or media", std::string(word)));
}

std::optional<std::string> columnNamed(const Kind& kind, std::string_view name) {
    std::string wanted = normalizedName(name);
    for (const Column& column : kind.columns) {
        if (wanted == normalizedName(column.name) || wanted == normalizedName(column.shortName) ||
            normalizedName(std::string(kind.prefix) + std::string(name)) ==
                normalizedName(column.name)) {
            return std::string(column.name);
        }
    }
    if (wanted == "TIMESTAMP") {
        return std::string(kind.timeColumn);
    }
    return std::nullopt;
}

std::string resolveColumn(const Kind& kind, std::string_view name) {
    if (std::optional<std::string> column = columnNamed(kind, name)) {
        return *column;
    }
    throw UsageError(fmt::format("the {} table has no column '{}'; its columns: {}", kind.word,
                                 std::string(name), columnNames(kind)));
}

std::string shortName(const Kind& kind, std::string_view column) {
    if (const Column* c = kind.column(column)) {
        return c->shortName;
    }
    return lowerCase(column);
}

namespace {

struct ValueWord {
    KindId kind;
    int64_t direction;  // kAnyDirection: the word does not depend on it
    int64_t value;
    const char* word;
};
constexpr int64_t kAnyDirection = INT64_MIN;

constexpr ValueWord kDirectionWords[] = {
    {KindId::Call, kAnyDirection, 0, "incoming"}, {KindId::Call, kAnyDirection, 1, "outgoing"},
    {KindId::Call, kAnyDirection, 2, "missed"},   {KindId::Message, kAnyDirection, 0, "received"},
    {KindId::Message, kAnyDirection, 1, "sent"},
};

constexpr ValueWord kTypeWords[] = {
    {KindId::Call, kAnyDirection, 0, "voice"},  {KindId::Call, 0, 1, "voicemail"},
    {KindId::Call, 2, -1, "rejected"},          {KindId::Call, 2, 1, "blocked"},
    {KindId::Message, kAnyDirection, 0, "SMS"}, {KindId::Message, kAnyDirection, 1, "MMS"},
    {KindId::Media, kAnyDirection, 0, "audio"}, {KindId::Media, kAnyDirection, 1, "video"},
};

template <size_t N>
const char* wordOf(const ValueWord (&words)[N], KindId kind, int64_t direction, int64_t value) {
    for (const ValueWord& entry : words) {
        if (entry.kind == kind && entry.value == value &&
            (entry.direction == kAnyDirection || entry.direction == direction)) {
            return entry.word;
        }
    }
    return nullptr;
}

}  // namespace

const char* directionWord(KindId kind, int64_t direction) {
    return wordOf(kDirectionWords, kind, kAnyDirection, direction);
}

const char* typeWord(KindId kind, int64_t direction, int64_t type) {
    return wordOf(kTypeWords, kind, direction, type);
}

}  // namespace lifelog_tool
