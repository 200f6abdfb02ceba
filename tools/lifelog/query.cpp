// Queries through the library's query object, and their rendering.
#include "query.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>

#include "setup.h"

namespace lifelog_tool {

Failure::Failure(const std::string& doing, unsigned int code)
    : std::runtime_error(fmt::format("{}: {} ({})", doing, Exception_toString(code), code)),
      code_(code) {}

void check(unsigned int err, const std::string& doing) {
    if (err != 0) {
        throw Failure(doing, err);
    }
}

// ------------------------------------------------------------------ kinds

namespace {

std::vector<Kind> makeKinds() {
    std::vector<Kind> all{
        {"call", "calls", "ACTIVITY_CALL", "CLOG_", "CLOG_TIMESTAMP",
         {{"LOG_KEY", "key"},
          {"CLOG_DIRECTION", "direction"},
          {"CLOG_DURATION", "duration"},
          {"CLOG_TYPE", "type"},
          {"CLOG_PHONE_NUMBER", "number"},
          {"CLOG_NAME", "name"},
          {"CLOG_CELLID", "cellid"},
          {"CLOG_LAC", "lac"},
          {"CLOG_MCC", "mcc"},
          {"CLOG_MNC", "mnc"},
          {"LOCATION", "location"},
          {"CLOG_TIMESTAMP", "time"}}},
        {"message", "messages", "ACTIVITY_MESSAGE", "MSGLOG_", "MSGLOG_TIMESTAMP",
         {{"LOG_KEY", "key"},
          {"MSGLOG_DIRECTION", "direction"},
          {"MSGLOG_SUMMARY", "summary"},
          {"MSGLOG_TYPE", "type"},
          {"MSGLOG_PHONE_NUMBER", "number"},
          {"MSGLOG_NAME", "name"},
          {"MSGLOG_CELLID", "cellid"},
          {"MSGLOG_LAC", "lac"},
          {"MSGLOG_MCC", "mcc"},
          {"MSGLOG_MNC", "mnc"},
          {"LOCATION", "location"},
          {"MSGLOG_TIMESTAMP", "time"}}},
        {"media", "media plays", "ACTIVITY_MEDIA", "MDLOG_", "MDLOG_TIMESTAMP",
         {{"LOG_KEY", "key"},
          {"MDLOG_TITLE", "title"},
          {"MDLOG_MEDIA_URI", "uri"},
          {"MDLOG_TYPE", "type"},
          {"MDLOG_PLAY_TIME", "play_time"},
          {"MDLOG_ARTIST", "artist"},
          {"MDLOG_ALBUM", "album"},
          {"MDLOG_CATEGORY", "category"},
          {"MDLOG_CELLID", "cellid"},
          {"MDLOG_LAC", "lac"},
          {"MDLOG_MCC", "mcc"},
          {"MDLOG_MNC", "mnc"},
          {"LOCATION", "location"},
          {"MDLOG_TIMESTAMP", "time"}}},
    };
    return all;
}

// Upper case without '_' and '-', so "play-time", "PLAY_TIME" and
// "playtime" compare alike.
std::string normalized(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c != '_' && c != '-') {
            out.push_back(static_cast<char>(toupper(static_cast<unsigned char>(c))));
        }
    }
    return out;
}

std::string columnNames(const Kind& kind) {
    std::string names;
    for (const Column& column : kind.columns) {
        names += names.empty() ? "" : ", ";
        names += column.shortName;
    }
    return names;
}

}  // namespace

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> all = makeKinds();
    return all;
}

const Kind& kindByWord(std::string_view word) {
    std::string wanted = normalized(word);
    for (const Kind& kind : kinds()) {
        bool alias = (wanted == "MSG" || wanted == "SMS") && kind.table == std::string_view("ACTIVITY_MESSAGE");
        if (wanted == normalized(kind.word) || wanted == normalized(kind.word) + "S" ||
            wanted == normalized(kind.table) || alias) {
            return kind;
        }
    }
    throw UsageError(
        fmt::format("unknown kind '{}': use call, message or media", std::string(word)));
}

std::string resolveColumn(const Kind& kind, std::string_view name) {
    std::string wanted = normalized(name);
    for (const Column& column : kind.columns) {
        if (wanted == normalized(column.name) || wanted == normalized(column.shortName) ||
            normalized(std::string(kind.prefix) + std::string(name)) == normalized(column.name)) {
            return column.name;
        }
    }
    if (wanted == "TIMESTAMP") {
        return kind.timeColumn;
    }
    throw UsageError(fmt::format("the {} table has no column '{}'; its columns: {}", kind.word,
                                 std::string(name), columnNames(kind)));
}

std::string shortName(const Kind& kind, std::string_view column) {
    for (const Column& c : kind.columns) {
        if (column == c.name) {
            return c.shortName;
        }
    }
    std::string lower;
    for (char c : column) {
        lower.push_back(static_cast<char>(tolower(static_cast<unsigned char>(c))));
    }
    return lower;
}

int orderTypeByWord(std::string_view word) {
    std::string wanted = normalized(word);
    if (wanted == "ASC" || wanted == "UP") {
        return LIFELOG_ORDER_ASC;
    }
    if (wanted == "DESC" || wanted == "DOWN") {
        return LIFELOG_ORDER_DESC;
    }
    throw UsageError(fmt::format("unknown order '{}': use asc or desc", std::string(word)));
}

// ------------------------------------------------------------ time stamps

bool hasTime(const DateTime& t) { return t.year != 0 && t.month != 0 && t.day != 0; }

std::string formatTime(const DateTime& t) {
    return fmt::format("{:04d}-{:02d}-{:02d} {:02d}:{:02d}:{:02d}", t.year, t.month, t.day, t.hour,
                       t.minute, t.second);
}

namespace {

// Reads exactly `width` digits at `at`.
bool digits(std::string_view text, size_t at, size_t width, int32_t& out) {
    if (at + width > text.size()) {
        return false;
    }
    for (size_t i = at; i < at + width; ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return std::from_chars(text.data() + at, text.data() + at + width, out).ec == std::errc();
}

bool isRealDate(const DateTime& t) {
    static const int lengths[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return t.year >= 1 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= lengths[t.month - 1] && t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

}  // namespace

std::optional<DateTime> parseTimestamp(std::string_view text) {
    DateTime t{};
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' || !digits(text, 0, 4, t.year) ||
        !digits(text, 5, 2, t.month) || !digits(text, 8, 2, t.day) ||
        !digits(text, 11, 2, t.hour) || !digits(text, 14, 2, t.minute) ||
        !digits(text, 17, 2, t.second) || !isRealDate(t)) {
        return std::nullopt;
    }
    return t;
}

std::optional<DateTime> parseBound(std::string_view text, bool endOfDay) {
    if (text.size() == 10) {
        return parseTimestamp(std::string(text) + (endOfDay ? " 23:59:59" : " 00:00:00"));
    }
    if (text.size() == 16) {
        return parseTimestamp(std::string(text) + (endOfDay ? ":59" : ":00"));
    }
    return parseTimestamp(text);
}

// ------------------------------------------------------------------- rows

const Value* Row::find(std::string_view column) const {
    for (const auto& [name, value] : cells) {
        if (name == column) {
            return &value;
        }
    }
    return nullptr;
}

std::string Row::text(std::string_view column) const {
    const Value* value = find(column);
    return value != nullptr ? cellText(*value) : std::string();
}

int64_t Row::number(std::string_view column, int64_t fallback) const {
    const Value* value = find(column);
    if (value != nullptr && std::holds_alternative<int64_t>(*value)) {
        return std::get<int64_t>(*value);
    }
    if (value != nullptr && std::holds_alternative<double>(*value)) {
        return static_cast<int64_t>(std::get<double>(*value));
    }
    return fallback;
}

namespace {

Value itemValue(const ZLifelogActivityItem* item) {
    if (item->value == nullptr) {
        return std::monostate{};
    }
    switch (item->valueType) {
    case LIFELOG_VALUE_INT:
        return static_cast<int64_t>(*static_cast<const int32_t*>(item->value));
    case LIFELOG_VALUE_INT64:
        return static_cast<int64_t>(*static_cast<const int64_t*>(item->value));
    case LIFELOG_VALUE_DOUBLE:
        return *static_cast<const double*>(item->value);
    case LIFELOG_VALUE_STRING:
        return std::string(static_cast<const char*>(item->value));
    default:
        return std::monostate{};
    }
}

// The activity that the enumerator made for a row, back as columns: the
// time stamp and the location are fields of the activity, the rest items.
Row rowOf(const Kind& kind, const ZLifelogActivity* activity) {
    std::vector<std::pair<std::string, Value>> items;
    for (int i = 0; i < List_size(activity->activityItems); ++i) {
        const auto* item =
            static_cast<const ZLifelogActivityItem*>(List_getAt(activity->activityItems, i));
        items.emplace_back(item->key != nullptr ? item->key : "", itemValue(item));
    }
    Row row;
    for (const Column& column : kind.columns) {
        std::string_view name = column.name;
        if (name == kind.timeColumn) {
            if (hasTime(activity->timestamp)) {
                row.cells.emplace_back(column.name, formatTime(activity->timestamp));
            }
            continue;
        }
        if (name == "LOCATION") {
            if (activity->location != nullptr) {
                row.cells.emplace_back(column.name, std::string(activity->location));
            }
            continue;
        }
        auto found = std::find_if(items.begin(), items.end(),
                                  [&](const auto& item) { return item.first == name; });
        if (found != items.end()) {
            row.cells.push_back(std::move(*found));
            items.erase(found);
        }
    }
    for (auto& rest : items) {
        row.cells.push_back(std::move(rest));
    }
    return row;
}

struct EnumeratorDelete {
    void operator()(ZLifelogEnumerator* enumerator) const { ZLifelogEnumerator_delete(enumerator); }
};
struct ActivityDelete {
    void operator()(ZLifelogActivity* activity) const { ZLifelogActivity_delete(activity); }
};

using CreateFactoryFn = LifelogCommon* (*)(unsigned int*);

ILifelog* newQueryObject() {
    unsigned int err = 0;
    void* entry = Dll_getFactory(nullptr, &err);
    check(err, "reaching the lifelog library's class factory");
    LifelogCommon* factory = reinterpret_cast<CreateFactoryFn>(entry)(&err);
    check(err, "making the lifelog class factory");
    auto* object =
        static_cast<ILifelog*>(factory->ops->createInstance(factory, &IID_ILifelog, &err));
    factory->ops->release(factory);
    check(err, "making a query object");
    return object;
}

// Open-ended ranges reach the first and the last representable second.
constexpr DateTime kEarliest{1, 1, 1, 0, 0, 0, 0};
constexpr DateTime kLatest{9999, 12, 31, 23, 59, 59, 0};

}  // namespace

Query::Query(const Kind& kind, const Range& range) : kind_(kind), object_(newQueryObject()) {
    unsigned int err = 0;
    if (range.from || range.to) {
        object_->ops->initialize2(object_, kind.table, range.from.value_or(kEarliest),
                                  range.to.value_or(kLatest), &err);
    } else {
        object_->ops->initialize(object_, kind.table, &err);
    }
    if (err != 0) {
        object_->ops->release(object_);
        object_ = nullptr;
        throw Failure(fmt::format("opening the lifelog database {}{}",
                                  hostPath(kDatabasePath).string(),
                                  err == ZBASE_E_FILE_NOT_FOUND
                                      ? " (nothing has been logged under this root yet)"
                                      : ""),
                      err);
    }
}

Query::~Query() {
    if (object_ != nullptr) {
        object_->ops->release(object_);
    }
}

void Query::where(const std::string& condition) {
    unsigned int err = 0;
    object_->ops->setFilter(object_, condition.c_str(), &err);
    check(err, fmt::format("the {} table refuses the condition \"{}\"", kind_.word, condition));
}

void Query::orderBy(const std::string& column, int orderType) {
    unsigned int err = 0;
    object_->ops->setSortOrder(object_, column.c_str(), orderType, &err);
    check(err, fmt::format("ordering the {} table by {}", kind_.word, column));
}

void Query::orderBy(const std::string& column1, int orderType1, const std::string& column2,
                    int orderType2) {
    unsigned int err = 0;
    object_->ops->setSortOrder2(object_, column1.c_str(), orderType1, column2.c_str(), orderType2,
                                &err);
    check(err, fmt::format("ordering the {} table by {}, then {}", kind_.word, column1, column2));
}

std::vector<Row> Query::drain(ZLifelogEnumerator* made, unsigned int err,
                              const std::string& doing) {
    std::unique_ptr<ZLifelogEnumerator, EnumeratorDelete> enumerator(made);
    check(err, doing);
    std::vector<Row> rows;
    for (;;) {
        ZLifelogEnumerator_moveNext(enumerator.get(), &err);
        if (err == 2) {
            return rows;
        }
        check(err, doing);
        std::unique_ptr<ZLifelogActivity, ActivityDelete> activity(
            ZLifelogEnumerator_getCurrentN(enumerator.get(), &err));
        check(err, fmt::format("{}: reading row {}", doing, rows.size() + 1));
        rows.push_back(rowOf(kind_, activity.get()));
    }
}

std::vector<Row> Query::list() {
    unsigned int err = 0;
    ZLifelogEnumerator* enumerator = object_->ops->getEnumerator(object_, &err);
    return drain(enumerator, err, fmt::format("listing the {}", kind_.plural));
}

std::vector<Row> Query::max(const std::string& column) {
    unsigned int err = 0;
    ZLifelogEnumerator* enumerator = object_->ops->findMaxLogs(object_, column.c_str(), &err);
    return drain(enumerator, err, fmt::format("finding the largest {}", column));
}

std::vector<Row> Query::min(const std::string& column) {
    unsigned int err = 0;
    ZLifelogEnumerator* enumerator = object_->ops->findMinLogs(object_, column.c_str(), &err);
    return drain(enumerator, err, fmt::format("finding the smallest {}", column));
}

std::vector<Row> Query::top(const std::string& column, int limit) {
    unsigned int err = 0;
    ZLifelogEnumerator* enumerator =
        object_->ops->getMostOccurredValues(object_, column.c_str(), limit, &err);
    return drain(enumerator, err, fmt::format("finding the most frequent {}", column));
}

int Query::count() {
    unsigned int err = 0;
    int value = object_->ops->getCount(object_, &err);
    check(err, fmt::format("counting the {}", kind_.plural));
    return value;
}

int Query::sum(const std::string& column) {
    unsigned int err = 0;
    int value = object_->ops->getSum(object_, column.c_str(), &err);
    check(err, fmt::format("adding up {}", column));
    return value;
}

double Query::average(const std::string& column) {
    unsigned int err = 0;
    double value = object_->ops->getAverage(object_, column.c_str(), &err);
    check(err, fmt::format("averaging {}", column));
    return value;
}

// -------------------------------------------------------------- rendering

std::string cellText(const Value& value) {
    struct Text {
        std::string operator()(std::monostate) const { return std::string(); }
        std::string operator()(int64_t number) const { return fmt::format("{}", number); }
        std::string operator()(double number) const { return fmt::format("{:.2f}", number); }
        std::string operator()(const std::string& text) const { return text; }
    };
    return std::visit(Text{}, value);
}

nlohmann::ordered_json jsonValue(const Value& value) {
    struct Json {
        nlohmann::ordered_json operator()(std::monostate) const { return nullptr; }
        nlohmann::ordered_json operator()(int64_t number) const { return number; }
        nlohmann::ordered_json operator()(double number) const { return number; }
        nlohmann::ordered_json operator()(const std::string& text) const { return text; }
    };
    return std::visit(Json{}, value);
}

nlohmann::ordered_json jsonRow(const Kind& kind, const Row& row) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const Column& column : kind.columns) {
        const Value* value = row.find(column.name);
        object[column.name] = value != nullptr ? jsonValue(*value) : nullptr;
    }
    for (const auto& [name, value] : row.cells) {
        if (!object.contains(name)) {
            object[name] = jsonValue(value);
        }
    }
    return object;
}

nlohmann::ordered_json jsonRows(const Kind& kind, const std::vector<Row>& rows) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const Row& row : rows) {
        array.push_back(jsonRow(kind, row));
    }
    return array;
}

std::string Table::render(int indent) const {
    std::vector<size_t> widths(headers.size());
    for (size_t c = 0; c < headers.size(); ++c) {
        widths[c] = headers[c].size();
        for (const auto& row : rows) {
            widths[c] = std::max(widths[c], c < row.size() ? row[c].size() : 0);
        }
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string out(static_cast<size_t>(indent), ' ');
        for (size_t c = 0; c < headers.size(); ++c) {
            const std::string empty;
            const std::string& cell = c < cells.size() ? cells[c] : empty;
            bool right = c < rightAligned.size() && rightAligned[c];
            out += right ? fmt::format("{:>{}}", cell, widths[c])
                         : fmt::format("{:<{}}", cell, widths[c]);
            out += c + 1 < headers.size() ? "  " : "";
        }
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
        return out + "\n";
    };
    std::vector<std::string> upper;
    for (const std::string& header : headers) {
        std::string text;
        for (char ch : header) {
            text.push_back(static_cast<char>(toupper(static_cast<unsigned char>(ch))));
        }
        upper.push_back(text);
    }
    std::string out = line(upper);
    for (const auto& row : rows) {
        out += line(row);
    }
    return out;
}

Table rowsTable(const Kind& kind, const std::vector<Row>& rows) {
    std::vector<std::string> columns;
    for (const Column& column : kind.columns) {
        bool used = std::any_of(rows.begin(), rows.end(),
                                [&](const Row& row) { return row.find(column.name) != nullptr; });
        if (used) {
            columns.push_back(column.name);
        }
    }
    for (const Row& row : rows) {
        for (const auto& cell : row.cells) {
            if (std::find(columns.begin(), columns.end(), cell.first) == columns.end()) {
                columns.push_back(cell.first);
            }
        }
    }
    Table table;
    for (const std::string& column : columns) {
        table.headers.push_back(shortName(kind, column));
        bool numeric = std::all_of(rows.begin(), rows.end(), [&](const Row& row) {
            const Value* value = row.find(column);
            return value == nullptr || !std::holds_alternative<std::string>(*value);
        });
        table.rightAligned.push_back(numeric);
    }
    for (const Row& row : rows) {
        std::vector<std::string> cells;
        for (const std::string& column : columns) {
            cells.push_back(row.text(column));
        }
        table.rows.push_back(std::move(cells));
    }
    return table;
}

std::string duration(int64_t seconds) {
    if (seconds < 0) {
        return fmt::format("{}", seconds);
    }
    if (seconds >= 3600) {
        return fmt::format("{}:{:02d}:{:02d}", seconds / 3600, seconds / 60 % 60, seconds % 60);
    }
    return fmt::format("{}:{:02d}", seconds / 60, seconds % 60);
}

}  // namespace lifelog_tool
