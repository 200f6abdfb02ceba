// `lifelog demo`: Friday 14 June 2024 on one phone.
//
// The day is recorded the way the platform records it: the service is
// started through its component class, calls and messages reach it through
// the notification component and are stored on its logging thread, and the
// answered calls and media plays are logged directly, each with its start
// time.  Then the day is read back through the query object only.
//
// Why answered calls are logged directly: a call notification with a
// duration and a known direction is stored with the database's clock, the
// moment it is written, not with the time it carries.  One answered call
// goes through the notification path anyway, so that the report can show
// where it lands.
//
// `--days N` logs N generated days before it (days.h), directly and each
// with its own time, so that the web page and the report have weeks to
// show; the report itself stays on the curated day.
#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "base/configuration.h"
#include "base/query.h"
#include "base/render.h"
#include "demo/days.h"
#include "demo/demo.h"
#include "demo/phone_book.h"
#include "logging/activity.h"
#include "logging/indexes.h"
#include "logging/service.h"
#include "people/people.h"

namespace lifelog_tool {

namespace {

constexpr DateTime at(int hour, int minute, int second) {
    return DateTime{2024, 6, 14, hour, minute, second, 0};
}
constexpr const char* kDayName = "Friday 14 June 2024";
constexpr const char* kDayDate = "2024-06-14";

// Direction and type values as this phone passes them to the platform;
// the library stores them unchanged and gives them no names.
enum { kIncoming = 0, kOutgoing = 1, kMissed = 2 };
enum { kReceived = 0, kSent = 1 };
enum { kVoice = 0, kTextMessage = 0, kAudio = 0, kVideo = 1 };

struct NotifiedCall {
    DateTime when;
    const char* number;
    int direction;
    int duration;
    Cell cell;
};
constexpr NotifiedCall kNotifiedCalls[] = {
    {at(8, 52, 10), "+442079460018", kMissed, 0, kHome},
    {at(11, 47, 33), "+447700900999", kIncoming, 0, kTown},
    {at(14, 5, 20), "+447700900789", kIncoming, 95, kOffice},
    {at(16, 12, 5), "+447700900456", kOutgoing, 0, kOffice},
    {at(20, 31, 44), "+447700900123", kMissed, 0, kHome},
};

struct NotifiedMessage {
    DateTime when;
    const char* number;
    int direction;
    const char* text;
    Cell cell;
};
constexpr NotifiedMessage kNotifiedMessages[] = {
    {at(7, 12, 40), "+447700900123", kReceived, "Morning! Don't forget the dentist at 11", kHome},
    {at(7, 15, 2), "+447700900123", kSent, "Will do, thanks!", kHome},
    {at(9, 3, 55), "+442079460018", kReceived, "Reminder: your appointment is today at 11:00",
     kTown},
    {at(12, 41, 18), "+447700900456", kSent, "Lunch at 1? Usual place", kOffice},
    {at(12, 43, 9), "+447700900456", kReceived, "Yes! See you there", kOffice},
    {at(16, 13, 30), "+447700900456", kSent, "Call me when you're free", kOffice},
    {at(17, 58, 21), "+447700900789", kReceived, "Stand-up moved to 9:30 on Monday", kTown},
    {at(21, 40, 7), "+447700900123", kSent, "Sorry I missed you, call tomorrow? x", kHome},
};

struct DirectCall {
    const char* when;
    const char* number;
    int direction;
    int duration;
    Cell cell;
};
constexpr DirectCall kDirectCalls[] = {
    {"2024-06-14 09:20:15", "+442079460018", kOutgoing, 252, kTown},
    {"2024-06-14 15:30:02", "+447700900123", kOutgoing, 760, kOffice},
    {"2024-06-14 19:02:48", "+447700900456", kIncoming, 1385, kHome},
};

struct MediaPlay {
    const char* when;
    int type;
    const char* title;
    const char* uri;
    int playTime;
    const char* artist;
    const char* album;
    const char* category;
    Cell cell;
};
constexpr MediaPlay kMediaPlays[] = {
    {"2024-06-14 07:40:00", kAudio, "The Morning Brief", "file:///Music/Podcasts/brief-0614.mp3",
     1510, "City Radio", "The Morning Brief", "Podcast", kTown},
    {"2024-06-14 13:25:30", kAudio, "Clair de lune", "file:///Music/Debussy/clair-de-lune.flac",
     301, "Claude Debussy", "Suite bergamasque", "Classical", kOffice},
    {"2024-06-14 17:20:11", kAudio, "Here Comes the Sun", "file:///Music/Beatles/sun.mp3", 185,
     "The Beatles", "Abbey Road", "Pop", kTown},
    {"2024-06-14 17:23:40", kAudio, "Blackbird", "file:///Music/Beatles/blackbird.mp3", 138,
     "The Beatles", "The Beatles", "Pop", kTown},
    {"2024-06-14 22:15:00", kVideo, "The Secret Life of Owls", "file:///Videos/owls.mp4", 2640,
     "Wildlife Films", nullptr, "Documentary", kHome},
};

// The contacts store as it is once the demo's phone book is in it.
Directory& people() {
    static Directory directory;
    return directory;
}

// The demo's phone book into the contacts store, where every reader finds
// the names; a name the user gave a number stays.
void rememberPhoneBook() {
    std::vector<FoundName> found;
    for (const Contact& contact : demoContacts()) {
        found.push_back({contact.number, contact.name, "the demo's phone book", 0});
    }
    ContactsStore store(ContactsStore::Mode::Write);
    learnImportedNames(store, found);
}

std::string contact(const std::string& number) {
    std::string name = people().nameOf(number);
    return !name.empty() ? fmt::format("{} ({})", name, number) : number;
}

std::string callDetail(int64_t direction, int64_t seconds) {
    if (direction == kMissed) {
        return "missed";
    }
    const char* way = direction == kOutgoing ? "outgoing" : "incoming";
    if (seconds <= 0) {
        return fmt::format("{}, {}", way, direction == kOutgoing ? "no answer" : "not answered");
    }
    return fmt::format("{}, {}", way, duration(seconds));
}

void section(const char* title) {
    fmt::print("\n{}\n", title);
}

Range theDay() {
    return Range{parseBound(kDayDate, false), parseBound(kDayDate, true)};
}

// ---------------------------------------------------------------- recording

void freshRoot(int maxCount) {
    unsigned int err = 0;
    _Database_dropInternal(kDatabasePath, &err);
    if (err != 0 && err != ZBASE_E_FILE_NOT_FOUND) {
        throw Failure(fmt::format("removing {}", hostPath(kDatabasePath).string()), err);
    }
    Configuration configuration;
    for (const Kind& kind : kinds()) {
        configuration.on[kind.table] = true;
    }
    configuration.maxCount = maxCount;
    writeConfiguration(configuration);
}

std::map<KindId, int> countPerKind(const std::vector<Activity>& generated) {
    std::map<KindId, int> perKind;
    for (const Activity& activity : generated) {
        ++perKind[activity.kind];
    }
    return perKind;
}

// The most rows one table gets: the curated day's calls, its fullest
// table, plus the generated ones of the kind with the most.
int rowsOfTheFullestTable(const std::vector<Activity>& generated) {
    int fullest = 0;
    for (const auto& [kind, count] : countPerKind(generated)) {
        fullest = std::max(fullest, count);
    }
    return fullest + static_cast<int>(std::size(kNotifiedCalls) + std::size(kDirectCalls));
}

// A voice call of the demo's day as the phone reports it.
Activity callOfTheDay(std::string time, const char* number, int direction, int duration,
                      Cell cell) {
    Activity a = activityIn(KindId::Call, std::move(time), cell);
    a.number = number;
    a.direction = direction;
    a.duration = duration;
    a.type = kVoice;
    return a;
}

void deliverNotifications() {
    for (const NotifiedCall& call : kNotifiedCalls) {
        deliverNotification(callOfTheDay(formatTime(call.when), call.number, call.direction,
                                         call.duration, call.cell));
    }
    for (const NotifiedMessage& message : kNotifiedMessages) {
        Activity a = activityIn(KindId::Message, formatTime(message.when), message.cell);
        a.number = message.number;
        a.direction = message.direction;
        a.type = kTextMessage;
        a.text = message.text;
        deliverNotification(a);
    }
    RunningService::waitIdle();
}

std::string textOrEmpty(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// The day's answered calls and media plays, each logged directly with its
// own time.
void logTheDayDirectly() {
    for (const DirectCall& call : kDirectCalls) {
        logDirectly(callOfTheDay(call.when, call.number, call.direction, call.duration, call.cell));
    }
    for (const MediaPlay& play : kMediaPlays) {
        Activity a = activityIn(KindId::Media, play.when, play.cell);
        a.type = play.type;
        a.title = play.title;
        a.uri = textOrEmpty(play.uri);
        a.playTime = play.playTime;
        a.artist = textOrEmpty(play.artist);
        a.album = textOrEmpty(play.album);
        a.category = textOrEmpty(play.category);
        logDirectly(a);
    }
}

void logGeneratedDays(const DemoOptions& options, const std::vector<Activity>& generated) {
    for (const Activity& activity : generated) {
        logDirectly(activity);
    }
    std::map<KindId, int> perKind = countPerKind(generated);
    fmt::print(
        "  generated days  {} days before it (seed {}): {} calls, {} messages, {} media plays\n",
        options.days, options.seed, perKind[KindId::Call], perKind[KindId::Message],
        perKind[KindId::Media]);
}

void record(const DemoOptions& options) {
    section("Recording the day");
    std::vector<Activity> generated = generateDays(at(0, 0, 0), options.days, options.seed);
    // Raised so that nothing generated is trimmed away.
    int maxCount = std::max(kDefaultMaxCount, rowsOfTheFullestTable(generated));
    freshRoot(maxCount);
    fmt::print("  configuration   calls, messages and media on, {} rows per table kept\n",
               maxCount);
    RunningService service;
    indexWhenLarge();  // the service made the file: index it before the rows come
    fmt::print("  service         started; its logging thread listens for notifications\n");
    deliverNotifications();
    fmt::print("  notifications   {} calls and {} messages delivered and stored\n",
               std::size(kNotifiedCalls), std::size(kNotifiedMessages));
    logTheDayDirectly();
    fmt::print("  direct logging  {} answered calls and {} media plays, each with its time\n",
               std::size(kDirectCalls), std::size(kMediaPlays));
    if (!generated.empty()) {
        logGeneratedDays(options, generated);
    }
    service.stop();
    fmt::print("  service         stopped\n");
}

// ---------------------------------------------------------------- the report

struct Entry {
    std::string stamp;
    std::string kind;
    std::string with;
    std::string detail;
};

std::vector<Entry> timelineEntries() {
    std::vector<Entry> entries;
    for (const Kind& kind : kinds()) {
        Query query(kind, theDay());
        query.orderBy(kind.timeColumn, LIFELOG_ORDER_ASC);
        for (const Row& row : query.list().rows) {
            Entry entry{row.text(kind.timeColumn), kind.word, "", ""};
            std::string_view table = kind.table;
            if (table == "ACTIVITY_CALL") {
                entry.with = contact(row.text("CLOG_PHONE_NUMBER"));
                entry.detail =
                    callDetail(row.number("CLOG_DIRECTION"), row.number("CLOG_DURATION"));
            } else if (table == "ACTIVITY_MESSAGE") {
                entry.with = contact(row.text("MSGLOG_PHONE_NUMBER"));
                entry.detail = fmt::format(
                    "{} \"{}\"", row.number("MSGLOG_DIRECTION") == kSent ? "sent" : "received",
                    row.text("MSGLOG_SUMMARY"));
            } else {
                std::string artist = row.text("MDLOG_ARTIST");
                entry.with = artist.empty() ? row.text("MDLOG_TITLE")
                                            : row.text("MDLOG_TITLE") + " - " + artist;
                entry.detail =
                    fmt::format("{} {}", row.number("MDLOG_TYPE") == kVideo ? "watched" : "played",
                                duration(row.number("MDLOG_PLAY_TIME")));
            }
            entries.push_back(std::move(entry));
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.stamp < b.stamp; });
    return entries;
}

void printTimeline() {
    section(fmt::format("Timeline of {} (by stored time stamp)", kDayName).c_str());
    Table table{{"time", "kind", "with / what", "detail"}, {}, {}};
    for (const Entry& entry : timelineEntries()) {
        table.rows.push_back({entry.stamp.substr(11), entry.kind, entry.with, entry.detail});
    }
    fmt::print("{}", table.render(2));
    fmt::print("  (a message keeps the first 30 characters of its text as its summary)\n");
}

void printCalls() {
    const Kind& calls = kindByWord("call");
    section("Calls");
    Query all(calls, theDay());
    std::vector<Row> longest = all.max("CLOG_DURATION").rows;
    for (const Row& row : longest) {
        fmt::print("  longest       {}  {}  {}\n", row.text("CLOG_TIMESTAMP").substr(11),
                   contact(row.text("CLOG_PHONE_NUMBER")),
                   callDetail(row.number("CLOG_DIRECTION"), row.number("CLOG_DURATION")));
    }
    if (longest.empty()) {
        fmt::print(
            "  longest       on another of the recorded days (the library lists the calls that "
            "hold\n                the table's longest duration and fall in the day asked "
            "for)\n");
    }
    Query answered(calls, theDay());
    answered.where("CLOG_DURATION > 0");
    int count = answered.count();
    fmt::print("  answered      {} calls, {} talking, {} on average\n", count,
               duration(answered.sum("CLOG_DURATION")),
               duration(static_cast<int64_t>(answered.average("CLOG_DURATION") + 0.5)));
    Query missed(calls, theDay());
    missed.where("CLOG_DIRECTION = 2");
    Query unanswered(calls, theDay());
    unanswered.where("CLOG_DURATION <= 0 AND CLOG_DIRECTION <> 2");
    fmt::print("  not answered  {} missed, {} more that nobody picked up\n", missed.count(),
               unanswered.count());
}

void printNumbers() {
    section("Most frequent numbers");
    struct Tally {
        int64_t calls = 0;
        int64_t messages = 0;
        size_t first = 0;
    };
    std::map<std::string, Tally> tallies;
    auto add = [&](const char* kindWord, const char* column, int64_t Tally::*field) {
        Query query(kindByWord(kindWord), theDay());
        for (const Row& row : query.top(column, 5).rows) {
            Tally& tally = tallies[row.text(column)];
            if (tally.calls == 0 && tally.messages == 0) {
                tally.first = tallies.size();
            }
            tally.*field = row.number(kCountColumn);
        }
    };
    add("call", "CLOG_PHONE_NUMBER", &Tally::calls);
    add("message", "MSGLOG_PHONE_NUMBER", &Tally::messages);
    std::vector<std::pair<std::string, Tally>> ordered(tallies.begin(), tallies.end());
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        int64_t left = a.second.calls + a.second.messages;
        int64_t right = b.second.calls + b.second.messages;
        return left != right ? left > right : a.second.first < b.second.first;
    });
    Table table{{"number", "contact", "calls", "messages"}, {false, false, true, true}, {}};
    for (const auto& [number, tally] : ordered) {
        std::string name = people().nameOf(number);
        table.rows.push_back({number, !name.empty() ? name : "-", fmt::format("{}", tally.calls),
                              fmt::format("{}", tally.messages)});
    }
    fmt::print("{}", table.render(2));
}

void printMedia() {
    section("Media");
    Query plays(kindByWord("media"), theDay());
    fmt::print("  plays         {}, {} in all\n", plays.count(),
               duration(plays.sum("MDLOG_PLAY_TIME")));
    for (const Row& row : plays.top("MDLOG_ARTIST", 1).rows) {
        fmt::print("  most played   {} ({} plays)\n", row.text("MDLOG_ARTIST"),
                   row.number(kCountColumn));
    }
    Query longest(kindByWord("media"), theDay());
    for (const Row& row : longest.max("MDLOG_PLAY_TIME").rows) {
        fmt::print("  longest       {} ({})\n", row.text("MDLOG_TITLE"),
                   duration(row.number("MDLOG_PLAY_TIME")));
    }
}

// Rows of the table stored after the day: a call that took the database's
// clock (the generated days all lie before it).
std::vector<Row> afterTheDay(const Kind& kind) {
    Query query(kind, Range{});
    query.where(fmt::format("{} > '{} 23:59:59'", kind.timeColumn, kDayDate));
    return query.list().rows;
}

void printCounts() {
    section("Rows stored");
    Table table{{"kind", "the day", "all"}, {false, true, true}, {}};
    for (const Kind& kind : kinds()) {
        Query day(kind, theDay());
        Query all(kind, Range{});
        table.rows.push_back(
            {kind.plural, fmt::format("{}", day.count()), fmt::format("{}", all.count())});
    }
    fmt::print("{}", table.render(2));

    std::vector<Row> outside = afterTheDay(kindByWord("call"));
    for (const Row& row : outside) {
        std::string delivered = "?";
        for (const NotifiedCall& call : kNotifiedCalls) {
            if (row.text("CLOG_PHONE_NUMBER") == call.number &&
                row.number("CLOG_DURATION") == call.duration) {
                delivered = formatTime(call.when).substr(11);
            }
        }
        fmt::print(
            "\n  Outside the day: the answered call from {}, delivered\n"
            "  for {}, is stored at {}.  A call notification with\n"
            "  a duration and a direction other than missed takes the database's clock\n"
            "  (UTC) when it is written, not its own time.  Missed and unanswered calls,\n"
            "  messages and rows logged directly with a time keep theirs, so the day's\n"
            "  other answered calls were logged directly.\n",
            contact(row.text("CLOG_PHONE_NUMBER")), delivered, row.text("CLOG_TIMESTAMP"));
    }
}

}  // namespace

void runDemo(const DemoOptions& options, const std::string& invocation) {
    fmt::print("lifelog demo: {} on one phone\n", kDayName);
    fmt::print("platform root {} (a fresh database)\n", platformRoot());
    record(options);
    rememberPhoneBook();
    printTimeline();
    printCalls();
    printNumbers();
    printMedia();
    printCounts();
    fmt::print(
        "\nLook around yourself:\n"
        "  {0} list call --order duration:desc\n"
        "  {0} top message number\n"
        "  {0} list media --from \"{1} 12:00\" --json\n",
        invocation, kDayDate);
    if (options.days > 0) {
        fmt::print("  {} web            (the {} days as a timeline in the browser)\n", invocation,
                   options.days + 1);
    }
}

}  // namespace lifelog_tool
