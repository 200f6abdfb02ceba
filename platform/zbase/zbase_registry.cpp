// The configuration file: INI text read with inih.
//
//   [SECTION]
//   KEY = VALUE      ; blanks around '=' are ignored
//   # and ; start comment lines, ';' after a value starts a comment too
//
// The whole file is read at open and kept in the registry record; names are
// matched exactly (letter case counts) and a key written twice keeps its
// last value.  A file with a line that is not a section, a key=value pair,
// a comment or blank is refused as a whole, so that a typo never silently
// switches a setting back to its default.  Lines are limited to inih's 199
// bytes.
#include <errno.h>
#include <ini.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>

#include "zbase_internal.h"

struct Registry {
    // section -> key -> value; the record is a tracked block, its contents
    // are the stand-in's own.
    std::map<std::string, std::map<std::string, std::string>> sections;
};

namespace {

int onEntry(void* user, const char* section, const char* key, const char* value) {
    auto* registry = static_cast<Registry*>(user);
    registry->sections[section][key] = value;
    return 1;
}

// A section header with no keys still exists (a later lookup of a key in it
// gives 44, not 25); inih reports only keys, so headers are noted here.
void noteSections(Registry& registry, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != '[') {
            continue;
        }
        size_t close = line.find(']');
        if (close == std::string::npos) {
            continue;
        }
        std::string name = line.substr(1, close - 1);
        size_t first = name.find_first_not_of(" \t");
        size_t last = name.find_last_not_of(" \t");
        registry.sections[first == std::string::npos ? "" : name.substr(first, last - first + 1)];
    }
}

// Leading blanks are dropped from every line: inih would otherwise read an
// indented line as the continuation of the previous value.
std::string withoutIndent(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == ' ' || c == '\t')) {
            continue;
        }
        lineStart = c == '\n' || c == '\r';
        out += c;
    }
    return out;
}

bool readFile(const std::string& path, std::string& text, unsigned int& code) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        code = ZBASE_E_FILE_NOT_FOUND;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        code = ZBASE_E_FAILURE;
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
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
    if (!readFile(host, text, code)) {
        setError(err, code);
        return nullptr;
    }
    void* block = Mem_allocEx(sizeof(Registry), __FILE__, __LINE__);
    if (block == nullptr) {
        setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    Registry* registry = new (block) Registry;
    std::string plain = withoutIndent(text);
    if (ini_parse_string(plain.c_str(), onEntry, registry) != 0) {
        registry->~Registry();
        Mem_freeEx(block, __FILE__, __LINE__);
        setError(err, ZBASE_E_INVALID_FORMAT);
        return nullptr;
    }
    noteSections(*registry, plain);
    setError(err, ZBASE_E_SUCCESS);
    return registry;
}

ZBASE_API void Registry_getValue(Registry* registry, const char* section, const char* key,
                                 int type, void* buffer, int size, unsigned int* err) {
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
