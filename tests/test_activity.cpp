// Activities and items: defaults, order, ownership and allocation failures.
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase_testing.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"

namespace {

void* intBlock(int32_t value) {
    void* block = Mem_allocEx(sizeof value, __FILE__, __LINE__);
    std::memcpy(block, &value, sizeof value);
    return block;
}

std::vector<std::string> itemKeys(ZLifelogActivity* activity) {
    std::vector<std::string> keys;
    void* cursor = List_getIterator(ZLifelogActivity_getAllActivityItems(activity));
    while (void* each = List_getNext(&cursor)) {
        keys.emplace_back(ZLifelogActivityItem_getKey(static_cast<ZLifelogActivityItem*>(each)));
    }
    return keys;
}

class ActivityTest : public LifelogTest {};

TEST_F(ActivityTest, NewActivityHasItsDefaultsAndOwnsACopyOfItsName) {
    char name[] = "ACTIVITY_CALL";
    unsigned int err = 99;
    ZLifelogActivity* activity = ZLifelogActivity_new(name, &err);
    ASSERT_NE(activity, nullptr);
    EXPECT_EQ(err, 0u);
    name[0] = 'X';  // the activity keeps its own copy
    EXPECT_STREQ(ZLifelogActivity_getName(activity), "ACTIVITY_CALL");
    EXPECT_EQ(ZLifelogActivity_getId(activity), -1);
    EXPECT_EQ(List_size(ZLifelogActivity_getAllActivityItems(activity)), 0);
    EXPECT_EQ(ZLifelogActivity_getLocation(activity), nullptr);
    DateTime zero{};
    DateTime got = ZLifelogActivity_getTimestamp(activity);
    EXPECT_EQ(std::memcmp(&got, &zero, sizeof got), 0);

    DateTime when{2024, 2, 29, 23, 59, 58, 7};
    _ZLifelogActivity_setTimestamp(activity, when);
    got = ZLifelogActivity_getTimestamp(activity);
    EXPECT_EQ(std::memcmp(&got, &when, sizeof got), 0);
    ZLifelogActivity_delete(activity);
}

TEST_F(ActivityTest, ItemsKeepTheirOrderAndAreReleasedWithTheActivity) {
    long before = Mem_getLiveCount();
    unsigned int err = 0;
    ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_MESSAGE", &err);
    ASSERT_EQ(err, 0u);
    struct Case {
        const char* key;
        int type;
    } cases[] = {{"MSGLOG_DIRECTION", LIFELOG_VALUE_INT},
                 {"MSGLOG_SUMMARY", LIFELOG_VALUE_STRING},
                 {"EMPTY_TEXT", LIFELOG_VALUE_STRING},
                 {"ODD_TYPE", 9},
                 {"NEGATIVE_TYPE", -3}};
    for (const Case& c : cases) {
        void* value = c.type == LIFELOG_VALUE_STRING
                          ? static_cast<void*>(String_newByString(
                                std::strcmp(c.key, "EMPTY_TEXT") == 0 ? "" : "hello", &err))
                          : intBlock(42);
        ZLifelogActivityItem* item = ZLifelogActivityItem_new(c.key, value, c.type, &err);
        ASSERT_NE(item, nullptr) << c.key;
        EXPECT_EQ(ZLifelogActivityItem_getValueType(item), c.type);
        EXPECT_EQ(ZLifelogActivityItem_getValue(item), value);
        ZLifelogActivity_addActivityItem(activity, item, &err);
        EXPECT_EQ(err, 0u);
    }
    EXPECT_EQ(itemKeys(activity), (std::vector<std::string>{"MSGLOG_DIRECTION", "MSGLOG_SUMMARY",
                                                            "EMPTY_TEXT", "ODD_TYPE",
                                                            "NEGATIVE_TYPE"}));
    ZLifelogActivity_delete(activity);
    // Every key, value, item, list and name went with the activity.
    EXPECT_EQ(Mem_getLiveCount(), before);
}

TEST_F(ActivityTest, AddingANullActivityOrItemIsRefused) {
    unsigned int err = 0;
    ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_MEDIA", &err);
    ZLifelogActivityItem* item = ZLifelogActivityItem_new("MDLOG_TITLE", nullptr, 2, &err);
    ASSERT_NE(item, nullptr);
    struct Case {
        ZLifelogActivity* activity;
        ZLifelogActivityItem* item;
    } cases[] = {{nullptr, item}, {activity, nullptr}, {nullptr, nullptr}};
    for (const Case& c : cases) {
        clearLog();
        err = 0;
        ZLifelogActivity_addActivityItem(c.activity, c.item, &err);
        EXPECT_EQ(err, 7u);
        EXPECT_EQ(countLog(kError, "pThis == null or logActivityItem == null", 10,
                           "ZLifelogActivity_addActivityItem"),
                  1);
    }
    EXPECT_EQ(List_size(ZLifelogActivity_getAllActivityItems(activity)), 0);
    ZLifelogActivityItem_delete(item);  // still the caller's
    ZLifelogActivity_delete(activity);
}

// Builds "ACTIVITY_CALL" with two items, failing the n-th allocation; on any
// failure the caller releases what it still holds, as the builders do.
TEST_F(ActivityTest, BuildingUnderFailingAllocationsLeavesNothingBehind) {
    int failures = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 50);
        Mem_failAfter(n);
        unsigned int err = 0;
        bool built = false;
        ZLifelogActivity* activity = ZLifelogActivity_new("ACTIVITY_CALL", &err);
        if (activity != nullptr) {
            built = true;
            for (const char* key : {"CLOG_DIRECTION", "CLOG_DURATION"}) {
                void* value = Mem_allocEx(sizeof(int32_t), __FILE__, __LINE__);
                if (value == nullptr) {
                    built = false;
                    break;
                }
                ZLifelogActivityItem* item = ZLifelogActivityItem_new(key, value, 0, &err);
                if (item == nullptr) {
                    EXPECT_NE(err, 0u);
                    Mem_freeEx(value, __FILE__, __LINE__);  // the item never took it
                    built = false;
                    break;
                }
                ZLifelogActivity_addActivityItem(activity, item, &err);
                if (err != 0) {
                    EXPECT_EQ(err, 12u);
                    EXPECT_TRUE(hasLog(kError, "List_addLast is failed", 10,
                                       "ZLifelogActivity_addActivityItem"));
                    ZLifelogActivityItem_delete(item);
                    built = false;
                    break;
                }
            }
            if (built) {
                EXPECT_EQ(List_size(ZLifelogActivity_getAllActivityItems(activity)), 2);
            }
            ZLifelogActivity_delete(activity);
        } else {
            EXPECT_NE(err, 0u);
            if (n == 1) {
                EXPECT_EQ(err, 1u);  // the record itself
            }
        }
        Mem_failAfter(0);
        EXPECT_EQ(Mem_getLiveCount(), 0) << "after failing allocation " << n;
        if (built) {
            break;
        }
        ++failures;
    }
    EXPECT_GE(failures, 3);  // record, name and list at the least
}

TEST_F(ActivityTest, FailedItemLeavesTheValueWithTheCaller) {
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 20);
        void* value = Mem_allocEx(8, __FILE__, __LINE__);
        Mem_failAfter(n);
        unsigned int err = 0;
        ZLifelogActivityItem* item = ZLifelogActivityItem_new("CLOG_DURATION", value, 3, &err);
        Mem_failAfter(0);
        if (item != nullptr) {
            EXPECT_EQ(err, 0u);
            EXPECT_STREQ(ZLifelogActivityItem_getKey(item), "CLOG_DURATION");
            ZLifelogActivityItem_delete(item);
            EXPECT_EQ(Mem_getLiveCount(), 0);
            break;
        }
        EXPECT_NE(err, 0u);
        if (n == 1) {
            EXPECT_EQ(err, 1u);  // the record itself
        }
        EXPECT_EQ(Mem_getLiveCount(), 1);  // only the value, still the caller's
        Mem_freeEx(value, __FILE__, __LINE__);
    }
}

}  // namespace
