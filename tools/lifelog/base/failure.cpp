// Failures as the tool reports them.
#include "base/failure.h"

#include <fmt/format.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

#include "base/read_only.h"
#include "base/root.h"
#include "zbase.h"

namespace lifelog_tool {

namespace {

namespace fs = std::filesystem;

// The database engine's codes (1000 + its result) say little by their
// names: the ones a user can meet and act on are said in words too.
std::string engineWords(unsigned int code) {
    switch (code) {
        case ZBASE_E_DB_ENGINE + 5:
            return ": the database is busy with another process";
        case ZBASE_E_DB_ENGINE + 8: {
            std::string cause = unwritableDatabase();
            return ": " + (cause.empty() ? "the database file, its folder or its file system is "
                                           "read-only"
                                         : cause);
        }
        case ZBASE_E_DB_ENGINE + 9:
            return ": the statement ran past its deadline";
        case ZBASE_E_DB_ENGINE + 10:
            return ": reading or writing the database file failed";
        case ZBASE_E_DB_ENGINE + 11:
            return ": the database file is damaged";
        case ZBASE_E_DB_ENGINE + 13:
            return ": the disk is full";
        case ZBASE_E_DB_ENGINE + 14:
            return ": the database file or its folder cannot be opened";
        case ZBASE_E_DB_ENGINE + 26:
            return ": the file is not a database";
        default:
            return "";
    }
}

}  // namespace

// The engine says only "read-only"; most often the folder is, where the
// journal must be made beside the file.
std::string unwritableDatabase() {
    const fs::path file = hostPath(kDatabasePath);
    const fs::path folder = file.parent_path();
    struct statvfs mounted {};
    if (statvfs(folder.c_str(), &mounted) == 0 && (mounted.f_flag & ST_RDONLY) != 0) {
        return fmt::format(
            "the file system holding {} is mounted read-only; mount it "
            "read-write, or give --root a writable folder, and run it again",
            folder.string());
    }
    if (access(folder.c_str(), F_OK) == 0 && access(folder.c_str(), W_OK) != 0) {
        return fmt::format(
            "the database folder {} is read-only, and the database makes its "
            "journal there; make it writable (chmod u+w {}) and run it again",
            folder.string(), folder.string());
    }
    if (access(file.c_str(), F_OK) == 0 && access(file.c_str(), W_OK) != 0) {
        return fmt::format(
            "the database file {} is read-only; make it writable (chmod u+w {}) "
            "and run it again",
            file.string(), file.string());
    }
    return "";
}

Failure::Failure(const std::string& doing, unsigned int code)
    : std::runtime_error(
          fmt::format("{}: {} ({}){}", doing, Exception_toString(code), code, engineWords(code))),
      doing_(doing),
      code_(code) {}

void check(unsigned int err, const std::string& doing) {
    if (err != 0) {
        throw Failure(doing, err);
    }
}

}  // namespace lifelog_tool
