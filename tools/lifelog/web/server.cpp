// `lifelog web`: serves the page at / and the API under /api/ with
// cpp-httplib, one worker thread per connection from its pool.  Each API
// request makes and releases its own query object, so requests run side by
// side with each other and with whatever process writes the log.
#include "web/server.h"

#include <fmt/format.h>
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "base/configuration.h"
#include "base/query.h"
#include "base/render.h"
#include "web/api.h"
#include "web/page.h"

namespace lifelog_tool {

namespace {

bool isLoopback(const std::string& address) {
    return address == "127.0.0.1" || address == "localhost" || address == "::1" ||
           address.rfind("127.", 0) == 0;
}

std::string urlOf(const std::string& address, int port) {
    bool v6 = address.find(':') != std::string::npos;
    return fmt::format("http://{}{}{}:{}/", v6 ? "[" : "", address, v6 ? "]" : "", port);
}

}  // namespace

namespace {

// SIGINT and SIGTERM are taken by one waiting thread, which stops the
// server; the pool's threads, made by listen, inherit the blocked mask.
// Blocked before the address is printed, so that a stop sent as soon as the
// address is known still ends the server cleanly.
sigset_t blockStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    return stops;
}

void answerApiRequest(const httplib::Request& request, httplib::Response& response) {
    ApiParams params;
    for (const auto& [name, value] : request.params) {
        params.emplace(name, value);  // the first of a repeated name counts
    }
    ApiAnswer answer = answerApi(request.path, params);
    if (answer.status >= 500) {
        fprintf(stderr, "lifelog web: %s: %d %s\n", request.path.c_str(), answer.status,
                answer.body.value("error", std::string()).c_str());
    }
    response.status = answer.status;
    response.set_content(jsonText(answer.body), "application/json; charset=utf-8");
}

// Nothing is written through the server: every other method is refused.
void refuseWrite(const httplib::Request& request, httplib::Response& response) {
    response.status = 405;
    response.set_header("Allow", "GET, HEAD");
    nlohmann::ordered_json body = {
        {"error", fmt::format("{} {}: the server is read-only", request.method, request.path)}};
    response.set_content(jsonText(body), "application/json; charset=utf-8");
}

void answerError(const httplib::Request& request, httplib::Response& response) {
    if (response.body.empty()) {
        nlohmann::ordered_json body = {
            {"error", fmt::format("{} {}: {}", request.method, request.path,
                                  response.status == 404 ? "no such page or call" : "not served")}};
        response.set_content(jsonText(body), "application/json; charset=utf-8");
    }
}

void addRoutes(httplib::Server& server, const std::string& page) {
    server.set_default_headers(
        {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});
    // An answer goes out as its head and then its body: without this the
    // body waits for the client to acknowledge the head, up to 40 ms of
    // delayed acknowledgement per request on a kept-alive connection.
    server.set_tcp_nodelay(true);
    server.Get("/", [&page](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html; charset=utf-8");
    });
    server.Get(R"(/api/.*)", answerApiRequest);
    server.Post(".*", refuseWrite);
    server.Put(".*", refuseWrite);
    server.Patch(".*", refuseWrite);
    server.Delete(".*", refuseWrite);
    server.set_error_handler(answerError);
}

// Binds the server and returns the port it listens on.
int bindServer(httplib::Server& server, const WebOptions& options) {
    int port = options.port;
    bool bound = port == 0 ? (port = server.bind_to_any_port(options.bind)) > 0
                           : server.bind_to_port(options.bind, port);
    if (!bound) {
        throw UsageError(
            fmt::format("cannot listen on {} port {} (in use, or not an address of "
                        "this machine)",
                        options.bind, options.port));
    }
    if (!isLoopback(options.bind)) {
        fprintf(stderr,
                "lifelog web: warning: listening on %s, not only on this machine: the life log "
                "is readable by anyone who can reach port %d\n",
                options.bind.c_str(), port);
    }
    return port;
}

// Serves until a stop signal comes; false when listening ended by itself.
bool serveUntilStopped(httplib::Server& server, sigset_t& stops) {
    std::atomic<bool> ended{false};
    std::thread waiter([&server, &stops, &ended] {
        int signal = 0;
        sigwait(&stops, &signal);
        // A stop that comes before listen has begun would be lost: wait for it.
        while (!server.is_running() && !ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        server.stop();
    });
    bool listened = server.listen_after_bind();
    ended = true;
    pthread_kill(waiter.native_handle(), SIGUSR1);  // wakes it when listen ended by itself
    waiter.join();
    return listened;
}

}  // namespace

void runWeb(const WebOptions& options) {
    if (options.port < 0 || options.port > 65535) {
        throw UsageError(fmt::format("--port {} is not a TCP port (0 to 65535)", options.port));
    }
    const std::string page = servedPage();
    sigset_t stops = blockStopSignals();
    httplib::Server server;
    addRoutes(server, page);
    int port = bindServer(server, options);
    fmt::print("lifelog web: {} at {} (read-only; Ctrl-C stops)\n", platformRoot(),
               urlOf(options.bind, port));
    fflush(stdout);
    if (!serveUntilStopped(server, stops)) {
        throw UsageError(
            fmt::format("serving on {} stopped unexpectedly", urlOf(options.bind, port)));
    }
    fmt::print("lifelog web: stopped\n");
}

}  // namespace lifelog_tool
