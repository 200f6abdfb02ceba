// `lifelog web` as a subprocess for the web tests: started on a free
// loopback port under the test's platform root (ZBASE_ROOT, inherited),
// asked with cpp-httplib's client, stopped with SIGTERM.
#pragma once

#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "fixture.h"

// Runs the tool to its end; its exit status.
inline int runTool(const std::vector<std::string>& arguments, const std::filesystem::path& out) {
    std::string command = std::string("'") + LIFELOG_TOOL_PATH + "'";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " >'" + out.string() + "' 2>&1";
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Answer {
    int status = 0;
    nlohmann::ordered_json body;
};

class WebServer {
public:
    // Starts the server and waits for the line that names its address.
    explicit WebServer(const std::filesystem::path& errFile, const char* bind = nullptr,
                       const char* workers = nullptr)
        : errFile_(errFile) {
        int out[2];
        if (pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            close(out[0]);
            std::vector<const char*> argv{LIFELOG_TOOL_PATH, "web", "--port", "0"};
            if (bind != nullptr)
                argv.insert(argv.end(), {"--bind", bind});
            if (workers != nullptr)
                argv.insert(argv.end(), {"--workers", workers});
            argv.push_back(nullptr);
            execv(LIFELOG_TOOL_PATH, const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        std::string line;
        pollfd wait{out_, POLLIN, 0};
        char c = 0;
        while (line.find('\n') == std::string::npos && poll(&wait, 1, 60000) == 1 &&
               read(out_, &c, 1) == 1) {
            line += c;
        }
        banner_ = line;
        size_t at = line.find("http://");
        size_t colon = at == std::string::npos ? at : line.find(':', at + 7);
        if (colon != std::string::npos)
            port_ = std::stoi(line.substr(colon + 1));
    }

    ~WebServer() { stop(); }

    // SIGTERM, then its exit status (0 for a clean stop with nothing leaked).
    int stop() {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGTERM);
        int raw = 0;
        waitpid(pid_, &raw, 0);
        pid_ = 0;
        close(out_);
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return status_;
    }

    int port() const { return port_; }
    const std::string& banner() const { return banner_; }
    std::string errors() const { return slurp(errFile_); }

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
    std::filesystem::path errFile_;
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    int status_ = -1;
    std::string banner_;
};
