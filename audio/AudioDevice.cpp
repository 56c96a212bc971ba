#include "audio/AudioDevice.h"

#include "audio/AlsaAudioDevice.h"
#include "audio/FileAudioDevice.h"

#include <cstdlib>
#include <cstring>

namespace orvane {

AudioDevice::~AudioDevice() = default;

void AudioDevice::setError(const char* text, int code)
{
    errorText_ = text ? text : "";
    errorCode_ = code;
}

AudioDeviceChoice AudioDeviceChoice::fromEnvironment()
{
    return parse(std::getenv(EnvironmentVariable));
}

AudioDeviceChoice AudioDeviceChoice::inputFromEnvironment()
{
    return parse(std::getenv(InputEnvironmentVariable));
}

AudioDeviceChoice AudioDeviceChoice::parse(const char* text)
{
    AudioDeviceChoice choice;
    if (!text || !*text || std::strcmp(text, "alsa") == 0)
        return choice;
    if (std::strncmp(text, "alsa:", 5) == 0 && text[5]) {
        choice.target = text + 5;
        return choice;
    }
    if (std::strncmp(text, "file:", 5) == 0 && text[5]) {
        choice.kind = Kind::File;
        choice.target = text + 5;
        return choice;
    }
    choice.kind = Kind::None;
    choice.target = "";
    return choice;
}

std::unique_ptr<AudioDevice> AudioDeviceChoice::create() const
{
    switch (kind) {
    case Kind::Alsa:
        return std::make_unique<AlsaAudioDevice>(target);
    case Kind::File: {
        FileAudioDevice::Settings settings;
        settings.path = target;
        settings.paced = paced;
        return std::make_unique<FileAudioDevice>(settings);
    }
    case Kind::None:
        break;
    }
    return nullptr;
}

String AudioDeviceChoice::describe() const
{
    switch (kind) {
    case Kind::Alsa:
        return "alsa:" + target;
    case Kind::File:
        return "file:" + target;
    case Kind::None:
        break;
    }
    return "none";
}

} // namespace orvane
