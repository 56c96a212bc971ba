#pragma once

#include <cstdint>

namespace orvane {

class IContact;

// The window of one video conversation as its session thread sees it. The window owns the
// thread, outlives it (it stops the thread and waits for it before it goes) and implements
// this.
//
// Every operation is called on the session thread. An implementation on a toolkit never
// touches its widgets there: it copies what it needs under its own lock and posts the rest
// to the user-interface thread. After the window has begun to close, calls change nothing
// on screen.
class VideoSessionWindow {
public:
    // The status texts the window shows for the two session events.
    static constexpr const char* SessionStartedText = "Video session started.";
    static constexpr const char* ConnectionClosedText = "Connection has been closed.";

    virtual ~VideoSessionWindow() = default;

    // The session began (the window shows SessionStartedText).
    virtual void OnSessionStarted() = 0;
    // The session's channel was closed (the window shows ConnectionClosedText).
    virtual void OnConnectionClosed() = 0;
    // One status text, already formatted; the window copies it.
    virtual void SetStatusLine(const char* text) = 0;
    // The peer's picture as last received, and our picture as the peer now holds it:
    // width x height pixels 0x00RRGGBB, valid during the call only.
    virtual void ShowRemote(const uint32_t* pixels, int width, int height) = 0;
    virtual void ShowLocal(const uint32_t* pixels, int width, int height) = 0;

    // The size our frames are scaled to before they are sent.
    virtual int getSendWidth() = 0;
    virtual int getSendHeight() = 0;
    // The contact at the other end, or NULL once the user has signed out.
    virtual IContact* getContact() = 0;
};

} // namespace orvane
