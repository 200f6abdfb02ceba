// `lifelog web` as a client sees it: a server over the demo's day, asked
// over HTTP.  What it lists and counts is compared with what a query object
// of this process gives for the same arguments; what it refuses comes back
// as a 400 naming the parameter, with the library's code and text.
#include <cctype>

#include "query_fixture.h"
#include "test_web_server.h"

namespace {

constexpr DateTime kNoon{2024, 6, 14, 12, 0, 0, 0};
constexpr DateTime kDayEnd{2024, 6, 14, 23, 59, 59, 0};
using Rows = std::vector<std::string>;

// "LOG_KEY=n" for each row the API listed, as keysOf() reads enumerator rows.
Rows apiKeys(const nlohmann::ordered_json& rows) {
    Rows keys;
    for (const auto& row : rows) keys.push_back("LOG_KEY=" + row["LOG_KEY"].dump());
    return keys;
}

// "/api/<kind>..." asks for the table ACTIVITY_<KIND>.
std::string tableOf(const std::string& path) {
    std::string kind = path.substr(5, path.find('/', 5) - 5);
    for (char& c : kind) c = static_cast<char>(std::toupper(c));
    return "ACTIVITY_" + kind;
}

// The demo's day under a server; query objects of this process (QueryTest's,
// without its database: the demo makes its own) give what the API must answer.
class WebTest : public QueryTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        from_ = kNoon, to_ = kDayEnd;
        ToolRun demo = runTool({"demo"});
        ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
        server_.emplace();
        ASSERT_GT(server_->port(), 0) << server_->banner() << server_->errors();
    }
    void TearDown() override {
        // A clean stop: status 0, no tracked block left behind by a request.
        EXPECT_EQ(server_->stop(), 0);
        EXPECT_EQ(server_->errors().find("still alive"), std::string::npos) << server_->errors();
        server_.reset();
        QueryTest::TearDown();
    }
    // Over the table of `path`, the whole day or its afternoon, with the
    // request's where text as its filter.
    ILifelog* object(const std::string& path, const httplib::Params& query,
                     bool afternoon = false) {
        const auto where = query.find("where");
        return open(tableOf(path).c_str(), afternoon,
                    where != query.end() ? where->second.c_str() : nullptr);
    }
    std::optional<WebServer> server_;
};

TEST_F(WebTest, ListingsAreWhatTheQueryObjectEnumerates) {
    const int desc = LIFELOG_ORDER_DESC;
    const struct {
        const char* path;
        httplib::Params query = {};
        const char* order;
        int orderType = LIFELOG_ORDER_ASC;
        const char* then = nullptr;
        int thenType = LIFELOG_ORDER_ASC;
        bool afternoon = false;
        size_t offset = 0, limit = 1000;
    } cases[] = {
        {.path = "/api/call", .order = "CLOG_TIMESTAMP"},
        {.path = "/api/message",
         .query = {{"from", "2024-06-14 12:00"}, {"to", "2024-06-14"}},
         .order = "MSGLOG_TIMESTAMP",
         .afternoon = true},
        {.path = "/api/call",
         .query = {{"where", "CLOG_DURATION > 60"}, {"order", "duration:desc"}},
         .order = "CLOG_DURATION",
         .orderType = desc},
        {.path = "/api/media",
         .query = {{"order", "type"}, {"then", "time:desc"}},
         .order = "MDLOG_TYPE",
         .then = "MDLOG_TIMESTAMP",
         .thenType = desc},
        {.path = "/api/message",
         .query = {{"limit", "2"}, {"offset", "1"}, {"order", "number"}},
         .order = "MSGLOG_PHONE_NUMBER",
         .offset = 1,
         .limit = 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " ordered by " + c.order);
        ILifelog* o = object(c.path, c.query, c.afternoon);
        unsigned int err = 0;
        c.then ? o->ops->setSortOrder2(o, c.order, c.orderType, c.then, c.thenType, &err)
               : o->ops->setSortOrder(o, c.order, c.orderType, &err);
        ASSERT_EQ(err, 0u);
        const Rows all = keysOf(drain(o->ops->getEnumerator(o, &err)));
        ASSERT_FALSE(all.empty());
        const auto at = [&](size_t n) { return all.begin() + std::min(n, all.size()); };
        Answer answer = server_->get(c.path, c.query);
        ASSERT_EQ(answer.status, 200) << answer.body.dump();
        EXPECT_EQ(apiKeys(answer.body["rows"]), Rows(at(c.offset), at(c.offset + c.limit)));
        EXPECT_EQ(answer.body["total"], all.size());
    }
}

TEST_F(WebTest, AggregatesAreWhatTheQueryObjectAnswers) {
    using enum Op;
    const struct {
        const char* path;
        httplib::Params query = {};
        Op op;
        const char* column = nullptr;
    } cases[] = {
        {.path = "/api/call/count", .query = {{"where", "CLOG_DIRECTION = 2"}}, .op = Count},
        {.path = "/api/call/sum",
         .query = {{"column", "duration"}},
         .op = Sum,
         .column = "CLOG_DURATION"},
        {.path = "/api/media/avg",
         .query = {{"column", "MDLOG_PLAY_TIME"}},
         .op = Average,
         .column = "MDLOG_PLAY_TIME"},
        {.path = "/api/call/max",
         .query = {{"column", "duration"}},
         .op = Max,
         .column = "CLOG_DURATION"},
        {.path = "/api/message/min",
         .query = {{"column", "type"}, {"where", "MSGLOG_DIRECTION = 1"}},
         .op = Min,
         .column = "MSGLOG_TYPE"},
        {.path = "/api/message/top",
         .query = {{"column", "number"}, {"n", "2"}},
         .op = Most,
         .column = "MSGLOG_PHONE_NUMBER"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        unsigned int err = 0, endErr = 0;
        const Rows rows = run(object(c.path, c.query), c.op, c.column, &err, &endErr);
        ASSERT_EQ(err, 0u);
        ASSERT_FALSE(rows.empty());
        Answer answer = server_->get(c.path, c.query);
        ASSERT_EQ(answer.status, 200) << answer.body.dump();
        const nlohmann::ordered_json& body = answer.body;
        Rows api;
        char value[32];
        if (c.op >= Count) {
            const char* names[] = {"count", "sum", "average"};
            std::snprintf(value, sizeof value, "%g",
                          body[names[int(c.op) - int(Count)]].get<double>());
            api.push_back(value);
        }
        for (const auto& v : body.value("values", nlohmann::ordered_json::array()))
            api.push_back("ACTIVITY_MESSAGE|0000-00-00 00:00:00|<null>|MSGLOG_PHONE_NUMBER='" +
                          v["value"].get<std::string>() + "' OCCURRED_COUNT=" + v["count"].dump());
        EXPECT_EQ(c.op == Max || c.op == Min ? apiKeys(body["rows"]) : api,
                  c.op == Max || c.op == Min ? keysOf(rows) : rows);
    }
}

// Per day and per hour of the week, against SQLite's own grouping of the
// same rows.
TEST_F(WebTest, DaysAndHoursAreWhatTheTableHolds) {
    const struct {
        const char* path;
        httplib::Params query;
        const char* where;  // the same rows in SQL
    } cases[] = {
        {"/api/call/days", {}, "1"},
        {"/api/message/days",
         {{"from", "2024-06-14 12:00"}, {"to", "2024-06-14"}},
         "MSGLOG_TIMESTAMP BETWEEN '2024-06-14 12:00:00' AND '2024-06-14 23:59:59'"},
        {"/api/call/days", {{"contains", "0900"}}, "CLOG_PHONE_NUMBER LIKE '%0900%'"},
        {"/api/media/days",
         {{"to", "2024-06-14T09:30"}},
         "MDLOG_TIMESTAMP <= '2024-06-14 09:30:00'"},
        {"/api/message/days", {{"from", "2024-06-15"}, {"to", "2024-06-16"}}, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " where " + c.where);
        const std::string table = tableOf(c.path);
        const std::string time = table == "ACTIVITY_CALL"      ? "CLOG_TIMESTAMP"
                                 : table == "ACTIVITY_MESSAGE" ? "MSGLOG_TIMESTAMP"
                                                               : "MDLOG_TIMESTAMP";
        const std::string seconds = table == "ACTIVITY_CALL" ? "TOTAL(CLOG_DURATION)" : "0";
        const std::string from = " FROM " + table + " WHERE " + c.where;
        Answer answer = server_->get(c.path, c.query);
        ASSERT_EQ(answer.status, 200) << answer.body.dump();
        const nlohmann::ordered_json& body = answer.body;
        std::vector<std::vector<std::string>> days, hours;
        for (const auto& day : body["days"])
            days.push_back({day["day"], day["count"].dump(),
                            day.contains("seconds") ? day["seconds"].dump() : "0"});
        for (int weekday = 0; weekday < 7; ++weekday)
            for (int hour = 0; hour < 24; ++hour)
                if (body["hours"][weekday][hour] != 0)
                    hours.push_back({std::to_string(weekday), std::to_string(hour),
                                     body["hours"][weekday][hour].dump()});
        EXPECT_EQ(days,
                  queryRows(kDbPath, "SELECT substr(" + time + ", 1, 10), COUNT(*), CAST(" +
                                         seconds + " AS INT)" + from + " GROUP BY 1 ORDER BY 1"));
        EXPECT_EQ(hours, queryRows(kDbPath, "SELECT strftime('%w', " + time + "), CAST(substr(" +
                                                time + ", 12, 2) AS INT), COUNT(*)" + from +
                                                " GROUP BY 1, 2 ORDER BY 1, 2"));
        EXPECT_EQ(queryRows(kDbPath, "SELECT COUNT(*)" + from)[0][0], body["count"].dump());
        EXPECT_EQ(
            queryRows(kDbPath, "SELECT MIN(" + time + "), MAX(" + time + ") FROM " + table)[0],
            (std::vector<std::string>{body["first"], body["last"]}));
        EXPECT_EQ(body.contains("seconds"), table == "ACTIVITY_CALL");
    }
}

TEST_F(WebTest, RowsCarryIsoTimeAndEveryColumnByName) {
    Answer answer = server_->get("/api/call", {{"limit", "1"}});
    ASSERT_EQ(answer.status, 200);
    ASSERT_EQ(answer.body["rows"].size(), 1u);
    const nlohmann::ordered_json& row = answer.body["rows"][0];
    std::vector<std::string> names;
    for (const auto& [name, value] : row.items()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"time", "LOG_KEY", "CLOG_DIRECTION", "CLOG_DURATION",
                                               "CLOG_TYPE", "CLOG_PHONE_NUMBER", "CLOG_NAME",
                                               "CLOG_CELLID", "CLOG_LAC", "CLOG_MCC", "CLOG_MNC",
                                               "LOCATION", "CLOG_TIMESTAMP", "CONTACT_NAME",
                                               "CONTACT_KEY"}));
    std::string stored = row["CLOG_TIMESTAMP"];
    EXPECT_EQ(row["time"], stored.substr(0, 10) + "T" + stored.substr(11));

    Answer config = server_->get("/api/config");
    ASSERT_EQ(config.status, 200);
    EXPECT_EQ(config.body["database"], hostPath(kDbPath).string());
    for (const auto& kind : config.body["kinds"])
        EXPECT_TRUE(kind["on"].get<bool>()) << kind["kind"];
}

// The library judges only the where text: its refusals carry its code 4.
TEST_F(WebTest, RefusalsNameTheParameterAndChangeNothing) {
    const struct {
        const char* path;
        httplib::Params query = {};
        const char* param = nullptr;  // the parameter the answer names
        int status = 400;
    } cases[] = {
        {.path = "/api/call", .query = {{"where", "LOUDNESS > 60"}}, .param = "where"},
        {.path = "/api/message",
         .query = {{"where", "1; DROP TABLE ACTIVITY_MESSAGE"}},
         .param = "where"},
        {.path = "/api/message", .query = {{"where", "MSGLOG_SUMMARY = 'x"}}, .param = "where"},
        {.path = "/api/call/count", .query = {{"where", std::string(3000, '1')}}, .param = "where"},
        {.path = "/api/call", .query = {{"order", "colour"}}, .param = "order"},
        {.path = "/api/call", .query = {{"order", "time:sideways"}}, .param = "order"},
        {.path = "/api/media", .query = {{"then", "nope"}}, .param = "then"},
        {.path = "/api/call", .query = {{"from", "yesterday"}}, .param = "from"},
        {.path = "/api/call", .query = {{"to", "2024-02-30"}}, .param = "to"},
        {.path = "/api/message/days", .query = {{"from", "2024-13-01"}}, .param = "from"},
        {.path = "/api/call", .query = {{"limit", "-1"}}, .param = "limit"},
        {.path = "/api/call/sum", .param = "column"},
        {.path = "/api/call/max", .query = {{"column", "colour"}}, .param = "column"},
        {.path = "/api/call/top", .query = {{"column", "number"}, {"n", "0"}}, .param = "n"},
        {.path = "/api/callz", .param = "kind", .status = 404},
        {.path = "/api/call/median", .query = {{"column", "duration"}}, .status = 404},
    };
    std::string before = queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_MESSAGE")[0][0];
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " +
                     (c.query.empty() ? "" : c.query.begin()->second.substr(0, 40)));
        Answer answer = server_->get(c.path, c.query);
        EXPECT_EQ(answer.status, c.status) << answer.body.dump();
        ASSERT_TRUE(answer.body.is_object());
        EXPECT_FALSE(answer.body.value("error", "").empty());
        if (c.param != nullptr) {
            EXPECT_EQ(answer.body.value("parameter", ""), c.param);
        }
        const bool byLibrary = c.param != nullptr && std::string(c.param) == "where";
        EXPECT_EQ(answer.body.contains("code"), byLibrary);
        if (byLibrary) {
            EXPECT_EQ(answer.body["code"], 4);
            EXPECT_EQ(answer.body["codeText"], Exception_toString(4));
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

// The kinds are named as the command line names them: /api/calls is
// /api/call.  Under a root where nothing was logged every request says so
// with the commands that log something, and the library is never asked (it
// would print an error line of its own) nor any file made.
TEST_F(WebTest, KindsAsTheCommandsNameThemAndAnEmptyRootSaysWhatToDo) {
    Answer plural = server_->get("/api/calls", {{"limit", "3"}});
    EXPECT_EQ(plural.status, 200);
    EXPECT_EQ(plural.body, server_->get("/api/call", {{"limit", "3"}}).body);

    const std::filesystem::path empty = root_ / "empty";
    std::filesystem::create_directories(empty);
    const std::string kept = getenv("ZBASE_ROOT");
    setenv("ZBASE_ROOT", empty.c_str(), 1);
    WebServer bare;
    setenv("ZBASE_ROOT", kept.c_str(), 1);
    ASSERT_GT(bare.port(), 0) << bare.errors();
    const std::pair<const char*, httplib::Params> asked[] = {
        {"/api/call", {}}, {"/api/messages/count", {}}, {"/api/media/days", {}},
        {"/api/call/max", {{"column", "time"}}}};
    for (const auto& [path, query] : asked) {
        Answer answer = bare.get(path, query);
        EXPECT_EQ(answer.status, 404) << path;
        const std::string error = answer.body.value("error", "");
        EXPECT_NE(error.find("nothing has been logged under " + empty.string() + " yet"),
                  std::string::npos)
            << path << ": " << error;
        EXPECT_NE(error.find(" demo` logs a sample day"), std::string::npos) << error;
    }
    EXPECT_EQ(bare.stop(), 0);
    EXPECT_EQ(bare.errors(), "");
    EXPECT_FALSE(std::filesystem::exists(empty / "SystemRW"));
}

TEST_F(WebTest, PageIsOneFileThatFetchesOnlyTheApi) {
    httplib::Client client("127.0.0.1", server_->port());
    httplib::Result page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    // Style and script are inline: no other file, nothing from elsewhere.
    for (const char* outside : {"src=", "href=", "https:", "@import", "url(", "//cdn"})
        EXPECT_EQ(page->body.find(outside), std::string::npos) << outside;
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
    WebServer open("0.0.0.0");
    ASSERT_GT(open.port(), 0) << open.errors();
    EXPECT_EQ(open.stop(), 0);
    EXPECT_NE(open.errors().find("readable by anyone who can reach port"), std::string::npos)
        << open.errors();
}

// The server only reads: a file kept above the default maximum, without the
// indexes the writing commands would add, is served as it is and left so.
TEST_F(WebTest, ServingLeavesTheFileAsItIs) {
    writeConfig(
        "[ACTIVITY]\nACTIVITY_CALL = true\nACTIVITY_MESSAGE = true\nACTIVITY_MEDIA = true\n\n"
        "[ACTIVITY_CONFIG]\nMAX_COUNT_PER_ACTIVITY = 100000\n");
    const char* schema = "SELECT type, name, tbl_name FROM sqlite_master ORDER BY name";
    const auto before = queryRows(kDbPath, schema);
    server_.emplace();
    ASSERT_GT(server_->port(), 0) << server_->errors();
    for (const char* path : {"/api/config", "/api/call", "/api/message/count", "/api/media"}) {
        EXPECT_EQ(server_->get(path).status, 200) << path;
    }
    EXPECT_EQ(server_->stop(), 0);
    EXPECT_EQ(server_->errors(), "");
    EXPECT_EQ(queryRows(kDbPath, schema), before);
}

}  // namespace
