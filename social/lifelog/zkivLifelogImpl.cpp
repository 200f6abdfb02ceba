// The query object: binds to one activity table (and optionally a date
// range), keeps a filter and a sort order, and builds the statements of
// listings and aggregates from that state at the moment of each call.
#include "zkivLifelogImpl.h"

#include "lifelogInternal.h"
#include "lifelogSchema.h"
#include "zkivLifelogEnumerator.h"

namespace {

using lifelog::setError;
using lifelog::StringGuard;

constexpr int kStatementCapacity = 4096;
constexpr int kDateRangeCapacity = 80;
constexpr int kExtremeConditionCapacity = 2048;
constexpr int kSingleValueCapacity = 1024;
constexpr int kMaxFilterLength = 2048;
constexpr const char* kOccurredCount = "OCCURRED_COUNT";
constexpr const char* kOverflowLine = "[OverflowException] Query creation is failed. %d > [%d]";

const ILifelogOps kLifelogOps = {
    __LifelogImpl_queryInterface, __LifelogImpl_addRef,
    __LifelogImpl_release,        __LifelogImpl_initialize,
    __LifelogImpl_initialize2,    __LifelogImpl_getActivityName,
    __LifelogImpl_getEnumerator,  __LifelogImpl_findMaxLogs,
    __LifelogImpl_findMinLogs,    __LifelogImpl_getMostOccurredValues,
    __LifelogImpl_getCount,       __LifelogImpl_getSum,
    __LifelogImpl_getAverage,     __LifelogImpl_setFilter,
    __LifelogImpl_setSortOrder,   __LifelogImpl_setSortOrder2,
    __LifelogImpl_resetSortOrder,
};

LifelogImpl* implOf(ILifelog* self) {
    return self == nullptr ? nullptr : static_cast<LifelogImpl*>(self->impl);
}

// Queries need a table name and an open database; an object whose
// initialisation never succeeded has neither and is refused with 4.
bool isReady(const LifelogImpl* object) {
    return object != nullptr && object->activityName != nullptr && object->database != nullptr;
}

void releaseText(char** text) {
    if (*text != nullptr) {
        LIFELOG_FREE(*text);
        *text = nullptr;
    }
}

// Replaces *slot with a copy of text; on failure *slot is unchanged.
bool storeCopy(char** slot, const char* text, unsigned int* err) {
    char* copy = String_newByString(text, err);
    if (copy == nullptr) {
        return false;
    }
    releaseText(slot);
    *slot = copy;
    return true;
}

int textLength(const char* text) {
    return text == nullptr ? 0 : String_length(text);
}

// A query text of `length` characters fits a fixed text of `capacity` bytes,
// or the query is refused with 187 and the overflow line of `function`.
// The where text, the listing statement and the single-value statements are
// refused this way rather than run in a cut form; the other bounded texts
// are cut where String_format cuts them.
bool fits(int length, int capacity, const char* function, int line, unsigned int* err) {
    if (length >= 0 && length < capacity) {
        return true;
    }
    setError(err, LIFELOG_E_OVERFLOW);
    LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, line, kOverflowLine, length,
                capacity);
    return false;
}

// The first step shared by both initialisations: an object and a name are
// required, and one object binds once (a second binding would leave
// enumerators reading through a closed handle).
bool mayBind(LifelogImpl* object, const char* activityName, unsigned int* err, const char* function,
             int line) {
    if (object == nullptr || activityName == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return false;
    }
    if (object->database != nullptr) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, line,
                    "query object is already initialised");
        setError(err, LIFELOG_E_INVALID_ARG);
        return false;
    }
    return true;
}

// Queries only read: a missing database file is 31, never created here.
bool databaseExists(unsigned int* err, const char* function, int line) {
    if (_Database_existsInternal(lifelog::kDatabasePath, err) != 0) {
        return true;
    }
    setError(err, LIFELOG_E_FILE_NOT_FOUND);
    LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, line, "Database don't exist ");
    return false;
}

}  // namespace

extern "C" {

// ------------------------------------------------------------ lifecycle

LIFELOG_API ILifelog* __LifelogImpl_new(unsigned int* err) {
    auto* object = static_cast<LifelogImpl*>(LIFELOG_CALLOC(1, sizeof(LifelogImpl)));
    if (object == nullptr) {
        setError(err, LIFELOG_E_OUT_OF_MEMORY);
        return nullptr;
    }
    object->ops = &kLifelogOps;
    object->impl = object;
    return reinterpret_cast<ILifelog*>(object);
}

LIFELOG_API int32_t __LifelogImpl_addRef(ILifelog* self) {
    LifelogImpl* object = implOf(self);
    if (object == nullptr) {
        return 0;
    }
    return ++object->refCount;
}

LIFELOG_API int32_t __LifelogImpl_release(ILifelog* self) {
    LifelogImpl* object = implOf(self);
    if (object == nullptr) {
        return 0;
    }
    // Only the release that brings the count to 0 deletes: one from 0 (a
    // release too many) answers -1 and leaves the object alone.
    const int32_t left = --object->refCount;
    if (left == 0) {
        __LifelogImpl_delete(self);
    }
    return left;
}

LIFELOG_API void* __LifelogImpl_queryInterface(ILifelog* self, const UUID* interfaceId,
                                               unsigned int* err) {
    (void)self;
    (void)interfaceId;
    // Clients get the query object from the factory; it hands out nothing more.
    setError(err, LIFELOG_E_NO_INTERFACE);
    return nullptr;
}

LIFELOG_API void __LifelogImpl_delete(ILifelog* self) {
    LIFELOG_TRACE("is called");
    LifelogImpl* object = implOf(self);
    if (object == nullptr) {
        return;
    }
    if (object->database != nullptr) {
        unsigned int closeErr = LIFELOG_E_SUCCESS;
        Database_close(object->database, &closeErr);
        if (closeErr != LIFELOG_E_SUCCESS) {
            LIFELOG_ERROR("[%s] Propagated : filter Database_close is failed.",
                          Exception_toString(closeErr));
        }
        object->database = nullptr;
    }
    releaseText(&object->activityName);
    releaseText(&object->filter);
    releaseText(&object->sortOrder);
    releaseText(&object->dateRange);
    LIFELOG_FREE(object);
}

// --------------------------------------------------------- initialisation

LIFELOG_API void __LifelogImpl_initialize(ILifelog* self, const char* activityName,
                                          unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (!mayBind(object, activityName, err, __func__, __LINE__)) {
        return;
    }
    if (!storeCopy(&object->activityName, activityName, err) ||
        !databaseExists(err, __func__, __LINE__)) {
        return;
    }
    object->database = _Database_openInternal(lifelog::kDatabasePath, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated : Database_openDB is failed", Exception_toString(*err));
    }
}

LIFELOG_API void __LifelogImpl_initialize2(ILifelog* self, const char* activityName, DateTime from,
                                           DateTime to, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (!mayBind(object, activityName, err, __func__, __LINE__)) {
        return;
    }
    releaseText(&object->dateRange);
    bool ok = storeCopy(&object->activityName, activityName, err);
    if (ok) {
        const bool inOrder = __LifelogImpl_compareDate(from, to) == 1;
        object->dateRange = __LifelogImple_convertDateToQueryStr(
            object->activityName, inOrder ? from : to, inOrder ? to : from, err);
        ok = object->dateRange != nullptr;
    }
    ok = ok && databaseExists(err, __func__, __LINE__);
    if (ok) {
        object->database = _Database_openInternal(lifelog::kDatabasePath, err);
        if (*err != LIFELOG_E_SUCCESS) {
            LIFELOG_ERROR("Database_openDB is failed");
            object->database = nullptr;
            ok = false;
        }
    }
    if (!ok) {
        releaseText(&object->activityName);
        releaseText(&object->dateRange);
    }
}

LIFELOG_API int __LifelogImpl_compareDate(DateTime a, DateTime b) {
    const int32_t left[] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const int32_t right[] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 6; ++i) {
        if (left[i] != right[i]) {
            return left[i] < right[i] ? 1 : 0;
        }
    }
    return 0;
}

LIFELOG_API char* __LifelogImple_convertDateToQueryStr(const char* activityName, DateTime lower,
                                                       DateTime upper, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (lower.year == 0 || lower.month == 0 || lower.day == 0 || upper.year == 0 ||
        upper.month == 0 || upper.day == 0) {
        LIFELOG_ERROR("Date format is invalid (year,month,day)");
        setError(err, LIFELOG_E_INVALID_ARG);
        return nullptr;
    }
    char* range = String_new(kDateRangeCapacity, err);
    if (range == nullptr) {
        return nullptr;
    }
    const lifelog::TableSchema* table =
        activityName != nullptr ? lifelog::findTable(activityName) : nullptr;
    const char* format = table != nullptr ? table->dateRange : nullptr;
    if (format != nullptr) {
        String_format(range, kDateRangeCapacity, format, lower.year, lower.month, lower.day,
                      lower.hour, lower.minute, lower.second, upper.year, upper.month, upper.day,
                      upper.hour, upper.minute, upper.second);
    }
    return range;
}

LIFELOG_API char* __LifelogImpl_getActivityName(ILifelog* self) {
    LifelogImpl* object = implOf(self);
    return object == nullptr ? nullptr : object->activityName;
}

// ------------------------------------------------------ statement building

LIFELOG_API char* __LifelogImpl_createWhereQuery(LifelogImpl* object, const char* condition,
                                                 unsigned int* err) {
    LIFELOG_ENTER(err);
    if (object == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return nullptr;
    }
    StringGuard where(String_new(kStatementCapacity, err));
    if (!where) {
        return nullptr;
    }
    if (condition == nullptr && object->dateRange == nullptr) {
        return nullptr;
    }
    int length = 0;
    const char* function = __func__;  // inside the lambda __func__ names the lambda
    auto append = [&](const char* piece) {
        const int reach = length + String_length(piece);
        if (!fits(reach, kStatementCapacity, function, __LINE__, err)) {
            return false;
        }
        String_concat(where.get(), piece);
        length = reach;
        return true;
    };
    if (!append("WHERE ")) {
        return nullptr;
    }
    if (condition != nullptr) {
        if (!append(condition)) {
            return nullptr;
        }
        if (object->dateRange != nullptr && (!append(" AND ") || !append(object->dateRange))) {
            return nullptr;
        }
    } else if (!append(object->dateRange)) {
        return nullptr;
    }
    return where.release();
}

LIFELOG_API char* __LifelogImpl_createSQL(LifelogImpl* object, const char* condition,
                                          const char* order, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (object == nullptr || object->activityName == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return nullptr;
    }
    StringGuard statement(String_new(kStatementCapacity, err));
    if (!statement) {
        return nullptr;
    }
    const int head = String_length(object->activityName) + 17;
    if (head > kStatementCapacity) {
        setError(err, LIFELOG_E_OVERFLOW);
        LIFELOG_ERROR(kOverflowLine, head, kStatementCapacity);
        return nullptr;
    }
    String_format(statement.get(), kStatementCapacity, "SELECT * FROM %s ", object->activityName);
    StringGuard where(__LifelogImpl_createWhereQuery(object, condition, err));
    if (*err != LIFELOG_E_SUCCESS) {
        return nullptr;
    }
    // The where text and the order must fit beside the table name too; a
    // statement that would not fit is refused, never run in a cut form.
    int length = String_length(statement.get()) + textLength(where.get());
    if (order != nullptr) {
        length += 10 + String_length(order);
    }
    if (!fits(length, kStatementCapacity, __func__, __LINE__, err)) {
        return nullptr;
    }
    if (where) {
        String_concat(statement.get(), where.get());
    }
    if (order != nullptr) {
        String_concat(statement.get(), " ORDER BY ");
        String_concat(statement.get(), order);
    }
    return statement.release();
}

LIFELOG_API void __LifelogImpl_checkValid(LifelogImpl* object, const char* statement,
                                          unsigned int* err) {
    LIFELOG_ENTER(err);
    if (!isReady(object) || statement == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    Database_executeSQL(object->database, statement, 1, nullptr, nullptr, err);
}

// ----------------------------------------------------------------- listing

LIFELOG_API ZLifelogEnumerator* __LifelogImpl_getEnumerator(ILifelog* self, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (!isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return nullptr;
    }
    StringGuard statement(__LifelogImpl_createSQL(object, object->filter, object->sortOrder, err));
    if (!statement) {
        return nullptr;
    }
    return ZLifelogEnumerator_new(object->database, object->activityName, statement.get(), err);
}

}  // extern "C"

// ---------------------------------------------------------------- aggregates

namespace {

using lifelog::RowsGuard;
using lifelog::StatementGuard;

// The part of a statement that stands only with a text (a where text, a
// filter, a second order text): `lead`, the text and `tail`, or nothing at
// all.  Statements take it as "%s%s%s", so each is formatted once.
struct OptionalPart {
    const char* lead;
    const char* text;
    const char* tail;
};

OptionalPart optionalPart(const char* text, const char* lead, const char* tail = "") {
    return text != nullptr ? OptionalPart{lead, text, tail} : OptionalPart{"", "", ""};
}

// The rows holding a column's extreme value over the whole table, then
// narrowed by the filter and range.  `function` is MAX or MIN.
ZLifelogEnumerator* findExtremeLogs(ILifelog* self, const char* column, const char* function,
                                    unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (object == nullptr || column == nullptr || !isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return nullptr;
    }
    StringGuard condition(String_new(kExtremeConditionCapacity, err));
    if (!condition) {
        return nullptr;
    }
    // A condition longer than its text is cut there and goes on as cut; the
    // statement built from it has its own capacity rule.
    const OptionalPart filter = optionalPart(object->filter, " AND ");
    String_format(condition.get(), kExtremeConditionCapacity,
                  "((SELECT %s(%s) FROM %s ) = %s)%s%s%s", function, column, object->activityName,
                  column, filter.lead, filter.text, filter.tail);
    StringGuard statement(__LifelogImpl_createSQL(object, condition.get(), object->sortOrder, err));
    if (!statement) {
        return nullptr;
    }
    return ZLifelogEnumerator_new(object->database, object->activityName, statement.get(), err);
}

// COUNT, SUM or AVG: the statement is "SELECT <aggregate>(<argument>) FROM
// <table>", then the where text; count's where text is followed by a blank.
struct SingleValueQuery {
    const char* aggregate;
    const char* argument;
    const char* whereTail;
    bool readsType;    // SUM and AVG ask the column type before the value
    bool readsDouble;  // AVG reads a double, the others an integer
};

struct SingleValue {
    int intValue = 0;
    double doubleValue = 0.0;
};

// Prepares, runs and reads column 0 of the one result row.  A failure is
// logged with the platform's code and leaves 66 in the error slot; the row
// enumerator and the statement are then released without touching it.
bool readSingleValue(LifelogImpl* object, const char* text, const char* whereText,
                     const SingleValueQuery& query, const char* function, SingleValue* out,
                     unsigned int* err) {
    auto fail = [&](const char* line, int at) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, at, line,
                    Exception_toString(*err));
        *err = LIFELOG_E_DATABASE;
        return false;
    };
    StatementGuard statement(Database_createStatement(object->database, text, err));
    if (*err != LIFELOG_E_SUCCESS) {
        return fail("[%s] Propagated : Database_createStatement is failed.", __LINE__);
    }
    if (query.readsType && whereText != nullptr) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, function, __LINE__, "whereQuery is %s",
                    whereText);
    }
    RowsGuard rows(Database_executeStatement(statement.get(), err));
    if (*err != LIFELOG_E_SUCCESS) {
        return fail("[%s] Propagated : Database_executeStatement is failed.", __LINE__);
    }
    if (DbEnumerator_getNextRow(rows.get(), err) == 0 && *err != LIFELOG_E_SUCCESS) {
        return fail("[%s] Propagated : DbEnumerator_getNextRow is failed.", __LINE__);
    }
    *err = LIFELOG_E_SUCCESS;
    if (query.readsType) {
        DbEnumerator_getColumnType(rows.get(), 0, err);
        if (*err != LIFELOG_E_SUCCESS) {
            return fail("[%s] Propagated : DbEnumerator_getColumnType is failed.", __LINE__);
        }
    }
    if (query.readsDouble) {
        out->doubleValue = DbEnumerator_getDouble(rows.get(), 0, err);
    } else {
        out->intValue = DbEnumerator_getInt(rows.get(), 0, err);
    }
    if (*err != LIFELOG_E_SUCCESS) {
        return fail(query.readsDouble ? "[%s] Propagated : DbEnumerator_getDouble is failed."
                                      : "[%s] Propagated : DbEnumerator_getInt is failed.",
                    __LINE__);
    }
    // On success a code from the release stays in the caller's slot.
    DbEnumerator_reset(rows.release(), err);
    DbStatement_destroy(statement.release(), err);
    return true;
}

// The single value over the table with the filter and range.  The whole
// statement must fit its 1024 bytes: a longer one is refused with 187.
bool runSingleValue(LifelogImpl* object, const SingleValueQuery& query, const char* function,
                    SingleValue* out, unsigned int* err) {
    StringGuard where(__LifelogImpl_createWhereQuery(object, object->filter, err));
    if (*err != LIFELOG_E_SUCCESS) {
        return false;
    }
    char statement[kSingleValueCapacity];
    const OptionalPart part = optionalPart(where.get(), " ", query.whereTail);
    const int length = String_format(statement, kSingleValueCapacity, "SELECT %s(%s) FROM %s%s%s%s",
                                     query.aggregate, query.argument, object->activityName,
                                     part.lead, part.text, part.tail);
    if (!fits(length, kSingleValueCapacity, function, __LINE__, err)) {
        return false;
    }
    return readSingleValue(object, statement, where.get(), query, function, out, err);
}

}  // namespace

extern "C" {

LIFELOG_API ZLifelogEnumerator* __LifelogImpl_findMaxLogs(ILifelog* self, const char* column,
                                                          unsigned int* err) {
    return findExtremeLogs(self, column, "MAX", err);
}

LIFELOG_API ZLifelogEnumerator* __LifelogImpl_findMinLogs(ILifelog* self, const char* column,
                                                          unsigned int* err) {
    return findExtremeLogs(self, column, "MIN", err);
}

LIFELOG_API ZLifelogEnumerator* __LifelogImpl_getMostOccurredValues(ILifelog* self,
                                                                    const char* column,
                                                                    int32_t limit,
                                                                    unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (object == nullptr || column == nullptr || !isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return nullptr;
    }
    StringGuard statement(String_new(kStatementCapacity, err));
    if (!statement) {
        return nullptr;
    }
    StringGuard where(__LifelogImpl_createWhereQuery(object, object->filter, err));
    if (*err != LIFELOG_E_SUCCESS) {
        return nullptr;
    }
    // Cut at its capacity like every formatted text, and run as cut.
    const OptionalPart part = optionalPart(where.get(), " ");
    String_format(statement.get(), kStatementCapacity,
                  "SELECT %s, count(*) as %s FROM %s%s%s%s group by %s ORDER BY %s DESC LIMIT %d",
                  column, kOccurredCount, object->activityName, part.lead, part.text, part.tail,
                  column, kOccurredCount, limit);
    return ZLifelogEnumerator_new(object->database, object->activityName, statement.get(), err);
}

LIFELOG_API int32_t __LifelogImpl_getCount(ILifelog* self, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (!isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return -1;
    }
    SingleValue value;
    if (!runSingleValue(object, {"count", "*", " ", false, false}, __func__, &value, err)) {
        return -1;
    }
    return value.intValue;
}

LIFELOG_API int32_t __LifelogImpl_getSum(ILifelog* self, const char* column, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (object == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return -1;
    }
    if (!isReady(object) || column == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return 0;
    }
    SingleValue value;
    if (!runSingleValue(object, {"SUM", column, "", true, false}, __func__, &value, err)) {
        return 0;
    }
    return value.intValue;
}

LIFELOG_API double __LifelogImpl_getAverage(ILifelog* self, const char* column, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (!isReady(object) || column == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return 0.0;
    }
    SingleValue value;
    if (!runSingleValue(object, {"AVG", column, "", true, true}, __func__, &value, err)) {
        return 0.0;
    }
    return value.doubleValue;
}

}  // extern "C"

// ------------------------------------------------- filters and sort orders

namespace {

// The order text of one column: "col ASC", "col DESC" or the name alone.
char* newOrderText(const char* column, int32_t orderType, unsigned int* err) {
    const int capacity = String_length(column) + 5 + 1;
    char* order = String_new(capacity, err);
    if (order == nullptr) {
        return nullptr;
    }
    const char* direction = orderType == LIFELOG_ORDER_ASC    ? " ASC"
                            : orderType == LIFELOG_ORDER_DESC ? " DESC"
                                                              : "";
    String_format(order, capacity, "%s%s", column, direction);
    return order;
}

// Runs a filter's or sort order's test statement.  The database decides:
// 0 or 70 accepts it (the slot is then 0); any other code refuses it, which
// is logged with that code and becomes 4.
bool passesTestRun(LifelogImpl* object, const char* test, const char* function, unsigned int* err) {
    __LifelogImpl_checkValid(object, test, err);
    if (*err == LIFELOG_E_SUCCESS || *err == ZBASE_E_NO_ROWS_CHANGED) {
        *err = LIFELOG_E_SUCCESS;
        return true;
    }
    LIFELOG_LOG(lifelog::kLogModule, lifelog::kError, function, __LINE__,
                "[%s] : filter statement is failed.", Exception_toString(*err));
    *err = LIFELOG_E_INVALID_ARG;
    return false;
}

// A sort order of one or two columns, as setSortOrder and setSortOrder2 ask
// for it; only setSortOrder2 writes the trace lines of its steps.
struct OrderRequest {
    const char* function;
    bool traced;
    const char* columns[2];
    int32_t types[2];
};

// The order texts of the columns that take part, in order.
bool makeOrderTexts(const OrderRequest& request, StringGuard (&texts)[2], unsigned int* err) {
    int made = 0;
    for (int i = 0; i < 2; ++i) {
        if (request.columns[i] == nullptr || request.types[i] == LIFELOG_ORDER_NONE) {
            continue;
        }
        texts[made].reset(newOrderText(request.columns[i], request.types[i], err));
        if (!texts[made]) {
            return false;
        }
        if (request.traced) {
            LIFELOG_LOG(lifelog::kSortOrderLogModule, lifelog::kTrace, request.function, __LINE__,
                        " Order string 1:  %s", texts[made].get());
        }
        ++made;
    }
    return true;
}

// Test-runs the order with the object's filter and, when the database
// accepts it, stores it; a refusal keeps the previous order.  The test
// statement separates two columns with " , ", the stored order with ",".
void setOrder(LifelogImpl* object, const OrderRequest& request, unsigned int* err) {
    StringGuard test(String_new(kStatementCapacity, err));
    if (!test) {
        return;
    }
    if (request.traced) {
        LIFELOG_LOG(lifelog::kSortOrderLogModule, lifelog::kTrace, request.function, __LINE__,
                    " TempSql size : %d", String_length(test.get()));
    }
    StringGuard texts[2];
    if (!makeOrderTexts(request, texts, err)) {
        return;
    }
    // A test statement past its capacity is cut there; the database then
    // judges the cut text.
    const OptionalPart filter = optionalPart(object->filter, " WHERE ");
    const OptionalPart second = optionalPart(texts[1].get(), " , ");
    String_format(test.get(), kStatementCapacity, "SELECT * FROM %s%s%s%s ORDER BY %s%s%s%s",
                  object->activityName, filter.lead, filter.text, filter.tail, texts[0].get(),
                  second.lead, second.text, second.tail);
    if (request.traced) {
        LIFELOG_LOG(lifelog::kSortOrderLogModule, lifelog::kTrace, request.function, __LINE__,
                    "Valid Sql str:  %s", test.get());
    }
    if (!passesTestRun(object, test.get(), request.function, err)) {
        return;
    }
    releaseText(&object->sortOrder);
    const int capacity = String_length(texts[0].get()) + textLength(texts[1].get()) + 1 + 1;
    object->sortOrder = String_new(capacity, err);
    if (object->sortOrder == nullptr) {
        return;
    }
    const OptionalPart stored = optionalPart(texts[1].get(), ",");
    String_format(object->sortOrder, capacity, "%s%s%s%s", texts[0].get(), stored.lead, stored.text,
                  stored.tail);
    if (request.traced) {
        LIFELOG_LOG(lifelog::kLogModule, lifelog::kTrace, request.function, __LINE__,
                    "Sorting String:  %s", object->sortOrder);
    }
}

}  // namespace

extern "C" {

LIFELOG_API void __LifelogImpl_setFilter(ILifelog* self, const char* condition, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (object == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    releaseText(&object->filter);
    if (condition == nullptr) {
        return;
    }
    const int length = String_length(condition);
    if (length > kMaxFilterLength) {
        LIFELOG_ERROR("[%s] : filter length is %d > %d.", Exception_toString(*err), length,
                      kMaxFilterLength);
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    if (!isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    const int capacity = length + String_length(object->activityName) + 25 + 1;
    StringGuard test(String_new(capacity, err));
    if (!test) {
        return;
    }
    String_format(test.get(), capacity, "SELECT * FROM %s WHERE %s", object->activityName,
                  condition);
    if (passesTestRun(object, test.get(), __func__, err)) {
        storeCopy(&object->filter, condition, err);
    }
}

LIFELOG_API void __LifelogImpl_setSortOrder(ILifelog* self, const char* column, int32_t orderType,
                                            unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (object == nullptr || column == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    if (orderType == LIFELOG_ORDER_NONE) {
        releaseText(&object->sortOrder);
        LIFELOG_LOG(lifelog::kSortOrderLogModule, lifelog::kTrace, __func__, __LINE__,
                    "Input LIFELOG_ORDER_NONE type ");
        return;
    }
    if (!isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    setOrder(object, {__func__, false, {column, nullptr}, {orderType, LIFELOG_ORDER_NONE}}, err);
}

LIFELOG_API void __LifelogImpl_setSortOrder2(ILifelog* self, const char* column1,
                                             int32_t orderType1, const char* column2,
                                             int32_t orderType2, unsigned int* err) {
    LIFELOG_ENTER(err);
    LifelogImpl* object = implOf(self);
    if (object == nullptr || column1 == nullptr || column2 == nullptr) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    LIFELOG_LOG(lifelog::kSortOrderLogModule, lifelog::kTrace, __func__, __LINE__, " is called");
    if (orderType1 == LIFELOG_ORDER_NONE && orderType2 == LIFELOG_ORDER_NONE) {
        releaseText(&object->sortOrder);
        LIFELOG_LOG(lifelog::kSortOrderLogModule, lifelog::kTrace, __func__, __LINE__,
                    "Input LIFELOG_ORDER_NONE type ");
        return;
    }
    if (!isReady(object)) {
        setError(err, LIFELOG_E_INVALID_ARG);
        return;
    }
    setOrder(object, {__func__, true, {column1, column2}, {orderType1, orderType2}}, err);
}

LIFELOG_API void __LifelogImpl_resetSortOrder(ILifelog* self) {
    LifelogImpl* object = implOf(self);
    if (object != nullptr) {
        releaseText(&object->sortOrder);
    }
}

}  // extern "C"
