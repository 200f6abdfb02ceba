// The texts of the platform's error codes.
#include <stdio.h>

#include <array>

#include "zbase_internal.h"

namespace {

// SQLite's primary result codes are below 256; each engine code's text is
// written once and stays for the life of the process.
constexpr unsigned int kEngineCodes = 256;
using EngineText = std::array<char, 24>;

const std::array<EngineText, kEngineCodes>& engineTexts() {
    static const std::array<EngineText, kEngineCodes> texts = [] {
        std::array<EngineText, kEngineCodes> made{};
        for (unsigned int n = 0; n < kEngineCodes; ++n) {
            snprintf(made[n].data(), made[n].size(), "E_DB_ENGINE_%u", n);
        }
        return made;
    }();
    return texts;
}

}  // namespace

extern "C" {

ZBASE_API const char* Exception_toString(unsigned int code) {
#define ZBASE_ERRNO_TEXT_(name, value) \
    case value:                        \
        return "E_" #name;
    switch (code) {
        ZBASE_ERRNO_MAP(ZBASE_ERRNO_TEXT_)
        default:
            break;
    }
#undef ZBASE_ERRNO_TEXT_
    if (code >= ZBASE_E_DB_ENGINE && code < ZBASE_E_DB_ENGINE + kEngineCodes) {
        return engineTexts()[code - ZBASE_E_DB_ENGINE].data();
    }
    return "E_UNKNOWN";
}

}  // extern "C"
