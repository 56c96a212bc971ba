#pragma once

#include "modules/video/VideoImage.h"
#include "modules/video/VideoSessionWindow.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orvane {

// What a video window shares with its session thread: the peer's picture and ours as last
// handed over, the status lines, the send size and the contact. The session thread calls it
// through VideoSessionWindow; the window reads it on the user-interface thread when it
// paints.
//
// It outlives the window: a closing window detaches itself (detach) and leaves the link to
// the session thread, which ends on its own and may still call it meanwhile. Such late calls
// change nothing on screen. Repaint requests go to the window through the hook it attached,
// which posts to the user-interface thread and never waits for it; repaintPending keeps one
// request at most on its way.
class VideoWindowLink final : public VideoSessionWindow {
public:
    // How long a status line or the help box stays, in seconds.
    static constexpr int LineSeconds = 10;

    using RepaintHook = std::function<void()>;
    using Clock = std::function<time_t()>;

    explicit VideoWindowLink(Clock clock = [] { return std::time(nullptr); });

    // From the window, user-interface thread. The hook runs on whichever thread asks for a
    // repaint, under the link's lock; detach waits for a running hook and drops it.
    void attach(RepaintHook hook);
    void detach();
    bool isClosing() const { return closing_.load(); }

    // Session thread side (also used by the window itself).
    void OnSessionStarted() override;
    void OnConnectionClosed() override { SetStatusLine(ConnectionClosedText); }
    void SetStatusLine(const char* text) override;
    void ShowRemote(const uint32_t* pixels, int width, int height) override;
    void ShowLocal(const uint32_t* pixels, int width, int height) override;
    int getSendWidth() override { return sendWidth_.load(); }
    int getSendHeight() override { return sendHeight_.load(); }
    IContact* getContact() override { return contact_.load(); }

    void AddLine(const std::string& text);
    // A line about the session that is starting (the reopening of a closed one): it stays
    // below the session's start line, whether the session thread reports its start before
    // or after the line is added.
    void AddSessionLine(const std::string& text);
    void ClearLines();
    // Asks the window for one repaint; nothing while closing or while one is on its way.
    void Repaint();
    // The window painted: the next request goes through again.
    void repaintDone() { repaintPending_.store(false); }

    // The send size for a quality of 1 to 100 (clamped): that share of 120 by 90.
    void SetSendQuality(int quality);
    void setContact(IContact* contact) { contact_.store(contact); }

    // User-interface thread. The picture as the window first shows it, before the peer's.
    void setPlaceholder(const VideoImage& picture);
    bool placeholderShown() const { return placeholderShown_.load(); }
    // Copies the peer's picture when a new one came since the last call; false otherwise.
    bool takeRemote(VideoImage& into);
    bool takeLocal(VideoImage& into);
    // The lines to draw now. Lines older than LineSeconds are dropped first, but only while
    // connected: the end texts stay until something replaces them.
    std::vector<std::string> linesToDraw(bool connected);
    std::vector<std::string> lines();
    time_t now() const { return clock_(); }

private:
    Clock clock_;
    std::mutex hookLock_; // guards hook_
    RepaintHook hook_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> repaintPending_{false};

    std::mutex remoteLock_; // guards remoteImage_, remoteDirty_
    VideoImage remoteImage_;
    bool remoteDirty_ = false;
    std::atomic<bool> placeholderShown_{true};

    std::mutex localLock_; // guards localImage_, localDirty_
    VideoImage localImage_;
    bool localDirty_ = false;

    std::mutex linesLock_; // guards lines_, sessionLines_, linesClearTime_
    std::vector<std::string> lines_;
    std::vector<std::string> sessionLines_;
    time_t linesClearTime_ = 0;

    std::atomic<int> sendWidth_{120};
    std::atomic<int> sendHeight_{90};
    std::atomic<IContact*> contact_{nullptr};
};

} // namespace orvane
