// The configuration file: INI text.
//
//   [SECTION]
//   KEY = VALUE      ; blanks around '=' (or ':') are ignored
//   # and ; start comment lines, ';' after a blank ends a value
//
// The whole file is read at open and kept in the registry record; names are
// matched exactly (letter case counts) and a key written twice keeps its
// last value.  The reader is tolerant: a line that is not a section, a
// key=value pair, a comment or blank, or that is longer than 4 KiB, is
// skipped with a log line naming the file and the line, and the rest of the
// file is read, so that one typo does not switch every setting off.  A
// missing file (31) and a file that exists but cannot be read (13) log
// different lines.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <string_view>

#include "zbase_internal.h"

struct Registry {
    // section -> key -> value; the record is a tracked block, its contents
    // are the stand-in's own.
    std::map<std::string, std::map<std::string, std::string>> sections;
};

namespace {

constexpr size_t kMaxLineLength = 4096;

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\f\v");
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \t\r\f\v");
    return text.substr(first, last - first + 1);
}

// A value ends at a ';' that follows a blank (an inline comment).
std::string_view withoutComment(std::string_view value) {
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] == ';' && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
            return value.substr(0, i);
        }
    }
    return value;
}

// Reads one line into the registry; false when it is malformed.
bool readLine(Registry& registry, std::string& section, std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') {
        return true;
    }
    if (line[0] == '[') {
        size_t close = line.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        section = std::string(trimmed(line.substr(1, close - 1)));
        registry.sections[section];  // a section without keys still exists
        return true;
    }
    size_t separator = line.find_first_of("=:");
    if (separator == std::string_view::npos) {
        return false;
    }
    std::string_view key = trimmed(line.substr(0, separator));
    if (key.empty()) {
        return false;
    }
    std::string_view value = trimmed(withoutComment(line.substr(separator + 1)));
    registry.sections[section][std::string(key)] = std::string(value);
    return true;
}

// Reads every well-formed line of `text`; each skipped line is logged with
// the file's platform path and its line number.
void parseConfiguration(Registry& registry, std::string_view text, const char* path) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::string section;
    int number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (line.size() > kMaxLineLength) {
            __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", __LINE__,
                           "%s:%d: line longer than %zu bytes skipped", path, number,
                           kMaxLineLength);
        } else if (!readLine(registry, section, line)) {
            __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", __LINE__,
                           "%s:%d: not a section, key = value or comment; line skipped", path,
                           number);
        }
    }
}

void logOpenFailure(int line, const char* format, const char* path, const char* reason) {
    __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", line, format, path,
                   reason);
}

// A missing file is an ordinary state (everything off) and fails with 31
// quietly; a file that is there but cannot be read fails with 13 and says why.
bool readFile(const std::string& host, const char* path, std::string& text, unsigned int& code) {
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
        int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            code = ZBASE_E_FILE_NOT_FOUND;
            return false;
        }
        code = ZBASE_E_FAILURE;
        logOpenFailure(__LINE__, "%s: configuration file cannot be reached: %s", path,
                       strerror(error));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        code = ZBASE_E_FAILURE;
        logOpenFailure(__LINE__, "%s: configuration path is there but is not a file%s", path, "");
        return false;
    }
    errno = 0;
    std::ifstream in(host, std::ios::binary);
    std::ostringstream content;
    if (in) {
        content << in.rdbuf();
    }
    if (!in || in.bad()) {
        code = ZBASE_E_FAILURE;
        logOpenFailure(__LINE__, "%s: configuration file is there but cannot be read: %s", path,
                       strerror(errno != 0 ? errno : EIO));
        return false;
    }
    text = content.str();
    return true;
}

void copyText(const std::string& value, void* buffer, int size) {
    size_t room = static_cast<size_t>(size) - 1;
    size_t length = value.size() < room ? value.size() : room;
    memcpy(buffer, value.data(), length);
    static_cast<char*>(buffer)[length] = '\0';
}

// A decimal 32-bit integer, blanks around it allowed; false otherwise.
bool parseInt(const std::string& value, int32_t& out) {
    const char* start = value.c_str();
    char* end = nullptr;
    errno = 0;
    long long number = strtoll(start, &end, 10);
    if (end == start || errno == ERANGE || number < INT32_MIN || number > INT32_MAX) {
        return false;
    }
    while (*end == ' ' || *end == '\t') {
        ++end;
    }
    if (*end != '\0') {
        return false;
    }
    out = static_cast<int32_t>(number);
    return true;
}

}  // namespace

using zbase::setError;

extern "C" {

ZBASE_API Registry* _Registry_openInternal(const char* path, int flags, unsigned int* err) {
    (void)flags;
    std::string host;
    if (!zbase::hostPath(path, host)) {
        setError(err, path == nullptr ? ZBASE_E_NULL_ARGUMENT : ZBASE_E_INVALID_ARG);
        return nullptr;
    }
    std::string text;
    unsigned int code = 0;
    if (!readFile(host, path, text, code)) {
        setError(err, code);
        return nullptr;
    }
    void* block = Mem_allocEx(sizeof(Registry), __FILE__, __LINE__);
    if (block == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    Registry* registry = new (block) Registry;
    parseConfiguration(*registry, text, path);
    setError(err, ZBASE_E_SUCCESS);
    return registry;
}

ZBASE_API void Registry_getValue(Registry* registry, const char* section, const char* key, int type,
                                 void* buffer, int size, unsigned int* err) {
    if (registry == nullptr || section == nullptr || key == nullptr || buffer == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    auto keys = registry->sections.find(section);
    if (keys == registry->sections.end()) {
        setError(err, ZBASE_E_SECTION_NOT_FOUND);
        return;
    }
    auto value = keys->second.find(key);
    if (value == keys->second.end()) {
        setError(err, ZBASE_E_KEY_NOT_FOUND);
        return;
    }
    if (type == REGISTRY_TYPE_STRING && size > 0) {
        copyText(value->second, buffer, size);
        setError(err, ZBASE_E_SUCCESS);
        return;
    }
    if (type == REGISTRY_TYPE_INT && size >= static_cast<int>(sizeof(int32_t))) {
        int32_t number = 0;
        if (!parseInt(value->second, number)) {
            setError(err, ZBASE_E_INVALID_FORMAT);
            return;
        }
        memcpy(buffer, &number, sizeof number);
        setError(err, ZBASE_E_SUCCESS);
        return;
    }
    setError(err, ZBASE_E_INVALID_ARG);
}

ZBASE_API void Registry_close(Registry* registry, int flags, unsigned int* err) {
    (void)flags;
    if (registry == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    registry->~Registry();
    Mem_freeEx(registry, __FILE__, __LINE__);
    setError(err, ZBASE_E_SUCCESS);
}

}  // extern "C"
