// Activities: their own copy of the name, no id yet, and refusal of a null item.
// Item order, value types and release with the activity show in the console
// lines of test_pipeline; allocation failures in its constructor loop.
#include "fixture.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"

namespace {

class ActivityTest : public LifelogTest {};

TEST_F(ActivityTest, KeepsItsOwnNameAndRefusesANullItem) {
    char name[] = "ACTIVITY_CALL";
    unsigned int err = 99;
    ZLifelogActivity* activity = ZLifelogActivity_new(name, &err);
    ASSERT_NE(activity, nullptr);
    EXPECT_EQ(err, 0u);
    name[0] = 'X';
    EXPECT_STREQ(ZLifelogActivity_getName(activity), "ACTIVITY_CALL");
    EXPECT_EQ(ZLifelogActivity_getId(activity), -1);
    ZLifelogActivityItem* item = ZLifelogActivityItem_new("CLOG_TYPE", nullptr, 0, &err);
    for (auto [to, what] : {std::pair{activity, item}, {nullptr, item}, {activity, nullptr}}) {
        ZLifelogActivity_addActivityItem(to, what, &err);
        EXPECT_EQ(err, to && what ? 0u : 7u);
    }
    EXPECT_EQ(countLog(kError, "pThis == null or logActivityItem == null", 10,
                       "ZLifelogActivity_addActivityItem"),
              2);
    EXPECT_EQ(List_size(ZLifelogActivity_getAllActivityItems(activity)), 1);
    ZLifelogActivity_delete(activity);
}

}  // namespace
