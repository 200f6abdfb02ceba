// lifelog: the command-line front door.
//
// For now it shows the platform underneath the lifelog at work: it makes
// the lifelog database folder under the platform root, runs statements
// through the platform database, reads the lifelog configuration file and
// prints what it did.  It keeps its own table in its own file
// ("demo.db"), so the lifelog database itself is left for the library to
// create with its schema.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "qelmemory.h"
#include "zbase.h"
#include "zbase_testing.h"

namespace {

constexpr const char* kDemoDb = "/SystemRW/Lifelog/Database/demo.db";
constexpr const char* kConfig = "/System/Lifelog/lifelogconf.ini";

std::string platformRoot() {
    const char* root = getenv("ZBASE_ROOT");
    if (root != nullptr && root[0] != '\0') {
        return root;
    }
    const char* data = getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] != '\0') {
        return std::string(data) + "/zbase";
    }
    const char* home = getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share/zbase";
}

bool check(const char* what, unsigned int err, unsigned int alsoFine = 0) {
    if (err == 0 || err == alsoFine) {
        return true;
    }
    fprintf(stderr, "lifelog: %s failed: %s (%u)\n", what, Exception_toString(err), err);
    return false;
}

bool runDatabase() {
    unsigned int err = 0;
    Database* db = _Database_createInternal(kDemoDb, &err);
    if (!check("opening the demo database", err)) {
        return false;
    }
    printf("database:      %s (folders made, WAL journal)\n", kDemoDb);
    const char* statements[] = {
        "CREATE TABLE IF NOT EXISTS DEMO_RUNS (RUN_TIMESTAMP TEXT NOT NULL)",
        "INSERT INTO DEMO_RUNS VALUES (strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'))",
    };
    bool ok = true;
    for (const char* sql : statements) {
        Database_executeSQL(db, sql, 0, nullptr, nullptr, &err);
        ok = ok && check(sql, err, ZBASE_E_NO_ROWS_CHANGED);
        printf("statement:     %s -> %s\n", sql, Exception_toString(err));
    }
    DbStatement* count = Database_createStatement(
        db, "SELECT COUNT(*), MAX(RUN_TIMESTAMP) FROM DEMO_RUNS", &err);
    DbEnumerator* rows = count != nullptr ? Database_executeStatement(count, &err) : nullptr;
    if (rows != nullptr && DbEnumerator_getNextRow(rows, &err)) {
        int runs = DbEnumerator_getInt(rows, 0, &err);
        const char* last = DbEnumerator_getText(rows, 1, &err);
        printf("demo runs:     %d, the latest at %s\n", runs, last != nullptr ? last : "-");
    } else {
        ok = check("counting the demo runs", err);
    }
    DbStatement_destroy(count, &err);
    Database_close(db, &err);
    return ok && check("closing the demo database", err);
}

void readConfiguration() {
    unsigned int err = 0;
    Registry* registry = _Registry_openInternal(kConfig, 0, &err);
    if (registry == nullptr) {
        printf("configuration: %s not readable (%s): nothing is logged, 500 rows per table\n",
               kConfig, Exception_toString(err));
        return;
    }
    int32_t maxCount = 500;
    Registry_getValue(registry, "ACTIVITY_CONFIG", "MAX_COUNT_PER_ACTIVITY", REGISTRY_TYPE_INT,
                      &maxCount, sizeof maxCount, &err);
    printf("configuration: %s\n", kConfig);
    printf("               MAX_COUNT_PER_ACTIVITY = %d%s\n", maxCount,
           err != 0 ? " (not set: the default)" : "");
    for (const char* kind : {"ACTIVITY_CALL", "ACTIVITY_MESSAGE", "ACTIVITY_MEDIA"}) {
        char value[64] = "";
        Registry_getValue(registry, "ACTIVITY", kind, REGISTRY_TYPE_STRING, value, sizeof value,
                          &err);
        printf("               %-16s = %s\n", kind, err == 0 ? value : "(not set: off)");
    }
    Registry_close(registry, 0, &err);
}

int usage() {
    fprintf(stderr,
            "usage: lifelog [demo]\n"
            "  demo  make the lifelog database folder under the platform root, run a\n"
            "        statement through the platform database and read the configuration\n"
            "The platform root is $ZBASE_ROOT (else $XDG_DATA_HOME/zbase or\n"
            "~/.local/share/zbase).\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && strcmp(argv[1], "demo") != 0)) {
        return usage();
    }
    printf("platform root: %s\n", platformRoot().c_str());
    bool ok = runDatabase();
    readConfiguration();
    long live = Mem_getLiveCount();
    printf("tracked blocks still alive: %ld\n", live);
    return ok && live == 0 ? 0 : 1;
}
