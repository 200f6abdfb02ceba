// `lifelog serve`: runs the lifelog service in the foreground and feeds it
// notifications read as JSON lines from standard input, one per line:
//
//   {"kind":"call","number":"+4930...","direction":1,"duration":62,"type":0,
//    "time":"2026-12-05 09:14:03"}
//   {"kind":"message","number":"+4930...","direction":0,"type":0,"text":"...",
//    "time":"2026-12-05 09:15:00"}
//
// Each line goes through the one way in to the notification component
// (logging/activity.h), as the platform's own notifications do, and is confirmed: the tool waits
// until the logging thread has handled it and counts it stored only when the library's writer
// reports the row stored.  A line that cannot be used is reported with its number and the tool goes
// on.  End of input, Ctrl-C or SIGTERM stop the service cleanly.
#include <fmt/format.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <nlohmann/json.hpp>
#include <set>

#include "base/configuration.h"
#include "base/query.h"
#include "commands/commands.h"
#include "logging/activity.h"
#include "logging/indexes.h"
#include "logging/service.h"
#include "logging/watch.h"

namespace lifelog_tool {

namespace {

volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

// SIGINT and SIGTERM end the input instead of the process: a read in
// progress returns with EINTR (no SA_RESTART) and the loop winds down.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Lines of standard input, read with read(2) so that a stop signal ends
// the wait.  Lines longer than kLongestLine are cut and reported.
class LineReader {
public:
    static constexpr size_t kLongestLine = 64 * 1024;

    // The next line without its end, or false at the end of input or on a
    // stop signal.
    bool next(std::string& line, bool& tooLong) {
        tooLong = false;
        for (;;) {
            size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                // A line that arrived whole in one read can be longer than
                // the limit too: the size checked below is only that of an
                // unfinished line.
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                tooLong = skipping_ || line.size() > kLongestLine;
                skipping_ = false;
                return true;
            }
            if (buffer_.size() > kLongestLine) {
                buffer_.clear();
                skipping_ = true;
            }
            if (ended_ || stopRequested) {
                if (buffer_.empty() && !skipping_) {
                    return false;
                }
                line.swap(buffer_);
                buffer_.clear();
                tooLong = skipping_;
                skipping_ = false;
                return true;
            }
            char chunk[65536];
            ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
            if (got > 0) {
                buffer_.append(chunk, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ended_ = true;
            }
        }
    }

private:
    std::string buffer_;
    bool ended_ = false;
    bool skipping_ = false;
};

// One notification as read from a line: the activity, and its time stamp
// as a time (all 0 when it carries none of its own).
struct Notification {
    const Kind* kind = nullptr;
    Activity activity;
    DateTime time{};
};

// Why a line cannot be used: thrown while reading it.
struct Unusable {
    std::string what;
};

int integerMember(const nlohmann::json& object, const char* name, int fallback, int lowest,
                  int highest) {
    auto found = object.find(name);
    if (found == object.end()) {
        return fallback;
    }
    if (!found->is_number_integer()) {
        throw Unusable{fmt::format("\"{}\" is not an integer", name)};
    }
    int64_t value = found->get<int64_t>();
    if (found->is_number_unsigned() && found->get<uint64_t>() > INT64_MAX) {
        value = INT64_MAX;
    }
    if (value < lowest || value > highest) {
        throw Unusable{
            fmt::format("\"{}\" is {}, outside {}..{}", name, found->dump(), lowest, highest)};
    }
    return static_cast<int>(value);
}

std::string textMember(const nlohmann::json& object, const char* name, bool required) {
    auto found = object.find(name);
    if (found == object.end()) {
        if (required) {
            throw Unusable{fmt::format("\"{}\" is missing", name)};
        }
        return std::string();
    }
    if (!found->is_string()) {
        throw Unusable{fmt::format("\"{}\" is not a text", name)};
    }
    std::string text = found->get<std::string>();
    if (text.find('\0') != std::string::npos) {
        throw Unusable{fmt::format("\"{}\" holds a NUL character", name)};
    }
    return text;
}

// Which kind the line's "kind" names: a call or a message.
const Kind& notifiedKind(const std::string& word) {
    if (word == "call") {
        return kindOf(KindId::Call);
    }
    if (word == "message") {
        return kindOf(KindId::Message);
    }
    throw Unusable{fmt::format("\"kind\" is \"{}\": use \"call\" or \"message\"", word)};
}

void refuseUnknownMembers(const nlohmann::json& object, const std::string& kind, bool call) {
    static const std::set<std::string> callMembers = {
        "kind", "number", "direction", "duration", "type", "cell", "lac", "mcc", "mnc", "time"};
    static const std::set<std::string> messageMembers = {
        "kind", "number", "direction", "type", "text", "cell", "lac", "mcc", "mnc", "time"};
    for (const auto& member : object.items()) {
        if ((call ? callMembers : messageMembers).count(member.key()) == 0) {
            throw Unusable{fmt::format("a {} has no member \"{}\"", kind, member.key())};
        }
    }
}

// The members of the line as the activity's fields.
Activity activityOf(const nlohmann::json& object, const Kind& kind) {
    bool call = kind.id == KindId::Call;
    Activity a;
    a.kind = kind.id;
    a.number = textMember(object, "number", true);
    a.direction = integerMember(object, "direction", 0, 0, call ? 2 : 1);
    a.type = integerMember(object, "type", 0, call ? -1 : 0, 1);
    if (call) {
        a.duration = integerMember(object, "duration", 0, 0, INT_MAX);
    } else {
        a.text = textMember(object, "text", true);
    }
    a.cellId = integerMember(object, "cell", -1, INT_MIN, INT_MAX);
    a.lac = integerMember(object, "lac", -1, INT_MIN, INT_MAX);
    a.mcc = integerMember(object, "mcc", -1, INT_MIN, INT_MAX);
    a.mnc = integerMember(object, "mnc", -1, INT_MIN, INT_MAX);
    a.time = textMember(object, "time", false);
    return a;
}

// The notification's own time, all 0 when it carries none.
DateTime notifiedTime(const Activity& a) {
    if (a.time.empty()) {
        return DateTime{};
    }
    std::optional<DateTime> time = parseTimestamp(a.time);
    if (!time) {
        throw Unusable{fmt::format("\"time\" is \"{}\", not \"YYYY-MM-DD HH:MM:SS\"", a.time)};
    }
    return *time;
}

Notification readNotification(const std::string& line) {
    nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_discarded()) {
        throw Unusable{"not JSON"};
    }
    if (!object.is_object()) {
        throw Unusable{"not a JSON object"};
    }
    Notification n;
    std::string kind = textMember(object, "kind", true);
    n.kind = &notifiedKind(kind);
    refuseUnknownMembers(object, kind, n.kind->id == KindId::Call);
    n.activity = activityOf(object, *n.kind);
    n.time = notifiedTime(n.activity);
    try {
        checkFields(n.activity,
                    [](std::string_view field) { return fmt::format("\"{}\"", field); });
    } catch (const UsageError& tooLong) {
        throw Unusable{tooLong.what()};
    }
    return n;
}

// Whether a row of the kind is stored with exactly this time stamp: the
// writer replaces it (the same-second rule of the database handle).
bool holdsSecond(const Kind& kind, const DateTime& time) {
    Query query(kind, Range{time, time});
    return query.count() > 0;
}

struct Tally {
    long lines = 0;
    long stored = 0;
    long unusable = 0;
    long notStored = 0;
    long replaced = 0;
    long clocked = 0;  // stored with the database's clock instead of their own time
};

void deliver(const Notification& n, long lineNumber, WriteWatch& watch, Tally& tally) {
    const Kind& kind = *n.kind;
    bool replaces = hasTime(n.time) && holdsSecond(kind, n.time);
    long before = watch.stored();
    watch.takeReasons();
    try {
        deliverNotification(n.activity);
    } catch (const Failure& refused) {
        ++tally.notStored;
        fmt::print(stderr, "lifelog: line {}: the notification component refused the {}: {} ({})\n",
                   lineNumber, kind.word, Exception_toString(refused.code()), refused.code());
        return;
    }
    RunningService::waitIdle();
    if (watch.stored() == before) {
        ++tally.notStored;
        fmt::print(stderr, "lifelog: line {}: {}\n", lineNumber,
                   notStored(kind, watch.takeReasons()));
        return;
    }
    ++tally.stored;
    if (replaces) {
        ++tally.replaced;
        fmt::print(stderr,
                   "lifelog: line {}: replaced the {} stored at the same second ({}): a table "
                   "keeps one row per second\n",
                   lineNumber, kind.word, n.activity.time);
    }
    bool ownTime = kind.id == KindId::Message || (n.activity.direction == 2 && !replaces) ||
                   n.activity.duration <= 0;
    if (hasTime(n.time) && !ownTime) {
        ++tally.clocked;
    }
}

void warnSwitchedOff() {
    Configuration configuration = readConfiguration();
    std::vector<std::string> off;
    for (KindId id : {KindId::Call, KindId::Message}) {
        const Kind& kind = kindOf(id);
        if (!isOn(configuration, kind.table)) {
            fmt::print(stderr, "lifelog: {}: they will not be stored\n",
                       whyOff(configuration, kind.plural));
            off.push_back(kind.word);
        }
    }
    if (!off.empty()) {
        fmt::print(stderr, "lifelog: switch them on with `{}`\n",
                   switchOnCommand(configuration, off));
    }
}

// Delivers each line of standard input until its end or a stop signal.
void deliverLines(WriteWatch& watch, Tally& tally) {
    LineReader reader;
    std::string line;
    bool tooLong = false;
    while (!stopRequested && reader.next(line, tooLong)) {
        ++tally.lines;
        if (line.find_first_not_of(" \t\r") == std::string::npos && !tooLong) {
            continue;  // blank lines carry nothing
        }
        try {
            if (tooLong) {
                throw Unusable{fmt::format("longer than {} bytes", LineReader::kLongestLine)};
            }
            deliver(readNotification(line), tally.lines, watch, tally);
        } catch (const Unusable& unusable) {
            ++tally.unusable;
            fmt::print(stderr, "lifelog: line {}: {}\n", tally.lines, unusable.what);
        }
    }
}

void printTally(const Tally& tally) {
    fmt::print(
        "stored {} of {} notifications{}{}{}{}\n", tally.stored,
        tally.stored + tally.notStored + tally.unusable,
        tally.unusable != 0 ? fmt::format("; {} lines could not be used", tally.unusable) : "",
        tally.notStored != 0 ? fmt::format("; {} were not stored", tally.notStored) : "",
        tally.replaced != 0 ? fmt::format("; {} replaced a row of the same second", tally.replaced)
                            : "",
        tally.clocked != 0
            ? fmt::format("; {} answered calls carry the database's clock (UTC), not "
                          "their own time",
                          tally.clocked)
            : "");
}

int runServe() {
    warnSwitchedOff();
    catchStopSignals();
    WriteWatch watch;
    RunningService service;
    indexWhenLarge();
    if (isatty(STDIN_FILENO)) {
        fmt::print(stderr,
                   "lifelog: the service runs under {}; type notifications as JSON lines, "
                   "end with Ctrl-D or Ctrl-C\n",
                   platformRoot());
    }
    Tally tally;
    deliverLines(watch, tally);
    service.stop();
    printTally(tally);
    if (stopRequested) {
        fmt::print("stopped by a signal after line {}\n", tally.lines);
    }
    return tally.unusable == 0 && tally.notStored == 0 ? 0 : 1;
}

}  // namespace

void addServeCommand(Commands& commands) {
    commands.add("serve",
                 "run the service in the foreground and store the notifications read as JSON "
                 "lines from standard input",
                 [](const Context&) { return runServe(); });
}

}  // namespace lifelog_tool
