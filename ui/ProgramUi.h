#pragma once

#include "core/app/ClientUi.h"
#include "ui/MenuStyle.h"
#include "ui/kit/Skin.h"

#include <wx/weakref.h>
#include <wx/window.h>

#include <memory>

class wxFileConfig;

namespace orvane {

class CMainFrame;
class CSignInProgressPanel;
class CSystemTray;
class ClientApp;
class AudioBarView;
class VoiceModule;

// The core's user interface in windows: the main frame with its contact tree and action
// bar, the tray icon, the message boxes, and the skin that modules are handed. The core
// calls it on the user-interface thread only.
//
// It owns the profile (the wxFileConfig in the per-user folder that the frame's placement
// is kept in) and the tray; the frame belongs to wx and is gone when the message loop has
// ended. What later windows show (the sign-in dialog, the progress panel, the sliding
// notice, sounds, the call bar) is answered here without a window until they exist.
class ProgramUi : public ClientUi {
public:
    ProgramUi();
    ~ProgramUi() override;

    bool createWindows(ClientApp& app) override;
    void setActionsMenu(const std::vector<ActionItem>& items) override;
    void showMessageBox(const String& text, Icon icon) override;
    bool askForSignIn(String& userName, String& password, bool& makeDefault) override;
    bool askForDetails(AccountDetails& details) override;
    bool askYesNo(const String& text) override;
    void playSound(const String& path) override;
    void showNotice(const String& text, IModule* module, WindowHandle window, bool clickable) override;
    void showProgressPanel() override;
    void hideProgressPanel() override;
    void showProgressText(const String& text) override;
    void setDocumentTitle(const String& title) override;
    void showStatusText(const String& text) override;
    void refreshContactViews(ContactRecord* hint) override;
    void stopVoiceSession() override;
    // A wxCloseEvent with no window, id 0 and nothing else set.
    void askModuleToClose(IModule& module) override;
    ISkin* skin() override { return &skin_; }
    void onWindowMessage(int id, intptr_t wParam, intptr_t lParam) override;

    // The voice module whose call bar the main frame shows; set before createWindows. Without
    // one the bar places no calls.
    void setVoiceModule(VoiceModule* module) { voice_ = module; }

    // NULL before createWindows and once the frame is gone.
    CMainFrame* frame() const;
    CSystemTray* tray() const { return tray_.get(); }
    CSignInProgressPanel* panel() const;
    Skin& programSkin() { return skin_; }

private:
    // The account commands' dialogs behind the frame's commands and the tree's Add.
    void wireCommands(CMainFrame& frame, ClientApp& app);

    Skin skin_;
    // The menus' look, on the screen while this lives.
    MenuStyle menuStyle_;
    std::unique_ptr<wxFileConfig> profile_;
    // The frame is a wx top-level window: wx deletes it; this only watches it. The same for
    // the progress panel, a window of the frame's.
    wxWeakRef<wxWindow> frame_;
    wxWeakRef<wxWindow> panel_;
    ClientApp* app_ = nullptr;
    std::unique_ptr<CSystemTray> tray_;
    VoiceModule* voice_ = nullptr;
    std::unique_ptr<AudioBarView> barView_;
};

} // namespace orvane
