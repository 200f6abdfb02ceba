// Query clients read while the writer stores rows on its own thread, each
// through its own connection: no read ever fails, none is "database is
// locked", and the counts seen only grow.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "query_fixture.h"

namespace {

constexpr int kRows = 300;

ZLifelogActivity* messageAt(int index) {
    unsigned int err = 0;
    ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_MESSAGE", &err);
    auto* type = static_cast<int32_t*>(Mem_allocEx(sizeof(int32_t), __FILE__, __LINE__));
    *type = index % 3;
    ZLifelogActivityItem* item = ZLifelogActivityItem_new("MSGLOG_TYPE", type, 0, &err);
    ZLifelogActivity_addActivityItem(activity, item, &err);
    _ZLifelogActivity_setTimestamp(
        activity, DateTime{2020, 1, 1 + index / 3600, index / 60 % 60, index % 60, 0, 0});
    return activity;
}

class QueryThreadsTest : public QueryTest {};

TEST_F(QueryThreadsTest, ReadsWhileTheWriterStoresRows) {
    std::atomic<bool> writing{true};
    std::atomic<int> written{0};

    std::thread writer([&] {
        unsigned int err = 0;
        DBHandle* handle = DBHandle_new(kDbPath, 500, &err);
        Handle* pI = reinterpret_cast<Handle*>(handle);
        for (int i = 0; i < kRows; ++i) {
            ZLifelogActivity* activity = messageAt(i);
            if (__DBHandle_open(pI) != 0) {
                if (__DBHandle_write(pI, activity) != 0) {
                    written.fetch_add(1);
                }
                __DBHandle_close(pI);
            }
            ZLifelogActivity_delete(activity);
        }
        DBHandle_delete(handle);
        writing = false;
    });

    struct Outcome {
        std::vector<std::string> failures;
        int reads = 0;
    };
    auto reader = [&](Outcome* outcome, bool ranged) {
        unsigned int err = 0;
        ILifelog* object = __LifelogImpl_new(&err);
        __LifelogImpl_addRef(object);
        if (ranged) {
            object->ops->initialize2(object, "ACTIVITY_MESSAGE", DateTime{2020, 1, 1, 0, 0, 0, 0},
                                     DateTime{2020, 1, 2, 0, 0, 0, 0}, &err);
        } else {
            object->ops->initialize(object, "ACTIVITY_MESSAGE", &err);
        }
        object->ops->setFilter(object, "MSGLOG_TYPE>=0", &err);
        object->ops->setSortOrder(object, "MSGLOG_TIMESTAMP", LIFELOG_ORDER_DESC, &err);
        if (err != 0) {
            outcome->failures.push_back("setup " + std::to_string(err));
        }
        int lastCount = 0;
        bool more = true;
        while (more) {
            more = writing.load();
            const int count = object->ops->getCount(object, &err);
            if (err != 0) outcome->failures.push_back("count " + std::to_string(err));
            if (count < lastCount) outcome->failures.push_back("count went down");
            lastCount = count;
            object->ops->getSum(object, "MSGLOG_TYPE", &err);
            if (err != 0) outcome->failures.push_back("sum " + std::to_string(err));
            ZLifelogEnumerator* enumerator = object->ops->getEnumerator(object, &err);
            if (err != 0) outcome->failures.push_back("listing " + std::to_string(err));
            unsigned int endErr = 0;
            const size_t rows = drain(enumerator, &endErr).size();
            if (enumerator != nullptr && endErr != 2) {
                outcome->failures.push_back("walk " + std::to_string(endErr));
            }
            if (rows < static_cast<size_t>(lastCount)) outcome->failures.push_back("rows lost");
            ++outcome->reads;
        }
        if (object->ops->getCount(object, &err) != kRows) {
            outcome->failures.push_back("final count");
        }
        object->ops->release(object);
    };
    Outcome first, second;
    std::thread reader1(reader, &first, false);
    std::thread reader2(reader, &second, true);
    writer.join();
    reader1.join();
    reader2.join();

    EXPECT_EQ(written.load(), kRows);
    EXPECT_EQ(first.failures, std::vector<std::string>{});
    EXPECT_EQ(second.failures, std::vector<std::string>{});
    EXPECT_GT(first.reads, 0);
    EXPECT_GT(second.reads, 0);
    for (const LogLine& line : logLines()) {
        EXPECT_EQ(line.text.find("E_DB_ENGINE_5"), std::string::npos) << line.text;
        EXPECT_EQ(line.text.find("locked"), std::string::npos) << line.text;
    }
    EXPECT_EQ(queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_MESSAGE"),
              (std::vector<std::vector<std::string>>{{std::to_string(kRows)}}));
}

}  // namespace
