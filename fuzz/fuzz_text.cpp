// Fuzzes the UTF-8 character count and cut and the time-stamp reader with
// arbitrary bytes: no read past the terminator, no crash, and the results
// agree with each other.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "zkivLifelogUtil.h"

namespace {

void check(bool condition) {
    if (!condition) {
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every rejected time stamp writes an error line; keep the output readable.
    setenv("ZBASE_LOG_LEVEL", "off", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    uint32_t maxChars = data[0];
    // An exact-size copy, so that the sanitizer catches any read past the end.
    size_t length = strnlen(reinterpret_cast<const char*>(data + 1), size - 1);
    std::unique_ptr<char[]> text(new char[length + 1]);
    memcpy(text.get(), data + 1, length);
    text[length] = '\0';

    uint32_t characters = __LifelogUtil_getStringLengthUTF8(text.get());
    check(characters <= length);

    unsigned int err = 0;
    char* cut = __LifelogUtil_convertToTruncatedUTF8(text.get(), maxChars, &err);
    if (maxChars == 0) {
        check(cut == nullptr);
    } else if (cut != nullptr) {
        size_t cutLength = strlen(cut);
        check(cutLength <= length && memcmp(cut, text.get(), cutLength) == 0);
        uint32_t expected = characters < maxChars ? characters : maxChars;
        check(__LifelogUtil_getStringLengthUTF8(cut) == expected);
        Mem_freeEx(cut, __FILE__, __LINE__);
    }

    DateTime date = _ConvertToDate(text.get(), &err);
    check(date.reserved == 0);
    if (err != 0) {
        DateTime zero{};
        check(err == 11 && memcmp(&date, &zero, sizeof date) == 0);
    }
    return 0;
}
