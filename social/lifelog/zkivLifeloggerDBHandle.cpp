// The database handle: creates the lifelog database, and stores each
// activity as one row after removing a same-time row and trimming the table.
#include "zkivLifeloggerDBHandle.h"

#include <string_view>

#include "lifelogInternal.h"
#include "lifelogSchema.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"

namespace {

constexpr HandleOps kDBHandleOps = {__DBHandle_open, __DBHandle_write, __DBHandle_close,
                                    __DBHandle_destruct};

constexpr const char* kWrite = "__DBHandle_write";

using lifelog::findTable;
using lifelog::StampRule;
using lifelog::TableSchema;

// Rooms of the work texts of one write.
constexpr int kDeleteRoom = 1024;
constexpr int kColumnFragmentRoom = 512;
constexpr int kValueFragmentRoom = lifelog::kWriterValueRoom;
constexpr int kListRoom = lifelog::kWriterListRoom;
constexpr int kListMax = kListRoom - 1;
constexpr int kInsertRoom = lifelog::kWriterInsertRoom;
constexpr int kTimestampFragmentLength = 22;

constexpr bool isSuccess(unsigned int code) {
    return code == 0 || code == ZBASE_E_NO_ROWS_CHANGED;
}

constexpr bool hasTimestamp(const DateTime& when) {
    return when.year != 0 && when.month != 0 && when.day != 0;
}

// String_format reports the length the whole output would have: anything
// that does not fit (or a format error) means the text must not be used.
constexpr bool fits(int length, int room) {
    return length >= 0 && length < room;
}

DBHandle* selfOf(Handle* pI) {
    return static_cast<DBHandle*>(pI->impl);
}

// Clean-up of a failed creation; the caller's error slot keeps its code.
void discardNewDatabase(DBHandle* self) {
    constexpr const char* kCreate = "__DBHandle_createDB";
    unsigned int err = LIFELOG_E_SUCCESS;
    if (self->pDBHandle != nullptr) {
        Database_close(self->pDBHandle, &err);
        self->pDBHandle = nullptr;
        if (err != LIFELOG_E_SUCCESS) {
            LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kCreate, __LINE__,
                        "Database_close is failed");
        }
    }
    _Database_dropInternal(self->dbPath, &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kCreate, __LINE__,
                    "Database_drop is failed");
    }
}

// ----------------------------------------------------------------- write

// Step results of the row being built.
enum class Step { kDone, kSkip, kStop, kFail };

// The five work texts of one write and what the item loop remembers.
struct Row {
    lifelog::StringGuard columnFragment;
    lifelog::StringGuard valueFragment;
    lifelog::StringGuard columnList;
    lifelog::StringGuard valueList;
    lifelog::StringGuard insert;
    bool anyWritten = false;
    int32_t duration = -1;
    int32_t direction = 2;

    bool make() {
        unsigned int err = LIFELOG_E_SUCCESS;
        columnFragment.reset(String_new(kColumnFragmentRoom, &err));
        if (!columnFragment)
            return false;
        valueFragment.reset(String_new(kValueFragmentRoom, &err));
        if (!valueFragment)
            return false;
        columnList.reset(String_new(kListRoom, &err));
        if (!columnList)
            return false;
        valueList.reset(String_new(kListRoom, &err));
        if (!valueList)
            return false;
        insert.reset(String_new(kInsertRoom, &err));
        return static_cast<bool>(insert);
    }
};

Step formatText(Row& row, const char* key, const char* text) {
    if (text[0] == '\0') {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "value string(%s) is is empty", key);
        return Step::kSkip;
    }
    // Inside double quotes a double-quote character is written twice.
    lifelog::StringGuard quoted(__String_NewReplace(text, "\"", "\"\""));
    if (!quoted || quoted.get()[0] == '\0') {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "replaced value string is empty");
        return Step::kSkip;
    }
    if (!fits(String_format(row.valueFragment.get(), kValueFragmentRoom, "\"%s\"", quoted.get()),
              kValueFragmentRoom)) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "String length is out of bounds");
        return Step::kFail;
    }
    return Step::kDone;
}

// Formats the item's value into the value fragment.
Step formatValue(Row& row, const ZLifelogActivityItem* item) {
    char* fragment = row.valueFragment.get();
    int length = 0;
    switch (item->valueType) {
        case LIFELOG_VALUE_INT: {
            const int32_t value = *static_cast<const int32_t*>(item->value);
            if (String_equals(item->key, lifelog::columnOf(lifelog::kCallTable, "CLOG_DURATION")))
                row.duration = value;
            if (String_equals(item->key, lifelog::columnOf(lifelog::kCallTable, "CLOG_DIRECTION")))
                row.direction = value;
            length = String_format(fragment, kValueFragmentRoom, "'%d'", static_cast<int>(value));
            break;
        }
        case LIFELOG_VALUE_DOUBLE:
            length = String_format(fragment, kValueFragmentRoom, "'%f'",
                                   *static_cast<const double*>(item->value));
            break;
        case LIFELOG_VALUE_STRING:
            return formatText(row, item->key, static_cast<const char*>(item->value));
        case LIFELOG_VALUE_INT64:
            length =
                String_format(fragment, kValueFragmentRoom, "'%lld'",
                              static_cast<long long>(*static_cast<const int64_t*>(item->value)));
            break;
        default:
            LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                        "ZLifelogActivityItem_getValueType is invalid data");
            return Step::kFail;
    }
    if (!fits(length, kValueFragmentRoom)) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "String length is out of bounds");
        return Step::kFail;
    }
    return Step::kDone;
}

// Appends one item to the column and value lists.
Step appendItem(Row& row, const ZLifelogActivityItem* item) {
    if (item == nullptr || item->key == nullptr || item->value == nullptr) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "ZLifelogActivityItem_getKey is failed");
        return Step::kFail;
    }
    const Step formatted = formatValue(row, item);
    if (formatted != Step::kDone) {
        return formatted;
    }
    char* columns = row.columnList.get();
    char* values = row.valueList.get();
    if (row.anyWritten) {
        if (String_length(columns) >= kListMax)
            return Step::kStop;
        String_concat(columns, ",");
        if (String_length(values) >= kListMax)
            return Step::kStop;
        String_concat(values, ",");
    }
    const int keyLength =
        String_format(row.columnFragment.get(), kColumnFragmentRoom, "'%s'", item->key);
    if (!fits(keyLength, kColumnFragmentRoom) || String_length(columns) + keyLength > kListMax) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "String length is out of bounds");
        return Step::kFail;
    }
    String_concat(columns, row.columnFragment.get());
    if (String_length(values) + String_length(row.valueFragment.get()) > kListMax) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "String length is out of bounds");
        return Step::kFail;
    }
    String_concat(values, row.valueFragment.get());
    row.anyWritten = true;
    return Step::kDone;
}

// Appends the activity's items in their order, up to the first that no
// longer fits; false when an item cannot be written.
bool appendItems(Row& row, ZLifelogActivity* activity) {
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    while (auto* item = static_cast<ZLifelogActivityItem*>(List_getNext(&cursor))) {
        const Step step = appendItem(row, item);
        if (step == Step::kFail) {
            return false;
        }
        if (step == Step::kStop) {
            break;
        }
    }
    return true;
}

// Appends the activity's own time stamp as the table's time-stamp column.
bool appendTimestamp(Row& row, const char* column, const DateTime& when) {
    char* columns = row.columnList.get();
    char* values = row.valueList.get();
    const int columnLength =
        String_format(row.columnFragment.get(), kColumnFragmentRoom, ",'%s'", column);
    const int columnSum = String_length(columns) + columnLength;
    if (!fits(columnLength, kColumnFragmentRoom) || columnSum > kListMax) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "String length is out of bounds %d", columnSum);
        return false;
    }
    const int valueLength = String_format(
        row.valueFragment.get(), kValueFragmentRoom, ",'%04d-%02d-%02d %02d:%02d:%02d'",
        static_cast<int>(when.year), static_cast<int>(when.month), static_cast<int>(when.day),
        static_cast<int>(when.hour), static_cast<int>(when.minute), static_cast<int>(when.second));
    if (!fits(valueLength, kValueFragmentRoom) || String_length(values) + valueLength > kListMax) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, kWrite, __LINE__,
                    "String length is out of bounds %d",
                    String_length(values) + kTimestampFragmentLength);
        return false;
    }
    String_concat(columns, row.columnFragment.get());
    String_concat(values, row.valueFragment.get());
    return true;
}

// Calls keep their own time stamp only when it identifies the call: an
// unanswered one that replaced nothing, or one that never connected;
// otherwise the database's current time applies.  Media rows take theirs
// only from a time-stamp item.
bool keepsOwnTimestamp(const TableSchema& table, const Row& row, bool replaced) {
    switch (table.stampRule) {
        case StampRule::kAlways:
            return true;
        case StampRule::kCall:
            return (row.direction == 2 && !replaced) || row.duration <= 0;
        case StampRule::kNever:
            break;
    }
    return false;
}

// Removes a stored row with the same time stamp.  Returns false on
// failure; `replaced` tells whether a row was removed.
bool deleteSameTime(Database* db, const char* name, const TableSchema* table, const DateTime& when,
                    bool& replaced) {
    replaced = true;  // a kind without this delete counts as replaced
    if (table == nullptr || table->sameTimeDelete == nullptr) {
        return true;
    }
    char statement[kDeleteRoom];
    String_format(statement, kDeleteRoom, table->sameTimeDelete, name, static_cast<int>(when.year),
                  static_cast<int>(when.month), static_cast<int>(when.day),
                  static_cast<int>(when.hour), static_cast<int>(when.minute),
                  static_cast<int>(when.second));
    unsigned int err = LIFELOG_E_SUCCESS;
    Database_executeSQL(db, statement, 1, nullptr, nullptr, &err);
    if (!isSuccess(err)) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kWrite, __LINE__,
                    "Database_executeSQL: delete log is failed");
        return false;
    }
    replaced = err == LIFELOG_E_SUCCESS;
    return true;
}

// Removes the oldest row once the table holds its maximum.
bool trim(Database* db, const char* name, const TableSchema* table, int32_t maxCount) {
    if (table == nullptr) {
        return true;
    }
    // The smallest maximum keeps its bound instead of wrapping round to the
    // largest: every maximum below 1 trims the same way.
    const int bound = maxCount > INT32_MIN ? static_cast<int>(maxCount) - 1 : INT32_MIN;
    char statement[kDeleteRoom];
    String_format(statement, kDeleteRoom, table->trim, name, name, bound, name, name);
    unsigned int err = LIFELOG_E_SUCCESS;
    Database_executeSQL(db, statement, 1, nullptr, nullptr, &err);
    if (!isSuccess(err)) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kWrite, __LINE__,
                    "[%s] Database_executeSQL: delete log is failed", Exception_toString(err));
        return false;
    }
    return true;
}

// The insert as one statement inside a transaction.
bool insertRow(Database* db, const char* statement) {
    unsigned int err = LIFELOG_E_SUCCESS;
    Database_beginTransaction(db, &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kWrite, __LINE__,
                    "[%s] Propagated : Transaction begin failed.", Exception_toString(err));
        return false;
    }
    Database_executeSQL(db, statement, 0, nullptr, nullptr, &err);
    if (!isSuccess(err)) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kWrite, __LINE__,
                    "[%s] Propagated : Database_executeSQL failed.", Exception_toString(err));
        Database_rollbackTransaction(db, &err);
        if (err != LIFELOG_E_SUCCESS) {
            LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kWrite, __LINE__,
                        "[%s] Propagated : Database_rollbackTransaction  failed.",
                        Exception_toString(err));
        }
        return false;
    }
    Database_commitTransaction(db, &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, kWrite, __LINE__,
                    "[%s] Propagated : Database_commitTransaction failed.",
                    Exception_toString(err));
        return false;
    }
    return true;
}

// The text form of a replacement when the pieces of String_getTokens do not
// account for the whole source (a platform that drops empty pieces): every
// token character is replaced by a direct scan instead.
char* replaceByScan(const char* source, const char* token, const char* replacement) {
    const std::string_view text(source);
    const std::string_view tokens(token);
    const int replacementLength = String_length(replacement);
    int length = 0;
    for (char c : text) {
        length += tokens.find(c) == std::string_view::npos ? 1 : replacementLength;
    }
    unsigned int err = LIFELOG_E_SUCCESS;
    char* result = String_new(length + 1, &err);
    if (result == nullptr) {
        return nullptr;
    }
    char* out = result;
    for (char c : text) {
        if (tokens.find(c) == std::string_view::npos) {
            *out++ = c;
        } else {
            for (int i = 0; i < replacementLength; ++i) *out++ = replacement[i];
        }
    }
    *out = '\0';
    return result;
}

}  // namespace

extern "C" {

LIFELOG_API DBHandle* DBHandle_new(const char* dbPath, int32_t maxCountPerActivity,
                                   unsigned int* err) {
    LIFELOG_ENTER(err);
    LIFELOG_TRACE("called");
    auto* self = static_cast<DBHandle*>(LIFELOG_CALLOC(1, sizeof(DBHandle)));
    if (self == nullptr) {
        lifelog::setError(err, LIFELOG_E_OUT_OF_MEMORY);
        return nullptr;
    }
    self->ops = &kDBHandleOps;
    self->impl = self;
    self->dbPath = String_newByString(dbPath, err);
    if (self->dbPath == nullptr) {
        DBHandle_delete(self);
        return nullptr;
    }
    self->maxCountPerActivity = maxCountPerActivity;
    __DBHandle_createDB(self, err);
    if (*err != LIFELOG_E_SUCCESS) {
        DBHandle_delete(self);
        return nullptr;
    }
    return self;
}

LIFELOG_API void DBHandle_delete(DBHandle* dbHandle) {
    LIFELOG_TRACE("is called");
    if (dbHandle == nullptr) {
        return;
    }
    if (dbHandle->dbPath != nullptr) {
        LIFELOG_FREE(dbHandle->dbPath);
    }
    LIFELOG_FREE(dbHandle);
}

LIFELOG_API void __DBHandle_createDB(DBHandle* dbHandle, unsigned int* err) {
    LIFELOG_ENTER(err);
    LIFELOG_TRACE("called");
    if (_Database_existsInternal(dbHandle->dbPath, err)) {
        *err = LIFELOG_E_SUCCESS;
        return;
    }
    dbHandle->pDBHandle = _Database_createInternal(dbHandle->dbPath, err);
    if (dbHandle->pDBHandle == nullptr) {
        lifelog::markFailed(err, LIFELOG_E_FAILURE);
        LIFELOG_ERROR("[%s] Propagated : Database_createDB is failed", Exception_toString(*err));
        discardNewDatabase(dbHandle);
        return;
    }
    for (const TableSchema* table : lifelog::kTables) {
        Database_executeSQL(dbHandle->pDBHandle, table->create, 1, nullptr, nullptr, err);
        if (!isSuccess(*err)) {
            LIFELOG_ERROR("[%s] Propagated : Database_executeSQL is failed",
                          Exception_toString(*err));
            discardNewDatabase(dbHandle);
            return;
        }
    }
    *err = LIFELOG_E_SUCCESS;
    Database_close(dbHandle->pDBHandle, err);
    // Whatever the close answered, the database handle is not used again:
    // releasing it a second time in the clean-up could free it twice.
    dbHandle->pDBHandle = nullptr;
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated : Database_close is failed", Exception_toString(*err));
        discardNewDatabase(dbHandle);
    }
}

LIFELOG_API int __DBHandle_open(Handle* pI) {
    LIFELOG_TRACE("called");
    if (pI == nullptr) {
        LIFELOG_ERROR("pI is null");
        return 0;
    }
    DBHandle* self = selfOf(pI);
    unsigned int err = LIFELOG_E_SUCCESS;
    // A file that vanished after creation is not made again here.
    if (!_Database_existsInternal(self->dbPath, &err)) {
        return 0;
    }
    self->pDBHandle = _Database_openInternal(self->dbPath, &err);
    if (self->pDBHandle == nullptr) {
        LIFELOG_ERROR("Database_open is failed : %s", self->dbPath);
        return 0;
    }
    return 1;
}

LIFELOG_API int __DBHandle_write(Handle* pI, ZLifelogActivity* pLifelogActivity) {
    LIFELOG_TRACE("start");
    if (pI == nullptr || pLifelogActivity == nullptr) {
        LIFELOG_ERROR("pI or pLifelogActivity is null");
        return 0;
    }
    DBHandle* self = selfOf(pI);
    const char* name = ZLifelogActivity_getName(pLifelogActivity);
    if (name == nullptr) {
        LIFELOG_ERROR("pLifelogActivity don't have name");
        return 0;
    }
    const DateTime when = ZLifelogActivity_getTimestamp(pLifelogActivity);
    const bool dated = hasTimestamp(when);
    const TableSchema* table = findTable(name);

    bool replaced = true;
    if (dated && !deleteSameTime(self->pDBHandle, name, table, when, replaced)) {
        return 0;
    }
    if (!trim(self->pDBHandle, name, table, self->maxCountPerActivity)) {
        return 0;
    }

    Row row;
    if (!row.make() || !appendItems(row, pLifelogActivity)) {
        return 0;
    }

    if (dated && table != nullptr && keepsOwnTimestamp(*table, row, replaced) &&
        !appendTimestamp(row, table->timestampColumn, when)) {
        return 0;
    }

    const int length =
        String_format(row.insert.get(), kInsertRoom, "INSERT INTO %s ( %s ) VALUES ( %s )", name,
                      row.columnList.get(), row.valueList.get());
    if (!fits(length, kInsertRoom)) {
        LIFELOG_TRACE("String length is out of bounds %d", length);
        return 0;
    }
    if (!insertRow(self->pDBHandle, row.insert.get())) {
        return 0;
    }
    LIFELOG_TRACE("End");
    return 1;
}

LIFELOG_API void __DBHandle_close(Handle* pI) {
    LIFELOG_TRACE("called");
    if (pI == nullptr) {
        LIFELOG_ERROR("pI is null");
        return;
    }
    DBHandle* self = selfOf(pI);
    if (self->pDBHandle == nullptr) {
        LIFELOG_ERROR("pThis->pDBHandle is null");
        return;
    }
    unsigned int err = LIFELOG_E_SUCCESS;
    Database_close(self->pDBHandle, &err);
    if (err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated : Database_close is failed", Exception_toString(err));
        return;
    }
    self->pDBHandle = nullptr;
}

LIFELOG_API void __DBHandle_destruct(Handle* pI) {
    if (pI != nullptr) {
        DBHandle_delete(selfOf(pI));
    }
}

LIFELOG_API char* __String_NewReplace(const char* source, const char* token,
                                      const char* replacement) {
    lifelog::ListGuard pieces(String_getTokens(source, token));
    if (!pieces) {
        return nullptr;
    }
    const int count = List_size(pieces.get());
    if (count <= 0) {
        return nullptr;
    }
    int piecesLength = 0;
    void* cursor = List_getIterator(pieces.get());
    while (auto* piece = static_cast<const char*>(List_getNext(&cursor))) {
        piecesLength += String_length(piece);
    }
    const int tokenLength = String_length(token);
    if (tokenLength != 1 || piecesLength + (count - 1) != String_length(source)) {
        return replaceByScan(source, token, replacement);
    }
    unsigned int err = LIFELOG_E_SUCCESS;
    char* result = String_new(piecesLength + (count - 1) * String_length(replacement) + 1, &err);
    if (result == nullptr) {
        return nullptr;
    }
    cursor = List_getIterator(pieces.get());
    for (int index = 0; index < count; ++index) {
        String_concat(result, static_cast<const char*>(List_getNext(&cursor)));
        if (index + 1 < count) {
            String_concat(result, replacement);
        }
    }
    return result;
}

}  // extern "C"
