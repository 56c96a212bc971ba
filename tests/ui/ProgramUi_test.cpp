// The program's user interface as the core reaches it, in what it hands to modules.

#include "core/module/ModuleBase.h"
#include "ui/ProgramUi.h"

#include <gtest/gtest.h>
#include <wx/event.h>

using namespace orvane;

namespace {

// A module that keeps what it is offered of the loop's messages.
class ListeningModule : public ModuleBase {
public:
    bool init(IModuleHost*) override { return true; }
    void shutdown() override {}
    const char* getId() override { return "Chat"; }
    const char* getName() override { return "Chat"; }
    const char* getVersion() override { return "1.0"; }
    const char* getDisplayName() override { return "Chat"; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return ""; }
    void actOn(IContact*) override {}
    void onIncomingConnection(IContact*, IModuleConnection* connection) override { connection->close(); }
    bool preTranslateMessage(UiMessage* message) override
    {
        ++offered;
        const auto* event = static_cast<const wxEvent*>(message);
        closeRequest = event && event->GetEventType() == wxEVT_CLOSE_WINDOW;
        windowless = event && !event->GetEventObject() && event->GetId() == 0;
        // Consuming it changes nothing: the answer is not looked at.
        return true;
    }

    int offered = 0;
    bool closeRequest = false;
    bool windowless = false;
};

} // namespace

TEST(ProgramUi, AModuleAskedToCloseGetsOneCloseRequestOfNoWindow)
{
    ProgramUi ui;
    ListeningModule module;
    ui.askModuleToClose(module);
    EXPECT_EQ(module.offered, 1);
    EXPECT_TRUE(module.closeRequest);
    EXPECT_TRUE(module.windowless);
}
