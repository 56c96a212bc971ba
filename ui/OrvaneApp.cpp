// orvane: the messenger program. The application object's start-up runs in the core
// (ClientApp::initInstance); this wx application gives it its windows (ProgramUi), its way
// to the user-interface thread (WxUiThreadPort) and the loop's hooks: every event is offered
// to the modules first, and the core's event queue runs whenever the loop is idle.
//
// ORVANE_PROGRAM_DIR, when set, is the folder of config.ini, account.ini, modules/ and
// sounds/ in place of the executable's own (tests and `make run` use it).

#include "updater/EmbeddedUpdater.h"
#include "core/app/ClientApp.h"
#include "ui/ProgramUi.h"
#include "ui/WxUiThreadPort.h"

#include <wx/app.h>
#include <wx/image.h>

#include <cstdlib>
#include <memory>

namespace orvane {

class OrvaneApp : public wxApp {
public:
    bool OnInit() override
    {
        wxInitAllImageHandlers();
        ClientAppOptions options;
        if (const char* folder = std::getenv("ORVANE_PROGRAM_DIR"); folder && *folder) {
            options.programFolder = folder;
            if (options.programFolder[options.programFolder.length() - 1] != '/')
                options.programFolder += "/";
        }
        ui_ = std::make_unique<ProgramUi>();
        options.updaterBytes = embeddedUpdater();
        options.updaterSize = embeddedUpdaterSize();
        app_ = std::make_unique<ClientApp>(*ui_, port_, options);
        port_.setMessageHandler([this](int id, intptr_t wParam, intptr_t lParam) {
            if (app_)
                app_->onThreadMessage(id, wParam, lParam);
        });
        Bind(wxEVT_IDLE, [this](wxIdleEvent& event) {
            if (app_ && started_)
                app_->onIdle();
            event.Skip();
        });
        if (!app_->initInstance()) {
            app_->exitInstance();
            return false;
        }
        started_ = true;
        return true;
    }

    int FilterEvent(wxEvent& event) override
    {
        // The modules see every event of the loop first, as a wxEvent*.
        if (started_ && app_ && app_->preTranslateMessage(&event))
            return Event_Processed;
        return Event_Skip;
    }

    int OnExit() override
    {
        started_ = false;
        if (app_)
            app_->exitInstance();
        app_.reset();
        ui_.reset();
        return wxApp::OnExit();
    }

private:
    WxUiThreadPort port_;
    std::unique_ptr<ProgramUi> ui_;
    std::unique_ptr<ClientApp> app_;
    bool started_ = false;
};

} // namespace orvane

wxIMPLEMENT_APP(orvane::OrvaneApp);
