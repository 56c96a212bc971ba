#pragma once

#include "core/module/ModuleInterfaces.h"
#include "ui/CNewPersistSDIFrame.h"

#include <functional>
#include <memory>

class wxConfigBase;
class wxFileHistory;

namespace orvane {

class CActionsBar;
class CAudioBar;
class CallBarHost;
class CTaskbarNotifier;
class CChatwynDoc;
class CChatwynView;
class ClientApp;
class Skin;

// The program's one top-level window: the contact tree in the client area, the action bar
// at its right edge, the call bar along the bottom (under both, over the full width). It routes the menu commands (the
// tree first, then the frame, then the application), answers the tray icon and clicks on
// the sliding notice, and closing it only hides it: only Exit ends the program. Where the
// desktop has no tray, closing minimises instead, so that the window stays reachable.
//
// The caption is "<document title> - Orvane". User-interface thread only.
class CMainFrame : public CNewPersistSDIFrame {
public:
    CMainFrame(ClientApp& app, Skin& skin, wxConfigBase& profile);
    ~CMainFrame() override;

    // Builds the bars and the menu; false when a bar cannot be made. The call bar's host is
    // the voice module; without one (setCallBarHost not called) the bar can place no call.
    bool create();
    void setCallBarHost(CallBarHost* host) { callHost_ = host; }

    CChatwynDoc& document() { return *document_; }
    CChatwynView& view() { return *view_; }
    CActionsBar& actionsBar() { return *actionsBar_; }
    CAudioBar& audioBar() { return *audioBar_; }
    // The application's sliding notice, owned by this window.
    CTaskbarNotifier& notifier() { return *notifier_; }

    // Whether a tray icon stands for the program now; without one, closing minimises.
    std::function<bool()> hasTray;
    bool isExiting() const { return exiting_; }

    // The tray icon's mouse action (a TrayMouse value); answers whether it was handled.
    bool OnTrayNotify(int iconId, long mouseMessage);
    // A click on the sliding notice: the module's window, or the main window without one.
    void OnNotifierClick(IModule* module, WindowHandle window);
    // Show and restore.
    void OnOpen();
    // Exit: the program ends.
    void OnAppExit();

    // The popup of a tray right-click, at the pointer; a seam for tests, which choose for
    // the person. Answers the chosen command's wx id or wxID_NONE.
    std::function<int(wxMenu& menu)> trackTrayMenu;

    // The application's commands that the frame does not handle itself (the dialogs of the
    // account commands); answers whether it handled the command.
    std::function<bool(int command)> appCommand;

    // Asks for a file to open (save false) or a name to save under (save true, proposing
    // `proposed`); empty when the user cancelled. A seam for tests, which choose for the person.
    std::function<wxString(bool save, const wxString& proposed)> chooseFile;

    // The Actions popup of the main menu, inserted before the last top-level item.
    void setActionsMenu(std::unique_ptr<wxMenu> actions);

    // The rectangle a first start opens at: a column 220 wide and 550 high at the right
    // edge of a desktop of the size, centred vertically.
    static wxRect defaultRect(const wxSize& desktop);

private:
    void onClose(wxCloseEvent& event);
    void onMenu(wxCommandEvent& event);
    void onUpdateUi(wxUpdateUIEvent& event);
    void onSize(wxSizeEvent& event);
    void onIdle(wxIdleEvent& event);
    // The command, routed; false when nothing handles it.
    bool dispatch(int command);
    // Whether the command is enabled; false in `handled` when nothing knows it.
    bool isEnabled(int command, bool& handled);
    bool signedIn() const;
    void layoutChildren();
    // Keeps the menu bar out of the layout until the window is first mapped.
    void joinMenuBarWhenMapped();
    void onFirstMap();
    void newDocument();
    void openDocument();
    void saveDocument();
    wxString askForFile(bool save, const wxString& proposed);
    void setCaption(const wxString& title);

    ClientApp& app_;
    Skin& skin_;
    wxConfigBase& profile_;
    std::unique_ptr<CChatwynDoc> document_;
    CChatwynView* view_ = nullptr;
    CActionsBar* actionsBar_ = nullptr;
    CAudioBar* audioBar_ = nullptr;
    CallBarHost* callHost_ = nullptr;
    CTaskbarNotifier* notifier_ = nullptr;
    std::unique_ptr<wxFileHistory> recentFiles_;
    bool exiting_ = false;
    bool menuBarPending_ = false;
    unsigned long mapHandler_ = 0;
};

} // namespace orvane
