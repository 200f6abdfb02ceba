// Fuzzes the configuration reader with arbitrary file contents: the file
// always opens (bad lines are skipped), every read is bounded by the
// caller's buffer and terminated, and the library's two readings of the
// file (the filter's switch and the maximum row count) never fail hard.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "zbase.h"
#include "zkivLifeloggingServiceUtil.h"

namespace {

const char* const kKeys[][2] = {
    {"ACTIVITY", "ACTIVITY_CALL"},
    {"ACTIVITY", "ACTIVITY_MESSAGE"},
    {"ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY"},
    {"", ""},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useTemporaryRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writePlatformFile("/System/Lifelog/lifelogconf.ini", data, size);
    unsigned int err = 0;
    Registry* registry = _Registry_openInternal("/System/Lifelog/lifelogconf.ini", 0, &err);
    fuzz::check(registry != nullptr && err == 0);
    for (const auto& key : kKeys) {
        char text[16];
        memset(text, 'x', sizeof text);
        Registry_getValue(registry, key[0], key[1], 3, text, 8, &err);
        fuzz::check(err != 0 || memchr(text, '\0', 8) != nullptr);
        fuzz::check(text[8] == 'x');
        int32_t number = 0;
        Registry_getValue(registry, key[0], key[1], 1, &number, 4, &err);
    }
    Registry_close(registry, 0, &err);
    fuzz::check(err == 0);
    (void)_Lifelog_getMaxlogNumPerActivity();
    fuzz::check(Mem_getLiveCount() == 0);
    return 0;
}
