// Shared by the fuzz targets: a private platform root, writing a platform
// file, and a check that aborts (so that the fuzzer keeps the input).
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "zbase_testing.h"

namespace fuzz {

// The platform's statement deadline in every target: short, so that a
// statement that runs into it costs the fuzzer little time.
constexpr int kStatementTimeoutMs = 100;

inline void check(bool condition) {
    if (!condition) {
        abort();
    }
}

inline std::string& root() {
    static std::string path;
    return path;
}

// Points the platform root at a fresh folder and silences the platform log
// (every rejected input writes an error line).
inline void useTemporaryRoot() {
    char folder[] = "/tmp/lifelog-fuzz-XXXXXX";
    check(mkdtemp(folder) != nullptr);
    root() = folder;
    setenv("ZBASE_ROOT", folder, 1);
    setenv("ZBASE_LOG_LEVEL", "off", 1);
    setenv("ZBASE_DB_STATEMENT_TIMEOUT_MS", std::to_string(kStatementTimeoutMs).c_str(), 1);
}

inline void writePlatformFile(const char* platformPath, const uint8_t* data, size_t size) {
    std::string host = root() + platformPath;
    for (size_t slash = host.find('/', root().size() + 1); slash != std::string::npos;
         slash = host.find('/', slash + 1)) {
        mkdir(host.substr(0, slash).c_str(), 0755);
    }
    FILE* file = fopen(host.c_str(), "wb");
    check(file != nullptr);
    check(size == 0 || fwrite(data, 1, size, file) == size);
    fclose(file);
}

}  // namespace fuzz
