#pragma once

#include "network/HttpMessage.h"

namespace orvane {

// A response: status line, headers and body.
class HttpResponse : public HttpMessage {
public:
    // 0 until a status line was parsed; a code that is not a number also reads as 0.
    int32_t statusCode = 0;
    String reason;
    String version;

    HttpResponse() = default;
    HttpResponse(const HttpResponse&) = default;
    HttpResponse& operator=(const HttpResponse&) = default;
    ~HttpResponse() override;

    // Status 0, empty reason and version, then the message reset.
    void reset();

protected:
    void parseStartLine() override;
    void writeStartLine() override;
};

} // namespace orvane
