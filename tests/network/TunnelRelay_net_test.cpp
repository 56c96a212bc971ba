#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "network/ProxyClient.h"
#include "network/TunnelRelay.h"
#include "network/TunnelRelaySession.h"

#include "../foundation/ThreadTestSupport.h"
#include "ServerTestSupport.h"
#include "TunnelServerStandIn.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Requests = std::vector<TunnelServerStandIn::Request>;

class LogCollector : public TunnelLogSink {
public:
    void logLine(const String& line) override
    {
        {
            std::lock_guard<std::mutex> g(m_);
            lines_.emplace_back(line.c_str());
        }
        changed_.notify_all();
    }
    // Waits until a line holds the text.
    bool await(const std::string& text, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> g(m_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return findLocked(text) >= 0; });
    }
    int count(const std::string& text)
    {
        std::lock_guard<std::mutex> g(m_);
        int n = 0;
        for (const auto& l : lines_)
            n += l.find(text) != std::string::npos;
        return n;
    }
    std::vector<std::string> lines()
    {
        std::lock_guard<std::mutex> g(m_);
        return lines_;
    }

private:
    int findLocked(const std::string& text)
    {
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].find(text) != std::string::npos)
                return static_cast<int>(i);
        return -1;
    }
    std::mutex m_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// Sends back whatever arrives until the peer closes.
void echoAll(FnHandler& h)
{
    char buffer[16384];
    for (;;) {
        Thread::checkStop();
        int n;
        try {
            n = receive(h.socket.handle, buffer, sizeof buffer, h.timeoutMs());
        } catch (const NoConnectionException&) {
            return;
        }
        if (n > 0)
            sendAll(h.socket.handle, buffer, n);
    }
}

// The local side: a client of the relay, as the proxy client would be.
class LocalClient {
public:
    explicit LocalClient(uint16_t relayPort) : s_(createSocket(true)) { connectSocket(s_, loopback(relayPort)); }

    void send(const std::string& bytes) { sendAll(s_, bytes.data(), static_cast<int>(bytes.size())); }
    // Up to and including the empty line; what arrived before the end when the relay closed.
    std::string readHead()
    {
        std::string head;
        char c;
        while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
            try {
                if (receive(s_, &c, 1, 10000) == 0)
                    break;
            } catch (const SocketException&) {
                break;
            }
            head += c;
        }
        return head;
    }
    std::string readExactly(size_t n)
    {
        std::string out;
        char buffer[16384];
        while (out.size() < n) {
            int got = receive(s_, buffer, static_cast<int>(std::min(sizeof buffer, n - out.size())), 10000);
            if (got == 0)
                break;
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }
    // True when the relay closed the connection; every byte before the end goes to `rest`.
    bool closedByRelay(std::string* rest = nullptr) { return drainUntilClosed(rest); }
    void close() { s_.reset(); }
    SocketHandle handle() const { return s_; }

private:
    bool drainUntilClosed(std::string* rest)
    {
        char buffer[4096];
        try {
            for (;;) {
                int n = receive(s_, buffer, sizeof buffer, 10000);
                if (n == 0)
                    return false;
                if (rest)
                    rest->append(buffer, static_cast<size_t>(n));
            }
        } catch (const SocketException&) {
            return true;
        }
    }
    OwnedSocket s_;
};

const char* const Established = "HTTP/1.0 200 OK\r\n\r\n";

std::string connectLine(uint16_t port, const char* method = "CONNECT")
{
    return std::string(method) + " 127.0.0.1:" + std::to_string(port) + " HTTP/1.0\r\n\r\n";
}

// A relay in front of the stand-in tunnel server, with an echo server as the destination.
// Retries are 20 ms apart instead of 500 to keep the tests short.
struct Tunnel {
    explicit Tunnel(const std::function<void(TunnelSettings&)>& adjust = {})
    {
        TunnelSettings s = relay.dispatcher.getSettings();
        s.tunnelUrl = standIn.url().c_str();
        s.retryDelayMs = 20;
        s.logSink = &logs;
        if (adjust)
            adjust(s);
        relay.dispatcher.setSettings(s);
        relay.start();
    }
    uint16_t targetPort() const { return target.port(); }

    // Opens a local connection and carries it through the open request.
    std::unique_ptr<LocalClient> open()
    {
        auto c = std::make_unique<LocalClient>(relay.getPort());
        c->send(connectLine(targetPort()));
        EXPECT_EQ(c->readHead(), Established);
        return c;
    }

    TunnelServerStandIn standIn;
    RunningServer target{echoAll};
    LogCollector logs;
    TunnelRelay relay; // last: stopped first, while the peers it talks to still run
};

bool hasClose(const Requests& rs)
{
    for (const auto& r : rs)
        if (r.cmd() == 2)
            return true;
    return false;
}

std::string expectedOpen(const Tunnel& t)
{
    return t.standIn.url() + "?cmd=0&host=127.0.0.1&port=" + std::to_string(t.targetPort()) + "&rid=0";
}

} // namespace

TEST(TunnelRelay, DefaultsOfTheConfiguration)
{
    TunnelSettings s;
    EXPECT_EQ(s.chunkSize, 10000);
    EXPECT_EQ(s.establishTimeoutSec, 30);
    EXPECT_EQ(s.retryDelayMs, 500);
    EXPECT_EQ(s.maxTries, 20);
    EXPECT_EQ(s.proxyAddress.getPort(), 0);
    EXPECT_TRUE(s.tunnelUrl.isEmpty());
    TunnelRelay relay;
    EXPECT_EQ(relay.server.address.getHostAddress(), "127.0.0.1");
    EXPECT_EQ(relay.server.address.getPort(), 0);
}

TEST(TunnelRelay, CarriesAConnectionEndToEnd)
{
    Tunnel t;
    auto c = t.open();

    c->send("hello through the tunnel");
    EXPECT_EQ(c->readExactly(24), "hello through the tunnel");
    // More than two chunks' worth: every request carries at most chunkSize bytes, in order.
    std::string big(25000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + (i * 7) % 26);
    c->send(big);
    EXPECT_EQ(c->readExactly(big.size()), big);

    c->close();
    ASSERT_TRUE(t.standIn.awaitRequests(hasClose));
    ASSERT_TRUE(t.logs.await("Channel closed"));

    const Requests rs = t.standIn.requests();
    ASSERT_GE(rs.size(), 4u);
    EXPECT_EQ(rs[0].method, "POST");
    EXPECT_EQ(rs[0].target, expectedOpen(t));
    size_t carried = 0, largest = 0;
    for (size_t i = 0; i < rs.size(); ++i) {
        SCOPED_TRACE("request " + std::to_string(i) + ": " + rs[i].target);
        EXPECT_EQ(rs[i].headers.at("pragma"), "no-cache");
        EXPECT_EQ(rs[i].headers.at("content-type"), "application/octet-stream");
        EXPECT_EQ(rs[i].rid(), static_cast<int>(i)); // every request succeeded
        if (i > 0) {
            const int cmd = i + 1 == rs.size() ? 2 : 1;
            EXPECT_EQ(rs[i].target, t.standIn.url() + "?cmd=" + std::to_string(cmd) + "&id=T1&rid=" + std::to_string(i));
        }
        carried += rs[i].body.size();
        largest = std::max(largest, rs[i].body.size());
    }
    EXPECT_EQ(carried, 24 + big.size());
    EXPECT_EQ(largest, 10000u);
    // The client's end costs one more data request that carries nothing, then the close.
    EXPECT_EQ(rs[rs.size() - 2].cmd(), 1);
    EXPECT_TRUE(rs[rs.size() - 2].body.empty());
    EXPECT_TRUE(rs.back().body.empty());

    const auto lines = t.logs.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front().rfind("Relay > Accepted connection -> <", 0), 0u) << lines.front();
    EXPECT_GE(t.logs.count("Relay T1> Client socket closed -> <"), 1);
    EXPECT_EQ(t.logs.count("Relay T1> Closing channel"), 1);
    EXPECT_EQ(t.logs.count("Relay T1> Channel closed"), 1);
}

TEST(TunnelRelay, TwoConnectionsGetTwoIndependentTunnels)
{
    Tunnel t;
    auto a = t.open();
    auto b = t.open();
    a->send("first");
    b->send("second");
    EXPECT_EQ(b->readExactly(6), "second");
    EXPECT_EQ(a->readExactly(5), "first");
    a->close();
    b->close();
    ASSERT_TRUE(t.standIn.awaitRequests([](const Requests& rs) {
        int closes = 0;
        for (const auto& r : rs)
            closes += r.cmd() == 2;
        return closes == 2;
    }));
    // Each tunnel's requests carry its own id and their own run of request ids from 0.
    std::map<std::string, std::vector<int>> rids;
    int opens = 0;
    for (const auto& r : t.standIn.requests()) {
        if (r.cmd() == 0) {
            EXPECT_EQ(r.rid(), 0);
            ++opens;
        } else {
            rids[r.id()].push_back(r.rid());
        }
    }
    EXPECT_EQ(opens, 2);
    ASSERT_EQ(rids.size(), 2u);
    for (const auto& [id, list] : rids) {
        SCOPED_TRACE(id);
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(list[i], static_cast<int>(i) + 1);
    }
}

TEST(TunnelRelay, ASlowlySplitConnectIsAssembledAndLowerCaseIsAccepted)
{
    Tunnel t;
    {
        LocalClient c(t.relay.getPort());
        const std::string line = connectLine(t.targetPort());
        // Each piece comes later than the 100 ms read time-out of the session.
        for (const std::string& piece : {line.substr(0, 4), line.substr(4, 10), line.substr(14)}) {
            c.send(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        EXPECT_EQ(c.readHead(), Established);
        c.send("ok?");
        EXPECT_EQ(c.readExactly(3), "ok?");
    }
    {
        LocalClient c(t.relay.getPort());
        c.send(connectLine(t.targetPort(), "connect"));
        EXPECT_EQ(c.readHead(), Established);
        c.send("lower");
        EXPECT_EQ(c.readExactly(5), "lower");
    }
    const auto opens = t.standIn.requestsWith(0);
    ASSERT_EQ(opens.size(), 2u);
    for (const auto& r : opens)
        EXPECT_EQ(r.target, expectedOpen(t));
}

TEST(TunnelRelay, AnotherMethodThanConnectEndsTheSession)
{
    Tunnel t;
    LocalClient c(t.relay.getPort());
    c.send("GET http://127.0.0.1/ HTTP/1.0\r\n\r\n");
    std::string rest;
    EXPECT_TRUE(c.closedByRelay(&rest));
    EXPECT_EQ(rest, ""); // no answer at all
    ASSERT_TRUE(t.logs.await("Closing channel"));
    EXPECT_EQ(t.logs.count("Relay > Bad method: GET -> <"), 1);
    // Nothing was opened; the close still goes out, without an id and with request id 0.
    ASSERT_TRUE(t.standIn.awaitRequests(hasClose));
    const Requests rs = t.standIn.requests();
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(rs[0].target, t.standIn.url() + "?cmd=2&id=&rid=0");
}

TEST(TunnelRelay, TheEstablishmentDeadlineEndsASilentClient)
{
    Tunnel t([](TunnelSettings& s) { s.establishTimeoutSec = 1; });
    LocalClient c(t.relay.getPort());
    c.send("CONNECT 127.0.0.1:"); // and nothing more
    const Stopwatch watch;
    EXPECT_TRUE(c.closedByRelay());
    EXPECT_GE(watch.elapsed(), 800);
    EXPECT_LT(watch.elapsed(), 4000);
    EXPECT_EQ(t.logs.count("Session establishment timeout expired"), 1);
    ASSERT_TRUE(t.standIn.awaitRequests(hasClose));
    EXPECT_EQ(t.standIn.requests()[0].target, t.standIn.url() + "?cmd=2&id=&rid=0");
}

TEST(TunnelRelay, TheIdIsTakenFromEveryAnswerAndAnAnswerWithoutLineFeedCarriesNothing)
{
    Tunnel t;
    t.standIn.answerBody("abc\n", 1, 1); // a new id, nothing for the client
    t.standIn.answerBody("xyz", 1, 1);   // no line feed: no bytes, the id stays
    auto c = t.open();
    // With the third data request for "abc", which the stand-in does not know (502), the
    // channel closes.
    std::string rest;
    EXPECT_TRUE(c->closedByRelay(&rest));
    EXPECT_EQ(rest, "");
    ASSERT_TRUE(t.standIn.awaitRequests(hasClose));
    const auto data = t.standIn.requestsWith(1);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].id(), "T1");
    EXPECT_EQ(data[1].id(), "abc");
    EXPECT_EQ(data[2].id(), "abc");
    EXPECT_EQ(data[2].rid(), 3);
    EXPECT_EQ(data[2].status, 502);
    // The data request and then the close are both refused for the unknown id.
    EXPECT_EQ(t.logs.count("TcpOverHttpSrv FAILED to find the tunnel - rid 3, response 502"), 2);
}

TEST(TunnelRelay, RequestIdsAdvanceOnlyOnSuccess)
{
    Tunnel t;
    t.standIn.fail(501, 1, 3);
    auto c = t.open();
    c->send("after three failures");
    EXPECT_EQ(c->readExactly(20), "after three failures");
    ASSERT_TRUE(t.standIn.awaitRequests([](const Requests& rs) {
        int data = 0;
        for (const auto& r : rs)
            data += r.cmd() == 1;
        return data >= 5;
    }));
    const auto data = t.standIn.requestsWith(1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(data[i].rid(), 1) << i; // three failures and the success that repeats them
    EXPECT_EQ(data[4].rid(), 2);
    EXPECT_EQ(t.logs.count("TcpOverHttpSrv FAILED to transmit data. Try 3/20, rid 1, response 501"), 1);
}

TEST(TunnelRelay, RetryableFailuresAreTriedTwentyTimesThenTheChannelCloses)
{
    for (int status : {501, 404, 400}) {
        SCOPED_TRACE(status);
        Tunnel t;
        t.standIn.fail(status, 1);
        auto c = t.open();
        EXPECT_TRUE(c->closedByRelay());
        ASSERT_TRUE(t.logs.await("Channel closed"));
        const auto data = t.standIn.requestsWith(1);
        ASSERT_EQ(data.size(), 20u);
        for (size_t i = 0; i < data.size(); ++i) {
            EXPECT_EQ(data[i].rid(), 1);
            if (i > 0) {
                EXPECT_GE(data[i].atMs - data[i - 1].atMs, 18) << i; // retryDelayMs apart
            }
        }
        const std::string each = status == 501 ? "TcpOverHttpSrv FAILED to transmit data. Try "
                                               : "FAILED to send data to the server. Try ";
        EXPECT_EQ(t.logs.count(each), 20);
        EXPECT_EQ(t.logs.count(each + "20/20, rid 1, response " + std::to_string(status)), 1);
        EXPECT_EQ(t.logs.count("Max number of tries 20 reached. Close the channel."), 1);
        const auto closes = t.standIn.requestsWith(2);
        ASSERT_EQ(closes.size(), 1u);
        EXPECT_EQ(closes[0].rid(), 1);
    }
}

TEST(TunnelRelay, Codes500502And503CloseTheChannelAtOnce)
{
    const struct {
        int status;
        const char* text;
    } cases[] = {
        {500, "TcpOverHttpSrv FAILED to connect to the destination server. rid 1, response 500"},
        {502, "TcpOverHttpSrv FAILED to find the tunnel - rid 1, response 502"},
        {503, "TcpOverHttpSrv FAILED to create a tunnel. rid 1, response 503"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.status);
        Tunnel t;
        t.standIn.fail(k.status, 1, 1);
        auto c = t.open();
        EXPECT_TRUE(c->closedByRelay());
        ASSERT_TRUE(t.standIn.awaitRequests(hasClose));
        EXPECT_EQ(t.standIn.requestsWith(1).size(), 1u);
        EXPECT_EQ(t.logs.count(k.text), 1);
        EXPECT_TRUE(t.logs.await("Closing channel"));
    }
}

TEST(TunnelRelay, AFailedOpenClosesTheClientWithoutAnswer)
{
    Tunnel t;
    t.standIn.fail(503, 0, 1);
    LocalClient c(t.relay.getPort());
    c.send(connectLine(t.targetPort()));
    std::string rest;
    EXPECT_TRUE(c.closedByRelay(&rest));
    EXPECT_EQ(rest, "");
    ASSERT_TRUE(t.standIn.awaitRequests(hasClose));
    EXPECT_EQ(t.standIn.requests().back().target, t.standIn.url() + "?cmd=2&id=&rid=0");
}

TEST(TunnelRelay, RequestsGoThroughTheConfiguredHttpProxy)
{
    // The stand-in serves as the plain HTTP proxy too: it takes any absolute URL, so the
    // tunnel URL's host need not exist; the requests reach it only through the proxy address.
    TunnelServerStandIn proxyAndServer;
    Tunnel t([&](TunnelSettings& s) {
        s.tunnelUrl = "http://tunnel.invalid/t";
        s.proxyAddress = loopback(proxyAndServer.port());
    });
    auto c = t.open();
    c->send("via proxy");
    EXPECT_EQ(c->readExactly(9), "via proxy");
    const auto rs = proxyAndServer.requests();
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs[0].target, "http://tunnel.invalid/t?cmd=0&host=127.0.0.1&port=" + std::to_string(t.targetPort()) + "&rid=0");
    EXPECT_TRUE(t.standIn.requests().empty());
}

// Stopping the relay while the tunnel server stalls: the request in flight runs to its
// time-out, then the session gives up at once and makes one short close attempt, instead
// of maxTries attempts of the full time-out each.
TEST(TunnelRelay, StoppingWhileTheServerStallsMakesOneShortCloseAttempt)
{
    Tunnel t([](TunnelSettings& s) { s.requestTimeoutSec = 1; });
    auto c = t.open();
    t.standIn.fail(TunnelServerStandIn::Stall);
    ASSERT_TRUE(t.standIn.awaitRequests([](const Requests& rs) {
        return !rs.empty() && rs.back().status == TunnelServerStandIn::Stall;
    }));
    const Stopwatch watch;
    t.relay.stop();
    EXPECT_LT(watch.elapsed(), 4000);
    EXPECT_EQ(t.logs.count("Uncaught exception"), 1);
    EXPECT_EQ(t.logs.count("Try 1/1"), 1); // the close, tried once
    EXPECT_EQ(t.logs.count("Max number of tries 1 reached"), 1);
    EXPECT_EQ(t.logs.count("Try 2/20"), 0); // the data request was not retried
    EXPECT_TRUE(c->closedByRelay());
}

TEST(TunnelRelay, TheProxyClientConnectsThroughTheRelayAndStopsItWhenDestroyed)
{
    TunnelServerStandIn standIn;
    RunningServer target(echoAll);
    uint16_t relayPort = 0;
    Socket first, second;
    auto client = std::make_unique<ProxyClient>();
    client->tunnelUrl = standIn.url().c_str();
    client->tunnelRetryDelayMs = 20;
    client->connect(first, "127.0.0.1", target.port(), "", 0, ProxyHttpTunnel);
    relayPort = client->proxyPort;
    EXPECT_EQ(client->type, ProxyHttps);
    EXPECT_EQ(client->proxyHost, "127.0.0.1");
    ASSERT_NE(client->relay, nullptr);
    EXPECT_EQ(relayPort, client->relay->getPort());
    EXPECT_EQ(client->relay->dispatcher.getSettings().retryDelayMs, 20);

    client->connect(second, "127.0.0.1", target.port(), "", 0, ProxyHttpTunnel);
    EXPECT_EQ(client->proxyPort, relayPort); // the same relay serves the later connects

    sendAll(first.handle, "one", 3);
    sendAll(second.handle, "two", 3);
    char buffer[3];
    ASSERT_EQ(receive(second.handle, buffer, 3, 10000), 3);
    EXPECT_EQ(std::string(buffer, 3), "two");
    ASSERT_EQ(receive(first.handle, buffer, 3, 10000), 3);
    EXPECT_EQ(std::string(buffer, 3), "one");
    EXPECT_EQ(standIn.openTunnels(), 2);

    // Destroyed with both sessions running: the relay is stopped and waited for first.
    const Stopwatch watch;
    client.reset();
    EXPECT_LT(watch.elapsed(), 3000);
    EXPECT_EQ(standIn.requestsWith(2).size(), 2u); // both closes went out before it returned
    EXPECT_EQ(standIn.openTunnels(), 0);
    first.close();
    second.close();

    // Nothing listens on the relay's port any more.
    OwnedSocket probe(createSocket(true));
    EXPECT_THROW(connectSocket(probe, loopback(relayPort)), ConnectException);
}

TEST(TunnelRelay, AProxyClientWithoutATunnelUrlFailsAtOnce)
{
    ProxyClient client;
    Socket s;
    const Stopwatch watch;
    EXPECT_THROW(client.connect(s, "127.0.0.1", 80, "", 0, ProxyHttpTunnel), ProxyClient::ProxyException);
    EXPECT_FALSE(client.lastError.isEmpty());
    EXPECT_EQ(client.relay, nullptr);
    EXPECT_LT(watch.elapsed(), 1000);
    s.close();
}
