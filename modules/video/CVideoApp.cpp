#include "modules/video/CVideoApp.h"

#include "modules/video/CVideoDialog.h"
#include "ui/kit/CMessageBox.h"

#include <wx/msgdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace orvane {

namespace {

std::string nameOf(IContact* contact)
{
    const char* name = contact ? contact->getDisplayName() : nullptr;
    return name ? name : "";
}

} // namespace

CVideoApp::CVideoApp(std::string moduleFolder, VideoThread::SourceFactory cameras)
    : moduleFolder_(std::move(moduleFolder)), cameras_(std::move(cameras))
{
}

CVideoApp::~CVideoApp()
{
    Shutdown();
}

void CVideoApp::Init(IModuleHost* host)
{
    host_ = host;
    ownUser_ = host ? host->getOwnUser() : nullptr;
    skin_ = host ? host->getSkin() : nullptr;
}

void CVideoApp::Shutdown()
{
    for (CVideoDialog* window : windows()) {
        // Deleted now, not at the next idle time: the library may be unloaded next.
        window->PrepareClose();
        delete window;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        windows_.clear();
        if (videoThread_) {
            std::shared_ptr<VideoThread> capture = std::move(videoThread_);
            reaper_.reap([capture]() mutable {
                capture->stop(true);
                capture.reset();
            });
        }
    }
    reaper_.finish();
}

std::vector<CVideoDialog*> CVideoApp::windows()
{
    std::lock_guard<std::mutex> guard(lock_);
    return windows_;
}

bool CVideoApp::captureRunning()
{
    std::lock_guard<std::mutex> guard(lock_);
    return videoThread_ != nullptr;
}

CVideoDialog* CVideoApp::FindWindow(IContact* contact)
{
    const char* id = contact ? contact->getId() : nullptr;
    if (!id || !*id)
        return nullptr;
    std::lock_guard<std::mutex> guard(lock_);
    for (CVideoDialog* window : windows_) {
        IContact* other = window->contact();
        const char* otherId = other ? other->getId() : nullptr;
        if (otherId && std::strcmp(otherId, id) == 0)
            return window;
    }
    return nullptr;
}

void CVideoApp::showAndFocus(CVideoDialog& window)
{
    // A minimised window comes back as it was.
    if (window.IsIconized())
        window.Iconize(false);
    window.Show();
    window.Raise();
    window.SetFocus();
}

CVideoDialog* CVideoApp::OpenWindow(IContact* contact, IModuleConnection* connection, const std::string& sessionLine)
{
    auto* window = new CVideoDialog(contact, connection, host_, reaper_);
    window->setClosingHook([this](CVideoDialog& closing) { UnregisterWindow(&closing); });
    RegisterWindow(window);
    std::shared_ptr<VideoThread> capture;
    {
        std::lock_guard<std::mutex> guard(lock_);
        capture = videoThread_;
    }
    if (!sessionLine.empty())
        window->link().AddSessionLine(sessionLine);
    window->StartSession(std::move(capture));
    showAndFocus(*window);
    return window;
}

void CVideoApp::OpenSession(IContact* contact)
{
    if (!contact)
        return;
    if (CVideoDialog* existing = FindWindow(contact)) {
        showAndFocus(*existing);
        if (existing->hasConnection())
            return;
        // A window whose session ended makes way for a new one with a new channel.
        existing->PrepareClose();
        existing->Destroy();
    }
    OpenWindow(contact, nullptr);
}

void CVideoApp::OnIncomingSession(IContact* contact, IModuleConnection* connection)
{
    if (!connection)
        return;
    const std::string name = nameOf(contact);
    if (!contact || !contact->getId() || !*contact->getId()) {
        connection->close();
        return;
    }
    CVideoDialog* existing = FindWindow(contact);
    if (!existing) {
        OpenWindow(contact, connection);
        PlayModuleSound("Video request from\n" + name, SoundFile);
        return;
    }
    if (existing->hasConnection()) {
        // One session per contact: the second request is refused at once.
        connection->close();
        existing->AddLine("Cancelled second video request from " + name + ".");
        showAndFocus(*existing);
        return;
    }
    const wxRect placement = existing->GetRect();
    existing->PrepareClose();
    existing->Destroy();
    CVideoDialog* window = OpenWindow(contact, connection, "Reopen the video session with " + name + ".");
    window->SetSize(placement);
}

void CVideoApp::RegisterWindow(CVideoDialog* window)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (std::find(windows_.begin(), windows_.end(), window) != windows_.end())
        return;
    if (windows_.empty() && !videoThread_) {
        try {
            auto capture = std::make_shared<VideoThread>(cameras_);
            capture->setErrorReport([this](const char* text) { reportCaptureError(text); });
            capture->init();
            capture->start();
            videoThread_ = std::move(capture);
        } catch (...) {
            PlayModuleSound(CameraFailedText, SoundFile);
        }
    }
    windows_.push_back(window);
}

void CVideoApp::reportCaptureError(const char* text)
{
    const wxString message = wxString::FromUTF8(text ? text : "");
    // The host's skin outlives the module and so the queued box.
    ISkin* skin = skin_;
    uiQueue_.CallAfter([message, skin] {
        if (skin) {
            CMessageBox box(nullptr, *skin, message, BoxCaption, wxOK | wxICON_ERROR);
            box.ShowModal();
        } else {
            wxMessageBox(message, BoxCaption, wxOK | wxICON_ERROR);
        }
    });
}

void CVideoApp::UnregisterWindow(CVideoDialog* window)
{
    std::lock_guard<std::mutex> guard(lock_);
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    if (windows_.empty() && videoThread_) {
        // Stopped and deleted on the reaper, after the sessions that still read it.
        std::shared_ptr<VideoThread> capture = std::move(videoThread_);
        reaper_.reap([capture]() mutable {
            capture->stop(true);
            capture.reset();
        });
    }
}

void CVideoApp::ForgetContacts()
{
    std::lock_guard<std::mutex> guard(lock_);
    for (CVideoDialog* window : windows_)
        window->setContact(nullptr);
}

void CVideoApp::PlayModuleSound(const std::string& text, const std::string& soundFile)
{
    if (!host_)
        return;
    if (!soundFile.empty())
        host_->playSound((moduleFolder_ + "sounds/" + soundFile).c_str());
    host_->showNotification(text.c_str(), nullptr);
}

bool CVideoApp::ShowWindow(WindowHandle handle)
{
    for (CVideoDialog* window : windows()) {
        if (static_cast<wxWindow*>(window) == handle) {
            window->Restore();
            window->Raise();
            return true;
        }
    }
    return false;
}

} // namespace orvane
