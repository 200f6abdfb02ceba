/* qelmemory: the platform's tracked allocator.
 *
 * Every block is recorded with the source file and line that asked for it,
 * so that a leak or a bad free names its origin. */
#ifndef QELMEMORY_H
#define QELMEMORY_H

#include <stddef.h>

#if defined(QELMEMORY_BUILDING)
#define QELMEMORY_API __attribute__((visibility("default")))
#else
#define QELMEMORY_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A new block of `size` bytes, or NULL when out of memory. */
QELMEMORY_API void* Mem_allocEx(size_t size, const char* file, int line);
/* A new zero-filled block of count * size bytes, or NULL (also on overflow). */
QELMEMORY_API void* Mem_callocEx(size_t count, size_t size, const char* file, int line);
/* Releases a block from Mem_allocEx/Mem_callocEx; NULL is ignored.  A pointer
 * that is not a live block is reported with both locations and aborts. */
QELMEMORY_API void Mem_freeEx(void* pointer, const char* file, int line);

#define MEM_ALLOC(size) Mem_allocEx((size), __FILE__, __LINE__)
#define MEM_CALLOC(count, size) Mem_callocEx((count), (size), __FILE__, __LINE__)
#define MEM_FREE(pointer) Mem_freeEx((pointer), __FILE__, __LINE__)

#ifdef __cplusplus
}
#endif

#endif /* QELMEMORY_H */
