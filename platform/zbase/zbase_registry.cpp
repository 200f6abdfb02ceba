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
// file is read, so that one typo does not switch every setting off.  Only
// the first ten skipped lines are named and the rest are counted in one
// more line, so a file of junk costs a few lines and bytes, not one per
// line of junk at every open.  A
// missing file (31) and a file that exists but cannot be read (13) log
// different lines.
//
// What a file parses to is kept per path, with the file's device, inode,
// size and change and modification times: an open whose file still shows
// all of them takes the kept contents (and logs the kept lines' skips
// again) instead of reading and parsing the file.  A file whose times are
// not yet a second older than its reading may still change within one tick
// of the file system's clock without any of them moving, so it is read
// again at every open until it is that old.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "zbase_internal.h"

namespace {

using Sections = std::map<std::string, std::map<std::string, std::string>>;

// A line that was skipped, as its log line names it.
struct Skipped {
    int number;
    bool tooLong;
};

// What one version of a file reads as; shared by the registries open on it.
struct Parsed {
    Sections sections;             // section -> key -> value
    std::vector<Skipped> skipped;  // the first kNamedSkips only
    long skippedCount = 0;         // all of them
};

}  // namespace

struct Registry {
    // The record is a tracked block; its contents are the stand-in's own.
    std::shared_ptr<const Parsed> parsed;
};

namespace {

constexpr size_t kMaxLineLength = 4096;
constexpr size_t kNamedSkips = 10;

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
bool readLine(Parsed& registry, std::string& section, std::string_view line) {
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

// Logs the lines that were skipped with the file's platform path.
void logSkipped(const Parsed& parsed, const char* path) {
    for (const Skipped& line : parsed.skipped) {
        if (line.tooLong) {
            __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", __LINE__,
                           "%s:%d: line longer than %zu bytes skipped", path, line.number,
                           kMaxLineLength);
        } else {
            __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", __LINE__,
                           "%s:%d: not a section, key = value or comment; line skipped", path,
                           line.number);
        }
    }
    const long unnamed = parsed.skippedCount - static_cast<long>(parsed.skipped.size());
    if (unnamed > 0) {
        __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", __LINE__,
                       "%s: %ld more lines skipped", path, unnamed);
    }
}

void noteSkipped(Parsed& registry, int number, bool tooLong) {
    ++registry.skippedCount;
    if (registry.skipped.size() < kNamedSkips) {
        registry.skipped.push_back(Skipped{number, tooLong});
    }
}

// Reads every well-formed line of `text` and notes each skipped one.
void parseConfiguration(Parsed& registry, std::string_view text) {
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
            noteSkipped(registry, number, true);
        } else if (!readLine(registry, section, line)) {
            noteSkipped(registry, number, false);
        }
    }
}

void logOpenFailure(int line, const char* format, const char* path, const char* reason) {
    __Log_printfEx(zbase::kLogModule, ZBASE_LOG_ERROR, "_Registry_openInternal", line, format, path,
                   reason);
}

// A missing file is an ordinary state (everything off) and fails with 31
// quietly; a file that is there but cannot be read fails with 13 and says why.
bool statFile(const std::string& host, const char* path, struct stat& info, unsigned int& code) {
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
    return true;
}

bool readFile(const std::string& host, const char* path, std::string& text, unsigned int& code) {
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

// ----------------------------------------------------- the parsed files

// What identifies one version of a file.
struct Version {
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
    struct timespec changed;

    bool operator==(const Version& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               same(modified, other.modified) && same(changed, other.changed);
    }
    static bool same(const struct timespec& a, const struct timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
};

Version versionOf(const struct stat& info) {
    return Version{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

struct Kept {
    Version version;
    std::shared_ptr<const Parsed> parsed;
};

struct ParsedFiles {
    std::mutex mutex;
    std::map<std::string, Kept> byPath;
};

// Never destroyed: a registry may be opened while the process exits.
ParsedFiles& parsedFiles() {
    static ParsedFiles* files = new ParsedFiles;
    return *files;
}

// True when the file's times are at least a second behind the clock, so
// that a change from now on moves one of them.
bool settled(const Version& version) {
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
        return false;
    }
    const time_t newest = version.modified.tv_sec > version.changed.tv_sec ? version.modified.tv_sec
                                                                           : version.changed.tv_sec;
    return now.tv_sec - newest >= 2;
}

std::shared_ptr<const Parsed> keptFor(const std::string& host, const Version& version) {
    ParsedFiles& files = parsedFiles();
    std::lock_guard<std::mutex> lock(files.mutex);
    auto kept = files.byPath.find(host);
    if (kept == files.byPath.end() || !(kept->second.version == version)) {
        return nullptr;
    }
    return kept->second.parsed;
}

void keep(const std::string& host, const Version& version,
          const std::shared_ptr<const Parsed>& parsed) {
    ParsedFiles& files = parsedFiles();
    std::lock_guard<std::mutex> lock(files.mutex);
    if (settled(version)) {
        files.byPath[host] = Kept{version, parsed};
    } else {
        files.byPath.erase(host);
    }
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
    struct stat info;
    unsigned int code = 0;
    if (!statFile(host, path, info, code)) {
        setError(err, code);
        return nullptr;
    }
    const Version version = versionOf(info);
    std::shared_ptr<const Parsed> parsed = keptFor(host, version);
    std::string text;
    if (parsed == nullptr && !readFile(host, path, text, code)) {
        setError(err, code);
        return nullptr;
    }
    void* block = Mem_allocEx(sizeof(Registry), __FILE__, __LINE__);
    if (block == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    Registry* registry = new (block) Registry;
    if (parsed == nullptr) {
        auto fresh = std::make_shared<Parsed>();
        parseConfiguration(*fresh, text);
        parsed = fresh;
        keep(host, version, parsed);
    }
    registry->parsed = parsed;
    logSkipped(*parsed, path);
    setError(err, ZBASE_E_SUCCESS);
    return registry;
}

ZBASE_API void Registry_getValue(Registry* registry, const char* section, const char* key, int type,
                                 void* buffer, int size, unsigned int* err) {
    if (registry == nullptr || section == nullptr || key == nullptr || buffer == nullptr) {
        setError(err, ZBASE_E_NULL_ARGUMENT);
        return;
    }
    const Sections& sections = registry->parsed->sections;
    auto keys = sections.find(section);
    if (keys == sections.end()) {
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
