#pragma once

#include "updater/UpdateDownload.h"

#include <wx/dialog.h>

#include <memory>
#include <string>
#include <thread>

class wxButton;
class wxMenu;

namespace orvane {

class CPercentProgress;

// The update program's one window: the progress of the download that it runs on a thread
// of its own from creation on, and a Stop button. The download thread reaches the window
// only through CallAfter. The window destroys itself when the download has ended, failed
// (after its box) or was stopped; the program ends with it.
//
// The window's own menu (a right click on the window, or the menu key) holds
// "&About Updater...", which shows the about box: the window manager's menu of the window
// cannot take items of the program's.
class CUpdaterDialog : public wxDialog, private UpdateDownload::Listener {
public:
    // The command of "&About Updater...".
    static constexpr int AboutCommand = 16;

    CUpdaterDialog(const std::string& url, const std::string& target);
    ~CUpdaterDialog() override;

    // Starts the download thread.
    void StartDownload();
    // Stop was pressed (any thread).
    bool IsStopping() const { return download_->stopRequested(); }

    CPercentProgress& progress() { return *progress_; }

    // The window's menu, as a right click shows it.
    std::unique_ptr<wxMenu> CreateWindowMenu() const;
    // The about box, modal.
    void ShowAbout();

private:
    void onBegin(int64_t length) override;
    void onProgress(int64_t n) override;
    void onFailed(UpdateDownload::Failure failure) override;
    void onDone() override;

    void OnBegin(int64_t length);
    void OnProgress(int64_t n);
    void OnFailed(UpdateDownload::Failure failure);
    void OnStop();
    void OnClose(wxCloseEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void Finish();

    std::unique_ptr<UpdateDownload> download_;
    std::thread thread_;
    CPercentProgress* progress_ = nullptr;
    wxButton* stop_ = nullptr;
    int64_t total_ = 0;
    int64_t received_ = 0;
    int lastPercent_ = -1;
    bool finished_ = false;
};

// A stop box with the update program's caption; the text also goes to the standard error
// stream, so that a log keeps what the user was told.
void showUpdaterBox(const wxString& text);

} // namespace orvane
