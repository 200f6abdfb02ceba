// The texts of the platform's error codes.
#include <stdio.h>

#include <array>

#include "zbase_internal.h"

namespace {

struct CodeText {
    unsigned int code;
    const char* text;
};

constexpr CodeText kTexts[] = {
    {0, "E_SUCCESS"},
    {1, "E_OUT_OF_MEMORY"},
    {2, "E_END_OF_ENUMERATION"},
    {3, "E_OBJ_ALREADY_EXIST"},
    {4, "E_INVALID_ARG"},
    {7, "E_NULL_ARGUMENT"},
    {11, "E_INVALID_FORMAT"},
    {12, "E_LIST_APPEND"},
    {13, "E_FAILURE"},
    {20, "E_GENERATOR"},
    {21, "E_OBJ_NOT_FOUND"},
    {24, "E_NO_INTERFACE"},
    {25, "E_SECTION_NOT_FOUND"},
    {31, "E_FILE_NOT_FOUND"},
    {44, "E_KEY_NOT_FOUND"},
    {66, "E_DATABASE"},
    {69, "E_NO_MORE_ROWS"},
    {70, "E_NO_ROWS_CHANGED"},
    {187, "E_OVERFLOW"},
};

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
    for (const CodeText& entry : kTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    if (code >= ZBASE_E_DB_ENGINE && code < ZBASE_E_DB_ENGINE + kEngineCodes) {
        return engineTexts()[code - ZBASE_E_DB_ENGINE].data();
    }
    return "E_UNKNOWN";
}

}  // extern "C"
