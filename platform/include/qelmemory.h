/** @file qelmemory.h
 * @brief qelmemory: the platform's tracked allocator.
 *
 * Every block is recorded with the source file and line that asked for it,
 * so that a leak or a bad free names its origin.  Every allocation of the
 * lifelog library, and every string, list and handle that the platform
 * hands to it, comes from here.  All three functions may be called from any
 * thread; a block may be released on another thread than the one that
 * allocated it.  None of them takes an error slot. */
#ifndef QELMEMORY_H
#define QELMEMORY_H

#include <stddef.h>

/** Marks a name exported from libqelmemory.so (default visibility while the
 * library itself is built, nothing for its clients). */
#if defined(QELMEMORY_BUILDING)
#define QELMEMORY_API __attribute__((visibility("default")))
#else
#define QELMEMORY_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** A new block of `size` bytes, or NULL when out of memory.  The block is
 * the caller's, to release with Mem_freeEx(); `file` and `line` name the
 * caller's source location and are kept with the block (the text is not
 * copied: pass a string literal such as `__FILE__`). */
QELMEMORY_API void* Mem_allocEx(size_t size, const char* file, int line);
/** A new zero-filled block of `count` * `size` bytes, or NULL (also when the
 * product overflows).  Owned and located as with Mem_allocEx(). */
QELMEMORY_API void* Mem_callocEx(size_t count, size_t size, const char* file, int line);
/** Releases a block from Mem_allocEx() or Mem_callocEx(); NULL is ignored.
 * A pointer that is not a live block (released twice, or never handed out)
 * is reported on standard error with both locations, and the process
 * aborts. */
QELMEMORY_API void Mem_freeEx(void* pointer, const char* file, int line);

/** Mem_allocEx() at the caller's source line. */
#define MEM_ALLOC(size) Mem_allocEx((size), __FILE__, __LINE__)
/** Mem_callocEx() at the caller's source line. */
#define MEM_CALLOC(count, size) Mem_callocEx((count), (size), __FILE__, __LINE__)
/** Mem_freeEx() at the caller's source line. */
#define MEM_FREE(pointer) Mem_freeEx((pointer), __FILE__, __LINE__)

#ifdef __cplusplus
}
#endif

#endif /* QELMEMORY_H */
