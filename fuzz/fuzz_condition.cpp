// Fuzzes the condition a client gives a query object, on a real database,
// for time: every statement it reaches must end within the platform's
// statement deadline plus a small margin, whatever functions and operators
// the condition calls.  The deadline is checked between the engine's steps,
// so a condition that spends long inside one function call is what this
// target looks for (such functions must be refused when the statement is
// prepared).
#include <stdint.h>

#include <chrono>
#include <string>

#include "fuzz_support.h"
#include "zkivLifelogEnumerator.h"
#include "zkivLifelogImpl.h"
#include "zkivLifeloggerDBHandle.h"

namespace {

constexpr const char* kDbPath = "/SystemRW/Lifelog/Database/lifelog.db";
constexpr auto kDeadline = std::chrono::milliseconds(fuzz::kStatementTimeoutMs);
// Room for the step in progress when the deadline passes, and for the
// sanitizers' slower code.
constexpr auto kMargin = std::chrono::milliseconds(400);

// Runs one call that reaches at most one statement, and aborts when it
// outlived the deadline by more than the margin.
template <typename Call>
void withinDeadline(Call call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    fuzz::check(std::chrono::steady_clock::now() - start < kDeadline + kMargin);
}

void fillTable() {
    unsigned int err = 0;
    DBHandle_delete(DBHandle_new(kDbPath, 500, &err));
    fuzz::check(err == 0);
    Database* db = _Database_openInternal(kDbPath, &err);
    std::string rows =
        "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_DIRECTION, MSGLOG_TYPE, MSGLOG_PHONE_NUMBER, "
        "MSGLOG_SUMMARY, MSGLOG_TIMESTAMP) VALUES ";
    for (int i = 0; i < 200; ++i) {
        rows += (i ? ",(" : "(") + std::to_string(i % 3) + ", 0, '+44" + std::to_string(i) +
                "', 'see you at " + std::to_string(i) + "', '2024-06-14 09:30:00')";
    }
    Database_executeSQL(db, rows.c_str(), 0, nullptr, nullptr, &err);
    fuzz::check(err == 0);
    Database_close(db, &err);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useTemporaryRoot();
    fillTable();
    return 0;
}

// Input: the condition.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string condition(reinterpret_cast<const char*>(data), size);
    unsigned int err = 0;
    ILifelog* object = __LifelogImpl_new(&err);
    fuzz::check(object != nullptr);
    __LifelogImpl_addRef(object);
    object->ops->initialize(object, "ACTIVITY_MESSAGE", &err);
    fuzz::check(err == 0);
    withinDeadline([&] { object->ops->setFilter(object, condition.c_str(), &err); });
    if (err == 0) {
        withinDeadline([&] { (void)object->ops->getCount(object, &err); });
        ZLifelogEnumerator* rows = nullptr;
        withinDeadline([&] { rows = object->ops->getEnumerator(object, &err); });
        for (int i = 0; rows != nullptr && i < 4; ++i) {
            withinDeadline([&] { ZLifelogEnumerator_moveNext(rows, &err); });
        }
        if (rows != nullptr) {
            ZLifelogEnumerator_delete(rows);
        }
    }
    __LifelogImpl_release(object);
    fuzz::check(Mem_getLiveCount() == 0);
    return 0;
}
