// Fuzzes the quoting of text values: every token character comes out
// replaced, nothing else changes, and nothing is read or written past
// either text.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "fuzz_support.h"
#include "qelmemory.h"
#include "zkivLifeloggerDBHandle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the replacement's length (0 to 3 quote marks).
    if (size == 0) {
        return 0;
    }
    const std::string replacement(data[0] % 4, '"');
    const size_t length = strnlen(reinterpret_cast<const char*>(data + 1), size - 1);
    std::unique_ptr<char[]> source(new char[length + 1]);
    memcpy(source.get(), data + 1, length);
    source[length] = '\0';

    char* quoted = __String_NewReplace(source.get(), "\"", replacement.c_str());
    if (quoted == nullptr) {
        return 0;
    }
    std::string expected;
    for (size_t i = 0; i < length; ++i) {
        expected += source[i] == '"' ? replacement : std::string(1, source[i]);
    }
    fuzz::check(expected == quoted);
    Mem_freeEx(quoted, __FILE__, __LINE__);
    return 0;
}
