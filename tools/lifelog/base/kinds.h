// The three stored kinds (call, message, media) and their columns, as the
// tool names them on its command line and in what it prints.  The table
// names, time-stamp columns and column order are the library's schema
// header's (kinds.cpp checks them at compile time).
#ifndef LIFELOG_TOOL_BASE_KINDS_H
#define LIFELOG_TOOL_BASE_KINDS_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lifelog_tool {

enum class KindId { Call, Message, Media };

// What a column holds: an integer, a text, the row's time stamp.
enum class ColumnType { Integer, Text, Time };

struct Column {
    const char* name;       // the table's column name, "CLOG_DURATION"
    const char* shortName;  // what the tool also accepts and prints as header, "duration"
    ColumnType type;
    int declaredLength;  // text(N) of the table definition; 0 when not a sized text
};

struct Kind {
    KindId id;
    const char* word;        // "call"
    const char* plural;      // "calls"
    const char* table;       // "ACTIVITY_CALL", also the activity name
    const char* prefix;      // "CLOG_"
    const char* timeColumn;  // "CLOG_TIMESTAMP"
    // The column naming the other party ("CLOG_PHONE_NUMBER") or, for
    // media, what was played ("MDLOG_TITLE").
    const char* subjectColumn;
    std::span<const Column> columns;  // in table order, LOG_KEY first

    const Column* column(std::string_view name) const;  // exact table name, or null
};

// The three stored kinds, in the order call, message, media.
std::span<const Kind> kinds();
const Kind& kindOf(KindId id);
// "call", "calls", "message", "msg", "sms", "media", or a table name, in
// any letter case; kindNamed gives null for any other word, kindByWord
// refuses it.
const Kind* kindNamed(std::string_view word);
const Kind& kindByWord(std::string_view word);
// A column of the kind's table from its name or short name, in any letter
// case ("duration", "CLOG_DURATION", "phone-number", "time").  UsageError
// names the table's columns when there is none.
std::string resolveColumn(const Kind& kind, std::string_view name);
// The same without the error: the column's table name, or nothing.
std::optional<std::string> columnNamed(const Kind& kind, std::string_view name);
// The table's columns by their short names, comma-separated.
std::string columnNames(const Kind& kind);
// Upper case without '_' and '-', so that "play-time", "PLAY_TIME" and
// "playtime" compare alike.
std::string normalizedName(std::string_view name);
// The short name of a column ("CLOG_DURATION" -> "duration"); other names
// (OCCURRED_COUNT) in lower case.
std::string shortName(const Kind& kind, std::string_view column);

// The tool's words for stored directions and types (the library keeps
// numbers and names none): "incoming", "outgoing", "missed" for calls,
// "received", "sent" for messages; null for another value and for media.
const char* directionWord(KindId kind, int64_t direction);
// A call's type read with its direction ("voice", "voicemail", "rejected",
// "blocked", as the importer maps the backup apps' call types), "SMS" or
// "MMS", "audio" or "video"; null for a value the tool gives no word.
const char* typeWord(KindId kind, int64_t direction, int64_t type);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_KINDS_H
