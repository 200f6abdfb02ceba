// The write watch: the library's log lines through the platform's hook.
#include "logging/watch.h"

#include <fmt/format.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>

#include "base/configuration.h"
#include "base/query.h"
#include "base/read_only.h"
#include "zbase_testing.h"

namespace lifelog_tool {

namespace {

constexpr int kLibraryModule = 10;
constexpr int kErrorLevel = 254;
constexpr std::string_view kWriter = "__DBHandle_write";

}  // namespace

WriteWatch::WriteWatch() {
    ZbaseLog_setHook(&WriteWatch::onLine, this);
}

WriteWatch::~WriteWatch() {
    ZbaseLog_setHook(nullptr, nullptr);
}

long WriteWatch::stored() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stored_;
}

std::vector<std::string> WriteWatch::takeReasons() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> taken;
    taken.swap(reasons_);
    return taken;
}

void WriteWatch::onLine(void* context, int module, int level, const char* function, int,
                        const char* text) {
    auto* watch = static_cast<WriteWatch*>(context);
    std::string_view name = function != nullptr ? function : "";
    std::string_view message = text != nullptr ? text : "";
    if (module != kLibraryModule && level != kErrorLevel) {
        return;
    }
    std::lock_guard<std::mutex> lock(watch->mutex_);
    if (name == kWriter && message == "End") {
        ++watch->stored_;
    } else if (level == kErrorLevel ||
               (name == kWriter && message.starts_with("String length is out of bounds"))) {
        watch->reasons_.push_back(std::string(name) + ": " + std::string(message));
    }
}

std::string storageProblem(const Kind& kind) {
    namespace fs = std::filesystem;
    fs::path file = hostPath(kDatabasePath);
    fs::path folder = file.parent_path();
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error)) {
        return fmt::format("{} is not a folder", folder.string());
    }
    if (std::string readOnly = unwritableDatabase(); !readOnly.empty()) {
        return readOnly;
    }
    if (!fs::exists(file, error)) {
        return fs::exists(folder, error)
                   ? std::string()
                   : fmt::format("the database folder {} could not be made", folder.string());
    }
    try {
        Query(kind, Range{}).count();
    } catch (const Failure& failure) {
        return fmt::format(
            "the database file {} has no usable {} table (counting its rows: {} ({})); the "
            "library makes the tables only for a file it creates, so move it away to have it "
            "made afresh",
            file.string(), kind.table, Exception_toString(failure.code()), failure.code());
    }
    return std::string();
}

std::string notStored(const Kind& kind, const std::vector<std::string>& reasons) {
    std::string problem = storageProblem(kind);
    std::string said;
    for (const std::string& reason : reasons) {
        said += (said.empty() ? "" : "; ") + reason;
    }
    if (problem.empty() && said.empty()) {
        return fmt::format("the {} was not stored, and the library gave no reason", kind.word);
    }
    return fmt::format("the {} was not stored: {}{}{}", kind.word, problem,
                       !problem.empty() && !said.empty() ? "; " : "",
                       said.empty() ? "" : "the library said: " + said);
}

}  // namespace lifelog_tool
