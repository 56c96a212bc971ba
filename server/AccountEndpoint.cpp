#include "server/AccountEndpoint.h"

#include "foundation/Conversions.h"
#include "network/HttpResponse.h"
#include "server/FormParser.h"
#include "server/ServerLog.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>

namespace orvane {

namespace {

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

AccountConnection::AccountConnection(AccountServer& server, int fd, const SocketAddress& peer)
    : FaceConnection(server, fd, peer), server_(server), local_(getLocalAddress(fd))
{
    const ServerSettings& settings = server.settings();
    request_.maxLineLength = settings.maxHttpLine;
    request_.maxHeaderCount = settings.maxHttpHeaders;
    request_.maxBodySize = settings.maxHttpBody;
}

void AccountConnection::onReady(uint32_t events)
{
    switch (state_) {
    case Reading:
        readRequest();
        break;
    case Working:
        // Nothing is read while the form is handled: the client's leaving, a hang-up or an
        // error comes here, and nobody is left to answer.
        close();
        break;
    case Answering:
        writeAnswer();
        break;
    case Draining:
        drain();
        break;
    }
}

void AccountConnection::onWaitedTooLong()
{
    server_.logTimeOut("account %s: closed: no whole request within %d ms", peer().getHostAddress().c_str(),
                       server_.settings().httpRequestTimeoutMs);
    answer(errorReply(408, "Request Timeout", "The request took too long."));
}

void AccountConnection::readRequest()
{
    const ssize_t n = ::recv(socket(), server_.receiveBuffer(), static_cast<size_t>(server_.receiveBufferSize()), 0);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            close();
        return;
    }
    if (n == 0) {
        close(); // the client left before its request was whole
        return;
    }
    try {
        request_.parse(server_.receiveBuffer(), static_cast<int>(n));
    } catch (const HttpException&) {
        const ServerSettings& settings = server_.settings();
        serverLog("account %s: refused a malformed or oversized request (lines up to %d bytes, %d headers,"
                  " bodies up to %d bytes)",
                  peer().getHostAddress().c_str(), settings.maxHttpLine, settings.maxHttpHeaders, settings.maxHttpBody);
        answer(errorReply(400, "Bad Request", "The request could not be read."));
        return;
    }
    examineRequest();
}

void AccountConnection::examineRequest()
{
    if (request_.state < HttpMessage::Body)
        return;
    const String who = peer().getHostAddress();
    if (request_.method != "POST") {
        serverLog("account %s: refused a %s request", who.c_str(), printableText(request_.method, 16).c_str());
        answer(errorReply(405, "Method Not Allowed", "Only form posts are served here."));
        return;
    }
    if (request_.hasContentLength != 1) {
        serverLog("account %s: refused a post without Content-Length", who.c_str());
        answer(errorReply(411, "Length Required", "The post has no Content-Length."));
        return;
    }
    if (!request_.isComplete())
        return;
    stopWaiting();
    NameValueList form;
    const int maxFields = server_.settings().maxFormFields;
    if (!parseForm(reinterpret_cast<const char*>(request_.body.data()), request_.body.count(), form, maxFields)) {
        serverLog("account %s: refused a form of more than %d fields", who.c_str(), maxFields);
        answer(errorReply(400, "Bad Request", "The form has too many fields."));
        return;
    }
    state_ = Working;
    // Nothing more is read; only the client's leaving is watched for, so that a form whose
    // client has gone is dropped before it costs a hash.
    setInterest(EPOLLRDHUP);
    switch (server_.handleLater(*this, form, peer(), local_)) {
    case WorkQueue::Submitted::Queued:
        break;
    case WorkQueue::Submitted::Full:
        answer(errorReply(503, "Service Unavailable", "The server is busy. Try again later."));
        break;
    case WorkQueue::Submitted::Stopping:
        close();
        break;
    }
}

void AccountConnection::onReply(const AccountReply& reply)
{
    answer(reply);
}

void AccountConnection::answer(const AccountReply& reply)
{
    stopWaiting();
    out_.setSize(0);
    writeAccountResponse(reply, out_);
    written_ = 0;
    state_ = Answering;
    setInterest(EPOLLOUT);
    writeAnswer();
}

void AccountConnection::writeAnswer()
{
    while (written_ < out_.count()) {
        const ssize_t n = ::send(socket(), out_.data() + written_, static_cast<size_t>(out_.count() - written_),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                close(); // the client has gone
            return;
        }
        written_ += static_cast<int>(n);
    }
    finish();
}

void AccountConnection::finish()
{
    ::shutdown(socket(), SHUT_WR);
    state_ = Draining;
    setInterest(EPOLLIN);
    drainTimer_ = server_.loop().runAfter(DrainMs, [this] {
        drainTimer_ = 0;
        close();
    });
}

void AccountConnection::onClosing()
{
    if (drainTimer_)
        server_.loop().cancel(drainTimer_);
}

void AccountConnection::drain()
{
    const ssize_t n = ::recv(socket(), server_.receiveBuffer(), static_cast<size_t>(server_.receiveBufferSize()), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // The client closed its side (nothing more can arrive), the connection broke, or it
    // sent more than is worth waiting for.
    if (n <= 0 || (drained_ += static_cast<int>(n)) >= DrainBytes)
        close();
}

// ---- the face -------------------------------------------------------------------------------

AccountServer::AccountServer(EventLoop& loop, WorkQueue& passwordWorkers, AccountService& service,
                             const ServerSettings& settings, int maxConnections)
    : ServerFace(loop, passwordWorkers, "account", "have not sent a whole request",
                 Limits(maxConnections, settings.maxWaitingPerAddress, settings.httpRequestTimeoutMs,
                        settings.maxHashesWaitingPerAddress)),
      service_(service),
      settings_(settings)
{
}

AccountServer::~AccountServer()
{
    closeAll();
}

std::unique_ptr<FaceConnection> AccountServer::makeConnection(int fd, const SocketAddress& peer)
{
    return std::unique_ptr<FaceConnection>(new AccountConnection(*this, fd, peer));
}

WorkQueue::Submitted AccountServer::handleLater(AccountConnection& connection, const NameValueList& form,
                                                const SocketAddress& peer, const SocketAddress& local)
{
    return workOffLoop(
        connection, [this, form, peer, local] { return service_.handle(form, peer, local); },
        [](FaceConnection& face, const AccountReply& reply) {
            static_cast<AccountConnection&>(face).onReply(reply);
        });
}

} // namespace orvane
