#include "server/MessageHub.h"

#include "foundation/Clock.h"
#include "foundation/Conversions.h"
#include "server/ServerLog.h"

#include <algorithm>

namespace orvane {

SessionOutput::~SessionOutput() = default;
SignInChecker::~SignInChecker() = default;

namespace {

// The external address to report for a peer: the configured one when there is one.
uint32_t externalAddressFor(const ServerSettings& settings, const SocketAddress& peer)
{
    uint32_t address = 0;
    if (!settings.externalAddress.isEmpty() && parseDottedQuad(settings.externalAddress.c_str(), address))
        return address;
    return peer.getAddress();
}

XmlNode commandReply(const char* command)
{
    XmlNode reply;
    reply.addChild("command", command);
    return reply;
}

// What an OPEN_SERVER_CHANNEL asks of the relay, checked: the reason to refuse it, or NULL.
// The participants are the user_id attributes (or elements) of its participants element,
// the same name repeated, in order.
const char* readRelayRequest(const XmlNode& command, uint64_t requester, RelayProtocol& protocol,
                             uint64_t (&participants)[2])
{
    String name = command.childOrEmpty("protocol")->value;
    name.toLower();
    if (name == "tcp")
        protocol = RelayProtocol::Tcp;
    else if (name == "udp")
        protocol = RelayProtocol::Udp;
    else
        return "the protocol is neither tcp nor udp";
    if (command.childOrEmpty("user_conn_id")->value.isEmpty())
        return "it has no user_conn_id";
    int count = 0;
    if (const XmlNode* list = command.getChild("participants")) {
        for (const XmlNode* child : list->children) {
            if (!child->name.equalsIgnoreCase("user_id"))
                continue;
            if (count == 2)
                return "it names more than two participants";
            if (!readDecimal(child->value.c_str(), UINT64_MAX, participants[count]) || participants[count] == 0)
                return "a participant is not a user id";
            ++count;
        }
    }
    if (count != 2)
        return "it names fewer than two participants";
    if (participants[0] == participants[1])
        return "it names the same participant twice";
    if (participants[0] != requester && participants[1] != requester)
        return "the requester is not a participant";
    return nullptr;
}

} // namespace

// ---- ClientSession --------------------------------------------------------------------------

ClientSession::ClientSession(MessageHub& hub, SessionOutput& output, const SocketAddress& peer,
                             SignInChecker* checker)
    : hub_(hub),
      output_(output),
      checker_(checker),
      peer_(peer),
      externalAddress_(externalAddressFor(hub.settings(), peer))
{
}

ClientSession::~ClientSession()
{
    end();
}

void ClientSession::end()
{
    if (!signedIn_)
        return;
    hub_.signOut(*this);
    signedIn_ = false;
}

String ClientSession::describe() const
{
    String text;
    text.format("%s:%u", peer_.getHostAddress().c_str(), static_cast<unsigned>(peer_.getPort()));
    if (signedIn_) {
        text += " (";
        text += printableText(account_.userName, 32);
        text += " #";
        text += uint64ToString(account_.id);
        text += ")";
    }
    return text;
}

bool ClientSession::refuse(const char* why)
{
    serverLog("message %s: refused, connection closed: %s", describe().c_str(), why);
    return false;
}

bool ClientSession::sendFrame(uint8_t type, uint64_t sender, const uint8_t* body, int length)
{
    Message frame;
    if (!buildFrame(frame, type, account_.id, sender, body, length))
        return false;
    return output_.send(frame.outgoingData(), frame.outgoingLength());
}

bool ClientSession::sendFrame(uint8_t type, uint64_t sender, const XmlNode& body)
{
    Message frame;
    if (!buildFrame(frame, type, account_.id, sender, body))
        return false;
    return output_.send(frame.outgoingData(), frame.outgoingLength());
}

ClientSession::ReadResult ClientSession::readFrame(Message& reader)
{
    try {
        reader.read();
    } catch (const TimeoutException&) {
        return NoFrameYet;
    } catch (const Message::FormatException&) {
        String why;
        why.format("not a frame (first byte not '#') or a body above %d bytes", reader.maxBodyLength);
        refuse(why.c_str());
        return SessionEnded;
    } catch (const SocketException&) {
        return SessionEnded; // the client left or the connection broke
    }
    return refusingFailures([&] { return onFrame(reader); }) ? FrameTaken : SessionEnded;
}

template <class Handling> bool ClientSession::refusingFailures(Handling&& handling)
{
    try {
        return handling();
    } catch (const AccountStore::StoreException&) {
        return refuse("the database failed");
    } catch (const MemoryException&) {
        return refuse("out of memory");
    }
}

bool ClientSession::onFrame(const Message& frame)
{
    if (checking_)
        return refuse("a frame while the sign-in is being checked");
    if (!signedIn_) {
        if (frame.type != FrameType::SignIn) {
            String why;
            why.format("frame of type %u before the sign-in frame", static_cast<unsigned>(frame.type));
            return refuse(why.c_str());
        }
        return onSignIn(frame);
    }
    switch (frame.type) {
    case FrameType::ModuleMessage:
    case FrameType::SessionMessage:
        return onRelayed(frame);
    case FrameType::Command:
        return onCommand(frame);
    case FrameType::SignIn:
        return refuse("a second sign-in frame on a signed-in connection");
    default: {
        String why;
        why.format("frame of type %u, which clients do not send", static_cast<unsigned>(frame.type));
        return refuse(why.c_str());
    }
    }
}

bool ClientSession::onSignIn(const Message& frame)
{
    XmlNode body;
    if (!frame.getBody(body))
        return refuse("sign-in body that does not inflate or parse");
    SignInRequest request;
    request.userName = body.childOrEmpty("user_name")->value;
    request.password = body.childOrEmpty("password")->value;
    request.userId = body.childOrEmpty("user_id")->value;
    if (checker_) {
        checking_ = true;
        checker_->checkLater(request);
        return true;
    }
    return completeSignIn(request, checkSignIn(hub_.store(), request));
}

SignInCheck ClientSession::checkSignIn(AccountStore& store, const SignInRequest& request)
{
    SignInCheck check;
    try {
        check.passwordMatches =
            store.checkPassword(request.userName.c_str(), request.password.c_str(), &check.account);
    } catch (const AccountStore::StoreException&) {
        check.storeFailed = true;
    }
    return check;
}

bool ClientSession::finishSignIn(const SignInRequest& request, const SignInCheck& check)
{
    checking_ = false;
    return refusingFailures([&] { return completeSignIn(request, check); });
}

bool ClientSession::completeSignIn(const SignInRequest& request, const SignInCheck& check)
{
    if (check.storeFailed)
        return refuse("the database failed");
    if (!check.passwordMatches) {
        String why("sign-in with a wrong user name or password for \"");
        why += printableText(request.userName, 32);
        why += "\"";
        return refuse(why.c_str());
    }
    const AccountRecord& account = check.account;
    // The id comes from this account's own sign-in reply; another one is not this client's.
    if (!request.userId.isEmpty() && parseUInt64(request.userId.c_str()) != account.id)
        return refuse("sign-in frame whose user id is not the account's");
    account_ = account;
    if (hub_.signIn(*this) == MessageHub::TooManySessions) {
        String why;
        why.format("account #%s already has %d connections",
                   uint64ToString(account.id).c_str(), hub_.settings().maxSessionsPerUser);
        return refuse(why.c_str());
    }
    signedIn_ = true;
    serverLog("message %s: signed in", describe().c_str());
    return true;
}

bool ClientSession::onRelayed(const Message& frame)
{
    ByteArray body;
    if (!frame.getBody(body))
        return refuse("message body that does not inflate within the cap");
    if (body.count() == 0)
        return refuse("message frame with an empty body");
    bool canBeOffline = false;
    if (frame.type == FrameType::SessionMessage) {
        XmlNode node;
        if (node.parse(String(reinterpret_cast<const char*>(body.data()), body.count()).c_str()))
            canBeOffline = parseBool(node.childOrEmpty("can_be_offline")->value.c_str());
    }
    const MessageHub::DeliveryResult result =
        hub_.deliver(*this, frame.type, frame.recipientId, body, canBeOffline);
    const char* dropped = nullptr;
    switch (result) {
    case MessageHub::Delivered:
    case MessageHub::HeldForLater:
        break;
    case MessageHub::RecipientOffline:
        dropped = "the recipient is offline";
        break;
    case MessageHub::UnknownRecipient:
        dropped = "there is no such recipient";
        break;
    case MessageHub::HoldRefused:
        dropped = "the recipient has too many frames waiting";
        break;
    }
    // Not the sender's fault: the frame is dropped and the connection stays.
    if (dropped)
        serverLog("message %s: dropped a type-%u frame for #%s: %s", describe().c_str(),
                  static_cast<unsigned>(frame.type), uint64ToString(frame.recipientId).c_str(), dropped);
    return true;
}

bool ClientSession::onCommand(const Message& frame)
{
    XmlNode body;
    if (!frame.getBody(body))
        return refuse("command body that does not inflate or parse");
    String command = body.childOrEmpty("command")->value;
    command.toUpper();
    if (command == "ADD_CONTACT")
        return addContact(body);
    if (command == "REMOVE_CONTACT")
        return removeContact(body);
    if (command == "GET_USER_INFO")
        return userInfo(frame);
    if (command == "OPEN_SERVER_CHANNEL")
        return openServerChannel(body);
    serverLog("message %s: ignored the command \"%s\"", describe().c_str(), printableText(command, 32).c_str());
    return true;
}

bool ClientSession::addContact(const XmlNode& command)
{
    const String name = command.childOrEmpty("contact_name")->value;
    AccountRecord contact;
    const char* reason = nullptr;
    if (!hub_.store().findByName(name.c_str(), contact)) {
        reason = "There is no user with this name.";
    } else if (contact.id == account_.id) {
        reason = "You cannot add yourself to your contact list.";
    } else {
        switch (hub_.store().addContact(account_.id, contact.id, hub_.settings().maxContacts)) {
        case AccountStore::Added:
            break;
        case AccountStore::AlreadyListed:
            reason = "The user is already in your contact list.";
            break;
        case AccountStore::ListFull:
            reason = "Your contact list is full.";
            break;
        }
    }
    if (reason) {
        XmlNode reply = commandReply("CONTACT_NOT_ADDED");
        reply.addChild("reason", reason);
        sendFrame(FrameType::Command, 0, reply);
        return true;
    }
    XmlNode reply = commandReply("CONTACT_ADDED");
    XmlNode* added = reply.addChild("NewContact");
    added->addChild("UserName", contact.userName);
    added->addChild("UserID", uint64ToString(contact.id));
    added->addChild("FirstName", contact.firstName);
    added->addChild("LastName", contact.lastName);
    added->addChild("Email", contact.email);
    added->addChild("WebSite", contact.webSite);
    hub_.confirmContactAdded(*this, contact, reply);
    return true;
}

bool ClientSession::removeContact(const XmlNode& command)
{
    const String idText = command.childOrEmpty("contact_id")->value;
    const uint64_t id = parseUInt64(idText.c_str());
    const bool removed = id != 0 && hub_.store().removeContact(account_.id, id);
    XmlNode reply = commandReply(removed ? "CONTACT_REMOVED" : "CONTACT_NOT_REMOVED");
    // Echoed as the client wrote it, so its reply names the contact it asked about.
    reply.addChild("contact_id", idText);
    if (!removed)
        reply.addChild("reason", "The user is not in your contact list");
    sendFrame(FrameType::Command, 0, reply);
    return true;
}

bool ClientSession::userInfo(const Message& frame)
{
    // The account asked about is the frame's recipient. Only the account itself and the
    // accounts of its list are told.
    const uint64_t subject = frame.recipientId;
    AccountRecord record;
    if (subject == 0 || (subject != account_.id && !hub_.store().isListed(account_.id, subject)) ||
        !hub_.store().findById(subject, record)) {
        serverLog("message %s: no user information on #%s for this account", describe().c_str(),
                  uint64ToString(subject).c_str());
        return true;
    }
    XmlNode reply = commandReply("USER_INFO");
    reply.addChild("user_id", uint64ToString(record.id));
    reply.addChild("user_name", record.userName);
    reply.addChild("first_name", record.firstName);
    reply.addChild("last_name", record.lastName);
    reply.addChild("email", record.email);
    reply.addChild("web_site", record.webSite);
    sendFrame(FrameType::Command, 0, reply);
    return true;
}

bool ClientSession::openServerChannel(const XmlNode& command)
{
    const String& protocolText = command.childOrEmpty("protocol")->value;
    const String& connectionId = command.childOrEmpty("user_conn_id")->value;
    // Both echoed as the client wrote them: its reply is matched by the one and routed by
    // the other.
    XmlNode reply = commandReply("OPEN_SERVER_CHANNEL");
    reply.addChild("protocol", protocolText);
    if (!connectionId.isEmpty())
        reply.addChild("user_conn_id", connectionId);

    RelaySessions* relay = hub_.relay();
    RelayProtocol protocol = RelayProtocol::Tcp;
    uint64_t participants[2] = {0, 0};
    const char* reason = relay ? readRelayRequest(command, account_.id, protocol, participants)
                               : "this server has no relay";
    int32_t id = 0;
    if (!reason) {
        switch (relay->open(account_.id, protocol, participants[0], participants[1], monotonicMillis(), id)) {
        case RelaySessions::Opened:
            break;
        case RelaySessions::TooManyForUser:
            reason = "this account has as many relay sessions as it may";
            break;
        case RelaySessions::TooMany:
            reason = "the relay has as many sessions as it may";
            break;
        }
    }
    if (reason) {
        serverLog("message %s: refused to open a relay session: %s", describe().c_str(), reason);
        reply.addChild("response", "FAILED");
        reply.addChild("reason", reason);
        sendFrame(FrameType::Command, 0, reply);
        return true;
    }
    // A relay on every interface is reached the way this client reached the server.
    const SocketAddress& bound = relay->address();
    const String address = bound.getAddress() == htonl(INADDR_ANY) ? local_.getHostAddress() : bound.getHostAddress();
    reply.addChild("srvr_conn_id", intToString(id));
    reply.addChild("response", "SUCCESS");
    reply.addChild("ip_address", address);
    reply.addChild("port", uintToString(bound.getPort()));
    serverLog("message %s: opened relay session %d (%s) between #%s and #%s", describe().c_str(), id,
              protocol == RelayProtocol::Tcp ? "tcp" : "udp", uint64ToString(participants[0]).c_str(),
              uint64ToString(participants[1]).c_str());
    sendFrame(FrameType::Command, 0, reply);
    return true;
}

// ---- MessageHub -----------------------------------------------------------------------------

MessageHub::MessageHub(AccountStore& store, const ServerSettings& settings) : store_(store), settings_(settings) {}

MessageHub::~MessageHub() = default;

PresenceRecord MessageHub::presenceOf(uint64_t userId)
{
    PresenceRecord record;
    record.userId = userId;
    auto it = online_.find(userId);
    if (it != online_.end() && !it->second.empty()) {
        const ClientSession* first = it->second.front();
        record.status = 1;
        record.address = first->externalAddress();
        record.port = first->getPeer().getPort();
    }
    return record;
}

void MessageHub::sendToAccount(uint64_t userId, const Message& frame)
{
    auto it = online_.find(userId);
    if (it == online_.end())
        return;
    for (ClientSession* session : it->second)
        session->output().send(frame.outgoingData(), frame.outgoingLength());
}

void MessageHub::notifyWatchers(uint64_t userId, const PresenceRecord& record)
{
    Array<uint64_t> watchers;
    store_.listWatchers(userId, watchers);
    Array<PresenceRecord> one;
    one.add(record);
    ByteArray body;
    presenceBody(one, body);
    for (uint64_t watcher : watchers) {
        if (online_.find(watcher) == online_.end())
            continue;
        Message frame;
        // A single presence frame comes from the account whose presence it carries.
        buildFrame(frame, FrameType::Presence, watcher, userId, body.data(), body.count());
        sendToAccount(watcher, frame);
    }
}

MessageHub::SignInResult MessageHub::signIn(ClientSession& session)
{
    const uint64_t id = session.getUserId();
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<ClientSession*>& sessions = online_[id];
    if (static_cast<int>(sessions.size()) >= settings_.maxSessionsPerUser) {
        if (sessions.empty())
            online_.erase(id);
        return TooManySessions;
    }
    const bool first = sessions.empty();
    sessions.push_back(&session);
    try {
        welcome(session, first);
    } catch (...) {
        // A session the caller will not count as signed in must not stay reachable.
        std::vector<ClientSession*>& list = online_[id];
        list.erase(std::remove(list.begin(), list.end(), &session), list.end());
        if (list.empty())
            online_.erase(id);
        throw;
    }
    return SignedIn;
}

void MessageHub::welcome(ClientSession& session, bool first)
{
    const uint64_t id = session.getUserId();
    XmlNode signedIn("message");
    signedIn.addChild("external_address", ipToText(session.externalAddress()));
    session.sendFrame(FrameType::SignedIn, 0, signedIn);

    Array<AccountRecord> contacts;
    store_.listContacts(id, contacts);
    Array<PresenceRecord> online;
    for (const AccountRecord& contact : contacts) {
        PresenceRecord record = presenceOf(contact.id);
        if (record.status)
            online.add(record);
    }
    ByteArray body;
    presenceBody(online, body);
    session.sendFrame(FrameType::PresenceList, 0, body.data(), body.count());

    Array<HeldFrame> held;
    store_.takeHeldFrames(id, held);
    for (const HeldFrame& frame : held)
        session.sendFrame(frame.type, frame.senderId, frame.body.data(), frame.body.count());

    if (first)
        notifyWatchers(id, presenceOf(id));
}

void MessageHub::signOut(ClientSession& session)
{
    const uint64_t id = session.getUserId();
    std::lock_guard<std::mutex> guard(lock_);
    auto it = online_.find(id);
    if (it == online_.end())
        return;
    std::vector<ClientSession*>& sessions = it->second;
    sessions.erase(std::remove(sessions.begin(), sessions.end(), &session), sessions.end());
    if (!sessions.empty())
        return;
    online_.erase(it);
    try {
        notifyWatchers(id, presenceOf(id));
    } catch (const Exception&) {
        // Runs as a connection ends, also from a destructor: the watchers miss this change.
        serverLog("message: could not tell the watchers of #%s that it went offline",
                  uint64ToString(id).c_str());
    }
}

MessageHub::DeliveryResult MessageHub::deliver(ClientSession& from, uint8_t type, uint64_t recipient,
                                               const ByteArray& body, bool canBeOffline)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (online_.find(recipient) != online_.end()) {
        Message frame;
        buildFrame(frame, type, recipient, from.getUserId(), body.data(), body.count());
        sendToAccount(recipient, frame);
        return Delivered;
    }
    AccountRecord account;
    if (!store_.findById(recipient, account))
        return UnknownRecipient;
    if (type != FrameType::SessionMessage || !canBeOffline)
        return RecipientOffline;
    // Held under the lock: a sign-in of the recipient either saw this sender's frame
    // delivered above or finds it among its held frames, never neither.
    if (store_.holdFrame(recipient, from.getUserId(), type, body.data(), body.count(), settings_.maxHeldFrames,
                         settings_.maxHeldBytes) != AccountStore::Held)
        return HoldRefused;
    return HeldForLater;
}

void MessageHub::confirmContactAdded(ClientSession& session, const AccountRecord& contact, const XmlNode& reply)
{
    std::lock_guard<std::mutex> guard(lock_);
    session.sendFrame(FrameType::Command, 0, reply);
    const PresenceRecord record = presenceOf(contact.id);
    if (!record.status)
        return;
    Array<PresenceRecord> one;
    one.add(record);
    ByteArray body;
    presenceBody(one, body);
    session.sendFrame(FrameType::Presence, contact.id, body.data(), body.count());
}

bool MessageHub::isSignedInFrom(uint64_t userId, uint32_t address)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = online_.find(userId);
    if (it == online_.end())
        return false;
    for (const ClientSession* session : it->second)
        if (session->getPeer().getAddress() == address)
            return true;
    return false;
}

int MessageHub::sessionCount(uint64_t userId)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = online_.find(userId);
    return it == online_.end() ? 0 : static_cast<int>(it->second.size());
}

} // namespace orvane
