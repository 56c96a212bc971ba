#include "ui/ProgramUi.h"

#include "audio/WavPlayer.h"
#include "core/app/ClientApp.h"
#include "resources/ProgramImages.h"
#include "resources/ResourceIds.h"
#include "ui/CChatwynDoc.h"
#include "ui/CChatwynView.h"
#include "ui/CMainFrame.h"
#include "ui/CSystemTray.h"
#include "ui/CTaskbarNotifier.h"
#include "core/app/ThreadMessages.h"
#include "ui/CommandIds.h"
#include "ui/MainMenu.h"
#include "ui/MenuColors.h"
#include "ui/MessageBoxes.h"

#include <wx/fileconf.h>
#include <wx/menu.h>

namespace orvane {

ProgramUi::ProgramUi() = default;

ProgramUi::~ProgramUi()
{
    // The frame stores its placement in the profile as it goes, so it must go first, now
    // rather than at wx's next idle time (after a failed start-up there is none).
    if (frame_)
        delete frame_.get();
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

    const ConfigPaths& paths = app.paths();
    const String folder = paths.userFolder.isEmpty() ? paths.programFolder : paths.userFolder + "/";
    profile_ = std::make_unique<wxFileConfig>("Orvane", wxEmptyString,
                                              wxString::FromUTF8((folder + "profile.ini").c_str()), wxEmptyString,
                                              wxCONFIG_USE_LOCAL_FILE);

    auto* frame = new CMainFrame(app, skin_, *profile_);
    if (!frame->create()) {
        frame->Destroy();
        return false;
    }
    frame_ = frame;

    tray_ = std::make_unique<CSystemTray>();
    tray_->Create(frame, ThreadMessage::TrayNotify, "Orvane", wxNullBitmap, TrayIconId, false);
    tray_->SetIcon(IconProgram);
    frame->hasTray = [tray = tray_.get()] { return tray->HasTray(); };

    frame->ActivateFrame();
    frame->Update();
    return true;
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

void ProgramUi::showMessageBox(const String& text, Icon icon)
{
    const BoxIcon boxIcon = icon == Icon::Stop ? BoxIcon::Stop
                            : icon == Icon::Warning ? BoxIcon::Warning
                                                    : BoxIcon::Information;
    showMessage(frame(), wxString::FromUTF8(text.c_str()), boxIcon);
}

bool ProgramUi::askForSignIn(String&, String&, bool&)
{
    // The sign-in dialog comes with its own window; until then a missing account is not
    // asked for.
    return false;
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

void ProgramUi::showProgressPanel()
{
}

void ProgramUi::hideProgressPanel()
{
}

void ProgramUi::showProgressText(const String&)
{
}

void ProgramUi::setDocumentTitle(const String& title)
{
    if (frame())
        frame()->document().SetTitle(wxString::FromUTF8(title.c_str()));
}

void ProgramUi::showStatusText(const String&)
{
}

void ProgramUi::refreshContactViews(ContactRecord* hint)
{
    if (frame())
        frame()->document().UpdateAllViews(hint);
}

void ProgramUi::stopVoiceSession()
{
}

void ProgramUi::onWindowMessage(int, intptr_t, intptr_t)
{
}

} // namespace orvane
