#pragma once

// The common base of every module, built into each deliverable from this header alone
// (with the deliverable's own visibility: it never crosses the boundary as itself):
// it supplies the defaults of the operations a module may leave alone, so a module
// implements only init, shutdown, its texts and bitmap, actOn and onIncomingConnection.

#include "core/module/ModuleInterfaces.h"

namespace orvane {

class ModuleBase : public IModule {
public:
    const char* interfaceVersion() override { return "1.0"; }
    int getValue() override { return 0; }
    void reserved11(void*) override {}
    const char* reserved12() override { return ""; }
    void onSignedIn() override {}
    void onSignedOut() override {}
    void onContactStatusChanged(IContact*) override {}
    bool canActOn(IContact* contact) override { return contact && contact->isOnline(); }
    void onSessionMessage(IContact*, const char*, int, const char*) override {}
    void onMessage(IContact*, const char*) override {}
    void reserved21(void*, void*, void*) override {}
    void onContactAdded(IContact*) override {}
    void onContactRemoved(IContact*) override {}
    void onUiCallback(intptr_t) override {}
    bool preTranslateMessage(UiMessage*) override { return false; }
    void showWindow(WindowHandle) override {}
};

} // namespace orvane
