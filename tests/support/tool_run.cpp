// Starting the tool with posix_spawnp: no shell, so no argument is ever
// quoted, split or expanded.
#include "tool_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

// The built tool; tests/tool.cmake says where.
#ifndef LIFELOG_TOOL_PATH
#define LIFELOG_TOOL_PATH "lifelog"
#endif

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A folder of its own for each run's files.
std::string makeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lifelog-run-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// The test's environment with the run's changes.
std::vector<std::string> environmentOf(const ToolOptions& options) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (options.environment.count(text.substr(0, text.find('='))) == 0) {
            entries.push_back(text);
        }
    }
    for (const auto& [name, value] : options.environment) {
        if (value) {
            entries.push_back(name + "=" + *value);
        }
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, const ToolOptions& options)
    : folder_(makeFolder()) {
    std::ofstream(folder_ + "/in", std::ios::binary) << options.input;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string in = folder_ + "/in";
    const std::string out = folder_ + "/out";
    const std::string err = options.terminal != nullptr ? options.terminal : folder_ + "/err";
    const int write = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), write, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(),
                                     options.terminal != nullptr ? O_RDWR : write, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (options.terminal != nullptr) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    }
    std::vector<std::string> words{options.program.empty() ? toolPath() : options.program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = environmentOf(options);
    std::vector<char*> argv = pointers(words);
    std::vector<char*> envp = pointers(environment);
    int failed = posix_spawnp(&pid_, argv[0], &files, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (failed != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << strerror(failed);
    }
}

ToolProcess::~ToolProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        wait();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string ToolProcess::readLine(int ms) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        std::string out = slurp(folder_ + "/out");
        size_t end = out.find('\n');
        if (end != std::string::npos) {
            return out.substr(0, end);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < until);
    return std::string();
}

std::string ToolProcess::errorsSoFar() const {
    return slurp(folder_ + "/err");
}

void ToolProcess::signal(int number) const {
    if (pid_ > 0) {
        kill(pid_, number);
    }
}

ToolRun ToolProcess::wait() {
    ToolRun run;
    int raw = 0;
    if (pid_ > 0 && waitpid(pid_, &raw, 0) == pid_) {
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    }
    pid_ = -1;
    run.out = slurp(folder_ + "/out");
    run.err = slurp(folder_ + "/err");
    return run;
}

const char* toolPath() {
    return LIFELOG_TOOL_PATH;
}

ToolRun runTool(const std::vector<std::string>& arguments, const ToolOptions& options) {
    return ToolProcess(arguments, options).wait();
}
