// `lifelog log call|message|media`: records one activity through the
// library's direct-logging entry points, as platform code does.
#include <fmt/format.h>

#include <memory>

#include "client.h"
#include "commands.h"
#include "setup.h"

namespace lifelog_tool {

namespace {

// -------------------------------------------------------------- logging

struct LogOptions {
    std::string number;
    std::string direction = "out";
    int duration = 0;
    int type = 0;
    std::string text;
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
    std::string time;
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

void addCellOptions(CLI::App* command, LogOptions& options) {
    command->add_option("--cell", options.cellId, "serving cell identifier (default -1)");
    command->add_option("--lac", options.lac, "location area code (default -1)");
    command->add_option("--mcc", options.mcc, "mobile country code (default -1)");
    command->add_option("--mnc", options.mnc, "mobile network code (default -1)");
    command->add_option("--time", options.time,
                        "time stamp \"YYYY-MM-DD HH:MM:SS\" (default: the database's clock, UTC)");
}

const char* optional(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

void runLog(const std::string& kindWord, const LogOptions& options) {
    const Kind& kind = kindByWord(kindWord);
    if (!options.time.empty() && !parseTimestamp(options.time)) {
        throw UsageError(fmt::format("--time \"{}\" is not \"YYYY-MM-DD HH:MM:SS\"", options.time));
    }
    Configuration configuration = readConfiguration();
    if (!configuration.exists) {
        throw UsageError(
            fmt::format("there is no configuration file {}, so nothing is logged (write one with "
                        "`lifelog config --on {}`)",
                        hostPath(kConfigPath).string(), kind.word));
    }
    if (!isOn(configuration, kind.table)) {
        throw UsageError(
            fmt::format("{} are switched off in {}: nothing recorded (switch them on with "
                        "`lifelog config --on {}`)",
                        kind.plural, hostPath(kConfigPath).string(), kind.word));
    }
    std::string_view table = kind.table;
    const char* time = optional(options.time);
    if (table == "ACTIVITY_CALL") {
        _Lifelog_CallActivityLogging(options.number.c_str(), directionOf(options.direction, true),
                                     options.duration, options.type, options.cellId, options.lac,
                                     options.mcc, options.mnc, time);
    } else if (table == "ACTIVITY_MESSAGE") {
        _Lifelog_MsgActivityLogging(options.number.c_str(), directionOf(options.direction, false),
                                    options.type, options.text.c_str(), options.cellId, options.lac,
                                    options.mcc, options.mnc, time);
    } else {
        _Lifelog_MediaActivityLogging(options.type, options.title.c_str(), optional(options.uri),
                                      options.playTime, optional(options.artist),
                                      optional(options.album), optional(options.category),
                                      options.cellId, options.lac, options.mcc, options.mnc, time);
    }
    fmt::print("logged a {} at {}\n", kind.word,
               time != nullptr ? time : "the database's current time (UTC)");
}

}  // namespace

void addLogCommand(Commands& commands) {
    auto kind = std::make_shared<std::string>();
    auto options = std::make_shared<LogOptions>();
    CLI::App* log = commands.add("log", "record one activity directly, as platform code does",
                                 [kind, options](const Context&) {
                                     runLog(*kind, *options);
                                     return 0;
                                 });
    log->require_subcommand(1);

    CLI::App* call = log->add_subcommand("call", "a voice call");
    call->add_option("--number", options->number, "the other party's number")->required();
    call->add_option("--direction", options->direction, "in, out or missed (default out)");
    call->add_option("--duration", options->duration, "seconds (default 0)");
    call->add_option("--type", options->type, "call type -1, 0 or 1 (default 0)");
    addCellOptions(call, *options);

    CLI::App* message = log->add_subcommand("message", "a text message");
    message->add_option("--number", options->number, "the other party's number")->required();
    message->add_option("--text", options->text, "the message (its first 30 characters are kept)")
        ->required();
    message->add_option("--direction", options->direction, "in or out (default out)");
    message->add_option("--type", options->type, "message type 0 or 1 (default 0)");
    addCellOptions(message, *options);

    CLI::App* media = log->add_subcommand("media", "a media playback");
    media->add_option("--title", options->title, "what was played")->required();
    media->add_option("--uri", options->uri, "where it is");
    media->add_option("--type", options->type, "media type 0, 1 or 2 (default 0)");
    media->add_option("--play-time", options->playTime, "seconds played (kept when above 0)");
    media->add_option("--artist", options->artist);
    media->add_option("--album", options->album);
    media->add_option("--category", options->category);
    addCellOptions(media, *options);

    for (CLI::App* sub : {call, message, media}) {
        sub->callback([kind, sub] { *kind = sub->get_name(); });
    }
}

}  // namespace lifelog_tool
