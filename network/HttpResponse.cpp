#include "network/HttpResponse.h"

#include <climits>

namespace orvane {

HttpResponse::~HttpResponse() = default;

void HttpResponse::reset()
{
    statusCode = 0;
    reason.clear();
    version.clear();
    HttpMessage::reset();
}

void HttpResponse::parseStartLine()
{
    String rest;
    splitStartLine(version, rest);
    const int64_t code = leadingDecimal(rest.c_str(), INT32_MAX);
    statusCode = code < 0 ? 0 : static_cast<int32_t>(code);
    const int next = rest.find(' ');
    if (next < 0) {
        reason.clear();
    } else {
        reason = rest.substring(next + 1);
        reason.trim();
    }
}

void HttpResponse::writeStartLine()
{
    startLine.clear();
    startLine.format("%s %d %s", version.c_str(), statusCode, reason.c_str());
}

} // namespace orvane
