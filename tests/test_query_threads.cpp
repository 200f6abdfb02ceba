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

TEST_F(QueryTest, ReadsWhileTheWriterStoresRowsNeverFail) {
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        unsigned int err = 0;
        DBHandle* handle = DBHandle_new(kDbPath, 500, &err);
        Handle* pI = reinterpret_cast<Handle*>(handle);
        for (int i = 0; i < kRows; ++i) {
            ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_MESSAGE", &err);
            auto* type = static_cast<int32_t*>(Mem_allocEx(sizeof(int32_t), __FILE__, __LINE__));
            *type = i % 3;
            ZLifelogActivity_addActivityItem(
                activity, ZLifelogActivityItem_new("MSGLOG_TYPE", type, 0, &err), &err);
            // Within the range of the ranged reader (Jan 2 11:30 .. Jan 3 end).
            _ZLifelogActivity_setTimestamp(activity, DateTime{2020, 1, 2, 12, i / 60, i % 60, 0});
            EXPECT_NE(__DBHandle_open(pI), 0);
            EXPECT_NE(__DBHandle_write(pI, activity), 0) << i;
            __DBHandle_close(pI);
            ZLifelogActivity_delete(activity);
        }
        DBHandle_delete(handle);
        writing = false;
    });
    auto reader = [&](ILifelog* object, std::vector<std::string>* failures) {
        unsigned int err = 0, endErr = 0;
        for (int last = 0, more = 1; more;) {
            more = writing.load();
            const int count = object->ops->getCount(object, &err);
            if (err != 0 || count < last)
                failures->push_back("count " + std::to_string(err));
            last = count;
            object->ops->getSum(object, "MSGLOG_TYPE", &err);
            if (err != 0)
                failures->push_back("sum " + std::to_string(err));
            const size_t rows = drain(object->ops->getEnumerator(object, &err), &endErr).size();
            if (err != 0 || endErr != 2 || rows < static_cast<size_t>(last))
                failures->push_back("listing " + std::to_string(err) + std::to_string(endErr));
        }
        if (object->ops->getCount(object, &err) != kRows)
            failures->push_back("final count");
    };
    // Each object opens its connection here; only its own thread uses it.
    std::vector<std::string> failures[2];
    std::thread reader1(reader, open("ACTIVITY_MESSAGE", false, "MSGLOG_TYPE>=0"), &failures[0]);
    std::thread reader2(reader, open("ACTIVITY_MESSAGE", true, nullptr, "MSGLOG_TIMESTAMP"),
                        &failures[1]);
    writer.join();
    reader1.join();
    reader2.join();
    EXPECT_EQ(failures[0], std::vector<std::string>{});
    EXPECT_EQ(failures[1], std::vector<std::string>{});
    for (const LogLine& line : logLines()) {
        EXPECT_EQ(line.text.find("locked"), std::string::npos) << line.text;
        EXPECT_EQ(line.text.find("E_DB_ENGINE_5"), std::string::npos) << line.text;
    }
    EXPECT_EQ(queryRows(kDbPath, "SELECT count(*) FROM ACTIVITY_MESSAGE").at(0).at(0), "300");
}

}  // namespace
