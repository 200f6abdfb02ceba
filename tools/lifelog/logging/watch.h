// What the library's database writer reports while activities are logged,
// seen through the platform's log hook: every row it stored, and the lines
// that say why a row was not stored.  This is how the tool confirms a
// write instead of assuming it: the logging entry points and the service
// report nothing back to their caller.
#ifndef LIFELOG_TOOL_LOGGING_WATCH_H
#define LIFELOG_TOOL_LOGGING_WATCH_H

#include <mutex>
#include <string>
#include <vector>

namespace lifelog_tool {

// Installs the log hook for its lifetime (one at a time per process).
// The hook may be called from any thread (the service's logging thread).
class WriteWatch {
public:
    WriteWatch();
    ~WriteWatch();
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    // Rows the writer reported stored so far.
    long stored() const;
    // The library's error lines, and the writer's refusals of a row that
    // does not fit its statement, since the last call, oldest first, as
    // "<function>: <text>".
    std::vector<std::string> takeReasons();

private:
    static void onLine(void* context, int module, int level, const char* function, int line,
                       const char* text);

    mutable std::mutex mutex_;
    long stored_ = 0;
    std::vector<std::string> reasons_;
};

struct Kind;

// Why rows of the kind cannot be stored under the current platform root,
// as far as the host can tell: a database file of 0 bytes, a read-only
// database folder or file, a database without the kind's table.  Empty
// when it finds nothing wrong.
std::string storageProblem(const Kind& kind);

// "the call was not stored: <storageProblem>; the library said: <reasons>".
std::string notStored(const Kind& kind, const std::vector<std::string>& reasons);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_LOGGING_WATCH_H
