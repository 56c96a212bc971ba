#include "network/HttpRequest.h"

namespace orvane {

HttpRequest::~HttpRequest() = default;

void HttpRequest::setMethod(const char* text)
{
    method = text ? text : "";
}

void HttpRequest::setVersion(const char* text)
{
    version = text ? text : "";
}

void HttpRequest::setHost(const char* text)
{
    host = text ? text : "";
    const int colon = host.find(':');
    if (colon < 0)
        return;
    port = parsePortText(host.c_str() + colon + 1);
    host.setLength(colon);
}

void HttpRequest::setUrl(const char* text)
{
    String url(text ? text : "");
    url.trim();
    scheme.clear();
    host.clear();
    path.clear();
    port = 80;
    const int mark = url.find("://");
    if (mark < 0) {
        absoluteForm = 0;
        path = url;
    } else {
        if (mark > 0)
            scheme = url.substring(0, mark);
        String rest = url.substring(mark + 3);
        const int slash = rest.find('/');
        if (slash < 0) {
            setHost(rest);
            path = "/";
        } else {
            setHost(rest.substring(0, slash));
            path = rest.substring(slash);
        }
        absoluteForm = 1;
    }
    if (scheme.isEmpty())
        scheme = "http";
    if (path.isEmpty())
        path = "/";
}

String HttpRequest::getHost()
{
    if (host.isEmpty())
        setHost(headers.entry("Host").value);
    return host;
}

String HttpRequest::absoluteUrl() const
{
    String url(scheme);
    url.append("://");
    url += host;
    if (port != 80 && port != 0) {
        String p;
        p.format(":%u", static_cast<unsigned>(port));
        url += p;
    }
    url += path;
    return url;
}

void HttpRequest::writeStartLine()
{
    if (!isSafeToken(host))
        throw HttpException();
    String hostValue(host);
    if (port != 80) {
        String p;
        p.format(":%u", static_cast<unsigned>(port));
        hostValue += p;
    }
    if (!hostValue.isEmpty())
        headers.entry("Host").value = hostValue;
    const String target = absoluteForm ? absoluteUrl() : path;
    if (method.isEmpty() || !isSafeToken(method) || target.isEmpty() || !isSafeToken(target) ||
        !isSafeToken(version))
        throw HttpException();
    startLine = method;
    startLine.append(' ');
    startLine += target;
    startLine.append(' ');
    startLine += version;
}

void HttpRequest::parseStartLine()
{
    String rest;
    splitStartLine(method, rest);
    method.trim();
    const int second = rest.find(' ');
    if (second < 0)
        throw HttpException();
    String target = rest.substring(0, second);
    if (method == "CONNECT") {
        // Authority form: host and port only; scheme and path stay as they were.
        const int mark = target.find("://");
        if (mark >= 0)
            target = target.substring(mark + 3);
        port = 80;
        const int colon = target.find(':');
        if (colon >= 0) {
            host = target.substring(0, colon);
            port = parsePortText(target.c_str() + colon + 1);
        } else {
            host = target;
        }
    } else {
        setUrl(target);
    }
    version = rest.substring(second + 1);
    version.trim();
    absoluteForm = host.isEmpty() ? 0 : 1;
}

void HttpRequest::onHeadersComplete()
{
    const int i = headers.find("host");
    if (i >= 0)
        setHost(headers[i].value);
}

} // namespace orvane
