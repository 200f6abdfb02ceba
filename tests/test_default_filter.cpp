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
    // The bodies of the two sections; no file when both are empty.
    std::string kinds = "", limits = "";
    const char* kind;
    int on = 0;                         // whether the filter lets the kind through
    int max = 500;                      // the maximum row count read
    const char* filterError = nullptr;  // the error line of each reader, if any
    const char* maxError = nullptr;
};

// The cases run one after the other on one filter: each decision reads the
// file as it is now, so a filter that kept an earlier answer fails here.
TEST_F(DefaultFilterTest, OnlyTrueSwitchesAKindOnAndTheMaximumIsRead) {
    const char* noFile = "/System/Lifelog/lifelogconf.ini file open failed";
    const char* noSection = "Registry_getValue section not found";
    const char* noKey = "Registry_getValue key not found";
    const char *call = "ACTIVITY_CALL", *media = "ACTIVITY_MEDIA", *message = "ACTIVITY_MESSAGE";
    const std::string filterName = "__DefaultFilter_isLoggable", m = "MAX_COUNT_PER_ACTIVITY=";
    const ConfigCase cases[] = {
        {.kinds = "ACTIVITY_CALL=TRUE", .limits = m + "20", .kind = call, .on = 1, .max = 20},
        {.kinds = "ACTIVITY_CALL=yes", .limits = m + "0", .kind = call, .max = 0},
        {.kinds = "ACTIVITY_MEDIA = true",
         .kind = media,
         .on = 1,
         .maxError = "ACTIVITY_CONFIG: Registry_getValue section not found"},
        {.kinds = "ACTIVITY_MEDIA=1",
         .limits = "OTHER=3",
         .kind = media,
         .maxError = "MAX_COUNT_PER_ACTIVITY: Registry_getValue key not found"},
        {.kinds = "ACTIVITY_CALL=TRUE",
         .limits = m + "x",
         .kind = message,
         .filterError = noKey,
         .maxError = "Registry_getValue failed "},
        {.limits = m + "3", .kind = call, .max = 3, .filterError = noSection},
        {.kind = call, .filterError = noFile, .maxError = noFile},
    };
    unsigned int err = 0;
    Filter* filter = __DefaultFilter_new(&err);
    ASSERT_EQ(err, 0u);
    for (const ConfigCase& c : cases) {
        const std::string config =
            (c.kinds.empty() ? "" : "[ACTIVITY]\n" + c.kinds + "\n") +
            (c.limits.empty() ? "" : "[ACTIVITY_CONFIG]\n" + c.limits + "\n");
        SCOPED_TRACE(config);
        std::filesystem::remove(hostPath(kConfigPath));
        if (!config.empty())
            writeConfig(config);
        clearLog();
        ZLifelogActivity* activity = ZLifelogActivity_new(c.kind, &err);
        EXPECT_EQ(filter->ops->isLoggable(filter, activity), c.on);
        ZLifelogActivity_delete(activity);
        EXPECT_EQ(_Lifelog_getMaxlogNumPerActivity(), c.max);
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
