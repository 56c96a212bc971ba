#pragma once

#include <string>

namespace orvane {

class IModuleHost;
class SessionWindow;

// One shared-browsing session: the peer, its window and the id both sides know it by.
// The peer is kept by user id, never by its contact record: the main program destroys
// every record at each sign-in, while a session window may stay open across that.
// User-interface thread only.
class CWebjoinDoc {
public:
    CWebjoinDoc(IModuleHost& host, std::string contactId, std::string contactName, std::string sessionId);

    const std::string& contactId() const { return contactId_; }
    const std::string& contactName() const { return contactName_; }
    const std::string& sessionId() const { return sessionId_; }

    SessionWindow* frame() const { return frame_; }
    void setFrame(SessionWindow* frame) { frame_ = frame; }

    // Sends the peer a NAVIGATE record for url with this session's id.
    void SendNavigate(const std::string& url);

private:
    IModuleHost& host_;
    std::string contactId_;
    std::string contactName_;
    std::string sessionId_;
    SessionWindow* frame_ = nullptr;
};

} // namespace orvane
