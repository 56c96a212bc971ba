#pragma once

#include "core/module/ModuleBase.h"

#include <memory>

class wxBitmap;
class wxFileConfig;

namespace orvane {

class CWebjoinApp;
class WebjoinWindowsWx;

// The webjoin library's module: shared browsing with one contact per window. It opens no
// peer channel (an offered one is closed at once) and talks only through module messages.
// The sessions and their windows live from init to shutdown; shutdown closes every window.
// User-interface thread only; it starts no thread.
class WebjoinModule final : public ModuleBase {
public:
    WebjoinModule();
    ~WebjoinModule() override;

    bool init(IModuleHost* host) override;
    void shutdown() override;
    const char* getId() override { return "Webjoin"; }
    const char* getName() override { return "Webjoin"; }
    const char* getVersion() override { return "1.0"; }
    const char* getDisplayName() override { return "Webjoin"; }
    BitmapHandle getBitmap() override;
    const char* getDescription() override { return "Webjoin Module"; }
    void actOn(IContact* contact) override;
    void onIncomingConnection(IContact* contact, IModuleConnection* connection) override;
    void onMessage(IContact* sender, const char* data) override;
    bool preTranslateMessage(UiMessage* message) override;
    void onSignedIn() override;
    void onContactAdded(IContact* contact) override;
    void onContactRemoved(IContact* contact) override;
    void showWindow(WindowHandle window) override;

    CWebjoinApp* app() { return app_.get(); }

private:
    IModuleHost* host_ = nullptr;
    // The library's profile (the session windows' placement); outlives the windows.
    std::unique_ptr<wxFileConfig> profile_;
    // Declared before the application: its windows tell the application when they close,
    // so the application goes first at teardown.
    std::unique_ptr<WebjoinWindowsWx> windows_;
    std::unique_ptr<CWebjoinApp> app_;
    std::unique_ptr<wxBitmap> bitmap_;
};

} // namespace orvane
