#pragma once

#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "foundation/String.h"
#include "network/CookieJar.h"
#include "network/HttpRequest.h"
#include "network/HttpResponse.h"
#include "network/ProxyClient.h"

#include <cstdint>
#include <functional>

namespace orvane {

class FormFields;

// A blocking HTTP/1.0 client that one thread drives one request at a time. It keeps one
// connection open between requests (Connection: Keep-Alive), follows 301/302/303 redirects
// as GETs, optionally keeps cookies, and reaches the server directly, through the proxy
// types of ProxyClient, or (type 4) through a plain HTTP proxy that takes absolute URLs.
//
// A call returns when the final response is 200, or a 301/302/303 that is not followed;
// `out` then holds that response's body. Other outcomes are exceptions:
// - TimeoutException: nothing arrived within the time left (timeoutSeconds per request);
// - Exception: the connection ended before a complete head, or before the announced
//   Content-Length, or the response was malformed or beyond maxBodySize;
// - AuthenticationRequiredException: 401; BadResponseException: any other status, and a
//   redirect without a Location or beyond maxRedirects;
// - HttpException: a URL, host or header that would put a control byte on the wire;
// - the ProxyClient exceptions from connecting and from a proxy's 407.
class HttpClient {
public:
    ORVANE_EXCEPTION(BadResponseException, Exception);
    ORVANE_EXCEPTION(AuthenticationRequiredException, BadResponseException);

    static constexpr int32_t DefaultTimeoutSeconds = 60;
    static constexpr int32_t DefaultMaxRedirects = 10;

    // Per request; below 0 means no limit.
    int32_t timeoutSeconds = DefaultTimeoutSeconds;
    // When the current request must be over, in milliseconds on the monotonic clock.
    int64_t deadline = 0;
    Socket socket;
    ProxyClient proxy;
    // Cleared by every request, set when it opened a connection.
    uint8_t reconnected = 0;
    uint8_t keepAlive = 1;
    // The endpoint of the open connection: the destination, or the plain HTTP proxy.
    String connectedHost;
    int32_t connectedPort = 0;
    uint8_t followRedirects = 1;
    ByteArray* output = nullptr;
    ByteArray sendBuffer;
    // Reused by every request; the response stays readable after a call, also after an
    // exception.
    HttpRequest request;
    HttpResponse response;
    // Sent with every request; see setHeader.
    NameValueList extraHeaders;
    uint8_t ntlmInProgress = 0;
    uint8_t cookiesEnabled = 0;
    CookieJar cookies;
    // Successive redirects followed before the request fails.
    int32_t maxRedirects = DefaultMaxRedirects;
    // The largest response body accepted.
    int32_t maxBodySize = HttpMessage::DefaultMaxBodySize;
    // When set, called on the calling thread each time more of a response's body has arrived
    // (the head is read; `response.body` holds what came so far), so that a caller can store
    // and show a long body as it comes. An exception from it ends the request: one of the
    // Exception family closes the connection and leaves as an Exception, any other leaves
    // as it is.
    std::function<void(const HttpResponse&)> onBodyReceived;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    void get(const char* url, ByteArray* out);
    // POST of raw bytes with their Content-Length.
    void post(const char* url, const ByteArray* body, ByteArray* out);
    // POST of an "application/x-www-form-urlencoded" form.
    void postForm(const char* url, FormFields* fields, ByteArray* out);
    // Sets a header for every later request; an empty value removes it.
    void setHeader(const char* name, const char* value);

private:
    bool throughPlainProxy() const { return proxy.type == ProxyHttpTunnel; }
    // Milliseconds until `deadline` (0 once past), -1 without a limit.
    int waitMs() const;
    void restartDeadline();

    void prepare(const char* method, const char* url);
    void execute();
    void send();
    void receive();
    void connect();
    void closeConnection();
    // True when the open connection is neither closed by the peer nor holding unread bytes.
    bool connectionUsable() const;
    void followRedirect();
    void storeCookies();

    // The answer to a proxy's 407 (ProxyAuthentication.cpp).
    void authenticateProxy();
    void authenticateNtlm();
    void authenticateBasic();
    void authenticateDigest();
    // Appends a request header with the name lowered.
    void addRequestHeader(const char* name, const char* value);

    int32_t redirectCount = 0;
};

} // namespace orvane
