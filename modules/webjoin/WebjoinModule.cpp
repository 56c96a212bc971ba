#include "modules/webjoin/WebjoinModule.h"

#include "foundation/DynamicLibrary.h"
#include "foundation/Paths.h"
#include "foundation/RegistryKey.h"
#include "modules/webjoin/CChildFrame.h"
#include "modules/webjoin/CWebjoinApp.h"
#include "modules/webjoin/WebjoinImages.h"
#include "modules/webjoin/WebjoinWindowsWx.h"
#include "resources/ResourceIds.h"
#include "ui/kit/ResourceBitmaps.h"

#include <wx/bitmap.h>
#include <wx/fileconf.h>

#include <string>

namespace orvane {

namespace {

// The folder of this library file, ending with '/'.
std::string libraryFolder()
{
    return folderOfLoadedFile(reinterpret_cast<const void*>(&libraryFolder));
}

// The library's profile: beside the store of the modules' registry key, a file of its own
// for the library ("Webjoin" below the modules' key).
std::unique_ptr<wxFileConfig> openProfile()
{
    const String folder = RegistryKey::storeFolder();
    // A profile that cannot be written would complain in a box at every save.
    makeDirectories(folder.c_str());
    const wxString file = wxString::FromUTF8(folder.c_str()) + "/webjoin-profile.ini";
    return std::make_unique<wxFileConfig>("Webjoin", wxEmptyString, file, wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
}

} // namespace

WebjoinModule::WebjoinModule() = default;
WebjoinModule::~WebjoinModule() = default;

bool WebjoinModule::init(IModuleHost* host)
{
    host_ = host;
    if (!host_ || !host_->getSkin())
        return false;
    registerWebjoinImages();
    profile_ = openProfile();
    windows_ = std::make_unique<WebjoinWindowsWx>(*host_->getSkin(), *profile_, [this](CWebjoinDoc& doc) {
        if (app_)
            app_->CloseSession(doc);
    });
    app_ = std::make_unique<CWebjoinApp>(*host_, *windows_, libraryFolder());
    return true;
}

void WebjoinModule::shutdown()
{
    if (!app_)
        return;
    // Windows deleted now, not at the next idle time: after shutdown there may be none, and
    // the library's code must not run after the program let it go.
    while (!app_->sessions().empty()) {
        auto* frame = static_cast<CChildFrame*>(app_->sessions().back()->frame());
        delete frame; // its destructor closes the session
    }
    app_.reset();
    windows_.reset();
    profile_.reset();
    bitmap_.reset();
}

BitmapHandle WebjoinModule::getBitmap()
{
    if (!bitmap_) {
        registerWebjoinImages();
        wxBitmap picture = resourceBitmap(webjoin::BitmapWebjoinButton);
        if (!picture.IsOk())
            return nullptr;
        bitmap_ = std::make_unique<wxBitmap>(picture);
    }
    return bitmap_.get();
}

void WebjoinModule::actOn(IContact* contact)
{
    if (app_ && contact)
        app_->StartSession(*contact);
}

void WebjoinModule::onIncomingConnection(IContact*, IModuleConnection* connection)
{
    // No peer channels: everything goes through module messages.
    if (connection)
        connection->close();
}

void WebjoinModule::onMessage(IContact* sender, const char* data)
{
    if (app_)
        app_->OnModuleData(sender, data);
}

void WebjoinModule::onSignedIn()
{
    if (app_)
        app_->OnSignedIn();
}

void WebjoinModule::onContactAdded(IContact* contact)
{
    if (app_)
        app_->OnContactAdded(contact);
}

void WebjoinModule::onContactRemoved(IContact* contact)
{
    if (app_)
        app_->OnContactRemoved(contact);
}

bool WebjoinModule::preTranslateMessage(UiMessage* message)
{
    return app_ && app_->PreTranslateMessage(message);
}

void WebjoinModule::showWindow(WindowHandle window)
{
    if (!app_ || !window)
        return;
    // A notice may outlive its window: only a window still open is brought up.
    for (const auto& doc : app_->sessions()) {
        if (doc->frame() && doc->frame()->handle() == window) {
            windows_->bringUp(window);
            return;
        }
    }
}

} // namespace orvane

extern "C" ORVANE_MODULE_API orvane::IModule* createModule()
{
    // The module lives as long as the library; the program never deletes it.
    static orvane::WebjoinModule module;
    return &module;
}
