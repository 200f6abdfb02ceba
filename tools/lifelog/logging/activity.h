// The one way in: how the tool hands activities to the library.  One
// activity record (this header) for every caller; one check of its fields
// against the columns (checkFields); one call that logs it directly
// (logDirectly) and one that delivers it to the running service as a
// notification (deliverNotification); the running service itself
// (service.h) and the watch on the library's log lines that confirms a row
// was stored (watch.h).  `log`, `serve`, the demo and the importer log
// through here, and nothing else in the tool calls the library's logging
// entry points or the notification component.
#ifndef LIFELOG_TOOL_LOGGING_ACTIVITY_H
#define LIFELOG_TOOL_LOGGING_ACTIVITY_H

#include <functional>
#include <string>
#include <string_view>

#include "base/kinds.h"
#include "lifelogSchema.h"

namespace lifelog_tool {

// One call, message or media play, field by field as the entry points
// take it.  Fields that the kind has no column for are ignored.
struct Activity {
    KindId kind = KindId::Call;
    // "YYYY-MM-DD HH:MM:SS"; empty: none of its own (a direct log takes
    // the database's clock, a notification carries no time).
    std::string time;
    std::string number;  // calls and messages
    int direction = 0;
    int duration = 0;  // calls: seconds
    int type = 0;      // the call's, message's or media's type
    std::string text;  // messages: the whole text (the library keeps its start)
    std::string title;
    std::string uri;
    int playTime = 0;
    std::string artist;
    std::string album;
    std::string category;
    int cellId = -1;
    int lac = -1;
    int mcc = -1;
    int mnc = -1;
};

// The characters of a message's text that the library keeps as its
// summary (the library's schema header says how many); the rest of a
// longer text is not stored.
inline constexpr size_t kSummaryCharacters = lifelog::kSummaryCharacters;

// How the caller names a field of the record to its user, from the
// field's name ("number", "text", "title", "uri", "artist", "album",
// "category"): "--number" for an option, "\"number\"" for a JSON member.
using FieldSource = std::function<std::string(std::string_view field)>;

// Throws UsageError naming the source of the first text that is not valid
// UTF-8 or longer than its column's declared size, or that makes the
// writer's insert statement outgrow its work texts.  The time stamp is
// not checked here: the caller parses it.
void checkFields(const Activity& activity, const FieldSource& source);

// Calls the direct-logging entry point of the activity's kind; an empty
// text goes as null.  The entry points report nothing back: whoever must
// know watches the library's log lines (watch.h) or reads the row back.
void logDirectly(const Activity& activity);

// Delivers a call or a message to the running service through the
// notification component, as the platform's own notifications arrive.
// Throws Failure when the component refuses it and UsageError for a kind
// that has no notification (media) or a time stamp that is not one.
void deliverNotification(const Activity& activity);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_ACTIVITY_H
