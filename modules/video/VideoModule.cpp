#include "modules/video/VideoModule.h"

#include "foundation/DynamicLibrary.h"
#include "modules/video/CVideoApp.h"
#include "modules/video/VideoImages.h"
#include "resources/ResourceIds.h"
#include "ui/kit/ResourceBitmaps.h"

#include <wx/bitmap.h>

#include <string>
#include <vector>

namespace orvane {

namespace {

// The folder of this library file, ending with '/'.
std::string libraryFolder()
{
    return folderOfLoadedFile(reinterpret_cast<const void*>(&libraryFolder));
}

// The library's application object, made when the library is loaded and gone when it is
// unloaded. The program has shut the module down by then, so it holds no window or thread.
CVideoApp theApp(libraryFolder());

// createModule makes a module on each call; they all go with the library.
std::vector<std::unique_ptr<VideoModule>> modules;

} // namespace

VideoModule::~VideoModule() = default;

bool VideoModule::init(IModuleHost* host)
{
    registerVideoImages();
    app_.Init(host);
    return host != nullptr;
}

void VideoModule::shutdown()
{
    app_.Shutdown();
    bitmap_.reset();
}

BitmapHandle VideoModule::getBitmap()
{
    if (!bitmap_) {
        registerVideoImages();
        wxBitmap picture = resourceBitmap(video::BitmapVideoButton);
        if (!picture.IsOk())
            return nullptr;
        bitmap_ = std::make_unique<wxBitmap>(picture);
    }
    return bitmap_.get();
}

void VideoModule::onSignedOut()
{
    app_.ForgetContacts();
}

void VideoModule::actOn(IContact* contact)
{
    app_.OpenSession(contact);
}

void VideoModule::onIncomingConnection(IContact* contact, IModuleConnection* connection)
{
    app_.OnIncomingSession(contact, connection);
}

void VideoModule::showWindow(WindowHandle window)
{
    app_.ShowWindow(window);
}

static VideoModule* newModule()
{
    modules.push_back(std::make_unique<VideoModule>(theApp));
    return modules.back().get();
}

} // namespace orvane

extern "C" ORVANE_MODULE_API orvane::IModule* createModule()
{
    return orvane::newModule();
}
