#pragma once

#include "core/module/ModuleInterfaces.h"

#include <string>

namespace orvane {

class CWebjoinDoc;

// The window side of one session, as the session logic sees it. The window belongs to the
// toolkit; when it goes away it tells the application (CWebjoinApp::CloseSession), which
// then drops the session's document.
class SessionWindow {
public:
    virtual ~SessionWindow() = default;
    // The peer asked for url: show it without reporting it back.
    virtual void navigateFromPeer(const std::string& url) = 0;
    // What a notice click hands back through IModule::showWindow.
    virtual WindowHandle handle() = 0;
};

// Makes the windows and asks the user; the toolkit's side of the application object.
class WebjoinWindows {
public:
    virtual ~WebjoinWindows() = default;
    // A shown window titled after the contact for doc, or nullptr when it cannot be made.
    virtual SessionWindow* openSessionWindow(CWebjoinDoc& doc) = 0;
    // A box with the exclamation icon.
    virtual void showWarning(const std::string& text) = 0;
    // Restores and raises window (a handle from SessionWindow::handle).
    virtual void bringUp(WindowHandle window) = 0;
    // Hands Enter in a session's address bar to its Go; true when it did.
    virtual bool preTranslate(UiMessage* message) = 0;
};

} // namespace orvane
