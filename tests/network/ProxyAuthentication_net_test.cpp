// The answer to a proxy's 407, byte for byte, against scripted loopback proxies: on the
// CONNECT path of ProxyClient and for HttpClient's own requests through a plain HTTP proxy.

#include "network/HttpClient.h"
#include "network/ProxyClient.h"

#include "foundation/Conversions.h"

#include "CapturingPeer.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvane;
using orvane::testing::CapturingPeer;
using orvane::testing::hexOf;
using orvane::testing::Script;

namespace {

const char kUser[] = "alice";
const char kPassword[] = "s3cret-Pw";

// Expected values below were computed independently: base64 and MD5 with Python, the NTLM
// responses with MD4 and DES of the OpenSSL command line.
const char kBasicValue[] = "Basic YWxpY2U6czNjcmV0LVB3";
// Type 1 for the domain "ALICE" (an empty domain is replaced by the user name).
const char kNegotiateAlice[] = "NTLM TlRMTVNTUAABAAAAB7IAAAUABQAgAAAABQAFACUAAABBTElDRUFMSUNF";
const char kNegotiateCorp[] = "NTLM TlRMTVNTUAABAAAAB7IAAAQABAAgAAAABAAEACQAAABDT1JQQ09SUA==";
// Type 2 with target name "CORP" and the challenge 0123456789abcdef.
const char kChallenge[] = "TlRMTVNTUAACAAAACAAIADAAAAABggAAASNFZ4mrze8AAAAAAAAAAAAAAAA4AAAAQwBPAFIAUAA=";
const char kNtResponse[] = "60c0beb711d80c647d18cff4d70fa9c3426ef61b6bc5c686";
const char kLmResponse[] = "a23d417986e6b381371d97d0c25f10fa68a68f69739899e7";
const char kDigestChallenge[] =
    "Digest realm=\"orvane-test\", nonce=\"nonce-1234\", qop=\"auth\", opaque=\"op-9\"";

std::string connectLine(uint16_t port)
{
    return "CONNECT dest.test:" + std::to_string(port) + " HTTP/1.0\r\n";
}

std::string connectRequest(uint16_t port, const std::string& authorization = std::string())
{
    std::string r = connectLine(port);
    if (!authorization.empty())
        r += "Proxy-Authorization: " + authorization + "\r\n";
    return r + "Proxy-Connection: Keep-Alive\r\n\r\n";
}

std::string answer407(const std::vector<std::string>& challenges, const std::string& extra = "")
{
    std::string r = "HTTP/1.0 407 Proxy Authentication Required\r\n";
    for (const std::string& c : challenges)
        r += "Proxy-Authenticate: " + c + "\r\n";
    return r + extra + "Content-Length: 6\r\n\r\ndenied";
}

const char kEstablished[] = "HTTP/1.0 200 Connection established\r\n\r\n";

std::string digestValue(const char* uri, const char* response)
{
    return std::string("Digest username=\"alice\", realm=\"orvane-test\", nonce=\"nonce-1234\", uri=\"") +
           uri + "\", qop=\"auth\", nc=00000001, cnonce=\"5d0c2a9e7b13f4680ace92d57b3f1e04\", response=\"" +
           response + "\", opaque=\"op-9\"";
}

// The NTLM authenticate message in the last Proxy-Authorization header of the bytes.
ByteArray lastNtlmMessage(const std::string& received)
{
    const std::string marker = "roxy-Authorization: NTLM ";
    size_t at = received.rfind(marker);
    if (at == std::string::npos)
        return ByteArray();
    size_t start = at + marker.size();
    size_t end = received.find("\r\n", start);
    return base64Decode(received.substr(start, end - start).c_str());
}

// The bytes a string header (length, room, offset) of an NTLM message points to.
std::string ntlmField(const ByteArray& m, int at)
{
    if (m.count() < at + 8)
        return "<short>";
    int length = m[at] | m[at + 1] << 8;
    int offset = m[at + 4] | m[at + 5] << 8;
    if (offset + length > m.count())
        return "<outside>";
    return hexOf(m.data() + offset, length);
}

struct Outcome {
    enum Kind {
        Connected,
        Unknown,
        NtlmRequired,
        BasicRequired,
        DigestRequired,
        AuthFailed,
        Proxy,
        Host,
        Other
    } kind;
    std::string lastError;
};

const char* kindName(Outcome::Kind k)
{
    static const char* names[] = {"connected", "Unknown", "NTLMRequired", "BasicRequired", "DigestRequired",
                                  "AuthenticationFailed", "ProxyException", "HostException", "other"};
    return names[k];
}

template <class F>
Outcome::Kind classify(F f)
{
    try {
        f();
        return Outcome::Connected;
    } catch (const ProxyClient::ProxyUnknownAuthenticationRequiredException&) {
        return Outcome::Unknown;
    } catch (const ProxyClient::ProxyNTLMAuthenticationRequiredException&) {
        return Outcome::NtlmRequired;
    } catch (const ProxyClient::ProxyBasicAuthenticationRequiredException&) {
        return Outcome::BasicRequired;
    } catch (const ProxyClient::ProxyDigestAuthenticationRequiredException&) {
        return Outcome::DigestRequired;
    } catch (const ProxyClient::ProxyAuthenticationFailedException&) {
        return Outcome::AuthFailed;
    } catch (const ProxyClient::ProxyException&) {
        return Outcome::Proxy;
    } catch (const ProxyClient::HostException&) {
        return Outcome::Host;
    } catch (const Exception&) {
        return Outcome::Other;
    }
}

struct Tunnel {
    ProxyClient client;
    Socket socket;
    ~Tunnel() { socket.close(); }

    Outcome connect(uint16_t proxyPort, const char* user = kUser, const char* domain = "")
    {
        client.user = user;
        client.password = kPassword;
        client.domain = domain;
        client.timeoutMs = 5000;
        Outcome::Kind k = classify(
            [&] { client.connect(socket, "dest.test", 443, "127.0.0.1", proxyPort, ProxyHttps); });
        return {k, std::string(client.lastError)};
    }
};

} // namespace

// ---- CONNECT ----------------------------------------------------------------------------

TEST(ProxyAuthenticationConnect, DigestAnswersOnTheConnectionOfThe407)
{
    CapturingPeer peer({Script()
                            .readUntil("\r\n\r\n")
                            .send(answer407({"Negotiate", kDigestChallenge, "Basic realm=\"x\""}))
                            .readUntil("\r\n\r\n")
                            .send(kEstablished)
                            .send("tunnel")});
    Tunnel t;
    Outcome o = t.connect(peer.port());
    ASSERT_EQ(o.kind, Outcome::Connected) << kindName(o.kind) << " " << o.lastError;
    // Digest takes its parameters from the first Proxy-Authenticate header, here the
    // "Negotiate" one: no realm, no nonce, no qop.
    EXPECT_TRUE(peer.completed(0));
    EXPECT_EQ(peer.accepted(), 1u);
    std::string got = peer.received(0);
    EXPECT_EQ(got.substr(0, connectRequest(443).size()), connectRequest(443));
    EXPECT_NE(got.find("Proxy-Authorization: Digest username=\"alice\", realm=\"\", nonce=\"\", uri=\"/\", "
                       "qop=\"\", nc=00000001, cnonce=\"5d0c2a9e7b13f4680ace92d57b3f1e04\", response=\""),
              std::string::npos)
        << got;
}

TEST(ProxyAuthenticationConnect, DigestHeaderByteExact)
{
    CapturingPeer peer({Script()
                            .readUntil("\r\n\r\n")
                            .send(answer407({kDigestChallenge}))
                            .readUntil("\r\n\r\n")
                            .send(kEstablished)
                            .send("tunnel")});
    Tunnel t;
    Outcome o = t.connect(peer.port());
    ASSERT_EQ(o.kind, Outcome::Connected) << kindName(o.kind) << " " << o.lastError;
    EXPECT_EQ(peer.received(0),
              connectRequest(443) +
                  connectRequest(443, digestValue("/", "a3a9209dc67b2133cb8b0921f27a21b4")));
    EXPECT_EQ(peer.accepted(), 1u);
    // Nothing of the tunnel was eaten by the answer's reader.
    Socket& s = t.socket;
    char buffer[6];
    int got = 0;
    while (got < 6) {
        int n = receive(s.handle, buffer + got, 6 - got, 5000);
        if (n <= 0)
            break;
        got += n;
    }
    EXPECT_EQ(std::string(buffer, size_t(got)), "tunnel");
}

TEST(ProxyAuthenticationConnect, DigestSendsAgainWhenTheProxyClosedAnyway)
{
    const std::string authorized = connectRequest(443, digestValue("/", "a3a9209dc67b2133cb8b0921f27a21b4"));
    struct Case {
        const char* what;
        Script first;
    } cases[] = {
        // Closed right after the 407 (and said so).
        {"announced", Script().readUntil("\r\n\r\n").send(answer407({kDigestChallenge}, "Connection: close\r\n")).close()},
        // Closed without a word.
        {"silently", Script().readUntil("\r\n\r\n").send(answer407({kDigestChallenge})).close()},
        // Kept open, then closed once the answer arrived, without answering it.
        {"after the answer", Script().readUntil("\r\n\r\n").send(answer407({kDigestChallenge}))
                                 .readUntil("\r\n\r\n").close()},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({c.first, Script().readUntil("\r\n\r\n").send(kEstablished)});
        Tunnel t;
        Outcome o = t.connect(peer.port());
        EXPECT_EQ(o.kind, Outcome::Connected) << kindName(o.kind) << " " << o.lastError;
        EXPECT_EQ(peer.received(1), authorized);
        EXPECT_EQ(peer.accepted(), 2u);
    }

    // A second loss is not retried.
    CapturingPeer peer({Script().readUntil("\r\n\r\n").send(answer407({kDigestChallenge})).close(),
                        Script().readUntil("\r\n\r\n").close()});
    Tunnel t;
    Outcome o = t.connect(peer.port());
    EXPECT_EQ(o.kind, Outcome::Proxy) << kindName(o.kind);
    EXPECT_EQ(o.lastError, "Exception while reading HTTPS Proxy response");
}

TEST(ProxyAuthenticationConnect, BasicOnANewConnection)
{
    CapturingPeer peer({Script().readUntil("\r\n\r\n").send(answer407({"Basic realm=\"orvane-test\""})),
                        Script().readUntil("\r\n\r\n").send(kEstablished)});
    Tunnel t;
    Outcome o = t.connect(peer.port());
    ASSERT_EQ(o.kind, Outcome::Connected) << kindName(o.kind) << " " << o.lastError;
    EXPECT_EQ(peer.received(0), connectRequest(443));
    EXPECT_EQ(peer.received(1), connectRequest(443, kBasicValue));
}

TEST(ProxyAuthenticationConnect, NtlmTwoRoundsOnOneNewConnection)
{
    CapturingPeer peer({Script().readUntil("\r\n\r\n").send(answer407({"Negotiate", "NTLM"})).close(),
                        Script()
                            .readUntil("\r\n\r\n")
                            .send(answer407({std::string("NTLM ") + kChallenge}))
                            .readUntil("\r\n\r\n")
                            .send(kEstablished)});
    Tunnel t;
    Outcome o = t.connect(peer.port());
    ASSERT_EQ(o.kind, Outcome::Connected) << kindName(o.kind) << " " << o.lastError;
    EXPECT_EQ(peer.accepted(), 2u);
    std::string second = peer.received(1);
    ASSERT_EQ(second.substr(0, connectRequest(443, kNegotiateAlice).size()), connectRequest(443, kNegotiateAlice));
    EXPECT_EQ(second.find(connectLine(443), 1), connectRequest(443, kNegotiateAlice).size());
    ByteArray m = lastNtlmMessage(second);
    ASSERT_GE(m.count(), 64);
    EXPECT_EQ(m[8], 3);
    EXPECT_EQ(ntlmField(m, 12), kLmResponse);
    EXPECT_EQ(ntlmField(m, 20), kNtResponse);
    EXPECT_EQ(ntlmField(m, 28), hexOf(reinterpret_cast<const uint8_t*>("C\0O\0R\0P\0"), 8));
    EXPECT_EQ(ntlmField(m, 36), hexOf(reinterpret_cast<const uint8_t*>("a\0l\0i\0c\0e\0"), 10));

    // A domain of its own goes into the negotiate message, upper-cased.
    CapturingPeer withDomain({Script().readUntil("\r\n\r\n").send(answer407({"NTLM"})),
                              Script().readUntil("\r\n\r\n").send(answer407({"NTLM"})).close()});
    Tunnel d;
    d.connect(withDomain.port(), kUser, "corp");
    EXPECT_EQ(withDomain.received(1), connectRequest(443, kNegotiateCorp));
}

TEST(ProxyAuthenticationConnect, RefusalsAndTheirTexts)
{
    const std::string ntlm = std::string("NTLM ") + kChallenge;
    // The challenge with its message type changed to 3.
    ByteArray broken = base64Decode(kChallenge);
    broken[8] = 3;
    const std::string brokenChallenge = "NTLM " + std::string(base64Encode(broken.data(), broken.count()));
    struct Case {
        const char* what;
        std::vector<Script> scripts;
        Outcome::Kind kind;
        const char* lastError;
    } cases[] = {
        {"only Negotiate", {Script().readUntil("\r\n\r\n").send(answer407({"Negotiate"}))}, Outcome::Unknown, ""},
        {"no challenge header", {Script().readUntil("\r\n\r\n").send(answer407({}))}, Outcome::Unknown, ""},
        {"Basic refused",
         {Script().readUntil("\r\n\r\n").send(answer407({"Basic realm=\"r\""})),
          Script().readUntil("\r\n\r\n").send(answer407({"Basic realm=\"r\""}))},
         Outcome::Proxy, "Basic HTTP Proxy Authentication response code: 407"},
        {"Digest refused",
         {Script().readUntil("\r\n\r\n").send(answer407({kDigestChallenge})).readUntil("\r\n\r\n")
              .send("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")},
         Outcome::Proxy, "Digest HTTP Proxy Authentication response code: 403"},
        {"NTLM refused",
         {Script().readUntil("\r\n\r\n").send(answer407({"NTLM"})),
          Script().readUntil("\r\n\r\n").send(answer407({ntlm})).readUntil("\r\n\r\n").send(answer407({"NTLM"}))},
         Outcome::Proxy, "NTLM HTTP Proxy Authentication code: 407"},
        {"negotiate not answered with 407",
         {Script().readUntil("\r\n\r\n").send(answer407({"NTLM"})),
          Script().readUntil("\r\n\r\n").send("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")},
         Outcome::AuthFailed, ""},
        {"no challenge in the answer",
         {Script().readUntil("\r\n\r\n").send(answer407({"NTLM"})),
          Script().readUntil("\r\n\r\n").send(answer407({"NTLM"}))},
         Outcome::AuthFailed, ""},
        {"Negotiate kept first",
         {Script().readUntil("\r\n\r\n").send(answer407({"Negotiate", "NTLM"})),
          Script().readUntil("\r\n\r\n").send(answer407({"Negotiate", ntlm}))},
         Outcome::AuthFailed, ""},
        {"malformed challenge",
         {Script().readUntil("\r\n\r\n").send(answer407({"NTLM"})),
          Script().readUntil("\r\n\r\n").send(answer407({brokenChallenge}))},
         Outcome::AuthFailed, ""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer(c.scripts);
        Tunnel t;
        Outcome o = t.connect(peer.port());
        EXPECT_EQ(o.kind, c.kind) << kindName(o.kind);
        EXPECT_EQ(o.lastError, c.lastError);
    }
}

TEST(ProxyAuthenticationConnect, EmptyUserSendsNothingMore)
{
    struct Case {
        const char* challenge;
        Outcome::Kind kind;
    } cases[] = {
        {"NTLM", Outcome::NtlmRequired},
        {"Basic realm=\"r\"", Outcome::BasicRequired},
        {kDigestChallenge, Outcome::DigestRequired},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.challenge);
        CapturingPeer peer({Script().readUntil("\r\n\r\n").send(answer407({c.challenge}))});
        Tunnel t;
        Outcome o = t.connect(peer.port(), "");
        EXPECT_EQ(o.kind, c.kind) << kindName(o.kind);
        EXPECT_EQ(o.lastError, "");
        t.socket.close();
        EXPECT_EQ(peer.receivedSoFar(0), connectRequest(443));
        EXPECT_EQ(peer.accepted(), 1u);
    }
}

// ---- HttpClient through a plain HTTP proxy ----------------------------------------------

namespace {

const char kUrl[] = "http://dest.test:8080/page?x=1";

// The request as sent again with credentials: the Host header, added when the request was
// first written, stays where it was, so the credentials follow it.
std::string plainRequest(const std::string& authorizationHeader = std::string())
{
    return std::string("GET http://dest.test:8080/page?x=1 HTTP/1.0\r\n"
                       "Connection: Keep-Alive\r\nProxy-Connection: Keep-Alive\r\n"
                       "Host: dest.test:8080\r\n") +
           authorizationHeader + "\r\n";
}

const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";

struct PlainClient {
    HttpClient client;
    ByteArray out;

    Outcome::Kind get(uint16_t proxyPort, const char* user = kUser)
    {
        client.proxy.type = ProxyHttpTunnel;
        client.proxy.proxyHost = "127.0.0.1";
        client.proxy.proxyPort = proxyPort;
        client.proxy.user = user;
        client.proxy.password = kPassword;
        client.timeoutSeconds = 5;
        return classify([&] { client.get(kUrl, &out); });
    }
    std::string body() const { return std::string(reinterpret_cast<const char*>(out.data()), size_t(out.count())); }
};

} // namespace

TEST(ProxyAuthenticationHttpClient, BasicAndDigestOnTheSameConnection)
{
    CapturingPeer basic({Script().readRequest().send(answer407({"Basic realm=\"r\""})).readRequest().send(kOk)});
    PlainClient a;
    ASSERT_EQ(a.get(basic.port()), Outcome::Connected);
    EXPECT_EQ(a.body(), "ok");
    EXPECT_EQ(basic.received(0),
              plainRequest() + plainRequest(std::string("proxy-authorization: ") + kBasicValue + "\r\n"));

    CapturingPeer digest({Script().readRequest().send(answer407({kDigestChallenge})).readRequest().send(kOk)});
    PlainClient b;
    ASSERT_EQ(b.get(digest.port()), Outcome::Connected);
    EXPECT_EQ(digest.received(0),
              plainRequest() + plainRequest("proxy-authorization: " +
                                            digestValue("/page?x=1", "3180a22cfe9c76a7ee8ec01be1799548") + "\r\n"));
}

TEST(ProxyAuthenticationHttpClient, NtlmHandshakeOnOneConnection)
{
    CapturingPeer peer({Script()
                            .readRequest()
                            .send(answer407({"NTLM"}))
                            .readRequest()
                            .send(answer407({std::string("NTLM ") + kChallenge}))
                            .readRequest()
                            .send(kOk)});
    PlainClient c;
    ASSERT_EQ(c.get(peer.port()), Outcome::Connected);
    EXPECT_EQ(c.body(), "ok");
    EXPECT_EQ(peer.accepted(), 1u);
    std::string got = peer.received(0);
    const std::string first = plainRequest();
    const std::string second = plainRequest(std::string("Proxy-Authorization: ") + kNegotiateAlice + "\r\n");
    ASSERT_EQ(got.substr(0, first.size() + second.size()), first + second);
    ByteArray m = lastNtlmMessage(got);
    EXPECT_EQ(ntlmField(m, 20), kNtResponse);
    EXPECT_EQ(c.client.ntlmInProgress, 0);
}

TEST(ProxyAuthenticationHttpClient, RefusalsEndTheRequest)
{
    const std::string ntlm = std::string("NTLM ") + kChallenge;
    struct Case {
        const char* what;
        Script script;
        const char* user;
        Outcome::Kind kind;
        size_t requests;
    } cases[] = {
        {"Basic refused", Script().readRequest().send(answer407({"Basic realm=\"r\""})).readRequest()
                              .send(answer407({"Basic realm=\"r\""})), kUser, Outcome::AuthFailed, 2},
        {"Digest refused", Script().readRequest().send(answer407({kDigestChallenge})).readRequest()
                               .send(answer407({kDigestChallenge})), kUser, Outcome::AuthFailed, 2},
        {"NTLM refused", Script().readRequest().send(answer407({"NTLM"})).readRequest().send(answer407({ntlm}))
                             .readRequest().send(answer407({"NTLM"})), kUser, Outcome::AuthFailed, 3},
        {"NTLM negotiate answered 200", Script().readRequest().send(answer407({"NTLM"})).readRequest().send(kOk),
         kUser, Outcome::AuthFailed, 2},
        {"unknown scheme", Script().readRequest().send(answer407({"Negotiate"})), kUser, Outcome::Unknown, 1},
        {"Basic without user", Script().readRequest().send(answer407({"Basic realm=\"r\""})), "",
         Outcome::BasicRequired, 1},
        {"Digest without user", Script().readRequest().send(answer407({kDigestChallenge})), "",
         Outcome::DigestRequired, 1},
        {"NTLM without user", Script().readRequest().send(answer407({"NTLM"})), "", Outcome::NtlmRequired, 1},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({c.script});
        PlainClient client;
        Outcome::Kind kind = client.get(peer.port(), c.user);
        EXPECT_EQ(kind, c.kind) << kindName(kind);
        std::string got = peer.receivedSoFar(0);
        size_t requests = 0;
        for (size_t at = got.find("GET "); at != std::string::npos; at = got.find("GET ", at + 1))
            ++requests;
        EXPECT_EQ(requests, c.requests) << got;
    }
}
