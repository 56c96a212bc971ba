#include "modules/webjoin/CWebjoinApp.h"

#include "modules/webjoin/NavigateRecord.h"
#include "modules/webjoin/SessionWindow.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace orvane {

namespace {

std::string text(const char* value)
{
    return value ? value : "";
}

} // namespace

CWebjoinApp::CWebjoinApp(IModuleHost& host, WebjoinWindows& windows, std::string moduleFolder, Log log)
    : host_(host)
    , windows_(windows)
    , moduleFolder_(std::move(moduleFolder))
    , log_(std::move(log))
{
    if (!log_)
        log_ = [](const std::string& line) { std::fprintf(stderr, "webjoin: %s\n", line.c_str()); };
}

CWebjoinApp::~CWebjoinApp() = default;

std::string CWebjoinApp::NewSessionId()
{
    // The own id is asked for each time: the library is loaded before the first sign-in,
    // and a sign-in as another user changes it.
    IContact* own = host_.getOwnUser();
    return text(own ? own->getId() : nullptr) + "_" + std::to_string(sessionCounter_++);
}

void CWebjoinApp::StartSession(IContact& contact)
{
    if (!contact.isOnline()) {
        windows_.showWarning("Can't connect to " + text(contact.getDisplayName()) + "!\nThe user is offline.");
        return;
    }
    // Nothing is sent yet: the peer learns of the session with its first navigation.
    if (!CreateSession(contact, NewSessionId()))
        windows_.showWarning("Can't instantiate Webjoin object!");
}

CWebjoinDoc* CWebjoinApp::FindSession(const std::string& contactId, const std::string& sessionId)
{
    for (const auto& doc : sessions_) {
        if (sessionId.empty() ? doc->contactId() == contactId : doc->sessionId() == sessionId)
            return doc.get();
    }
    return nullptr;
}

CWebjoinDoc* CWebjoinApp::CreateSession(IContact& contact, const std::string& sessionId)
{
    sessions_.push_back(
        std::make_unique<CWebjoinDoc>(host_, text(contact.getId()), text(contact.getDisplayName()), sessionId));
    CWebjoinDoc& doc = *sessions_.back();
    SessionWindow* frame = windows_.openSessionWindow(doc);
    if (!frame) {
        sessions_.pop_back();
        return nullptr;
    }
    doc.setFrame(frame);
    return &doc;
}

void CWebjoinApp::CloseSession(CWebjoinDoc& doc)
{
    sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(),
                                   [&doc](const std::unique_ptr<CWebjoinDoc>& d) { return d.get() == &doc; }),
                    sessions_.end());
}

void CWebjoinApp::OnContactAdded(IContact* contact)
{
    if (contact)
        removed_.erase(text(contact->getId()));
}

void CWebjoinApp::OnContactRemoved(IContact* contact)
{
    if (contact)
        removed_.insert(text(contact->getId()));
}

void CWebjoinApp::OnSignedIn()
{
    removed_.clear();
}

bool CWebjoinApp::isListedSender(IContact& sender, const std::string& senderId) const
{
    return !senderId.empty() && sender.isOnline() && removed_.count(senderId) == 0;
}

size_t CWebjoinApp::sessionsWith(const std::string& contactId) const
{
    return static_cast<size_t>(std::count_if(sessions_.begin(), sessions_.end(),
                                             [&](const auto& doc) { return doc->contactId() == contactId; }));
}

void CWebjoinApp::OnModuleData(IContact* sender, const char* data)
{
    if (!sender)
        return;
    const std::string senderId = text(sender->getId());
    if (!isListedSender(*sender, senderId)) {
        log_("record from " + senderId + ", who is not a listed contact, dropped");
        return;
    }
    const NavigateRecord record = NavigateRecord::read(data);
    CWebjoinDoc* doc = FindSession(senderId, record.sessionId);
    if (doc && doc->contactId() != senderId) {
        log_("record from " + senderId + " for session " + record.sessionId + " of " + doc->contactId() + " dropped");
        return;
    }
    if (!doc) {
        if (sessionsWith(senderId) >= MaxSessionsPerContact) {
            log_("record from " + senderId + " for a new session dropped: " +
                 std::to_string(MaxSessionsPerContact) + " windows with it are open");
            return;
        }
        doc = CreateSession(*sender, record.sessionId);
        if (!doc)
            return;
        host_.playSound((moduleFolder_ + "sounds/webjoin.wav").c_str());
        host_.showNotification(("Webjoin from\n" + doc->contactName()).c_str(), doc->frame()->handle());
    }
    if (record.command != "NAVIGATE")
        return;
    if (!isAddressAPeerMayOpen(record.url)) {
        log_("address from " + senderId + " refused: " + record.url);
        return;
    }
    doc->frame()->navigateFromPeer(record.url);
}

bool CWebjoinApp::PreTranslateMessage(UiMessage* message)
{
    return windows_.preTranslate(message);
}

} // namespace orvane
