// Private helpers shared by the library's objects: the error slot's rules,
// the log helper, tracked allocation with the caller's source location, and
// guards that release what a call made unless it is handed over on success.
#pragma once

#include "qelmemory.h"
#include "zbase.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogTypes.h"

// Clears the caller's error slot `err` on entry; see lifelog::enter.
#define LIFELOG_ENTER(err)                          \
    unsigned int err##Scratch_ = LIFELOG_E_SUCCESS; \
    (err) = ::lifelog::enter((err), &err##Scratch_)

// Every line the library writes: its module, level, the exported operation
// it is written for and the source line.
#define LIFELOG_LOG(module, level, function, line, ...) \
    __Log_printfEx((module), (level), (function), (line), __VA_ARGS__)
// The common lines: module 10, naming the function they are written from.
#define LIFELOG_TRACE(...) \
    LIFELOG_LOG(::lifelog::kLogModule, ::lifelog::kTrace, __func__, __LINE__, __VA_ARGS__)
#define LIFELOG_ERROR(...) \
    LIFELOG_LOG(::lifelog::kLogModule, ::lifelog::kError, __func__, __LINE__, __VA_ARGS__)

namespace lifelog {

inline constexpr int kLogModule = 10;
inline constexpr int kSortOrderLogModule = 11;
inline constexpr int kTrace = ZBASE_LOG_TRACE;
inline constexpr int kError = ZBASE_LOG_ERROR;

// The error slot.  Every fallible operation clears the caller's slot on
// entry (LIFELOG_ENTER) and sets a code on failure; a caller that passes
// no slot gets a scratch slot of the call's own, so no operation writes
// through a null slot.
inline unsigned int* enter(unsigned int* err, unsigned int* scratch) {
    unsigned int* slot = err != nullptr ? err : scratch;
    *slot = LIFELOG_E_SUCCESS;
    return slot;
}

// Sets the caller's error slot when there is one.
inline void setError(unsigned int* err, unsigned int code) {
    if (err != nullptr) {
        *err = code;
    }
}

// A step failed: the slot keeps the code the step reported, or takes
// `fallback` when the step failed without saying why.
inline void markFailed(unsigned int* err, unsigned int fallback) {
    if (*err == LIFELOG_E_SUCCESS) {
        *err = fallback;
    }
}

// A constructor's outcome: true when it made nothing or reported a code
// (the slot then holds a code, `fallback` if it reported none).
inline bool madeNothing(const void* made, unsigned int* err, unsigned int fallback) {
    if (made == nullptr) {
        markFailed(err, fallback);
    }
    return made == nullptr || *err != LIFELOG_E_SUCCESS;
}

inline void freeBlock(void* block) {
    Mem_freeEx(block, __FILE__, __LINE__);
}
inline void freeString(char* text) {
    Mem_freeEx(text, __FILE__, __LINE__);
}

// Owns one object and releases it with `Release` unless release()d.
template <typename T, void (*Release)(T*)>
class Guard {
public:
    explicit Guard(T* object = nullptr) : object_(object) {}
    ~Guard() { reset(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the object over: the guard no longer releases it.
    T* release() {
        T* object = object_;
        object_ = nullptr;
        return object;
    }
    void reset(T* object = nullptr) {
        if (object_ != nullptr) {
            Release(object_);
        }
        object_ = object;
    }

private:
    T* object_;
};

// Platform handles are released with a scratch slot of their own, so that
// the code a failing call reported stays in the caller's slot.
inline void closeDatabase(Database* database) {
    unsigned int scratch = LIFELOG_E_SUCCESS;
    Database_close(database, &scratch);
}
inline void destroyStatement(DbStatement* statement) {
    unsigned int scratch = LIFELOG_E_SUCCESS;
    DbStatement_destroy(statement, &scratch);
}
inline void resetRows(DbEnumerator* rows) {
    unsigned int scratch = LIFELOG_E_SUCCESS;
    DbEnumerator_reset(rows, &scratch);
}
inline void closeRegistry(Registry* registry) {
    unsigned int scratch = LIFELOG_E_SUCCESS;
    Registry_close(registry, 0, &scratch);
}

using BlockGuard = Guard<void, freeBlock>;
using StringGuard = Guard<char, freeString>;
using ListGuard = Guard<List, List_delete>;
using ActivityGuard = Guard<ZLifelogActivity, ZLifelogActivity_delete>;
using DatabaseGuard = Guard<Database, closeDatabase>;
using StatementGuard = Guard<DbStatement, destroyStatement>;
using RowsGuard = Guard<DbEnumerator, resetRows>;
using RegistryGuard = Guard<Registry, closeRegistry>;

// Appends `element` to a list that holds each object once, the rule shared
// by a logger's handlers and a handler's generators.  Returns 0, 3 when the
// very object is already in the list, or 12 when the list refused the append
// (logged as "List_addLast is failed" under the caller's name and line).
inline unsigned int appendOnce(List* list, void* element, const char* function, int line) {
    void* cursor = List_getIterator(list);
    for (void* each = List_getNext(&cursor); each != nullptr; each = List_getNext(&cursor)) {
        if (each == element) {
            return LIFELOG_E_OBJ_ALREADY_EXIST;
        }
    }
    if (List_addLast(list, element) == 0) {
        LIFELOG_LOG(kLogModule, kError, function, line, "List_addLast is failed");
        return LIFELOG_E_LIST_APPEND;
    }
    return LIFELOG_E_SUCCESS;
}

// An item whose value (`size` bytes copied from `bytes`) lives in the item's
// own block with its key; released by ZLifelogActivityItem_delete like any
// other.  Null with *err set when the block cannot be had.
ZLifelogActivityItem* newItemWithValue(const char* key, int valueType, const void* bytes,
                                       size_t size, unsigned int* err);

}  // namespace lifelog

// Tracked allocation, naming the library's source file and line.
#define LIFELOG_ALLOC(size) Mem_allocEx((size), __FILE__, __LINE__)
#define LIFELOG_CALLOC(count, size) Mem_callocEx((count), (size), __FILE__, __LINE__)
#define LIFELOG_FREE(block) Mem_freeEx((block), __FILE__, __LINE__)
