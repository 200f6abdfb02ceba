// The one way in: how the tool hands activities to the library.  An
// activity record (this header), the check of its fields against the
// columns (fields.h), the call that logs it directly, the running service
// that takes notifications (service.h), and the watch on the library's log
// lines that confirms a row was stored (watch.h).  The commands, the demo
// and the importer log through here and nowhere else.
//
// One activity as the library's direct-logging entry points take it, and
// the call that hands it over, field by field.
#ifndef LIFELOG_TOOL_LOGGING_ACTIVITY_H
#define LIFELOG_TOOL_LOGGING_ACTIVITY_H

#include <string>

#include "base/query.h"

namespace lifelog_tool {

struct DirectActivity {
    KindId kind = KindId::Call;
    std::string time;  // "YYYY-MM-DD HH:MM:SS"; empty: the database's clock
    std::string number;
    int direction = 0;
    int duration = 0;  // calls: seconds
    int type = 0;      // the call's, message's or media's type
    std::string text;  // messages
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

// Calls the entry point of the activity's kind; an empty text goes as null.
// The entry points report nothing back: whoever must know watches the
// library's log lines (watch.h) or reads the row back.
void logDirectly(const DirectActivity& activity);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_ACTIVITY_H
