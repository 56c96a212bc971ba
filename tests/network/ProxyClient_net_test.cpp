#include "network/ProxyClient.h"

#include "foundation/Clock.h"

#include "CapturingPeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvane;
using orvane::testing::CapturingPeer;
using orvane::testing::Script;

namespace {

// A name that fails to resolve without any query leaving the machine: a label longer than
// 63 bytes cannot be put into a DNS question, so the resolver refuses it locally.
const std::string kUnresolvable = std::string(64, 'x') + ".example";

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

class RecordingListener : public IProxyListener {
public:
    void onConnectingToProxy() override { calls += "P"; }
    void onProxyConnected() override { calls += "p"; }
    void onConnectingToHost() override { calls += "H"; }
    void onHostConnected() override { calls += "h"; }
    std::string calls;
};

// Owns the socket under test so that every path closes it.
struct ClientSocket {
    Socket socket;
    ~ClientSocket() { socket.close(); }
    // The next bytes the connection carries, read with a time limit.
    std::string readSome(size_t n)
    {
        std::string out(n, '\0');
        size_t got = 0;
        while (got < n) {
            int r = receive(socket.handle, &out[got], static_cast<int>(n - got), 5000);
            if (r <= 0)
                break;
            got += static_cast<size_t>(r);
        }
        out.resize(got);
        return out;
    }
};

struct Outcome {
    enum Kind { Connected, Proxy, Host, AuthRequired, Other } kind;
    std::string lastError;
};

Outcome attempt(ProxyClient& client, Socket& socket, const std::string& host, uint16_t port, uint16_t proxyPort,
                uint8_t type)
{
    try {
        client.connect(socket, host.c_str(), port, "127.0.0.1", proxyPort, type);
        return {Outcome::Connected, std::string(client.lastError)};
    } catch (const ProxyClient::ProxyAuthenticationRequiredException&) {
        return {Outcome::AuthRequired, std::string(client.lastError)};
    } catch (const ProxyClient::ProxyException&) {
        return {Outcome::Proxy, std::string(client.lastError)};
    } catch (const ProxyClient::HostException&) {
        return {Outcome::Host, std::string(client.lastError)};
    } catch (const Exception&) {
        return {Outcome::Other, std::string(client.lastError)};
    }
}

const char* kindName(Outcome::Kind k)
{
    switch (k) {
    case Outcome::Connected: return "connected";
    case Outcome::Proxy: return "ProxyException";
    case Outcome::Host: return "HostException";
    case Outcome::AuthRequired: return "ProxyAuthenticationRequiredException";
    default: return "other exception";
    }
}

// A port on loopback where nothing listens.
uint16_t closedPort()
{
    Socket s;
    s.create();
    SocketAddress a;
    a.setHost("127.0.0.1", 0);
    bindSocket(s.handle, a);
    uint16_t port = getLocalPort(s.handle);
    s.close();
    return port;
}

} // namespace

TEST(ProxyClientDirect, ConnectsAndReportsProgress)
{
    CapturingPeer peer({Script().send("hello")});
    ProxyClient client;
    RecordingListener listener;
    client.listener = &listener;
    ClientSocket s;
    client.connect(s.socket, "127.0.0.1", peer.port(), nullptr, 0, ProxyDirect);
    EXPECT_EQ(s.readSome(5), "hello");
    EXPECT_EQ(listener.calls, "PpHh");
    EXPECT_EQ(client.lastError, "");
    EXPECT_EQ(client.destinationHost, "127.0.0.1");
    EXPECT_EQ(client.destinationPort, peer.port());
}

TEST(ProxyClientDirect, UnknownTypeIsAProxyException)
{
    ProxyClient client;
    ClientSocket s;
    Outcome o = attempt(client, s.socket, "127.0.0.1", 80, 80, 7);
    EXPECT_EQ(o.kind, Outcome::Proxy);
    EXPECT_EQ(o.lastError, "Failed: Unknown proxy type #7");
    EXPECT_EQ(s.socket.handle, NoSocket);
}

TEST(ProxyClientHttps, ConnectLineAndTunnelBytes)
{
    // The answer announces a body; after a 2xx none is read: those bytes belong to the tunnel.
    CapturingPeer peer({Script()
                            .readUntil("\r\n\r\n")
                            .send("HTTP/1.0 200 Connection established\r\nContent-Length: 4\r\n\r\nDATA")
                            .readUntil("ping")
                            .send("pong")});
    ProxyClient client;
    RecordingListener listener;
    client.listener = &listener;
    ClientSocket s;
    client.connect(s.socket, "dest.test", 443, "127.0.0.1", peer.port(), ProxyHttps);
    EXPECT_EQ(s.readSome(4), "DATA");
    sendAll(s.socket.handle, "ping", 4);
    EXPECT_EQ(s.readSome(4), "pong");
    EXPECT_EQ(peer.received(0), "CONNECT dest.test:443 HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n\r\nping");
    EXPECT_EQ(listener.calls, "PpHh");
}

TEST(ProxyClientHttps, HeadInPiecesEndsExactlyAtItsEmptyLine)
{
    CapturingPeer peer({Script()
                            .readUntil("\r\n\r\n")
                            .send("HTTP/1.0 200 Conn")
                            .pause(30)
                            .send("ection established\r")
                            .pause(30)
                            .send("\nX-A: b\n")
                            .pause(30)
                            .send("  \r\nTUNNEL\n\nmore")});
    ProxyClient client;
    ClientSocket s;
    client.connect(s.socket, "dest.test", 443, "127.0.0.1", peer.port(), ProxyHttps);
    EXPECT_EQ(s.readSome(10), "TUNNEL\n\nmo");
}

TEST(ProxyClientHttps, FailuresAndTheirTexts)
{
    struct Case {
        const char* what;
        std::string answer;
        Outcome::Kind kind;
        const char* lastError;
    } cases[] = {
        {"403", "HTTP/1.0 403 Forbidden\r\nContent-Length: 2\r\n\r\nno", Outcome::Host,
         "Bad HTTP Proxy response code: 403"},
        {"302 is no success", "HTTP/1.0 302 Found\r\nContent-Length: 0\r\n\r\n", Outcome::Host,
         "Bad HTTP Proxy response code: 302"},
        {"closed inside the head", "HTTP/1.0 200 Connection established\r\n", Outcome::Proxy,
         "Exception while reading HTTPS Proxy response"},
        {"error page cut short", "HTTP/1.0 502 Bad Gateway\r\nContent-Length: 100\r\n\r\nshort", Outcome::Proxy,
         "Exception while reading HTTPS Proxy response"},
        {"garbage", "SSH-2.0-OpenSSH\r\n\r\n", Outcome::Proxy, "Exception while reading HTTPS Proxy response"},
        {"407 without credentials", "HTTP/1.0 407 Proxy Authentication Required\r\n"
                                    "Proxy-Authenticate: Basic realm=\"r\"\r\nContent-Length: 0\r\n\r\n",
         Outcome::AuthRequired, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({Script().readUntil("\r\n\r\n").send(c.answer).close()});
        ProxyClient client;
        ClientSocket s;
        Outcome o = attempt(client, s.socket, "dest.test", 443, peer.port(), ProxyHttps);
        EXPECT_EQ(o.kind, c.kind) << kindName(o.kind);
        EXPECT_EQ(o.lastError, c.lastError);
    }
}

TEST(ProxyClientHttps, UnreachableProxyAndUnsafeHost)
{
    ProxyClient client;
    ClientSocket s;
    Outcome o = attempt(client, s.socket, "dest.test", 443, closedPort(), ProxyHttps);
    EXPECT_EQ(o.kind, Outcome::Proxy);
    EXPECT_EQ(o.lastError, "Cannot connect HTTPS Proxy");

    CapturingPeer peer({Script().readUntil("\r\n\r\n")});
    ClientSocket s2;
    o = attempt(client, s2.socket, "dest.test:1 HTTP/1.0\r\nX-Injected: 1\r\n\r\nGET", 443, peer.port(), ProxyHttps);
    EXPECT_EQ(o.kind, Outcome::Proxy);
    EXPECT_EQ(o.lastError, "Exception while sending HTTPS Proxy request");
    s2.socket.close();
    EXPECT_EQ(peer.receivedSoFar(0), "");
}

TEST(ProxyClientHttps, SilentProxyTimesOut)
{
    CapturingPeer peer({Script().readUntil("\r\n\r\n")});
    ProxyClient client;
    client.timeoutMs = 300;
    ClientSocket s;
    const auto start = monotonicMillis();
    Outcome o = attempt(client, s.socket, "dest.test", 443, peer.port(), ProxyHttps);
    const auto elapsed = monotonicMillis() - start;
    EXPECT_EQ(o.kind, Outcome::Proxy);
    EXPECT_EQ(o.lastError, "Exception while reading HTTPS Proxy response");
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 3000);
}

TEST(ProxyClientSocks4, RequestBytesForAddressesAndNames)
{
    const std::string granted = bytes({0, 90, 0, 0, 0, 0, 0, 0});
    CapturingPeer peer({
        Script().read(12).send(granted + "tunnel"),
        Script().read(9).send(granted),
        Script().read(9 + kUnresolvable.size() + 1).send(granted),
    });
    ProxyClient client;
    client.user = "bob";
    ClientSocket a;
    client.connect(a.socket, "10.1.2.3", 8080, "127.0.0.1", peer.port(), ProxySocks4);
    EXPECT_EQ(a.readSome(6), "tunnel");
    EXPECT_EQ(peer.received(0), bytes({4, 1, 0x1F, 0x90, 10, 1, 2, 3}) + "bob" + bytes({0}));

    client.user = "";
    ClientSocket b;
    client.connect(b.socket, "localhost", 80, "127.0.0.1", peer.port(), ProxySocks4);
    EXPECT_EQ(peer.received(1), bytes({4, 1, 0, 80, 127, 0, 0, 1, 0}));

    // SOCKS 4a: the name goes to the proxy behind 0.0.0.255 and the empty user id.
    ClientSocket c;
    client.connect(c.socket, kUnresolvable.c_str(), 443, "127.0.0.1", peer.port(), ProxySocks4);
    EXPECT_EQ(peer.received(2), bytes({4, 1, 1, 0xBB, 0, 0, 0, 0xFF, 0}) + kUnresolvable + bytes({0}));
}

TEST(ProxyClientSocks4, RepliesAndFailures)
{
    struct Case {
        const char* what;
        Script script;
        Outcome::Kind kind;
        std::string lastError;
    } cases[] = {
        {"rejected", Script().read(9).send(bytes({0, 91, 0, 0, 0, 0, 0, 0})), Outcome::Proxy,
         "Failed: Reply code: 91 - Request REJECTED or FAILED"},
        {"identd", Script().read(9).send(bytes({0, 92, 0, 0, 0, 0, 0, 0})), Outcome::Host,
         "Failed: Reply code: 92 - Request REJECTED - SOCKS server can't connect to Identd on the client"},
        {"code 0 is no grant", Script().read(9).send(bytes({0, 0, 0, 0, 0, 0, 0, 0})), Outcome::Proxy,
         "Failed: Reply code: 0 - Success"},
        {"wrong version", Script().read(9).send(bytes({4, 90, 0, 0, 0, 0, 0, 0})), Outcome::Proxy,
         "Failed: The proxy server replyed with incorrect SOCKS version: 4"},
        {"short reply", Script().read(9).send(bytes({0, 90, 0})).close(), Outcome::Host, "Failed: Socket exception."},
        {"silence", Script().read(9), Outcome::Host, "Failed: Timeout expired."},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({c.script});
        ProxyClient client;
        client.timeoutMs = 300;
        ClientSocket s;
        Outcome o = attempt(client, s.socket, "10.0.0.1", 80, peer.port(), ProxySocks4);
        EXPECT_EQ(o.kind, c.kind) << kindName(o.kind);
        EXPECT_EQ(o.lastError, c.lastError);
    }
    ProxyClient client;
    ClientSocket s;
    Outcome o = attempt(client, s.socket, "10.0.0.1", 80, closedPort(), ProxySocks4);
    EXPECT_EQ(o.kind, Outcome::Proxy);
    EXPECT_EQ(o.lastError, "Failed: Socket exception while connecting to proxy.");
}

TEST(ProxyClientSocks5, AnonymousAndPasswordExchanges)
{
    const std::string connectReply = bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x12, 0x34});
    CapturingPeer peer({
        Script().read(3).send(bytes({5, 0})).read(7 + 9).send(connectReply + "after"),
        Script().read(4).send(bytes({5, 2})).read(3 + 3 + 6).send(bytes({1, 0})).read(7 + 8).send(connectReply),
    });
    ProxyClient client;
    RecordingListener listener;
    client.listener = &listener;
    ClientSocket a;
    client.connect(a.socket, "dest.test", 443, "127.0.0.1", peer.port(), ProxySocks5);
    EXPECT_EQ(a.readSome(5), "after");
    EXPECT_EQ(peer.received(0), bytes({5, 1, 0}) + bytes({5, 1, 0, 3, 9}) + "dest.test" + bytes({1, 0xBB}));
    EXPECT_EQ(listener.calls, "PpHh");

    // A dotted destination still travels as a name.
    client.user = "bob";
    client.password = "secret";
    ClientSocket b;
    client.connect(b.socket, "10.0.0.1", 80, "127.0.0.1", peer.port(), ProxySocks5);
    EXPECT_EQ(peer.received(1), bytes({5, 2, 0, 2}) + bytes({1, 3}) + "bob" + bytes({6}) + "secret" +
                                    bytes({5, 1, 0, 3, 8}) + "10.0.0.1" + bytes({0, 80}));
}

TEST(ProxyClientSocks5, BoundAddressForms)
{
    // Whatever form the bound address takes, all of it is read and the tunnel starts after it.
    const std::string ipv6 = bytes({5, 0, 0, 4}) + std::string(16, '\x01') + bytes({0, 80});
    const std::string name = bytes({5, 0, 0, 3, 3}) + "abc" + bytes({0, 80});
    for (const std::string& reply : {ipv6, name}) {
        CapturingPeer peer({Script().read(3).send(bytes({5, 0})).read(7 + 9).send(reply + "DATA")});
        ProxyClient client;
        ClientSocket s;
        client.connect(s.socket, "dest.test", 80, "127.0.0.1", peer.port(), ProxySocks5);
        EXPECT_EQ(s.readSome(4), "DATA");
    }
}

TEST(ProxyClientSocks5, RepliesAndFailures)
{
    const std::string greeted = bytes({5, 0});
    struct Case {
        const char* what;
        const char* user;
        Script script;
        Outcome::Kind kind;
        std::string lastError;
    } cases[] = {
        {"no method without user", "", Script().read(3).send(bytes({5, 0xFF})), Outcome::AuthRequired,
         "Proxy server requires authentication."},
        {"no method with user", "u", Script().read(4).send(bytes({5, 0xFF})), Outcome::Proxy,
         "Proxy server responded with: No acceptable authentication methods."},
        {"password asked, no user", "", Script().read(3).send(bytes({5, 2})), Outcome::AuthRequired, ""},
        {"password refused", "u", Script().read(4).send(bytes({5, 2})).read(5).send(bytes({1, 1})), Outcome::Proxy,
         "Invalid Username/Password authentication."},
        {"other method", "", Script().read(3).send(bytes({5, 1})), Outcome::Proxy,
         "Proxy requires unsupported authentication method."},
        {"greeting version", "", Script().read(3).send(bytes({4, 0})), Outcome::Proxy,
         "Failed: The proxy server replyed with incorrect SOCKS version: 4"},
        {"greeting cut", "", Script().read(3).send(bytes({5})).close(), Outcome::Proxy, "Failed: Socket exception."},
        {"greeting silence", "", Script().read(3), Outcome::Proxy, "Failed: Timeout expired."},
        {"refused", "", Script().read(3).send(greeted).read(16).send(bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0})),
         Outcome::Proxy, "Failed: Reply code: 5 - Connection Refused"},
        {"host unreachable", "", Script().read(3).send(greeted).read(16).send(bytes({5, 4, 0, 1, 0, 0, 0, 0, 0, 0})),
         Outcome::Host, "Failed: Reply code: 4 - Host Unreachable"},
        {"ttl", "", Script().read(3).send(greeted).read(16).send(bytes({5, 6, 0, 1, 0, 0, 0, 0, 0, 0})),
         Outcome::Host, "Failed: Reply code: 6 - TTL Expired"},
        {"reply version", "", Script().read(3).send(greeted).read(16).send(bytes({4, 0, 0, 1, 0, 0, 0, 0, 0, 0})),
         Outcome::Proxy, "Failed: The proxy server replyed with incorrect SOCKS version: 4"},
        {"empty bound name", "", Script().read(3).send(greeted).read(16).send(bytes({5, 0, 0, 3, 0})),
         Outcome::Proxy, "Failed: Proxy returned an invalid host name length"},
        {"unknown address type", "", Script().read(3).send(greeted).read(16).send(bytes({5, 0, 0, 7})),
         Outcome::Proxy, "Failed: Unsupported address type #7"},
        {"reply cut", "", Script().read(3).send(greeted).read(16).send(bytes({5, 0, 0, 1, 127})).close(),
         Outcome::Host, "Failed: Socket exception."},
        {"reply silence", "", Script().read(3).send(greeted).read(16), Outcome::Host, "Failed: Timeout expired."},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({c.script});
        ProxyClient client;
        client.timeoutMs = 300;
        client.user = c.user;
        client.password = "p";
        ClientSocket s;
        Outcome o = attempt(client, s.socket, "dest.test", 80, peer.port(), ProxySocks5);
        EXPECT_EQ(o.kind, c.kind) << kindName(o.kind);
        EXPECT_EQ(o.lastError, c.lastError);
        EXPECT_TRUE(peer.completed(0)) << "the client sent less than the proxy expects";
    }
}

TEST(ProxyClientSocks, OverlongFieldsAreRefusedBeforeAnythingIsSent)
{
    CapturingPeer peer({Script().read(1)});
    const std::string longText(256, 'a');
    struct Case {
        const char* what;
        uint8_t type;
        std::string user, password, host;
        Outcome::Kind kind;
    } cases[] = {
        {"SOCKS 5 user", ProxySocks5, longText, "p", "dest.test", Outcome::Proxy},
        {"SOCKS 5 password", ProxySocks5, "u", longText, "dest.test", Outcome::Proxy},
        {"SOCKS 5 host", ProxySocks5, "", "", longText, Outcome::Host},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProxyClient client;
        client.user = c.user.c_str();
        client.password = c.password.c_str();
        ClientSocket s;
        Outcome o = attempt(client, s.socket, c.host, 80, peer.port(), c.type);
        EXPECT_EQ(o.kind, c.kind) << kindName(o.kind);
        EXPECT_FALSE(o.lastError.empty());
    }
    EXPECT_EQ(peer.accepted(), 0u);

    // SOCKS 4a carries the name up to a zero byte, bounded the same way.
    CapturingPeer socks4({Script().read(1)});
    ProxyClient client;
    ClientSocket s;
    const std::string longName = kUnresolvable + "." + std::string(200, 'y');
    Outcome o = attempt(client, s.socket, longName, 80, socks4.port(), ProxySocks4);
    EXPECT_EQ(o.kind, Outcome::Host);
    s.socket.close();
    EXPECT_EQ(socks4.receivedSoFar(0), "");
}

TEST(ProxyClientTunnel, UnavailableTunnelIsAProxyException)
{
    ProxyClient client;
    ClientSocket s;
    Outcome o = attempt(client, s.socket, "dest.test", 80, 1, ProxyHttpTunnel);
    EXPECT_EQ(o.kind, Outcome::Proxy);
    EXPECT_FALSE(o.lastError.empty());
}

TEST(ProxyClientAuto, TriesHttpsThenSocks5ThenSocks4EachWithAFreshSocketAndDeadline)
{
    // Each proxy type takes 200 ms to fail or answer; with a 350 ms time-out the third attempt
    // succeeds only if each attempt starts its own deadline.
    CapturingPeer peer({
        Script().readUntil("\r\n\r\n").pause(200).send("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n"),
        Script().read(3).pause(200).send(bytes({5, 0xFF})),
        Script().read(9).pause(200).send(bytes({0, 90, 0, 0, 0, 0, 0, 0}) + "hi"),
    });
    ProxyClient client;
    client.timeoutMs = 350;
    ClientSocket s;
    client.connect(s.socket, "10.9.8.7", 80, "127.0.0.1", peer.port(), ProxyAutoDetect);
    EXPECT_EQ(s.readSome(2), "hi");
    EXPECT_EQ(client.type, ProxySocks4);
    EXPECT_EQ(peer.accepted(), 3u);
    EXPECT_EQ(peer.received(0).substr(0, 8), "CONNECT ");
    EXPECT_EQ(peer.received(1), bytes({5, 1, 0}));
    EXPECT_EQ(peer.received(2), bytes({4, 1, 0, 80, 10, 9, 8, 7, 0}));
}

TEST(ProxyClientAuto, AllAttemptsFailing)
{
    for (bool withTunnel : {false, true}) {
        SCOPED_TRACE(withTunnel ? "with a tunnel URL" : "without a tunnel URL");
        // The tunnel attempt reaches the tunnel server through the same proxy: its open
        // request is refused (503) and its close request answered, on one connection.
        CapturingPeer peer({Script().readUntil("\r\n\r\n").close(), Script().read(3).close(), Script().read(9).close(),
                            Script()
                                .readRequest()
                                .send("HTTP/1.0 503 No tunnel\r\nContent-Length: 0\r\n\r\n")
                                .readRequest()
                                .send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nx\n")
                                .close()});
        ProxyClient client;
        if (withTunnel)
            client.tunnelUrl = "http://tunnel.test/t";
        ClientSocket s;
        Outcome o = attempt(client, s.socket, "dest.test", 80, peer.port(), ProxyAutoDetect);
        EXPECT_EQ(o.kind, Outcome::Proxy);
        EXPECT_EQ(o.lastError, "Unknown proxy type");
        EXPECT_EQ(peer.accepted(), withTunnel ? 4u : 3u);
        if (withTunnel) {
            EXPECT_EQ(peer.received(3).rfind("POST http://tunnel.test/t?cmd=0&host=dest.test&port=80&rid=0 ", 0), 0u);
        }
        EXPECT_EQ(client.type, ProxyAutoDetect);
        // A fresh handle, not connected to anything.
        ASSERT_NE(s.socket.handle, NoSocket);
        sockaddr_in addr;
        socklen_t len = sizeof addr;
        EXPECT_NE(::getpeername(s.socket.handle, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    }
}

TEST(ProxyClient, ReplyTexts)
{
    EXPECT_STREQ(ProxyClient::socksReplyText(9), "to 0xFF UnAssigned");
    EXPECT_STREQ(ProxyClient::socksReplyText(93), "Request REJECTED - Client and Identd report diff user-ID");
    EXPECT_STREQ(ProxyClient::socksReplyText(10), "Unknown Command");
    EXPECT_STREQ(ProxyClient::socksReplyText(255), "Unknown Command");
}

TEST(ProxyClient, SetProxyTakesTheAddress)
{
    ProxyClient client;
    SocketAddress a;
    a.setHost("127.0.0.2", 3128);
    client.setProxy(a, ProxyHttps, "u", nullptr, "d");
    EXPECT_EQ(client.proxyHost, "127.0.0.2");
    EXPECT_EQ(client.proxyPort, 3128);
    EXPECT_EQ(client.type, ProxyHttps);
    EXPECT_EQ(client.user, "u");
    EXPECT_EQ(client.password, "");
    EXPECT_EQ(client.domain, "d");
}
