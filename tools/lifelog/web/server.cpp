// `lifelog web`: serves the page at / and the API under /api/ with
// cpp-httplib, one request per connection on a bounded pool of workers
// (workers.h), each request checked first (guard.h).  Each API
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
#include <optional>
#include <thread>

#include "base/configuration.h"
#include "base/query.h"
#include "base/render.h"
#include "web/api.h"
#include "web/guard.h"
#include "web/page.h"
#include "web/workers.h"

namespace lifelog_tool {

namespace {

std::string urlOf(const std::string& address, int port) {
    bool v6 = address.find(':') != std::string::npos;
    return fmt::format("http://{}{}{}:{}/", v6 ? "[" : "", address, v6 ? "]" : "", port);
}

void answerJson(httplib::Response& response, int status, const nlohmann::ordered_json& body) {
    response.status = status;
    response.set_content(jsonText(body), "application/json; charset=utf-8");
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
    answerJson(response, answer.status, answer.body);
}

// Nothing is written through the server: every method but GET is refused.
void refuseWrites(httplib::Server& server) {
    auto readOnly = [](const httplib::Request& request, httplib::Response& response) {
        response.set_header("Allow", "GET, HEAD");
        answerJson(response, 405,
                   {{"error",
                     fmt::format("{} {}: the server is read-only", request.method, request.path)}});
    };
    server.Post(".*", readOnly);
    server.Put(".*", readOnly);
    server.Patch(".*", readOnly);
    server.Delete(".*", readOnly);
    server.set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        if (response.body.empty()) {
            answerJson(response, response.status,
                       {{"error", fmt::format("{} {}: {}", request.method, request.path,
                                              response.status == 404 ? "no such page or call"
                                                                     : "not served")}});
        }
    });
}

// Every request passes the guard before it is routed; the guard exists once
// the port is known, before the first request can come.
void route(httplib::Server& server, const std::string& page,
           const std::optional<RequestGuard>& guard) {
    server.set_default_headers(
        {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}});
    // An answer goes out as its head and then its body: without this the
    // body waits for the client to acknowledge the head, up to 40 ms of
    // delayed acknowledgement per request.
    server.set_tcp_nodelay(true);
    server.set_pre_routing_handler(
        [&guard](const httplib::Request& request, httplib::Response& response) {
            if (std::optional<RequestGuard::Refusal> refused = guard->check(request)) {
                nlohmann::ordered_json body = {{"error", refused->error}};
                if (!refused->parameter.empty()) {
                    body["parameter"] = refused->parameter;
                }
                answerJson(response, refused->status, body);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    server.Get("/", [&page, &guard](const httplib::Request& request, httplib::Response& response) {
        if (std::string cookie = guard->cookieFor(request); !cookie.empty()) {
            response.set_header("Set-Cookie", cookie);
        }
        response.set_content(page, "text/html; charset=utf-8");
    });
    server.Get(R"(/api/.*)", answerApiRequest);
    refuseWrites(server);
}

int bindOrSay(httplib::Server& server, const WebOptions& options) {
    int port = options.port;
    bool bound = port == 0 ? (port = server.bind_to_any_port(options.bind)) > 0
                           : server.bind_to_port(options.bind, port);
    if (!bound) {
        throw UsageError(
            fmt::format("cannot listen on {} port {} (in use, or not an address of "
                        "this machine)",
                        options.bind, options.port));
    }
    return port;
}

// The address to open: beyond loopback it carries the token.
std::string announce(const WebOptions& options, int port, const std::string& token) {
    std::string url = urlOf(options.bind, port);
    if (!token.empty()) {
        fprintf(stderr,
                "lifelog web: warning: listening on %s, not only on this machine: the life log "
                "is readable by anyone who can reach port %d and has the address with its token\n",
                options.bind.c_str(), port);
        url += "?token=" + token;
    }
    fmt::print("lifelog web: {} at {} (read-only; Ctrl-C stops)\n", platformRoot(), url);
    fflush(stdout);
    return url;
}

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

// Listens until a stop signal (blocked in `stops`) comes or listening ends.
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
    if (options.bind.empty()) {
        throw UsageError(
            "--bind needs an address: 127.0.0.1 (the default), ::1, or one of "
            "this machine's addresses");
    }
    const std::string page = servedPage();
    sigset_t stops = blockStopSignals();
    WorkerLimits limits;
    limits.workers = static_cast<size_t>(options.workers);
    limits.queued = 2 * limits.workers;
    BoundedServer server{limits};
    std::optional<RequestGuard> guard;
    route(server, page, guard);
    const int port = bindOrSay(server, options);
    guard.emplace(options.bind, port, isLoopbackAddress(options.bind) ? "" : newToken());
    const std::string url = announce(options, port, guard->token());
    if (!serveUntilStopped(server, stops)) {
        throw UsageError(fmt::format("serving on {} stopped unexpectedly", url));
    }
    fmt::print("lifelog web: stopped\n");
}

}  // namespace lifelog_tool
