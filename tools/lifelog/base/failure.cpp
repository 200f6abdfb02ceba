// Failures as the tool reports them.
#include "base/failure.h"

#include <fmt/format.h>

#include "zbase.h"

namespace lifelog_tool {

namespace {

// The database engine's codes (1000 + its result) say little by their
// names: the ones a user can meet and act on are said in words too.
const char* engineWords(unsigned int code) {
    switch (code) {
        case ZBASE_E_DB_ENGINE + 5:
            return ": the database is busy with another process";
        case ZBASE_E_DB_ENGINE + 8:
            return ": the database cannot be written: its file or its folder is read-only";
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
