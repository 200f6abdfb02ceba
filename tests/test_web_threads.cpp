// `lifelog web` answers while another process writes the same database:
// every request succeeds (no "database is locked"), and what it counts at
// the end is everything that was logged.
#include "test_web_server.h"

namespace {

constexpr int kLogged = 20;

class WebWhileLoggingTest : public LifelogTest {};

TEST_F(WebWhileLoggingTest, RequestsNeverFailWhileAnotherProcessLogs) {
    ASSERT_EQ(runTool({"config", "--on", "call,message"}).status, 0);
    ASSERT_EQ(
        runTool({"log", "call", "--number", "+15550100", "--time", "2024-07-01 08:00:00"}).status,
        0);
    WebServer server;
    ASSERT_GT(server.port(), 0) << server.errors();

    // The writer: one `lifelog log` process after the other, each its own
    // connection and write transaction, each a second of its own.
    std::string writerFailed;
    std::thread writer([&] {
        for (int i = 1; i <= kLogged && writerFailed.empty(); ++i) {
            char time[32];
            snprintf(time, sizeof time, "2024-07-01 09:%02d:%02d", i / 60, i % 60);
            ToolRun run = runTool({"log", "call", "--number", "+1555010" + std::to_string(i % 7),
                                   "--duration", std::to_string(i), "--time", time});
            if (run.status != 0)
                writerFailed = run.out + run.err;
        }
    });

    // Two readers side by side until the writer is done.
    std::atomic<bool> writing{true};
    std::vector<std::string> failures[2];
    int requests[2] = {0, 0};
    auto reader = [&](int which) {
        const char* paths[] = {"/api/call", "/api/call/count", "/api/call/sum"};
        const httplib::Params params[] = {
            {{"order", "duration:desc"}}, {}, {{"column", "duration"}}};
        for (int i = 0; writing || i < 3; ++i) {
            Answer answer = server.get(paths[i % 3], params[i % 3]);
            ++requests[which];
            if (answer.status != 200)
                failures[which].push_back(std::to_string(answer.status) + " " + answer.body.dump());
        }
    };
    std::thread first(reader, 0);
    std::thread second(reader, 1);
    writer.join();
    writing = false;
    first.join();
    second.join();

    ASSERT_EQ(writerFailed, "");
    EXPECT_GT(requests[0] + requests[1], kLogged);
    EXPECT_EQ(failures[0], std::vector<std::string>{});
    EXPECT_EQ(failures[1], std::vector<std::string>{});
    Answer count = server.get("/api/call/count");
    EXPECT_EQ(count.body["count"], kLogged + 1);
    Answer sum = server.get("/api/call/sum", {{"column", "duration"}});
    EXPECT_EQ(sum.body["sum"], kLogged * (kLogged + 1) / 2);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.errors().find("locked"), std::string::npos) << server.errors();
}

}  // namespace
