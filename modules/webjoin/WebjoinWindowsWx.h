#pragma once

#include "modules/webjoin/SessionWindow.h"

#include <functional>

class wxConfigBase;

namespace orvane {

class ISkin;

// The session windows on wx: a CChildFrame per session, wx's message box for warnings.
// onClosed is handed to every window (see CChildFrame); the windows keep their placement
// in the profile, which must outlive them. User-interface thread only.
class WebjoinWindowsWx final : public WebjoinWindows {
public:
    WebjoinWindowsWx(ISkin& skin, wxConfigBase& profile, std::function<void(CWebjoinDoc&)> onClosed);

    SessionWindow* openSessionWindow(CWebjoinDoc& doc) override;
    void showWarning(const std::string& text) override;
    void bringUp(WindowHandle window) override;
    // Enter in the address box is the box's own event: nothing to take from the loop.
    bool preTranslate(UiMessage*) override { return false; }

private:
    ISkin& skin_;
    wxConfigBase& profile_;
    std::function<void(CWebjoinDoc&)> onClosed_;
};

} // namespace orvane
