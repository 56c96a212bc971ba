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
#include "voice/AppVoiceServices.h"
#include "voice/VoiceModule.h"
#include "voice/VoiceSessionRunner.h"

#include <wx/app.h>
#include <wx/image.h>

#include <cstdlib>
#include <memory>

namespace orvane {

class OrvaneApp : public wxApp {
public:
    // The program draws nothing with OpenGL, yet GTK opens it with the display to choose
    // visuals for it: on a machine without a graphics card that loads the software
    // renderer, the larger part of the start. Whoever sets GDK_GL has the last word.
    bool Initialize(int& count, wxChar** arguments) override
    {
        setenv("GDK_GL", "disable", 0);
        return wxApp::Initialize(count, arguments);
    }

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
        // The voice module, registered after the system module; its call bar owns the
        // session thread for the life of the main window.
        voiceServices_ = std::make_unique<AppVoiceServices>(*app_, port_);
        voice_ = std::make_unique<VoiceModule>(*voiceServices_);
        VoiceSessionThread::Settings session;
        session.showError = [this](const char* text) {
            if (app_)
                app_->ui().showMessageBox(text, ClientUi::Icon::None);
        };
        session.showOnlineStatus = [this] {
            if (app_)
                app_->showOnlineStatus();
        };
        sessions_ = std::make_unique<VoiceSessionRunner>(
            port_, [this] { return voice_->host(); },
            [this](const char* text) {
                if (app_)
                    app_->setStatusText(text);
            },
            std::move(session));
        voice_->setSession(sessions_.get());
        app_->setBuiltinModules({voice_.get()});
        ui_->setVoiceModule(voice_.get());
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
        // The session thread stopped with the main window; its channel goes before the
        // application that made it.
        if (voice_)
            voice_->setSession(nullptr);
        sessions_.reset();
        app_.reset();
        ui_.reset();
        return wxApp::OnExit();
    }

private:
    WxUiThreadPort port_;
    // Declared before the application, which keeps them registered until it goes.
    std::unique_ptr<AppVoiceServices> voiceServices_;
    std::unique_ptr<VoiceModule> voice_;
    std::unique_ptr<VoiceSessionRunner> sessions_;
    std::unique_ptr<ProgramUi> ui_;
    std::unique_ptr<ClientApp> app_;
    bool started_ = false;
};

} // namespace orvane

wxIMPLEMENT_APP(orvane::OrvaneApp);
