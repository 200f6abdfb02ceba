// lifelog import: call logs and messages from backup files, through the
// library's direct-logging path.
//
// Each file is read once, streaming, so a pipe or standard input does as
// well as a file.  Entries are mapped as they arrive and handled in
// batches: for each batch the query object says what is stored already
// over the batch's time span, then what is not is logged, one
// direct-logging call per entry, and a check after each call says whether
// the row is really there.  Nothing is counted as imported that the
// database does not hold.
#include "backup/backup.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "backup/mapping.h"
#include "backup/names.h"
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
// they were first met.  A reason with a detail ("unknown element" and the
// element's name) is one reason, shown with its first few details, however
// many different details a file holds.
class Reasons {
public:
    static constexpr size_t kLinesShown = 5;
    static constexpr size_t kDetailsShown = 3;

    void add(const std::string& reason, long line, const std::string& detail = "") {
        auto [at, added] = index_.try_emplace(reason, entries_.size());
        if (added) {
            entries_.push_back({reason, 0, {}, {}, false});
        }
        Entry& e = entries_[at->second];
        ++e.count;
        if (e.lines.size() < kLinesShown) {
            e.lines.push_back(line);
        }
        if (!detail.empty() &&
            std::find(e.details.begin(), e.details.end(), detail) == e.details.end()) {
            e.moreDetails |= e.details.size() == kDetailsShown;
            if (e.details.size() < kDetailsShown) {
                e.details.push_back(detail);
            }
        }
        ++total_;
    }
    long total() const { return total_; }
    void print(const char* indent) const;

private:
    struct Entry {
        std::string reason;
        long count;
        std::vector<long> lines;
        std::vector<std::string> details;
        bool moreDetails;
    };
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;
    long total_ = 0;
};

void Reasons::print(const char* indent) const {
    for (const Entry& e : entries_) {
        std::string lines, what = e.reason;
        for (long line : e.lines) {
            lines += (lines.empty() ? "" : ", ") + std::to_string(line);
        }
        for (size_t i = 0; i < e.details.size(); ++i) {
            what += (i == 0 ? " " : ", ") + e.details[i];
        }
        what += e.moreDetails ? ", ..." : "";
        fmt::print("{}{:<44} {:>9}  (line{} {}{})\n", indent, what, grouped(e.count),
                   e.lines.size() > 1 ? "s" : "", lines,
                   e.count > static_cast<long>(e.lines.size()) ? ", ..." : "");
    }
}

// The terminal's progress bar, or a line per tenth for logs; by the bytes
// read when the file has a size, by the entries alone when it is a pipe.
class Progress {
public:
    explicit Progress(std::string label)
        : label_(std::move(label)), terminal_(isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}

    void update(uint64_t done, uint64_t size, long entries, long imported) {
        auto now = Clock::now();
        if (terminal_) {
            if (done < size && now - shown_ < std::chrono::milliseconds(100)) {
                return;
            }
            shown_ = now;
            fmt::print(stderr, "\r\x1b[K{} {}{} entries, {} imported, {}", label_, bar(done, size),
                       grouped(entries), grouped(imported), pace(done, size, entries, now));
            std::fflush(stderr);
            return;
        }
        int tenth = size > 0 ? static_cast<int>(done * 10 / size) : 0;
        if (size >= kLoggedFrom && tenth > tenth_) {
            tenth_ = tenth;
            fmt::print(stderr, "{}: {}% ({} entries, {} imported), {}\n", label_, tenth * 10,
                       grouped(entries), grouped(imported), pace(done, size, entries, now));
            std::fflush(stderr);
        }
    }

    void finish() {
        if (terminal_ && shown_ != Clock::time_point{}) {
            fmt::print(stderr, "\r\x1b[K");
            std::fflush(stderr);
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    // Smaller files are done before a log line per tenth would say much.
    static constexpr uint64_t kLoggedFrom = 64 * 1024;
    static constexpr int kWidth = 30;

    static std::string bar(uint64_t done, uint64_t size) {
        if (size == 0) {
            return "";
        }
        int filled = static_cast<int>(std::min(done, size) * kWidth / size);
        return fmt::format("[{}{}] {:3}% ", std::string(static_cast<size_t>(filled), '#'),
                           std::string(static_cast<size_t>(kWidth - filled), '.'),
                           std::min(done, size) * 100 / size);
    }

    std::string pace(uint64_t done, uint64_t size, long entries, Clock::time_point now) const {
        double seconds = std::chrono::duration<double>(now - start_).count();
        if (entries == 0 || seconds <= 0) {
            return "starting";
        }
        std::string rate = grouped(static_cast<long long>(entries / seconds + 0.5)) + "/s";
        if (size == 0 || done == 0) {
            return rate;
        }
        double left = (size > done ? size - done : 0) * seconds / done;
        return fmt::format("{}, {} left", rate, duration(static_cast<long>(left + 0.5)));
    }

    std::string label_;
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
    Reasons notes;  // entries stored in a way the report should tell

    long imported = 0;
    long already = 0;
    long switchedOff = 0;
    bool off = false;  // the file's kind is not logged
    long tooOld = 0;
    long twins = 0;
    Reasons notStored;
    long replaced = 0;
    long trimmed = 0;
    int maxCount = 0;
    int64_t rowsAfter = 0;
    bool interrupted = false;
    std::string stopped;  // why the import of the file ended early
};

const Kind& kindOf(BackupKind kind) {
    return kindByWord(kind == BackupKind::Calls ? "call" : "message");
}

std::string keyOf(const std::string& time, const std::string& number, int direction) {
    return time + '\n' + number + '\n' + std::to_string(direction);
}

// The same message as an SMS and as an MMS: same party, same minute, same
// text (as far as the shorter of the two keeps it).
std::string twinKeyOf(const std::string& time, const std::string& number) {
    return time.substr(0, 16) + '\n' + number;
}

bool sameText(const std::string& a, const std::string& b) {
    size_t shorter = std::min(a.size(), b.size());
    return a.compare(0, shorter, b, 0, shorter) == 0;
}

struct Pending {
    BackupActivity activity;
    long line = 0;
};

// What is stored over one batch's span, as keys.
struct StoredKeys {
    std::unordered_set<std::string> rows;
    std::unordered_multimap<std::string, std::pair<int, std::string>> twins;  // type, text
};

// One file's import, entry by entry as the reader hands them over.
class FileRun {
public:
    FileRun(FileImport& file, const ImportOptions& options)
        : file_(file), options_(options), progress_(file.path) {}

    bool onRoot(const std::string& root);
    bool onEntry(const XmlEntry& entry);
    bool onChunk(uint64_t done, uint64_t size);
    void finish();

private:
    static constexpr size_t kBatch = 500;
    static constexpr long kFailuresBeforeStop = 20;

    void noteUsable(const BackupActivity& activity, long line);
    bool flush();
    StoredKeys storedOver(const std::string& first, const std::string& last) const;
    bool handle(const Pending& entry, StoredKeys& stored);
    bool isTwin(const BackupActivity& activity, const StoredKeys& stored) const;
    bool olderThanTheFullTableKeeps(const BackupActivity& activity);
    bool logAndCheck(const Pending& entry);
    void counted(const std::string& key, const BackupActivity& activity, StoredKeys& stored);

    FileImport& file_;
    const ImportOptions& options_;
    Progress progress_;
    const Kind* kind_ = nullptr;
    bool on_ = false;
    std::optional<StoreCheck> check_;
    std::vector<Pending> batch_;
    std::unordered_set<std::string> dryRunSeen_;  // a dry run stores nothing to find again
    int64_t rowsBefore_ = 0;
    int64_t rows_ = 0;  // what the table holds, as the library's trimming will keep it
    int64_t lastKey_ = 0;
    long trimmedByRule_ = 0;
    long failedInARow_ = 0;
    bool storedOne_ = false;
    std::optional<std::string> oldest_;
    uint64_t read_ = 0;  // bytes, as the reader last said
    uint64_t size_ = 0;
};

bool FileRun::onRoot(const std::string& root) {
    file_.kind = backupKindOfRoot(root);
    if (!file_.kind) {
        return false;
    }
    kind_ = &kindOf(*file_.kind);
    Configuration configuration = readConfiguration();
    file_.maxCount = configuration.maxCount;
    on_ = isOn(configuration, kind_->table);
    if (!on_) {
        file_.off = true;
        file_.problem = whyOff(configuration, kind_->plural) + ": nothing imported";
        return true;
    }
    check_.emplace(*kind_);
    rowsBefore_ = rows_ = check_->rowCount();
    std::optional<StoreCheck::Newest> newest = check_->newest();
    lastKey_ = newest ? newest->key : 0;
    return true;
}

void FileRun::noteUsable(const BackupActivity& activity, long line) {
    if (file_.usable++ == 0) {
        file_.first = file_.last = activity.time;
    } else {
        file_.first = std::min(file_.first, activity.time);
        file_.last = std::max(file_.last, activity.time);
    }
    if (activity.dated == DateSource::Seconds) {
        file_.notes.add("dated in seconds, not milliseconds", line);
    } else if (activity.dated == DateSource::Readable) {
        file_.notes.add("dated by readable_date alone (no date)", line);
    }
    if (activity.group) {
        file_.notes.add("group message, stored once with", line,
                        activity.number + (activity.others.empty() ? "" : " (not the others)"));
    }
}

bool FileRun::onEntry(const XmlEntry& entry) {
    if (g_interrupted) {
        file_.interrupted = true;
        return false;
    }
    auto mapped = mapEntry(*file_.kind, entry);
    if (const auto* reason = std::get_if<std::string>(&mapped)) {
        constexpr std::string_view kUnknown = "unknown element ";
        bool unknown = reason->rfind(kUnknown, 0) == 0;
        file_.unusable.add(unknown ? "unknown element" : *reason, entry.line,
                           unknown ? reason->substr(kUnknown.size()) : "");
        return true;
    }
    auto& activity = std::get<BackupActivity>(mapped);
    noteUsable(activity, entry.line);
    if (options_.onName) {
        for (const auto& [number, name] : entryNames(entry)) {
            options_.onName(number, name, file_.path, entry.line);
        }
    }
    if (!on_) {
        ++file_.switchedOff;
        return true;
    }
    batch_.push_back({std::move(activity), entry.line});
    return batch_.size() < kBatch || flush();
}

bool FileRun::onChunk(uint64_t done, uint64_t size) {
    read_ = done;
    size_ = size;
    progress_.update(done, size, file_.usable, file_.imported);
    if (g_interrupted) {
        file_.interrupted = true;
    }
    return !g_interrupted;
}

StoredKeys FileRun::storedOver(const std::string& first, const std::string& last) const {
    StoredKeys stored;
    // Whole minutes, for the twins of the first and the last entry.
    Range span{parseTimestamp(first.substr(0, 16) + ":00"),
               parseTimestamp(last.substr(0, 16) + ":59")};
    forEachStored(*kind_, span, false, [&](const StoredRow& row) {
        stored.rows.insert(keyOf(row.time, row.number, row.direction));
        stored.twins.emplace(twinKeyOf(row.time, row.number), std::pair{row.type, row.summary});
    });
    return stored;
}

// Handles the batch; false when the import of the file must stop.
bool FileRun::flush() {
    if (batch_.empty()) {
        return true;
    }
    auto [first, last] = std::minmax_element(
        batch_.begin(), batch_.end(),
        [](const Pending& a, const Pending& b) { return a.activity.time < b.activity.time; });
    StoredKeys stored = storedOver(first->activity.time, last->activity.time);
    bool goOn = true;
    for (const Pending& entry : batch_) {
        if (g_interrupted) {
            file_.interrupted = true;
            goOn = false;
            break;
        }
        if (!handle(entry, stored)) {
            goOn = false;
            break;
        }
    }
    batch_.clear();
    return goOn;
}

bool FileRun::isTwin(const BackupActivity& activity, const StoredKeys& stored) const {
    if (activity.kind != KindId::Message || options_.keepTwins) {
        return false;
    }
    auto [begin, end] = stored.twins.equal_range(twinKeyOf(activity.time, activity.number));
    return std::any_of(begin, end, [&](const auto& twin) {
        return twin.second.first != activity.type && !twin.second.second.empty() &&
               sameText(twin.second.second, activity.text);
    });
}

// The library trims the oldest row before each insert into a full table:
// an entry older than every row it keeps would push out a newer row and
// then be the first to go.  Such entries are reported and not logged.
bool FileRun::olderThanTheFullTableKeeps(const BackupActivity& activity) {
    if (rows_ < file_.maxCount || rows_ == 0) {
        return false;
    }
    if (!oldest_ && !options_.dryRun) {
        oldest_ = check_->oldestTime();
    }
    return oldest_ && activity.time < *oldest_;
}

void FileRun::counted(const std::string& key, const BackupActivity& activity, StoredKeys& stored) {
    ++file_.imported;
    stored.rows.insert(key);
    stored.twins.emplace(twinKeyOf(activity.time, activity.number),
                         std::pair{activity.type, activity.text});
    if (rows_ >= file_.maxCount && rows_ > 0) {
        ++trimmedByRule_;
        oldest_.reset();  // the oldest row went
    } else {
        ++rows_;
    }
}

bool FileRun::handle(const Pending& entry, StoredKeys& stored) {
    const BackupActivity& activity = entry.activity;
    std::string key = keyOf(activity.time, activity.number, activity.direction);
    if (stored.rows.contains(key) || dryRunSeen_.contains(key)) {
        ++file_.already;
    } else if (isTwin(activity, stored)) {
        ++file_.twins;
    } else if (olderThanTheFullTableKeeps(activity)) {
        ++file_.tooOld;
    } else if (options_.dryRun) {
        dryRunSeen_.insert(key);
        counted(key, activity, stored);
    } else if (logAndCheck(entry)) {
        counted(key, activity, stored);
    } else if (++failedInARow_ == kFailuresBeforeStop) {
        file_.stopped =
            fmt::format("stopped at line {}: the library stored none of the last {} entries",
                        entry.line, kFailuresBeforeStop);
        return false;
    }
    return true;
}

bool FileRun::logAndCheck(const Pending& entry) {
    const BackupActivity& activity = entry.activity;
    logDirectly(activity);
    std::optional<StoreCheck::Newest> now = check_->newest();
    if (now && now->key > lastKey_ && now->time == activity.time &&
        now->number == activity.number) {
        lastKey_ = now->key;
        failedInARow_ = 0;
        if (!storedOne_ && options_.afterFirstRow) {
            storedOne_ = true;
            options_.afterFirstRow();
        }
        return true;
    }
    file_.notStored.add("not stored by the library", entry.line);
    return false;
}

void FileRun::finish() {
    if (file_.stopped.empty() && !file_.interrupted) {
        flush();
        progress_.update(size_ > 0 ? size_ : read_, size_, file_.usable, file_.imported);
    }
    progress_.finish();
    if (!on_) {
        return;
    }
    if (options_.dryRun) {
        file_.trimmed = trimmedByRule_;
        file_.rowsAfter = rows_;
        return;
    }
    // Rows that went away while this file was logged: the maximum explains
    // up to trimmedByRule of them; the library's same-time rule the rest.
    file_.rowsAfter = check_->rowCount();
    int64_t removed = std::max<int64_t>(0, rowsBefore_ + file_.imported - file_.rowsAfter);
    file_.replaced = static_cast<long>(std::max<int64_t>(0, removed - trimmedByRule_));
    file_.trimmed = static_cast<long>(removed - file_.replaced);
}

// Reads and imports one file, and says what is wrong with it as a whole.
void importFile(FileImport& file, const ImportOptions& options) {
    FileRun run(file, options);
    XmlScan read = readBackup(
        file.path, [&](const std::string& root) { return run.onRoot(root); },
        [&](const XmlEntry& entry) { return run.onEntry(entry); },
        [&](uint64_t done, uint64_t size) { return run.onChunk(done, size); });
    run.finish();
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
    } else if (!read.complete && !read.stopped) {
        file.problem = fmt::format(
            "the XML breaks off at line {} ({}): the entries before it count, nothing after it "
            "is read",
            read.errorLine, read.error);
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
    if (file.twins > 0) {
        line("skipped, twin of a stored SMS or MMS (--keep-twins keeps them)", file.twins);
    }
    if (file.tooOld > 0) {
        line("skipped, older than every row the full table keeps", file.tooOld);
    }
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
    file.notes.print("  ");
}

void printReport(const FileImport& file, bool dryRun, const std::string& zone) {
    if (file.fatal) {
        fmt::print("{}: {}\n", file.path, file.problem);
        return;
    }
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
    printCounts(file, dryRun);
    int64_t wanted = std::max<int64_t>(file.rowsAfter + file.trimmed, file.usable);
    if (file.switchedOff == 0 && (file.trimmed > 0 || file.tooOld > 0)) {
        fmt::print(
            "  the {} table keeps at most {} rows; to keep all {} of them: {} config --max {}\n",
            kindOf(*file.kind).word, grouped(file.maxCount), grouped(wanted), rootedTool(), wanted);
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

}  // namespace

int runImport(const ImportOptions& options) {
    requireZone(options.zone);
    InterruptGuard interrupts;
    int status = 0;
    std::vector<std::string> off;  // the kinds to switch on, named once for all files
    for (const std::string& path : options.files) {
        FileImport file;
        file.path = path;
        importFile(file, options);
        printReport(file, options.dryRun, options.zone);
        if (!file.problem.empty() || file.notStored.total() > 0 || !file.stopped.empty()) {
            status = 1;
        }
        if (file.off) {
            off.push_back(kindOf(*file.kind).word);
        }
        if (g_interrupted) {
            return 130;
        }
    }
    if (!off.empty()) {
        fmt::print("switch them on with `{}`, then import again\n",
                   switchOnCommand(readConfiguration(), off));
    }
    return status;
}

}  // namespace lifelog_tool
