#include "voice/VoiceEngine.h"

#include "voice/VoiceLevels.h"

#include <cstdio>
#include <utility>

namespace orvane {

namespace {

void reportToStandardError(const char* text)
{
    std::fprintf(stderr, "orvane: voice: %s\n", text);
}

VoiceEngine::Settings completed(VoiceEngine::Settings settings)
{
    if (!settings.input) {
        const AudioDeviceChoice choice = AudioDeviceChoice::inputFromEnvironment();
        settings.input = [choice] { return choice.create(); };
    }
    if (!settings.output) {
        const AudioDeviceChoice choice = AudioDeviceChoice::fromEnvironment();
        settings.output = [choice] { return choice.create(); };
    }
    if (!settings.report)
        settings.report = reportToStandardError;
    return settings;
}

} // namespace

VoiceEngine::VoiceChannel::VoiceChannel(const Settings& settings) : player(settings.output, settings.report) {}

VoiceEngine::VoiceEngine() : VoiceEngine(Settings()) {}

VoiceEngine::VoiceEngine(Settings settings)
    : settings_(completed(std::move(settings))), recorder_(settings_.input, settings_.report)
{
    recorder_.setListener(&recordedListener_);
}

VoiceEngine::~VoiceEngine()
{
    closeAll();
}

void VoiceEngine::setMode(uint8_t mode)
{
    const VoiceMode m = VoiceMode::parse(mode);
    std::lock_guard<std::mutex> guard(lock_);
    encoder_.reset();
    decoder_.reset();
    encoder_ = m.createCodec();
    decoder_ = m.createCodec();
    bitsPerSample_ = m.bitsPerSample;
    sampleRate_ = m.sampleRate;
    if (m.samplesPerFrame > 0)
        samplesPerFrame_ = m.samplesPerFrame;
    recorder_.setFormat(bitsPerSample_, sampleRate_, samplesPerFrame_);
}

int VoiceEngine::createChannel()
{
    std::unique_lock<std::mutex> guard(lock_);
    int index = -1;
    for (int i = 0; i < slots_.load(); ++i)
        if (!channels_[static_cast<size_t>(i)]) {
            index = i;
            break;
        }
    if (index < 0) {
        if (slots_.load() >= MaxChannels)
            return -1;
        index = slots_.load();
    }
    auto channel = std::make_unique<VoiceChannel>(settings_);
    channel->player.setFormat(bitsPerSample_, sampleRate_, samplesPerFrame_);
    channel->player.setListener(&playerListener_);
    channel->player.setPacing(settings_.outputLeadMillis, settings_.outputMaxQueuedMillis);
    channel->player.open();
    channels_[static_cast<size_t>(index)] = std::move(channel);
    if (index == slots_.load())
        slots_.store(index + 1);
    return index;
}

void VoiceEngine::startRecording()
{
    recorder_.start();
}

void VoiceEngine::stopRecording()
{
    recorder_.stop();
}

std::shared_ptr<AudioCodec> VoiceEngine::encoder() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return encoder_;
}

void VoiceEngine::onRecorded(const void* data, int length)
{
    const int slots = slots_.load();
    const int bits = bitsPerSample();
    const std::shared_ptr<AudioCodec> codec = encoder();
    const uint8_t* frame = static_cast<const uint8_t*>(data);
    int frameLength = length;
    if (bits == 16) {
        const int16_t* samples = static_cast<const int16_t*>(data);
        if (codec) {
            codec->encode16(samples, length / 2, encoded_, false);
            frame = encoded_.data();
            frameLength = encoded_.count();
        }
        inputLevel_.store(level16(samples, length / 2));
    } else if (bits == 8) {
        if (codec) {
            codec->encode8(frame, length, encoded_, false);
            frame = encoded_.data();
            frameLength = encoded_.count();
        }
        inputLevel_.store(level8(static_cast<const uint8_t*>(data), length));
    } else {
        return;
    }
    // A buffer too short for one frame of the codec codes to nothing: there is nothing
    // to send.
    VoiceEngineListener* listener = listener_.load();
    if (!listener || frameLength <= 0)
        return;
    for (int i = 0; i < slots; ++i)
        listener->onEncodedFrame(i, frame, frameLength);
}

void VoiceEngine::play(int channel, const uint8_t* data, int length)
{
    if (!data || length <= 0)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    VoiceChannel* found = channelAt(channel);
    if (!found)
        return;
    VoiceChannel& target = *found;
    if (bitsPerSample_ == 16) {
        const int16_t* samples = reinterpret_cast<const int16_t*>(data);
        int count = length / 2;
        if (decoder_) {
            if (decoder_->decode16(data, length, decodedSamples_, false) == 0)
                return;
            samples = decodedSamples_.data();
            count = decodedSamples_.count();
        }
        target.level.store(level16(samples, count));
        target.player.play(samples, count * 2);
    } else if (bitsPerSample_ == 8) {
        const uint8_t* bytes = data;
        int count = length;
        if (decoder_) {
            if (decoder_->decode8(data, length, decodedBytes_, false) == 0)
                return;
            bytes = decodedBytes_.data();
            count = decodedBytes_.count();
        }
        target.level.store(level8(bytes, count));
        target.player.play(bytes, count);
    }
}

VoiceEngine::VoiceChannel* VoiceEngine::channelAt(int channel) const
{
    if (channel < 0 || channel >= slots_.load())
        return nullptr;
    return channels_[static_cast<size_t>(channel)].get();
}

int VoiceEngine::channelLevel(int channel) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const VoiceChannel* found = channelAt(channel);
    return found ? found->level.load() : -1;
}

SoundPlayer* VoiceEngine::player(int channel)
{
    std::lock_guard<std::mutex> guard(lock_);
    VoiceChannel* found = channelAt(channel);
    return found ? &found->player : nullptr;
}

void VoiceEngine::closeAll()
{
    recorder_.stop();
    recorder_.quit();
    recorder_.join();
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& channel : channels_) {
        if (!channel)
            continue;
        std::unique_ptr<VoiceChannel> gone = std::move(channel);
        gone->player.stop();
        gone->player.quit();
        gone->player.join();
    }
    slots_.store(0);
    encoder_.reset();
    decoder_.reset();
}

int VoiceEngine::bitsPerSample() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return bitsPerSample_;
}

int VoiceEngine::sampleRate() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return sampleRate_;
}

int VoiceEngine::samplesPerFrame() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return samplesPerFrame_;
}

} // namespace orvane
