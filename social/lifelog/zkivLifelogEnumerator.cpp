// The result enumerator: one query statement, run at creation; each
// current row comes back on request as a new activity named after the table.
#include "zkivLifelogEnumerator.h"

#include <string.h>

#include "lifelogInternal.h"
#include "lifelogSchema.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"

#include "zkivLifelogCommon.h"
#include "zkivLifelogUtil.h"

namespace {

using lifelog::ActivityGuard;
using lifelog::BlockGuard;
using lifelog::setError;
using lifelog::StringGuard;

// Lines of getCurrentN carry the code in the slot at the moment of the line.
#define ROW_FAIL(code, ...)                                                                     \
    do {                                                                                        \
        setError(err, (code));                                                                  \
        LIFELOG_LOG(::lifelog::kLogModule, ::lifelog::kError, "ZLifelogEnumerator_getCurrentN", \
                    __LINE__, __VA_ARGS__);                                                     \
        return false;                                                                           \
    } while (0)

// Reads the column's value by its value type into a new item keyed by the
// column's name, the value in the item's own block.
bool readItem(DbEnumerator* rows, int column, const char* name, int valueType,
              ZLifelogActivityItem** made, unsigned int* err) {
    unsigned int readErr = LIFELOG_E_SUCCESS;
    if (valueType == LIFELOG_VALUE_STRING) {
        const char* text = DbEnumerator_getText(rows, column, &readErr);
        if (readErr != LIFELOG_E_SUCCESS || text == nullptr) {
            ROW_FAIL(LIFELOG_E_FAILURE, "[%s] : DbEnumerator_getText is failed. ",
                     Exception_toString(LIFELOG_E_FAILURE));
        }
        // Fails as the copy of the text does, the first block of a text item.
        *made = lifelog::newItemWithValue(name, valueType, text, strlen(text) + 1, err);
        return *made != nullptr;
    }
    const char* failed = nullptr;
    union {
        int32_t i32;
        double d;
        int64_t i64;
    } number{};
    size_t size = 0;
    if (valueType == LIFELOG_VALUE_INT) {
        number.i32 = DbEnumerator_getInt(rows, column, &readErr);
        size = sizeof(int32_t);
        failed = "[%s] : DbEnumerator_getInt is failed.";
    } else if (valueType == LIFELOG_VALUE_DOUBLE) {
        number.d = DbEnumerator_getDouble(rows, column, &readErr);
        size = sizeof(double);
        failed = "[%s] : DbEnumerator_getDouble is failed.";
    } else {
        number.i64 = DbEnumerator_getInt64(rows, column, &readErr);
        size = sizeof(int64_t);
        failed = "[%s] : DbEnumerator_getInt64 is failed.";
    }
    unsigned int itemErr = LIFELOG_E_SUCCESS;
    ZLifelogActivityItem* item =
        lifelog::newItemWithValue(name, valueType, &number, size, &itemErr);
    if (item == nullptr) {
        ROW_FAIL(LIFELOG_E_OUT_OF_MEMORY,
                 "[OutOfMemoryError] : ZLifelogActivityItem_new is failed.");
    }
    if (readErr != LIFELOG_E_SUCCESS) {
        ZLifelogActivityItem_delete(item);
        ROW_FAIL(LIFELOG_E_FAILURE, failed, Exception_toString(LIFELOG_E_FAILURE));
    }
    *made = item;
    return true;
}

// The text of the time-stamp or location column (null for NULL).
bool readText(DbEnumerator* rows, int column, const char** text, unsigned int* err) {
    unsigned int textErr = LIFELOG_E_SUCCESS;
    *text = DbEnumerator_getText(rows, column, &textErr);
    if (textErr != LIFELOG_E_SUCCESS) {
        ROW_FAIL(LIFELOG_E_FAILURE, "[%s] : DbEnumerator_getText is failed.",
                 Exception_toString(LIFELOG_E_FAILURE));
    }
    return true;
}

// The activity's time stamp from the column's text.
bool addTimestamp(ZLifelogActivity* activity, DbEnumerator* rows, int column, unsigned int* err) {
    const char* text = nullptr;
    if (!readText(rows, column, &text, err)) {
        return false;
    }
    unsigned int dateErr = LIFELOG_E_SUCCESS;
    const DateTime when = _ConvertToDate(text, &dateErr);
    if (dateErr != LIFELOG_E_SUCCESS) {
        ROW_FAIL(LIFELOG_E_FAILURE, "[%s] : Convert timestamp is failed.",
                 Exception_toString(LIFELOG_E_FAILURE));
    }
    _ZLifelogActivity_setTimestamp(activity, when);
    return true;
}

// The activity's location: a copy of the column's text, none for NULL.
bool addLocation(ZLifelogActivity* activity, DbEnumerator* rows, int column, unsigned int* err) {
    const char* text = nullptr;
    if (!readText(rows, column, &text, err)) {
        return false;
    }
    if (text == nullptr) {
        return true;
    }
    char* location = String_newByString(text, err);
    if (location == nullptr) {
        return false;
    }
    if (activity->location != nullptr) {
        LIFELOG_FREE(activity->location);
    }
    activity->location = location;
    return true;
}

// One item from a column with a value: read by its value type, keyed by the
// column's name and added to the activity.
bool addValueItem(ZLifelogActivity* activity, DbEnumerator* rows, int column, const char* name,
                  int valueType, unsigned int* err) {
    ZLifelogActivityItem* item = nullptr;
    if (!readItem(rows, column, name, valueType, &item, err)) {
        return false;
    }
    ZLifelogActivity_addActivityItem(activity, item, err);
    if (*err != LIFELOG_E_SUCCESS) {
        ZLifelogActivityItem_delete(item);
        const unsigned int code = *err;
        if (valueType == LIFELOG_VALUE_INT64) {
            ROW_FAIL(code, "[%s] : ZLifelogActivity_addActivityItem is failed. ",
                     Exception_toString(code));
        }
        ROW_FAIL(code, "[%s] : ZLifelogActivity_addActivityItem is failed.",
                 Exception_toString(code));
    }
    return true;
}

// Turns one column of the current row into the activity's time stamp, its
// location or one item; a column without a value adds nothing.
bool addColumn(ZLifelogActivity* activity, DbEnumerator* rows, int column, unsigned int* err) {
    const int columnType = DbEnumerator_getColumnType(rows, column, err);
    if (*err != LIFELOG_E_SUCCESS) {
        const unsigned int code = *err;
        ROW_FAIL(code, "[%s] Propagated : DbEnumerator_getColumnType is failed.",
                 Exception_toString(code));
    }
    const int valueType = __Util_convertType(columnType);
    if (valueType == -1) {
        ROW_FAIL(LIFELOG_E_FAILURE, "[%s] : Db has invalid type.",
                 Exception_toString(LIFELOG_E_FAILURE));
    }
    unsigned int nameErr = LIFELOG_E_SUCCESS;
    const char* name = DbEnumerator_getColumnName(rows, column, &nameErr);
    if (nameErr != LIFELOG_E_SUCCESS || name == nullptr) {
        ROW_FAIL(LIFELOG_E_FAILURE, "[%s] : DbEnumerator_getColumnName is failed.",
                 Exception_toString(LIFELOG_E_FAILURE));
    }
    // The time stamp and the location come before the value types: a time
    // stamp that is not a date (NULL included) fails the row, a NULL
    // location leaves the activity without one.
    if (lifelog::isTimestampColumn(name)) {
        return addTimestamp(activity, rows, column, err);
    }
    if (String_equals(name, lifelog::kLocationColumn)) {
        return addLocation(activity, rows, column, err);
    }
    if (valueType == LIFELOG_VALUE_NONE) {
        return true;
    }
    return addValueItem(activity, rows, column, name, valueType, err);
}

#undef ROW_FAIL

}  // namespace

extern "C" {

LIFELOG_API ZLifelogEnumerator* ZLifelogEnumerator_new(Database* database, const char* activityName,
                                                       const char* queryText, unsigned int* err) {
    LIFELOG_ENTER(err);
    LIFELOG_TRACE("start : sql : [ %s ]", queryText);
    BlockGuard record(LIFELOG_ALLOC(sizeof(ZLifelogEnumerator)));
    if (!record) {
        *err = LIFELOG_E_OUT_OF_MEMORY;
        return nullptr;
    }
    lifelog::StatementGuard statement(Database_createStatement(database, queryText, err));
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated : Database_createStatement is failed.",
                      Exception_toString(*err));
        *err = LIFELOG_E_DATABASE;
        return nullptr;
    }
    DbEnumerator* rows = Database_executeStatement(statement.get(), err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated : Database_executeStatement is failed.",
                      Exception_toString(*err));
        *err = LIFELOG_E_DATABASE;
        return nullptr;
    }
    char* name = String_newByString(activityName, err);
    if (name == nullptr) {
        return nullptr;
    }
    auto* enumerator = static_cast<ZLifelogEnumerator*>(record.release());
    enumerator->activityName = name;
    enumerator->statement = statement.release();
    enumerator->dbEnumerator = rows;
    LIFELOG_TRACE("end");
    return enumerator;
}

LIFELOG_API void ZLifelogEnumerator_moveNext(ZLifelogEnumerator* enumerator, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (enumerator == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return;
    }
    // An advance that finds no row without saying why also ends the walk,
    // so that a client's loop on the error slot always terminates.
    if (DbEnumerator_getNextRow(enumerator->dbEnumerator, err) == 0 &&
        (*err == ZBASE_E_NO_MORE_ROWS || *err == LIFELOG_E_SUCCESS)) {
        *err = LIFELOG_E_END_OF_ENUMERATION;
    }
}

LIFELOG_API ZLifelogActivity* ZLifelogEnumerator_getCurrentN(ZLifelogEnumerator* enumerator,
                                                             unsigned int* err) {
    LIFELOG_ENTER(err);
    if (enumerator == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return nullptr;
    }
    ActivityGuard activity(ZLifelogActivity_new(enumerator->activityName, err));
    if (!activity) {
        LIFELOG_ERROR("ZLifelogActivity_new is failed. %s", Exception_toString(*err));
        return nullptr;
    }
    const int columns = DbEnumerator_getColumnNumber(enumerator->dbEnumerator, err);
    if (*err != LIFELOG_E_SUCCESS) {
        LIFELOG_ERROR("[%s] Propagated : DbEnumerator_getColumnNumber is failed.",
                      Exception_toString(*err));
        return nullptr;
    }
    if (columns <= 0) {
        *err = LIFELOG_E_FAILURE;
        return nullptr;
    }
    for (int column = 0; column < columns; ++column) {
        if (!addColumn(activity.get(), enumerator->dbEnumerator, column, err)) {
            return nullptr;
        }
    }
    return activity.release();
}

LIFELOG_API void ZLifelogEnumerator_reset(ZLifelogEnumerator* enumerator, unsigned int* err) {
    LIFELOG_ENTER(err);
    if (enumerator == nullptr) {
        *err = LIFELOG_E_INVALID_ARG;
        return;
    }
    DbEnumerator_reset(enumerator->dbEnumerator, err);
}

LIFELOG_API void ZLifelogEnumerator_delete(ZLifelogEnumerator* enumerator) {
    LIFELOG_TRACE("start");
    if (enumerator != nullptr) {
        unsigned int ownErr = LIFELOG_E_SUCCESS;
        if (enumerator->dbEnumerator != nullptr) {
            DbEnumerator_reset(enumerator->dbEnumerator, &ownErr);
        }
        if (enumerator->statement != nullptr) {
            DbStatement_destroy(enumerator->statement, &ownErr);
        }
        LIFELOG_FREE(enumerator->activityName);
        LIFELOG_FREE(enumerator);
    }
    LIFELOG_TRACE("end");
}

}  // extern "C"
