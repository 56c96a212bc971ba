#pragma once

#include "voice/VoiceServices.h"

namespace orvane {

class ClientApp;
class UiThreadPort;

// The voice module's services answered by the application object: its status text, its
// notice, the user interface's box, its ring player and its thread-message port.
class AppVoiceServices : public VoiceServices {
public:
    AppVoiceServices(ClientApp& app, UiThreadPort& port) : app_(app), port_(port) {}

    void setStatusText(const char* text) override;
    void notify(const String& text) override;
    void messageBox(const String& text) override;
    void startRing(const String& path, int64_t periodMs) override;
    void stopRing() override;
    bool isRinging() override;
    String programFolder() override;
    void post(int message, intptr_t wParam) override;

private:
    ClientApp& app_;
    UiThreadPort& port_;
};

} // namespace orvane
