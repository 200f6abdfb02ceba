// Everything at once on one file: two notifier threads feeding the
// service, two threads logging directly, two readers listing and counting.
// No statement may fail (no "database is locked"), no error line may be
// written, every acknowledged row must be stored, and what a reader counts
// only grows, its listings as long as its counts.  The run lasts
// LIFELOG_STRESS_SECONDS (2 by default; scripts/stress runs it for 60).
#include "running_service.h"

namespace {

using Clock = std::chrono::steady_clock;

// A distinct time stamp per writer and running number (same-second rows
// would replace each other).
DateTime stamp(int writer, int n) {
    const int day = n / 86400;
    return {2020 + writer, 1 + day / 31 % 12, 1 + day % 28, n / 3600 % 24, n / 60 % 60, n % 60, 0};
}

std::string stampText(int writer, int n) {
    const DateTime t = stamp(writer, n);
    char text[32];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
             t.minute, t.second);
    return text;
}

int runSeconds() {
    const char* value = getenv("LIFELOG_STRESS_SECONDS");
    return value != nullptr && atoi(value) > 0 ? atoi(value) : 2;
}

class ReliabilityThreadsTest : public RunningServiceTest {
protected:
    const char* configuration() const override {
        return "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\n"
               "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = 2000000\n";
    }
};

TEST_F(ReliabilityThreadsTest, NotifiersDirectLoggersAndReadersOnOneFile) {
    const auto end = Clock::now() + std::chrono::seconds(runSeconds());
    std::atomic<int> failures{0};
    std::vector<int> acknowledged(4, 0);  // per writer: notifiers 0, 1; direct 2, 3
    std::atomic<long> reads{0};
    std::vector<std::thread> threads;
    for (int writer = 0; writer < 2; ++writer) {
        threads.emplace_back([&, writer] {
            for (int n = 0; Clock::now() < end; ++n) {
                unsigned int err = 0;
                ZbasePi_deliverMessage(("n" + std::to_string(writer)).c_str(), 1, 0,
                                       std::to_string(n).c_str(), -1, -1, -1, -1, stamp(writer, n),
                                       &err);
                err == 0 ? ++acknowledged[writer] : ++failures;
            }
        });
    }
    for (int writer = 2; writer < 4; ++writer) {
        threads.emplace_back([&, writer] {
            for (int n = 0; Clock::now() < end; ++n) {
                _Lifelog_CallActivityLogging(("d" + std::to_string(writer)).c_str(), 1, 0, 0, -1,
                                             -1, -1, -1, stampText(writer, n).c_str());
                ++acknowledged[writer];
            }
        });
    }
    // The call reader makes a new query object for every read; the message
    // reader keeps one for the run, which must see every new row.
    ILifelog* kept = nullptr;
    for (const char* table : {"ACTIVITY_CALL", "ACTIVITY_MESSAGE"}) {
        threads.emplace_back([&, table] {
            ILifelog* object = nullptr;
            for (int last = 0; Clock::now() < end; ++reads) {
                unsigned int err = 0;
                if (object == nullptr) {
                    object = __LifelogImpl_new(&err);
                    __LifelogImpl_addRef(object);
                    object->ops->initialize(object, table, &err);
                }
                const int count = err == 0 ? object->ops->getCount(object, &err) : -1;
                failures += count < last;
                last = count;
                ZLifelogEnumerator* rows =
                    err == 0 ? object->ops->getEnumerator(object, &err) : nullptr;
                int listed = -1;  // the last move ends the walk
                for (; err == 0; ++listed) ZLifelogEnumerator_moveNext(rows, &err);
                failures += err != 2 || listed < count;
                if (rows != nullptr)
                    ZLifelogEnumerator_delete(rows);
                if (table[9] == 'C')  // ACTIVITY_CALL
                    object = (__LifelogImpl_release(object), nullptr);
            }
            if (object != nullptr)
                kept = object;  // released after its final count
        });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_TRUE(Event_waitIdle(60000));

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{});
    EXPECT_GT(reads.load(), 0);
    ASSERT_NE(kept, nullptr);
    unsigned int err = 0;
    EXPECT_EQ(std::to_string(kept->ops->getCount(kept, &err)),
              queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_MESSAGE")[0][0]);
    __LifelogImpl_release(kept);
    // Writers 0 and 1 sent messages from "n0" and "n1", 2 and 3 calls from "d2" and "d3".
    for (int writer = 0; writer < 4; ++writer) {
        const std::string kind = writer < 2 ? "MSGLOG" : "CLOG";
        const std::string sql = "SELECT COUNT(DISTINCT " + kind + "_TIMESTAMP) FROM " +
                                (writer < 2 ? "ACTIVITY_MESSAGE" : "ACTIVITY_CALL") + " WHERE " +
                                kind + "_PHONE_NUMBER = '" + "nndd"[writer] +
                                std::to_string(writer) + "'";
        EXPECT_GT(acknowledged[writer], 0) << writer;
        EXPECT_EQ(queryRows(kDbPath, sql), (Rows{{std::to_string(acknowledged[writer])}}))
            << "every acknowledged row of writer " << writer;
    }
    printf("[ figures ] %d s: %d + %d notifications, %d + %d direct rows, %ld reads\n",
           runSeconds(), acknowledged[0], acknowledged[1], acknowledged[2], acknowledged[3],
           reads.load());
}

}  // namespace
