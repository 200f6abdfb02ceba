// `lifelog web` as a subprocess for the web tests: started through the
// test runner on a free loopback port under the test's platform root
// (ZBASE_ROOT, inherited), asked with cpp-httplib's client, stopped with
// SIGTERM.
#pragma once

#include <httplib.h>
#include <signal.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "fixture.h"
#include "tool_run.h"

struct Answer {
    int status = 0;
    nlohmann::ordered_json body;
};

class WebServer {
public:
    // Starts the server and waits for the line that names its address.
    explicit WebServer(const char* bind = nullptr, const char* workers = nullptr) {
        std::vector<std::string> arguments{"web", "--port", "0"};
        if (bind != nullptr) {
            arguments.insert(arguments.end(), {"--bind", bind});
        }
        if (workers != nullptr) {
            arguments.insert(arguments.end(), {"--workers", workers});
        }
        process_ = std::make_unique<ToolProcess>(arguments);
        banner_ = process_->readLine();
        size_t at = banner_.find("http://");
        size_t colon = at == std::string::npos ? at : banner_.find(':', at + 7);
        if (colon != std::string::npos)
            port_ = std::stoi(banner_.substr(colon + 1));
    }

    // SIGTERM, then its exit status (0 for a clean stop with nothing leaked).
    int stop() {
        if (process_ != nullptr) {
            process_->signal(SIGTERM);
            ended_ = process_->wait();
            process_.reset();
        }
        return ended_.status;
    }

    int port() const { return port_; }
    const std::string& banner() const { return banner_; }
    std::string errors() const { return process_ ? process_->errorsSoFar() : ended_.err; }

    Answer get(const std::string& path, const httplib::Params& params = {}) const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(60, 0);
        httplib::Result result = client.Get(path, params, httplib::Headers{});
        Answer answer;
        if (result) {
            answer.status = result->status;
            answer.body = nlohmann::ordered_json::parse(result->body, nullptr, false);
        }
        return answer;
    }

private:
    std::unique_ptr<ToolProcess> process_;
    ToolRun ended_;
    int port_ = 0;
    std::string banner_;
};
