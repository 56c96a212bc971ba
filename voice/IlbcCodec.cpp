#include "voice/IlbcCodec.h"

#include "voice/ilbc/IlbcDecoder.h"
#include "voice/ilbc/IlbcEncoder.h"


namespace orvane {

namespace {

// The largest frame of either mode.
constexpr int MaxFrameSamples = 240;
constexpr int MaxFrameBytes = 50;

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

int IlbcCodec::encode16(const int16_t* samples, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count < samplesPerFrame_)
        return 0;
    float frame[MaxFrameSamples];
    for (int i = 0; i < samplesPerFrame_; ++i)
        frame[i] = samples[i];
    uint8_t coded[MaxFrameBytes];
    encoder_->encode(frame, coded);
    out.write(out.count(), coded, bytesPerFrame_);
    return bytesPerFrame_;
}

int IlbcCodec::decode16(const uint8_t* bytes, int count, SampleArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count != bytesPerFrame_)
        return 0;
    float frame[MaxFrameSamples];
    decoder_->decode(bytes, frame);
    const int start = out.count();
    out.setSize(start + samplesPerFrame_);
    for (int i = 0; i < samplesPerFrame_; ++i) {
        float v = frame[i];
        if (!(v > -32768.0f)) // NaN as well
            v = -32768.0f;
        else if (v > 32767.0f)
            v = 32767.0f;
        out[start + i] = static_cast<int16_t>(v);
    }
    return samplesPerFrame_;
}

} // namespace orvane
