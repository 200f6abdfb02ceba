#include "web/workers.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace lifelog_tool {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Set on the one thread that answers connections the pool has no room for.
thread_local bool refusing = false;

// Waits until `fd` is ready for `events` or `timeout` passes.
bool waitFor(int fd, short events, Milliseconds timeout) {
    const Clock::time_point until = Clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<Milliseconds>(until - Clock::now());
        pollfd watched{fd, events, 0};
        int ready = poll(&watched, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Reads what a client sends, a little at a time, until the end of the
// connection or `timeout`: closing with unread bytes would reset the
// connection before the client has read the answer.
void drain(int fd, Milliseconds timeout, size_t most) {
    char sink[4096];
    const Clock::time_point until = Clock::now() + timeout;
    while (most > 0) {
        auto left = std::chrono::duration_cast<Milliseconds>(until - Clock::now());
        if (!waitFor(fd, POLLIN, std::max(left, Milliseconds(0)))) {
            return;
        }
        ssize_t got = recv(fd, sink, std::min(sizeof sink, most), MSG_DONTWAIT);
        if (got <= 0) {
            return;
        }
        most -= static_cast<size_t>(got);
    }
}

void closeConnection(int fd, Milliseconds linger) {
    shutdown(fd, SHUT_WR);
    drain(fd, linger, 64 * 1024);
    close(fd);
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(fd, raw, &length) : getsockname(fd, raw, &length)) != 0) {
        return;
    }
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(raw, length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = atoi(service);
    }
}

// A connection whose reading, all of it, must end by one deadline and
// within a number of bytes; the server reads only a request line and
// headers, so that is the time and the room a client gets for them.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(int fd, const WorkerLimits& limits)
        : fd_(fd),
          deadline_(Clock::now() + limits.headerDeadline),
          budget_(limits.headerBytes),
          writeTimeout_(limits.writeTimeout) {}

    bool is_readable() const override { return offset_ < filled_ || waitFor(fd_, POLLIN, left()); }
    bool is_writable() const override { return waitFor(fd_, POLLOUT, writeTimeout_); }
    ssize_t read(char* ptr, size_t size) override {
        if (offset_ == filled_) {
            ssize_t got = fill();
            if (got <= 0) {
                return got;
            }
        }
        size_t taken = std::min(size, filled_ - offset_);
        memcpy(ptr, buffer_ + offset_, taken);
        offset_ += taken;
        return static_cast<ssize_t>(taken);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) {
            return -1;
        }
        return send(fd_, ptr, size, MSG_NOSIGNAL);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

private:
    Milliseconds left() const {
        return std::max(Milliseconds(0),
                        std::chrono::duration_cast<Milliseconds>(deadline_ - Clock::now()));
    }
    ssize_t fill() {
        if (budget_ == 0 || !waitFor(fd_, POLLIN, left())) {
            return -1;
        }
        ssize_t got = recv(fd_, buffer_, std::min(sizeof buffer_, budget_), 0);
        if (got > 0) {
            budget_ -= static_cast<size_t>(got);
            filled_ = static_cast<size_t>(got);
            offset_ = 0;
        }
        return got;
    }

    int fd_;
    Clock::time_point deadline_;
    size_t budget_;
    Milliseconds writeTimeout_;
    char buffer_[4096];
    size_t offset_ = 0;
    size_t filled_ = 0;
};

// A fixed pool with a bounded queue; what finds no room goes to one more
// thread, which answers 503 without reading (see process_and_close_socket).
class BoundedPool : public httplib::TaskQueue {
public:
    BoundedPool(size_t workers, size_t queued) : room_(workers + queued) {
        for (size_t i = 0; i < workers; ++i) {
            threads_.emplace_back([this] { serve(jobs_, false); });
        }
        threads_.emplace_back([this] { serve(overflow_, true); });
    }
    void enqueue(std::function<void()> job) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (taken_ < room_) {
                ++taken_;
                jobs_.push_back(std::move(job));
            } else {
                overflow_.push_back(std::move(job));
            }
        }
        wake_.notify_all();
    }
    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }

private:
    void serve(std::deque<std::function<void()>>& queue, bool refuser) {
        refusing = refuser;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !queue.empty(); });
            if (queue.empty()) {
                return;
            }
            std::function<void()> job = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            job();
            lock.lock();
            if (!refuser) {
                --taken_;
            }
        }
    }

    const size_t room_;
    size_t taken_ = 0;  // jobs queued or running on a worker
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::deque<std::function<void()>> overflow_;
    std::vector<std::thread> threads_;
};

void answerSaturated(int fd) {
    static const std::string body =
        R"({"error":"the server is busy with other requests: try again in a moment"})";
    static const std::string answer =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json; charset=utf-8\r\n"
        "Retry-After: 1\r\nCache-Control: no-store\r\nConnection: close\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    (void)send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

BoundedServer::BoundedServer(const WorkerLimits& limits) : limits_(limits) {
    new_task_queue = [limits] { return new BoundedPool(limits.workers, limits.queued); };
}

bool BoundedServer::process_and_close_socket(socket_t sock) {
    if (refusing) {
        // Only what has already come is read: this thread never waits for a client.
        answerSaturated(sock);
        closeConnection(sock, Milliseconds(0));
        return true;
    }
    DeadlineStream stream(sock, limits_);
    bool closed = false;
    bool served = process_request(stream, true, closed, [](httplib::Request&) {});
    closeConnection(sock, Milliseconds(200));
    return served;
}

}  // namespace lifelog_tool
