// The channel relay of the release orvane-server, measured from outside on loopback, with
// socat relaying the same traffic in the same run as the peer.
//
// TcpStream/RELAY: one stream of 256 MiB from one joined side to the other through the
// relay. TcpStreamSocat/BUFFER: the same stream through "socat TCP-LISTEN TCP" to a sink;
// BUFFER is socat's -b (8192 is its default; 1048576 equals the relay's pipe). Both
// report bytes/s of the stream as the receiver took it.
//
// UdpDatagrams/DIRECTIONS: participants send 200-byte payloads (228-byte datagrams with
// the relay header) as fast as the relay passes them (a window of 256 on their way), one
// way or both ways at once; the counters give the datagrams delivered per second and the
// share lost.
// UdpDatagramsSocat: the same one way through "socat -u UDP-RECV UDP-SENDTO".
//
// The clients are threads of this process; the relay and socat are processes of their own.

#include "NetClient.h"
#include "RelayTestSupport.h"
#include "ServerProcess.h"

#include "core/Message.h"
#include "server/AccountStore.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr size_t StreamBytes = 256u << 20;
constexpr size_t ChunkBytes = 256u << 10;
constexpr int Payload = 200;
constexpr int DatagramsPerDirection = 1000000;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sends `bytes` on one socket while this thread reads them on the other; the seconds from
// the first write to the last byte read, or -1 when the stream broke.
double stream(int sendFd, int receiveFd, size_t bytes)
{
    std::vector<uint8_t> block(ChunkBytes);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 131 + 7);
    const auto start = Clock::now();
    std::thread sender([&] {
        for (size_t sent = 0; sent < bytes;) {
            const ssize_t n = ::send(sendFd, block.data(), std::min(block.size(), bytes - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    });
    std::vector<uint8_t> buffer(1u << 20);
    size_t received = 0;
    while (received < bytes) {
        const ssize_t n = ::recv(receiveFd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            break;
        received += static_cast<size_t>(n);
    }
    const double seconds = secondsSince(start);
    sender.join();
    return received == bytes ? seconds : -1;
}

// The CPU time all threads of the process have had, in nanoseconds (the scheduler's
// account: fine enough for a run of a tenth of a second, unlike clock ticks).
double cpuNanos(pid_t pid)
{
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(tasks.c_str());
    if (!dir)
        return 0;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
        double onCpu = 0;
        if (in >> onCpu)
            total += onCpu;
    }
    ::closedir(dir);
    return total;
}

// The stream through a relay process, with the share of one core that process took.
double measuredStream(benchmark::State& state, pid_t relay, int from, int to)
{
    const double cpuBefore = cpuNanos(relay);
    const double seconds = stream(from, to, StreamBytes);
    if (seconds > 0)
        state.counters["relay_cpu_%"] = (cpuNanos(relay) - cpuBefore) / 1e9 / seconds * 100.0;
    return seconds;
}

int connectTo(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A program that listens for one connection only gives no sign of readiness but accepting
// it: the real connection is retried until it is taken.
int connectWhenListening(uint16_t port, PeerProcess& program)
{
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end && program.running()) {
        const int fd = connectTo(port);
        if (fd >= 0)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

std::string socatPath()
{
    return findPeerBinary({"/usr/bin/socat"}, "socat");
}

// The release server with its relay and one account, alice (#1), signed in.
class RelayRig {
public:
    bool start()
    {
        char pattern[] = "/dev/shm/orvane-relay-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            return false;
        dir_ = pattern;
        database_ = dir_ + "/accounts.db";
        {
            AccountStore store(database_.c_str(), 1);
            AccountRecord alice;
            alice.userName = "alice";
            uint64_t id = 0;
            if (store.createAccount(alice, "secret1", id) != AccountStore::Created || id != 1)
                return false;
            AccountRecord bob;
            bob.userName = "bob";
            store.createAccount(bob, "secret2", id);
        }
        // UDP sessions stay until they fall idle: every iteration opens one more.
        if (!server_.startWithRelay({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--database", database_,
                                     "--hash-cost", "1", "--max-relay-sessions-per-user", "1000"}))
            return false;
        alice_.reset(new RawClient(server_.messagePort()));
        XmlNode body("message");
        body.addChild("user_id", "1");
        body.addChild("user_name", "alice");
        body.addChild("password", "secret1");
        Message signIn;
        signIn.build(100, 0, 0, 0, 0, body);
        if (!alice_->send(Bytes(signIn.outgoingData(), signIn.outgoingData() + signIn.outgoingLength())))
            return false;
        LinkFrame frame;
        return readFrame(frame) && readFrame(frame);
    }
    ~RelayRig()
    {
        alice_.reset();
        server_.stop();
        std::remove(database_.c_str());
        ::rmdir(dir_.c_str());
    }

    uint16_t port() const { return server_.relayPort(); }
    pid_t pid() const { return server_.pid(); }

    // A session between alice and bob; 0 when it was not granted.
    int32_t open(const char* protocol)
    {
        const std::string request = std::string("<message command=\"OPEN_SERVER_CHANNEL\" protocol=\"") + protocol +
                                    "\" user_id=\"1\" user_conn_id=\"1\"><participants user_id=\"1\" user_id=\"2\"/>"
                                    "</message>";
        LinkFrame reply;
        if (!alice_->send(commandFrame(1, request)) || !readFrame(reply))
            return 0;
        std::map<std::string, std::string> fields = fieldsOf(reply.body);
        return fields["response"] == "SUCCESS" ? std::atoi(fields["srvr_conn_id"].c_str()) : 0;
    }

    // A connection that joined the TCP session; -1 when refused.
    int join(int32_t id)
    {
        const int fd = connectTo(port());
        const Bytes frame = joinFrame(id);
        const Bytes expected = joinAnswer("SUCCESS");
        Bytes answer(expected.size());
        if (fd < 0 || ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()) ||
            ::recv(fd, answer.data(), answer.size(), MSG_WAITALL) != static_cast<ssize_t>(answer.size()) ||
            answer != expected) {
            if (fd >= 0)
                ::close(fd);
            return -1;
        }
        return fd;
    }

private:
    bool readFrame(LinkFrame& frame)
    {
        Bytes header, body;
        if (!alice_->readExactly(header, 21))
            return false;
        const size_t length = (size_t(header[17]) << 24) | (size_t(header[18]) << 16) | (size_t(header[19]) << 8) |
                              header[20];
        if (!alice_->readExactly(body, length))
            return false;
        frame = linkFrame(header + body);
        return true;
    }

    std::string dir_;
    std::string database_;
    ServerProcess server_;
    std::unique_ptr<RawClient> alice_;
};

RelayRig* gRig = nullptr;

void reportStream(benchmark::State& state, double seconds)
{
    state.SetIterationTime(seconds);
    state.counters["MiB/s"] = static_cast<double>(StreamBytes) / seconds / (1 << 20);
}

void BM_TcpStream(benchmark::State& state)
{
    for (auto _ : state) {
        const int32_t id = gRig->open("tcp");
        const int from = gRig->join(id);
        const int to = gRig->join(id);
        if (id == 0 || from < 0 || to < 0) {
            state.SkipWithError("no relay session");
            return;
        }
        const double seconds = measuredStream(state, gRig->pid(), from, to);
        ::close(from);
        ::close(to);
        if (seconds < 0) {
            state.SkipWithError("the stream broke");
            return;
        }
        reportStream(state, seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * StreamBytes));
}

// The same stream straight from the sender to the receiver: the ceiling of both relays.
void BM_TcpStreamDirect(benchmark::State& state)
{
    for (auto _ : state) {
        uint16_t port = 0;
        const int listener = listenOnLoopback(port);
        const int from = connectTo(port);
        const int to = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listener);
        const double seconds = from >= 0 && to >= 0 ? stream(from, to, StreamBytes) : -1;
        ::close(from);
        ::close(to);
        if (seconds < 0) {
            state.SkipWithError("the stream broke");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["MiB/s"] = static_cast<double>(StreamBytes) / seconds / (1 << 20);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * StreamBytes));
}

void BM_TcpStreamSocat(benchmark::State& state)
{
    const std::string socat = socatPath();
    for (auto _ : state) {
        uint16_t sinkPort = 0;
        const int sink = listenOnLoopback(sinkPort);
        const uint16_t port = unusedLoopbackPort();
        PeerProcess program;
        std::vector<std::string> argv{socat, "-b", std::to_string(state.range(0)),
                                      "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                                      "TCP:127.0.0.1:" + std::to_string(sinkPort)};
        if (socat.empty() || sink < 0 || !program.start(argv)) {
            state.SkipWithError("socat did not start");
            return;
        }
        const int from = connectWhenListening(port, program);
        const int to = from >= 0 ? ::accept4(sink, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        ::close(sink);
        if (from < 0 || to < 0) {
            state.SkipWithError("socat did not relay");
            return;
        }
        const double seconds = measuredStream(state, program.pid(), from, to);
        ::close(from);
        ::close(to);
        program.stop();
        if (seconds < 0) {
            state.SkipWithError("the stream broke");
            return;
        }
        reportStream(state, seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * StreamBytes));
}

// ---- datagrams --------------------------------------------------------------------------------

int udpSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopbackAddress(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    // Room for bursts at the receivers; root may pass the system's cap.
    const int bytes = 32 << 20;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    const timeval wait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

uint16_t portOf(int fd)
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

// One direction: `count` copies of the datagram sent to the port in batches, and the
// receiver's count of what arrived until nothing came for 200 ms. The sender keeps at most
// a window of datagrams on their way, as a sender that paces itself by its peer's answers
// would: so the rate is what the relay passes, not what it drops. A window that does not
// move for a while is taken as lost and opened again.
struct Flow {
    static constexpr int Window = 256;
    static constexpr int StallMs = 20;

    int sendFd;
    int receiveFd;
    uint16_t toPort;
    Bytes datagram;
    int count;
    std::atomic<long> delivered{0};
    double sendSeconds = 0;
    double receiveSeconds = 0;

    void send(Clock::time_point start)
    {
        constexpr int Batch = 64;
        sockaddr_in to = loopbackAddress(toPort);
        iovec data{datagram.data(), datagram.size()};
        std::vector<mmsghdr> messages(Batch);
        for (mmsghdr& m : messages) {
            m.msg_hdr = msghdr{};
            m.msg_hdr.msg_name = &to;
            m.msg_hdr.msg_namelen = sizeof to;
            m.msg_hdr.msg_iov = &data;
            m.msg_hdr.msg_iovlen = 1;
        }
        long written = 0; // sent but taken as lost
        for (int sent = 0; sent < count;) {
            const auto stalled = Clock::now() + std::chrono::milliseconds(StallMs);
            while (sent - delivered.load() - written > Window - Batch) {
                if (Clock::now() > stalled) {
                    written = sent - delivered.load();
                    break;
                }
                std::this_thread::yield();
            }
            const int n = ::sendmmsg(sendFd, messages.data(), std::min(Batch, count - sent), 0);
            if (n <= 0)
                break;
            sent += n;
        }
        sendSeconds = secondsSince(start);
    }
    void receive(Clock::time_point start)
    {
        constexpr int Batch = 64;
        std::vector<uint8_t> buffers(Batch * 2048);
        std::vector<iovec> data(Batch);
        std::vector<mmsghdr> messages(Batch);
        for (int i = 0; i < Batch; ++i) {
            data[i] = iovec{buffers.data() + i * 2048, 2048};
            messages[i].msg_hdr = msghdr{};
            messages[i].msg_hdr.msg_iov = &data[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        while (delivered < count) {
            const int n = ::recvmmsg(receiveFd, messages.data(), Batch, MSG_WAITFORONE, nullptr);
            if (n <= 0)
                break; // 200 ms without a datagram: the rest was lost
            delivered += n;
            receiveSeconds = secondsSince(start);
        }
    }
};

void runFlows(benchmark::State& state, std::vector<std::unique_ptr<Flow>>& flows)
{
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (auto& flow : flows) {
        Flow* f = flow.get();
        threads.emplace_back([f, start] { f->receive(start); });
        threads.emplace_back([f, start] { f->send(start); });
    }
    for (std::thread& t : threads)
        t.join();
    double seconds = 0, sendSeconds = 0;
    long sent = 0, delivered = 0;
    for (auto& flow : flows) {
        seconds = std::max(seconds, flow->receiveSeconds);
        sendSeconds = std::max(sendSeconds, flow->sendSeconds);
        sent += flow->count;
        delivered += flow->delivered;
    }
    state.SetIterationTime(seconds);
    state.counters["sent/s"] = static_cast<double>(sent) / sendSeconds;
    state.counters["delivered/s"] = static_cast<double>(delivered) / seconds;
    state.counters["lost_%"] = 100.0 * static_cast<double>(sent - delivered) / static_cast<double>(sent);
}

void BM_UdpDatagrams(benchmark::State& state)
{
    const int directions = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const int32_t id = gRig->open("udp");
        if (id == 0) {
            state.SkipWithError("no relay session");
            return;
        }
        const int alice = udpSocket(), bob = udpSocket();
        const Bytes fromAlice = relayDatagram(id, 1, 2, std::string(Payload, 'a'));
        const Bytes fromBob = relayDatagram(id, 2, 1, std::string(Payload, 'b'));
        // Both heard from: bob's first datagram reaches alice.
        uint8_t first[512];
        sockaddr_in relay = loopbackAddress(gRig->port());
        ::sendto(alice, fromAlice.data(), fromAlice.size(), 0, reinterpret_cast<sockaddr*>(&relay), sizeof relay);
        ::sendto(bob, fromBob.data(), fromBob.size(), 0, reinterpret_cast<sockaddr*>(&relay), sizeof relay);
        if (::recv(alice, first, sizeof first, 0) != static_cast<ssize_t>(fromBob.size())) {
            state.SkipWithError("the relay did not pass the first datagram");
            return;
        }
        std::vector<std::unique_ptr<Flow>> flows;
        const int count = DatagramsPerDirection / directions;
        flows.emplace_back(new Flow{alice, bob, gRig->port(), fromAlice, count});
        if (directions == 2)
            flows.emplace_back(new Flow{bob, alice, gRig->port(), fromBob, count});
        runFlows(state, flows);
        ::close(alice);
        ::close(bob);
    }
}

void BM_UdpDatagramsSocat(benchmark::State& state)
{
    const std::string socat = socatPath();
    for (auto _ : state) {
        const int sender = udpSocket(), sink = udpSocket();
        const uint16_t port = unusedLoopbackPort();
        PeerProcess program;
        if (socat.empty() || !program.start({socat, "-u", "UDP-RECV:" + std::to_string(port) + ",bind=127.0.0.1",
                                             "UDP-SENDTO:127.0.0.1:" + std::to_string(portOf(sink))})) {
            state.SkipWithError("socat did not start");
            return;
        }
        // socat is ready once a datagram comes through.
        const Bytes datagram = relayDatagram(1, 1, 2, std::string(Payload, 'a'));
        sockaddr_in to = loopbackAddress(port);
        uint8_t first[512];
        bool through = false;
        for (int i = 0; i < 50 && !through; ++i) {
            ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            through = ::recv(sink, first, sizeof first, 0) == static_cast<ssize_t>(datagram.size());
        }
        while (::recv(sink, first, sizeof first, MSG_DONTWAIT) > 0) {
        }
        if (!through) {
            state.SkipWithError("socat did not pass a datagram");
            return;
        }
        std::vector<std::unique_ptr<Flow>> flows;
        // A fifth of the relay's count: socat is an order of magnitude slower.
        flows.emplace_back(new Flow{sender, sink, port, datagram, DatagramsPerDirection / 5});
        runFlows(state, flows);
        program.stop();
        ::close(sender);
        ::close(sink);
    }
}

BENCHMARK(BM_TcpStream)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpStreamDirect)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpStreamSocat)->Arg(8192)->Arg(1 << 20)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UdpDatagrams)->Arg(1)->Arg(2)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UdpDatagramsSocat)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RelayRig rig;
    if (!rig.start()) {
        std::fprintf(stderr, "bench_relay: the server with its relay did not start\n");
        return 1;
    }
    gRig = &rig;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gRig = nullptr;
    return 0;
}
