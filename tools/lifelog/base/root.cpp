// The platform root as the platform resolves it.
#include "base/root.h"

#include <stdlib.h>

#include <system_error>

namespace lifelog_tool {

namespace fs = std::filesystem;

namespace {

std::string environment(const char* name) {
    const char* value = getenv(name);
    return value != nullptr ? std::string(value) : std::string();
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
    return environment("HOME") + "/.local/share/zbase";
}

fs::path hostPath(std::string_view platformPath) {
    while (!platformPath.empty() && platformPath.front() == '/') {
        platformPath.remove_prefix(1);
    }
    return fs::path(platformRoot()) / platformPath;
}

void useRoot(const std::string& root) {
    std::error_code ignored;
    fs::path absolute = fs::absolute(root, ignored).lexically_normal();
    std::string text = absolute.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    setenv("ZBASE_ROOT", text.c_str(), 1);
}

}  // namespace lifelog_tool
