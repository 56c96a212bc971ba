#pragma once

// A scripted TCP peer on 127.0.0.1 for protocol tests: it listens on a port the system
// picks, takes connections one after another, runs one script per connection (read so many
// bytes, read up to a marker, read an HTTP request, send bytes, close, reset), and records
// every byte each connection received. A connection whose script ends without closing is
// kept open (and read on, so nothing it receives is lost) until the peer is destroyed, so
// a client may hold it while it opens the next one.
//
//   CapturingPeer peer({Script().readRequest().send("HTTP/1.0 200 OK\r\n\r\nhi").close()});
//   ... client talks to peer.port() ...
//   EXPECT_EQ(peer.received(0), "GET / HTTP/1.0\r\n...");

#include "tests/support/RawLoopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

class Script {
public:
    struct Step {
        enum Kind { ReadBytes, ReadUntil, ReadRequest, Send, Pause, Close, Reset } kind;
        std::string text;
        size_t count = 0;
    };

    Script& read(size_t n) { return add({Step::ReadBytes, "", n}); }
    Script& readUntil(std::string marker) { return add({Step::ReadUntil, std::move(marker), 0}); }
    // A head up to the empty line, then as many bytes as its Content-Length says.
    Script& readRequest() { return add({Step::ReadRequest, "", 0}); }
    Script& send(std::string bytes) { return add({Step::Send, std::move(bytes), 0}); }
    Script& pause(int ms) { return add({Step::Pause, "", static_cast<size_t>(ms)}); }
    Script& close() { return add({Step::Close, "", 0}); }
    // Closes with SO_LINGER 0, so that the client sees a reset.
    Script& reset() { return add({Step::Reset, "", 0}); }

    std::vector<Step> steps;

private:
    Script& add(Step s)
    {
        steps.push_back(std::move(s));
        return *this;
    }
};

class CapturingPeer {
public:
    // How long a read step waits for its bytes before the script gives up.
    static constexpr int StepTimeoutMs = 10000;

    explicit CapturingPeer(std::vector<Script> scripts) : scripts_(std::move(scripts))
    {
        listener_ = listenOnLoopback(port_);
        if (listener_ < 0)
            std::abort();
        records_.resize(scripts_.size());
        thread_ = std::thread([this] { run(); });
    }

    ~CapturingPeer()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        thread_.join();
        for (int s : open_)
            if (s >= 0)
                ::close(s);
        ::close(listener_);
    }

    CapturingPeer(const CapturingPeer&) = delete;
    CapturingPeer& operator=(const CapturingPeer&) = delete;

    uint16_t port() const { return port_; }

    // The bytes connection i received by the end of its script (waits for that end).
    std::string received(size_t i)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait_for(lock, std::chrono::milliseconds(StepTimeoutMs * 2),
                       [&] { return i < records_.size() && records_[i].finished; });
        return i < records_.size() ? records_[i].bytes : std::string();
    }
    // Everything connection i received so far, also after its script ended.
    std::string receivedSoFar(size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return i < records_.size() ? records_[i].bytes : std::string();
    }
    size_t accepted()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return accepted_;
    }
    // True when the script of connection i ran to its end without missing its bytes.
    bool completed(size_t i)
    {
        received(i);
        std::lock_guard<std::mutex> lock(mutex_);
        return i < records_.size() && records_[i].finished && !records_[i].failed;
    }

private:
    struct Record {
        std::string bytes;
        bool finished = false;
        bool failed = false;
    };

    bool stopping()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return stop_;
    }

    // Waits up to ms for the descriptor; true when readable. Gives up early when stopping.
    bool waitReadable(int fd, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!stopping()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0)
                return true;
            if (std::chrono::steady_clock::now() >= end)
                return false;
        }
        return false;
    }

    // Reads once into the record of connection i; false at the end or on a failure.
    bool readSome(int fd, size_t i, int ms)
    {
        if (!waitReadable(fd, ms))
            return false;
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        std::lock_guard<std::mutex> lock(mutex_);
        records_[i].bytes.append(buffer, static_cast<size_t>(n));
        return true;
    }

    size_t recordSize(size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_[i].bytes.size();
    }

    std::string record(size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_[i].bytes;
    }

    // Runs one script; `consumed` counts the recorded bytes the read steps have used up.
    bool runScript(int fd, size_t i, bool& closed)
    {
        size_t consumed = 0;
        for (const Script::Step& step : scripts_[i].steps) {
            switch (step.kind) {
            case Script::Step::ReadBytes:
                while (recordSize(i) < consumed + step.count)
                    if (!readSome(fd, i, StepTimeoutMs))
                        return false;
                consumed += step.count;
                break;
            case Script::Step::ReadUntil:
                for (;;) {
                    size_t at = record(i).find(step.text, consumed);
                    if (at != std::string::npos) {
                        consumed = at + step.text.size();
                        break;
                    }
                    if (!readSome(fd, i, StepTimeoutMs))
                        return false;
                }
                break;
            case Script::Step::ReadRequest: {
                size_t headEnd;
                for (;;) {
                    headEnd = record(i).find("\r\n\r\n", consumed);
                    if (headEnd != std::string::npos)
                        break;
                    if (!readSome(fd, i, StepTimeoutMs))
                        return false;
                }
                std::string head = record(i).substr(consumed, headEnd - consumed);
                for (char& c : head)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                size_t length = 0;
                size_t cl = head.find("\r\ncontent-length:");
                if (cl != std::string::npos)
                    length = std::strtoul(head.c_str() + cl + 17, nullptr, 10);
                consumed = headEnd + 4;
                while (recordSize(i) < consumed + length)
                    if (!readSome(fd, i, StepTimeoutMs))
                        return false;
                consumed += length;
                break;
            }
            case Script::Step::Send:
                for (size_t sent = 0; sent < step.text.size();) {
                    ssize_t n = ::send(fd, step.text.data() + sent, step.text.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0)
                        return false;
                    sent += static_cast<size_t>(n);
                }
                break;
            case Script::Step::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.count));
                break;
            case Script::Step::Reset: {
                linger l{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                ::close(fd);
                closed = true;
                return true;
            }
            case Script::Step::Close:
                ::shutdown(fd, SHUT_WR);
                // Take what the client has still sent, so that closing does not turn into a
                // reset that could discard bytes the client has not read yet.
                while (readSome(fd, i, 50)) {
                }
                ::close(fd);
                closed = true;
                return true;
            }
        }
        return true;
    }

    void run()
    {
        for (size_t i = 0; i < scripts_.size(); ++i) {
            int fd = -1;
            while (fd < 0) {
                if (stopping())
                    return finishAll();
                keepReadingOpen();
                pollfd p{listener_, POLLIN, 0};
                if (::poll(&p, 1, 20) > 0)
                    fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++accepted_;
            }
            bool closed = false;
            const bool ok = runScript(fd, i, closed);
            if (!closed) {
                openIndex_.push_back(i);
                open_.push_back(fd);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                records_[i].finished = true;
                records_[i].failed = !ok;
            }
            done_.notify_all();
        }
        while (!stopping()) {
            keepReadingOpen();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Reads whatever the connections kept open have received, without waiting.
    void keepReadingOpen()
    {
        for (size_t k = 0; k < open_.size(); ++k) {
            if (open_[k] < 0)
                continue;
            pollfd p{open_[k], POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0)
                continue;
            char buffer[4096];
            ssize_t n = ::recv(open_[k], buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) {
                ::close(open_[k]);
                open_[k] = -1;
                continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            records_[openIndex_[k]].bytes.append(buffer, static_cast<size_t>(n));
        }
    }

    void finishAll()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (Record& r : records_)
                r.finished = true;
        }
        done_.notify_all();
    }

    std::vector<Script> scripts_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<Record> records_;
    std::vector<int> open_;
    std::vector<size_t> openIndex_;
    size_t accepted_ = 0;
    bool stop_ = false;
};

} // namespace orvane::testing
