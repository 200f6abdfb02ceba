// Stored rows for the importer and the exporter.
#include "import_store.h"

#include <memory>

#include "backup_mapping.h"
#include "setup.h"
#include "zbase_host.h"

namespace lifelog_tool {

namespace {

struct ActivityDelete {
    void operator()(ZLifelogActivity* activity) const { ZLifelogActivity_delete(activity); }
};
struct EnumeratorDelete {
    void operator()(ZLifelogEnumerator* enumerator) const { ZLifelogEnumerator_delete(enumerator); }
};
struct ObjectRelease {
    void operator()(ILifelog* object) const { object->ops->release(object); }
};

int64_t integerOf(const ZLifelogActivityItem* item) {
    if (item->valueType == LIFELOG_VALUE_INT) {
        return *static_cast<const int32_t*>(item->value);
    }
    if (item->valueType == LIFELOG_VALUE_INT64) {
        return *static_cast<const int64_t*>(item->value);
    }
    return 0;
}

StoredRow storedRowOf(const Kind& kind, const ZLifelogActivity* activity) {
    StoredRow row;
    row.time = formatTime(activity->timestamp);
    std::string prefix = kind.prefix;
    for (int i = 0; i < List_size(activity->activityItems); ++i) {
        const auto* item =
            static_cast<const ZLifelogActivityItem*>(List_getAt(activity->activityItems, i));
        if (item->key == nullptr || item->value == nullptr) {
            continue;
        }
        std::string_view key = item->key;
        if (!key.starts_with(prefix)) {
            continue;
        }
        key.remove_prefix(prefix.size());
        bool text = item->valueType == LIFELOG_VALUE_STRING;
        if (key == "PHONE_NUMBER" && text) {
            row.number = static_cast<const char*>(item->value);
        } else if (key == "SUMMARY" && text) {
            row.summary = static_cast<const char*>(item->value);
        } else if (key == "DIRECTION") {
            row.direction = static_cast<int>(integerOf(item));
        } else if (key == "TYPE") {
            row.type = static_cast<int>(integerOf(item));
        } else if (key == "DURATION") {
            row.duration = static_cast<int>(integerOf(item));
        }
    }
    return row;
}

using CreateFactoryFn = LifelogCommon* (*)(unsigned int*);

constexpr DateTime kEarliestTime{1, 1, 1, 0, 0, 0, 0};
constexpr DateTime kLatestTime{9999, 12, 31, 23, 59, 59, 0};

}  // namespace

void requireZone(const std::string& zone) {
    if (!useZone(zone)) {
        throw UsageError(fmt::format(
            "--tz \"{}\": no such time zone (an IANA name such as Europe/Berlin, or UTC)", zone));
    }
}

void forEachStored(const Kind& kind, const std::optional<DateTime>& from,
                   const std::optional<DateTime>& to, bool oldestFirst,
                   const std::function<void(const StoredRow&)>& each) {
    unsigned int err = 0;
    if (!_Database_existsInternal(kDatabasePath, &err)) {
        return;
    }
    void* entry = Dll_getFactory(nullptr, &err);
    check(err, "reaching the lifelog library's class factory");
    LifelogCommon* factory = reinterpret_cast<CreateFactoryFn>(entry)(&err);
    check(err, "making the lifelog class factory");
    std::unique_ptr<ILifelog, ObjectRelease> object(
        static_cast<ILifelog*>(factory->ops->createInstance(factory, &IID_ILifelog, &err)));
    factory->ops->release(factory);
    check(err, "making a query object");
    if (from || to) {
        object->ops->initialize2(object.get(), kind.table, from.value_or(kEarliestTime),
                                 to.value_or(kLatestTime), &err);
    } else {
        object->ops->initialize(object.get(), kind.table, &err);
    }
    check(err, fmt::format("opening the lifelog database {}", hostPath(kDatabasePath).string()));
    if (oldestFirst) {
        object->ops->setSortOrder2(object.get(), kind.timeColumn, LIFELOG_ORDER_ASC, "LOG_KEY",
                                   LIFELOG_ORDER_ASC, &err);
        check(err, fmt::format("ordering the {} by time", kind.plural));
    }
    std::unique_ptr<ZLifelogEnumerator, EnumeratorDelete> rows(
        object->ops->getEnumerator(object.get(), &err));
    check(err, fmt::format("listing the stored {}", kind.plural));
    for (long read = 1;; ++read) {
        ZLifelogEnumerator_moveNext(rows.get(), &err);
        if (err == 2) {
            return;
        }
        check(err, fmt::format("reading the stored {}", kind.plural));
        std::unique_ptr<ZLifelogActivity, ActivityDelete> activity(
            ZLifelogEnumerator_getCurrentN(rows.get(), &err));
        check(err, fmt::format("reading stored {} number {}", kind.word, read));
        each(storedRowOf(kind, activity.get()));
    }
}

StoreCheck::StoreCheck(const Kind& kind) : kind_(kind) {}

StoreCheck::~StoreCheck() {
    unsigned int err = 0;
    if (newest_ != nullptr) {
        DbStatement_destroy(newest_, &err);
    }
    if (count_ != nullptr) {
        DbStatement_destroy(count_, &err);
    }
    if (database_ != nullptr) {
        Database_close(database_, &err);
    }
}

bool StoreCheck::open() {
    if (database_ != nullptr) {
        return true;
    }
    unsigned int err = 0;
    if (!_Database_existsInternal(kDatabasePath, &err)) {
        return false;
    }
    database_ = _Database_openInternal(kDatabasePath, &err);
    check(err, fmt::format("opening {}", hostPath(kDatabasePath).string()));
    std::string prefix = kind_.prefix;
    // AUTOINCREMENT keys only grow, and the library's trimming runs before
    // its insert: a logging call stored a row exactly when the table's
    // sequence moved on to a row that holds this entry.
    std::string newest = fmt::format(
        "SELECT LOG_KEY, {0}, {1}PHONE_NUMBER FROM {2} WHERE LOG_KEY = "
        "(SELECT seq FROM sqlite_sequence WHERE name = '{2}')",
        kind_.timeColumn, prefix, kind_.table);
    newest_ = Database_createStatement(database_, newest.c_str(), &err);
    check(err, fmt::format("reading the newest {}", kind_.word));
    count_ = Database_createStatement(
        database_, fmt::format("SELECT COUNT(*) FROM {}", kind_.table).c_str(), &err);
    check(err, fmt::format("counting the {}", kind_.plural));
    return true;
}

std::optional<StoreCheck::Newest> StoreCheck::newest() {
    if (!open()) {
        return std::nullopt;
    }
    unsigned int err = 0;
    DbEnumerator* rows = Database_executeStatement(newest_, &err);
    check(err, fmt::format("reading the newest {}", kind_.word));
    if (!DbEnumerator_getNextRow(rows, &err)) {
        if (err != ZBASE_E_NO_MORE_ROWS) {
            check(err, fmt::format("reading the newest {}", kind_.word));
        }
        return std::nullopt;
    }
    Newest row;
    row.key = DbEnumerator_getInt64(rows, 0, &err);
    const char* time = DbEnumerator_getText(rows, 1, &err);
    const char* number = DbEnumerator_getText(rows, 2, &err);
    row.time = time != nullptr ? time : "";
    row.number = number != nullptr ? number : "";
    DbEnumerator_reset(rows, &err);
    return row;
}

int64_t StoreCheck::rowCount() {
    if (!open()) {
        return 0;
    }
    unsigned int err = 0;
    DbEnumerator* rows = Database_executeStatement(count_, &err);
    check(err, fmt::format("counting the {}", kind_.plural));
    DbEnumerator_getNextRow(rows, &err);
    check(err, fmt::format("counting the {}", kind_.plural));
    int64_t count = DbEnumerator_getInt64(rows, 0, &err);
    DbEnumerator_reset(rows, &err);
    return count;
}

}  // namespace lifelog_tool
