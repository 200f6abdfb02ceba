// Fuzzes what a client gives a query object on a real database: a filter,
// one or two sort columns, and the column of each aggregate.  Whatever the
// text, each call returns (within the statement deadline), reports a code
// or a result, leaves the data as it was, and leaks nothing.
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_support.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogEnumerator.h"
#include "zkivLifelogImpl.h"
#include "zkivLifeloggerDBHandle.h"

namespace {

constexpr const char* kDbPath = "/SystemRW/Lifelog/Database/lifelog.db";

// The rows stay as they were, whatever was asked.
void checkDataUnchanged() {
    unsigned int err = 0;
    ILifelog* object = __LifelogImpl_new(&err);
    __LifelogImpl_addRef(object);
    object->ops->initialize(object, "ACTIVITY_CALL", &err);
    fuzz::check(err == 0 && object->ops->getCount(object, &err) == 3 && err == 0);
    __LifelogImpl_release(object);
}

void drain(ZLifelogEnumerator* rows) {
    if (rows == nullptr) {
        return;
    }
    unsigned int err = 0;
    for (int i = 0; i < 8; ++i) {
        ZLifelogEnumerator_moveNext(rows, &err);
        if (err != 0) {
            break;
        }
        unsigned int rowErr = 0;
        ZLifelogActivity* activity = ZLifelogEnumerator_getCurrentN(rows, &rowErr);
        if (activity != nullptr) {
            ZLifelogActivity_delete(activity);
        }
    }
    ZLifelogEnumerator_delete(rows);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useTemporaryRoot();
    unsigned int err = 0;
    DBHandle_delete(DBHandle_new(kDbPath, 500, &err));
    fuzz::check(err == 0);
    Database* db = _Database_openInternal(kDbPath, &err);
    const char* rows[] = {
        "INSERT INTO ACTIVITY_CALL (CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_PHONE_NUMBER, "
        "CLOG_TIMESTAMP) VALUES (1, 42, 0, '+100', '2024-06-14 09:30:00')",
        "INSERT INTO ACTIVITY_CALL (CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_PHONE_NUMBER, "
        "CLOG_TIMESTAMP) VALUES (2, 0, 1, '+200', '2024-06-15 10:00:00')",
        "INSERT INTO ACTIVITY_CALL (CLOG_DIRECTION, CLOG_DURATION, CLOG_TYPE, CLOG_PHONE_NUMBER, "
        "CLOG_TIMESTAMP) VALUES (1, 7, 0, '+100', '2024-06-16 11:00:00')",
    };
    for (const char* row : rows) {
        Database_executeSQL(db, row, 0, nullptr, nullptr, &err);
        fuzz::check(err == 0);
    }
    Database_close(db, &err);
    return 0;
}

// Input: a selector byte, then up to three NUL-separated texts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string text[3];
    size_t start = 0;
    for (std::string& piece : text) {
        size_t end = input.find('\0', start);
        piece = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? input.size() : end + 1;
    }
    unsigned int err = 0;
    ILifelog* object = __LifelogImpl_new(&err);
    fuzz::check(object != nullptr);
    __LifelogImpl_addRef(object);
    object->ops->initialize(object, (data[0] & 0x80) ? text[2].c_str() : "ACTIVITY_CALL", &err);
    if (err == 0) {
        object->ops->setFilter(object, text[0].c_str(), &err);
        object->ops->setSortOrder2(object, text[1].c_str(), data[0] & 3, text[2].c_str(),
                                   (data[0] >> 2) & 3, &err);
        object->ops->setSortOrder(object, text[1].c_str(), (data[0] >> 4) & 3, &err);
        drain(object->ops->getEnumerator(object, &err));
        drain(object->ops->findMaxLogs(object, text[1].c_str(), &err));
        drain(object->ops->findMinLogs(object, text[2].c_str(), &err));
        drain(object->ops->getMostOccurredValues(object, text[1].c_str(), data[0], &err));
        (void)object->ops->getSum(object, text[2].c_str(), &err);
        (void)object->ops->getAverage(object, text[1].c_str(), &err);
        (void)object->ops->getCount(object, &err);
    }
    __LifelogImpl_release(object);
    checkDataUnchanged();
    fuzz::check(Mem_getLiveCount() == 0);
    return 0;
}
