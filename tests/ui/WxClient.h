#pragma once

// A real application whose user-interface thread is the window tests' own: ClientApp with a
// recording user interface whose contact-view refreshes reach a document, wx's port to the
// thread, and modules of the test's own; the skin of the installation's config.ini; the
// message boxes answered.

#include "foundation/XmlNode.h"
#include "tests/core/ClientTestSupport.h"
#include "ui/CChatwynDoc.h"
#include "ui/WxUiThreadPort.h"
#include "ui/kit/Skin.h"

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane::testing {

// A module with an Actions item (when it has a display name) and, when given a picture, an
// action-bar button; it accepts whom the test says and records whom it acted on.
class ActionModule : public ProbeModule {
public:
    ActionModule(LineLog& log, const std::string& id, std::string displayName)
        : ProbeModule(log, id), displayName_(std::move(displayName))
    {
    }

    // The module's picture; an invalid one means the module has none.
    wxBitmap bitmap;
    // Unset: the modules' default, an online contact.
    std::optional<bool> accepts;
    // The ids of the contacts acted on, "-" for none.
    std::vector<std::string> acted;

    const char* getDisplayName() override { return displayName_.c_str(); }
    BitmapHandle getBitmap() override { return bitmap.IsOk() ? &bitmap : nullptr; }
    bool canActOn(IContact* contact) override { return accepts ? *accepts : ProbeModule::canActOn(contact); }
    void actOn(IContact* contact) override { acted.push_back(contact ? contact->getId() : "-"); }

private:
    std::string displayName_;
};

// A picture of one colour with a key-coloured frame, as the module libraries draw theirs.
inline wxBitmap modulePicture(const wxColour& colour, int size = 32)
{
    wxBitmap bitmap(size, size, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(255, 0, 255)));
    dc.Clear();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colour));
    dc.DrawEllipse(4, 4, size - 8, size - 8);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

// The recording user interface, whose refreshes of the contact views go on to a document.
class ViewUi : public RecordingUi {
public:
    using RecordingUi::RecordingUi;
    CChatwynDoc* doc = nullptr;

    void refreshContactViews(ContactRecord* hint) override
    {
        RecordingUi::refreshContactViews(hint);
        if (doc)
            doc->UpdateAllViews(hint);
    }
};

// The installation's colour scheme.
inline void loadInstalledSkin(Skin& skin)
{
    XmlNode config;
    if (config.loadFile(ORVANE_RESOURCES_DIR "/config.ini"))
        skin.load(*config.childOrEmpty("skin"));
}

// One application on the window tests' thread, not started.
struct WxClient {
    explicit WxClient(const std::string& serverUrl = "http://127.0.0.1:1/")
        : folders(serverUrl),
          runtime("ORVANE_RUNTIME_DIR", folders.runtimeDir.c_str()),
          registry("ORVANE_REGISTRY_DIR", folders.registryDir.c_str())
    {
        ClientAppOptions options;
        options.programFolder = (folders.programFolder + "/").c_str();
        options.configHome = folders.configHome.c_str();
        app = std::make_unique<ClientApp>(ui, port, options);
        port.setMessageHandler([this](int id, intptr_t wParam, intptr_t lParam) {
            if (app)
                app->onThreadMessage(id, wParam, lParam);
        });
    }

    ~WxClient()
    {
        if (started)
            app->exitInstance();
        app.reset();
        // What the threads posted before they stopped still names the port and this object.
        wxTheApp->ProcessPendingEvents();
    }

    // A module the application registers as built-in, after those added before.
    ActionModule& addModule(const std::string& id, const std::string& displayName, const wxColour& picture = wxColour())
    {
        modules.push_back(std::make_unique<ActionModule>(log, id, displayName));
        if (picture.IsOk())
            modules.back()->bitmap = modulePicture(picture);
        return *modules.back();
    }

    // The modules and the Actions list as start-up makes them, without starting anything.
    void registerModules()
    {
        for (const auto& module : modules)
            app->addBuiltinModule(module.get());
        app->buildActionsMenu();
    }

    // Start-up: the system module, then the test's modules; the link signs in.
    bool start()
    {
        std::vector<IModule*> builtins;
        for (const auto& module : modules)
            builtins.push_back(module.get());
        app->setBuiltinModules(builtins);
        started = app->initInstance();
        return started;
    }

    // A record through the application's contact API.
    ContactRecord& contact(const char* id, const char* userName, int status, bool listed = true)
    {
        ContactRecord& record = *app->addContact(id);
        record.userName = userName;
        record.status = status;
        record.listed = listed;
        return record;
    }

    ClientFolders folders;
    ScopedEnv runtime;
    ScopedEnv registry;
    LineLog log;
    ViewUi ui{log};
    WxUiThreadPort port;
    std::vector<std::unique_ptr<ActionModule>> modules;
    std::unique_ptr<ClientApp> app;
    bool started = false;
};

// Answers every modal dialog with one answer while it exists, and keeps what the message
// boxes asked.
class BoxAnswers : public wxModalDialogHook {
public:
    struct Box {
        wxString caption;
        wxString text;
        long style;
    };

    explicit BoxAnswers(int answer) : answer_(answer) { Register(); }
    ~BoxAnswers() override { Unregister(); }

    std::vector<Box> shown;

protected:
    int Enter(wxDialog* dialog) override
    {
        if (const auto* box = dynamic_cast<wxMessageDialogBase*>(dialog))
            shown.push_back(Box{box->GetCaption(), box->GetMessage(), box->GetMessageDialogStyle()});
        else
            shown.push_back(Box{dialog->GetTitle(), wxString(), 0});
        return answer_;
    }

private:
    int answer_;
};

} // namespace orvane::testing
