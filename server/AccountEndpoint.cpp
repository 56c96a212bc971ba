#include "server/AccountEndpoint.h"

#include "foundation/Clock.h"
#include "foundation/Conversions.h"
#include "foundation/Thread.h"
#include "network/HttpRequest.h"
#include "server/FormParser.h"
#include "server/ServerLog.h"

#include <algorithm>
#include <sys/socket.h>

namespace orvane {

namespace {

constexpr int ReceiveSliceMs = 250;
// After the answer: how long, and how much, of what the client still sends is dropped.
constexpr int DrainMs = 200;
constexpr int DrainBytes = 64 * 1024;

AccountReply errorReply(int status, const char* reason, const char* text)
{
    AccountReply reply;
    reply.status = status;
    reply.reason = reason;
    NameValueList children;
    children.add("reason", text);
    reply.body = AccountService::statusDocument("FAILED", children);
    return reply;
}

} // namespace

void writeAccountResponse(const AccountReply& reply, ByteArray& out)
{
    HttpResponse response;
    response.version = "HTTP/1.0";
    response.statusCode = reply.status;
    response.reason = reply.reason;
    response.headers.add("Content-Type", reply.contentType);
    response.headers.add("Content-Length", intToString(reply.body.length()));
    response.headers.add("Connection", "close");
    response.body.write(0, reply.body.c_str(), reply.body.length());
    response.writeTo(out);
}

AccountConnection::AccountConnection(AccountDispatcher& dispatcher) : dispatcher_(dispatcher) {}

AccountConnection::~AccountConnection()
{
    dispatcher_.active_.fetch_sub(1);
}

void AccountConnection::answer(const AccountReply& reply)
{
    ByteArray out;
    writeAccountResponse(reply, out);
    try {
        sendAll(socket.handle, out.data(), out.count());
    } catch (const SocketException&) {
        return; // the client has gone
    }
    finish();
}

void AccountConnection::finish()
{
    ::shutdown(socket.handle, SHUT_WR);
    const int64_t until = monotonicMillis() + DrainMs;
    uint8_t sink[4096];
    int dropped = 0;
    try {
        while (dropped < DrainBytes) {
            const int64_t left = until - monotonicMillis();
            if (left <= 0)
                break;
            const int n = receive(socket.handle, sink, static_cast<int>(sizeof sink), static_cast<int>(left));
            if (n <= 0)
                break;
            dropped += n;
        }
    } catch (const SocketException&) {
        // The client closed its side: nothing more can arrive.
    }
}

void AccountConnection::handle()
{
    const ServerSettings& settings = dispatcher_.settings();
    const SocketAddress peer = getPeerAddress(socket.handle);
    const SocketAddress local = getLocalAddress(socket.handle);
    const String who = peer.getHostAddress();

    HttpRequest request;
    request.maxLineLength = settings.maxHttpLine;
    request.maxHeaderCount = settings.maxHttpHeaders;
    request.maxBodySize = settings.maxHttpBody;
    const int64_t deadline = monotonicMillis() + settings.httpRequestTimeoutMs;
    uint8_t buffer[4096];
    try {
        for (;;) {
            if (request.state >= HttpMessage::Body) {
                if (request.method != "POST") {
                    serverLog("account %s: refused a %s request", who.c_str(), printableText(request.method, 16).c_str());
                    answer(errorReply(405, "Method Not Allowed", "Only form posts are served here."));
                    return;
                }
                if (request.hasContentLength != 1) {
                    serverLog("account %s: refused a post without Content-Length", who.c_str());
                    answer(errorReply(411, "Length Required", "The post has no Content-Length."));
                    return;
                }
                if (request.isComplete())
                    break;
            }
            Thread::checkStop();
            const int64_t left = deadline - monotonicMillis();
            if (left <= 0) {
                serverLog("account %s: closed: no whole request within %d ms", who.c_str(),
                          settings.httpRequestTimeoutMs);
                answer(errorReply(408, "Request Timeout", "The request took too long."));
                return;
            }
            const int n = receive(socket.handle, buffer, static_cast<int>(sizeof buffer),
                                  static_cast<int>(std::min<int64_t>(left, ReceiveSliceMs)));
            if (n > 0)
                request.parse(buffer, n);
        }
    } catch (const HttpException&) {
        serverLog("account %s: refused a malformed or oversized request (lines up to %d bytes, %d headers,"
                  " bodies up to %d bytes)",
                  who.c_str(), settings.maxHttpLine, settings.maxHttpHeaders, settings.maxHttpBody);
        answer(errorReply(400, "Bad Request", "The request could not be read."));
        return;
    } catch (const SocketException&) {
        return; // the client left before its request was whole
    }

    NameValueList form;
    if (!parseForm(reinterpret_cast<const char*>(request.body.data()), request.body.count(), form,
                   settings.maxFormFields)) {
        serverLog("account %s: refused a form of more than %d fields", who.c_str(), settings.maxFormFields);
        answer(errorReply(400, "Bad Request", "The form has too many fields."));
        return;
    }
    answer(dispatcher_.service().handle(form, peer, local));
}

// ---- dispatcher -----------------------------------------------------------------------------

AccountDispatcher::AccountDispatcher(AccountService& service, const ServerSettings& settings)
    : service_(service), settings_(settings)
{
    pool.setLimit(settings.maxHttpConnections);
}

ConnectionHandler* AccountDispatcher::createHandler()
{
    if (active_.load() >= settings_.maxHttpConnections) {
        serverLog("account: refused a connection: %d requests are being served", settings_.maxHttpConnections);
        return nullptr;
    }
    AccountConnection* connection = new AccountConnection(*this);
    active_.fetch_add(1);
    return connection;
}

} // namespace orvane
