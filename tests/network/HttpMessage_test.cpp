#include "network/HttpRequest.h"
#include "network/HttpResponse.h"

#include "MemoryStream.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace orvane;
using orvane::testing::MemoryStream;

namespace {

std::string bodyOf(const HttpMessage& m)
{
    return std::string(reinterpret_cast<const char*>(m.body.data()), static_cast<size_t>(m.body.count()));
}

std::string bytesOf(const ByteArray& a)
{
    return std::string(reinterpret_cast<const char*>(a.data()), static_cast<size_t>(a.count()));
}

void feed(HttpMessage& m, const std::string& bytes)
{
    m.parse(bytes.data(), static_cast<int>(bytes.size()));
}

void feedBytewise(HttpMessage& m, const std::string& bytes)
{
    for (char c : bytes)
        m.parse(&c, 1);
}

} // namespace

TEST(HttpResponse, ParsesAtOnceAndByteByByte)
{
    const std::string wire = "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef";
    for (bool bytewise : {false, true}) {
        SCOPED_TRACE(bytewise ? "byte by byte" : "at once");
        HttpResponse r;
        bytewise ? feedBytewise(r, wire) : feed(r, wire);
        EXPECT_EQ(r.statusCode, 200);
        EXPECT_EQ(r.reason, "OK");
        EXPECT_EQ(r.version, "HTTP/1.0");
        EXPECT_EQ(bodyOf(r), "abc");
        EXPECT_EQ(r.state, HttpMessage::Complete);
        EXPECT_EQ(r.contentLength, 3);
        EXPECT_EQ(r.hasContentLength, 1);
        EXPECT_EQ(r.received.count(), static_cast<int>(wire.size()));
    }
}

TEST(HttpResponse, EveryLineEndParsesAlike)
{
    for (const char* end : {"\r\n", "\n", "\n\r", "\r"}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(end)));
        std::string e(end);
        HttpResponse r;
        feedBytewise(r, "HTTP/1.1 404 Not Found" + e + "X-A: 1" + e + "Content-Length: 2" + e + e + "hi!");
        EXPECT_EQ(r.statusCode, 404);
        EXPECT_EQ(r.reason, "Not Found");
        EXPECT_EQ(r.headers.get("x-a"), "1");
        EXPECT_EQ(bodyOf(r), "hi");
        EXPECT_TRUE(r.isComplete());
    }
}

TEST(HttpResponse, LastByteIsNeverTakenAsALineEnd)
{
    for (const char* end : {"\r", "\n"}) {
        HttpResponse r;
        feed(r, std::string("HTTP/1.0 200 OK") + end);
        EXPECT_EQ(r.state, HttpMessage::StartLine); // its partner may still follow
        feed(r, "C");
        EXPECT_EQ(r.state, HttpMessage::Headers);
        EXPECT_EQ(r.statusCode, 200);
    }
}

TEST(HttpResponse, BodyFramings)
{
    HttpResponse zero;
    feed(zero, "HTTP/1.0 204 No Content\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(zero.isComplete());
    EXPECT_EQ(zero.body.count(), 0);

    HttpResponse open;
    feed(open, "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nabc");
    feed(open, "def\r\n\r\nghi");
    EXPECT_EQ(open.state, HttpMessage::Body);
    EXPECT_EQ(open.hasContentLength, 0);
    EXPECT_EQ(bodyOf(open), "abcdef\r\n\r\nghi");
}

TEST(HttpResponse, HeaderLinesAreTrimmedAndNamesLowered)
{
    HttpResponse r;
    feed(r, "HTTP/1.0 200 OK\r\n  X-A :  b  \r\nSet-Cookie: a=1\r\nSET-COOKIE: b=2\r\n\r\n");
    ASSERT_EQ(r.headers.count(), 3);
    EXPECT_EQ(r.headers[0].name, "x-a");
    EXPECT_EQ(r.headers[0].value, "b");
    EXPECT_EQ(r.headers[1].name, "set-cookie");
    EXPECT_EQ(r.headers[2].value, "b=2");
}

TEST(HttpResponse, StatusLineForms)
{
    struct Case {
        const char* line;
        int status;
        const char* reason;
    } cases[] = {
        {"HTTP/1.0 200", 200, ""},
        {"  HTTP/1.0   301   Moved  Permanently  ", 301, "Moved  Permanently"},
        {"HTTP/1.0 abc Bad", 0, "Bad"},
        {"ICY 200 OK", 200, "OK"},
        {"HTTP/1.0 99999999999 Huge", 0, "Huge"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        HttpResponse r;
        feed(r, std::string(c.line) + "\r\n\r\n");
        EXPECT_EQ(r.statusCode, c.status);
        EXPECT_EQ(r.reason, c.reason);
    }
}

TEST(HttpMessage, MalformedAndOversizedInputIsRefused)
{
    struct Case {
        const char* what;
        std::function<void(HttpResponse&)> setup;
        std::string wire;
    } cases[] = {
        {"start line without a space", nullptr, "HTTP/1.0\r\n\r\n"},
        {"header without a colon", nullptr, "HTTP/1.0 200 OK\r\nNoColon\r\n\r\n"},
        {"header with an empty name", nullptr, "HTTP/1.0 200 OK\r\n : v\r\n\r\n"},
        {"negative Content-Length", nullptr, "HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\n"},
        {"unparsable Content-Length", nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n"},
        {"empty Content-Length", nullptr, "HTTP/1.0 200 OK\r\nContent-Length:\r\n\r\n"},
        {"Content-Length beyond 32 bits", nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 4294967297\r\n\r\n"},
        {"two different Content-Lengths", nullptr,
         "HTTP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab"},
        {"Content-Length beyond the body limit", [](HttpResponse& r) { r.maxBodySize = 10; },
         "HTTP/1.0 200 OK\r\nContent-Length: 11\r\n\r\n"},
        {"open body beyond the body limit", [](HttpResponse& r) { r.maxBodySize = 10; },
         "HTTP/1.0 200 OK\r\n\r\n0123456789X"},
        {"too many headers", [](HttpResponse& r) { r.maxHeaderCount = 2; },
         "HTTP/1.0 200 OK\r\nA: 1\r\nB: 2\r\nC: 3\r\n\r\n"},
        {"complete line beyond the line limit", [](HttpResponse& r) { r.maxLineLength = 20; },
         "HTTP/1.0 200 OK\r\nX: " + std::string(30, 'a') + "\r\n\r\n"},
        {"partial line beyond the line limit", [](HttpResponse& r) { r.maxLineLength = 20; },
         "HTTP/1.0 200 OK\r\nX: " + std::string(30, 'a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HttpResponse r;
        if (c.setup)
            c.setup(r);
        EXPECT_THROW(feed(r, c.wire), HttpException);
    }
}

TEST(HttpMessage, NoLineAfterTheMessageEnded)
{
    HttpResponse r;
    feed(r, "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(r.isComplete());
    EXPECT_THROW(feed(r, "HTTP/1.0 200 OK\r\n\r\n"), HttpException);
}

TEST(HttpMessage, EqualRepeatedContentLengthIsAccepted)
{
    HttpResponse r;
    feed(r, "HTTP/1.0 200 OK\r\nContent-Length: 2\r\ncontent-length: 02\r\n\r\nabc");
    EXPECT_TRUE(r.isComplete());
    EXPECT_EQ(bodyOf(r), "ab");
}

TEST(HttpMessage, ResetKeepsTimeoutAndLimits)
{
    HttpResponse r;
    r.timeoutMs = 5;
    r.maxBodySize = 7;
    feed(r, "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx");
    r.reset();
    EXPECT_EQ(r.statusCode, 0);
    EXPECT_EQ(r.state, HttpMessage::StartLine);
    EXPECT_EQ(r.headers.count(), 0);
    EXPECT_EQ(r.body.count(), 0);
    EXPECT_EQ(r.received.count(), 0);
    EXPECT_GE(r.received.capacity(), 500);
    EXPECT_EQ(r.contentLength, -1);
    EXPECT_EQ(r.hasContentLength, -1);
    EXPECT_EQ(r.timeoutMs, 5);
    EXPECT_EQ(r.maxBodySize, 7);
}

TEST(HttpRequest, SetUrlSplitsUrls)
{
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;
        int port;
        const char* path;
        int absolute;
    } cases[] = {
        {"http://example.test:8080", "http", "example.test", 8080, "/", 1},
        {"/a/b?q", "http", "", 80, "/a/b?q", 0},
        {"  http://h/x/y  ", "http", "h", 80, "/x/y", 1},
        {"http://h:abc/", "http", "h", 0, "/", 1},
        {"http://h:70000/", "http", "h", 0, "/", 1},
        {"://h/p", "http", "h", 80, "/p", 1},
        {"https://h:443/p", "https", "h", 443, "/p", 1},
        {"", "http", "", 80, "/", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        HttpRequest r;
        r.setUrl(c.url);
        EXPECT_EQ(r.scheme, c.scheme);
        EXPECT_EQ(r.host, c.host);
        EXPECT_EQ(r.port, c.port);
        EXPECT_EQ(r.path, c.path);
        EXPECT_EQ(r.absoluteForm, c.absolute);
    }
}

TEST(HttpRequest, HostHeaderIsWrittenLastWithItsPort)
{
    HttpRequest r;
    r.setMethod("GET");
    r.setVersion("HTTP/1.0");
    r.setUrl("http://h.test:8080/p");
    r.absoluteForm = 0;
    r.headers.add("Connection", "Keep-Alive");
    EXPECT_EQ(std::string(r.toString()), "GET /p HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: h.test:8080\r\n\r\n");

    r.setUrl("http://h.test/p");
    r.toString();
    EXPECT_EQ(r.headers.count(), 2);
    EXPECT_EQ(r.headers.get("host"), "h.test");

    HttpRequest zero;
    zero.setMethod("GET");
    zero.setVersion("HTTP/1.0");
    zero.setUrl("http://h:0/");
    EXPECT_EQ(zero.absoluteUrl(), "http://h/");
    zero.toString();
    EXPECT_EQ(zero.headers.get("Host"), "h:0");

    HttpRequest noHost;
    noHost.setMethod("GET");
    noHost.setVersion("HTTP/1.0");
    noHost.setUrl("/x");
    noHost.port = 8080;
    noHost.toString();
    EXPECT_EQ(noHost.headers.get("Host"), ":8080");
}

TEST(HttpRequest, AbsoluteFormAndBodyGoToTheWire)
{
    HttpRequest r;
    r.setMethod("POST");
    r.setVersion("HTTP/1.0");
    r.setUrl("http://h.test:81/a?b=1");
    r.absoluteForm = 1;
    r.headers.add("Content-Length", "3");
    appendBytes(r.body, "x=1", 3);
    ByteArray out;
    r.writeTo(out);
    EXPECT_EQ(bytesOf(out), "POST http://h.test:81/a?b=1 HTTP/1.0\r\nContent-Length: 3\r\nHost: h.test:81\r\n\r\nx=1");
}

TEST(HttpRequest, NoControlByteReachesTheWire)
{
    struct Case {
        const char* what;
        std::function<void(HttpRequest&)> spoil;
    } cases[] = {
        {"space in the path", [](HttpRequest& r) { r.setUrl("http://h/a b"); }},
        {"CR LF in the path", [](HttpRequest& r) { r.setUrl("http://h/a\r\nX: y"); }},
        {"DEL in the path", [](HttpRequest& r) { r.setUrl("http://h/a\x7f"); }},
        {"space in the host", [](HttpRequest& r) { r.host = "h x"; }},
        {"LF in the host", [](HttpRequest& r) { r.host = "h\nX: y"; }},
        {"CR LF in a header value", [](HttpRequest& r) { r.headers.add("X-A", "v\r\nX-B: w"); }},
        {"NUL in a header value", [](HttpRequest& r) { r.headers.entry("X-A").value = String("v\0w", 3); }},
        {"colon in a header name", [](HttpRequest& r) { r.headers.add("X:A", "v"); }},
        {"space in a header name", [](HttpRequest& r) { r.headers.add("X A", "v"); }},
        {"space in the method", [](HttpRequest& r) { r.setMethod("GET /x"); }},
        {"empty method", [](HttpRequest& r) { r.setMethod(nullptr); }},
        {"LF in the version", [](HttpRequest& r) { r.setVersion("HTTP/1.0\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HttpRequest r;
        r.setMethod("GET");
        r.setVersion("HTTP/1.0");
        r.setUrl("http://h/p");
        c.spoil(r);
        ByteArray out;
        EXPECT_THROW(r.writeTo(out), HttpException);
    }
    HttpRequest fine;
    fine.setMethod("GET");
    fine.setVersion("HTTP/1.0");
    fine.setUrl("http://h/p%20q");
    fine.headers.add("User-Agent", "Orvane 1.6 (spaces are fine)");
    EXPECT_NO_THROW(fine.toString());
}

TEST(HttpRequest, ParsesRequestLines)
{
    HttpRequest connect;
    feed(connect, "CONNECT h.test:443 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(connect.method, "CONNECT");
    EXPECT_EQ(connect.host, "h.test");
    EXPECT_EQ(connect.port, 443);
    EXPECT_EQ(connect.version, "HTTP/1.0");
    EXPECT_EQ(connect.absoluteForm, 1);

    HttpRequest bare;
    feed(bare, "CONNECT http://h.test HTTP/1.1\r\n\r\n");
    EXPECT_EQ(bare.host, "h.test");
    EXPECT_EQ(bare.port, 80);

    HttpRequest get;
    feed(get, "GET /a/b?c HTTP/1.0\r\nHost: h.test:8081\r\nContent-Length: 2\r\n\r\nxyz");
    EXPECT_EQ(get.method, "GET");
    EXPECT_EQ(get.path, "/a/b?c");
    EXPECT_EQ(get.host, "h.test");
    EXPECT_EQ(get.port, 8081);
    EXPECT_EQ(get.absoluteForm, 0); // decided by the start line, before the Host header
    EXPECT_EQ(bodyOf(get), "xy");

    HttpRequest proxied;
    feed(proxied, "GET http://h.test/x HTTP/1.0\r\n\r\n");
    EXPECT_EQ(proxied.absoluteForm, 1);
    EXPECT_EQ(proxied.getHost(), "h.test");

    HttpRequest noVersion;
    EXPECT_THROW(feed(noVersion, "GET /x\r\n"), HttpException);
}

TEST(HttpRequest, GetHostFallsBackToTheHostHeader)
{
    HttpRequest r;
    r.headers.add("Host", "h.test:8080");
    EXPECT_EQ(r.getHost(), "h.test");
    EXPECT_EQ(r.port, 8080);

    HttpRequest none;
    EXPECT_EQ(none.getHost(), "");
    EXPECT_EQ(none.headers.find("Host"), 0); // appended, empty
}

TEST(HttpMessageReader, ReadsHeadersAndBodyFromAStream)
{
    MemoryStream stream("HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"x\"\r\n"
                        "Content-Length: 5\r\n\r\nhellotunnel bytes",
                        2);
    HttpResponse r;
    r.read(stream);
    EXPECT_EQ(r.statusCode, 407);
    EXPECT_EQ(bodyOf(r), "hello");
    EXPECT_TRUE(r.isComplete());
    EXPECT_EQ(stream.available(), 12); // nothing read past the body
}

TEST(HttpMessageReader, HeadersOnlyStopAtTheEmptyLine)
{
    MemoryStream stream("HTTP/1.0 200 Connection established\r\n\r\n\x05\x01", 1);
    HttpResponse r;
    r.readHeaders(stream);
    EXPECT_EQ(r.statusCode, 200);
    EXPECT_EQ(stream.available(), 2);

    MemoryStream noLength("HTTP/1.0 200 OK\r\n\r\nbody");
    HttpResponse open;
    open.read(noLength);
    EXPECT_EQ(open.body.count(), 0); // no Content-Length: the reader of the connection decides
}

TEST(HttpMessageReader, TruncatedMessagesFail)
{
    for (const char* wire : {"", "HTTP/1.0 200 Connection established\r\n", "HTTP/1.0 200 OK\r\nA: b\r\nC: d"}) {
        SCOPED_TRACE(wire);
        MemoryStream stream(wire);
        HttpResponse r;
        EXPECT_THROW(r.readHeaders(stream), NoConnectionException);
    }
    MemoryStream shortBody("HTTP/1.0 200 OK\r\nContent-Length: 20\r\n\r\n0123456789");
    HttpResponse r;
    EXPECT_THROW(r.read(shortBody), NoConnectionException);
    EXPECT_EQ(r.body.count(), 10);
}

TEST(HttpMessageReader, DeadlineEndsAStalledRead)
{
    MemoryStream stream("HTTP/1.0 200 OK\r\n");
    stream.timeOutAtEnd = true;
    HttpResponse r;
    r.timeoutMs = 30;
    EXPECT_THROW(r.readHeaders(stream), TimeoutException);
    EXPECT_EQ(r.statusCode, 200);
}

TEST(HeaderList, EntryRemoveAndAttribute)
{
    NameValueList list;
    list.add("a", "1");
    list.entry("A").value = "2";
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list[0].name, "a");
    list.entry("New").setValue(-42);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list[1].name, "New");
    EXPECT_EQ(list[1].value, "-42");

    NameValueList twice;
    twice.add("x", "1");
    twice.add("y", "2");
    twice.add("X", "3");
    EXPECT_TRUE(twice.remove("x"));
    ASSERT_EQ(twice.count(), 2);
    EXPECT_EQ(twice[0].value, "2");
    EXPECT_EQ(twice[1].value, "3");
    EXPECT_FALSE(twice.remove("z"));
    EXPECT_FALSE(twice.remove(""));
    EXPECT_FALSE(twice.remove(nullptr));

    NameValuePair cookie("set-cookie", "a=1; Path = /x ; expires=0");
    EXPECT_EQ(cookie.attribute("PATH"), "/x");
    EXPECT_EQ(cookie.attribute(" expires "), "0");
    EXPECT_EQ(cookie.attribute("domain"), "");
    NameValuePair flags("x", "secure; HttpOnly; a=");
    EXPECT_EQ(flags.attribute("secure"), "");
    EXPECT_EQ(flags.attribute("a"), "");
    NameValuePair named("Host");
    EXPECT_EQ(named.name, "Host");
    EXPECT_EQ(named.value, "");
}
