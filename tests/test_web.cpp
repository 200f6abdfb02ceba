// `lifelog web` as a client sees it: a server over the demo's day, asked
// over HTTP.  What it lists and counts is compared with what a query object
// of this process gives for the same arguments; what it refuses comes back
// as a 400 naming the parameter, with the library's code and text.
#include <functional>
#include <optional>

#include "query_fixture.h"
#include "test_web_server.h"

namespace {

constexpr DateTime kNoon{2024, 6, 14, 12, 0, 0, 0};
constexpr DateTime kDayEnd{2024, 6, 14, 23, 59, 59, 0};

// A query object of this process, released when it goes.
class Object {
public:
    Object(const char* table, std::optional<DateTime> from = std::nullopt,
           std::optional<DateTime> to = std::nullopt, const char* where = nullptr) {
        unsigned int err = 0;
        self_ = __LifelogImpl_new(&err);
        __LifelogImpl_addRef(self_);
        if (from) {
            self_->ops->initialize2(self_, table, *from, *to, &err);
        } else {
            self_->ops->initialize(self_, table, &err);
        }
        EXPECT_EQ(err, 0u) << table;
        if (where != nullptr) {
            self_->ops->setFilter(self_, where, &err);
            EXPECT_EQ(err, 0u) << where;
        }
    }
    ~Object() { __LifelogImpl_release(self_); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    ILifelog* operator->() const { return self_; }
    ILifelog* get() const { return self_; }

private:
    ILifelog* self_ = nullptr;
};

// "LOG_KEY=n" for each row the API listed, as keysOf() reads enumerator rows.
std::vector<std::string> apiKeys(const nlohmann::ordered_json& rows) {
    std::vector<std::string> keys;
    for (const auto& row : rows) {
        keys.push_back("LOG_KEY=" + row["LOG_KEY"].dump());
    }
    return keys;
}

class WebTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        ASSERT_EQ(runTool({"demo"}, root_ / "demo.out"), 0) << slurp(root_ / "demo.out");
        server_.emplace(root_ / "web.err");
        ASSERT_GT(server_->port(), 0) << server_->banner() << server_->errors();
    }
    void TearDown() override {
        // A clean stop: status 0, no tracked block left behind by a request.
        EXPECT_EQ(server_->stop(), 0);
        EXPECT_EQ(server_->errors().find("still alive"), std::string::npos) << server_->errors();
        server_.reset();
        LifelogTest::TearDown();
    }
    std::optional<WebServer> server_;
};

TEST_F(WebTest, ListingsAreWhatTheQueryObjectEnumerates) {
    struct Case {
        const char* kind;
        httplib::Params params;
        const char* table;
        std::optional<DateTime> from{}, to{};
        const char* where = nullptr;
        const char* order;
        int orderType = LIFELOG_ORDER_ASC;
        const char* then = nullptr;
        int thenType = LIFELOG_ORDER_ASC;
        size_t offset = 0;
        size_t limit = 1000;
    };
    const Case cases[] = {
        {.kind = "call", .params = {}, .table = "ACTIVITY_CALL", .order = "CLOG_TIMESTAMP"},
        {.kind = "message",
         .params = {{"from", "2024-06-14 12:00"}, {"to", "2024-06-14"}},
         .table = "ACTIVITY_MESSAGE",
         .from = kNoon,
         .to = kDayEnd,
         .order = "MSGLOG_TIMESTAMP"},
        {.kind = "call",
         .params = {{"where", "CLOG_DURATION > 60"}, {"order", "duration:desc"}},
         .table = "ACTIVITY_CALL",
         .where = "CLOG_DURATION > 60",
         .order = "CLOG_DURATION",
         .orderType = LIFELOG_ORDER_DESC},
        {.kind = "media",
         .params = {{"order", "type"}, {"then", "time:desc"}},
         .table = "ACTIVITY_MEDIA",
         .order = "MDLOG_TYPE",
         .then = "MDLOG_TIMESTAMP",
         .thenType = LIFELOG_ORDER_DESC},
        {.kind = "message",
         .params = {{"limit", "2"}, {"offset", "1"}, {"order", "number"}},
         .table = "ACTIVITY_MESSAGE",
         .order = "MSGLOG_PHONE_NUMBER",
         .offset = 1,
         .limit = 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " ordered by " + c.order);
        Object object(c.table, c.from, c.to, c.where);
        unsigned int err = 0;
        if (c.then != nullptr) {
            object->ops->setSortOrder2(object.get(), c.order, c.orderType, c.then, c.thenType,
                                       &err);
        } else {
            object->ops->setSortOrder(object.get(), c.order, c.orderType, &err);
        }
        ASSERT_EQ(err, 0u);
        std::vector<std::string> all =
            keysOf(drain(object->ops->getEnumerator(object.get(), &err)));
        ASSERT_FALSE(all.empty());
        std::vector<std::string> expected(
            all.begin() + static_cast<long>(std::min(c.offset, all.size())),
            all.begin() + static_cast<long>(std::min(c.offset + c.limit, all.size())));

        Answer answer = server_->get(std::string("/api/") + c.kind, c.params);
        ASSERT_EQ(answer.status, 200) << answer.body.dump();
        EXPECT_EQ(apiKeys(answer.body["rows"]), expected);
        EXPECT_EQ(answer.body["total"], all.size());
    }
}

TEST_F(WebTest, AggregatesAreWhatTheQueryObjectAnswers) {
    using Text = std::function<std::string(ILifelog*)>;
    using ApiText = std::function<std::string(const nlohmann::ordered_json&)>;
    auto rows = [](const nlohmann::ordered_json& body) {
        std::string text;
        for (const std::string& key : apiKeys(body["rows"])) {
            text += key + ";";
        }
        return text;
    };
    auto enumerated = [](ZLifelogEnumerator* enumerator) {
        std::string text;
        for (const std::string& key : keysOf(drain(enumerator))) {
            text += key + ";";
        }
        return text;
    };
    struct Case {
        const char* path;
        httplib::Params params;
        const char* table;
        const char* where = nullptr;
        Text object;
        ApiText api;
    };
    unsigned int err = 0;
    const Case cases[] = {
        {.path = "/api/call/count",
         .params = {{"where", "CLOG_DIRECTION = 2"}},
         .table = "ACTIVITY_CALL",
         .where = "CLOG_DIRECTION = 2",
         .object = [&](ILifelog* o) { return std::to_string(o->ops->getCount(o, &err)); },
         .api = [](const nlohmann::ordered_json& b) { return b["count"].dump(); }},
        {.path = "/api/call/sum",
         .params = {{"column", "duration"}},
         .table = "ACTIVITY_CALL",
         .object =
             [&](ILifelog* o) { return std::to_string(o->ops->getSum(o, "CLOG_DURATION", &err)); },
         .api = [](const nlohmann::ordered_json& b) { return b["sum"].dump(); }},
        {.path = "/api/media/avg",
         .params = {{"column", "MDLOG_PLAY_TIME"}},
         .table = "ACTIVITY_MEDIA",
         .object =
             [&](ILifelog* o) {
                 return std::to_string(o->ops->getAverage(o, "MDLOG_PLAY_TIME", &err));
             },
         .api =
             [](const nlohmann::ordered_json& b) {
                 return std::to_string(b["average"].get<double>());
             }},
        {.path = "/api/call/max",
         .params = {{"column", "duration"}},
         .table = "ACTIVITY_CALL",
         .object =
             [&](ILifelog* o) { return enumerated(o->ops->findMaxLogs(o, "CLOG_DURATION", &err)); },
         .api = rows},
        {.path = "/api/message/min",
         .params = {{"column", "type"}, {"where", "MSGLOG_DIRECTION = 1"}},
         .table = "ACTIVITY_MESSAGE",
         .where = "MSGLOG_DIRECTION = 1",
         .object =
             [&](ILifelog* o) { return enumerated(o->ops->findMinLogs(o, "MSGLOG_TYPE", &err)); },
         .api = rows},
        {.path = "/api/message/top",
         .params = {{"column", "number"}, {"n", "3"}},
         .table = "ACTIVITY_MESSAGE",
         .object =
             [&](ILifelog* o) {
                 std::string text;
                 for (const std::string& row :
                      drain(o->ops->getMostOccurredValues(o, "MSGLOG_PHONE_NUMBER", 3, &err))) {
                     text += row.substr(row.rfind('|') + 1) + ";";
                 }
                 return text;
             },
         .api =
             [](const nlohmann::ordered_json& b) {
                 std::string text;
                 for (const auto& v : b["values"]) {
                     text += "MSGLOG_PHONE_NUMBER='" + v["value"].get<std::string>() +
                             "' OCCURRED_COUNT=" + v["count"].dump() + ";";
                 }
                 return text;
             }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Object object(c.table, std::nullopt, std::nullopt, c.where);
        std::string expected = c.object(object.get());
        ASSERT_EQ(err, 0u);
        ASSERT_NE(expected, "");
        Answer answer = server_->get(c.path, c.params);
        ASSERT_EQ(answer.status, 200) << answer.body.dump();
        EXPECT_EQ(c.api(answer.body), expected);
    }
}

TEST_F(WebTest, RowsCarryIsoTimeAndEveryColumnByName) {
    Answer answer = server_->get("/api/call", {{"limit", "1"}});
    ASSERT_EQ(answer.status, 200);
    ASSERT_EQ(answer.body["rows"].size(), 1u);
    const nlohmann::ordered_json& row = answer.body["rows"][0];
    std::vector<std::string> names;
    for (const auto& [name, value] : row.items()) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"time", "LOG_KEY", "CLOG_DIRECTION", "CLOG_DURATION",
                                               "CLOG_TYPE", "CLOG_PHONE_NUMBER", "CLOG_NAME",
                                               "CLOG_CELLID", "CLOG_LAC", "CLOG_MCC", "CLOG_MNC",
                                               "LOCATION", "CLOG_TIMESTAMP"}));
    std::string stored = row["CLOG_TIMESTAMP"];
    EXPECT_EQ(row["time"], stored.substr(0, 10) + "T" + stored.substr(11));

    Answer config = server_->get("/api/config");
    ASSERT_EQ(config.status, 200);
    EXPECT_EQ(config.body["database"], hostPath(kDbPath).string());
    for (const auto& kind : config.body["kinds"]) {
        EXPECT_TRUE(kind["on"].get<bool>()) << kind["kind"];
    }
}

TEST_F(WebTest, RefusalsNameTheParameterAndChangeNothing) {
    struct Case {
        const char* path;
        httplib::Params params;
        int status;
        const char* parameter;
        int code = 0;  // the library's, when it refused
    };
    const Case cases[] = {
        {.path = "/api/call",
         .params = {{"where", "DURATION > 60"}},
         .status = 400,
         .parameter = "where",
         .code = 4},
        {.path = "/api/message",
         .params = {{"where", "1; DROP TABLE ACTIVITY_MESSAGE"}},
         .status = 400,
         .parameter = "where",
         .code = 4},
        {.path = "/api/message",
         .params = {{"where", "MSGLOG_SUMMARY = 'x"}},
         .status = 400,
         .parameter = "where",
         .code = 4},
        {.path = "/api/call/count",
         .params = {{"where", std::string(3000, '1')}},
         .status = 400,
         .parameter = "where",
         .code = 4},
        {.path = "/api/call", .params = {{"order", "colour"}}, .status = 400, .parameter = "order"},
        {.path = "/api/call",
         .params = {{"order", "time:sideways"}},
         .status = 400,
         .parameter = "order"},
        {.path = "/api/media", .params = {{"then", "nope"}}, .status = 400, .parameter = "then"},
        {.path = "/api/call",
         .params = {{"from", "yesterday"}},
         .status = 400,
         .parameter = "from"},
        {.path = "/api/call", .params = {{"to", "2024-02-30"}}, .status = 400, .parameter = "to"},
        {.path = "/api/call", .params = {{"limit", "-1"}}, .status = 400, .parameter = "limit"},
        {.path = "/api/call/sum", .params = {}, .status = 400, .parameter = "column"},
        {.path = "/api/call/max",
         .params = {{"column", "colour"}},
         .status = 400,
         .parameter = "column"},
        {.path = "/api/call/top",
         .params = {{"column", "number"}, {"n", "0"}},
         .status = 400,
         .parameter = "n"},
        {.path = "/api/calls", .params = {}, .status = 404, .parameter = "kind"},
        {.path = "/api/call/median",
         .params = {{"column", "duration"}},
         .status = 404,
         .parameter = nullptr},
    };
    std::string before = queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_MESSAGE")[0][0];
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " +
                     (c.params.empty() ? "" : c.params.begin()->second.substr(0, 40)));
        Answer answer = server_->get(c.path, c.params);
        EXPECT_EQ(answer.status, c.status) << answer.body.dump();
        ASSERT_TRUE(answer.body.is_object());
        EXPECT_FALSE(answer.body.value("error", "").empty());
        if (c.parameter != nullptr) {
            EXPECT_EQ(answer.body.value("parameter", ""), c.parameter);
        }
        if (c.code != 0) {
            EXPECT_EQ(answer.body["code"], c.code);
            EXPECT_EQ(answer.body["codeText"], Exception_toString(c.code));
        } else {
            EXPECT_FALSE(answer.body.contains("code"));
        }
    }
    EXPECT_EQ(queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_MESSAGE")[0][0], before);

    httplib::Client client("127.0.0.1", server_->port());
    for (const char* method : {"POST", "PUT", "DELETE"}) {
        httplib::Request request;
        request.method = method;
        request.path = "/api/call";
        httplib::Result result = client.send(request);
        ASSERT_TRUE(result) << method;
        EXPECT_EQ(result->status, 405) << method;
    }
}

TEST_F(WebTest, PageIsOneFileThatFetchesOnlyTheApi) {
    httplib::Client client("127.0.0.1", server_->port());
    httplib::Result page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    // Style and script are inline: no other file, nothing from elsewhere.
    for (const char* outside : {"src=", "href=", "https:", "@import", "url(", "//cdn"}) {
        EXPECT_EQ(page->body.find(outside), std::string::npos) << outside;
    }
    // The one address in it is the SVG namespace, which names, never loads.
    const std::string svg = "http://www.w3.org/2000/svg";
    for (size_t at = page->body.find("http:"); at != std::string::npos;
         at = page->body.find("http:", at + 1)) {
        EXPECT_EQ(page->body.compare(at, svg.size(), svg), 0) << page->body.substr(at, 60);
    }
    EXPECT_NE(page->body.find("<style>"), std::string::npos);
    EXPECT_NE(page->body.find("'use strict'"), std::string::npos);
}

TEST_F(WebTest, BindingBeyondThisMachineWarns) {
    EXPECT_NE(server_->banner().find("http://127.0.0.1:"), std::string::npos);
    EXPECT_EQ(server_->errors(), "");
    WebServer open(root_ / "open.err", "0.0.0.0");
    ASSERT_GT(open.port(), 0) << open.errors();
    EXPECT_EQ(open.stop(), 0);
    EXPECT_NE(open.errors().find("readable by anyone who can reach port"), std::string::npos)
        << open.errors();
}

}  // namespace
