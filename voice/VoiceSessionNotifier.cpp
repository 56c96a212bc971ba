#include "voice/VoiceSessionNotifier.h"

#include "core/app/ThreadMessages.h"
#include "core/app/UiThreadPort.h"

#include <utility>

namespace orvane {

VoiceSessionNotifier::VoiceSessionNotifier(UiThreadPort& port, std::function<void(const char*)> statusText)
    : port_(port), statusText_(std::move(statusText))
{
}

VoiceSessionNotifier::~VoiceSessionNotifier() = default;

void VoiceSessionNotifier::notifyStarted(unsigned call)
{
    port_.post(ThreadMessage::VoiceStarted, static_cast<intptr_t>(call), 0);
}

void VoiceSessionNotifier::notifyEnded(unsigned call)
{
    port_.post(ThreadMessage::VoiceEnded, static_cast<intptr_t>(call), 0);
}

void VoiceSessionNotifier::notifyInputLevel(int, int level)
{
    port_.post(ThreadMessage::VoiceLevelIn, level, level);
}

void VoiceSessionNotifier::notifyOutputLevel(int, int level)
{
    port_.post(ThreadMessage::VoiceLevelOut, level, level);
}

void VoiceSessionNotifier::setStatusText(const char* text)
{
    if (statusText_)
        statusText_(text);
}

} // namespace orvane
