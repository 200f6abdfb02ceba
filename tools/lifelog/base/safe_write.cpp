#include "base/safe_write.h"

#include <errno.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ext/stdio_filebuf.h>
#include <iostream>
#include <random>

#include "base/failure.h"
#include "base/root.h"

namespace lifelog_tool {

namespace fs = std::filesystem;

namespace {

std::string describeType(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Throws unless `target` may be replaced; fills `existing` when it exists.
bool checkTarget(const fs::path& target, const std::vector<fs::path>& protectedFiles,
                 struct stat& existing) {
    if (lstat(target.c_str(), &existing) != 0) {
        if (errno == ENOENT) {
            return false;
        }
        throw UsageError(fmt::format("cannot write {}: {}", target.string(), strerror(errno)));
    }
    if (!S_ISREG(existing.st_mode)) {
        throw UsageError(fmt::format("refusing to write {}: it is {}, not a regular file",
                                     target.string(), describeType(existing.st_mode)));
    }
    for (const fs::path& file : protectedFiles) {
        struct stat guarded;
        if (stat(file.c_str(), &guarded) == 0 && sameFile(existing, guarded)) {
            throw UsageError(fmt::format("refusing to write {}: it is the lifelog database file {}",
                                         target.string(), file.string()));
        }
    }
    return true;
}

void checkFolder(const fs::path& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        throw UsageError(fmt::format("cannot write into the folder {}: {}", folder.string(),
                                     errno == ENOENT
                                         ? "there is no such folder; make it first, or name "
                                           "a file in a folder that exists"
                                         : strerror(errno)));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw UsageError(fmt::format("cannot write into {}: it is not a folder", folder.string()));
    }
}

// A new file next to the target, made by this call and by nothing else.
int createTemporary(const fs::path& target, fs::path& made) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        made = target;
        made += fmt::format(".{:08x}.part", random());
        int fd = open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            throw UsageError(fmt::format("cannot write {}: {}", made.string(), strerror(errno)));
        }
    }
    throw UsageError(fmt::format("cannot find a free temporary name next to {}", target.string()));
}

// Removes the temporary file unless it was put in place.
struct TemporaryFile {
    fs::path path;
    bool placed = false;
    ~TemporaryFile() {
        if (!placed) {
            unlink(path.c_str());
        }
    }
};

void writeThrough(int fd, const fs::path& shown,
                  const std::function<void(std::ostream&)>& produce) {
    __gnu_cxx::stdio_filebuf<char> buffer(fd, std::ios::out);
    std::ostream out(&buffer);
    produce(out);
    out.flush();
    const bool written = static_cast<bool>(out) && fsync(fd) == 0;
    const int error = errno;
    buffer.close();  // closes fd
    if (!written) {
        throw UsageError(
            fmt::format("cannot write {}: {}", shown.string(), strerror(error != 0 ? error : EIO)));
    }
}

void writeStandardOutput(const std::function<void(std::ostream&)>& produce) {
    produce(std::cout);
    std::cout.flush();
    if (!std::cout) {
        throw UsageError("cannot write to standard output");
    }
}

}  // namespace

std::vector<fs::path> databaseFiles() {
    const fs::path database = hostPath(kDatabasePath);
    std::vector<fs::path> files{database};
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        files.push_back(fs::path(database.string() + suffix));
    }
    return files;
}

void writeFileSafely(const std::string& target, const std::function<void(std::ostream&)>& produce,
                     const std::vector<fs::path>& protectedFiles) {
    if (target == "-") {
        writeStandardOutput(produce);
        return;
    }
    const fs::path path(target);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (path.filename().empty() || path.filename() == "." || path.filename() == "..") {
        throw UsageError(
            fmt::format("refusing to write {}: it names a folder, not a file", target));
    }
    checkFolder(folder);
    struct stat existing;
    const bool exists = checkTarget(path, protectedFiles, existing);
    TemporaryFile temporary;
    int fd = createTemporary(path, temporary.path);
    if (exists) {
        fchmod(fd, existing.st_mode & 07777);
    }
    writeThrough(fd, temporary.path, produce);
    checkTarget(path, protectedFiles, existing);  // it may have changed meanwhile
    if (rename(temporary.path.c_str(), path.c_str()) != 0) {
        throw UsageError(fmt::format("cannot put {} in place: {}", target, strerror(errno)));
    }
    temporary.placed = true;
}

}  // namespace lifelog_tool
