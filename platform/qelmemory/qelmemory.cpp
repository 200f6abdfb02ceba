// The tracked allocator.
//
// Every live block is recorded with its size and the source file and line
// that asked for it.  A release of a pointer that is not a live block is
// never passed on to free(): it is reported with both locations (where it
// was allocated and first released, when known, and where the bad release
// happened) and the process aborts, so that a double release shows up at
// the faulty call instead of as silent heap corruption later.
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "qelmemory.h"
#include "zbase_testing.h"

namespace {

struct Site {
    const char* file;
    int line;
};

struct LiveBlock {
    size_t size;
    Site allocated;
    uint64_t serial;
};

struct FreedBlock {
    Site allocated;
    Site released;
};

// How many released addresses are remembered to tell a double release from
// a release of a foreign pointer.  An address leaves the record as soon as
// it is handed out again.
constexpr size_t kFreedMemory = 1 << 14;

struct Tracker {
    std::mutex mutex;
    std::unordered_map<void*, LiveBlock> live;
    std::unordered_map<void*, FreedBlock> freed;
    std::deque<void*> freedOrder;
    uint64_t nextSerial = 1;
    long failCountdown = 0;  // 0: no failure planned
};

// Never destroyed: threads may still release blocks while the process exits.
Tracker& tracker() {
    static Tracker* instance = new Tracker;
    return *instance;
}

const char* nameOf(const char* file) { return file != nullptr ? file : "<unknown>"; }

// True when a failure was planned for this allocation (caller holds the lock).
bool failureDue(Tracker& t) {
    if (t.failCountdown <= 0) {
        return false;
    }
    return --t.failCountdown == 0;
}

void* track(Tracker& t, void* block, size_t size, Site site) {
    t.live.emplace(block, LiveBlock{size, site, t.nextSerial++});
    t.freed.erase(block);
    return block;
}

void remember(Tracker& t, void* block, const LiveBlock& was, Site released) {
    if (t.freed.size() >= kFreedMemory) {
        while (!t.freedOrder.empty()) {
            void* oldest = t.freedOrder.front();
            t.freedOrder.pop_front();
            if (t.freed.erase(oldest) != 0) {
                break;
            }
        }
    }
    t.freed[block] = FreedBlock{was.allocated, released};
    t.freedOrder.push_back(block);
}

[[noreturn]] void reportBadRelease(Tracker& t, void* block, Site at) {
    auto found = t.freed.find(block);
    if (found != t.freed.end()) {
        fprintf(stderr,
                "qelmemory: double release of %p at %s:%d; allocated at %s:%d, "
                "already released at %s:%d\n",
                block, nameOf(at.file), at.line, nameOf(found->second.allocated.file),
                found->second.allocated.line, nameOf(found->second.released.file),
                found->second.released.line);
    } else {
        fprintf(stderr,
                "qelmemory: release of %p at %s:%d, which is not a live block "
                "(never handed out by the allocator, or released long ago)\n",
                block, nameOf(at.file), at.line);
    }
    fflush(stderr);
    abort();
}

}  // namespace

extern "C" {

QELMEMORY_API void* Mem_allocEx(size_t size, const char* file, int line) {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (failureDue(t)) {
        return nullptr;
    }
    void* block = malloc(size != 0 ? size : 1);
    if (block == nullptr) {
        return nullptr;
    }
    return track(t, block, size, Site{file, line});
}

QELMEMORY_API void* Mem_callocEx(size_t count, size_t size, const char* file, int line) {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (failureDue(t)) {
        return nullptr;
    }
    if (size != 0 && count > SIZE_MAX / size) {
        return nullptr;
    }
    size_t total = count * size;
    void* block = calloc(total != 0 ? total : 1, 1);
    if (block == nullptr) {
        return nullptr;
    }
    return track(t, block, total, Site{file, line});
}

QELMEMORY_API void Mem_freeEx(void* pointer, const char* file, int line) {
    if (pointer == nullptr) {
        return;
    }
    Tracker& t = tracker();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        auto found = t.live.find(pointer);
        if (found == t.live.end()) {
            reportBadRelease(t, pointer, Site{file, line});
        }
        remember(t, pointer, found->second, Site{file, line});
        t.live.erase(found);
    }
    free(pointer);
}

QELMEMORY_API long Mem_getLiveCount(void) {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> lock(t.mutex);
    return static_cast<long>(t.live.size());
}

QELMEMORY_API void Mem_printLive(FILE* out) {
    if (out == nullptr) {
        return;
    }
    std::vector<LiveBlock> blocks;
    {
        Tracker& t = tracker();
        std::lock_guard<std::mutex> lock(t.mutex);
        blocks.reserve(t.live.size());
        for (const auto& entry : t.live) {
            blocks.push_back(entry.second);
        }
    }
    // Oldest first: the first line is usually the root of a leaked tree.
    std::sort(blocks.begin(), blocks.end(),
              [](const LiveBlock& a, const LiveBlock& b) { return a.serial < b.serial; });
    for (const LiveBlock& block : blocks) {
        fprintf(out, "live block: %zu bytes from %s:%d\n", block.size,
                nameOf(block.allocated.file), block.allocated.line);
    }
    fflush(out);
}

QELMEMORY_API void Mem_failAfter(long n) {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.failCountdown = n > 0 ? n : 0;
}

}  // extern "C"
