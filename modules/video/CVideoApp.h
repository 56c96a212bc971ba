#pragma once

#include "core/module/ModuleInterfaces.h"
#include "modules/video/SessionReaper.h"
#include "modules/video/VideoThread.h"

#include <wx/event.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orvane {

class CVideoDialog;

// The video library's application object: the open video windows, one per contact, the
// rules for sessions the user starts and those a peer opens, and the capture thread, which
// runs while at least one window is open.
//
// A peer's channel goes only to a window of the contact the program says opened it,
// matched by the contact's id; a window whose contact was forgotten at sign-out, or an
// empty id, matches nothing. Nothing here waits for a worker thread: closing windows and
// the last window's camera go to the reaper, which Shutdown waits for. A capture thread
// that fails tells the user in a box ("Error in VideoThread !"), shown on the
// user-interface thread.
//
// User-interface thread only.
class CVideoApp {
public:
    static constexpr const char* SoundFile = "video.wav";
    static constexpr const char* CameraFailedText = "Failed to initialize the Camera!";
    static constexpr const char* BoxCaption = "Video";

    // moduleFolder ends with '/'. The factory gives each new capture thread its camera.
    explicit CVideoApp(std::string moduleFolder,
                       VideoThread::SourceFactory cameras = captureSourceFromEnvironment);
    ~CVideoApp();
    CVideoApp(const CVideoApp&) = delete;
    CVideoApp& operator=(const CVideoApp&) = delete;

    // Keeps the host, its own user and its skin.
    void Init(IModuleHost* host);
    // Closes every window at once and waits for every worker thread to end.
    void Shutdown();

    // The user chose video with the contact.
    void OpenSession(IContact* contact);
    // A peer opened a video channel; the connection is ours from here.
    void OnIncomingSession(IContact* contact, IModuleConnection* connection);
    // A window for the contact, shown and focused, its session started. A non-empty
    // sessionLine stays below the session's start line.
    CVideoDialog* OpenWindow(IContact* contact, IModuleConnection* connection, const std::string& sessionLine = {});
    CVideoDialog* FindWindow(IContact* contact);
    void RegisterWindow(CVideoDialog* window);
    void UnregisterWindow(CVideoDialog* window);
    // After sign-out: the windows stay, their contacts are gone.
    void ForgetContacts();
    void PlayModuleSound(const std::string& text, const std::string& soundFile);
    // Brings up one of the windows; false when it is none of ours.
    bool ShowWindow(WindowHandle window);

    const std::string& moduleFolder() const { return moduleFolder_; }
    std::vector<CVideoDialog*> windows();
    bool captureRunning();
    SessionReaper& reaper() { return reaper_; }

private:
    void showAndFocus(CVideoDialog& window);
    // Called on the capture thread: the box goes to the user-interface thread.
    void reportCaptureError(const char* text);

    std::string moduleFolder_;
    VideoThread::SourceFactory cameras_;
    IModuleHost* host_ = nullptr;
    IContact* ownUser_ = nullptr;
    ISkin* skin_ = nullptr;
    // Carries capture failures to the user-interface thread; its queued reports go with it,
    // so none runs after this object. Declared first: it outlives the capture threads.
    wxEvtHandler uiQueue_;
    SessionReaper reaper_; // declared before what it is handed, so it ends last
    std::mutex lock_;      // guards windows_, videoThread_
    std::vector<CVideoDialog*> windows_;
    std::shared_ptr<VideoThread> videoThread_;
};

} // namespace orvane
