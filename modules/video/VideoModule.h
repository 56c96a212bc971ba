#pragma once

#include "core/module/ModuleBase.h"

#include <memory>

class wxBitmap;

namespace orvane {

class CVideoApp;

// The video library's module: one-to-one video conversations, one window per contact, over
// a TCP channel each. Everything it does it hands to the library's application object.
// User-interface thread only.
class VideoModule final : public ModuleBase {
public:
    explicit VideoModule(CVideoApp& app) : app_(app) {}
    ~VideoModule() override;

    bool init(IModuleHost* host) override;
    void shutdown() override;
    const char* getId() override { return "video"; }
    const char* getName() override { return "Video Module"; }
    const char* getVersion() override { return "1.0"; }
    const char* getDisplayName() override { return "Video chat"; }
    BitmapHandle getBitmap() override;
    const char* getDescription() override { return "Video Conversation"; }
    void onSignedOut() override;
    void actOn(IContact* contact) override;
    void onIncomingConnection(IContact* contact, IModuleConnection* connection) override;
    void showWindow(WindowHandle window) override;

private:
    CVideoApp& app_;
    std::unique_ptr<wxBitmap> bitmap_;
};

} // namespace orvane
