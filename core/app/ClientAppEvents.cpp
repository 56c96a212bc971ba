// The application's event queue, its thread messages and the handlers of what the server
// sends.
#include "core/app/ClientApp.h"

#include "core/Diagnostics.h"
#include "core/app/ThreadMessages.h"
#include "core/channels/TcpModuleConnection.h"
#include "core/link/ServerCommands.h"
#include "foundation/Conversions.h"

#include <exception>

namespace orvane {

namespace {

// The body as XML; a body that does not read leaves what was read (missing children read
// as empty texts).
XmlNode bodyNode(const Message& frame)
{
    XmlNode node;
    frame.getBody(node);
    return node;
}

String childText(const XmlNode& node, const char* name)
{
    return node.childOrEmpty(name)->value;
}

} // namespace

// ---- the event queue ------------------------------------------------------------------------

void ClientApp::postEvent(int kind, int param, const Message* frame, const XmlNode* record, bool post)
{
    auto event = std::make_unique<AppEvent>();
    event->kind = kind;
    event->param = param;
    if (frame)
        event->frame = *frame;
    if (record)
        event->record = *record;
    MonitorLock guard(appLock_);
    events_.push_back(std::move(event));
    if (post)
        port_.post(ThreadMessage::AppEvents, 0, 0);
}

void ClientApp::drainEvents()
{
    MonitorLock guard(appLock_);
    // The count is read again every turn: records that a handler queues run in this walk.
    for (size_t i = 0; i < events_.size(); ++i) {
        std::unique_ptr<AppEvent> event = std::move(events_[i]);
        try {
            runEvent(*event);
        } catch (const Exception&) {
            diagnostic("a handler of event kind %d failed; the event was dropped", event->kind);
        } catch (const std::exception& e) {
            diagnostic("a handler of event kind %d failed (%s); the event was dropped", event->kind, e.what());
        } catch (...) {
            diagnostic("a handler of event kind %d threw; the event was dropped", event->kind);
        }
    }
    events_.clear();
}

void ClientApp::runEvent(AppEvent& event)
{
    switch (event.kind) {
    case AppEvent::ServerFrame:
        dispatchServerFrame(event.frame);
        break;
    case AppEvent::PeerConnection: {
        // The hand-over owns the socket from here, whatever becomes of it.
        const int socket = event.param;
        event.param = NoSocket;
        onIncomingConnection(event.record, socket);
        break;
    }
    case AppEvent::PeerChannel: {
        IModuleConnection* channel = event.channel;
        event.channel = nullptr;
        ContactRecord* contact = findContact(childText(event.record, "sender_id").c_str());
        IModule* module = findModule(childText(event.record, "module_id").c_str());
        if (contact && module)
            module->onIncomingConnection(contact, channel);
        else
            channel->close();
        break;
    }
    case AppEvent::SignInReplyReady:
        if (event.reply)
            applySignInReply(*event.reply);
        break;
    default:
        break;
    }
}

// ---- thread messages ------------------------------------------------------------------------

void ClientApp::onThreadMessage(int id, intptr_t wParam, intptr_t lParam)
{
    switch (id) {
    case ThreadMessage::ModuleCallback:
        if (wParam)
            reinterpret_cast<IModule*>(wParam)->onUiCallback(lParam);
        break;
    case ThreadMessage::AppEvents:
        drainEvents();
        break;
    case ThreadMessage::ConnectionState:
        onConnectionState(wParam, lParam);
        break;
    case ThreadMessage::ContactStatus: {
        // The record is looked up again: it may have gone with a new sign-in meanwhile.
        ContactRecord* contact = findContact(uint64ToString(static_cast<uint64_t>(lParam)).c_str());
        if (contact)
            broadcastContactStatus(contact);
        break;
    }
    case ThreadMessage::StatusText:
        ui_.showStatusText(statusText());
        break;
    case ThreadMessage::ProgressText: {
        MonitorLock guard(appLock_);
        String text;
        {
            std::lock_guard<std::mutex> progress(progressLock_);
            text = progressText_;
        }
        ui_.showProgressText(text);
        break;
    }
    case ThreadMessage::RingStarted:
        break;
    default:
        ui_.onWindowMessage(id, wParam, lParam);
        break;
    }
}

void ClientApp::setStatusText(const char* text)
{
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        statusText_ = text ? text : "";
    }
    port_.post(ThreadMessage::StatusText, 0, 0);
}

String ClientApp::statusText() const
{
    std::lock_guard<std::mutex> guard(statusLock_);
    return statusText_;
}

void ClientApp::showOnlineStatus()
{
    setStatusText(connection_->isConnected() ? "Online." : "Offline.");
}

void ClientApp::setProgressText(const char* text)
{
    int length;
    {
        std::lock_guard<std::mutex> guard(progressLock_);
        progressText_ = text ? text : "";
        length = progressText_.length();
    }
    port_.post(ThreadMessage::ProgressText, length, 1);
}

void ClientApp::showProgressPanel()
{
    ui_.showProgressPanel();
    setProgressText("Connecting...");
}

void ClientApp::hideProgressPanel()
{
    ui_.hideProgressPanel();
    setProgressText("");
}

void ClientApp::broadcastSignedIn(bool signedIn)
{
    // Once per sign-in: told again, a module would treat a call that has begun to ring
    // as a fresh start.
    if (signedIn && modulesSignedIn_)
        return;
    modulesSignedIn_ = signedIn;
    for (const auto& entry : modules_) {
        if (signedIn)
            entry->module->onSignedIn();
        else
            entry->module->onSignedOut();
    }
}

void ClientApp::broadcastContactStatus(IContact* contact)
{
    for (const auto& entry : modules_)
        entry->module->onContactStatusChanged(contact);
}

void ClientApp::onConnectionState(intptr_t wParam, intptr_t lParam)
{
    ownUser_.status = 1;
    const bool signedIn = wParam != 0;
    broadcastSignedIn(signedIn);
    if (signedIn) {
        showOnlineStatus();
        setProgressText("Signed in.");
        hideProgressPanel();
        return;
    }
    unlistAllContacts();
    refreshContactViews(nullptr);
    switch (lParam) {
    case ConnectionThread::UnableToConnect:
        // The status line keeps saying why, rather than a bare "Offline." that would
        // replace the link's error line the moment it was shown.
        setStatusText(ConnectionThread::SignInFailedText);
        notify("Unable to connect the server.", "warning.wav");
        hideProgressPanel();
        break;
    case ConnectionThread::ConnectionLost:
        showOnlineStatus();
        notify("Connection to server has been lost.", "warning.wav");
        break;
    default:
        showOnlineStatus();
        break;
    }
}

// ---- from the connection thread -------------------------------------------------------------

void ClientApp::onSignInRefused(const String& reason)
{
    const String text = "Unable to sign in! " + reason;
    port_.callAfter([this, text] { ui_.showMessageBox(text, ClientUi::Icon::Warning); });
}

void ClientApp::onSignInReply(const SignInReply& reply)
{
    auto event = std::make_unique<AppEvent>();
    event->kind = AppEvent::SignInReplyReady;
    event->reply = std::make_unique<SignInReply>(reply);
    MonitorLock guard(appLock_);
    events_.push_back(std::move(event));
    port_.post(ThreadMessage::AppEvents, 0, 0);
}

void ClientApp::onServerFrame(const Message& frame, SocketHandle socket)
{
    postEvent(AppEvent::ServerFrame, socket, &frame, nullptr, true);
}

void ClientApp::reportConnectionState(bool signedIn, int reason)
{
    port_.post(ThreadMessage::ConnectionState, signedIn ? 1 : 0, reason);
}

// ---- the server's frames --------------------------------------------------------------------

void ClientApp::applySignInReply(const SignInReply& reply)
{
    MonitorLock guard(appLock_);
    contacts_.unlistAll();
    for (const SignInReply::Contact& fields : reply.contacts) {
        ContactRecord* contact = contacts_.add(fields.id.c_str());
        contact->userName = fields.userName;
        contact->firstName = fields.firstName;
        contact->lastName = fields.lastName;
        contact->email = fields.email;
        contact->webSite = fields.webSite;
        contact->listed = true;
        contact->status = 0;
    }
    ownUser_.id = reply.ownUserId;
}

void ClientApp::dispatchServerFrame(const Message& frame)
{
    switch (frame.type) {
    case ServerCommands::ModuleMessageFrame:
        onModuleMessage(frame);
        break;
    case ServerCommands::SessionMessageFrame:
        onSessionMessage(frame);
        break;
    case ServerCommands::PresenceFrame:
        onPresence(frame);
        break;
    case ServerCommands::PresenceListFrame:
        onPresenceList(frame);
        break;
    case ServerCommands::CommandFrame:
        onServerCommand(frame);
        break;
    case ServerCommands::SignedInFrame:
        onSignedIn(frame);
        break;
    default:
        break;
    }
}


void ClientApp::onModuleMessage(const Message& frame)
{
    const XmlNode body = bodyNode(frame);
    const String moduleId = childText(body, "module_id");
    const String data = childText(body, "data");
    ContactRecord* contact = getContact(uint64ToString(frame.senderId).c_str());
    IModule* module = findModule(moduleId.c_str());
    if (!module && moduleId.isEmpty())
        module = systemModule_.get();
    if (module)
        module->onMessage(contact, data.c_str());
}

void ClientApp::onSessionMessage(const Message& frame)
{
    const XmlNode body = bodyNode(frame);
    const String moduleId = childText(body, "module_id");
    const String data = childText(body, "data");
    const int timestamp = parseInt(childText(body, "timestamp").c_str());
    const String sessionId = childText(body, "session_id");
    ContactRecord* contact = getContact(uint64ToString(frame.senderId).c_str());
    if (IModule* module = findModule(moduleId.c_str()))
        module->onSessionMessage(contact, data.c_str(), timestamp, sessionId.c_str());
}

void ClientApp::applyPresenceRecord(const uint8_t* record, ContactRecord& contact)
{
    presence::apply(record, contact);
    presenceNotice(contact);
    refreshContactViews(&contact);
}

void ClientApp::onPresence(const Message& frame)
{
    ByteArray body;
    frame.getBody(body);
    // The count, then one record.
    if (body.count() < 2 + presence::RecordSize)
        return;
    if (ContactRecord* contact = findContact(uint64ToString(frame.senderId).c_str()))
        applyPresenceRecord(body.data() + 2, *contact);
}

void ClientApp::onPresenceList(const Message& frame)
{
    ByteArray body;
    frame.getBody(body);
    if (body.count() < 2)
        return;
    const int announced = (body[0] << 8) | body[1];
    // A record counts only when it lies inside both what was announced and what came.
    const int end = std::min(2 + announced, body.count());
    for (int offset = 2; offset + presence::RecordSize <= end; offset += presence::RecordSize) {
        const String id = uint64ToString(presence::readId(body.data() + offset));
        if (ContactRecord* contact = findContact(id.c_str()))
            applyPresenceRecord(body.data() + offset, *contact);
    }
}

void ClientApp::onServerCommand(const Message& frame)
{
    const XmlNode body = bodyNode(frame);
    String command = childText(body, "command");
    command.toUpper();
    if (command == "OPEN_SERVER_CHANNEL") {
        systemModule_->onServerChannelOpened(body);
    } else if (command == "CONTACT_ADDED") {
        onContactAddedReply(body);
    } else if (command == "CONTACT_NOT_ADDED") {
        setStatusText("Can't add the user. ");
        String text = "Can't add the user. ";
        text += childText(body, "reason");
        notify(text.c_str(), "warning.wav");
    } else if (command == "CONTACT_REMOVED") {
        const String id = childText(body, "contact_id");
        setStatusText("Removed successfully");
        notify("The user was removed from contact list", "warning.wav");
        ContactRecord* record = findContact(id.c_str());
        contactRemoved(id.c_str());
        refreshContactViews(record);
    } else if (command == "CONTACT_NOT_REMOVED") {
        const String id = childText(body, "contact_id");
        const String reason = childText(body, "reason");
        String status;
        status.format("Can't remove %s.", id.c_str());
        setStatusText(status.c_str());
        String text;
        text.format("Can't remove %s.\n%s.", id.c_str(), reason.c_str());
        notify(text.c_str(), "warning.wav");
    }
}

void ClientApp::onContactAddedReply(const XmlNode& body)
{
    showOnlineStatus();
    const XmlNode* added = body.childOrEmpty("NewContact");
    const String userName = childText(*added, "UserName");
    const String id = childText(*added, "UserID");
    ContactRecord* record = addContact(id.c_str());
    if (!record)
        return;
    record->userName = userName;
    record->firstName = childText(*added, "FirstName");
    record->lastName = childText(*added, "LastName");
    record->email = childText(*added, "Email");
    record->webSite = childText(*added, "WebSite");
    record->status = 0;
    record->listed = true;
    refreshContactViews(record);
    for (const auto& entry : modules_)
        entry->module->onContactAdded(record);
    setStatusText("The user added successfuly");
    String text;
    text.format("%s has been added to contact list.", userName.c_str());
    notify(text.c_str(), "warning.wav");
}

void ClientApp::onSignedIn(const Message& frame)
{
    // The frames queued behind this one run in the same turn of the queue, before the
    // posted change of state; a peer's channel set-up among them must already be answered
    // with the own id, or the peer drops the answer as forged.
    systemModule_->onSignedIn();
    ownUser_.status = 1;
    port_.post(ThreadMessage::ConnectionState, 1, ConnectionThread::SignedOut);
    showOnlineStatus();
    const XmlNode body = bodyNode(frame);
    ui_.setDocumentTitle(account_.userName);
    ui_.stopVoiceSession();
    if (saveAccountOnSignIn)
        saveAccount();
    const LinkValues link = connection_->values();
    connection_->sendGetUserInfo(link.ownUserId.c_str());
    refreshContactViews(nullptr);
    showOnlineStatus();
    setProgressText("Signed in.");
    advertiseEndpoint(childText(body, "external_address"), link);
    // The modules too hear of the sign-in before those frames: a call request among them
    // would otherwise find the voice module still signed out, and be refused as busy.
    broadcastSignedIn(true);
}

void ClientApp::advertiseEndpoint(const String& external, const LinkValues& link)
{
    reachable_.store(false);
    {
        std::lock_guard<std::mutex> guard(externalLock_);
        externalAddress_ = external;
    }
    // The port the peer connections are taken on: the configured one, or the one the
    // system chose when none is configured (never written back to the file).
    const int boundPort = account_.bindPort != 0 ? account_.bindPort : systemModule_->tcpConnector().boundPort();
    AdvertisedEndpoint::Value advertised;
    advertised.address = external;
    advertised.tcpPort = boundPort;
    advertised.udpPort = boundPort;
    if (account_.myInternetAddress.isEmpty() || account_.myInternetPort == 0) {
        advertised_.set(advertised);
        if (advertised.address != link.localAddress) {
            PortMappingRequest request;
            request.userName = account_.userName;
            request.reportedAddress = external;
            request.bindPort = boundPort;
            portMapper_->requestMapping(request);
        }
        return;
    }
    reachable_.store(true);
    advertised.address = account_.myInternetAddress;
    advertised.tcpPort = account_.myInternetPort;
    advertised.udpPort = account_.myInternetPort;
    advertised.manualSettings = true;
    advertised_.set(advertised);
}

void ClientApp::onIncomingConnection(const XmlNode& record, int socket)
{
    const String moduleId = childText(record, "module_id");
    const String sender = childText(record, "sender_id");
    ContactRecord* contact = findContact(sender.c_str());
    IModule* module = findModule(moduleId.c_str());
    if (contact && module)
        module->onIncomingConnection(contact, new TcpModuleConnection(socket));
    else
        closeSocket(socket);
}

void ClientApp::postChannel(IModuleConnection* channel, const String& moduleId, uint64_t sender)
{
    auto event = std::make_unique<AppEvent>();
    event->kind = AppEvent::PeerChannel;
    event->channel = channel;
    event->record.name = "message";
    event->record.addChild("module_id", moduleId.c_str());
    event->record.addChild("sender_id", uint64ToString(sender).c_str());
    MonitorLock guard(appLock_);
    events_.push_back(std::move(event));
    port_.post(ThreadMessage::AppEvents, 0, 0);
}

} // namespace orvane
