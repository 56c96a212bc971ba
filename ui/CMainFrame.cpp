#include "ui/CMainFrame.h"

#include "core/app/ClientApp.h"
#include "resources/ResourceIds.h"
#include "ui/CActionsBar.h"
#include "ui/CAudioBar.h"
#include "ui/MixerWatch.h"
#include "ui/CChatwynDoc.h"
#include "ui/CChatwynView.h"
#include "ui/CSystemTray.h"
#include "ui/CTaskbarNotifier.h"
#include "ui/CommandIds.h"
#include "core/app/ThreadMessages.h"
#include "ui/kit/PostedMessage.h"
#include "ui/MainMenu.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <wx/accel.h>
#include <wx/config.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/icon.h>
#include <wx/menu.h>

#include <gtk/gtk.h>

#include <fcntl.h>
#include <unistd.h>

namespace orvane {

namespace {

// A call bar without a voice module: it shows, and places no call.
class NoCalls final : public CallBarHost {
public:
    bool canCall(IContact*) override { return false; }
    IContact* selectedContact() override { return nullptr; }
    bool isRinging() override { return false; }
    bool startSession() override { return true; }
    void stopSession() override {}
    void setStatusText(const char*) override {}
};

} // namespace

CMainFrame::CMainFrame(ClientApp& app, Skin& skin, wxConfigBase& profile)
    : CNewPersistSDIFrame(profile, nullptr, wxID_ANY, "Orvane"),
      app_(app),
      skin_(skin),
      profile_(profile),
      document_(std::make_unique<CChatwynDoc>())
{
    placement().setDefaultRect(defaultRect(wxGetDisplaySize()));
}

CMainFrame::~CMainFrame() = default;

wxRect CMainFrame::defaultRect(const wxSize& desktop)
{
    const int width = desktop.GetWidth();
    const int height = desktop.GetHeight();
    // Integer division toward zero, as a negative top on a low screen must stay exact.
    const int top = (height - 550) / 2;
    return wxRect(width - 220, top, 220, 550);
}

bool CMainFrame::create()
{
    view_ = new CChatwynView(this, app_, skin_);
    view_->SetDocument(document_.get());
    // The call bar first: it docks along the whole bottom edge, the action bar beside the
    // tree above it.
    // The bar outlives this object's destructor (wx destroys the children afterwards),
    // so the stand-in host is one that never goes.
    static NoCalls noCalls;
    if (!callHost_)
        callHost_ = &noCalls;
    audioBar_ = new CAudioBar(*callHost_, skin_);
    if (!audioBar_->Create(this, MixerWatch::openDefault())) {
        delete audioBar_;
        audioBar_ = nullptr;
        return false;
    }
    actionsBar_ = new CActionsBar(app_, skin_);
    if (!actionsBar_->Create(this)) {
        delete actionsBar_;
        actionsBar_ = nullptr;
        return false;
    }
    actionsBar_->SetContactSource([this] { return view_->GetSelectedContact(); });
    view_->SetSelectionHandler([this] {
        actionsBar_->UpdateButtons();
        audioBar_->UpdateButtons();
    });

    // The application's sliding notice, dressed in the skin's picture; its clicks come back
    // here.
    notifier_ = new CTaskbarNotifier;
    notifier_->Create(this, ThreadMessage::NotifierClick);
    notifier_->SetSkin(BitmapNotice, 255, 0, 255);
    notifier_->SetTitle("Orvane");
    notifier_->SetTitleFont("MS Sans Serif", 9, CTaskbarNotifier::Bold);
    notifier_->SetTitleColor(0xFFFFFF, 0x000000);
    notifier_->SetTitleRect(8, 2, 131, 13);
    notifier_->SetTextFont("MS Sans Serif", 9, 0, CTaskbarNotifier::Underline);
    notifier_->SetTextColor(0x000000, 0x14C814);
    const wxSize skinSize = notifier_->GetSkinSize();
    notifier_->SetTextRect(8, 20, skinSize.x - 11, skinSize.y - 8);

    // The search command has nothing behind it; its item goes.
    wxMenuBar* menuBar = GetMenuBar();
    wxMenu* contacts = menuBar ? menuBar->GetMenu(1) : nullptr;
    if (contacts && contacts->GetMenuItemCount() > 0)
        contacts->Destroy(contacts->FindItemByPosition(0));

    const wxBitmap icon = resourceBitmap(IconProgram);
    if (icon.IsOk()) {
        wxIcon frameIcon;
        frameIcon.CopyFromBitmap(icon);
        SetIcon(frameIcon);
    }

    // The framework's document keys: new, open and save.
    wxAcceleratorEntry keys[] = {
        wxAcceleratorEntry(wxACCEL_CTRL, 'N', command::toWxId(command::FileNew)),
        wxAcceleratorEntry(wxACCEL_CTRL, 'O', command::toWxId(command::FileOpen)),
        wxAcceleratorEntry(wxACCEL_CTRL, 'S', command::toWxId(command::FileSave)),
    };
    SetAcceleratorTable(wxAcceleratorTable(3, keys));
    recentFiles_ = std::make_unique<wxFileHistory>(10);
    recentFiles_->Load(profile_);

    document_->SetTitleHandler([this](const wxString& title) { setCaption(title); });
    document_->OnNewDocument(app_);
    view_->OnInitialUpdate();

    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::onClose, this);
    Bind(wxEVT_MENU, &CMainFrame::onMenu, this);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::onUpdateUi, this);
    Bind(wxEVT_SIZE, &CMainFrame::onSize, this);
    Bind(wxEVT_IDLE, &CMainFrame::onIdle, this);
    Bind(
        EVT_NOTIFIER_CLICK, [this](NotifierClickEvent& event) { OnNotifierClick(event.module(), event.window()); },
        ThreadMessage::NotifierClick);
    Bind(
        EVT_POSTED_MESSAGE, [this](wxCommandEvent& event) { OnTrayNotify(event.GetInt(), event.GetExtraLong()); },
        ThreadMessage::TrayNotify);
    layoutChildren();
    joinMenuBarWhenMapped();
    return true;
}

void CMainFrame::joinMenuBarWhenMapped()
{
    // wxGTK sizes a new top-level window at a stand-in geometry of a few pixels until the
    // window manager has told it the size of its frame; a menu bar in the layout then gets
    // less width than its items need, and GTK complains. Hidden, it takes no part in that
    // layout; it comes in once the window is mapped at its real size.
    wxMenuBar* bar = GetMenuBar();
    GtkWidget* window = GetHandle();
    if (!bar || !window || gtk_widget_get_mapped(window))
        return;
    bar->Show(false);
    menuBarPending_ = true;
    mapHandler_ = g_signal_connect(window, "map", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                                       static_cast<CMainFrame*>(self)->onFirstMap();
                                   }),
                                   this);
}

void CMainFrame::onFirstMap()
{
    if (!menuBarPending_)
        return;
    menuBarPending_ = false;
    // By its id alone: wx's own handlers on the window carry this object as their data too.
    g_signal_handler_disconnect(GetHandle(), mapHandler_);
    mapHandler_ = 0;
    // Now, before anything is painted: the window has its real size, and the bar's height
    // comes off the client area at the next layout.
    if (wxMenuBar* bar = GetMenuBar())
        bar->Show(true);
    SendSizeEvent();
}

void CMainFrame::setCaption(const wxString& title)
{
    SetTitle(title + " - Orvane");
}

void CMainFrame::setActionsMenu(std::unique_ptr<wxMenu> actions)
{
    if (wxMenuBar* bar = GetMenuBar())
        MainMenu::insertActionsMenu(*bar, std::move(actions));
}

void CMainFrame::layoutChildren()
{
    if (!view_ || !actionsBar_ || !audioBar_)
        return;
    const wxSize client = GetClientSize();
    const int callHeight = std::min(client.GetHeight(), audioBar_->GetBestSize().GetHeight());
    const int above = client.GetHeight() - callHeight;
    audioBar_->SetSize(0, above, client.GetWidth(), callHeight);
    const int barWidth = actionsBar_->GetBestSize().GetWidth();
    actionsBar_->SetSize(client.GetWidth() - barWidth, 0, barWidth, above);
    view_->SetSize(0, 0, std::max(0, client.GetWidth() - barWidth), above);
}

void CMainFrame::onSize(wxSizeEvent& event)
{
    layoutChildren();
    event.Skip();
}

void CMainFrame::onIdle(wxIdleEvent& event)
{
    // The modules load after the frame exists; their buttons come at the first idle time.
    if (actionsBar_)
        actionsBar_->Populate();
    event.Skip();
}

bool CMainFrame::signedIn() const
{
    return app_.connection().isConnected();
}

void CMainFrame::onClose(wxCloseEvent& event)
{
    if (!exiting_ && event.CanVeto()) {
        event.Veto();
        // Hidden, the tray icon brings it back; without a tray nothing would, so it only
        // goes down to the task bar.
        if (hasTray && hasTray())
            Hide();
        else
            Iconize(true);
        return;
    }
    // A text-chat module gets to see the program's end once.
    if (IModule* chat = app_.findModule("Chat"); chat && std::string(chat->getId()) == "Chat")
        chat->preTranslateMessage(&event);
    Destroy();
}

void CMainFrame::OnAppExit()
{
    exiting_ = true;
    Close(true);
}

void CMainFrame::OnOpen()
{
    Show(true);
    Iconize(false);
}

void CMainFrame::OnNotifierClick(IModule* module, WindowHandle window)
{
    if (!module) {
        Show(true);
        return;
    }
    module->showWindow(window);
}

bool CMainFrame::OnTrayNotify(int iconId, long mouseMessage)
{
    if (iconId != TrayIconId)
        return false;
    switch (mouseMessage) {
    case TrayMouse::RightUp: {
        std::unique_ptr<wxMenu> menu =
            MainMenu::createTrayMenu(signedIn() ? MainMenu::TrayMenu::Online : MainMenu::TrayMenu::Offline);
        if (!menu)
            return false;
        // Forward for its menu only when it is up: on GTK raising presents, and so shows, a
        // window the user has closed to the tray.
        if (IsShown() && !IsIconized())
            Raise();
        const int chosen = trackTrayMenu ? trackTrayMenu(*menu) : GetPopupMenuSelectionFromUser(*menu);
        if (chosen != wxID_NONE)
            dispatch(command::fromWxId(chosen));
        return true;
    }
    case TrayMouse::LeftUp:
        // A minimised window counts as shown.
        if (IsShown()) {
            Hide();
        } else {
            Show(true);
            Iconize(false);
            Raise();
            SetFocus();
        }
        return true;
    default:
        break;
    }
    return false;
}

void CMainFrame::onMenu(wxCommandEvent& event)
{
    if (!dispatch(command::fromWxId(event.GetId())))
        event.Skip();
}

bool CMainFrame::dispatch(int id)
{
    // The tree first, then the frame, then the application.
    if (id >= command::ModuleActionFirst && id <= command::ModuleActionLast) {
        view_->OnModuleCommand(id);
        return true;
    }
    switch (id) {
    case command::AddContact:
        view_->OnAddContact();
        return true;
    case command::DeleteContact:
        view_->OnDeleteContact();
        return true;
    case command::SearchContact:
        return true;
    case command::AppExit:
        OnAppExit();
        return true;
    case command::OpenMainWindow:
        OnOpen();
        return true;
    case command::FileNew:
        newDocument();
        return true;
    case command::FileOpen:
        openDocument();
        return true;
    case command::FileSave:
        saveDocument();
        return true;
    case command::SignIn:
        app_.signIn();
        return true;
    case command::SignOut:
        app_.signOut();
        return true;
    case command::SignInAs:
        app_.signInAs();
        return true;
    case command::ChangeDetails:
        app_.changeDetails();
        return true;
    default:
        break;
    }
    return appCommand ? appCommand(id) : false;
}

bool CMainFrame::isEnabled(int id, bool& handled)
{
    handled = true;
    if (id >= command::ModuleActionFirst && id <= command::ModuleActionLast)
        return view_->OnUpdateModuleCommand(id);
    switch (id) {
    case command::SignIn:
    case command::SignInAs:
        return !signedIn();
    case command::SignOut:
        return signedIn();
    case command::AddContact:
        return view_->CanAddContact();
    case command::DeleteContact:
        return view_->CanDeleteContact();
    case command::Settings:
    case command::ChangeDetails:
    case command::AppAbout:
    case command::AppExit:
    case command::OpenMainWindow:
    case command::SearchContact:
        return true;
    default:
        handled = false;
        return false;
    }
}

void CMainFrame::onUpdateUi(wxUpdateUIEvent& event)
{
    bool handled = false;
    const bool enabled = isEnabled(command::fromWxId(event.GetId()), handled);
    if (handled)
        event.Enable(enabled);
    else
        event.Skip();
}

void CMainFrame::newDocument()
{
    document_->OnNewDocument(app_);
    view_->OnUpdate(nullptr);
}

wxString CMainFrame::askForFile(bool save, const wxString& proposed)
{
    if (chooseFile)
        return chooseFile(save, proposed);
    wxFileDialog dialog(this, wxFileSelectorPromptStr, wxEmptyString, proposed, wxFileSelectorDefaultWildcardStr,
                        save ? wxFD_SAVE : wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    return dialog.ShowModal() == wxID_OK ? dialog.GetPath() : wxString();
}

void CMainFrame::openDocument()
{
    const wxString path = askForFile(false, wxEmptyString);
    if (path.empty())
        return;
    // The document keeps no data: the file is only checked, never read or changed.
    const int fd = ::open(path.utf8_str().data(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::close(fd);
    document_->SetTitle(wxFileName(path).GetFullName());
    recentFiles_->AddFileToHistory(path);
    recentFiles_->Save(profile_);
    view_->OnUpdate(nullptr);
}

void CMainFrame::saveDocument()
{
    const wxString path = askForFile(true, document_->GetTitle());
    if (path.empty())
        return;
    // The document holds nothing, so nothing is written: an empty file over the chosen path
    // would only destroy what the user keeps there.
    document_->SetTitle(wxFileName(path).GetFullName());
}

} // namespace orvane
