// lifelog export: stored calls or messages as the backup apps' XML, which
// lifelog import (and the apps) read back.  A message's text is the
// summary that the library kept, not the whole message.
#include <cstdio>

#include "backup/backup.h"
#include "backup/mapping.h"
#include "backup/store.h"
#include "backup/xml_writer.h"
#include "base/query.h"
#include "base/render.h"
#include "base/safe_write.h"
#include "base/text.h"
#include "base/timestamp.h"
#include "logging/activity.h"

namespace lifelog_tool {

namespace {

constexpr int kMmsType = 1;

// The attributes with the number's contact_name last, when it has one.
XmlAttributes named(XmlAttributes attributes, const std::string& name) {
    if (!name.empty()) {
        attributes.emplace_back("contact_name", name);
    }
    return attributes;
}

void writeRow(XmlWriter& xml, const Kind& kind, const StoredRow& row, int64_t millis,
              const std::string& name) {
    std::string date = std::to_string(millis);
    if (std::string_view(kind.table) == "ACTIVITY_CALL") {
        xml.leaf("call", named({{"number", row.number},
                                {"duration", std::to_string(row.duration)},
                                {"date", date},
                                {"type", std::to_string(backupCallType(row.direction, row.type))},
                                {"presentation", "1"},
                                {"readable_date", row.time}},
                               name));
        return;
    }
    std::string box = std::to_string(backupMessageBox(row.direction));
    if (row.type != kMmsType) {
        xml.leaf("sms", named({{"protocol", "0"},
                               {"address", row.number},
                               {"date", date},
                               {"type", box},
                               {"body", row.summary},
                               {"read", "1"},
                               {"readable_date", row.time}},
                              name));
        return;
    }
    xml.open("mms", named({{"date", date},
                           {"msg_box", box},
                           {"address", row.number},
                           {"read", "1"},
                           {"readable_date", row.time}},
                          name));
    xml.open("parts", {});
    if (!row.summary.empty()) {
        xml.leaf(
            "part",
            {{"seq", "0"}, {"ct", "text/plain"}, {"name", "text_0.txt"}, {"text", row.summary}});
    }
    xml.close("parts");
    xml.open("addrs", {});
    // 137: the sender, 151: a recipient.
    xml.leaf("addr", {{"address", row.number},
                      {"type", row.direction == 1 ? "151" : "137"},
                      {"charset", "106"}});
    xml.close("addrs");
    xml.close("mms");
}

// The time a row is written with: only a stored time stamp that is a real
// date and time of day, never one the calendar would move elsewhere.
std::optional<int64_t> exportedMillis(const StoredRow& row) {
    return parseTimestamp(row.time) ? millisOfTimestamp(row.time) : std::nullopt;
}

// What a first reading of the range finds: the rows that will be written,
// how many of them hold a text as long as the library keeps (so probably
// cut when it was logged), and the first few whose time stamp is no time.
struct Census {
    long count = 0;
    long cut = 0;
    long unreadable = 0;
    std::vector<std::string> examples;
};

Census countRows(const Kind& kind, const Range& range) {
    Census census;
    forEachStored(kind, range, true, [&](const StoredRow& row) {
        if (exportedMillis(row)) {
            ++census.count;
            census.cut += characterCount(row.summary) >= kSummaryCharacters ? 1 : 0;
        } else if (++census.unreadable <= 3) {
            census.examples.push_back(row.time);
        }
    });
    return census;
}

// Writes the rows of the range to `out`; throws when their number is no
// longer the one counted, so that no file with a wrong count appears.
void writeBackup(std::ostream& out, const Kind& kind, const Range& range, long count,
                 const ExportOptions& options) {
    bool calls = std::string_view(kind.table) == "ACTIVITY_CALL";
    long written = 0;
    XmlWriter xml(out);
    xml.open(calls ? "calls" : "smses", {{"count", std::to_string(count)}});
    forEachStored(kind, range, true, [&](const StoredRow& row) {
        if (std::optional<int64_t> millis = exportedMillis(row)) {
            writeRow(xml, kind, row, *millis,
                     options.nameOf ? options.nameOf(row.number) : std::string());
            ++written;
        }
    });
    xml.close(calls ? "calls" : "smses");
    if (written != count) {
        throw UsageError(
            fmt::format("the {} changed while they were written ({} rows, "
                        "then {}): nothing written, run it again",
                        kind.plural, count, written));
    }
}

// A message keeps the first characters of its text only: the file says
// what the log holds, which for these may be less than was written.
void reportCut(FILE* to, const Census& census) {
    if (census.cut == 0) {
        return;
    }
    fmt::print(to,
               "{} of them {} the {} characters a message keeps of its text: longer texts were "
               "cut there when they were logged, and are cut in the file\n",
               census.cut, census.cut == 1 ? "holds" : "hold", kSummaryCharacters);
}

void reportLeftOut(FILE* to, const Census& census) {
    if (census.unreadable == 0) {
        return;
    }
    std::string shown;
    for (const std::string& example : census.examples) {
        shown += fmt::format("{}\"{}\"", shown.empty() ? "" : ", ", example);
    }
    fmt::print(to, "left out {} rows whose time stamp is not a real date and time ({}{})\n",
               census.unreadable, shown,
               census.unreadable > static_cast<long>(census.examples.size()) ? ", ..." : "");
}

}  // namespace

void runExport(const ExportOptions& options) {
    requireZone(options.zone);
    const Kind& kind = kindByWord(options.kind);
    if (std::string_view(kind.table) != "ACTIVITY_CALL" &&
        std::string_view(kind.table) != "ACTIVITY_MESSAGE") {
        throw UsageError("export writes calls or messages: the backup apps have no media");
    }
    Range range = rangeOfOptions(options.from, options.to);

    // The root element carries the count, so the rows are read twice; the
    // file appears under its name only once it is complete.
    Census census = countRows(kind, range);
    writeFileSafely(
        options.file,
        [&](std::ostream& out) { writeBackup(out, kind, range, census.count, options); },
        databaseFiles());
    // With the file on standard output, what was done goes to standard error.
    FILE* to = options.file == "-" ? stderr : stdout;
    fmt::print(to, "wrote {} {} to {}\n", census.count, census.count == 1 ? kind.word : kind.plural,
               options.file == "-" ? "standard output" : options.file);
    reportCut(to, census);
    reportLeftOut(to, census);
}

}  // namespace lifelog_tool
