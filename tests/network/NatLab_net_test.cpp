// The NAT lab (scripts/nat-lab, tests/support/NatLab.h) against plain sockets made inside
// its namespaces: what the wan sees of each kind of NAT, which paths between homes exist
// and which do not, miniupnpd on a NAT, programs run inside the lab, and that nothing of
// a lab outlives it.

#include "../foundation/ThreadTestSupport.h"
#include "UpnpTestSupport.h"
#include "tests/support/NatLab.h"

#include "network/UpnpRouter.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A descriptor closed with the scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    void reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

struct Endpoint {
    std::string address;
    uint16_t port = 0;
    bool operator==(const Endpoint& o) const { return address == o.address && port == o.port; }
};

std::ostream& operator<<(std::ostream& out, const Endpoint& e)
{
    return out << e.address << ":" << e.port;
}

sockaddr_in socketAddress(const Endpoint& e)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(e.port);
    if (!e.address.empty())
        ::inet_pton(AF_INET, e.address.c_str(), &a.sin_addr);
    return a;
}

Endpoint endpointOf(const sockaddr_in& a)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return Endpoint{text, ntohs(a.sin_port)};
}

// A socket of the type made in the namespace and bound to the endpoint (an empty address
// is any); a listening one for SOCK_STREAM.
Fd boundSocket(const std::string& ns, int type, const Endpoint& at)
{
    Fd fd(NatLab::socketIn(ns, type));
    if (!fd.valid())
        return fd;
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = socketAddress(at);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        (type == SOCK_STREAM && ::listen(fd.get(), 8) != 0)) {
        ADD_FAILURE() << "bind " << at << " in " << ns << ": " << std::strerror(errno);
        fd.reset();
    }
    return fd;
}

bool sendText(const Fd& fd, const Endpoint& to, const std::string& text)
{
    sockaddr_in a = socketAddress(to);
    return ::sendto(fd.get(), text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
           static_cast<ssize_t>(text.size());
}

struct Datagram {
    Endpoint from;
    std::string text;
};

// The datagram waiting on the socket, without waiting for one.
std::optional<Datagram> readDatagram(const Fd& fd)
{
    char buffer[512];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0)
        return std::nullopt;
    return Datagram{endpointOf(from), std::string(buffer, static_cast<size_t>(n))};
}

std::optional<Datagram> receive(const Fd& fd, int timeoutMs)
{
    if (!readableBefore(fd.get(), std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)))
        return std::nullopt;
    return readDatagram(fd);
}

// A TCP connection made from the namespace (from the address, when given); an invalid
// descriptor when it was refused, unreachable or not answered in time.
Fd connectFrom(const std::string& ns, const Endpoint& to, int timeoutMs, const std::string& fromAddress = "")
{
    Fd fd(NatLab::socketIn(ns, SOCK_STREAM));
    if (!fd.valid())
        return fd;
    if (!fromAddress.empty()) {
        sockaddr_in from = socketAddress({fromAddress, 0});
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0)
            ADD_FAILURE() << "bind " << fromAddress << ": " << std::strerror(errno);
    }
    ::fcntl(fd.get(), F_SETFL, O_NONBLOCK);
    sockaddr_in a = socketAddress(to);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (errno != EINPROGRESS)
        return Fd();
    pollfd p{fd.get(), POLLOUT, 0};
    int error = 0;
    socklen_t len = sizeof error;
    if (::poll(&p, 1, timeoutMs) != 1 || ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
        return Fd();
    return fd;
}

// The connection waiting on the listener and where it came from; invalid when none came
// in time.
Fd acceptWithin(const Fd& listener, int timeoutMs, Endpoint* peer)
{
    if (!readableBefore(listener.get(), std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)))
        return Fd();
    sockaddr_in from{};
    socklen_t len = sizeof from;
    Fd fd(::accept4(listener.get(), reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC));
    if (fd.valid() && peer)
        *peer = endpointOf(from);
    return fd;
}

// A line over an established connection, both ways: proves the path carries data, not
// only handshakes.
void expectExchange(const Fd& a, const Fd& b)
{
    for (const auto& [from, to] : {std::make_pair(a.get(), b.get()), std::make_pair(b.get(), a.get())}) {
        ASSERT_EQ(::send(from, "ping\n", 5, MSG_NOSIGNAL), 5);
        char buffer[8] = {};
        ASSERT_TRUE(readableBefore(to, std::chrono::steady_clock::now() + std::chrono::seconds(2)));
        EXPECT_EQ(::recv(to, buffer, sizeof buffer, 0), 5);
        EXPECT_STREQ(buffer, "ping\n");
    }
}

// A TCP connection from the namespace (from the address, when given) to `to`, accepted
// by the listener, that carries a line both ways; the address the listener saw it come
// from, "" when a step failed.
std::string connectionSeenFrom(const std::string& ns, const Endpoint& to, const Fd& listener,
                               const std::string& fromAddress = "")
{
    Fd caller = connectFrom(ns, to, 2000, fromAddress);
    if (!caller.valid()) {
        ADD_FAILURE() << "no connection from " << ns << " to " << to;
        return std::string();
    }
    Endpoint seen;
    Fd accepted = acceptWithin(listener, 2000, &seen);
    if (!accepted.valid()) {
        ADD_FAILURE() << "the connection from " << ns << " to " << to << " was not accepted";
        return std::string();
    }
    expectExchange(caller, accepted);
    return seen.address;
}

} // namespace

TEST(NatLab, EveryHomeReachesTheServerFromItsNatsWanAddress)
{
    NatLab lab({"cone=cone", "sym=symmetric", "fwd=forward:4000", "upnp=upnp", "second=lan:cone"});
    ASSERT_TRUE(lab.started());
    const Endpoint server{lab.serverAddress(), 7000};
    Fd listener = boundSocket(lab.wanNamespace(), SOCK_STREAM, server);
    Fd wanUdp = boundSocket(lab.wanNamespace(), SOCK_DGRAM, server);
    ASSERT_TRUE(listener.valid() && wanUdp.valid());

    for (const NatLabHome& home : lab.homes()) {
        SCOPED_TRACE(home.name);
        EXPECT_EQ(connectionSeenFrom(home.ns, server, listener), home.natWanAddress) << lab.ruleset(home.nat);

        // The answer to a datagram finds its way back through the mapping.
        Fd udp = boundSocket(home.ns, SOCK_DGRAM, {});
        ASSERT_TRUE(sendText(udp, server, "hello from " + home.name));
        std::optional<Datagram> in = receive(wanUdp, 2000);
        ASSERT_TRUE(in);
        EXPECT_EQ(in->text, "hello from " + home.name);
        EXPECT_EQ(in->from.address, home.natWanAddress);
        ASSERT_TRUE(sendText(wanUdp, in->from, "welcome"));
        std::optional<Datagram> back = receive(udp, 2000);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->text, "welcome");
        EXPECT_EQ(back->from, server);
    }
    EXPECT_EQ(lab.home("second").natWanAddress, lab.home("cone").natWanAddress);
    EXPECT_EQ(lab.home("fwd").forwardedPort, 4000);
}

// What the wan sees of one client socket that sends to two wan hosts: a cone NAT keeps
// the socket's port for every destination (so a peer can use the port the server saw),
// a symmetric one takes a new port per destination.
TEST(NatLab, ExternalPortOfOneSocketFollowsTheNatMode)
{
    NatLab lab({"cone=cone", "sym=symmetric", "fwd=forward:4000", "upnp=upnp"});
    ASSERT_TRUE(lab.started());
    const Endpoint toServer{lab.serverAddress(), 7001};
    const Endpoint toPeer{lab.peerAddress(), 7002};
    Fd server = boundSocket(lab.wanNamespace(), SOCK_DGRAM, toServer);
    Fd peer = boundSocket(lab.wanNamespace(), SOCK_DGRAM, toPeer);
    ASSERT_TRUE(server.valid() && peer.valid());

    const uint16_t clientPort = 5555;
    for (const NatLabHome& home : lab.homes()) {
        SCOPED_TRACE(home.mode);
        Fd client = boundSocket(home.ns, SOCK_DGRAM, {"", clientPort});
        ASSERT_TRUE(sendText(client, toServer, "a"));
        ASSERT_TRUE(sendText(client, toPeer, "b"));
        std::optional<Datagram> atServer = receive(server, 2000);
        std::optional<Datagram> atPeer = receive(peer, 2000);
        ASSERT_TRUE(atServer && atPeer);
        EXPECT_EQ(atServer->from.address, home.natWanAddress);
        EXPECT_EQ(atPeer->from.address, home.natWanAddress);
        if (home.mode == "symmetric") {
            EXPECT_NE(atServer->from.port, atPeer->from.port);
        } else {
            EXPECT_EQ(atServer->from.port, clientPort);
            EXPECT_EQ(atPeer->from.port, clientPort);
        }
    }
}

// Two clients learn each other's public endpoint from what the server saw, then send to
// it from the same sockets until both have heard the other.
TEST(NatLab, HolePunchingGetsThroughBetweenConeNatsOnly)
{
    NatLab lab({"cone1=cone", "cone2=cone", "sym1=symmetric", "sym2=symmetric"});
    ASSERT_TRUE(lab.started());
    const Endpoint serverAt{lab.serverAddress(), 3478};
    Fd server = boundSocket(lab.wanNamespace(), SOCK_DGRAM, serverAt);
    ASSERT_TRUE(server.valid());

    struct Case {
        const char* first;
        const char* second;
        bool punches;
    };
    const Case cases[] = {{"cone1", "cone2", true}, {"cone1", "sym1", false}, {"sym1", "sym2", false}};
    uint16_t port = 6000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " with " + c.second);
        ++port; // a fresh port per pair: no mapping of an earlier pair may help
        const std::string names[2] = {c.first, c.second};
        Fd sockets[2] = {boundSocket(lab.home(c.first).ns, SOCK_DGRAM, {"", port}),
                         boundSocket(lab.home(c.second).ns, SOCK_DGRAM, {"", port})};
        Endpoint seen[2];
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(sendText(sockets[i], serverAt, names[i]));
            std::optional<Datagram> in = receive(server, 2000);
            ASSERT_TRUE(in);
            ASSERT_EQ(in->text, names[i]);
            seen[i] = in->from;
        }
        // The first datagram dies at the other NAT; the answer to it finds the hole the
        // first one made, and the next one the hole the answer made.
        bool heard[2] = {false, false};
        for (int round = 0; round < 3 && !(heard[0] && heard[1]); ++round) {
            for (int i = 0; i < 2; ++i)
                ASSERT_TRUE(sendText(sockets[i], seen[1 - i], names[i]));
            pollfd fds[2] = {{sockets[0].get(), POLLIN, 0}, {sockets[1].get(), POLLIN, 0}};
            while (::poll(fds, 2, 100) > 0)
                for (int i = 0; i < 2; ++i)
                    while (std::optional<Datagram> in = readDatagram(sockets[i]))
                        heard[i] = heard[i] || in->text == names[1 - i];
        }
        EXPECT_EQ(heard[0], c.punches);
        EXPECT_EQ(heard[1], c.punches);
    }
}

TEST(NatLab, ForwardedPortReachesTheClientFromTheWanAndNoOtherPortDoes)
{
    NatLab lab({"fwd=forward:4000", "cone=cone"});
    ASSERT_TRUE(lab.started());
    const NatLabHome& fwd = lab.home("fwd");
    const NatLabHome& cone = lab.home("cone");

    struct Case {
        const NatLabHome& home;
        uint16_t port;
        bool reachable;
    };
    const Case cases[] = {{fwd, 4000, true}, {fwd, 4001, false}, {cone, 4000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.home.name + ":" + std::to_string(c.port));
        Fd listener = boundSocket(c.home.ns, SOCK_STREAM, {"", c.port});
        Fd udp = boundSocket(c.home.ns, SOCK_DGRAM, {"", c.port});
        const Endpoint outside{c.home.natWanAddress, c.port};

        // From the second wan address: the client sees the peer's own address, not the
        // NAT's.
        if (c.reachable) {
            EXPECT_EQ(connectionSeenFrom(lab.wanNamespace(), outside, listener, lab.peerAddress()), lab.peerAddress());
        } else {
            EXPECT_FALSE(connectFrom(lab.wanNamespace(), outside, 300, lab.peerAddress()).valid());
            EXPECT_FALSE(acceptWithin(listener, 50, nullptr).valid());
        }

        Fd wanUdp = boundSocket(lab.wanNamespace(), SOCK_DGRAM, {lab.peerAddress(), 0});
        ASSERT_TRUE(sendText(wanUdp, outside, "knock"));
        std::optional<Datagram> in = receive(udp, c.reachable ? 2000 : 100);
        EXPECT_EQ(in.has_value(), c.reachable);
        if (in) {
            EXPECT_EQ(in->from.address, lab.peerAddress());
        }
    }
}

// The client's own UPnP code finds miniupnpd by SSDP from the home and asks it for
// mappings; the wan then reaches the client through them.
TEST(NatLab, UpnpNatMapsPortsThatTheWanReaches)
{
    NatLab lab({"home=upnp"});
    ASSERT_TRUE(lab.started());
    const NatLabHome& home = lab.home("home");
    {
        NamespaceScope inside;
        ASSERT_TRUE(inside.enterNamed(home.ns));
        Routers routers;
        ASSERT_EQ(UpnpRouter::discover(routers.list, 1), 1) << lab.miniupnpdLog(home.nat);
        UpnpRouter& router = *routers.list[0];
        EXPECT_EQ(text(router.getLocalAddress()), home.address);
        EXPECT_EQ(text(router.getExternalIPAddress()), home.natWanAddress);
        ASSERT_NE(router.addPortMapping("Orvane lab", 5000, 6000, UpnpRouter::Tcp), nullptr) << lab.miniupnpdLog(home.nat);
        ASSERT_NE(router.addPortMapping("Orvane lab", 5000, 6000, UpnpRouter::Udp), nullptr) << lab.miniupnpdLog(home.nat);
    }

    Fd listener = boundSocket(home.ns, SOCK_STREAM, {"", 6000});
    Fd udp = boundSocket(home.ns, SOCK_DGRAM, {"", 6000});
    const Endpoint mapped{home.natWanAddress, 5000};
    EXPECT_EQ(connectionSeenFrom(lab.wanNamespace(), mapped, listener, lab.serverAddress()), lab.serverAddress())
        << lab.ruleset(home.nat);

    Fd wanUdp = boundSocket(lab.wanNamespace(), SOCK_DGRAM, {});
    ASSERT_TRUE(sendText(wanUdp, mapped, "knock"));
    std::optional<Datagram> in = receive(udp, 2000);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->text, "knock");
}

// Two clients on one LAN talk directly, from their private addresses; and one that
// takes the way through the NAT's forwarded port (the hairpin) gets answers back the
// same way, seen as coming from the NAT.
TEST(NatLab, ClientsOnOneLanMeetDirectlyAndThroughTheForwardedPort)
{
    NatLab lab({"first=forward:4000", "second=lan:first"});
    ASSERT_TRUE(lab.started());
    const NatLabHome& first = lab.home("first");
    const NatLabHome& second = lab.home("second");
    EXPECT_EQ(second.nat, "first");
    EXPECT_EQ(second.natNamespace, first.natNamespace);

    Fd listener = boundSocket(first.ns, SOCK_STREAM, {"", 4000});
    const auto seenFrom = [&](const char* way, const std::string& address, const std::string& expected) {
        SCOPED_TRACE(way);
        Endpoint to;
        to.address = address;
        to.port = 4000;
        EXPECT_EQ(connectionSeenFrom(second.ns, to, listener), expected) << lab.ruleset(first.nat);
    };
    seenFrom("direct", first.address, second.address);
    seenFrom("hairpin", first.natWanAddress, first.natLanAddress);

    Fd a = boundSocket(first.ns, SOCK_DGRAM, {"", 4100});
    Fd b = boundSocket(second.ns, SOCK_DGRAM, {"", 4100});
    ASSERT_TRUE(sendText(b, {first.address, 4100}, "neighbour"));
    std::optional<Datagram> in = receive(a, 2000);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->from, (Endpoint{second.address, 4100}));
}

// No route leads to a private address of another LAN, neither from a home behind
// another NAT nor from the wan; only NAT mappings join them.
TEST(NatLab, PrivateAddressesAreUnreachableFromOutsideTheirLan)
{
    NatLab lab({"alice=cone", "bob=forward:4000"});
    ASSERT_TRUE(lab.started());
    struct Case {
        const char* from;
        std::string ns;
        const NatLabHome& target;
    };
    const Case cases[] = {{"alice", lab.home("alice").ns, lab.home("bob")},
                          {"bob", lab.home("bob").ns, lab.home("alice")},
                          {"wan", lab.wanNamespace(), lab.home("alice")},
                          {"wan", lab.wanNamespace(), lab.home("bob")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " to " + c.target.name);
        Fd listener = boundSocket(c.target.ns, SOCK_STREAM, {"", 4000});
        Fd udp = boundSocket(c.target.ns, SOCK_DGRAM, {"", 4000});
        EXPECT_FALSE(connectFrom(c.ns, {c.target.address, 4000}, 500).valid());
        EXPECT_FALSE(acceptWithin(listener, 50, nullptr).valid());
        Fd sender = boundSocket(c.ns, SOCK_DGRAM, {});
        sendText(sender, {c.target.address, 4000}, "psst"); // may fail at once: no route
        EXPECT_FALSE(receive(udp, 100));
    }
}

// A program run in a home with its streams as pipes: socat as a line client of a wan
// server, the way the headless client will talk to the stand-in server.
TEST(NatLab, ProgramsRunInsideTheLabWithTheirStreamsAsPipes)
{
    const std::string socat = findPeerBinary({"/usr/bin/socat", "/bin/socat"}, "socat");
    ASSERT_FALSE(socat.empty());
    NatLab lab({"home=cone"});
    ASSERT_TRUE(lab.started());
    const Endpoint server{lab.serverAddress(), 7000};
    Fd listener = boundSocket(lab.wanNamespace(), SOCK_STREAM, server);

    PipedProcess& client = lab.run(lab.home("home").ns, {socat, "STDIO", "TCP4:" + server.address + ":7000"});
    Endpoint seen;
    Fd accepted = acceptWithin(listener, 5000, &seen);
    ASSERT_TRUE(accepted.valid()) << client.errors();
    EXPECT_EQ(seen.address, lab.home("home").natWanAddress);

    ASSERT_TRUE(client.writeLine("hello"));
    char buffer[16] = {};
    ASSERT_TRUE(readableBefore(accepted.get(), std::chrono::steady_clock::now() + std::chrono::seconds(2)));
    EXPECT_EQ(::recv(accepted.get(), buffer, sizeof buffer, 0), 6);
    EXPECT_STREQ(buffer, "hello\n");
    ASSERT_EQ(::send(accepted.get(), "welcome\n", 8, MSG_NOSIGNAL), 8);
    EXPECT_GE(client.log.waitFor("welcome", 2000), 0) << client.log.dump();

    accepted.reset(); // socat ends when the server closes
    EXPECT_GE(client.log.waitFor(PipedProcess::EndLine, 5000), 0);
}

namespace {

// The inode of a namespace's file under /run/netns: what /proc/PID/ns/net names for the
// processes inside it.
ino_t namespaceInode(const std::string& ns)
{
    struct stat st;
    return ::stat(("/run/netns/" + ns).c_str(), &st) == 0 ? st.st_ino : 0;
}

// The processes whose network namespace is one of the inodes (zombies have none).
std::vector<pid_t> processesInside(const std::set<ino_t>& inodes)
{
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    while (proc) {
        dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        struct stat st;
        if (::stat(("/proc/" + std::string(entry->d_name) + "/ns/net").c_str(), &st) == 0 && inodes.count(st.st_ino))
            found.push_back(static_cast<pid_t>(pid));
    }
    if (proc)
        ::closedir(proc);
    return found;
}

bool namespaceExists(const std::string& ns)
{
    return ::access(("/run/netns/" + ns).c_str(), F_OK) == 0;
}

} // namespace

TEST(NatLab, NothingOfALabOutlivesIt)
{
    NatLab lab({"upnp=upnp", "home=cone"});
    ASSERT_TRUE(lab.started());
    // A program the lab started, and one that program left running on its own.
    PipedProcess& shell = lab.run(lab.home("home").ns, {"sh", "-c", "sleep 600 & echo $!; exec cat"});
    PipedProcess& server = lab.run(lab.wanNamespace(), {"sh", "-c", "echo inside; exec cat"});
    // Each has entered its namespace once it speaks.
    ASSERT_GE(shell.log.waitUntil([](const std::string&) { return true; }, 5000), 0) << shell.errors();
    ASSERT_GE(server.log.waitFor("inside", 5000), 0) << server.errors();
    const pid_t stray = static_cast<pid_t>(std::stol(shell.log.lines()[0]));

    std::set<ino_t> inodes;
    for (const std::string& ns : lab.namespaces()) {
        inodes.insert(namespaceInode(ns));
        EXPECT_TRUE(namespaceExists(ns)) << ns;
    }
    inodes.erase(0);
    ASSERT_EQ(inodes.size(), 5u); // the wan, two NATs, two homes
    const std::vector<pid_t> before = processesInside(inodes);
    for (pid_t pid : {shell.pid(), server.pid(), stray})
        EXPECT_NE(std::find(before.begin(), before.end(), pid), before.end()) << pid;
    EXPECT_GE(before.size(), 4u); // and miniupnpd

    lab.stop();
    for (const std::string& ns : lab.namespaces())
        EXPECT_FALSE(namespaceExists(ns)) << ns;
    // A killed process keeps its namespaces until it has finished exiting.
    EXPECT_TRUE(orvane::testing::awaitCondition([&] { return processesInside(inodes).empty(); }, 10000));
    EXPECT_EQ(::access(("/run/orvane-nat-lab/" + lab.prefix()).c_str(), F_OK), -1);
}

TEST(NatLab, SweepRemovesLabsWhoseOwnerIsGone)
{
    // A lab owned by a process that ends once the lab stands. (A lab made for a pid that
    // is already gone could be swept by a parallel test while it is being built.)
    PeerProcess owner;
    ASSERT_TRUE(owner.start({findPeerBinary({"/usr/bin/sleep", "/bin/sleep"}, "coreutils"), "60"}));
    const std::string orphan = "orvnat" + std::to_string(owner.pid()) + "-1";
    CommandResult r = runCommand({"bash", ORVANE_NAT_LAB_SCRIPT, "up", orphan, "a=cone", "b=lan:a"});
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(namespaceExists(orphan + "-a-nat"));
    owner.stop();

    NatLab alive({"a=cone"});
    ASSERT_TRUE(alive.started());
    r = runCommand({"bash", ORVANE_NAT_LAB_SCRIPT, "sweep"});
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* name : {"-wan", "-a", "-a-nat", "-b"})
        EXPECT_FALSE(namespaceExists(orphan + name)) << name;
    for (const std::string& ns : alive.namespaces())
        EXPECT_TRUE(namespaceExists(ns)) << ns;
}

// A list the lab cannot be built from is refused before anything is made, with a reason.
TEST(NatLab, ScriptRefusesHomeListsItCannotBuild)
{
    const std::string prefix = "orvnat" + std::to_string(::getpid()) + "-900";
    struct Case {
        std::vector<std::string> homes;
        const char* reason;
    };
    const Case cases[] = {
        {{"a=cone", "a=symmetric"}, "a is given twice"},
        {{"a=lan:b", "b=cone"}, "b is not an earlier home with a NAT of its own"},
        {{"a=cone", "b=lan:a", "c=lan:b"}, "b is not an earlier home with a NAT of its own"},
        {{"a=forward:0"}, "forward needs a port 1-65535"},
        {{"a=forward:65536"}, "forward needs a port 1-65535"},
        {{"a=full-cone"}, "the mode is one of"},
        {{"wan=cone"}, "wan is the server's namespace"},
        {{"Alice=cone"}, "home names are a lower-case letter"},
        {{"a"}, "expected HOME=MODE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<std::string> args{"bash", ORVANE_NAT_LAB_SCRIPT, "up", prefix};
        args.insert(args.end(), c.homes.begin(), c.homes.end());
        const CommandResult r = runCommand(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.output.find(c.reason), std::string::npos) << r.output;
        EXPECT_FALSE(namespaceExists(prefix + "-wan"));
    }
    const CommandResult r = runCommand({"bash", ORVANE_NAT_LAB_SCRIPT, "up", "orvupnp1-1", "a=cone"});
    EXPECT_NE(r.output.find("must be orvnat, the owner's pid"), std::string::npos) << r.output;
}

// A lab whose build fails halfway (here at the first NAT's rules) is removed again.
TEST(NatLab, ScriptRemovesAHalfBuiltLab)
{
    TempDirectory bin;
    writeBytes(bin / "nft", "#!/bin/sh\necho nft refuses >&2\nexit 1\n", 0755);
    const std::string prefix = "orvnat" + std::to_string(::getpid()) + "-901";
    const CommandResult r = runCommand({"env", "PATH=" + bin.path() + ":" + std::getenv("PATH"), "bash",
                                        ORVANE_NAT_LAB_SCRIPT, "up", prefix, "a=cone", "b=cone"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("nft refuses"), std::string::npos) << r.output;
    for (const char* name : {"-wan", "-a", "-a-nat", "-b", "-b-nat"})
        EXPECT_FALSE(namespaceExists(prefix + name)) << name;
}

namespace {

// nft lives in /usr/sbin only; ip and bash are also found in /usr/bin.
void buildLabWithoutSbin()
{
    ScopedEnv path("PATH", "/usr/bin:/bin");
    NatLab lab({"a=cone"});
}

} // namespace

TEST(NatLab, MissingProgramFailsNamingItsPackage)
{
    EXPECT_NONFATAL_FAILURE(buildLabWithoutSbin(), "install the Debian package nftables");
}
