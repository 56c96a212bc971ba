// ProxyClient and HttpClient against real proxy programs on loopback: squid (CONNECT and
// plain proxy, with Basic, Digest and NTLM), dante (SOCKS 4 and 5), microsocks (SOCKS 5 with
// a password), ssh -D (SOCKS 4a) and tinyproxy (CONNECT with Basic). Every tunnel carries
// bytes both ways to an echo server of the test.

#include "network/HttpClient.h"
#include "network/ProxyClient.h"

#include "NginxServer.h"
#include "ProxyPeers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

struct Result {
    enum Kind { Connected, AuthRequired, AuthFailed, Proxy, Host, Other } kind;
    std::string lastError;
};

const char* kindName(Result::Kind k)
{
    static const char* names[] = {"connected", "ProxyAuthenticationRequiredException",
                                  "ProxyAuthenticationFailedException", "ProxyException",
                                  "HostException", "other exception"};
    return names[k];
}

struct Connection {
    ProxyClient client;
    Socket socket;
    ~Connection() { socket.close(); }

    Result connect(const std::string& host, uint16_t port, uint16_t proxyPort, uint8_t type,
                   const char* user = "", const char* password = "")
    {
        client.user = user;
        client.password = password;
        client.timeoutMs = 10000;
        try {
            client.connect(socket, host.c_str(), port, "127.0.0.1", proxyPort, type);
            return {Result::Connected, std::string(client.lastError)};
        } catch (const ProxyClient::ProxyAuthenticationRequiredException&) {
            return {Result::AuthRequired, std::string(client.lastError)};
        } catch (const ProxyClient::ProxyAuthenticationFailedException&) {
            return {Result::AuthFailed, std::string(client.lastError)};
        } catch (const ProxyClient::ProxyException&) {
            return {Result::Proxy, std::string(client.lastError)};
        } catch (const ProxyClient::HostException&) {
            return {Result::Host, std::string(client.lastError)};
        } catch (const Exception&) {
            return {Result::Other, std::string(client.lastError)};
        }
    }

    // Sends the text through the tunnel and reads back what the echo server returns.
    std::string echo(const std::string& text)
    {
        sendAll(socket.handle, text.data(), int(text.size()));
        std::string back(text.size(), '\0');
        size_t got = 0;
        while (got < back.size()) {
            int n = receive(socket.handle, &back[got], int(back.size() - got), 5000);
            if (n <= 0)
                break;
            got += size_t(n);
        }
        back.resize(got);
        return back;
    }
};

#define EXPECT_RESULT(result, expectedKind, expectedText)                                          \
    do {                                                                                           \
        const Result& r_ = (result);                                                               \
        EXPECT_EQ(r_.kind, expectedKind) << kindName(r_.kind) << ": " << r_.lastError;            \
        EXPECT_EQ(r_.lastError, expectedText);                                                     \
    } while (0)

} // namespace

// ---- squid ------------------------------------------------------------------------------

TEST(SquidPeer, ConnectWithEachSchemeCarriesBytesBothWays)
{
    EchoServer echo;
    const SquidPeer::Auth schemes[] = {SquidPeer::Auth::Basic, SquidPeer::Auth::Digest,
                                       SquidPeer::Auth::Ntlm, SquidPeer::Auth::None};
    for (SquidPeer::Auth scheme : schemes) {
        SCOPED_TRACE(int(scheme));
        SquidPeer squid(scheme);
        ASSERT_NO_FATAL_FAILURE(squid.start());
        Connection c;
        EXPECT_RESULT(c.connect("127.0.0.1", echo.port(), squid.port(), ProxyHttps, kPeerUser,
                                kPeerPassword),
                      Result::Connected, "");
        const std::string text = "through squid " + std::to_string(int(scheme)) + std::string(3000, '.');
        EXPECT_EQ(c.echo(text), text) << squid.log();
    }
}

TEST(SquidPeer, WrongCredentialsOnConnect)
{
    EchoServer echo;
    SquidPeer basic(SquidPeer::Auth::Basic);
    ASSERT_NO_FATAL_FAILURE(basic.start());
    Connection b;
    EXPECT_RESULT(b.connect("127.0.0.1", echo.port(), basic.port(), ProxyHttps, kPeerUser, "wrong"),
                  Result::Proxy, "Basic HTTP Proxy Authentication response code: 407");
    Connection unknownUser;
    EXPECT_RESULT(unknownUser.connect("127.0.0.1", echo.port(), basic.port(), ProxyHttps, "mallory",
                                      kPeerPassword),
                  Result::Proxy, "Basic HTTP Proxy Authentication response code: 407");
    Connection noUser;
    EXPECT_RESULT(noUser.connect("127.0.0.1", echo.port(), basic.port(), ProxyHttps), Result::AuthRequired, "");

    SquidPeer digest(SquidPeer::Auth::Digest);
    ASSERT_NO_FATAL_FAILURE(digest.start());
    Connection d;
    EXPECT_RESULT(d.connect("127.0.0.1", echo.port(), digest.port(), ProxyHttps, kPeerUser, "wrong"),
                  Result::Proxy, "Digest HTTP Proxy Authentication response code: 407");

    // ntlm_fake_auth takes any password; without a user name there is no handshake.
    SquidPeer ntlm(SquidPeer::Auth::Ntlm);
    ASSERT_NO_FATAL_FAILURE(ntlm.start());
    Connection n;
    try {
        n.client.timeoutMs = 10000;
        n.client.connect(n.socket, "127.0.0.1", echo.port(), "127.0.0.1", ntlm.port(), ProxyHttps);
        ADD_FAILURE() << "connected without credentials";
    } catch (const ProxyClient::ProxyNTLMAuthenticationRequiredException&) {
    }
    EXPECT_EQ(echo.connectionsAccepted(), 0);
}

TEST(SquidPeer, PlainProxyTypeWithEachScheme)
{
    NginxServer nginx("");
    ASSERT_TRUE(nginx.ok());
    nginx.putFile("page.txt", "hello through squid\n");
    const SquidPeer::Auth schemes[] = {SquidPeer::Auth::None, SquidPeer::Auth::Basic,
                                       SquidPeer::Auth::Digest, SquidPeer::Auth::Ntlm};
    for (SquidPeer::Auth scheme : schemes) {
        SCOPED_TRACE(int(scheme));
        SquidPeer squid(scheme);
        ASSERT_NO_FATAL_FAILURE(squid.start());
        HttpClient client;
        client.timeoutSeconds = 10;
        client.proxy.type = ProxyHttpTunnel;  // value 4: a plain HTTP proxy for HttpClient
        client.proxy.proxyHost = "127.0.0.1";
        client.proxy.proxyPort = squid.port();
        client.proxy.user = kPeerUser;
        client.proxy.password = kPeerPassword;
        ByteArray out;
        for (int round = 0; round < 2; ++round) {
            try {
                client.get(nginx.url("/page.txt").c_str(), &out);
            } catch (const Exception&) {
                ADD_FAILURE() << "request " << round << " failed, status " << client.response.statusCode
                              << "\n" << squid.log();
                break;
            }
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), size_t(out.count())),
                      "hello through squid\n");
        }
    }

    // Wrong credentials: the second 407 ends the request.
    SquidPeer squid(SquidPeer::Auth::Basic);
    ASSERT_NO_FATAL_FAILURE(squid.start());
    HttpClient client;
    client.timeoutSeconds = 10;
    client.proxy.type = ProxyHttpTunnel;
    client.proxy.proxyHost = "127.0.0.1";
    client.proxy.proxyPort = squid.port();
    client.proxy.user = kPeerUser;
    client.proxy.password = "wrong";
    ByteArray out;
    EXPECT_THROW(client.get(nginx.url("/page.txt").c_str(), &out),
                 ProxyClient::ProxyAuthenticationFailedException);
    EXPECT_EQ(client.response.statusCode, 407);
}

TEST(ProxyPeers, AMissingProgramNamesItsPackage)
{
    try {
        requireProgram("orvane-no-such-proxy", "orvane-proxy-package");
        ADD_FAILURE() << "found a program that does not exist";
    } catch (const PeerError& e) {
        EXPECT_NE(std::string(e.what()).find("install the Debian package orvane-proxy-package"),
                  std::string::npos)
            << e.what();
    }
}

TEST(SquidPeer, StopKillsSquidAndItsHelpers)
{
    pid_t group;
    {
        SquidPeer squid(SquidPeer::Auth::Basic);
        ASSERT_NO_FATAL_FAILURE(squid.start());
        group = squid.processGroup();
        ASSERT_GT(group, 0);
        EXPECT_EQ(::kill(-group, 0), 0);
    }
    // Neither squid nor its authentication helpers (in sessions of their own) outlive the
    // peer, not even as zombies.
    errno = 0;
    EXPECT_EQ(::kill(-group, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

// ---- SOCKS ------------------------------------------------------------------------------

TEST(DantePeer, Socks4And5WithoutAuthentication)
{
    EchoServer echo;
    EchoServer refused;
    DantePeer dante(refused.port());
    ASSERT_NO_FATAL_FAILURE(dante.start());
    for (uint8_t type : {ProxySocks4, ProxySocks5}) {
        SCOPED_TRACE(int(type));
        Connection c;
        EXPECT_RESULT(c.connect("127.0.0.1", echo.port(), dante.port(), type), Result::Connected, "");
        EXPECT_EQ(c.echo("through dante"), "through dante");
    }

    // The rule set refuses the other server: SOCKS 4 answers 91, SOCKS 5 answers 2.
    Connection four;
    EXPECT_RESULT(four.connect("127.0.0.1", refused.port(), dante.port(), ProxySocks4), Result::Proxy,
                  "Failed: Reply code: 91 - Request REJECTED or FAILED");
    Connection five;
    EXPECT_RESULT(five.connect("127.0.0.1", refused.port(), dante.port(), ProxySocks5), Result::Proxy,
                  "Failed: Reply code: 2 - Can't connect to the destination host");
    EXPECT_EQ(refused.connectionsAccepted(), 0);
}

TEST(MicrosocksPeer, Socks5UserAndPassword)
{
    EchoServer echo;
    MicrosocksPeer micro;
    ASSERT_NO_FATAL_FAILURE(micro.start());
    Connection right;
    EXPECT_RESULT(right.connect("127.0.0.1", echo.port(), micro.port(), ProxySocks5, kPeerUser, kPeerPassword),
                  Result::Connected, "");
    EXPECT_EQ(right.echo("through microsocks"), "through microsocks");

    Connection wrong;
    EXPECT_RESULT(wrong.connect("127.0.0.1", echo.port(), micro.port(), ProxySocks5, kPeerUser, "wrong"),
                  Result::Proxy, "Invalid Username/Password authentication.");
    Connection none;
    EXPECT_RESULT(none.connect("127.0.0.1", echo.port(), micro.port(), ProxySocks5), Result::AuthRequired,
                  "Proxy server requires authentication.");
    EXPECT_EQ(echo.connectionsAccepted(), 1);
}

TEST(SshSocksPeer, Socks4aWithANameOnlyTheServerResolves)
{
    // A label of 64 bytes cannot go into a DNS question: the name fails here at once,
    // without any query leaving the machine, while sshd finds it in its own hosts file.
    const std::string name = std::string(64, 'x') + ".orvane-socks4a.invalid";
    EXPECT_THROW(resolveHost(name.c_str()), UnknownHostException);
    EchoServer echo;
    SshSocksPeer ssh(name);
    ASSERT_NO_FATAL_FAILURE(ssh.start());
    Connection c;
    EXPECT_RESULT(c.connect(name, echo.port(), ssh.port(), ProxySocks4), Result::Connected, "");
    EXPECT_EQ(c.echo("through ssh -D"), "through ssh -D");
    EXPECT_EQ(echo.connectionsAccepted(), 1);
}

// ---- tinyproxy --------------------------------------------------------------------------

TEST(TinyproxyPeer, ConnectWithBasic)
{
    EchoServer echo;
    TinyproxyPeer tiny;
    ASSERT_NO_FATAL_FAILURE(tiny.start());
    Connection right;
    EXPECT_RESULT(right.connect("127.0.0.1", echo.port(), tiny.port(), ProxyHttps, kPeerUser, kPeerPassword),
                  Result::Connected, "");
    EXPECT_EQ(right.echo("through tinyproxy"), "through tinyproxy");

    // tinyproxy answers wrong credentials with 401 rather than another 407.
    Connection wrong;
    EXPECT_RESULT(wrong.connect("127.0.0.1", echo.port(), tiny.port(), ProxyHttps, kPeerUser, "wrong"),
                  Result::Proxy, "Basic HTTP Proxy Authentication response code: 401");
}
