#pragma once

// A TCP peer on 127.0.0.1 for the fuzz targets whose code under test talks to a server (a
// proxy, a tunnel server): each connection it accepts gets the next scripted answer at once
// and whole, then the end of the peer's sending; what the client sends is read and dropped
// until the client closes. With no answer left, a connection is closed at once. One thread
// serves every connection side by side, so that none waits for another to end.

#include "tests/support/RawLoopback.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::fuzzing {

class ScriptedPeer {
public:
    ScriptedPeer()
    {
        listener_ = testing::listenOnLoopback(port_, 64);
        if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0)
            std::abort();
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedPeer()
    {
        const char stop = 0;
        if (::write(wake_[1], &stop, 1) != 1)
            std::abort();
        thread_.join();
        for (int fd : {listener_, wake_[0], wake_[1]})
            ::close(fd);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }

    // The answers for the connections to come, in order; with repeatLast the last one also
    // answers every connection after it.
    void script(std::vector<std::string> answers, bool repeatLast)
    {
        std::lock_guard<std::mutex> guard(lock_);
        answers_.assign(answers.begin(), answers.end());
        repeatLast_ = repeatLast;
    }

private:
    struct Connection {
        int fd;
        std::string out;
        size_t sent;
    };

    bool nextAnswer(std::string& answer)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (answers_.empty())
            return false;
        answer = answers_.front();
        if (answers_.size() > 1 || !repeatLast_)
            answers_.pop_front();
        return true;
    }

    void serve()
    {
        std::vector<Connection> connections;
        for (;;) {
            std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            for (const Connection& c : connections)
                fds.push_back({c.fd, static_cast<short>(c.sent < c.out.size() ? POLLOUT : POLLIN), 0});
            if (::poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[0].revents)
                break;
            for (size_t i = 0; i + 2 < fds.size(); ++i)
                if (fds[i + 2].revents && !step(connections[i])) {
                    ::close(connections[i].fd);
                    connections[i].fd = -1;
                }
            if (fds[1].revents & POLLIN) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                std::string answer;
                if (fd >= 0 && nextAnswer(answer)) {
                    connections.push_back(Connection{fd, answer, 0});
                    if (answer.empty())
                        ::shutdown(fd, SHUT_WR);
                } else if (fd >= 0) {
                    ::close(fd);
                }
            }
            connections.erase(std::remove_if(connections.begin(), connections.end(),
                                             [](const Connection& c) { return c.fd < 0; }),
                              connections.end());
        }
        for (const Connection& c : connections)
            ::close(c.fd);
    }

    // Sends what is left of the answer, ending the sending once it is all out; then reads
    // and drops what the client sends (closing with unread bytes would reset the connection
    // under the answer). False once the connection is done.
    static bool step(Connection& c)
    {
        if (c.sent < c.out.size()) {
            const ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
            if (n < 0)
                return errno == EAGAIN || errno == EINTR;
            c.sent += static_cast<size_t>(n);
            if (c.sent == c.out.size())
                ::shutdown(c.fd, SHUT_WR);
            return true;
        }
        char buffer[4096];
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
    }

    uint16_t port_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex lock_;
    std::deque<std::string> answers_;
    bool repeatLast_ = false;
    std::thread thread_;
};

} // namespace orvane::fuzzing
