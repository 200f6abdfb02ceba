// The one way tests start the lifelog tool (or another program): without
// a shell, from an argument vector, under the test's platform root
// (ZBASE_ROOT, inherited).  Standard input comes from a text; standard
// output and error go to files, so that no pipe fills up while the test
// waits.
//
//   ToolRun run = runTool({"list", "call", "--json"});
//   run.status; run.out; run.err;
//
//   ToolProcess server({"web", "--port", "0"});   // started, still running
//   std::string first = server.readLine();         // its first output line
//   server.signal(SIGTERM);
//   ToolRun ended = server.wait();
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ToolRun {
    int status = -1;  // the exit status, or minus the signal that ended it
    std::string out;
    std::string err;
};

struct ToolOptions {
    std::string input;  // standard input
    // Changes to the environment: a value to set, or nothing to unset.
    std::map<std::string, std::optional<std::string>> environment;
    // A terminal (a pseudo-terminal's path) for standard error, in a
    // session of the tool's own; standard error goes to a file when null.
    const char* terminal = nullptr;
    // Another program to start instead of the tool (a script of the tree).
    std::string program;
};

class ToolProcess {
public:
    // Starts the program with `arguments`; fails the test when it cannot.
    explicit ToolProcess(const std::vector<std::string>& arguments,
                         const ToolOptions& options = {});
    // Kills a program still running and waits for it.
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The first line of standard output without its end, waiting up to
    // `ms` for it; empty when none came.
    std::string readLine(int ms = 60000) const;
    // What it wrote on standard error so far (a file; not a terminal).
    std::string errorsSoFar() const;
    void signal(int number) const;
    // Waits for the end and collects the status and both outputs.
    ToolRun wait();

private:
    std::string folder_;
    pid_t pid_ = -1;
};

// The built tool's path.
const char* toolPath();
// Starts the tool and waits for it.
ToolRun runTool(const std::vector<std::string>& arguments, const ToolOptions& options = {});
