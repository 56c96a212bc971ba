#include "audio/AlsaMixer.h"

#include "audio/AlsaAudioDevice.h"

#include <alsa/asoundlib.h>

#include <algorithm>

namespace orvane {

namespace {

String alsaError(const char* what, const String& device, int code)
{
    String text;
    text.format("%s (%s): %s", what, device.c_str(), snd_strerror(code));
    return text;
}

} // namespace

MixerControl::~MixerControl() = default;
AudioMixer::~AudioMixer() = default;

std::unique_ptr<AudioMixer> AudioMixer::open(const AudioDeviceChoice& choice, String* errorText)
{
    if (choice.kind != AudioDeviceChoice::Kind::Alsa) {
        if (errorText)
            *errorText = "no mixer for " + choice.describe();
        return nullptr;
    }
    return AlsaMixer::open(choice.target, errorText);
}

struct AlsaMixer::Handle {
    snd_mixer_t* mixer = nullptr;
    ~Handle()
    {
        if (mixer)
            snd_mixer_close(mixer);
    }
};

class AlsaMixer::Control : public MixerControl {
public:
    Control(snd_mixer_elem_t* element, MixerLine line) : element_(element), line_(line)
    {
        const bool playback = line == MixerLine::Speakers;
        name_ = snd_mixer_selem_get_name(element);
        if (playback)
            snd_mixer_selem_get_playback_volume_range(element, &minimum_, &maximum_);
        else
            snd_mixer_selem_get_capture_volume_range(element, &minimum_, &maximum_);
        const bool mono =
            playback ? snd_mixer_selem_is_playback_mono(element) : snd_mixer_selem_is_capture_mono(element);
        // A joined volume moves every channel at once: one value stands for all of them.
        const bool joined = playback ? snd_mixer_selem_has_playback_volume_joined(element)
                                     : snd_mixer_selem_has_capture_volume_joined(element);
        if (mono || joined) {
            uniform_ = true;
            channels_.push_back(SND_MIXER_SCHN_MONO);
        } else {
            for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
                const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
                if (playback ? snd_mixer_selem_has_playback_channel(element, channel)
                             : snd_mixer_selem_has_capture_channel(element, channel))
                    channels_.push_back(channel);
            }
            if (channels_.empty())
                channels_.push_back(SND_MIXER_SCHN_MONO);
        }
        snd_mixer_elem_set_callback_private(element, this);
        snd_mixer_elem_set_callback(element, &Control::onElementEvent);
    }

    ~Control() override
    {
        if (element_)
            snd_mixer_elem_set_callback(element_, nullptr);
    }

    const String& name() const override { return name_; }
    MixerLine line() const override { return line_; }
    int channelCount() const override { return static_cast<int>(channels_.size()); }
    long minimum() const override { return minimum_; }
    long maximum() const override { return maximum_; }
    long steps() const override { return maximum_ - minimum_; }

    bool read(std::vector<long>& values) override
    {
        if (!element_)
            return false;
        values.assign(channels_.size(), 0);
        for (size_t i = 0; i < channels_.size(); ++i) {
            const int rc = line_ == MixerLine::Speakers
                               ? snd_mixer_selem_get_playback_volume(element_, channels_[i], &values[i])
                               : snd_mixer_selem_get_capture_volume(element_, channels_[i], &values[i]);
            if (rc < 0)
                return false;
        }
        return true;
    }

    bool write(const std::vector<long>& values) override
    {
        if (!element_ || values.empty())
            return false;
        const bool playback = line_ == MixerLine::Speakers;
        if (uniform_) {
            const long value = std::clamp(values[0], minimum_, maximum_);
            return (playback ? snd_mixer_selem_set_playback_volume_all(element_, value)
                             : snd_mixer_selem_set_capture_volume_all(element_, value)) >= 0;
        }
        const size_t count = std::min(values.size(), channels_.size());
        for (size_t i = 0; i < count; ++i) {
            const long value = std::clamp(values[i], minimum_, maximum_);
            const int rc = playback ? snd_mixer_selem_set_playback_volume(element_, channels_[i], value)
                                    : snd_mixer_selem_set_capture_volume(element_, channels_[i], value);
            if (rc < 0)
                return false;
        }
        return true;
    }

    // Set by the element callback during handleEvents, cleared when reported.
    bool changed = false;

private:
    static int onElementEvent(snd_mixer_elem_t* element, unsigned int mask)
    {
        auto* self = static_cast<Control*>(snd_mixer_elem_get_callback_private(element));
        if (!self)
            return 0;
        if (mask == SND_CTL_EVENT_MASK_REMOVE) {
            // The element is freed after this: the control keeps no pointer to it.
            self->element_ = nullptr;
            self->changed = true;
            return 0;
        }
        if (mask & SND_CTL_EVENT_MASK_VALUE)
            self->changed = true;
        return 0;
    }

    snd_mixer_elem_t* element_;
    MixerLine line_;
    String name_;
    long minimum_ = 0;
    long maximum_ = 0;
    bool uniform_ = false;
    std::vector<snd_mixer_selem_channel_id_t> channels_;
};

AlsaMixer::AlsaMixer(const String& device, std::unique_ptr<Handle> handle)
    : device_(device), handle_(std::move(handle))
{
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);

    snd_mixer_selem_id_set_name(id, SpeakersElement);
    snd_mixer_elem_t* element = snd_mixer_find_selem(handle_->mixer, id);
    if (element && snd_mixer_selem_has_playback_volume(element))
        speakers_ = std::make_unique<Control>(element, MixerLine::Speakers);

    snd_mixer_selem_id_set_name(id, MicrophoneElement);
    element = snd_mixer_find_selem(handle_->mixer, id);
    if (element && snd_mixer_selem_has_capture_volume(element))
        microphone_ = std::make_unique<Control>(element, MixerLine::Microphone);
}

AlsaMixer::~AlsaMixer()
{
    // The controls unhook their callbacks before the mixer (and its elements) goes.
    speakers_.reset();
    microphone_.reset();
}

std::unique_ptr<AlsaMixer> AlsaMixer::open(const String& device, String* errorText)
{
    silenceAlsaOnce();
    auto handle = std::make_unique<Handle>();
    int rc = snd_mixer_open(&handle->mixer, 0);
    if (rc < 0) {
        handle->mixer = nullptr;
        if (errorText)
            *errorText = alsaError("cannot open a mixer", device, rc);
        return nullptr;
    }
    // The control device without blocking: handleEvents reads notices until none is left
    // and must never wait for the next.
    snd_hctl_t* hctl = nullptr;
    rc = snd_hctl_open(&hctl, device.c_str(), SND_CTL_NONBLOCK);
    if (rc < 0) {
        if (errorText)
            *errorText = alsaError("cannot open the mixer's control device", device, rc);
        return nullptr;
    }
    rc = snd_mixer_attach_hctl(handle->mixer, hctl);
    if (rc < 0) {
        // A refused attach has already closed the control.
        if (errorText)
            *errorText = alsaError("cannot attach the mixer", device, rc);
        return nullptr;
    }
    rc = snd_mixer_selem_register(handle->mixer, nullptr, nullptr);
    if (rc >= 0)
        rc = snd_mixer_load(handle->mixer);
    if (rc < 0) {
        if (errorText)
            *errorText = alsaError("cannot load the mixer's elements", device, rc);
        return nullptr;
    }
    return std::unique_ptr<AlsaMixer>(new AlsaMixer(device, std::move(handle)));
}

MixerControl* AlsaMixer::control(MixerLine line)
{
    return line == MixerLine::Speakers ? static_cast<MixerControl*>(speakers_.get()) : microphone_.get();
}

std::vector<pollfd> AlsaMixer::pollDescriptors()
{
    std::vector<pollfd> fds;
    const int count = snd_mixer_poll_descriptors_count(handle_->mixer);
    if (count <= 0)
        return fds;
    fds.resize(static_cast<size_t>(count));
    const int filled = snd_mixer_poll_descriptors(handle_->mixer, fds.data(), static_cast<unsigned>(count));
    fds.resize(static_cast<size_t>(std::max(0, filled)));
    return fds;
}

std::vector<MixerControl*> AlsaMixer::handleEvents()
{
    snd_mixer_handle_events(handle_->mixer);
    std::vector<MixerControl*> changed;
    for (Control* control : {speakers_.get(), microphone_.get()}) {
        if (control && control->changed) {
            control->changed = false;
            changed.push_back(control);
        }
    }
    return changed;
}

} // namespace orvane
