#include "web/guard.h"

#include <arpa/inet.h>
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <string_view>

#include "base/text.h"

namespace lifelog_tool {

namespace {

// "name:port" or "[v6]:port" -> name (brackets kept) and port text.
std::pair<std::string, std::string> splitHost(const std::string& host) {
    size_t colon = host.rfind(':');
    if (colon == std::string::npos || (host[0] == '[' && colon < host.find(']'))) {
        return {host, ""};
    }
    return {host.substr(0, colon), host.substr(colon + 1)};
}

bool isAddressLiteral(const std::string& name) {
    unsigned char buffer[16];
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
        return inet_pton(AF_INET6, name.substr(1, name.size() - 2).c_str(), buffer) == 1;
    }
    return inet_pton(AF_INET, name.c_str(), buffer) == 1;
}

bool sameSecret(const std::string& given, const std::string& expected) {
    if (given.size() != expected.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
    }
    return difference == 0;
}

std::string cookieValue(const std::string& header, const std::string& name) {
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find(';', at);
        std::string pair = header.substr(at, end == std::string::npos ? end : end - at);
        size_t start = pair.find_first_not_of(' ');
        if (start != std::string::npos && pair.compare(start, name.size() + 1, name + "=") == 0) {
            return pair.substr(start + name.size() + 1);
        }
        at = end == std::string::npos ? header.size() : end + 1;
    }
    return "";
}

bool holdsNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

bool carriesBody(const httplib::Request& request) {
    const std::string length = request.get_header_value("Content-Length");
    return request.has_header("Transfer-Encoding") || (!length.empty() && length != "0");
}

// The name of a query parameter whose value holds a bare '=': cpp-httplib
// keeps only what follows the last '=' of a pair, so "where=a=b" would
// silently become the condition "b".
std::string bareEquals(const std::string& target) {
    const size_t query = target.find('?');
    if (query == std::string::npos) {
        return "";
    }
    const std::string_view text = std::string_view(target).substr(query + 1);
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find('&', at), text.size());
        const std::string_view pair = text.substr(at, end - at);
        const size_t first = pair.find('=');
        if (first != std::string_view::npos &&
            pair.find('=', first + 1) != std::string_view::npos) {
            return std::string(pair.substr(0, first));
        }
        at = end + 1;
    }
    return "";
}

}  // namespace

bool isLoopbackAddress(const std::string& address) {
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

std::string newToken() {
    std::random_device random("/dev/urandom");
    std::string token;
    for (int i = 0; i < 4; ++i) {
        token += fmt::format("{:08x}", random());
    }
    return token;
}

RequestGuard::RequestGuard(const std::string& bind, int port, std::string token)
    : port_(port), token_(std::move(token)) {
    const bool v6 = bind.find(':') != std::string::npos;
    const std::string served = v6 ? "[" + bind + "]" : bind;
    anyAddress_ = bind == "0.0.0.0" || bind == "::" || bind == "[::]";
    for (const std::string& name : {std::string("127.0.0.1"), std::string("localhost"),
                                    std::string("[::1]"), lowerCase(served)}) {
        hosts_.push_back(fmt::format("{}:{}", name, port));
        if (port == 80) {
            hosts_.push_back(name);
        }
    }
}

bool RequestGuard::hostAllowed(const std::string& given) const {
    const std::string host = lowerCase(given);
    if (std::find(hosts_.begin(), hosts_.end(), host) != hosts_.end()) {
        return true;
    }
    // Listening on every address, the server is reached by any of this
    // machine's addresses; a name other than localhost may be rebound.
    auto [name, port] = splitHost(host);
    return anyAddress_ && isAddressLiteral(name) &&
           (port == std::to_string(port_) || (port.empty() && port_ == 80));
}

std::string RequestGuard::cookieName() const {
    return fmt::format("lifelog-token-{}", port_);
}

bool RequestGuard::tokenGiven(const httplib::Request& request) const {
    if (request.has_param("token")) {
        return sameSecret(request.get_param_value("token"), token_);
    }
    return sameSecret(cookieValue(request.get_header_value("Cookie"), cookieName()), token_);
}

std::string RequestGuard::cookieFor(const httplib::Request& request) const {
    if (token_.empty() || !request.has_param("token")) {
        return "";
    }
    return fmt::format("{}={}; Path=/; HttpOnly; SameSite=Strict", cookieName(), token_);
}

std::optional<RequestGuard::Refusal> RequestGuard::check(const httplib::Request& request) const {
    if (!hostAllowed(request.get_header_value("Host"))) {
        return Refusal{403,
                       fmt::format("Host \"{}\" is not an address this server answers to; open "
                                   "http://127.0.0.1:{}/",
                                   request.get_header_value("Host"), port_),
                       ""};
    }
    if (!token_.empty() && !tokenGiven(request)) {
        return Refusal{
            403, "this server needs its token: open the address with ?token= that it printed", ""};
    }
    if (carriesBody(request)) {
        return Refusal{413, "request bodies are refused: nothing is written through the server",
                       ""};
    }
    return checkParameters(request);
}

std::optional<RequestGuard::Refusal> RequestGuard::checkParameters(
    const httplib::Request& request) {
    if (holdsNul(request.path)) {
        return Refusal{400, "the path holds a NUL character", ""};
    }
    for (const auto& [name, value] : request.params) {
        if (holdsNul(name) || holdsNul(value)) {
            return Refusal{400, fmt::format("parameter {} holds a NUL character", name), name};
        }
    }
    if (std::string name = bareEquals(request.target); !name.empty()) {
        return Refusal{
            400, fmt::format("parameter {} holds a bare '=' in its value: write it as %3D", name),
            name};
    }
    return std::nullopt;
}

}  // namespace lifelog_tool
