#pragma once

#include "core/module/ModuleInterfaces.h"
#include "modules/webjoin/CWebjoinDoc.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace orvane {

class WebjoinWindows;

// The webjoin library's application object: its sessions and the rules that route the
// peer's records to them. It knows the windows only through WebjoinWindows, so the rules
// run without a display in the tests.
//
// Session ids are the own user id at the time, "_" and a counter that starts at 1 and only grows, so
// no id repeats within a run on one side. A record finds its session by id; a record
// whose id names a session opened with another contact is dropped (and logged): a peer
// cannot drive someone else's window. A record without an id goes to the first session
// with its sender, and a record for an unknown session opens a window with a sound and a
// notice. Only NAVIGATE has an effect, and only to http, https and about:blank addresses.
//
// Records are taken only from the user's listed contacts. The module interface does not
// say whether a sender is listed, but presence reaches the program only for listed
// contacts, so a sender known only from its messages is never online; a contact removed
// since the sign-in may still look online and is refused by id until it is added again.
// One contact opens at most MaxSessionsPerContact windows: a record for a new session
// beyond that is dropped.
//
// User-interface thread only; it starts no thread.
class CWebjoinApp {
public:
    using Log = std::function<void(const std::string&)>;

    // Open session windows with one contact beyond which its records open no more.
    static constexpr size_t MaxSessionsPerContact = 4;

    // moduleFolder ends with a '/'. log gets every dropped record; by default stderr.
    CWebjoinApp(IModuleHost& host, WebjoinWindows& windows, std::string moduleFolder, Log log = {});
    ~CWebjoinApp();
    CWebjoinApp(const CWebjoinApp&) = delete;
    CWebjoinApp& operator=(const CWebjoinApp&) = delete;

    // The user's action with contact.
    void StartSession(IContact& contact);
    // A module message from sender (NULL: dropped).
    void OnModuleData(IContact* sender, const char* data);
    bool PreTranslateMessage(UiMessage* message);

    // The session with a non-empty id whatever its contact, or, for an empty id, the first
    // with that contact; nullptr when none.
    CWebjoinDoc* FindSession(const std::string& contactId, const std::string& sessionId);
    // A session with its window, or nullptr when the window cannot be made.
    CWebjoinDoc* CreateSession(IContact& contact, const std::string& sessionId);
    std::string NewSessionId();
    // The window of doc has gone: doc is destroyed.
    void CloseSession(CWebjoinDoc& doc);

    // The user's contact list changed: the server confirmed an addition or a removal.
    void OnContactAdded(IContact* contact);
    void OnContactRemoved(IContact* contact);
    // A new sign-in brings the whole list anew.
    void OnSignedIn();

    const std::vector<std::unique_ptr<CWebjoinDoc>>& sessions() const { return sessions_; }

private:
    bool isListedSender(IContact& sender, const std::string& senderId) const;
    size_t sessionsWith(const std::string& contactId) const;

    IModuleHost& host_;
    WebjoinWindows& windows_;
    std::string moduleFolder_;
    Log log_;
    int sessionCounter_ = 1;
    std::vector<std::unique_ptr<CWebjoinDoc>> sessions_;
    // Contacts removed since the sign-in (their records may keep their last presence).
    std::set<std::string> removed_;
};

} // namespace orvane
