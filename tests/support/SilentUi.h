#pragma once

// A user interface that shows nothing and a port that delivers nothing, for code that drives
// the application's parts itself (the fuzz targets, the benchmarks). A refresh asks the
// record for its display name, as a view would, so that a stale record is touched.

#include "core/app/ClientUi.h"
#include "core/app/UiThreadPort.h"
#include "core/contacts/ContactRecord.h"

#include <functional>
#include <vector>

namespace orvane::testing {

class SilentUi : public ClientUi {
public:
    bool createWindows(ClientApp&) override { return true; }
    void setActionsMenu(const std::vector<ActionItem>&) override {}
    void showMessageBox(const String&, Icon) override {}
    bool askForSignIn(String&, String&, bool&) override { return false; }
    void playSound(const String&) override {}
    void showNotice(const String&, IModule*, WindowHandle, bool) override {}
    void showProgressPanel() override {}
    void hideProgressPanel() override {}
    void showProgressText(const String&) override {}
    void setDocumentTitle(const String&) override {}
    void showStatusText(const String&) override {}
    void refreshContactViews(ContactRecord* hint) override
    {
        if (hint)
            hint->getDisplayName();
    }
    void stopVoiceSession() override {}
    ISkin* skin() override { return nullptr; }
    void onWindowMessage(int, intptr_t, intptr_t) override {}
};

class SilentPort : public UiThreadPort {
public:
    void post(int, intptr_t, intptr_t) override {}
    void callAfter(std::function<void()>) override {}
};

} // namespace orvane::testing
