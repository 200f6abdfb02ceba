// How the tool fails: a library or platform call that returned a code
// (Failure), or something the user asked for that cannot be done
// (UsageError).  main.cpp prints either as "lifelog: <what>" and ends with
// status 1.
#ifndef LIFELOG_TOOL_BASE_FAILURE_H
#define LIFELOG_TOOL_BASE_FAILURE_H

#include <stdexcept>
#include <string>

namespace lifelog_tool {

// A library or platform call that failed: what the tool was doing and the
// code it got.  what() reads "<doing>: <code text> (<code>)".
class Failure : public std::runtime_error {
public:
    Failure(const std::string& doing, unsigned int code);
    unsigned int code() const { return code_; }
    const std::string& doing() const { return doing_; }

private:
    std::string doing_;
    unsigned int code_;
};

// Something the user asked for that cannot be done (unknown kind or
// column, a time that is not a time, a text too long to store); no library
// code involved.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws Failure when err is not 0.
void check(unsigned int err, const std::string& doing);

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_BASE_FAILURE_H
