#include "voice/IlbcCodec.h"

#include "voice/ilbc/IlbcDecoder.h"
#include "voice/ilbc/IlbcEncoder.h"


namespace orvane {

namespace {

// The larger frame of the two modes.
constexpr int MaxFrameSamples = 240;

} // namespace

IlbcCodec::IlbcCodec() : encoder_(std::make_unique<ilbc::Encoder>(30)), decoder_(std::make_unique<ilbc::Decoder>(30, true))
{
    reset();
}

IlbcCodec::~IlbcCodec() = default;

void IlbcCodec::setFrameMode(int ms)
{
    frameMode_ = ms == 20 ? 20 : 30;
    samplesPerFrame_ = frameMode_ == 20 ? 160 : 240;
    bytesPerFrame_ = frameMode_ == 20 ? 38 : 50;
    reset();
}

void IlbcCodec::reset()
{
    encoder_->init(frameMode_);
    decoder_->init(frameMode_, true);
}

void IlbcCodec::encodeFrame(const int16_t* samples, uint8_t* bytes)
{
    float frame[MaxFrameSamples];
    for (int i = 0; i < samplesPerFrame_; ++i)
        frame[i] = samples[i];
    encoder_->encode(frame, bytes);
}

void IlbcCodec::decodeFrame(const uint8_t* bytes, int16_t* samples)
{
    float frame[MaxFrameSamples];
    decoder_->decode(bytes, frame);
    for (int i = 0; i < samplesPerFrame_; ++i) {
        float v = frame[i];
        if (!(v > -32768.0f)) // NaN as well
            v = -32768.0f;
        else if (v > 32767.0f)
            v = 32767.0f;
        samples[i] = static_cast<int16_t>(v);
    }
}

} // namespace orvane
