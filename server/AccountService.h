#pragma once

#include "foundation/Containers.h"
#include "foundation/Socket.h"
#include "foundation/String.h"
#include "server/AccountStore.h"
#include "server/ServerSettings.h"

namespace orvane {

class MessageHub;

// What the account endpoint answers to one form: an HTTP status and a body.
struct AccountReply {
    int status = 200;
    String reason = "OK";
    String contentType = "text/xml";
    String body;
};

// The account endpoint's forms, without the HTTP around them: CMD=LOGIN answers the
// sign-in reply (the success lines, or the failure document), CMD=CREATE_USER and
// CMD=CHANGE_USER a status document.
class AccountService {
public:
    // The longest user name and password, as the sign-up form allows them, and the longest
    // of the other texts of an account.
    static constexpr int MaxNameLength = 250;
    static constexpr int MaxDetailLength = 250;

    AccountService(AccountStore& store, MessageHub& hub, const ServerSettings& settings);

    // The message server's address as it listens, named in every sign-in reply.
    void setMessageAddress(const SocketAddress& address) { messageAddress_ = address; }

    // `peer` is the client's address, `local` the address the request came in on.
    AccountReply handle(const NameValueList& form, const SocketAddress& peer, const SocketAddress& local);

    // A status document: the XML declaration, then a "response" element with "status" and
    // the given children (name, value pairs) in order.
    static String statusDocument(const char* status, const NameValueList& children);

private:
    AccountReply login(const NameValueList& form, const SocketAddress& local);
    AccountReply createUser(const NameValueList& form);
    AccountReply changeUser(const NameValueList& form, const SocketAddress& peer);
    String messageHostFor(const SocketAddress& local) const;

    AccountStore& store_;
    MessageHub& hub_;
    const ServerSettings& settings_;
    SocketAddress messageAddress_;
};

} // namespace orvane
