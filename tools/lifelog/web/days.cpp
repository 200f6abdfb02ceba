// Activity per day and per hour of the week, read with SQLite on a
// read-only connection of the tool's own (see days.h for why).  The rows of
// the range come in time-stamp order from the time-stamp index; they are
// tallied here as they pass, a day at a time, so that no row is kept.
#include "web/days.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>

#include "base/root.h"
#include "base/text.h"
#include "base/timestamp.h"

namespace lifelog_tool {

namespace {

// The answer when the file cannot be read: a status and the reason.
struct Unreadable {
    int status;
    std::string text;
};

[[noreturn]] void unreadable(sqlite3* db, int rc, const std::string& doing) {
    const int primary = rc & 0xff;
    const int status = primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? 503 : 500;
    throw Unreadable{status, fmt::format("{}: {}", doing, db != nullptr ? sqlite3_errmsg(db) : "")};
}

// One read-only connection and the one statement it runs at a time.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::filesystem::path& file) {
        if (!databaseExists()) {
            throw Unreadable{404, nothingLoggedYet()};
        }
        const int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) {
            unreadable(db_, rc, "opening " + file.string());
        }
        // A writer's commit holds readers back only for a moment.
        sqlite3_busy_timeout(db_, 5000);
    }
    ~ReadOnlyFile() {
        sqlite3_finalize(statement_);
        sqlite3_close_v2(db_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    void prepare(const std::string& sql) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement_, nullptr);
        if (rc != SQLITE_OK) {
            unreadable(db_, rc, "reading the log");
        }
    }
    void bind(int index, const std::string& text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    // True at a row, false at the end.
    bool step() {
        const int rc = sqlite3_step(statement_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            unreadable(db_, rc, "reading the log");
        }
        return rc == SQLITE_ROW;
    }
    std::string_view text(int column) const {
        const auto* bytes = sqlite3_column_text(statement_, column);
        return bytes == nullptr ? std::string_view()
                                : std::string_view(reinterpret_cast<const char*>(bytes),
                                                   sqlite3_column_bytes(statement_, column));
    }
    int64_t number(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

// The talk time of a call; other kinds have none.
const char* secondsColumn(const Kind& kind) {
    return kind.id == KindId::Call ? "CLOG_DURATION" : nullptr;
}

// 0 Sunday .. 6 Saturday for "YYYY-MM-DD...", or nullopt when that is no date.
std::optional<unsigned> weekdayOf(std::string_view stamp) {
    if (stamp.size() < 10 || stamp[4] != '-' || stamp[7] != '-') {
        return std::nullopt;
    }
    const auto year = wholeNumber<int>(stamp.substr(0, 4));
    const auto month = wholeNumber<unsigned>(stamp.substr(5, 2));
    const auto day = wholeNumber<unsigned>(stamp.substr(8, 2));
    if (!year || !month || !day) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{*month},
                                           std::chrono::day{*day}};
    if (!date.ok()) {
        return std::nullopt;
    }
    return std::chrono::weekday{std::chrono::sys_days{date}}.c_encoding();
}

std::optional<unsigned> hourOf(std::string_view stamp) {
    const auto hour =
        stamp.size() >= 13 ? wholeNumber<unsigned>(stamp.substr(11, 2)) : std::nullopt;
    return hour && *hour < 24 ? hour : std::nullopt;
}

// The rows of a range, tallied as they come in time-stamp order.
class Tally {
public:
    explicit Tally(bool withSeconds) : withSeconds_(withSeconds) {}

    void add(std::string_view stamp, int64_t seconds) {
        const std::string_view day = stamp.substr(0, 10);
        if (day != day_) {
            closeDay();
            day_.assign(day);
            weekday_ = weekdayOf(stamp);
        }
        const std::optional<unsigned> hour = hourOf(stamp);
        if (!weekday_ || !hour) {
            ++unplaced_;  // a stored time stamp that names no time
            return;
        }
        ++hours_[*weekday_][*hour];
        ++dayCount_, ++count_;
        daySeconds_ += seconds, seconds_ += seconds;
    }

    void into(nlohmann::ordered_json& body) {
        closeDay();
        body["count"] = count_;
        if (withSeconds_) {
            body["seconds"] = seconds_;
        }
        body["unplaced"] = unplaced_;
        body["days"] = std::move(days_);
        body["hours"] = hours_;
    }

private:
    void closeDay() {
        if (dayCount_ > 0) {
            nlohmann::ordered_json entry = {{"day", day_}, {"count", dayCount_}};
            if (withSeconds_) {
                entry["seconds"] = daySeconds_;
            }
            days_.push_back(std::move(entry));
        }
        dayCount_ = daySeconds_ = 0;
    }

    bool withSeconds_;
    std::string day_;
    std::optional<unsigned> weekday_;
    int64_t dayCount_ = 0, daySeconds_ = 0, count_ = 0, seconds_ = 0, unplaced_ = 0;
    nlohmann::ordered_json days_ = nlohmann::ordered_json::array();
    std::array<std::array<int64_t, 24>, 7> hours_{};
};

nlohmann::ordered_json textOrNull(std::string_view text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

// The table's first and last time stamps: two seeks in the time-stamp index.
void addEnds(ReadOnlyFile& file, const Kind& kind, nlohmann::ordered_json& body) {
    file.prepare(fmt::format("SELECT (SELECT MIN({0}) FROM {1}), (SELECT MAX({0}) FROM {1})",
                             kind.timeColumn, kind.table));
    file.step();
    body["first"] = textOrNull(file.text(0));
    body["last"] = textOrNull(file.text(1));
}

void addTally(ReadOnlyFile& file, const Kind& kind, const Range& range, const std::string& contains,
              nlohmann::ordered_json& body) {
    const char* seconds = secondsColumn(kind);
    std::string sql = fmt::format("SELECT {0}, {1} FROM {2} WHERE {0} BETWEEN ?1 AND ?2",
                                  kind.timeColumn, seconds != nullptr ? seconds : "0", kind.table);
    if (!contains.empty()) {
        sql += fmt::format(" AND {} LIKE '%' || ?3 || '%'", kind.subjectColumn);
    }
    file.prepare(sql + fmt::format(" ORDER BY {}", kind.timeColumn));
    // An open end reaches past every stored time stamp.
    file.bind(1, range.from ? formatTime(*range.from) : "");
    file.bind(2, range.to ? formatTime(*range.to) : "9999-12-31 23:59:59");
    if (!contains.empty()) {
        file.bind(3, contains);
    }
    Tally tally(seconds != nullptr);
    while (file.step()) {
        tally.add(file.text(0), file.number(1));
    }
    tally.into(body);
}

nlohmann::ordered_json boundJson(const std::optional<DateTime>& bound) {
    return bound ? nlohmann::ordered_json(formatTime(*bound)) : nlohmann::ordered_json(nullptr);
}

}  // namespace

ApiAnswer answerDays(const Kind& kind, const Range& range, const std::string& contains) {
    nlohmann::ordered_json body = {
        {"kind", kind.word}, {"from", boundJson(range.from)}, {"to", boundJson(range.to)}};
    try {
        ReadOnlyFile file(hostPath(kDatabasePath));
        addEnds(file, kind, body);
        addTally(file, kind, range, contains, body);
    } catch (const Unreadable& failure) {
        return {failure.status, {{"error", failure.text}}};
    }
    return {200, std::move(body)};
}

}  // namespace lifelog_tool
