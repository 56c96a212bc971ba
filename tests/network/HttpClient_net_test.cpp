#include "network/FormFields.h"
#include "network/HttpClient.h"

#include "foundation/Clock.h"

#include "../foundation/ThreadTestSupport.h"
#include "CapturingPeer.h"
#include "NginxServer.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;
using orvane::testing::CapturingPeer;
using orvane::testing::NginxServer;
using orvane::testing::Script;

namespace {

std::string text(const ByteArray& a)
{
    return std::string(reinterpret_cast<const char*>(a.data()), static_cast<size_t>(a.count()));
}

std::string localUrl(uint16_t port, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string hostHeader(uint16_t port)
{
    return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
}

std::string ok(const std::string& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

enum class Result { Returned, Timeout, Plain, BadResponse, AuthRequired, ProxyAuthRequired, Http, Other };

Result outcome(const std::function<void()>& call)
{
    try {
        call();
        return Result::Returned;
    } catch (const TimeoutException&) {
        return Result::Timeout;
    } catch (const HttpClient::AuthenticationRequiredException&) {
        return Result::AuthRequired;
    } catch (const HttpClient::BadResponseException&) {
        return Result::BadResponse;
    } catch (const ProxyClient::ProxyAuthenticationRequiredException&) {
        return Result::ProxyAuthRequired;
    } catch (const HttpException&) {
        return Result::Http;
    } catch (const Exception& e) {
        return typeid(e) == typeid(Exception) ? Result::Plain : Result::Other;
    }
}

} // namespace

// ---- exact bytes and framing, against a scripted peer ----

TEST(HttpClientWire, FormPostBytes)
{
    CapturingPeer peer({Script().readRequest().send(ok("done"))});
    HttpClient client;
    FormFields form;
    form.field("CMD") = "LOGIN";
    form.field("user") = "a b&d";
    ByteArray out;
    client.postForm(localUrl(peer.port(), "/acct/login").c_str(), &form, &out);
    EXPECT_EQ(text(out), "done");
    EXPECT_EQ(peer.received(0), "POST /acct/login HTTP/1.0\r\n"
                                "Connection: Keep-Alive\r\n"
                                "content-type: application/x-www-form-urlencoded\r\n"
                                "Content-Length: 22\r\n" +
                                    hostHeader(peer.port()) + "\r\nCMD=LOGIN&user=a+b%26d");
}

TEST(HttpClientWire, ExtraHeadersRawPostAndReuse)
{
    CapturingPeer peer({Script().readRequest().send(ok("1")).readRequest().send(ok("22")).readRequest().send(ok(""))});
    HttpClient client;
    client.setHeader("SOAPAction", "x");
    client.setHeader("X-Other", "y");
    ByteArray out;
    client.get(localUrl(peer.port(), "/a").c_str(), &out);
    EXPECT_EQ(text(out), "1");
    EXPECT_EQ(client.reconnected, 1);

    client.setHeader("soapaction", "\"urn:x#Act\"");
    ByteArray body;
    appendBytes(body, "\0\1\2", 3);
    client.post(localUrl(peer.port(), "/b").c_str(), &body, &out);
    EXPECT_EQ(text(out), "22");
    EXPECT_EQ(client.reconnected, 0);

    client.setHeader("SOAPAction", "");
    client.setHeader("X-Other", nullptr);
    client.get(localUrl(peer.port(), "/c").c_str(), &out);
    EXPECT_EQ(out.count(), 0);

    const std::string host = hostHeader(peer.port());
    EXPECT_EQ(peer.received(0),
              "GET /a HTTP/1.0\r\nsoapaction: x\r\nx-other: y\r\nConnection: Keep-Alive\r\n" + host + "\r\n" +
                  "POST /b HTTP/1.0\r\nsoapaction: \"urn:x#Act\"\r\nx-other: y\r\nConnection: Keep-Alive\r\n"
                  "Content-Length: 3\r\n" +
                  host + "\r\n" + std::string("\0\1\2", 3) + "GET /c HTTP/1.0\r\nConnection: Keep-Alive\r\n" + host +
                  "\r\n");
    EXPECT_EQ(peer.accepted(), 1u);
}

TEST(HttpClientWire, ConnectionsFollowTheDestination)
{
    CapturingPeer first({Script().readRequest().send(ok("a")).close(), Script().readRequest().send(ok("c"))});
    CapturingPeer second({Script().readRequest().send(ok("b"))});
    HttpClient client;
    ByteArray out;
    client.get(localUrl(first.port(), "/").c_str(), &out);
    client.get(localUrl(second.port(), "/").c_str(), &out);
    EXPECT_EQ(text(out), "b");
    EXPECT_EQ(client.reconnected, 1);
    // The first peer closed its connection meanwhile: the client notices before sending.
    client.get(localUrl(first.port(), "/").c_str(), &out);
    EXPECT_EQ(text(out), "c");
    EXPECT_EQ(client.reconnected, 1);
    EXPECT_EQ(first.accepted(), 2u);
    EXPECT_EQ(second.accepted(), 1u);
}

TEST(HttpClientWire, ResponseEndings)
{
    struct Case {
        const char* what;
        Script script;
        Result result;
        std::string body;
    } cases[] = {
        {"no Content-Length, ended by close", Script().readRequest().send("HTTP/1.0 200 OK\r\n\r\nall of it").close(),
         Result::Returned, "all of it"},
        {"closed before the status line", Script().readRequest().close(), Result::Plain, ""},
        {"closed inside the head", Script().readRequest().send("HTTP/1.0 200 OK\r\nServer: x\r\n").close(),
         Result::Plain, ""},
        {"closed after 10 of 20 body bytes",
         Script().readRequest().send("HTTP/1.0 200 OK\r\nContent-Length: 20\r\n\r\n0123456789").close(), Result::Plain,
         "0123456789"},
        {"reset inside an open body", Script().readRequest().send("HTTP/1.0 200 OK\r\n\r\npartial").pause(50).reset(),
         Result::Plain, ""},
        {"malformed header", Script().readRequest().send("HTTP/1.0 200 OK\r\nno colon here\r\n\r\nx").close(),
         Result::Plain, ""},
        {"negative Content-Length", Script().readRequest().send("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n").close(),
         Result::Plain, ""},
        {"body beyond the limit",
         Script().readRequest().send("HTTP/1.0 200 OK\r\nContent-Length: 2000\r\n\r\n" + std::string(2000, 'x')),
         Result::Plain, ""},
        {"204", Script().readRequest().send("HTTP/1.0 204 No Content\r\nContent-Length: 0\r\n\r\n"),
         Result::BadResponse, ""},
        {"201 with a body", Script().readRequest().send("HTTP/1.0 201 Created\r\nContent-Length: 4\r\n\r\nmade"),
         Result::BadResponse, "made"},
        {"401", Script().readRequest().send("HTTP/1.0 401 Unauthorized\r\nContent-Length: 2\r\n\r\nno"),
         Result::AuthRequired, "no"},
        {"407", Script().readRequest().send("HTTP/1.0 407 Proxy Authentication Required\r\n"
                                            "Proxy-Authenticate: Basic realm=\"r\"\r\nContent-Length: 0\r\n\r\n"),
         Result::ProxyAuthRequired, ""},
        {"no status code", Script().readRequest().send("hello there\r\n\r\n").close(), Result::Plain, ""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({c.script});
        HttpClient client;
        client.maxBodySize = 1000;
        ByteArray out;
        Result r = outcome([&] { client.get(localUrl(peer.port(), "/").c_str(), &out); });
        EXPECT_EQ(static_cast<int>(r), static_cast<int>(c.result));
        if (c.result != Result::Plain) {
            EXPECT_EQ(text(out), c.body);
        } else if (!c.body.empty()) {
            EXPECT_EQ(client.response.body.count(), static_cast<int>(c.body.size()));
        }
    }
}

TEST(HttpClientWire, SilentServerTimesOut)
{
    CapturingPeer peer({Script().readRequest()});
    HttpClient client;
    client.timeoutSeconds = 1;
    ByteArray out;
    const int64_t start = monotonicMillis();
    EXPECT_EQ(outcome([&] { client.get(localUrl(peer.port(), "/").c_str(), &out); }), Result::Timeout);
    const int64_t elapsed = monotonicMillis() - start;
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(HttpClient().timeoutSeconds, 60);
}

TEST(HttpClientWire, RelativeAndAbsoluteRedirects)
{
    CapturingPeer other({Script().readRequest().send(ok("elsewhere"))});
    const std::string otherUrl = "HTTP://127.0.0.1:" + std::to_string(other.port()) + "/abs";
    CapturingPeer peer({Script()
                            .readRequest()
                            .send("HTTP/1.0 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n")
                            .readRequest()
                            .send("HTTP/1.0 301 Moved\r\nLocation: page?u=http://x/\r\nContent-Length: 0\r\n\r\n")
                            .readRequest()
                            .send("HTTP/1.0 303 See Other\r\nLocation: " + otherUrl + "\r\nContent-Length: 0\r\n\r\n")});
    HttpClient client;
    ByteArray out;
    FormFields form;
    form.field("a") = "1";
    client.postForm(localUrl(peer.port(), "/a/x?q=/z").c_str(), &form, &out);
    EXPECT_EQ(text(out), "elsewhere");
    const std::string got = peer.received(0);
    EXPECT_NE(got.find("POST /a/x?q=/z HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(got.find("a=1GET /b HTTP/1.0\r\nConnection: Keep-Alive\r\n" + hostHeader(peer.port()) + "\r\n"),
              std::string::npos);
    EXPECT_NE(got.find("GET /page?u=http://x/ HTTP/1.0\r\n"), std::string::npos);
    EXPECT_EQ(other.received(0), "GET /abs HTTP/1.0\r\nConnection: Keep-Alive\r\n" + hostHeader(other.port()) + "\r\n");
}

TEST(HttpClientWire, RedirectsThatAreNotFollowed)
{
    struct Case {
        const char* what;
        std::string location;
        bool follow;
        Result result;
        std::string body;
    } cases[] = {
        {"https", "Location: HTTPS://secure.test/x\r\n", true, Result::Returned, "moved"},
        {"other scheme", "Location: ftp://files.test/x\r\n", true, Result::Returned, "moved"},
        {"redirects off", "Location: /elsewhere\r\n", false, Result::Returned, "moved"},
        {"empty Location", "Location:   \r\n", true, Result::BadResponse, "moved"},
        {"no Location", "", true, Result::BadResponse, "moved"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapturingPeer peer({Script().readRequest().send("HTTP/1.0 302 Found\r\n" + c.location +
                                                        "Content-Length: 5\r\n\r\nmoved")});
        HttpClient client;
        client.followRedirects = c.follow ? 1 : 0;
        ByteArray out;
        EXPECT_EQ(outcome([&] { client.get(localUrl(peer.port(), "/").c_str(), &out); }), c.result);
        EXPECT_EQ(text(out), c.body);
        EXPECT_EQ(client.response.statusCode, 302);
    }
}

TEST(HttpClientWire, PlainHttpProxyGetsAbsoluteUrlsOnOneConnection)
{
    CapturingPeer proxy({Script().readRequest().send(ok("one")).readRequest().send(ok("two"))});
    HttpClient client;
    client.proxy.type = ProxyHttpTunnel;
    client.proxy.proxyHost = "127.0.0.1";
    client.proxy.proxyPort = proxy.port();
    ByteArray out;
    client.get("http://dest.test:8080/x", &out);
    EXPECT_EQ(text(out), "one");
    client.get("http://other.test/y", &out);
    EXPECT_EQ(text(out), "two");
    EXPECT_EQ(proxy.accepted(), 1u);
    EXPECT_EQ(client.connectedHost, "127.0.0.1");
    EXPECT_EQ(proxy.received(0), "GET http://dest.test:8080/x HTTP/1.0\r\nConnection: Keep-Alive\r\n"
                                 "Proxy-Connection: Keep-Alive\r\nHost: dest.test:8080\r\n\r\n"
                                 "GET http://other.test/y HTTP/1.0\r\nConnection: Keep-Alive\r\n"
                                 "Proxy-Connection: Keep-Alive\r\nHost: other.test\r\n\r\n");
}

TEST(HttpClientWire, ThroughAConnectProxy)
{
    CapturingPeer proxy({Script()
                             .readUntil("\r\n\r\n")
                             .send("HTTP/1.0 200 Connection established\r\n\r\n")
                             .readRequest()
                             .send(ok("tunnelled"))});
    HttpClient client;
    client.proxy.type = ProxyHttps;
    client.proxy.proxyHost = "127.0.0.1";
    client.proxy.proxyPort = proxy.port();
    ByteArray out;
    client.get("http://dest.test/page", &out);
    EXPECT_EQ(text(out), "tunnelled");
    EXPECT_EQ(proxy.received(0), "CONNECT dest.test:80 HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n\r\n"
                                 "GET /page HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: dest.test\r\n\r\n");
}

TEST(HttpClientWire, UnsafeUrlsAndHeadersNeverReachTheWire)
{
    CapturingPeer peer({Script().readRequest()});
    HttpClient client;
    ByteArray out;
    const std::string base = localUrl(peer.port(), "");
    EXPECT_EQ(outcome([&] { client.get((base + "/a b").c_str(), &out); }), Result::Http);
    EXPECT_EQ(outcome([&] { client.get((base + "/a\r\nX-Evil: 1").c_str(), &out); }), Result::Http);
    client.setHeader("X-A", "v\r\nX-Evil: 1");
    EXPECT_EQ(outcome([&] { client.get((base + "/ok").c_str(), &out); }), Result::Http);
    EXPECT_EQ(peer.accepted(), 0u);
}

TEST(HttpClientWire, CookiesWhenEnabled)
{
    CapturingPeer peer({Script()
                            .readRequest()
                            .send("HTTP/1.0 200 OK\r\nSet-Cookie: SID=1; path=/app\r\nSet-Cookie: theme=dark\r\n"
                                  "Content-Length: 0\r\n\r\n")
                            .readRequest()
                            .send("HTTP/1.0 200 OK\r\nSet-Cookie: sid=2; path=/app; expires=0\r\nContent-Length: 0\r\n\r\n")
                            .readRequest()
                            .send(ok(""))
                            .readRequest()
                            .send(ok(""))});
    HttpClient client;
    client.cookiesEnabled = 1;
    client.setHeader("X-A", "1");
    ByteArray out;
    client.get(localUrl(peer.port(), "/app/login").c_str(), &out);
    client.get(localUrl(peer.port(), "/app/x").c_str(), &out);
    client.get(localUrl(peer.port(), "/app/y").c_str(), &out);
    client.get(localUrl(peer.port(), "/other").c_str(), &out);
    ASSERT_EQ(client.cookies.count(), 2);
    const std::string got = peer.received(0);
    const std::string host = hostHeader(peer.port());
    EXPECT_NE(got.find("GET /app/login HTTP/1.0\r\nx-a: 1\r\nConnection"), std::string::npos);
    EXPECT_NE(got.find("GET /app/x HTTP/1.0\r\ncookie: SID=1;theme=dark\r\nx-a: 1\r\n"), std::string::npos);
    EXPECT_NE(got.find("GET /app/y HTTP/1.0\r\ncookie: SID=2;theme=dark\r\nx-a: 1\r\n"), std::string::npos);
    EXPECT_NE(got.find("GET /other HTTP/1.0\r\ncookie: theme=dark\r\nx-a: 1\r\n"), std::string::npos);
}

// ---- against nginx ----

namespace {

const char kSite[] =
    "    location = /form { client_body_in_single_buffer on; proxy_pass http://127.0.0.1:@PORT@/form-sink;\n"
    "      add_header X-Connection $connection always; add_header X-Body $request_body always; }\n"
    "    location = /form-sink { add_header X-Sink yes; return 200 \"posted\"; }\n"
    "    location = /r301 { return 301 /page.txt; }\n"
    "    location = /dir/r302 { return 302 page.txt; }\n"
    "    location = /abs { return 302 http://127.0.0.1:@PORT@/page.txt; }\n"
    "    location = /post303 { return 303 /page.txt; }\n"
    "    location = /secure { return 302 https://127.0.0.1:@PORT@/page.txt; }\n"
    "    location = /loop { return 302 /loop; }\n"
    "    location = /auth { return 401; }\n"
    "    location = /teapot { return 418 \"short and stout\"; }\n"
    "    location = /created { return 201 \"made\"; }\n"
    "    location = /open.html { ssi on; }\n";

std::string connectionOf(const HttpClient& client)
{
    return std::string(client.response.headers.get("x-connection"));
}

} // namespace

TEST(HttpClientNginx, KeepAliveGetAndFormPostOnOneConnection)
{
    NginxServer nginx(kSite);
    ASSERT_TRUE(nginx.ok());
    nginx.putFile("page.txt", "hello from nginx\n");
    HttpClient client;
    ByteArray out;
    client.get(nginx.url("/page.txt").c_str(), &out);
    EXPECT_EQ(text(out), "hello from nginx\n");
    const std::string first = connectionOf(client);
    EXPECT_FALSE(first.empty());

    FormFields form;
    form.field("CMD") = "LOGIN";
    form.field("user") = "a b&d";
    client.postForm(nginx.url("/form").c_str(), &form, &out);
    EXPECT_EQ(text(out), "posted");
    EXPECT_EQ(client.response.headers.get("x-body"), "CMD=LOGIN&user=a+b%26d");
    EXPECT_EQ(connectionOf(client), first) << "the second request did not reuse the connection";
    EXPECT_EQ(client.reconnected, 0);

    // Another port is another connection.
    NginxServer second("");
    ASSERT_TRUE(second.ok());
    second.putFile("page.txt", "second\n");
    client.get(second.url("/page.txt").c_str(), &out);
    EXPECT_EQ(text(out), "second\n");
    EXPECT_EQ(client.reconnected, 1);
    client.get(nginx.url("/page.txt").c_str(), &out);
    EXPECT_EQ(client.reconnected, 1);
    EXPECT_NE(connectionOf(client), first);
}

TEST(HttpClientNginx, Redirects)
{
    NginxServer nginx(kSite);
    ASSERT_TRUE(nginx.ok());
    nginx.putFile("page.txt", "target\n");
    ::mkdir((nginx.documentRoot() + "/dir").c_str(), 0755);
    nginx.putFile("dir/page.txt", "relative target\n");
    HttpClient client;
    ByteArray out;
    struct Case {
        const char* path;
        const char* finalPath;
        const char* body;
    } cases[] = {
        {"/r301", "/page.txt", "target\n"},
        {"/dir/r302", "/dir/page.txt", "relative target\n"},
        {"/abs", "/page.txt", "target\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        out.setSize(0);
        client.get(nginx.url(c.path).c_str(), &out);
        EXPECT_EQ(text(out), c.body);
        EXPECT_EQ(client.request.path, c.finalPath);
    }

    FormFields form;
    form.field("x") = "1";
    client.postForm(nginx.url("/post303").c_str(), &form, &out);
    EXPECT_EQ(text(out), "target\n");
    EXPECT_EQ(client.request.method, "GET");
    EXPECT_EQ(client.request.body.count(), 0);

    client.get(nginx.url("/secure").c_str(), &out);
    EXPECT_EQ(client.response.statusCode, 302);
    EXPECT_NE(text(out).find("302 Found"), std::string::npos);

    EXPECT_EQ(outcome([&] { client.get(nginx.url("/loop").c_str(), &out); }), Result::BadResponse);
    // nginx logs a request once its answer has gone, so the last line may come after the
    // client has already given up.
    const size_t expected = static_cast<size_t>(HttpClient::DefaultMaxRedirects) + 1;
    size_t loops = 0;
    orvane::testing::awaitCondition([&] {
        const std::string log = nginx.accessLog();
        loops = 0;
        for (size_t at = log.find("GET /loop "); at != std::string::npos; at = log.find("GET /loop ", at + 1))
            ++loops;
        return loops >= expected;
    });
    EXPECT_EQ(loops, expected);
}

TEST(HttpClientNginx, BodyEndedByCloseAndOtherStatuses)
{
    NginxServer nginx(kSite);
    ASSERT_TRUE(nginx.ok());
    nginx.putFile("open.html", "<p>no length</p>\n");
    HttpClient client;
    ByteArray out;
    client.get(nginx.url("/open.html").c_str(), &out);
    EXPECT_EQ(text(out), "<p>no length</p>\n");
    EXPECT_FALSE(client.response.hasContentLength == 1);

    struct Case {
        const char* path;
        Result result;
        int status;
    } cases[] = {
        {"/auth", Result::AuthRequired, 401},
        {"/missing", Result::BadResponse, 404},
        {"/teapot", Result::BadResponse, 418},
        {"/created", Result::BadResponse, 201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(outcome([&] { client.get(nginx.url(c.path).c_str(), &out); }), c.result);
        EXPECT_EQ(client.response.statusCode, c.status);
    }
    EXPECT_EQ(text(out), "made");
}
