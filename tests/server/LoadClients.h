#pragma once

// Many raw clients of the message server, driven from one thread over epoll, for the load
// test and the load benchmark, with the stalled client of the attack and the look into
// /proc that both take of the server. Each client connects from a loopback source address of the
// caller's choosing (all of 127.0.0.0/8 is this machine), so that clients spread over
// addresses as they would in the field, signs in with its own frame and keeps every frame
// the server sends it, bodies inflated.
//
// GroupLoad is the scenario both run: clients in groups that list each other sign in at
// once, see each other come online, send one module message each along the group, then
// half of them leave; afterwards every client must hold exactly what it was meant to get.

#include "NetClient.h"
#include "ServerTestSupport.h"

#include "core/Message.h"
#include "foundation/XmlNode.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"
#include "server/AccountStore.h"
#include "server/OrvaneServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <set>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

// Entries of a /proc/<pid> folder (0: this process): its threads ("task") or its
// descriptors ("fd"); -1 when it cannot be read.
inline int procEntries(pid_t pid, const char* what)
{
    const std::string path = "/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/" + what;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return -1;
    int n = 0;
    while (dirent* e = ::readdir(dir))
        n += e->d_name[0] != '.';
    ::closedir(dir);
    return n;
}

// The soft limit on descriptors raised as far as this process may, to `wanted` or beyond
// (root may raise the hard limit too); the limit in force. Children inherit it.
inline long raiseDescriptorsTo(long wanted)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max != RLIM_INFINITY && static_cast<long>(limit.rlim_max) < wanted) {
        rlimit more{static_cast<rlim_t>(wanted), static_cast<rlim_t>(wanted)};
        ::setrlimit(RLIMIT_NOFILE, &more);
    }
    return raiseOpenFileLimit();
}

// The value at the fraction p (0.5: the median) of sorted values; -1 when there are none.
inline double percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return -1;
    const size_t i = std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())));
    return sorted[i];
}

// A blocking connection to the loopback port from the source address (host order): the
// descriptor, or -1.
inline int connectFrom(uint16_t port, uint32_t source)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(source);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A client that connects from the source address (host order), sends the first ten bytes
// of a sign-in header and then nothing more: the descriptor, or -1.
inline int stalledConnection(uint16_t port, uint32_t source)
{
    const int fd = connectFrom(port, source);
    static const uint8_t halfHeader[10] = {'#', 100, 0, 0, 0, 0, 0, 0, 0, 0};
    if (fd >= 0 && ::send(fd, halfHeader, sizeof halfHeader, MSG_NOSIGNAL) != sizeof halfHeader) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The account endpoint's answer to a sign-in form from 127.0.0.1 (HttpClient's exceptions
// pass out).
inline std::string loginReply(uint16_t port, const std::string& user, const std::string& password)
{
    HttpClient http;
    FormFields form;
    form.field("CMD") = "LOGIN";
    form.field("user") = user.c_str();
    form.field("password") = password.c_str();
    ByteArray out;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/orvane";
    http.postForm(url.c_str(), &form, &out);
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(out.count()));
}

// The sign-in of a client from 127.0.0.1, answered by the signed-in frame: its time in ms,
// or -1 when no answer came within five seconds.
inline double timedSignIn(uint16_t port, const Bytes& signIn)
{
    const auto t0 = std::chrono::steady_clock::now();
    RawClient client(port);
    Bytes header;
    if (!client.send(signIn) || !client.readExactly(header, 21) || header[1] != 101)
        return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Form posts to the account endpoint from one source address, each on a connection of its
// own, all sent at once and answered whenever the server gets to them: what a client that
// floods the endpoint keeps in flight. The answers are read without waiting (collect).
class FormFlood {
public:
    // `body` is the form's encoded text ("CMD=LOGIN&user=bob&password=wrong").
    FormFlood(uint16_t port, uint32_t source, const std::string& body, int count)
    {
        const std::string request = "POST /orvane HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                    "Content-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body;
        for (int i = 0; i < count; ++i) {
            const int fd = connectFrom(port, source);
            if (fd < 0)
                continue;
            if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
                ::close(fd);
                continue;
            }
            posts_.push_back(Post{fd, std::string()});
        }
    }
    ~FormFlood()
    {
        for (Post& p : posts_)
            if (p.fd >= 0)
                ::close(p.fd);
    }
    FormFlood(const FormFlood&) = delete;
    FormFlood& operator=(const FormFlood&) = delete;

    int sent() const { return static_cast<int>(posts_.size()); }
    // Closes every connection, answered or not.
    void leave()
    {
        for (Post& p : posts_)
            if (p.fd >= 0) {
                ::close(p.fd);
                p.fd = -1;
            }
    }

    // Reads what has arrived; a post is answered once the server has closed its connection.
    void collect()
    {
        for (Post& p : posts_) {
            while (p.fd >= 0) {
                char buffer[4096];
                const ssize_t n = ::recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    p.answer.append(buffer, static_cast<size_t>(n));
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                    break;
                if (n < 0 && errno == EINTR)
                    continue;
                ::close(p.fd);
                p.fd = -1;
            }
        }
    }
    int answered() const
    {
        return static_cast<int>(std::count_if(posts_.begin(), posts_.end(), [](const Post& p) { return p.fd < 0; }));
    }
    // Answered posts whose status line carries the code.
    int answeredWith(int status) const
    {
        const std::string code = " " + std::to_string(status) + " ";
        return static_cast<int>(std::count_if(posts_.begin(), posts_.end(), [&](const Post& p) {
            return p.fd < 0 && p.answer.compare(0, 8, "HTTP/1.0") == 0 && p.answer.compare(8, code.size(), code) == 0;
        }));
    }

private:
    struct Post {
        int fd;
        std::string answer;
    };
    std::vector<Post> posts_;
};

// The source address of the clients of group g: 127.1.0.1, 127.1.0.2 and on, in host order.
inline uint32_t loadSourceAddress(int group)
{
    return 0x7F010000u + static_cast<uint32_t>(group) + 1;
}

// One frame as a client received it.
struct LoadFrame {
    uint8_t type = 0;
    uint64_t recipient = 0;
    uint64_t sender = 0;
    std::string body;
};

class LoadClients {
public:
    using Clock = std::chrono::steady_clock;

    struct Client {
        std::string name;
        std::string password;
        uint64_t id = 0;
        uint32_t source = 0; // host order
        int fd = -1;
        std::vector<uint8_t> input;
        std::vector<LoadFrame> frames;
        // Kept as frames come, so that waiting for them stays cheap: frames of each type,
        // and the accounts reported online and offline.
        std::map<uint8_t, int> typeCounts;
        std::set<uint64_t> seenOnline;
        std::set<uint64_t> seenOffline;
        Clock::time_point connectStart;
        // From the start of the connect to the signed-in frame; negative until then.
        double signInMs = -1;
        // The server ended the connection (or it broke).
        bool ended = false;
    };

    explicit LoadClients(uint16_t port) : port_(port), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}
    ~LoadClients()
    {
        for (Client& c : clients_)
            if (c.fd >= 0)
                ::close(c.fd);
        ::close(epoll_);
    }
    LoadClients(const LoadClients&) = delete;
    LoadClients& operator=(const LoadClients&) = delete;

    int add(const std::string& name, const std::string& password, uint64_t id, uint32_t source)
    {
        Client c;
        c.name = name;
        c.password = password;
        c.id = id;
        c.source = source;
        clients_.push_back(std::move(c));
        return static_cast<int>(clients_.size()) - 1;
    }
    Client& operator[](int i) { return clients_[static_cast<size_t>(i)]; }
    const Client& operator[](int i) const { return clients_[static_cast<size_t>(i)]; }
    int size() const { return static_cast<int>(clients_.size()); }

    // Connects the client from its source address and sends its sign-in frame.
    bool signIn(int i)
    {
        Client& c = clients_[static_cast<size_t>(i)];
        c.connectStart = Clock::now();
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (c.fd < 0)
            return fail(c, "socket", errno);
        // The port is chosen at connect, per destination, so one address serves many clients.
        const int on = 1;
        ::setsockopt(c.fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
        ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(c.source);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port_);
        if (::bind(c.fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0)
            return fail(c, "bind", errno);
        if (::connect(c.fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            return fail(c, "connect", errno);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = static_cast<uint64_t>(i);
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &event);
        XmlNode body("message");
        body.addChild("network_id", "");
        body.addChild("user_id", std::to_string(c.id).c_str());
        body.addChild("user_name", c.name.c_str());
        body.addChild("password", c.password.c_str());
        body.addChild("status", "1");
        body.addChild("peer_contacts", "");
        body.addChild("contacts", "");
        return send(i, 100, 0, body);
    }

    bool send(int i, uint8_t type, uint64_t recipient, const XmlNode& body)
    {
        Client& c = clients_[static_cast<size_t>(i)];
        Message frame;
        frame.build(type, recipient, 0, c.id, 0, body);
        // Frames here are a few hundred bytes: they always fit the socket's buffer.
        const ssize_t n = ::send(c.fd, frame.outgoingData(), static_cast<size_t>(frame.outgoingLength()),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n != frame.outgoingLength())
            return fail(c, "send", n < 0 ? errno : 0);
        return true;
    }

    void close(int i)
    {
        Client& c = clients_[static_cast<size_t>(i)];
        if (c.fd >= 0)
            ::close(c.fd);
        c.fd = -1;
    }

    // Reads every connection until `done` holds (true) or the time runs out (false).
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        epoll_event events[256];
        for (;;) {
            if (done())
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left < 0)
                return false;
            const int n = ::epoll_wait(epoll_, events, 256, static_cast<int>(std::min<long long>(left, 100)));
            for (int k = 0; k < n; ++k)
                receive(static_cast<int>(events[k].data.u64));
        }
    }
    // Takes whatever has arrived, without waiting.
    void pumpNow()
    {
        epoll_event events[256];
        int n;
        while ((n = ::epoll_wait(epoll_, events, 256, 0)) > 0)
            for (int k = 0; k < n; ++k)
                receive(static_cast<int>(events[k].data.u64));
    }

    // The first failures, for the report.
    std::string errors;
    int errorCount = 0;

private:
    bool fail(Client& c, const char* what, int error)
    {
        if (++errorCount <= 5)
            errors += c.name + ": " + what + ": " + std::strerror(error) + "\n";
        return false;
    }

    void receive(int i)
    {
        Client& c = clients_[static_cast<size_t>(i)];
        if (c.fd < 0)
            return;
        uint8_t buffer[65536];
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            c.ended = true;
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
            return;
        }
        c.input.insert(c.input.end(), buffer, buffer + n);
        size_t used = 0;
        while (c.input.size() - used >= 21) {
            const uint8_t* h = c.input.data() + used;
            const uint32_t length = (uint32_t(h[17]) << 24) | (uint32_t(h[18]) << 16) | (uint32_t(h[19]) << 8) | h[20];
            if (h[0] != '#' || length > (1u << 20)) {
                fail(c, "a malformed frame from the server", 0);
                c.ended = true;
                break;
            }
            if (c.input.size() - used < 21 + size_t(length))
                break;
            LoadFrame f;
            f.type = h[1];
            for (int k = 3; k < 8; ++k)
                f.recipient = (f.recipient << 8) | h[k];
            for (int k = 10; k < 15; ++k)
                f.sender = (f.sender << 8) | h[k];
            if (h[2]) {
                ByteArray inflated;
                if (!inflateBounded(h + 21, static_cast<int>(length), 1 << 20, inflated))
                    fail(c, "a body that does not inflate", 0);
                f.body.assign(reinterpret_cast<const char*>(inflated.data()), static_cast<size_t>(inflated.count()));
            } else {
                f.body.assign(reinterpret_cast<const char*>(h + 21), length);
            }
            if (f.type == 101 && c.signInMs < 0)
                c.signInMs = std::chrono::duration<double, std::milli>(Clock::now() - c.connectStart).count();
            ++c.typeCounts[f.type];
            if (f.type == 4 || f.type == 6)
                for (const auto& r : presenceRecords(f.body))
                    (r.second ? c.seenOnline : c.seenOffline).insert(r.first);
            c.frames.push_back(std::move(f));
            used += 21 + length;
        }
        c.input.erase(c.input.begin(), c.input.begin() + static_cast<long>(used));
    }

    uint16_t port_;
    int epoll_;
    std::vector<Client> clients_;
};

// Accounts "load0", "load1" ... with passwords "pw0" ..., made on `threads` threads (the
// hash is the slow part), then the lists: each lists every other member of its group of
// `groupSize` consecutive accounts. The ids in account order.
inline std::vector<uint64_t> createGroupAccounts(AccountStore& store, int count, int groupSize, int threads)
{
    std::vector<uint64_t> ids(static_cast<size_t>(count), 0);
    std::vector<std::thread> makers;
    for (int t = 0; t < threads; ++t)
        makers.emplace_back([&, t] {
            for (int i = t; i < count; i += threads) {
                AccountRecord r;
                r.userName = ("load" + std::to_string(i)).c_str();
                uint64_t id = 0;
                if (store.createAccount(r, ("pw" + std::to_string(i)).c_str(), id) == AccountStore::Created)
                    ids[static_cast<size_t>(i)] = id;
            }
        });
    for (std::thread& t : makers)
        t.join();
    for (int i = 0; i < count; ++i) {
        const int first = i / groupSize * groupSize;
        const int last = std::min(first + groupSize, count);
        for (int j = first; j < last; ++j)
            if (j != i)
                store.addContact(ids[static_cast<size_t>(i)], ids[static_cast<size_t>(j)], groupSize);
    }
    return ids;
}

class GroupLoad {
public:
    // The clients of `ids` (accounts made by createGroupAccounts), group g connecting from
    // loadSourceAddress(g).
    GroupLoad(uint16_t port, const std::vector<uint64_t>& ids, int groupSize) : clients(port), groupSize_(groupSize)
    {
        for (size_t i = 0; i < ids.size(); ++i)
            clients.add("load" + std::to_string(i), "pw" + std::to_string(i), ids[i],
                        loadSourceAddress(static_cast<int>(i) / groupSize));
    }

    // Every client connects and sends its sign-in frame at once (what has arrived is read
    // between groups); true once each has its signed-in frame and presence list.
    bool signInAll(int timeoutMs)
    {
        for (int i = 0; i < clients.size(); ++i) {
            clients.signIn(i);
            if (i % groupSize_ == groupSize_ - 1)
                clients.pumpNow();
        }
        return clients.pumpUntil([&] { return allHave([](const LoadClients::Client& c) { return count(c, 6) > 0; }); },
                                 timeoutMs);
    }

    // True once every client has seen every other member of its group online, in its list
    // or as it came.
    bool awaitGroupsOnline(int timeoutMs)
    {
        return clients.pumpUntil([&] { return allHave([&](const LoadClients::Client& c) { return onlineSeen(c) >= memberCount(c) - 1; }); },
                                 timeoutMs);
    }

    // Each client sends one module message to the next member of its group; true once each
    // has received one.
    bool exchangeMessages(int timeoutMs)
    {
        for (int i = 0; i < clients.size(); ++i) {
            XmlNode m("message");
            m.addChild("module_id", "chat");
            m.addChild("data", messageText(i, next(i)).c_str());
            clients.send(i, 2, clients[next(i)].id, m);
        }
        return clients.pumpUntil([&] { return allHave([](const LoadClients::Client& c) { return count(c, 2) > 0; }); },
                                 timeoutMs);
    }

    // Every client still connected asks for its own details and waits for them: whatever
    // the server queued for it before is then in hand.
    bool settle(int timeoutMs)
    {
        for (int i = 0; i < clients.size(); ++i) {
            if (clients[i].fd < 0)
                continue;
            XmlNode c;
            c.addChild("command", "GET_USER_INFO");
            clients.send(i, 10, clients[i].id, c);
            ++asked_[i];
        }
        return clients.pumpUntil(
            [&] {
                for (const auto& entry : asked_)
                    if (clients[entry.first].fd >= 0 && count(clients[entry.first], 10) < entry.second)
                        return false;
                return true;
            },
            timeoutMs);
    }

    // The odd members leave; true once every even one has seen each odd member of its
    // group go offline.
    bool leaveHalf(int timeoutMs)
    {
        for (int i = 1; i < clients.size(); i += 2)
            clients.close(i);
        left_ = true;
        return clients.pumpUntil(
            [&] { return allHave([&](const LoadClients::Client& c) { return c.fd < 0 || offlineSeen(c) >= oddMembers(c); }); },
            timeoutMs);
    }

    void leaveAll()
    {
        for (int i = 0; i < clients.size(); ++i)
            clients.close(i);
    }

    // Every way a client's frames differ from what it was meant to get; empty when all is
    // exact. After settle, so nothing is still on its way.
    std::vector<std::string> problems() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < clients.size(); ++i)
            checkClient(i, out);
        if (clients.errorCount > 0)
            out.push_back("client failures:\n" + clients.errors);
        return out;
    }

    std::vector<double> signInTimes() const
    {
        std::vector<double> times;
        for (int i = 0; i < clients.size(); ++i)
            if (clients[i].signInMs >= 0)
                times.push_back(clients[i].signInMs);
        std::sort(times.begin(), times.end());
        return times;
    }

    LoadClients clients;

private:
    int groupOf(int i) const { return i / groupSize_; }
    int firstOf(int i) const { return groupOf(i) * groupSize_; }
    int endOf(int i) const { return std::min(firstOf(i) + groupSize_, clients.size()); }
    int memberCount(const LoadClients::Client& c) const { return endOf(indexOf(c)) - firstOf(indexOf(c)); }
    int next(int i) const { return i + 1 < endOf(i) ? i + 1 : firstOf(i); }
    int previous(int i) const { return i > firstOf(i) ? i - 1 : endOf(i) - 1; }
    int indexOf(const LoadClients::Client& c) const { return static_cast<int>(&c - &clients[0]); }
    int oddMembers(const LoadClients::Client& c) const
    {
        int n = 0;
        for (int j = firstOf(indexOf(c)); j < endOf(indexOf(c)); ++j)
            n += j % 2;
        return n;
    }
    static std::string messageText(int from, int to)
    {
        return "from " + std::to_string(from) + " to " + std::to_string(to);
    }

    template <class Test> bool allHave(Test test) const
    {
        for (int i = 0; i < clients.size(); ++i)
            if (!test(clients[i]))
                return false;
        return true;
    }
    static int count(const LoadClients::Client& c, uint8_t type)
    {
        auto it = c.typeCounts.find(type);
        return it == c.typeCounts.end() ? 0 : it->second;
    }

    // How often each account was reported with the status, in lists and single records.
    static std::map<uint64_t, int> reported(const LoadClients::Client& c, int status)
    {
        std::map<uint64_t, int> seen;
        for (const LoadFrame& f : c.frames)
            if (f.type == 4 || f.type == 6)
                for (const auto& r : presenceRecords(f.body))
                    if (r.second == status)
                        ++seen[r.first];
        return seen;
    }
    static int onlineSeen(const LoadClients::Client& c) { return static_cast<int>(c.seenOnline.size()); }
    static int offlineSeen(const LoadClients::Client& c) { return static_cast<int>(c.seenOffline.size()); }

    void checkClient(int i, std::vector<std::string>& out) const
    {
        const LoadClients::Client& c = clients[i];
        auto problem = [&](const std::string& what) { out.push_back(c.name + ": " + what); };
        if (c.signInMs < 0)
            return problem("never signed in");
        if (c.ended && c.fd >= 0)
            problem("the server closed the connection");
        std::map<uint64_t, int> expectedOnline, expectedOffline;
        for (int j = firstOf(i); j < endOf(i); ++j) {
            if (j == i)
                continue;
            expectedOnline[clients[j].id] = 1;
            if (left_ && i % 2 == 0 && j % 2 == 1)
                expectedOffline[clients[j].id] = 1;
        }
        if (reported(c, 1) != expectedOnline)
            problem("online reports are not exactly one for each other member of its group");
        // A member that left before the others were read may have been seen going; those
        // that stay are only checked for what they were meant to see.
        if (c.fd >= 0 && reported(c, 0) != expectedOffline)
            problem("offline reports are not exactly one for each member of its group that left");
        int modules = 0, signedIn = 0, lists = 0;
        for (const LoadFrame& f : c.frames) {
            if (f.recipient != c.id)
                problem("a frame of type " + std::to_string(f.type) + " addressed to #" + std::to_string(f.recipient));
            switch (f.type) {
            case 101:
                ++signedIn;
                break;
            case 6:
                ++lists;
                break;
            case 4:
                if (presenceRecords(f.body).size() != 1 || presenceRecords(f.body)[0].first != f.sender)
                    problem("a presence frame whose sender is not the account it reports");
                break;
            case 2: {
                ++modules;
                const int from = previous(i);
                XmlNode body;
                body.parse(f.body.c_str());
                if (f.sender != clients[from].id ||
                    std::string(body.childOrEmpty("data")->value.c_str()) != messageText(from, i))
                    problem("a module message that is not its predecessor's: " + f.body);
                break;
            }
            case 10:
                break;
            default:
                problem("a frame of type " + std::to_string(f.type));
            }
        }
        if (signedIn != 1 || lists != 1)
            problem("not exactly one signed-in frame and one presence list");
        if (modules != 1)
            problem(std::to_string(modules) + " module messages instead of one");
    }

    int groupSize_;
    bool left_ = false;
    // Requests for its own details sent by each client.
    std::map<int, int> asked_;
};

} // namespace orvane::testing
