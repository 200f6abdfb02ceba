// The query wrapper: rows, ranges, and the query object with its
// enumerator.
#include "base/query.h"

#include "base/condition.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/root.h"

namespace lifelog_tool {

int orderTypeByWord(std::string_view word) {
    std::string wanted = normalizedName(word);
    if (wanted == "ASC" || wanted == "UP") {
        return LIFELOG_ORDER_ASC;
    }
    if (wanted == "DESC" || wanted == "DOWN") {
        return LIFELOG_ORDER_DESC;
    }
    throw UsageError(fmt::format("unknown order '{}': use asc or desc", std::string(word)));
}

namespace {

// Why a bound is refused: a day or time that does not exist although the
// form is right ("2025-02-30"), or a form that is none of the three.
UsageError boundRefusal(const char* option, const std::string& text) {
    // Digits where the form has '9', the separators where it has them.
    const std::string_view form = "9999-99-99 99:99:99";
    bool shaped = text.size() == 10 || text.size() == 16 || text.size() == 19;
    for (size_t i = 0; shaped && i < text.size(); ++i) {
        shaped = form[i] == '9' ? isdigit(static_cast<unsigned char>(text[i])) != 0
                 : i == 10      ? text[i] == ' ' || text[i] == 'T'
                                : text[i] == form[i];
    }
    if (shaped) {
        return UsageError(fmt::format(
            "{} \"{}\": that day or time of day does not exist in the calendar", option, text));
    }
    return UsageError(fmt::format("{} \"{}\" is not \"YYYY-MM-DD[ HH:MM[:SS]]\"", option, text));
}

}  // namespace

std::pair<std::string, int> orderOf(const Kind& kind, const std::string& text) {
    size_t colon = text.find(':');
    std::string column = resolveColumn(kind, text.substr(0, colon));
    int type =
        colon == std::string::npos ? LIFELOG_ORDER_ASC : orderTypeByWord(text.substr(colon + 1));
    return {column, type};
}

Range rangeOfOptions(const std::string& from, const std::string& to) {
    Range range;
    if (!from.empty() && !(range.from = parseBound(from, false))) {
        throw boundRefusal("--from", from);
    }
    if (!to.empty() && !(range.to = parseBound(to, true))) {
        throw boundRefusal("--to", to);
    }
    return range;
}

// ------------------------------------------------------------------- rows

std::string Row::timeText() const {
    return hasTime() ? formatTime(time) : std::string();
}

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
    if (value == nullptr) {
        return std::string();
    }
    if (const auto* text = std::get_if<std::string>(value)) {
        return *text;
    }
    if (const auto* number = std::get_if<int64_t>(value)) {
        return fmt::format("{}", *number);
    }
    if (const auto* number = std::get_if<double>(value)) {
        return fmt::format("{}", *number);
    }
    return std::string();
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

std::vector<ValueCount> valueCounts(const std::vector<Row>& rows, std::string_view column) {
    std::vector<ValueCount> pairs;
    for (const Row& row : rows) {
        pairs.push_back(ValueCount{row.find(column), row.number(kCountColumn)});
    }
    return pairs;
}

void reportSkipped(const Kind& kind, const std::vector<SkippedRow>& skipped) {
    for (const SkippedRow& row : skipped) {
        std::string which = row.key != 0 ? fmt::format("LOG_KEY {}", row.key)
                                         : fmt::format("row {} of the result", row.position);
        fmt::print(stderr, "lifelog: skipped a {} row that cannot be read ({}): {} ({})\n",
                   kind.word, which, Exception_toString(row.code), row.code);
    }
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
// A result that carries only some columns (top) gives only those.
Row rowOf(const Kind& kind, const ZLifelogActivity* activity) {
    std::vector<std::pair<std::string, Value>> items;
    for (int i = 0; i < List_size(activity->activityItems); ++i) {
        const auto* item =
            static_cast<const ZLifelogActivityItem*>(List_getAt(activity->activityItems, i));
        items.emplace_back(item->key != nullptr ? item->key : "", itemValue(item));
    }
    bool whole = std::any_of(items.begin(), items.end(),
                             [](const auto& item) { return item.first == "LOG_KEY"; });
    Row row;
    row.time = activity->timestamp;
    for (const Column& column : kind.columns) {
        std::string_view name = column.name;
        if (column.type == ColumnType::Time) {
            if (row.hasTime()) {
                row.cells.emplace_back(column.name, formatTime(row.time));
            } else if (whole) {
                row.cells.emplace_back(column.name, std::monostate{});
            }
            continue;
        }
        if (name == "LOCATION") {
            if (activity->location != nullptr) {
                row.cells.emplace_back(column.name, std::string(activity->location));
            } else if (whole) {
                row.cells.emplace_back(column.name, std::monostate{});
            }
            continue;
        }
        auto found = std::find_if(items.begin(), items.end(),
                                  [&](const auto& item) { return item.first == name; });
        if (found != items.end()) {
            row.cells.push_back(std::move(*found));
            items.erase(found);
        } else if (whole) {
            row.cells.emplace_back(column.name, std::monostate{});
        }
    }
    for (auto& rest : items) {
        row.cells.push_back(std::move(rest));
    }
    row.key = row.number("LOG_KEY");
    return row;
}

using CreateFactoryFn = LifelogCommon* (*)(unsigned int*);

// Open-ended ranges reach the first and the last representable second.
constexpr DateTime kEarliest{1, 1, 1, 0, 0, 0, 0};
constexpr DateTime kLatest{9999, 12, 31, 23, 59, 59, 0};

}  // namespace

// ----------------------------------------------------------- query object

QueryObject::QueryObject() {
    unsigned int err = 0;
    void* entry = Dll_getFactory(nullptr, &err);
    check(err, "reaching the lifelog library's class factory");
    LifelogCommon* factory = reinterpret_cast<CreateFactoryFn>(entry)(&err);
    check(err, "making the lifelog class factory");
    auto* object =
        static_cast<ILifelog*>(factory->ops->createInstance(factory, &IID_ILifelog, &err));
    factory->ops->release(factory);
    check(err, "making a query object");
    object_ = object;
}

QueryObject::~QueryObject() {
    if (object_ != nullptr) {
        object_->ops->release(object_);
    }
}

Enumerator::Enumerator(const Kind& kind, ZLifelogEnumerator* made, unsigned int err,
                       std::string doing)
    : kind_(kind), enumerator_(made), doing_(std::move(doing)) {
    if (err != 0) {
        if (enumerator_ != nullptr) {
            ZLifelogEnumerator_delete(enumerator_);
        }
        throw Failure(doing_, err);
    }
}

Enumerator::~Enumerator() {
    if (enumerator_ != nullptr) {
        ZLifelogEnumerator_delete(enumerator_);
    }
}

std::optional<Row> Enumerator::next() {
    for (;;) {
        unsigned int err = 0;
        ZLifelogEnumerator_moveNext(enumerator_, &err);
        if (err == LIFELOG_E_END_OF_ENUMERATION) {
            return std::nullopt;
        }
        check(err, doing_);
        ++position_;
        ZLifelogActivity* activity = ZLifelogEnumerator_getCurrentN(enumerator_, &err);
        if (activity == nullptr) {
            skipped_.push_back(SkippedRow{
                position_, 0, err != 0 ? err : static_cast<unsigned int>(ZBASE_E_FAILURE)});
            continue;
        }
        Row row = rowOf(kind_, activity);
        ZLifelogActivity_delete(activity);
        return row;
    }
}

Query::Query(const Kind& kind, const Range& range) : kind_(kind), range_(range) {
    // Said by the tool, before the library would log an error line of its
    // own for the missing file.
    if (!databaseExists()) {
        throw UsageError(nothingLoggedYet());
    }
    unsigned int err = 0;
    if (range.from || range.to) {
        object_->ops->initialize2(object_.get(), kind.table, range.from.value_or(kEarliest),
                                  range.to.value_or(kLatest), &err);
    } else {
        object_->ops->initialize(object_.get(), kind.table, &err);
    }
    if (err != 0) {
        throw Failure(
            fmt::format("opening the lifelog database {}", hostPath(kDatabasePath).string()), err);
    }
}

void Query::where(const std::string& condition) {
    unsigned int err = 0;
    const std::string named = withColumnNames(kind_, condition);
    object_->ops->setFilter(object_.get(), named.c_str(), &err);
    if (err != 0) {
        std::string guess;
        for (const std::string& name : unknownNames(kind_, condition)) {
            guess += fmt::format("{}'{}'", guess.empty() ? " (no column " : ", no column ", name);
        }
        if (!guess.empty()) {
            guess += "; its columns: " + columnNames(kind_) + ")";
        }
        check(err, fmt::format("the {} table refuses the condition \"{}\"{}", kind_.word, condition,
                               guess));
    }
    filter_ = named;
}

void Query::orderBy(const std::string& column, int orderType) {
    unsigned int err = 0;
    object_->ops->setSortOrder(object_.get(), column.c_str(), orderType, &err);
    check(err, fmt::format("ordering the {} table by {}", kind_.word, column));
}

void Query::orderBy(const std::string& column1, int orderType1, const std::string& column2,
                    int orderType2) {
    unsigned int err = 0;
    object_->ops->setSortOrder2(object_.get(), column1.c_str(), orderType1, column2.c_str(),
                                orderType2, &err);
    check(err, fmt::format("ordering the {} table by {}, then {}", kind_.word, column1, column2));
}

// The LOG_KEY of a row that cannot be read cannot come from the row
// itself.  A second query object over the same range and filter (and the
// condition that made the result) lists the keys alone, which every row
// yields; the keys that the walk did not read are the skipped rows'.
void Query::findKeys(std::vector<SkippedRow>& skipped, const std::vector<int64_t>& readKeys,
                     const std::string& keyCondition) {
    if (skipped.empty()) {
        return;
    }
    try {
        Query keys(kind_, range_);
        std::string condition = filter_;
        if (!keyCondition.empty()) {
            condition = condition.empty() ? keyCondition
                                          : fmt::format("({}) AND {}", condition, keyCondition);
        }
        if (!condition.empty()) {
            keys.where(condition);
        }
        int limit = static_cast<int>(readKeys.size() + skipped.size());
        std::vector<int64_t> read = readKeys;
        std::sort(read.begin(), read.end());
        std::vector<int64_t> unread;
        for (const Row& row : keys.top("LOG_KEY", limit).rows) {
            int64_t key = row.number("LOG_KEY");
            if (!std::binary_search(read.begin(), read.end(), key)) {
                unread.push_back(key);
            }
        }
        if (unread.size() != skipped.size()) {
            return;  // the table changed meanwhile; positions are all we know
        }
        std::sort(unread.begin(), unread.end());
        for (size_t i = 0; i < skipped.size(); ++i) {
            skipped[i].key = unread[i];
        }
    } catch (const Failure&) {
        // The positions stay; the listing itself succeeded.
    }
}

Listing Query::drain(ZLifelogEnumerator* made, unsigned int err, const std::string& doing,
                     const std::string& keyCondition, size_t limit) {
    Enumerator enumerator(kind_, made, err, doing);
    Listing listing;
    bool complete = true;
    while (std::optional<Row> row = enumerator.next()) {
        listing.rows.push_back(std::move(*row));
        if (limit != 0 && listing.rows.size() >= limit) {
            complete = false;
            break;
        }
    }
    listing.skipped = enumerator.skipped();
    if (complete) {
        std::vector<int64_t> keys;
        for (const Row& row : listing.rows) {
            keys.push_back(row.key);
        }
        findKeys(listing.skipped, keys, keyCondition);
    }
    return listing;
}

Listing Query::list(size_t limit) {
    unsigned int err = 0;
    ZLifelogEnumerator* made = object_->ops->getEnumerator(object_.get(), &err);
    return drain(made, err, fmt::format("listing the {}", kind_.plural), "", limit);
}

std::vector<SkippedRow> Query::forEach(const std::function<bool(const Row&)>& each) {
    unsigned int err = 0;
    ZLifelogEnumerator* made = object_->ops->getEnumerator(object_.get(), &err);
    Enumerator enumerator(kind_, made, err, fmt::format("listing the {}", kind_.plural));
    std::vector<int64_t> keys;
    bool complete = true;
    while (std::optional<Row> row = enumerator.next()) {
        keys.push_back(row->key);
        if (!each(*row)) {
            complete = false;
            break;
        }
    }
    std::vector<SkippedRow> skipped = enumerator.skipped();
    if (complete) {
        findKeys(skipped, keys, "");
    }
    return skipped;
}

Listing Query::max(const std::string& column) {
    unsigned int err = 0;
    ZLifelogEnumerator* made = object_->ops->findMaxLogs(object_.get(), column.c_str(), &err);
    return drain(made, err, fmt::format("finding the largest {}", column),
                 fmt::format("{0} = (SELECT MAX({0}) FROM {1})", column, kind_.table), 0);
}

Listing Query::min(const std::string& column) {
    unsigned int err = 0;
    ZLifelogEnumerator* made = object_->ops->findMinLogs(object_.get(), column.c_str(), &err);
    return drain(made, err, fmt::format("finding the smallest {}", column),
                 fmt::format("{0} = (SELECT MIN({0}) FROM {1})", column, kind_.table), 0);
}

Listing Query::top(const std::string& column, int limit) {
    unsigned int err = 0;
    ZLifelogEnumerator* made =
        object_->ops->getMostOccurredValues(object_.get(), column.c_str(), limit, &err);
    Enumerator enumerator(kind_, made, err, fmt::format("finding the most frequent {}", column));
    Listing listing;
    while (std::optional<Row> row = enumerator.next()) {
        listing.rows.push_back(std::move(*row));
    }
    listing.skipped = enumerator.skipped();
    return listing;
}

int Query::count() {
    unsigned int err = 0;
    int value = object_->ops->getCount(object_.get(), &err);
    check(err, fmt::format("counting the {}", kind_.plural));
    return value;
}

int Query::sum(const std::string& column) {
    unsigned int err = 0;
    int value = object_->ops->getSum(object_.get(), column.c_str(), &err);
    check(err, fmt::format("adding up {}", column));
    return value;
}

double Query::average(const std::string& column) {
    unsigned int err = 0;
    double value = object_->ops->getAverage(object_.get(), column.c_str(), &err);
    check(err, fmt::format("averaging {}", column));
    return value;
}

}  // namespace lifelog_tool
