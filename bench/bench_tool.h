// The built `lifelog` tool as the benchmarks run it: a child process of its
// own (its output on a pipe or discarded), its CPU time read from /proc, and
// `lifelog web` on a platform root, on a free loopback port.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// Starts `args` with its standard output on a pipe, or with its output
// discarded when `outRead` is null; the pid.
inline pid_t spawn(const std::vector<std::string>& args, int* outRead) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int out[2] = {-1, -1};
    if (outRead != nullptr && pipe(out) == 0) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
    } else {
        // A command's report and progress lines are not wanted here.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (outRead != nullptr) {
        close(out[1]);
        *outRead = out[0];
    }
    return pid;
}

// CPU seconds (user and system, every thread) a running process has used.
inline double cpuSecondsOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// `lifelog web` on a platform root, on a free port, until stop().
struct WebServer {
    pid_t pid = -1;
    int out = -1;
    int port = 0;

    bool start(const std::string& tool, const std::string& root) {
        pid = spawn({tool, "--root", root, "web", "--port", "0"}, &out);
        if (pid < 0) {
            return false;
        }
        // "lifelog web: ROOT at http://127.0.0.1:PORT/ (read-only; Ctrl-C stops)"
        std::string line;
        char c;
        while (read(out, &c, 1) == 1 && c != '\n') line += c;
        const size_t colon = line.rfind(':', line.find(" (read-only"));
        if (colon != std::string::npos) {
            port = std::atoi(line.c_str() + colon + 1);
        }
        return port > 0;
    }

    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            close(out);
            pid = -1;
        }
    }
};

}  // namespace bench
