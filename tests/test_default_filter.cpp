// The configuration file as the library reads it: which kinds the default
// filter lets through, and the maximum row count per table.
#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase_testing.h"
#include "zkivLifelogActivity.h"
#include "zkivLifeloggerDefaultFilter.h"
#include "zkivLifeloggingServiceUtil.h"

namespace {

using DefaultFilterTest = LifelogTest;

struct ConfigCase {
    const char* config = nullptr;  // nullptr: no file
    const char* activity;
    int loggable;
    int maxCount;
    const char* filterError = nullptr;  // the error line of each reader, if any
    const char* maxError = nullptr;
};

// The cases run one after the other on one filter: each decision reads the
// file as it is now, so a filter that kept an earlier answer fails here.
TEST_F(DefaultFilterTest, OnlyTrueSwitchesAKindOnAndTheMaximumIsRead) {
    const char* noFile = "/System/Lifelog/lifelogconf.ini file open failed";
    const char* noSection = "Registry_getValue section not found";
    const char* noKey = "Registry_getValue key not found";
    const std::string filterName = "__DefaultFilter_isLoggable";
    const ConfigCase cases[] = {
        {.config = "[ACTIVITY]\nACTIVITY_CALL=TRUE\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=20\n",
         .activity = "ACTIVITY_CALL",
         .loggable = 1,
         .maxCount = 20},
        {.config = "[ACTIVITY]\nACTIVITY_CALL=yes\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=0\n",
         .activity = "ACTIVITY_CALL",
         .loggable = 0,
         .maxCount = 0},
        {.config = "[ACTIVITY]\nACTIVITY_MEDIA = true\n",
         .activity = "ACTIVITY_MEDIA",
         .loggable = 1,
         .maxCount = 500,
         .maxError = "ACTIVITY_CONFIG: Registry_getValue section not found"},
        {.config = "[ACTIVITY]\nACTIVITY_MEDIA=1\n[ACTIVITY_CONFIG]\nOTHER=3\n",
         .activity = "ACTIVITY_MEDIA",
         .loggable = 0,
         .maxCount = 500,
         .maxError = "MAX_COUNT_PER_ACTIVITY: Registry_getValue key not found"},
        {.config = "[ACTIVITY]\nACTIVITY_CALL=TRUE\n[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=x\n",
         .activity = "ACTIVITY_MESSAGE",
         .loggable = 0,
         .maxCount = 500,
         .filterError = noKey,
         .maxError = "Registry_getValue failed "},
        {.config = "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=3\n",
         .activity = "ACTIVITY_CALL",
         .loggable = 0,
         .maxCount = 3,
         .filterError = noSection},
        {.activity = "ACTIVITY_CALL",
         .loggable = 0,
         .maxCount = 500,
         .filterError = noFile,
         .maxError = noFile},
    };
    unsigned int err = 0;
    Filter* filter = __DefaultFilter_new(&err);
    ASSERT_EQ(err, 0u);
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.config != nullptr ? c.config : "no file");
        std::filesystem::remove(hostPath(kConfigPath));
        if (c.config != nullptr)
            writeConfig(c.config);
        clearLog();
        ZLifelogActivity* activity = ZLifelogActivity_new(c.activity, &err);
        EXPECT_EQ(filter->ops->isLoggable(filter, activity), c.loggable);
        ZLifelogActivity_delete(activity);
        EXPECT_EQ(_Lifelog_getMaxlogNumPerActivity(), c.maxCount);
        std::vector<std::string> errors;
        if (c.filterError != nullptr)
            errors.push_back(filterName + "|" + filterName + ": " + c.filterError);
        if (c.maxError != nullptr)
            errors.push_back(std::string("_Lifelog_getMaxlogNumPerActivity|") + c.maxError);
        EXPECT_EQ(logTexts(kError), errors);
    }
    __DefaultFilter_delete(filter);
}

TEST_F(DefaultFilterTest, FailedConstructionLeavesNothing) {
    const long live = Mem_getLiveCount();
    bool made = false;
    for (long n = 1; !made; ++n) {
        SCOPED_TRACE(n);
        unsigned int err = 0;
        Mem_failAfter(n);
        Filter* filter = __DefaultFilter_new(&err);
        Mem_failAfter(0);
        made = filter != nullptr;
        EXPECT_EQ(made, err == 0);
        __DefaultFilter_delete(filter);
        EXPECT_EQ(Mem_getLiveCount(), live);
    }
}

}  // namespace
