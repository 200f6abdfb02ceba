// The configuration file as the library reads it: which kinds the default
// filter lets through, and the maximum row count per table.
#include <string>
#include <vector>

#include "fixture.h"
#include "zbase.h"
#include "zbase_testing.h"
#include "zkivLifelogActivity.h"
#include "zkivLifelogActivityItem.h"
#include "zkivLifelogger.h"
#include "zkivLifeloggerDBHandle.h"
#include "zkivLifeloggerDefaultFilter.h"
#include "zkivLifeloggingHandler.h"
#include "zkivLifeloggingServiceUtil.h"

namespace {

constexpr const char* kFilterName = "__DefaultFilter_isLoggable";
constexpr const char* kMaxName = "_Lifelog_getMaxlogNumPerActivity";
constexpr const char* kNoFile = nullptr;

class DefaultFilterTest : public LifelogTest {
  protected:
    void SetUp() override {
        LifelogTest::SetUp();
        unsigned int err = 99;
        filter_ = __DefaultFilter_new(&err);
        ASSERT_EQ(err, 0u);
        ASSERT_NE(filter_, nullptr);
    }
    void TearDown() override {
        if (filter_ != nullptr)
            filter_->ops->delete_(filter_);
        LifelogTest::TearDown();
    }

    int loggable(const char* name) {
        unsigned int err = 0;
        ZLifelogActivity* activity = ZLifelogActivity_new(name, &err);
        EXPECT_EQ(err, 0u);
        int result = filter_->ops->isLoggable(filter_, activity);
        ZLifelogActivity_delete(activity);
        return result;
    }

    void useConfig(const char* text) {
        std::filesystem::remove(hostPath(kConfigPath));
        if (text != nullptr)
            writeConfig(text);
        clearLog();
    }

    Filter* filter_ = nullptr;
};

struct FilterCase {
    const char* label;
    const char* config;  // nullptr: no file
    const char* activity;
    int expected;
    std::vector<std::string> errors;  // "function|text" of every error line
};

TEST_F(DefaultFilterTest, ConfigurationSwitchesKindsOn) {
    const std::string fileMissing =
        std::string(kFilterName) + "|" + kFilterName + ": " + kConfigPath + " file open failed";
    const std::string keyMissing =
        std::string(kFilterName) + "|" + kFilterName + ": Registry_getValue key not found";
    const std::string sectionMissing =
        std::string(kFilterName) + "|" + kFilterName + ": Registry_getValue section not found";
    const FilterCase cases[] = {
        {"no file", kNoFile, "ACTIVITY_CALL", 0, {fileMissing}},
        {"TRUE", "[ACTIVITY]\nACTIVITY_CALL=TRUE\n", "ACTIVITY_CALL", 1, {}},
        {"true with blanks", "[ACTIVITY]\nACTIVITY_MEDIA = true\n", "ACTIVITY_MEDIA", 1, {}},
        {"True", "[ACTIVITY]\nACTIVITY_PHOTO=True\n", "ACTIVITY_PHOTO", 1, {}},
        {"yes", "[ACTIVITY]\nACTIVITY_CALL=yes\n", "ACTIVITY_CALL", 0, {}},
        {"1", "[ACTIVITY]\nACTIVITY_CALL=1\n", "ACTIVITY_CALL", 0, {}},
        {"false", "[ACTIVITY]\nACTIVITY_CALL=false\n", "ACTIVITY_CALL", 0, {}},
        {"true followed by more", "[ACTIVITY]\nACTIVITY_CALL=trueish\n", "ACTIVITY_CALL", 0, {}},
        {"other kind missing",
         "[ACTIVITY]\nACTIVITY_CALL=TRUE\n",
         "ACTIVITY_MESSAGE",
         0,
         {keyMissing}},
        {"section missing",
         "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=3\n",
         "ACTIVITY_CALL",
         0,
         {sectionMissing}},
        {"key in another section",
         "[OTHER]\nACTIVITY_CALL=true\n[ACTIVITY]\nX=1\n",
         "ACTIVITY_CALL",
         0,
         {keyMissing}},
        {"value past the buffer",
         "[ACTIVITY]\nACTIVITY_CALL=trueeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee"
         "eeeeeeeeeee\n",
         "ACTIVITY_CALL",
         0,
         {}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.label);
        useConfig(c.config);
        EXPECT_EQ(loggable(c.activity), c.expected);
        EXPECT_EQ(logTexts(kError), c.errors);
    }
}

TEST_F(DefaultFilterTest, ChangedFileDecidesTheNextActivity) {
    useConfig("[ACTIVITY]\nACTIVITY_MESSAGE=true\n");
    EXPECT_EQ(loggable("ACTIVITY_MESSAGE"), 1);
    useConfig("[ACTIVITY]\nACTIVITY_MESSAGE=false\n");
    EXPECT_EQ(loggable("ACTIVITY_MESSAGE"), 0);
    useConfig("[ACTIVITY]\nACTIVITY_MESSAGE=TRUE\n");
    EXPECT_EQ(loggable("ACTIVITY_MESSAGE"), 1);
    useConfig(kNoFile);
    EXPECT_EQ(loggable("ACTIVITY_MESSAGE"), 0);
}

TEST_F(DefaultFilterTest, NullNameIsNotLoggable) {
    useConfig("[ACTIVITY]\nACTIVITY_CALL=true\n");
    EXPECT_EQ(filter_->ops->isLoggable(filter_, nullptr), 0);
    EXPECT_EQ(logTexts(kError), std::vector<std::string>{std::string(kFilterName) + "|" +
                                                         kFilterName + ": activityName is null"});
}

TEST_F(DefaultFilterTest, FilterIsItsOwnInterface) {
    auto* record = reinterpret_cast<DefaultFilter*>(filter_);
    EXPECT_EQ(record->impl, record);
    EXPECT_NE(record->mutex, nullptr);
    EXPECT_EQ(filter_->ops->isLoggable, &__DefaultFilter_isLoggable);
    EXPECT_EQ(filter_->ops->delete_, &__DefaultFilter_delete);
    __DefaultFilter_delete(nullptr);  // nothing happens
}

TEST_F(DefaultFilterTest, FailedConstructionLeavesNothing) {
    const long live = Mem_getLiveCount();
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        Mem_failAfter(n);
        unsigned int err = 0;
        Filter* made = __DefaultFilter_new(&err);
        Mem_failAfter(0);
        if (made != nullptr) {
            EXPECT_EQ(err, 0u);
            __DefaultFilter_delete(made);
            EXPECT_EQ(Mem_getLiveCount(), live);
            break;
        }
        EXPECT_NE(err, 0u);
        EXPECT_EQ(Mem_getLiveCount(), live);
    }
}

struct MaxCase {
    const char* label;
    const char* config;
    int expected;
    std::vector<std::string> errors;
};

TEST_F(DefaultFilterTest, MaximumRowCount) {
    const std::string fn = std::string(kMaxName) + "|";
    const MaxCase cases[] = {
        {"no file", kNoFile, 500, {fn + kConfigPath + " file open failed"}},
        {"configured", "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=20\n", 20, {}},
        {"zero is used as is", "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=0\n", 0, {}},
        {"negative is used as is", "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=-4\n", -4, {}},
        {"section missing",
         "[ACTIVITY]\nACTIVITY_CALL=true\n",
         500,
         {fn + "ACTIVITY_CONFIG: Registry_getValue section not found"}},
        {"key missing",
         "[ACTIVITY_CONFIG]\nOTHER=3\n",
         500,
         {fn + "MAX_COUNT_PER_ACTIVITY: Registry_getValue key not found"}},
        {"not a number",
         "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY=many\n",
         500,
         {fn + "Registry_getValue failed "}},
    };
    for (const MaxCase& c : cases) {
        SCOPED_TRACE(c.label);
        useConfig(c.config);
        EXPECT_EQ(_Lifelog_getMaxlogNumPerActivity(), c.expected);
        EXPECT_EQ(logTexts(kError), c.errors);
    }
}

// A logger with the default filter and a database handler stores exactly
// the kinds that the file switches on, re-reading it for every activity.
TEST_F(DefaultFilterTest, LoggerStoresSwitchedOnKinds) {
    unsigned int err = 0;
    ZLifelogger* logger = ZLifelogger_new(&err);
    ASSERT_EQ(err, 0u);
    DBHandle* dbHandle = DBHandle_new(kDbPath, 500, &err);
    ASSERT_EQ(err, 0u);
    ZLifelogger_addHandler(
        logger, ZLifeloggingHandler_new(reinterpret_cast<Handle*>(dbHandle), &err), &err);
    ASSERT_EQ(err, 0u);
    ZLifelogger_setFilter(logger, filter_, &err);
    ASSERT_EQ(err, 0u);
    filter_ = nullptr;  // the logger owns it now

    auto log = [&](const char* name, const char* key) {
        ZLifelogActivity* activity = ZLifelogActivity_new(name, &err);
        ZLifelogActivity_addActivityItem(
            activity, ZLifelogActivityItem_new(key, String_newByString("x", &err), 2, &err), &err);
        ZLifelogger_log(logger, activity, &err);
        EXPECT_EQ(err, 0u);
        ZLifelogActivity_delete(activity);
    };
    struct Case {
        const char* config;
        const char* name;
        const char* key;
        const char* table;
        int rows;
    } cases[] = {
        {"[ACTIVITY]\nACTIVITY_CALL=TRUE\n", "ACTIVITY_CALL", "CLOG_PHONE_NUMBER", "ACTIVITY_CALL",
         1},
        {"[ACTIVITY]\nACTIVITY_CALL=TRUE\n", "ACTIVITY_MESSAGE", "MSGLOG_PHONE_NUMBER",
         "ACTIVITY_MESSAGE", 0},
        {"[ACTIVITY]\nACTIVITY_MESSAGE=true\n", "ACTIVITY_MESSAGE", "MSGLOG_PHONE_NUMBER",
         "ACTIVITY_MESSAGE", 1},
        {"[ACTIVITY]\nACTIVITY_MESSAGE=true\n", "ACTIVITY_CALL", "CLOG_PHONE_NUMBER",
         "ACTIVITY_CALL", 1},
        {nullptr, "ACTIVITY_MESSAGE", "MSGLOG_PHONE_NUMBER", "ACTIVITY_MESSAGE", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " under " + (c.config ? c.config : "no file"));
        useConfig(c.config);
        log(c.name, c.key);
        EXPECT_EQ(queryRows(kDbPath, std::string("SELECT COUNT(*) FROM ") + c.table),
                  std::vector<std::vector<std::string>>{{std::to_string(c.rows)}});
    }

    // A database file removed after the handle was made: the handler's open
    // fails, the logger reports it, nothing is created again.
    useConfig("[ACTIVITY]\nACTIVITY_CALL=TRUE\n");
    std::filesystem::remove(hostPath(kDbPath));
    log("ACTIVITY_CALL", "CLOG_PHONE_NUMBER");
    EXPECT_EQ(
        logTexts(kError),
        std::vector<std::string>{"ZLifelogger_log|ZLifelogger_log: log is failed. : E_FAILURE "});
    EXPECT_FALSE(std::filesystem::exists(hostPath(kDbPath)));
    ZLifelogger_delete(logger);
}

}  // namespace
