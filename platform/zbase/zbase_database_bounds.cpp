// Bounds on every statement the database runs.
//
// Clients write parts of the statements (a query's condition, its sort
// columns, the column of an aggregate, the table name), so no statement may
// run without limit, hold unbounded memory, or reach past the tables:
//
// - a deadline per statement: ZBASE_DB_STATEMENT_TIMEOUT_MS (default 5000)
//   from its first step; a progress handler interrupts it once the deadline
//   has passed, and the caller sees the engine's interrupt code (1009).  A
//   row enumerator gets a fresh deadline for each row it is asked for.
// - caps per connection on the length of any string or blob a statement
//   makes, on the statement text, on expression depth and compound selects,
//   no attached databases; and a ceiling on the engine's heap in the process.
// - an authorizer: a statement whose text reads (SELECT, WITH, VALUES,
//   EXPLAIN) may read the data tables and call the functions that cannot
//   run long inside one call (isQuickFunction), nothing else: no write, no table-valued pragma,
//   nothing of the schema table but the names and types of what exists.  No statement may ATTACH or
//   DETACH, run a PRAGMA or load an extension (the connection's own settings are made before the
//   authorizer is in place).
//
// The authorizer and the progress handler are installed once per
// connection; what they enforce comes from the thread that prepares or
// steps the statement, since a connection is used by one thread at a time.
#include <ctype.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <chrono>
#include <mutex>
#include <string>

#include "zbase_internal.h"

namespace zbase {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kDefaultTimeoutMs = 5000;
constexpr int kMaxLength = 1 << 20;  // one string or blob: 1 MiB
constexpr int kMaxStatementLength = 1 << 16;
constexpr int kMaxExpressionDepth = 100;
constexpr int kMaxCompoundSelect = 50;
// LIKE and GLOB cost the pattern's length times the text's at worst, inside
// one call: 1,000 characters over a text at the length cap ran 1.3 s of CPU.
constexpr int kMaxLikePattern = 64;
constexpr sqlite3_int64 kHeapCeiling = sqlite3_int64{256} << 20;
constexpr int kProgressPeriod = 1000;  // virtual machine steps between deadline checks
constexpr size_t kQuotedTextMax = 160;

thread_local StatementLimits current;

bool startsWithWord(const char* text, const char* word) {
    size_t length = strlen(word);
    return strncasecmp(text, word, length) == 0 &&
           !(isalnum(static_cast<unsigned char>(text[length])) || text[length] == '_');
}

// Skips blanks, comments and opening parentheses before the first word.
const char* firstWord(const char* sql) {
    const char* p = sql;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v' ||
               *p == '(') {
            ++p;
        }
        if (p[0] == '-' && p[1] == '-') {
            p += strcspn(p, "\n");
        } else if (p[0] == '/' && p[1] == '*') {
            const char* end = strstr(p + 2, "*/");
            if (end == nullptr) {
                return p + strlen(p);
            }
            p = end + 2;
        } else {
            return p;
        }
    }
}

bool isSchemaTable(const char* table) {
    return table != nullptr &&
           (strcasecmp(table, "sqlite_master") == 0 || strcasecmp(table, "sqlite_schema") == 0 ||
            strcasecmp(table, "sqlite_temp_master") == 0 ||
            strcasecmp(table, "sqlite_temp_schema") == 0 || strncasecmp(table, "pragma_", 7) == 0);
}

bool isListingColumn(const char* column) {
    return column != nullptr && (strcmp(column, "name") == 0 || strcmp(column, "type") == 0);
}

int refuse(const char* what) {
    if (current.refusal == nullptr) {
        current.refusal = what;
    }
    return SQLITE_DENY;
}

// The functions a reading statement may call: each runs in time linear in
// its arguments, and no argument or result passes the length cap.  The
// deadline is checked between the engine's steps, never inside one call, so
// a function that can spend long in one call would outrun it: printf() and
// format() build up to the cap from a width, instr(), replace() and the
// two-argument trims compare at every position (quadratic in the cap),
// zeroblob() and randomblob() make large values from a number.  Those and
// every function not listed here are refused.
bool isQuickFunction(const char* name) {
    static constexpr const char* kQuick[] = {
        "abs",       "avg",      "char",         "coalesce",   "count",    "date",
        "datetime",  "glob",     "group_concat", "hex",        "ifnull",   "iif",
        "julianday", "length",   "like",         "likelihood", "likely",   "lower",
        "max",       "min",      "nullif",       "quote",      "random",   "round",
        "sign",      "strftime", "substr",       "substring",  "sum",      "time",
        "total",     "typeof",   "unicode",      "unixepoch",  "unlikely", "upper",
    };
    if (name == nullptr) {
        return false;
    }
    for (const char* quick : kQuick) {
        if (strcasecmp(name, quick) == 0) {
            return true;
        }
    }
    return false;
}

// The refusal names the function; the name is kept per thread since the
// engine's text lives only as long as the authorizer's call.
int refuseFunction(const char* name) {
    thread_local std::string what;
    if (current.refusal == nullptr) {
        what = std::string("calling ") + (name != nullptr ? name : "?") +
               "(), which can run long inside one call";
        current.refusal = what.c_str();
    }
    return SQLITE_DENY;
}

int authorize(void*, int action, const char* detail1, const char* detail2, const char*,
              const char*) {
    switch (action) {
        case SQLITE_ATTACH:
        case SQLITE_DETACH:
            return refuse("attaching another database");
        case SQLITE_PRAGMA:
            return refuse("a PRAGMA");
        case SQLITE_FUNCTION:
            if (detail2 != nullptr && strcasecmp(detail2, "load_extension") == 0) {
                return refuse("loading an extension");
            }
            return current.reading && !isQuickFunction(detail2) ? refuseFunction(detail2)
                                                                : SQLITE_OK;
        default:
            break;
    }
    if (!current.reading) {
        return SQLITE_OK;
    }
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        case SQLITE_READ:
            // Which tables and indexes exist (name, type) may be asked; the
            // schema's statements and pages may not.
            return isSchemaTable(detail1) && !isListingColumn(detail2)
                       ? refuse("reading the schema")
                       : SQLITE_OK;
        default:
            return refuse("a change in a statement that reads");
    }
}

int checkDeadline(void*) {
    return current.active && Clock::now() >= current.deadline ? 1 : 0;
}

long timeoutMs() {
    const char* value = getenv("ZBASE_DB_STATEMENT_TIMEOUT_MS");
    if (value == nullptr || value[0] == '\0') {
        return kDefaultTimeoutMs;
    }
    char* end = nullptr;
    long number = strtol(value, &end, 10);
    return end != value && *end == '\0' && number > 0 ? number : kDefaultTimeoutMs;
}

std::string quoted(const char* sql) {
    std::string text = sql != nullptr ? sql : "";
    if (text.size() > kQuotedTextMax) {
        text.resize(kQuotedTextMax);
        text += "...";
    }
    return text;
}

}  // namespace

void boundConnection(sqlite3* db) {
    static std::once_flag heap;
    std::call_once(heap, [] { sqlite3_hard_heap_limit64(kHeapCeiling); });
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxLength);
    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, kMaxStatementLength);
    sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, kMaxExpressionDepth);
    sqlite3_limit(db, SQLITE_LIMIT_COMPOUND_SELECT, kMaxCompoundSelect);
    sqlite3_limit(db, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, kMaxLikePattern);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_set_authorizer(db, authorize, nullptr);
    sqlite3_progress_handler(db, kProgressPeriod, checkDeadline, nullptr);
}

bool isReadingStatement(const char* sql) {
    if (sql == nullptr) {
        return false;
    }
    const char* word = firstWord(sql);
    return startsWithWord(word, "SELECT") || startsWithWord(word, "WITH") ||
           startsWithWord(word, "VALUES") || startsWithWord(word, "EXPLAIN");
}

StatementBounds::StatementBounds(const char* sql, const char* function)
    : sql_(sql), function_(function), saved_(current) {
    current.active = true;
    current.reading = isReadingStatement(sql);
    current.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs());
    current.refusal = nullptr;
}

StatementBounds::~StatementBounds() {
    current = saved_;
}

int StatementBounds::prepared(int rc) const {
    return rc == SQLITE_ERROR && current.refusal != nullptr ? SQLITE_AUTH : rc;
}

void StatementBounds::report(int rc) const {
    if (rc == SQLITE_INTERRUPT && Clock::now() >= current.deadline) {
        __Log_printfEx(kLogModule, ZBASE_LOG_ERROR, function_, __LINE__,
                       "statement ran out of time (%ld ms) and was stopped: %s", timeoutMs(),
                       quoted(sql_).c_str());
    } else if (rc == SQLITE_AUTH) {
        __Log_printfEx(
            kLogModule, ZBASE_LOG_ERROR, function_, __LINE__, "statement refused (%s): %s",
            current.refusal != nullptr ? current.refusal : "not allowed", quoted(sql_).c_str());
    } else if (rc == SQLITE_TOOBIG || rc == SQLITE_NOMEM) {
        __Log_printfEx(kLogModule, ZBASE_LOG_ERROR, function_, __LINE__,
                       "statement stopped at its memory or length cap: %s", quoted(sql_).c_str());
    }
}

}  // namespace zbase
