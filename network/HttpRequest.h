#pragma once

#include "network/HttpMessage.h"

namespace orvane {

// A request: method, target and version, with the target kept as its URL parts.
//
// Nothing a caller or a peer supplies can smuggle a line into the request: writing the
// start line refuses (HttpException) a method, target, version or host that holds a byte
// at or below 0x20 or 0x7F, and the header writer refuses control bytes in values. URLs
// are not escaped on the caller's behalf: a URL with a space in it is refused, not mended.
class HttpRequest : public HttpMessage {
public:
    String method;
    String scheme;
    String host;
    uint16_t port = 80;
    String path;
    String version;
    // Set when the start line carries the absolute URL (requests to a plain HTTP proxy).
    uint8_t absoluteForm = 0;

    HttpRequest() = default;
    HttpRequest(const HttpRequest&) = default;
    HttpRequest& operator=(const HttpRequest&) = default;
    ~HttpRequest() override;

    void setMethod(const char* text);
    void setVersion(const char* text);
    // Splits "scheme://host:port/path" (the scheme defaults to http, the path to "/"); a
    // text without "://" is a path alone.
    void setUrl(const char* text);
    // host = text; with a ':' the text after it is the port (0 when it is not a number
    // from 1 to 65535) and the text before it the host.
    void setHost(const char* text);
    // The host, taken from the "Host" header first when none is set.
    String getHost();
    // scheme://host[:port]path; the port is written unless it is 80 or 0.
    String absoluteUrl() const;

protected:
    void onHeadersComplete() override;
    void parseStartLine() override;
    void writeStartLine() override;
};

} // namespace orvane
