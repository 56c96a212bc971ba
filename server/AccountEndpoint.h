#pragma once

#include "foundation/Containers.h"
#include "network/HttpRequest.h"
#include "network/WorkQueue.h"
#include "server/AccountService.h"
#include "server/ServerFace.h"

namespace orvane {

class AccountServer;

// One HTTP connection of the account endpoint: one request, read with the bounded message
// parser within the request time-out (until then it waits in the face's room), one answer,
// then the connection closes. Only form posts are served; anything the parser refuses is a
// 400 and a log line. The form itself is handled on the password workers: signing in,
// signing up and changing a password all compute a password hash. A form from an address
// that has as many hashes waiting as it may is answered 503 at once.
class AccountConnection : public FaceConnection {
public:
    AccountConnection(AccountServer& server, int fd, const SocketAddress& peer);

    void onReady(uint32_t events) override;
    void onWaitedTooLong() override;
    // The service's reply to the form, on the loop's thread.
    void onReply(const AccountReply& reply);

private:
    enum State { Reading, Working, Answering, Draining };

    void onClosing() override;
    void readRequest();
    // What the request read so far calls for: more bytes, a refusal, or the form's work.
    void examineRequest();
    void answer(const AccountReply& reply);
    void writeAnswer();
    // Stops sending, drops what the client still sends for a moment so that closing does
    // not reset the connection under the answer, then closes.
    void finish();
    void drain();

    AccountServer& server_;
    SocketAddress local_;
    HttpRequest request_;
    State state_ = Reading;
    ByteArray out_;
    int written_ = 0;
    int drained_ = 0;
    EventLoop::TimerId drainTimer_ = 0;
};

class AccountServer : public ServerFace {
public:
    AccountServer(EventLoop& loop, WorkQueue& passwordWorkers, AccountService& service, const ServerSettings& settings,
                  int maxConnections);
    ~AccountServer() override;

    const ServerSettings& settings() const { return settings_; }

private:
    friend class AccountConnection;

    std::unique_ptr<FaceConnection> makeConnection(int fd, const SocketAddress& peer) override;
    // Queues the form in its address's line; Full when that line is full, Stopping when the
    // workers stop.
    WorkQueue::Submitted handleLater(AccountConnection& connection, const NameValueList& form,
                                     const SocketAddress& peer, const SocketAddress& local);

    AccountService& service_;
    const ServerSettings& settings_;
};

// The response the endpoint writes for a reply: HTTP/1.0, the status, Content-Type,
// Content-Length and "Connection: close", then the body.
void writeAccountResponse(const AccountReply& reply, ByteArray& out);

} // namespace orvane
