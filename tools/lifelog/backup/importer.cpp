// lifelog import: call logs and messages from backup files, through the
// library's direct-logging path.
//
// Each file is read twice, streaming: the first pass finds its kind, its
// usable entries, their time span and what is wrong with the others; the
// query object then says, once for the whole span, what is stored already;
// the second pass logs what is not, one direct-logging call per entry
// through the one way in (logging/activity.h), and checks after each call
// that the row is really there.  Nothing is counted as imported that the
// database does not hold.
#include "backup/backup.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <unordered_set>

#include "backup/mapping.h"
#include "backup/store.h"
#include "backup/xml_reader.h"
#include "base/configuration.h"
#include "base/query.h"
#include "base/render.h"
#include "logging/activity.h"

namespace lifelog_tool {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void onInterrupt(int) {
    g_interrupted = 1;
}

// SIGINT and SIGTERM let the entry being logged finish, then end the
// import with its report; the previous handlers come back afterwards.
class InterruptGuard {
public:
    InterruptGuard() {
        g_interrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

std::string grouped(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

// Reasons with their count and the first few line numbers, in the order
// they were first met.
class Reasons {
public:
    static constexpr size_t kLinesShown = 5;

    void add(const std::string& reason, long line) {
        auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.reason == reason; });
        if (found == entries_.end()) {
            entries_.push_back({reason, 0, {}});
            found = entries_.end() - 1;
        }
        ++found->count;
        if (found->lines.size() < kLinesShown) {
            found->lines.push_back(line);
        }
        ++total_;
    }
    long total() const { return total_; }

    void print(const char* indent) const {
        for (const Entry& e : entries_) {
            std::string lines;
            for (long line : e.lines) {
                lines += (lines.empty() ? "" : ", ") + std::to_string(line);
            }
            fmt::print("{}{:<44} {:>9}  (line{} {}{})\n", indent, e.reason, grouped(e.count),
                       e.lines.size() > 1 ? "s" : "", lines,
                       e.count > static_cast<long>(e.lines.size()) ? ", ..." : "");
        }
    }

private:
    struct Entry {
        std::string reason;
        long count;
        std::vector<long> lines;
    };
    std::vector<Entry> entries_;
    long total_ = 0;
};

// The terminal's progress bar, or a line per tenth for logs.
class Progress {
public:
    Progress(std::string label, long total)
        : label_(std::move(label)),
          total_(total),
          terminal_(isatty(STDERR_FILENO) != 0),
          start_(Clock::now()) {}

    void update(long done, long imported) {
        if (total_ <= 0) {
            return;
        }
        auto now = Clock::now();
        int tenth = static_cast<int>(done * 10 / total_);
        if (terminal_) {
            if (done < total_ && now - shown_ < std::chrono::milliseconds(100)) {
                return;
            }
            shown_ = now;
            int width = 30;
            int filled = static_cast<int>(done * width / total_);
            fmt::print(stderr, "\r\x1b[K{} [{}{}] {:3}% {}/{} entries, {} imported, {}", label_,
                       std::string(static_cast<size_t>(filled), '#'),
                       std::string(static_cast<size_t>(width - filled), '.'), done * 100 / total_,
                       grouped(done), grouped(total_), grouped(imported), pace(done, now));
            std::fflush(stderr);
        } else if (total_ >= kLoggedFrom && tenth > tenth_) {
            tenth_ = tenth;
            fmt::print(stderr, "{}: {}% ({} of {} entries, {} imported), {}\n", label_, tenth * 10,
                       grouped(done), grouped(total_), grouped(imported), pace(done, now));
            std::fflush(stderr);
        }
    }

    void finish() {
        if (terminal_ && total_ > 0) {
            fmt::print(stderr, "\r\x1b[K");
            std::fflush(stderr);
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    // Smaller files are done before a log line per tenth would say much.
    static constexpr long kLoggedFrom = 1000;

    std::string pace(long done, Clock::time_point now) const {
        double seconds = std::chrono::duration<double>(now - start_).count();
        if (done == 0 || seconds <= 0) {
            return "starting";
        }
        double rate = done / seconds;
        long left = static_cast<long>((total_ - done) / rate + 0.5);
        return fmt::format("{}/s, {} left", grouped(static_cast<long long>(rate + 0.5)),
                           duration(left));
    }

    std::string label_;
    long total_;
    bool terminal_;
    Clock::time_point start_;
    Clock::time_point shown_{};
    int tenth_ = 0;
};

struct FileImport {
    std::string path;
    std::optional<BackupKind> kind;
    std::string problem;  // a file-level problem, with its line
    bool fatal = false;   // nothing could be read

    long usable = 0;
    std::string first;  // the span of the usable entries' time stamps
    std::string last;
    Reasons unusable;

    long imported = 0;
    long already = 0;
    long switchedOff = 0;
    Reasons notStored;
    long replaced = 0;
    long trimmed = 0;
    int maxCount = 0;
    int64_t rowsAfter = 0;
    bool interrupted = false;
    std::string stopped;  // why the second pass ended early
};

const Kind& kindOf(BackupKind kind) {
    return kindByWord(kind == BackupKind::Calls ? "call" : "message");
}

// The first pass: kind, usable entries and their span, the unusable ones.
void scan(FileImport& file) {
    XmlScan read = readBackup(
        file.path,
        [&](const std::string& root) {
            file.kind = backupKindOfRoot(root);
            return file.kind.has_value();
        },
        [&](const XmlEntry& entry) {
            auto mapped = mapEntry(*file.kind, entry);
            if (const auto* reason = std::get_if<std::string>(&mapped)) {
                file.unusable.add(*reason, entry.line);
                return true;
            }
            const auto& activity = std::get<Activity>(mapped);
            if (file.usable++ == 0) {
                file.first = file.last = activity.time;
            } else {
                file.first = std::min(file.first, activity.time);
                file.last = std::max(file.last, activity.time);
            }
            return true;
        });
    if (read.root.empty()) {
        file.fatal = true;
        file.problem = read.errorLine > 0
                           ? fmt::format("not XML: {} at line {}", read.error, read.errorLine)
                           : fmt::format("cannot be read: {}", read.error);
    } else if (!file.kind) {
        file.fatal = true;
        file.problem = fmt::format(
            "not a call log or a message backup: its root element is <{}>, not <calls> or "
            "<smses>",
            read.root);
    } else if (!read.complete) {
        file.problem = fmt::format(
            "the XML breaks off at line {} ({}): the entries before it count, nothing after it "
            "is read",
            read.errorLine, read.error);
    }
}

std::string keyOf(const std::string& time, const std::string& number, int direction) {
    return time + '\n' + number + '\n' + std::to_string(direction);
}

// The second pass.  Entries of the same kind, time stamp, number and
// direction as a stored row are there already; so is the second of two
// such entries in one file.
class SecondPass {
public:
    SecondPass(FileImport& file, bool dryRun)
        : file_(file),
          dryRun_(dryRun),
          kind_(kindOf(*file.kind)),
          check_(kind_),
          progress_(file.path, file.usable) {
        loadStoredKeys();
        file_.maxCount = readConfiguration().maxCount;
        rowsBefore_ = rows_ = check_.rowCount();
        std::optional<StoreCheck::Newest> newest = check_.newest();
        lastKey_ = newest ? newest->key : 0;
    }

    void run() {
        readBackup(
            file_.path, [](const std::string&) { return true; },
            [this](const XmlEntry& entry) { return take(entry); });
        progress_.finish();
        finish();
    }

private:
    static constexpr long kFailuresBeforeStop = 20;

    // Keys of what is stored for the file's span: hashes, so that the set
    // stays small next to the table it mirrors.
    void loadStoredKeys() {
        forEachStored(kind_, Range{parseTimestamp(file_.first), parseTimestamp(file_.last)}, false,
                      [&](const StoredRow& row) {
                          stored_.insert(hash_(keyOf(row.time, row.number, row.direction)));
                      });
    }

    // One entry; false stops the pass.
    bool take(const XmlEntry& entry) {
        if (g_interrupted) {
            file_.interrupted = true;
            return false;
        }
        auto mapped = mapEntry(*file_.kind, entry);
        const auto* activity = std::get_if<Activity>(&mapped);
        if (activity == nullptr) {
            return true;
        }
        ++done_;
        size_t key = hash_(keyOf(activity->time, activity->number, activity->direction));
        if (stored_.contains(key)) {
            ++file_.already;
        } else if (dryRun_) {
            counted(key);
        } else if (!logged(*activity, key, entry.line)) {
            return false;
        }
        progress_.update(done_, file_.imported);
        return true;
    }

    // Logs the entry through the one way in and checks that the row is
    // there; false when too many in a row were not stored.
    bool logged(const Activity& activity, size_t key, long line) {
        logDirectly(activity);
        std::optional<StoreCheck::Newest> now = check_.newest();
        if (now && now->key > lastKey_ && now->time == activity.time &&
            now->number == activity.number) {
            lastKey_ = now->key;
            counted(key);
            failedInARow_ = 0;
            return true;
        }
        file_.notStored.add("not stored by the library", line);
        if (++failedInARow_ == kFailuresBeforeStop) {
            file_.stopped =
                fmt::format("stopped at line {}: the library stored none of the last {} entries",
                            line, kFailuresBeforeStop);
            return false;
        }
        return true;
    }

    // An imported entry, and what the library's trimming does with it:
    // remove the oldest row before an insert whenever the table holds the
    // maximum or more.
    void counted(size_t key) {
        ++file_.imported;
        stored_.insert(key);
        (rows_ >= file_.maxCount && rows_ > 0) ? ++trimmedByRule_ : ++rows_;
    }

    void finish() {
        if (dryRun_) {
            file_.trimmed = trimmedByRule_;
            file_.rowsAfter = rows_;
            return;
        }
        // Rows that went away while this file was logged: the maximum
        // explains up to trimmedByRule of them; the same-time rule the rest.
        file_.rowsAfter = check_.rowCount();
        int64_t removed = std::max<int64_t>(0, rowsBefore_ + file_.imported - file_.rowsAfter);
        file_.replaced = static_cast<long>(std::max<int64_t>(0, removed - trimmedByRule_));
        file_.trimmed = static_cast<long>(removed - file_.replaced);
    }

    FileImport& file_;
    bool dryRun_;
    const Kind& kind_;
    StoreCheck check_;
    Progress progress_;
    std::unordered_set<size_t> stored_;
    std::hash<std::string> hash_;
    int64_t rowsBefore_ = 0;
    int64_t rows_ = 0;
    int64_t lastKey_ = 0;
    long trimmedByRule_ = 0;
    long failedInARow_ = 0;
    long done_ = 0;
};

void importEntries(FileImport& file, bool dryRun) {
    SecondPass(file, dryRun).run();
}

// The report's first lines: the file, its kind, its usable entries and
// their span, and a file-level problem.
void printHeading(const FileImport& file, const std::string& zone) {
    const char* kindText = *file.kind == BackupKind::Calls ? "call log" : "messages";
    fmt::print("{}: {}, {} usable entries", file.path, kindText, grouped(file.usable));
    if (file.usable > 0) {
        fmt::print(" from {} to {} ({})", file.first, file.last,
                   zone.empty() ? "local time" : zone);
    }
    fmt::print("\n");
    if (!file.problem.empty()) {
        fmt::print("  {}\n", file.problem);
    }
}

void printCounts(const FileImport& file, bool dryRun) {
    auto line = [](const std::string& what, long long count) {
        fmt::print("  {:<46} {:>9}\n", what, grouped(count));
    };
    line(dryRun ? "would be imported" : "imported", file.imported);
    line("skipped, already there", file.already);
    line("skipped, unusable", file.unusable.total());
    file.unusable.print("    ");
    if (file.switchedOff > 0) {
        line("not imported: logging is switched off", file.switchedOff);
    }
    if (file.notStored.total() > 0) {
        line("not imported: the library did not store them", file.notStored.total());
        file.notStored.print("    ");
    }
    if (!dryRun) {
        line("replaced by a later entry with the same time", file.replaced);
    }
    line(dryRun ? "rows the table maximum would trim" : "rows trimmed by the table maximum",
         file.trimmed);
}

// What the user can do about rows the maximum trims, an interruption, an
// early stop.
void printAdvice(const FileImport& file) {
    int64_t wanted = file.rowsAfter + file.trimmed;
    if (file.trimmed > 0 || (file.maxCount < file.usable)) {
        fmt::print(
            "  the {} table keeps at most {} rows; to keep all {} of them: lifelog config --max "
            "{}\n",
            kindOf(*file.kind).word, grouped(file.maxCount),
            grouped(std::max<int64_t>(wanted, file.usable)),
            std::max<int64_t>(wanted, file.usable));
    }
    if (file.interrupted) {
        fmt::print(
            "  interrupted: the rows counted as imported are stored; run the same import "
            "again to finish\n");
    }
    if (!file.stopped.empty()) {
        fmt::print("  {}\n", file.stopped);
    }
}

void printReport(const FileImport& file, bool dryRun, const std::string& zone) {
    if (file.fatal) {
        fmt::print("{}: {}\n", file.path, file.problem);
        return;
    }
    printHeading(file, zone);
    printCounts(file, dryRun);
    printAdvice(file);
}

}  // namespace

int runImport(const ImportOptions& options) {
    requireZone(options.zone);
    InterruptGuard interrupts;
    int status = 0;
    for (const std::string& path : options.files) {
        FileImport file;
        file.path = path;
        scan(file);
        if (!file.fatal && file.usable > 0 && !g_interrupted) {
            const Kind& kind = kindOf(*file.kind);
            Configuration configuration = readConfiguration();
            if (!isOn(configuration, kind.table)) {
                file.problem = fmt::format(
                    "{} are switched off in {}: nothing imported (switch them on with `lifelog "
                    "config --on {}`)",
                    kind.plural, hostPath(kConfigPath).string(), kind.word);
                file.switchedOff = file.usable;
                file.maxCount = configuration.maxCount;
            } else {
                importEntries(file, options.dryRun);
            }
        }
        printReport(file, options.dryRun, options.zone);
        if (!file.problem.empty() || file.notStored.total() > 0 || !file.stopped.empty()) {
            status = 1;
        }
        if (g_interrupted) {
            return 130;
        }
    }
    return status;
}

}  // namespace lifelog_tool
