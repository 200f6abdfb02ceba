// What `lifelog web` lets in.  A server on this machine is reachable by
// any page the user's browser opens, through a name that a hostile site
// rebinds to 127.0.0.1, and a server beyond loopback by anyone on the
// network, so every request is checked before it is routed:
//
// - its Host must be an address the server serves (127.0.0.1, localhost,
//   [::1] or the --bind address, with the port): a rebound name is not;
// - beyond loopback it must carry the token printed in the address to
//   open (?token=, then a cookie the page keeps), compared in constant time;
// - it may not carry a body (nothing is written through the server);
// - no parameter, name or value, may hold a NUL, which the library would
//   take as the end of the text, and no value a bare '=', which the
//   query parser would take as the start of the value.
#ifndef LIFELOG_TOOL_WEB_GUARD_H
#define LIFELOG_TOOL_WEB_GUARD_H

#include <httplib.h>

#include <optional>
#include <string>
#include <vector>

namespace lifelog_tool {

class RequestGuard {
public:
    // `token` empty: none required (loopback only).
    RequestGuard(const std::string& bind, int port, std::string token);

    struct Refusal {
        int status;
        std::string error;
        std::string parameter;  // the parameter at fault, if one is
    };
    // Why the request is refused, or nothing when it may be answered.
    std::optional<Refusal> check(const httplib::Request& request) const;
    // The cookie that lets the page's own requests through once the address
    // with the token was opened; empty when no token is needed.
    std::string cookieFor(const httplib::Request& request) const;
    const std::string& token() const { return token_; }

private:
    static std::optional<Refusal> checkParameters(const httplib::Request& request);
    bool hostAllowed(const std::string& host) const;
    bool tokenGiven(const httplib::Request& request) const;
    std::string cookieName() const;

    std::vector<std::string> hosts_;
    bool anyAddress_ = false;  // --bind 0.0.0.0 or ::
    int port_;
    std::string token_;
};

// True for an address that only this machine reaches.
bool isLoopbackAddress(const std::string& address);
// 32 random hexadecimal digits from the system's random source.
std::string newToken();

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_GUARD_H
