// `lifelog log call|message|media`: records one activity through the one
// way in (logging/activity.h), directly, as platform code does, and reads
// it back.
#include <fmt/format.h>

#include <memory>

#include "base/configuration.h"
#include "base/query.h"
#include "commands/commands.h"
#include "logging/activity.h"
#include "logging/indexes.h"
#include "logging/watch.h"

namespace lifelog_tool {

namespace {

// -------------------------------------------------------------- logging

// The activity as the options give it; its direction is a word until the
// kind is known.
struct LogOptions {
    Activity activity;
    std::string direction = "out";
};

int directionOf(const std::string& word, bool call) {
    if (word == "in" || word == "incoming" || word == "received" || word == "0") {
        return 0;
    }
    if (word == "out" || word == "outgoing" || word == "sent" || word == "1") {
        return 1;
    }
    if (call && (word == "missed" || word == "2")) {
        return 2;
    }
    throw UsageError(fmt::format("--direction \"{}\": use in, out{}", word,
                                 call ? " or missed (0, 1, 2)" : " (0, 1)"));
}

void addCellOptions(CLI::App* command, Activity& options) {
    command->add_option("--cell", options.cellId, "serving cell identifier (default -1)");
    command->add_option("--lac", options.lac, "location area code (default -1)");
    command->add_option("--mcc", options.mcc, "mobile country code (default -1)");
    command->add_option("--mnc", options.mnc, "mobile network code (default -1)");
    command->add_option("--time", options.time,
                        "time stamp \"YYYY-MM-DD HH:MM:SS\" (default: the database's clock, UTC)");
}

// An SQL text literal: the text in single quotes, each quote doubled.
std::string literal(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

// The row just stored, read back through the query object: the newest
// row of the kind with the same subject (number or title) and, when one
// was given, the same time stamp.
std::optional<Row> readBack(const Kind& kind, const std::string& subject, const std::string& time) {
    Query query(kind, Range{});
    std::string condition = subject.empty()
                                ? fmt::format("{} IS NULL", kind.subjectColumn)
                                : fmt::format("{} = {}", kind.subjectColumn, literal(subject));
    if (!time.empty()) {
        condition += fmt::format(" AND {} = {}", kind.timeColumn, literal(time));
    }
    query.where(condition);
    query.orderBy("LOG_KEY", LIFELOG_ORDER_DESC);
    Listing listing = query.list(1);
    if (listing.rows.empty()) {
        return std::nullopt;
    }
    return listing.rows.front();
}

int runLog(const std::string& kindWord, const LogOptions& options) {
    const Kind& kind = kindByWord(kindWord);
    Activity activity = options.activity;
    activity.kind = kind.id;
    if (!activity.time.empty() && !parseTimestamp(activity.time)) {
        throw UsageError(
            fmt::format("--time \"{}\" is not \"YYYY-MM-DD HH:MM:SS\"", activity.time));
    }
    activity.direction =
        kind.id == KindId::Media ? 0 : directionOf(options.direction, kind.id == KindId::Call);
    checkFields(activity, [](std::string_view field) { return fmt::format("--{}", field); });
    Configuration configuration = readConfiguration();
    if (!isOn(configuration, kind.table)) {
        throw UsageError(fmt::format("{}: nothing recorded (switch {} on with `{}`)",
                                     whyOff(configuration, kind.plural), kind.plural,
                                     switchOnCommand(configuration, {kind.word})));
    }
    WriteWatch watch;
    logDirectly(activity);
    indexWhenLarge();
    if (watch.stored() != 1) {
        throw UsageError(notStored(kind, watch.takeReasons()));
    }
    const std::string& subject = kind.id == KindId::Media ? activity.title : activity.number;
    std::optional<Row> row = readBack(kind, subject, activity.time);
    if (!row) {
        throw UsageError(
            fmt::format("the library reported the {} stored, but reading it back found no such row",
                        kind.word));
    }
    fmt::print("logged a {} at {}{} (LOG_KEY {})\n", kind.word, row->timeText(),
               activity.time.empty() ? ", the database's clock (UTC)" : "", row->key);
    return 0;
}

}  // namespace

void addLogCommand(Commands& commands) {
    auto kind = std::make_shared<std::string>();
    auto options = std::make_shared<LogOptions>();
    CLI::App* log =
        commands.add("log", "record one activity directly, as platform code does",
                     [kind, options](const Context&) { return runLog(*kind, *options); });
    log->require_subcommand(1);

    CLI::App* call = log->add_subcommand("call", "a voice call");
    call->add_option("--number", options->activity.number, "the other party's number")->required();
    call->add_option("--direction", options->direction, "in, out or missed (default out)");
    call->add_option("--duration", options->activity.duration, "seconds (default 0)");
    call->add_option("--type", options->activity.type, "call type -1, 0 or 1 (default 0)");
    addCellOptions(call, options->activity);

    CLI::App* message = log->add_subcommand("message", "a text message");
    message->add_option("--number", options->activity.number, "the other party's number")
        ->required();
    message
        ->add_option("--text", options->activity.text,
                     "the message (its first 30 characters are kept)")
        ->required();
    message->add_option("--direction", options->direction, "in or out (default out)");
    message->add_option("--type", options->activity.type, "message type 0 or 1 (default 0)");
    addCellOptions(message, options->activity);

    CLI::App* media = log->add_subcommand("media", "a media playback");
    media->add_option("--title", options->activity.title, "what was played")->required();
    media->add_option("--uri", options->activity.uri, "where it is");
    media->add_option("--type", options->activity.type, "media type 0, 1 or 2 (default 0)");
    media->add_option("--play-time", options->activity.playTime,
                      "seconds played (kept when above 0)");
    media->add_option("--artist", options->activity.artist);
    media->add_option("--album", options->activity.album);
    media->add_option("--category", options->activity.category);
    addCellOptions(media, options->activity);

    for (CLI::App* sub : {call, message, media}) {
        sub->callback([kind, sub] { *kind = sub->get_name(); });
    }
}

}  // namespace lifelog_tool
