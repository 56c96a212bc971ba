#pragma once

#include "core/module/ModuleInterfaces.h"
#include "foundation/String.h"

#include <cstdint>
#include <vector>

namespace orvane {

class ClientApp;
class ContactRecord;

// Everything the core shows or plays, as one narrow interface: the program implements it
// with its windows, tests and the headless client by recording what was asked. The core
// decides every text, sound, order and condition; an implementation only shows. Every
// operation is called on the user-interface thread.
class ClientUi {
public:
    // None: a plain box with no picture.
    enum class Icon { Stop, Warning, Information, None };

    virtual ~ClientUi();

    // Start-up: the main window with its view and bars, the tray icon, the hidden sign-in
    // progress panel; the main window shown. False ends the start-up.
    virtual bool createWindows(ClientApp& app) = 0;
    // The Actions menu, built once at start-up: each item's text and command id.
    struct ActionItem {
        String text;
        int commandId;
    };
    virtual void setActionsMenu(const std::vector<ActionItem>& items) = 0;
    // What the account dialog answers in its change-details mode (UTF-8).
    struct AccountDetails {
        String userName;
        String password;
        String firstName;
        String lastName;
        String email;
        String webSite;
    };
    // The account dialog in its change-details mode; true with the values when confirmed.
    // Without such a dialog nothing is changed.
    virtual bool askForDetails(AccountDetails& details)
    {
        (void)details;
        return false;
    }

    // A question box with Yes and No (information icon); true for Yes. Without such a box
    // the answer is No.
    virtual bool askYesNo(const String& text)
    {
        (void)text;
        return false;
    }
    // A modal message box.
    virtual void showMessageBox(const String& text, Icon icon) = 0;
    // The sign-in dialog. True with its values when the user confirmed.
    virtual bool askForSignIn(String& userName, String& password, bool& makeDefault) = 0;
    // Plays an existing sound file without waiting; a new sound cuts off the one before.
    virtual void playSound(const String& path) = 0;
    // The sliding notice. A click on a clickable notice ends in module's showWindow (window).
    virtual void showNotice(const String& text, IModule* module, WindowHandle window, bool clickable) = 0;
    virtual void showProgressPanel() = 0;
    virtual void hideProgressPanel() = 0;
    virtual void showProgressText(const String& text) = 0;
    // The document's title, which the main window shows in its caption.
    virtual void setDocumentTitle(const String& title) = 0;
    // The status line (the call bar's status label).
    virtual void showStatusText(const String& text) = 0;
    // The contact views: hint is the record that changed, NULL for everything.
    virtual void refreshContactViews(ContactRecord* hint) = 0;
    // Ends the call bar's voice session, if any.
    virtual void stopVoiceSession() = 0;
    // Hands the module, through IModule::preTranslateMessage, a close request of the
    // user-interface loop that names no window and carries nothing else, asking it to close
    // its windows; its answer is ignored. Without windows there is no loop message to hand
    // over, and nothing is asked.
    virtual void askModuleToClose(IModule& module) { (void)module; }
    // The colour scheme handed to modules; NULL without windows.
    virtual ISkin* skin() = 0;
    // Thread messages for the windows (voice, levels, update) that the core passes on.
    virtual void onWindowMessage(int id, intptr_t wParam, intptr_t lParam) = 0;
};

} // namespace orvane
