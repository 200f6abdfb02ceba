// `lifelog web` left running where hostile pages and slow or greedy
// clients reach it: a rebound name, a missing token, a body, a NUL, slow
// headers and slow queries, a listing of a big table, a total that does not
// fit.  The server runs as a process; clients are cpp-httplib's and raw
// sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "test_web_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A raw connection to the server that sends only what it is told to.
struct RawClient {
    int fd = -1;
    explicit RawClient(int port) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~RawClient() {
        if (fd >= 0)
            close(fd);
    }
    void send(const std::string& text) const {
        (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // What the server sent within `ms`, up to its end of the connection.
    std::string answer(int ms) const {
        std::string got;
        pollfd wait{fd, POLLIN, 0};
        char buffer[4096];
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now())
                    .count());
            if (poll(&wait, 1, std::max(left, 0)) != 1)
                break;
            ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
};

class WebDoorsTest : public LifelogTest {
protected:
    void SetUp() override {
        LifelogTest::SetUp();
        ToolRun demo = runTool({"demo"});
        ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    }
    int status(const WebServer& server, const std::string& path, const httplib::Headers& headers,
               std::string* body = nullptr) const {
        httplib::Client client("127.0.0.1", server.port());
        client.set_read_timeout(30, 0);
        httplib::Result result = client.Get(path, headers);
        if (body != nullptr && result)
            *body = result->body;
        return result ? result->status : -1;
    }
};

TEST_F(WebDoorsTest, OnlyTheServedAddressesAreAnsweredSoAReboundNameReadsNothing) {
    WebServer server;
    ASSERT_GT(server.port(), 0) << server.errors();
    const std::string port = std::to_string(server.port());
    const struct {
        std::string host;
        int status;
    } cases[] = {
        {"127.0.0.1:" + port, 200}, {"localhost:" + port, 200},    {"LOCALHOST:" + port, 200},
        {"[::1]:" + port, 200},     {"evil.example:" + port, 403}, {"evil.example", 403},
        {"127.0.0.1", 403},         {"127.0.0.1:1" + port, 403},   {"", 403},
    };
    for (const auto& c : cases) {
        std::string body;
        EXPECT_EQ(status(server, "/api/config", {{"Host", c.host}}, &body), c.status)
            << c.host << " " << body;
        if (c.status != 200) {
            EXPECT_EQ(body.find("lifelog.db"), std::string::npos) << body;
        }
    }
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(WebDoorsTest, BeyondLoopbackEveryRequestNeedsThePrintedToken) {
    WebServer server("0.0.0.0");
    ASSERT_GT(server.port(), 0) << server.errors();
    const size_t at = server.banner().find("?token=");
    ASSERT_NE(at, std::string::npos) << server.banner();
    const std::string token = server.banner().substr(at + 7, 32);
    ASSERT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
    httplib::Client client("127.0.0.1", server.port());
    EXPECT_EQ(client.Get("/api/config")->status, 403);
    EXPECT_EQ(client.Get("/?token=" + std::string(32, '0'))->status, 403);
    httplib::Result page = client.Get("/?token=" + token);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    ASSERT_NE(cookie.find(token), std::string::npos) << cookie;
    // The page's own requests carry the cookie.
    EXPECT_EQ(status(server, "/api/call/count", {{"Cookie", cookie.substr(0, cookie.find(';'))}}),
              200);
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(WebDoorsTest, BodiesNulsAndAnEmptyBindAreRefusedInWords) {
    WebServer server;
    ASSERT_GT(server.port(), 0) << server.errors();
    RawClient bodied(server.port());
    bodied.send("GET /api/config HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                "\r\nContent-Length: 1000000000\r\n\r\n" + std::string(65536, 'x'));
    EXPECT_NE(bodied.answer(5000).find(" 413 "), std::string::npos);
    const Answer cut =
        server.get("/api/message/count", {{"where", std::string("1=0\0 OR 1=1", 11)}});
    EXPECT_EQ(cut.status, 400) << cut.body.dump();
    EXPECT_EQ(cut.body.value("parameter", ""), "where");
    EXPECT_EQ(server.get("/api/message?li%00mit=1").status, 400);
    // A bare '=' in a value: the query parser would keep only the "1" after the last one.
    const Answer bare = server.get("/api/message/count?where=1=0 OR 1=1");
    EXPECT_EQ(bare.status, 400) << bare.body.dump();
    EXPECT_EQ(bare.body.value("parameter", ""), "where");
    EXPECT_EQ(server.get("/api/message/count?where=1%3D0%20OR%201%3D1").status, 200);
    EXPECT_EQ(server.stop(), 0);

    const ToolRun empty = runTool({"web", "--port", "0", "--bind", ""});
    EXPECT_NE(empty.status, 0);
    const std::string said = empty.out + empty.err;
    EXPECT_EQ(said.find("http://:"), std::string::npos) << said;
    EXPECT_NE(said.find("--bind"), std::string::npos) << said;
}

TEST_F(WebDoorsTest, SlowClientsAndSlowQueriesLeaveRoomAndAFullServerSaysBusy) {
    WebServer server;
    ASSERT_GT(server.port(), 0) << server.errors();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 8; ++i) {
        slow.push_back(std::make_unique<RawClient>(server.port()));
        slow.back()->send("GET /api/config HTTP/1.1\r\n" + host);  // and never the rest
    }
    std::vector<std::thread> queries;
    for (int i = 0; i < 8; ++i)
        queries.emplace_back([&] {
            server.get("/api/call/count",
                       {{"where",
                         "(SELECT COUNT(*) FROM ACTIVITY_MESSAGE a, ACTIVITY_MESSAGE b, "
                         "ACTIVITY_MESSAGE c, ACTIVITY_MESSAGE d) > 0"}});
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Clock::time_point start = Clock::now();
    EXPECT_EQ(server.get("/api/config").status, 200);
    EXPECT_LT(secondsSince(start), 2.0);
    // A client that never ends its headers is let go at the deadline.
    start = Clock::now();
    slow.front()->answer(20000);
    EXPECT_LT(secondsSince(start), 8.0);
    for (std::thread& query : queries) query.join();

    slow.clear();
    EXPECT_EQ(server.stop(), 0);

    // More idle connections than workers and waiting room (2 and 4): the
    // rest hear 503 at once, each.
    WebServer small(nullptr, "2");
    ASSERT_GT(small.port(), 0) << small.errors();
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 8; ++i) idle.push_back(std::make_unique<RawClient>(small.port()));
    start = Clock::now();
    for (size_t i = 6; i < idle.size(); ++i)
        EXPECT_NE(idle[i]->answer(2000).find(" 503 "), std::string::npos) << i;
    EXPECT_LT(secondsSince(start), 2.0);
    idle.clear();
    EXPECT_EQ(small.stop(), 0);
}

TEST_F(WebDoorsTest, AListingCostsWhatItsLimitAsksNotWhatTheTableHolds) {
    execSql(kDbPath,
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
            "INSERT INTO ACTIVITY_MESSAGE (MSGLOG_PHONE_NUMBER, MSGLOG_SUMMARY, MSGLOG_TIMESTAMP) "
            "SELECT '+1555' || i, 'text ' || i, datetime(1700000000 + i, 'unixepoch') FROM n");
    const int rows = std::stoi(queryRows(kDbPath, "SELECT COUNT(*) FROM ACTIVITY_MESSAGE")[0][0]);
    WebServer server;
    ASSERT_GT(server.port(), 0) << server.errors();
    Clock::time_point start = Clock::now();
    const Answer all = server.get("/api/message");
    const double whole = secondsSince(start);
    ASSERT_EQ(all.status, 200);
    EXPECT_EQ(all.body["rows"].size(), static_cast<size_t>(rows));
    start = Clock::now();
    const Answer one =
        server.get("/api/message", {{"limit", "1"}, {"offset", "10"}, {"order", "time:desc"}});
    const double limited = secondsSince(start);
    ASSERT_EQ(one.status, 200) << one.body.dump();
    ASSERT_EQ(one.body["rows"].size(), 1u);
    EXPECT_EQ(one.body["total"], rows);
    EXPECT_EQ(one.body["rows"][0], all.body["rows"][rows - 11]);
    EXPECT_LT(limited, whole / 5) << limited << " s against " << whole << " s for all rows";
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(WebDoorsTest, ATotalThatDoesNotFitIsSaidNotPrinted) {
    execSql(kDbPath,
            "INSERT INTO ACTIVITY_CALL (CLOG_PHONE_NUMBER, CLOG_DURATION, CLOG_TIMESTAMP) VALUES "
            "('+1', 2147483647, '2030-01-01 00:00:00'), ('+2', 2147483647, '2030-01-01 00:00:01')");
    WebServer server;
    ASSERT_GT(server.port(), 0) << server.errors();
    const Answer sum = server.get("/api/call/sum", {{"column", "duration"}});
    EXPECT_EQ(sum.status, 422) << sum.body.dump();
    EXPECT_NE(sum.body.value("error", "").find("does not fit"), std::string::npos);
    EXPECT_FALSE(sum.body.contains("sum"));
    EXPECT_EQ(server.get("/api/call/sum", {{"column", "duration"}, {"to", "2029-12-31"}}).status,
              200);
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
