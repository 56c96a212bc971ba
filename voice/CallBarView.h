#pragma once

#include "foundation/String.h"
#include "voice/CallBarHost.h"

namespace orvane {

// What the voice module sees of the call bar: its call state, the peer of the call, its
// two labels and meters, and the main window it stands in. The program implements it with
// CAudioBar; the module's tests with a recording bar.
//
// setState keeps the bar's order: the new state is stored, CallBarHost::onStateChanged
// runs, then the buttons are refreshed. User-interface thread only.
class CallBarView {
public:
    virtual ~CallBarView() = default;

    virtual CallState state() const = 0;
    virtual void setState(CallState state) = 0;
    // The Talk and Hang-up buttons' commands.
    virtual void talk() = 0;
    virtual void hangUp() = 0;
    virtual void updateButtons() = 0;
    virtual IContact* currentContact() const = 0;
    virtual void setCurrentContact(IContact* contact) = 0;
    virtual void setStatusLabel(const String& text) = 0;
    virtual void setNameText(const String& text) = 0;
    // Both level meters back to 0.
    virtual void clearLevels() = 0;
    // The main window shown normally, in front, with the focus.
    virtual void bringToFront() = 0;
};

} // namespace orvane
