// lifelog export: stored calls or messages as the backup apps' XML, which
// lifelog import (and the apps) read back.  A message's text is the
// summary that the library kept, not the whole message.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "backup/backup.h"
#include "backup/mapping.h"
#include "backup/store.h"
#include "backup/xml_writer.h"
#include "base/query.h"
#include "base/render.h"

namespace lifelog_tool {

namespace {

constexpr int kMmsType = 1;

void writeRow(XmlWriter& xml, const Kind& kind, const StoredRow& row, int64_t millis) {
    std::string date = std::to_string(millis);
    if (std::string_view(kind.table) == "ACTIVITY_CALL") {
        xml.leaf("call", {{"number", row.number},
                          {"duration", std::to_string(row.duration)},
                          {"date", date},
                          {"type", std::to_string(backupCallType(row.direction, row.type))},
                          {"presentation", "1"},
                          {"readable_date", row.time}});
        return;
    }
    std::string box = std::to_string(backupMessageBox(row.direction));
    if (row.type != kMmsType) {
        xml.leaf("sms", {{"protocol", "0"},
                         {"address", row.number},
                         {"date", date},
                         {"type", box},
                         {"body", row.summary},
                         {"read", "1"},
                         {"readable_date", row.time}});
        return;
    }
    xml.open("mms", {{"date", date},
                     {"msg_box", box},
                     {"address", row.number},
                     {"read", "1"},
                     {"readable_date", row.time}});
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

// Writes the rows of the range to `partial`; returns how many were written.
long writeBackup(const std::filesystem::path& partial, const Kind& kind, const Range& range,
                 long count) {
    bool calls = std::string_view(kind.table) == "ACTIVITY_CALL";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw UsageError(fmt::format("cannot write {}", partial.string()));
    }
    long written = 0;
    {
        XmlWriter xml(out);
        xml.open(calls ? "calls" : "smses", {{"count", std::to_string(count)}});
        forEachStored(kind, range, true, [&](const StoredRow& row) {
            if (std::optional<int64_t> millis = millisOfTimestamp(row.time)) {
                writeRow(xml, kind, row, *millis);
                ++written;
            }
        });
        xml.close(calls ? "calls" : "smses");
    }
    out.close();
    if (!out) {
        written = -1;
    }
    return written;
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
    long count = 0;
    long unreadable = 0;
    forEachStored(kind, range, true, [&](const StoredRow& row) {
        millisOfTimestamp(row.time) ? ++count : ++unreadable;
    });
    std::filesystem::path target(options.file);
    std::filesystem::path partial = target;
    partial += ".part";
    long written = writeBackup(partial, kind, range, count);
    std::error_code error;
    if (written != count) {
        std::filesystem::remove(partial, error);
        throw UsageError(written >= 0
                             ? fmt::format("the {} changed while they were written ({} rows, then "
                                           "{}): nothing written, run it again",
                                           kind.plural, count, written)
                             : fmt::format("cannot write {}", partial.string()));
    }
    std::filesystem::rename(partial, target, error);
    if (error) {
        throw UsageError(fmt::format("cannot rename {} to {}: {}", partial.string(),
                                     target.string(), error.message()));
    }
    fmt::print("wrote {} {} to {}\n", written, written == 1 ? kind.word : kind.plural,
               target.string());
    if (unreadable > 0) {
        fmt::print("left out {} rows whose time stamp is not \"YYYY-MM-DD HH:MM:SS\"\n",
                   unreadable);
    }
}

}  // namespace lifelog_tool
