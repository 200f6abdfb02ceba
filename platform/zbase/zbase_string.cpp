// Platform strings: NUL-terminated 8-bit text in tracked blocks, released by
// the caller with Mem_freeEx.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "zbase_internal.h"

namespace zbase {

void freeString(void* text) {
    Mem_freeEx(text, __FILE__, __LINE__);
}

namespace {

char* copyOf(const char* s, size_t length, unsigned int* err) {
    char* copy = static_cast<char*>(Mem_allocEx(length + 1, __FILE__, __LINE__));
    if (copy == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    memcpy(copy, s, length);
    copy[length] = '\0';
    setError(err, ZBASE_E_SUCCESS);
    return copy;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

}  // namespace zbase

using zbase::setError;

extern "C" {

ZBASE_API char* String_new(int size, unsigned int* err) {
    if (size < 0) {
        setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    char* s = static_cast<char*>(Mem_allocEx(size > 0 ? size : 1, __FILE__, __LINE__));
    if (s == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    s[0] = '\0';
    setError(err, ZBASE_E_SUCCESS);
    return s;
}

ZBASE_API char* String_newByString(const char* s, unsigned int* err) {
    if (s == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return nullptr;
    }
    return zbase::copyOf(s, strlen(s), err);
}

ZBASE_API char* String_newBySubstr(const char* s, int start, int end, unsigned int* err) {
    if (s == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return nullptr;
    }
    if (start < 0 || end < start) {
        setError(err, ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    // Never read past the terminator of a text shorter than `end`.
    size_t length = strnlen(s, static_cast<size_t>(end));
    size_t from = static_cast<size_t>(start) < length ? static_cast<size_t>(start) : length;
    return zbase::copyOf(s + from, length - from, err);
}

ZBASE_API void String_concat(char* dst, const char* src) {
    if (dst != nullptr && src != nullptr) {
        strcat(dst, src);
    }
}

ZBASE_API int String_format(char* dst, int size, const char* format, ...) {
    if (format == nullptr || (dst == nullptr && size > 0)) {
        return -1;
    }
    // With no room at all, only the length of the whole output is measured.
    char none[1];
    char* out = size > 0 ? dst : none;
    size_t room = size > 0 ? static_cast<size_t>(size) : 0;
    va_list args;
    va_start(args, format);
    int length = vsnprintf(out, room, format, args);
    va_end(args);
    if (length < 0 && size > 0) {
        dst[0] = '\0';
    }
    return length;
}

ZBASE_API int String_length(const char* s) {
    return s != nullptr ? static_cast<int>(strlen(s)) : 0;
}

ZBASE_API int String_equals(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    return strcmp(a, b) == 0;
}

ZBASE_API int String_equalsIgnoreCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (zbase::lowerAscii(*a) != zbase::lowerAscii(*b)) {
            return 0;
        }
    }
    return *a == *b;
}

ZBASE_API List* String_getTokens(const char* s, const char* delimiters) {
    if (s == nullptr) {
        return nullptr;
    }
    unsigned int err = 0;
    List* pieces = List_new(zbase::freeString, &err);
    if (pieces == nullptr) {
        return nullptr;
    }
    const char* set = delimiters != nullptr ? delimiters : "";
    // n delimiters give n + 1 pieces: empty pieces between adjacent
    // delimiters, and before a leading or after a trailing one, are kept.
    const char* start = s;
    for (;;) {
        size_t length = strcspn(start, set);
        char* piece = zbase::copyOf(start, length, &err);
        if (piece == nullptr || !List_addLast(pieces, piece)) {
            zbase::freeString(piece);
            List_delete(pieces);
            return nullptr;
        }
        if (start[length] == '\0') {
            return pieces;
        }
        start += length + 1;
    }
}

}  // extern "C"
