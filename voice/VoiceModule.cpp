#include "voice/VoiceModule.h"

#include "core/app/ThreadMessages.h"

#include <cstring>

namespace orvane {

namespace {

constexpr const char* CallingText = "Calling %s ...";
constexpr const char* ConnectingStatusText = "Connecting %s ...";
constexpr const char* ConnectingLabelText = "Connecting %s...";
constexpr const char* CallFromText = "Call from %s";
constexpr const char* ConnectedText = "Connected.";
constexpr const char* ClosedText = "Call closed.";
constexpr const char* FailedText = "Call failed.";
constexpr const char* DeclinedText = "%s declined your call.";
constexpr const char* OfflineText = "You cannot request Audio session with %s\nbecause he/she is offline.";

bool ends(CallState state)
{
    return state == CallState::Idle || state == CallState::Unavailable;
}

} // namespace

VoiceModule::VoiceModule(VoiceServices& services) : services_(services)
{
}

String VoiceModule::soundPath(const String& programFolder, const char* file)
{
    String path = programFolder;
    if (!path.isEmpty() && !path.endsWith("/"))
        path += '/';
    path += "sounds/";
    path += file ? file : "";
    return path;
}

String VoiceModule::fill(const char* pattern, const char* text)
{
    String out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += text ? text : "";
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

bool VoiceModule::init(IModuleHost* host)
{
    host_ = host;
    return true;
}

// ---- the module's notices ----

void VoiceModule::onSignedIn()
{
    if (bar_)
        bar_->setState(CallState::Idle);
}

void VoiceModule::onSignedOut()
{
    if (!bar_)
        return;
    bar_->setState(CallState::Unavailable);
    // The contact records go with the next sign-in.
    bar_->setCurrentContact(nullptr);
}

void VoiceModule::onContactStatusChanged(IContact* contact)
{
    // The peer came or went: the call ends as Hang-up ends it. Outside a call nothing
    // changes (a signed-out bar stays unavailable). A report that leaves the peer as it
    // was when the call began changes nothing: the report of a sign-in may reach the
    // module only after that peer's call has begun to ring.
    if (bar_ && inCall() && isPeer(contact) && contact->isOnline() != peerOnline_)
        bar_->setState(CallState::Idle);
}

void VoiceModule::onContactRemoved(IContact* contact)
{
    // The record goes away after this call: the bar must not keep it.
    if (!bar_ || !contact || bar_->currentContact() != contact)
        return;
    if (inCall())
        bar_->setState(CallState::Idle);
    bar_->setCurrentContact(nullptr);
}

void VoiceModule::actOn(IContact* contact)
{
    if (!bar_)
        return;
    actingOn_ = contact;
    bar_->talk();
    actingOn_ = nullptr;
}

IContact* VoiceModule::selectedContact()
{
    if (actingOn_)
        return actingOn_;
    return selection_ ? selection_() : nullptr;
}

void VoiceModule::onIncomingConnection(IContact* contact, IModuleConnection* connection)
{
    if (!connection)
        return;
    // Audio flows only in a call this side accepted, and only from its peer.
    if (bar_ && session_ && bar_->state() == CallState::Connected && isPeer(contact)) {
        session_->startTalk(contact, connection, call_);
        return;
    }
    connection->close();
}

void VoiceModule::showWindow(WindowHandle)
{
    if (bar_)
        bar_->bringToFront();
}

// ---- the records ----

void VoiceModule::onMessage(IContact* sender, const char* data)
{
    if (!bar_ || !sender)
        return;
    const VoiceRecord record = VoiceRecord::read(data);
    const String& command = record.command;
    if (command == VoiceRecord::Request) {
        if (bar_->state() == CallState::Idle) {
            bar_->setCurrentContact(sender);
            bar_->setState(CallState::Ringing);
        } else {
            send(sender, VoiceRecord::Decline, VoiceRecord::BusyReason);
        }
        return;
    }
    // The rest concern a call in progress, and only its peer may speak for it.
    if (!inCall() || !isPeer(sender))
        return;
    if (command == VoiceRecord::Accept) {
        if (bar_->state() == CallState::Calling || bar_->state() == CallState::Ringing) {
            bar_->setCurrentContact(sender);
            bar_->setState(CallState::Connected);
        }
    } else if (command == VoiceRecord::Decline) {
        bar_->setCurrentContact(sender);
        onCallDeclined(record);
        bar_->setState(CallState::Idle);
    } else if (command == VoiceRecord::Close) {
        if (session_)
            session_->stopSession();
        bar_->setCurrentContact(nullptr);
        bar_->setState(CallState::Idle);
    } else if (command == VoiceRecord::Failed) {
        if (session_)
            session_->stopSession();
        bar_->setState(CallState::Idle);
        bar_->setCurrentContact(nullptr);
        services_.post(ThreadMessage::VoiceFailed, static_cast<intptr_t>(call_));
    }
}

void VoiceModule::onCallDeclined(const VoiceRecord& record)
{
    const String name = peerName();
    bar_->setStatusLabel(fill(DeclinedText, name.c_str()));
    bar_->setNameText(String());
    String notice = "Call declined by\n ";
    notice += name;
    notice += "\n\n";
    notice += record.reason;
    services_.notify(notice);
    // The decline came from the peer: ending the call tells it nothing back.
    bar_->setCurrentContact(nullptr);
}

// ---- the state machine ----

void VoiceModule::onStateChanged(CallState old, CallState now)
{
    if (!bar_ || quiet_)
        return;
    IContact* peer = bar_->currentContact();
    if (ends(now)) {
        if (old == CallState::Connected) {
            if (peer)
                send(peer, VoiceRecord::Close, VoiceRecord::CloseReason);
            bar_->setNameText(String());
            services_.setStatusText(ClosedText);
            playSound("hang.wav");
            if (session_)
                session_->stopSession();
        } else if (old == CallState::Calling || old == CallState::Ringing) {
            services_.stopRing();
            bar_->setNameText(String());
            services_.setStatusText(ClosedText);
            playSound("hang.wav");
            if (peer)
                send(peer, VoiceRecord::Decline, VoiceRecord::DeclineReason);
        }
        return;
    }
    switch (now) {
    case CallState::Connected:
        if (old == CallState::Ringing) {
            services_.stopRing();
            bar_->setStatusLabel(fill(ConnectingLabelText, peerName().c_str()));
            if (peer)
                send(peer, VoiceRecord::Accept);
            showCallStatus(false);
        } else if (old == CallState::Calling) {
            services_.stopRing();
            showCallStatus(true);
        }
        break;
    case CallState::Calling:
        if (old == CallState::Idle) {
            ++call_;
            placeCall();
        }
        break;
    case CallState::Ringing:
        if (old == CallState::Idle) {
            ++call_;
            peerOnline_ = bar_->currentContact() && bar_->currentContact()->isOnline();
            bar_->bringToFront();
            bar_->setStatusLabel(fill(CallFromText, peerName().c_str()));
            bar_->setNameText(peerName());
            startRing();
        }
        break;
    default:
        break;
    }
}

void VoiceModule::placeCall()
{
    IContact* contact = selectedContact();
    if (!contact) {
        abandonCall();
        return;
    }
    if (!contact->isOnline()) {
        services_.messageBox(fill(OfflineText, contact->getDisplayName()));
        abandonCall();
        return;
    }
    bar_->setCurrentContact(contact);
    peerOnline_ = true;
    send(contact, VoiceRecord::Request);
    services_.setStatusText(fill(CallingText, contact->getDisplayName()).c_str());
    bar_->setNameText(contact->getDisplayName());
    startRing();
}

void VoiceModule::abandonCall()
{
    // Nothing was sent: returning to Idle must not tell the peer of an earlier call.
    quiet_ = true;
    bar_->setState(CallState::Idle);
    quiet_ = false;
}

void VoiceModule::showCallStatus(bool isCaller)
{
    if (isCaller) {
        services_.setStatusText(fill(CallingText, peerName().c_str()).c_str());
        if (session_)
            session_->startCall(bar_->currentContact(), call_);
    } else {
        services_.setStatusText(fill(ConnectingStatusText, peerName().c_str()).c_str());
    }
}

// ---- the session thread's reports ----

void VoiceModule::onSessionConnected(unsigned call)
{
    if (!bar_)
        return;
    if (call != call_) {
        // A call that ended before its channel opened: its talk loop must not go on
        // unheard, and the call of today is not touched.
        if (session_)
            session_->stopSessionOf(call);
        return;
    }
    if (bar_->state() != CallState::Connected) {
        // The call ended while the channel opened, or a channel came without a call: the
        // session is closed as a connected call is, and nothing shows it as connected.
        quiet_ = true;
        bar_->setState(CallState::Connected);
        quiet_ = false;
        bar_->setState(CallState::Idle);
        return;
    }
    bar_->setStatusLabel(ConnectedText);
    playSound("answer.wav");
    if (IContact* peer = bar_->currentContact())
        bar_->setNameText(peer->getDisplayName());
}

void VoiceModule::onSessionEnded(unsigned call)
{
    // The end of an earlier call, reported after the next one began, is that call's alone.
    if (!bar_ || call != call_)
        return;
    bar_->clearLevels();
    bar_->setStatusLabel(ClosedText);
    bar_->setNameText(String());
    // Only a connected call has a session; a signed-out bar stays unavailable.
    if (bar_->state() == CallState::Connected)
        bar_->setState(CallState::Idle);
}

void VoiceModule::onSessionFailed(unsigned call)
{
    if (!bar_ || call != call_)
        return;
    onSessionEnded(call);
    bar_->setStatusLabel(FailedText);
}

// ---- helpers ----

bool VoiceModule::inCall() const
{
    const CallState state = bar_->state();
    return state == CallState::Connected || state == CallState::Calling || state == CallState::Ringing;
}

bool VoiceModule::isPeer(IContact* contact) const
{
    IContact* peer = bar_ ? bar_->currentContact() : nullptr;
    if (!peer || !contact)
        return false;
    const char* a = peer->getId();
    const char* b = contact->getId();
    return a && b && std::strcmp(a, b) == 0;
}

String VoiceModule::peerName() const
{
    IContact* peer = bar_ ? bar_->currentContact() : nullptr;
    return peer ? String(peer->getDisplayName()) : String();
}

void VoiceModule::send(IContact* contact, const char* command, const char* reason)
{
    if (host_ && contact)
        host_->send(contact->getId(), VoiceRecord::write(command, reason).c_str());
}

void VoiceModule::playSound(const char* file)
{
    if (host_)
        host_->playSound(soundPath(services_.programFolder(), file).c_str());
}

void VoiceModule::startRing()
{
    services_.startRing(soundPath(services_.programFolder(), "ring.wav"), RingPeriodMs);
}

} // namespace orvane
