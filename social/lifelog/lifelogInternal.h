// Private helpers shared by the library's objects: the log helper, tracked
// allocation with the caller's source location, and guards that release what
// a call made unless it is handed over on success.
#pragma once

#include "qelmemory.h"
#include "zbase.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogTypes.h"

namespace lifelog {

inline constexpr int kLogModule = 10;
inline constexpr int kSortOrderLogModule = 11;
inline constexpr int kTrace = ZBASE_LOG_TRACE;
inline constexpr int kError = ZBASE_LOG_ERROR;

// Sets the caller's error slot when there is one.
inline void setError(unsigned int* err, unsigned int code) {
    if (err != nullptr) {
        *err = code;
    }
}

inline void freeBlock(void* block) { Mem_freeEx(block, __FILE__, __LINE__); }
inline void freeString(char* text) { Mem_freeEx(text, __FILE__, __LINE__); }

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

using BlockGuard = Guard<void, freeBlock>;
using StringGuard = Guard<char, freeString>;
using ListGuard = Guard<List, List_delete>;
using ActivityGuard = Guard<ZLifelogActivity, ZLifelogActivity_delete>;

// Appends `element` to a list that holds each object once, the rule shared
// by a logger's handlers and a handler's generators.  Returns 0, 3 when the
// very object is already in the list, or 12 when the list refused the append
// (logged as "List_addLast is failed" under the caller's name and line).
inline unsigned int appendOnce(List* list, void* element, const char* function, int line) {
    void* cursor = List_getIterator(list);
    for (void* each = List_getNext(&cursor); each != nullptr; each = List_getNext(&cursor)) {
        if (each == element) {
            return 3;
        }
    }
    if (List_addLast(list, element) == 0) {
        __Log_printfEx(kLogModule, kError, function, line, "List_addLast is failed");
        return 12;
    }
    return 0;
}

}  // namespace lifelog

// Log lines name the exported function they are written from (__func__).
#define LIFELOG_TRACE(...) \
    __Log_printfEx(::lifelog::kLogModule, ::lifelog::kTrace, __func__, __LINE__, __VA_ARGS__)
#define LIFELOG_ERROR(...) \
    __Log_printfEx(::lifelog::kLogModule, ::lifelog::kError, __func__, __LINE__, __VA_ARGS__)

// Tracked allocation, naming the library's source file and line.
#define LIFELOG_ALLOC(size) Mem_allocEx((size), __FILE__, __LINE__)
#define LIFELOG_CALLOC(count, size) Mem_callocEx((count), (size), __FILE__, __LINE__)
#define LIFELOG_FREE(block) Mem_freeEx((block), __FILE__, __LINE__)
