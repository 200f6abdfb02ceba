// The tracked allocator.
//
// Every live block carries its own record in a header just before the
// caller's bytes: size, the source file and line that asked for it, a
// serial number, and its links in the list of live blocks of one shard.
// An allocation or a release therefore costs one malloc or free and a
// short, rarely contended lock of the shard, with no table to search.
// Threads spread over the shards; a block may be released on any thread.
//
// A release of a pointer that is not a live block is never passed on to
// free(): it is reported with both locations (where it was allocated and
// first released, when known, and where the bad release happened) and the
// process aborts, so that a double release shows up at the faulty call
// instead of as silent heap corruption later.  To still know a block after
// its release, each thread keeps its last released blocks a while before
// giving them back to malloc, with the header marked released and naming
// the release site; the blocks of a thread that ends are kept on for the
// process.
#include <inttypes.h>
#include <sched.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "qelmemory.h"
#include "zbase_testing.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QELMEMORY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QELMEMORY_SANITIZED 1
#endif
#endif
#ifdef QELMEMORY_SANITIZED
// The sanitizer runtime's own allocator: non-zero for a block it handed out
// and has not taken back (declared here, as g++ ships no header for it).
extern "C" int __sanitizer_get_ownership(const volatile void* p);
#endif
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace {

struct Site {
    const char* file;
    int line;
};

struct Header;

struct Links {
    Header* prev;
    Header* next;
};

// The record in front of every block.  Its size keeps the caller's bytes
// at malloc's alignment.
struct alignas(16) Header {
    uintptr_t tag;  // kLive or kReleased, mixed with the header's address
    size_t size;
    Site allocated;
    uint64_t serial;
    union {
        Links links;    // while live: the shard's list
        Site released;  // after release
    };
    uint32_t shard;
};
static_assert(sizeof(Header) % 16 == 0, "the caller's bytes keep malloc's alignment");

constexpr uintptr_t kLive = 0x6c69766542c0ffeeULL & UINTPTR_MAX;
constexpr uintptr_t kReleased = 0x6465616442addeadULL & UINTPTR_MAX;

uintptr_t tagFor(uintptr_t kind, const Header* header) {
    return kind ^ reinterpret_cast<uintptr_t>(header);
}

constexpr uint32_t kShards = 16;

// Held for a few instructions (linking or unlinking one block), so a
// waiting thread spins, and yields when the holder seems to be descheduled.
class SpinLock {
public:
    void lock() {
        for (int spins = 0; locked_.exchange(true, std::memory_order_acquire); ++spins) {
            while (locked_.load(std::memory_order_relaxed)) {
                if (++spins > 64) {
                    sched_yield();
                }
            }
        }
    }
    void unlock() { locked_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> locked_{false};
};

struct alignas(64) Shard {
    SpinLock mutex;
    Header* first = nullptr;
    long count = 0;
    uint64_t serial = 0;
};

struct Tracker {
    Shard shards[kShards];
    std::atomic<uint32_t> nextShard{0};
    std::atomic<long> failCountdown{0};  // 0: no failure planned
};

// Never destroyed: threads may still release blocks while the process exits.
Tracker& tracker() {
    static Tracker* instance = new Tracker;
    return *instance;
}

struct Kept;

// What each thread keeps for itself.  Plain data of a few bytes, so that
// it lives in the static thread-local block (no lookup per access) and
// stays usable while the thread's other thread-local objects are destroyed.
struct ThreadState {
    Kept* kept;      // its released blocks, made at its first release
    uint32_t shard;  // 1 + the shard of its allocations; 0: not chosen yet
    bool closed;     // the thread is ending: its blocks go to the orphans
};

__attribute__((tls_model("initial-exec"))) thread_local ThreadState t_state;

uint32_t shardOfThisThread() {
    if (t_state.shard == 0) {
        t_state.shard = 1 + tracker().nextShard.fetch_add(1) % kShards;
    }
    return t_state.shard - 1;
}

const char* nameOf(const char* file) {
    return file != nullptr ? file : "<unknown>";
}

// True when a failure was planned for this allocation.
bool failureDue() {
    std::atomic<long>& countdown = tracker().failCountdown;
    long left = countdown.load(std::memory_order_relaxed);
    while (left > 0) {
        if (countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            return left == 1;
        }
    }
    return false;
}

void* track(Header* header, size_t size, Site site) {
    Tracker& t = tracker();
    header->tag = tagFor(kLive, header);
    header->size = size;
    header->allocated = site;
    header->shard = shardOfThisThread();
    Shard& shard = t.shards[header->shard];
    {
        std::lock_guard<SpinLock> lock(shard.mutex);
        // Numbered within the shard: a global counter would cost every
        // allocation one more atomic operation.
        header->serial = ++shard.serial;
        header->links.prev = nullptr;
        header->links.next = shard.first;
        if (shard.first != nullptr) {
            shard.first->links.prev = header;
        }
        shard.first = header;
        ++shard.count;
    }
    return header + 1;
}

// ------------------------------------------------------ released blocks

// How many released blocks each thread keeps before handing them back to
// malloc; a second release within that window names both locations.
constexpr size_t kKept = 256;

// A ring of released blocks, oldest at `next`.
struct Kept {
    Header* blocks[kKept];
    size_t next;
};

void giveBack(Header* header) {
    ASAN_UNPOISON_MEMORY_REGION(header + 1, header->size);
    free(header);
}

// Puts a released block into a ring; the ring's oldest block goes back to
// malloc to make room.
void push(Kept& ring, Header* header) {
    Header*& slot = ring.blocks[ring.next];
    ring.next = (ring.next + 1) % kKept;
    if (slot != nullptr) {
        giveBack(slot);
    }
    slot = header;
}

// The blocks of threads that have ended, still known for a while.  Never
// destroyed, like the tracker.
struct Orphans {
    SpinLock mutex;
    Kept ring{};
};

Orphans& orphans() {
    static Orphans* instance = new Orphans;
    return *instance;
}

void adopt(Header* header) {
    Orphans& o = orphans();
    std::lock_guard<SpinLock> lock(o.mutex);
    push(o.ring, header);
}

// Hands the thread's kept blocks, oldest first, to the orphans when the
// thread ends.
struct KeptCloser {
    KeptCloser() = default;
    KeptCloser(const KeptCloser&) = delete;
    KeptCloser& operator=(const KeptCloser&) = delete;
    ~KeptCloser() {
        t_state.closed = true;
        Kept* kept = t_state.kept;
        t_state.kept = nullptr;
        for (size_t i = 0; i < kKept; ++i) {
            Header* block = kept->blocks[(kept->next + i) % kKept];
            if (block != nullptr) {
                adopt(block);
            }
        }
        free(kept);
    }
};

void keep(Header* header) {
    // Any use of the caller's bytes from now on is a use after release.
    ASAN_POISON_MEMORY_REGION(header + 1, header->size);
    if (t_state.kept == nullptr) {
        if (!t_state.closed) {
            t_state.kept = static_cast<Kept*>(calloc(1, sizeof(Kept)));
        }
        if (t_state.kept == nullptr) {
            adopt(header);
            return;
        }
        static thread_local KeptCloser closer;
        (void)closer;
    }
    push(*t_state.kept, header);
}

// ------------------------------------------------------- bad releases

// Whether the bytes before `pointer` can be read as a header at all.  Under
// a sanitizer the allocator knows its chunks; elsewhere the tag decides.
bool mayBeHeader(const Header* header) {
#ifdef QELMEMORY_SANITIZED
    return __sanitizer_get_ownership(header) != 0;
#else
    (void)header;
    return true;
#endif
}

[[noreturn]] void reportBadRelease(void* pointer, const Header* released, Site at) {
    if (released != nullptr) {
        fprintf(stderr,
                "qelmemory: double release of %p at %s:%d; allocated at %s:%d, "
                "already released at %s:%d\n",
                pointer, nameOf(at.file), at.line, nameOf(released->allocated.file),
                released->allocated.line, nameOf(released->released.file), released->released.line);
    } else {
        fprintf(stderr,
                "qelmemory: release of %p at %s:%d, which is not a live block "
                "(never handed out by the allocator, or released long ago)\n",
                pointer, nameOf(at.file), at.line);
    }
    fflush(stderr);
    abort();
}

// Takes a live block out of its shard; reports anything else.
Header* untrack(void* pointer, Site at) {
    Header* header = static_cast<Header*>(pointer) - 1;
    if (!mayBeHeader(header)) {
        reportBadRelease(pointer, nullptr, at);
    }
    const uintptr_t tag = header->tag;
    if (tag == tagFor(kReleased, header)) {
        reportBadRelease(pointer, header, at);
    }
    if (tag != tagFor(kLive, header) || header->shard >= kShards) {
        reportBadRelease(pointer, nullptr, at);
    }
    Shard& shard = tracker().shards[header->shard];
    {
        std::lock_guard<SpinLock> lock(shard.mutex);
        // Two threads releasing one block: the second one finds it released.
        if (header->tag != tagFor(kLive, header)) {
            reportBadRelease(pointer, header->tag == tagFor(kReleased, header) ? header : nullptr,
                             at);
        }
        Links links = header->links;
        if (links.prev != nullptr) {
            links.prev->links.next = links.next;
        } else {
            shard.first = links.next;
        }
        if (links.next != nullptr) {
            links.next->links.prev = links.prev;
        }
        --shard.count;
        header->tag = tagFor(kReleased, header);
        header->released = at;
    }
    return header;
}

}  // namespace

extern "C" {

QELMEMORY_API void* Mem_allocEx(size_t size, const char* file, int line) {
    if (failureDue() || size > SIZE_MAX - sizeof(Header)) {
        return nullptr;
    }
    auto* header = static_cast<Header*>(malloc(sizeof(Header) + size));
    if (header == nullptr) {
        return nullptr;
    }
    return track(header, size, Site{file, line});
}

QELMEMORY_API void* Mem_callocEx(size_t count, size_t size, const char* file, int line) {
    if (failureDue()) {
        return nullptr;
    }
    if (size != 0 && count > SIZE_MAX / size) {
        return nullptr;
    }
    const size_t total = count * size;
    if (total > SIZE_MAX - sizeof(Header)) {
        return nullptr;
    }
    auto* header = static_cast<Header*>(calloc(1, sizeof(Header) + total));
    if (header == nullptr) {
        return nullptr;
    }
    return track(header, total, Site{file, line});
}

QELMEMORY_API void Mem_freeEx(void* pointer, const char* file, int line) {
    if (pointer == nullptr) {
        return;
    }
    keep(untrack(pointer, Site{file, line}));
}

QELMEMORY_API long Mem_getLiveCount(void) {
    long count = 0;
    for (Shard& shard : tracker().shards) {
        std::lock_guard<SpinLock> lock(shard.mutex);
        count += shard.count;
    }
    return count;
}

QELMEMORY_API void Mem_printLive(FILE* out) {
    if (out == nullptr) {
        return;
    }
    struct Line {
        size_t size;
        Site allocated;
        uint64_t serial;
    };
    std::vector<Line> lines;
    for (Shard& shard : tracker().shards) {
        std::lock_guard<SpinLock> lock(shard.mutex);
        for (const Header* h = shard.first; h != nullptr; h = h->links.next) {
            lines.push_back(Line{h->size, h->allocated, h->serial});
        }
    }
    // Oldest first (blocks are numbered per shard, so between threads the
    // order is approximate): the first line is usually the root of a
    // leaked tree.
    std::sort(lines.begin(), lines.end(),
              [](const Line& a, const Line& b) { return a.serial < b.serial; });
    for (const Line& line : lines) {
        fprintf(out, "live block: %zu bytes from %s:%d\n", line.size, nameOf(line.allocated.file),
                line.allocated.line);
    }
    fflush(out);
}

QELMEMORY_API void Mem_failAfter(long n) {
    tracker().failCountdown.store(n > 0 ? n : 0, std::memory_order_relaxed);
}

QELMEMORY_API int Mem_isFailurePending(void) {
    return tracker().failCountdown.load(std::memory_order_relaxed) > 0 ? 1 : 0;
}

}  // extern "C"
