#include "ui/ProgramUi.h"

#include "audio/WavPlayer.h"
#include "core/app/ClientApp.h"
#include "resources/ProgramImages.h"
#include "resources/ResourceIds.h"
#include "ui/CChatwynDoc.h"
#include "ui/CChatwynView.h"
#include "ui/CMainFrame.h"
#include "ui/AudioBarView.h"
#include "ui/CAboutDialog.h"
#include "ui/CAudioBar.h"
#include "voice/VoiceModule.h"
#include "ui/CAccountDialog.h"
#include "ui/CAddContactDialog.h"
#include "ui/CConnectionSettingsDialog.h"
#include "ui/CSignInDialog.h"
#include "ui/CSignInProgressPanel.h"
#include "ui/CSystemTray.h"
#include "ui/SignUpHandover.h"
#include "ui/CTaskbarNotifier.h"
#include "core/app/ThreadMessages.h"
#include "ui/CommandIds.h"
#include "ui/MainMenu.h"
#include "ui/MenuColors.h"
#include "ui/MessageBoxes.h"

#include <gtk/gtk.h>
#include <wx/arrstr.h>
#include <wx/fileconf.h>
#include <wx/menu.h>

#include <chrono>

namespace orvane {

namespace {

// "New Account" in the sign-in dialog: the account dialog in its sign-up mode, then the new
// account signed in by the connection thread.
class ProgramSignUp : public SignUpHandover {
public:
    ProgramSignUp(ClientApp& app, Skin& skin) : app_(app), skin_(skin) {}
    bool signUp(wxWindow& parent) override
    {
        CAccountDialog dialog(&parent, skin_, app_.account(), app_.ownUser(), app_.config().serverUrl);
        return dialog.DoModalRegister();
    }
    void signInNewAccount() override { app_.signInNewAccount(); }

private:
    ClientApp& app_;
    Skin& skin_;
};

// Runs GTK's events until the window manager has mapped the shown window, for at most ten
// seconds (a window manager on a loaded machine). wxGTK maps a top-level window the first
// time only after the window manager has told it the size of its frame; a window shown in
// the meantime (a modal dialog at the first start) would be mapped first and then covered
// by it, and lose the focus to it.
void awaitFirstMap(wxTopLevelWindow& window)
{
    GtkWidget* widget = window.GetHandle();
    const auto mapped = [widget] {
        GdkWindow* gdkWindow = gtk_widget_get_window(widget);
        return gdkWindow && gdk_window_is_viewable(gdkWindow);
    };
    if (!widget || !window.IsShown() || mapped())
        return;
    // The tick wakes the blocking iteration, so the deadline is looked at even when the
    // display is silent.
    const guint tick = g_timeout_add(20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!mapped() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
}

} // namespace

ProgramUi::ProgramUi() = default;

ProgramUi::~ProgramUi()
{
    setMessageBoxSkin(nullptr);
    // The frame stores its placement in the profile as it goes, so it must go first, now
    // rather than at wx's next idle time (after a failed start-up there is none).
    if (frame_)
        delete frame_.get();
    if (voice_) {
        voice_->attachBar(nullptr);
        voice_->setContactSource({});
    }
}

CMainFrame* ProgramUi::frame() const
{
    return static_cast<CMainFrame*>(frame_.get());
}

bool ProgramUi::createWindows(ClientApp& app)
{
    skin_.load(app.config().skin);
    MenuColors colors = MenuColors::fromSystem();
    colors.takeSkin(skin_);
    menuStyle_.apply(colors);
    registerProgramImages();
    setMessageBoxSkin(&skin_);

    const ConfigPaths& paths = app.paths();
    const String folder = paths.userFolder.isEmpty() ? paths.programFolder : paths.userFolder + "/";
    profile_ = std::make_unique<wxFileConfig>("Orvane", wxEmptyString,
                                              wxString::FromUTF8((folder + "profile.ini").c_str()), wxEmptyString,
                                              wxCONFIG_USE_LOCAL_FILE);

    auto* frame = new CMainFrame(app, skin_, *profile_);
    frame->setCallBarHost(voice_);
    if (!frame->create()) {
        frame->Destroy();
        return false;
    }
    frame_ = frame;
    app_ = &app;
    wireCommands(*frame, app);
    if (voice_) {
        barView_ = std::make_unique<AudioBarView>(frame->audioBar(), *frame);
        voice_->attachBar(barView_.get());
        wxWeakRef<CMainFrame> watched(frame);
        voice_->setContactSource([watched]() -> IContact* {
            return watched ? watched->view().GetSelectedContact() : nullptr;
        });
    }

    tray_ = std::make_unique<CSystemTray>();
    tray_->Create(frame, ThreadMessage::TrayNotify, "Orvane", wxNullBitmap, TrayIconId, false);
    tray_->SetIcon(IconProgram);
    frame->hasTray = [tray = tray_.get()] { return tray->HasTray(); };

    frame->ActivateFrame();
    frame->Update();
    // Made once, hidden, for every sign-in to come.
    panel_ = new CSignInProgressPanel(frame, skin_);
    return true;
}

void ProgramUi::wireCommands(CMainFrame& frame, ClientApp& app)
{
    frame.view().SetAddContactHandler([this, &app] {
        CAddContactDialog dialog(this->frame(), skin_, app.ownUser().userName,
                                 [&app](const char* name) { return app.isListedUserName(name); });
        if (dialog.ShowModal() == wxID_OK)
            app.connection().sendAddContact(dialog.userName().c_str());
    });
    frame.view().SetDropHandler([&app](ContactRecord& contact, const wxArrayString& files) {
        std::vector<String> paths;
        for (const wxString& file : files)
            paths.emplace_back(file.utf8_str().data());
        app.sendDroppedFiles(paths, &contact);
    });
    frame.appCommand = [this, &app](int id) {
        const wxString build = wxString::FromUTF8(app.buildStampText().c_str());
        switch (id) {
        case command::Settings: {
            CConnectionSettingsDialog dialog(this->frame(), skin_, app.account(), ClientApp::VersionText, build);
            if (dialog.ShowModal() == wxID_OK) {
                app.saveAccount();
                app.applyProxySettings();
            }
            return true;
        }
        case command::AppAbout:
            CAboutDialog::run(this->frame(), skin_, ClientApp::VersionText, build);
            return true;
        default:
            return false;
        }
    };
}

void ProgramUi::setActionsMenu(const std::vector<ActionItem>& items)
{
    if (!frame())
        return;
    // The core numbers the items from the first action id on, as the menu does.
    std::unique_ptr<wxMenu> actions = MainMenu::createActionsMenu();
    for (const ActionItem& item : items)
        MainMenu::appendAction(*actions, wxString::FromUTF8(item.text.c_str()));
    frame()->setActionsMenu(std::move(actions));
}

bool ProgramUi::askForDetails(AccountDetails& details)
{
    if (!frame() || !app_)
        return false;
    CAccountDialog dialog(frame(), skin_, app_->account(), app_->ownUser(), app_->config().serverUrl);
    if (!dialog.DoModalChangeDetails())
        return false;
    details = {dialog.userName(), dialog.password(), dialog.firstName(), dialog.lastName(), dialog.email(),
               dialog.webSite()};
    return true;
}

bool ProgramUi::askYesNo(const String& text)
{
    return orvane::askYesNo(frame(), wxString::FromUTF8(text.c_str()));
}

void ProgramUi::showMessageBox(const String& text, Icon icon)
{
    const BoxIcon boxIcon = icon == Icon::Stop      ? BoxIcon::Stop
                            : icon == Icon::Warning ? BoxIcon::Warning
                            : icon == Icon::None    ? BoxIcon::None
                                                    : BoxIcon::Information;
    showMessage(frame(), wxString::FromUTF8(text.c_str()), boxIcon);
}

bool ProgramUi::askForSignIn(String& userName, String& password, bool& makeDefault)
{
    if (!frame() || !app_)
        return false;
    awaitFirstMap(*frame());
    ProgramSignUp signUp(*app_, skin_);
    CSignInDialog dialog(frame(), skin_, signUp, app_->account().userName.isEmpty());
    // Up on top and active once shown, whatever the window manager did with the frame.
    dialog.CallAfter([&dialog] { dialog.Raise(); });
    if (dialog.ShowModal() != wxID_OK)
        return false;
    userName = dialog.userName();
    password = dialog.password();
    makeDefault = dialog.makeDefault();
    return true;
}

void ProgramUi::playSound(const String& path)
{
    // One sound channel for the process: a new sound cuts off the one before, the ring's too.
    WavPlayer::processPlayer().play(path.c_str());
}

void ProgramUi::showNotice(const String& text, IModule* module, WindowHandle window, bool clickable)
{
    if (!frame())
        return;
    CTaskbarNotifier& notice = frame()->notifier();
    notice.SetClickParams(module, window);
    notice.Show(wxString::FromUTF8(text.c_str()), clickable);
}

CSignInProgressPanel* ProgramUi::panel() const
{
    return static_cast<CSignInProgressPanel*>(panel_.get());
}

void ProgramUi::showProgressPanel()
{
    if (panel())
        panel()->showCentred();
}

void ProgramUi::hideProgressPanel()
{
    if (panel())
        panel()->hideAndClear();
}

void ProgramUi::showProgressText(const String& text)
{
    if (panel())
        panel()->SetStatusText(text);
}

void ProgramUi::setDocumentTitle(const String& title)
{
    if (frame())
        frame()->document().SetTitle(wxString::FromUTF8(title.c_str()));
}

void ProgramUi::showStatusText(const String& text)
{
    if (frame())
        frame()->audioBar().ShowStatusText(text);
}

void ProgramUi::refreshContactViews(ContactRecord* hint)
{
    if (frame())
        frame()->document().UpdateAllViews(hint);
}

void ProgramUi::stopVoiceSession()
{
    if (voice_)
        voice_->stopCallSession();
}

void ProgramUi::askModuleToClose(IModule& module)
{
    // The modules see the loop's messages as wxEvent pointers; a close request of no window.
    wxCloseEvent close(wxEVT_CLOSE_WINDOW, 0);
    module.preTranslateMessage(&close);
}

void ProgramUi::onWindowMessage(int id, intptr_t wParam, intptr_t lParam)
{
    CMainFrame* main = frame();
    if (!main)
        return;
    CAudioBar& bar = main->audioBar();
    switch (id) {
    case ThreadMessage::VoiceStarted:
        if (voice_)
            voice_->onSessionConnected(static_cast<unsigned>(wParam));
        break;
    case ThreadMessage::VoiceEnded:
        if (voice_)
            voice_->onSessionEnded(static_cast<unsigned>(wParam));
        break;
    case ThreadMessage::VoiceFailed:
        if (voice_)
            voice_->onSessionFailed(static_cast<unsigned>(wParam));
        break;
    case ThreadMessage::VoiceLevelIn:
        bar.SetInputLevel(wParam);
        break;
    case ThreadMessage::VoiceLevelOut:
        bar.SetOutputLevel(wParam);
        break;
    case ThreadMessage::LevelGraph:
        bar.SetLevelGraph(reinterpret_cast<const uint8_t*>(lParam), static_cast<int>(wParam));
        break;
    default:
        break;
    }
}

} // namespace orvane
