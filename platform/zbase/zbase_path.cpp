// Platform paths under one host folder.
//
// The platform's absolute paths ("/System/...", "/SystemRW/...") are kept
// verbatim by callers; only this file knows where they live on the host.
#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "zbase_host.h"
#include "zbase_internal.h"

namespace zbase {

namespace {

std::string environment(const char* name) {
    const char* value = getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? std::string(entry->pw_dir) : "/tmp";
}

}  // namespace

std::string platformRoot() {
    std::string root = environment("ZBASE_ROOT");
    if (!root.empty()) {
        return root;
    }
    std::string data = environment("XDG_DATA_HOME");
    if (!data.empty()) {
        return data + "/zbase";
    }
    return homeFolder() + "/.local/share/zbase";
}

bool hostPath(const char* platformPath, std::string& out) {
    if (platformPath == nullptr || platformPath[0] == '\0') {
        return false;
    }
    std::string_view rest(platformPath);
    std::string mapped = platformRoot();
    while (!mapped.empty() && mapped.back() == '/') {
        mapped.pop_back();
    }
    // Rebuild the path piece by piece: doubled slashes collapse, and a ".."
    // piece is refused so that nothing resolves outside the root.
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view piece = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (piece.empty() || piece == ".") {
            continue;
        }
        if (piece == "..") {
            return false;
        }
        mapped += '/';
        mapped += piece;
    }
    out = std::move(mapped);
    return true;
}

bool makeFolders(const std::string& folder) {
    if (folder.empty()) {
        return true;
    }
    struct stat info;
    if (stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash))) {
        return false;
    }
    return mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace zbase

extern "C" ZBASE_API size_t ZbaseHost_getRoot(char* buffer, size_t size) {
    std::string root = zbase::platformRoot();
    if (buffer != nullptr && size > 0) {
        size_t copied = std::min(root.size(), size - 1);
        memcpy(buffer, root.data(), copied);
        buffer[copied] = '\0';
    }
    return root.size();
}
