#pragma once

// A small TCP-over-HTTP tunnel server for the tunnel tests. It takes POST requests whose
// request line carries the absolute URL with the query "cmd=0&host=H&port=P&rid=R" (open),
// "cmd=1&id=I&rid=R" (data) or "cmd=2&id=I&rid=R" (close), opens the target connection (on
// loopback only), writes each request body to the target and answers "id LF" followed by
// whatever the target sent. It keeps each HTTP connection open for further requests.
//
// Rules told to it beforehand replace the answer to matching requests: another status
// (500 to 503 and the like, with an empty body), a body of the test's choosing, or a stall
// (the request is never answered until the server stops). Every request is recorded.
//
// Answers of its own: an unknown tunnel id is 502; a target that cannot be reached is 500;
// a target that has closed and has nothing more to deliver ends its tunnel with 502.

#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"

#include "../foundation/LoopbackSockets.h"

#include <arpa/inet.h>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

class TunnelServerStandIn {
public:
    static constexpr int Stall = -1;

    struct Request {
        std::string method;
        std::string target; // as on the request line
        std::string query;  // the text after '?'
        std::map<std::string, std::string> params;
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;
        int64_t atMs = 0;
        int status = 0; // the status answered; Stall when none was

        int cmd() const { return param("cmd", -1); }
        int rid() const { return param("rid", -1); }
        std::string id() const
        {
            auto it = params.find("id");
            return it == params.end() ? std::string() : it->second;
        }
        int param(const char* name, int otherwise) const
        {
            auto it = params.find(name);
            return it == params.end() ? otherwise : std::atoi(it->second.c_str());
        }
    };

    // What the next `count` requests with command `cmd` (-1: any) get instead of the usual
    // answer; count -1 means every such request.
    struct Rule {
        int cmd = -1;
        int count = -1;
        int status = 200;    // Stall: never answered
        bool hasBody = false;
        std::string body;    // the whole body of a 200 answer, when hasBody
    };

    // holdMs: how long a data request waits for bytes of the target when none are there,
    // so that an idle tunnel does not turn into a busy loop of requests.
    explicit TunnelServerStandIn(int holdMs = 20) : holdMs_(holdMs)
    {
        listener_ = OwnedSocket(createSocket(true));
        bindSocket(listener_, loopback(0));
        listenSocket(listener_, 64);
        port_ = getLocalPort(listener_);
        acceptThread_ = std::thread([this] { acceptLoop(); });
    }
    ~TunnelServerStandIn() { stop(); }

    uint16_t port() const { return port_; }
    std::string url(const char* path = "/tunnel") const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    void addRule(const Rule& rule)
    {
        std::lock_guard<std::mutex> g(m_);
        rules_.push_back(rule);
    }
    void fail(int status, int cmd = -1, int count = -1)
    {
        Rule r;
        r.cmd = cmd;
        r.count = count;
        r.status = status;
        addRule(r);
    }
    void answerBody(const std::string& body, int cmd = -1, int count = 1)
    {
        Rule r;
        r.cmd = cmd;
        r.count = count;
        r.hasBody = true;
        r.body = body;
        addRule(r);
    }
    void clearRules()
    {
        std::lock_guard<std::mutex> g(m_);
        rules_.clear();
    }

    std::vector<Request> requests()
    {
        std::lock_guard<std::mutex> g(m_);
        return requests_;
    }
    std::vector<Request> requestsWith(int cmd)
    {
        std::vector<Request> out;
        for (const Request& r : requests())
            if (r.cmd() == cmd)
                out.push_back(r);
        return out;
    }
    // Waits until the recorded requests satisfy the condition.
    bool awaitRequests(const std::function<bool(const std::vector<Request>&)>& condition,
                       int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> g(m_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                 [&] { return condition(requests_); });
    }
    int openTunnels()
    {
        std::lock_guard<std::mutex> g(m_);
        return static_cast<int>(tunnels_.size());
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> g(m_);
            if (stopping_)
                return;
            stopping_ = true;
        }
        changed_.notify_all();
        if (acceptThread_.joinable())
            acceptThread_.join();
        std::vector<std::thread> connections;
        {
            std::lock_guard<std::mutex> g(m_);
            connections.swap(connections_);
        }
        for (auto& t : connections)
            t.join();
        std::lock_guard<std::mutex> g(m_);
        tunnels_.clear();
    }

private:
    struct Tunnel {
        OwnedSocket target;
    };

    bool stopping()
    {
        std::lock_guard<std::mutex> g(m_);
        return stopping_;
    }

    void acceptLoop()
    {
        while (!stopping()) {
            SocketAddress peer;
            SocketHandle s = NoSocket;
            try {
                s = acceptConnection(listener_, peer, 50);
            } catch (const Exception&) {
                continue;
            }
            if (s == NoSocket)
                continue;
            std::lock_guard<std::mutex> g(m_);
            connections_.emplace_back([this, s] { serve(OwnedSocket(s)); });
        }
    }

    // Reads into `buffer` until it holds `want` bytes; false when the peer closed or the
    // server stops.
    bool fill(SocketHandle s, std::string& buffer, size_t want)
    {
        char chunk[4096];
        while (buffer.size() < want) {
            if (stopping())
                return false;
            try {
                int n = receive(s, chunk, sizeof chunk, 50);
                buffer.append(chunk, static_cast<size_t>(n));
            } catch (const Exception&) {
                return false;
            }
        }
        return true;
    }

    bool readRequest(SocketHandle s, std::string& buffer, Request& r)
    {
        size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (!fill(s, buffer, buffer.size() + 1))
                return false;
        }
        const std::string head = buffer.substr(0, end);
        buffer.erase(0, end + 4);
        size_t lineEnd = head.find("\r\n");
        const std::string startLine = head.substr(0, lineEnd);
        const size_t sp1 = startLine.find(' '), sp2 = startLine.rfind(' ');
        r.method = startLine.substr(0, sp1);
        r.target = sp1 == std::string::npos || sp2 <= sp1 ? "" : startLine.substr(sp1 + 1, sp2 - sp1 - 1);
        size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (at < head.size()) {
            size_t next = head.find("\r\n", at);
            if (next == std::string::npos)
                next = head.size();
            const std::string line = head.substr(at, next - at);
            const size_t colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon), value = line.substr(colon + 1);
                for (char& c : name)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                value.erase(0, value.find_first_not_of(' '));
                r.headers[name] = value;
            }
            at = next + 2;
        }
        const size_t length = static_cast<size_t>(std::atoi(r.headers["content-length"].c_str()));
        if (!fill(s, buffer, length))
            return false;
        r.body = buffer.substr(0, length);
        buffer.erase(0, length);
        const size_t q = r.target.find('?');
        if (q != std::string::npos) {
            r.query = r.target.substr(q + 1);
            size_t p = 0;
            while (p <= r.query.size()) {
                size_t amp = r.query.find('&', p);
                if (amp == std::string::npos)
                    amp = r.query.size();
                const std::string pair = r.query.substr(p, amp - p);
                const size_t eq = pair.find('=');
                if (eq != std::string::npos)
                    r.params[pair.substr(0, eq)] = decode(pair.substr(eq + 1));
                p = amp + 1;
            }
        }
        r.atMs = monotonicMillis();
        return true;
    }

    static std::string decode(const std::string& text)
    {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            } else {
                out += text[i];
            }
        }
        return out;
    }

    static void answer(SocketHandle s, int status, const std::string& body)
    {
        char head[160];
        std::snprintf(head, sizeof head,
                      "HTTP/1.0 %d Stand-in\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Length: %zu\r\n\r\n",
                      status, body.size());
        std::string whole = std::string(head) + body;
        sendAll(s, whole.data(), static_cast<int>(whole.size()));
    }

    // The rule that applies to a request of this command, used up by one.
    bool takeRule(int cmd, Rule& out)
    {
        std::lock_guard<std::mutex> g(m_);
        for (Rule& r : rules_) {
            if ((r.cmd == -1 || r.cmd == cmd) && r.count != 0) {
                if (r.count > 0)
                    --r.count;
                out = r;
                return true;
            }
        }
        return false;
    }

    void record(const Request& r)
    {
        {
            std::lock_guard<std::mutex> g(m_);
            requests_.push_back(r);
        }
        changed_.notify_all();
    }

    void serve(OwnedSocket s)
    {
        std::string buffer;
        for (;;) {
            Request r;
            if (!readRequest(s, buffer, r))
                return;
            Rule rule;
            if (takeRule(r.cmd(), rule)) {
                if (rule.status == Stall) {
                    r.status = Stall;
                    record(r);
                    std::unique_lock<std::mutex> g(m_);
                    changed_.wait(g, [&] { return stopping_; });
                    return; // closes without an answer
                }
                r.status = rule.status;
                record(r);
                answer(s, rule.status, rule.hasBody ? rule.body : std::string());
                continue;
            }
            std::string body;
            r.status = command(r, body);
            record(r);
            answer(s, r.status, body);
        }
    }

    // Carries out one tunnel command; the status and the body of its answer.
    int command(const Request& r, std::string& body)
    {
        if (r.method != "POST" || r.target.rfind("http://", 0) != 0)
            return 400;
        switch (r.cmd()) {
        case 0: {
            const std::string host = r.params.count("host") ? r.params.at("host") : "";
            uint32_t address = 0;
            // Test traffic stays on loopback.
            if (!parseDottedQuad(host.c_str(), address) || (ntohl(address) >> 24) != 127)
                return 500;
            auto t = std::make_shared<Tunnel>();
            try {
                t->target = OwnedSocket(createSocket(true));
                connectSocketTimeout(t->target, loopback(static_cast<uint16_t>(r.param("port", 0))), 2000);
            } catch (const Exception&) {
                return 500;
            }
            std::string id;
            {
                std::lock_guard<std::mutex> g(m_);
                id = "T" + std::to_string(++lastId_);
                tunnels_[id] = t;
            }
            return relay(id, t, r.body, body);
        }
        case 1: {
            std::shared_ptr<Tunnel> t = find(r.id());
            if (!t)
                return 502;
            return relay(r.id(), t, r.body, body);
        }
        case 2: {
            std::shared_ptr<Tunnel> t = find(r.id());
            if (!t)
                return 502;
            std::lock_guard<std::mutex> g(m_);
            tunnels_.erase(r.id());
            body = r.id() + "\n";
            return 200;
        }
        default:
            return 400;
        }
    }

    std::shared_ptr<Tunnel> find(const std::string& id)
    {
        std::lock_guard<std::mutex> g(m_);
        auto it = tunnels_.find(id);
        return it == tunnels_.end() ? nullptr : it->second;
    }

    int relay(const std::string& id, const std::shared_ptr<Tunnel>& t, const std::string& up,
              std::string& body)
    {
        bool closed = false;
        try {
            if (!up.empty())
                sendAll(t->target, up.data(), static_cast<int>(up.size()));
        } catch (const Exception&) {
            closed = true;
        }
        std::string down;
        char chunk[16384];
        int wait = holdMs_;
        while (!closed && down.size() < 65536) {
            try {
                int n = receive(t->target, chunk, sizeof chunk, wait);
                if (n == 0)
                    break;
                down.append(chunk, static_cast<size_t>(n));
                wait = 0;
            } catch (const Exception&) {
                closed = true;
            }
        }
        if (closed && down.empty()) {
            std::lock_guard<std::mutex> g(m_);
            tunnels_.erase(id);
            return 502;
        }
        body = id + "\n" + down;
        return 200;
    }

    const int holdMs_;
    OwnedSocket listener_;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    std::mutex m_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::thread> connections_;
    std::vector<Request> requests_;
    std::vector<Rule> rules_;
    std::map<std::string, std::shared_ptr<Tunnel>> tunnels_;
    int lastId_ = 0;
};

} // namespace orvane::testing
