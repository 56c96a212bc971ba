#include "voice/AppVoiceServices.h"

#include "core/app/ClientApp.h"

namespace orvane {

void AppVoiceServices::setStatusText(const char* text)
{
    app_.setStatusText(text);
}

void AppVoiceServices::notify(const String& text)
{
    app_.notify(text.c_str(), nullptr);
}

void AppVoiceServices::messageBox(const String& text)
{
    app_.ui().showMessageBox(text, ClientUi::Icon::None);
}

void AppVoiceServices::startRing(const String& path, int64_t periodMs)
{
    app_.ringPlayer().start(path.c_str(), periodMs);
}

void AppVoiceServices::stopRing()
{
    app_.ringPlayer().stop();
}

bool AppVoiceServices::isRinging()
{
    return app_.ringPlayer().isPlaying();
}

String AppVoiceServices::programFolder()
{
    return app_.paths().programFolder;
}

void AppVoiceServices::post(int message, intptr_t wParam)
{
    port_.post(message, wParam, 0);
}

} // namespace orvane
