// The platform root, as the stand-in itself resolves it.
#include "base/root.h"

#include <stdlib.h>

#include <algorithm>
#include <system_error>

#include <fmt/format.h>

#include "zbase_host.h"

namespace lifelog_tool {

namespace fs = std::filesystem;

namespace {

std::string& rememberedTool() {
    static std::string tool = "lifelog";
    return tool;
}

// `text` as one shell word: as it is when it holds only characters no shell
// treats specially, else single-quoted.
std::string shellWord(const std::string& text) {
    bool plain = !text.empty() && text.find_first_not_of(
                                      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789_./:@%+=,-") == std::string::npos;
    if (plain) {
        return text;
    }
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

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

namespace {

std::string absoluteRoot() {
    std::error_code ignored;
    return fs::absolute(platformRoot(), ignored).lexically_normal().string();
}

}  // namespace

void rememberTool(const char* argv0) {
    std::string tool = argv0 != nullptr && *argv0 != 0 ? argv0 : "lifelog";
    if (tool.find('/') != std::string::npos) {
        // A path works only from the folder it was given in; a bare name is
        // found through PATH from anywhere.
        std::error_code ignored;
        tool = fs::absolute(tool, ignored).lexically_normal().string();
    }
    rememberedTool() = tool;
}

std::string rootedTool() {
    return shellWord(rememberedTool()) + " --root " + shellWord(absoluteRoot());
}

bool databaseExists() {
    std::error_code ignored;
    return fs::exists(hostPath(kDatabasePath), ignored);
}

std::string nothingLoggedYet() {
    return fmt::format(
        "nothing has been logged under {} yet: `{} demo` logs a sample day, `{} import FILE` "
        "a phone's backup",
        absoluteRoot(), rootedTool(), rootedTool());
}

}  // namespace lifelog_tool
