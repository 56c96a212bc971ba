#pragma once

#include "network/ConnectionDispatcher.h"
#include "network/ConnectionHandler.h"
#include "network/HttpResponse.h"
#include "server/AccountService.h"

#include <atomic>

namespace orvane {

class AccountDispatcher;

// One HTTP connection of the account endpoint: one request, read with the bounded
// message parser within the request time-out, one answer, then the connection closes.
// Only form posts are served; anything the parser refuses is a 400 and a log line.
class AccountConnection : public ConnectionHandler {
public:
    explicit AccountConnection(AccountDispatcher& dispatcher);
    ~AccountConnection() override;

protected:
    void handle() override;

private:
    void answer(const AccountReply& reply);
    // Stops sending, drops what the client still sends for a moment so that closing does
    // not reset the connection under the answer, then closes.
    void finish();

    AccountDispatcher& dispatcher_;
};

class AccountDispatcher : public ConnectionDispatcher {
public:
    AccountDispatcher(AccountService& service, const ServerSettings& settings);
    ConnectionHandler* createHandler() override;

    AccountService& service() { return service_; }
    const ServerSettings& settings() const { return settings_; }

private:
    friend class AccountConnection;
    AccountService& service_;
    const ServerSettings& settings_;
    std::atomic<int> active_{0};
};

// The response the endpoint writes for a reply: HTTP/1.0, the status, Content-Type,
// Content-Length and "Connection: close", then the body.
void writeAccountResponse(const AccountReply& reply, ByteArray& out);

} // namespace orvane
