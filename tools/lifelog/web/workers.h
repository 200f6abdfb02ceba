// How `lifelog web` spends its threads, so that no client can hold the
// server: each connection carries one request (no keep-alive), its request
// line and headers must arrive within a short deadline and a bounded number
// of bytes, a fixed pool of workers answers and a bounded queue waits for
// them; a connection that finds both full is answered 503 at once by a
// thread that never reads from a client.
#ifndef LIFELOG_TOOL_WEB_WORKERS_H
#define LIFELOG_TOOL_WEB_WORKERS_H

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace lifelog_tool {

struct WorkerLimits {
    size_t workers = 32;
    size_t queued = 64;  // connections waiting for a worker
    std::chrono::milliseconds headerDeadline{5000};
    size_t headerBytes = 64 * 1024;
    std::chrono::milliseconds writeTimeout{10000};
};

// A cpp-httplib server whose connections are served under WorkerLimits.
class BoundedServer : public httplib::Server {
public:
    explicit BoundedServer(const WorkerLimits& limits);

private:
    bool process_and_close_socket(socket_t sock) override;

    WorkerLimits limits_;
};

}  // namespace lifelog_tool

#endif  // LIFELOG_TOOL_WEB_WORKERS_H
