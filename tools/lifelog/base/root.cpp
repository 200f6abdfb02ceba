// The platform root, as the stand-in itself resolves it.
#include "base/root.h"

#include <stdlib.h>

#include <algorithm>
#include <system_error>

#include "zbase_host.h"

namespace lifelog_tool {

namespace fs = std::filesystem;

std::string platformRoot() {
    std::string root(ZbaseHost_getRoot(nullptr, 0), '\0');
    size_t length = ZbaseHost_getRoot(root.data(), root.size() + 1);
    root.resize(std::min(length, root.size()));
    return root;
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
